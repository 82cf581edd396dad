// Reading a store without loading it: its rows a batch at a time, undecoded (ABStoredBatch), or
// decoded; and a damaged store read into a new one.
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

std::string_view ABStoredBatch::uid(size_t i) const {
  return std::string_view(bytes_).substr(rows_[i].uid, rows_[i].data - rows_[i].uid);
}

std::string_view ABStoredBatch::data(size_t i) const {
  return std::string_view(bytes_).substr(rows_[i].data, rows_[i].end - rows_[i].data);
}

std::optional<ABPersonData> ABStoredBatch::decode(size_t i) const {
  return decodeRow(uid(i), data(i));
}

std::string ABStoredBatch::damagedError(size_t i) const {
  return store_.string() + ": " + damagedRowError(uid(i));
}

bool ABAddressBook::readStoredBatches(const std::filesystem::path& path, size_t personsPerBatch,
                                      const StoredBatchVisitor& visit, std::string* error,
                                      const std::vector<std::string>& markKinds,
                                      std::vector<std::vector<ABMark>>* marks) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    if (error) *error = path.string() + ": there is no address book here";
    return false;
  }
  std::string message;
  auto sqlite = SqliteStore::openForReading(path, &message);
  if (!sqlite) {
    if (error) *error = path.string() + ": " + message;
    return false;
  }
  // A store of a version that knew no groups is read as groups first, once (opened whole for that).
  if (!sqlite->info(SqliteStore::kGroupCardsRead)) open(path, nullptr);
  personsPerBatch = std::max<size_t>(personsPerBatch, 1);
  size_t lastBytes = 0;
  auto fresh = [&] {
    auto batch = std::make_shared<ABStoredBatch>();
    batch->store_ = path;
    batch->rows_.reserve(personsPerBatch);
    batch->bytes_.reserve(lastBytes + lastBytes / 8);  // about what the last batch took
    return batch;
  };
  std::shared_ptr<ABStoredBatch> batch = fresh();
  bool stopped = false;
  auto hand = [&] {
    lastBytes = batch->bytes_.size();
    stopped = !visit(std::move(batch));
    batch = fresh();
  };
  // One read transaction: every batch, and the marks, come from the same state of the file.
  const bool read = sqlite->readTogether(
      [&](std::string* why) {
        bool ok = sqlite->readAll(
            [&](const SqliteStore::Row& row) {
              if (stopped) return;
              std::string& bytes = batch->bytes_;
              const size_t uid = bytes.size();
              bytes += row.uid;
              const size_t data = bytes.size();
              bytes += row.data;
              batch->rows_.push_back({uid, data, bytes.size()});
              if (batch->rows_.size() == personsPerBatch) hand();
            },
            why);
        if (!ok || stopped || !marks) return ok;
        marks->assign(markKinds.size(), {});
        for (size_t k = 0; k < markKinds.size() && ok; ++k) {
          std::vector<SqliteStore::Mark> found;
          ok = sqlite->marks(markKinds[k], found, why);
          for (auto& mark : found)
            (*marks)[k].push_back({mark.id, std::move(mark.kind), std::move(mark.uids), std::move(mark.value)});
        }
        return ok;
      },
      &message);
  if (!read) {
    if (error) *error = path.string() + ": " + message;
    return false;
  }
  if (!stopped && !batch->rows_.empty()) hand();
  return true;
}

ABAddressBook::RepairResult ABAddressBook::repairInto(const std::filesystem::path& path,
                                                      const std::filesystem::path& newPath) {
  RepairResult result;
  std::vector<ABPersonRef> persons;
  std::unordered_set<std::string> seen;
  std::string message;
  if (!SqliteStore::salvageRows(
          path,
          [&](const SqliteStore::Row& row) {
            std::optional<ABPersonData> data = decodeRow(row.uid, row.data);
            if (!data || !seen.insert(std::string(row.uid)).second) {
              ++result.undecodable;
              return;
            }
            persons.push_back(std::make_shared<ABPerson>(std::move(*data)));
          },
          &result.partsUnread, &message)) {
    result.error = path.string() + ": " + message;
    return result;
  }
  std::error_code ec;
  if (std::filesystem::exists(newPath, ec)) {
    result.error = newPath.string() + ": a file is there already; name another with --to";
    return result;
  }
  BuildOutcome outcome = buildNewStore(
      newPath,
      [&](ABAddressBook& book) {
        book.setNextChangeDescription("Repaired from " + path.filename().string());
        return book.addRecords(persons, &message) && book.save(&message);
      },
      &message);
  if (outcome != BuildOutcome::Built) {
    result.error = newPath.string() + ": " + (message.empty() ? "the new address book could not be made" : message);
    return result;
  }
  result.kept = persons.size();
  return result;
}

bool ABAddressBook::readPersons(const std::filesystem::path& path, const PersonBatchVisitor& visit,
                                std::string* error) {
  std::vector<ABPersonData> persons;
  std::string damage;
  const bool read = readStoredBatches(
      path, kPersonsPerBatch,
      [&](std::shared_ptr<const ABStoredBatch> batch) {
        persons.clear();
        persons.resize(batch->size());
        const size_t first = decodeEach(
            batch->size(), [&](size_t i) { return batch->decode(i); },
            [&](size_t i, ABPersonData&& data) { persons[i] = std::move(data); });
        if (first < batch->size()) {
          damage = batch->damagedError(first);
          return false;
        }
        visit(persons);
        return true;
      },
      error);
  if (read && !damage.empty() && error) *error = damage;
  return read && damage.empty();
}
