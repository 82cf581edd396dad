#include "ReviewFixture.h"

namespace RC = ReviewCategories;

using ReviewOutlineTest = ReviewFixture;

TEST_F(ReviewOutlineTest, CategoriesComeInFixedOrderAndOnlyWhenFound) {
  auto ann = add({{kABFirstNameProperty, "Ann"}});
  auto bea = add({{kABLastNameProperty, "Bea"}});
  build({{"InvalidChar", {ann}}, {"UnusualSuffix", {bea, ann}}, {"DupPhone", {}}, {"NoSuchKey", {ann}}});
  EXPECT_EQ(outline_.categoryTitles(), (std::vector<std::string>{"Unusual Suffix", "Invalid Characters"}));
  auto* suffix = outline_.category("Unusual Suffix");
  ASSERT_EQ(suffix->childrenCount(), 2u);
  EXPECT_EQ(suffix->childAtIndex(0)->name(), "Bea");
  EXPECT_EQ(suffix->childAtIndex(1)->name(), "Ann");
  EXPECT_EQ(suffix->childAtIndex(0)->parentNode(), suffix);
}

TEST_F(ReviewOutlineTest, RowNamesNeverShowNullAndNamelessCompaniesShowTheirOrganisation) {
  auto acme = add({{kABOrganizationProperty, "Acme Ltd"}});
  auto nobody = add({{kABNicknameProperty, " "}});
  auto both = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}});
  build({{"BlankName", {acme, nobody}}, {"EmptyNotes", {both}}});
  auto* blank = outline_.category("Blank Name");
  ASSERT_EQ(blank->childrenCount(), 2u);
  EXPECT_EQ(blank->childAtIndex(0)->name(), "Acme Ltd");
  EXPECT_EQ(blank->childAtIndex(1)->name(), "No Name");
  EXPECT_EQ(outline_.category("Note with spacing only")->childAtIndex(0)->name(), "Ann Lee");
}

TEST_F(ReviewOutlineTest, OnlyContactRowsCanBeSelected) {
  auto ann = add({{kABFirstNameProperty, "Ann"}});
  build({{"SingleName", {ann}}});
  EXPECT_EQ(outline_.selectedItem()->person(), ann) << "row 1 is the first contact";
  EXPECT_FALSE(outline_.selectRow(0)) << "a category header";
  EXPECT_FALSE(outline_.selectItem(outline_.category("Incomplete name")));
  EXPECT_EQ(outline_.selectedItem()->person(), ann);
}

TEST_F(ReviewOutlineTest, CollapsingMovesTheSelectionOrShowsTheTips) {
  auto ann = add({{kABFirstNameProperty, "Ann"}});
  auto bea = add({{kABFirstNameProperty, "Bea Lee"}});
  build({{"SingleName", {ann}}, {"SpaceInFirstName", {bea}}});
  outline_.collapseItem(outline_.category("Incomplete name"));
  ASSERT_TRUE(outline_.selectedItem());
  EXPECT_EQ(outline_.selectedItem()->person(), bea);
  EXPECT_FALSE(outline_.showingTips());

  outline_.collapseItem(outline_.category("Spacing in first name"));
  EXPECT_FALSE(outline_.selectedItem());
  EXPECT_TRUE(outline_.showingTips());
  EXPECT_FALSE(outline_.fixButtonEnabled());
  EXPECT_FALSE(outline_.openContactButtonEnabled());

  EXPECT_TRUE(outline_.selectItem(outline_.category("Incomplete name")->childAtIndex(0)));
  EXPECT_FALSE(outline_.showingTips()) << "selecting a contact brings the solution view back";
  EXPECT_TRUE(outline_.fixButtonEnabled());
}

TEST_F(ReviewOutlineTest, SharedEmailRowsCarryTheirFinding) {
  auto a = add({{kABFirstNameProperty, "A"}}, {{kABHomeLabel, "x@y.org"}});
  auto b = add({{kABFirstNameProperty, "B"}}, {{kABWorkLabel, "x@y.org"}});
  build({}, {{a, {b}, kABHomeLabel}});
  auto* row = outline_.category(RC::kShareEmail)->childAtIndex(0);
  EXPECT_EQ(row->person(), a);
  EXPECT_EQ(row->duplicateEmailArray(), (std::vector<ABPersonRef>{b}));
  EXPECT_EQ(row->duplicateEmailType(), kABHomeLabel);
}

TEST_F(ReviewOutlineTest, EachMatrixStartsWithItsFirstOptionAndRemembersTheChoice) {
  auto ann = add({{kABFirstNameProperty, "Ann"}});
  build({{"SingleName", {ann}}});
  EXPECT_EQ(outline_.selectedOption(), RC::Option::kConvertToCompany);
  EXPECT_FALSE(outline_.selectOption(RC::Option::kRemoveTitle)) << "not an option of this matrix";
  EXPECT_TRUE(outline_.selectOption(RC::Option::kDeleteContact));
  EXPECT_EQ(outline_.selectedOption(), RC::Option::kDeleteContact);
}
