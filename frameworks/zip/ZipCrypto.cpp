#include "frameworks/zip/ZipCrypto.h"

#include <algorithm>
#include <array>
#include <random>

namespace {

constexpr std::array<uint32_t, 256> makeCrcTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kCrcTable = makeCrcTable();

uint32_t crcStep(uint32_t crc, uint8_t byte) {
  return kCrcTable[(crc ^ byte) & 0xFF] ^ (crc >> 8);
}

}  // namespace

ZipCrypto::ZipCrypto(const std::string& password) : keys_{0x12345678u, 0x23456789u, 0x34567890u} {
  for (const char c : password) updateKeys(static_cast<uint8_t>(c));
}

void ZipCrypto::updateKeys(uint8_t plain) {
  keys_[0] = crcStep(keys_[0], plain);
  keys_[1] = (keys_[1] + (keys_[0] & 0xFF)) * 134775813u + 1;
  keys_[2] = crcStep(keys_[2], static_cast<uint8_t>(keys_[1] >> 24));
}

uint8_t ZipCrypto::keyStreamByte() const {
  const uint32_t temp = (keys_[2] & 0xFFFF) | 2;
  return static_cast<uint8_t>((temp * (temp ^ 1)) >> 8);
}

void ZipCrypto::encrypt(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto plain = static_cast<uint8_t>(data[i]);
    data[i] = static_cast<char>(plain ^ keyStreamByte());
    updateKeys(plain);
  }
}

void ZipCrypto::decrypt(char* data, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    const auto plain = static_cast<uint8_t>(static_cast<uint8_t>(data[i]) ^ keyStreamByte());
    data[i] = static_cast<char>(plain);
    updateKeys(plain);
  }
}

std::string ZipCrypto::encryptedHeader(uint32_t crc) {
  static thread_local std::mt19937 random{std::random_device{}()};
  std::string header(kHeaderSize, '\0');
  for (std::size_t i = 0; i + 2 < kHeaderSize; ++i) header[i] = static_cast<char>(random() & 0xFF);
  header[kHeaderSize - 2] = static_cast<char>((crc >> 16) & 0xFF);
  header[kHeaderSize - 1] = static_cast<char>((crc >> 24) & 0xFF);
  encrypt(header.data(), header.size());
  return header;
}

bool ZipCrypto::acceptHeader(const char* header, uint8_t checkByte) {
  char plain[kHeaderSize];
  std::copy(header, header + kHeaderSize, plain);
  decrypt(plain, kHeaderSize);
  return static_cast<uint8_t>(plain[kHeaderSize - 1]) == checkByte;
}
