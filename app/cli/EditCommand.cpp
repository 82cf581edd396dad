#include <optional>
#include <ostream>
#include <string>

#include "app/browser/ContactCommit.h"
#include "app/cli/CommandRegistry.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

constexpr const char* kUsage = "edit --uid UID --key KEY --value TEXT";

// One table cell edit from the command line: the same commit as the contact table's, then the
// value the contact now shows under the key (an empty line when the edit removed it).
int runEdit(CommandContext& ctx) {
  std::optional<std::string> uid, key, value;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    std::optional<std::string>* target = arg == "--uid"     ? &uid
                                         : arg == "--key"   ? &key
                                         : arg == "--value" ? &value
                                                            : nullptr;
    if (arg == "--help" || arg == "-h") {
      ctx.out << "usage: rolvane [--store PATH] " << kUsage
              << "\n\nApplies one edit to one contact exactly as editing a cell of the contact table does, saves"
                 "\nthe store and prints the contact's new value for the key. KEY is a column of the table"
                 "\n(\"First Name\", \"Home Email\", \"Work City\", \"Twitter\", ...); a birthday is written"
                 "\nYYYY-MM-DD. An empty TEXT removes the value the contact shows under the key.\n";
      return 0;
    }
    if (!target) {
      ctx.err << "rolvane edit: unexpected argument \"" << arg << "\" (usage: rolvane [--store PATH] " << kUsage
              << ")\n";
      return 2;
    }
    if (i + 1 >= ctx.args.size()) {
      ctx.err << "rolvane edit: " << arg << " needs a value\n";
      return 2;
    }
    *target = ctx.args[++i];
  }
  for (auto [given, flag] : {std::pair{&uid, "--uid"}, {&key, "--key"}, {&value, "--value"}}) {
    if (!*given) {
      ctx.err << "rolvane edit: " << flag << " is missing (usage: rolvane [--store PATH] " << kUsage << ")\n";
      return 2;
    }
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
  ABPersonRef person = book->recordForUniqueId(*uid);
  if (!person) {
    ctx.err << "rolvane edit: no contact has the unique id \"" << *uid << "\"\n";
    return 1;
  }
  CommitResult result = ContactCommit::commitContactsToAddressBookCommitValueWithPerson(*key, *value, person, *book);
  if (!result.ok()) {
    ctx.err << "rolvane edit: " << (result.reverted ? "cannot save the address book: " : "") << result.error
            << "; nothing was changed\n";
    return 1;
  }
  ctx.out << prasePerson(person).textOr(*key) << "\n";
  return 0;
}

const CommandRegistration registration("edit", std::string(kUsage) + "   change one value of one contact", runEdit);

}  // namespace
