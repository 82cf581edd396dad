#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/addressbook/StoreLockWait.h"

struct sqlite3;

// An address book the store is linked to: a vdir folder (one .vcf file per card) or a CardDAV
// address book collection.
struct SyncSource {
  enum class Kind { Vdir, CardDav };
  std::string name;
  Kind kind = Kind::Vdir;
  std::string location;      // the folder, or the collection's URL
  std::string volume;        // vdir only: the mount point of the folder's file system when linked
  std::string user;          // CardDAV only
  std::string passwordFile;  // CardDAV only; empty: the desktop's secret store
  bool insecure = false;     // CardDAV over HTTPS without certificate checks (test servers)
  std::string syncToken;     // the server's sync-collection token after the last sync
  std::string lastSync;      // ISO time of the last finished sync, empty when never synced
  std::string lastReport;    // one line: what the last sync did
};

const char* syncSourceKindName(SyncSource::Kind kind);

// One card of a source as last synced: where it lives there, its version there, the person it is
// and the card as the store wrote it then (to tell whether the person changed since).
struct SyncItem {
  std::string href;
  std::string uid;
  std::string etag;
  std::string card;
};

// What the store remembers about its sources, kept in tables of its own in the address book file
// beside the persons (the persons' own rows are the store's business). Each operation is one
// transaction of its own.
class SyncState {
 public:
  ~SyncState();
  SyncState(const SyncState&) = delete;
  SyncState& operator=(const SyncState&) = delete;

  // storeBeingBuilt: the file is a new store that no other program knows of yet, made durable as a
  // whole when built (ABAddressBook::buildNewStore): its writes here do not wait for the disk.
  static std::unique_ptr<SyncState> open(const std::filesystem::path& storePath, std::string* error,
                                         bool storeBeingBuilt = false);

  bool sources(std::vector<SyncSource>& out, std::string* error);
  std::optional<SyncSource> source(const std::string& name, std::string* error);
  bool addSource(const SyncSource& source, std::string* error);
  // Forgets the source and every link to it; the persons stay in the store.
  bool removeSource(const std::string& name, std::string* error);
  bool finishSync(const std::string& name, const std::string& syncToken, const std::string& time,
                  const std::string& report, std::string* error);

  bool items(const std::string& source, std::map<std::string, SyncItem>& byHref, std::string* error);
  // Replaces what is remembered of the given cards (an empty etag forgets the href) in one transaction.
  bool updateItems(const std::string& source, const std::vector<SyncItem>& items,
                   const std::vector<std::string>& forgetHrefs, std::string* error);

  // Persons that no sync should send anywhere (imported from files), or that are to go to a named
  // source at the next sync (imported with --to). Persons the store has and that are neither linked
  // nor listed here are new since the last sync (a merged contact, say).
  bool destinations(std::map<std::string, std::string>& byUid, std::string* error);  // "" = keep local
  // The source a person's card lives in, or where it is to go ("" = kept local); nullopt when
  // neither is recorded.
  std::optional<std::string> placeOf(const std::string& uid, std::string* error);
  bool setDestinations(const std::vector<std::string>& uids, const std::string& source, std::string* error);

 private:
  explicit SyncState(sqlite3* db) : db_(db) {}
  bool exec(const char* sql, std::string* error);
  // false, with what went wrong in *error: the address book busy in the program's words, else SQLite's.
  bool fail(std::string* error);
  // Runs work in one write transaction: committed when it returns true, rolled back otherwise.
  bool inTransaction(const std::function<bool()>& work, std::string* error);
  sqlite3* db_ = nullptr;
  StoreBusyWait busyWait_;  // waits by the program's rule while another program holds the file
};
