#include "frameworks/zip/Crc32.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

uint32_t zlibCrc(uint32_t crc, const unsigned char* bytes, std::size_t size) {
  uLong value = crc;
  while (size > 0) {
    const auto n = static_cast<uInt>(std::min<std::size_t>(size, std::size_t{1} << 30));
    value = crc32(value, bytes, n);
    bytes += n;
    size -= n;
  }
  return static_cast<uint32_t>(value);
}

#if defined(__x86_64__)

// Folding: a 128-bit remainder of the message so far is carried across the next 512 (or 128) bits
// by two carry-less multiplications with x^(d+32) and x^(d-32) mod P (bit-reflected), which keeps
// its CRC equal to the CRC of the whole prefix. The last remainder and the tail go through zlib.
__attribute__((target("pclmul,sse4.1"))) __m128i fold(__m128i value, __m128i next, __m128i constants) {
  const __m128i low = _mm_clmulepi64_si128(value, constants, 0x00);
  const __m128i high = _mm_clmulepi64_si128(value, constants, 0x11);
  return _mm_xor_si128(_mm_xor_si128(low, high), next);
}

__attribute__((target("pclmul,sse4.1"))) uint32_t foldedCrc(uint32_t crc, const unsigned char* bytes,
                                                            std::size_t size) {
  const auto load = [](const unsigned char* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); };
  const __m128i by4 = _mm_set_epi64x(0x1c6e41596LL, 0x154442bd4LL);
  const __m128i by1 = _mm_set_epi64x(0x0ccaa009eLL, 0x1751997d0LL);
  __m128i x0 = _mm_xor_si128(load(bytes), _mm_cvtsi32_si128(static_cast<int>(~crc)));
  __m128i x1 = load(bytes + 16);
  __m128i x2 = load(bytes + 32);
  __m128i x3 = load(bytes + 48);
  bytes += 64;
  size -= 64;
  for (; size >= 64; bytes += 64, size -= 64) {
    x0 = fold(x0, load(bytes), by4);
    x1 = fold(x1, load(bytes + 16), by4);
    x2 = fold(x2, load(bytes + 32), by4);
    x3 = fold(x3, load(bytes + 48), by4);
  }
  __m128i x = fold(fold(fold(x0, x1, by1), x2, by1), x3, by1);
  for (; size >= 16; bytes += 16, size -= 16) x = fold(x, load(bytes), by1);
  unsigned char rest[32];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rest), x);
  std::memcpy(rest + 16, bytes, size);
  // The remainder stands for the message with the initial inversion already applied: zlib goes on
  // from a zero register (its 0xFFFFFFFF argument) and inverts at the end.
  return zlibCrc(0xFFFFFFFFu, rest, 16 + size);
}

bool canFold() {
  static const bool supported = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return supported;
}

#endif

}  // namespace

uint32_t crc32Update(uint32_t crc, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
#if defined(__x86_64__)
  if (size >= 256 && canFold()) return foldedCrc(crc, bytes, size);
#endif
  return zlibCrc(crc, bytes, size);
}
