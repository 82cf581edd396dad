#include "platform/sync/VdirCollection.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <string_view>

namespace {

bool isCardFileName(const std::string& name) {
  if (name.empty() || name[0] == '.' || name.size() < 5) return false;
  std::string tail = name.substr(name.size() - 4);
  for (auto& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".vcf";
}

std::string systemError(const std::string& what, const std::filesystem::path& path) {
  return what + " " + path.string() + ": " + std::strerror(errno);
}

// ".ann.vcf.rolvane-Ab12Cd": the temporary file of a card being written.
bool isTemporaryName(const std::string& name) {
  constexpr std::string_view kTag = ".rolvane-";
  if (name.size() < 1 + kTag.size() + 6 || name[0] != '.') return false;
  return name.compare(name.size() - 6 - kTag.size(), kTag.size(), kTag) == 0;
}

// The permissions of a new file: rw for everyone, less the process's umask (read without changing it).
mode_t newFileMode() {
  mode_t mask = 022;
  if (FILE* status = std::fopen("/proc/self/status", "r")) {
    char line[256];
    while (std::fgets(line, sizeof line, status))
      if (std::strncmp(line, "Umask:", 6) == 0) mask = static_cast<mode_t>(std::strtoul(line + 6, nullptr, 8));
    std::fclose(status);
  }
  return 0666 & ~mask;
}

// The whole content of a file; false (errno set) when it cannot be opened or read.
bool readWhole(const std::filesystem::path& file, std::string& text) {
  int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  text.clear();
  char buffer[65536];
  for (;;) {
    ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      int readErrno = errno;
      ::close(fd);
      errno = readErrno;
      return false;
    }
    if (got == 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  return true;
}

bool writeFully(int fd, const std::string& text) {
  const char* data = text.data();
  std::size_t left = text.size();
  while (left > 0) {
    ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
  return true;
}

}  // namespace

std::string VdirCollection::describe() const {
  return "the folder " + folder_.string();
}

std::string VdirCollection::etagOf(const std::filesystem::path& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return {};
  std::ostringstream etag;
  etag << info.st_mtim.tv_sec << '.' << info.st_mtim.tv_nsec << '-' << info.st_size << '-' << info.st_ino;
  return etag.str();
}

std::string VdirCollection::volumeOf(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::path current = std::filesystem::canonical(folder, ec);
  struct stat info {};
  if (ec || ::stat(current.c_str(), &info) != 0) return {};
  while (current != current.root_path()) {
    struct stat above {};
    std::filesystem::path parent = current.parent_path();
    if (::stat(parent.c_str(), &above) != 0 || above.st_dev != info.st_dev) break;
    current = parent;
  }
  return current.string();
}

bool VdirCollection::safeHref(const std::string& href, std::string* error) const {
  if (href.empty() || href.find('/') != std::string::npos || href == "." || href == ".." || href[0] == '.') {
    if (error) *error = "not a card file name in " + folder_.string() + ": " + href;
    return false;
  }
  return true;
}

bool VdirCollection::list(std::map<std::string, std::string>& etagByHref, std::string* error) {
  etagByHref.clear();
  std::error_code ec;
  if (!std::filesystem::is_directory(folder_, ec)) {
    if (error) *error = "the folder " + folder_.string() + " does not exist";
    return false;
  }
  if (!volume_.empty()) {
    std::string now = volumeOf(folder_);
    if (now != volume_) {
      if (error)
        *error = "the folder " + folder_.string() + " is on another file system (" + now +
                 ") than when it was linked (" + volume_ + "); is the drive mounted?";
      return false;
    }
  }
  // Reading the folder itself must work: an unreadable folder is not an empty one.
  DIR* dir = ::opendir(folder_.c_str());
  if (!dir) {
    if (error) *error = systemError("cannot read the folder", folder_);
    return false;
  }
  const std::time_t now = std::time(nullptr);
  errno = 0;
  while (dirent* entry = ::readdir(dir)) {
    std::string name = entry->d_name;
    std::filesystem::path file = folder_ / name;
    if (isTemporaryName(name)) {
      // Left by a run killed while writing a card: nobody holds it and it has not changed lately.
      struct stat info {};
      int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
      if (fd >= 0 && ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && now - info.st_mtime > 5 &&
          ::flock(fd, LOCK_EX | LOCK_NB) == 0)
        ::unlink(file.c_str());
      if (fd >= 0) ::close(fd);
      continue;
    }
    if (!isCardFileName(name)) continue;
    std::string etag = etagOf(file);
    if (!etag.empty()) etagByHref[name] = etag;
    errno = 0;
  }
  int readErrno = errno;
  ::closedir(dir);
  if (readErrno != 0) {
    errno = readErrno;
    if (error) *error = systemError("cannot read the folder", folder_);
    return false;
  }
  return true;
}

bool VdirCollection::fetch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cardByHref,
                           std::string* error) {
  (void)error;
  for (const auto& href : hrefs) {
    std::string why;
    if (!safeHref(href, &why)) {
      skip(href, why);
      continue;
    }
    std::filesystem::path file = folder_ / href;
    // Read until the file holds still: a writer renaming a new version in between changes the ETag.
    for (int attempt = 0; attempt < 5; ++attempt) {
      std::string before = etagOf(file);
      if (before.empty()) break;  // gone
      std::string text;
      if (!readWhole(file, text)) {
        // One file that cannot be read does not stop the others: it is left as it is.
        skip(href, systemError("cannot read", file) + "; it is left as it was");
        break;
      }
      if (etagOf(file) == before) {
        cardByHref[href] = Card{before, std::move(text)};
        break;
      }
    }
  }
  return true;
}

CardCollection::WriteStatus VdirCollection::put(const std::string& href, const std::string& text,
                                                const std::string& ifMatch, std::string& newEtag, std::string* error) {
  if (!safeHref(href, error)) return WriteStatus::Failed;
  std::filesystem::path file = folder_ / href;
  std::string current = etagOf(file);
  if (ifMatch.empty() ? !current.empty() : current != ifMatch)
    return current.empty() ? WriteStatus::Gone : WriteStatus::Conflict;

  std::string pattern = (folder_ / ("." + href + ".rolvane-XXXXXX")).string();
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = ::mkstemp(name.data());
  if (fd < 0) {
    if (error) *error = systemError("cannot write in", folder_);
    return WriteStatus::Failed;
  }
  std::filesystem::path temporary(name.data());
  ::flock(fd, LOCK_EX);  // held while it is written: not a leftover for another run to remove
  bool written = writeFully(fd, text) && ::fchmod(fd, newFileMode()) == 0 && ::fsync(fd) == 0;
  if (::close(fd) != 0) written = false;
  if (!written) {
    if (error) *error = systemError("cannot write", temporary);
    ::unlink(temporary.c_str());
    return WriteStatus::Failed;
  }
  if (ifMatch.empty()) {
    // A new card: link() refuses a name that appeared meanwhile instead of replacing that file.
    int rc = ::link(temporary.c_str(), file.c_str());
    int linkErrno = errno;
    ::unlink(temporary.c_str());
    if (rc != 0) {
      errno = linkErrno;
      if (linkErrno == EEXIST) return WriteStatus::Conflict;
      if (error) *error = systemError("cannot write", file);
      return WriteStatus::Failed;
    }
  } else if (etagOf(file) != ifMatch) {
    ::unlink(temporary.c_str());
    return WriteStatus::Conflict;
  } else if (::rename(temporary.c_str(), file.c_str()) != 0) {
    if (error) *error = systemError("cannot write", file);
    ::unlink(temporary.c_str());
    return WriteStatus::Failed;
  }
  int dir = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  newEtag = etagOf(file);
  return WriteStatus::Done;
}

CardCollection::WriteStatus VdirCollection::remove(const std::string& href, const std::string& ifMatch,
                                                   std::string* error) {
  if (!safeHref(href, error)) return WriteStatus::Failed;
  std::filesystem::path file = folder_ / href;
  std::string current = etagOf(file);
  if (current.empty()) return WriteStatus::Gone;
  if (!ifMatch.empty() && current != ifMatch) return WriteStatus::Conflict;
  if (::unlink(file.c_str()) != 0) {
    if (errno == ENOENT) return WriteStatus::Gone;
    if (error) *error = systemError("cannot delete", file);
    return WriteStatus::Failed;
  }
  return WriteStatus::Done;
}

std::string VdirCollection::hrefForNewCard(const std::string& uid) const {
  bool plain = !uid.empty() && uid.size() <= 200 && uid[0] != '.';
  for (unsigned char c : uid)
    if (!(std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '@' || c == '+')) plain = false;
  if (plain) return uid + ".vcf";
  std::ostringstream name;
  name << std::hex << std::hash<std::string>{}(uid) << ".vcf";
  return name.str();
}
