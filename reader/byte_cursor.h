// A reading position over a ByteView whose reads never leave the view.
//
// Records in a database file are read as runs of numbers at fixed or moving
// offsets. Checking each read on its own buries the layout under error
// handling, so a read outside the view gives zero and marks the cursor
// failed: the caller reads a whole record, then asks ok() once and reports
// the damage as the code around it does. Everything is inline: the row
// decoding reads through it millions of times a second.
#ifndef MENDORA_READER_BYTE_CURSOR_H_
#define MENDORA_READER_BYTE_CURSOR_H_

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "reader/byte_view.h"

namespace mendora {

class ByteCursor {
 public:
  explicit ByteCursor(ByteView view, size_t position = 0) : view_(view), position_(position) {}

  // False once any read, skip or seek has gone outside the view.
  bool ok() const { return ok_; }
  size_t position() const { return position_; }
  // Bytes left after the position (zero when the position is past the end).
  size_t remaining() const { return position_ < view_.size() ? view_.size() - position_ : 0; }
  bool AtEnd() const { return position_ >= view_.size(); }
  ByteView view() const { return view_; }

  // Reads at an offset from the start of the view; the position stays.
  uint8_t U8At(size_t offset) {
    if (!Fits(offset, 1)) return 0;
    return view_.data()[offset];
  }
  uint16_t U16At(size_t offset) {
    if (!Fits(offset, 2)) return 0;
    const uint8_t* p = view_.data() + offset;
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
  }
  uint32_t U24At(size_t offset) {
    if (!Fits(offset, 3)) return 0;
    const uint8_t* p = view_.data() + offset;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16);
  }
  uint32_t U32At(size_t offset) {
    if (!Fits(offset, 4)) return 0;
    const uint8_t* p = view_.data() + offset;
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
  }
  uint64_t U64At(size_t offset) {
    if (!Fits(offset, 8)) return 0;
    const uint8_t* p = view_.data() + offset;
    uint64_t v;
    if constexpr (std::endian::native == std::endian::little) {
      std::memcpy(&v, p, sizeof v);  // one load: the page digest reads every word of every page
    } else {
      v = 0;
      for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    }
    return v;
  }
  // A number of `count` bytes (at most four) stored high byte first, as
  // index keys hold their row pointers.
  uint32_t BigEndianAt(size_t offset, size_t count) {
    if (count > 4 || !Fits(offset, count)) return 0;
    uint32_t v = 0;
    for (size_t i = 0; i < count; ++i) v = v << 8 | view_.data()[offset + i];
    return v;
  }
  // The bytes [offset, offset + length), empty when they are not all inside.
  ByteView BytesAt(size_t offset, size_t length) {
    if (!Fits(offset, length)) return ByteView();
    return ByteView(view_.data() + offset, length);
  }

  // Bit `index` (lowest bit first) of the bitmap that starts at `offset`.
  bool BitAt(size_t offset, uint64_t index) {
    const uint64_t byte = offset + index / 8;
    if (byte < offset || !Fits(byte, 1)) return false;
    return ((view_.data()[byte] >> (index % 8)) & 1) != 0;
  }

  // Reads at the position, moving past what was read (also on failure, so a
  // loop driven by the position ends).
  uint8_t U8() { return Advance(U8At(position_), 1); }
  uint16_t U16() { return Advance(U16At(position_), 2); }
  uint32_t U24() { return Advance(U24At(position_), 3); }
  uint32_t U32() { return Advance(U32At(position_), 4); }
  uint64_t U64() { return Advance(U64At(position_), 8); }
  ByteView Bytes(size_t length) { return Advance(BytesAt(position_, length), length); }

  void Skip(size_t length) {
    if (!Fits(position_, length)) {
      position_ = view_.size() + 1;
      return;
    }
    position_ += length;
  }
  void Seek(size_t position) {
    if (position > view_.size()) ok_ = false;
    position_ = position;
  }

  // The offset of the first `value` at or after `from`, or the view's size
  // when there is none (not a failure: the caller decides).
  size_t Find(uint8_t value, size_t from) const {
    while (from < view_.size() && view_.data()[from] != value) ++from;
    return from < view_.size() ? from : view_.size();
  }
  // The offset of the first pair of zero bytes at `from` or a step of two
  // after it; without one, the first step at which no whole pair is left.
  size_t FindZero16(size_t from) const {
    while (from + 1 < view_.size() && (view_.data()[from] != 0 || view_.data()[from + 1] != 0)) from += 2;
    return from;
  }
  // The length up to and including the last `value`, or 0 without one.
  size_t EndAfterLast(uint8_t value) const {
    size_t end = view_.size();
    while (end > 0 && view_.data()[end - 1] != value) --end;
    return end;
  }
  // The bytes [offset, offset + length) as characters (empty when outside).
  std::string_view CharsAt(size_t offset, size_t length) {
    const ByteView bytes = BytesAt(offset, length);
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  }

 private:
  bool Fits(size_t offset, size_t length) {
    if (view_.Contains(offset, length)) return true;
    ok_ = false;
    return false;
  }
  template <typename T>
  T Advance(T value, size_t length) {
    position_ = position_ <= view_.size() && length <= view_.size() - position_ ? position_ + length : view_.size() + 1;
    return value;
  }

  ByteView view_;
  size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace mendora

#endif  // MENDORA_READER_BYTE_CURSOR_H_
