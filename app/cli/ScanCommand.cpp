#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <string_view>

#include "app/cli/CommandRegistry.h"
#include "app/review/PersonNames.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"

namespace {

// A JSON string as nlohmann's dump writes it. Most texts here are unique ids of letters, digits and
// dashes, written at once; any other text is escaped by nlohmann itself.
void appendJsonText(std::string& out, std::string_view text) {
  for (unsigned char c : text) {
    if (c < 0x20 || c >= 0x7f || c == '"' || c == '\\') {
      out += nlohmann::ordered_json(std::string(text)).dump();
      return;
    }
  }
  out += '"';
  out += text;
  out += '"';
}

// The findings as nlohmann's dump(2) writes them, written straight from the findings: an object of
// condition key -> list; a list of persons' unique ids, of shared e-mails or of similar groups.
std::string findingsAsJson(const ScanFindings& findings, const ScanSnapshot& snapshot) {
  std::string out;
  auto uid = [&](size_t i) { appendJsonText(out, *snapshot.values[i].uid); };
  // Items of an array at an indent: "[\n" items "\n" closing "]", or "[]" when there are none.
  auto array = [&](size_t count, int indent, auto&& item) {
    if (count == 0) {
      out += "[]";
      return;
    }
    out += "[\n";
    for (size_t i = 0; i < count; ++i) {
      if (i) out += ",\n";
      out.append(indent + 2, ' ');
      item(i);
    }
    out += '\n';
    out.append(indent, ' ');
    out += ']';
  };
  out += "{\n";
  bool first = true;
  for (const auto& found : findings.lists) {
    if (!first) out += ",\n";
    first = false;
    out += "  ";
    appendJsonText(out, found.key);
    out += ": ";
    if (found.key == "SimilarContacts") {
      array(found.similar.size(), 2, [&](size_t g) {
        const auto& group = found.similar[g];
        out += "{\n      \"Persons\": ";
        array(group.members.size(), 6, [&](size_t m) { uid(group.members[m]); });
        out += ",\n      \"Reason\": ";
        appendJsonText(out, group.reason);
        out += "\n    }";
      });
    } else if (found.key == "ShareEmail") {
      array(found.shared.size(), 2, [&](size_t f) {
        const auto& finding = found.shared[f];
        out += "{\n      \"SearchedPerson\": ";
        uid(finding.searched);
        out += ",\n      \"MatchPersonsArray\": ";
        array(finding.matches.size(), 6, [&](size_t m) { uid(finding.matches[m]); });
        out += ",\n      \"DuplicateEmailType\": ";
        appendJsonText(out, finding.label);
        out += "\n    }";
      });
    } else {
      array(found.persons.size(), 2, [&](size_t p) { uid(found.persons[p]); });
    }
  }
  out += "\n}\n";
  return out;
}

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
  auto name = [&](size_t i) { return PersonNames::rowName(*snapshot->person(i)); };
  if (json) {
    ctx.out << findingsAsJson(findings, *snapshot);
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
