#pragma once

// What the tests against a real CardDAV server (Radicale on 127.0.0.1) share: the server, a store
// beside it, the program run on that store, and the cards the server holds.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "../../support/ProgramRun.h"
#include "../../support/RadicaleServer.h"
#include "../addressbook/TestStorePath.h"
#include "SyncTestSupport.h"
#include "platform/sync/CardDavCollection.h"
#include "tests/support/TestPaths.h"

class CardDavTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ready()) << "Radicale did not start (python3-radicale is installed by scripts/install-deps):\n"
                                 << server_.log();
    writeFile(folder_.file("password"), "secret\n");
  }
  ProgramRun rolvane(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", folder_.file("store.sqlite").string()});
    return runProgram(ROLVANE_PROGRAM, args);
  }
  ProgramRun link(const std::string& url) {
    return rolvane({"source", "add", "srv", "--carddav", url, "--user", "ann", "--password-file",
                    folder_.file("password").string()});
  }
  std::map<std::string, std::string> cardsOnServer() {
    CardDavCollection collection({server_.bookUrl(), "ann", "secret", false});
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

  TempFolder folder_;
  RadicaleServer server_{folder_.path() / "radicale", "info"};
};
