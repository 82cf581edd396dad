#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/ImportCsv.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/EncodedPersons.h"
#include "platform/sync/SyncRun.h"

int csvImportArgument(CommandContext& ctx, size_t& at, CsvImportOptions& options, bool& given) {
  const std::string& arg = ctx.args[at];
  if (arg != "--profile" && arg != "--charset" && arg != "--delimiter" && arg != "--map") return 0;
  if (at + 1 >= ctx.args.size()) {
    ctx.err << "rolvane import: " << arg << " needs a value\n";
    return -1;
  }
  const std::string& value = ctx.args[++at];
  given = true;
  if (arg == "--profile") {
    if (value != "auto" && !profileNamed(value)) {
      ctx.err << "rolvane import: unknown profile \"" << value << "\" (auto, google, outlook, thunderbird, rolvane)\n";
      return -1;
    }
    options.profile = value;
  } else if (arg == "--charset") {
    options.charset = value;
  } else if (arg == "--delimiter") {
    if (value == "comma" || value == ",")
      options.delimiter = ',';
    else if (value == "semicolon" || value == ";")
      options.delimiter = ';';
    else if (value == "tab" || value == "\t")
      options.delimiter = '\t';
    else {
      ctx.err << "rolvane import: unknown delimiter \"" << value << "\" (comma, semicolon, tab)\n";
      return -1;
    }
  } else {
    const size_t equals = value.rfind('=');
    if (equals == std::string::npos || equals == 0) {
      ctx.err << "rolvane import: --map takes \"Heading=Field\", not \"" << value << "\"\n";
      return -1;
    }
    options.map.emplace_back(value.substr(0, equals), value.substr(equals + 1));
  }
  return 1;
}

int importCsvFiles(CommandContext& ctx, const std::vector<std::filesystem::path>& paths,
                   const CsvImportOptions& options, const std::string& toSource) {
  // Every file is read and its headings taken first; the rows are read and made contacts batch by
  // batch as the store takes them, and a bad row abandons the one transaction: nothing is stored.
  std::vector<CsvImport> imports(paths.size());
  std::vector<CsvImport*> reading;
  for (size_t i = 0; i < paths.size(); ++i) {
    std::string error;
    if (!imports[i].open(paths[i], options, &error, false)) {
      ctx.err << "rolvane import: " << error << "\n";
      return 1;
    }
    reading.push_back(&imports[i]);
  }
  std::vector<std::string> uids;
  auto append = [&](ABAddressBook& book) {
    return book.appendEncodedPersons(
        [&](const std::function<void(EncodedPersons&)>& add) { addCsvBatches(reading, add); },
        [&](std::size_t count) {
          if (paths.size() == 1) return describeCsvImport(paths.front().string(), count);
          return "Imported " + std::to_string(count) + " contacts from " + std::to_string(paths.size()) + " files";
        },
        uids);
  };
  auto printImported = [&] {
    for (size_t i = 0; i < paths.size(); ++i) {
      const CsvTable& table = imports[i].table();
      const char* delimiter = table.delimiter() == ';' ? "semicolons" : table.delimiter() == '\t' ? "tabs" : "commas";
      const size_t count = imports[i].rowCount();
      ctx.out << "Imported " << count << (count == 1 ? " contact" : " contacts") << " from " << paths[i].string()
              << " (" << profileName(imports[i].profile()) << " CSV, " << table.charset() << ", " << delimiter << ")\n";
    }
  };
  std::string error;
  const std::filesystem::path storePath =
      ctx.storePath.empty() ? ABAddressBook::defaultStorePath() : std::filesystem::path(ctx.storePath);
  std::error_code ec;
  if (toSource.empty() && !std::filesystem::exists(storePath, ec) &&
      std::filesystem::is_directory(storePath.parent_path().empty() ? "." : storePath.parent_path(), ec)) {
    // A new store is built whole under a name of its own and only then put in place.
    ABSaveResult saved;
    ABAddressBook::BuildOutcome outcome;
    try {
      outcome = ABAddressBook::buildNewStore(
          storePath,
          [&](ABAddressBook& building) {
            saved = append(building);
            if (saved.ok()) noteImportedContacts(building.path(), uids, toSource, nullptr, true);
            return saved.ok();
          },
          &error);
    } catch (const CsvRowsRefused& refused) {
      ctx.err << "rolvane import: " << refused.what() << "\n";
      return 1;
    }
    if (outcome == ABAddressBook::BuildOutcome::Built) {
      printImported();
      return 0;
    }
    if (outcome == ABAddressBook::BuildOutcome::Failed) {
      ctx.err << "rolvane import: " << (saved.error.empty() ? error : saved.error) << "\n";
      return 1;
    }
    // Another program made the store meanwhile: the contacts go into that one (read again).
    return importCsvFiles(ctx, paths, options, toSource);
  }
  ABAddressBook* book = ctx.openStore(true);
  if (!book) return 1;
  if (!toSource.empty() && !sourceIsLinked(book->path(), toSource, &error)) {
    ctx.err << "rolvane import: " << error << "\n";
    return 1;
  }
  ABSaveResult saved;
  try {
    saved = append(*book);
  } catch (const CsvRowsRefused& refused) {
    ctx.err << "rolvane import: " << refused.what() << "\n";
    return 1;
  }
  if (!saved.ok()) {
    ctx.err << "rolvane import: " << saved.error << "\n";
    return 1;
  }
  if (!noteImportedContacts(book->path(), uids, toSource, &error))
    ctx.err << "rolvane import: warning: " << error << "\n";
  printImported();
  return 0;
}
