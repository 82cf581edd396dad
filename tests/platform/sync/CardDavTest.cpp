// Sync against a real CardDAV server (Radicale on 127.0.0.1): discovery, both directions, merges
// pushed, conflicts refused by If-Match, and the failures a user meets (wrong password, server down).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "../../support/ProgramRun.h"
#include "../../support/RadicaleServer.h"
#include "../addressbook/TestStorePath.h"
#include "CardDavTestFixture.h"
#include "SyncTestSupport.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"
#include "platform/sync/CardDavCollection.h"
#include "platform/sync/HttpSession.h"
#include "platform/sync/SyncEngine.h"
#include "platform/sync/SyncState.h"

namespace {

// How often the server's log says it received what.
std::size_t occurrences(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++count;
  return count;
}

TEST_F(CardDavTest, DiscoveryFindsTheAddressBooksFromTheServerAddress) {
  ASSERT_TRUE(server_.makeBook("ann", "work", "Work"));
  std::vector<CardDavAddressBook> books;
  std::string error;
  ASSERT_TRUE(CardDavCollection::discover({server_.origin() + "/", "ann", "secret", false}, books, &error)) << error;
  ASSERT_EQ(books.size(), 2u);
  std::set<std::string> names{books[0].displayName, books[1].displayName};
  EXPECT_EQ(names, (std::set<std::string>{"Book", "Work"}));
  // The collection itself is taken as it is.
  ASSERT_TRUE(CardDavCollection::discover({server_.bookUrl(), "ann", "secret", false}, books, &error)) << error;
  ASSERT_EQ(books.size(), 1u);
  EXPECT_EQ(books[0].url, server_.bookUrl());
}

TEST_F(CardDavTest, SyncBothWaysAndMergesReachTheServer) {
  ASSERT_EQ(server_.put("ann1.vcf", card("ann-1", "Ann", "Lee", "EMAIL;TYPE=HOME:ann@home.example\r\n")), 201);
  // The winner of the merge below is a vCard 4.0 card: it goes back as one.
  std::string version4 = card("ann-2", "Ann", "Lee", "EMAIL;TYPE=work;PREF=1:ann@work.example\r\n");
  version4.replace(version4.find("VERSION:3.0"), 11, "VERSION:4.0");
  ASSERT_EQ(server_.put("ann2.vcf", version4), 201);
  ASSERT_EQ(server_.put("bob.vcf", card("bob", "Bob", "Ray")), 201);
  ProgramRun run = link(server_.origin() + "/");
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["sources"][0]["store"]["added"], 3);

  // The two Ann Lees merged into one contact: the merged contact is the winner (the last member),
  // whose card on the server is changed in place under its own unique id; the other member's card
  // goes. Other clients see one change and one deletion, not a new contact.
  run = rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  auto pushed = nlohmann::json::parse(run.out)["sources"][0]["sourceSide"];
  EXPECT_EQ(pushed["added"], 0) << run.out;
  EXPECT_EQ(pushed["changed"], 1) << run.out;
  EXPECT_EQ(pushed["deleted"], 1) << run.out;
  auto cards = cardsOnServer();
  ASSERT_EQ(cards.size(), 2u) << run.out;
  int annCards = 0;
  for (const auto& [href, text] : cards) {
    EXPECT_EQ(text.find("UID:ann-1"), std::string::npos);
    if (text.find("N:Lee;Ann") != std::string::npos) {
      ++annCards;
      EXPECT_NE(href.find("ann2.vcf"), std::string::npos) << "the winner's card, at its own address: " << href;
      EXPECT_NE(text.find("UID:ann-2"), std::string::npos) << text;
      EXPECT_NE(text.find("ann@home.example"), std::string::npos) << text;
      EXPECT_NE(text.find("ann@work.example"), std::string::npos) << text;
      EXPECT_NE(text.find("VERSION:4.0"), std::string::npos) << text;
      EXPECT_NE(text.find("PREF=1"), std::string::npos) << text;  // the server orders parameters as it likes
      EXPECT_EQ(text.find("pref"), std::string::npos) << text;
      EXPECT_EQ(text.find("ENCODING=b"), std::string::npos) << text;
    }
  }
  EXPECT_EQ(annCards, 1);

  // Changed on the server by another client: the store follows, and the next sync has nothing to do.
  ASSERT_EQ(server_.put("bob.vcf", card("bob", "Robert", "Ray")) / 100, 2);
  run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(nlohmann::json::parse(run.out)["sources"][0]["store"]["changed"], 1);
  run = rolvane({"scan", "--json"});
  run = rolvane({"sync"});
  EXPECT_EQ(run.out, "srv: 0 added, 0 changed, 0 deleted in the store; 0 added, 0 changed, 0 deleted in the source\n");
  // Deleted on the server: gone from the store.
  ASSERT_EQ(server_.remove("bob.vcf") / 100, 2);
  run = rolvane({"sync", "--json"});
  EXPECT_EQ(nlohmann::json::parse(run.out)["sources"][0]["store"]["deleted"], 1);
}

TEST_F(CardDavTest, AWriteOverACardChangedOnTheServerIsAConflictNotAnOverwrite) {
  ASSERT_EQ(server_.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  CardDavCollection collection({server_.bookUrl(), "ann", "secret", false});
  std::map<std::string, std::string> etags;
  ASSERT_TRUE(collection.list(etags, nullptr));
  ASSERT_EQ(etags.size(), 1u);
  auto [href, seen] = *etags.begin();
  ASSERT_EQ(server_.put("ann.vcf", card("ann", "Anne", "Lee")) / 100, 2);
  std::string newEtag;
  EXPECT_EQ(collection.put(href, card("ann", "Mine", "Lee"), seen, newEtag, nullptr),
            CardCollection::WriteStatus::Conflict);
  EXPECT_EQ(collection.remove(href, seen, nullptr), CardCollection::WriteStatus::Conflict);
  EXPECT_EQ(collection.put(href, card("ann", "Mine", "Lee"), "", newEtag, nullptr),
            CardCollection::WriteStatus::Conflict);
  EXPECT_NE(server_.get("ann.vcf").find("Anne"), std::string::npos);
}

TEST_F(CardDavTest, WrongPasswordAndServerDownSayWhatHappenedAndChangeNothing) {
  writeFile(folder_.file("wrong"), "nope\n");
  ProgramRun run = rolvane({"source", "add", "srv", "--carddav", server_.bookUrl(), "--user", "ann", "--password-file",
                            folder_.file("wrong").string()});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("HTTP 401: wrong user name or password"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("nope"), std::string::npos) << "the password must never be shown";

  ASSERT_EQ(server_.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  run = link(server_.bookUrl());
  ASSERT_EQ(run.status, 0) << run.out;
  writeFile(folder_.file("password"), "changed\n");
  run = rolvane({"sync"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("srv: "), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("HTTP 401"), std::string::npos) << run.out;

  std::string dead = "http://127.0.0.1:" + std::to_string(RadicaleServer::freePort()) + "/ann/book/";
  run = rolvane({"source", "add", "down", "--carddav", dead});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("127.0.0.1"), std::string::npos) << run.out;
  run = rolvane({"export", "--format", "txt", "--to", folder_.path().string()});
  EXPECT_EQ(readFile(folder_.file("Zedid-Ovuzazur.txt")).find("Ann"), std::string::npos);
}

}  // namespace

// The server tells what changed since a token (sync-collection): cards added or changed with their
// ETags, cards removed, and a token for the state now. A token it does not know is said so.
TEST_F(CardDavTest, TheServerListsWhatChangedSinceAToken) {
  ASSERT_EQ(server_.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  ASSERT_EQ(server_.put("bob.vcf", card("bob", "Bob", "Ray")), 201);
  CardDavCollection collection({server_.bookUrl(), "ann", "secret", false});
  std::map<std::string, std::string> changed;
  std::vector<std::string> removed;
  std::string token, error;
  ASSERT_EQ(collection.changesSince("", changed, removed, token, &error), CardCollection::ChangesStatus::Done) << error;
  std::map<std::string, std::string> listed;
  ASSERT_TRUE(collection.list(listed, &error)) << error;
  EXPECT_EQ(changed, listed) << "from no token: every card";
  EXPECT_TRUE(removed.empty());
  ASSERT_FALSE(token.empty());

  ASSERT_EQ(server_.put("bob.vcf", card("bob", "Robert", "Ray")) / 100, 2);
  ASSERT_EQ(server_.put("cid.vcf", card("cid", "Cid", "Orr")), 201);
  ASSERT_EQ(server_.remove("ann.vcf") / 100, 2);
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
  ASSERT_EQ(server_.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  ASSERT_EQ(server_.put("bob.vcf", card("bob", "Bob", "Ray")), 201);
  ASSERT_EQ(link(server_.bookUrl()).status, 0);
  ASSERT_EQ(rolvane({"sync"}).status, 0);
  auto tokenNow = [&] {
    auto state = SyncState::open(folder_.file("store.sqlite"), nullptr);
    return state ? state->source("srv", nullptr)->syncToken : std::string("no state");
  };
  const std::string first = tokenNow();
  EXPECT_FALSE(first.empty());

  ASSERT_EQ(server_.put("bob.vcf", card("bob", "Robert", "Ray")) / 100, 2);
  ASSERT_EQ(server_.remove("ann.vcf") / 100, 2);
  ASSERT_EQ(server_.put("cid.vcf", card("cid", "Cid", "Orr")), 201);
  ProgramRun run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  auto store = nlohmann::json::parse(run.out)["sources"][0]["store"];
  EXPECT_EQ(store["added"], 1);
  EXPECT_EQ(store["changed"], 1);
  EXPECT_EQ(store["deleted"], 1);
  EXPECT_NE(tokenNow(), first);

  {
    auto state = SyncState::open(folder_.file("store.sqlite"), nullptr);
    auto source = state->source("srv", nullptr);
    ASSERT_TRUE(state->finishSync("srv", "forgotten-by-the-server", source->lastSync, source->lastReport, nullptr));
  }
  ASSERT_EQ(server_.put("dot.vcf", card("dot", "Dot", "Fay")), 201);
  run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  store = nlohmann::json::parse(run.out)["sources"][0]["store"];
  EXPECT_EQ(store["added"], 1);
  EXPECT_EQ(store["changed"], 0);
  EXPECT_EQ(store["deleted"], 0);
  EXPECT_EQ(cardsOnServer().size(), 3u);
  auto book = ABAddressBook::open(folder_.file("store.sqlite"));
  ASSERT_TRUE(book);
  EXPECT_EQ(book->count(), 3u) << "Robert, Cid and Dot, none twice";
}

// Writes of many cards go out side by side; each answer belongs to its own write: the ETag of each
// card written, a refusal (412) only for the card changed meanwhile or a name already taken. The
// credentials go with every write at once, so no write reaches the server twice.
TEST_F(CardDavTest, SeveralWritesAtOnceEachGetTheirOwnAnswer) {
  for (int i = 0; i < 6; ++i) {
    std::string n = std::to_string(i);
    ASSERT_EQ(server_.put("c" + n + ".vcf", card("c" + n, "Card", n)), 201);
  }
  CardDavCollection collection({server_.bookUrl(), "ann", "secret", false});
  std::map<std::string, std::string> seen;
  ASSERT_TRUE(collection.list(seen, nullptr));
  const std::string book = HttpSession::pathOf(server_.bookUrl());
  ASSERT_EQ(seen.count(book + "c0.vcf"), 1u);
  ASSERT_EQ(server_.put("c2.vcf", card("c2", "Theirs", "2")) / 100, 2);  // another client, after the list

  using Status = CardCollection::WriteStatus;
  const std::vector<CardCollection::Write> writes = {
      {book + "c0.vcf", card("c0", "Mine", "0"), seen[book + "c0.vcf"]},
      {book + "c1.vcf", card("c1", "Mine", "1"), seen[book + "c1.vcf"]},
      {book + "c2.vcf", card("c2", "Mine", "2"), seen[book + "c2.vcf"]},
      {book + "c3.vcf", "", seen[book + "c3.vcf"], true},
      {book + "c4.vcf", card("c4", "Mine", "4"), seen[book + "c4.vcf"]},
      {book + "new.vcf", card("new", "Mine", "New"), ""},
      {book + "c5.vcf", card("other", "Mine", "5"), ""},
  };
  const std::vector<Status> expected = {Status::Done, Status::Done, Status::Conflict, Status::Done,
                                        Status::Done, Status::Done, Status::Conflict};
  const std::size_t logBefore = server_.log().size();
  std::vector<CardCollection::WriteResult> results;
  collection.writeAll(writes, results);
  ASSERT_EQ(results.size(), writes.size());

  std::map<std::string, std::string> now;
  ASSERT_TRUE(collection.list(now, nullptr));
  for (std::size_t i = 0; i < writes.size(); ++i) {
    EXPECT_EQ(results[i].status, expected[i]) << writes[i].href << ": " << results[i].error;
    if (expected[i] == Status::Done && !writes[i].remove) {
      EXPECT_EQ(results[i].etag, now[writes[i].href]) << writes[i].href << ": the ETag of another card";
    }
  }
  EXPECT_EQ(now.count(book + "c3.vcf"), 0u);
  for (const char* name : {"c0.vcf", "c1.vcf", "c4.vcf", "new.vcf"})
    EXPECT_NE(server_.get(name).find("Mine"), std::string::npos) << name;
  EXPECT_NE(server_.get("c2.vcf").find("Theirs"), std::string::npos) << "a card changed meanwhile is not overwritten";
  EXPECT_NE(server_.get("c5.vcf").find("UID:c5"), std::string::npos) << "a taken name is not overwritten";

  const std::string log = server_.log().substr(logBefore);
  EXPECT_EQ(occurrences(log, "PUT request for"), 6u) << log;
  EXPECT_EQ(occurrences(log, "DELETE request for"), 1u) << log;
}

namespace {

// A collection that passes everything to another one, and can let another client change a card
// between the sync's reading and its writing, or lose the answers to the writes (the writes done,
// the connection gone before the answers came).
class Intercepted : public CardCollection {
 public:
  explicit Intercepted(CardCollection& inner) : inner_(inner) {}
  std::function<void()> beforeWrites;
  bool loseAnswers = false;

  std::string describe() const override { return inner_.describe(); }
  bool list(std::map<std::string, std::string>& etags, std::string* error) override {
    return inner_.list(etags, error);
  }
  ChangesStatus changesSince(const std::string& token, std::map<std::string, std::string>& etags,
                             std::vector<std::string>& removed, std::string& newToken, std::string* error) override {
    return inner_.changesSince(token, etags, removed, newToken, error);
  }
  bool fetch(const std::vector<std::string>& hrefs, std::map<std::string, Card>& cards, std::string* error) override {
    return inner_.fetch(hrefs, cards, error);
  }
  WriteStatus put(const std::string& href, const std::string& text, const std::string& ifMatch, std::string& newEtag,
                  std::string* error) override {
    std::vector<WriteResult> results;
    writeAll({{href, text, ifMatch, false}}, results);
    newEtag = results[0].etag;
    if (error) *error = results[0].error;
    return results[0].status;
  }
  WriteStatus remove(const std::string& href, const std::string& ifMatch, std::string* error) override {
    std::vector<WriteResult> results;
    writeAll({{href, "", ifMatch, true}}, results);
    if (error) *error = results[0].error;
    return results[0].status;
  }
  void writeAll(const std::vector<Write>& writes, std::vector<WriteResult>& results) override {
    if (beforeWrites) std::exchange(beforeWrites, nullptr)();
    inner_.writeAll(writes, results);
    if (loseAnswers)
      for (auto& result : results) result = {WriteStatus::Failed, "", describe() + ": the connection was lost"};
  }
  std::string hrefForNewCard(const std::string& uid) const override { return inner_.hrefForNewCard(uid); }

 private:
  CardCollection& inner_;
};

}  // namespace

class CardDavEngineTest : public CardDavTest {
 protected:
  void SetUp() override {
    CardDavTest::SetUp();
    book_ = ABAddressBook::open(folder_.file("store.sqlite"));
    ASSERT_TRUE(book_);
    state_ = SyncState::open(folder_.file("store.sqlite"), nullptr);
    ASSERT_TRUE(state_);
    SyncSource source;
    source.name = "srv";
    source.kind = SyncSource::Kind::CardDav;
    source.location = server_.bookUrl();
    source.user = "ann";
    ASSERT_TRUE(state_->addSource(source, nullptr));
  }
  // One sync as the command runs it, through the interceptor.
  SyncReport sync() {
    auto source = state_->source("srv", nullptr);
    SyncReport report;
    std::string error;
    EXPECT_TRUE(SyncEngine(*book_, *state_).sync(*source, true, intercepted_, report, &error)) << error;
    state_->finishSync("srv", report.syncToken, "now", report.summary(), nullptr);
    return report;
  }
  std::map<std::string, int> uidsOnServer() {
    std::map<std::string, int> uids;
    for (const auto& [href, text] : cardsOnServer()) {
      auto at = text.find("UID:");
      ++uids[text.substr(at + 4, text.find_first_of("\r\n", at) - at - 4)];
    }
    return uids;
  }

  std::unique_ptr<ABAddressBook> book_;
  std::unique_ptr<SyncState> state_;
  CardDavCollection serverCollection_{{server_.bookUrl(), "ann", "secret", false}};
  Intercepted intercepted_{serverCollection_};
};

// Changes pushed together, one of them over a card another client changed after the sync read the
// server: that one is refused (412) and settled as a conflict in the same sync, the source's version
// winning; one refused over a card that already says what the store says is no conflict; the others
// are written, and their new ETags remembered (the next sync has nothing to do).
TEST_F(CardDavEngineTest, PushedTogetherOneRefusedCardIsSettledAsAConflictAndTheOthersWritten) {
  for (int i = 0; i < 6; ++i) {
    std::string n = std::to_string(i);
    ASSERT_EQ(server_.put("p" + n + ".vcf", card("p" + n, "Person", "N" + n)), 201);
  }
  EXPECT_EQ(sync().addedToStore, 6);
  for (int i = 0; i < 6; ++i) setNote(*book_, "p" + std::to_string(i), "pushed");
  intercepted_.beforeWrites = [&] {
    ASSERT_EQ(server_.put("p3.vcf", card("p3", "Changed", "There")) / 100, 2);
    // The very change the store makes, written there first (as by a sync cut short whose write
    // landed late): refused too, but nothing to settle.
    ASSERT_EQ(server_.put("p4.vcf", vCardForPerson(*book_->recordForUniqueId("p4")->snapshot())) / 100, 2);
  };

  SyncReport report = sync();
  EXPECT_EQ(report.changedInSource, 4);
  ASSERT_EQ(report.conflicts.size(), 1u) << report.summary();
  EXPECT_NE(report.conflicts[0].find("Person N3"), std::string::npos) << report.conflicts[0];
  EXPECT_TRUE(report.errors.empty()) << report.errors[0];
  EXPECT_EQ(firstName(*book_, "p3"), "Changed");
  EXPECT_EQ(firstName(*ABAddressBook::open(folder_.file("store.sqlite")), "p3"), "Changed");
  for (int i = 0; i < 6; ++i) {
    std::string text = server_.get("p" + std::to_string(i) + ".vcf");
    EXPECT_EQ(text.find("pushed") != std::string::npos, i != 3) << text;
  }
  EXPECT_EQ(sync().summary(),
            "srv: 0 added, 0 changed, 0 deleted in the store; 0 added, 0 changed, 0 deleted in the source");
}

// A push cut short after the server took the writes and before their answers came (so nothing of
// it was remembered) is finished by the next sync: every change there once, nothing doubled, nothing
// lost, and no conflict made up from a card the server wrote back with the same values in another form.
TEST_F(CardDavEngineTest, APushCutShortIsFinishedByTheNextSync) {
  for (const char* uid : {"ann", "bob", "cid", "dot"})
    ASSERT_EQ(server_.put(std::string(uid) + ".vcf", card(uid, uid, "Lee")), 201);
  EXPECT_EQ(sync().addedToStore, 4);
  setNote(*book_, "ann", "changed here");
  setNote(*book_, "bob", "changed here too");
  // A birthday without a year: the server writes its parameters back in another order.
  ASSERT_TRUE(book_->recordForUniqueId("bob")->setValueForProperty(ABValue(ABDate{1604, 3, 14}), kABBirthdayProperty));
  ASSERT_TRUE(book_->removeRecord(book_->recordForUniqueId("cid")));
  auto eve = std::make_shared<ABPerson>();
  eve->setValueForProperty(ABValue(std::string("Eve")), kABFirstNameProperty);
  ASSERT_TRUE(book_->addRecord(eve));
  ASSERT_TRUE(book_->save());

  intercepted_.loseAnswers = true;
  SyncReport cut = sync();
  EXPECT_EQ(cut.errors.size(), 4u) << cut.summary();
  intercepted_.loseAnswers = false;
  EXPECT_EQ(uidsOnServer(), (std::map<std::string, int>{{"ann", 1}, {"bob", 1}, {"dot", 1}, {eve->uniqueId(), 1}}));

  SyncReport report = sync();
  EXPECT_TRUE(report.errors.empty()) << report.errors[0];
  EXPECT_TRUE(report.conflicts.empty()) << report.conflicts[0];
  EXPECT_EQ(report.addedToStore + report.removedFromStore + report.addedToSource + report.removedFromSource, 0)
      << report.summary();
  EXPECT_EQ(book_->count(), 4u);
  EXPECT_EQ(uidsOnServer(), (std::map<std::string, int>{{"ann", 1}, {"bob", 1}, {"dot", 1}, {eve->uniqueId(), 1}}));
  EXPECT_NE(server_.get("ann.vcf").find("changed here"), std::string::npos);
  // Everything is remembered again: a change goes out, and then there is nothing to do.
  setNote(*book_, eve->uniqueId(), "linked");
  EXPECT_EQ(sync().changedInSource, 1);
  EXPECT_EQ(sync().summary(),
            "srv: 0 added, 0 changed, 0 deleted in the store; 0 added, 0 changed, 0 deleted in the source");
}
