#include <algorithm>
#include <unordered_map>

#include "app/review/MergeContacts.h"
#include "app/review/PersonItem.h"
#include "app/review/PersonNames.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/SimilarContacts.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABMarks.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

// The row's person and the other contacts of its group as the store holds them now, in store order.
std::vector<ABPersonRef> similarMembers(const FixActions& actions, const PersonItem& row) {
  std::vector<ABPersonRef> members;
  if (actions.person()) members.push_back(actions.person());
  for (const auto& other : row.duplicateEmailArray())
    if (auto current = actions.stored(*other)) members.push_back(current);
  if (members.size() < 2) return members;
  // Store order: the merge keeps the values of the later ones where single values differ.
  std::unordered_map<std::string, size_t> position;
  for (const auto& member : members) position.emplace(member->uniqueId(), 0);
  size_t index = 0;
  for (const auto& person : actions.book().people()) {
    auto found = position.find(person->uniqueId());
    if (found != position.end()) found->second = index;
    ++index;
  }
  std::sort(members.begin(), members.end(), [&](const ABPersonRef& a, const ABPersonRef& b) {
    return position[a->uniqueId()] < position[b->uniqueId()];
  });
  return members;
}

// Why a group of similar contacts no longer stands; nullopt while it does.
std::optional<std::string> stale(const FixActions& actions, const PersonItem& row) {
  for (const auto& other : row.duplicateEmailArray())
    if (!actions.stored(*other)) return PersonNames::rowName(*other) + " is no longer in the address book";
  auto members = similarMembers(actions, row);
  if (members.size() < 2) return "nobody else is in its group any more";
  // The group must still stand on the contacts as they are now, by the same rules.
  std::vector<ABPersonSnapshot> values;
  for (const auto& member : members) values.push_back(member->snapshot());
  PhoneNumbers phones(actions.outline().region());
  const PhoneReadings readings =
      SimilarContacts::readPhones(values, phones, SimilarContacts::NationalNumbers::kNoneMore);
  auto whole = [&](const std::vector<SimilarContacts::Group>& groups) {
    return groups.size() == 1 && groups.front().members.size() == members.size();
  };
  // Persons the user marked as not the same person are never linked (as in a scan).
  std::vector<std::vector<std::string>> distinct;
  ABMarkCover notSame(actions.book(), ABMarkKind::kNotSamePerson);
  for (const ABMark& mark : notSame.marks()) distinct.push_back(mark.uids);
  auto groups = SimilarContacts::findGroups(values, readings, phones, distinct);
  if (whole(groups)) return std::nullopt;
  if (!distinct.empty() && whole(SimilarContacts::findGroups(values, readings, phones, {})))
    return "its contacts are marked as not the same person";
  // Name the first contact no longer linked to the row's own one.
  const size_t own = static_cast<size_t>(
      std::find_if(members.begin(), members.end(),
                   [&](const ABPersonRef& member) { return member->uniqueId() == actions.person()->uniqueId(); }) -
      members.begin());
  std::vector<size_t> linked{own};
  for (const auto& group : groups)
    if (std::find(group.members.begin(), group.members.end(), own) != group.members.end()) linked = group.members;
  for (size_t m = 0; m < members.size(); ++m)
    if (std::find(linked.begin(), linked.end(), m) == linked.end())
      return "it is no longer linked to " + PersonNames::rowName(*members[m]);
  return "it is no longer linked to the others of its group";
}

void merge(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  auto members = similarMembers(actions, *row);
  if (!actions.confirmMerge(members.size())) return;
  if (!actions.mergeInOneSave(members)) return;
  actions.outline().removeRow(row);
  for (const auto& member : members) actions.outline().purgePerson(*member, true, father);
  actions.closingStep(father);
}

void notSamePerson(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  // Over the group's members as the store holds them now (the stale check found them linked).
  auto members = similarMembers(actions, *row);
  if (!actions.markNotSamePerson(members, {}, FixActions::namesOf(members))) return;
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

}  // namespace

// Contacts that are probably one person (same phone, e-mail, or name apart from accents, ...): one
// row per group, standing for its first contact.
const RC::Category& ReviewConditions::similarContacts() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "SimilarContacts",
          .title = RC::kSimilarContacts,
          .rowDescription = "is probably the same person as another contact",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{RC::Option::kMerge, merge,
                     [](FixPreview& preview, const RowOf& of) {
                       // The group in store order: the row's contact comes first.
                       std::vector<ABPersonRef> list{of.row.person()};
                       list.insert(list.end(), of.row.duplicateEmailArray().begin(),
                                   of.row.duplicateEmailArray().end());
                       PreviewParts::merged(preview, list);
                     }},
                    {RC::Option::kNotSamePerson, notSamePerson, notSamePersonPreview}},
          .details = [](const RowOf& of) { return PhoneProblems::similarContactsText(of.row); },
          .stale = stale,
      },
      "matrixSimilar");
  return category;
}
