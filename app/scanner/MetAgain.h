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
