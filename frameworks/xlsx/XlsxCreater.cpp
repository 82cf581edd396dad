#include "frameworks/xlsx/XlsxCreater.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "frameworks/common/Function.h"
#include "frameworks/common/OutputFile.h"
#include "frameworks/common/ResourceLocator.h"
#include "frameworks/common/WorkingFolder.h"
#include "frameworks/common/WriterLog.h"
#include "frameworks/zip/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

// Adds the items of the expanded package, files and empty folders, by their relative names.
bool packFolder(ZipArchive& zip, const fs::path& root, const std::vector<std::string>& items) {
  for (const auto& item : items) {
    const fs::path top = root / item;
    std::error_code ec;
    if (fs::is_regular_file(top, ec)) {
      if (!zip.addLargeFileToZip(top.string(), item)) return false;
      continue;
    }
    std::vector<fs::path> entries;
    for (auto it = fs::recursive_directory_iterator(top, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec))
      entries.push_back(it->path());
    std::sort(entries.begin(), entries.end());
    for (const auto& entry : entries) {
      const std::string name = fs::relative(entry, root).generic_string();
      if (fs::is_directory(entry)) {
        if (fs::is_empty(entry) && !zip.addFolderToZip(name)) return false;
      } else if (!zip.addLargeFileToZip(entry.string(), name)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

XlsxCreater::XlsxCreater(const ContactRecords& records, std::string savePath, bool isShowAllInfo)
    : dictionArr_(records), savePath_(std::move(savePath)), isShowAllInfo_(isShowAllInfo) {}

std::string XlsxCreater::GetOutPutFile(const std::string& path) {
  return Function::GetOutPutFile(path);
}

std::string XlsxCreater::templatePath() {
  return ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "Quarnel", "test.xlsx");
}

bool XlsxCreater::fail(std::string text) {
  error_ = std::move(text);
  ok_ = false;
  return false;
}

bool XlsxCreater::startConvert() {
  bool converted;
  {
    WorkingFolder folder("Ostrex");
    converted = folder.ok() ? convertIn(folder.path()) : fail(folder.error());
  }
  // Written once the working folder is removed, whether or not the workbook was written.
  WriterLog::write("转化完成");
  return converted;
}

bool XlsxCreater::convertIn(const std::string& workingFolder) {
  const std::string source = templatePath();
  if (source.empty()) return fail("The template workbook test.xlsx of Quarnel cannot be found");
  {
    ZipArchive unzip;
    if (!unzip.UnzipOpenFile(source) || !unzip.UnzipFileToOverWrite(workingFolder, true))
      return fail("The template workbook " + source + " cannot be expanded");
    unzip.UnzipCloseFile();
  }
  std::error_code ec;
  fs::create_directories(workingFolder + "/xl/media", ec);
  fs::create_directories(workingFolder + "/xl/drawings/_rels", ec);

  xlsxFiles_ = std::make_unique<WriteXlsxFile>(workingFolder);
  if (!xlsxFiles_->writeXlsxIsShowAllInfo(dictionArr_, isShowAllInfo_)) return fail(xlsxFiles_->error());

  OutputFile output(savePath_ + ".xlsx");
  if (!output.open()) return fail(output.error());
  ZipArchive zip;
  // The worksheet and the shared strings are hundreds of megabytes of repetitive XML for a large
  // address book: the fastest level packs them nearly as small as the default, several times faster.
  zip.setCompressionLevel(1);
  if (!zip.CreateZipFile2(output.temporaryPath())) return fail("Cannot write " + output.temporaryPath());
  const bool packed = packFolder(zip, workingFolder, {"_rels", "[Content_Types].xml", "docProps", "xl"});
  const bool streamed =
      packed && xlsxFiles_->writeContentOfsheetSharedString(zip, "xl/worksheets/sheet1.xml", "xl/sharedStrings.xml");
  const bool closed = zip.CloseZipFile2();
  if (packed && !streamed) return fail(xlsxFiles_->error());
  if (!closed || !packed) return fail("Cannot write the workbook " + savePath_ + ".xlsx");
  if (!output.commit()) return fail(output.error());
  outputPath_ = output.finalPath();
  ok_ = true;
  error_.clear();
  return true;
}
