// merge: contacts merged into one as the user chooses, the same plan as the merge dialog's.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cctype>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/CommandRegistry.h"
#include "app/review/MergeContacts.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

constexpr const char* kUsage =
    "merge --uid UID --uid UID... [--take KEY=UID]... [--drop VALUE]... [--no-note] [--json] [--yes]";

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A single value as one line; empty for values that are not text.
std::string singleText(const ABValue* value) {
  if (!value) return {};
  if (const auto* text = std::get_if<std::string>(value)) return *text;
  if (const auto* date = std::get_if<ABDate>(value)) return date->toIsoString();
  if (std::holds_alternative<ABBytes>(*value)) return "(picture)";
  if (const auto* number = std::get_if<std::int64_t>(value)) return std::to_string(*number);
  return {};
}

nlohmann::ordered_json planJson(const MergePlan& plan) {
  nlohmann::ordered_json members = nlohmann::ordered_json::array();
  for (size_t m = 0; m < plan.members.size(); ++m)
    members.push_back({{"uid", plan.members[m]->uniqueId()},
                       {"name", ABAddressBook::nameForHistory(*plan.members[m])},
                       {"included", static_cast<bool>(plan.included[m])}});
  nlohmann::ordered_json singles = nlohmann::ordered_json::array();
  for (const auto& row : plan.singles) {
    nlohmann::ordered_json values = nlohmann::ordered_json::object();
    for (size_t m = 0; m < plan.members.size(); ++m)
      if (const ABValue* value = plan.members[m]->snapshot()->find(row.property))
        values[plan.members[m]->uniqueId()] = singleText(value);
    singles.push_back({{"key", row.label},
                       {"from", row.from ? nlohmann::ordered_json(plan.members[*row.from]->uniqueId())
                                         : nlohmann::ordered_json(nullptr)},
                       {"values", values}});
  }
  nlohmann::ordered_json lists = nlohmann::ordered_json::array();
  for (const auto& value : plan.lists) {
    nlohmann::ordered_json holders = nlohmann::ordered_json::array();
    for (size_t m : value.holders) holders.push_back(plan.members[m]->uniqueId());
    lists.push_back({{"key", value.label}, {"value", value.text}, {"holders", holders}, {"kept", value.kept}});
  }
  // The result as the merge would save it.
  const ABPersonData merged = mergedValues(plan);
  nlohmann::ordered_json result = nlohmann::ordered_json::object();
  result["uid"] = plan.members[plan.keeps]->uniqueId();
  for (const auto& row : plan.singles)
    if (const ABValue* value = merged.find(row.property)) result[row.label] = singleText(value);
  for (const auto& value : plan.lists) {
    if (!value.kept) continue;
    if (!result.contains(value.label)) result[value.label] = nlohmann::ordered_json::array();
    result[value.label].push_back(value.text);
  }
  if (const std::string* note = merged.string(kABNoteProperty)) result["Note"] = *note;
  return {{"members", members},
          {"keeps", plan.members[plan.keeps]->uniqueId()},
          {"keepOthersInNote", plan.othersInNote},
          {"singles", singles},
          {"lists", lists},
          {"result", result}};
}

int runMerge(CommandContext& ctx) {
  std::vector<std::string> uids, takes, drops;
  bool json = false, yes = false, noNote = false;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    if (arg == "--json" || arg == "--yes" || arg == "--no-note") {
      (arg == "--json" ? json : arg == "--yes" ? yes : noNote) = true;
      continue;
    }
    std::vector<std::string>* list = arg == "--uid"    ? &uids
                                     : arg == "--take" ? &takes
                                     : arg == "--drop" ? &drops
                                                       : nullptr;
    if (!list) {
      ctx.err << "rolvane merge: unexpected argument \"" << arg << "\" (usage: rolvane [--store PATH] " << kUsage
              << ")\n";
      return 2;
    }
    if (i + 1 >= ctx.args.size()) {
      ctx.err << "rolvane merge: " << arg << " needs a value\n";
      return 2;
    }
    list->push_back(ctx.args[++i]);
  }
  if (uids.size() < 2) {
    ctx.err << "rolvane merge: name two contacts or more with --uid\n";
    return 2;
  }
  if (!json && !yes) {
    ctx.err << "rolvane merge: merging deletes contacts; add --yes to go ahead (or --json to see the plan)\n";
    return 2;
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  std::vector<ABPersonRef> persons;
  if (!personsOfUids(*book, uids, "merge", ctx.err, persons)) return 1;
  // In store order, as the automatic merge takes them.
  std::vector<ABPersonRef> ordered;
  for (const auto& person : book->people())
    if (std::find(persons.begin(), persons.end(), person) != persons.end()) ordered.push_back(person);
  MergePlan plan = planMerge(ordered);
  if (plan.members.size() < 2) {
    ctx.err << "rolvane merge: name two different contacts or more\n";
    return 2;
  }
  plan.othersInNote = !noNote;
  for (const auto& take : takes) {
    const size_t equals = take.rfind('=');
    if (equals == std::string::npos) {
      ctx.err << "rolvane merge: --take needs KEY=UID, not \"" << take << "\"\n";
      return 2;
    }
    const std::string key = take.substr(0, equals), uid = take.substr(equals + 1);
    auto member = std::find_if(plan.members.begin(), plan.members.end(),
                               [&](const ABPersonRef& person) { return person->uniqueId() == uid; });
    if (member == plan.members.end()) {
      ctx.err << "rolvane merge: --take " << take << ": \"" << uid << "\" is not one of the contacts merged\n";
      return 2;
    }
    auto row = std::find_if(plan.singles.begin(), plan.singles.end(), [&](const MergePlan::Single& single) {
      return lower(single.label) == lower(key) || lower(single.property) == lower(key);
    });
    if (row == plan.singles.end()) {
      ctx.err << "rolvane merge: --take " << take << ": no contact merged has a value \"" << key << "\"\n";
      return 2;
    }
    const size_t index = static_cast<size_t>(member - plan.members.begin());
    const bool holds = (*member)->snapshot()->find(row->property) != nullptr;
    takeMergeValue(plan, row->property, holds ? std::optional<size_t>(index) : std::nullopt);
  }
  for (const auto& drop : drops) {
    bool found = false;
    for (auto& value : plan.lists)
      if (value.text == drop) {
        value.kept = false;
        found = true;
      }
    if (!found) {
      ctx.err << "rolvane merge: --drop: no contact merged has the value \"" << drop << "\"\n";
      return 2;
    }
  }
  if (json) {
    ctx.out << planJson(plan).dump(2) << "\n";
    return 0;
  }
  std::vector<std::string> changes;
  std::string error;
  if (!saveMergePlan(*book, plan, &changes, &error)) {
    ctx.err << "rolvane merge: " << error << "; nothing was changed\n";
    return 1;
  }
  for (const auto& line : changes) ctx.out << line << "\n";
  return 0;
}

const CommandRegistration registration("merge", std::string(kUsage) + "   merge contacts into one as you choose",
                                       runMerge);

}  // namespace
