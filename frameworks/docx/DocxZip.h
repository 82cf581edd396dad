#pragma once

#include <minizip/zip.h>

#include <ctime>
#include <string>

// The information of a zip entry dated at when, in local time as zip dates are; undated for 0.
zip_fileinfo zipEntryInfoAt(std::time_t when);

// Writes the finished Word package over minizip. Unlike ZipArchive it lends its open archive to a
// StreamedZipEntry, so that the document part can be deflated while it is generated.
class DocxZip {
 public:
  DocxZip() = default;
  ~DocxZip();
  DocxZip(const DocxZip&) = delete;
  DocxZip& operator=(const DocxZip&) = delete;

  bool CreateZipFile2(const std::string& archive);
  bool addFileToZip(const std::string& file, const std::string& newname);
  // An entry for a folder (the name ends in "/").
  bool addFolderToZip(const std::string& newname);
  bool CloseZipFile2();

  // The minizip zipFile open for writing, or null.
  void* zipHandle() const { return zip_; }

 private:
  void* zip_ = nullptr;
};
