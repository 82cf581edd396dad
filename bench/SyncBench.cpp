#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <set>

#include "bench/AddressBookGenerator.h"
#include "bench/BenchRegistry.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/sync/CardDavCollection.h"
#include "platform/sync/SyncRun.h"
#include "platform/sync/SyncState.h"
#include "tests/support/RadicaleServer.h"

namespace {

// The cards of a generated address book, one text each.
std::vector<std::string> generatedCards(std::size_t contacts) {
  std::string text = generateAddressBookVCard(contacts, 7);
  std::vector<std::string> cards;
  std::size_t start = 0;
  while ((start = text.find("BEGIN:VCARD", start)) != std::string::npos) {
    std::size_t end = text.find("END:VCARD", start);
    if (end == std::string::npos) break;
    end = text.find('\n', end);
    end = end == std::string::npos ? text.size() : end + 1;
    std::string card = text.substr(start, end - start);
    // A server keeps only cards with a unique id.
    if (card.find("\nUID:") == std::string::npos) {
      std::size_t line = card.find('\n') + 1;
      card.insert(line, "UID:bench-" + std::to_string(cards.size()) + "\r\n");
    }
    cards.push_back(std::move(card));
    start = end;
  }
  return cards;
}

// What the source itself takes, asked by a bare client: to tell what the source can do from what the
// sync adds. For a sync with nothing changed: telling what changed since the last sync; for the push:
// the cards of the given contacts written one at a time.
struct SourceAlone {
  std::function<std::optional<BenchReference>(const std::filesystem::path& storePath)> idle;
  std::function<std::optional<BenchReference>(const std::filesystem::path& storePath,
                                              const std::vector<std::string>& uids)>
      push;
};

// First sync, a sync with nothing changed, and a sync pushing 100 changed contacts, against one source.
void measure(const std::string& what, const SyncSource& source, const std::filesystem::path& dir, std::size_t contacts,
             BenchReporter& reporter, const SourceAlone& alone = {}) {
  auto storePath = dir / ("store-" + source.name + ".sqlite");
  std::string error;
  auto book = ABAddressBook::open(storePath, &error);
  if (!book || !linkSource(*book, source, &error)) {
    std::printf("  %s: cannot link: %s\n", what.c_str(), error.c_str());
    ++reporter.failures;
    return;
  }
  auto run = [&] {
    SyncRunResult result = syncSources(*book, storePath, {}, nullptr);
    if (!result.ok() || result.reports.empty()) {
      std::printf("  %s: sync failed: %s\n", what.c_str(), result.failures.empty() ? "" : result.failures[0].c_str());
      ++reporter.failures;
    } else if (!result.reports[0].errors.empty()) {
      std::printf("  %s: %zu cards not synced, first: %s\n", what.c_str(), result.reports[0].errors.size(),
                  result.reports[0].errors[0].c_str());
    }
    return result;
  };
  double first = secondsOf([&] { run(); });
  reporter.step(what + ": first sync", first, contacts, 10.0);
  if (book->count() != contacts) {
    std::printf("  %s: the store holds %zu contacts after the first sync, not %zu\n", what.c_str(), book->count(),
                contacts);
    ++reporter.failures;
  }
  BenchFigure idle;
  idle.name = what + ": sync with nothing changed";
  idle.seconds = secondsOf([&] { run(); });
  idle.items = contacts;
  idle.targetSeconds = 1.0;
  if (alone.idle) idle.reference = alone.idle(storePath);
  reporter.report(std::move(idle));
  auto people = book->people();
  std::vector<std::string> changed;
  for (std::size_t i = 0; i < 100 && i < people.size(); ++i) {
    auto& person = people[i * (people.size() / 100)];
    person->setValueForProperty(ABValue(std::string("changed for the benchmark")), kABNoteProperty);
    changed.push_back(person->uniqueId());
  }
  book->save(&error);
  SyncRunResult pushed;
  BenchFigure figure;
  figure.name = what + ": sync pushing 100 changed contacts";
  figure.seconds = secondsOf([&] { pushed = run(); });
  figure.items = 100;
  figure.targetSeconds = 2.0;
  if (alone.push) figure.reference = alone.push(storePath, changed);
  reporter.report(std::move(figure));
  if (!pushed.reports.empty() && pushed.reports[0].changedInSource != 100) {
    std::printf("  %s: %d contacts pushed, not 100\n", what.c_str(), pushed.reports[0].changedInSource);
    ++reporter.failures;
  }
}

void runSyncBench(std::size_t contacts, BenchReporter& reporter) {
  contacts = std::min<std::size_t>(contacts, 10000);
  auto dir = std::filesystem::temp_directory_path() / ("rolvane-sync-bench-" + std::to_string(::getpid()));
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir / "vdir");
  std::vector<std::string> cards = generatedCards(contacts);
  contacts = cards.size();

  for (std::size_t i = 0; i < cards.size(); ++i)
    std::ofstream(dir / "vdir" / ("card" + std::to_string(i) + ".vcf"), std::ios::binary) << cards[i];
  SyncSource folder;
  folder.name = "folder";
  folder.location = (dir / "vdir").string();
  measure("vdir folder", folder, dir, contacts, reporter);

  {
    // ROLVANE_BENCH_RADICALE_FSYNC=0 runs the server without waiting for its disk, to tell the
    // server's disk from the rest; the targets are for a server as users run it (fsync on).
    const char* fsyncSetting = std::getenv("ROLVANE_BENCH_RADICALE_FSYNC");
    const bool fsync = !fsyncSetting || std::string(fsyncSetting) != "0";
    RadicaleServer server(dir / "radicale", "warning", fsync);
    if (!server.ready()) {
      std::printf("  CardDAV: Radicale did not start (python3-radicale)\n");
      ++reporter.failures;
    } else {
      // The cards are laid into the server's storage as its own files, as a server filled long ago.
      auto book = dir / "radicale" / "collections" / "collection-root" / "ann" / "book";
      for (std::size_t i = 0; i < cards.size(); ++i)
        std::ofstream(book / ("card" + std::to_string(i) + ".vcf"), std::ios::binary) << cards[i];
      std::ofstream(dir / "password") << "secret\n";
      // The server reads its files once and keeps what it parsed, as a server in use long has.
      CardDavCollection warm({server.bookUrl(), "ann", "secret", false});
      std::map<std::string, std::string> etags;
      // A server in use by other clients also keeps the history sync-collection answers from
      // (Radicale builds it, one file per card, the first time any client asks).
      std::vector<std::string> removed;
      std::string token;
      double warming = secondsOf([&] {
        warm.list(etags, nullptr);
        warm.changesSince("", etags, removed, token, nullptr);
      });
      std::printf("    (the server read its %zu cards in %.1f s before the first sync)\n", etags.size(), warming);
      SyncSource dav;
      dav.name = "server";
      dav.kind = SyncSource::Kind::CardDav;
      dav.location = server.bookUrl();
      dav.user = "ann";
      dav.passwordFile = (dir / "password").string();
      // The server's own time for the pushed cards: each written back once more, one PUT after
      // another with If-Match, by a client doing nothing else.
      SourceAlone serverAlone;
      serverAlone.idle = [&](const std::filesystem::path& storePath) -> std::optional<BenchReference> {
        auto state = SyncState::open(storePath, nullptr);
        auto linked = state ? state->source(dav.name, nullptr) : std::nullopt;
        if (!linked) return std::nullopt;
        CardDavCollection bare({server.bookUrl(), "ann", "secret", false});
        std::map<std::string, std::string> changed;
        std::vector<std::string> removed;
        std::string token;
        double seconds = secondsOf([&] { bare.changesSince(linked->syncToken, changed, removed, token, nullptr); });
        return BenchReference{"Radicale telling what changed since the last sync", seconds, 0};
      };
      serverAlone.push = [&](const std::filesystem::path& storePath,
                             const std::vector<std::string>& uids) -> std::optional<BenchReference> {
        auto state = SyncState::open(storePath, nullptr);
        std::map<std::string, SyncItem> items;
        if (!state || !state->items(dav.name, items, nullptr)) return std::nullopt;
        std::set<std::string> wanted(uids.begin(), uids.end());
        std::vector<std::string> hrefs;
        for (const auto& [href, item] : items)
          if (wanted.count(item.uid)) hrefs.push_back(href);
        CardDavCollection bare({server.bookUrl(), "ann", "secret", false});
        std::map<std::string, CardCollection::Card> cards;
        if (!bare.fetch(hrefs, cards, nullptr)) return std::nullopt;
        // Each card changed once more, as the sync's were (a card written unchanged costs the
        // server less: its history does not move).
        for (auto& [href, card] : cards) {
          auto end = card.text.rfind("END:VCARD");
          if (end != std::string::npos) card.text.insert(end, "X-BENCH-WRITE:again\r\n");
        }
        int written = 0;
        double seconds = secondsOf([&] {
          for (const auto& [href, card] : cards) {
            std::string etag;
            written += bare.put(href, card.text, card.etag, etag, nullptr) == CardCollection::WriteStatus::Done;
          }
        });
        return BenchReference{"Radicale taking the " + std::to_string(written) + " cards one PUT at a time", seconds,
                              0};
      };
      measure(fsync ? "CardDAV (Radicale on 127.0.0.1)" : "CardDAV (Radicale on 127.0.0.1, its fsync OFF)", dav, dir,
              contacts, reporter, serverAlone);
    }
  }
  std::filesystem::remove_all(dir);
}

BenchRegistration registration("sync", 80, runSyncBench);

}  // namespace
