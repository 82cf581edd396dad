#include "frameworks/docx/StreamedZipEntry.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <ctime>

#include "frameworks/docx/DocxZip.h"

StreamedZipEntry::StreamedZipEntry(void* zipHandle, std::string name, bool large)
    : zip_(zipHandle), name_(std::move(name)), large_(large) {}

StreamedZipEntry::~StreamedZipEntry() {
  if (open_) {
    deflater_.reset();
    zipCloseFileInZipRaw64(static_cast<zipFile>(zip_), 0, 0);
  }
}

bool StreamedZipEntry::open() {
  if (!zip_) return false;
  const zip_fileinfo info = zipEntryInfoAt(std::time(nullptr));
  // Raw: the data handed to minizip is already deflated; it records method 8 and the sizes and CRC
  // given when the entry is closed.
  const int result = zipOpenNewFileInZip4_64(static_cast<zipFile>(zip_), name_.c_str(), &info, nullptr, 0, nullptr, 0,
                                             nullptr, Z_DEFLATED, Z_BEST_SPEED, 1, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY,
                                             nullptr, 0, 0, 0, large_ ? 1 : 0);
  if (result != ZIP_OK) return false;
  open_ = true;
  deflater_ = std::make_unique<ChunkDeflater>(Z_BEST_SPEED, [this](const char* data, size_t size) {
    while (size > 0) {
      const unsigned piece = static_cast<unsigned>(std::min<size_t>(size, 1u << 30));
      if (zipWriteInFileInZip(static_cast<zipFile>(zip_), data, piece) != ZIP_OK) return false;
      data += piece;
      size -= piece;
    }
    return true;
  });
  return true;
}

bool StreamedZipEntry::write(std::string& text) {
  if (!open_ || failed_) return false;
  if (!deflater_->push(text)) failed_ = true;
  return !failed_;
}

bool StreamedZipEntry::close() {
  if (!open_) return false;
  if (!failed_ && !deflater_->finish()) failed_ = true;
  const uint64_t size = deflater_->uncompressedSize();
  const uint32_t crc = deflater_->crc();
  deflater_.reset();
  open_ = false;
  const int result = zipCloseFileInZipRaw64(static_cast<zipFile>(zip_), size, crc);
  return !failed_ && result == ZIP_OK && (large_ || size < 0xFFFFFFFFull);
}
