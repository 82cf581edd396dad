#include "platform/sync/VdirCollection.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>

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
  for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (!isCardFileName(name)) continue;
    std::string etag = etagOf(it->path());
    if (!etag.empty()) etagByHref[name] = etag;
  }
  if (ec) {
    if (error) *error = "cannot read the folder " + folder_.string() + ": " + ec.message();
    return false;
  }
  return true;
}

bool VdirCollection::fetch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cardByHref,
                           std::string* error) {
  for (const auto& href : hrefs) {
    if (!safeHref(href, error)) return false;
    std::filesystem::path file = folder_ / href;
    // Read until the file holds still: a writer renaming a new version in between changes the ETag.
    for (int attempt = 0; attempt < 5; ++attempt) {
      std::string before = etagOf(file);
      if (before.empty()) break;  // gone
      std::ifstream in(file, std::ios::binary);
      if (!in) {
        if (error) *error = systemError("cannot read", file);
        return false;
      }
      std::ostringstream text;
      text << in.rdbuf();
      if (etagOf(file) == before) {
        cardByHref[href] = Card{before, text.str()};
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
  bool written = writeFully(fd, text) && ::fchmod(fd, 0644) == 0 && ::fsync(fd) == 0;
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
