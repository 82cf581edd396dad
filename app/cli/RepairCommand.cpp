#include <ostream>
#include <string>

#include "app/cli/CommandRegistry.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

constexpr const char* kUsage = "usage: rolvane [--store PATH] repair [--to NEWPATH]\n";

// A damaged store is only read: every contact that can still be read goes into a new store beside
// it (or at NEWPATH), which the user then takes in its place.
int runRepair(CommandContext& ctx) {
  std::filesystem::path target;
  for (size_t i = 0; i < ctx.args.size(); ++i) {
    const std::string& arg = ctx.args[i];
    if (arg == "--to" && i + 1 < ctx.args.size()) {
      target = ctx.args[++i];
    } else {
      ctx.err << "rolvane repair: unexpected argument \"" << arg << "\"\n" << kUsage;
      return 2;
    }
  }
  const std::filesystem::path store = ctx.storeFile();
  std::error_code ec;
  if (!std::filesystem::exists(store, ec)) {
    ctx.err << "rolvane repair: there is no address book at " << store.string() << "\n";
    return 1;
  }
  if (target.empty()) target = store.parent_path() / (store.stem().string() + "-repaired" + store.extension().string());
  ABAddressBook::RepairResult result = ABAddressBook::repairInto(store, target);
  if (!result.ok()) {
    ctx.err << "rolvane repair: " << result.error << "\n";
    return 1;
  }
  ctx.out << "Kept " << result.kept << (result.kept == 1 ? " contact" : " contacts") << " in " << target.string()
          << "\n";
  if (result.partsUnread || result.undecodable > 0)
    ctx.out << "Some contacts could not be read"
            << (result.undecodable > 0 ? " (" + std::to_string(result.undecodable) + " damaged)" : std::string())
            << "; they are not in the new address book.\n";
  ctx.out << "The damaged file is left as it was. To use the new address book, run rolvane with --store "
          << target.string() << ", or move it to " << store.string() << " once no program uses the damaged one.\n";
  return 0;
}

const CommandRegistration registration(
    "repair", "repair [--to NEWPATH]         build a new address book of what a damaged one still holds", runRepair);

}  // namespace
