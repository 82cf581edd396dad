#include "frameworks/common/OutputFile.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <vector>

#include "frameworks/common/Function.h"

namespace fs = std::filesystem;

namespace {

std::string describeErrno(const std::string& what, const std::string& path) {
  return what + " " + path + ": " + std::strerror(errno);
}

// The permissions a newly created file would get: rw for everyone, less the process's umask.
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

// Creates a new empty file named .<name>.XXXXXX.part beside path; returns its path or empty.
std::string createTemporaryBeside(const std::string& path, int* fdOut) {
  const fs::path target(path);
  const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string pattern = (folder / ("." + target.filename().string() + ".XXXXXX.part")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  const int fd = mkstemps(buffer.data(), 5);
  if (fd < 0) return {};
  fchmod(fd, newFileMode());
  if (fdOut)
    *fdOut = fd;
  else
    close(fd);
  return buffer.data();
}

// Renames from to to only when nothing exists at to. Returns 0, or the errno of the failure
// (EEXIST when the name is taken).
int renameWithoutReplacing(const std::string& from, const std::string& to) {
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // File systems without RENAME_NOREPLACE: a hard link fails just the same on an existing name.
  if (link(from.c_str(), to.c_str()) != 0) return errno;
  unlink(from.c_str());
  return 0;
}

}  // namespace

OutputFile::OutputFile(std::string wantedPath) : wantedPath_(std::move(wantedPath)) {}

OutputFile::~OutputFile() {
  if (!temporaryPath_.empty() && finalPath_.empty()) unlink(temporaryPath_.c_str());
}

bool OutputFile::open() {
  temporaryPath_ = createTemporaryBeside(wantedPath_, nullptr);
  if (temporaryPath_.empty()) {
    error_ = describeErrno("Cannot create a file in the folder of", wantedPath_);
    return false;
  }
  lock_ = ExportLock(temporaryPath_);
  return true;
}

bool OutputFile::commit() {
  if (temporaryPath_.empty()) {
    error_ = "Nothing was written for " + wantedPath_;
    return false;
  }
  for (int attempt = 0; attempt < 1000; ++attempt) {
    const std::string candidate = Function::GetOutPutFile(wantedPath_);
    const int failure = renameWithoutReplacing(temporaryPath_, candidate);
    if (failure == 0) {
      finalPath_ = candidate;
      return true;
    }
    if (failure != EEXIST) {
      errno = failure;
      error_ = describeErrno("Cannot write", candidate);
      return false;
    }
  }
  error_ = "Cannot find a free file name for " + wantedPath_;
  return false;
}

bool replaceFileAtomically(const std::string& path, const std::string& bytes, std::string* error) {
  int fd = -1;
  const std::string temporary = createTemporaryBeside(path, &fd);
  if (temporary.empty()) {
    if (error) *error = describeErrno("Cannot create a file in the folder of", path);
    return false;
  }
  size_t written = 0;
  while (written < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + written, bytes.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (error) *error = describeErrno("Cannot write", path);
      close(fd);
      unlink(temporary.c_str());
      return false;
    }
    written += static_cast<size_t>(n);
  }
  if (close(fd) != 0 || rename(temporary.c_str(), path.c_str()) != 0) {
    if (error) *error = describeErrno("Cannot write", path);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}
