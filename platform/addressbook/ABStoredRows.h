#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ABConstants.h"
#include "ABPerson.h"
#include "PersonCodec.h"
#include "platform/threads/ParallelFor.h"

// Rows of the store as the book's own files read them (ABAddressBook.cpp, ABStoredBatches.cpp):
// decoded on every core, a damaged row named by its contact.
namespace ABStoredRows {

// Below this many persons a second thread costs more than it saves.
constexpr size_t kRowsPerThread = 1000;

// A row as read from the store, its texts packed where the reader keeps them.
struct StoredRow {
  std::string_view uid;
  std::string_view data;
  std::int64_t order;
  std::int64_t version;
};

// The values of one stored row with its unique id; nullopt when the row is damaged.
inline std::optional<ABPersonData> decodeRow(std::string_view uid, std::string_view bytes) {
  auto data = PersonCodec::decode(bytes);
  if (data) data->set(kABUIDProperty, std::string(uid));
  return data;
}

// Decodes count rows on every core (decode(i) gives row i's values or nullopt), giving each
// person's values to take(i, data). Decoding is independent from row to row. Returns the first
// damaged row in store order, or count when none is.
template <typename Decode, typename Take>
size_t decodeEach(size_t count, Decode&& decode, Take&& take) {
  std::vector<size_t> damagedIn;
  std::mutex damagedLock;
  parallelFor(count, kRowsPerThread, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      auto data = decode(i);
      if (!data) {
        std::lock_guard<std::mutex> lock(damagedLock);
        damagedIn.push_back(i);
        return;
      }
      take(i, std::move(*data));
    }
  });
  return damagedIn.empty() ? count : *std::min_element(damagedIn.begin(), damagedIn.end());
}

template <typename Take>
size_t decodeRows(const std::vector<StoredRow>& rows, Take&& take) {
  return decodeEach(
      rows.size(), [&](size_t i) { return decodeRow(rows[i].uid, rows[i].data); }, std::forward<Take>(take));
}

inline std::string damagedRowError(std::string_view uid) {
  return "the record of contact " + std::string(uid) + " is damaged";
}

}  // namespace ABStoredRows
