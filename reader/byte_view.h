// Bounds-checked little-endian reads over a span of bytes.
//
// Every number in a database file is untrusted: a damaged file must give a
// refused read, never a read outside the bytes that were loaded.
#ifndef MENDORA_READER_BYTE_VIEW_H_
#define MENDORA_READER_BYTE_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace mendora {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteView(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

  size_t size() const { return size_; }
  const uint8_t* data() const { return data_; }

  // True when [offset, offset + length) lies inside the view.
  bool Contains(size_t offset, size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  std::optional<uint8_t> U8(size_t offset) const {
    if (!Contains(offset, 1)) return std::nullopt;
    return data_[offset];
  }
  std::optional<uint16_t> U16(size_t offset) const {
    if (!Contains(offset, 2)) return std::nullopt;
    return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  std::optional<uint32_t> U24(size_t offset) const {
    if (!Contains(offset, 3)) return std::nullopt;
    return static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<uint32_t>(data_[offset + 2]) << 16);
  }
  std::optional<uint32_t> U32(size_t offset) const {
    if (!Contains(offset, 4)) return std::nullopt;
    return static_cast<uint32_t>(data_[offset]) | (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<uint32_t>(data_[offset + 2]) << 16) |
           (static_cast<uint32_t>(data_[offset + 3]) << 24);
  }
  std::optional<uint64_t> U64(size_t offset) const {
    if (!Contains(offset, 8)) return std::nullopt;
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | data_[offset + i];
    return v;
  }

  // The sub-view [offset, offset + length), or nothing when it is not inside.
  std::optional<ByteView> Sub(size_t offset, size_t length) const {
    if (!Contains(offset, length)) return std::nullopt;
    return ByteView(data_ + offset, length);
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace mendora

#endif  // MENDORA_READER_BYTE_VIEW_H_
