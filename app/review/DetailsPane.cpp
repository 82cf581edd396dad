#include "app/review/DetailsPane.h"

#include <algorithm>
#include <array>

#include "app/review/PersonNames.h"
#include "app/review/PhoneFixes.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABMarks.h"

namespace {

enum Slot { kHome, kWork, kOther, kCustom, kSlotCount };

Slot slotOfLabel(const std::string& label) {
  if (label == kABHomeLabel) return kHome;
  if (label == kABWorkLabel) return kWork;
  if (label == kABOtherLabel) return kOther;
  return kCustom;
}

std::array<std::optional<std::string>, kSlotCount> emailSlots(const ABPersonData& data) {
  std::array<std::optional<std::string>, kSlotCount> slots;
  if (const ABMultiValue* emails = data.multiValue(kABEmailProperty))
    for (size_t i = 0; i < emails->count(); ++i) slots[slotOfLabel(emails->labelAtIndex(i))] = emails->stringAtIndex(i);
  return slots;
}

}  // namespace

std::string EmailSlots::emailLine(const ABPerson& person) {
  for (const auto& slot : emailSlots(*person.snapshot()))
    if (slot) return *slot;
  return {};
}

std::string EmailSlots::sharedAddress(const PersonItem& row) {
  if (!row.duplicateEmail().empty()) return row.duplicateEmail();
  return ScanAddressBook::sharedEmailValue(*row.person()->snapshot(), row.duplicateEmailType(),
                                           row.duplicateEmailArray());
}

std::string EmailSlots::shareEmailProblemText(const PersonItem& row) {
  std::string text = " This contact has the same email address (\"" + sharedAddress(row) + "\") as ";
  const auto& others = row.duplicateEmailArray();
  for (size_t i = 0; i < others.size(); ++i) {
    std::string name = PersonNames::displayName(*others[i]);
    if (name.empty()) continue;
    text += name;
    if (i + 1 < others.size()) text += ",";
  }
  return text;
}

namespace {

std::string quoted(const std::string& text) {
  return "\xE2\x80\x9C" + text + "\xE2\x80\x9D";
}

}  // namespace

std::string PhoneProblems::similarContactsText(const PersonItem& row) {
  std::string names;
  const auto& others = row.duplicateEmailArray();
  for (size_t i = 0; i < others.size(); ++i) {
    if (i > 0) names += i + 1 == others.size() ? " and " : ", ";
    names += PersonNames::rowName(*others[i]);
  }
  return "This contact is probably the same person as " + names + " (" + row.reason() +
         "). Merging keeps every value: where single values differ, the others go into the note.";
}

std::string PhoneProblems::writtenDifferentlyText(const ABPerson& person, const std::string& region) {
  std::string list;
  for (const auto& [removed, kept] : PhoneFixes::withoutNumbersWrittenTwice(person, region).changes) {
    if (!list.empty()) list += ", ";
    list += quoted(removed) + " is " + quoted(kept);
  }
  return "This contact holds the same phone number written differently: " + list + ".";
}

std::string PhoneProblems::notInternationalText(const ABPerson& person, const std::string& region,
                                                const std::vector<std::string>& kept) {
  std::string list;
  for (const auto& [before, after] : PhoneFixes::inInternationalForm(person, region, false, kept).changes) {
    if (!list.empty()) list += ", ";
    list += quoted(before) + " (" + after + ")";
  }
  std::string keptList;
  for (const auto& number : PhoneFixes::numbersNotInternational(person, region)) {
    if (std::find(kept.begin(), kept.end(), number) == kept.end()) continue;
    if (!keptList.empty()) keptList += ", ";
    keptList += quoted(number);
  }
  return "This contact has phone numbers without their country code: " + list +
         ". Written in international format they can be called from any country and matched on every device." +
         (keptList.empty() ? "" : " Kept as they are written: " + keptList + ".");
}

std::optional<DetailsPane> updateUI(const ReviewOutline& outline, const ABAddressBook* book) {
  PersonItem* row = outline.selectedItem();
  const auto* category = outline.selectedCategory();
  if (!row || !category) return std::nullopt;
  DetailsPane pane;
  pane.name = row->name();
  pane.picture = row->person()->imageData();
  pane.emailLine = EmailSlots::emailLine(*row->person());
  pane.problemText = category->details ? category->details({outline, *row, *category, book}) : category->problemText;
  pane.matrix = category->matrix;
  pane.matrixX = category->matrixX;
  pane.matrixY = category->matrixY;
  pane.selectedOption = outline.selectedOption();
  return pane;
}
