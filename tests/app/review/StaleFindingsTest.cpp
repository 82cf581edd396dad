// A fix acts only on a finding that still holds on the store as it is now.
#include <functional>

#include "ReviewFixture.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "tests/support/TestPaths.h"

namespace RC = ReviewCategories;
namespace Opt = ReviewCategories::Option;

using StaleFindingsTest = ReviewFixture;

namespace {

std::vector<std::string> emailsOf(const ABPerson& person) {
  std::vector<std::string> values;
  if (auto emails = person.multiValueForProperty(kABEmailProperty))
    for (size_t i = 0; i < emails->count(); ++i)
      values.push_back(emails->labelAtIndex(i) + "=" + emails->stringAtIndex(i));
  return values;
}

// Every person's values by unique id, to tell whether anything changed.
std::map<std::string, ABPersonData> contentsOf(const ABAddressBook& book) {
  std::map<std::string, ABPersonData> contents;
  for (const auto& person : book.people()) contents.emplace(person->uniqueId(), *person->snapshot());
  return contents;
}

void changeAndSave(ABAddressBook& book, const ABPersonRef& person, const std::string& property, ABValue value) {
  ASSERT_TRUE(person->setValueForProperty(std::move(value), property));
  ASSERT_TRUE(book.addRecord(person));
  ASSERT_TRUE(book.save());
}

// Fixes every row of the category with the option, first row first, as long as rows go.
int fixEveryRow(ReviewOutline& outline, FixActions& actions, const RC::Category& category, const std::string& option,
                std::vector<std::string>* staleLines = nullptr) {
  int saved = 0;
  while (PersonItem* father = outline.category(category.title)) {
    if (father->childrenCount() == 0) break;
    FixOutcome outcome = actions.apply(category, father->childAtIndex(0), option);
    EXPECT_TRUE(outcome.error.empty()) << outcome.error;
    if (outcome.storeChanged) ++saved;
    if (!outcome.stale.empty() && staleLines) staleLines->push_back(outcome.stale);
    if (!outcome.rowRemoved) break;
  }
  return saved;
}

}  // namespace

TEST_F(StaleFindingsTest, AnAddressHeldTwiceIsRemovedOnceAndTheSecondRowIsDropped) {
  auto a = add({{kABFirstNameProperty, "A"}},
               {{kABHomeLabel, "s@x.org"}, {kABWorkLabel, "s@x.org"}, {kABWorkLabel, "own@x.org"}});
  auto b = add({{kABFirstNameProperty, "B"}}, {{kABHomeLabel, "s@x.org"}});
  outline_.setOutlineViewDataSouce(ScanAddressBook(*book_).scan({"Emails duplicated among multiple contacts"}));
  outline_.expandAll();
  ASSERT_EQ(outline_.category(RC::kShareEmail)->childrenCount(), 2u) << "one row per label holding the address";
  selectIn(RC::kShareEmail, 0);
  auto first = fix(Opt::kRemoveEmail);
  EXPECT_TRUE(first.storeChanged);
  EXPECT_EQ(emailsOf(*reopened()->recordForUniqueId(a->uniqueId())),
            (std::vector<std::string>{kABWorkLabel + "=own@x.org"}));

  // The second row is about the same address, which the person no longer holds.
  ASSERT_TRUE(outline_.category(RC::kShareEmail));
  selectIn(RC::kShareEmail, 0);
  EXPECT_EQ(outline_.selectedItem()->duplicateEmailType(), kABWorkLabel);
  auto second = fix(Opt::kRemoveEmail);
  EXPECT_FALSE(second.storeChanged);
  EXPECT_TRUE(second.rowRemoved);
  EXPECT_EQ(second.stale, "A: not fixed, \"s@x.org\" is no longer one of its e-mail addresses");
  auto disk = reopened();
  EXPECT_EQ(emailsOf(*disk->recordForUniqueId(a->uniqueId())), (std::vector<std::string>{kABWorkLabel + "=own@x.org"}))
      << "the address nobody else holds stays";
  EXPECT_EQ(emailsOf(*disk->recordForUniqueId(b->uniqueId())), (std::vector<std::string>{kABHomeLabel + "=s@x.org"}));
  EXPECT_TRUE(outline_.isFinished());
}

TEST_F(StaleFindingsTest, ANoteOrNicknameEditedSinceTheScanIsKept) {
  auto p = add({{kABFirstNameProperty, "P"}, {kABNoteProperty, "  "}, {kABNicknameProperty, " "}});
  outline_.setOutlineViewDataSouce(
      ScanAddressBook(*book_).scan({"Note with spacing only", "Nickname with spacing only"}));
  outline_.expandAll();
  // "Edit in Contacts" (or the table) gives the person a real note and nickname.
  changeAndSave(*book_, p, kABNoteProperty, std::string("call after six"));
  changeAndSave(*book_, p, kABNicknameProperty, std::string("Pip"));
  selectIn(RC::kNoteWithSpacing);
  auto note = fix(Opt::kDeleteBlankProperty);
  EXPECT_EQ(note.stale, "P: not fixed, its note is no longer spaces only");
  selectIn(RC::kNicknameWithSpacing);
  auto nickname = fix(Opt::kDeleteBlankProperty);
  EXPECT_EQ(nickname.stale, "P: not fixed, its nickname is no longer spaces only");
  auto disk = reopened();
  EXPECT_EQ(disk->recordForUniqueId(p->uniqueId())->stringForProperty(kABNoteProperty), "call after six");
  EXPECT_EQ(disk->recordForUniqueId(p->uniqueId())->stringForProperty(kABNicknameProperty), "Pip");
  EXPECT_TRUE(outline_.isFinished());
}

TEST_F(StaleFindingsTest, ContactsMergedByOneRowAreNotMergedAgainByAnother) {
  // B shares s1 with A, C shares s2 with A: two rows, both naming A.
  auto b = add({{kABFirstNameProperty, "B"}}, {{kABHomeLabel, "s1@x.org"}});
  auto c = add({{kABFirstNameProperty, "C"}}, {{kABHomeLabel, "s2@x.org"}});
  auto a = add({{kABFirstNameProperty, "A"}}, {{kABHomeLabel, "s1@x.org"}, {kABWorkLabel, "s2@x.org"}});
  outline_.setOutlineViewDataSouce(ScanAddressBook(*book_).scan({"Emails duplicated among multiple contacts"}));
  outline_.expandAll();
  ASSERT_EQ(outline_.category(RC::kShareEmail)->childrenCount(), 2u);
  selectIn(RC::kShareEmail, 0);
  ASSERT_EQ(outline_.selectedItem()->person(), b);
  ASSERT_TRUE(fix(Opt::kMerge).storeChanged);
  EXPECT_TRUE(outline_.isFinished()) << "the row naming the merged-away A is gone";
  auto disk = reopened();
  EXPECT_EQ(disk->count(), 2u) << "the merged contact and C";
  EXPECT_TRUE(disk->recordForUniqueId(c->uniqueId()));
  EXPECT_FALSE(disk->recordForUniqueId(a->uniqueId()));
}

TEST_F(StaleFindingsTest, AContactDeletedElsewhereMakesItsRowsStaleAndGoesFromEveryCategory) {
  auto b = add({{kABFirstNameProperty, "B"}, {kABNoteProperty, " "}}, {{kABHomeLabel, "s@x.org"}});
  auto a = add({{kABFirstNameProperty, "A"}}, {{kABHomeLabel, "s@x.org"}});
  auto c = add({{kABFirstNameProperty, "C"}, {kABTitleProperty, "Xx"}});
  outline_.setOutlineViewDataSouce(ScanAddressBook(*book_).scan(allConditionNames()));
  outline_.expandAll();
  // Another window deletes A, which the shared-address row of B would merge.
  ASSERT_TRUE(book_->removeRecord(a));
  ASSERT_TRUE(book_->save());
  selectIn(RC::kShareEmail);
  auto merge = fix(Opt::kMerge);
  EXPECT_FALSE(merge.storeChanged);
  EXPECT_EQ(merge.stale, "B: not fixed, A is no longer in the address book");
  EXPECT_EQ(reopened()->count(), 2u);
  // A was listed under "Incomplete name" too: that row went with the fix.
  for (const auto& father : outline_.rootNodes())
    for (PersonItem* row : father->childrenArray()) EXPECT_NE(row->person()->uniqueId(), a->uniqueId());
  EXPECT_TRUE(outline_.category(RC::kUnusualTitle));
}

TEST_F(StaleFindingsTest, CancellingEditInContactsLeavesTheRow) {
  auto p = add({{kABFirstNameProperty, "P"}}, {{kABHomeLabel, "nope"}});
  auto q = add({{kABFirstNameProperty, "Q"}}, {{kABHomeLabel, "also nope"}});
  build({{"InvalidChar", {p, q}}});
  contacts_.saveEdits = false;
  auto cancelled = fix(Opt::kEditInContacts);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_FALSE(cancelled.rowRemoved);
  ASSERT_EQ(outline_.category(RC::kInvalidCharacters)->childrenCount(), 2u);
  EXPECT_EQ(outline_.category(RC::kInvalidCharacters)->childAtIndex(0)->person(), p);
  contacts_.saveEdits = true;
  selectIn(RC::kInvalidCharacters, 0);
  EXPECT_TRUE(fix(Opt::kEditInContacts).rowRemoved);
  EXPECT_EQ(contacts_.edited, (std::vector<std::string>{p->uniqueId(), p->uniqueId()}));
}

// For every category and option: a finding that no longer holds changes nothing, asks nothing,
// opens nothing, and its row is dropped with one line.
TEST_F(StaleFindingsTest, EveryOptionOfEveryCategoryLeavesAStaleFindingAlone) {
  struct Case {
    std::string key;
    std::function<ABPersonRef()> make;               // a person the condition lists
    std::function<void(const ABPersonRef&)> unmake;  // a change after which it no longer holds
  };
  auto set = [&](const std::string& property, ABValue value) {
    return [this, property, value](const ABPersonRef& p) { changeAndSave(*book_, p, property, value); };
  };
  auto list = [](std::vector<std::pair<std::string, std::string>> entries) {
    ABMultiValue multi;
    for (auto& [label, value] : entries) multi.addValueWithLabel(value, label);
    return multi;
  };
  ABMultiValue twoAddresses;
  twoAddresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}}, kABHomeLabel);
  twoAddresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}}, kABWorkLabel);
  ABMultiValue oneAddress;
  oneAddress.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}}, kABHomeLabel);
  oneAddress.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Bergen"}}, kABWorkLabel);
  const std::vector<Case> cases = {
      {"UnusualSuffix",
       [&] {
         return add({{kABFirstNameProperty, "S"}, {kABSuffixProperty, "Jr."}});
       },
       set(kABSuffixProperty, std::string("Jr"))},
      {"UnusualTitle",
       [&] {
         return add({{kABFirstNameProperty, "T"}, {kABTitleProperty, "Xx"}});
       },
       set(kABTitleProperty, std::string("Dr"))},
      {"SingleName",
       [&] {
         return add({{kABFirstNameProperty, "One"}});
       },
       set(kABLastNameProperty, std::string("Two"))},
      {"SpaceInFirstName",
       [&] {
         return add({{kABFirstNameProperty, "Mary Ann"}});
       },
       set(kABFirstNameProperty, std::string("MaryAnn"))},
      {"EmptyNotes",
       [&] {
         return add({{kABFirstNameProperty, "N"}, {kABNoteProperty, " "}});
       },
       set(kABNoteProperty, std::string("real"))},
      {"EmptyNickname",
       [&] {
         return add({{kABFirstNameProperty, "K"}, {kABNicknameProperty, "  "}});
       },
       set(kABNicknameProperty, std::string("Kay"))},
      {"DupEmail",
       [&] {
         return add({{kABFirstNameProperty, "E"}}, {{kABHomeLabel, "e@x.org"}, {kABWorkLabel, "e@x.org"}});
       },
       set(kABEmailProperty, list({{kABHomeLabel, "e@x.org"}, {kABWorkLabel, "f@x.org"}}))},
      {"DupPhone",
       [&] {
         return add({{kABFirstNameProperty, "F"}}, {}, {{kABHomeLabel, "555"}, {kABWorkLabel, "555"}});
       },
       set(kABPhoneProperty, list({{kABHomeLabel, "555"}, {kABWorkLabel, "556"}}))},
      {"DupAddress",
       [&] {
         auto p = add({{kABFirstNameProperty, "G"}});
         changeAndSave(*book_, p, kABAddressProperty, twoAddresses);
         return p;
       },
       set(kABAddressProperty, oneAddress)},
      {"InvalidChar",
       [&] {
         return add({{kABFirstNameProperty, "I"}}, {{kABHomeLabel, "nope"}});
       },
       set(kABEmailProperty, list({{kABHomeLabel, "ok@x.org"}}))},
      {"BlankName",
       [&] {
         return add({{kABOrganizationProperty, "Nameless Ltd"}});
       },
       set(kABFirstNameProperty, std::string("Named"))},
      {"DuplicateContacts",
       [&] {
         auto first = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}});
         add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}, {kABNoteProperty, "second"}});
         return first;
       },
       set(kABLastNameProperty, std::string("Leigh"))},
      {"ShareEmail",
       [&] {
         auto first = add({{kABFirstNameProperty, "H"}}, {{kABHomeLabel, "h@x.org"}});
         add({{kABFirstNameProperty, "J"}}, {{kABWorkLabel, "h@x.org"}});
         return first;
       },
       set(kABEmailProperty, list({{kABHomeLabel, "other@x.org"}}))},
  };
  for (const auto& c : cases) {
    const RC::Category* category = RC::byConditionKey(c.key);
    ASSERT_TRUE(category) << c.key;
    for (const auto& option : category->matrix->options) {
      SCOPED_TRACE(c.key + " / " + option);
      for (const auto& person : book_->people()) book_->removeRecord(person);
      ASSERT_TRUE(book_->save());
      ABPersonRef person = c.make();
      ReviewOutline fresh;
      fresh.setOutlineViewDataSouce(ScanAddressBook(*book_).scan(allConditionNames()));
      fresh.expandAll();
      PersonItem* father = fresh.category(category->title);
      ASSERT_TRUE(father);
      ASSERT_EQ(father->childAtIndex(0)->person(), person);
      c.unmake(person);
      const auto before = contentsOf(*reopened());
      questions_.asked.clear();
      contacts_.edited.clear();
      FixActions actions(fresh, *book_, questions_, &contacts_);
      FixOutcome outcome = actions.apply(*category, father->childAtIndex(0), option);
      EXPECT_FALSE(outcome.storeChanged);
      EXPECT_TRUE(outcome.error.empty()) << outcome.error;
      EXPECT_TRUE(outcome.rowRemoved);
      EXPECT_NE(outcome.stale.find(": not fixed, "), std::string::npos) << outcome.stale;
      EXPECT_EQ(outcome.stale.find('\n'), std::string::npos);
      EXPECT_TRUE(questions_.asked.empty());
      EXPECT_TRUE(contacts_.edited.empty());
      EXPECT_FALSE(book_->hasUnsavedChanges());
      EXPECT_EQ(contentsOf(*reopened()), before);
    }
  }
}

// Fixing every finding of a condition, then again from the same (now stale) scan: the second round
// changes nothing.
TEST_F(StaleFindingsTest, FixingEveryFindingTwiceFromOneScanChangesNothingTheSecondTime) {
  const ScanResult probe = [] {
    auto sample = ABAddressBook::inMemory();
    EXPECT_TRUE(importVCardFilesIntoAddressBook(*sample, {ROLVANE_SAMPLE_VCF}).ok());
    return ScanAddressBook(*sample).scan(allConditionNames());
  }();
  int rounds = 0;
  for (const auto& category : RC::all()) {
    if (!probe.contains(category.conditionKey)) continue;
    for (const auto& option : category.matrix->options) {
      if (option == Opt::kEditInContacts) continue;
      SCOPED_TRACE(category.title + " / " + option);
      for (const auto& person : book_->people()) book_->removeRecord(person);
      ASSERT_TRUE(book_->save());
      ASSERT_TRUE(importVCardFilesIntoAddressBook(*book_, {ROLVANE_SAMPLE_VCF}).ok());
      ASSERT_TRUE(book_->save());
      const ScanResult scan = ScanAddressBook(*book_).scan(allConditionNames());
      ReviewOutline first;
      first.setOutlineViewDataSouce(scan);
      // An option the first row is not offered (no allowed form fits its title) is not tried.
      const PersonItem* row = first.category(category.title)->childAtIndex(0);
      if (const RC::FixOption* fix = category.fix(option);
          fix && !fix->offeredFor({first, *row, category, book_.get()}))
        continue;
      FixActions firstActions(first, *book_, questions_);
      EXPECT_GT(fixEveryRow(first, firstActions, category, option), 0);
      const auto after = contentsOf(*reopened());

      ReviewOutline second;
      second.setOutlineViewDataSouce(scan);
      FixActions secondActions(second, *book_, questions_);
      std::vector<std::string> told;
      EXPECT_EQ(fixEveryRow(second, secondActions, category, option, &told), 0);
      EXPECT_EQ(contentsOf(*reopened()), after);
      EXPECT_FALSE(second.category(category.title)) << "every stale row was dropped";
      EXPECT_FALSE(told.empty());
      ++rounds;
    }
  }
  EXPECT_GT(rounds, 20);
}
