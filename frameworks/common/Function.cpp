#include "frameworks/common/Function.h"

#include <filesystem>
#include <system_error>

namespace {

bool somethingExistsAt(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(std::filesystem::symlink_status(path, error));
}

void removeEvery(std::string& text, const std::string& tag) {
  for (size_t at = text.find(tag); at != std::string::npos; at = text.find(tag, at)) text.erase(at, tag.size());
}

}  // namespace

std::string Function::GetOutPutFile(const std::string& path) {
  if (!somethingExistsAt(path)) return path;
  const std::filesystem::path given(path);
  const std::string ext = given.extension().string();  // with its full stop, or empty
  const std::string base = ext.empty() ? path : path.substr(0, path.size() - ext.size());
  for (long n = 0;; ++n) {
    const std::string tag = "(" + std::to_string(n) + ")";
    std::string candidate = base;
    removeEvery(candidate, tag);
    candidate += tag;
    candidate += ext;
    if (!somethingExistsAt(candidate)) return candidate;
  }
}
