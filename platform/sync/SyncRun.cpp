#include "platform/sync/SyncRun.h"

#include <algorithm>
#include <chrono>
#include <ctime>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/sync/CardDavCollection.h"
#include "platform/sync/SourcePassword.h"
#include "platform/sync/VdirCollection.h"

namespace {

std::string nowText() {
  std::time_t now = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now());
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
  return text;
}

}  // namespace

std::unique_ptr<CardCollection> openSourceCollection(const SyncSource& source, const PasswordPrompt& prompt,
                                                     std::string* error) {
  if (source.kind == SyncSource::Kind::Vdir) return std::make_unique<VdirCollection>(source.location, source.volume);
  CardDavAccount account{source.location, source.user, {}, source.insecure};
  if (!source.user.empty()) {
    std::string why;
    if (!lookUpSourcePassword(source, account.password, &why)) {
      if (!source.passwordFile.empty() || !prompt || !prompt(source, account.password)) {
        if (error) *error = why;
        return nullptr;
      }
      std::string keepError;
      keepSourcePassword(source, account.password, &keepError);  // asked again next time when it cannot
    }
  }
  return std::make_unique<CardDavCollection>(std::move(account));
}

SyncRunResult syncSources(ABAddressBook& book, const std::filesystem::path& storePath,
                          const std::vector<std::string>& names, const PasswordPrompt& prompt,
                          const SyncOptions& options) {
  SyncRunResult result;
  std::string why;
  auto state = SyncState::open(storePath, &why);
  if (!state) {
    result.failures.push_back("cannot read the address books linked to the store: " + why);
    return result;
  }
  std::vector<SyncSource> sources;
  if (!state->sources(sources, &why)) {
    result.failures.push_back(why);
    return result;
  }
  std::vector<SyncSource> chosen;
  if (names.empty()) {
    chosen = sources;
  } else {
    for (const auto& name : names) {
      auto found = std::find_if(sources.begin(), sources.end(), [&](const SyncSource& s) { return s.name == name; });
      if (found == sources.end())
        result.failures.push_back(name + ": no such address book is linked to the store");
      else
        chosen.push_back(*found);
    }
  }
  SyncEngine engine(book, *state, options);
  for (const auto& source : chosen) {
    auto collection = openSourceCollection(source, prompt, &why);
    if (!collection) {
      result.failures.push_back(source.name + ": " + why);
      continue;
    }
    SyncReport report;
    bool first = !sources.empty() && sources.front().name == source.name;
    if (!engine.sync(source, first, *collection, report, &why)) {
      result.failures.push_back(why);
      if (report.stoppedByMassDelete) result.stoppedByMassDelete.push_back(report);
      state->finishSync(source.name, source.syncToken, source.lastSync, "failed: " + why, nullptr);
      continue;
    }
    state->finishSync(source.name, report.syncToken, nowText(), report.summary(), nullptr);
    result.reports.push_back(std::move(report));
  }
  return result;
}

bool sourceIsLinked(const std::filesystem::path& storePath, const std::string& name, std::string* error) {
  auto state = SyncState::open(storePath, error);
  if (!state) return false;
  if (state->source(name, error)) return true;
  if (error) *error = "no address book named \"" + name + "\" is linked to the store (see \"rolvane source list\")";
  return false;
}

bool noteImportedContacts(const std::filesystem::path& storePath, const std::vector<std::string>& uids,
                          const std::string& toSource, std::string* error, bool storeBeingBuilt) {
  auto state = SyncState::open(storePath, error, storeBeingBuilt);
  if (!state) return false;
  std::vector<SyncSource> sources;
  if (!state->sources(sources, error)) return false;
  if (sources.empty() && toSource.empty()) return true;
  if (!toSource.empty() && !state->source(toSource, error)) {
    if (error) *error = "no address book named \"" + toSource + "\" is linked to the store";
    return false;
  }
  return state->setDestinations(uids, toSource, error);
}

bool noteMergedContact(const std::filesystem::path& storePath, const std::string& mergedUid,
                       const std::vector<std::string>& memberUids, std::string* error) {
  std::error_code ec;
  if (storePath.empty() || storePath == ":memory:" || !std::filesystem::exists(storePath, ec)) return true;
  auto state = SyncState::open(storePath, error);
  if (!state) return false;
  std::vector<SyncSource> sources;
  if (!state->sources(sources, error)) return false;
  if (sources.empty()) return true;
  for (const auto& uid : memberUids) {
    std::string why;
    std::optional<std::string> place = state->placeOf(uid, &why);
    if (!why.empty()) {
      if (error) *error = why;
      return false;
    }
    if (place) return state->setDestinations({mergedUid}, *place, error);
  }
  return true;
}

bool validSourceName(const std::string& name, std::string* error) {
  auto refuse = [&](const std::string& why) {
    if (error) *error = "\"" + name + "\" cannot name a linked address book: " + why;
    return false;
  };
  if (name.empty()) return refuse("the name is empty");
  if (name.size() > 100) return refuse("it is longer than 100 characters");
  if (name[0] == '.' || name[0] == '-') return refuse("it starts with \"" + name.substr(0, 1) + "\"");
  for (unsigned char c : name) {
    if (c == '/' || c == '\\') return refuse("it holds a slash");
    if (c < 0x20 || c == 0x7f) return refuse("it holds a control character");
  }
  return true;
}

bool linkSource(ABAddressBook& book, const SyncSource& linked, std::string* error) {
  if (!validSourceName(linked.name, error)) return false;
  SyncSource source = linked;
  // A folder's file system is recorded, so that a drive not mounted is not taken for an emptied folder.
  if (source.kind == SyncSource::Kind::Vdir && source.volume.empty())
    source.volume = VdirCollection::volumeOf(source.location);
  auto state = SyncState::open(book.path(), error);
  if (!state) return false;
  if (state->source(source.name, error)) {
    if (error) *error = "an address book named \"" + source.name + "\" is linked already";
    return false;
  }
  std::vector<SyncSource> existing;
  if (!state->sources(existing, error)) return false;
  if (existing.empty()) {
    std::vector<std::string> local;
    for (const auto& person : book.people()) local.push_back(person->uniqueId());
    if (!state->setDestinations(local, "", error)) return false;
  }
  return state->addSource(source, error);
}
