#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <set>
#include <thread>

#include "ReviewFixture.h"
#include "app/review/DetailsPane.h"
#include "app/review/FixAll.h"
#include "app/review/FixPreview.h"
#include "app/review/MergeContacts.h"
#include "app/scanner/AllowedNames.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABMarks.h"

namespace RC = ReviewCategories;
namespace Opt = ReviewCategories::Option;

using FixActionsTest = ReviewFixture;

namespace {

std::optional<std::string> stored(ABAddressBook& book, const ABPersonRef& person, const std::string& property) {
  auto found = book.recordForUniqueId(person->uniqueId());
  if (!found) return std::nullopt;
  return found->stringForProperty(property);
}

std::vector<std::string> emailsOf(const ABPerson& person) {
  std::vector<std::string> values;
  if (auto emails = person.multiValueForProperty(kABEmailProperty))
    for (size_t i = 0; i < emails->count(); ++i)
      values.push_back(emails->labelAtIndex(i) + "=" + emails->stringAtIndex(i));
  return values;
}

}  // namespace

TEST_F(FixActionsTest, RemovingASuffixSavesItAndEndsTheReviewWithTheLastRow) {
  auto ann = add({{kABFirstNameProperty, "Ann"}, {kABSuffixProperty, "Jr."}, {kABTitleProperty, "DR"}});
  build({{"UnusualSuffix", {ann}}});
  auto outcome = fix(Opt::kRemoveSuffix);
  EXPECT_TRUE(outcome.error.empty()) << outcome.error;
  auto disk = reopened();
  EXPECT_FALSE(stored(*disk, ann, kABSuffixProperty));
  EXPECT_EQ(stored(*disk, ann, kABTitleProperty), "DR") << "nothing else changes";
  EXPECT_TRUE(outline_.isFinished());
  EXPECT_FALSE(outline_.selectedItem());
}

TEST_F(FixActionsTest, FirstNameSpacesAreRemovedOrHyphenated) {
  auto mary = add({{kABFirstNameProperty, "Mary Ann"}});
  auto two = add({{kABFirstNameProperty, "Jo  Ann"}, {kABLastNameProperty, "Lee"}});
  build({{"SpaceInFirstName", {mary, two}}});
  fix(Opt::kRemoveSpace);
  EXPECT_EQ(stored(*reopened(), mary, kABFirstNameProperty), "MaryAnn");
  ASSERT_TRUE(outline_.selectedItem()) << "the next row of the category is selected";
  EXPECT_EQ(outline_.selectedItem()->person(), two);
  fix(Opt::kHyphenate);
  EXPECT_EQ(stored(*reopened(), two, kABFirstNameProperty), "Jo--Ann");
}

TEST_F(FixActionsTest, IncompleteNamesBecomeCompaniesOrGetQuestionMarks) {
  auto lee = add({{kABLastNameProperty, "Lee"}});
  auto acme = add({{kABFirstNameProperty, "Acme"}});
  acme->setValueForProperty(std::int64_t{6}, kABPersonFlags);
  book_->save();
  build({{"SingleName", {lee, acme}}});
  fix(Opt::kUseQuestionMarks);
  fix(Opt::kConvertToCompany);
  auto disk = reopened();
  EXPECT_EQ(stored(*disk, lee, kABFirstNameProperty), "???");
  EXPECT_EQ(stored(*disk, lee, kABLastNameProperty), "Lee");
  auto flags = disk->recordForUniqueId(acme->uniqueId())->valueForProperty(kABPersonFlags);
  EXPECT_EQ(std::get<std::int64_t>(flags), 1);
}

TEST_F(FixActionsTest, DeletingAContactRemovesItsRowsEverywhereButKeepsOtherCategories) {
  auto ann = add({{kABFirstNameProperty, "Ann"}, {kABTitleProperty, "Xx"}, {kABNoteProperty, "  "}});
  auto bob = add({{kABFirstNameProperty, "Bob"}, {kABTitleProperty, "Yy"}});
  build({{"UnusualTitle", {ann, bob}}, {"EmptyNotes", {ann}}, {"SingleName", {ann, bob}}});
  fix(Opt::kDeleteContact);
  ASSERT_EQ(questions_.asked.size(), 1u);
  EXPECT_EQ(questions_.asked[0],
            "Are you sure you want to delete the selected person ?|This person will also delete from Contacts. "
            "|Delete|Cancel");
  EXPECT_FALSE(reopened()->recordForUniqueId(ann->uniqueId()));
  EXPECT_EQ(outline_.categoryTitles(),
            (std::vector<std::string>{"Unusual Title", "Incomplete name", "Note with spacing only"}));
  EXPECT_EQ(outline_.category(RC::kNoteWithSpacing)->childrenCount(), 0u) << "stays as an empty group";
  EXPECT_EQ(outline_.category(RC::kIncompleteName)->childrenCount(), 1u);
  EXPECT_EQ(outline_.selectedItem()->person(), bob);
}

TEST_F(FixActionsTest, CancellingTheDeleteChangesNothingAndSelectsTheFirstRow) {
  auto ann = add({{kABFirstNameProperty, "Ann"}, {kABTitleProperty, "Xx"}});
  auto bob = add({{kABFirstNameProperty, "Bob"}, {kABTitleProperty, "Yy"}});
  build({{"UnusualTitle", {ann, bob}}});
  outline_.selectItem(outline_.category(RC::kUnusualTitle)->childAtIndex(1));
  questions_.answer = false;
  auto outcome = fix(Opt::kDeleteContact);
  EXPECT_TRUE(outcome.cancelled);
  EXPECT_EQ(reopened()->count(), 2u);
  EXPECT_EQ(outline_.category(RC::kUnusualTitle)->childrenCount(), 2u);
  EXPECT_EQ(outline_.selectedItem()->person(), ann);
}

TEST_F(FixActionsTest, DeletingDuplicatesKeepsTheFirstMemberAndDropsEmptiedCategories) {
  auto first = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}});
  auto other = add({{kABFirstNameProperty, "Zed"}, {kABNoteProperty, " "}});
  auto second = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}, {kABNoteProperty, " "}});
  auto third = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}, {kABNicknameProperty, "  "}});
  build(
      {{"DuplicateContacts", {first}}, {"EmptyNotes", {second}}, {"EmptyNickname", {third}}, {"SingleName", {other}}});
  selectIn(RC::kDuplicateContacts);
  fix(Opt::kDeleteDuplicates);
  auto disk = reopened();
  EXPECT_EQ(disk->count(), 2u);
  EXPECT_TRUE(disk->recordForUniqueId(first->uniqueId()));
  EXPECT_TRUE(disk->recordForUniqueId(other->uniqueId()));
  EXPECT_EQ(outline_.categoryTitles(), (std::vector<std::string>{"Incomplete name"}));
  EXPECT_EQ(outline_.selectedItem()->person(), other);
}

TEST_F(FixActionsTest, MergingDuplicatesLosesNoValueOfAnyMember) {
  auto a = add({{kABFirstNameProperty, "Ann"},
                {kABLastNameProperty, "Lee"},
                {kABJobTitleProperty, "Boss"},
                {kABDepartmentProperty, "Sales"}},
               {{kABHomeLabel, "a1@x.org"}, {kABHomeLabel, "a2@x.org"}}, {{kABPhoneWorkLabel, "555"}});
  auto b = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}, {kABNoteProperty, "second"}},
               {{kABWorkLabel, "a1@x.org"}, {"custom", "c@x.org"}}, {{kABPhoneWorkLabel, "555"}, {"iPhone", "777"}});
  auto keep = add({{kABFirstNameProperty, "Other"}});
  build({{"DuplicateContacts", {a}}, {"SingleName", {keep}}});
  selectIn(RC::kDuplicateContacts);
  auto outcome = fix(Opt::kMerge);
  ASSERT_TRUE(outcome.error.empty()) << outcome.error;
  auto disk = reopened();
  ASSERT_EQ(disk->count(), 2u);
  EXPECT_FALSE(disk->recordForUniqueId(a->uniqueId()));
  // The merged contact is the last member, under its own unique id.
  ABPersonRef merged = disk->recordForUniqueId(b->uniqueId());
  ASSERT_TRUE(merged);
  EXPECT_EQ(emailsOf(*merged), (std::vector<std::string>{kABHomeLabel + "=a1@x.org", kABHomeLabel + "=a2@x.org",
                                                         kABWorkLabel + "=a1@x.org", "custom=c@x.org"}));
  auto phones = merged->multiValueForProperty(kABPhoneProperty);
  ASSERT_TRUE(phones);
  EXPECT_EQ(phones->count(), 2u) << "the same work phone once, the iPhone after it";
  EXPECT_EQ(phones->labelAtIndex(1), "iPhone");
  EXPECT_EQ(merged->stringForProperty(kABJobTitleProperty), "Boss");
  EXPECT_EQ(merged->stringForProperty(kABDepartmentProperty), "Sales");
  EXPECT_EQ(merged->stringForProperty(kABNoteProperty), "second");
  EXPECT_EQ(outline_.categoryTitles(), (std::vector<std::string>{"Incomplete name"}));
}

TEST_F(FixActionsTest, SharedEmailFixes) {
  auto a =
      add({{kABFirstNameProperty, "A"}},
          {{kABHomeLabel, "keep@x.org"}, {kABHomeLabel, "s@x.org"}, {"custom", "c@x.org"}, {kABWorkLabel, "s@x.org"}});
  auto b = add({{kABFirstNameProperty, "B"}, {kABLastNameProperty, "Bee"}}, {{kABWorkLabel, "s@x.org"}});
  build({}, {{a, {b}, kABHomeLabel}});
  auto pane = updateUI(outline_);
  ASSERT_TRUE(pane);
  EXPECT_EQ(pane->problemText, " This contact has the same email address (\"s@x.org\") as B Bee");
  fix(Opt::kRemoveEmail);
  auto disk = reopened();
  EXPECT_EQ(emailsOf(*disk->recordForUniqueId(a->uniqueId())),
            (std::vector<std::string>{kABHomeLabel + "=keep@x.org", "custom=c@x.org"}));
  EXPECT_EQ(emailsOf(*disk->recordForUniqueId(b->uniqueId())), (std::vector<std::string>{kABWorkLabel + "=s@x.org"}));
  EXPECT_TRUE(outline_.isFinished());
}

TEST_F(FixActionsTest, SharedEmailMergeAndDeleteAreAllOrNothing) {
  auto a = add({{kABFirstNameProperty, "A"}}, {{kABHomeLabel, "s@x.org"}});
  auto b = add({{kABFirstNameProperty, "B"}}, {{kABWorkLabel, "s@x.org"}});
  auto c = add({{kABFirstNameProperty, "C"}}, {{kABWorkLabel, "t@x.org"}});
  auto d = add({{kABFirstNameProperty, "D"}}, {{kABWorkLabel, "t@x.org"}});
  build({{"SingleName", {b}}}, {{a, {b}, kABHomeLabel}, {c, {d}, kABWorkLabel}});
  selectIn(RC::kShareEmail);
  fix(Opt::kMerge);
  auto disk = reopened();
  EXPECT_EQ(disk->count(), 3u);
  EXPECT_TRUE(disk->recordForUniqueId(a->uniqueId())) << "the row's contact is the merged one";
  EXPECT_FALSE(disk->recordForUniqueId(b->uniqueId()));
  EXPECT_EQ(outline_.categoryTitles(), (std::vector<std::string>{"Share Email address"}))
      << "the merged members' rows elsewhere are gone";
  ASSERT_EQ(outline_.selectedItem()->person(), c);
  fix(Opt::kDeleteDuplicates);
  disk = reopened();
  EXPECT_EQ(disk->count(), 2u);
  EXPECT_TRUE(disk->recordForUniqueId(c->uniqueId()));
  EXPECT_FALSE(disk->recordForUniqueId(d->uniqueId()));
}

TEST_F(FixActionsTest, DuplicatePropertiesKeepFirstOccurrencesInOrder) {
  auto p = add({{kABFirstNameProperty, "P"}},
               {{kABWorkLabel, "b@x.org"}, {kABHomeLabel, "a@x.org"}, {kABOtherLabel, "b@x.org"}},
               {{kABPhoneHomeLabel, "555-1234"}, {kABPhoneWorkLabel, "555-1234"}, {kABPhoneMobileLabel, "5551234"}});
  build({{"DupEmail", {p}}, {"DupPhone", {p}}});
  fix(Opt::kDeleteDuplicateProperty);
  fix(Opt::kDeleteDuplicateProperty);
  auto disk = reopened();
  auto person = disk->recordForUniqueId(p->uniqueId());
  EXPECT_EQ(emailsOf(*person), (std::vector<std::string>{kABWorkLabel + "=b@x.org", kABHomeLabel + "=a@x.org"}));
  auto phones = person->multiValueForProperty(kABPhoneProperty);
  ASSERT_EQ(phones->count(), 2u);
  EXPECT_EQ(phones->labelAtIndex(0), kABPhoneHomeLabel);
  EXPECT_EQ(phones->stringAtIndex(1), "5551234");
  EXPECT_TRUE(outline_.isFinished());
}

TEST_F(FixActionsTest, BlankNotesAndNicknamesAreRemoved) {
  auto p = add({{kABFirstNameProperty, "P"}, {kABNoteProperty, "   "}, {kABNicknameProperty, " "}});
  build({{"EmptyNotes", {p}}, {"EmptyNickname", {p}}});
  fix(Opt::kDeleteBlankProperty);
  EXPECT_EQ(outline_.categoryTitles(), (std::vector<std::string>{"Nickname with spacing only"}));
  fix(Opt::kDeleteBlankProperty);
  auto disk = reopened();
  EXPECT_FALSE(stored(*disk, p, kABNoteProperty));
  EXPECT_FALSE(stored(*disk, p, kABNicknameProperty));
  EXPECT_EQ(stored(*disk, p, kABFirstNameProperty), "P");
}

TEST_F(FixActionsTest, InvalidCharactersOpenTheContactForEditing) {
  auto p = add({{kABFirstNameProperty, "P"}}, {{kABHomeLabel, "nope"}});
  build({{"InvalidChar", {p}}});
  fix(Opt::kEditInContacts);
  EXPECT_EQ(contacts_.edited, (std::vector<std::string>{p->uniqueId()}));
  EXPECT_TRUE(outline_.isFinished());
}

TEST_F(FixActionsTest, AfterTheLastRowOfACategoryTheFirstCategoryIsSelected) {
  auto a = add({{kABFirstNameProperty, "A"}, {kABTitleProperty, "Zz"}});
  auto b = add({{kABFirstNameProperty, "B"}});
  build({{"UnusualTitle", {a}}, {"SingleName", {b}}});
  outline_.collapseItem(outline_.category(RC::kIncompleteName));
  outline_.selectItem(outline_.category(RC::kUnusualTitle)->childAtIndex(0));
  fix(Opt::kRemoveTitle);
  EXPECT_EQ(outline_.categoryTitles(), (std::vector<std::string>{"Incomplete name"}));
  ASSERT_TRUE(outline_.selectedItem());
  EXPECT_EQ(outline_.selectedItem()->person(), b);
  EXPECT_TRUE(outline_.isExpanded(outline_.category(RC::kIncompleteName)));
}

TEST_F(FixActionsTest, DetailsPaneShowsTheEmailOfTheFirstFilledSlot) {
  auto both = add({{kABFirstNameProperty, "A"}}, {{kABWorkLabel, "w@x.org"}, {kABHomeLabel, "h@x.org"}});
  auto other = add({{kABFirstNameProperty, "B"}}, {{kABOtherLabel, "o@x.org"}});
  auto none = add({{kABFirstNameProperty, "C"}, {kABSuffixProperty, "Jr."}});
  build({{"SingleName", {both, other}}, {"UnusualSuffix", {none}}});
  outline_.selectItem(outline_.category(RC::kIncompleteName)->childAtIndex(0));
  EXPECT_EQ(updateUI(outline_)->emailLine, "h@x.org");
  outline_.selectItem(outline_.category(RC::kIncompleteName)->childAtIndex(1));
  EXPECT_EQ(updateUI(outline_)->emailLine, "o@x.org");
  outline_.selectItem(outline_.category(RC::kUnusualSuffix)->childAtIndex(0));
  auto pane = updateUI(outline_);
  EXPECT_EQ(pane->emailLine, "");
  EXPECT_EQ(pane->problemText,
            "\"Jr.\" isn't one of the allowed suffixes, which are listed in the Preferences. Syncing unusual "
            "suffixes can cause names to get mangled.");
  EXPECT_EQ(pane->matrix->name, "matrixBadSuffix");
  EXPECT_EQ(pane->matrixY, 75);
}

// A process killed while merging leaves either every member or the merged contact.
TEST_F(FixActionsTest, KillDuringMergeLeavesMembersOrTheMergedContact) {
  constexpr int kMembers = 400;
  std::set<std::string> memberIds;
  for (int i = 0; i < kMembers; ++i) {
    auto person = ABPerson::create();
    person->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
    person->setValueForProperty(std::string("Lee"), kABLastNameProperty);
    ABMultiValue emails;
    emails.addValueWithLabel("ann" + std::to_string(i) + "@x.org", kABHomeLabel);
    person->setValueForProperty(emails, kABEmailProperty);
    book_->addRecord(person);
    memberIds.insert(person->uniqueId());
  }
  ASSERT_TRUE(book_->save());
  std::string path = (folder_ / "book.sqlite").string();
  for (int attempt = 0; attempt < 4; ++attempt) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      auto store = ABAddressBook::open(path);
      ReviewOutline childOutline;
      childOutline.setOutlineViewDataSouce({{"DuplicateContacts", {store->people().front()}}}, {});
      childOutline.expandAll();
      childOutline.selectRow(1);
      childOutline.selectOption(Opt::kMerge);
      ScriptedQuestions yes;
      FixActions(childOutline, *store, yes).FixFounction();
      _exit(0);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5 + attempt * 15));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    auto disk = reopened();
    std::set<std::string> emails;
    for (const auto& person : disk->people())
      for (const auto& e : emailsOf(*person)) emails.insert(e);
    EXPECT_EQ(emails.size(), static_cast<size_t>(kMembers)) << "every address is on a member or the merged contact";
    EXPECT_TRUE(disk->count() == 1 || disk->count() == static_cast<size_t>(kMembers)) << disk->count();
  }
}

TEST_F(FixActionsTest, ApplyFixesANamedRowWithoutTouchingTheSelection) {
  auto a = add({{kABFirstNameProperty, "A"}, {kABTitleProperty, "Zz"}});
  auto b = add({{kABFirstNameProperty, "B"}});
  build({{"UnusualTitle", {a}}, {"SingleName", {b}}});
  outline_.selectItem(outline_.category(RC::kIncompleteName)->childAtIndex(0));
  FixActions actions(outline_, *book_, questions_);
  auto outcome = actions.apply(*RC::byTitle(RC::kUnusualTitle), outline_.category(RC::kUnusualTitle)->childAtIndex(0),
                               Opt::kRemoveTitle);
  EXPECT_TRUE(outcome.storeChanged);
  EXPECT_TRUE(outcome.rowRemoved);
  EXPECT_FALSE(stored(*reopened(), a, kABTitleProperty));
  ASSERT_TRUE(outline_.selectedItem());
  EXPECT_EQ(outline_.selectedItem()->person(), b) << "the selection stays where the user left it";
  auto wrong = actions.apply(*RC::byTitle(RC::kUnusualTitle), outline_.category(RC::kIncompleteName)->childAtIndex(0),
                             Opt::kRemoveTitle);
  EXPECT_FALSE(wrong.error.empty()) << "a row of another category is refused";
  EXPECT_FALSE(wrong.storeChanged);
}

// Company cards have no name: one click on "Merge contacts" merges only cards of the same company.
TEST_F(FixActionsTest, MergingNamelessContactsTakesOnlyThoseOfTheSameOrganisation) {
  auto acme = add({{kABOrganizationProperty, "Acme"}, {kABNoteProperty, "head office"}});
  auto globex = add({{kABOrganizationProperty, "Globex"}});
  auto acmeToo = add({{kABOrganizationProperty, "Acme"}, {kABJobTitleProperty, "Sales"}});
  auto bare = add({{kABNoteProperty, "nobody"}});
  auto bareToo = add({{kABNoteProperty, "nobody either"}});
  outline_.setOutlineViewDataSouce(ScanAddressBook(*book_).scan({"Duplicate contacts"}));
  outline_.expandAll();
  ASSERT_TRUE(outline_.category(RC::kDuplicateContacts));
  ASSERT_EQ(outline_.category(RC::kDuplicateContacts)->childrenCount(), 1u);
  selectIn(RC::kDuplicateContacts);
  ASSERT_TRUE(fix(Opt::kMerge).storeChanged);
  auto disk = reopened();
  EXPECT_EQ(disk->count(), 4u) << "the two Acme cards became one";
  EXPECT_FALSE(disk->recordForUniqueId(acme->uniqueId()));
  EXPECT_TRUE(disk->recordForUniqueId(acmeToo->uniqueId())) << "the later card is the merged one";
  for (const auto& kept : {globex, bare, bareToo}) EXPECT_TRUE(disk->recordForUniqueId(kept->uniqueId()));
}

// A merge from the window asks first, naming how many contacts become one.
TEST_F(FixActionsTest, MergingAsksFirstAndCancellingChangesNothing) {
  for (int i = 0; i < 3; ++i) add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}});
  outline_.setOutlineViewDataSouce(ScanAddressBook(*book_).scan({"Duplicate contacts"}));
  outline_.expandAll();
  selectIn(RC::kDuplicateContacts);
  questions_.answer = false;
  auto cancelled = fix(Opt::kMerge);
  EXPECT_TRUE(cancelled.cancelled);
  EXPECT_FALSE(cancelled.storeChanged);
  ASSERT_EQ(questions_.asked.size(), 1u);
  EXPECT_EQ(questions_.asked[0],
            "Are you sure you want to merge 3 contacts into one ?|The 3 contacts will become one contact in Contacts. "
            "|Merge|Cancel");
  EXPECT_EQ(reopened()->count(), 3u);
  ASSERT_TRUE(outline_.category(RC::kDuplicateContacts)) << "the row stays";
  selectIn(RC::kDuplicateContacts);
  questions_.answer = true;
  EXPECT_TRUE(fix(Opt::kMerge).storeChanged);
  EXPECT_EQ(reopened()->count(), 1u);
}

// Another program changed the contact after the review read it: the fix writes nothing, names the
// contact, and the person shows what the store holds now.
TEST_F(FixActionsTest, AFixOnAContactAnotherProgramChangedIsNotSavedAndSaysSo) {
  auto ann = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}, {kABSuffixProperty, "Jr."}});
  build({{"UnusualSuffix", {ann}}});
  {
    auto other = reopened();
    other->recordForUniqueId(ann->uniqueId())->setValueForProperty(std::string("from elsewhere"), kABNoteProperty);
    ASSERT_TRUE(other->save());
  }
  auto outcome = fix(Opt::kRemoveSuffix);
  EXPECT_EQ(outcome.error, "Ann Lee was changed by another program; your change was not saved");
  EXPECT_TRUE(outcome.conflict);
  EXPECT_FALSE(outcome.storeChanged);
  EXPECT_TRUE(outcome.changes.empty()) << "nothing reported as done";
  EXPECT_EQ(ann->stringForProperty(kABNoteProperty), "from elsewhere");
  EXPECT_EQ(ann->stringForProperty(kABSuffixProperty), "Jr.");
  auto disk = reopened();
  EXPECT_EQ(stored(*disk, ann, kABNoteProperty), "from elsewhere");
  EXPECT_EQ(stored(*disk, ann, kABSuffixProperty), "Jr.");
}

// A merge whose member another program removed meanwhile writes nothing: no merged contact, and the
// removed member does not come back.
TEST_F(FixActionsTest, AMergeWhoseMemberWasRemovedElsewhereWritesNothing) {
  auto first = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}});
  auto second = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}, {kABNoteProperty, "two"}});
  build({{"DuplicateContacts", {first, second}}});
  {
    auto other = reopened();
    ASSERT_TRUE(other->removeRecord(other->recordForUniqueId(second->uniqueId())));
    ASSERT_TRUE(other->save());
  }
  auto outcome = fix(Opt::kMerge);
  EXPECT_EQ(outcome.error, "Ann Lee was removed by another program; your change was not saved");
  EXPECT_TRUE(outcome.changes.empty());
  EXPECT_FALSE(book_->contains(second));
  ASSERT_EQ(book_->count(), 1u);
  EXPECT_EQ(book_->people()[0], first);
  auto disk = reopened();
  ASSERT_EQ(disk->count(), 1u) << "only the first member: no merged contact, no member back";
  EXPECT_EQ(disk->people()[0]->uniqueId(), first->uniqueId());
}

// Fix All of 31 duplicate groups is one change set: one undo takes every merge back (each member
// under its own id), one redo makes them again. A finding that no longer holds is skipped and told,
// a merge another program's change refuses fails alone; the others are saved.
TEST_F(FixActionsTest, FixAllOfThirtyOneGroupsIsOneChangeSet) {
  std::vector<ABPersonRef> firsts;
  std::vector<std::vector<ABPersonRef>> groups;
  for (int g = 0; g < 31; ++g) {
    const std::string last = "Name" + std::to_string(g);
    auto first = add({{kABFirstNameProperty, "Ann"},
                      {kABLastNameProperty, last},
                      {kABOrganizationProperty, "Gringotts Labs AG"},
                      {kABDepartmentProperty, "Marketing"}},
                     {{kABHomeLabel, "a" + std::to_string(g) + "@x.org"}});
    auto second =
        add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, last}, {kABOrganizationProperty, "Blue Studios LLC"}},
            {{kABWorkLabel, "b" + std::to_string(g) + "@x.org"}});
    firsts.push_back(first);
    groups.push_back({first, second});
  }
  auto rowsOf = [](ABAddressBook& book) {
    std::vector<std::pair<std::string, ABPersonData>> rows;
    for (const auto& person : book.people()) rows.emplace_back(person->uniqueId(), *person->snapshot());
    return rows;
  };
  std::vector<ABChangeSet> changes;
  ASSERT_TRUE(book_->changeHistory(changes));
  const size_t before = changes.size();
  build({{"DuplicateContacts", firsts}});
  // Group 0 no longer holds (its second member was renamed); group 1's second member is changed by
  // another program meanwhile.
  groups[0][1]->setValueForProperty(std::string("Bob"), kABFirstNameProperty);
  ASSERT_TRUE(book_->save());
  auto other = reopened();
  other->recordForUniqueId(groups[1][1]->uniqueId())->setValueForProperty(std::string("x"), kABNoteProperty);
  ASSERT_TRUE(other->save());
  const auto imported = rowsOf(*reopened());

  ScriptedQuestions yes;
  FixAllOutcome outcome = fixAllInCategory(outline_, *book_, *RC::byTitle(RC::kDuplicateContacts), Opt::kMerge, yes);
  EXPECT_EQ(outcome.fixed, 29);
  EXPECT_EQ(outcome.stale, 1);
  ASSERT_EQ(outcome.errors.size(), 1u);
  EXPECT_NE(outcome.errors[0].find("changed by another program"), std::string::npos) << outcome.errors[0];
  changes.clear();
  ASSERT_TRUE(book_->changeHistory(changes));
  ASSERT_EQ(changes.size(), before + 3) << "the rename, the other program's note, and one Fix All";
  EXPECT_EQ(changes[0].description, "Merged 29 groups of duplicate contacts");
  EXPECT_EQ(changes[0].persons, 58);
  auto disk = reopened();
  const auto merged = rowsOf(*disk);
  ASSERT_EQ(merged.size(), 62u - 29u);
  for (int g = 2; g < 31; ++g) {
    // Each merged contact is the second member, under its id; organisation and department come
    // from one member as a whole.
    EXPECT_FALSE(disk->recordForUniqueId(groups[g][0]->uniqueId()));
    auto kept = disk->recordForUniqueId(groups[g][1]->uniqueId());
    ASSERT_TRUE(kept);
    EXPECT_EQ(kept->stringForProperty(kABOrganizationProperty), "Blue Studios LLC");
    EXPECT_FALSE(kept->stringForProperty(kABDepartmentProperty)) << "not Marketing under the wrong company";
    EXPECT_NE(kept->stringForProperty(kABNoteProperty).value_or("").find("Department: Marketing"), std::string::npos);
  }

  std::string error;
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(rowsOf(*reopened()), imported) << "one undo takes all 29 merges back";
  ASSERT_TRUE(book_->redo(nullptr, &error)) << error;
  EXPECT_EQ(rowsOf(*reopened()), merged);
}

// "Not the same person" over many groups is one change set too.
TEST_F(FixActionsTest, NotTheSamePersonOverManyGroupsIsOneChangeSet) {
  std::vector<ABPersonRef> firsts;
  for (int g = 0; g < 5; ++g) {
    const std::string last = "Name" + std::to_string(g);
    firsts.push_back(add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, last}}));
    add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, last}});
  }
  build({{"DuplicateContacts", firsts}});
  ScriptedQuestions yes;
  FixAllOutcome outcome =
      fixAllInCategory(outline_, *book_, *RC::byTitle(RC::kDuplicateContacts), Opt::kNotSamePerson, yes);
  EXPECT_EQ(outcome.fixed, 5);
  std::vector<ABChangeSet> changes;
  ASSERT_TRUE(book_->changeHistory(changes));
  EXPECT_EQ(changes[0].description, "Not the same person: 5 groups of duplicate contacts");
  EXPECT_EQ(changes[0].persons, 10);
  std::vector<ABMark> marks;
  ASSERT_TRUE(book_->marks(ABMarkKind::kNotSamePerson, marks));
  EXPECT_EQ(marks.size(), 5u);
  std::string error;
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  marks.clear();
  ASSERT_TRUE(book_->marks(ABMarkKind::kNotSamePerson, marks));
  EXPECT_TRUE(marks.empty()) << "one undo takes every mark back";
}

// "Mr." and "JR." are allowed entries written with a full stop and other capitals: the preselected
// option writes them as the allowed entry, names it, and previews it; a title no allowed entry is
// written like stays, with the reason, for "Remove the title".
TEST_F(FixActionsTest, UseTheAllowedFormWritesTheTitleOrSuffixAsTheAllowedEntry) {
  auto ann = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}, {kABTitleProperty, "Mr."}});
  auto bob = add({{kABFirstNameProperty, "Bob"}, {kABLastNameProperty, "Ray"}, {kABSuffixProperty, "JR."}});
  auto cy = add({{kABFirstNameProperty, "Cy"}, {kABLastNameProperty, "Orr"}, {kABTitleProperty, "Herr"}});
  const ScanResult scan = ScanAddressBook(*book_).scan({"Unusual title", "Unusual suffix"});
  outline_.setOutlineViewDataSouce(scan);
  outline_.expandAll();
  selectIn(RC::kUnusualTitle, 0);
  ASSERT_EQ(outline_.selectedItem()->person()->uniqueId(), ann->uniqueId());
  EXPECT_EQ(outline_.selectedOption(), Opt::kUseAllowedForm) << "the first option is preselected";
  const RC::Category& titles = *RC::byTitle(RC::kUnusualTitle);
  const RC::FixOption* allowed = titles.fix(Opt::kUseAllowedForm);
  ASSERT_TRUE(allowed && allowed->label);
  EXPECT_EQ(allowed->label({outline_, *outline_.selectedItem(), titles, book_.get()}), "Use the allowed form \"Mr\"");
  auto preview = creatScrollerViewWithTitle(outline_, Opt::kUseAllowedForm, *book_);
  EXPECT_TRUE(preview.find("Mr.")) << "before";
  EXPECT_TRUE(preview.find("Mr")) << "after";

  FixOutcome outcome = fix(Opt::kUseAllowedForm);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  EXPECT_EQ(reopened()->recordForUniqueId(ann->uniqueId())->stringForProperty(kABTitleProperty), "Mr");

  // Herr is no allowed title written otherwise: the row is not offered the option, and "Remove the
  // title" stands selected for it. Asked for anyway (as Fix All does), nothing changes.
  selectIn(RC::kUnusualTitle, 0);
  ASSERT_EQ(outline_.selectedItem()->person()->uniqueId(), cy->uniqueId());
  EXPECT_FALSE(allowed->offeredFor({outline_, *outline_.selectedItem(), titles, book_.get()}));
  EXPECT_EQ(outline_.selectedOption(), Opt::kRemoveTitle);
  {
    FixActions actions(outline_, *book_, questions_, &contacts_);
    outcome = actions.apply(titles, outline_.selectedItem(), Opt::kUseAllowedForm);
  }
  EXPECT_TRUE(outcome.ok()) << outcome.error;
  EXPECT_FALSE(outcome.storeChanged);
  EXPECT_FALSE(outcome.rowRemoved);
  ASSERT_EQ(outcome.changes.size(), 1u);
  EXPECT_NE(outcome.changes[0].find("not fixed, no allowed title is written like"), std::string::npos);
  EXPECT_EQ(reopened()->recordForUniqueId(cy->uniqueId())->stringForProperty(kABTitleProperty), "Herr");

  selectIn(RC::kUnusualSuffix, 0);
  EXPECT_EQ(outline_.selectedOption(), Opt::kUseAllowedForm);
  ASSERT_TRUE(fix(Opt::kUseAllowedForm).ok());
  EXPECT_EQ(reopened()->recordForUniqueId(bob->uniqueId())->stringForProperty(kABSuffixProperty), "Jr");

  // What is left is only the title no allowed entry fits; once the user allows it, nothing.
  auto again = reopened();
  EXPECT_EQ(ScanAddressBook(*again).findUnusualTitleInContacts().size(), 1u);
  EXPECT_TRUE(ScanAddressBook(*again).findUnusualSuffixInContacts().empty());
  std::vector<std::string> withHerr = AllowedNames::defaults().titles();
  withHerr.push_back("Herr");
  AllowedNames::use(AllowedNames(withHerr, AllowedNames::defaults().suffixes()));
  EXPECT_TRUE(ScanAddressBook(*again).findUnusualTitleInContacts().empty());
  AllowedNames::use(AllowedNames::defaults());
}
