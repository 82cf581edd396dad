#include "app/export/view/ExportFormats.h"

#include <filesystem>

#include "app/export/ExportCSV.h"
#include "app/export/ExportTXT.h"
#include "app/export/ExportToHtml.h"

#if __has_include("frameworks/xlsx/XlsxCreater.h")
#include "frameworks/xlsx/XlsxCreater.h"
#define ROLVANE_VIEW_XLSX 1
#endif
#if __has_include("frameworks/docx/DocxCreator.h")
#include "frameworks/docx/DocxCreator.h"
#define ROLVANE_VIEW_DOCX 1
#endif
#if __has_include("frameworks/numbers/NumbersCreator.h")
#include "frameworks/numbers/NumbersCreator.h"
#define ROLVANE_VIEW_NUMBERS 1
#endif
#if __has_include("frameworks/pages/PagesCreator.h")
#include "frameworks/pages/PagesCreator.h"
#define ROLVANE_VIEW_PAGES 1
#endif
#if __has_include("app/export/ExportVCard.h")
#include "app/export/ExportVCard.h"
#define ROLVANE_VIEW_VCARD 1
#endif

namespace ExportFormats {

namespace {

[[maybe_unused]] ExportResult creatorResult(bool ok, std::string file, std::string error) {
  ExportResult result;
  result.ok = ok;
  result.file = std::move(file);
  result.error = std::move(error);
  return result;
}

[[maybe_unused]] ExportResult notInThisBuild(const std::string& title) {
  ExportResult result;
  result.error = "\"" + title + "\" is not available in this build of the program.";
  return result;
}

}  // namespace

const std::vector<std::string>& titles() {
  static const std::vector<std::string> list = {"Save to Excel", "Save to HTML", "Save to Pages", "Save to Numbers",
                                                "Save to CSV",   "Save to Docx", "Save to vCard", "Save to TXT"};
  return list;
}

ExportResult run(const std::string& title, const ContactRecords& records, const std::string& folder,
                 bool isShowAllInfo) {
  const std::string named = (std::filesystem::path(folder) / "Zedid-Ovuzazur").string();
  if (title == "Save to Excel") {
#ifdef ROLVANE_VIEW_XLSX
    XlsxCreater creator(records, named, isShowAllInfo);
    bool ok = creator.startConvert();
    return creatorResult(ok, creator.outputPath(), creator.errorText());
#else
    return notInThisBuild(title);
#endif
  }
  if (title == "Save to HTML") return ExportToHtml(records, named, isShowAllInfo).writeHtml();
  if (title == "Save to Pages") {
#ifdef ROLVANE_VIEW_PAGES
    PagesCreator creator(records, named, isShowAllInfo);
    bool ok = creator.startConvert();
    return creatorResult(ok, creator.outputPath(), creator.errorText());
#else
    return notInThisBuild(title);
#endif
  }
  if (title == "Save to Numbers") {
#ifdef ROLVANE_VIEW_NUMBERS
    NumbersCreator creator(records, named, isShowAllInfo);
    bool ok = creator.startConvert();
    return creatorResult(ok, creator.outputPath(), creator.errorText());
#else
    return notInThisBuild(title);
#endif
  }
  if (title == "Save to CSV")
    return ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder, isShowAllInfo);
  if (title == "Save to Docx") {
#ifdef ROLVANE_VIEW_DOCX
    DocxCreator creator(records, named);
    bool ok = creator.startConvert();
    return creatorResult(ok, creator.outputPath(), creator.errorText());
#else
    return notInThisBuild(title);
#endif
  }
  if (title == "Save to vCard") {
#ifdef ROLVANE_VIEW_VCARD
    return ExportVCard().exportVcardWithArrayToPath(records, folder);
#else
    return notInThisBuild(title);
#endif
  }
  if (title == "Save to TXT")
    return ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder, isShowAllInfo);
  ExportResult unknown;
  unknown.error = "Unknown export format \"" + title + "\".";
  return unknown;
}

}  // namespace ExportFormats
