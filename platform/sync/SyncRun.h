#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/sync/CardCollection.h"
#include "platform/sync/SyncEngine.h"
#include "platform/sync/SyncState.h"

class ABAddressBook;

// Asks the user for a source's password (a terminal prompt, a dialog); false when nobody can answer.
using PasswordPrompt = std::function<bool(const SyncSource& source, std::string& password)>;

// The collection of a source, ready to sync: a vdir folder, or a CardDAV collection with its password
// (from its password file, the secret store, or the prompt, whose answer the secret store then keeps).
std::unique_ptr<CardCollection> openSourceCollection(const SyncSource& source, const PasswordPrompt& prompt,
                                                     std::string* error);

struct SyncRunResult {
  std::vector<SyncReport> reports;    // one per source that could be synced
  std::vector<std::string> failures;  // one line per source that could not
  // The sources among the failures that stopped because they would have deleted too many contacts
  // (SyncOptions::allowMassDelete), with what they would have deleted.
  std::vector<SyncReport> stoppedByMassDelete;
  bool ok() const { return failures.empty(); }
};

// Syncs the named sources (every source, in the order they were added, when names is empty) with
// the store at storePath, which book is. Each source's result is recorded as its last sync.
SyncRunResult syncSources(ABAddressBook& book, const std::filesystem::path& storePath,
                          const std::vector<std::string>& names, const PasswordPrompt& prompt,
                          const SyncOptions& options = {});

// Contacts just imported from files: when the store is linked to sources, they stay in the store
// only (toSource empty) or go to the named source at its next sync. False and *error when the named
// source is not linked. storeBeingBuilt: see SyncState::open.
bool noteImportedContacts(const std::filesystem::path& storePath, const std::vector<std::string>& uids,
                          const std::string& toSource, std::string* error, bool storeBeingBuilt = false);
// A contact merged from members (in their order): it goes where the first member with a place went,
// to that member's source or kept local, rather than to the first source as a new contact would.
// Nothing to do for a store linked to no source.
bool noteMergedContact(const std::filesystem::path& storePath, const std::string& mergedUid,
                       const std::vector<std::string>& memberUids, std::string* error);
// Whether the named source is linked to the store at storePath.
bool sourceIsLinked(const std::filesystem::path& storePath, const std::string& name, std::string* error);

// Whether name can name a source: it names the source's folder of kept cards beside the store, so
// it is one plain folder name (no "/", not "." or "..", no control characters, not hidden).
bool validSourceName(const std::string& name, std::string* error);

// Links a source to the store. The contacts the store holds when its first source is linked stay in
// the store only; contacts new to the store from then on go to a source at the next sync.
bool linkSource(ABAddressBook& book, const SyncSource& source, std::string* error);
