#include <nlohmann/json.hpp>

#include <ostream>

#include "app/cli/CommandRegistry.h"
#include "app/review/PersonNames.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"

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
  // The store is read once as it is kept, without opening every person: a scan only reads.
  std::optional<ScanSnapshot> snapshot;
  if (!ctx.readStoreWith([&](const std::filesystem::path& path, std::string* error) {
        snapshot = ScanSnapshot::read(path, error);
        return snapshot.has_value();
      }))
    return 1;
  // Persons are reported by their index in the snapshot: a person is made only to name it.
  const ScanFindings findings = ScanAddressBook::scan(*snapshot, names, region);
  if (findings.empty()) {
    if (json) ctx.out << "{}\n";
    ctx.err << kNothingFoundMessage << "\n";
    return 0;
  }
  auto uid = [&](size_t i) { return std::string(*snapshot->values[i].uid); };
  auto name = [&](size_t i) { return PersonNames::rowName(*snapshot->person(i)); };
  if (json) {
    nlohmann::ordered_json out = nlohmann::ordered_json::object();
    for (const auto& found : findings.lists) {
      nlohmann::ordered_json list = nlohmann::ordered_json::array();
      if (found.key == "SimilarContacts") {
        for (const auto& group : found.similar) {
          nlohmann::ordered_json persons = nlohmann::ordered_json::array();
          for (size_t person : group.members) persons.push_back(uid(person));
          list.push_back({{"Persons", persons}, {"Reason", group.reason}});
        }
      } else if (found.key == "ShareEmail") {
        for (const auto& finding : found.shared) {
          nlohmann::ordered_json matches = nlohmann::ordered_json::array();
          for (size_t person : finding.matches) matches.push_back(uid(person));
          list.push_back({{"SearchedPerson", uid(finding.searched)},
                          {"MatchPersonsArray", matches},
                          {"DuplicateEmailType", finding.label}});
        }
      } else {
        for (size_t person : found.persons) list.push_back(uid(person));
      }
      out[found.key] = list;
    }
    ctx.out << out.dump(2) << "\n";
    return 0;
  }
  for (const auto& found : findings.lists) {
    const ScanCondition* condition = nullptr;
    for (const auto& c : scanConditions())
      if (c.key == found.key) condition = &c;
    size_t count = found.key == "ShareEmail"        ? found.shared.size()
                   : found.key == "SimilarContacts" ? found.similar.size()
                                                    : found.persons.size();
    ctx.out << condition->name << ": " << count << "\n";
    if (found.key == "SimilarContacts") {
      for (const auto& group : found.similar) {
        ctx.out << " ";
        for (size_t p = 0; p < group.members.size(); ++p) ctx.out << (p ? ", " : " ") << name(group.members[p]);
        ctx.out << ": " << group.reason << "\n";
      }
    } else if (found.key == "ShareEmail") {
      for (const auto& finding : found.shared) {
        ctx.out << "  " << name(finding.searched) << " shares an address with";
        for (size_t other : finding.matches) ctx.out << " " << name(other) << ";";
        ctx.out << "\n";
      }
    } else {
      for (size_t person : found.persons) ctx.out << "  " << name(person) << "\n";
    }
  }
  return 0;
}

const CommandRegistration registration("scan", "scan [--condition NAME]... [--region CC] [--json]", runScan);

}  // namespace
