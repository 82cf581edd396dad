#include "frameworks/docx/DocxZip.h"

#include <minizip/zip.h>
#include <sys/stat.h>

#include <ctime>
#include <fstream>

zip_fileinfo zipEntryInfoAt(std::time_t when) {
  zip_fileinfo info{};
  std::tm local{};
  if (when > 0 && localtime_r(&when, &local)) {
    info.tmz_date.tm_sec = static_cast<uInt>(local.tm_sec);
    info.tmz_date.tm_min = static_cast<uInt>(local.tm_min);
    info.tmz_date.tm_hour = static_cast<uInt>(local.tm_hour);
    info.tmz_date.tm_mday = static_cast<uInt>(local.tm_mday);
    info.tmz_date.tm_mon = static_cast<uInt>(local.tm_mon);
    info.tmz_date.tm_year = static_cast<uInt>(local.tm_year + 1900);
  }
  return info;
}

DocxZip::~DocxZip() {
  CloseZipFile2();
}

bool DocxZip::CreateZipFile2(const std::string& archive) {
  CloseZipFile2();
  zip_ = zipOpen64(archive.c_str(), APPEND_STATUS_CREATE);
  return zip_ != nullptr;
}

bool DocxZip::addFileToZip(const std::string& file, const std::string& newname) {
  if (!zip_) return false;
  struct stat attributes {};
  const zip_fileinfo info = zipEntryInfoAt(stat(file.c_str(), &attributes) == 0 ? attributes.st_mtime : 0);
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  if (zipOpenNewFileInZip64(static_cast<zipFile>(zip_), newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr,
                            Z_DEFLATED, Z_DEFAULT_COMPRESSION, 0) != ZIP_OK)
    return false;
  bool ok = true;
  char chunk[65536];
  while (ok && in) {
    in.read(chunk, sizeof chunk);
    if (in.gcount() > 0)
      ok = zipWriteInFileInZip(static_cast<zipFile>(zip_), chunk, static_cast<unsigned>(in.gcount())) == ZIP_OK;
  }
  if (in.bad()) ok = false;
  return zipCloseFileInZip(static_cast<zipFile>(zip_)) == ZIP_OK && ok;
}

bool DocxZip::addFolderToZip(const std::string& newname) {
  if (!zip_) return false;
  const zip_fileinfo info = zipEntryInfoAt(std::time(nullptr));
  if (zipOpenNewFileInZip64(static_cast<zipFile>(zip_), newname.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, 0, 0,
                            0) != ZIP_OK)
    return false;
  return zipCloseFileInZip(static_cast<zipFile>(zip_)) == ZIP_OK;
}

bool DocxZip::CloseZipFile2() {
  if (!zip_) return false;
  const bool ok = zipClose(static_cast<zipFile>(zip_), nullptr) == ZIP_OK;
  zip_ = nullptr;
  return ok;
}
