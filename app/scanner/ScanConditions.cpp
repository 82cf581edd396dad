#include "app/scanner/ScanConditions.h"

#include "app/scanner/ScanAddressBook.h"

const std::vector<ScanCondition>& scanConditions() {
  using S = ScanAddressBook;
  // "ShareEmail" and "SimilarContacts" have findings of their own kind; their finder pointers are unused.
  static const std::vector<ScanCondition> conditions = {
      {"Duplicate contacts", "DuplicateContacts", &S::test},
      {"Incomplete name", "SingleName", &S::scanAllAddressBookOnlyOneName},
      {"Invalid characters", "InvalidChar", &S::findInvalidCharactersInContacts},
      {"Duplicate address", "DupAddress", &S::findDuplicateAddressInOnePerson},
      {"Duplicate phone number", "DupPhone", &S::findDuplicatePhonesInOnePerson},
      {"Duplicate email address", "DupEmail", &S::findDuplicateEmailInOnePerson},
      {"Note with spacing only", "EmptyNotes", &S::findEmptyNotes},
      {"Unusual title", "UnusualTitle", &S::findUnusualTitleInContacts},
      {"Unusual suffix", "UnusualSuffix", &S::findUnusualSuffixInContacts},
      {"Spacing in the first name", "SpaceInFirstName", &S::scanAllAddressBookFirstNameHaveSpace},
      {"Nickname with spacing only", "EmptyNickname", &S::findEmptyNickname},
      {"Blank name", "BlankName", &S::findBlankNameInContacts},
      {"Emails duplicated among multiple contacts", "ShareEmail", nullptr},
      {"Similar contacts", "SimilarContacts", nullptr},
      {"Same phone number written differently", "DupPhoneFormat", &S::findPhonesWrittenDifferently},
      {"Phone number not in international format", "PhoneFormat", &S::findPhonesNotInternational},
  };
  return conditions;
}

const ScanCondition* scanConditionNamed(const std::string& name) {
  for (const auto& condition : scanConditions())
    if (condition.name == name) return &condition;
  return nullptr;
}

std::vector<std::string> allConditionNames() {
  std::vector<std::string> names;
  for (const auto& condition : scanConditions()) names.push_back(condition.name);
  return names;
}
