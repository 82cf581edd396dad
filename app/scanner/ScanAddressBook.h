#pragma once

#include <string>
#include <vector>

#include "app/scanner/ScanResult.h"
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

// Runs the conditions over every person of the store. Holds no state between scans; every finder
// reads the store's persons afresh.
class ScanAddressBook {
 public:
  explicit ScanAddressBook(const ABAddressBook& book) : book_(book) {}

  // Runs the finders of the named conditions in list order (unknown names are skipped) and reports
  // to the receiver.
  void scanEntireAddressBook(const std::vector<std::string>& names, ScanReportReceiver& receiver) const;
  // The same, returning the result (empty when nothing was found).
  ScanResult scan(const std::vector<std::string>& names) const;

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

  // An e-mail value is valid when it holds one "@" with a non-empty part before it, a part after it
  // that contains a "." but neither begins nor ends with one nor holds "..", and no white space or
  // any of ( ) , : ; < > [ ] \ ".
  static bool isValidEmail(std::string_view value);
  static bool phoneHasLetter(std::string_view value);
  static bool isSpacesOnly(const std::string& value);

 private:
  struct People {
    std::vector<ABPersonRef> persons;
    std::vector<ABPersonSnapshot> values;
  };
  // The store's persons and their values now, or those a running scan took once for all finders.
  People people() const;

  template <typename Test>
  std::vector<ABPersonRef> select(Test test) const;
  std::vector<ABPersonRef> duplicateValues(const std::string& property) const;

  const ABAddressBook& book_;
  mutable const People* prepared_ = nullptr;
};
