#include "ABPerson.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>

#include <pthread.h>

#include "ABConstants.h"

namespace {

auto lowerBound(const std::vector<ABPersonData::Entry>& entries, std::string_view property) {
  return std::lower_bound(entries.begin(), entries.end(), property,
                          [](const ABPersonData::Entry& entry, std::string_view p) { return entry.first < p; });
}

std::atomic<unsigned> forkGeneration{0};

void noteFork() {
  forkGeneration.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

const ABValue* ABPersonData::find(std::string_view property) const {
  auto it = lowerBound(entries_, property);
  if (it == entries_.end() || it->first != property) return nullptr;
  return &it->second;
}

void ABPersonData::set(const std::string& property, ABValue value) {
  if (isNil(value)) {
    remove(property);
    return;
  }
  if (entries_.empty() || entries_.back().first < property) {
    entries_.emplace_back(property, std::move(value));
    return;
  }
  auto it = std::lower_bound(entries_.begin(), entries_.end(), property,
                             [](const Entry& entry, const std::string& p) { return entry.first < p; });
  if (it != entries_.end() && it->first == property)
    it->second = std::move(value);
  else
    entries_.insert(it, Entry{property, std::move(value)});
}

bool ABPersonData::remove(std::string_view property) {
  auto it = std::lower_bound(entries_.begin(), entries_.end(), property,
                             [](const Entry& entry, std::string_view p) { return entry.first < p; });
  if (it == entries_.end() || it->first != property) return false;
  entries_.erase(it);
  return true;
}

ABPersonData ABPersonData::takeCompacted(std::size_t spare) {
  ABPersonData result;
  result.entries_.reserve(entries_.size() + spare);
  std::move(entries_.begin(), entries_.end(), std::back_inserter(result.entries_));
  entries_.clear();
  return result;
}

const std::string* ABPersonData::string(std::string_view property) const {
  const ABValue* value = find(property);
  return value ? std::get_if<std::string>(value) : nullptr;
}

const ABMultiValue* ABPersonData::multiValue(std::string_view property) const {
  const ABValue* value = find(property);
  return value ? std::get_if<ABMultiValue>(value) : nullptr;
}

const ABDate* ABPersonData::date(std::string_view property) const {
  const ABValue* value = find(property);
  return value ? std::get_if<ABDate>(value) : nullptr;
}

const std::int64_t* ABPersonData::integer(std::string_view property) const {
  const ABValue* value = find(property);
  return value ? std::get_if<std::int64_t>(value) : nullptr;
}

const ABBytes* ABPersonData::bytes(std::string_view property) const {
  const ABValue* value = find(property);
  return value ? std::get_if<ABBytes>(value) : nullptr;
}

bool ABPersonData::operator==(const ABPersonData& other) const {
  return entries_ == other.entries_;
}

std::string ABPerson::makeUniqueId() {
  // Each thread draws from its own generator; a forked child reseeds, as it would otherwise repeat
  // its parent's ids.
  thread_local std::mt19937_64 generator{std::random_device{}()};
  thread_local unsigned seededInGeneration = forkGeneration.load(std::memory_order_relaxed);
  static const bool watchingForks = [] { return pthread_atfork(nullptr, nullptr, noteFork) == 0; }();
  if (!watchingForks || seededInGeneration != forkGeneration.load(std::memory_order_relaxed)) {
    generator.seed(std::random_device{}());
    seededInGeneration = forkGeneration.load(std::memory_order_relaxed);
  }
  std::uint64_t a = generator(), b = generator();
  // Version 4 layout: xxxxxxxx-xxxx-4xxx-yxxx-xxxxxxxxxxxx with y in 8..B.
  a = (a & ~0xF000ULL) | 0x4000ULL;
  b = (b & 0x3FFFFFFFFFFFFFFFULL) | 0x8000000000000000ULL;
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uid(36, '-');
  auto put = [&](std::size_t position, std::uint64_t bits, int digits) {
    for (int i = digits - 1; i >= 0; --i, bits >>= 4) uid[position + static_cast<std::size_t>(i)] = kHex[bits & 0xF];
  };
  put(0, a >> 32, 8);
  put(9, a >> 16, 4);
  put(14, a, 4);
  put(19, b >> 48, 4);
  put(24, b, 12);
  return uid;
}

ABPerson::ABPerson() : uid_(makeUniqueId()) {
  auto data = std::make_shared<ABPersonData>();
  data->set(kABUIDProperty, uid_);
  data_ = std::move(data);
}

ABPerson::ABPerson(ABPersonData data) {
  const std::string* uid = data.string(kABUIDProperty);
  if (uid && !uid->empty()) {
    uid_ = *uid;
  } else {
    uid_ = makeUniqueId();
    data.set(kABUIDProperty, uid_);
  }
  data_ = std::make_shared<ABPersonData>(std::move(data));
}

ABPersonSnapshot ABPerson::snapshot() const {
  std::lock_guard lock(mutex_);
  return data_;
}

ABValue ABPerson::valueForProperty(std::string_view property) const {
  auto data = snapshot();
  const ABValue* value = data->find(property);
  return value ? *value : ABValue{};
}

std::optional<std::string> ABPerson::stringForProperty(std::string_view property) const {
  auto data = snapshot();
  const std::string* value = data->string(property);
  if (!value) return std::nullopt;
  return *value;
}

std::optional<ABMultiValue> ABPerson::multiValueForProperty(std::string_view property) const {
  auto data = snapshot();
  const ABMultiValue* value = data->multiValue(property);
  if (!value) return std::nullopt;
  return *value;
}

bool ABPerson::setValueForProperty(ABValue value, const std::string& property, std::string* error) {
  if (property == kABUIDProperty) {
    if (error) *error = "the unique id of a person cannot be changed";
    return false;
  }
  if (isNil(value)) {
    if (error) *error = "no value given for " + property;
    return false;
  }
  std::lock_guard lock(mutex_);
  auto next = std::make_shared<ABPersonData>(*data_);
  next->set(property, std::move(value));
  data_ = std::move(next);
  changed();
  return true;
}

bool ABPerson::removeValueForProperty(const std::string& property) {
  if (property == kABUIDProperty) return false;
  std::lock_guard lock(mutex_);
  if (!data_->find(property)) return true;
  auto next = std::make_shared<ABPersonData>(*data_);
  next->remove(property);
  data_ = std::move(next);
  changed();
  return true;
}

std::string ABPerson::uniqueId() const {
  return uid_;
}

std::optional<ABBytes> ABPerson::imageData() const {
  auto data = snapshot();
  const ABBytes* bytes = data->bytes(kABImageDataProperty);
  if (!bytes) return std::nullopt;
  return *bytes;
}

bool ABPerson::setImageData(ABBytes data) {
  if (data.empty()) return removeValueForProperty(kABImageDataProperty);
  return setValueForProperty(std::move(data), kABImageDataProperty);
}

void ABPerson::replaceData(ABPersonData data) {
  data.set(kABUIDProperty, uid_);
  std::lock_guard lock(mutex_);
  data_ = std::make_shared<ABPersonData>(std::move(data));
  changed();
}
