// The history kept in the store file: change sets, undo and redo, the trash and marks.
#include <algorithm>
#include <limits>
#include <optional>
#include <string>
#include <unordered_set>

#include "SqliteStatement.h"
#include "SqliteStore.h"

namespace {

void bindText(sqlite3_stmt* stmt, int index, std::string_view text) {
  sqlite3_bind_text(stmt, index, text.data(), static_cast<int>(text.size()), SQLITE_STATIC);
}

std::string columnText(sqlite3_stmt* stmt, int column) {
  auto* text = reinterpret_cast<const char*>(sqlite3_column_text(stmt, column));
  return text ? std::string(text, sqlite3_column_bytes(stmt, column)) : std::string();
}

std::string columnBlob(sqlite3_stmt* stmt, int column) {
  auto* data = static_cast<const char*>(sqlite3_column_blob(stmt, column));
  return data ? std::string(data, sqlite3_column_bytes(stmt, column)) : std::string();
}

std::string inQuotes(const std::string& description) {
  return "\u201C" + description + "\u201D";
}

std::string joinUids(std::vector<std::string> uids) {
  std::sort(uids.begin(), uids.end());
  uids.erase(std::unique(uids.begin(), uids.end()), uids.end());
  std::string joined;
  for (const auto& uid : uids) {
    if (!joined.empty()) joined += '\n';
    joined += uid;
  }
  return joined;
}

std::vector<std::string> splitUids(const std::string& joined) {
  std::vector<std::string> uids;
  size_t start = 0;
  while (start <= joined.size() && !joined.empty()) {
    size_t end = joined.find('\n', start);
    if (end == std::string::npos) end = joined.size();
    uids.push_back(joined.substr(start, end - start));
    start = end + 1;
  }
  return uids;
}

struct ChangeRange {
  SqliteStore::ChangeSet info;
  std::int64_t firstRow = 1, lastRow = 0;
  std::int64_t undone = 0;
};

// The change set id, or nullopt (and *error) when there is none.
std::optional<ChangeRange> readChange(sqlite3* db, std::int64_t id, std::string* error) {
  Statement read(db, "SELECT id, time, description, persons, first_row, last_row, undone FROM changes WHERE id = ?1");
  sqlite3_bind_int64(read.get(), 1, id);
  int rc = read.ok() ? sqlite3_step(read.get()) : SQLITE_ERROR;
  if (rc != SQLITE_ROW) {
    if (error) *error = rc == SQLITE_DONE ? "there is no change " + std::to_string(id) : sqlite3_errmsg(db);
    return std::nullopt;
  }
  ChangeRange change;
  change.info.id = sqlite3_column_int64(read.get(), 0);
  change.info.time = sqlite3_column_int64(read.get(), 1);
  change.info.description = columnText(read.get(), 2);
  change.info.persons = sqlite3_column_int64(read.get(), 3);
  change.firstRow = sqlite3_column_int64(read.get(), 4);
  change.lastRow = sqlite3_column_int64(read.get(), 5);
  change.undone = sqlite3_column_int64(read.get(), 6);
  change.info.undone = change.undone != 0;
  return change;
}

// A single number from a query with up to one bound integer; fallback when it gives no row or NULL.
std::optional<std::int64_t> queryInt(sqlite3* db, const char* sql, std::int64_t fallback,
                                     std::optional<std::int64_t> argument = std::nullopt) {
  Statement query(db, sql);
  if (!query.ok()) return std::nullopt;
  if (argument) sqlite3_bind_int64(query.get(), 1, *argument);
  int rc = sqlite3_step(query.get());
  if (rc == SQLITE_DONE) return fallback;
  if (rc != SQLITE_ROW) return std::nullopt;
  if (sqlite3_column_type(query.get(), 0) == SQLITE_NULL) return fallback;
  return sqlite3_column_int64(query.get(), 0);
}

}  // namespace

bool SqliteStore::changeSets(std::vector<ChangeSet>& out, std::string* error) {
  Statement list(db_, "SELECT id, time, description, persons, undone FROM changes ORDER BY id DESC");
  if (!list.ok()) {
    if (error) *error = lastError();
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
    ChangeSet change;
    change.id = sqlite3_column_int64(list.get(), 0);
    change.time = sqlite3_column_int64(list.get(), 1);
    change.description = columnText(list.get(), 2);
    change.persons = sqlite3_column_int64(list.get(), 3);
    change.undone = sqlite3_column_int64(list.get(), 4) != 0;
    out.push_back(std::move(change));
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SqliteStore::undoRedoCandidates(ChangeSet& undo, ChangeSet& redo, std::string* error) {
  const char* queries[] = {
      "SELECT id, time, description, persons, undone FROM changes WHERE undone = 0 ORDER BY id DESC LIMIT 1",
      "SELECT id, time, description, persons, undone FROM changes WHERE undone > 0 ORDER BY undone DESC LIMIT 1"};
  ChangeSet* targets[] = {&undo, &redo};
  for (int i = 0; i < 2; ++i) {
    *targets[i] = ChangeSet();
    Statement query(db_, queries[i]);
    int rc = query.ok() ? sqlite3_step(query.get()) : SQLITE_ERROR;
    if (rc == SQLITE_ROW) {
      targets[i]->id = sqlite3_column_int64(query.get(), 0);
      targets[i]->time = sqlite3_column_int64(query.get(), 1);
      targets[i]->description = columnText(query.get(), 2);
      targets[i]->persons = sqlite3_column_int64(query.get(), 3);
      targets[i]->undone = sqlite3_column_int64(query.get(), 4) != 0;
    } else if (rc != SQLITE_DONE) {
      if (error) *error = lastError();
      return false;
    }
  }
  return true;
}

bool SqliteStore::laterChangeInTheWay(std::int64_t id, std::string* blocker, std::vector<std::string>* shared,
                                      std::string* error) {
  auto change = readChange(db_, id, error);
  if (!change) return false;
  std::unordered_set<std::string> uids;
  {
    Statement persons(db_, "SELECT uid FROM change_persons WHERE id BETWEEN ?1 AND ?2");
    sqlite3_bind_int64(persons.get(), 1, change->firstRow);
    sqlite3_bind_int64(persons.get(), 2, change->lastRow);
    while (sqlite3_step(persons.get()) == SQLITE_ROW) uids.insert(columnText(persons.get(), 0));
  }
  blocker->clear();
  if (uids.empty()) return true;
  Statement later(db_,
                  "SELECT cp.uid, c.id, c.description FROM change_persons cp JOIN changes c ON c.id = cp.change_id "
                  "WHERE cp.id > ?1 AND c.undone = 0 ORDER BY cp.id");
  if (!later.ok()) {
    if (error) *error = lastError();
    return false;
  }
  sqlite3_bind_int64(later.get(), 1, change->lastRow);
  int rc;
  std::int64_t blocking = 0;
  while ((rc = sqlite3_step(later.get())) == SQLITE_ROW) {
    std::string uid = columnText(later.get(), 0);
    if (!uids.count(uid)) continue;
    const std::int64_t by = sqlite3_column_int64(later.get(), 1);
    if (blocking == 0) {
      blocking = by;
      *blocker = "the later change " + std::to_string(by) + " " + inQuotes(columnText(later.get(), 2)) +
                 " changed the same contacts";
    }
    // Every contact that change shares with this one, to be named.
    if (by == blocking && shared && std::find(shared->begin(), shared->end(), uid) == shared->end())
      shared->push_back(std::move(uid));
  }
  if (blocking != 0 && rc == SQLITE_DONE) return true;
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SqliteStore::undoOne(const ChangeSet& change, std::int64_t undoneOrder, std::int64_t version,
                          std::vector<std::string>* changedSince, std::string* error) {
  auto range = readChange(db_, change.id, error);
  if (!range) return false;
  auto fail = [&] {
    if (error) *error = lastError();
    return false;
  };
  {
    // Every person must be as the change left it: a row written since outside the history (or a
    // file changed by hand) is never overwritten.
    Statement check(db_,
                    "SELECT cp.uid, cp.gone, cp.after_hash, p.ord, p.data, p.uid IS NOT NULL "
                    "FROM change_persons cp LEFT JOIN persons p ON p.uid = cp.uid WHERE cp.id BETWEEN ?1 AND ?2");
    if (!check.ok()) return fail();
    check.bind(1, range->firstRow);
    check.bind(2, range->lastRow);
    std::vector<std::string> changed;
    int rc;
    while ((rc = sqlite3_step(check.get())) == SQLITE_ROW) {
      bool gone = check.integer(1) != 0;
      bool present = check.integer(5) != 0;
      bool asLeft = gone ? !present
                         : present && (sqlite3_column_type(check.get(), 2) == SQLITE_NULL ||
                                       check.integer(2) == rowHash(check.blob(4), check.integer(3)));
      if (!asLeft) changed.emplace_back(check.text(0));
    }
    if (rc != SQLITE_DONE) return fail();
    if (!changed.empty()) {
      if (error)
        *error =
            "cannot undo " + inQuotes(change.description) + ": " +
            (changed.size() == 1 ? "a contact of it was" : std::to_string(changed.size()) + " contacts of it were") +
            " changed since, outside this history";
      if (changedSince) *changedSince = std::move(changed);
      return false;
    }
  }
  // What the change left, kept for redo; then the rows before it.
  Statement keepAfter(db_,
                      "UPDATE change_persons SET after_ord = (SELECT ord FROM persons WHERE uid = change_persons.uid), "
                      "after = (SELECT data FROM persons WHERE uid = change_persons.uid) "
                      "WHERE id BETWEEN ?1 AND ?2");
  if (!keepAfter.ok()) return fail();
  keepAfter.bind(1, range->firstRow);
  keepAfter.bind(2, range->lastRow);
  if (sqlite3_step(keepAfter.get()) != SQLITE_DONE) return fail();

  Statement removeNew(db_,
                      "DELETE FROM persons WHERE uid IN "
                      "(SELECT uid FROM change_persons WHERE id BETWEEN ?1 AND ?2 AND before IS NULL)");
  Statement putBack(
      db_,
      "INSERT INTO persons(uid, ord, data, version) "
      "SELECT uid, before_ord, before, ?3 FROM change_persons "
      "WHERE id BETWEEN ?1 AND ?2 AND before IS NOT NULL ORDER BY id "
      "ON CONFLICT(uid) DO UPDATE SET ord = excluded.ord, data = excluded.data, version = excluded.version");
  Statement leaveTrash(db_, "DELETE FROM trash WHERE change_id = ?1");
  // A person this change brought back from the trash goes there again.
  Statement backToTrash(db_,
                        "INSERT OR REPLACE INTO trash(uid, change_id, row) "
                        "SELECT cp.uid, cp.change_id, max(cp.id) FROM change_persons cp "
                        "JOIN changes c ON c.id = cp.change_id AND c.undone = 0 "
                        "WHERE cp.gone = 1 AND cp.id < ?1 AND cp.uid IN "
                        "(SELECT uid FROM change_persons WHERE id BETWEEN ?1 AND ?2 AND before IS NULL) "
                        "GROUP BY cp.uid");
  Statement mark(db_, "UPDATE changes SET undone = ?2 WHERE id = ?1");
  if (!removeNew.ok() || !putBack.ok() || !leaveTrash.ok() || !backToTrash.ok() || !mark.ok()) return fail();
  for (auto* stmt : {&removeNew, &putBack, &backToTrash}) {
    stmt->bind(1, range->firstRow);
    stmt->bind(2, range->lastRow);
  }
  putBack.bind(3, version);
  leaveTrash.bind(1, change.id);
  mark.bind(1, change.id);
  mark.bind(2, undoneOrder);
  for (auto* stmt : {&removeNew, &putBack, &leaveTrash, &backToTrash, &mark})
    if (sqlite3_step(stmt->get()) != SQLITE_DONE) return fail();
  return true;
}

bool SqliteStore::undo(std::int64_t id, bool andLater, std::vector<ChangeSet>* undone,
                       std::vector<std::string>* changedSince, std::string* error) {
  return transaction(
      [&](std::string* error) {
        if (id == 0) {
          auto newest = queryInt(db_, "SELECT max(id) FROM changes WHERE undone = 0", 0);
          if (!newest) {
            if (error) *error = lastError();
            return false;
          }
          if (*newest == 0) {
            if (error) *error = "there is nothing to undo";
            return false;
          }
          id = *newest;
        }
        auto target = readChange(db_, id, error);
        if (!target) return false;
        std::vector<ChangeSet> changes;
        if (andLater) {
          Statement list(db_,
                         "SELECT id, time, description, persons FROM changes WHERE id >= ?1 AND undone = 0 "
                         "ORDER BY id DESC");
          sqlite3_bind_int64(list.get(), 1, id);
          while (sqlite3_step(list.get()) == SQLITE_ROW) {
            ChangeSet change;
            change.id = sqlite3_column_int64(list.get(), 0);
            change.time = sqlite3_column_int64(list.get(), 1);
            change.description = columnText(list.get(), 2);
            change.persons = sqlite3_column_int64(list.get(), 3);
            changes.push_back(std::move(change));
          }
          if (changes.empty()) {
            if (error) *error = "change " + std::to_string(id) + " and every later one are undone already";
            return false;
          }
        } else {
          if (target->undone) {
            if (error)
              *error = "change " + std::to_string(id) + " " + inQuotes(target->info.description) + " is undone already";
            return false;
          }
          std::string blocker;
          if (!laterChangeInTheWay(id, &blocker, changedSince, error)) return false;
          if (!blocker.empty()) {
            if (error)
              *error = "cannot undo " + inQuotes(target->info.description) + " alone: " + blocker +
                       "; undo that first (or use undo --to " + std::to_string(id) + ")";
            return false;
          }
          changes.push_back(target->info);
        }
        auto order = queryInt(db_, "SELECT max(undone) FROM changes", 0);
        if (!order) {
          if (error) *error = lastError();
          return false;
        }
        // Every row put back takes a new version, so that programs holding the rows the change left
        // see them change and never write over them unknowingly.
        std::int64_t version = nextVersion();
        if (version == 0) {
          if (error) *error = lastError();
          return false;
        }
        std::int64_t next = *order;
        for (auto& change : changes) {
          if (!undoOne(change, ++next, version, changedSince, error)) return false;
          change.undone = true;
        }
        if (undone) *undone = std::move(changes);
        return true;
      },
      error);
}

bool SqliteStore::redo(ChangeSet* redone, std::vector<std::string>* changedSince, std::string* error) {
  return transaction(
      [&](std::string* error) {
        auto fail = [&] {
          if (error) *error = lastError();
          return false;
        };
        auto id = queryInt(db_, "SELECT id FROM changes WHERE undone > 0 ORDER BY undone DESC LIMIT 1", 0);
        if (!id) return fail();
        if (*id == 0) {
          if (error) *error = "there is nothing to redo";
          return false;
        }
        auto range = readChange(db_, *id, error);
        if (!range) return false;
        std::string blocker;
        if (!laterChangeInTheWay(*id, &blocker, changedSince, error)) return false;
        if (blocker.empty()) {
          // Every person must be as the undo left it.
          Statement check(db_,
                          "SELECT cp.uid FROM change_persons cp LEFT JOIN persons p ON p.uid = cp.uid "
                          "WHERE cp.id BETWEEN ?1 AND ?2 AND (p.data IS NOT cp.before OR p.ord IS NOT cp.before_ord)");
          if (!check.ok()) return fail();
          check.bind(1, range->firstRow);
          check.bind(2, range->lastRow);
          std::vector<std::string> changed;
          int rc;
          while ((rc = sqlite3_step(check.get())) == SQLITE_ROW) changed.emplace_back(check.text(0));
          if (rc != SQLITE_DONE) return fail();
          if (!changed.empty()) {
            blocker = changed.size() == 1
                          ? "a contact of it was changed since it was undone"
                          : std::to_string(changed.size()) + " contacts of it were changed since it was undone";
            if (changedSince) *changedSince = std::move(changed);
          }
        }
        if (!blocker.empty()) {
          if (error) *error = "cannot redo " + inQuotes(range->info.description) + ": " + blocker;
          return false;
        }
        Statement removeGone(db_,
                             "DELETE FROM persons WHERE uid IN "
                             "(SELECT uid FROM change_persons WHERE id BETWEEN ?1 AND ?2 AND after IS NULL)");
        std::int64_t version = nextVersion();
        if (version == 0) return fail();
        Statement putAfter(db_,
                           "INSERT INTO persons(uid, ord, data, version) "
                           "SELECT uid, after_ord, after, ?3 FROM change_persons "
                           "WHERE id BETWEEN ?1 AND ?2 AND after IS NOT NULL ORDER BY id "
                           "ON CONFLICT(uid) DO UPDATE SET ord = excluded.ord, data = excluded.data, "
                           "version = excluded.version");
        Statement leaveTrash(db_,
                             "DELETE FROM trash WHERE uid IN "
                             "(SELECT uid FROM change_persons WHERE id BETWEEN ?1 AND ?2 AND before IS NULL)");
        Statement toTrash(db_,
                          "INSERT OR REPLACE INTO trash(uid, change_id, row) "
                          "SELECT uid, change_id, id FROM change_persons WHERE id BETWEEN ?1 AND ?2 AND gone = 1");
        Statement forget(db_, "UPDATE change_persons SET after_ord = NULL, after = NULL WHERE id BETWEEN ?1 AND ?2");
        if (!removeGone.ok() || !putAfter.ok() || !leaveTrash.ok() || !toTrash.ok() || !forget.ok()) return fail();
        putAfter.bind(3, version);
        for (auto* stmt : {removeGone.get(), putAfter.get(), leaveTrash.get(), toTrash.get(), forget.get()}) {
          sqlite3_bind_int64(stmt, 1, range->firstRow);
          sqlite3_bind_int64(stmt, 2, range->lastRow);
          if (sqlite3_step(stmt) != SQLITE_DONE) return fail();
        }
        Statement mark(db_, "UPDATE changes SET undone = 0 WHERE id = ?1");
        sqlite3_bind_int64(mark.get(), 1, *id);
        if (sqlite3_step(mark.get()) != SQLITE_DONE) return fail();
        if (redone) {
          *redone = range->info;
          redone->undone = false;
        }
        return true;
      },
      error);
}

bool SqliteStore::trash(std::vector<TrashItem>& out, std::string* error) {
  Statement list(db_,
                 "SELECT t.uid, c.time, t.change_id, cp.before FROM trash t "
                 "JOIN changes c ON c.id = t.change_id JOIN change_persons cp ON cp.id = t.row "
                 "ORDER BY t.change_id DESC, t.row");
  if (!list.ok()) {
    if (error) *error = lastError();
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
    TrashItem item;
    item.uid = columnText(list.get(), 0);
    item.time = sqlite3_column_int64(list.get(), 1);
    item.changeId = sqlite3_column_int64(list.get(), 2);
    item.data = columnBlob(list.get(), 3);
    out.push_back(std::move(item));
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SqliteStore::restore(const std::vector<std::string>& uids, const ChangeNote& note, std::int64_t* changeId,
                          std::string* error) {
  return transaction(
      [&](std::string* error) {
        struct Back {
          std::string uid;
          std::int64_t order;
          std::string data;
        };
        std::vector<Back> rows;
        Statement find(db_,
                       "SELECT cp.before_ord, cp.before, EXISTS(SELECT 1 FROM persons p WHERE p.uid = t.uid) "
                       "FROM trash t JOIN change_persons cp ON cp.id = t.row WHERE t.uid = ?1");
        if (!find.ok()) {
          if (error) *error = lastError();
          return false;
        }
        for (const auto& uid : uids) {
          if (std::any_of(rows.begin(), rows.end(), [&](const Back& b) { return b.uid == uid; })) continue;
          bindText(find.get(), 1, uid);
          int rc = sqlite3_step(find.get());
          if (rc != SQLITE_ROW) {
            if (error)
              *error = rc == SQLITE_DONE ? "no contact with the unique id " + uid + " is in the trash" : lastError();
            return false;
          }
          if (sqlite3_column_int(find.get(), 2) != 0) {
            if (error) *error = "a contact with the unique id " + uid + " is in the address book already";
            return false;
          }
          rows.push_back({uid, sqlite3_column_int64(find.get(), 0), columnBlob(find.get(), 1)});
          sqlite3_reset(find.get());
        }
        size_t next = 0;
        RowSource source = [&](Row& row) {
          if (next == rows.size()) return false;
          row.uid = rows[next].uid;
          row.order = rows[next].order;
          row.data = rows[next].data;
          row.version = 0;
          ++next;
          return true;
        };
        // Each goes back to its own position, never appended.
        WriteResult written = writeRows(source, {}, std::numeric_limits<std::int64_t>::max(), note);
        if (!written.ok()) {
          if (error)
            *error = !written.conflicts.empty() ? "a contact with the unique id " + written.conflicts.front() +
                                                      " is in the address book already"
                                                : written.error;
          return false;
        }
        if (changeId) *changeId = written.changeId;
        return true;
      },
      error);
}

bool SqliteStore::dropChangesUpTo(std::int64_t id, std::string* error) {
  const char* steps[] = {
      // Marks of change sets in effect stay for good; those of undone ones go.
      "DELETE FROM marks WHERE change_id > 0 AND change_id <= ?1 AND change_id IN "
      "(SELECT id FROM changes WHERE undone > 0)",
      "UPDATE marks SET change_id = 0 WHERE change_id > 0 AND change_id <= ?1",
      "DELETE FROM trash WHERE change_id <= ?1",
      "DELETE FROM change_persons WHERE change_id <= ?1",
      "DELETE FROM changes WHERE id <= ?1",
  };
  for (const char* sql : steps) {
    Statement step(db_, sql);
    if (!step.ok()) {
      if (error) *error = lastError();
      return false;
    }
    sqlite3_bind_int64(step.get(), 1, id);
    if (sqlite3_step(step.get()) != SQLITE_DONE) {
      if (error) *error = lastError();
      return false;
    }
  }
  return true;
}

bool SqliteStore::emptyTrash(std::int64_t* emptied, std::string* error) {
  if (emptied) *emptied = 0;
  return transaction(
      [&](std::string* error) {
        auto count = queryInt(db_, "SELECT count(*) FROM trash", 0);
        auto last = queryInt(db_, "SELECT max(change_id) FROM trash", 0);
        if (!count || !last) {
          if (error) *error = lastError();
          return false;
        }
        if (emptied) *emptied = *count;
        return *count == 0 || dropChangesUpTo(*last, error);
      },
      error);
}

bool SqliteStore::expireBefore(std::int64_t time, std::string* error) {
  auto last = queryInt(db_, "SELECT max(id) FROM changes WHERE time < ?1", 0, time);
  if (!last) {
    if (error) *error = lastError();
    return false;
  }
  if (*last == 0) return true;
  return transaction(
      [&](std::string* error) {
        // Read again inside the transaction: another process may have expired them meanwhile.
        auto again = queryInt(db_, "SELECT max(id) FROM changes WHERE time < ?1", 0, time);
        if (!again) {
          if (error) *error = lastError();
          return false;
        }
        return *again == 0 || dropChangesUpTo(*again, error);
      },
      error);
}

bool SqliteStore::readTogether(const std::function<bool(std::string* error)>& reads, std::string* error) {
  if (inChangeSet()) return reads(error);  // its transaction is one state of the file already
  if (!exec("BEGIN", error)) return false;
  const bool read = reads(error);
  exec(read ? "COMMIT" : "ROLLBACK", nullptr);
  return read;
}

bool SqliteStore::marks(const std::string& kind, std::vector<Mark>& out, std::string* error) {
  Statement list(db_,
                 "SELECT m.id, m.uids, m.value FROM marks m LEFT JOIN changes c ON c.id = m.change_id "
                 "WHERE m.kind = ?1 AND (m.change_id = 0 OR c.undone = 0) ORDER BY m.id");
  if (!list.ok()) {
    if (error) *error = lastError();
    return false;
  }
  bindText(list.get(), 1, kind);
  int rc;
  while ((rc = sqlite3_step(list.get())) == SQLITE_ROW) {
    Mark mark;
    mark.id = sqlite3_column_int64(list.get(), 0);
    mark.kind = kind;
    mark.uids = splitUids(columnText(list.get(), 1));
    mark.value = columnText(list.get(), 2);
    out.push_back(std::move(mark));
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}

bool SqliteStore::addMark(const std::string& kind, const std::vector<std::string>& uids, const std::string& value,
                          const ChangeNote& note, std::int64_t* changeId, std::string* error) {
  return transaction(
      [&](std::string* error) {
        auto fail = [&] {
          if (error) *error = lastError();
          return false;
        };
        std::string joined = joinUids(uids);
        Statement add(db_, "INSERT INTO changes(time, description, persons) VALUES(?1, ?2, ?3)");
        if (!add.ok()) return fail();
        sqlite3_bind_int64(add.get(), 1, note.time);
        bindText(add.get(), 2, note.description);
        sqlite3_bind_int64(add.get(), 3, static_cast<std::int64_t>(splitUids(joined).size()));
        if (sqlite3_step(add.get()) != SQLITE_DONE) return fail();
        std::int64_t change = sqlite3_last_insert_rowid(db_);
        Statement mark(db_, "INSERT INTO marks(kind, uids, value, change_id) VALUES(?1, ?2, ?3, ?4)");
        if (!mark.ok()) return fail();
        bindText(mark.get(), 1, kind);
        bindText(mark.get(), 2, joined);
        bindText(mark.get(), 3, value);
        sqlite3_bind_int64(mark.get(), 4, change);
        if (sqlite3_step(mark.get()) != SQLITE_DONE) return fail();
        if (changeId) *changeId = change;
        return true;
      },
      error);
}

bool SqliteStore::beginChangeSet(std::string* error) {
  if (inChangeSet()) {
    if (error) *error = "a change set of several writes is begun already";
    return false;
  }
  busyWait_.reset();
  if (!exec("BEGIN IMMEDIATE", error)) return false;
  auto change = queryInt(db_, "SELECT max(id) FROM changes", 0);
  auto row = queryInt(db_, "SELECT max(id) FROM change_persons", 0);
  if (!change || !row) {
    if (error) *error = lastError();
    exec("ROLLBACK", nullptr);
    return false;
  }
  changeSetFrom_ = ChangeSetStart{*change, *row};
  return true;
}

void SqliteStore::abandonChangeSet() {
  if (!inChangeSet()) return;
  changeSetFrom_.reset();
  exec("ROLLBACK", nullptr);
}

bool SqliteStore::endChangeSet(const ChangeNote& note, std::int64_t* changeId, std::string* error) {
  if (changeId) *changeId = 0;
  if (!inChangeSet()) {
    if (error) *error = "no change set of several writes is begun";
    return false;
  }
  const ChangeSetStart from = *changeSetFrom_;
  changeSetFrom_.reset();
  auto fail = [&] {
    if (error) *error = lastError();
    exec("ROLLBACK", nullptr);
    return false;
  };
  auto target = queryInt(db_, "SELECT min(id) FROM changes WHERE id > ?1", 0, from.change);
  auto count = queryInt(db_, "SELECT count(*) FROM changes WHERE id > ?1", 0, from.change);
  if (!target || !count) return fail();
  if (*count > 1) {
    auto newFirst = queryInt(db_, "SELECT max(id) + 1 FROM change_persons", from.row + 1);
    if (!newFirst) return fail();
    // Each person once, in the order it was first touched: its row before the first write, and
    // what the last one left. A person the writes added and removed again was never there.
    Statement fold(db_,
                   "INSERT INTO change_persons(change_id, uid, before_ord, before, gone, after_hash) "
                   "SELECT ?1, a.uid, a.before_ord, a.before, b.gone, b.after_hash FROM "
                   "(SELECT uid, min(id) AS first, max(id) AS last FROM change_persons "
                   " WHERE id > ?2 AND id < ?3 GROUP BY uid) f "
                   "JOIN change_persons a ON a.id = f.first JOIN change_persons b ON b.id = f.last "
                   "WHERE a.before IS NOT NULL OR b.gone = 0 ORDER BY f.first");
    if (!fold.ok()) return fail();
    fold.bind(1, *target);
    fold.bind(2, from.row);
    fold.bind(3, *newFirst);
    if (sqlite3_step(fold.get()) != SQLITE_DONE) return fail();
    const std::int64_t rows = sqlite3_changes(db_);
    const char* steps[] = {
        "DELETE FROM change_persons WHERE id > ?2 AND id < ?3",
        // The trash points at the folded rows.
        "DELETE FROM trash WHERE change_id >= ?1",
        "INSERT OR REPLACE INTO trash(uid, change_id, row) "
        "SELECT uid, ?1, id FROM change_persons WHERE id >= ?3 AND gone = 1",
        "UPDATE marks SET change_id = ?1 WHERE change_id > ?1",
        "DELETE FROM changes WHERE id > ?1",
        "UPDATE changes SET first_row = CASE WHEN ?4 > 0 THEN ?3 ELSE 1 END, "
        "last_row = CASE WHEN ?4 > 0 THEN ?3 + ?4 - 1 ELSE 0 END WHERE id = ?1",
    };
    for (const char* sql : steps) {
      Statement step(db_, sql);
      if (!step.ok()) return fail();
      const int parameters = sqlite3_bind_parameter_count(step.get());
      step.bind(1, *target);
      if (parameters >= 2) step.bind(2, from.row);
      if (parameters >= 3) step.bind(3, *newFirst);
      if (parameters >= 4) step.bind(4, rows);
      if (sqlite3_step(step.get()) != SQLITE_DONE) return fail();
    }
  }
  if (*target > 0) {
    // How many persons it touched: those whose rows changed and those its marks name.
    std::unordered_set<std::string> persons;
    {
      Statement rows(db_,
                     "SELECT cp.uid FROM change_persons cp JOIN changes c ON c.id = cp.change_id "
                     "WHERE c.id = ?1 AND cp.id BETWEEN c.first_row AND c.last_row");
      Statement marked(db_, "SELECT uids FROM marks WHERE change_id = ?1");
      if (!rows.ok() || !marked.ok()) return fail();
      rows.bind(1, *target);
      marked.bind(1, *target);
      while (sqlite3_step(rows.get()) == SQLITE_ROW) persons.emplace(rows.text(0));
      while (sqlite3_step(marked.get()) == SQLITE_ROW)
        for (auto& uid : splitUids(std::string(marked.text(0)))) persons.insert(std::move(uid));
    }
    if (persons.empty()) {
      // Nothing stayed changed: no change set.
      Statement drop(db_, "DELETE FROM changes WHERE id = ?1");
      if (!drop.ok()) return fail();
      drop.bind(1, *target);
      if (sqlite3_step(drop.get()) != SQLITE_DONE) return fail();
      *target = 0;
    } else {
      Statement describe(db_,
                         "UPDATE changes SET persons = ?2, time = ?3, "
                         "description = CASE WHEN ?4 = '' THEN description ELSE ?4 END WHERE id = ?1");
      if (!describe.ok()) return fail();
      describe.bind(1, *target);
      describe.bind(2, static_cast<std::int64_t>(persons.size()));
      describe.bind(3, note.time);
      describe.bind(4, std::string_view(note.description));
      if (sqlite3_step(describe.get()) != SQLITE_DONE) return fail();
    }
  }
  if (!exec("COMMIT", error)) {
    exec("ROLLBACK", nullptr);
    return false;
  }
  if (changeId) *changeId = *target;
  return true;
}

bool SqliteStore::changedPersons(std::int64_t id, std::vector<ChangedPerson>& out, std::string* error) {
  auto change = readChange(db_, id, error);
  if (!change) return false;
  Statement rows(db_,
                 "SELECT cp.uid, cp.before, cp.gone, coalesce(cp.after, p.data), cp.before IS NULL "
                 "FROM change_persons cp LEFT JOIN persons p ON p.uid = cp.uid AND ?3 = 0 "
                 "WHERE cp.id BETWEEN ?1 AND ?2 ORDER BY cp.id");
  Statement marked(db_, "SELECT uids FROM marks WHERE change_id = ?1 ORDER BY id");
  if (!rows.ok() || !marked.ok()) {
    if (error) *error = lastError();
    return false;
  }
  rows.bind(1, change->firstRow);
  rows.bind(2, change->lastRow);
  rows.bind(3, change->undone);
  std::unordered_set<std::string> seen;
  int rc;
  while ((rc = sqlite3_step(rows.get())) == SQLITE_ROW) {
    ChangedPerson person;
    person.uid = rows.text(0);
    person.before = rows.blob(1);
    person.removed = rows.integer(2) != 0;
    if (!person.removed) person.after = rows.blob(3);
    person.wasNew = rows.integer(4) != 0;
    seen.insert(person.uid);
    out.push_back(std::move(person));
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  marked.bind(1, id);
  while ((rc = sqlite3_step(marked.get())) == SQLITE_ROW) {
    for (auto& uid : splitUids(std::string(marked.text(0)))) {
      if (!seen.insert(uid).second) continue;
      ChangedPerson person;
      person.uid = std::move(uid);
      person.marked = true;
      out.push_back(std::move(person));
    }
  }
  if (rc != SQLITE_DONE) {
    if (error) *error = lastError();
    return false;
  }
  return true;
}
