#include <algorithm>

#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABGroups.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

using Renames = std::vector<std::pair<std::string, std::string>>;

// The renames of group names the book calls for now, as the store holds it.
Renames renamesOfBook(const ABAddressBook& book) {
  std::vector<ABPersonSnapshot> records;
  for (const auto& record : book.people()) records.push_back(record->snapshot());
  return ScannerConditions::groupRenames(ScannerConditions::groupNameUses(records));
}

// The renames of the record's own group names.
Renames renamesOf(const ABPersonData& record, const Renames& all) {
  Renames own;
  for (const auto& name : ScannerConditions::groupNamesOf(record))
    for (const auto& rename : all)
      if (rename.first == name) own.push_back(rename);
  return own;
}

std::optional<std::string> writtenDifferentlyStale(const FixActions& actions, const PersonItem&) {
  if (renamesOf(*actions.person()->snapshot(), renamesOfBook(actions.book())).empty())
    return "its groups are written as they are most often now";
  return std::nullopt;
}

void renameToMostUsed(FixActions& actions, PersonItem* row) {
  const ABPersonRef& record = actions.person();
  const Renames renames = renamesOf(*record->snapshot(), renamesOfBook(actions.book()));
  if (renames.empty()) return;
  PersonItem* father = row->parentNode();
  if (ABGroups::isGroupCard(*record)) {
    record->setValueForProperty(renames.front().second, kABGroupNameProperty);
  } else {
    // Each name once, the new name in the place of the old one.
    ABMultiValue now;
    std::vector<std::string> names;
    for (const auto& name : ABGroups::categories(*record->snapshot())) {
      std::string to = name;
      for (const auto& [from, into] : renames)
        if (from == name) to = into;
      if (std::find(names.begin(), names.end(), to) != names.end()) continue;
      names.push_back(to);
      now.addValueWithLabel(to, std::string());
    }
    record->setValueForProperty(now, kABCategoriesProperty);
  }
  std::string error;
  if (!actions.book().addRecord(record, &error)) {
    actions.book().revert();
    actions.fail(error);
    return;
  }
  std::string what;
  for (const auto& [from, to] : renames)
    what += (what.empty() ? "" : ", ") + FixActions::inQuotes(from) + " to " + FixActions::inQuotes(to);
  if (!actions.save("Renamed the group " + what + " of " + FixActions::named(*record))) return;
  actions.note("renamed the group " + what + " of " + FixActions::who(*record));
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

void renamePreview(FixPreview& preview, const RowOf& of) {
  if (!of.book) {
    previewLine(preview, "Each group name will be written as it is most often.");
    return;
  }
  double y = 152;
  const Renames renames = renamesOf(*of.row.person()->snapshot(), renamesOfBook(*of.book));
  if (renames.empty()) previewLine(preview, "Its groups are written as they are most often.", y, 450);
  for (const auto& [from, to] : renames) {
    previewLine(preview, quoted(from) + " will be " + quoted(to), y, 450);
    y -= 20;
  }
}

std::optional<std::string> emptyGroupStale(const FixActions& actions, const PersonItem&) {
  const ABPersonSnapshot record = actions.person()->snapshot();
  if (!ABGroups::isGroupCard(*record)) return "it is no group";
  if (!ABGroups::members(*record).empty()) return "it has members now";
  return std::nullopt;
}

void deleteEmptyGroup(FixActions& actions, PersonItem* row) {
  const ABPersonRef& card = actions.person();
  const std::string name = ABGroups::shownName(ABGroups::groupName(*card->snapshot()));
  if (!actions.confirmDeleteGroup(name)) return;
  PersonItem* father = row->parentNode();
  std::string error;
  if (!actions.book().removeRecord(card, &error)) {
    actions.fail(error);
    return;
  }
  if (!actions.save("Deleted the empty group " + name)) return;
  actions.note("deleted the empty group " + name + " <" + card->uniqueId() + ">");
  actions.outline().removeRow(row);
  actions.outline().purgePerson(*card, false);
  actions.closingStep(father);
}

}  // namespace

// Group names that are one name written in several ways.
const RC::Category& ReviewConditions::groupWrittenDifferently() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "GroupWrittenDifferently",
          .title = "Same group written differently",
          .rowDescription = "is in a group written differently elsewhere",
          .problemText = "This contact is in a group whose name other contacts write another way (in other letter "
                         "case, accents or spacing). Renaming writes it as most contacts do, so that they are in "
                         "one group.",
          .matrixX = 16,
          .matrixY = 75,
          .singleAction = true,
          .fixes = {{RC::Option::kRenameToMostUsed, renameToMostUsed, renamePreview}},
          .stale = writtenDifferentlyStale,
      },
      "matrixGroupWrittenDifferently");
  return category;
}

// A group card without members.
const RC::Category& ReviewConditions::emptyGroup() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "EmptyGroup",
          .title = "Empty group",
          .rowDescription = "is a group without members",
          .problemText = "This group has no members. Deleting it puts it in the trash, from where it can be "
                         "restored; no contact changes.",
          .matrixX = 16,
          .matrixY = 75,
          .singleAction = true,
          .fixes = {{RC::Option::kDeleteGroup, deleteEmptyGroup,
                     [](FixPreview& preview, const RowOf& of) {
                       previewLine(preview,
                                   "The group " +
                                       ABGroups::shownName(ABGroups::groupName(*of.row.person()->snapshot())) +
                                       " will be deleted; no contact changes.",
                                   152, 450);
                     }}},
          .stale = emptyGroupStale,
      },
      "matrixEmptyGroup");
  return category;
}
