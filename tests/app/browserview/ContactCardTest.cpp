#include <QLabel>
#include <QLineEdit>

#include "app/browser/view/ContactCardDialog.h"
#include "tests/app/browserview/ViewTestSupport.h"

namespace {

TEST(ContactCardTest, ShowsEveryFieldAndEditsAreSavedToTheStore) {
  viewTestApp();
  auto book = ABAddressBook::inMemory();
  ABPersonRef carol = addPerson(*book, {"Carol", "Zeller", "Acme", "carol@home.org"});
  ASSERT_TRUE(book->save());

  ContactCardDialog shown(carol, *book, ContactCardDialog::Mode::Show);
  ASSERT_TRUE(shown.shownValue("Company"));
  EXPECT_EQ(shown.shownValue("Company")->text(), "Acme");
  EXPECT_EQ(shown.shownValue("Home Email")->text(), "carol@home.org");
  EXPECT_FALSE(shown.editor("Company"));

  ContactCardDialog card(carol, *book, ContactCardDialog::Mode::Edit);
  card.setQuiet(true);
  EXPECT_FALSE(card.editor("FullName"));
  ASSERT_TRUE(card.editor("Department"));
  card.editor("Department")->setText("Research");
  card.editor("Work Email")->setText("carol@work.org");
  card.editor("Birthday")->setText("soon");
  EXPECT_FALSE(card.saveChanges());
  EXPECT_NE(card.lastError().indexOf("YYYY-MM-DD"), -1);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(carol->valueForProperty(kABDepartmentProperty)));

  card.editor("Birthday")->setText("1980-01-31");
  ASSERT_TRUE(card.saveChanges()) << card.lastError().toStdString();
  EXPECT_FALSE(book->hasUnsavedChanges());
  EXPECT_EQ(std::get<std::string>(carol->valueForProperty(kABDepartmentProperty)), "Research");
  EXPECT_EQ(std::get<ABDate>(carol->valueForProperty(kABBirthdayProperty)).toIsoString(), "1980-01-31");
}

}  // namespace
