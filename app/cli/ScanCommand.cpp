#include <nlohmann/json.hpp>

#include <ostream>

#include "app/cli/CommandRegistry.h"
#include "app/review/PersonNames.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

int runScan(CommandContext& ctx) {
  std::vector<std::string> names;
  bool json = false;
  std::string region = PhoneNumbers::localeRegion();
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--region") {
      if (i + 1 >= ctx.args.size()) {
        ctx.err << "rolvane scan: --region needs a region code such as DE or US\n";
        return 2;
      }
      if (!regionArgument(ctx.args[++i], "scan", ctx.err, region)) return 2;
    } else if (arg == "--condition") {
      if (i + 1 >= ctx.args.size()) {
        ctx.err << "rolvane scan: --condition needs a condition name\n";
        return 2;
      }
      const std::string& name = ctx.args[++i];
      if (!scanConditionNamed(name)) {
        ctx.err << "rolvane scan: unknown condition \"" << name << "\" (known: ";
        auto all = allConditionNames();
        for (size_t n = 0; n < all.size(); ++n) ctx.err << (n ? ", " : "") << '"' << all[n] << '"';
        ctx.err << ")\n";
        return 2;
      }
      names.push_back(name);
    } else {
      ctx.err << "rolvane scan: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  if (names.empty()) names = allConditionNames();
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;

  ScanAddressBook scanner(*book);
  scanner.setRegion(region);
  ScanResult result = scanner.scan(names);
  if (result.empty()) {
    if (json) ctx.out << "{}\n";
    ctx.err << kNothingFoundMessage << "\n";
    return 0;
  }
  if (json) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (const auto& key : result.keys) {
      nlohmann::ordered_json list = nlohmann::ordered_json::array();
      if (key == "SimilarContacts") {
        for (const auto& group : result.similarContacts) {
          nlohmann::ordered_json persons = nlohmann::ordered_json::array();
          for (const auto& person : group.Persons) persons.push_back(person->uniqueId());
          list.push_back({{"Persons", persons}, {"Reason", group.Reason}});
        }
      } else if (key == "ShareEmail") {
        for (const auto& finding : result.shareEmail) {
          nlohmann::ordered_json matches = nlohmann::ordered_json::array();
          for (const auto& person : finding.MatchPersonsArray) matches.push_back(person->uniqueId());
          list.push_back({{"SearchedPerson", finding.SearchedPerson->uniqueId()},
                          {"MatchPersonsArray", matches},
                          {"DuplicateEmailType", finding.DuplicateEmailType}});
        }
      } else {
        for (const auto& person : result.personsFor(key)) list.push_back(person->uniqueId());
      }
      out[key] = list;
    }
    ctx.out << out.dump(2) << "\n";
    return 0;
  }
  for (const auto& key : result.keys) {
    const ScanCondition* condition = nullptr;
    for (const auto& c : scanConditions())
      if (c.key == key) condition = &c;
    size_t count = key == "ShareEmail"        ? result.shareEmail.size()
                   : key == "SimilarContacts" ? result.similarContacts.size()
                                              : result.personsFor(key).size();
    ctx.out << condition->name << ": " << count << "\n";
    if (key == "SimilarContacts") {
      for (const auto& group : result.similarContacts) {
        ctx.out << " ";
        for (size_t p = 0; p < group.Persons.size(); ++p)
          ctx.out << (p ? ", " : " ") << PersonNames::rowName(*group.Persons[p]);
        ctx.out << ": " << group.Reason << "\n";
      }
    } else if (key == "ShareEmail") {
      for (const auto& finding : result.shareEmail) {
        ctx.out << "  " << PersonNames::rowName(*finding.SearchedPerson) << " shares an address with";
        for (const auto& other : finding.MatchPersonsArray) ctx.out << " " << PersonNames::rowName(*other) << ";";
        ctx.out << "\n";
      }
    } else {
      for (const auto& person : result.personsFor(key)) ctx.out << "  " << PersonNames::rowName(*person) << "\n";
    }
  }
  return 0;
}

const CommandRegistration registration("scan", "scan [--condition NAME]... [--region CC] [--json]", runScan);

}  // namespace
