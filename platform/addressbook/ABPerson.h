#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ABValue.h"

// The values of one person at one moment. Immutable once shared: a change to a person builds a
// new ABPersonData and swaps it in, so a reader on another thread keeps a consistent snapshot.
class ABPersonData {
 public:
  using Entry = std::pair<std::string, ABValue>;

  const ABValue* find(std::string_view property) const;
  void set(const std::string& property, ABValue value);  // a nil value removes the property
  bool remove(std::string_view property);
  void reserve(std::size_t count) { entries_.reserve(count); }
  void clear() { entries_.clear(); }
  // Moves the values into a new ABPersonData whose storage fits them and spare more, and leaves
  // this one empty with its storage kept for reuse.
  ABPersonData takeCompacted(std::size_t spare = 0);
  const std::vector<Entry>& entries() const { return entries_; }

  // Typed views; nullptr when the property is absent or holds another kind of value.
  const std::string* string(std::string_view property) const;
  const ABMultiValue* multiValue(std::string_view property) const;
  const ABDate* date(std::string_view property) const;
  const std::int64_t* integer(std::string_view property) const;
  const ABBytes* bytes(std::string_view property) const;

  bool operator==(const ABPersonData& other) const;

 private:
  std::vector<Entry> entries_;  // sorted by property name
};

using ABPersonSnapshot = std::shared_ptr<const ABPersonData>;

class ABPerson;

// The persons of a book changed since its last save, as the persons tell it: a save looks at
// these, not at every person of the book.
class ABChangedPersons {
 public:
  void add(std::weak_ptr<ABPerson> person) {
    std::lock_guard lock(mutex_);
    persons_.push_back(std::move(person));
  }
  std::vector<std::weak_ptr<ABPerson>> take() {
    std::lock_guard lock(mutex_);
    return std::exchange(persons_, {});
  }

 private:
  std::mutex mutex_;
  std::vector<std::weak_ptr<ABPerson>> persons_;
};

// One record of the address book. Safe to read from any thread while another thread changes it.
class ABPerson : public std::enable_shared_from_this<ABPerson> {
 public:
  // A new, free person (not in any store) with a new unique id.
  ABPerson();
  // A new, free person with the given data; a missing or empty kABUIDProperty gets a new id.
  explicit ABPerson(ABPersonData data);

  ABPerson(const ABPerson&) = delete;
  ABPerson& operator=(const ABPerson&) = delete;

  static std::shared_ptr<ABPerson> create() { return std::make_shared<ABPerson>(); }

  // The value, or nil (std::monostate) when unset.
  ABValue valueForProperty(std::string_view property) const;
  ABValue valueForKey(std::string_view property) const { return valueForProperty(property); }
  std::optional<std::string> stringForProperty(std::string_view property) const;
  std::optional<ABMultiValue> multiValueForProperty(std::string_view property) const;

  // Replaces a value. Fails for kABUIDProperty and for a nil value (use removeValueForProperty).
  bool setValueForProperty(ABValue value, const std::string& property, std::string* error = nullptr);
  bool removeValueForProperty(const std::string& property);

  std::string uniqueId() const;
  std::optional<ABBytes> imageData() const;
  bool setImageData(ABBytes data);

  // The person's vCard 3.0 text (UTF-8).
  std::string vCardRepresentation() const;

  // Every value at this moment, shared and immutable.
  ABPersonSnapshot snapshot() const;
  // Replaces every value but the unique id.
  void replaceData(ABPersonData data);

  // Incremented by every change; the store compares it with what it last saved.
  std::uint64_t version() const { return version_.load(std::memory_order_acquire); }

  static std::string makeUniqueId();

 private:
  friend class ABAddressBook;

  std::string uid_;  // set once at construction; also held by the data under kABUIDProperty
  mutable std::mutex mutex_;
  std::shared_ptr<const ABPersonData> data_;
  std::atomic<std::uint64_t> version_{1};
  // The version its book last saved or read (kept by the book, under the book's lock, beside its own
  // record of it) so that a save finds the changed persons without looking each one up; 0: none.
  std::uint64_t savedInBook_ = 0;
  // Where the book that holds the person wants to hear of its changes (under mutex_; set by the book).
  std::shared_ptr<ABChangedPersons> changes_;
  // Tells the book of a change just made (with mutex_ held).
  void changed() {
    version_.fetch_add(1, std::memory_order_acq_rel);
    if (changes_) changes_->add(weak_from_this());
  }
};

using ABPersonRef = std::shared_ptr<ABPerson>;
