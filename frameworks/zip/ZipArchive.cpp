#include "frameworks/zip/ZipArchive.h"

#include <fcntl.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <vector>

#include "frameworks/common/WriterLog.h"
#include "frameworks/zip/Crc32.h"
#include "frameworks/zip/DeflatePipeline.h"
#include "frameworks/zip/ZipCrypto.h"

namespace fs = std::filesystem;

namespace {

zipFile asZip(void* handle) {
  return static_cast<zipFile>(handle);
}
unzFile asUnz(void* handle) {
  return static_cast<unzFile>(handle);
}

void fillDate(zip_fileinfo& info, std::time_t when) {
  std::tm local{};
  localtime_r(&when, &local);
  info.tmz_date.tm_sec = local.tm_sec;
  info.tmz_date.tm_min = local.tm_min;
  info.tmz_date.tm_hour = local.tm_hour;
  info.tmz_date.tm_mday = local.tm_mday;
  info.tmz_date.tm_mon = local.tm_mon;
  info.tmz_date.tm_year = local.tm_year + 1900;
}

bool readWholeFile(const std::string& path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), {});
  return true;
}

// General-purpose flag bit 0: the entry is encrypted.
constexpr uLong kEncryptedFlag = 1;

uint32_t crcOf(std::string_view bytes) {
  return crc32Update(0, bytes.data(), bytes.size());
}

bool crcOfFile(const std::string& path, uint32_t& crc) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::vector<char> buffer(std::size_t{1} << 20);
  crc = 0;
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    crc = crc32Update(crc, buffer.data(), static_cast<std::size_t>(in.gcount()));
  }
  return in.eof();
}

// Raw deflate of bytes held whole.
bool deflateWhole(std::string_view bytes, int level, std::string& out) {
  z_stream stream{};
  if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) return false;
  out.resize(deflateBound(&stream, bytes.size()) + 64);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const bool ok = deflate(&stream, Z_FINISH) == Z_STREAM_END;
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return ok;
}

// True when the entry name, with forward slashes, stays inside the destination folder.
bool staysInside(const std::string& name) {
  if (name.empty() || name.front() == '/') return false;
  for (const auto& component : fs::path(name))
    if (component == "..") return false;
  return true;
}

// Damaged: the archive's data cannot be read back whole; NotWritten: the target cannot be created
// or written.
enum class EntryResult { Written, NotWritten, WrongPassword, Damaged };

// Opens a new file in target's folder, to be renamed over target once complete; -1 when none can
// be created.
int createPartFile(const fs::path& target, std::string& partPath) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    partPath = (target.parent_path() / (".rolvane-part-" + std::to_string(getpid()) + "-" + std::to_string(counter++)))
                   .string();
    const int fd = open(partPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void setStoredDate(const std::string& path, const unz_file_info& info) {
  std::tm stored{};
  stored.tm_sec = static_cast<int>(info.tmu_date.tm_sec);
  stored.tm_min = static_cast<int>(info.tmu_date.tm_min);
  stored.tm_hour = static_cast<int>(info.tmu_date.tm_hour);
  stored.tm_mday = static_cast<int>(info.tmu_date.tm_mday);
  stored.tm_mon = static_cast<int>(info.tmu_date.tm_mon);
  stored.tm_year = static_cast<int>(info.tmu_date.tm_year) - 1900;
  stored.tm_isdst = -1;
  const std::time_t when = std::mktime(&stored);
  const utimbuf times{when, when};
  if (when == static_cast<std::time_t>(-1) || utime(path.c_str(), &times) != 0)
    WriterLog::write("Failed to set attributes");
}

// Copies the open entry of an archive opened normally into fd; false when its data is damaged.
bool copyPlainEntry(unzFile archive, int fd, bool& writeFailed) {
  std::vector<char> buffer(std::size_t{1} << 16);
  for (;;) {
    const int read = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()));
    if (read < 0) return false;
    if (read == 0) break;
    if (!writeAll(fd, buffer.data(), static_cast<std::size_t>(read))) return writeFailed = true, false;
  }
  return unzCloseCurrentFile(archive) == UNZ_OK;
}

// Decrypts and inflates the open entry, opened raw, into fd.
EntryResult copyEncryptedEntry(unzFile archive, int fd, const std::string& password, int method,
                               const unz_file_info& info) {
  if (method != 0 && method != Z_DEFLATED) return EntryResult::Damaged;
  ZipCrypto crypto(password);
  char header[ZipCrypto::kHeaderSize];
  for (std::size_t got = 0; got < sizeof header;) {
    const int read = unzReadCurrentFile(archive, header + got, static_cast<unsigned>(sizeof header - got));
    if (read <= 0) return EntryResult::Damaged;
    got += static_cast<std::size_t>(read);
  }
  // With a trailing data descriptor (flag bit 3) the check byte comes from the entry's time.
  const auto check = static_cast<uint8_t>((info.flag & 8) ? (info.dosDate >> 8) & 0xFF : (info.crc >> 24) & 0xFF);
  if (!crypto.acceptHeader(header, check)) return EntryResult::WrongPassword;

  z_stream stream{};
  if (method == Z_DEFLATED && inflateInit2(&stream, -MAX_WBITS) != Z_OK) return EntryResult::Damaged;
  std::vector<char> input(std::size_t{1} << 16);
  std::vector<char> output(std::size_t{1} << 18);
  uint32_t crc = 0;
  uint64_t total = 0;
  bool ended = method != Z_DEFLATED;
  EntryResult result = EntryResult::Written;
  const auto emit = [&](const char* data, std::size_t n) {
    crc = crc32Update(crc, data, n);
    total += n;
    return writeAll(fd, data, n);
  };
  for (;;) {
    const int read = unzReadCurrentFile(archive, input.data(), static_cast<unsigned>(input.size()));
    if (read < 0) {
      result = EntryResult::Damaged;
      break;
    }
    if (read == 0) break;
    crypto.decrypt(input.data(), static_cast<std::size_t>(read));
    if (method != Z_DEFLATED) {
      if (!emit(input.data(), static_cast<std::size_t>(read))) result = EntryResult::NotWritten;
      if (result != EntryResult::Written) break;
      continue;
    }
    if (ended) {  // bytes after the end of the deflate stream
      result = EntryResult::Damaged;
      break;
    }
    stream.next_in = reinterpret_cast<Bytef*>(input.data());
    stream.avail_in = static_cast<uInt>(read);
    while (stream.avail_in > 0 && !ended && result == EntryResult::Written) {
      stream.next_out = reinterpret_cast<Bytef*>(output.data());
      stream.avail_out = static_cast<uInt>(output.size());
      const int inflated = inflate(&stream, Z_NO_FLUSH);
      if (inflated != Z_OK && inflated != Z_STREAM_END) result = EntryResult::Damaged;
      if (inflated == Z_STREAM_END) ended = true;
      if (!emit(output.data(), output.size() - stream.avail_out)) result = EntryResult::NotWritten;
    }
    if (result != EntryResult::Written) break;
  }
  if (method == Z_DEFLATED) inflateEnd(&stream);
  if (result == EntryResult::Written && (!ended || crc != info.crc || total != info.uncompressed_size))
    result = EntryResult::Damaged;
  return result;
}

// Writes the open entry to target through a file renamed over it once complete, so a damaged
// entry or a wrong password leaves no partial file.
EntryResult expandCurrentEntry(unzFile archive, const fs::path& target, bool encrypted, int method,
                               const unz_file_info& info, const std::string& password) {
  std::string part;
  const int fd = createPartFile(target, part);
  if (fd < 0) return EntryResult::NotWritten;
  bool writeFailed = false;
  EntryResult result = encrypted ? copyEncryptedEntry(archive, fd, password, method, info)
                       : copyPlainEntry(archive, fd, writeFailed) ? EntryResult::Written
                       : writeFailed                              ? EntryResult::NotWritten
                                                                  : EntryResult::Damaged;
  if (close(fd) != 0 && result == EntryResult::Written) result = EntryResult::NotWritten;
  if (result == EntryResult::Written) {
    setStoredDate(part, info);
    if (std::rename(part.c_str(), target.c_str()) != 0) result = EntryResult::NotWritten;
  }
  if (result != EntryResult::Written) std::remove(part.c_str());
  return result;
}

}  // namespace

ZipArchive::ZipArchive() = default;

ZipArchive::~ZipArchive() {
  CloseZipFile2();
  UnzipCloseFile();
}

bool ZipArchive::CreateZipFile2(const std::string& zipPath) {
  zipFile_ = zipOpen(zipPath.c_str(), 0);
  return zipFile_ != nullptr;
}

bool ZipArchive::CreateZipFile2Password(const std::string& zipPath, const std::string& password) {
  password_ = password;
  return CreateZipFile2(zipPath);
}

bool ZipArchive::addFileToZipNewname(const std::string& file, const std::string& newname) {
  if (!zipFile_ || stream_) return false;
  zip_fileinfo info{};
  struct stat attributes {};
  if (stat(file.c_str(), &attributes) == 0) fillDate(info, attributes.st_mtime);

  std::string bytes;
  readWholeFile(file, bytes);
  if (!password_.empty()) {
    std::string deflated;
    if (!deflateWhole(bytes, Z_DEFAULT_COMPRESSION, deflated)) return false;
    const uint32_t crc = crcOf(bytes);
    ZipCrypto crypto(password_);
    std::string stored = crypto.encryptedHeader(crc);
    crypto.encrypt(deflated.data(), deflated.size());
    stored += deflated;
    if (zipOpenNewFileInZip4(asZip(zipFile_), newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                             Z_DEFAULT_COMPRESSION, 1, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0,
                             kEncryptedFlag) != ZIP_OK)
      return false;
    const bool written = writeRaw(stored.data(), stored.size());
    return zipCloseFileInZipRaw(asZip(zipFile_), bytes.size(), crc) == ZIP_OK && written;
  }
  if (zipOpenNewFileInZip(asZip(zipFile_), newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                          Z_DEFAULT_COMPRESSION) != ZIP_OK)
    return false;
  if (zipWriteInFileInZip(asZip(zipFile_), bytes.data(), static_cast<unsigned>(bytes.size())) != ZIP_OK) {
    zipCloseFileInZip(asZip(zipFile_));
    return false;
  }
  return zipCloseFileInZip(asZip(zipFile_)) == ZIP_OK;
}

bool ZipArchive::CloseZipFile2() {
  const bool streamEnded = !stream_ || endEntry();
  password_.clear();
  if (!zipFile_) return false;
  const int closed = zipClose(asZip(zipFile_), nullptr);
  zipFile_ = nullptr;
  return closed == ZIP_OK && streamEnded;
}

bool ZipArchive::openRawEntry(const std::string& newname, std::time_t date, bool encrypted, bool large) {
  zip_fileinfo info{};
  fillDate(info, date);
  // Raw: the bytes handed to minizip are already deflated (and encrypted); it records the sizes
  // and the CRC given when the entry is closed.
  return zipOpenNewFileInZip4_64(asZip(zipFile_), newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                 compressionLevel_, 1, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY, nullptr, 0, 0,
                                 encrypted ? kEncryptedFlag : 0, large ? 1 : 0) == ZIP_OK;
}

bool ZipArchive::writeRaw(const char* data, std::size_t size) {
  while (size > 0) {
    const auto piece = static_cast<unsigned>(std::min<std::size_t>(size, std::size_t{1} << 30));
    if (zipWriteInFileInZip(asZip(zipFile_), data, piece) != ZIP_OK) return false;
    data += piece;
    size -= piece;
  }
  return true;
}

bool ZipArchive::addRawDeflated(const std::string& newname, std::chrono::system_clock::time_point date,
                                std::size_t size, const std::function<bool(char*, std::size_t)>& read, uint32_t crc) {
  if (!zipFile_ || stream_) return false;
  const bool encrypted = !password_.empty();
  const bool large = size >= 0xFFFFFFFFull;
  if (!openRawEntry(newname, std::chrono::system_clock::to_time_t(date), encrypted, large)) return false;
  std::unique_ptr<ZipCrypto> crypto;
  bool ok = true;
  if (encrypted) {
    crypto = std::make_unique<ZipCrypto>(password_);
    const std::string header = crypto->encryptedHeader(crc);
    ok = writeRaw(header.data(), header.size());
  }
  std::vector<char> encryptBuffer;
  DeflatePipeline deflater(compressionLevel_, [&](const char* data, std::size_t n) {
    if (!crypto) return writeRaw(data, n);
    encryptBuffer.assign(data, data + n);
    crypto->encrypt(encryptBuffer.data(), n);
    return writeRaw(encryptBuffer.data(), n);
  });
  std::string buffer;
  for (std::size_t done = 0; ok && done < size;) {
    const std::size_t now = std::min(DeflatePipeline::kPieceSize, size - done);
    buffer.resize(now);
    ok = read(buffer.data(), now) && deflater.write(buffer);
    done += now;
  }
  ok = deflater.finish() && ok && (!encrypted || deflater.crc() == crc);
  const int closed = zipCloseFileInZipRaw64(asZip(zipFile_), ok ? size : 0, deflater.crc());
  return ok && closed == ZIP_OK;
}

bool ZipArchive::addDataToZip(std::string_view bytes, const std::string& newname) {
  std::size_t offset = 0;
  return addRawDeflated(
      newname, std::chrono::system_clock::now(), bytes.size(),
      [&](char* into, std::size_t n) {
        std::copy_n(bytes.data() + offset, n, into);
        offset += n;
        return true;
      },
      password_.empty() ? 0 : crcOf(bytes));
}

bool ZipArchive::addLargeFileToZip(const std::string& file, const std::string& newname) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (ec) return false;
  struct stat attributes {};
  const auto date = stat(file.c_str(), &attributes) == 0 ? std::chrono::system_clock::from_time_t(attributes.st_mtime)
                                                         : std::chrono::system_clock::now();
  uint32_t crc = 0;
  // An encrypted entry's header holds its CRC: the file is read once for it beforehand.
  if (!password_.empty() && !crcOfFile(file, crc)) return false;
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  return addRawDeflated(
      newname, date, size,
      [&](char* into, std::size_t n) {
        in.read(into, static_cast<std::streamsize>(n));
        return static_cast<std::size_t>(in.gcount()) == n;
      },
      crc);
}

bool ZipArchive::beginEntry(const std::string& newname, bool large) {
  if (!zipFile_ || stream_ || !password_.empty()) return false;
  if (!openRawEntry(newname, std::time(nullptr), false, large)) return false;
  streamFailed_ = false;
  streamLarge_ = large;
  stream_ = std::make_unique<DeflatePipeline>(compressionLevel_,
                                              [this](const char* data, std::size_t n) { return writeRaw(data, n); });
  return true;
}

bool ZipArchive::writeEntry(std::string& bytes) {
  if (!stream_) return false;
  if (!stream_->write(bytes)) streamFailed_ = true;
  return !streamFailed_;
}

bool ZipArchive::writeEntry(std::string_view bytes) {
  if (!stream_) return false;
  if (!stream_->write(bytes)) streamFailed_ = true;
  return !streamFailed_;
}

bool ZipArchive::endEntry() {
  if (!stream_) return false;
  bool ok = stream_->finish() && !streamFailed_;
  const uint64_t size = stream_->size();
  const uint32_t crc = stream_->crc();
  stream_.reset();
  ok = ok && (streamLarge_ || size < 0xFFFFFFFFull);
  const int closed = zipCloseFileInZipRaw64(asZip(zipFile_), ok ? size : 0, ok ? crc : 0);
  return ok && closed == ZIP_OK;
}

bool ZipArchive::addFolderToZip(const std::string& newname) {
  if (!zipFile_ || stream_) return false;
  zip_fileinfo info{};
  fillDate(info, std::time(nullptr));
  const std::string name = newname.empty() || newname.back() == '/' ? newname : newname + "/";
  if (zipOpenNewFileInZip(asZip(zipFile_), name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0) != ZIP_OK)
    return false;
  return zipCloseFileInZip(asZip(zipFile_)) == ZIP_OK;
}

bool ZipArchive::UnzipOpenFile(const std::string& zipPath) {
  unzFile_ = unzOpen(zipPath.c_str());
  return unzFile_ != nullptr;
}

bool ZipArchive::UnzipOpenFilePassword(const std::string& zipPath, const std::string& password) {
  password_ = password;
  return UnzipOpenFile(zipPath);
}

bool ZipArchive::UnzipFileToOverWrite(const std::string& path, bool overwrite) {
  bool success = true;
  unzFile archive = asUnz(unzFile_);
  if (!archive) {  // nothing open behaves as an archive without entries
    OutputErrorMessage("Failed");
    OutputErrorMessage("Error occurs");
    return false;
  }
  int status = unzGoToFirstFile(archive);
  if (status != UNZ_OK) OutputErrorMessage("Failed");
  do {
    unz_file_info info{};
    if (status == UNZ_OK && unzGetCurrentFileInfo(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      OutputErrorMessage("Error occurs while getting file info");
      success = false;
      break;
    }
    const bool encrypted = (info.flag & kEncryptedFlag) != 0;
    // An encrypted entry is read raw and decrypted here; without a password it cannot be opened.
    int method = 0;
    int level = 0;
    const int opened = status != UNZ_OK ? status
                       : encrypted
                           ? (password_.empty() ? UNZ_PARAMERROR : unzOpenCurrentFile2(archive, &method, &level, 1))
                           : unzOpenCurrentFile(archive);
    if (opened != UNZ_OK) {
      OutputErrorMessage("Error occurs");
      success = false;
      break;
    }
    std::vector<char> nameBuffer(info.size_filename + 1, '\0');
    unzGetCurrentFileInfo(archive, &info, nameBuffer.data(), info.size_filename + 1, nullptr, 0, nullptr, 0);
    std::string name(nameBuffer.data(), info.size_filename);
    const bool isFolder = !name.empty() && (name.back() == '/' || name.back() == '\\');
    for (char& c : name)
      if (c == '\\') c = '/';

    if (!staysInside(name)) {
      OutputErrorMessage("Refused entry outside the destination folder: " + name);
      success = false;
      unzCloseCurrentFile(archive);
      status = unzGoToNextFile(archive);
      continue;
    }
    const fs::path target = fs::path(path) / name;
    std::error_code ec;
    fs::create_directories(isFolder ? target : target.parent_path(), ec);

    if (!isFolder && !overwrite && fs::exists(target, ec) && !OverWrite(target.string())) {
      unzCloseCurrentFile(archive);
      status = unzGoToNextFile(archive);
      continue;
    }
    if (!isFolder) {
      const EntryResult result = expandCurrentEntry(archive, target, encrypted, method, info, password_);
      if (result == EntryResult::WrongPassword) {
        OutputErrorMessage("Error occurs");
        unzCloseCurrentFile(archive);
        success = false;
        break;
      }
      if (result == EntryResult::Damaged) {
        OutputErrorMessage("Failed to reading zip file");
        success = false;
      }
      if (result == EntryResult::NotWritten) {
        OutputErrorMessage("Failed to write file: " + target.string());
        success = false;
      }
    }
    unzCloseCurrentFile(archive);
    status = unzGoToNextFile(archive);
  } while (status == UNZ_OK);
  return success;
}

bool ZipArchive::UnzipCloseFile() {
  password_.clear();
  if (!unzFile_) return true;
  const int closed = unzClose(asUnz(unzFile_));
  unzFile_ = nullptr;
  return closed == UNZ_OK;
}

void ZipArchive::OutputErrorMessage(const std::string& message) {
  if (delegate_) delegate_->ErrorMessage(message);
}

bool ZipArchive::OverWrite(const std::string& file) {
  return delegate_ ? delegate_->OverWriteOperation(file) : true;
}

std::chrono::system_clock::time_point ZipArchive::Date1980() {
  std::tm epoch{};
  epoch.tm_year = 80;
  epoch.tm_mday = 1;
  epoch.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&epoch));
}
