#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanSnapshot.h"
#include "platform/addressbook/ABPerson.h"

// The phone numbers of persons as libphonenumber reads them, each distinct text read once and
// kept once: every entry refers to the reading of its text.
class PhoneReadings {
 public:
  using Reading = PhoneNumbers::Reading;

  // The readings of one person's phone entries, in entry order; an entry that is not read has
  // read == false. Also a view of readings kept in a vector.
  class Of {
   public:
    Of() = default;
    Of(const std::vector<Reading>& readings) : readings_(readings.data()), size_(readings.size()) {}  // NOLINT
    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    const Reading& operator[](size_t j) const {
      if (!slots_) return readings_[j];
      return slots_[j] == kUnread ? unread() : readings_[slots_[j]];
    }
    class Iterator {
     public:
      const Reading& operator*() const { return (*of_)[at_]; }
      Iterator& operator++() {
        ++at_;
        return *this;
      }
      bool operator==(const Iterator& other) const { return at_ == other.at_; }

     private:
      friend class Of;
      Iterator(const Of* of, size_t at) : of_(of), at_(at) {}
      const Of* of_;
      size_t at_;
    };
    Iterator begin() const { return Iterator(this, 0); }
    Iterator end() const { return Iterator(this, size_); }

   private:
    friend class PhoneReadings;
    Of(const Reading* readings, const std::uint32_t* slots, size_t size)
        : readings_(readings), slots_(slots), size_(size) {}
    const Reading* readings_ = nullptr;
    const std::uint32_t* slots_ = nullptr;  // the reading of each entry; none: readings_ are the entries'
    size_t size_ = 0;
  };

  // The number of persons.
  size_t size() const { return firstEntry_.size() - 1; }
  // The readings of person i's entries; none for a person beyond the last.
  Of of(size_t i) const {
    if (i >= size()) return Of();
    return Of(readings_.data(), slotOfEntry_.data() + firstEntry_[i], firstEntry_[i + 1] - firstEntry_[i]);
  }
  // Every reading kept: each distinct text's once (or each entry's, when appended).
  const std::vector<Reading>& readings() const { return readings_; }
  // One more person, with the readings of its entries.
  void append(const std::vector<Reading>& readings);

  // An entry whose text is not read.
  static constexpr std::uint32_t kUnread = static_cast<std::uint32_t>(-1);
  PhoneReadings() = default;
  // The readings of distinct texts, the reading of every entry (kUnread for none) and where each
  // person's entries start, with the end after the last.
  PhoneReadings(std::vector<Reading> readings, std::vector<std::uint32_t> slotOfEntry,
                std::vector<std::uint32_t> firstEntry)
      : readings_(std::move(readings)), slotOfEntry_(std::move(slotOfEntry)), firstEntry_(std::move(firstEntry)) {}

 private:
  static const Reading& unread();
  std::vector<Reading> readings_;             // each text read, once
  std::vector<std::uint32_t> slotOfEntry_;    // the entries of every person, one after the other
  std::vector<std::uint32_t> firstEntry_{0};  // where each person's entries start, and the end
};

// The rules that find probably one person in several contacts, and the phone number conditions.
namespace SimilarContacts {

// A value held by more persons than this (a switchboard number, a shared office address) links nobody.
inline constexpr size_t kMostHolders = 10;

// Which numbers not written in international form readPhones reads besides those that could equal
// another number.
enum class NationalNumbers {
  kNoneMore,       // no more
  kEvery,          // every one (what "Phone number not in international format" needs to name them)
  kUntilOneValid,  // a person's, in entry order, until one is valid (whether the condition lists them)
};

// Reads the phone numbers of the persons, on every core when `threads` is more than one. Every number that could equal
// another one is read: a number whose last seven digits no other number of the persons ends with
// (and that holds ten digits or more, so its national part has seven or more) equals none and is
// left unread, unless `national` asks for it; so is one whose last seven digits only the same text
// of the same person ends with.
PhoneReadings readPhones(const std::vector<PersonValues>& persons, const PhoneNumbers& phones, NationalNumbers national,
                         unsigned threads = 1);
PhoneReadings readPhones(const std::vector<ABPersonSnapshot>& persons, const PhoneNumbers& phones,
                         NationalNumbers national, unsigned threads = 1);
// Every phone entry of one person read.
std::vector<PhoneNumbers::Reading> readPhonesOf(const PersonValues& person, const PhoneNumbers& phones);
std::vector<PhoneNumbers::Reading> readPhonesOf(const ABPersonData& person, const PhoneNumbers& phones);

// A phone entry equal to another entry of the same person once both are read, but written
// differently.
bool holdsNumberWrittenTwice(const PersonValues& person, PhoneReadings::Of readings);
bool holdsNumberWrittenTwice(const ABPersonData& person, PhoneReadings::Of readings);
// The entries (indexes) of numbers valid for the region and not written in international form.
std::vector<size_t> nationalNumbers(const PersonValues& person, PhoneReadings::Of readings);
std::vector<size_t> nationalNumbers(const ABPersonData& person, PhoneReadings::Of readings);

// The e-mail address as compared: lower case; for gmail.com and googlemail.com (one provider)
// without the dots and the "+tag" of its local part, under gmail.com. Empty when not an address.
std::string emailKey(std::string_view address);
// The same written into `key` (what it held is replaced); false when it is empty.
bool emailKeyInto(std::string_view address, std::string& key);

struct Group {
  std::vector<size_t> members;  // indexes into the persons, ascending
  std::string reason;           // why they are linked: "same phone +49 30 1234567; same name apart from case"
};

// What links persons apart from their phone numbers, worked out from their values alone (so it
// can be while the numbers are read): each person's folded name, organisation, e-mail keys and
// the distinct sets it is in, and the holders of each e-mail key and name. On every core when
// `threads` is more than one. Valid while the persons' values are.
class LinkFacts {
 public:
  LinkFacts(const std::vector<PersonValues>& persons, const std::vector<std::vector<std::string>>& distinct,
            unsigned threads = 1);
  ~LinkFacts();
  LinkFacts(LinkFacts&&) noexcept;
  LinkFacts& operator=(LinkFacts&&) noexcept;

  struct Data;
  const Data& data() const { return *data_; }

 private:
  std::unique_ptr<Data> data_;
};

// Groups of persons that are probably one person (see the rules in SimilarContacts.cpp). `distinct`
// are sets of unique ids the user said are not the same person: none of a set is linked to another
// of it. Groups in the order of their first member. What each person holds is gathered on every
// core when `threads` is more than one.
std::vector<Group> findGroups(const std::vector<PersonValues>& persons, const PhoneReadings& phones,
                              const PhoneNumbers& numbers, const std::vector<std::vector<std::string>>& distinct,
                              size_t mostHolders = kMostHolders, unsigned threads = 1);
std::vector<Group> findGroups(const std::vector<ABPersonSnapshot>& persons, const PhoneReadings& phones,
                              const PhoneNumbers& numbers, const std::vector<std::vector<std::string>>& distinct,
                              size_t mostHolders = kMostHolders, unsigned threads = 1);
// The same with the links worked out beforehand (of the same persons and sets).
std::vector<Group> findGroups(const std::vector<PersonValues>& persons, const PhoneReadings& phones,
                              const PhoneNumbers& numbers, const LinkFacts& links, size_t mostHolders = kMostHolders);

}  // namespace SimilarContacts
