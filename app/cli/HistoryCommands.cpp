// history, undo, redo, trash and restore: the store's change sets and trash on the command line.
#include <nlohmann/json.hpp>

#include <ctime>
#include <ostream>
#include <stdexcept>

#include "app/cli/CommandRegistry.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

constexpr const char* kHistoryUsage =
    "history [--json] [--change ID]   list the changes made to the store, newest first, or the contacts of one";
constexpr const char* kUndoUsage =
    "undo [--to ID]               undo the last change, or change ID and every later one";
constexpr const char* kRedoUsage = "redo                         redo the change undone last";
constexpr const char* kTrashUsage = "trash [--json] | trash --empty --yes   list or empty the removed contacts";
constexpr const char* kRestoreUsage = "restore UID...               put contacts back from the trash";

// "2026-12-08T19:30:05Z"
std::string isoTime(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  gmtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

// "2026-12-08 20:30" in local time.
std::string localTime(std::int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &tm);
  return text;
}

std::string nameOf(const ABPerson& person) {
  return ABAddressBook::nameForHistory(person);
}

std::string inQuotes(const std::string& text) {
  return "\u201C" + text + "\u201D";
}

// Prints the usage when --help is among the arguments.
bool wantsHelp(const CommandContext& ctx, const char* usage) {
  for (const auto& arg : ctx.args) {
    if (arg == "--help" || arg == "-h") {
      ctx.out << "usage: rolvane [--store PATH] " << usage << "\n";
      return true;
    }
  }
  return false;
}

int runHistory(CommandContext& ctx) {
  if (wantsHelp(ctx, kHistoryUsage)) return 0;
  bool json = false;
  std::int64_t one = 0;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    if (arg == "--json") {
      json = true;
    } else if (arg == "--change") {
      const std::string value = i + 1 < ctx.args.size() ? ctx.args[++i] : std::string();
      try {
        size_t used = 0;
        one = std::stoll(value, &used);
        if (used != value.size() || one <= 0) throw std::invalid_argument(value);
      } catch (const std::exception&) {
        ctx.err << "rolvane history: --change needs the id of a change (see rolvane history)\n";
        return 2;
      }
    } else {
      ctx.err << "rolvane history: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  std::vector<ABChangeSet> changes;
  std::string error;
  if (one != 0) {
    // Every contact the change touched, in the order it touched them.
    std::vector<ABChangedContact> contacts;
    if (!book->changeContacts(one, contacts, &error)) {
      ctx.err << "rolvane history: " << error << "\n";
      return 1;
    }
    auto kindName = [](ABChangedContact::Kind kind) {
      switch (kind) {
        case ABChangedContact::Kind::Added:
          return "added";
        case ABChangedContact::Kind::Removed:
          return "removed";
        case ABChangedContact::Kind::Marked:
          return "marked";
        case ABChangedContact::Kind::Changed:
          break;
      }
      return "changed";
    };
    if (json) {
      nlohmann::ordered_json list = nlohmann::ordered_json::array();
      for (const auto& contact : contacts)
        list.push_back({{"uid", contact.uid}, {"name", contact.name}, {"change", kindName(contact.kind)}});
      ctx.out << list.dump(2) << "\n";
      return 0;
    }
    for (const auto& contact : contacts)
      ctx.out << kindName(contact.kind) << "  " << contact.name << " <" << contact.uid << ">\n";
    return 0;
  }
  if (!book->changeHistory(changes, &error)) {
    ctx.err << "rolvane history: cannot read the history: " << error << "\n";
    return 1;
  }
  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& change : changes)
      list.push_back({{"id", change.id},
                      {"time", isoTime(change.time)},
                      {"description", change.description},
                      {"persons", change.persons},
                      {"undone", change.undone}});
    ctx.out << list.dump(2) << "\n";
    return 0;
  }
  if (changes.empty()) ctx.out << "No changes recorded.\n";
  for (const auto& change : changes) {
    ctx.out << change.id << "  " << localTime(change.time) << "  " << change.description << "  (" << change.persons
            << (change.persons == 1 ? " contact)" : " contacts)") << (change.undone ? "  [undone]" : "") << "\n";
  }
  return 0;
}

int runUndo(CommandContext& ctx) {
  if (wantsHelp(ctx, kUndoUsage)) return 0;
  std::int64_t to = 0;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    if (arg == "--to") {
      if (i + 1 >= ctx.args.size()) {
        ctx.err << "rolvane undo: --to needs the id of a change (see rolvane history)\n";
        return 2;
      }
      const std::string& value = ctx.args[++i];
      try {
        size_t used = 0;
        to = std::stoll(value, &used);
        if (used != value.size() || to <= 0) throw std::invalid_argument(value);
      } catch (const std::exception&) {
        ctx.err << "rolvane undo: \"" << value << "\" is not the id of a change (see rolvane history)\n";
        return 2;
      }
    } else {
      ctx.err << "rolvane undo: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  std::vector<ABChangeSet> undone;
  std::string error;
  if (!book->undo(to, to != 0, &undone, &error)) {
    ctx.err << "rolvane undo: " << error << "\n";
    return 1;
  }
  for (const auto& change : undone) ctx.out << "Undid " << change.id << ": " << change.description << "\n";
  return 0;
}

int runRedo(CommandContext& ctx) {
  if (wantsHelp(ctx, kRedoUsage)) return 0;
  if (!ctx.args.empty()) {
    ctx.err << "rolvane redo: unexpected argument \"" << ctx.args[0] << "\"\n";
    return 2;
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  ABChangeSet redone;
  std::string error;
  if (!book->redo(&redone, &error)) {
    ctx.err << "rolvane redo: " << error << "\n";
    return 1;
  }
  ctx.out << "Redid " << redone.id << ": " << redone.description << "\n";
  return 0;
}

int runTrash(CommandContext& ctx) {
  if (wantsHelp(ctx, kTrashUsage)) return 0;
  bool json = false, empty = false, yes = false;
  for (const auto& arg : ctx.args) {
    if (arg == "--json") {
      json = true;
    } else if (arg == "--empty") {
      empty = true;
    } else if (arg == "--yes") {
      yes = true;
    } else {
      ctx.err << "rolvane trash: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  if (empty && !yes) {
    ctx.err << "rolvane trash: --empty removes the contacts in the trash for good; add --yes to go ahead\n";
    return 2;
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  std::string error;
  if (empty) {
    std::int64_t emptied = 0;
    if (!book->emptyTrash(&emptied, &error)) {
      ctx.err << "rolvane trash: cannot empty the trash: " << error << "\n";
      return 1;
    }
    if (emptied == 0)
      ctx.out << "The trash is empty.\n";
    else
      ctx.out << "Removed " << emptied << (emptied == 1 ? " contact" : " contacts")
              << " from the trash for good (with the history that could bring them back).\n";
    return 0;
  }
  std::vector<ABTrashEntry> entries;
  std::vector<ABChangeSet> changes;
  if (!book->trash(entries, &error) || !book->changeHistory(changes, &error)) {
    ctx.err << "rolvane trash: cannot read the trash: " << error << "\n";
    return 1;
  }
  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& entry : entries)
      list.push_back({{"uid", entry.person->uniqueId()},
                      {"name", nameOf(*entry.person)},
                      {"time", isoTime(entry.time)},
                      {"change", entry.changeId}});
    ctx.out << list.dump(2) << "\n";
    return 0;
  }
  if (entries.empty()) ctx.out << "The trash is empty.\n";
  for (const auto& entry : entries) {
    std::string description;
    for (const auto& change : changes)
      if (change.id == entry.changeId) description = change.description;
    ctx.out << entry.person->uniqueId() << "  " << nameOf(*entry.person) << "  removed " << localTime(entry.time)
            << " by change " << entry.changeId << " " << inQuotes(description) << "\n";
  }
  return 0;
}

int runRestore(CommandContext& ctx) {
  if (wantsHelp(ctx, kRestoreUsage)) return 0;
  if (ctx.args.empty()) {
    ctx.err << "rolvane restore: no unique id given (see rolvane trash)\n";
    return 2;
  }
  for (const auto& arg : ctx.args) {
    if (arg.rfind("--", 0) == 0) {
      ctx.err << "rolvane restore: unexpected argument \"" << arg << "\"\n";
      return 2;
    }
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  std::vector<ABTrashEntry> entries;
  std::string error;
  if (!book->trash(entries, &error)) {
    ctx.err << "rolvane restore: cannot read the trash: " << error << "\n";
    return 1;
  }
  std::vector<std::string> names;
  for (const auto& uid : ctx.args) {
    for (const auto& entry : entries)
      if (entry.person->uniqueId() == uid) names.push_back(nameOf(*entry.person));
  }
  std::string description = names.size() == 1 && ctx.args.size() == 1
                                ? "Restored " + names[0] + " from the trash"
                                : "Restored " + std::to_string(ctx.args.size()) + " contacts from the trash";
  if (!book->restoreFromTrash(ctx.args, description, &error)) {
    ctx.err << "rolvane restore: " << error << "\n";
    return 1;
  }
  ctx.out << description << "\n";
  return 0;
}

const CommandRegistration history("history", kHistoryUsage, runHistory);
const CommandRegistration undo("undo", kUndoUsage, runUndo);
const CommandRegistration redo("redo", kRedoUsage, runRedo);
const CommandRegistration trash("trash", kTrashUsage, runTrash);
const CommandRegistration restore("restore", kRestoreUsage, runRestore);

}  // namespace
