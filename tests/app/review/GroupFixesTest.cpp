#include "ReviewFixture.h"
#include "app/review/FixAll.h"
#include "app/review/FixPreview.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace RC = ReviewCategories;

using GroupFixesTest = ReviewFixture;

namespace {

using Strings = std::vector<std::string>;

std::string card(const std::string& lines) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + lines + "END:VCARD\r\n";
}

// Apple's group cards: one of two members, one without members; persons of categories written in
// several ways.
const std::string kBook =
    card("N:Lee;Ann\r\nEMAIL:ann@x.org\r\nCATEGORIES:Family\r\nUID:ann\r\n") +
    card("N:Lee;Ann\r\nEMAIL:ann@y.org\r\nCATEGORIES:Golf,family \r\nUID:ann-2\r\n") +
    card("N:Roe;Bob\r\nEMAIL:bob@x.org\r\nCATEGORIES:Family\r\nUID:bob\r\n") +
    card(
        "N:Friends\r\nFN:Friends\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
        "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ann-2\r\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:bob\r\nUID:friends\r\n") +
    card("N:FAMILY\r\nFN:FAMILY\r\nX-ADDRESSBOOKSERVER-KIND:group\r\nUID:empty\r\n") +
    card("FN:Solo\r\nX-ADDRESSBOOKSERVER-KIND:group\r\nUID:solo\r\n");

}  // namespace

class GroupBookFixture : public GroupFixesTest {
 protected:
  void SetUp() override {
    GroupFixesTest::SetUp();
    VCardImportResult read = VCardImporter::importText(kBook);
    ASSERT_TRUE(read.ok()) << read.error;
    for (auto& data : read.persons) ASSERT_TRUE(book_->addRecord(std::make_shared<ABPerson>(std::move(data))));
    ASSERT_TRUE(book_->save());
  }
  FixAllOutcome fixAll(const std::string& key, const std::string& option) {
    ReviewOutline outline;
    outline.setOutlineViewDataSouce(ScanAddressBook(*book_).scan(allConditionNames()));
    const RC::Category* category = RC::byConditionKey(key);
    EXPECT_TRUE(category) << key;
    if (!category) return {};
    return fixAllInCategory(outline, *book_, *category, option, questions_);
  }
  Strings groupsOf(const std::string& uid) {
    auto book = reopened();
    return ABGroups::Index(book->people()).groupsOf(*book->recordForUniqueId(uid)->snapshot());
  }
};

// A group card is no person: no condition about persons lists it, whatever it holds.
TEST_F(GroupBookFixture, AGroupCardIsNeverListedByAConditionAboutPersons) {
  const ScanResult result = ScanAddressBook(*book_).scan(allConditionNames());
  for (const auto& condition : scanConditions()) {
    if (condition.key == "EmptyGroup" || condition.key == "GroupWrittenDifferently") continue;
    SCOPED_TRACE(condition.name);
    for (const auto& person : result.personsFor(condition.key))
      EXPECT_FALSE(ABGroups::isGroupCard(*person)) << ABAddressBook::nameForHistory(*person);
  }
  for (const auto& group : result.similarContacts)
    for (const auto& person : group.Persons) EXPECT_FALSE(ABGroups::isGroupCard(*person));
  for (const auto& finding : result.shareEmail) EXPECT_FALSE(ABGroups::isGroupCard(*finding.SearchedPerson));
  for (const char* name : {"Incomplete name", "Blank name", "Contact that cannot be reached", "Duplicate contacts"}) {
    SCOPED_TRACE(name);
    const ScanResult alone = ScanAddressBook(*book_).scan({name});
    for (const auto& person : alone.personsFor(scanConditionNamed(name)->key))
      EXPECT_FALSE(ABGroups::isGroupCard(*person));
  }
  EXPECT_FALSE(ScanAddressBook::personMeetsCondition("SingleName", *book_->recordForUniqueId("friends")->snapshot()));
}

TEST_F(GroupBookFixture, EmptyGroupsAreFoundAndDeletedUndoably) {
  const ScanResult result = ScanAddressBook(*book_).scan({"Empty group"});
  Strings found;
  for (const auto& person : result.personsFor("EmptyGroup")) found.push_back(person->uniqueId());
  EXPECT_EQ(found, (Strings{"empty", "solo"}));
  FixAllOutcome outcome = fixAll("EmptyGroup", RC::Option::kDeleteGroup);
  EXPECT_TRUE(outcome.errors.empty());
  EXPECT_EQ(outcome.fixed, 2);
  EXPECT_FALSE(reopened()->recordForUniqueId("empty"));
  EXPECT_FALSE(reopened()->recordForUniqueId("solo"));
  EXPECT_TRUE(reopened()->recordForUniqueId("friends"));
  std::string error;
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  EXPECT_TRUE(reopened()->recordForUniqueId("empty"));
  EXPECT_TRUE(reopened()->recordForUniqueId("solo"));
}

TEST_F(GroupBookFixture, NamesWrittenDifferentlyAreRenamedToTheMostUsedSpelling) {
  const ScanResult result = ScanAddressBook(*book_).scan({"Same group written differently"});
  Strings found;
  for (const auto& person : result.personsFor("GroupWrittenDifferently")) found.push_back(person->uniqueId());
  // "family " (ann-2) and the card "FAMILY" are written otherwise than "Family" (ann, bob).
  EXPECT_EQ(found, (Strings{"ann-2", "empty"}));
  FixAllOutcome outcome = fixAll("GroupWrittenDifferently", RC::Option::kRenameToMostUsed);
  EXPECT_TRUE(outcome.errors.empty()) << outcome.errors.front();
  EXPECT_EQ(outcome.fixed, 2);
  EXPECT_EQ(groupsOf("ann-2"), (Strings{"Golf", "Family", "Friends"}));
  EXPECT_EQ(ABGroups::groupName(*reopened()->recordForUniqueId("empty")->snapshot()), "Family");
  EXPECT_TRUE(ScanAddressBook(*book_).scan({"Same group written differently"}).empty());
  // The whole Fix All is one change.
  std::string error;
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(ABGroups::categories(*reopened()->recordForUniqueId("ann-2")->snapshot()), (Strings{"Golf", "family"}));
  EXPECT_EQ(ABGroups::groupName(*reopened()->recordForUniqueId("empty")->snapshot()), "FAMILY");
}

TEST_F(GroupBookFixture, AMergeKeepsEveryCategoryAndTheMergedContactInEveryGroupCard) {
  FixAllOutcome outcome = fixAll("DuplicateContacts", RC::Option::kMerge);
  EXPECT_TRUE(outcome.errors.empty());
  ASSERT_EQ(outcome.fixed, 1);
  auto book = reopened();
  // The merged contact keeps one of the two ids; the card that listed the other lists it.
  const std::string kept = book->recordForUniqueId("ann") ? "ann" : "ann-2";
  const std::string gone = kept == "ann" ? "ann-2" : "ann";
  EXPECT_FALSE(book->recordForUniqueId(gone));
  const auto categories = ABGroups::categories(*book->recordForUniqueId(kept)->snapshot());
  for (const char* name : {"Family", "Golf", "family"})
    EXPECT_NE(std::find(categories.begin(), categories.end(), name), categories.end()) << name;
  const Strings members = ABGroups::members(*book->recordForUniqueId("friends")->snapshot());
  EXPECT_EQ(std::count(members.begin(), members.end(), kept), 1);
  EXPECT_EQ(std::count(members.begin(), members.end(), gone), 0);
  EXPECT_EQ(members.size(), 2u);
  // Undo gives the card its members back.
  std::string error;
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(ABGroups::members(*reopened()->recordForUniqueId("friends")->snapshot()), (Strings{"ann-2", "bob"}));
}
