#include "core/record/ContactRecord.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <stdexcept>
#include <unordered_map>
#include <utility>

#include "core/record/RecordKeys.h"

namespace {

// The keys every record may hold: "Person" is 0, the record-key table's keys follow in its order.
// Keys outside the table are numbered on first use, after them.
class KeyTable {
 public:
  static KeyTable& instance() {
    static KeyTable table;
    return table;
  }

  std::optional<RecordKeyId> find(std::string_view key) {
    if (auto known = fixed_.find(key); known != fixed_.end()) return known->second;
    std::shared_lock lock(mutex_);
    if (auto added = added_.find(key); added != added_.end()) return added->second;
    return std::nullopt;
  }

  RecordKeyId intern(std::string_view key) {
    if (auto id = find(key)) return *id;
    std::unique_lock lock(mutex_);
    if (auto added = added_.find(key); added != added_.end()) return added->second;
    const size_t next = names_.size() + addedNames_.size();
    if (next > std::numeric_limits<RecordKeyId>::max())
      throw std::length_error("a contact record cannot hold more than 65536 different keys");
    const std::string& name = addedNames_.emplace_back(key);
    added_.emplace(name, static_cast<RecordKeyId>(next));
    return static_cast<RecordKeyId>(next);
  }

  const std::string& name(RecordKeyId id) {
    if (id < names_.size()) return *names_[id];
    std::shared_lock lock(mutex_);
    return addedNames_[id - names_.size()];
  }

 private:
  KeyTable() {
    static const std::string person = "Person";
    names_.push_back(&person);
    for (const RecordKeys::RecordKey& row : RecordKeys::all()) names_.push_back(&row.key);
    for (size_t id = 0; id < names_.size(); ++id) fixed_.emplace(*names_[id], static_cast<RecordKeyId>(id));
  }

  std::vector<const std::string*> names_;
  std::unordered_map<std::string_view, RecordKeyId> fixed_;
  std::shared_mutex mutex_;
  std::deque<std::string> addedNames_;  // a deque keeps its elements in place as it grows
  std::unordered_map<std::string_view, RecordKeyId> added_;
};

uint32_t checkedSize(size_t n) {
  if (n > std::numeric_limits<uint32_t>::max()) throw std::length_error("a contact record holds at most 4 GiB of text");
  return static_cast<uint32_t>(n);
}

}  // namespace

std::optional<RecordKeyId> ContactRecord::idOf(std::string_view key) {
  return KeyTable::instance().find(key);
}

RecordKeyId ContactRecord::keyId(std::string_view key) {
  return KeyTable::instance().intern(key);
}

const std::string& ContactRecord::keyName(RecordKeyId id) {
  return KeyTable::instance().name(id);
}

ContactRecord::ContactRecord(const ContactRecord& other) : person_(other.person_) {
  if (other.count_ == 0) return;
  grow(other.count_, other.textSize_);
  std::memcpy(slotTable(), other.slotTable(), other.count_ * sizeof(Slot));
  if (other.textSize_) std::memcpy(bytes(), other.bytes(), other.textSize_);
  count_ = other.count_;
  textSize_ = other.textSize_;
}

ContactRecord::ContactRecord(ContactRecord&& other) noexcept
    : block_(std::exchange(other.block_, nullptr)),
      count_(std::exchange(other.count_, 0)),
      slotCapacity_(std::exchange(other.slotCapacity_, 0)),
      textSize_(std::exchange(other.textSize_, 0)),
      textCapacity_(std::exchange(other.textCapacity_, 0)),
      person_(std::move(other.person_)) {}

ContactRecord& ContactRecord::operator=(const ContactRecord& other) {
  if (this != &other) *this = ContactRecord(other);
  return *this;
}

ContactRecord& ContactRecord::operator=(ContactRecord&& other) noexcept {
  if (this == &other) return *this;
  std::free(block_);
  block_ = std::exchange(other.block_, nullptr);
  count_ = std::exchange(other.count_, 0);
  slotCapacity_ = std::exchange(other.slotCapacity_, 0);
  textSize_ = std::exchange(other.textSize_, 0);
  textCapacity_ = std::exchange(other.textCapacity_, 0);
  person_ = std::move(other.person_);
  return *this;
}

ContactRecord::~ContactRecord() {
  std::free(block_);
}

int32_t ContactRecord::indexOf(RecordKeyId id) const {
  const Slot* s = slotTable();
  for (uint32_t i = 0; i < count_; ++i)
    if (s[i].key == id) return static_cast<int32_t>(i);
  return -1;
}

RecordValue ContactRecord::valueAt(size_t at) const {
  const Slot& slot = slotTable()[at];
  const uint32_t start = startOf(static_cast<uint32_t>(at));
  switch (slot.kind) {
    case kDate: {
      ABDate date;
      std::memcpy(&date, bytes() + start, sizeof date);
      return date;
    }
    case kPerson:
      return RecordPerson{&person_};
    default:
      return std::string_view(bytes() + start, slot.end - start);
  }
}

std::optional<RecordValue> ContactRecord::find(std::string_view key) const {
  auto id = idOf(key);
  if (!id) return std::nullopt;
  return find(*id);
}

std::optional<RecordValue> ContactRecord::find(RecordKeyId id) const {
  const int32_t at = indexOf(id);
  if (at < 0) return std::nullopt;
  return valueAt(static_cast<uint32_t>(at));
}

std::optional<std::string> ContactRecord::text(std::string_view key) const {
  auto value = find(key);
  if (!value) return std::nullopt;
  if (const auto* s = std::get_if<std::string_view>(&*value)) return std::string(*s);
  if (const auto* d = std::get_if<ABDate>(&*value)) return dateText(*d);
  return std::nullopt;
}

std::shared_ptr<ABPerson> ContactRecord::person() const {
  const int32_t at = indexOf(0);
  if (at < 0 || slotTable()[at].kind != kPerson) return nullptr;
  return person_;
}

void ContactRecord::reserve(size_t keys, size_t textBytes) {
  if (keys > slotCapacity_ || textBytes > textCapacity_)
    grow(std::max<size_t>(keys, slotCapacity_), std::max<size_t>(textBytes, textCapacity_));
}

void ContactRecord::grow(size_t keys, size_t textBytes) {
  const uint32_t slotCapacity = checkedSize(keys);
  const uint32_t textCapacity = checkedSize(textBytes);
  char* block = static_cast<char*>(std::malloc(slotCapacity * sizeof(Slot) + textCapacity));
  if (!block && slotCapacity * sizeof(Slot) + textCapacity > 0) throw std::bad_alloc();
  if (block_) {
    std::memcpy(block, block_, count_ * sizeof(Slot));
    if (textSize_) std::memcpy(block + slotCapacity * sizeof(Slot), bytes(), textSize_);
    std::free(block_);
  }
  block_ = block;
  slotCapacity_ = slotCapacity;
  textCapacity_ = textCapacity;
}

void ContactRecord::shrinkToFit() {
  if (count_ == slotCapacity_ && textSize_ == textCapacity_) return;
  if (count_ == 0) {
    std::free(std::exchange(block_, nullptr));
    slotCapacity_ = textCapacity_ = textSize_ = 0;
    return;
  }
  grow(count_, textSize_);
}

void ContactRecord::clear() {
  count_ = 0;
  textSize_ = 0;
  person_.reset();
}

void ContactRecord::put(RecordKeyId id, Kind kind, const char* data, size_t length) {
  const int32_t found = indexOf(id);
  const uint32_t at = found < 0 ? count_ : static_cast<uint32_t>(found);
  const size_t start = startOf(at);
  const size_t oldLength = found < 0 ? 0 : slotTable()[at].end - start;
  const size_t newText = textSize_ - oldLength + length;
  const size_t newCount = count_ + (found < 0 ? 1 : 0);
  // The value may be a view into this very record: keep it while the block moves.
  std::string kept;
  const auto address = reinterpret_cast<uintptr_t>(data);
  const auto blockAddress = reinterpret_cast<uintptr_t>(block_);
  if (length && block_ && address >= blockAddress &&
      address < blockAddress + slotCapacity_ * sizeof(Slot) + textCapacity_) {
    kept.assign(data, length);
    data = kept.data();
  }
  if (newCount > slotCapacity_ || newText > textCapacity_)
    grow(newCount > slotCapacity_ ? std::max<size_t>(newCount, slotCapacity_ * 2 + 2) : slotCapacity_,
         newText > textCapacity_ ? std::max<size_t>(newText, textCapacity_ * 2 + 32) : textCapacity_);
  checkedSize(newText);
  char* text = bytes();
  if (oldLength != length && at < count_)
    std::memmove(text + start + length, text + start + oldLength, textSize_ - start - oldLength);
  if (length) std::memcpy(text + start, data, length);
  Slot* s = slotTable();
  if (found < 0) {
    s[at] = Slot{0, id, kind, 0};
    ++count_;
  }
  s[at].kind = kind;
  s[at].end = static_cast<uint32_t>(start + length);
  for (uint32_t i = at + 1; i < count_; ++i) s[i].end = static_cast<uint32_t>(s[i].end + length - oldLength);
  textSize_ = static_cast<uint32_t>(newText);
}

void ContactRecord::set(RecordKeyId id, const RecordValue& value) {
  if (const auto* text = std::get_if<std::string_view>(&value)) {
    put(id, kText, text->data(), text->size());
  } else if (const auto* date = std::get_if<ABDate>(&value)) {
    put(id, kDate, reinterpret_cast<const char*>(date), sizeof *date);
  } else {
    // Copied first: the reference may be this record's own.
    std::shared_ptr<ABPerson> person = *std::get<RecordPerson>(value).person;
    set(id, std::move(person));
    return;
  }
  dropPersonIfUnreferenced();
}

void ContactRecord::set(RecordKeyId id, std::shared_ptr<ABPerson> person) {
  put(id, kPerson, nullptr, 0);
  person_ = std::move(person);
}

void ContactRecord::dropPersonIfUnreferenced() {
  if (!person_) return;
  const Slot* s = slotTable();
  for (uint32_t i = 0; i < count_; ++i)
    if (s[i].kind == kPerson) return;
  person_.reset();
}

bool ContactRecord::remove(std::string_view key) {
  auto id = idOf(key);
  if (!id) return false;
  const int32_t found = indexOf(*id);
  if (found < 0) return false;
  const uint32_t at = static_cast<uint32_t>(found);
  const uint32_t start = startOf(at);
  const uint32_t length = slotTable()[at].end - start;
  char* text = bytes();
  std::memmove(text + start, text + start + length, textSize_ - start - length);
  Slot* s = slotTable();
  for (uint32_t i = at + 1; i < count_; ++i) s[i - 1] = Slot{s[i].end - length, s[i].key, s[i].kind, 0};
  --count_;
  textSize_ -= length;
  dropPersonIfUnreferenced();
  return true;
}

std::vector<std::string> ContactRecord::keys() const {
  std::vector<std::string> result;
  result.reserve(count_);
  for (uint32_t i = 0; i < count_; ++i) result.push_back(keyName(slotTable()[i].key));
  return result;
}

bool ContactRecord::operator==(const ContactRecord& other) const {
  if (count_ != other.count_ || textSize_ != other.textSize_ || person_.get() != other.person_.get()) return false;
  if (count_ == 0) return true;
  return std::memcmp(slotTable(), other.slotTable(), count_ * sizeof(Slot)) == 0 &&
         (textSize_ == 0 || std::memcmp(bytes(), other.bytes(), textSize_) == 0);
}
