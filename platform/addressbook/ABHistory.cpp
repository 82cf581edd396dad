// The book's history as the store keeps it: change sets, undo and redo, the trash, marks.
#include "ABAddressBook.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
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
#include "SqliteStore.h"
#include "platform/threads/ParallelFor.h"

using namespace ABStoredRows;

namespace {

ABChangeSet toChangeSet(const SqliteStore::ChangeSet& change) {
  return {change.id, change.time, change.description, change.persons, change.undone};
}

}  // namespace

bool ABAddressBook::changeHistory(std::vector<ABChangeSet>& out, std::string* error) const {
  std::lock_guard lock(mutex_);
  std::vector<SqliteStore::ChangeSet> changes;
  if (!sqlite_->changeSets(changes, error)) return false;
  for (const auto& change : changes) out.push_back(toChangeSet(change));
  return true;
}

bool ABAddressBook::changeContacts(std::int64_t id, std::vector<ABChangedContact>& out, std::string* error) const {
  std::lock_guard lock(mutex_);
  std::vector<SqliteStore::ChangedPerson> persons;
  if (!sqlite_->changedPersons(id, persons, error)) return false;
  for (const auto& person : persons) {
    ABChangedContact contact;
    contact.uid = person.uid;
    contact.kind = person.marked    ? ABChangedContact::Kind::Marked
                   : person.removed ? ABChangedContact::Kind::Removed
                   : person.wasNew  ? ABChangedContact::Kind::Added
                                    : ABChangedContact::Kind::Changed;
    const std::string& row = person.after.empty() ? person.before : person.after;
    if (!row.empty()) {
      if (auto data = PersonCodec::decode(row)) contact.name = nameForHistory(*data);
    } else if (auto found = slots_.find(person.uid); found != slots_.end()) {
      contact.name = nameForHistory(*found->second.person);
    }
    if (contact.name.empty()) contact.name = person.uid;
    out.push_back(std::move(contact));
  }
  return true;
}

bool ABAddressBook::beginChangeSet(std::string* error) {
  std::lock_guard lock(mutex_);
  return sqlite_->beginChangeSet(error);
}

bool ABAddressBook::inChangeSet() const {
  std::lock_guard lock(mutex_);
  return sqlite_->inChangeSet();
}

bool ABAddressBook::endChangeSet(std::string description, std::string* error) {
  std::lock_guard lock(mutex_);
  SqliteStore::ChangeNote note{now(), std::move(description), true};
  std::int64_t change = 0;
  if (sqlite_->endChangeSet(note, &change, error)) {
    lastChangeId_ = change;
    return true;
  }
  // The saves this book counted as written are not in the file: it is read again.
  lastChangeId_ = 0;
  std::string reloading;
  if (!reloadLocked(&reloading) && error) *error += "; the address book could not be read again: " + reloading;
  return false;
}

void ABAddressBook::abandonChangeSet() {
  std::lock_guard lock(mutex_);
  if (!sqlite_->inChangeSet()) return;
  sqlite_->abandonChangeSet();
  lastChangeId_ = 0;
  reloadLocked(nullptr);
}

ABChangeSetScope::ABChangeSetScope(ABAddressBook& book) : book_(book) {
  begun_ = book_.beginChangeSet(&error_);
}

ABChangeSetScope::~ABChangeSetScope() {
  if (begun_) book_.abandonChangeSet();
}

bool ABChangeSetScope::end(std::string description, std::string* error) {
  if (!begun_) return true;
  begun_ = false;
  return book_.endChangeSet(std::move(description), error);
}

bool ABAddressBook::undoRedoCandidates(ABChangeSet& undo, ABChangeSet& redo, std::string* error) const {
  std::lock_guard lock(mutex_);
  SqliteStore::ChangeSet forUndo, forRedo;
  if (!sqlite_->undoRedoCandidates(forUndo, forRedo, error)) return false;
  undo = toChangeSet(forUndo);
  redo = toChangeSet(forRedo);
  return true;
}

bool ABAddressBook::changeFile(const std::function<bool(std::string*)>& operation, std::string* error) {
  std::lock_guard lock(mutex_);
  // The saves of an action still running are in no change set yet: there is nothing to take back
  // or make again until it ends.
  if (sqlite_->inChangeSet()) {
    if (error) *error = "an action is still changing the address book; try again when it has ended";
    return false;
  }
  bool pending = !pendingRemovals_.empty();
  for (const auto& person : people_) pending = pending || !savedAsItIs(*person);
  if (pending) {
    if (error) *error = "the address book has changes that are not saved yet";
    return false;
  }
  if (!operation(error)) return false;
  // Only the rows the operation wrote are read again (they all hold new versions).
  std::string message;
  if (!refreshLocked(nullptr, &message)) {
    if (error) *error = "the change was made, but the address book could not be read again: " + message;
    return false;
  }
  return true;
}

void ABAddressBook::nameChangedSince(const std::vector<std::string>& uids, std::string* error) const {
  if (uids.empty() || !error) return;
  // A contact no longer in the book is named as the trash holds it.
  std::vector<SqliteStore::TrashItem> trash;
  bool trashRead = false;
  std::string names;
  for (size_t i = 0; i < uids.size() && i < 5; ++i) {
    std::string name = uids[i];
    if (auto found = slots_.find(uids[i]); found != slots_.end()) {
      name = nameForHistory(*found->second.person);
    } else {
      if (!trashRead) {
        trashRead = true;
        sqlite_->trash(trash, nullptr);  // unread, the contact is named by its unique id
      }
      for (const auto& item : trash)
        if (item.uid == uids[i])
          if (auto data = PersonCodec::decode(item.data)) name = nameForHistory(*data);
    }
    names += (i == 0 ? "" : ", ") + name;
  }
  if (uids.size() > 5) names += " and " + std::to_string(uids.size() - 5) + " more";
  *error += " (" + names + "); nothing was changed";
}

bool ABAddressBook::undo(std::int64_t id, bool andLater, std::vector<ABChangeSet>* undone, std::string* error) {
  return changeFile(
      [&](std::string* error) {
        std::vector<SqliteStore::ChangeSet> changes;
        std::vector<std::string> changedSince;
        if (!sqlite_->undo(id, andLater, &changes, &changedSince, error)) {
          nameChangedSince(changedSince, error);
          return false;
        }
        if (undone)
          for (const auto& change : changes) undone->push_back(toChangeSet(change));
        return true;
      },
      error);
}

bool ABAddressBook::redo(ABChangeSet* redone, std::string* error) {
  return changeFile(
      [&](std::string* error) {
        SqliteStore::ChangeSet change;
        std::vector<std::string> changedSince;
        if (!sqlite_->redo(&change, &changedSince, error)) {
          nameChangedSince(changedSince, error);
          return false;
        }
        if (redone) *redone = toChangeSet(change);
        return true;
      },
      error);
}

bool ABAddressBook::trash(std::vector<ABTrashEntry>& out, std::string* error) const {
  std::lock_guard lock(mutex_);
  std::vector<SqliteStore::TrashItem> items;
  if (!sqlite_->trash(items, error)) return false;
  for (auto& item : items) {
    auto data = PersonCodec::decode(item.data);
    if (!data) {
      if (error) *error = "the record of contact " + item.uid + " in the trash is damaged";
      return false;
    }
    data->set(kABUIDProperty, item.uid);
    out.push_back({std::make_shared<ABPerson>(std::move(*data)), item.time, item.changeId});
  }
  return true;
}

bool ABAddressBook::restoreFromTrash(const std::vector<std::string>& uids, std::string description,
                                     std::string* error) {
  return changeFile(
      [&](std::string* error) {
        SqliteStore::ChangeNote note{now(), std::move(description), true};
        return sqlite_->restore(uids, note, &lastChangeId_, error);
      },
      error);
}

bool ABAddressBook::emptyTrash(std::int64_t* emptied, std::string* error) {
  std::lock_guard lock(mutex_);
  return sqlite_->emptyTrash(emptied, error);
}

bool ABAddressBook::expireHistory(std::int64_t now, std::string* error) {
  std::lock_guard lock(mutex_);
  return sqlite_->expireBefore(now - kHistoryDays * 24 * 60 * 60, error);
}

bool ABAddressBook::marks(const std::string& kind, std::vector<ABMark>& out, std::string* error) const {
  std::lock_guard lock(mutex_);
  std::vector<SqliteStore::Mark> marks;
  if (!sqlite_->marks(kind, marks, error)) return false;
  for (auto& mark : marks) out.push_back({mark.id, std::move(mark.kind), std::move(mark.uids), std::move(mark.value)});
  return true;
}

bool ABAddressBook::addMark(const std::string& kind, const std::vector<std::string>& uids, const std::string& value,
                            std::string description, std::string* error) {
  std::lock_guard lock(mutex_);
  SqliteStore::ChangeNote note{now(), std::move(description), true};
  return sqlite_->addMark(kind, uids, value, note, &lastChangeId_, error);
}
