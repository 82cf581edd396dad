#include "app/review/MergeContacts.h"
#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABMarks.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

void deleteDuplicates(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  auto group = actions.duplicateGroupOf(*actions.person());
  std::vector<ABPersonRef> others(group.begin() + 1, group.end());
  std::string name = FixActions::named(*group.front());
  if (!actions.replaceInOneSave(others, nullptr, [&](size_t removed) {
        return "Deleted " + FixActions::contacts(removed, "duplicate") + " of " + name;
      }))
    return;
  for (const auto& other : others) actions.outline().purgePerson(*other, true, father);
  if (actions.outline().contains(row)) actions.outline().removeRow(row);
  actions.closingStep(father);
}

void merge(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  auto group = actions.duplicateGroupOf(*actions.person());
  if (!actions.confirmMerge(group.size())) return;
  if (!actions.mergeInOneSave(group)) return;
  actions.outline().removeRow(row);
  for (const auto& member : group) actions.outline().purgePerson(*member, true, father);
  actions.closingStep(father);
}

void notSamePerson(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  auto group = actions.duplicateGroupOf(*actions.person());
  if (!actions.markNotSamePerson(group, {},
                                 FixActions::contacts(group.size()) + " named " + FixActions::named(*group.front())))
    return;
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

std::optional<std::string> stale(const FixActions& actions, const PersonItem&) {
  auto group = actions.duplicateGroupOf(*actions.person());
  if (group.size() < 2) return "it has no duplicate any more";
  std::vector<std::string> uids;
  for (const auto& member : group) uids.push_back(member->uniqueId());
  if (ABMarkCover(actions.book(), ABMarkKind::kNotSamePerson).covers(uids))
    return "its duplicates are marked as not the same person";
  return std::nullopt;
}

}  // namespace

// Contacts of one name (or, without a name, of one organisation): one row per group.
const RC::Category& ReviewConditions::duplicateContacts() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "DuplicateContacts",
          .title = RC::kDuplicateContacts,
          .rowDescription = "appears more than once",
          .problemText = "This contact appears more than once in Contacts",
          .matrixX = 16,
          .matrixY = 32,
          .fixes = {{RC::Option::kMerge, merge,
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::merged(preview, ScanAddressBook::duplicateGroupOf(*of.book, *of.row.person()));
                     }},
                    {RC::Option::kDeleteDuplicates, deleteDuplicates,
                     [](FixPreview& preview, const RowOf& of) {
                       // The group's first contact (store order) stays; every other one goes.
                       auto group = ScanAddressBook::duplicateGroupOf(*of.book, *of.row.person());
                       previewLine(preview, "The duplicate contact(s) will delete from contact.", 152, 450,
                                   PreviewText::Colour::Red);
                       if (group.empty()) return;
                       double y =
                           PreviewParts::contactLines(preview, std::vector<ABPersonRef>(group.begin() + 1, group.end()),
                                                      132, PreviewText::Colour::Red);
                       previewLine(preview, "This contact stays:", y - 6, 450);
                       PreviewParts::contactLines(preview, {group.front()}, y - 26);
                     }},
                    deleteThisContact(),
                    {RC::Option::kNotSamePerson, notSamePerson, notSamePersonPreview}},
          .stale = stale,
      },
      "matrixDupContact");
  return category;
}
