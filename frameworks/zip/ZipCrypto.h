#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The traditional PKWARE zip encryption ("ZipCrypto") of one entry: a stream cipher keyed by the
// password, applied to a 12-byte header and then to the entry's stored (compressed) bytes.
//
// The Debian build of minizip cannot be used for it: its unzip side is built without decryption,
// and its zip side walks zlib's CRC table through a pointer of the wrong element size, so what it
// writes is readable by no other program.
class ZipCrypto {
 public:
  static constexpr std::size_t kHeaderSize = 12;

  explicit ZipCrypto(const std::string& password);

  // The encrypted header that starts an entry: random bytes, then the two high bytes of the
  // entry's CRC-32 (readers check the last one).
  std::string encryptedHeader(uint32_t crc);
  // Checks a header read from an archive, decrypting it; true when its last byte equals checkByte
  // (a wrong password passes only by chance, 1 in 256).
  bool acceptHeader(const char* header, uint8_t checkByte);

  void encrypt(char* data, std::size_t size);
  void decrypt(char* data, std::size_t size);

 private:
  void updateKeys(uint8_t plain);
  uint8_t keyStreamByte() const;

  uint32_t keys_[3];
};
