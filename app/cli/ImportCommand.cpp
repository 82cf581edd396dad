#include <algorithm>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/cli/CommandRegistry.h"
#include "app/cli/ImportCsv.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardText.h"
#include "platform/sync/SyncRun.h"

namespace {

// The folders that opening the store at path would make, outermost first.
std::vector<std::filesystem::path> missingFolders(const std::filesystem::path& path) {
  std::vector<std::filesystem::path> missing;
  std::error_code ec;
  for (auto folder = path.parent_path(); !folder.empty() && !std::filesystem::exists(folder, ec);
       folder = folder.parent_path()) {
    missing.insert(missing.begin(), folder);
    if (folder == folder.parent_path()) break;
  }
  return missing;
}

// Removes a store that a failed import made, and the folders made for it (only while empty).
void removeMadeStore(const std::filesystem::path& path, const std::vector<std::filesystem::path>& folders) {
  std::error_code ec;
  for (const char* suffix : {"", "-wal", "-shm", "-journal"}) std::filesystem::remove(path.string() + suffix, ec);
  for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) std::filesystem::remove(*folder, ec);
}

// Files that cannot be imported, each named with its line and problem, by their index in the files
// given; the import goes on without them only with --skip-unreadable.
using Unreadable = std::map<size_t, std::string>;

// Names every unreadable file on standard error; `skipped` when the import went on without them.
// `files`: how many files were given.
void printUnreadable(CommandContext& ctx, const Unreadable& unreadable, bool skipped, size_t files) {
  for (const auto& [index, line] : unreadable)
    ctx.err << "rolvane import: " << (skipped ? "skipped " : "") << line << "\n";
  // One file given: its line says it all.
  if (skipped || unreadable.empty() || files < 2) return;
  ctx.err << "rolvane import: nothing was imported (" << unreadable.size()
          << (unreadable.size() == 1 ? " file cannot" : " files cannot") << " be read"
          << (files > unreadable.size() ? "; --skip-unreadable imports the others" : "") << ")\n";
}

// Without --update: the contacts go into the store's file as the files are read (nothing of them
// is kept in memory), in one transaction. A bad file leaves the store as it was; a store that the
// import made is removed again. With skip, an import that meets a bad file is made again without it
// (and without any later file that cannot be read either), each file all or nothing.
int importStraightIntoStore(CommandContext& ctx, const std::vector<std::filesystem::path>& paths,
                            const std::string& toSource, const VCardReadLimits& limits, Unreadable unreadable,
                            bool skip) {
  const std::filesystem::path storePath =
      ctx.storePath.empty() ? ABAddressBook::defaultStorePath() : std::filesystem::path(ctx.storePath);
  std::error_code ec;
  const bool existed = std::filesystem::exists(storePath, ec);
  const std::vector<std::filesystem::path> folders =
      existed ? std::vector<std::filesystem::path>{} : missingFolders(storePath);
  // The files still to import, by their index in paths.
  std::vector<size_t> taken;
  for (size_t i = 0; i < paths.size(); ++i)
    if (!unreadable.count(i)) taken.push_back(i);
  auto takenPaths = [&] {
    std::vector<std::filesystem::path> files;
    for (size_t i : taken) files.push_back(paths[i]);
    return files;
  };
  auto dropMadeStore = [&] {
    if (!existed) removeMadeStore(storePath, folders);
  };
  auto fail = [&](const std::string& line) {
    ctx.err << "rolvane import: " << line << "\n";
    dropMadeStore();
    return 1;
  };
  // A file met as unreadable by an import that stopped there: it and every later file that cannot
  // be read either are named. True when the import is to be made again without them.
  auto metUnreadable = [&](const VCardStoreImport& result) {
    const size_t failed = std::min(result.failedFile, taken.size() - 1);
    unreadable[taken[failed]] = result.error;
    for (size_t at = failed + 1; at < taken.size(); ++at)
      if (std::string problem = vCardFileProblem(paths[taken[at]], limits); !problem.empty())
        unreadable[taken[at]] = std::move(problem);
    std::erase_if(taken, [&](size_t i) { return unreadable.count(i) > 0; });
    return skip && !taken.empty();
  };
  if (!skip && !unreadable.empty()) {
    // Every file given is named, not only the first that cannot be read.
    for (size_t i : taken)
      if (std::string problem = vCardFileProblem(paths[i], limits); !problem.empty())
        unreadable[i] = std::move(problem);
    printUnreadable(ctx, unreadable, false, paths.size());
    return 1;
  }
  if (taken.empty()) {
    printUnreadable(ctx, unreadable, false, paths.size());
    return 1;
  }
  auto printImported = [&](const VCardStoreImport& result) {
    printUnreadable(ctx, unreadable, true, paths.size());
    for (const auto& file : result.files)
      for (const auto& line : describeVCardFileImport(file, false)) ctx.out << line << "\n";
  };
  auto refuse = [&] {
    printUnreadable(ctx, unreadable, false, paths.size());
    dropMadeStore();
    return 1;
  };
  if (!existed && toSource.empty()) {
    // A new store is built whole under a name of its own and only then put in place: no journal to
    // write and fold in again, and no store at all if the import fails or is killed.
    for (;;) {
      VCardStoreImport result;
      std::string error, noteError;
      ABAddressBook::BuildOutcome outcome = ABAddressBook::buildNewStore(
          storePath,
          [&](ABAddressBook& building) {
            result = appendVCardFilesToStore(building, takenPaths(), limits);
            if (result.ok() && !noteImportedContacts(building.path(), result.uids, toSource, &noteError, true))
              noteError = noteError.empty() ? "the contacts' address book could not be noted" : noteError;
            return result.ok();
          },
          &error);
      if (outcome == ABAddressBook::BuildOutcome::Built) {
        if (!noteError.empty()) ctx.err << "rolvane import: warning: " << noteError << "\n";
        printImported(result);
        return 0;
      }
      if (outcome == ABAddressBook::BuildOutcome::Failed) {
        if (!result.error.empty()) {
          if (metUnreadable(result)) continue;
          // Nothing was put at the store's path: only the folders made for it go again.
          printUnreadable(ctx, unreadable, false, paths.size());
          std::error_code ec;
          for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) std::filesystem::remove(*folder, ec);
          return 1;
        }
        // Nothing was put at the store's path (another program's store may be there by now): only
        // the folders made for it go again.
        ctx.err << "rolvane import: " << (!result.saved.ok() ? result.saved.error : error) << "\n";
        std::error_code ec;
        for (auto folder = folders.rbegin(); folder != folders.rend(); ++folder) std::filesystem::remove(*folder, ec);
        return 1;
      }
      // Another program made the store meanwhile: the contacts go into that one.
      break;
    }
  }
  ABAddressBook* book = ctx.openStore(true);
  if (!book) {
    dropMadeStore();
    return 1;
  }
  std::string sourceError;
  if (!toSource.empty() && !sourceIsLinked(book->path(), toSource, &sourceError)) return fail(sourceError);
  VCardStoreImport result;
  for (int attempt = 1;; ++attempt) {
    result = appendVCardFilesToStore(*book, takenPaths(), limits);
    if (!result.error.empty()) {
      if (metUnreadable(result)) {
        --attempt;
        continue;
      }
      return refuse();
    }
    if (result.saved.ok()) break;
    // Only a unique id that another program stored meanwhile stands in the way: the import is made
    // again on the store as it is now, where that id is taken and a new one is given.
    const auto& conflicts = result.saved.conflicts;
    bool idTaken = !conflicts.empty() && std::all_of(conflicts.begin(), conflicts.end(), [](const ABSaveConflict& c) {
      return c.kind == ABSaveConflict::Kind::IdTaken;
    });
    if (!idTaken || attempt == 3 || !book->refresh()) return fail(result.saved.error);
  }
  // Contacts from files stay in the store unless --to names the address book they are to go to.
  if (!noteImportedContacts(book->path(), result.uids, toSource, &sourceError))
    ctx.err << "rolvane import: warning: " << sourceError << "\n";
  printImported(result);
  return 0;
}

// Reads every file, then adds their contacts to the store and saves once. A bad file is found
// before the store is opened, so it leaves the store as it was (and makes none where there was none).
int runImport(CommandContext& ctx) {
  if (ctx.args.empty()) {
    ctx.err << "rolvane import: no vCard file given (usage: rolvane [--store PATH] import FILE.vcf...)\n";
    return 2;
  }
  std::vector<std::filesystem::path> paths;
  std::string toSource;
  bool update = false;
  bool skipUnreadable = false;
  CsvImportOptions csv;
  bool csvOptions = false;
  // Pieces of 2 MB: each is read on two cores, and a batch of contacts stays small.
  VCardReadLimits limits{.pieceSize = std::size_t{2} << 20};
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    if (ctx.args[i] == "--charset") {
      // The character set of text that is not UTF-8, for vCard and CSV files alike.
      if (i + 1 >= ctx.args.size()) {
        ctx.err << "rolvane import: --charset needs the name of a character set (such as ISO-8859-7)\n";
        return 2;
      }
      limits.legacyCharset = csv.charset = ctx.args[++i];
      if (!CharsetConverter::knows(limits.legacyCharset)) {
        ctx.err << "rolvane import: --charset " << limits.legacyCharset << ": unknown character set\n";
        return 2;
      }
    } else if (const int taken = csvImportArgument(ctx, i, csv, csvOptions)) {
      if (taken < 0) return 2;
    } else if (ctx.args[i] == "--to") {
      if (i + 1 >= ctx.args.size()) {
        ctx.err << "rolvane import: --to needs the name of a linked address book\n";
        return 2;
      }
      toSource = ctx.args[++i];
    } else if (ctx.args[i] == "--update") {
      update = true;
    } else if (ctx.args[i] == "--skip-unreadable") {
      skipUnreadable = true;
    } else {
      paths.emplace_back(ctx.args[i]);
    }
  }
  if (paths.empty()) {
    ctx.err << "rolvane import: no vCard file given (usage: rolvane [--store PATH] import [--update] [--charset NAME] "
               "FILE.vcf...)\n";
    return 2;
  }
  Unreadable unreadable;
  for (size_t i = 0; i < paths.size(); ++i) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(paths[i], ec)) {
      const char* why = !std::filesystem::exists(paths[i], ec)        ? "no such file"
                        : std::filesystem::is_directory(paths[i], ec) ? "it is a folder"
                                                                      : "not a regular file";
      unreadable[i] = paths[i].string() + ": cannot read the file (" + why + ")";
    }
  }
  const auto csvFiles = std::count_if(paths.begin(), paths.end(), [](const auto& path) { return isCsvPath(path); });
  if (csvFiles > 0 || csvOptions) {
    if (static_cast<size_t>(csvFiles) != paths.size() || update || skipUnreadable) {
      ctx.err << "rolvane import: CSV files are imported on their own and without --update or --skip-unreadable\n";
      return 2;
    }
    if (!unreadable.empty()) {
      printUnreadable(ctx, unreadable, false, paths.size());
      return 1;
    }
    return importCsvFiles(ctx, paths, csv, toSource);
  }
  if (!update) return importStraightIntoStore(ctx, paths, toSource, limits, std::move(unreadable), skipUnreadable);
  std::vector<size_t> readable;
  std::vector<std::filesystem::path> readablePaths;
  for (size_t i = 0; i < paths.size(); ++i)
    if (!unreadable.count(i)) readable.push_back(i), readablePaths.push_back(paths[i]);
  VCardFilesRead read = readVCardFiles(readablePaths, limits);
  // Files are read in order, each either among the files read or the next of the lines unreadable.
  std::vector<std::filesystem::path> imported;
  for (size_t r = 0, file = 0, line = 0; r < readable.size(); ++r) {
    if (file < read.files.size() && read.files[file].path == readablePaths[r]) {
      imported.push_back(readablePaths[r]);
      ++file;
    } else if (line < read.unreadable.size()) {
      unreadable[readable[r]] = read.unreadable[line++];
    }
  }
  if (!unreadable.empty() && (!skipUnreadable || read.files.empty())) {
    printUnreadable(ctx, unreadable, false, paths.size());
    return 1;
  }
  read.skipUnreadable();
  paths = std::move(imported);
  ABAddressBook* book = ctx.openStore(true);
  if (!book) return 1;
  std::string sourceError;
  if (!toSource.empty() && !sourceIsLinked(book->path(), toSource, &sourceError)) {
    ctx.err << "rolvane import: " << sourceError << "\n";
    return 1;
  }
  VCardBookImportResult result;
  for (int attempt = 1;; ++attempt) {
    result = update ? updateVCardFilesInAddressBook(*book, std::move(read))
                    : addVCardFilesToAddressBook(*book, std::move(read));
    if (!result.ok()) {
      ctx.err << "rolvane import: " << result.error << "\n";
      return 1;
    }
    // Cards updated from files say their revisions as the files do.
    book->keepRevisionsInNextSave();
    ABSaveResult saved = book->saveChanges();
    if (saved.ok()) break;
    // Only a unique id that another program stored meanwhile stands in the way: the import is made
    // again on the store as it is now, where that id is taken and a new one is given (or, with
    // --update, the contact of that id is updated).
    bool idTaken = !saved.conflicts.empty() &&
                   std::all_of(saved.conflicts.begin(), saved.conflicts.end(),
                               [](const ABSaveConflict& c) { return c.kind == ABSaveConflict::Kind::IdTaken; });
    if (!idTaken || attempt == 3 || !book->refresh() || !(read = readVCardFiles(paths, limits)).ok()) {
      ctx.err << "rolvane import: " << saved.error << "\n";
      return 1;
    }
  }
  // Contacts from files stay in the store unless --to names the address book they are to go to.
  std::vector<std::string> uids;
  for (const auto& person : result.added) uids.push_back(person->uniqueId());
  if (!noteImportedContacts(book->path(), uids, toSource, &sourceError))
    ctx.err << "rolvane import: warning: " << sourceError << "\n";
  printUnreadable(ctx, unreadable, true, paths.size());
  for (const auto& file : result.files)
    for (const auto& line : describeVCardFileImport(file, update)) ctx.out << line << "\n";
  if (update)
    ctx.out << "Updated " << result.updated.size() << (result.updated.size() == 1 ? " contact" : " contacts")
            << " already in the address book, added " << result.added.size() << "\n";
  return 0;
}

CommandRegistration registration(
    "import",
    "import [--to NAME] [--update] [--skip-unreadable] [--charset NAME] FILE.vcf...   add the contacts of vCard "
    "files to the store, each file whole or not at all. A file that cannot be read or is malformed is named with "
    "its line and problem, every such file, and nothing is imported; with --skip-unreadable the other files are "
    "imported without them. With --update a card whose UID is in the store replaces that contact's values. A value "
    "that is "
    "not UTF-8 and names no CHARSET is read in the card's own CHARSET, else the file's, else Windows-1252 or "
    "the character set --charset names; the import says how many values were read that way\n"
    "  rolvane [--store PATH] import [--to NAME] [--profile auto|google|outlook|thunderbird|rolvane] "
    "[--charset NAME] [--delimiter comma|semicolon|tab] [--map \"Heading=Field\"]... FILE.csv...",
    runImport);

}  // namespace
