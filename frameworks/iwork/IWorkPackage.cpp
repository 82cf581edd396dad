#include "frameworks/iwork/IWorkPackage.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

#include "frameworks/common/OutputFile.h"
#include "frameworks/common/WorkingFolder.h"
#include "frameworks/zip/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

// Keeps the first message the archive reports.
class FirstMessage : public ZipArchiveDelegate {
 public:
  void ErrorMessage(const std::string& message) override {
    if (text.empty()) text = message;
  }
  std::string text;
};

}  // namespace

bool expandIWorkTemplate(const std::string& templatePath, const std::string& folder, std::string* error) {
  ZipArchive archive;
  auto messages = std::make_shared<FirstMessage>();
  archive.setDelegate(messages);
  if (!archive.UnzipOpenFile(templatePath)) {
    if (error) *error = "cannot open the template " + templatePath;
    return false;
  }
  const bool expanded = archive.UnzipFileToOverWrite(folder, true);
  archive.UnzipCloseFile();
  if (!expanded || !messages->text.empty()) {
    if (error)
      *error = "cannot expand the template " + templatePath + (messages->text.empty() ? "" : ": " + messages->text);
    return false;
  }
  return true;
}

bool packIWorkFolder(const std::string& folder, const std::string& zipPath, std::string* error) {
  std::vector<fs::path> entries;
  std::error_code ec;
  for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (it->is_regular_file() || it->is_directory()) entries.push_back(it->path());
  if (ec) {
    if (error) *error = "cannot list " + folder + ": " + ec.message();
    return false;
  }
  std::sort(entries.begin(), entries.end());

  ZipArchive archive;
  // The main part of a large table is hundreds of megabytes of repetitive XML: the fastest level
  // compresses it nearly as well as the default, in a fraction of the time.
  archive.setCompressionLevel(1);
  if (!archive.CreateZipFile2(zipPath)) {
    if (error) *error = "cannot create " + zipPath;
    return false;
  }
  for (const fs::path& entry : entries) {
    const std::string name = fs::relative(entry, folder).generic_string();
    const bool added =
        fs::is_directory(entry) ? archive.addFolderToZip(name + "/") : archive.addLargeFileToZip(entry.string(), name);
    if (!added) {
      if (error) *error = "cannot add " + name + " to " + zipPath;
      archive.CloseZipFile2();
      return false;
    }
  }
  if (!archive.CloseZipFile2()) {
    if (error) *error = "cannot finish " + zipPath;
    return false;
  }
  return true;
}

std::string writeIWorkDocument(const IWorkDocumentKind& kind, const std::string& savePath,
                               const IWorkPartsWriter& writeParts, std::string* error) {
  if (kind.templatePath.empty()) {
    if (error) *error = "the template document " + kind.templateName + " is not installed";
    return {};
  }
  WorkingFolder folder(kind.workingPrefix);
  if (!folder.ok()) {
    if (error) *error = folder.error();
    return {};
  }
  if (!expandIWorkTemplate(kind.templatePath, folder.path(), error)) return {};
  std::error_code ec;
  fs::create_directories(fs::path(folder.path()) / "mm" / "images", ec);
  if (!writeParts(folder.path(), error)) return {};

  OutputFile output(savePath + kind.extension);
  if (!output.open()) {
    if (error) *error = output.error();
    return {};
  }
  if (!packIWorkFolder(folder.path(), output.temporaryPath(), error)) return {};
  if (!output.commit()) {
    if (error) *error = output.error();
    return {};
  }
  return output.finalPath();
}
