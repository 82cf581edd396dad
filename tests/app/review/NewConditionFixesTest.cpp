#include "ReviewFixture.h"
#include "app/review/DetailsPane.h"
#include "app/review/FixAll.h"
#include "app/review/FixPreview.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"

namespace RC = ReviewCategories;

using NewConditionFixesTest = ReviewFixture;

namespace {

std::optional<std::string> text(ABAddressBook& book, const std::string& uid, const std::string& property) {
  auto person = book.recordForUniqueId(uid);
  return person ? person->stringForProperty(property) : std::nullopt;
}

}  // namespace

// Each option of the four conditions, through Fix All as the review screen and `rolvane fix` run
// it: what it writes, its preview and details, and its undo.
TEST_F(NewConditionFixesTest, EachFixWritesWhatItsPreviewShowsAndIsUndone) {
  auto damaged =
      add({{kABFirstNameProperty, "MÃ¤x"}, {kABNoteProperty, "Smith &amp; Co"}}, {{kABHomeLabel, "m@x.org"}});
  auto lost = add({{kABFirstNameProperty, "M\xEF\xBF\xBDx"}}, {{kABHomeLabel, "l@x.org"}});
  auto capitals =
      add({{kABFirstNameProperty, "JEAN-LUC"}, {kABLastNameProperty, "VAN DER BERG"}}, {{kABHomeLabel, "j@x.org"}});
  auto dated = add({{kABFirstNameProperty, "Eve"}}, {{kABHomeLabel, "e@x.org"}});
  dated->setValueForProperty(ABDate{1970, 1, 1}, kABBirthdayProperty);
  book_->addRecord(dated);
  auto alone = add({{kABFirstNameProperty, "Solo"}});
  ASSERT_TRUE(book_->save());

  struct Case {
    std::string key, option;
    std::function<void()> expect;
  };
  const std::vector<Case> cases = {
      {"DamagedText", "Repair the text",
       [&] {
         EXPECT_EQ(text(*reopened(), damaged->uniqueId(), kABFirstNameProperty), "Mäx");
         EXPECT_EQ(text(*reopened(), damaged->uniqueId(), kABNoteProperty), "Smith & Co");
         EXPECT_EQ(text(*reopened(), lost->uniqueId(), kABFirstNameProperty), "M\xEF\xBF\xBDx") << "nothing guessed";
       }},
      {"NameCase", "Write as a name",
       [&] {
         EXPECT_EQ(text(*reopened(), capitals->uniqueId(), kABFirstNameProperty), "Jean-Luc");
         EXPECT_EQ(text(*reopened(), capitals->uniqueId(), kABLastNameProperty), "van der Berg");
       }},
      {"UnlikelyDate", "Remove the year",
       [&] {
         const ABValue birthday =
             reopened()->recordForUniqueId(dated->uniqueId())->valueForProperty(kABBirthdayProperty);
         EXPECT_EQ(std::get<ABDate>(birthday), (ABDate{1604, 1, 1}));
       }},
      {"UnlikelyDate", "Remove the date",
       [&] {
         EXPECT_TRUE(isNil(reopened()->recordForUniqueId(dated->uniqueId())->valueForProperty(kABBirthdayProperty)));
       }},
      {"Unreachable", "Delete this contact", [&] { EXPECT_FALSE(reopened()->recordForUniqueId(alone->uniqueId())); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key + " / " + c.option);
    const auto before = reopened()->people().size();
    ReviewOutline outline;
    outline.setOutlineViewDataSouce(ScanAddressBook(*book_).scan(allConditionNames()));
    const RC::Category* category = RC::byConditionKey(c.key);
    ASSERT_TRUE(category);
    ASSERT_TRUE(outline.category(category->title));
    outline.expandAll();
    ASSERT_TRUE(outline.selectItem(outline.category(category->title)->childAtIndex(0)));
    ASSERT_TRUE(outline.selectOption(c.option));
    const auto pane = updateUI(outline, book_.get());
    ASSERT_TRUE(pane);
    EXPECT_FALSE(pane->problemText.empty());
    EXPECT_FALSE(creatScrollerViewWithTitle(outline, c.option, *book_).empty());
    FixAllOutcome outcome = fixAllInCategory(outline, *book_, *category, c.option, questions_);
    EXPECT_TRUE(outcome.errors.empty()) << outcome.errors.front();
    EXPECT_GT(outcome.fixed, 0);
    c.expect();
    // Every change set is undone, and the store holds what it held.
    for (int i = 0; i < outcome.fixed; ++i) {
      std::string error;
      ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
    }
    EXPECT_EQ(reopened()->people().size(), before);
    EXPECT_EQ(text(*reopened(), damaged->uniqueId(), kABFirstNameProperty), "MÃ¤x");
    EXPECT_EQ(text(*reopened(), capitals->uniqueId(), kABLastNameProperty), "VAN DER BERG");
    EXPECT_EQ(std::get<ABDate>(reopened()->recordForUniqueId(dated->uniqueId())->valueForProperty(kABBirthdayProperty)),
              (ABDate{1970, 1, 1}));
    book_ = reopened();
  }
}

// "Keep as it is" leaves the contact as it is and a scan no longer lists it, until its value changes.
TEST_F(NewConditionFixesTest, KeepAsItIsIsHonouredByTheNextScan) {
  auto capitals = add({{kABFirstNameProperty, "JOHN"}, {kABLastNameProperty, "Smith"}}, {{kABHomeLabel, "j@x.org"}});
  auto damaged =
      add({{kABFirstNameProperty, "Ann"}, {kABNoteProperty, "R&eacute;sum&eacute;"}}, {{kABHomeLabel, "a@x.org"}});
  for (const char* key : {"NameCase", "DamagedText"}) {
    SCOPED_TRACE(key);
    ReviewOutline outline;
    outline.setOutlineViewDataSouce(ScanAddressBook(*book_).scan(allConditionNames()));
    const RC::Category* category = RC::byConditionKey(key);
    ASSERT_TRUE(category);
    FixAllOutcome outcome = fixAllInCategory(outline, *book_, *category, RC::Option::kKeepAsItIs, questions_);
    EXPECT_EQ(outcome.fixed, 1);
    EXPECT_FALSE(ScanAddressBook(*book_).scan(allConditionNames()).contains(key));
  }
  EXPECT_EQ(text(*reopened(), capitals->uniqueId(), kABFirstNameProperty), "JOHN");
  damaged->setValueForProperty(std::string("Caf&eacute;"), kABNoteProperty);
  book_->addRecord(damaged);
  ASSERT_TRUE(book_->save());
  EXPECT_TRUE(ScanAddressBook(*book_).scan(allConditionNames()).contains("DamagedText")) << "another value";
}
