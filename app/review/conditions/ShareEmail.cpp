#include <algorithm>

#include "app/review/MergeContacts.h"
#include "app/review/PersonItem.h"
#include "app/review/PersonNames.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABMarks.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;
namespace Opt = ReviewCategories::Option;
using Colour = PreviewText::Colour;

namespace {

// The address the row is about, on its person as the store holds it now.
std::string sharedValue(const FixActions& actions, const PersonItem& row) {
  if (!row.duplicateEmail().empty()) return row.duplicateEmail();
  std::vector<ABPersonRef> others;
  for (const auto& other : row.duplicateEmailArray())
    if (auto current = actions.stored(*other)) others.push_back(current);
  return ScanAddressBook::sharedEmailValue(*actions.person()->snapshot(), row.duplicateEmailType(), others);
}

// The contacts holding the address now.
std::vector<ABPersonRef> holdersOf(const ABAddressBook& book, const std::string& value) {
  return book.recordsMatchingSearchElement(
      book.searchElementForProperty(kABEmailProperty, std::nullopt, std::nullopt, value, kABEqual));
}

// The others of the row as the store holds them now.
std::vector<ABPersonRef> othersOf(const FixActions& actions, const PersonItem& row) {
  std::vector<ABPersonRef> others;
  for (const auto& other : row.duplicateEmailArray())
    if (auto current = actions.stored(*other)) others.push_back(current);
  return others;
}

void deleteOthers(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  std::vector<ABPersonRef> others = othersOf(actions, *row);
  std::string name = FixActions::named(*actions.person());
  if (!actions.replaceInOneSave(others, nullptr, [&](size_t removed) {
        return "Deleted " + FixActions::contacts(removed) + " sharing an email address with " + name;
      }))
    return;
  actions.outline().removeRow(row);
  for (const auto& other : others) actions.outline().purgePerson(*other, true, father);
  actions.closingStep(father);
}

void merge(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  std::vector<ABPersonRef> list = othersOf(actions, *row);
  list.push_back(actions.person());
  if (!actions.confirmMerge(list.size())) return;
  if (!actions.mergeInOneSave(list)) return;
  actions.outline().removeRow(row);
  for (const auto& member : list) actions.outline().purgePerson(*member, true, father);
  actions.closingStep(father);
}

void removeEmail(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  const ABPersonRef& person = actions.person();
  // Every entry of the shared address goes, under whatever label; every other entry stays.
  std::string shared = sharedValue(actions, *row);
  ABMultiValue kept;
  if (auto emails = person->multiValueForProperty(kABEmailProperty)) {
    for (const auto& entry : emails->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      if (value && *value == shared) continue;
      kept.addEntry(entry);
    }
  }
  bool ok = kept.empty() ? person->removeValueForProperty(kABEmailProperty)
                         : person->setValueForProperty(kept, kABEmailProperty);
  if (!ok || !actions.book().addRecord(person)) {
    actions.book().revert();
    actions.fail("the address " + shared + " could not be removed from " + FixActions::who(*person));
    return;
  }
  if (!actions.save("Removed " + shared + " from " + FixActions::named(*person))) return;
  actions.note("removed " + shared + " from " + FixActions::who(*person));
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

void notSamePerson(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  // Every contact holding the address now, not only those the scan saw.
  std::string shared = sharedValue(actions, *row);
  auto holders = holdersOf(actions.book(), shared);
  if (!actions.markNotSamePerson(holders, shared, FixActions::contacts(holders.size()) + " sharing " + shared)) return;
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

std::optional<std::string> stale(const FixActions& actions, const PersonItem& row) {
  const auto& person = actions.person();
  std::string value = sharedValue(actions, row);
  if (value.empty() || !ScanAddressBook::holdsEmail(*person->snapshot(), value))
    return (value.empty() ? std::string("the shared address") : FixActions::inQuotes(value)) +
           " is no longer one of its e-mail addresses";
  {
    std::vector<std::string> uids;
    for (const auto& holder : holdersOf(actions.book(), value)) uids.push_back(holder->uniqueId());
    if (ABMarkCover(actions.book(), ABMarkKind::kNotSamePerson).coversForValue(uids, value))
      return "the contacts sharing " + FixActions::inQuotes(value) + " are marked as not the same person";
  }
  if (actions.option() == Opt::kMerge || actions.option() == Opt::kDeleteDuplicates) {
    // Every contact the fix would merge or delete must still share the address.
    if (row.duplicateEmailArray().empty()) return "nobody else holds " + FixActions::inQuotes(value) + " any more";
    for (const auto& other : row.duplicateEmailArray()) {
      auto current = actions.stored(*other);
      if (!current) return PersonNames::rowName(*other) + " is no longer in the address book";
      if (!ScanAddressBook::holdsEmail(*current->snapshot(), value))
        return PersonNames::rowName(*current) + " no longer holds " + FixActions::inQuotes(value);
    }
    return std::nullopt;
  }
  auto holders = holdersOf(actions.book(), value);
  bool shared = std::any_of(holders.begin(), holders.end(),
                            [&](const ABPersonRef& holder) { return holder->uniqueId() != person->uniqueId(); });
  if (!shared) return "nobody else holds " + FixActions::inQuotes(value) + " any more";
  return std::nullopt;
}

void deleteOthersPreview(FixPreview& preview, const RowOf& of) {
  // Every contact that goes, each with what tells it apart; the row's own contact stays.
  const auto& others = of.row.duplicateEmailArray();
  double y = PreviewParts::contactLines(preview, others, 138, Colour::Red);
  preview.texts.push_back(PreviewParts::text("will be deleted from Contacts", 14, y, 450, Colour::Red));
}

void removeEmailPreview(FixPreview& preview, const RowOf& of) {
  std::string address = EmailSlots::sharedAddress(of.row);
  std::string heading = of.row.duplicateEmailType() == kABHomeLabel
                            ? "The Email Address \"" + address + "\" will be deleted "
                            : "The Email Address \"" + address + "\" will be deleted";
  previewLine(preview, heading, 138, 450, Colour::Red);
  previewLine(preview, "form this contact", 118, 450, Colour::Red);
  // Every entry of the address goes, whatever its label.
  const ABPerson& person = *of.row.person();
  std::vector<size_t> entries;
  if (auto emails = person.multiValueForProperty(kABEmailProperty))
    for (size_t i = 0; i < emails->count(); ++i)
      if (emails->stringAtIndex(i) == address) entries.push_back(i);
  if (entries.size() > 1) {
    previewLine(preview, "These entries go:", 98, 450);
    PreviewParts::removedEntries(preview, person, kABEmailProperty, entries, 78);
  }
}

}  // namespace

// An e-mail address held by other contacts too: one row per address of a contact, with the others.
const RC::Category& ReviewConditions::shareEmail() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "ShareEmail",
          .title = RC::kShareEmail,
          .rowDescription = "has the same email address with others",
          .matrixX = 16,
          .matrixY = 0,
          .fixes = {{Opt::kMerge, merge,
                     [](FixPreview& preview, const RowOf& of) {
                       std::vector<ABPersonRef> list = of.row.duplicateEmailArray();
                       list.push_back(of.row.person());
                       PreviewParts::merged(preview, list);
                     }},
                    {Opt::kDeleteDuplicates, deleteOthers, deleteOthersPreview},
                    {Opt::kRemoveEmail, removeEmail, removeEmailPreview},
                    deleteThisContact(),
                    {Opt::kNotSamePerson, notSamePerson,
                     [](FixPreview& preview, const RowOf&) {
                       previewLine(preview, "No contact will be changed.", 138, 450);
                       previewLine(preview, "The contacts sharing this address are different people; a scan will not",
                                   118, 450);
                       previewLine(preview, "list them for it again (Edit > Undo takes it back).", 98, 450);
                     }}},
          .details = [](const RowOf& of) { return EmailSlots::shareEmailProblemText(of.row); },
          .stale = stale,
      },
      "matrixShareEmail");
  return category;
}
