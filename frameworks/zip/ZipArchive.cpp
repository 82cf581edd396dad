#include "frameworks/zip/ZipArchive.h"

#include <fcntl.h>
#include <minizip/unzip.h>
#include <minizip/zip.h>
#include <sys/stat.h>
#include <utime.h>
#include <zlib.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <system_error>
#include <vector>

#include "frameworks/zip/ParallelDeflate.h"

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

// True when the entry name, with forward slashes, stays inside the destination folder.
bool staysInside(const std::string& name) {
  if (name.empty() || name.front() == '/') return false;
  for (const auto& component : fs::path(name))
    if (component == "..") return false;
  return true;
}

}  // namespace

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
  if (!zipFile_) return false;
  zip_fileinfo info{};
  struct stat attributes {};
  if (stat(file.c_str(), &attributes) == 0) fillDate(info, attributes.st_mtime);

  std::string bytes;
  bool read = false;
  int opened;
  if (password_.empty()) {
    opened = zipOpenNewFileInZip(asZip(zipFile_), newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                 Z_DEFAULT_COMPRESSION);
  } else {
    readWholeFile(file, bytes);
    read = true;
    uLong crc = crc32(0L, Z_NULL, 0);
    crc = crc32(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<uInt>(bytes.size()));
    opened = zipOpenNewFileInZip3(asZip(zipFile_), newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                  Z_DEFAULT_COMPRESSION, 0, 15, 8, Z_DEFAULT_STRATEGY, password_.c_str(), crc);
  }
  if (opened != ZIP_OK) return false;
  if (!read) readWholeFile(file, bytes);
  if (zipWriteInFileInZip(asZip(zipFile_), bytes.data(), static_cast<unsigned>(bytes.size())) != ZIP_OK) {
    zipCloseFileInZip(asZip(zipFile_));
    return false;
  }
  return zipCloseFileInZip(asZip(zipFile_)) == ZIP_OK;
}

bool ZipArchive::CloseZipFile2() {
  password_.clear();
  if (!zipFile_) return false;
  const int closed = zipClose(asZip(zipFile_), nullptr);
  zipFile_ = nullptr;
  return closed == ZIP_OK;
}

bool ZipArchive::addRawDeflated(const std::string& newname, std::chrono::system_clock::time_point date,
                                std::size_t size, const std::function<bool(char*, std::size_t)>& read) {
  if (!zipFile_) return false;
  zip_fileinfo info{};
  fillDate(info, std::chrono::system_clock::to_time_t(date));
  const int level = compressionLevel_;
  // Large entries go into the archive as deflate data compressed here (raw mode); the archive's
  // own compressor would use one core only.
  if (zipOpenNewFileInZip2(asZip(zipFile_), newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED, level,
                           1) != ZIP_OK)
    return false;
  ParallelDeflate deflater(level);
  const std::size_t batchSize = ParallelDeflate::kPieceSize * ParallelDeflate::threads();
  std::vector<char> buffer(std::min(batchSize, std::max<std::size_t>(size, 1)));
  std::size_t done = 0;
  bool ok = true;
  do {
    const std::size_t now = std::min(buffer.size(), size - done);
    if (now > 0 && !read(buffer.data(), now)) {
      ok = false;
      break;
    }
    std::vector<std::string_view> pieces;
    for (std::size_t at = 0; at < now; at += ParallelDeflate::kPieceSize)
      pieces.emplace_back(buffer.data() + at, std::min(ParallelDeflate::kPieceSize, now - at));
    if (pieces.empty()) pieces.emplace_back();
    done += now;
    const std::string compressed = deflater.compressBatch(pieces, done == size);
    if (zipWriteInFileInZip(asZip(zipFile_), compressed.data(), static_cast<unsigned>(compressed.size())) != ZIP_OK) {
      ok = false;
      break;
    }
  } while (done < size);
  const int closed = zipCloseFileInZipRaw(asZip(zipFile_), ok ? size : 0, deflater.crc());
  return ok && closed == ZIP_OK;
}

bool ZipArchive::addDataToZip(std::string_view bytes, const std::string& newname) {
  std::size_t offset = 0;
  return addRawDeflated(newname, std::chrono::system_clock::now(), bytes.size(), [&](char* into, std::size_t n) {
    std::copy_n(bytes.data() + offset, n, into);
    offset += n;
    return true;
  });
}

bool ZipArchive::addLargeFileToZip(const std::string& file, const std::string& newname) {
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  if (ec) return false;
  struct stat attributes {};
  const auto date = stat(file.c_str(), &attributes) == 0 ? std::chrono::system_clock::from_time_t(attributes.st_mtime)
                                                         : std::chrono::system_clock::now();
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  return addRawDeflated(newname, date, size, [&](char* into, std::size_t n) {
    in.read(into, static_cast<std::streamsize>(n));
    return static_cast<std::size_t>(in.gcount()) == n;
  });
}

bool ZipArchive::addFolderToZip(const std::string& newname) {
  if (!zipFile_) return false;
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
  std::vector<char> buffer(4096);
  do {
    const int opened =
        password_.empty() ? unzOpenCurrentFile(archive) : unzOpenCurrentFilePassword(archive, password_.c_str());
    if (opened != UNZ_OK) {
      OutputErrorMessage("Error occurs");
      success = false;
      break;
    }
    unz_file_info info{};
    if (unzGetCurrentFileInfo(archive, &info, nullptr, 0, nullptr, 0, nullptr, 0) != UNZ_OK) {
      OutputErrorMessage("Error occurs while getting file info");
      success = false;
      unzCloseCurrentFile(archive);
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
      if (std::FILE* out = std::fopen(target.c_str(), "wb")) {
        for (;;) {
          const int read = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()));
          if (read < 0) {
            OutputErrorMessage("Failed to reading zip file");
            break;
          }
          if (read == 0) break;
          std::fwrite(buffer.data(), 1, static_cast<std::size_t>(read), out);
        }
        std::fclose(out);
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
        if (when == static_cast<std::time_t>(-1) || utime(target.c_str(), &times) != 0)
          std::clog << "Failed to set attributes\n";
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
