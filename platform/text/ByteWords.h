#pragma once

#include <cstdint>
#include <cstring>

// Eight bytes of a text looked at together, as one 64-bit word: whether any of them is a given byte,
// below a bound or in a range of ASCII characters, in a few operations instead of eight comparisons.
// The loops that use them read a text eight bytes at a time and its last few bytes one by one.
namespace ByteWords {

constexpr std::uint64_t kEachByte = 0x0101010101010101u;  // 1 in every byte
constexpr std::uint64_t kTopBits = 0x80 * kEachByte;      // the top bit of every byte
constexpr std::uint64_t kLowBits = 0x7F * kEachByte;      // the seven others

// The eight bytes at `at`, in the machine's order.
inline std::uint64_t load(const char* at) {
  std::uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return word;
}

// Whether any byte of word is zero.
constexpr bool hasZero(std::uint64_t word) {
  return ((word - kEachByte) & ~word & kTopBits) != 0;
}

// Whether any byte of word is `byte`.
constexpr bool has(std::uint64_t word, unsigned char byte) {
  return hasZero(word ^ (byte * kEachByte));
}

// Whether any byte of word is below `bound` (at most 0x80).
constexpr bool hasBelow(std::uint64_t word, unsigned char bound) {
  return ((word - bound * kEachByte) & ~word & kTopBits) != 0;
}

// The top bit of every byte of word that lies from `first` to `last` (ASCII, first <= last), and of
// no other byte. Only the low seven bits are added to, so nothing carries from one byte to the next.
constexpr std::uint64_t inRange(std::uint64_t word, unsigned char first, unsigned char last) {
  const std::uint64_t low = word & kLowBits;
  const std::uint64_t fromFirst = low + (0x80 - first) * kEachByte;
  const std::uint64_t afterLast = low + (0x80 - last - 1) * kEachByte;
  return fromFirst & ~afterLast & ~word & kTopBits;
}

// How many bytes of word are zero, each counted exactly (no borrow from one byte to the next).
constexpr unsigned countZeros(std::uint64_t word) {
  // The low bit of each byte that is zero, and of no other; the multiplication adds them up in the
  // top byte (at most 8: nothing carries).
  const std::uint64_t zeros = ~(((word & kLowBits) + kLowBits) | word | kLowBits) >> 7;
  return static_cast<unsigned>((zeros * kEachByte) >> 56);
}

}  // namespace ByteWords
