// Groups through a real CardDAV server (Radicale on 127.0.0.1): Apple's group cards and CATEGORIES
// come in, a scan lists no group as a contact, the fixes merge contacts, and after the next sync
// every group card is still on the server with its members (a merged-away member replaced by the
// merged contact) and every contact keeps its categories.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <set>

#include "../../support/ProgramRun.h"
#include "../../support/RadicaleServer.h"
#include "../addressbook/TestStorePath.h"
#include "CardDavTestFixture.h"
#include "SyncTestSupport.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/sync/CardDavCollection.h"

namespace {

using Strings = std::vector<std::string>;

std::string groupCard(const std::string& uid, const std::string& name, const Strings& members) {
  std::string text = "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Apple Inc.//AddressBook 13.0//EN\r\nN:" + name +
                     "\r\nFN:" + name + "\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n";
  for (const auto& member : members) text += "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:" + member + "\r\n";
  return text + "UID:" + uid + "\r\nEND:VCARD\r\n";
}

// Every card on the server, read as the store reads them.
std::vector<ABPersonData> personsOf(const std::map<std::string, std::string>& cards) {
  std::vector<ABPersonData> read;
  for (const auto& [href, text] : cards) {
    VCardImportResult one = VCardImporter::importText(text);
    EXPECT_TRUE(one.ok()) << one.error;
    for (auto& person : one.persons) read.push_back(std::move(person));
  }
  return read;
}

TEST_F(CardDavTest, GroupCardsAndCategoriesSurviveAScanFixingEverythingAndASync) {
  ASSERT_EQ(
      server_.put("ann1.vcf", card("ann-1", "Ann", "Lee", "EMAIL:ann@home.example\r\nCATEGORIES:Family,Golf\r\n")),
      201);
  ASSERT_EQ(server_.put("ann2.vcf", card("ann-2", "Ann", "Lee", "EMAIL:ann@work.example\r\nCATEGORIES:Work\r\n")), 201);
  ASSERT_EQ(server_.put("bob.vcf", card("bob", "Bob", "Ray", "EMAIL:bob@example.org\r\nCATEGORIES:Family\r\n")), 201);
  ASSERT_EQ(server_.put("cy.vcf", card("cy", "Cy", "Day", "TEL:+49 30 1234567\r\n")), 201);
  ASSERT_EQ(server_.put("friends.vcf", groupCard("group-friends", "Friends", {"ann-1", "bob"})), 201);
  ASSERT_EQ(server_.put("neighbours.vcf", groupCard("group-neighbours", "Neighbours", {"ann-2", "cy"})), 201);
  ProgramRun run = rolvane({"source", "add", "srv", "--carddav", server_.bookUrl(), "--user", "ann", "--password-file",
                            folder_.file("password").string()});
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"sync"});
  ASSERT_EQ(run.status, 0) << run.out;

  // No condition about persons lists a group card.
  run = rolvane({"scan", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out.find("group-friends"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find("group-neighbours"), std::string::npos) << run.out;
  const auto found = nlohmann::json::parse(run.out);
  ASSERT_TRUE(found.contains("DuplicateContacts")) << run.out;

  // The one finding fixed: the duplicates merged. Nothing is left to fix.
  run = rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"scan", "--json"});
  EXPECT_EQ(run.out.rfind("{}\n", 0), 0u) << run.out;
  run = rolvane({"sync"});
  ASSERT_EQ(run.status, 0) << run.out;

  // On the server: both group cards, as group cards; the merged contact in each of them.
  const std::vector<ABPersonData> cards = personsOf(cardsOnServer());
  std::string merged;
  std::map<std::string, Strings> membersOf, categoriesOf;
  for (const auto& data : cards) {
    const std::string uid = *data.string(kABUIDProperty);
    if (ABGroups::isGroupCard(data)) {
      membersOf[ABGroups::groupName(data)] = ABGroups::members(data);
      continue;
    }
    categoriesOf[uid] = ABGroups::categories(data);
    if (*data.string(kABFirstNameProperty) == "Ann") {
      EXPECT_TRUE(merged.empty()) << "one Ann Lee";
      merged = uid;
    }
  }
  ASSERT_FALSE(merged.empty());
  EXPECT_EQ(cards.size(), 5u);
  ASSERT_EQ(membersOf.size(), 2u);
  EXPECT_EQ(std::set<std::string>(membersOf["Friends"].begin(), membersOf["Friends"].end()),
            (std::set<std::string>{merged, "bob"}));
  EXPECT_EQ(std::set<std::string>(membersOf["Neighbours"].begin(), membersOf["Neighbours"].end()),
            (std::set<std::string>{merged, "cy"}));
  const Strings& ann = categoriesOf[merged];
  EXPECT_EQ(std::set<std::string>(ann.begin(), ann.end()), (std::set<std::string>{"Family", "Golf", "Work"}));
  EXPECT_EQ(categoriesOf["bob"], Strings{"Family"});
  EXPECT_EQ(categoriesOf["cy"], Strings{});

  // And the store says the same of its groups.
  run = rolvane({"group", "list", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  const auto groups = nlohmann::json::parse(run.out)["Groups"];
  ASSERT_EQ(groups.size(), 5u) << run.out;  // Family, Friends, Golf, Neighbours, Work
  EXPECT_EQ(groups[0]["Name"], "Family");
  EXPECT_EQ(groups[0]["Members"].size(), 2u);
}

}  // namespace
