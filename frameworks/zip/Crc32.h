#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 of zip entries (the zlib polynomial and conventions), continued from crc:
// crc32Update(0, data, size) starts a new one. Large inputs are folded with the carry-less
// multiply instruction where the processor has it, several times faster than zlib's tables.
uint32_t crc32Update(uint32_t crc, const void* data, std::size_t size);
