#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <minizip/unzip.h>
#include <sys/wait.h>
#include <unistd.h>

// Support for the tests that run finished iWork documents through real programs.

// The names of the entries of a zip file, in archive order.
inline std::vector<std::string> zipEntryNames(const std::string& path) {
  std::vector<std::string> names;
  unzFile zip = unzOpen64(path.c_str());
  if (!zip) return names;
  for (int at = unzGoToFirstFile(zip); at == UNZ_OK; at = unzGoToNextFile(zip)) {
    char name[1024];
    unz_file_info64 info;
    if (unzGetCurrentFileInfo64(zip, &info, name, sizeof name, nullptr, 0, nullptr, 0) == UNZ_OK) names.push_back(name);
  }
  unzClose(zip);
  return names;
}

inline std::string findProgram(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream folders(path ? path : "/usr/bin");
  std::string folder;
  while (std::getline(folders, folder, ':')) {
    std::filesystem::path candidate = std::filesystem::path(folder) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// Runs `soffice --headless --convert-to <filter> --outdir <outdir> <input>` with HOME set to a
// fresh folder, without a shell. Returns the exit status (-1 when it could not start).
inline int runLibreOfficeConvert(const std::string& soffice, const std::string& filter, const std::string& input,
                                 const std::string& outdir, const std::string& home) {
  pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::setenv("HOME", home.c_str(), 1);
    std::string profile = "-env:UserInstallation=file://" + home + "/lo-profile";
    ::execl(soffice.c_str(), soffice.c_str(), profile.c_str(), "--headless", "--convert-to", filter.c_str(), "--outdir",
            outdir.c_str(), input.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

inline std::vector<std::string> readLines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}
