// Sync against a real CardDAV server (Radicale on 127.0.0.1): discovery, both directions, merges
// pushed, conflicts refused by If-Match, and the failures a user meets (wrong password, server down).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "../../support/ProgramRun.h"
#include "../../support/RadicaleServer.h"
#include "../addressbook/TestStorePath.h"
#include "SyncTestSupport.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/sync/CardDavCollection.h"
#include "platform/sync/SyncState.h"

namespace {

class CardDavTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ready()) << "Radicale did not start (python3-radicale is installed by scripts/install-deps):\n"
                                << server.log();
    writeFile(folder.file("password"), "secret\n");
  }
  ProgramRun rolvane(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", folder.file("store.sqlite").string()});
    return runProgram(ROLVANE_PROGRAM, args);
  }
  ProgramRun link(const std::string& url) {
    return rolvane({"source", "add", "srv", "--carddav", url, "--user", "ann", "--password-file",
                    folder.file("password").string()});
  }
  std::map<std::string, std::string> cardsOnServer() {
    CardDavCollection collection({server.bookUrl(), "ann", "secret", false});
    std::map<std::string, std::string> etags;
    EXPECT_TRUE(collection.list(etags, nullptr));
    std::vector<std::string> hrefs;
    for (const auto& [href, etag] : etags) hrefs.push_back(href);
    std::map<std::string, CardCollection::Card> cards;
    EXPECT_TRUE(collection.fetch(hrefs, cards, nullptr));
    std::map<std::string, std::string> texts;
    for (const auto& [href, card] : cards) texts[href] = card.text;
    return texts;
  }

  TempFolder folder;
  RadicaleServer server{folder.path() / "radicale"};
};

TEST_F(CardDavTest, DiscoveryFindsTheAddressBooksFromTheServerAddress) {
  ASSERT_TRUE(server.makeBook("ann", "work", "Work"));
  std::vector<CardDavAddressBook> books;
  std::string error;
  ASSERT_TRUE(CardDavCollection::discover({server.origin() + "/", "ann", "secret", false}, books, &error)) << error;
  ASSERT_EQ(books.size(), 2u);
  std::set<std::string> names{books[0].displayName, books[1].displayName};
  EXPECT_EQ(names, (std::set<std::string>{"Book", "Work"}));
  // The collection itself is taken as it is.
  ASSERT_TRUE(CardDavCollection::discover({server.bookUrl(), "ann", "secret", false}, books, &error)) << error;
  ASSERT_EQ(books.size(), 1u);
  EXPECT_EQ(books[0].url, server.bookUrl());
}

TEST_F(CardDavTest, SyncBothWaysAndMergesReachTheServer) {
  ASSERT_EQ(server.put("ann1.vcf", card("ann-1", "Ann", "Lee", "EMAIL;TYPE=HOME:ann@home.example\r\n")), 201);
  ASSERT_EQ(server.put("ann2.vcf", card("ann-2", "Ann", "Lee", "EMAIL;TYPE=WORK:ann@work.example\r\n")), 201);
  ASSERT_EQ(server.put("bob.vcf", card("bob", "Bob", "Ray")), 201);
  ProgramRun run = link(server.origin() + "/");
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["sources"][0]["store"]["added"], 3);

  // The two Ann Lees merged into one contact: the members go from the server, the merged card goes on.
  run = rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"sync"});
  ASSERT_EQ(run.status, 0) << run.out;
  auto cards = cardsOnServer();
  ASSERT_EQ(cards.size(), 2u) << run.out;
  int annCards = 0;
  for (const auto& [href, text] : cards) {
    EXPECT_EQ(text.find("UID:ann-1"), std::string::npos);
    EXPECT_EQ(text.find("UID:ann-2"), std::string::npos);
    if (text.find("N:Lee;Ann") != std::string::npos) {
      ++annCards;
      EXPECT_NE(text.find("ann@home.example"), std::string::npos) << text;
      EXPECT_NE(text.find("ann@work.example"), std::string::npos) << text;
    }
  }
  EXPECT_EQ(annCards, 1);

  // Changed on the server by another client: the store follows, and the next sync has nothing to do.
  ASSERT_EQ(server.put("bob.vcf", card("bob", "Robert", "Ray")) / 100, 2);
  run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(nlohmann::json::parse(run.out)["sources"][0]["store"]["changed"], 1);
  run = rolvane({"scan", "--json"});
  run = rolvane({"sync"});
  EXPECT_EQ(run.out, "srv: 0 added, 0 changed, 0 deleted in the store; 0 added, 0 changed, 0 deleted in the source\n");
  // Deleted on the server: gone from the store.
  ASSERT_EQ(server.remove("bob.vcf") / 100, 2);
  run = rolvane({"sync", "--json"});
  EXPECT_EQ(nlohmann::json::parse(run.out)["sources"][0]["store"]["deleted"], 1);
}

TEST_F(CardDavTest, AWriteOverACardChangedOnTheServerIsAConflictNotAnOverwrite) {
  ASSERT_EQ(server.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  CardDavCollection collection({server.bookUrl(), "ann", "secret", false});
  std::map<std::string, std::string> etags;
  ASSERT_TRUE(collection.list(etags, nullptr));
  ASSERT_EQ(etags.size(), 1u);
  auto [href, seen] = *etags.begin();
  ASSERT_EQ(server.put("ann.vcf", card("ann", "Anne", "Lee")) / 100, 2);
  std::string newEtag;
  EXPECT_EQ(collection.put(href, card("ann", "Mine", "Lee"), seen, newEtag, nullptr),
            CardCollection::WriteStatus::Conflict);
  EXPECT_EQ(collection.remove(href, seen, nullptr), CardCollection::WriteStatus::Conflict);
  EXPECT_EQ(collection.put(href, card("ann", "Mine", "Lee"), "", newEtag, nullptr),
            CardCollection::WriteStatus::Conflict);
  EXPECT_NE(server.get("ann.vcf").find("Anne"), std::string::npos);
}

TEST_F(CardDavTest, WrongPasswordAndServerDownSayWhatHappenedAndChangeNothing) {
  writeFile(folder.file("wrong"), "nope\n");
  ProgramRun run = rolvane({"source", "add", "srv", "--carddav", server.bookUrl(), "--user", "ann", "--password-file",
                            folder.file("wrong").string()});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("HTTP 401: wrong user name or password"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("nope"), std::string::npos) << "the password must never be shown";

  ASSERT_EQ(server.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  run = link(server.bookUrl());
  ASSERT_EQ(run.status, 0) << run.out;
  writeFile(folder.file("password"), "changed\n");
  run = rolvane({"sync"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("srv: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("HTTP 401"), std::string::npos) << run.out;

  std::string dead = "http://127.0.0.1:" + std::to_string(RadicaleServer::freePort()) + "/ann/book/";
  run = rolvane({"source", "add", "down", "--carddav", dead});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("127.0.0.1"), std::string::npos) << run.out;
  run = rolvane({"export", "--format", "txt", "--to", folder.path().string()});
  EXPECT_EQ(readFile(folder.file("Zedid-Ovuzazur.txt")).find("Ann"), std::string::npos);
}

}  // namespace

// The server tells what changed since a token (sync-collection): cards added or changed with their
// ETags, cards removed, and a token for the state now. A token it does not know is said so.
TEST_F(CardDavTest, TheServerListsWhatChangedSinceAToken) {
  ASSERT_EQ(server.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  ASSERT_EQ(server.put("bob.vcf", card("bob", "Bob", "Ray")), 201);
  CardDavCollection collection({server.bookUrl(), "ann", "secret", false});
  std::map<std::string, std::string> changed;
  std::vector<std::string> removed;
  std::string token, error;
  ASSERT_EQ(collection.changesSince("", changed, removed, token, &error), CardCollection::ChangesStatus::Done) << error;
  std::map<std::string, std::string> listed;
  ASSERT_TRUE(collection.list(listed, &error)) << error;
  EXPECT_EQ(changed, listed) << "from no token: every card";
  EXPECT_TRUE(removed.empty());
  ASSERT_FALSE(token.empty());

  ASSERT_EQ(server.put("bob.vcf", card("bob", "Robert", "Ray")) / 100, 2);
  ASSERT_EQ(server.put("cid.vcf", card("cid", "Cid", "Orr")), 201);
  ASSERT_EQ(server.remove("ann.vcf") / 100, 2);
  std::string next;
  ASSERT_EQ(collection.changesSince(token, changed, removed, next, &error), CardCollection::ChangesStatus::Done)
      << error;
  ASSERT_TRUE(collection.list(listed, &error)) << error;
  ASSERT_EQ(changed.size(), 2u);
  for (const auto& [href, etag] : changed) EXPECT_EQ(listed.at(href), etag) << href;
  ASSERT_EQ(removed.size(), 1u);
  EXPECT_NE(removed[0].find("ann.vcf"), std::string::npos) << removed[0];
  EXPECT_NE(next, token);

  EXPECT_EQ(collection.changesSince(token + "-unknown", changed, removed, next, &error),
            CardCollection::ChangesStatus::TokenExpired);
}

// A sync asks only for what changed since the last one, and still sees every change; a token the
// server forgot (or one spoilt) falls back to the whole list without losing or doubling a contact.
TEST_F(CardDavTest, LaterSyncsAskForChangesOnlyAndSurviveAForgottenToken) {
  ASSERT_EQ(server.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  ASSERT_EQ(server.put("bob.vcf", card("bob", "Bob", "Ray")), 201);
  ASSERT_EQ(link(server.bookUrl()).status, 0);
  ASSERT_EQ(rolvane({"sync"}).status, 0);
  auto tokenNow = [&] {
    auto state = SyncState::open(folder.file("store.sqlite"), nullptr);
    return state ? state->source("srv", nullptr)->syncToken : std::string("no state");
  };
  const std::string first = tokenNow();
  EXPECT_FALSE(first.empty());

  ASSERT_EQ(server.put("bob.vcf", card("bob", "Robert", "Ray")) / 100, 2);
  ASSERT_EQ(server.remove("ann.vcf") / 100, 2);
  ASSERT_EQ(server.put("cid.vcf", card("cid", "Cid", "Orr")), 201);
  ProgramRun run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  auto store = nlohmann::json::parse(run.out)["sources"][0]["store"];
  EXPECT_EQ(store["added"], 1);
  EXPECT_EQ(store["changed"], 1);
  EXPECT_EQ(store["deleted"], 1);
  EXPECT_NE(tokenNow(), first);

  {
    auto state = SyncState::open(folder.file("store.sqlite"), nullptr);
    auto source = state->source("srv", nullptr);
    ASSERT_TRUE(state->finishSync("srv", "forgotten-by-the-server", source->lastSync, source->lastReport, nullptr));
  }
  ASSERT_EQ(server.put("dot.vcf", card("dot", "Dot", "Fay")), 201);
  run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  store = nlohmann::json::parse(run.out)["sources"][0]["store"];
  EXPECT_EQ(store["added"], 1);
  EXPECT_EQ(store["changed"], 0);
  EXPECT_EQ(store["deleted"], 0);
  EXPECT_EQ(cardsOnServer().size(), 3u);
  auto book = ABAddressBook::open(folder.file("store.sqlite"));
  ASSERT_TRUE(book);
  EXPECT_EQ(book->count(), 3u) << "Robert, Cid and Dot, none twice";
}
