#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QTreeView>

#include "app/review/view/FixPreviewWidget.h"
#include "app/review/view/MyTableCellView.h"
#include "app/review/view/OutlineViewController.h"
#include "app/review/view/ReviewRowDelegate.h"
#include "app/review/view/ReviewTreeModel.h"
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

TEST(ReviewScreenTest, ContactRowsAreDrawnThroughTheirCell) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Xx");
  auto bob = person(*book, "Bob", "Yy");
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann, bob}}}, {});
  screen.showResults();
  screen.resize(900, 600);
  QTreeView* outline = screen.myOutlineView();
  const QModelIndex category = outline->model()->index(0, 0);
  const QModelIndex second = outline->model()->index(1, 0, category);  // not selected
  ASSERT_TRUE(second.isValid());
  // Grabbed as part of the whole screen, as a window paints its children.
  const QImage drawn = screen.grab().toImage();
  auto* delegate = qobject_cast<ReviewRowDelegate*>(outline->itemDelegate());
  ASSERT_NE(delegate, nullptr);
  EXPECT_EQ(delegate->cell()->myTextField()->text(), second.data().toString());
  EXPECT_EQ(delegate->cell()->textField()->text(), second.data(ReviewTreeModel::DescriptionRole).toString());
  EXPECT_FALSE(delegate->cell()->autoFillBackground());

  // The row on screen is the cell drawn in the row's own rectangle, not shifted out of it.
  const QRect area = outline->visualRect(second);
  QImage alone(area.size() * drawn.devicePixelRatio(), drawn.format());
  alone.setDevicePixelRatio(drawn.devicePixelRatio());
  alone.fill(outline->viewport()->palette().color(outline->viewport()->backgroundRole()));
  {
    QPainter painter(&alone);
    QStyleOptionViewItem option;
    option.initFrom(outline);
    option.rect = QRect(QPoint(0, 0), area.size());
    painter.translate(-area.topLeft());
    option.rect = area;
    delegate->paint(&painter, option, second);
  }
  const QPoint atScreen = outline->viewport()->mapTo(&screen, area.topLeft());
  const QImage onScreen = drawn.copy(QRect(atScreen * drawn.devicePixelRatio(), alone.size()));
  int differing = 0;
  for (int y = 0; y < alone.height(); ++y)
    for (int x = 0; x < alone.width(); ++x) differing += onScreen.pixel(x, y) != alone.pixel(x, y);
  EXPECT_LT(differing, alone.width() * alone.height() / 50) << differing;
}
