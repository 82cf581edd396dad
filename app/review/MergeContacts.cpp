#include "app/review/MergeContacts.h"

#include <algorithm>
#include <functional>
#include <optional>
#include <string>

#include "core/record/RecordKeys.h"

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/ABMarks.h"
#include "platform/addressbook/vcard/VCardKept.h"

namespace {

// Single values: the last member that has one wins.
const std::vector<std::string>& singleValueProperties() {
  static const std::vector<std::string> properties = {kABFirstNameProperty,
                                                      kABLastNameProperty,
                                                      kABMiddleNameProperty,
                                                      kABMaidenNameProperty,
                                                      kABSuffixProperty,
                                                      kABFirstNamePhoneticProperty,
                                                      kABLastNamePhoneticProperty,
                                                      kABOrganizationProperty,
                                                      kABJobTitleProperty,
                                                      kABBirthdayProperty,
                                                      kABDepartmentProperty,
                                                      kABNicknameProperty,
                                                      kABTitleProperty,
                                                      kABPersonFlags,
                                                      kABImageDataProperty};
  return properties;
}

struct ListRule {
  ListRule(const std::string* list, std::vector<std::string> order) : property(list), labelOrder(std::move(order)) {}
  // A list without a rule of its own.
  explicit ListRule(std::string list) : ownProperty(std::move(list)) {}
  const std::string& name() const { return property ? *property : ownProperty; }

  const std::string* property = nullptr;  // nullptr: ownProperty
  std::vector<std::string> labelOrder;    // labels placed first, in this order; others follow
  std::string ownProperty;
};

const std::vector<ListRule>& listRules() {
  static const std::vector<ListRule> rules = {
      {&kABPhoneProperty,
       {kABPhoneWorkLabel, kABPhoneHomeLabel, kABPhoneMobileLabel, kABPhoneMainLabel, kABPhoneHomeFAXLabel,
        kABPhoneWorkFAXLabel, kABPhonePagerLabel}},
      {&kABRelatedNamesProperty,
       {kABFatherLabel, kABMotherLabel, kABParentLabel, kABBrotherLabel, kABSisterLabel, kABChildLabel, kABFriendLabel,
        kABPartnerLabel, kABSpouseLabel, kABAssistantLabel, kABManagerLabel}},
      {&kABEmailProperty, {kABEmailHomeLabel, kABEmailWorkLabel, kABOtherLabel}},
      {&kABAddressProperty, {kABAddressHomeLabel, kABAddressWorkLabel, kABOtherLabel}},
      {&kABURLsProperty, {}},
      {&kABInstantMessageProperty, {}},
      {&kABSocialProfileProperty, {}},
  };
  return rules;
}

bool isEmptyItem(const ABMultiValueItem& item) {
  if (const auto* dict = std::get_if<ABDictionary>(&item)) {
    return std::all_of(dict->entries().begin(), dict->entries().end(),
                       [](const ABDictionary::Entry& e) { return e.second.empty(); });
  }
  return false;
}

ABMultiValue mergeLists(const std::vector<ABPersonSnapshot>& members, const ListRule& rule, bool dropEmpty,
                        const std::function<bool(const ABMultiValue::Entry&)>& leftOut) {
  std::vector<ABMultiValue::Entry> collected;
  for (const auto& member : members) {
    const ABMultiValue* list = member->multiValue(rule.name());
    if (!list) continue;
    for (const auto& entry : list->entries()) {
      if ((dropEmpty && isEmptyItem(entry.value)) || leftOut(entry)) continue;
      // Equal label and value are one entry, whatever vCard parameters each was read with.
      if (std::any_of(collected.begin(), collected.end(),
                      [&](const ABMultiValue::Entry& e) { return e.sameLabelAndValue(entry); }))
        continue;
      collected.push_back(entry);
    }
  }
  auto rank = [&](const std::string& label) {
    auto it = std::find(rule.labelOrder.begin(), rule.labelOrder.end(), label);
    return static_cast<size_t>(it - rule.labelOrder.begin());
  };
  std::stable_sort(collected.begin(), collected.end(), [&](const ABMultiValue::Entry& a, const ABMultiValue::Entry& b) {
    return rank(a.label) < rank(b.label);
  });
  ABMultiValue merged;
  for (auto& entry : collected) merged.addEntry(std::move(entry));
  return merged;
}

// The label of a single value as the contact card shows it: its record key.
std::string labelOf(const std::string& property) {
  for (const auto& key : RecordKeys::all())
    if ((key.family == RecordKeys::Family::Single || key.family == RecordKeys::Family::Birthday) && key.property &&
        *key.property == property)
      return key.key;
  return property;
}

// A list's name as a user reads it.
std::string listLabelOf(const std::string& property) {
  static const std::vector<std::pair<const std::string*, const char*>> labels = {
      {&kABEmailProperty, "E-mail"},
      {&kABPhoneProperty, "Phone"},
      {&kABAddressProperty, "Address"},
      {&kABURLsProperty, "URL"},
      {&kABRelatedNamesProperty, "Related name"},
      {&kABInstantMessageProperty, "Instant message"},
      {&kABSocialProfileProperty, "Social profile"},
      {&kABCategoriesProperty, "Groups"}};
  for (const auto& [list, label] : labels)
    if (*list == property) return label;
  return property;
}

// A single value as a line of text; nullopt for values that are not text (pictures, flags).
std::optional<std::string> asText(const ABValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  if (const auto* date = std::get_if<ABDate>(&value)) {
    // The year 1604 stands for a birthday without a year.
    if (date->year == 1604) return "--" + date->toIsoString().substr(5);
    return date->toIsoString();
  }
  return std::nullopt;
}

bool isHandled(const std::string& property) {
  if (property == kABUIDProperty || property == kABNoteProperty) return true;
  const auto& singles = singleValueProperties();
  if (std::find(singles.begin(), singles.end(), property) != singles.end()) return true;
  const auto& rules = listRules();
  return std::any_of(rules.begin(), rules.end(), [&](const ListRule& rule) { return *rule.property == property; });
}

}  // namespace

size_t mergeWinner(const std::vector<ABPersonRef>& persons) {
  for (size_t i = persons.size(); i-- > 0;) {
    auto data = persons[i]->snapshot();
    for (const std::string* property : {&kABFirstNameProperty, &kABLastNameProperty, &kABOrganizationProperty})
      if (data->find(*property)) return i;
  }
  return persons.empty() ? 0 : persons.size() - 1;
}

const std::vector<std::string>& mergeSourceGroup(const std::string& property) {
  static const std::vector<std::string> organisation = {kABOrganizationProperty, kABDepartmentProperty};
  static const std::vector<std::string> none;
  return std::find(organisation.begin(), organisation.end(), property) != organisation.end() ? organisation : none;
}

std::string mergeValueText(const ABMultiValueItem& item) {
  if (const auto* text = std::get_if<std::string>(&item)) return *text;
  std::string joined;
  for (const auto& [key, value] : std::get<ABDictionary>(item).entries()) {
    if (value.empty()) continue;
    if (!joined.empty()) joined += ", ";
    joined += value;
  }
  return joined;
}

namespace {

// The properties of the members, each once, in the order of the rules and then as met: single
// values and lists (a property without a rule is a list when every member holding it holds a list).
void propertiesOf(const std::vector<ABPersonSnapshot>& members, std::vector<std::string>& singles,
                  std::vector<ListRule>& lists) {
  singles = singleValueProperties();
  lists = listRules();
  std::vector<std::string> others;
  for (const auto& member : members)
    for (const auto& [property, value] : member->entries())
      if (!isHandled(property) && property != kABVCardKeptLinesProperty && property != kABVCardLinesAsReadProperty &&
          std::find(others.begin(), others.end(), property) == others.end())
        others.push_back(property);
  for (const auto& property : others) {
    bool allLists = std::all_of(members.begin(), members.end(), [&](const ABPersonSnapshot& member) {
      const ABValue* value = member->find(property);
      return !value || std::holds_alternative<ABMultiValue>(*value);
    });
    if (allLists) {
      lists.emplace_back(property);
    } else {
      singles.push_back(property);
    }
  }
}

}  // namespace

MergePlan planMerge(const std::vector<ABPersonRef>& persons) {
  MergePlan plan;
  for (const auto& person : persons)
    if (std::find(plan.members.begin(), plan.members.end(), person) == plan.members.end())
      plan.members.push_back(person);
  plan.included.assign(plan.members.size(), true);
  resetMergeChoices(plan);
  return plan;
}

void resetMergeChoices(MergePlan& plan) {
  std::vector<ABPersonRef> in;
  std::vector<size_t> index;
  for (size_t m = 0; m < plan.members.size(); ++m)
    if (plan.included[m]) {
      in.push_back(plan.members[m]);
      index.push_back(m);
    }
  std::vector<ABPersonSnapshot> members;
  for (const auto& person : plan.members) members.push_back(person->snapshot());
  plan.keeps = in.empty() ? 0 : index[mergeWinner(in)];
  plan.singles.clear();
  plan.lists.clear();
  std::vector<std::string> singles;
  std::vector<ListRule> lists;
  std::vector<ABPersonSnapshot> included;
  for (size_t i : index) included.push_back(members[i]);
  propertiesOf(included, singles, lists);
  // A single value comes from the winner where it has one, else from the last that has one; values
  // that belong together come from one member as a whole.
  for (const auto& property : singles) {
    const auto& group = mergeSourceGroup(property);
    auto holds = [&](size_t m) {
      if (group.empty()) return members[m]->find(property) != nullptr;
      return std::any_of(group.begin(), group.end(), [&](const std::string& p) { return members[m]->find(p); });
    };
    if (!std::any_of(index.begin(), index.end(), [&](size_t m) { return members[m]->find(property) != nullptr; }))
      continue;
    MergePlan::Single row{property, labelOf(property), std::nullopt};
    if (!in.empty() && holds(plan.keeps)) {
      row.from = plan.keeps;
    } else {
      for (size_t k = index.size(); k-- > 0 && !row.from;)
        if (holds(index[k])) row.from = index[k];
    }
    plan.singles.push_back(std::move(row));
  }
  for (const auto& rule : lists) {
    const std::string& property = rule.name();
    for (size_t m : index) {
      const ABMultiValue* list = members[m]->multiValue(property);
      if (!list) continue;
      for (const auto& entry : list->entries()) {
        if (property == kABAddressProperty && isEmptyItem(entry.value)) continue;
        std::string text = mergeValueText(entry.value);
        auto found = std::find_if(plan.lists.begin(), plan.lists.end(), [&](const MergePlan::ListValue& value) {
          return value.property == property && value.text == text;
        });
        if (found == plan.lists.end()) {
          plan.lists.push_back({property, listLabelOf(property), text, {m}, true});
        } else if (std::find(found->holders.begin(), found->holders.end(), m) == found->holders.end()) {
          found->holders.push_back(m);
        }
      }
    }
  }
}

bool takeMergeValue(MergePlan& plan, const std::string& property, std::optional<size_t> member) {
  if (member && (*member >= plan.members.size() || !plan.included[*member])) return false;
  const auto& group = mergeSourceGroup(property);
  bool found = false;
  for (auto& row : plan.singles)
    if (row.property == property || std::find(group.begin(), group.end(), row.property) != group.end()) {
      row.from = member;
      found = true;
    }
  return found;
}

void excludeMergeMember(MergePlan& plan, size_t member, bool excluded) {
  if (member >= plan.members.size()) return;
  plan.included[member] = !excluded;
  // The choices are made again over the members left, keeping what the user picked where it still
  // stands.
  std::vector<std::pair<std::string, std::optional<size_t>>> picked;
  for (const auto& row : plan.singles) picked.emplace_back(row.property, row.from);
  std::vector<std::pair<std::string, std::string>> dropped;
  for (const auto& value : plan.lists)
    if (!value.kept) dropped.emplace_back(value.property, value.text);
  resetMergeChoices(plan);
  for (const auto& [property, from] : picked)
    if (!from || plan.included[*from])
      for (auto& row : plan.singles)
        if (row.property == property) row.from = from;
  for (auto& value : plan.lists)
    if (std::find(dropped.begin(), dropped.end(), std::pair(value.property, value.text)) != dropped.end())
      value.kept = false;
}

std::vector<ABPersonRef> MergePlan::includedMembers() const {
  std::vector<ABPersonRef> in;
  for (size_t m = 0; m < members.size(); ++m)
    if (included[m]) in.push_back(members[m]);
  return in;
}

std::vector<ABPersonRef> MergePlan::excludedMembers() const {
  std::vector<ABPersonRef> out;
  for (size_t m = 0; m < members.size(); ++m)
    if (!included[m]) out.push_back(members[m]);
  return out;
}

ABPersonData mergedValues(const MergePlan& plan) {
  std::vector<ABPersonSnapshot> all;
  for (const auto& person : plan.members) all.push_back(person->snapshot());
  std::vector<ABPersonSnapshot> members;
  for (size_t m = 0; m < all.size(); ++m)
    if (plan.included[m]) members.push_back(all[m]);

  ABPersonData merged;
  // "Label: value" lines for the single values that lost to the chosen one, each once.
  std::vector<std::string> kept;
  auto keep = [&](const std::string& label, const std::string& text) {
    std::string line = label + ": " + text;
    if (std::find(kept.begin(), kept.end(), line) == kept.end()) kept.push_back(std::move(line));
  };
  for (const auto& row : plan.singles) {
    const ABValue* chosen = row.from ? all[*row.from]->find(row.property) : nullptr;
    if (chosen) merged.set(row.property, *chosen);
    if (!plan.othersInNote) continue;
    for (const auto& member : members) {
      const ABValue* value = member->find(row.property);
      if (!value || (chosen && *value == *chosen)) continue;
      if (auto text = asText(*value)) keep(row.label, *text);
    }
  }

  // What the members' vCards said beyond their values stays with the merged contact, each line once;
  // the lines the writer wrote as read stand for values the merge may have changed, so they go.
  std::vector<std::string_view> keptLines;
  for (const auto& member : members)
    if (const std::string* lines = member->string(kABVCardKeptLinesProperty)) keptLines.push_back(*lines);
  if (!keptLines.empty()) merged.set(kABVCardKeptLinesProperty, mergeKeptLines(keptLines));

  // Lists: every entry of every member with its own label, less the values the user left out.
  std::vector<std::string> listProperties;
  for (const auto& value : plan.lists)
    if (std::find(listProperties.begin(), listProperties.end(), value.property) == listProperties.end())
      listProperties.push_back(value.property);
  for (const auto& property : listProperties) {
    const ListRule* rule = nullptr;
    for (const auto& candidate : listRules())
      if (*candidate.property == property) rule = &candidate;
    const ListRule own(property);
    ABMultiValue list =
        mergeLists(members, rule ? *rule : own, property == kABAddressProperty, [&](const ABMultiValue::Entry& entry) {
          const std::string text = mergeValueText(entry.value);
          return std::any_of(plan.lists.begin(), plan.lists.end(), [&](const MergePlan::ListValue& value) {
            return !value.kept && value.property == property && value.text == text;
          });
        });
    if (!list.empty()) merged.set(property, std::move(list));
  }

  // The members' notes, each once, then the values that lost; never an empty note.
  std::vector<std::string> paragraphs;
  for (const auto& member : members)
    if (const std::string* text = member->string(kABNoteProperty); text && !text->empty())
      if (std::find(paragraphs.begin(), paragraphs.end(), *text) == paragraphs.end()) paragraphs.push_back(*text);
  paragraphs.insert(paragraphs.end(), kept.begin(), kept.end());
  std::string note;
  for (const auto& paragraph : paragraphs) {
    if (!note.empty()) note += "\n";
    note += paragraph;
  }
  if (!note.empty()) merged.set(kABNoteProperty, note);
  if (plan.keeps < plan.members.size()) {
    merged.set(kABUIDProperty, plan.members[plan.keeps]->uniqueId());
    // The card stays the winner's: one that came in as vCard 4.0 goes back to its source as 4.0.
    const ABValue asRead = plan.members[plan.keeps]->valueForProperty(kABVCardLinesAsReadProperty);
    if (const std::string* text = std::get_if<std::string>(&asRead);
        text && linesAsReadFor(parseLinesAsRead(*text), "VERSION")) {
      std::string marker;
      appendLinesAsRead(marker, kCameAsVersion4);
      merged.set(kABVCardLinesAsReadProperty, ABValue(std::move(marker)));
    }
  }
  return merged;
}

ABPersonData mergedValues(const std::vector<ABPersonRef>& persons) {
  return mergedValues(planMerge(persons));
}

bool applyMergePlan(ABAddressBook& book, const MergePlan& plan, std::string* error,
                    const std::vector<ABPersonRef>* groupCards) {
  const auto in = plan.includedMembers();
  if (in.size() < 2) {
    if (error) *error = "a merge needs two contacts or more";
    return false;
  }
  const ABPersonRef& kept = plan.members[plan.keeps];
  for (const auto& member : in) {
    if (!book.contains(member)) {
      if (error) *error = ABAddressBook::nameForHistory(*member) + " is no longer in the address book";
      return false;
    }
    if (ABGroups::isGroupCard(*member)) {
      if (error) *error = ABAddressBook::nameForHistory(*member) + " is a group, not a contact: it is never merged";
      return false;
    }
  }
  kept->replaceData(mergedValues(plan));
  std::vector<std::string> removed;
  for (const auto& member : in) {
    if (member == kept) continue;
    removed.push_back(member->uniqueId());
    if (!book.removeRecord(member, error)) {
      book.revert();
      return false;
    }
  }
  // Every group card that held a member holds the merged contact.
  if (groupCards)
    ABGroups::replaceMembers(book, *groupCards, removed, kept->uniqueId());
  else
    ABGroups::replaceMembers(book, removed, kept->uniqueId());
  if (!book.addRecord(kept, error)) {
    book.revert();
    return false;
  }
  return true;
}

ABPersonRef mergeContacts(const std::vector<ABPersonRef>& persons) {
  ABPersonData values = mergedValues(persons);
  values.remove(kABUIDProperty);
  return std::make_shared<ABPerson>(std::move(values));
}

bool saveMergePlan(ABAddressBook& book, const MergePlan& plan, std::vector<std::string>* changes, std::string* error) {
  const auto in = plan.includedMembers();
  const auto out = plan.excludedMembers();
  if (in.size() < 2) {
    if (error) *error = "a merge needs two contacts or more";
    return false;
  }
  const ABPersonRef kept = plan.members[plan.keeps];
  auto who = [](const ABPerson& person) {
    return ABAddressBook::nameForHistory(person) + " <" + person.uniqueId() + ">";
  };
  // The merge and the marks of the members left out are one change set.
  ABChangeSetScope changeSet(book);
  if (!applyMergePlan(book, plan, error)) return false;
  book.setNextChangeDescription("Merged " + std::to_string(in.size()) + " contacts into " +
                                ABAddressBook::nameForHistory(*kept));
  ABSaveResult saved = book.saveChanges();
  if (!saved.ok()) {
    book.revert();
    if (error) *error = saved.error;
    return false;
  }
  std::vector<std::string> lines;
  for (const auto& member : in)
    if (member != kept) lines.push_back("deleted " + who(*member));
  lines.push_back("merged " + std::to_string(in.size()) + " contacts into " + who(*kept));
  for (const auto& member : out) {
    if (!book.addMark(ABMarkKind::kNotSamePerson, {member->uniqueId(), kept->uniqueId()}, {},
                      "Not the same person: " + ABAddressBook::nameForHistory(*member) + " and " +
                          ABAddressBook::nameForHistory(*kept),
                      error))
      return false;  // the scope takes the merge back too
    lines.push_back("marked " + who(*member) + " as not the same person as " + who(*kept));
  }
  const std::string description = out.empty() ? std::string()
                                              : "Merged " + std::to_string(in.size()) + " contacts into " +
                                                    ABAddressBook::nameForHistory(*kept) + ", " +
                                                    std::to_string(out.size()) + " kept apart";
  if (!changeSet.end(description, error)) return false;
  if (changes) changes->insert(changes->end(), lines.begin(), lines.end());
  return true;
}
