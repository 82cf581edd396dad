#include <algorithm>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/browser/BulkEdit.h"
#include "app/browser/ContactCommit.h"
#include "app/cli/CommandRegistry.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABGroups.h"

namespace {

constexpr const char* kUsage =
    "edit --uid UID... --key KEY --value TEXT | edit --all|--uid UID... --key KEY --replace OLD --with NEW "
    "[--regex]";

std::string quoted(const std::optional<std::string>& text) {
  return text ? "\"" + *text + "\"" : std::string("(nothing)");
}

// One table cell edit from the command line: the same commit as the contact table's, then the
// value the contact now shows under the key (an empty line when the edit removed it). With several
// contacts (--uid more than once, or --all) or --replace, the edit of many contacts at once: every
// contact's change is printed, and all of them are one change set.
int runEdit(CommandContext& ctx) {
  std::vector<std::string> uids;
  std::optional<std::string> key, value, find, with;
  bool all = false, regex = false;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    if (arg == "--all" || arg == "--regex") {
      (arg == "--all" ? all : regex) = true;
      continue;
    }
    std::optional<std::string>* target = arg == "--key"       ? &key
                                         : arg == "--value"   ? &value
                                         : arg == "--replace" ? &find
                                         : arg == "--with"    ? &with
                                                              : nullptr;
    if (!target && arg != "--uid") {
      ctx.err << "rolvane edit: unexpected argument \"" << arg << "\" (usage: rolvane [--store PATH] " << kUsage
              << ")\n";
      return 2;
    }
    if (i + 1 >= ctx.args.size()) {
      ctx.err << "rolvane edit: " << arg << " needs a value\n";
      return 2;
    }
    if (target)
      *target = ctx.args[++i];
    else
      uids.push_back(ctx.args[++i]);
  }
  auto missing = [&](const char* flag) {
    ctx.err << "rolvane edit: " << flag << " is missing (usage: rolvane [--store PATH] " << kUsage << ")\n";
    return 2;
  };
  if (uids.empty() && !all) return missing("--uid");
  if (!key) return missing("--key");
  if (find.has_value() != with.has_value()) return missing(find ? "--with" : "--replace");
  if (!find && !value) return missing("--value");
  if (find && value) {
    ctx.err << "rolvane edit: --value and --replace cannot go together\n";
    return 2;
  }
  if (all && !uids.empty()) {
    ctx.err << "rolvane edit: --all and --uid cannot go together\n";
    return 2;
  }
  if (regex && !find) {
    ctx.err << "rolvane edit: --regex goes with --replace\n";
    return 2;
  }
  if (*key == "FullName" || *key == "Person") {
    ctx.err << "rolvane edit: \"" << *key << "\" cannot be edited"
            << (*key == "FullName" ? "; edit \"First Name\" or \"Last Name\"" : "") << "\n";
    return 2;
  }
  if (!ContactCommit::isCommittableKey(*key)) {
    ctx.err << "rolvane edit: unknown key \"" << *key << "\"\n";
    return 2;
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  std::vector<ABPersonRef> persons;
  if (all) {
    // Group cards are no contacts to edit.
    persons = ABGroups::personsOnly(book->people());
  } else {
    if (!personsOfUids(*book, uids, "edit", ctx.err, persons)) return 1;
  }
  if (persons.size() == 1 && !all && !find) {
    ABPersonRef person = persons.front();
    CommitResult result = ContactCommit::commitContactsToAddressBookCommitValueWithPerson(*key, *value, person, *book);
    if (!result.ok()) {
      ctx.err << "rolvane edit: " << (result.reverted ? "cannot save the address book: " : "") << result.error
              << "; nothing was changed\n";
      return 1;
    }
    ctx.out << prasePerson(person).textOr(*key) << "\n";
    return 0;
  }
  std::string error;
  std::vector<BulkEdit::Change> changes = find ? BulkEdit::planReplace(persons, *key, *find, *with, regex, &error)
                                               : BulkEdit::planValue(persons, *key, *value);
  if (!error.empty()) {
    ctx.err << "rolvane edit: " << error << "\n";
    return 2;
  }
  const std::string description = find ? BulkEdit::replaceDescription(*key, *find, changes.size())
                                       : BulkEdit::valueDescription(*key, changes.size());
  BulkEdit::Outcome outcome = BulkEdit::apply(*book, *key, changes, description);
  if (!outcome.ok()) {
    ctx.err << "rolvane edit: " << outcome.error << "; nothing was changed\n";
    return 1;
  }
  for (const auto& change : outcome.applied)
    ctx.out << ABAddressBook::nameForHistory(*change.person) << " <" << change.person->uniqueId() << ">: " << *key
            << " " << quoted(change.before) << " -> "
            << quoted(change.after.empty() ? std::nullopt : std::optional(change.after)) << "\n";
  for (const auto& line : outcome.stale) ctx.out << line << "\n";
  ctx.out << "Changed " << outcome.applied.size() << (outcome.applied.size() == 1 ? " contact" : " contacts") << "\n";
  return 0;
}

}  // namespace

namespace {

const CommandRegistration registration("edit", std::string(kUsage) + "   change a value of one or many contacts",
                                       runEdit);

}  // namespace
