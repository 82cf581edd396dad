#include "app/review/FixActions.h"
#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABMarks.h"

using namespace ReviewConditions;

namespace ReviewConditions {

FixOption deleteThisContact() {
  return {ReviewCategories::Option::kDeleteContact,
          [](FixActions& actions, PersonItem* row) { actions.deleteThisContact(row); },
          [](FixPreview& preview, const RowOf& of) {
            preview.texts.push_back(
                PreviewParts::text("the contact selected will be deleted:", 14, 152, 310, PreviewText::Colour::Red));
            PreviewParts::fieldList(preview, *of.row.person());
          }};
}

FixOption editInContacts(void (*preview)(FixPreview& preview, const RowOf& of)) {
  return {ReviewCategories::Option::kEditInContacts,
          [](FixActions& actions, PersonItem* row) { actions.editInContacts(row); }, preview};
}

void notSamePersonPreview(FixPreview& preview, const RowOf&) {
  previewLine(preview, "No contact will be changed.", 138, 450);
  previewLine(preview, "These contacts are different people; a scan will not list them together", 118, 450);
  previewLine(preview, "again (Edit > Undo takes it back).", 98, 450);
}

std::string problemWith(const RowOf& of, const std::string& property) {
  std::string text = of.category.problemText;
  auto at = text.find("%@");
  if (at != std::string::npos) text.replace(at, 2, of.row.person()->stringForProperty(property).value_or("(null)"));
  return text;
}

namespace {

// Writes one change into the person; false when its place no longer holds the text before it.
bool applyChange(ABPerson& person, const ScannerConditions::TextChange& change) {
  const auto& place = change.place;
  if (place.index < 0) {
    if (person.stringForProperty(place.property) != change.before) return false;
    return person.setValueForProperty(change.after, place.property);
  }
  auto list = person.multiValueForProperty(place.property);
  const auto index = static_cast<size_t>(place.index);
  if (!list || index >= list->count()) return false;
  if (place.label) {
    if (list->labelAtIndex(index) != change.before) return false;
    list->replaceLabelAtIndex(index, change.after);
  } else if (!place.key.empty()) {
    ABDictionary dictionary = list->dictionaryAtIndex(index);
    const std::string* value = dictionary.find(place.key);
    if (!value || *value != change.before) return false;
    dictionary.set(place.key, change.after);
    list->replaceValueAtIndex(index, dictionary);
  } else {
    if (list->stringAtIndex(index) != change.before) return false;
    list->replaceValueAtIndex(index, change.after);
  }
  return person.setValueForProperty(*list, place.property);
}

}  // namespace

std::string quoted(const std::string& text) {
  return "\xE2\x80\x9C" + text + "\xE2\x80\x9D";
}

void changeTexts(FixActions& actions, PersonItem* row, const std::vector<ScannerConditions::TextChange>& changes,
                 const std::string& description) {
  if (changes.empty()) return;
  PersonItem* father = row->parentNode();
  const ABPersonRef& person = actions.person();
  for (const auto& change : changes) {
    if (!applyChange(*person, change)) {
      actions.book().revert();
      actions.fail("the " + change.what + " of " + FixActions::who(*person) + " could not be changed");
      return;
    }
  }
  std::string error;
  if (!actions.book().addRecord(person, &error)) {
    actions.book().revert();
    actions.fail(error);
    return;
  }
  if (!actions.save(description + " " + FixActions::named(*person))) return;
  for (const auto& change : changes)
    actions.note("wrote the " + change.what + " " + quoted(change.before) + " as " + quoted(change.after) + " for " +
                 FixActions::who(*person));
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

void changesPreview(FixPreview& preview, const std::vector<ScannerConditions::TextChange>& changes) {
  using Colour = PreviewText::Colour;
  preview.texts.push_back(PreviewParts::text("Before Fixing", 14, 152, 110, Colour::Black, 0.4));
  preview.texts.push_back(PreviewParts::text("After Fixing", 230, 152, 210, Colour::Black, 0.4));
  // Each change names what it changes: the label row, then before and after.
  double y = 132;
  for (const auto& change : changes) {
    preview.texts.push_back(PreviewParts::text(change.what + " :", 14, y, 440, Colour::Black, 0.5));
    y -= 20;
    preview.texts.push_back(PreviewParts::text(change.before, 14, y, 210));
    preview.texts.push_back(PreviewParts::text(change.after, 230, y, 210));
    y -= 20;
  }
}

void keepAsItIs(FixActions& actions, PersonItem* row, const std::string& key, std::vector<std::string> values,
                const std::string& what) {
  PersonItem* father = row->parentNode();
  const ABPersonRef& person = actions.person();
  std::string error;
  if (!actions.book().addMark(ABMarkKind::kKeptAsItIs, {person->uniqueId()},
                              ABMarkCover::valueOfList(ScannerConditions::keptList(key, std::move(values))),
                              "Kept " + what + " of " + FixActions::named(*person) + " as it is", &error)) {
    actions.fail("the " + what + " of " + FixActions::who(*person) + " could not be kept as it is: " + error);
    return;
  }
  actions.markSaved();
  actions.note("kept " + what + " of " + FixActions::who(*person) + " as it is");
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

void keepPreview(FixPreview& preview, const std::vector<std::string>& values) {
  previewLine(preview, "No contact will be changed. These values stay as they are;", 152, 450);
  previewLine(preview, "a scan lists this contact again only when they change:", 132, 450);
  double y = 112;
  for (const auto& value : values) {
    preview.texts.push_back(PreviewParts::text(value, 14, y, 430));
    y -= 20;
  }
}

bool keptAsItIs(const FixActions& actions, const std::string& key, std::vector<std::string> values) {
  return ABMarkCover(actions.book(), ABMarkKind::kKeptAsItIs)
      .keeps(actions.person()->uniqueId(), ScannerConditions::keptList(key, std::move(values)));
}

void repeatedValuesPreview(FixPreview& preview, const ABPerson& person, const std::string& property,
                           const std::string& heading) {
  previewLine(preview, heading, 152, 450);
  auto list = person.multiValueForProperty(property);
  if (!list) return;
  const std::vector<size_t> repeated = FixActions::repeatedEntries(*list);
  previewLine(preview, repeated.size() == 1 ? "This entry goes:" : "These entries go:", 132, 450,
              PreviewText::Colour::Default);
  double y = PreviewParts::removedEntries(preview, person, property, repeated, 112);
  previewLine(preview, "The first entry of each value stays.", y - 6, 450);
}

void blankValuePreview(FixPreview& preview, const ABPerson& person, const std::string& property,
                       const std::string& what) {
  const std::string value = person.stringForProperty(property).value_or("");
  const std::string spaces = std::to_string(value.size()) + (value.size() == 1 ? " space" : " spaces");
  previewLine(preview, "The " + what + " " + quoted(value) + " (" + spaces + " only) will be removed.");
}

void previewLine(FixPreview& preview, const std::string& line, double y, double width, PreviewText::Colour colour) {
  preview.texts.push_back(PreviewParts::text(line, 14, y, width, colour));
}

}  // namespace ReviewConditions
