#pragma once

#include <string>
#include <vector>

#include "platform/addressbook/ABPerson.h"

class ScanAddressBook;
struct PersonValues;

// The conditions in the preferences' order, which is also a scan's default order.
struct ScanCondition {
  std::string name;                                             // shown in the preferences, passed to the scanner
  std::string key;                                              // the key of its list in the scan result
  std::vector<ABPersonRef> (ScanAddressBook::*finder)() const;  // the finder run alone
  // The test on one person's values; nullptr for the conditions about several persons
  // ("DuplicateContacts", "ShareEmail").
  bool (*meets)(const PersonValues&);
};

const std::vector<ScanCondition>& scanConditions();
const ScanCondition* scanConditionNamed(const std::string& name);
std::vector<std::string> allConditionNames();

inline const std::string kNothingFoundTitle = "Notes";
inline const std::string kNothingFoundMessage = "Scan completed, no contact matches the condition!";
