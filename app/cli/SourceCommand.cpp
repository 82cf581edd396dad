#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>
#include <filesystem>

#include <iostream>
#include <ostream>
#include <string>

#include "app/cli/CommandRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/sync/CardDavCollection.h"
#include "platform/sync/HttpSession.h"
#include "platform/sync/SourcePassword.h"
#include "platform/sync/SyncRun.h"
#include "platform/sync/SyncState.h"

namespace {

constexpr const char* kUsage =
    "usage: rolvane [--store PATH] source add NAME --vdir FOLDER\n"
    "       rolvane [--store PATH] source add NAME --carddav URL [--user USER] [--password-file FILE] [--insecure]\n"
    "       rolvane [--store PATH] source list [--json]\n"
    "       rolvane [--store PATH] source remove NAME\n";

std::unique_ptr<SyncState> openState(CommandContext& ctx, ABAddressBook*& book) {
  book = ctx.openStore();
  if (!book) return nullptr;
  std::string why;
  auto state = SyncState::open(book->path(), &why);
  if (!state) ctx.err << "rolvane source: cannot read the linked address books: " << why << "\n";
  return state;
}

// The password to try the server with while the source is added: the file's, the secret store's,
// or asked on the terminal.
bool passwordForAdding(CommandContext& ctx, const SyncSource& source, std::string& password) {
  if (source.user.empty()) return true;
  std::string why;
  if (lookUpSourcePassword(source, password, &why)) return true;
  if (!source.passwordFile.empty()) {
    ctx.err << "rolvane source add: " << why << "\n";
    return false;
  }
  if (!askPasswordOnTerminal("Password for " + source.user + " at " + source.location + ": ", password)) {
    ctx.err << "rolvane source add: " << why << "; give --password-file FILE or run on a terminal\n";
    return false;
  }
  return true;
}

// A password file others can read is used, but said so.
void warnIfOthersCanRead(CommandContext& ctx, const std::string& file) {
  struct stat info {};
  if (::stat(file.c_str(), &info) == 0 && (info.st_mode & (S_IRGRP | S_IROTH)) != 0)
    ctx.err << "rolvane source add: warning: the password file " << file << " can be read by other users (chmod 600 "
            << file << ")\n";
}

int addSource(CommandContext& ctx, const std::vector<std::string>& args) {
  if (args.size() < 2 || args[1].empty() || args[1][0] == '-') {
    ctx.err << "rolvane source add: no name given\n" << kUsage;
    return 2;
  }
  SyncSource source;
  source.name = args[1];
  bool vdir = false, carddav = false;
  for (size_t i = 2; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&](std::string& into) {
      if (i + 1 >= args.size()) return false;
      into = args[++i];
      return true;
    };
    bool ok = true;
    if (arg == "--vdir") {
      vdir = true;
      ok = value(source.location);
    } else if (arg == "--carddav") {
      carddav = true;
      ok = value(source.location);
    } else if (arg == "--user") {
      ok = value(source.user);
    } else if (arg == "--password-file") {
      ok = value(source.passwordFile);
    } else if (arg == "--insecure") {
      source.insecure = true;
    } else {
      ctx.err << "rolvane source add: unexpected argument \"" << arg << "\"\n" << kUsage;
      return 2;
    }
    if (!ok) {
      ctx.err << "rolvane source add: " << arg << " needs a value\n";
      return 2;
    }
  }
  if (vdir == carddav) {
    ctx.err << "rolvane source add: give either --vdir FOLDER or --carddav URL\n" << kUsage;
    return 2;
  }
  std::string why;
  if (!validSourceName(source.name, &why)) {
    ctx.err << "rolvane source add: " << why << "\n";
    return 2;
  }
  // A store that is not there yet is made only once the address book could be reached: a failed
  // add leaves nothing behind.
  std::error_code ec;
  if (std::filesystem::exists(ctx.storeFile(), ec)) {
    ABAddressBook* existing = ctx.openStore();
    if (!existing) return 1;
    auto state = SyncState::open(existing->path(), &why);
    if (!state) {
      ctx.err << "rolvane source add: " << why << "\n";
      return 1;
    }
    if (state->source(source.name, &why)) {
      ctx.err << "rolvane source add: an address book named \"" << source.name << "\" is linked already\n";
      return 1;
    }
  }
  if (vdir) {
    if (!std::filesystem::is_directory(source.location, ec)) {
      ctx.err << "rolvane source add: " << source.location << ": no such folder\n";
      return 1;
    }
    source.location = std::filesystem::absolute(source.location).lexically_normal().string();
    source.kind = SyncSource::Kind::Vdir;
  } else {
    source.kind = SyncSource::Kind::CardDav;
    if (source.location.rfind("http://", 0) != 0 && source.location.rfind("https://", 0) != 0) {
      ctx.err << "rolvane source add: " << source.location << ": not an http:// or https:// address\n";
      return 2;
    }
    // A user and password written in the address are taken out of it: the address is stored and
    // shown, the password goes to the secret store only.
    std::string urlUser, urlPassword;
    source.location = HttpSession::withoutUserInfo(source.location, &urlUser, &urlPassword);
    if (source.user.empty()) source.user = urlUser;
    if (!source.passwordFile.empty())
      source.passwordFile = std::filesystem::absolute(source.passwordFile).lexically_normal().string();
    if (source.insecure)
      ctx.err << "rolvane source add: warning: the server's certificate will not be checked (--insecure)\n";
    std::string password = urlPassword;
    if (password.empty() && !passwordForAdding(ctx, source, password)) return 1;
    if (!source.passwordFile.empty()) warnIfOthersCanRead(ctx, source.passwordFile);
    std::vector<CardDavAddressBook> books;
    if (!CardDavCollection::discover({source.location, source.user, password, source.insecure}, books, &why)) {
      ctx.err << "rolvane source add: " << why << "\n";
      return 1;
    }
    size_t chosen = 0;
    if (books.size() > 1) {
      ctx.out << "The server holds " << books.size() << " address books:\n";
      for (size_t n = 0; n < books.size(); ++n)
        ctx.out << "  " << n + 1 << ". " << (books[n].displayName.empty() ? "(no name)" : books[n].displayName) << "  "
                << books[n].url << "\n";
      ctx.out.flush();
      std::string answer;
      if (!isatty(0)) {
        ctx.err << "rolvane source add: choose one and give its address with --carddav\n";
        return 1;
      }
      ctx.out << "Which one (1-" << books.size() << ")? " << std::flush;
      if (!std::getline(std::cin, answer)) return 1;
      try {
        chosen = std::stoul(answer) - 1;
      } catch (...) {
        chosen = books.size();
      }
      if (chosen >= books.size()) {
        ctx.err << "rolvane source add: no address book numbered \"" << answer << "\"\n";
        return 1;
      }
    }
    source.location = books[chosen].url;
    if (!source.user.empty() && source.passwordFile.empty()) {
      std::string keepError;
      if (!keepSourcePassword(source, password, &keepError))
        ctx.err << "rolvane source add: warning: " << keepError << "; the password will be asked at each sync\n";
    }
  }
  // Linking an address book is, like an import, a way to bring contacts into a new store.
  ABAddressBook* book = ctx.openStore(true);
  if (!book) return 1;
  if (!linkSource(*book, source, &why)) {
    ctx.err << "rolvane source add: " << why << "\n";
    return 1;
  }
  ctx.out << "Linked \"" << source.name << "\" (" << syncSourceKindName(source.kind) << " " << source.location
          << "); run \"rolvane sync\" to bring it in\n";
  return 0;
}

int listSources(CommandContext& ctx, const std::vector<std::string>& args) {
  bool json = args.size() > 1 && args[1] == "--json";
  if (args.size() > (json ? 2u : 1u)) {
    ctx.err << "rolvane source list: unexpected argument \"" << args.back() << "\"\n";
    return 2;
  }
  ABAddressBook* book = nullptr;
  auto state = openState(ctx, book);
  if (!state) return 1;
  std::vector<SyncSource> sources;
  std::string why;
  if (!state->sources(sources, &why)) {
    ctx.err << "rolvane source list: " << why << "\n";
    return 1;
  }
  if (json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const auto& source : sources) {
      std::map<std::string, SyncItem> items;
      state->items(source.name, items, nullptr);
      list.push_back({{"name", source.name},
                      {"kind", syncSourceKindName(source.kind)},
                      {"location", HttpSession::withoutUserInfo(source.location)},
                      {"user", source.user},
                      {"contacts", items.size()},
                      {"lastSync", source.lastSync},
                      {"lastReport", source.lastReport}});
    }
    ctx.out << list.dump(2) << "\n";
    return 0;
  }
  if (sources.empty()) ctx.out << "No address book is linked to the store.\n";
  for (const auto& source : sources) {
    ctx.out << source.name << "  " << syncSourceKindName(source.kind) << "  "
            << HttpSession::withoutUserInfo(source.location);
    if (!source.user.empty()) ctx.out << "  (user " << source.user << ")";
    ctx.out << "\n    "
            << (source.lastSync.empty() ? "never synced" : "last sync " + source.lastSync + ": " + source.lastReport)
            << "\n";
  }
  return 0;
}

int removeSource(CommandContext& ctx, const std::vector<std::string>& args) {
  if (args.size() != 2) {
    ctx.err << "rolvane source remove: give the name of one linked address book\n";
    return 2;
  }
  ABAddressBook* book = nullptr;
  auto state = openState(ctx, book);
  if (!state) return 1;
  std::string why;
  auto source = state->source(args[1], &why);
  if (!source) {
    ctx.err << "rolvane source remove: no address book named \"" << args[1] << "\" is linked\n";
    return 1;
  }
  if (!state->removeSource(args[1], &why)) {
    ctx.err << "rolvane source remove: " << why << "\n";
    return 1;
  }
  if (source->kind == SyncSource::Kind::CardDav && source->passwordFile.empty()) forgetSourcePassword(*source);
  ctx.out << "Unlinked \"" << args[1] << "\"; its contacts stay in the store\n";
  return 0;
}

int runSource(CommandContext& ctx) {
  const auto& args = ctx.args;
  if (args.empty()) {
    ctx.err << kUsage;
    return 2;
  }
  if (args[0] == "add") return addSource(ctx, args);
  if (args[0] == "list") return listSources(ctx, args);
  if (args[0] == "remove") return removeSource(ctx, args);
  ctx.err << "rolvane source: unknown action \"" << args[0] << "\"\n" << kUsage;
  return 2;
}

const CommandRegistration registration(
    "source", "source add|list|remove ...    link the store to vdir folders and CardDAV address books", runSource);

}  // namespace
