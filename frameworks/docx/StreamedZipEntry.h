#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "frameworks/docx/ChunkDeflater.h"

// Writes one entry of a zip archive whose data is produced piece by piece and deflated on several
// threads, into an archive opened with minizip (the handle of ZipArchive's writing side).
class StreamedZipEntry {
 public:
  // zipHandle: a minizip zipFile open for writing. large: the entry may exceed 4 GiB (zip64).
  StreamedZipEntry(void* zipHandle, std::string name, bool large);
  ~StreamedZipEntry();
  StreamedZipEntry(const StreamedZipEntry&) = delete;
  StreamedZipEntry& operator=(const StreamedZipEntry&) = delete;

  bool open();
  // Takes the text (leaving it empty).
  bool write(std::string& text);
  // Ends the entry; false when anything failed on the way.
  bool close();

 private:
  void* zip_;
  std::string name_;
  bool large_;
  bool open_ = false;
  bool failed_ = false;
  std::unique_ptr<ChunkDeflater> deflater_;
};
