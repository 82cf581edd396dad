#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/conditions/ScannerConditions.h"
#include "app/scanner/conditions/TextRepair.h"
#include "platform/addressbook/ABConstants.h"

namespace ScannerConditions {

namespace {

// Calls visit(property, index, key, label, what, text, emailAddress) for every text the condition
// reads, in the order of the person's values; visit returns false to stop.
template <typename Visit>
void forEachText(const PersonValues& values, Visit&& visit) {
  struct Own {
    const ScanText PersonValues::*field;
    const std::string* property;
    const char* what;
  };
  static const Own own[] = {
      {&PersonValues::title, &kABTitleProperty, "title"},
      {&PersonValues::firstName, &kABFirstNameProperty, "first name"},
      {&PersonValues::middleName, &kABMiddleNameProperty, "middle name"},
      {&PersonValues::lastName, &kABLastNameProperty, "last name"},
      {&PersonValues::suffix, &kABSuffixProperty, "suffix"},
      {&PersonValues::maidenName, &kABMaidenNameProperty, "maiden name"},
      {&PersonValues::firstPhonetic, &kABFirstNamePhoneticProperty, "phonetic first name"},
      {&PersonValues::lastPhonetic, &kABLastNamePhoneticProperty, "phonetic last name"},
      {&PersonValues::nickname, &kABNicknameProperty, "nickname"},
      {&PersonValues::organization, &kABOrganizationProperty, "organisation"},
      {&PersonValues::department, &kABDepartmentProperty, "department"},
      {&PersonValues::jobTitle, &kABJobTitleProperty, "job title"},
      {&PersonValues::note, &kABNoteProperty, "note"},
  };
  static const std::string none;
  for (const Own& field : own)
    if (const ScanText& text = values.*field.field; text)
      if (!visit(*field.property, -1, none, false, field.what, *text, false)) return;
  struct List {
    const PersonCodec::ListView PersonValues::*field;
    const std::string* property;
  };
  static const List lists[] = {{&PersonValues::emails, &kABEmailProperty},
                               {&PersonValues::phones, &kABPhoneProperty},
                               {&PersonValues::addresses, &kABAddressProperty},
                               {&PersonValues::urls, &kABURLsProperty}};
  for (const List& list : lists) {
    int index = 0;
    for (const auto& entry : values.*list.field) {
      if (!visit(*list.property, index, none, true, "label", entry.label, false)) return;
      if (list.property == &kABEmailProperty && entry.isText &&
          !visit(*list.property, index, none, false, "e-mail address", entry.text, true))
        return;
      if (list.property == &kABAddressProperty && !entry.isText) {
        bool go = true;
        entry.dictionary.forEach([&](std::string_view key, std::string_view text) {
          // The box and the extended address are read where the street shows them.
          if (go && key != kABAddressCountryCodeKey && key != kABAddressPOBoxKey && key != kABAddressExtendedKey)
            go = visit(*list.property, index, key, false, "address", text, false);
        });
        if (!go) return;
      }
      ++index;
    }
  }
}

// The address keys as the user reads them.
std::string addressPart(std::string_view key) {
  if (key == kABAddressStreetKey) return "street";
  if (key == kABAddressCityKey) return "city";
  if (key == kABAddressStateKey) return "state";
  if (key == kABAddressZIPKey) return "postal code";
  if (key == kABAddressCountryKey) return "country";
  return std::string(key);
}

}  // namespace

std::vector<TextChange> textRepairs(const PersonValues& values, std::vector<TextChange>* lost) {
  std::vector<TextChange> repairs;
  forEachText(values, [&](const std::string& property, int index, std::string_view key, bool label, const char* what,
                          std::string_view text, bool email) {
    if (!TextRepair::mayBeDamaged(text)) return true;
    TextRepair::Finding found = TextRepair::examine(text, email);
    if (!found) return true;
    TextChange change{{property, index, std::string(key), label},
                      key.empty() ? std::string(what) : addressPart(key),
                      std::string(text),
                      std::move(found.repaired)};
    if (found.damage == TextRepair::Damage::kLostCharacters) {
      if (lost) lost->push_back(std::move(change));
    } else {
      repairs.push_back(std::move(change));
    }
    return true;
  });
  return repairs;
}

bool hasDamagedText(const PersonValues& values) {
  bool damaged = false;
  forEachText(values,
              [&](const std::string&, int, std::string_view, bool, const char*, std::string_view text, bool email) {
                damaged = TextRepair::mayBeDamaged(text) && TextRepair::examine(text, email);
                return !damaged;
              });
  return damaged;
}

std::vector<std::string> keptList(const std::string& key, std::vector<std::string> values) {
  values.insert(values.begin(), key);
  return values;
}

ScanCondition damagedText() {
  return {"Damaged text",
          "DamagedText",
          &ScanAddressBook::findPersonsMeeting<&hasDamagedText>,
          &hasDamagedText,
          ScanCondition::Task::kPersonTest,
          [](const PersonValues& values) {
            std::vector<std::string> texts;
            std::vector<TextChange> lost;
            for (const auto& change : textRepairs(values, &lost)) texts.push_back(change.before);
            for (const auto& change : lost) texts.push_back(change.before);
            return keptList("DamagedText", std::move(texts));
          }};
}

}  // namespace ScannerConditions
