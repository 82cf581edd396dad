#include "EncodedPersons.h"

#include <algorithm>
#include <iterator>
#include <stdexcept>

#include "ABConstants.h"
#include "PersonCodec.h"
#include "SqliteStore.h"

namespace {

constexpr std::size_t kFirstBuffer = std::size_t{1} << 16;
// A buffer with less room than this left gets no more rows: the next goes into a new buffer rather
// than making this one grow (which copies every row there). A larger row may still grow one.
constexpr std::size_t kRoomForARow = std::size_t{16} << 10;

}  // namespace

template <typename Values>
void EncodedPersons::appendEncoding(const Values& values, Row& row) {
  if (buffers_.empty()) {
    buffers_.emplace_back().reserve(kFirstBuffer);
  } else if (const std::string& last = buffers_.back(); last.capacity() - last.size() < kRoomForARow) {
    const std::size_t capacity = std::max(last.capacity(), kFirstBuffer);
    buffers_.emplace_back().reserve(capacity);
  }
  std::string& buffer = buffers_.back();
  const std::size_t start = buffer.size();
  PersonCodec::encode(values, buffer);
  row.offset = start;
  row.size = static_cast<std::uint32_t>(buffer.size() - start);
  row.buffer = static_cast<std::uint32_t>(buffers_.size() - 1);
  row.hashed = false;
}

void EncodedPersons::add(ABPersonData& data) {
  Row row;
  std::string uid;
  if (const std::string* own = data.string(kABUIDProperty); own && !own->empty()) {
    uid = *own;
    row.own = true;
  } else {
    uid = ABPerson::makeUniqueId();
    data.set(kABUIDProperty, uid);
  }
  appendEncoding(data, row);
  added(row, std::move(uid));
}

void EncodedPersons::add(PersonSlots& slots) {
  Row row;
  std::string uid;
  if (const std::string* own = slots.string(PersonSlots::kUID); own && !own->empty()) {
    uid = *own;
    row.own = true;
  } else {
    uid = ABPerson::makeUniqueId();
    slots.setText(PersonSlots::kUID, uid);
  }
  appendEncoding(slots, row);
  added(row, std::move(uid));
}

void EncodedPersons::added(const Row& row, std::string uid) {
  rows_.push_back(row);
  uids_.push_back(std::move(uid));
  // Hashed four at a time, as soon as there are four new rows.
  const std::size_t n = rows_.size();
  if (n >= 4 && !rows_[n - 4].hashed && !rows_[n - 3].hashed && !rows_[n - 2].hashed) {
    const std::string_view four[4] = {this->row(n - 4), this->row(n - 3), this->row(n - 2), this->row(n - 1)};
    std::uint64_t hashes[4];
    SqliteStore::hashOfValues4(four, hashes);
    for (std::size_t k = 0; k < 4; ++k) {
      rows_[n - 4 + k].hash = hashes[k];
      rows_[n - 4 + k].hashed = true;
    }
  }
}

std::uint64_t EncodedPersons::hash(std::size_t i) const {
  return rows_[i].hashed ? rows_[i].hash : SqliteStore::hashOfValues(row(i));
}

void EncodedPersons::reserve(std::size_t persons, std::size_t bytes) {
  rows_.reserve(rows_.size() + persons);
  uids_.reserve(uids_.size() + persons);
  if (!buffers_.empty() && buffers_.back().capacity() - buffers_.back().size() >= bytes) return;
  // A new buffer rather than a larger one: the encodings there are not copied.
  buffers_.emplace_back().reserve(bytes);
}

void EncodedPersons::append(EncodedPersons&& more) {
  if (more.empty()) return;
  if (empty()) {
    *this = std::move(more);
    return;
  }
  const auto shift = static_cast<std::uint32_t>(buffers_.size());
  std::move(more.buffers_.begin(), more.buffers_.end(), std::back_inserter(buffers_));
  rows_.reserve(rows_.size() + more.rows_.size());
  for (Row row : more.rows_) {
    row.buffer += shift;
    rows_.push_back(row);
  }
  std::move(more.uids_.begin(), more.uids_.end(), std::back_inserter(uids_));
  more = EncodedPersons();
}

std::string_view EncodedPersons::row(std::size_t i) const {
  const Row& row = rows_[i];
  return std::string_view(buffers_[row.buffer]).substr(row.offset, row.size);
}

void EncodedPersons::replaceUid(std::size_t i, std::string uid) {
  std::optional<ABPersonData> data = PersonCodec::decode(row(i));
  if (!data) throw std::logic_error("a person's encoding cannot be read back");
  data->set(kABUIDProperty, uid);
  appendEncoding(*data, rows_[i]);
  rows_[i].own = false;
  rows_[i].hash = SqliteStore::hashOfValues(row(i));
  rows_[i].hashed = true;
  uids_[i] = std::move(uid);
}

std::vector<ABPersonData> EncodedPersons::extract(const std::function<bool(std::string_view row)>& take) {
  std::vector<ABPersonData> taken;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    if (take(row(i))) {
      std::optional<ABPersonData> data = PersonCodec::decode(row(i));
      if (!data) throw std::logic_error("a person's encoding cannot be read back");
      data->set(kABUIDProperty, uids_[i]);  // the row need not hold it
      taken.push_back(std::move(*data));
      continue;
    }
    if (kept != i) {
      rows_[kept] = rows_[i];
      uids_[kept] = std::move(uids_[i]);
    }
    ++kept;
  }
  rows_.resize(kept);
  uids_.resize(kept);
  return taken;
}
