#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABPerson.h"
#include "platform/addressbook/vcard/VCardLegacyText.h"

// What reading one vCard text or file gave: its persons in file order, or one error message
// "<file>:<line>: <problem>" (and then no persons at all). A text without any card is an error.
struct VCardImportResult {
  std::vector<ABPersonData> persons;
  VCardLegacyCounts legacy;  // values that were not UTF-8, read by the rule of VCardLegacyText.h
  std::string error;
  bool ok() const { return error.empty(); }
};

// How a file is read: in pieces, so that memory does not grow with the file beyond what its persons
// take, and only while the system has memory left.
struct VCardReadLimits {
  std::size_t pieceSize = std::size_t{16} << 20;
  // Reading stops with an error when less memory than this is available (MemAvailable)...
  std::size_t memoryFloor = std::size_t{256} << 20;
  // ...looked at each time this many more bytes have been read.
  std::size_t memoryCheckEvery = std::size_t{16} << 20;
  // The last character set of the rule for values that are not UTF-8 (VCardLegacyText.h).
  std::string legacyCharset = std::string(kDefaultLegacyCharset);
};

class VCardImporter {
 public:
  // sourceName names the text in an error message (a file name).
  static VCardImportResult importText(std::string_view text, const std::string& sourceName = "vCard",
                                      std::string_view legacyCharset = kDefaultLegacyCharset);
  // Gives what importText gives for the file's whole text. A file that does not fit into memory
  // (memory runs out, or the available memory drops below the floor) is an error, never a crash.
  static VCardImportResult importFile(const std::filesystem::path& path, const VCardReadLimits& limits = {});
};

struct VCardFileImport {
  std::filesystem::path path;
  std::size_t contacts = 0;  // the cards read, each stored as a contact
  std::size_t updated = 0;   // of them: contacts of the book whose values a card of the same UID replaced
  VCardLegacyCounts legacy;  // values that were not UTF-8
};

struct VCardBookImportResult {
  std::vector<VCardFileImport> files;
  std::vector<ABPersonRef> added;
  std::vector<ABPersonRef> updated;  // persons of the book whose values a card of the same UID replaced
  std::string error;
  bool ok() const { return error.empty(); }
};

// The persons of several files, read and not yet added to a book. Each file is read whole or not at
// all: files and persons hold the files that could be read, unreadable one line for each other.
struct VCardFilesRead {
  std::vector<VCardFileImport> files;
  std::vector<std::vector<ABPersonData>> persons;  // one list per file read
  // "<file>:<line>: <problem>" for every file that cannot be read or is malformed, in file order.
  std::vector<std::string> unreadable;
  // While set (there are unreadable files), nothing is added to a book: the lines of unreadable.
  std::string error;
  bool ok() const { return error.empty(); }
  // The user chose to import the files that could be read without the others.
  void skipUnreadable() { error.clear(); }
};

// Reads every file, also past one that cannot be read or is malformed: each such file is named
// with its line and problem in unreadable, and error is set.
VCardFilesRead readVCardFiles(const std::vector<std::filesystem::path>& paths, const VCardReadLimits& limits = {});
// Why the file cannot be imported ("<file>:<line>: <problem>"), read as an import reads it but
// keeping none of its contacts; empty when it can be.
std::string vCardFileProblem(const std::filesystem::path& path, const VCardReadLimits& limits = {});
// Adds the persons read (pending until the book is saved); a failed read adds nothing and passes
// its error on. A person whose UID is absent, already in
// the book or already given to an earlier person of the same import gets a new unique id.
VCardBookImportResult addVCardFilesToAddressBook(ABAddressBook& book, VCardFilesRead read);

// What an import written straight to the store did.
struct VCardStoreImport {
  std::vector<VCardFileImport> files;  // when saved
  std::vector<std::string> uids;       // of the contacts added, in order, when saved
  std::string error;                   // a file could not be read or is malformed: nothing was written
  std::size_t failedFile = 0;          // with error: the index of that file in the paths
  ABSaveResult saved;                  // the write, when error is empty
  bool ok() const { return error.empty() && saved.ok(); }
};

// Adds the contacts of the files to the store's file in one transaction while reading them piece by
// piece (ABAddressBook::appendNewPersons): memory holds a few pieces, not the files' contacts, and
// the book does not hold them afterwards. All or nothing, as importVCardFilesIntoAddressBook and a
// save; for a program that ends after the import (the command line).
// Pieces of 2 MB: each is read on two cores, and a batch of contacts stays small.
VCardStoreImport appendVCardFilesToStore(ABAddressBook& book, const std::vector<std::filesystem::path>& paths,
                                         const VCardReadLimits& limits = {.pieceSize = std::size_t{2} << 20});

// How many persons read have a UID that a person of the book already has.
std::size_t countVCardUidsInAddressBook(const ABAddressBook& book, const VCardFilesRead& read);
// Like addVCardFilesToAddressBook, but a card whose UID a person of the book already has replaces
// that person's values (pending until saved; the person keeps its place in store order). A UID met
// again later in the same import is taken as a new contact's.
VCardBookImportResult updateVCardFilesInAddressBook(ABAddressBook& book, VCardFilesRead read);
// What an import tells the user of one file, one line each: "Imported 12 contacts from F", with
// --update "Read 12 contacts from F: 10 updated, 2 added", then the values read as a legacy
// character set ("3 values of 1 contact were not UTF-8 and were read as Windows-1252").
std::vector<std::string> describeVCardFileImport(const VCardFileImport& file, bool update);
// "Imported 2,500 contacts from work.vcf": how the history names an import. Adding files to a
// book sets it as the description of the book's next save.
std::string describeVCardImport(const std::vector<VCardFileImport>& files);

// readVCardFiles, then addVCardFilesToAddressBook. All or nothing: when one file cannot be read or
// is malformed, nothing is added.
VCardBookImportResult importVCardFilesIntoAddressBook(ABAddressBook& book,
                                                      const std::vector<std::filesystem::path>& paths);
