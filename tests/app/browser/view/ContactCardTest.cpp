#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>

#include "app/browser/view/ContactCardDialog.h"
#include "tests/app/browser/view/ViewTestSupport.h"

namespace {

TEST(ContactCardTest, ShowsEveryFieldAndEditsAreSavedToTheStore) {
  viewTestApp();
  auto book = ABAddressBook::inMemory();
  ABPersonRef carol = addPerson(*book, {"Carol", "Zeller", "Acme", "carol@home.org"});
  ASSERT_TRUE(book->save());

  ContactCardDialog shown(carol, *book, ContactCardDialog::Mode::Show);
  EXPECT_EQ(shown.windowTitle(), "Carol Zeller");
  ASSERT_TRUE(shown.shownValue("Company"));
  EXPECT_EQ(shown.shownValue("Company")->text(), "Acme");
  EXPECT_EQ(shown.shownValue("Home Email")->text(), "carol@home.org");
  EXPECT_FALSE(shown.editor("Company"));

  ContactCardDialog card(carol, *book, ContactCardDialog::Mode::Edit);
  card.setQuiet(true);
  EXPECT_FALSE(card.editor("FullName"));
  ASSERT_TRUE(card.editor("Department"));
  card.setEditorText("Department", "Research");
  card.setEditorText("Work Email", "carol@work.org");
  card.setEditorText("Birthday", "soon");
  EXPECT_FALSE(card.saveChanges());
  EXPECT_NE(card.lastError().indexOf("YYYY-MM-DD"), -1);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(carol->valueForProperty(kABDepartmentProperty)));

  card.setEditorText("Birthday", "1980-01-31");
  ASSERT_TRUE(card.saveChanges()) << card.lastError().toStdString();
  EXPECT_FALSE(book->hasUnsavedChanges());
  EXPECT_EQ(std::get<std::string>(carol->valueForProperty(kABDepartmentProperty)), "Research");
  EXPECT_EQ(std::get<ABDate>(carol->valueForProperty(kABBirthdayProperty)).toIsoString(), "1980-01-31");
}

TEST(ContactCardTest, SavingWritesOnlyTheChangedFieldsAndNoFieldLimitsLength) {
  viewTestApp();
  auto book = ABAddressBook::inMemory();
  ABPersonRef ann = addPerson(*book, {"Ann", "Lee", "", ""});
  const std::string note = std::string(30000, 'a') + "\r\n\xC2\xA0" + std::string(30000, 'b');
  const std::string nickname(50000, 'n');
  ann->setValueForProperty(note, kABNoteProperty);
  ann->setValueForProperty(nickname, kABNicknameProperty);
  ABMultiValue addresses;
  addresses.addValueWithLabel(ABDictionary{{kABAddressStreetKey, "1 Main\nBack house"}}, kABHomeLabel);
  ann->setValueForProperty(addresses, kABAddressProperty);
  ASSERT_TRUE(book->save());

  ContactCardDialog card(ann, *book, ContactCardDialog::Mode::Edit);
  card.setQuiet(true);
  EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(card.editor("Note")));
  EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(card.editor("Home Street")));
  EXPECT_TRUE(qobject_cast<QPlainTextEdit*>(card.editor("Work Street")));
  EXPECT_TRUE(qobject_cast<QLineEdit*>(card.editor("First Name")));
  EXPECT_EQ(card.editorText("Nickname").size(), 50000);
  card.setEditorText("First Name", "Anna");
  const auto version = ann->version();
  ASSERT_TRUE(card.saveChanges()) << card.lastError().toStdString();
  EXPECT_EQ(ann->version(), version + 1) << "one change: the first name";
  EXPECT_EQ(std::get<std::string>(ann->valueForProperty(kABFirstNameProperty)), "Anna");
  EXPECT_EQ(std::get<std::string>(ann->valueForProperty(kABNoteProperty)), note);
  EXPECT_EQ(std::get<std::string>(ann->valueForProperty(kABNicknameProperty)), nickname);

  card.setEditorText("Nickname", QString::fromStdString(nickname + "!"));
  card.setEditorText("Home Street", "2 Side\nFront house");
  ASSERT_TRUE(card.saveChanges()) << card.lastError().toStdString();
  EXPECT_EQ(std::get<std::string>(ann->valueForProperty(kABNicknameProperty)), nickname + "!");
  EXPECT_EQ(ann->multiValueForProperty(kABAddressProperty)->dictionaryAtIndex(0).valueOr(kABAddressStreetKey),
            "2 Side\nFront house");
  EXPECT_EQ(std::get<std::string>(ann->valueForProperty(kABNoteProperty)), note);
}

TEST(ContactCardTest, EmptiedFieldsAreRemovedAndACardOpenedBeforeAnotherChangeSavesNothing) {
  viewTestApp();
  auto book = ABAddressBook::inMemory();
  ABPersonRef ann = addPerson(*book, {"Ann", "Lee", "Acme", "ann@home.org"});
  ASSERT_TRUE(book->save());
  ContactCardDialog card(ann, *book, ContactCardDialog::Mode::Edit);
  card.setQuiet(true);
  card.setEditorText("Home Email", "");
  card.setEditorText("Company", "");
  ASSERT_TRUE(card.saveChanges()) << card.lastError().toStdString();
  EXPECT_TRUE(std::holds_alternative<std::monostate>(ann->valueForProperty(kABEmailProperty)));
  EXPECT_TRUE(std::holds_alternative<std::monostate>(ann->valueForProperty(kABOrganizationProperty)));

  ContactCardDialog stale(ann, *book, ContactCardDialog::Mode::Edit);
  stale.setQuiet(true);
  ann->setValueForProperty(std::string("Ann-Marie"), kABFirstNameProperty);  // changed elsewhere meanwhile
  ASSERT_TRUE(book->save());
  stale.setEditorText("First Name", "Annie");
  EXPECT_FALSE(stale.saveChanges());
  EXPECT_EQ(std::get<std::string>(ann->valueForProperty(kABFirstNameProperty)), "Ann-Marie");
  EXPECT_FALSE(book->hasUnsavedChanges());
}

TEST(ContactCardTest, TitlesNeverShowNull) {
  viewTestApp();
  auto book = ABAddressBook::inMemory();
  ABPersonRef company = addPerson(*book, {"", "", "Initech", ""});
  company->removeValueForProperty(kABFirstNameProperty);
  company->removeValueForProperty(kABLastNameProperty);
  ABPersonRef lone = addPerson(*book, {"", "Zeller", "", ""});
  lone->removeValueForProperty(kABFirstNameProperty);
  ABPersonRef nobody = ABPerson::create();
  book->addRecord(nobody);
  ASSERT_TRUE(book->save());
  EXPECT_EQ(ContactCardDialog(company, *book, ContactCardDialog::Mode::Show).windowTitle(), "Initech");
  EXPECT_EQ(ContactCardDialog(lone, *book, ContactCardDialog::Mode::Edit).windowTitle(), "Zeller");
  EXPECT_EQ(ContactCardDialog(nobody, *book, ContactCardDialog::Mode::Show).windowTitle(), "No Name");
}

}  // namespace
