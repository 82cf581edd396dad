#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

// Which values of a walk are met more than once, told apart by their hash: one bit per hash marks a
// value met, a second bitmap the bits met again. A value whose bit is not met again is the only one
// of its kind; the others (every value met more than once, and a few more whose hash shares a bit)
// are worth counting exactly. Sixteen bits per value keep those few to about one in sixteen.
class MetAgain {
 public:
  explicit MetAgain(std::size_t values)
      : bits_(std::max<std::size_t>(1024, std::bit_ceil(values * 16))), met_(bits_ / 64, 0), again_(bits_ / 64, 0) {}

  void meet(std::uint64_t hash) {
    const std::uint64_t bit = hash & (bits_ - 1), mask = std::uint64_t{1} << (bit % 64);
    if (met_[bit / 64] & mask) again_[bit / 64] |= mask;
    met_[bit / 64] |= mask;
  }
  bool metAgain(std::uint64_t hash) const {
    const std::uint64_t bit = hash & (bits_ - 1);
    return (again_[bit / 64] >> (bit % 64)) & 1u;
  }

 private:
  std::size_t bits_;
  std::vector<std::uint64_t> met_, again_;
};

// The values met again, numbered 0, 1, 2, ... in the order first looked up, found by their hash in a
// table at most half full: the slot a hash's high bits name, or the next free one after it.
class NumberedByHash {
 public:
  // Room for `values` different values.
  explicit NumberedByHash(std::size_t values) : slots_(std::bit_ceil(std::max<std::size_t>(16, values * 2)), kNone) {}

  // The number of the value of this hash for which same(number) holds; a new number (the count of
  // values numbered so far) when there is none.
  template <typename Same>
  std::uint32_t numberOf(std::uint64_t hash, Same same) {
    const std::size_t mask = slots_.size() - 1;
    std::size_t slot = (hash >> 32) & mask;
    while (slots_[slot] != kNone && (hashes_[slots_[slot]] != hash || !same(slots_[slot]))) slot = (slot + 1) & mask;
    if (slots_[slot] == kNone) {
      slots_[slot] = static_cast<std::uint32_t>(hashes_.size());
      hashes_.push_back(hash);
    }
    return slots_[slot];
  }

 private:
  static constexpr std::uint32_t kNone = static_cast<std::uint32_t>(-1);
  std::vector<std::uint32_t> slots_;
  std::vector<std::uint64_t> hashes_;  // of each number
};
