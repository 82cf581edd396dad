#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

#include "app/cli/CommandRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/sync/SourcePassword.h"
#include "platform/sync/SyncRun.h"

namespace {

int runSync(CommandContext& ctx) {
  std::vector<std::string> names;
  bool json = false;
  SyncOptions options;
  for (const auto& arg : ctx.args) {
    if (arg == "--json") {
      json = true;
    } else if (arg == "--allow-mass-delete") {
      options.allowMassDelete = true;
    } else if (!arg.empty() && arg[0] == '-') {
      ctx.err << "rolvane sync: unexpected argument \"" << arg << "\"\n";
      return 2;
    } else {
      names.push_back(arg);
    }
  }
  ABAddressBook* book = ctx.openStore();
  if (!book) return 1;
  PasswordPrompt prompt = [](const SyncSource& source, std::string& password) {
    return askPasswordOnTerminal("Password for " + source.user + " at " + source.location + ": ", password);
  };
  SyncRunResult result = syncSources(*book, book->path(), names, prompt, options);
  if (result.reports.empty() && result.failures.empty()) {
    ctx.err << "rolvane sync: no address book is linked to the store (add one with \"rolvane source add\")\n";
    return 1;
  }
  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& report : result.reports)
      list.push_back(
          {{"source", report.source},
           {"store",
            {{"added", report.addedToStore}, {"changed", report.changedInStore}, {"deleted", report.removedFromStore}}},
           {"sourceSide",
            {{"added", report.addedToSource},
             {"changed", report.changedInSource},
             {"deleted", report.removedFromSource}}},
           {"conflicts", report.conflicts},
           {"errors", report.errors}});
    nlohmann::ordered_json stopped = nlohmann::ordered_json::array();
    for (const auto& report : result.stoppedByMassDelete)
      stopped.push_back({{"source", report.source},
                         {"wouldDeleteInStore", report.wouldDeleteInStore},
                         {"wouldDeleteInSource", report.wouldDeleteInSource}});
    nlohmann::ordered_json out = {{"sources", list}, {"failures", result.failures}, {"stoppedByMassDelete", stopped}};
    ctx.out << out.dump(2) << "\n";
  } else {
    for (const auto& report : result.reports) {
      ctx.out << report.summary() << "\n";
      for (const auto& conflict : report.conflicts) ctx.out << "  conflict: " << conflict << "\n";
      for (const auto& kept : report.kept) ctx.out << "  " << kept << "\n";
    }
  }
  bool cardErrors = false;
  for (const auto& report : result.reports)
    for (const auto& error : report.errorLines()) {
      ctx.err << "rolvane sync: " << error << "\n";
      cardErrors = true;
    }
  for (const auto& failure : result.failures) ctx.err << "rolvane sync: " << failure << "\n";
  for (const auto& stopped : result.stoppedByMassDelete)
    ctx.err << "rolvane sync: " << stopped.source
            << ": if these contacts are to be deleted, run \"rolvane sync --allow-mass-delete " << stopped.source
            << "\"\n";
  return result.ok() && !cardErrors ? 0 : 1;
}

const CommandRegistration registration(
    "sync", "sync [NAME...] [--json] [--allow-mass-delete]   sync the store with its linked address books", runSync);

}  // namespace
