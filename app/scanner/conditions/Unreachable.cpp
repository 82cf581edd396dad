#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/conditions/ScannerConditions.h"

namespace ScannerConditions {

bool isUnreachable(const PersonValues& values) {
  return values.emails.count() == 0 && values.phones.count() == 0 && values.addresses.count() == 0 &&
         values.urls.count() == 0 && values.instantMessages.count() == 0 && values.socialProfiles.count() == 0 &&
         !values.note;
}

ScanCondition unreachable() {
  // A mark keeps the contact while it holds the same name: the condition is about the whole contact.
  return {"Contact that cannot be reached",
          "Unreachable",
          &ScanAddressBook::findPersonsMeeting<&isUnreachable>,
          &isUnreachable,
          ScanCondition::Task::kPersonTest,
          [](const PersonValues&) { return keptList("Unreachable", {}); }};
}

}  // namespace ScannerConditions
