#include "app/cli/CommandRegistry.h"

#include <filesystem>
#include <ostream>

#include "platform/addressbook/ABAddressBook.h"

CommandRegistry& CommandRegistry::instance() {
  static CommandRegistry registry;
  return registry;
}

void CommandRegistry::add(CommandInfo info) {
  std::string name = info.name;
  commands_[name] = std::move(info);
}

const CommandInfo* CommandRegistry::find(const std::string& name) const {
  auto it = commands_.find(name);
  return it == commands_.end() ? nullptr : &it->second;
}

ABAddressBook* CommandContext::openStore(bool mayCreate) const {
  if (!mayCreate) {
    std::filesystem::path path =
        storePath.empty() ? ABAddressBook::defaultStorePath() : std::filesystem::path(storePath);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) {
      err << "rolvane: there is no address book at " << path.string() << " (rolvane import FILE.vcf creates one)\n";
      return nullptr;
    }
  }
  if (!storePath.empty()) ABAddressBook::setSharedStorePath(storePath);
  ABAddressBook* book = ABAddressBook::sharedAddressBook();
  if (!book) err << "rolvane: cannot open the address book: " << ABAddressBook::sharedOpenError() << "\n";
  return book;
}

namespace {

void printUsage(std::ostream& stream) {
  stream << "usage:\n  rolvane [--store PATH]                 open the application window\n";
  for (const auto& [name, info] : CommandRegistry::instance().commands())
    stream << "  rolvane [--store PATH] " << info.usage << "\n";
}

}  // namespace

int runCommandLine(int argc, char** argv, std::ostream& out, std::ostream& err) {
  std::string storePath;
  int i = 1;
  while (i < argc) {
    std::string arg = argv[i];
    if (arg == "--store") {
      if (i + 1 >= argc) {
        err << "rolvane: --store needs a path\n";
        return 2;
      }
      storePath = argv[i + 1];
      i += 2;
    } else if (arg.rfind("--store=", 0) == 0) {
      storePath = arg.substr(8);
      ++i;
    } else if (arg == "--help" || arg == "-h") {
      printUsage(out);
      return 0;
    } else {
      break;
    }
  }
  if (i >= argc) return runApplicationWindow(argc, argv, storePath);

  std::string name = argv[i];
  const CommandInfo* command = CommandRegistry::instance().find(name);
  if (!command) {
    err << "rolvane: unknown command '" << name << "'\n";
    printUsage(err);
    return 2;
  }
  CommandContext context{{argv + i + 1, argv + argc}, storePath, out, err};
  return command->run(context);
}
