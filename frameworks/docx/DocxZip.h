#pragma once

#include <string>

// The zip work of the Word writer over minizip: expanding the template into a folder and writing
// the finished package.
class DocxZip {
 public:
  DocxZip() = default;
  ~DocxZip();
  DocxZip(const DocxZip&) = delete;
  DocxZip& operator=(const DocxZip&) = delete;

  bool UnzipOpenFile(const std::string& archive);
  // Expands every entry under folder; entries whose names are absolute or climb out with ".." are
  // refused and make the result false.
  bool UnzipFileTo(const std::string& folder, bool overWrite);
  bool UnzipCloseFile();

  bool CreateZipFile2(const std::string& archive);
  bool addFileToZip(const std::string& file, const std::string& newname);
  // An entry for a folder (the name ends in "/").
  bool addFolderToZip(const std::string& newname);
  bool CloseZipFile2();

  // The minizip zipFile open for writing, or null.
  void* zipHandle() const { return zip_; }

 private:
  void* zip_ = nullptr;
  void* unz_ = nullptr;
};
