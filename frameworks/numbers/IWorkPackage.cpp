#include "frameworks/numbers/IWorkPackage.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>
#include <vector>

#include <minizip/unzip.h>
#include <minizip/zip.h>

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kChunk = 1 << 20;

bool climbsOut(const fs::path& name) {
  if (name.is_absolute()) return true;
  return std::any_of(name.begin(), name.end(), [](const fs::path& part) { return part == ".."; });
}

bool expandCurrentEntry(unzFile archive, const fs::path& folder, std::vector<char>& buffer, std::string& error) {
  unz_file_info64 info;
  char name[4096];
  if (unzGetCurrentFileInfo64(archive, &info, name, sizeof name, nullptr, 0, nullptr, 0) != UNZ_OK) {
    error = "cannot read an entry of the template";
    return false;
  }
  std::string entry = name;
  std::replace(entry.begin(), entry.end(), '\\', '/');
  if (climbsOut(entry)) {
    error = "the template holds an entry outside its folder: " + entry;
    return false;
  }
  const fs::path target = folder / entry;
  std::error_code ec;
  if (!entry.empty() && entry.back() == '/') {
    fs::create_directories(target, ec);
    return true;
  }
  fs::create_directories(target.parent_path(), ec);
  if (unzOpenCurrentFile(archive) != UNZ_OK) {
    error = "cannot open the template entry " + entry;
    return false;
  }
  std::ofstream out(target, std::ios::binary | std::ios::trunc);
  int read = 0;
  while (out && (read = unzReadCurrentFile(archive, buffer.data(), static_cast<unsigned>(buffer.size()))) > 0)
    out.write(buffer.data(), read);
  const bool closed = unzCloseCurrentFile(archive) == UNZ_OK;
  out.close();
  if (read < 0 || !closed || !out) {
    error = "cannot expand the template entry " + entry;
    return false;
  }
  return true;
}

bool addFile(zipFile archive, const fs::path& file, const std::string& name, std::vector<char>& buffer,
             std::string& error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = "cannot read " + file.string();
    return false;
  }
  zip_fileinfo info{};
  std::error_code ec;
  const auto size = fs::file_size(file, ec);
  const int large = !ec && size >= 0xFFFFFFFFull ? 1 : 0;
  if (zipOpenNewFileInZip64(archive, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                            Z_DEFAULT_COMPRESSION, large) != ZIP_OK) {
    error = "cannot add " + name + " to the document";
    return false;
  }
  bool written = true;
  while (written && in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto count = in.gcount();
    if (count > 0) written = zipWriteInFileInZip(archive, buffer.data(), static_cast<unsigned>(count)) == ZIP_OK;
  }
  const bool closed = zipCloseFileInZip(archive) == ZIP_OK;
  if (!written || !closed || in.bad()) {
    error = "cannot write " + name + " into the document";
    return false;
  }
  return true;
}

}  // namespace

bool expandIWorkTemplate(const std::string& templatePath, const std::string& folder, std::string& error) {
  unzFile archive = unzOpen64(templatePath.c_str());
  if (!archive) {
    error = "cannot open the template " + templatePath;
    return false;
  }
  std::vector<char> buffer(kChunk);
  bool ok = unzGoToFirstFile(archive) == UNZ_OK;
  if (!ok) error = "the template " + templatePath + " is empty";
  while (ok) {
    ok = expandCurrentEntry(archive, folder, buffer, error);
    if (!ok) break;
    const int next = unzGoToNextFile(archive);
    if (next == UNZ_END_OF_LIST_OF_FILE) break;
    if (next != UNZ_OK) {
      error = "cannot read the template " + templatePath;
      ok = false;
    }
  }
  unzClose(archive);
  return ok;
}

bool packIWorkFolder(const std::string& folder, const std::string& zipPath, std::string& error) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file()) files.push_back(it->path());
  if (ec) {
    error = "cannot list " + folder + ": " + ec.message();
    return false;
  }
  std::sort(files.begin(), files.end());

  zipFile archive = zipOpen64(zipPath.c_str(), APPEND_STATUS_CREATE);
  if (!archive) {
    error = "cannot create " + zipPath;
    return false;
  }
  std::vector<char> buffer(kChunk);
  bool ok = true;
  for (const fs::path& file : files) {
    ok = addFile(archive, file, fs::relative(file, folder).generic_string(), buffer, error);
    if (!ok) break;
  }
  if (zipClose(archive, nullptr) != ZIP_OK && ok) {
    error = "cannot finish " + zipPath;
    ok = false;
  }
  return ok;
}
