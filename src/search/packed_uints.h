// A read-only array of unsigned integers kept in as few bits each as the
// largest needs: an order of a million entries takes 20 bits a position
// instead of 32, which is 3 bytes an entry over the name and suffix orders.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <vector>

namespace zw {

class PackedUints {
 public:
  PackedUints() = default;
  explicit PackedUints(const std::vector<uint32_t>& values) {
    uint32_t largest = 0;
    for (uint32_t v : values) largest = std::max(largest, v);
    Zeroed(values.size(), largest);
    for (size_t i = 0; i < size_; ++i) Put(i, values[i]);
  }

  // The ranks of a permutation (rank[order[k]] = k), packed as they are
  // made: no array of 32-bit ranks on the way, where a sort after live
  // changes makes them on the window's thread.
  static PackedUints RanksOf(const std::vector<uint32_t>& order) {
    PackedUints r;
    r.Zeroed(order.size(), order.empty() ? 0 : static_cast<uint32_t>(order.size() - 1));
    for (size_t k = 0; k < order.size(); ++k) r.Put(order[k], static_cast<uint32_t>(k));
    return r;
  }

  uint32_t operator[](size_t i) const {
    const size_t bit = i * width_;
    uint64_t word = 0;
    std::memcpy(&word, bytes_.data() + bit / 8, 8);  // little-endian
    return static_cast<uint32_t>((word >> (bit % 8)) & ((uint64_t{1} << width_) - 1));
  }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  size_t Bytes() const { return bytes_.capacity(); }

  class Iterator {
   public:
    using iterator_category = std::random_access_iterator_tag;
    using value_type = uint32_t;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = uint32_t;

    Iterator() = default;
    Iterator(const PackedUints* array, size_t i) : array_(array), i_(i) {}
    uint32_t operator*() const { return (*array_)[i_]; }
    uint32_t operator[](difference_type d) const { return (*array_)[i_ + d]; }
    Iterator& operator++() { return ++i_, *this; }
    Iterator& operator--() { return --i_, *this; }
    Iterator operator++(int) { return {array_, i_++}; }
    Iterator operator--(int) { return {array_, i_--}; }
    Iterator& operator+=(difference_type d) { return i_ += d, *this; }
    Iterator& operator-=(difference_type d) { return i_ -= d, *this; }
    Iterator operator+(difference_type d) const { return {array_, i_ + d}; }
    Iterator operator-(difference_type d) const { return {array_, i_ - d}; }
    difference_type operator-(const Iterator& o) const {
      return static_cast<difference_type>(i_) - static_cast<difference_type>(o.i_);
    }
    auto operator<=>(const Iterator& o) const { return i_ <=> o.i_; }
    bool operator==(const Iterator& o) const { return i_ == o.i_; }

   private:
    const PackedUints* array_ = nullptr;
    size_t i_ = 0;
  };
  Iterator begin() const { return {this, 0}; }
  Iterator end() const { return {this, size_}; }

 private:
  // `size` zeros, each as wide as `largest` needs.
  void Zeroed(size_t size, uint32_t largest) {
    size_ = size;
    width_ = std::max(1, static_cast<int>(std::bit_width(largest)));
    // Eight bytes of slack: every read is one unaligned 64-bit load.
    bytes_.assign((size_ * width_ + 7) / 8 + 8, 0);
  }

  // Into a place still zero.
  void Put(size_t i, uint32_t value) {
    const size_t bit = i * width_;
    uint64_t word = 0;
    std::memcpy(&word, bytes_.data() + bit / 8, 8);
    word |= uint64_t{value} << (bit % 8);
    std::memcpy(bytes_.data() + bit / 8, &word, 8);
  }

  std::vector<uint8_t> bytes_;
  size_t size_ = 0;
  int width_ = 1;
};

}  // namespace zw
