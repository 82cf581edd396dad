#include "ReviewFixture.h"
#include "app/model/EveryValue.h"
#include "app/review/FixPreview.h"
#include "app/review/MergeContacts.h"
#include "app/review/PersonNames.h"
#include "app/review/ReviewCategories.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/vcard/VCardImporter.h"

#include <algorithm>
#include "tests/support/TestPaths.h"

namespace RC = ReviewCategories;
namespace Opt = ReviewCategories::Option;
using Colour = PreviewText::Colour;

using FixPreviewTest = ReviewFixture;

namespace {

// The text drawn at (x, y), or "<none>".
std::string at(const FixPreview& preview, double x, double y) {
  for (const auto& item : preview.texts)
    if (item.x == x && item.y == y) return item.text;
  return "<none>";
}

}  // namespace

TEST_F(FixPreviewTest, NameCardsShowWhatTheFixWrites) {
  auto mary = add({{kABFirstNameProperty, "Mary Ann"}, {kABLastNameProperty, "Lee"}});
  build({{"SpaceInFirstName", {mary}}});
  auto spaced = creatScrollerViewWithTitle(outline_, Opt::kRemoveSpace, *book_);
  ASSERT_FALSE(spaced.empty());
  EXPECT_EQ(spaced.texts[0], (PreviewText{"Before Fixing", 14, 152, 110, 17, Colour::Black, 0.4}));
  EXPECT_EQ(at(spaced, 94, 92), "Mary Ann");
  EXPECT_EQ(at(spaced, 290, 92), "MaryAnn");
  EXPECT_EQ(at(spaced, 94, 132), "person");
  EXPECT_EQ(at(spaced, 14, 112), "Title : ") << "an empty row is one wide field";
  EXPECT_EQ(at(spaced, 14, 52), "Last : ");
  EXPECT_EQ(at(spaced, 230, 52), "Last :");
  EXPECT_EQ(at(spaced, 230, 152), "After Fixing");
  auto hyphen = creatScrollerViewWithTitle(outline_, Opt::kHyphenate, *book_);
  EXPECT_EQ(at(hyphen, 290, 92), "Mary-Ann");
}

TEST_F(FixPreviewTest, QuestionMarksAndCompanyCards) {
  auto ann = add({{kABFirstNameProperty, "Ann"}, {kABOrganizationProperty, "Acme"}});
  build({{"SingleName", {ann}}});
  auto marks = creatScrollerViewWithTitle(outline_, Opt::kUseQuestionMarks, *book_);
  EXPECT_EQ(at(marks, 290, 92), "Ann");
  EXPECT_EQ(at(marks, 290, 52), "???");
  auto company = creatScrollerViewWithTitle(outline_, Opt::kConvertToCompany, *book_);
  EXPECT_EQ(at(company, 290, 132), "company");
  EXPECT_EQ(at(company, 94, 132), "person");
  EXPECT_EQ(at(company, 310, 12), "Acme");
}

TEST_F(FixPreviewTest, SuffixCardUsesItsOwnColumnsAndEmptyForms) {
  auto ann = add({{kABFirstNameProperty, "Ann"}, {kABSuffixProperty, "jr."}});
  build({{"UnusualSuffix", {ann}}});
  auto preview = creatScrollerViewWithTitle(outline_, Opt::kRemoveSuffix, *book_);
  EXPECT_EQ(preview.texts[0].alpha, 0.3);
  EXPECT_EQ(at(preview, 14, 112), "Title :");
  EXPECT_EQ(at(preview, 94, 32), "jr.");
  EXPECT_EQ(at(preview, 230, 32), "Suffix : ");
  EXPECT_EQ(at(preview, 310, 92), "Ann");
}

// Every contact that goes is named, however many: no "and others".
TEST_F(FixPreviewTest, SharedEmailDeletePreviewListsEveryContactThatGoes) {
  auto a = add({{kABFirstNameProperty, "A"}});
  std::vector<ABPersonRef> others;
  for (int i = 0; i < 6; ++i) others.push_back(add({{kABFirstNameProperty, "O" + std::to_string(i)}}));
  build({}, {{a, {others[0], others[1]}, kABHomeLabel}, {a, others, kABWorkLabel}});
  auto two = creatScrollerViewWithTitle(outline_, Opt::kDeleteDuplicates, *book_);
  EXPECT_EQ(at(two, 14, 138), "O0");
  EXPECT_EQ(at(two, 14, 118), "O1");
  EXPECT_EQ(at(two, 14, 98), "will be deleted from Contacts");
  EXPECT_EQ(two.texts[0].colour, Colour::Red);
  outline_.selectItem(outline_.category(RC::kShareEmail)->childAtIndex(1));
  auto six = creatScrollerViewWithTitle(outline_, Opt::kDeleteDuplicates, *book_);
  EXPECT_EQ(at(six, 14, 58), "O4");
  EXPECT_EQ(at(six, 14, 38), "O5");
  EXPECT_EQ(at(six, 14, 18), "will be deleted from Contacts");
  EXPECT_FALSE(six.mentions("and others"));
}

TEST_F(FixPreviewTest, DeletePreviewListsTheFieldsOfTheContact) {
  auto ann = add({{kABFirstNameProperty, "Ann"},
                  {kABLastNameProperty, "Lee"},
                  {kABTitleProperty, "Zz"},
                  {kABJobTitleProperty, "Boss"}});
  ABMultiValue addresses;
  addresses.addValueWithLabel(ABDictionary{{kABAddressStreetKey, "1 Main"}, {kABAddressCityKey, "Oslo"}},
                              kABOtherLabel);
  ann->setValueForProperty(addresses, kABAddressProperty);
  book_->save();
  build({{"UnusualTitle", {ann}}});
  auto preview = creatScrollerViewWithTitle(outline_, Opt::kDeleteContact, *book_);
  EXPECT_EQ(preview.texts[0], (PreviewText{"the contact selected will be deleted:", 14, 152, 310, 17, Colour::Red, 1}));
  EXPECT_EQ(at(preview, 164, 132), "Ann Lee");
  EXPECT_TRUE(preview.find("Job Title :"));
  EXPECT_TRUE(preview.find("Boss"));
  ASSERT_TRUE(preview.find("Other Address :")) << "every value under its own label";
  EXPECT_TRUE(preview.find("1 Main, Oslo"));
  EXPECT_TRUE(preview.find("Title :"));
  EXPECT_TRUE(preview.find("Zz"));
}

TEST_F(FixPreviewTest, FixedHeadingsByCategory) {
  auto p = add({{kABFirstNameProperty, "P"}, {kABNicknameProperty, " "}});
  build({{"EmptyNickname", {p}}, {"BlankName", {p}}, {"DupAddress", {p}}});
  selectIn(RC::kNicknameWithSpacing);
  auto blank = creatScrollerViewWithTitle(outline_, Opt::kDeleteBlankProperty, *book_);
  EXPECT_EQ(blank.texts.at(0).text, "The empty nickname will be removed.");
  outline_.selectItem(outline_.category(RC::kDuplicateAddress)->childAtIndex(0));
  EXPECT_EQ(creatScrollerViewWithTitle(outline_, Opt::kDeleteDuplicateProperty, *book_).texts.at(0).text,
            "The duplicated addresses will be removed.");
  outline_.selectItem(outline_.category(RC::kBlankName)->childAtIndex(0));
  EXPECT_EQ(creatScrollerViewWithTitle(outline_, Opt::kEditInContacts, *book_).texts.at(0).text,
            "This contact has no name.You can edit it in Contacts.");
  EXPECT_TRUE(creatScrollerViewWithTitle(outline_, "No such option", *book_).empty());
}

TEST(MergeContactsTest, SingleValuesOfTheLastMemberWinAndNotesAreJoined) {
  auto a = ABPerson::create(), b = ABPerson::create();
  a->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
  a->setValueForProperty(std::string("Boss"), kABJobTitleProperty);
  a->setValueForProperty(std::string("one"), kABNoteProperty);
  a->setValueForProperty(std::int64_t{1}, kABPersonFlags);
  b->setValueForProperty(std::string("Bea"), kABFirstNameProperty);
  b->setValueForProperty(std::string("two"), kABNoteProperty);
  ABMultiValue related;
  related.addValueWithLabel(std::string("Mum"), kABMotherLabel);
  b->setValueForProperty(related, kABRelatedNamesProperty);
  auto merged = mergeContacts({a, b});
  EXPECT_NE(merged->uniqueId(), a->uniqueId());
  EXPECT_EQ(merged->stringForProperty(kABFirstNameProperty), "Bea");
  EXPECT_EQ(merged->stringForProperty(kABJobTitleProperty), "Boss");
  EXPECT_EQ(merged->stringForProperty(kABNoteProperty), "one\ntwo\nFirst Name: Ann") << "the first name that lost";
  EXPECT_EQ(std::get<std::int64_t>(merged->valueForProperty(kABPersonFlags)), 1);
  EXPECT_EQ(merged->multiValueForProperty(kABRelatedNamesProperty)->labelAtIndex(0), kABMotherLabel);
  EXPECT_FALSE(merged->multiValueForProperty(kABAddressProperty)) << "no empty addresses";
  EXPECT_FALSE(mergeContacts({ABPerson::create()})->stringForProperty(kABNoteProperty)) << "no empty note";
}

TEST(MergeContactsTest, AddressesStayWholeAndRepeatsAreDropped) {
  auto a = ABPerson::create(), b = ABPerson::create();
  ABMultiValue homeA, homeB;
  homeA.addValueWithLabel(ABDictionary{{kABAddressStreetKey, "1 Main"}, {kABAddressCityKey, "Oslo"}}, kABHomeLabel);
  homeB.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}, {kABAddressStreetKey, "1 Main"}}, kABHomeLabel);
  homeB.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Bergen"}}, kABHomeLabel);
  homeB.addValueWithLabel(ABDictionary{{kABAddressCityKey, ""}}, kABWorkLabel);
  ABMultiValue im;
  im.addValueWithLabel(ABDictionary{{kABInstantMessageServiceKey, "SkypeInstant"}, {kABInstantMessageUsernameKey, "s"}},
                       kABHomeLabel);
  a->setValueForProperty(homeA, kABAddressProperty);
  b->setValueForProperty(homeB, kABAddressProperty);
  a->setValueForProperty(im, kABInstantMessageProperty);
  b->setValueForProperty(im, kABInstantMessageProperty);
  auto merged = mergeContacts({a, b});
  auto addresses = merged->multiValueForProperty(kABAddressProperty);
  ASSERT_EQ(addresses->count(), 2u);
  EXPECT_EQ(addresses->dictionaryAtIndex(1).valueOr(kABAddressCityKey), "Bergen");
  EXPECT_EQ(addresses->dictionaryAtIndex(1).size(), 1u) << "not mixed with the other address";
  EXPECT_EQ(merged->multiValueForProperty(kABInstantMessageProperty)->count(), 1u);
}

namespace {

// Every value of every contact, as the contact card names it, by unique id.
std::map<std::string, std::vector<ShownValue>> valuesOf(const ABAddressBook& book) {
  std::map<std::string, std::vector<ShownValue>> values;
  for (const auto& person : book.people()) values[person->uniqueId()] = everyValueOf(*person->snapshot());
  return values;
}

// The values of `from` that `in` does not hold (as many times).
std::vector<ShownValue> missingFrom(std::vector<ShownValue> from, std::vector<ShownValue> in) {
  std::vector<ShownValue> missing;
  for (auto& value : from) {
    auto found = std::find_if(in.begin(), in.end(), [&](const ShownValue& other) { return other.text == value.text; });
    if (found == in.end())
      missing.push_back(value);
    else
      in.erase(found);
  }
  return missing;
}

}  // namespace

// Each option of each category on the sample book: the preview names every contact the fix deletes
// or merges and every value it removes, adds or changes, as the fix then does it.
TEST_F(FixPreviewTest, EveryPreviewNamesWhatTheFixRemovesAddsOrChanges) {
  int checked = 0;
  for (const auto& category : RC::all()) {
    for (const auto& option : category.matrix->options) {
      if (option == Opt::kEditInContacts) continue;
      SCOPED_TRACE(category.title + " / " + option);
      for (const auto& person : book_->people()) book_->removeRecord(person);
      ASSERT_TRUE(book_->save());
      ASSERT_TRUE(importVCardFilesIntoAddressBook(*book_, {ROLVANE_SAMPLE_VCF}).ok());
      ASSERT_TRUE(book_->save());
      const ScanResult scan = ScanAddressBook(*book_).scan(allConditionNames());
      ReviewOutline outline;
      outline.setOutlineViewDataSouce(scan);
      outline.expandAll();
      PersonItem* father = outline.category(category.title);
      if (!father || father->childrenCount() == 0) continue;
      ASSERT_TRUE(outline.selectItem(father->childAtIndex(0)));
      ASSERT_TRUE(outline.selectOption(option));
      if (outline.selectedOption() != option) continue;  // not offered for this row
      const FixPreview preview = creatScrollerViewWithTitle(outline, option, *book_);
      ASSERT_FALSE(preview.empty());
      const auto before = valuesOf(*book_);
      std::map<std::string, std::string> names;
      for (const auto& person : book_->people()) names[person->uniqueId()] = PersonNames::rowName(*person);

      FixActions actions(outline, *book_, questions_, &contacts_);
      FixOutcome outcome = actions.FixFounction();
      ASSERT_TRUE(outcome.ok()) << outcome.error;
      const auto after = valuesOf(*reopened());
      for (const auto& [uid, values] : before) {
        auto now = after.find(uid);
        if (now == after.end()) {
          EXPECT_TRUE(preview.mentions(names[uid])) << "the contact " << names[uid] << " goes unnamed";
          continue;
        }
        for (const auto& gone : missingFrom(values, now->second))
          EXPECT_TRUE(preview.mentions(gone.text)) << gone.label << " \"" << gone.text << "\" goes unnamed";
        for (const auto& added : missingFrom(now->second, values))
          EXPECT_TRUE(preview.mentions(added.text)) << added.label << " \"" << added.text << "\" comes unnamed";
      }
      for (const auto& [uid, values] : after) {
        if (before.count(uid)) continue;
        for (const auto& value : values)
          EXPECT_TRUE(preview.mentions(value.text)) << value.label << " \"" << value.text << "\" comes unnamed";
      }
      ++checked;
    }
  }
  EXPECT_GT(checked, 30);
}
