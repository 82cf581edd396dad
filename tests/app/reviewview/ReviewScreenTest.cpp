#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTreeView>

#include "app/review/view/FixPreviewWidget.h"
#include "app/review/view/OutlineViewController.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

class Yes : public ReviewQuestions {
 public:
  int asked = 0;
  bool confirm(const std::string&, const std::string&, const std::string&, const std::string&) override {
    ++asked;
    return true;
  }
};

QApplication& app() {
  static int argc = 1;
  static char name[] = "review_view_tests";
  static char* argv[] = {name, nullptr};
  static QApplication application(argc, argv);
  return application;
}

ABPersonRef person(ABAddressBook& book, const std::string& first, const std::string& title = {}) {
  auto p = ABPerson::create();
  p->setValueForProperty(first, kABFirstNameProperty);
  if (!title.empty()) p->setValueForProperty(title, kABTitleProperty);
  book.addRecord(p);
  return p;
}

}  // namespace

TEST(ReviewScreenTest, ShowsTheFirstContactWithItsOptionsAndPreview) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Xx");
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann}}, {"SingleName", {ann}}}, {});
  screen.showResults();
  EXPECT_EQ(screen.myOutlineView()->model()->rowCount(), 2);
  EXPECT_EQ(screen.myOutlineView()->model()->index(0, 0).data().toString(), "UNUSUAL TITLE");
  EXPECT_TRUE(screen.problemText()->text().startsWith("\"Xx\" isn't an allowed title"));
  ASSERT_EQ(screen.optionButtons().size(), 2);
  EXPECT_EQ(screen.optionButtons()[0]->text(), "Remove the title");
  EXPECT_TRUE(screen.optionButtons()[0]->isChecked());
  ASSERT_FALSE(screen.previewWidget()->preview().empty());
  EXPECT_EQ(screen.previewWidget()->preview().texts[0].text, "Before Fixing");

  screen.optionButtons()[1]->click();
  EXPECT_EQ(screen.previewWidget()->preview().texts[0].text, "the contact selected will be deleted:");
}

TEST(ReviewScreenTest, FixingTheLastRowAsksToGoBack) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Xx");
  OutlineViewController screen(*book, nullptr);
  Yes yes;
  screen.setQuestions(&yes);
  bool back = false, changed = false;
  QObject::connect(&screen, &OutlineViewController::backRequested, [&] { back = true; });
  QObject::connect(&screen, &OutlineViewController::storeChanged, [&] { changed = true; });
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann}}}, {});
  screen.showResults();
  screen.fixButton()->click();
  EXPECT_TRUE(changed);
  EXPECT_TRUE(back);
  EXPECT_FALSE(ann->stringForProperty(kABTitleProperty));
}

TEST(ReviewScreenTest, CollapsingTheOnlyCategoryShowsTheTips) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann");
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"SingleName", {ann}}}, {});
  screen.showResults();
  EXPECT_TRUE(screen.fixButton()->isEnabled());
  screen.myOutlineView()->collapse(screen.myOutlineView()->model()->index(0, 0));
  EXPECT_TRUE(screen.showingTips());
  EXPECT_FALSE(screen.fixButton()->isEnabled());
  EXPECT_FALSE(screen.openContactButton()->isEnabled());
}
