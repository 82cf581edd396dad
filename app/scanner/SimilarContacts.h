#pragma once

#include <string>
#include <vector>

#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanSnapshot.h"
#include "platform/addressbook/ABPerson.h"

// The phone numbers of persons as libphonenumber reads them, each distinct text read once.
struct PhoneReadings {
  // readings[i][j]: the j-th phone entry of person i; an entry that is not read has read == false.
  std::vector<std::vector<PhoneNumbers::Reading>> readings;
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
// left unread, unless `national` asks for it.
PhoneReadings readPhones(const std::vector<PersonValues>& persons, const PhoneNumbers& phones, NationalNumbers national,
                         unsigned threads = 1);
PhoneReadings readPhones(const std::vector<ABPersonSnapshot>& persons, const PhoneNumbers& phones,
                         NationalNumbers national, unsigned threads = 1);
// Every phone entry of one person read.
std::vector<PhoneNumbers::Reading> readPhonesOf(const PersonValues& person, const PhoneNumbers& phones);
std::vector<PhoneNumbers::Reading> readPhonesOf(const ABPersonData& person, const PhoneNumbers& phones);

// A phone entry equal to another entry of the same person once both are read, but written
// differently.
bool holdsNumberWrittenTwice(const PersonValues& person, const std::vector<PhoneNumbers::Reading>& readings);
bool holdsNumberWrittenTwice(const ABPersonData& person, const std::vector<PhoneNumbers::Reading>& readings);
// The entries (indexes) of numbers valid for the region and not written in international form.
std::vector<size_t> nationalNumbers(const PersonValues& person, const std::vector<PhoneNumbers::Reading>& readings);
std::vector<size_t> nationalNumbers(const ABPersonData& person, const std::vector<PhoneNumbers::Reading>& readings);

// The e-mail address as compared: lower case; for gmail.com and googlemail.com (one provider)
// without the dots and the "+tag" of its local part, under gmail.com. Empty when not an address.
std::string emailKey(std::string_view address);

struct Group {
  std::vector<size_t> members;  // indexes into the persons, ascending
  std::string reason;           // why they are linked: "same phone +49 30 1234567; same name apart from case"
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

}  // namespace SimilarContacts
