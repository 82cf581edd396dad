#include "app/scanner/ScanConditions.h"

#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/conditions/ScannerConditions.h"

const std::vector<ScanCondition>& scanConditions() {
  using S = ScanAddressBook;
  using T = ScanCondition::Task;
  // "ShareEmail" and "SimilarContacts" have findings of their own kind (findDuplicateEmailInContacts,
  // findSimilarContacts); their finder pointers are unused. The phone conditions read every number
  // with libphonenumber first, so they are no test on a person's values alone.
  static const std::vector<ScanCondition> conditions = {
      {"Duplicate contacts", "DuplicateContacts", &S::test, nullptr, T::kDuplicateGroups},
      {"Incomplete name", "SingleName", &S::scanAllAddressBookOnlyOneName, &S::hasIncompleteName},
      {"Invalid characters", "InvalidChar", &S::findInvalidCharactersInContacts, &S::hasInvalidCharacters},
      {"Duplicate address", "DupAddress", &S::findDuplicateAddressInOnePerson, &S::hasRepeatedAddress},
      {"Duplicate phone number", "DupPhone", &S::findDuplicatePhonesInOnePerson, &S::hasRepeatedPhone},
      {"Duplicate email address", "DupEmail", &S::findDuplicateEmailInOnePerson, &S::hasRepeatedEmail},
      {"Note with spacing only", "EmptyNotes", &S::findEmptyNotes, &S::hasBlankNote},
      {"Unusual title", "UnusualTitle", &S::findUnusualTitleInContacts, &S::hasUnusualTitle},
      {"Unusual suffix", "UnusualSuffix", &S::findUnusualSuffixInContacts, &S::hasUnusualSuffix},
      {"Spacing in the first name", "SpaceInFirstName", &S::scanAllAddressBookFirstNameHaveSpace,
       &S::hasSpaceInFirstName},
      {"Nickname with spacing only", "EmptyNickname", &S::findEmptyNickname, &S::hasBlankNickname},
      {"Blank name", "BlankName", &S::findBlankNameInContacts, &S::hasBlankName},
      {"Emails duplicated among multiple contacts", "ShareEmail", nullptr, nullptr, T::kSharedEmails},
      {"Similar contacts", "SimilarContacts", nullptr, nullptr, T::kSimilarGroups},
      {"Same phone number written differently", "DupPhoneFormat", &S::findPhonesWrittenDifferently, nullptr,
       T::kPhonesWrittenTwice},
      {"Phone number not in international format", "PhoneFormat", &S::findPhonesNotInternational, nullptr,
       T::kPhonesNotInternational},
      // Each of these is a file of app/scanner/conditions/.
      ScannerConditions::damagedText(),
      ScannerConditions::nameCase(),
      ScannerConditions::unlikelyDate(),
      ScannerConditions::unreachable(),
      ScannerConditions::groupWrittenDifferently(),
      ScannerConditions::emptyGroup(),
      ScannerConditions::largePhoto(),
      ScannerConditions::sharedPhoto(),
  };
  return conditions;
}

const ScanCondition* scanConditionNamed(const std::string& name) {
  for (const auto& condition : scanConditions())
    if (condition.name == name) return &condition;
  return nullptr;
}

const ScanCondition* scanConditionKeyed(const std::string& key) {
  for (const auto& condition : scanConditions())
    if (condition.key == key) return &condition;
  return nullptr;
}

std::vector<std::string> allConditionNames() {
  std::vector<std::string> names;
  for (const auto& condition : scanConditions()) names.push_back(condition.name);
  return names;
}
