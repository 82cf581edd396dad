#pragma once

#include <optional>
#include <string>
#include <vector>

#include "app/scanner/ScanResult.h"
#include "app/scanner/ScanSnapshot.h"
#include "app/scanner/SimilarContacts.h"
#include "platform/addressbook/ABPerson.h"

class ABAddressBook;

// Receives what a scan found. The window implements it on its GUI thread; the command line directly.
class ScanReportReceiver {
 public:
  virtual ~ScanReportReceiver() = default;
  // "scanOver": the scan found something; the receiver owns the result.
  virtual void scanOver(ScanResult result) = 0;
  // Nothing was found: an alert with this title and message.
  virtual void scanFoundNothing(const std::string& title, const std::string& message) = 0;
};

// A condition about one person at a time.
using PersonTest = bool (*)(const PersonValues&);

// A shared e-mail value found by a scan, its persons by their index in the snapshot.
struct SharedEmailIndexes {
  size_t searched = 0;
  std::vector<size_t> matches;  // without the searched person, in store order
  std::string label;            // the label of the value on the searched person
  std::string value;
};

// What a scan found, persons given by their index in its snapshot: lists in the order of a
// ScanResult's keys. A command that only reports them needs no person made.
struct ScanFindings {
  struct List {
    std::string key;
    std::vector<size_t> persons;                  // every key but the two below
    std::vector<SharedEmailIndexes> shared;       // "ShareEmail"
    std::vector<SimilarContacts::Group> similar;  // "SimilarContacts"
  };
  std::vector<List> lists;
  std::string region;

  bool empty() const { return lists.empty(); }
  // The same with the snapshot's persons (ScanSnapshot::person), each made once.
  ScanResult resultOf(const ScanSnapshot& snapshot) &&;

 private:
  friend class ScanAddressBook;
  List& listFor(const std::string& key);
};

// The finders as functions of a snapshot of the store: they read nothing else and change nothing.
// Persons are given by their index in the snapshot.
namespace ScanFinders {
// Whether one of the names is a condition's.
bool anyCondition(const std::vector<std::string>& names);
// The persons meeting the test, each once, in store order.
std::vector<size_t> personsMeeting(const ScanSnapshot& snapshot, PersonTest test);
// One pass over the snapshot for several tests at once: entry t lists the persons meeting tests[t].
std::vector<std::vector<size_t>> personsMeetingEach(const ScanSnapshot& snapshot, const std::vector<PersonTest>& tests);
// The same over the persons [begin, end) of `values`, added to found[t].
void addPersonsMeetingEach(const std::vector<PersonValues>& values, size_t begin, size_t end,
                           const std::vector<PersonTest>& tests, std::vector<std::vector<size_t>>& found);
// The tests of the named conditions that are about one person, in list order.
std::vector<PersonTest> personTests(const std::vector<std::string>& names);
// What the tests of personTests(names) found among the first persons of a snapshot, worked out
// beforehand (while the store was read, say).
struct PersonsTested {
  std::vector<std::vector<size_t>> found;  // one list for each test
  size_t upTo = 0;                         // the persons [0, upTo) are tested
};
// One person per duplicate group (the earliest in store order), groups in the grouping's order.
std::vector<size_t> duplicateContacts(const ScanSnapshot& snapshot);
// One finding per e-mail value shared with others, from its earliest person not yet handled.
std::vector<SharedEmailIndexes> sharedEmails(const ScanSnapshot& snapshot);
// The phone numbers of the persons read once for the phone conditions, on up to `threads` threads
// (forNationalForm: enough numbers not in international form are read for
// "Phone number not in international format" too).
PhoneReadings phoneReadings(const ScanSnapshot& snapshot, const PhoneNumbers& phones, bool forNationalForm,
                            unsigned threads = 1);
// Groups of persons that are probably one person (none linked within a set of `distinct` ids), on
// every core when `threads` is more than one.
std::vector<SimilarContacts::Group> similarContacts(const ScanSnapshot& snapshot, const PhoneReadings& readings,
                                                    const PhoneNumbers& phones,
                                                    const std::vector<std::vector<std::string>>& distinct,
                                                    unsigned threads = 1);
// What links persons apart from their numbers (the sets of `distinct` ids and the persons the user
// marked as not the same person kept apart), to be worked out while the numbers are read; then the
// groups from both.
SimilarContacts::LinkFacts similarLinks(const ScanSnapshot& snapshot,
                                        const std::vector<std::vector<std::string>>& distinct, unsigned threads = 1);
std::vector<SimilarContacts::Group> similarContacts(const ScanSnapshot& snapshot, const PhoneReadings& readings,
                                                    const PhoneNumbers& phones,
                                                    const SimilarContacts::LinkFacts& links);
// Persons holding one number written in two ways; persons holding a number not in international form.
std::vector<size_t> phonesWrittenDifferently(const ScanSnapshot& snapshot, const PhoneReadings& readings);
std::vector<size_t> phonesNotInternational(const ScanSnapshot& snapshot, const PhoneReadings& readings);
}  // namespace ScanFinders

// Runs the conditions over every person of the store. Holds no state between scans: a scan takes
// one snapshot of the store for all its conditions, and each finder called alone takes its own.
class ScanAddressBook {
 public:
  explicit ScanAddressBook(const ABAddressBook& book) : book_(book) {}

  // The region phone numbers without a country code belong to ("DE"); empty (the default) reads
  // only numbers written with their country code. The command line and the window pass the
  // region of the user's locale or the one the user chose.
  void setRegion(std::string region) { region_ = std::move(region); }
  const std::string& region() const { return region_; }
  // Sets of unique ids that are not the same person: "Similar contacts" links none of a set to
  // another of it.
  void setDistinctPersons(std::vector<std::vector<std::string>> sets) { distinct_ = std::move(sets); }

  // Runs the finders of the named conditions in list order (unknown names are skipped) and reports
  // to the receiver.
  void scanEntireAddressBook(const std::vector<std::string>& names, ScanReportReceiver& receiver) const;
  // The same, returning the result (empty when nothing was found).
  ScanResult scan(const std::vector<std::string>& names) const;
  // The same over a snapshot taken beforehand (one read from the store's file, say), the persons
  // given by their index in it.
  // `tested`, when given, is what the conditions about one person found beforehand; only the
  // persons after those are tested.
  static ScanFindings scan(const ScanSnapshot& snapshot, const std::vector<std::string>& names,
                           const std::string& region, const std::vector<std::vector<std::string>>& distinct = {},
                           const ScanFinders::PersonsTested* tested = nullptr);

  std::vector<ABPersonRef> test() const;  // duplicate contacts
  std::vector<ABPersonRef> scanAllAddressBookOnlyOneName() const;
  std::vector<ABPersonRef> findInvalidCharactersInContacts() const;
  std::vector<ABPersonRef> findDuplicateAddressInOnePerson() const;
  std::vector<ABPersonRef> findDuplicatePhonesInOnePerson() const;
  std::vector<ABPersonRef> findDuplicateEmailInOnePerson() const;
  std::vector<ABPersonRef> findEmptyNotes() const;
  std::vector<ABPersonRef> findUnusualTitleInContacts() const;
  std::vector<ABPersonRef> findUnusualSuffixInContacts() const;
  std::vector<ABPersonRef> scanAllAddressBookFirstNameHaveSpace() const;
  std::vector<ABPersonRef> findEmptyNickname() const;
  std::vector<ABPersonRef> findBlankNameInContacts() const;
  std::vector<SharedEmailFinding> findDuplicateEmailInContacts() const;
  std::vector<SimilarGroup> findSimilarContacts() const;
  std::vector<ABPersonRef> findPhonesWrittenDifferently() const;
  std::vector<ABPersonRef> findPhonesNotInternational() const;
  std::vector<ABPersonRef> findUnlikelyDates() const;
  std::vector<ABPersonRef> findGroupsWrittenDifferently() const;
  std::vector<ABPersonRef> findEmptyGroups() const;
  std::vector<ABPersonRef> findSharedPhotos() const;
  // The persons meeting a test, in store order: the finder of a condition about one person.
  std::vector<ABPersonRef> findPersonsMeeting(PersonTest test) const;
  template <PersonTest test>
  std::vector<ABPersonRef> findPersonsMeeting() const {
    return findPersonsMeeting(test);
  }

  // An e-mail value is valid when it holds one "@" with a non-empty part before it, a part after it
  // that contains a "." but neither begins nor ends with one nor holds "..", and no white space or
  // any of ( ) , : ; < > [ ] \ ".
  static bool isValidEmail(std::string_view value);
  static bool phoneHasLetter(std::string_view value);
  static bool isSpacesOnly(std::string_view value);

  // What each condition tests on one person, on the values a scan reads. The finders list the
  // persons that meet them; a fix tests them again on the person as the store holds it before it
  // acts (the overloads below, on a person's values).
  static bool hasIncompleteName(const PersonValues& values);
  static bool hasSpaceInFirstName(const PersonValues& values);
  static bool hasBlankName(const PersonValues& values);
  static bool hasUnusualTitle(const PersonValues& values);
  static bool hasUnusualSuffix(const PersonValues& values);
  static bool hasInvalidCharacters(const PersonValues& values);
  static bool hasRepeatedEmail(const PersonValues& values);
  static bool hasRepeatedPhone(const PersonValues& values);
  static bool hasRepeatedAddress(const PersonValues& values);
  static bool hasBlankNote(const PersonValues& values);
  static bool hasBlankNickname(const PersonValues& values);
  static std::optional<std::string> duplicateGroupKey(const PersonValues& values);

  static bool hasIncompleteName(const ABPersonData& data);
  static bool hasSpaceInFirstName(const ABPersonData& data);
  static bool hasBlankName(const ABPersonData& data);
  static bool hasUnusualTitle(const ABPersonData& data);
  static bool hasUnusualSuffix(const ABPersonData& data);
  static bool hasInvalidCharacters(const ABPersonData& data);
  static bool hasRepeatedValue(const ABPersonData& data, const std::string& property);
  static bool hasBlankNote(const ABPersonData& data);
  static bool hasBlankNickname(const ABPersonData& data);
  // The test of a condition that is about one person, by its key; false for "DuplicateContacts" and
  // "ShareEmail", which are about several.
  static bool personMeetsCondition(const std::string& conditionKey, const ABPersonData& data);

  // The phone conditions on one person, every number read for the region of `phones`.
  static bool hasPhoneWrittenTwice(const ABPersonData& data, const PhoneNumbers& phones);
  static bool hasNationalPhone(const ABPersonData& data, const PhoneNumbers& phones);
  // The texts of the person's phone entries at these indexes.
  static std::vector<std::string> phoneTexts(const ABPersonData& data, const std::vector<size_t>& indexes);
  static std::vector<std::string> phoneTexts(const PersonValues& values, const std::vector<size_t>& indexes);
  // Whether the user kept every one of these numbers not in international form (entry indexes) as
  // it is written: a number written otherwise, or a new one, is not kept.
  static bool nationalPhonesKept(const ABPersonData& data, const std::vector<size_t>& national,
                                 const ABMarkCover& kept);
  static bool nationalPhonesKept(const PersonValues& values, const std::vector<size_t>& national,
                                 const ABMarkCover& kept);

  // The duplicate group a person belongs to. A person with a first or last name groups by name key
  // (first name immediately followed by last name, a missing part written as (null)). A person with
  // neither (or only empty ones) groups only with persons that have neither either and hold exactly
  // the same organisation name; with no organisation name either, the person is in no group.
  // Name keys and organisation names never meet: each kind has its own first character.
  static std::optional<std::string> duplicateGroupKey(const ABPersonData& data);
  // The members of the person's duplicate group in store order, found afresh in the store (the
  // person itself among them); empty when the person is in no group or no longer in the store.
  static std::vector<ABPersonRef> duplicateGroupOf(const ABAddressBook& book, const ABPerson& person);

  // Whether the person holds the e-mail value under any label.
  static bool holdsEmail(const ABPersonData& data, const std::string& value);
  // The value that a shared-email finding is about: the person's first e-mail value under the label
  // that one of the others holds too; empty when there is none.
  static std::string sharedEmailValue(const ABPersonData& data, const std::string& label,
                                      const std::vector<ABPersonRef>& others);

 private:
  const ABAddressBook& book_;
  std::string region_;
  std::vector<std::vector<std::string>> distinct_;
};
