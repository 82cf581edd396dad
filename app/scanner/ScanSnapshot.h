#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABMarks.h"
#include "platform/addressbook/ABPerson.h"
#include "platform/addressbook/PersonCodec.h"

// A text the conditions read, viewed where it is kept. Absent when the person holds no such text;
// an empty text is present.
class ScanText {
 public:
  ScanText() = default;
  explicit ScanText(std::string_view text) : text_(text.data() ? text : std::string_view("", 0)) {}
  explicit operator bool() const { return text_.data() != nullptr; }
  std::string_view operator*() const { return text_; }
  const std::string_view* operator->() const { return &text_; }

 private:
  std::string_view text_;
};

// The values of one person that the conditions read, found in one walk over the person's encoded
// values and viewed where they are: nothing is copied, the views lead into the encoding.
// A condition that needs another value adds a field here and its property to read().
struct PersonValues {
  ScanText uid;
  ScanText firstName;
  ScanText middleName;
  ScanText lastName;
  ScanText maidenName;
  ScanText firstPhonetic;
  ScanText lastPhonetic;
  ScanText title;
  ScanText suffix;
  ScanText note;
  ScanText nickname;
  ScanText organization;
  ScanText department;
  ScanText jobTitle;
  std::int64_t flags = 0;  // a missing value reads as 0
  std::optional<ABDate> birthday;
  PersonCodec::ListView emails;  // empty when the person holds none
  PersonCodec::ListView phones;
  PersonCodec::ListView addresses;
  PersonCodec::ListView urls;
  PersonCodec::ListView instantMessages;
  PersonCodec::ListView socialProfiles;
  PersonCodec::ListView categories;  // the groups the person is in by name
  ScanText photo;                    // the bytes of the person's picture, as stored
  // A group card (kABKindProperty): its name and members. A snapshot keeps group cards apart from
  // the persons (ScanSnapshot::groups), so that no condition on persons meets one.
  ScanText kind;
  ScanText groupName;
  PersonCodec::ListView members;
  bool isGroupCard() const;

  // The values of an encoding (PersonCodec); valid while its bytes are. The unique id is the
  // encoding's own unless `uid` is given (the store keeps it beside the encoding). nullopt when the
  // bytes are not a well-formed encoding.
  static std::optional<PersonValues> read(std::string_view encoded, std::string_view uid = {});
  // The list value of one of the three listed properties (e-mail, phone, address), else an empty one.
  const PersonCodec::ListView& list(const std::string& property) const;
};

// The values of one person held in memory, encoded once so that they are read as the store's are.
class PersonValuesOf {
 public:
  explicit PersonValuesOf(const ABPersonData& data);
  PersonValuesOf(const PersonValuesOf&) = delete;
  PersonValuesOf& operator=(const PersonValuesOf&) = delete;
  const PersonValues& operator*() const { return values_; }
  const PersonValues* operator->() const { return &values_; }

 private:
  std::string encoded_;
  PersonValues values_;
};

// Every person of the store and the values the conditions read, taken once for a whole scan, with
// the marks of the user that the conditions honour. The values are read from the persons' encodings,
// kept in a few large buffers: a snapshot of a book encodes its persons once; one read from the
// store's file keeps the stored encodings as they are and holds no person until one is asked for.
class ScanSnapshot {
 public:
  // The persons; group cards are never among them.
  std::vector<PersonValues> values;
  // The group cards, in store order.
  std::vector<PersonValues> groups;
  ABMarkCover notSamePerson;    // "Not the same person"
  ABMarkCover keptPhoneFormat;  // numbers kept as they are written
  ABMarkCover keptAsItIs;       // findings of the other conditions kept as they are

  // Every person of the book, in its order, and its marks.
  static ScanSnapshot of(const ABAddressBook& book);
  // These persons alone, without marks.
  static ScanSnapshot of(const std::vector<ABPersonSnapshot>& persons);
  // Called for each batch of persons, in store order, as soon as their values are found
  // (values[begin, end)), while the next batches of the store are still read; on another thread.
  // Batches found once the whole store is read are not given: that thread is then the one that
  // holds up the scan.
  using BatchRead = std::function<void(const std::vector<PersonValues>& values, size_t begin, size_t end)>;
  // Every person of the store at path, in store order, read once without opening the store (all
  // from one state of the file, its marks too). nullopt and *error when there is no store there,
  // it cannot be read, or a record is damaged.
  static std::optional<ScanSnapshot> read(const std::filesystem::path& path, std::string* error,
                                          const BatchRead& batchRead = {});

  size_t size() const { return values.size(); }
  // Persons and group cards: index i < size() is values[i], any other groups[i - size()]. A
  // condition about groups lists group cards by these indexes.
  size_t records() const { return values.size() + groups.size(); }
  const PersonValues& record(size_t i) const { return i < values.size() ? values[i] : groups[i - values.size()]; }
  // The person at index i (of records()): the book's own person for a snapshot of a book; for a snapshot read from
  // the store, a free person made of its stored values (a new one at each call). Not for a snapshot
  // of values alone (nullptr).
  ABPersonRef person(size_t i) const;
  // Keeps only the persons in the group of this name (by their categories or a group card of the
  // name) and the group cards of the name. False when no person or card is in such a group.
  bool keepGroup(const std::string& name);
  // The group card at index i of groups, as person() gives a person.
  ABPersonRef groupCard(size_t i) const;

 private:
  std::vector<ABPersonRef> persons_;                                    // of a book
  std::vector<std::unique_ptr<std::string>> encodings_;                 // a book's persons encoded
  std::vector<std::shared_ptr<const ABStoredBatch>> stored_;            // read from the store, as read
  std::vector<std::pair<const ABStoredBatch*, size_t>> encoded_;        // each stored person's batch and row
  std::vector<ABPersonRef> groupCards_;                                 // of a book
  std::vector<std::pair<const ABStoredBatch*, size_t>> encodedGroups_;  // read from the store
  // Moves the group cards of values (and of persons_) into groups.
  void setGroupsApart();
};
