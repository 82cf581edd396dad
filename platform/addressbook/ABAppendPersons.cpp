// An import written straight to the store: batches read and encoded on one thread while the
// other writes them, each person given a unique id of its own.
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

// Encodes the persons on every core, each with its own unique id or, without one, a new one (see
// appendNewPersons, which settles the ids).
EncodedPersons encodeBatch(std::vector<ABPersonData>& persons) {
  std::mutex partsLock;
  std::vector<std::pair<size_t, EncodedPersons>> parts;
  parallelFor(persons.size(), kRowsPerThread, [&](size_t begin, size_t end) {
    EncodedPersons part;
    for (size_t i = begin; i < end; ++i) {
      part.add(persons[i]);
      persons[i].clear();  // freed here, on every core, rather than all on one afterwards
    }
    std::lock_guard lock(partsLock);
    parts.emplace_back(begin, std::move(part));
  });
  std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  EncodedPersons batch;
  for (auto& [begin, part] : parts) batch.append(std::move(part));
  return batch;
}

// Keeps the ids the persons brought unless the book has them or an earlier person of the import
// took them; those persons get a new id (drawn at random from 2^122: no other person has it, and
// none is kept in given; should a later card carry it all the same, the store refuses the write and
// the import is made again, as when another program takes an id meanwhile).
// renamed maps each id the book had to the new id of the person that brought it (the first such
// person): what the import's group cards meant by it.
void settleUniqueIds(EncodedPersons& batch, const std::function<bool(const std::string&)>& taken,
                     std::unordered_set<std::string>& given, std::unordered_map<std::string, std::string>& renamed) {
  for (size_t i = 0; i < batch.size(); ++i) {
    if (!batch.ownUid(i)) continue;
    if (given.count(batch.uid(i))) {
      batch.replaceUid(i, ABPerson::makeUniqueId());
    } else if (taken(batch.uid(i))) {
      const std::string old = batch.uid(i);
      batch.replaceUid(i, ABPerson::makeUniqueId());
      renamed.emplace(old, batch.uid(i));
    } else {
      given.insert(batch.uid(i));
    }
  }
}

// Thrown into the reading when the writing has stopped: the rest is not needed.
struct WritingStopped {};

}  // namespace

ABSaveResult ABAddressBook::appendNewPersons(const PersonBatches& batches,
                                             const std::function<std::string(std::size_t)>& describe,
                                             std::vector<std::string>& uids) {
  return appendEncodedPersons(
      [&](const std::function<void(EncodedPersons&)>& add) {
        batches([&](std::vector<ABPersonData>& persons) {
          EncodedPersons encoded = encodeBatch(persons);
          persons.clear();
          add(encoded);
        });
      },
      describe, uids);
}

ABSaveResult ABAddressBook::appendEncodedPersons(const EncodedPersonBatches& batches,
                                                 const std::function<std::string(std::size_t)>& describe,
                                                 std::vector<std::string>& uids) {
  std::lock_guard lock(mutex_);
  ABSaveResult result;
  if (!pendingRemovals_.empty() || std::any_of(people_.begin(), people_.end(), [&](const ABPersonRef& person) {
        return slotOf(person.get())->savedVersion != person->version();
      })) {
    result.status = ABSaveResult::Status::Failed;
    result.error = "the address book has changes that are not saved yet";
    return result;
  }
  // Read and encoded batches wait here for the writing, at most two at a time while it runs.
  std::mutex queueLock;
  std::condition_variable queueChanged;
  std::deque<std::unique_ptr<EncodedPersons>> queue;
  bool readingDone = false, writing = false, writingDone = false;
  std::exception_ptr readingFailure;

  auto read = [&] {
    try {
      std::unordered_set<std::string> given;
      std::unordered_map<std::string, std::string> renamed;
      auto taken = [&](const std::string& uid) { return slots_.count(uid) != 0; };
      auto queued = [&](std::unique_ptr<EncodedPersons> batch) {
        std::unique_lock wait(queueLock);
        queueChanged.wait(wait, [&] { return !writing || writingDone || queue.size() < 2; });
        if (writingDone) throw WritingStopped{};
        queue.push_back(std::move(batch));
        queueChanged.notify_all();
      };
      // Group cards wait until every person is read: a card may come before the members it lists,
      // and lists those that got a new id by that id.
      std::vector<ABPersonData> groupCards;
      batches([&](EncodedPersons& persons) {
        auto batch = std::make_unique<EncodedPersons>(std::move(persons));
        persons = EncodedPersons();
        settleUniqueIds(*batch, taken, given, renamed);
        // Only a book with persons of its own can give ids anew (a new store is built empty).
        if (!slots_.empty())
          for (auto& card : batch->extract([](std::string_view row) {
                 return row.find(kABKindGroup) != std::string_view::npos && ABGroups::isGroupCardEncoded(row);
               }))
            groupCards.push_back(std::move(card));
        if (!batch->empty()) queued(std::move(batch));
      });
      if (!groupCards.empty()) {
        auto cards = std::make_unique<EncodedPersons>();
        for (auto& card : groupCards) {
          ABGroups::renameMembers(card, renamed);
          cards->add(card);
        }
        queued(std::move(cards));
      }
    } catch (const WritingStopped&) {
    } catch (...) {
      readingFailure = std::current_exception();
    }
    std::lock_guard done(queueLock);
    readingDone = true;
    queueChanged.notify_all();
  };

  SqliteStore::WriteResult write;
  std::vector<std::string> written;
  auto store = [&] {
    struct Done {
      std::mutex& lock;
      std::condition_variable& changed;
      bool& done;
      ~Done() {
        std::lock_guard guard(lock);
        done = true;
        changed.notify_all();
      }
    } writingEnds{queueLock, queueChanged, writingDone};
    {
      std::lock_guard start(queueLock);
      writing = true;
    }
    SqliteStore::ChangeNote note;
    note.time = now();
    note.record = recordsHistory_;
    std::unique_ptr<EncodedPersons> current;
    size_t next = 0;
    std::int64_t order = nextOrder_;
    auto rows = [&](SqliteStore::Row& row) {
      while (!current || next == current->size()) {
        if (current) std::move(current->uids().begin(), current->uids().end(), std::back_inserter(written));
        current.reset();
        next = 0;
        std::unique_lock wait(queueLock);
        queueChanged.wait(wait, [&] { return !queue.empty() || readingDone; });
        if (!queue.empty()) {
          current = std::move(queue.front());
          queue.pop_front();
          queueChanged.notify_all();
          continue;
        }
        if (readingFailure) std::rethrow_exception(readingFailure);  // the write rolls back
        // The change's row is written after the last row, with what it is now called.
        note.description = nextDescription_.empty() ? describe(written.size()) : nextDescription_;
        return false;
      }
      row.uid = current->uid(next);
      row.order = order++;
      row.data = current->row(next);
      row.valuesHash = current->hash(next);
      row.version = 0;
      ++next;
      return true;
    };
    write = sqlite_->write(rows, {}, appendFrom_, note);
  };
  // Reading first, so that where no second thread can be had the whole import is read before it
  // is written (the queue is not bounded then).
  parallelFor(2, 1, [&](size_t begin, size_t end) {
    for (size_t part = begin; part < end; ++part) part == 0 ? read() : store();
  });
  nextDescription_.clear();
  lastChangeId_ = write.changeId;
  if (!write.ok()) {
    if (!write.conflicts.empty()) {
      result.status = ABSaveResult::Status::Conflict;
      for (const auto& uid : write.conflicts) {
        ABSaveConflict conflict;
        conflict.uid = uid;
        conflict.name = uid;
        conflict.kind = ABSaveConflict::Kind::IdTaken;
        result.conflicts.push_back(std::move(conflict));
        if (!result.error.empty()) result.error += "; ";
        result.error += result.conflicts.back().message();
      }
    } else if (write.busy) {
      result.status = ABSaveResult::Status::Busy;
      auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sqlite_->busyLimit()).count();
      result.error =
          "the address book is in use by another program (waited " + std::to_string(seconds) + " s); nothing was saved";
    } else {
      result.status = ABSaveResult::Status::Failed;
      result.error = "the address book could not be saved: " + write.error;
    }
    return result;
  }
  nextOrder_ += static_cast<std::int64_t>(written.size()) + write.orderShift;
  appendFrom_ = nextOrder_;
  uids = std::move(written);
  return result;
}
