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
  // Numbers are taken out of the file's own name only: a folder named "Exports(1)" stays as it is.
  const size_t nameStart = base.rfind('/') == std::string::npos ? 0 : base.rfind('/') + 1;
  const std::string folder = base.substr(0, nameStart);
  for (long n = 0;; ++n) {
    const std::string tag = "(" + std::to_string(n) + ")";
    std::string name = base.substr(nameStart);
    removeEvery(name, tag);
    const std::string candidate = folder + name + tag + ext;
    if (!somethingExistsAt(candidate)) return candidate;
  }
}
