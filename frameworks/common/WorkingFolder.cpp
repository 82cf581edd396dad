#include "frameworks/common/WorkingFolder.h"

#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string homeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_dir) return entry->pw_dir;
  return {};
}

}  // namespace

std::string WorkingFolder::cacheRoot() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') return (fs::path(xdg) / "rolvane").string();
  const std::string home = homeFolder();
  if (home.empty()) return {};
  return (fs::path(home) / ".cache" / "rolvane").string();
}

WorkingFolder::WorkingFolder(const std::string& prefix) {
  const std::string root = cacheRoot();
  if (root.empty()) {
    error_ = "No cache folder: neither XDG_CACHE_HOME nor a home folder is known";
    return;
  }
  std::error_code ec;
  fs::create_directories(root, ec);
  if (ec) {
    error_ = "Cannot create the cache folder " + root + ": " + ec.message();
    return;
  }
  std::string pattern = (fs::path(root) / (prefix + "-XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (!mkdtemp(buffer.data())) {
    error_ = "Cannot create a working folder in " + root + ": " + std::strerror(errno);
    return;
  }
  path_ = buffer.data();
  lock_ = ExportLock(path_);
}

WorkingFolder::~WorkingFolder() {
  if (path_.empty()) return;
  std::error_code ec;
  fs::remove_all(path_, ec);
  lock_.release();
}
