#include "ScanFixture.h"

using NameConditionsTest = ScanFixture;

TEST_F(NameConditionsTest, IncompleteAndBlankNames) {
  auto ann = add({{kABFirstNameProperty, "Ann"}});
  auto company = add({{kABFirstNameProperty, "Acme"}});
  company->setValueForProperty(std::int64_t{1}, kABPersonFlags);
  auto otherFlags = add({{kABLastNameProperty, "Lee"}});
  otherFlags->setValueForProperty(std::int64_t{3}, kABPersonFlags);
  auto empty = add({{kABFirstNameProperty, ""}});
  auto blank = add({{kABOrganizationProperty, "Org"}});
  blank->setValueForProperty(std::int64_t{1}, kABPersonFlags);
  add({{kABFirstNameProperty, "Full"}, {kABLastNameProperty, "Name"}});
  EXPECT_EQ(scanner().scanAllAddressBookOnlyOneName(), (Persons{ann, otherFlags, empty}));
  EXPECT_EQ(scanner().findBlankNameInContacts(), (Persons{blank})) << "company cards without names too";
}

TEST_F(NameConditionsTest, SpacesInFirstNames) {
  auto inner = add({{kABFirstNameProperty, "Ann Marie"}});
  auto leading = add({{kABFirstNameProperty, " Ann"}});
  add({{kABFirstNameProperty, "Ann\tMarie"}});
  add({{kABFirstNameProperty, "Ann\xC2\xA0Marie"}});
  add({{kABLastNameProperty, "Van Damme"}});
  EXPECT_EQ(scanner().scanAllAddressBookFirstNameHaveSpace(), (Persons{inner, leading}));
}

TEST_F(NameConditionsTest, TitlesAndSuffixesAreComparedExactly) {
  auto general = add({{kABTitleProperty, "General"}});
  auto capsDr = add({{kABTitleProperty, "DR"}});
  auto dotDr = add({{kABTitleProperty, "Dr."}});
  auto emptyTitle = add({{kABTitleProperty, ""}});
  auto mixed = add({{kABTitleProperty, "2Nd"}});
  for (const char* ok : {"Dr", "dr", "Gerneral", "2lt", "2ND", "general"}) add({{kABTitleProperty, ok}});
  add();
  auto found = scanner().findUnusualTitleInContacts();
  EXPECT_EQ(found, (Persons{capsDr, dotDr, emptyTitle, mixed}));
  EXPECT_EQ(std::count(found.begin(), found.end(), general), 0) << "General is allowed";

  auto jrDot = add({{kABSuffixProperty, "Jr."}});
  auto iii = add({{kABSuffixProperty, "iii"}});
  add({{kABSuffixProperty, "Jr"}});
  add({{kABSuffixProperty, "III"}});
  EXPECT_EQ(scanner().findUnusualSuffixInContacts(), (Persons{jrDot, iii}));
}
