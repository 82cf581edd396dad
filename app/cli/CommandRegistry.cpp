#include "app/cli/CommandRegistry.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <new>
#include <ostream>

#include "app/scanner/PhoneNumbers.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/sync/SyncEngine.h"

CommandRegistry& CommandRegistry::instance() {
  static CommandRegistry registry;
  return registry;
}

void CommandRegistry::add(CommandInfo info) {
  std::string name = info.name;
  commands_[name] = std::move(info);
}

const CommandInfo* CommandRegistry::find(const std::string& name) const {
  auto it = commands_.find(name);
  return it == commands_.end() ? nullptr : &it->second;
}

namespace {

std::filesystem::path storeFileOf(const std::string& storePath) {
  return storePath.empty() ? ABAddressBook::defaultStorePath() : std::filesystem::path(storePath);
}

bool storeExists(const std::filesystem::path& path, std::ostream& err) {
  std::error_code ec;
  if (std::filesystem::exists(path, ec)) return true;
  err << "rolvane: there is no address book at " << path.string() << " (rolvane import FILE.vcf creates one)\n";
  return false;
}

}  // namespace

std::filesystem::path CommandContext::storeFile() const {
  return storeFileOf(storePath);
}

ABAddressBook* CommandContext::openStore(bool mayCreate) const {
  if (!mayCreate && !storeExists(storeFileOf(storePath), err)) return nullptr;
  if (!storePath.empty()) ABAddressBook::setSharedStorePath(storePath);
  ABAddressBook* book = ABAddressBook::sharedAddressBook();
  if (!book) err << "rolvane: cannot open the address book: " << ABAddressBook::sharedOpenError() << "\n";
  return book;
}

bool CommandContext::readStore(const std::function<void(std::vector<ABPersonData>& batch)>& visit) const {
  return readStoreWith([&](const std::filesystem::path& path, std::string* error) {
    return ABAddressBook::readPersons(path, visit, error);
  });
}

bool CommandContext::readStoredStore(
    size_t personsPerBatch, const std::function<bool(std::shared_ptr<const ABStoredBatch> batch)>& visit) const {
  return readStoreWith([&](const std::filesystem::path& path, std::string* error) {
    return ABAddressBook::readStoredBatches(path, personsPerBatch, visit, error);
  });
}

bool CommandContext::readStoreWith(
    const std::function<bool(const std::filesystem::path& path, std::string* error)>& read) const {
  const std::filesystem::path path = storeFileOf(storePath);
  if (!storeExists(path, err)) return false;
  std::string error;
  if (read(path, &error)) return true;
  storeUnreadable(error);
  return false;
}

void CommandContext::storeUnreadable(const std::string& error) const {
  err << "rolvane: cannot open the address book: " << error << "\n";
}

bool personsOfUids(const ABAddressBook& book, const std::vector<std::string>& uids, const std::string& command,
                   std::ostream& err, std::vector<ABPersonRef>& persons, const std::string& whatNothing) {
  for (const auto& uid : uids) {
    ABPersonRef person = book.recordForUniqueId(uid);
    if (!person) {
      err << "rolvane " << command << ": no contact has the unique id \"" << uid << "\"" << whatNothing << "\n";
      return false;
    }
    if (std::find(persons.begin(), persons.end(), person) == persons.end()) persons.push_back(person);
  }
  return true;
}

bool regionArgument(const std::string& value, const std::string& command, std::ostream& err, std::string& region) {
  std::string upper = value;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (!PhoneNumbers::isKnownRegion(upper)) {
    err << "rolvane " << command << ": --region needs a two-letter region code such as DE or US, not \"" << value
        << "\"\n";
    return false;
  }
  region = upper;
  return true;
}

namespace {

#ifndef ROLVANE_VERSION
#define ROLVANE_VERSION "unknown"
#endif

// What each command does, for `rolvane --help` and `rolvane COMMAND --help`.
const std::map<std::string, std::string>& commandDescriptions() {
  static const std::map<std::string, std::string> descriptions = {
      {"import",
       "Adds the contacts of vCard files (2.1, 3.0, 4.0) to the store; creates the store when missing.\n"
       "CSV files (.csv, .tsv) of Google Contacts, Outlook (English, German, French), Thunderbird and\n"
       "Rolvane's own exports are read by the profile their headings show (--profile forces one), in\n"
       "UTF-8, UTF-16 or else Windows-1252 (--charset names another), with commas, semicolons or tabs.\n"
       "A heading no profile knows is kept with the contact as an extra field; --map \"Heading=Field\"\n"
       "sends a heading to a field (a column name such as \"Home Email\" or \"Home Email 2\",\n"
       "\"Phone (Car)\", \"keep\" or \"leave\"). A bad line changes nothing and is named.\n"
       "Each vCard file is imported whole or not at all. Every file that cannot be read or is malformed\n"
       "is named with its line and problem, and then nothing is imported; with --skip-unreadable the\n"
       "other files are imported and the files left out are named."},
      {"scan",
       "Looks for problems of the named conditions (all of them without --condition) and lists them;\n"
       "--json prints condition key -> findings (persons as their unique id). Phone numbers without a\n"
       "country code are read as numbers of the region CC (two letters, as DE or US) given with\n"
       "--region, else of the region of the locale (LC_ALL, LC_TELEPHONE, LANG). The allowed titles and\n"
       "suffixes are those of the window's preferences (allowedTitles and allowedSuffixes in the [scan]\n"
       "section of $XDG_CONFIG_HOME/rolvane/rolvane.conf), else the default lists; so are the limits\n"
       "of \"Photo too large\" (largePhotoKilobytes, largePhotoPixels there), else 256 KB and 1024 pixels."},
      {"export",
       "Writes every contact to DIR in the format FMT (xlsx, html, pages, numbers, csv, docx, vcard,\n"
       "txt, google-csv, outlook-csv), with the table's columns, the given --columns or --all-info.\n"
       "  csv --every-value  the all-information columns, then \"Home Email 2\", ... for later values,\n"
       "                     \"Phone (Other)\", \"Instant Message (Home, Matrix)\", ... for other labels and\n"
       "                     services, extra fields, Photo (base64), Show As\n"
       "                     and what vCards said beyond the store's values: import gives back every value.\n"
       "  google-csv   Google Contacts' headings, every list in numbered groups (\"E-mail 4 - Value\"),\n"
       "               UTF-8, birthdays YYYY-MM-DD or --MM-DD; categories in Labels (\"* myContacts\"\n"
       "               when a contact has none: the store has no groups); extra fields as custom fields.\n"
       "               Cannot hold: photos, maiden name, social profiles, custom vCard lines, the\n"
       "               company-card flag, country codes of addresses.\n"
       "  outlook-csv  Outlook's English headings in its order, UTF-8 with byte order mark, CRLF,\n"
       "               birthdays M/D/YYYY. Cannot hold: a birthday without a year, more than three\n"
       "               e-mail addresses or their labels, more than one address per home/work/other,\n"
       "               more than two home or work phones, one mobile, fax, pager and main phone each\n"
       "               (further phones of other labels go to Other Phone, one only), more than one web\n"
       "               page, related names but one spouse, child, manager and assistant, instant\n"
       "               messaging, social profiles, nickname, maiden name, phonetic names, photos,\n"
       "               country codes, custom vCard lines.\n"
       "  A CSV cell that starts with =, @, + or - (other than a phone number such as +49 30 1234567)\n"
       "  is written with an apostrophe in front, so that a spreadsheet does not run it as a formula;\n"
       "  import takes the apostrophe off again. --raw writes the cells as they are.\n"
       "  html --photos  a first column \"Photo\" with each contact's photo small, from a JPEG of it in\n"
       "                 a folder beside the page (Zedid-Ovuzazur_photos/1.jpg), never inside the page."},
      {"fix",
       "Applies one fix option of a condition to every finding of it, or only to the contacts given\n"
       "with --uid; options that delete, merge or remove photos need --yes. --region CC as for scan."},
      {"edit",
       "Applies one edit to one contact exactly as editing a cell of the contact table does, saves the\n"
       "store and prints the contact's new value for the key. KEY is a column of the table (\"First\n"
       "Name\", \"Home Email\", \"Work City\", \"Twitter\", ...); a birthday is written YYYY-MM-DD. An\n"
       "empty TEXT removes the value the contact shows under the key.\n"
       "With several --uid (or --all), the value is written to every contact named; --replace replaces\n"
       "every occurrence of OLD in what the contacts show under KEY with NEW (--regex: OLD is a regular\n"
       "expression, NEW may name its groups as $1). Every change is printed, and all of them are one\n"
       "change of the history (rolvane undo takes them back together)."},
      {"group",
       "Groups are the categories of contacts (vCard CATEGORIES, Google's labels) and group cards (vCard\n"
       "4.0 KIND:group, Apple's groups); a contact is in a group when one of its categories is the\n"
       "group's name or a group card of that name lists it. list prints every group with how many\n"
       "contacts it holds and those in no group. add and remove put the contacts of the unique ids in the\n"
       "group or take them out (of its category and of every group card of its name; a new group is a\n"
       "category). rename renames a group everywhere; delete deletes it (its group cards go to the trash,\n"
       "the contacts stay). Each change is one change of the history: rolvane undo takes it back."},
      {"merge",
       "Merges the contacts into one, as the merge dialog does: with no choices, as the automatic merge of\n"
       "duplicates does (the last contact with a name wins where single values differ, and the merged\n"
       "contact keeps its unique id). --take KEY=UID takes the single value KEY (as the contact card names\n"
       "it: \"Company\", \"Job Title\", ...) from that contact; --drop VALUE leaves that e-mail, phone,\n"
       "address, ... out; --no-note keeps the values that lost out of the note. --json prints the plan\n"
       "and its result without saving; saving needs --yes."},
      {"repair",
       "Builds a new address book of every contact of a damaged one that can still be read (beside it,\n"
       "or at NEWPATH); the damaged file is left as it is."},
      {"source",
       "Links the store to the address books it is synced with: a vdir folder (one .vcf file per card,\n"
       "as vdirsyncer and Evolution keep them) or a CardDAV address book (its collection's URL). For a\n"
       "CardDAV address book the password is read from --password-file (which only you should be able\n"
       "to read), else from the desktop's secret store, else asked on the terminal; the server is tried\n"
       "before the link is kept. --insecure takes an HTTPS server without checking its certificate (test\n"
       "servers only). list prints the linked address books and their last sync (--json: as objects);\n"
       "remove forgets a link and what was synced through it, the contacts stay in the store.\n"
       "  source add NAME --vdir FOLDER\n"
       "  source add NAME --carddav URL [--user USER] [--password-file FILE] [--insecure]\n"
       "  source list [--json]\n"
       "  source remove NAME"},
      {"sync",
       "Brings the store and each linked address book (every one, or those NAME names) together, both\n"
       "ways: cards added, changed or deleted there since the last sync are added, changed or deleted in\n"
       "the store, and contacts changed in the store go there; every write names the version last seen,\n"
       "so nothing the sync has not seen is overwritten. A card changed on both sides keeps the address\n"
       "book's version; the store's is kept as a file in \"Kept by sync/NAME\" beside the store, and the\n"
       "conflict line names it. A sync that would delete more than " +
           std::to_string(SyncOptions::kMassDeleteCount) +
           " contacts and more than half of those\n"
           "linked to an address book stops and changes nothing; --allow-mass-delete lets it go on. --json\n"
           "prints what each sync did as objects."},
      {"history",
       "Lists the changes made to the store, newest first (kept 30 days); --json prints objects\n"
       "{\"id\", \"time\", \"description\", \"persons\", \"undone\"}."},
      {"undo",
       "Takes back the newest change not undone, or with --to ID that change and every later one.\n"
       "A change whose contacts a later change touched again is refused, naming that change."},
      {"redo", "Makes again the change undone last, unless its contacts were changed since."},
      {"trash",
       "Lists the contacts that fixes, merges and deletions removed (kept 30 days); --empty --yes\n"
       "forgets them for good, with the history that could bring them back."},
      {"restore", "Puts contacts of the trash back in the store under their own unique ids, at their old places."},
  };
  return descriptions;
}

void printUsage(std::ostream& stream) {
  stream << "usage:\n  rolvane [--store PATH] [FILE.vcf...]    open the application window (offering to import the "
            "files)\n";
  for (const auto& [name, info] : CommandRegistry::instance().commands())
    stream << "  rolvane [--store PATH] " << info.usage << "\n";
  stream << "  rolvane --version | --help\n"
            "  rolvane COMMAND --help\n\n"
            "The store is PATH, else $ROLVANE_STORE, else $XDG_DATA_HOME/rolvane/AddressBook.sqlite.\n";
}

void printCommandHelp(const CommandInfo& command, std::ostream& stream) {
  stream << "usage: rolvane [--store PATH] " << command.usage << "\n";
  auto description = commandDescriptions().find(command.name);
  if (description != commandDescriptions().end()) stream << "\n" << description->second << "\n";
  if (command.moreHelp) stream << "\n" << command.moreHelp();
}

bool isVCardFileArgument(const std::string& argument) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(argument, ec)) return false;
  std::string extension = std::filesystem::path(argument).extension().string();
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension == ".vcf" || extension == ".vcard";
}

}  // namespace

int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err) {
  std::string storePath;
  int i = 1;
  while (i < argc) {
    std::string arg = argv[i];
    if (arg == "--store") {
      if (i + 1 >= argc) {
        err << "rolvane: --store needs a path\n";
        return 2;
      }
      storePath = argv[i + 1];
      i += 2;
    } else if (arg.rfind("--store=", 0) == 0) {
      storePath = arg.substr(8);
      ++i;
    } else if (arg == "--help" || arg == "-h") {
      printUsage(out);
      return 0;
    } else if (arg == "--version" || arg == "-V") {
      out << "rolvane " << ROLVANE_VERSION << "\n";
      return 0;
    } else {
      break;
    }
  }
  if (i >= argc) return runApplicationWindow(argc, argv, storePath, {});

  std::string name = argv[i];
  const CommandInfo* command = CommandRegistry::instance().find(name);
  if (!command) {
    // The file manager opens vCard files with `rolvane FILE.vcf...`: the window offers to import them.
    std::vector<std::string> files;
    for (int f = i; f < argc && isVCardFileArgument(argv[f]); ++f) files.push_back(argv[f]);
    if (!files.empty() && static_cast<int>(files.size()) == argc - i)
      return runApplicationWindow(argc, argv, storePath, files);
    err << "rolvane: unknown command '" << name << "'\n";
    printUsage(err);
    return 2;
  }
  // A store held by another program (a long import) is waited for, with word after a second, up to
  // ROLVANE_LOCK_WAIT seconds (30 by default); then the command fails with one line.
  std::chrono::milliseconds lockWait = std::chrono::seconds(30);
  if (const char* wait = std::getenv("ROLVANE_LOCK_WAIT"); wait && *wait) {
    char* end = nullptr;
    double seconds = std::strtod(wait, &end);
    if (end && *end == '\0' && seconds >= 0 && seconds < 86400)
      lockWait = std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
  }
  ABAddressBook::setDefaultLockWait(
      lockWait, [&err] { err << "waiting for another program using the address book\u2026" << std::endl; });
  CommandContext context{{argv + i + 1, argv + argc}, storePath, out, err};
  for (const std::string& arg : context.args) {
    if (arg == "--help" || arg == "-h") {
      printCommandHelp(*command, out);
      return 0;
    }
  }
  try {
    return command->run(context);
  } catch (const std::bad_alloc&) {
    // Every change to the store is one transaction: one that was under way is not in the file.
    err << "rolvane " << name << ": not enough memory; the change under way was not saved\n";
    return 1;
  }
}
