#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "ABPerson.h"
#include "PersonSlots.h"

// New persons in the store's encoding (PersonCodec), each with the hash of its row
// (SqliteStore::hashOfValues) and its unique id: a batch of an import written straight to the
// store, encoded where it is read, while the values are still at hand.
class EncodedPersons {
 public:
  // Appends the encoding of data with its own unique id or, when it has none, a new one (set in
  // data too) drawn at random from 2^122.
  void add(ABPersonData& data);
  // The same for values in slots (as the vCard reader maps a card): the same row.
  void add(PersonSlots& slots);
  // Moves the persons of more after these.
  void append(EncodedPersons&& more);
  // Room for this many more persons and bytes of encodings without copying those there are.
  void reserve(std::size_t persons, std::size_t bytes);

  std::size_t size() const { return rows_.size(); }
  bool empty() const { return rows_.empty(); }
  // Valid while this object is not changed.
  std::string_view row(std::size_t i) const;
  std::uint64_t hash(std::size_t i) const;
  const std::string& uid(std::size_t i) const { return uids_[i]; }
  bool ownUid(std::size_t i) const { return rows_[i].own; }
  // The ids in order, to be moved out once the rows are no longer needed.
  std::vector<std::string>& uids() { return uids_; }

  // Gives person i the unique id uid in place of its own: its row is encoded anew.
  void replaceUid(std::size_t i, std::string uid);
  // Takes the persons whose rows take answers true for out of these, and gives their values back
  // decoded with their unique ids, in order.
  std::vector<ABPersonData> extract(const std::function<bool(std::string_view row)>& take);

 private:
  struct Row {
    std::size_t offset = 0;
    std::uint32_t size = 0;
    std::uint32_t buffer = 0;
    std::uint64_t hash = 0;
    bool hashed = false;  // else hash is worked out when asked for
    bool own = false;
  };
  template <typename Values>
  void appendEncoding(const Values& values, Row& row);
  void added(const Row& row, std::string uid);

  std::vector<std::string> buffers_;  // encodings are appended to the last
  std::vector<Row> rows_;
  std::vector<std::string> uids_;
};
