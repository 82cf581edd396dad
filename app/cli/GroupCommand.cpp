// group: the groups of the store (categories and group cards) on the command line.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "app/cli/CommandRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABGroups.h"

namespace {

constexpr const char* kUsage =
    "group list [--json] | group add NAME --uid UID... | group remove NAME --uid UID... | group rename OLD NEW | "
    "group delete NAME --yes";

int usageError(CommandContext& ctx, const std::string& problem) {
  ctx.err << "rolvane group: " << problem << " (usage: rolvane [--store PATH] " << kUsage << ")\n";
  return 2;
}

int list(CommandContext& ctx, bool json) {
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  const ABGroups::Index index(book->people());
  if (json) {
    nlohmann::ordered_json groups = nlohmann::ordered_json::array();
    for (const auto& group : index.groups()) {
      nlohmann::ordered_json item;
      item["Name"] = group.name;
      item["Members"] = group.members;
      item["GroupCards"] = group.cards;
      groups.push_back(std::move(item));
    }
    nlohmann::ordered_json all;
    all["Groups"] = std::move(groups);
    all["NotInAnyGroup"] = index.withoutGroup();
    ctx.out << all.dump(2) << "\n";
    return 0;
  }
  for (const auto& group : index.groups()) {
    ctx.out << ABGroups::shownName(group.name) << "\t" << group.members.size()
            << (group.members.size() == 1 ? " contact" : " contacts");
    if (!group.cards.empty())
      ctx.out << " (" << group.cards.size() << (group.cards.size() == 1 ? " group card" : " group cards") << ")";
    ctx.out << "\n";
  }
  ctx.out << "Not in any group\t" << index.withoutGroup() << (index.withoutGroup() == 1 ? " contact" : " contacts")
          << "\n";
  return 0;
}

int report(CommandContext& ctx, const ABGroups::Change& change, const std::string& nothing) {
  if (!change.ok()) {
    ctx.err << "rolvane group: " << change.error << "; nothing was changed\n";
    return 1;
  }
  for (const auto& line : change.changes) ctx.out << line << "\n";
  if (change.contacts == 0) ctx.out << nothing << "\n";
  return 0;
}

int runGroup(CommandContext& ctx) {
  const auto& args = ctx.args;
  if (args.empty()) return usageError(ctx, "a subcommand is missing");
  const std::string& what = args[0];
  if (what == "list") {
    bool json = false;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] != "--json") return usageError(ctx, "unexpected argument \"" + args[i] + "\"");
      json = true;
    }
    return list(ctx, json);
  }
  if (what == "add" || what == "remove") {
    if (args.size() < 2 || args[1].rfind("--", 0) == 0) return usageError(ctx, what + " needs the group's name");
    std::vector<std::string> uids;
    for (size_t i = 2; i < args.size(); ++i) {
      if (args[i] != "--uid") return usageError(ctx, "unexpected argument \"" + args[i] + "\"");
      if (i + 1 >= args.size()) return usageError(ctx, "--uid needs a value");
      uids.push_back(args[++i]);
    }
    if (uids.empty()) return usageError(ctx, "--uid is missing");
    ABAddressBook* book = ctx.openStore();
    if (!book) return 1;
    std::vector<ABPersonRef> persons;
    if (!personsOfUids(*book, uids, "group", ctx.err, persons, "; nothing was changed")) return 1;
    if (what == "add")
      return report(ctx, ABGroups::addToGroup(*book, args[1], persons),
                    "Every contact named is in " + args[1] + " already; nothing was changed");
    return report(ctx, ABGroups::removeFromGroup(*book, args[1], persons),
                  "No contact named is in " + args[1] + "; nothing was changed");
  }
  if (what == "rename") {
    if (args.size() != 3) return usageError(ctx, "rename needs the old and the new name");
    ABAddressBook* book = ctx.openStore();
    if (!book) return 1;
    if (!ABGroups::Index(book->people()).find(args[1])) {
      ctx.err << "rolvane group: there is no group named \"" << args[1] << "\"; nothing was changed\n";
      return 1;
    }
    return report(ctx, ABGroups::renameGroup(*book, args[1], args[2]), "Nothing to rename; nothing was changed");
  }
  if (what == "delete") {
    bool yes = false;
    std::string name;
    for (size_t i = 1; i < args.size(); ++i) {
      if (args[i] == "--yes")
        yes = true;
      else if (name.empty() && args[i].rfind("--", 0) != 0)
        name = args[i];
      else
        return usageError(ctx, "unexpected argument \"" + args[i] + "\"");
    }
    if (name.empty()) return usageError(ctx, "delete needs the group's name");
    if (!yes) {
      ctx.err << "rolvane group: deleting the group \"" << name
              << "\" needs --yes (its group cards go to the trash, the contacts stay); nothing was changed\n";
      return 2;
    }
    ABAddressBook* book = ctx.openStore();
    if (!book) return 1;
    if (!ABGroups::Index(book->people()).find(name)) {
      ctx.err << "rolvane group: there is no group named \"" << name << "\"; nothing was changed\n";
      return 1;
    }
    return report(ctx, ABGroups::deleteGroup(*book, name), "Nothing to delete; nothing was changed");
  }
  return usageError(ctx, "unknown subcommand \"" + what + "\"");
}

const CommandRegistration registration("group", std::string(kUsage) + "   list and change the groups of contacts",
                                       runGroup);

}  // namespace
