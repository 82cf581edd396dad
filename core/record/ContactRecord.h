#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/addressbook/ABDate.h"

class ABPerson;

// The person reference a record holds under "Person": the record keeps one person for all its
// entries that refer to a person.
struct RecordPerson {
  const std::shared_ptr<ABPerson>* person = nullptr;
  bool operator==(const RecordPerson& other) const { return person->get() == other.person->get(); }
};

// One value of a contact record as seen through the record: text, the birthday date, or the
// reference to the store's person. Text is a view into the record, valid until the record changes.
using RecordValue = std::variant<std::string_view, ABDate, RecordPerson>;

// A record key as a small number: the keys of the record-key table and "Person" have fixed numbers;
// any other key gets the next free number the first time a record holds it.
using RecordKeyId = uint16_t;

// The flat form of one person: column name ("First Name", "Home Email", ...) -> value. Keys are
// present only where the person has a value, and come in the order in which they were first set.
//
// A record is one block: an array of (key number, end of value) pairs followed by the values' bytes
// in the same order, so a record costs 8 bytes per key plus its texts; the person reference is held
// once beside the block.
class ContactRecord {
 public:
  // What iterating a record gives: the key (from the key table, valid for the program's life) and
  // its value.
  struct Entry {
    const std::string& key;
    RecordValue value;
  };

  // The entries in the order their keys were first set; valid until the record changes.
  class Entries {
   public:
    class iterator {
     public:
      using iterator_category = std::forward_iterator_tag;
      using value_type = Entry;
      using difference_type = std::ptrdiff_t;
      using reference = Entry;
      using pointer = void;

      iterator() = default;
      iterator(const ContactRecord* record, uint32_t at) : record_(record), at_(at) {}
      Entry operator*() const { return record_->entryAt(at_); }
      iterator& operator++() {
        ++at_;
        return *this;
      }
      iterator operator++(int) {
        iterator before = *this;
        ++at_;
        return before;
      }
      bool operator==(const iterator& other) const { return at_ == other.at_; }

     private:
      const ContactRecord* record_ = nullptr;
      uint32_t at_ = 0;
    };

    explicit Entries(const ContactRecord& record) : record_(record) {}
    iterator begin() const { return {&record_, 0}; }
    iterator end() const { return {&record_, record_.count_}; }
    size_t size() const { return record_.count_; }
    Entry operator[](size_t i) const { return record_.entryAt(static_cast<uint32_t>(i)); }

   private:
    const ContactRecord& record_;
  };

  ContactRecord() = default;
  ContactRecord(const ContactRecord& other);
  ContactRecord(ContactRecord&& other) noexcept;
  ContactRecord& operator=(const ContactRecord& other);
  ContactRecord& operator=(ContactRecord&& other) noexcept;
  ~ContactRecord();

  // The number of a key; nullopt when no record has ever held it.
  static std::optional<RecordKeyId> idOf(std::string_view key);
  // The number of a key, given one if it has none yet.
  static RecordKeyId keyId(std::string_view key);
  // The key a number stands for.
  static const std::string& keyName(RecordKeyId id);

  std::optional<RecordValue> find(std::string_view key) const;
  std::optional<RecordValue> find(RecordKeyId id) const;
  bool contains(std::string_view key) const { return find(key).has_value(); }

  // The year in which a birthday without a year is kept.
  static constexpr int kYearNotKnown = 1604;

  // How every table, text export and document shows a date: YYYY-MM-DD, or --MM-DD for a
  // birthday without a year.
  static std::string dateText(const ABDate& date) {
    if (date.year != kYearNotKnown) return date.toIsoString();
    return "--" + date.toIsoString().substr(5);
  }
  // A date as a user writes it into a table or card: YYYY-MM-DD (or YYYYMMDD), or --MM-DD (or
  // --MMDD) for a birthday without a year.
  static std::optional<ABDate> dateFromText(std::string_view text) {
    if (text.size() >= 6 && text.substr(0, 2) == "--")
      return ABDate::fromIsoString(std::to_string(kYearNotKnown) + (text.size() == 7 ? "-" : "") +
                                   std::string(text.substr(2)));
    return ABDate::fromIsoString(text);
  }

  // The value as text: strings as they are, a date by dateText(); nullopt when absent or the
  // value is the person reference.
  std::optional<std::string> text(std::string_view key) const;
  std::string textOr(std::string_view key, std::string fallback = {}) const {
    auto value = text(key);
    return value ? *value : std::move(fallback);
  }

  // The person under "Person", or nullptr.
  std::shared_ptr<ABPerson> person() const;

  // Sets the key's value: in place when the key is present, else as the last key. A person
  // reference under any key is the record's one person.
  void set(std::string_view key, const RecordValue& value) { set(keyId(key), value); }
  void set(std::string_view key, std::shared_ptr<ABPerson> person) { set(keyId(key), std::move(person)); }
  void set(RecordKeyId id, const RecordValue& value);
  void set(RecordKeyId id, std::shared_ptr<ABPerson> person);

  bool remove(std::string_view key);

  std::vector<std::string> keys() const;

  Entries entries() const { return Entries(*this); }
  // The key number and the value of the entry at a place in entries() order.
  RecordKeyId keyIdAt(size_t at) const { return slotTable()[at].key; }
  RecordValue valueAt(size_t at) const;
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  // Room for this many keys and bytes of text, so that setting them allocates nothing more.
  void reserve(size_t keys, size_t textBytes = 0);
  // Removes every key, keeping the room.
  void clear();
  // Gives back the room beyond what the record holds (a record built by setting keys one by one).
  void shrinkToFit();

  bool operator==(const ContactRecord& other) const;

 private:
  enum Kind : uint8_t { kText, kDate, kPerson };
  struct Slot {
    uint32_t end;  // where the value's bytes end; they start where the previous slot's end
    RecordKeyId key;
    uint8_t kind;
    uint8_t spare;  // always 0, so that slots compare as bytes
  };

  Slot* slotTable() const { return reinterpret_cast<Slot*>(block_); }
  char* bytes() const { return block_ + slotCapacity_ * sizeof(Slot); }
  uint32_t startOf(uint32_t at) const { return at == 0 ? 0 : slotTable()[at - 1].end; }
  int32_t indexOf(RecordKeyId id) const;
  Entry entryAt(uint32_t at) const { return {keyName(slotTable()[at].key), valueAt(at)}; }
  void grow(size_t keys, size_t textBytes);
  void put(RecordKeyId id, Kind kind, const char* data, size_t length);
  void dropPersonIfUnreferenced();

  char* block_ = nullptr;
  uint32_t count_ = 0;
  uint32_t slotCapacity_ = 0;
  uint32_t textSize_ = 0;
  uint32_t textCapacity_ = 0;
  std::shared_ptr<ABPerson> person_;
};

using ContactRecords = std::vector<ContactRecord>;
