#include "frameworks/common/Leftovers.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <filesystem>
#include <string_view>
#include <system_error>

#include "frameworks/common/WorkingFolder.h"

namespace fs = std::filesystem;

namespace {

bool isTag(std::string_view text) {
  if (text.size() != 6) return false;
  for (char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  return true;
}

// ".Zedid-Ovuzazur(2).csv.Ab12Cd.part", ".Zedid-Ovuzazur.Ab12Cd.part", ".allPeople.csv.Ab12Cd.part"
bool isPartName(std::string_view name) {
  constexpr std::string_view kPart = ".part";
  if (name.size() < 1 + 7 + kPart.size() || name.front() != '.' || !name.ends_with(kPart)) return false;
  std::string_view stem = name.substr(1, name.size() - 1 - kPart.size());
  if (stem[stem.size() - 7] != '.' || !isTag(stem.substr(stem.size() - 6))) return false;
  stem = stem.substr(0, stem.size() - 7);
  return stem.starts_with("Zedid-Ovuzazur") || stem.starts_with("allPeople");
}

// "Ostrex-Ab12Cd": a working folder of the cache.
bool isWorkingFolderName(std::string_view name) {
  if (name.size() < 8 || name[name.size() - 7] != '-' || !isTag(name.substr(name.size() - 6))) return false;
  for (char c : name.substr(0, name.size() - 7))
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) return false;
  return true;
}

// Removes the entry when it is old enough and no export holds it.
bool removeIfLeftOver(const fs::directory_entry& entry, fs::file_time_type before) {
  std::error_code ec;
  const fs::file_status status = entry.symlink_status(ec);
  if (ec || (!fs::is_regular_file(status) && !fs::is_directory(status))) return false;
  if (entry.last_write_time(ec) > before || ec) return false;
  const int fd = ::open(entry.path().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  bool removed = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) removed = fs::remove_all(entry.path(), ec) > 0 && !ec;
  ::close(fd);
  return removed;
}

int removeMatching(const fs::path& folder, bool (*matches)(std::string_view), fs::file_time_type before) {
  int removed = 0;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (matches(it->path().filename().native()) && removeIfLeftOver(*it, before)) ++removed;
  return removed;
}

}  // namespace

ExportLock::ExportLock(const std::string& path) {
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd_ >= 0 && ::flock(fd_, LOCK_EX) != 0) release();
}

ExportLock::~ExportLock() {
  release();
}

ExportLock::ExportLock(ExportLock&& other) noexcept : fd_(other.fd_) {
  other.fd_ = -1;
}

ExportLock& ExportLock::operator=(ExportLock&& other) noexcept {
  if (this != &other) {
    release();
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

void ExportLock::release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int removeExportLeftovers(const std::string& folder, std::chrono::seconds olderThan) {
  const fs::file_time_type before = fs::file_time_type::clock::now() - olderThan;
  int removed = 0;
  if (!folder.empty()) removed += removeMatching(folder, isPartName, before);
  if (const std::string cache = WorkingFolder::cacheRoot(); !cache.empty())
    removed += removeMatching(cache, isWorkingFolderName, before);
  return removed;
}
