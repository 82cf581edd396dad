#include "app/review/DetailsPane.h"

#include <array>

#include "app/review/PersonNames.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABConstants.h"

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

std::string replacePlaceholder(std::string format, const std::string& value) {
  auto at = format.find("%@");
  if (at != std::string::npos) format.replace(at, 2, value);
  return format;
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

std::optional<DetailsPane> updateUI(const ReviewOutline& outline) {
  PersonItem* row = outline.selectedItem();
  const auto* category = outline.selectedCategory();
  if (!row || !category) return std::nullopt;
  DetailsPane pane;
  pane.name = row->name();
  pane.picture = row->person()->imageData();
  pane.emailLine = EmailSlots::emailLine(*row->person());
  if (category->title == ReviewCategories::kShareEmail) {
    pane.problemText = EmailSlots::shareEmailProblemText(*row);
  } else if (category->title == ReviewCategories::kUnusualSuffix) {
    pane.problemText = replacePlaceholder(category->problemText,
                                          row->person()->stringForProperty(kABSuffixProperty).value_or("(null)"));
  } else if (category->title == ReviewCategories::kUnusualTitle) {
    pane.problemText = replacePlaceholder(category->problemText,
                                          row->person()->stringForProperty(kABTitleProperty).value_or("(null)"));
  } else {
    pane.problemText = category->problemText;
  }
  pane.matrix = category->matrix;
  pane.matrixX = category->matrixX;
  pane.matrixY = category->matrixY;
  pane.selectedOption = outline.selectedOption();
  return pane;
}
