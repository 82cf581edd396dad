#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

// Receives what a ZipArchive has to say. Both operations are optional: the defaults are what an
// archive without a delegate does (messages dropped, existing files replaced).
class ZipArchiveDelegate {
 public:
  virtual ~ZipArchiveDelegate() = default;
  virtual void ErrorMessage(const std::string& message) { (void)message; }
  // Asked before expansion replaces the file at path: true replaces it, false keeps it.
  virtual bool OverWriteOperation(const std::string& path) {
    (void)path;
    return true;
  }
};

class DeflatePipeline;

// Writes a zip archive entry by entry and expands a whole archive into a folder (over minizip).
// One archive open for writing and one for reading at a time; used by one thread at a time.
// Messages to the delegate: "Failed" (no first entry), "Error occurs" (an entry cannot be opened,
// or its password is wrong), "Error occurs while getting file info", "Failed to reading zip file"
// (damaged data; the entry's file is not written), "Failed to write file: <path>" (the file cannot
// be created or written there; expansion goes on with the next entry), and
// "Refused entry outside the destination folder: <name>" for an entry whose name is absolute or
// climbs out of the destination with "..", which is never written.
// Password archives use the traditional zip encryption, which every unzip program reads.
class ZipArchive {
 public:
  ZipArchive();
  ~ZipArchive();  // finishes an archive still open for writing as CloseZipFile2 does
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Writing side.
  bool CreateZipFile2(const std::string& zipPath);
  bool CreateZipFile2Password(const std::string& zipPath, const std::string& password);
  // Adds the file as one entry dated with its modification time; an unreadable file gives an
  // empty entry.
  bool addFileToZipNewname(const std::string& file, const std::string& newname);
  bool CloseZipFile2();

  // Fast packing: entries of the writing side compressed at compressionLevel() (zlib levels,
  // -1 = zlib's default), deflated on every core while the input is read.
  void setCompressionLevel(int level) { compressionLevel_ = level; }
  int compressionLevel() const { return compressionLevel_; }
  // Adds bytes held in memory as one entry dated now.
  bool addDataToZip(std::string_view bytes, const std::string& newname);
  // Adds a file, read and deflated in pieces, so its size does not matter. In a password archive
  // the file is read twice: the entry's header holds its CRC.
  bool addLargeFileToZip(const std::string& file, const std::string& newname);
  // Adds an empty folder entry ("name/").
  bool addFolderToZip(const std::string& newname);

  // A streamed entry, dated now: its bytes are handed over piece by piece and deflated on every
  // core while the caller goes on producing them, so the entry is never held whole. One at a time,
  // between entries added otherwise. large: the entry may reach 4 GiB (zip64). Not in a password
  // archive, whose entries need their CRC before their first byte is written: beginEntry then
  // returns false.
  bool beginEntry(const std::string& newname, bool large = false);
  // Takes the bytes, leaving the string empty (possibly holding memory for reuse).
  bool writeEntry(std::string& bytes);
  bool writeEntry(std::string_view bytes);
  // Ends the entry; false when anything failed since beginEntry.
  bool endEntry();

  // Reading side.
  bool UnzipOpenFile(const std::string& zipPath);
  bool UnzipOpenFilePassword(const std::string& zipPath, const std::string& password);
  bool UnzipFileToOverWrite(const std::string& path, bool overwrite);
  bool UnzipCloseFile();

  void OutputErrorMessage(const std::string& message);
  bool OverWrite(const std::string& file);

  // Midnight, 1 January 1980, local time: the earliest date a zip entry can carry.
  static std::chrono::system_clock::time_point Date1980();

  const std::shared_ptr<ZipArchiveDelegate>& delegate() const { return delegate_; }
  void setDelegate(std::shared_ptr<ZipArchiveDelegate> delegate) { delegate_ = std::move(delegate); }

 private:
  bool addRawDeflated(const std::string& newname, std::chrono::system_clock::time_point date, std::size_t size,
                      const std::function<bool(char*, std::size_t)>& read, uint32_t crc);
  bool openRawEntry(const std::string& newname, std::time_t date, bool encrypted, bool large);
  bool writeRaw(const char* data, std::size_t size);

  void* zipFile_ = nullptr;
  std::unique_ptr<DeflatePipeline> stream_;
  bool streamFailed_ = false;
  bool streamLarge_ = false;
  void* unzFile_ = nullptr;
  std::string password_;
  std::shared_ptr<ZipArchiveDelegate> delegate_;
  int compressionLevel_ = -1;
};
