#include "ABAddressBook.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <mutex>
#include <unordered_map>
#include <unordered_set>

#include "ABConstants.h"
#include "ABGroups.h"
#include "ABStoredRows.h"
#include "EncodedPersons.h"
#include "EncodedRows.h"
#include "PackedBytes.h"
#include "PersonCodec.h"
#include "ShownName.h"
#include "SqliteStore.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardKept.h"
#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"
#include "platform/threads/ParallelFor.h"

using namespace ABStoredRows;

namespace {

std::mutex& sharedMutex() {
  static std::mutex mutex;
  return mutex;
}

// A book closed at exit whose memory is left to the system; reachable from here, so that leak
// checkers do not count it.
ABAddressBook* bookLeftAtExit = nullptr;

struct SharedState {
  std::filesystem::path path;
  std::unique_ptr<ABAddressBook> book;
  std::string error;
  // At the end of the process.
  ~SharedState() {
    if (book) ABAddressBook::closeAtExit(std::move(book));
  }
};

SharedState& shared() {
  static SharedState state;
  return state;
}

bool matches(const ABValue& value, const ABSearchElement& element) {
  if (const auto* text = std::get_if<std::string>(&value))
    return !element.label && !element.key && *text == element.value;
  const auto* multi = std::get_if<ABMultiValue>(&value);
  if (!multi) return false;
  for (const auto& entry : multi->entries()) {
    if (element.label && entry.label != *element.label) continue;
    if (const auto* text = std::get_if<std::string>(&entry.value)) {
      if (!element.key && *text == element.value) return true;
    } else if (element.key) {
      const std::string* item = std::get<ABDictionary>(entry.value).find(*element.key);
      if (item && *item == element.value) return true;
    }
  }
  return false;
}

}  // namespace

std::string ABSaveConflict::message() const {
  switch (kind) {
    case Kind::Changed:
      return name + " was changed by another program; your change was not saved";
    case Kind::Removed:
      return name + " was removed by another program; your change was not saved";
    case Kind::IdTaken:
      return name + ": another program stored a contact with the same unique id; your change was not saved";
  }
  return {};
}

ABAddressBook::~ABAddressBook() = default;

void ABAddressBook::setDefaultLockWait(std::chrono::milliseconds limit, std::function<void()> waiting) {
  setStoreLockWait({limit, std::move(waiting)});
}

std::unique_ptr<ABAddressBook> ABAddressBook::open(const std::filesystem::path& path, std::string* error) {
  return openStore(path, false, error);
}

std::unique_ptr<ABAddressBook> ABAddressBook::openStore(const std::filesystem::path& path, bool building,
                                                        std::string* error) {
  std::unique_ptr<ABAddressBook> book(new ABAddressBook());
  book->path_ = path;
  if (path != ":memory:" && path.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
  }
  std::string message;
  book->sqlite_ = building ? SqliteStore::openForBuilding(path, &message) : SqliteStore::open(path, &message);
  if (!book->sqlite_ || !book->load(&message)) {
    if (error) *error = path.string() + ": " + message;
    return nullptr;
  }
  // Old history and the trash it holds go at the start; a failure (the file busy) leaves them for
  // the next start.
  book->sqlite_->expireBefore(now() - kHistoryDays * 24 * 60 * 60, nullptr);
  if (!building) book->readGroupCardsOfEarlierVersion();
  return book;
}

namespace {

// Whether lines kept as they came say the card is a group (KIND:group, X-ADDRESSBOOKSERVER-KIND:group).
bool keptLinesOfAGroup(std::string_view kept) {
  constexpr std::string_view kKind = "kind:group";
  for (std::size_t at = 0; at + kKind.size() <= kept.size(); ++at)
    if (equalsIgnoringCase(kept.substr(at, kKind.size()), kKind)) return true;
  return false;
}

}  // namespace

void ABAddressBook::readGroupCardsOfEarlierVersion() {
  if (sqlite_->info(SqliteStore::kGroupCardsRead)) return;
  std::vector<std::pair<ABPersonRef, ABPersonData>> cards;
  for (const auto& person : people_) {
    const ABPersonSnapshot data = person->snapshot();
    const std::string* kept = data->string(kABVCardKeptLinesProperty);
    if (!kept || !keptLinesOfAGroup(*kept)) continue;
    // Read again from the card it was read from: now a group card, with its members.
    VCardImportResult read = VCardImporter::importText(vCardForPerson(*data));
    if (!read.ok() || read.persons.size() != 1 || !ABGroups::isGroupCard(read.persons.front())) continue;
    read.persons.front().set(kABUIDProperty, person->uniqueId());
    cards.emplace_back(person, std::move(read.persons.front()));
  }
  if (!cards.empty()) {
    for (auto& [person, data] : cards) person->replaceData(std::move(data));
    setNextChangeDescription("Read " + std::to_string(cards.size()) +
                             (cards.size() == 1 ? " group card" : " group cards") +
                             " of an earlier version of Rolvane as groups");
    keepRevisionsInNextSave();  // the cards are what they were
    if (!saveChanges().ok()) {
      revert(nullptr);
      return;  // the file busy or read-only: tried again at the next start
    }
  }
  sqlite_->setInfo(SqliteStore::kGroupCardsRead, 1, nullptr);
}

void ABAddressBook::closeAtExit(std::unique_ptr<ABAddressBook> book) {
  std::lock_guard lock(book->mutex_);
  book->sqlite_.reset();
  bookLeftAtExit = book.release();
}

std::unique_ptr<ABAddressBook> ABAddressBook::inMemory() {
  return open(":memory:");
}

bool ABAddressBook::load(std::string* error) {
  PackedBytes bytes;
  std::vector<StoredRow> rows;
  // Taken before reading, so that whatever is saved elsewhere after this point shows as a change.
  dataVersion_ = sqlite_->dataVersion();
  bool ok = sqlite_->readAll(
      [&](const SqliteStore::Row& row) {
        rows.push_back({bytes.append(row.uid), bytes.append(row.data), row.order, row.version});
      },
      error);
  if (!ok) return false;

  std::vector<ABPersonRef> loaded(rows.size());
  const size_t damaged =
      decodeRows(rows, [&](size_t i, ABPersonData&& data) { loaded[i] = std::make_shared<ABPerson>(std::move(data)); });
  if (damaged < rows.size()) {
    if (error) *error = damagedRowError(rows[damaged].uid);
    return false;
  }

  slots_.reserve(loaded.size());
  for (size_t i = 0; i < loaded.size(); ++i) {
    const ABPersonRef& person = loaded[i];
    Slot& slot = slots_[person->uid_];
    slot.person = person;
    slot.order = rows[i].order;
    markSaved(slot);
    slot.rowVersion = rows[i].version;
    nextOrder_ = std::max(nextOrder_, rows[i].order + 1);
  }
  appendFrom_ = nextOrder_;
  people_ = std::move(loaded);
  return true;
}

std::filesystem::path ABAddressBook::defaultStorePath() {
  if (const char* store = std::getenv("ROLVANE_STORE"); store && *store) return store;
  std::filesystem::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
    data = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    data = std::filesystem::path(home) / ".local" / "share";
  else
    data = std::filesystem::temp_directory_path();
  return data / "rolvane" / "AddressBook.sqlite";
}

void ABAddressBook::setSharedStorePath(std::filesystem::path path) {
  std::lock_guard lock(sharedMutex());
  auto& state = shared();
  if (state.path == path) return;
  state.path = std::move(path);
  state.book.reset();
  state.error.clear();
}

ABAddressBook* ABAddressBook::sharedAddressBook() {
  std::lock_guard lock(sharedMutex());
  auto& state = shared();
  if (!state.book) {
    if (state.path.empty()) state.path = defaultStorePath();
    state.error.clear();
    state.book = open(state.path, &state.error);
  }
  return state.book.get();
}

std::string ABAddressBook::sharedOpenError() {
  std::lock_guard lock(sharedMutex());
  return shared().error;
}

std::vector<ABPersonRef> ABAddressBook::people() const {
  std::lock_guard lock(mutex_);
  return people_;
}

size_t ABAddressBook::count() const {
  std::lock_guard lock(mutex_);
  return people_.size();
}

void ABAddressBook::markSaved(Slot& slot) {
  slot.savedVersion = slot.person->version();
  slot.person->savedInBook_ = slot.savedVersion;
  track(*slot.person);
}

void ABAddressBook::track(ABPerson& person) {
  std::lock_guard personLock(person.mutex_);
  if (person.changes_ != changed_) person.changes_ = changed_;
}

bool ABAddressBook::savedAsItIs(const ABPerson& person) const {
  const std::uint64_t version = person.version();
  return person.savedInBook_ == version || slotOf(&person)->savedVersion == version;
}

ABAddressBook::Slot* ABAddressBook::slotOf(const ABPerson* person) {
  auto it = slots_.find(person->uid_);
  return it != slots_.end() && it->second.person.get() == person ? &it->second : nullptr;
}

const ABAddressBook::Slot* ABAddressBook::slotOf(const ABPerson* person) const {
  return const_cast<ABAddressBook*>(this)->slotOf(person);
}

ABPersonRef ABAddressBook::recordForUniqueId(const std::string& uid) const {
  std::lock_guard lock(mutex_);
  auto it = slots_.find(uid);
  return it == slots_.end() ? nullptr : it->second.person;
}

bool ABAddressBook::contains(const ABPersonRef& person) const {
  std::lock_guard lock(mutex_);
  return person && slotOf(person.get());
}

bool ABAddressBook::addRecord(const ABPersonRef& person, std::string* error) {
  return addRecords({person}, error);
}

bool ABAddressBook::addRecords(const std::vector<ABPersonRef>& persons, std::string* error) {
  for (const auto& person : persons) {
    if (!person) {
      if (error) *error = "no person given";
      return false;
    }
  }
  std::lock_guard lock(mutex_);
  return addNewRecords(persons, error);
}

bool ABAddressBook::addNewRecords(const std::vector<ABPersonRef>& persons, std::string* error) {
  // Room for a list at once; single additions grow the containers as usual.
  if (persons.size() > 1) slots_.reserve(slots_.size() + persons.size());
  std::vector<Slot*> added;
  added.reserve(persons.size());
  for (const auto& person : persons) {
    if (slotOf(person.get())) continue;  // already in the book, or earlier in the list
    auto [it, isNew] = slots_.try_emplace(person->uid_);
    if (!isNew) {
      if (error) *error = "another contact already has the unique id " + person->uid_;
      for (Slot* undone : added) slots_.erase(undone->person->uid_);
      return false;
    }
    it->second.person = person;
    person->savedInBook_ = 0;  // new to this book: never saved by it
    track(*person);
    changed_->add(person);
    added.push_back(&it->second);
  }
  // A unique id whose row is still to be deleted is taken over by the person who has it now.
  std::erase_if(pendingRemovals_, [&](const PendingRemoval& removal) {
    auto it = slots_.find(removal.person->uid_);
    if (it == slots_.end()) return false;
    it->second.rowVersion = removal.rowVersion;
    return true;
  });
  if (people_.capacity() < people_.size() + added.size())
    people_.reserve(std::max(people_.size() + added.size(), 2 * people_.capacity()));
  for (Slot* slot : added) placeInOrder(*slot);
  return true;
}

void ABAddressBook::placeInOrder(Slot& slot) {
  auto removed = removedOrders_.empty() ? removedOrders_.end() : removedOrders_.find(slot.person->uid_);
  if (removed == removedOrders_.end()) {
    slot.order = nextOrder_++;
    people_.push_back(slot.person);
    return;
  }
  slot.order = removed->second;
  removedOrders_.erase(removed);
  auto position = std::lower_bound(people_.begin(), people_.end(), slot.order,
                                   [&](const ABPersonRef& p, std::int64_t o) { return slotOf(p.get())->order < o; });
  people_.insert(position, slot.person);
}

bool ABAddressBook::removeRecord(const ABPersonRef& person, std::string* error) {
  std::lock_guard lock(mutex_);
  Slot* found = person ? slotOf(person.get()) : nullptr;
  if (!found) {
    if (error) *error = "the contact is not in the address book";
    return false;
  }
  Slot& slot = *found;
  // The persons are in store order: the person is found by its place, else (never expected) by a
  // walk.
  auto at = std::lower_bound(people_.begin(), people_.end(), slot.order,
                             [&](const ABPersonRef& p, std::int64_t o) { return slotOf(p.get())->order < o; });
  if (at != people_.end() && *at == person)
    people_.erase(at);
  else
    people_.erase(std::remove(people_.begin(), people_.end(), person), people_.end());
  removedOrders_[person->uid_] = slot.order;
  if (slot.rowVersion != 0) pendingRemovals_.push_back({person, slot.rowVersion, slot.order});
  slots_.erase(person->uid_);
  return true;
}

bool ABAddressBook::save(std::string* error) {
  ABSaveResult result = saveChanges();
  if (!result.ok() && error) *error = result.error;
  return result.ok();
}

ABSaveResult ABAddressBook::saveChanges() {
  std::lock_guard lock(mutex_);
  ABSaveResult result;
  std::vector<EncodedRows::Item> items;
  std::vector<std::pair<Slot*, std::uint64_t>> written;
  const std::int64_t saveTime = now();
  const bool stampsRevisions = !nextSaveKeepsRevisions_;
  nextSaveKeepsRevisions_ = false;
  std::string revision;
  // Only the persons that said they changed are looked at, in store order (the order the history
  // lists them in).
  std::vector<Slot*> changed;
  for (const auto& told : changed_->take()) {
    const ABPersonRef person = told.lock();
    Slot* slot = person ? slotOf(person.get()) : nullptr;
    if (slot && slot->savedVersion != person->version()) changed.push_back(slot);
  }
  std::sort(changed.begin(), changed.end(), [](const Slot* a, const Slot* b) { return a->order < b->order; });
  changed.erase(std::unique(changed.begin(), changed.end()), changed.end());
  for (Slot* changedSlot : changed) {
    Slot& slot = *changedSlot;
    const ABPersonRef& person = slot.person;
    std::uint64_t version = person->version();
    ABPersonSnapshot data = person->snapshot();
    // A stored card that changes says so in its REV; the person holds what is written.
    if (const std::string* kept = data->string(kABVCardKeptLinesProperty);
        stampsRevisions && slot.rowVersion != 0 && kept && kept->find("REV") != std::string::npos) {
      std::string lines = *kept;
      if (revision.empty()) revision = revisionText(saveTime);
      if (replaceRevisionLines(lines, revision)) {
        auto stamped = std::make_shared<ABPersonData>(*data);
        stamped->set(kABVCardKeptLinesProperty, ABValue(std::move(lines)));
        data = stamped;
        std::lock_guard personLock(person->mutex_);
        person->data_ = data;
      }
    }
    items.push_back({person->uid_, slot.order, std::move(data), slot.rowVersion});
    written.emplace_back(&slot, version);
  }
  std::vector<SqliteStore::Removal> removals;
  removals.reserve(pendingRemovals_.size());
  for (const auto& removal : pendingRemovals_) removals.push_back({removal.person->uid_, removal.rowVersion});

  SqliteStore::ChangeNote note;
  note.time = saveTime;
  note.record = recordsHistory_;
  if (recordsHistory_) note.description = nextDescription_.empty() ? describePendingLocked() : nextDescription_;
  nextDescription_.clear();
  SqliteStore::WriteResult write;
  {
    EncodedRows rows(std::move(items));
    write = sqlite_->write([&](SqliteStore::Row& row) { return rows.next(row); }, removals, appendFrom_, note);
  }
  lastChangeId_ = write.changeId;
  if (write.ok()) {
    for (const auto& [slot, version] : written) {
      if (slot->rowVersion == 0 && slot->order >= appendFrom_) slot->order += write.orderShift;
      slot->rowVersion = write.version;
      slot->savedVersion = version;
      slot->person->savedInBook_ = version;
    }
    nextOrder_ += write.orderShift;
    appendFrom_ = nextOrder_;
    pendingRemovals_.clear();
    removedOrders_.clear();
    return result;
  }

  // Nothing was written. No change of this save may stay pending (it would reach the file with a
  // later save, long after its caller was told it failed): every touched person is read again.
  std::vector<std::string> touched;
  touched.reserve(written.size() + pendingRemovals_.size());
  for (const auto& [slot, version] : written) touched.push_back(slot->person->uid_);
  // A person not read again keeps its change, and the next save still finds it.
  for (const auto& [slot, version] : written) changed_->add(slot->person);
  if (!write.conflicts.empty()) {
    result.status = ABSaveResult::Status::Conflict;
  } else {
    result.status = write.busy ? ABSaveResult::Status::Busy : ABSaveResult::Status::Failed;
    if (write.busy) {
      auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sqlite_->busyLimit()).count();
      result.error =
          "the address book is in use by another program (waited " + std::to_string(seconds) + " s); nothing was saved";
    } else {
      result.error = "the address book could not be saved: " + write.error;
    }
  }
  std::vector<PendingRemoval> removed = std::move(pendingRemovals_);
  pendingRemovals_.clear();
  removedOrders_.clear();
  reloadTouched(touched, std::move(removed), write.conflicts, result);
  if (result.status == ABSaveResult::Status::Conflict) {
    for (const auto& conflict : result.conflicts) {
      if (!result.error.empty()) result.error += "; ";
      result.error += conflict.message();
    }
  }
  return result;
}

void ABAddressBook::reloadTouched(const std::vector<std::string>& uids, std::vector<PendingRemoval> removals,
                                  const std::vector<std::string>& conflicts, ABSaveResult& result) {
  std::vector<std::string> wanted = uids;
  for (const auto& removal : removals) wanted.push_back(removal.person->uid_);
  struct Stored {
    std::int64_t order;
    std::int64_t version;
    std::optional<ABPersonData> data;
  };
  std::unordered_map<std::string, Stored> stored;
  std::string readError;
  bool read = sqlite_->readRows(
      wanted,
      [&](const SqliteStore::Row& row) {
        auto data = PersonCodec::decode(row.data);
        if (data) data->set(kABUIDProperty, std::string(row.uid));
        stored[std::string(row.uid)] = {row.order, row.version, std::move(data)};
      },
      &readError);
  if (!read && result.error.empty()) result.error = "the address book could not be read: " + readError;

  // What this book held of each person before, for the names of those that are gone.
  std::unordered_map<std::string, ABPersonSnapshot> before;
  for (const auto& uid : uids) {
    auto it = slots_.find(uid);
    if (it != slots_.end()) before[uid] = it->second.person->snapshot();
  }
  for (const auto& removal : removals) before[removal.person->uid_] = removal.person->snapshot();
  std::unordered_map<std::string, std::int64_t> rowVersionRead;
  for (const auto& uid : uids) {
    auto it = slots_.find(uid);
    if (it != slots_.end()) rowVersionRead[uid] = it->second.rowVersion;
  }
  for (const auto& removal : removals) rowVersionRead[removal.person->uid_] = removal.rowVersion;

  auto leave = [&](const std::string& uid) {
    auto it = slots_.find(uid);
    if (it == slots_.end()) return;
    ABPerson* person = it->second.person.get();
    people_.erase(
        std::remove_if(people_.begin(), people_.end(), [&](const ABPersonRef& p) { return p.get() == person; }),
        people_.end());
    slots_.erase(it);
  };
  auto holdStored = [&](const ABPersonRef& person, const Stored& row) {
    ABPersonData data = *row.data;
    person->replaceData(std::move(data));
    auto [it, isNew] = slots_.try_emplace(person->uid_);
    if (isNew) people_.push_back(person);
    it->second.person = person;
    it->second.order = row.order;
    it->second.rowVersion = row.version;
    markSaved(it->second);
    nextOrder_ = std::max(nextOrder_, row.order + 1);
  };

  for (const auto& uid : uids) {
    auto it = slots_.find(uid);
    if (it == slots_.end()) continue;
    ABPersonRef person = it->second.person;
    auto row = stored.find(uid);
    if (!read) {
      // Nothing known of the file: the change is dropped all the same, the person as last read.
      if (it->second.rowVersion == 0) leave(uid);
      continue;
    }
    if (row == stored.end() || !row->second.data) {
      leave(uid);
    } else if (it->second.rowVersion == 0) {
      // Another program's person holds this unique id: it takes the place of the one not added.
      leave(uid);
      holdStored(std::make_shared<ABPerson>(ABPersonData(*row->second.data)), row->second);
    } else {
      holdStored(person, row->second);
    }
  }
  for (auto& removal : removals) {
    const std::string& uid = removal.person->uid_;
    if (slots_.count(uid)) continue;  // another person took the unique id over, handled above
    auto row = stored.find(uid);
    if (!read) {
      // Kept as this book last read it, as if the removal had not been asked for.
      auto [slot, isNew] = slots_.try_emplace(uid);
      slot->second = {removal.person, removal.order, removal.person->version(), removal.rowVersion};
      markSaved(slot->second);
      people_.push_back(removal.person);
    } else if (row != stored.end() && row->second.data) {
      holdStored(removal.person, row->second);
    }
  }
  sortPeople();
  appendFrom_ = nextOrder_;

  for (const auto& uid : conflicts) {
    ABSaveConflict conflict;
    conflict.uid = uid;
    auto row = stored.find(uid);
    std::int64_t readVersion = rowVersionRead.count(uid) ? rowVersionRead[uid] : 0;
    if (row == stored.end())
      conflict.kind = ABSaveConflict::Kind::Removed;
    else
      conflict.kind = readVersion == 0 ? ABSaveConflict::Kind::IdTaken : ABSaveConflict::Kind::Changed;
    if (row != stored.end() && row->second.data)
      conflict.name = shownName(*row->second.data);
    else if (before.count(uid))
      conflict.name = shownName(*before[uid]);
    else
      conflict.name = uid;
    result.conflicts.push_back(std::move(conflict));
  }
}

void ABAddressBook::sortPeople() {
  std::stable_sort(people_.begin(), people_.end(), [&](const ABPersonRef& a, const ABPersonRef& b) {
    return slotOf(a.get())->order < slotOf(b.get())->order;
  });
}

bool ABAddressBook::changedElsewhere() const {
  std::lock_guard lock(mutex_);
  return sqlite_->dataVersion() != dataVersion_;
}

bool ABAddressBook::refresh(ABRefreshResult* result, std::string* error) {
  std::lock_guard lock(mutex_);
  return refreshLocked(result, error);
}

bool ABAddressBook::refreshLocked(ABRefreshResult* result, std::string* error) {
  std::int64_t dataVersion = sqlite_->dataVersion();
  struct Known {
    std::int64_t order;
    std::int64_t version;
  };
  std::unordered_map<std::string, Known> file;
  bool ok = sqlite_->readVersions(
      [&](const SqliteStore::Row& row) {
        file.emplace(std::string(row.uid), Known{row.order, row.version});
      },
      error);
  if (!ok) return false;
  std::unordered_set<std::string> pendingRemoval;
  for (const auto& removal : pendingRemovals_) pendingRemoval.insert(removal.person->uid_);

  std::vector<std::string> toRead, removed;
  for (const auto& person : people_) {
    const Slot& slot = *slotOf(person.get());
    if (slot.savedVersion != person->version() || slot.rowVersion == 0) continue;  // this book's own change
    auto found = file.find(person->uid_);
    if (found == file.end())
      removed.push_back(person->uid_);
    else if (found->second.version != slot.rowVersion)
      toRead.push_back(person->uid_);
  }
  std::vector<std::string> newUids;
  for (const auto& [uid, known] : file)
    if (!slots_.count(uid) && !pendingRemoval.count(uid)) newUids.push_back(uid);
  // Store order, so that persons new to this book join it in the order of the file.
  std::sort(newUids.begin(), newUids.end(),
            [&](const std::string& a, const std::string& b) { return file[a].order < file[b].order; });
  toRead.insert(toRead.end(), newUids.begin(), newUids.end());

  ABRefreshResult found;
  std::unordered_map<std::string, std::pair<SqliteStore::Row, std::optional<ABPersonData>>> rows;
  std::unordered_set<std::string> seen;
  std::string damaged;
  ok = sqlite_->readRows(
      toRead,
      [&](const SqliteStore::Row& row) {
        auto data = PersonCodec::decode(row.data);
        if (!data) {
          if (damaged.empty()) damaged = std::string(row.uid);
          return;
        }
        std::string uid(row.uid);
        seen.insert(uid);
        auto it = slots_.find(uid);
        if (it != slots_.end()) {
          Slot& slot = it->second;
          slot.person->replaceData(std::move(*data));
          markSaved(slot);
          slot.rowVersion = row.version;
          slot.order = row.order;
          found.changed.push_back(uid);
        } else {
          data->set(kABUIDProperty, uid);
          auto person = std::make_shared<ABPerson>(std::move(*data));
          Slot& slot = slots_[person->uid_];
          slot.person = person;
          slot.order = row.order;
          slot.rowVersion = row.version;
          markSaved(slot);
          people_.push_back(person);
          found.added.push_back(uid);
        }
        nextOrder_ = std::max(nextOrder_, row.order + 1);
      },
      error);
  if (!ok) return false;
  // A person read as changed a moment ago and gone now was removed in between.
  for (const auto& uid : toRead)
    if (!seen.count(uid) && slots_.count(uid) && uid != damaged) removed.push_back(uid);
  for (const auto& uid : removed) {
    auto it = slots_.find(uid);
    if (it == slots_.end()) continue;
    ABPerson* person = it->second.person.get();
    people_.erase(
        std::remove_if(people_.begin(), people_.end(), [&](const ABPersonRef& p) { return p.get() == person; }),
        people_.end());
    slots_.erase(it);
    found.removed.push_back(uid);
  }
  sortPeople();
  if (!hasPendingAdditions()) appendFrom_ = nextOrder_;
  dataVersion_ = dataVersion;
  if (result) *result = std::move(found);
  if (!damaged.empty()) {
    if (error) *error = "the record of contact " + damaged + " is damaged";
    return false;
  }
  return true;
}

bool ABAddressBook::hasPendingAdditions() const {
  for (const auto& [uid, slot] : slots_)
    if (slot.rowVersion == 0) return true;
  return false;
}

bool ABAddressBook::hasUnsavedChanges() const {
  std::lock_guard lock(mutex_);
  if (!pendingRemovals_.empty()) return true;
  for (const auto& person : people_)
    if (!savedAsItIs(*person)) return true;
  return false;
}

bool ABAddressBook::revert(std::string* error) {
  std::lock_guard lock(mutex_);
  nextDescription_.clear();
  return reloadLocked(error);
}

bool ABAddressBook::reloadLocked(std::string* error) {
  // Persons that screens may still hold keep their identity: they get their saved values back.
  std::unordered_map<std::string, ABPersonRef> held;
  held.reserve(people_.size());
  for (const auto& person : people_) held.emplace(person->uid_, person);
  people_.clear();
  slots_.clear();
  pendingRemovals_.clear();
  removedOrders_.clear();
  nextOrder_ = 1;
  if (!load(error)) return false;
  for (auto& person : people_) {
    auto found = held.find(person->uid_);
    if (found == held.end()) continue;
    const ABPersonRef& kept = found->second;
    auto slot = slots_.extract(std::string_view(person->uid_));
    kept->replaceData(ABPersonData(*person->snapshot()));
    slot.mapped().person = kept;
    markSaved(slot.mapped());
    slot.key() = kept->uid_;
    person = kept;
    slots_.insert(std::move(slot));
  }
  return true;
}

namespace {

std::int64_t (*testClock)() = nullptr;

std::string counted(size_t count, const char* verb) {
  return std::string(verb) + " " + std::to_string(count) + (count == 1 ? " contact" : " contacts");
}

}  // namespace

void ABAddressBook::keepRevisionsInNextSave() {
  std::lock_guard lock(mutex_);
  nextSaveKeepsRevisions_ = true;
}

std::int64_t ABAddressBook::now() {
  if (testClock) return testClock();
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void ABAddressBook::setClockForTesting(std::int64_t (*clock)()) {
  testClock = clock;
}

std::string ABAddressBook::describePendingLocked() const {
  size_t added = 0, changed = 0;
  for (const auto& person : people_) {
    const Slot& slot = *slotOf(person.get());
    if (slot.savedVersion == person->version()) continue;
    if (slot.rowVersion != 0)
      ++changed;
    else
      ++added;
  }
  std::vector<std::string> parts;
  if (added) parts.push_back(counted(added, "added"));
  if (changed) parts.push_back(counted(changed, "changed"));
  if (!pendingRemovals_.empty()) parts.push_back(counted(pendingRemovals_.size(), "removed"));
  if (parts.empty()) return "Saved the address book";
  std::string text;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) text += i + 1 == parts.size() ? " and " : ", ";
    text += parts[i];
  }
  text[0] = static_cast<char>(text[0] - 'a' + 'A');
  return text;
}

std::string ABAddressBook::nameForHistory(const ABPerson& person) {
  return nameForHistory(*person.snapshot());
}

std::string ABAddressBook::nameForHistory(const ABPersonData& data) {
  if (const std::string* kind = data.string(kABKindProperty); kind && *kind == kABKindGroup) {
    const std::string* group = data.string(kABGroupNameProperty);
    return "the group " + (group && !group->empty() ? *group : std::string("(no name)"));
  }
  return shownName(data);
}

void ABAddressBook::setNextChangeDescription(std::string description) {
  std::lock_guard lock(mutex_);
  nextDescription_ = std::move(description);
}

std::int64_t ABAddressBook::lastChangeId() const {
  std::lock_guard lock(mutex_);
  return lastChangeId_;
}

void ABAddressBook::setRecordsHistory(bool records) {
  std::lock_guard lock(mutex_);
  recordsHistory_ = records;
}

ABSearchElement ABAddressBook::searchElementForProperty(const std::string& property, std::optional<std::string> label,
                                                        std::optional<std::string> key, std::string value,
                                                        int comparison) const {
  return ABSearchElement{property, std::move(label), std::move(key), std::move(value), comparison};
}

std::vector<ABPersonRef> ABAddressBook::recordsMatchingSearchElement(const ABSearchElement& element) const {
  std::vector<ABPersonRef> result;
  for (const auto& person : people()) {
    auto data = person->snapshot();
    const ABValue* value = data->find(element.property);
    if (value && matches(*value, element)) result.push_back(person);
  }
  return result;
}
