#pragma once

#include <minizip/unzip.h>
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/record/ContactRecord.h"

// A fresh folder for one test, with the cache folder of the writers inside it.
class DocxScratch {
 public:
  DocxScratch() {
    char pattern[] = "/tmp/wistrel-test-XXXXXX";
    root = mkdtemp(pattern);
    cache = root / "cache";
    std::filesystem::create_directories(cache);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  }
  ~DocxScratch() {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
  }
  std::filesystem::path folder(const std::string& name) const {
    std::filesystem::create_directories(root / name);
    return root / name;
  }
  // What the writers left in the cache folder.
  std::vector<std::string> cacheLeftovers() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(cache / "rolvane", ec))
      names.push_back(entry.path().filename().string());
    return names;
  }
  std::filesystem::path root;
  std::filesystem::path cache;
};

inline std::vector<std::string> zipEntryNames(const std::string& archive) {
  std::vector<std::string> names;
  unzFile file = unzOpen64(archive.c_str());
  if (!file) return names;
  for (int at = unzGoToFirstFile(file); at == UNZ_OK; at = unzGoToNextFile(file)) {
    char name[1024];
    unz_file_info64 info;
    unzGetCurrentFileInfo64(file, &info, name, sizeof name, nullptr, 0, nullptr, 0);
    names.push_back(name);
  }
  unzClose(file);
  return names;
}

inline std::string zipEntryText(const std::string& archive, const std::string& entry) {
  std::string text;
  unzFile file = unzOpen64(archive.c_str());
  if (!file) return text;
  if (unzLocateFile(file, entry.c_str(), 1) == UNZ_OK && unzOpenCurrentFile(file) == UNZ_OK) {
    char buffer[65536];
    int n;
    while ((n = unzReadCurrentFile(file, buffer, sizeof buffer)) > 0) text.append(buffer, n);
    // A damaged entry (bad data or a CRC that does not match) reads as nothing.
    if (unzCloseCurrentFile(file) != UNZ_OK || n < 0) text.clear();
  }
  unzClose(file);
  return text;
}

inline ContactRecords sampleContacts(int count) {
  ContactRecords records;
  for (int i = 0; i < count; ++i) {
    ContactRecord record;
    record.set("First Name", "Ann" + std::to_string(i));
    if (i % 3 != 1) record.set("Last Name", "Berg & Co <" + std::to_string(i) + ">");
    record.set("Company", "Acme \"Works\" " + std::to_string(i));
    if (i % 2 == 0) record.set("Home Email", "ann" + std::to_string(i) + "@example.org");
    if (i % 4 == 0) record.set("Note", "line one\nline two " + std::to_string(i));
    if (i == 1) record.set("Birthday", ABDate{1980, 2, 29});
    records.push_back(std::move(record));
  }
  return records;
}
