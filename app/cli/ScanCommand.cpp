#include <nlohmann/json.hpp>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/cli/CommandRegistry.h"
#include "app/review/PersonNames.h"
#include "app/scanner/AllowedNames.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/PhotoLimits.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "platform/text/ByteWords.h"
#include "platform/threads/ParallelFor.h"

namespace {

// A JSON string as nlohmann's dump writes it. Most texts here are unique ids of letters, digits and
// dashes, written at once; any other text is escaped by nlohmann itself.
void appendJsonText(std::string& out, std::string_view text) {
  // Eight bytes at a time: whether any is below 0x20, 0x7f or above, '"' or '\\' (each test is exact
  // about whether such a byte is there, not about which).
  size_t i = 0;
  bool plain = true;
  for (; plain && i + 8 <= text.size(); i += 8) {
    const std::uint64_t word = ByteWords::load(text.data() + i);
    plain = !(ByteWords::hasBelow(word, 0x20) || (word & ByteWords::kTopBits) || ByteWords::has(word, 0x7f) ||
              ByteWords::has(word, '"') || ByteWords::has(word, '\\'));
  }
  for (; plain && i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    plain = !(c < 0x20 || c >= 0x7f || c == '"' || c == '\\');
  }
  if (!plain) {
    out += nlohmann::ordered_json(std::string(text)).dump();
    return;
  }
  out += '"';
  out += text;
  out += '"';
}

// What the list of a condition key holds.
ScanCondition::Lists listsOf(const std::string& key) {
  const ScanCondition* condition = scanConditionKeyed(key);
  return condition ? condition->lists() : ScanCondition::Lists::kPersons;
}

// One list of the findings as nlohmann's dump(2) writes it at the second level: a list of persons'
// unique ids, of shared e-mails or of similar groups.
std::string listAsJson(const ScanFindings::List& found, const ScanSnapshot& snapshot) {
  std::string out;
  // About what it takes: a unique id is 36 characters, with its quotes, indent and comma 48.
  constexpr size_t kPerPerson = 48;
  size_t expected = found.persons.size() * kPerPerson;
  for (const auto& finding : found.shared) expected += (finding.matches.size() + 1) * kPerPerson + 100;
  for (const auto& group : found.similar) expected += group.members.size() * kPerPerson + group.reason.size() + 60;
  out.reserve(expected + 16);
  // The persons in the order their ids are written: the ids lie far apart in memory, so each one's
  // values and bytes are asked for a few ids ahead of writing it.
  std::vector<size_t> order = found.persons;
  for (const auto& finding : found.shared) {
    order.push_back(finding.searched);
    order.insert(order.end(), finding.matches.begin(), finding.matches.end());
  }
  for (const auto& group : found.similar) order.insert(order.end(), group.members.begin(), group.members.end());
  size_t written = 0;
  auto uid = [&](size_t i) {
    constexpr size_t kValuesAhead = 16, kBytesAhead = 8;
    if (written + kValuesAhead < order.size()) __builtin_prefetch(&snapshot.record(order[written + kValuesAhead]));
    if (written + kBytesAhead < order.size())
      __builtin_prefetch(snapshot.record(order[written + kBytesAhead]).uid->data());
    ++written;
    appendJsonText(out, *snapshot.record(i).uid);
  };
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
  const ScanCondition::Lists lists = listsOf(found.key);
  if (lists == ScanCondition::Lists::kSimilarGroups) {
    array(found.similar.size(), 2, [&](size_t g) {
      const auto& group = found.similar[g];
      out += "{\n      \"Persons\": ";
      array(group.members.size(), 6, [&](size_t m) { uid(group.members[m]); });
      out += ",\n      \"Reason\": ";
      appendJsonText(out, group.reason);
      out += "\n    }";
    });
  } else if (lists == ScanCondition::Lists::kSharedEmails) {
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
  return out;
}

// The findings as nlohmann's dump(2) writes them, written straight from the findings: an object of
// condition key -> list. The lists are written on every core, each on its own, then joined in order.
std::string findingsAsJson(const ScanFindings& findings, const ScanSnapshot& snapshot) {
  std::vector<std::string> lists(findings.lists.size());
  std::atomic<size_t> next{0};
  parallelFor(lists.size(), 1, [&](size_t, size_t) {
    for (size_t l = next++; l < lists.size(); l = next++) lists[l] = listAsJson(findings.lists[l], snapshot);
  });
  size_t size = 8;
  for (size_t l = 0; l < lists.size(); ++l) size += lists[l].size() + findings.lists[l].key.size() + 8;
  std::string out;
  out.reserve(size);
  out += "{\n";
  for (size_t l = 0; l < lists.size(); ++l) {
    if (l) out += ",\n";
    out += "  ";
    appendJsonText(out, findings.lists[l].key);
    out += ": ";
    out += lists[l];
  }
  out += "\n}\n";
  return out;
}

int runScan(CommandContext& ctx) {
  // The allowed titles and suffixes are those the user keeps in the window's preferences.
  AllowedNames::use(AllowedNames::fromSettingsFile(AllowedNames::settingsFile()));
  PhotoLimits::use(PhotoLimits::fromSettingsFile(AllowedNames::settingsFile()));
  std::vector<std::string> names;
  bool json = false;
  std::optional<std::string> group;
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
    } else if (arg == "--group") {
      if (i + 1 >= ctx.args.size()) {
        ctx.err << "rolvane scan: --group needs the name of a group (see rolvane group list)\n";
        return 2;
      }
      group = ctx.args[++i];
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
  // The store is read once as it is kept, without opening every person: a scan only reads. The
  // conditions about one person are tested on each batch of the store as soon as it is read.
  const std::vector<PersonTest> tests = ScanFinders::personTests(names);
  ScanFinders::PersonsTested tested{std::vector<std::vector<size_t>>(tests.size()), 0};
  std::optional<ScanSnapshot> snapshot;
  if (!ctx.readStoreWith([&](const std::filesystem::path& path, std::string* error) {
        snapshot =
            ScanSnapshot::read(path, error, [&](const std::vector<PersonValues>& values, size_t begin, size_t end) {
              if (group) return;  // the persons of the group are known once all is read
              ScanFinders::addPersonsMeetingEach(values, begin, end, tests, tested.found);
              tested.upTo = end;
            });
        return snapshot.has_value();
      }))
    return 1;
  // One group's members alone.
  if (group && !snapshot->keepGroup(*group)) {
    ctx.err << "rolvane scan: there is no group named \"" << *group << "\" (see rolvane group list)\n";
    return 1;
  }
  // Persons are reported by their index in the snapshot: a person is made only to name it.
  const ScanFindings findings = ScanAddressBook::scan(*snapshot, names, region, {}, group ? nullptr : &tested);
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
    const ScanCondition* condition = scanConditionKeyed(found.key);
    const ScanCondition::Lists lists = condition->lists();
    size_t count = lists == ScanCondition::Lists::kSharedEmails    ? found.shared.size()
                   : lists == ScanCondition::Lists::kSimilarGroups ? found.similar.size()
                                                                   : found.persons.size();
    ctx.out << condition->name << ": " << count << "\n";
    if (lists == ScanCondition::Lists::kSimilarGroups) {
      for (const auto& group : found.similar) {
        ctx.out << " ";
        for (size_t p = 0; p < group.members.size(); ++p) ctx.out << (p ? ", " : " ") << name(group.members[p]);
        ctx.out << ": " << group.reason << "\n";
      }
    } else if (lists == ScanCondition::Lists::kSharedEmails) {
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

// The conditions, from the table: each one's name for --condition and its key in --json.
std::string conditionsHelp() {
  std::string text = "Conditions (NAME for --condition, its key in --json):\n";
  for (const auto& condition : scanConditions()) text += "  \"" + condition.name + "\"  " + condition.key + "\n";
  return text;
}

const CommandRegistration registration("scan", "scan [--condition NAME]... [--group NAME] [--region CC] [--json]",
                                       runScan, conditionsHelp);

}  // namespace
