#include "frameworks/common/ResourceLocator.h"

#include <dlfcn.h>

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

#ifndef ROLVANE_LIBDIR_TO_DATADIR
#define ROLVANE_LIBDIR_TO_DATADIR "../share"
#endif
#ifndef ROLVANE_BUILD_DATADIR
#define ROLVANE_BUILD_DATADIR ""
#endif

std::string ResourceLocator::loadedFrom(const void* anchor) {
  Dl_info info{};
  if (dladdr(anchor, &info) == 0 || !info.dli_fname || !*info.dli_fname) return {};
  std::error_code ec;
  fs::path file = fs::canonical(info.dli_fname, ec);
  if (ec) {
    // The program itself may be reported by its bare name; /proc knows its full path.
    file = fs::canonical("/proc/self/exe", ec);
    if (ec) return {};
  }
  return file.string();
}

std::vector<std::string> ResourceLocator::candidateFolders(const void* anchor, const std::string& libraryName) {
  std::vector<std::string> folders;
  const auto add = [&](const fs::path& folder) {
    const std::string text = folder.lexically_normal().string();
    for (const auto& known : folders)
      if (known == text) return;
    folders.push_back(text);
  };
  const std::string library = loadedFrom(anchor);
  if (!library.empty()) {
    const fs::path libdir = fs::path(library).parent_path();
    add(libdir / ROLVANE_LIBDIR_TO_DATADIR / "rolvane" / libraryName);
    add(libdir / ".." / "share" / "rolvane" / libraryName);
  }
  if (*ROLVANE_BUILD_DATADIR) add(fs::path(ROLVANE_BUILD_DATADIR) / "rolvane" / libraryName);
  return folders;
}

std::string ResourceLocator::find(const void* anchor, const std::string& libraryName, const std::string& resource) {
  for (const auto& folder : candidateFolders(anchor, libraryName)) {
    const fs::path candidate = fs::path(folder) / resource;
    std::error_code ec;
    if (fs::is_regular_file(candidate, ec)) return candidate.string();
  }
  return {};
}
