#include <filesystem>
#include <functional>
#include <map>
#include <ostream>
#include <sstream>

#include "app/cli/CommandRegistry.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABAddressBook.h"

#include "app/export/ExportCSV.h"
#include "app/export/ExportTXT.h"
#include "app/export/ExportToHtml.h"
#include "app/export/ExportVCard.h"

#if __has_include("frameworks/xlsx/XlsxCreater.h")
#include "frameworks/xlsx/XlsxCreater.h"
#define ROLVANE_HAVE_XLSX 1
#endif
#if __has_include("frameworks/docx/DocxCreator.h")
#include "frameworks/docx/DocxCreator.h"
#define ROLVANE_HAVE_DOCX 1
#endif
#if __has_include("frameworks/numbers/NumbersCreator.h")
#include "frameworks/numbers/NumbersCreator.h"
#define ROLVANE_HAVE_NUMBERS 1
#endif
#if __has_include("frameworks/pages/PagesCreator.h")
#include "frameworks/pages/PagesCreator.h"
#define ROLVANE_HAVE_PAGES 1
#endif

namespace {

// The browser's columns when none are given.
const std::vector<std::string> kDefaultColumns = {"First Name", "Last Name", "Company",   "Home Email",
                                                  "Work Email", "Mobile",    "Home Phone"};

// One writer: records, destination folder and the all-information flag.
using Writer = std::function<ExportResult(const ContactRecords&, const std::filesystem::path&, bool)>;

template <typename Creator>
ExportResult runCreator(Creator& creator) {
  ExportResult result;
  result.ok = creator.startConvert();
  result.file = creator.outputPath();
  result.error = creator.errorText();
  return result;
}

std::map<std::string, Writer> writers() {
  std::map<std::string, Writer> table;
  const std::string base = "Zedid-Ovuzazur";
  table["csv"] = [](const ContactRecords& records, const std::filesystem::path& folder, bool allInfo) {
    return ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder.string(), allInfo);
  };
  table["html"] = [base](const ContactRecords& records, const std::filesystem::path& folder, bool allInfo) {
    return ExportToHtml(records, (folder / base).string(), allInfo).writeHtml();
  };
  table["txt"] = [](const ContactRecords& records, const std::filesystem::path& folder, bool allInfo) {
    return ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder.string(), allInfo);
  };
  table["vcard"] = [](const ContactRecords& records, const std::filesystem::path& folder, bool) {
    return ExportVCard().exportVcardWithArrayToPath(records, folder.string());
  };
#ifdef ROLVANE_HAVE_XLSX
  table["xlsx"] = [base](const ContactRecords& records, const std::filesystem::path& folder, bool allInfo) {
    XlsxCreater creator(records, (folder / base).string(), allInfo);
    return runCreator(creator);
  };
#endif
#ifdef ROLVANE_HAVE_DOCX
  table["docx"] = [base](const ContactRecords& records, const std::filesystem::path& folder, bool) {
    DocxCreator creator(records, (folder / base).string());
    return runCreator(creator);
  };
#endif
#ifdef ROLVANE_HAVE_NUMBERS
  table["numbers"] = [base](const ContactRecords& records, const std::filesystem::path& folder, bool allInfo) {
    NumbersCreator creator(records, (folder / base).string(), allInfo);
    return runCreator(creator);
  };
#endif
#ifdef ROLVANE_HAVE_PAGES
  table["pages"] = [base](const ContactRecords& records, const std::filesystem::path& folder, bool allInfo) {
    PagesCreator creator(records, (folder / base).string(), allInfo);
    return runCreator(creator);
  };
#endif
  return table;
}

std::vector<std::string> splitColumns(const std::string& list) {
  std::vector<std::string> columns;
  std::stringstream stream(list);
  std::string item;
  while (std::getline(stream, item, ','))
    if (!item.empty()) columns.push_back(item);
  return columns;
}

// The records restricted to the shown columns, in column order; "Person" is never carried.
ContactRecords restrictToColumns(const ContactRecords& records, const std::vector<std::string>& columns) {
  ContactRecords restricted;
  restricted.reserve(records.size());
  for (const auto& record : records) {
    ContactRecord copy;
    for (const auto& column : columns) {
      if (column == "Person") continue;
      if (const RecordValue* value = record.find(column)) copy.set(column, *value);
    }
    restricted.push_back(std::move(copy));
  }
  return restricted;
}

int runExport(CommandContext& ctx) {
  std::string format, folder;
  bool allInfo = false;
  std::vector<std::string> columns = kDefaultColumns;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    bool hasValue = i + 1 < ctx.args.size();
    if (arg == "--format" && hasValue) {
      format = ctx.args[++i];
    } else if (arg == "--to" && hasValue) {
      folder = ctx.args[++i];
    } else if (arg == "--columns" && hasValue) {
      columns = splitColumns(ctx.args[++i]);
    } else if (arg == "--all-info") {
      allInfo = true;
    } else {
      ctx.err << "rolvane export: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  auto table = writers();
  auto writer = table.find(format);
  if (writer == table.end()) {
    ctx.err << "rolvane export: unknown format \"" << format << "\" (this build writes:";
    for (const auto& [name, w] : table) ctx.err << " " << name;
    ctx.err << ")\n";
    return 2;
  }
  std::error_code ec;
  if (folder.empty() || !std::filesystem::is_directory(folder, ec)) {
    ctx.err << "rolvane export: no such folder \"" << folder << "\"\n";
    return 2;
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  ContactRecords records = recordsOfAddressBook(*book);
  if (!allInfo) records = restrictToColumns(records, columns);
  ExportResult result = writer->second(records, folder, allInfo);
  if (!result.ok) {
    ctx.err << "rolvane export: " << (result.error.empty() ? "the export failed" : result.error) << "\n";
    return 1;
  }
  ctx.out << result.file << "\n";
  return 0;
}

const CommandRegistration registration("export", "export --format FMT --to DIR [--all-info] [--columns KEY,KEY...]",
                                       runExport);

}  // namespace
