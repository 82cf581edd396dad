#include "ScanFixture.h"
#include "app/scanner/ScanConditions.h"

namespace {

class Receiver : public ScanReportReceiver {
 public:
  std::optional<ScanResult> result;
  std::string title, message;
  void scanOver(ScanResult r) override { result = std::move(r); }
  void scanFoundNothing(const std::string& t, const std::string& m) override {
    title = t;
    message = m;
  }
};

}  // namespace

using ScanDriverTest = ScanFixture;

TEST_F(ScanDriverTest, NothingFoundGivesTheNotesAlert) {
  Receiver receiver;
  scanner().scanEntireAddressBook(allConditionNames(), receiver);
  EXPECT_FALSE(receiver.result);
  EXPECT_EQ(receiver.title, "Notes");
  EXPECT_EQ(receiver.message, "Scan completed, no contact matches the condition!");

  add({{kABFirstNameProperty, "Ann"}});
  Receiver unknown;
  scanner().scanEntireAddressBook({"No such condition"}, unknown);
  EXPECT_FALSE(unknown.result);
  EXPECT_EQ(unknown.title, "Notes");
}

TEST_F(ScanDriverTest, OnlyConditionsThatFoundSomethingHaveAKey) {
  auto ann = add({{kABFirstNameProperty, "Ann Marie"}, {kABLastNameProperty, "Lee"}, {kABNoteProperty, "  "}});
  Receiver receiver;
  scanner().scanEntireAddressBook(allConditionNames(), receiver);
  ASSERT_TRUE(receiver.result);
  EXPECT_EQ(receiver.result->keys, (std::vector<std::string>{"EmptyNotes", "SpaceInFirstName"}));
  EXPECT_EQ(receiver.result->personsFor("EmptyNotes"), (Persons{ann}));
}

TEST_F(ScanDriverTest, OrderOfNamesChangesOnlyTheOrderOfKeys) {
  add({{kABFirstNameProperty, "Ann"}, {kABTitleProperty, "Xx"}}, {{kABHomeLabel, "s@x.org"}});
  add({{kABLastNameProperty, "Bo"}}, {{kABWorkLabel, "s@x.org"}});
  auto names = allConditionNames();
  auto forward = scanner().scan(names);
  std::reverse(names.begin(), names.end());
  auto backward = scanner().scan(names);
  auto sorted = [](std::vector<std::string> keys) {
    std::sort(keys.begin(), keys.end());
    return keys;
  };
  EXPECT_EQ(sorted(forward.keys), sorted(backward.keys));
  for (const auto& key : forward.keys) EXPECT_EQ(forward.personsFor(key), backward.personsFor(key)) << key;
  ASSERT_EQ(forward.shareEmail.size(), 1u);
  EXPECT_EQ(forward.shareEmail[0].SearchedPerson, backward.shareEmail[0].SearchedPerson);
  // The thirteen conditions, then those of similar contacts and phone numbers.
  EXPECT_EQ(scanConditions().size(), 16u);
  EXPECT_EQ(scanConditions().front().key, "DuplicateContacts");
  EXPECT_EQ(scanConditions()[12].name, "Emails duplicated among multiple contacts");
  EXPECT_EQ(scanConditions()[13].key, "SimilarContacts");
  EXPECT_EQ(scanConditions()[14].key, "DupPhoneFormat");
  EXPECT_EQ(scanConditions().back().name, "Phone number not in international format");
}
