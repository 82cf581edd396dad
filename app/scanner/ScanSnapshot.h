#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/addressbook/ABMarks.h"
#include "platform/addressbook/ABPerson.h"

class ABAddressBook;

// The values of one person that the conditions read, found in one walk over the person's values and
// viewed where they are: the pointers lead into the person's immutable snapshot, nothing is copied.
// A condition that needs another value adds a field here and its property to of().
struct PersonValues {
  const std::string* firstName = nullptr;
  const std::string* lastName = nullptr;
  const std::string* title = nullptr;
  const std::string* suffix = nullptr;
  const std::string* note = nullptr;
  const std::string* nickname = nullptr;
  const std::string* organization = nullptr;
  std::int64_t flags = 0;  // a missing value reads as 0
  const ABMultiValue* emails = nullptr;
  const ABMultiValue* phones = nullptr;
  const ABMultiValue* addresses = nullptr;

  // Valid while data lives.
  static PersonValues of(const ABPersonData& data);
  // The multi-value of one of the three listed properties (e-mail, phone, address), else nullptr.
  const ABMultiValue* list(const std::string& property) const;
};

// Every person of the store and the values the conditions read, taken once for a whole scan, with
// the marks of the user that the conditions honour. The persons' snapshots are shared, not copied,
// and kept alive as long as this lives.
struct ScanSnapshot {
  std::vector<ABPersonRef> persons;
  std::vector<ABPersonSnapshot> data;
  std::vector<PersonValues> values;  // values[i] views data[i]
  ABMarkCover notSamePerson;         // "Not the same person"
  ABMarkCover keptPhoneFormat;       // numbers kept as they are written

  static ScanSnapshot of(const ABAddressBook& book);
  size_t size() const { return persons.size(); }
};
