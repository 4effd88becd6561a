// A growable array of owned items whose capacity runs 120, 128, 256, 512...
//
// Column lists are appended one at a time while a definition is read; the
// first reservation already holds any ordinary table.
#ifndef MENDORA_READER_PTR_ARRAY_H_
#define MENDORA_READER_PTR_ARRAY_H_

#include <cstdint>
#include <memory>
#include <vector>

namespace mendora {

template <typename T>
class PtrArray {
 public:
  uint32_t count() const { return static_cast<uint32_t>(items_.size()); }
  uint32_t capacity() const { return capacity_; }
  T& operator[](size_t i) { return *items_[i]; }
  const T& operator[](size_t i) const { return *items_[i]; }

  void PtrArrayReserve(uint32_t n) {
    const uint64_t needed = static_cast<uint64_t>(count()) + n;
    if (needed <= capacity_) return;
    uint64_t grown = 1;
    while (grown < needed) grown <<= 1;
    if (grown <= 120) grown = 120;
    capacity_ = static_cast<uint32_t>(grown);
    items_.reserve(capacity_);
  }

  void PtrArrayAppend(std::unique_ptr<T> item) {
    PtrArrayReserve(1);
    items_.push_back(std::move(item));
  }

  // Iterates the items themselves rather than their owning pointers.
  template <typename Item, typename Base>
  class Iterator {
   public:
    explicit Iterator(Base it) : it_(it) {}
    Item& operator*() const { return **it_; }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return it_ != other.it_; }

   private:
    Base it_;
  };
  using iterator = Iterator<T, typename std::vector<std::unique_ptr<T>>::iterator>;
  using const_iterator = Iterator<const T, typename std::vector<std::unique_ptr<T>>::const_iterator>;

  iterator begin() { return iterator(items_.begin()); }
  iterator end() { return iterator(items_.end()); }
  const_iterator begin() const { return const_iterator(items_.begin()); }
  const_iterator end() const { return const_iterator(items_.end()); }

 private:
  std::vector<std::unique_ptr<T>> items_;
  uint32_t capacity_ = 0;
};

}  // namespace mendora

#endif  // MENDORA_READER_PTR_ARRAY_H_
