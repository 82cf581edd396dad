#include "frameworks/docx/StreamedZipEntry.h"

#include <minizip/zip.h>
#include <zlib.h>

#include <ctime>

namespace {

// The entry's date: now, in local time, as zip dates are.
zip_fileinfo entryInfo() {
  zip_fileinfo info{};
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  if (localtime_r(&now, &local)) {
    info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
    info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
    info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
    info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
    info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
    info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
  }
  return info;
}

}  // namespace

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
  const zip_fileinfo info = entryInfo();
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
