#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/conditions/NameCase.h"
#include "app/scanner/conditions/ScannerConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace ScannerConditions {

namespace {

struct Name {
  const ScanText PersonValues::*field;
  const std::string* property;
  const char* what;
  NameCase::Part part;
};

const Name kNames[] = {
    {&PersonValues::firstName, &kABFirstNameProperty, "first name", NameCase::Part::kFirst},
    {&PersonValues::middleName, &kABMiddleNameProperty, "middle name", NameCase::Part::kMiddle},
    {&PersonValues::lastName, &kABLastNameProperty, "last name", NameCase::Part::kLast},
    {&PersonValues::organization, &kABOrganizationProperty, "organisation", NameCase::Part::kOrganization},
};

}  // namespace

std::vector<TextChange> nameRewrites(const PersonValues& values) {
  std::vector<TextChange> rewrites;
  for (const Name& name : kNames) {
    const ScanText& text = values.*name.field;
    if (!text) continue;
    if (auto written = NameCase::asName(*text, name.part))
      rewrites.push_back({{*name.property, -1, {}, false}, name.what, std::string(*text), std::move(*written)});
  }
  return rewrites;
}

bool hasNameInOneCase(const PersonValues& values) {
  for (const Name& name : kNames) {
    const ScanText& text = values.*name.field;
    if (text && NameCase::mayNeedIt(*text) && NameCase::asName(*text, name.part)) return true;
  }
  return false;
}

ScanCondition nameCase() {
  return {"Name in capitals or small letters",
          "NameCase",
          &ScanAddressBook::findPersonsMeeting<&hasNameInOneCase>,
          &hasNameInOneCase,
          ScanCondition::Task::kPersonTest,
          [](const PersonValues& values) {
            std::vector<std::string> texts;
            for (const auto& change : nameRewrites(values)) texts.push_back(change.before);
            return keptList("NameCase", std::move(texts));
          }};
}

}  // namespace ScannerConditions
