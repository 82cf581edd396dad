#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "ABPerson.h"
#include "PackedBytes.h"
#include "SqliteStore.h"

// The rows of one save: persons encoded in the order given, on a second thread while the first
// writes the rows already encoded. The encodings are packed into large shared buffers.
class EncodedRows {
 public:
  struct Item {
    std::string_view uid;  // must outlive this object
    std::int64_t order = 0;
    ABPersonSnapshot data;
    std::int64_t version = 0;  // the row's version as last read; 0: no row yet
  };

  explicit EncodedRows(std::vector<Item> items);
  ~EncodedRows();
  EncodedRows(const EncodedRows&) = delete;
  EncodedRows& operator=(const EncodedRows&) = delete;

  size_t size() const { return items_.size(); }
  // The next row in order, waiting until it is encoded; false after the last one.
  bool next(SqliteStore::Row& row);

 private:
  void encodeAll();
  std::string_view encode(const ABPersonData& data);

  std::vector<Item> items_;
  std::vector<std::string_view> encoded_;
  std::vector<std::uint64_t> hashes_;  // SqliteStore::hashOfValues of each, worked out here too
  PackedBytes buffers_;
  static constexpr size_t kFailed = static_cast<size_t>(-1);
  std::atomic<size_t> ready_{0};  // rows encoded, or kFailed (then failure_ says why)
  std::exception_ptr failure_;
  std::atomic<bool> stop_{false};
  size_t next_ = 0;
  std::thread thread_;
};
