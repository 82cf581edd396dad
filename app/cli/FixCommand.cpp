#include <nlohmann/json.hpp>

#include <algorithm>
#include <fstream>
#include <map>
#include <ostream>
#include <set>

#include "app/cli/CommandRegistry.h"
#include "app/review/FixActions.h"
#include "app/review/FixAll.h"
#include "app/review/ReviewCategories.h"
#include "app/scanner/AllowedNames.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/PhotoLimits.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

namespace Opt = ReviewCategories::Option;

// Answers the delete confirmation with what --yes said.
class CommandLineQuestions : public ReviewQuestions {
 public:
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override { return true; }
};

bool deletesContacts(const std::string& option) {
  return fixOptionDeletesOrMerges(option);
}

// The findings of one condition in a file written by `rolvane scan --json`, as the outline's lists.
// Contacts no longer in the store are left out, and a finding left without its contact (or, for a
// shared address, without anybody to share it with) is told on out. False and *error when the file
// cannot be read or is not such a file.
bool readFindings(const std::string& path, const ScanCondition& condition, const ABAddressBook& book,
                  std::map<std::string, std::vector<ABPersonRef>>& lists, std::vector<SharedEmailRow>& shared,
                  std::vector<SimilarRow>& similar, std::ostream& out, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot read the file";
    return false;
  }
  nlohmann::json json = nlohmann::json::parse(in, nullptr, false);
  if (json.is_discarded() || !json.is_object()) {
    *error = path + ": not the output of rolvane scan --json";
    return false;
  }
  const std::string& key = condition.key;
  const ScanCondition::Lists shape = condition.lists();
  if (!json.contains(key)) return true;
  const nlohmann::json& list = json[key];
  auto gone = [&](const std::string& uid, const std::string& why) { out << uid << ": not fixed, " << why << "\n"; };
  try {
    for (const auto& finding : list) {
      if (shape == ScanCondition::Lists::kSimilarGroups) {
        SimilarRow row{{}, finding.at("Reason").get<std::string>()};
        std::string first;
        for (const auto& member : finding.at("Persons")) {
          std::string uid = member.get<std::string>();
          if (first.empty()) first = uid;
          if (auto person = book.recordForUniqueId(uid)) row.persons.push_back(person);
        }
        if (row.persons.size() < 2)
          gone(first, "its group of similar contacts is no longer in the address book");
        else
          similar.push_back(std::move(row));
        continue;
      }
      if (shape == ScanCondition::Lists::kPersons) {
        std::string uid = finding.get<std::string>();
        if (auto person = book.recordForUniqueId(uid))
          lists[key].push_back(person);
        else
          gone(uid, "it is no longer in the address book");
        continue;
      }
      std::string uid = finding.at("SearchedPerson").get<std::string>();
      auto searched = book.recordForUniqueId(uid);
      if (!searched) {
        gone(uid, "it is no longer in the address book");
        continue;
      }
      SharedEmailRow row{searched, {}, finding.at("DuplicateEmailType").get<std::string>()};
      for (const auto& match : finding.at("MatchPersonsArray"))
        if (auto other = book.recordForUniqueId(match.get<std::string>())) row.matchPersons.push_back(other);
      if (row.matchPersons.empty())
        gone(uid, "nobody it shared an address with is in the address book any more");
      else
        shared.push_back(std::move(row));
    }
  } catch (const nlohmann::json::exception&) {
    *error = path + ": the findings of \"" + key + "\" are not as rolvane scan --json writes them";
    return false;
  }
  return true;
}

int runFix(CommandContext& ctx) {
  // The allowed titles and suffixes are those the user keeps in the window's preferences.
  AllowedNames::use(AllowedNames::fromSettingsFile(AllowedNames::settingsFile()));
  PhotoLimits::use(PhotoLimits::fromSettingsFile(AllowedNames::settingsFile()));
  std::string conditionName, option, findingsPath;
  std::string region = PhoneNumbers::localeRegion();
  std::set<std::string> uids;
  bool yes = false;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    auto value = [&](const char* flag) -> const std::string* {
      if (i + 1 >= ctx.args.size()) {
        ctx.err << "rolvane fix: " << flag << " needs a value\n";
        return nullptr;
      }
      return &ctx.args[++i];
    };
    if (arg == "--condition") {
      auto v = value("--condition");
      if (!v) return 2;
      conditionName = *v;
    } else if (arg == "--option") {
      auto v = value("--option");
      if (!v) return 2;
      option = *v;
    } else if (arg == "--uid") {
      auto v = value("--uid");
      if (!v) return 2;
      uids.insert(*v);
    } else if (arg == "--findings") {
      auto v = value("--findings");
      if (!v) return 2;
      findingsPath = *v;
    } else if (arg == "--region") {
      auto v = value("--region");
      if (!v) return 2;
      if (!regionArgument(*v, "fix", ctx.err, region)) return 2;
    } else if (arg == "--yes") {
      yes = true;
    } else {
      ctx.err << "rolvane fix: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  const ScanCondition* condition = scanConditionNamed(conditionName);
  if (!condition) {
    ctx.err << "rolvane fix: unknown condition \"" << conditionName << "\"\n";
    return 2;
  }
  const auto* category = ReviewCategories::byConditionKey(condition->key);
  const auto& options = category->matrix->options;
  if (std::find(options.begin(), options.end(), option) == options.end()) {
    ctx.err << "rolvane fix: \"" << option << "\" is not an option of \"" << conditionName << "\" (options:";
    for (const auto& o : options) ctx.err << " \"" << o << "\"";
    ctx.err << ")\n";
    return 2;
  }
  if (option == Opt::kEditInContacts) {
    ctx.err << "rolvane fix: \"Edit in Contacts\" needs the application window\n";
    return 2;
  }
  if (deletesContacts(option) && !yes) {
    ctx.err << "rolvane fix: \"" << option << "\" deletes contacts; add --yes to go ahead\n";
    return 2;
  }
  if ((option == Opt::kRemovePhoto || option == Opt::kRemovePhotoFromContact) && !yes) {
    ctx.err << "rolvane fix: \"" << option << "\" removes photos; add --yes to go ahead\n";
    return 2;
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;

  ReviewOutline outline;
  if (findingsPath.empty()) {
    ScanAddressBook scanner(*book);
    scanner.setRegion(region);
    outline.setOutlineViewDataSouce(scanner.scan({conditionName}));
    if (!outline.category(category->title)) {
      ctx.out << "Nothing to fix: " << kNothingFoundMessage << "\n";
      return 0;
    }
  } else {
    // Findings of an earlier scan: each is checked against the store as it is now before it is fixed.
    std::map<std::string, std::vector<ABPersonRef>> lists;
    std::vector<SharedEmailRow> shared;
    std::vector<SimilarRow> similar;
    std::string error;
    if (!readFindings(findingsPath, *condition, *book, lists, shared, similar, ctx.out, &error)) {
      ctx.err << "rolvane fix: " << error << "\n";
      return 2;
    }
    outline.setOutlineViewDataSouce(lists, shared, similar);
    outline.setRegion(region);
  }
  CommandLineQuestions questions;
  FixAllOutcome outcome = fixAllInCategory(outline, *book, *category, option, questions, uids);
  for (const auto& line : outcome.changes) ctx.out << line << "\n";
  const int fixed = outcome.fixed;
  std::string errors;
  for (const auto& error : outcome.errors) errors += error + "\n";
  ctx.out << "Fixed " << fixed << " finding(s) of \"" << conditionName << "\" with \"" << option << "\"\n";
  if (!errors.empty()) {
    ctx.err << "rolvane fix: " << errors;
    return 1;
  }
  return 0;
}

// The conditions and their options, from the table.
std::string optionsHelp() {
  std::string text = "Conditions (NAME for --condition) and their options (TITLE for --option):\n";
  for (const auto& condition : scanConditions()) {
    text += "  \"" + condition.name + "\":";
    if (const auto* category = ReviewCategories::byConditionKey(condition.key))
      for (size_t o = 0; o < category->fixes.size(); ++o)
        text += std::string(o ? "," : "") + " \"" + category->fixes[o].title + "\"";
    text += "\n";
  }
  return text;
}

const CommandRegistration registration(
    "fix", "fix --condition NAME --option \"TITLE\" [--uid UID]... [--findings SCAN.json] [--region CC] [--yes]",
    runFix, optionsHelp);

}  // namespace
