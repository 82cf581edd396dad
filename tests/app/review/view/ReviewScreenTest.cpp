#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeView>
#include <chrono>
#include <filesystem>

#include "app/review/MergeContacts.h"
#include "app/review/ReviewCategories.h"
#include "app/review/view/FixPreviewWidget.h"
#include "app/review/view/MergeDialog.h"
#include "app/review/view/MyTableCellView.h"
#include "app/review/view/OutlineViewController.h"
#include "app/review/view/ReviewRowDelegate.h"
#include "app/review/view/ReviewTreeModel.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "app/widgets/BackGroundView.h"
#include "app/widgets/MyButton.h"
#include "app/widgets/MyView.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABMarks.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "tests/support/TestPaths.h"
#include "tests/support/TestPhotos.h"

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
  // Never destroyed: torn down after Qt's own statics, the input devices that key events create
  // crash at exit.
  static QApplication* application = new QApplication(argc, argv);
  return *application;
}

// Lets a Fix All run as the window runs it, a few findings between its events, to its end.
void waitForFixAll(const OutlineViewController& screen) {
  QElapsedTimer clock;
  clock.start();
  while (screen.fixAllRunning() && clock.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
}

// A store file of its own for a test, removed with it.
struct StoreFile {
  std::filesystem::path folder;
  explicit StoreFile(const std::string& name)
      : folder(std::filesystem::temp_directory_path() / ("rolvane-review-" + std::to_string(::getpid()) + "-" + name)) {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
  }
  ~StoreFile() { std::filesystem::remove_all(folder); }
  std::filesystem::path path() const { return folder / "book.sqlite"; }
};

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
  EXPECT_TRUE(screen.problemText()->text().startsWith("\"Xx\" isn't one of the allowed titles"));
  // "Xx" is no allowed title written otherwise: the allowed form is not offered.
  ASSERT_EQ(screen.optionButtons().size(), 2);
  EXPECT_EQ(screen.optionButtons()[0]->text(), "Remove the title");
  EXPECT_TRUE(screen.optionButtons()[0]->isChecked());
  ASSERT_FALSE(screen.previewWidget()->preview().empty());
  EXPECT_EQ(screen.previewWidget()->preview().texts[0].text, "Before Fixing");

  screen.optionButtons()[1]->click();
  EXPECT_EQ(screen.previewWidget()->preview().texts[0].text, "the contact selected will be deleted:");
}

// "Mr." is the allowed "Mr" written otherwise: the option that writes it so comes first, named with
// the form, and is selected.
TEST(ReviewScreenTest, TheAllowedFormIsOfferedFirstWhereOneFits) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Mr.");
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann}}}, {});
  screen.showResults();
  ASSERT_EQ(screen.optionButtons().size(), 3);
  EXPECT_EQ(screen.optionButtons()[0]->text(), "Use the allowed form \"Mr\"");
  EXPECT_TRUE(screen.optionButtons()[0]->isChecked());
  EXPECT_EQ(screen.optionButtons()[1]->text(), "Remove the title");
  screen.fixButton()->click();
  EXPECT_EQ(ann->stringForProperty(kABTitleProperty), "Mr");
}

TEST(ReviewScreenTest, CategoryHeadersShowHowManyFindingsTheyHold) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Xx");
  auto bea = person(*book, "Bea", "Yy");
  auto cid = person(*book, "Cid", "Zz");
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann, bea, cid}}, {"SingleName", {ann}}}, {});
  screen.showResults();
  screen.resize(900, 600);
  QAbstractItemModel* model = screen.myOutlineView()->model();
  EXPECT_EQ(model->index(0, 0).data(ReviewTreeModel::CountRole).toInt(), 3);
  EXPECT_EQ(model->index(1, 0).data(ReviewTreeModel::CountRole).toInt(), 1);
  EXPECT_EQ(model->index(0, 0).data(Qt::AccessibleTextRole).toString(), "Unusual Title, 3");
  // The count is drawn: the header with 3 differs from the same header with 2.
  QTreeView* view = screen.myOutlineView();
  const QRect header = view->visualRect(model->index(0, 0));
  const QImage three = view->viewport()->grab(header).toImage();
  screen.fixButton()->click();  // "Remove the title" on Ann
  EXPECT_EQ(model->index(0, 0).data(ReviewTreeModel::CountRole).toInt(), 2);
  const QImage two = view->viewport()->grab(view->visualRect(model->index(0, 0))).toImage();
  EXPECT_NE(three, two);
}

class Asked : public ReviewQuestions {
 public:
  bool answer = true;
  std::vector<std::string> titles;
  bool confirm(const std::string& title, const std::string&, const std::string&, const std::string&) override {
    titles.push_back(title);
    return answer;
  }
};

TEST(ReviewScreenTest, FixAllAsksOnceThenAppliesTheOptionToTheWholeCategoryAndSummarises) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Xx");
  auto bea = person(*book, "Bea", "Yy");
  auto cid = person(*book, "Cid", "Zz");
  auto dan = person(*book, "Dan");
  ASSERT_TRUE(book->save());
  OutlineViewController screen(*book, nullptr);
  Asked asked;
  screen.setQuestions(&asked);
  QString summary;
  screen.setFixAllReport([&](const QString& text, const QString&, bool) { summary = text; });
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann, bea, cid}}, {"SingleName", {ann, dan}}}, {});
  screen.showResults();
  ASSERT_TRUE(screen.fixAllButton()->isEnabled());

  // Even an option that deletes nothing asks first, naming the count; declined, nothing changes.
  asked.answer = false;
  screen.fixAllButton()->click();
  ASSERT_EQ(asked.titles.size(), 1u);
  EXPECT_EQ(asked.titles[0], "Remove the title of 3 contacts?");
  EXPECT_FALSE(screen.fixAllRunning());
  EXPECT_EQ(ann->stringForProperty(kABTitleProperty), "Xx");

  asked.answer = true;
  screen.fixAllButton()->click();
  EXPECT_TRUE(screen.fixAllRunning()) << "it runs between the window's events";
  waitForFixAll(screen);
  EXPECT_EQ(asked.titles.size(), 2u);
  EXPECT_EQ(summary, "\u201CRemove the title\u201D applied to 3 contacts.");
  for (const auto& p : {ann, bea, cid}) EXPECT_FALSE(p->stringForProperty(kABTitleProperty));
  EXPECT_EQ(screen.outline().categoryTitles(), (std::vector<std::string>{"Incomplete name"}));

  ASSERT_TRUE(screen.outline().selectedItem());
  for (QAbstractButton* option : screen.optionButtons())
    if (option->text() == "Delete this contact") option->click();
  summary.clear();
  bool back = false;
  QObject::connect(&screen, &OutlineViewController::backRequested, [&] { back = true; });
  screen.fixAllButton()->click();
  waitForFixAll(screen);
  ASSERT_EQ(asked.titles.size(), 3u) << "one question for the whole category";
  EXPECT_EQ(asked.titles[2], "Delete 2 contacts?");
  EXPECT_EQ(book->count(), 2u);
  EXPECT_EQ(summary, "\u201CDelete this contact\u201D applied to 2 contacts.");
  EXPECT_TRUE(back);
}

TEST(ReviewScreenTest, FixAllShowsItsProgressAndCancelKeepsWhatWasDoneAsOneChange) {
  app();
  StoreFile store("cancel");
  auto book = ABAddressBook::open(store.path());
  ASSERT_TRUE(book);
  std::vector<ABPersonRef> titled;
  for (int i = 0; i < 20; ++i) titled.push_back(person(*book, "P" + std::to_string(i), "Xx"));
  ASSERT_TRUE(book->save());
  std::vector<ABChangeSet> before;
  ASSERT_TRUE(book->changeHistory(before));
  OutlineViewController screen(*book, nullptr);
  Yes yes;
  screen.setQuestions(&yes);
  QString summary, details;
  screen.setFixAllReport([&](const QString& text, const QString& lines, bool) {
    summary = text;
    details = lines;
  });
  screen.setFixAllSlice(std::chrono::milliseconds(0));  // one finding a turn
  bool busy = false;
  QObject::connect(&screen, &OutlineViewController::busyChanged, [&](bool now) { busy = now; });
  screen.setOutlineViewDataSouce({{"UnusualTitle", titled}}, {});
  screen.showResults();

  screen.fixAllButton()->click();
  ASSERT_TRUE(screen.fixAllRunning());
  EXPECT_TRUE(busy);
  EXPECT_TRUE(screen.fixAllProgressBar()->isVisibleTo(&screen));
  EXPECT_TRUE(screen.cancelFixAllButton()->isVisibleTo(&screen));
  EXPECT_FALSE(screen.fixButton()->isEnabled());
  EXPECT_FALSE(screen.fixAllButton()->isEnabled());
  EXPECT_FALSE(screen.backButton()->isEnabled());
  QElapsedTimer clock;
  clock.start();
  while (screen.fixAllProgressBar()->value() < 8 && clock.elapsed() < 30000) QCoreApplication::processEvents();
  const int done = screen.fixAllProgressBar()->value();
  ASSERT_GE(done, 8);
  ASSERT_LT(done, 20);
  EXPECT_EQ(screen.noticeText()->text().toStdString(), "Fixing " + std::to_string(done + 1) + " of 20\u2026");
  // The window reads meanwhile: the outline holds the findings not fixed yet.
  QAbstractItemModel* model = screen.myOutlineView()->model();
  EXPECT_EQ(model->rowCount(model->index(0, 0)), 20 - done);

  screen.cancelFixAllButton()->click();
  EXPECT_FALSE(screen.fixAllRunning());
  EXPECT_FALSE(busy);
  EXPECT_FALSE(screen.fixAllProgressBar()->isVisibleTo(&screen));
  int untitled = 0;
  for (const auto& p : titled) untitled += !p->stringForProperty(kABTitleProperty);
  EXPECT_EQ(untitled, done) << "what was done stays done";
  EXPECT_EQ(summary.toStdString(), "\u201CRemove the title\u201D applied to " + std::to_string(done) +
                                       " contacts; stopped with " + std::to_string(20 - done) + " not tried.");
  // A line per finding, each contact named as the outline names it, never by its unique id.
  const QStringList lines = details.split('\n');
  EXPECT_EQ(lines.size(), done);
  EXPECT_EQ(lines.front(), "P0: Remove the title");
  EXPECT_FALSE(details.contains(QString::fromStdString(titled[0]->uniqueId())));
  EXPECT_EQ(model->rowCount(model->index(0, 0)), 20 - done);
  EXPECT_TRUE(screen.fixButton()->isEnabled());

  // One change set, which one undo takes back whole.
  std::vector<ABChangeSet> after;
  ASSERT_TRUE(book->changeHistory(after));
  ASSERT_EQ(after.size(), before.size() + 1);
  EXPECT_EQ(after.front().persons, done);
  ASSERT_TRUE(book->undo(0, false));
  for (const auto& p : titled) EXPECT_EQ(p->stringForProperty(kABTitleProperty), "Xx");
}

TEST(ReviewScreenTest, TheFixAllReportStaysWithinTheScreenWithItsDetailsInAList) {
  app();
  QStringList lines;
  for (int i = 0; i < 2304; ++i) lines << QString("Contact %1: Merge contacts").arg(i);
  auto box = OutlineViewController::fixAllReportBox(nullptr, "2,304 groups merged into 2,304 contacts.",
                                                    lines.join('\n'), false);
  box->show();
  QCoreApplication::processEvents();
  const QRect area = box->screen()->availableGeometry();
  EXPECT_LE(box->frameGeometry().height(), area.height());
  EXPECT_TRUE(box->text().contains("2,304 groups merged into 2,304 contacts."));
  QAbstractButton* showDetails = nullptr;
  for (QAbstractButton* button : box->buttons())
    if (button->text().startsWith("Show Details")) showDetails = button;
  ASSERT_TRUE(showDetails) << "the details wait behind Show Details…";
  showDetails->click();
  QCoreApplication::processEvents();
  auto* list = box->findChild<QTextEdit*>();
  ASSERT_TRUE(list);
  EXPECT_TRUE(list->isVisible());
  EXPECT_EQ(list->document()->blockCount(), 2304);
  EXPECT_GT(list->verticalScrollBar()->maximum(), 0) << "the list scrolls";
  EXPECT_LE(box->frameGeometry().height(), area.height());
  EXPECT_LE(box->sizeHint().height(), area.height());
  box->close();
}

TEST(ReviewScreenTest, AfterAnUndoTheFindingsAreCheckedAgainAndScanAgainIsOffered) {
  app();
  StoreFile store("undo");
  auto book = ABAddressBook::open(store.path());
  ASSERT_TRUE(book);
  auto ann = person(*book, "Ann");
  auto bea = person(*book, "Bea", "Yy");
  ASSERT_TRUE(book->save());
  ann->setValueForProperty(std::string("Xx"), kABTitleProperty);
  ASSERT_TRUE(book->save());
  OutlineViewController screen(*book, nullptr);
  Yes yes;
  screen.setQuestions(&yes);
  screen.setOutlineViewDataSouce(ScanAddressBook(*book).scan({"Unusual title", "Incomplete name"}));
  screen.showResults();
  ASSERT_EQ(screen.outline().category("Unusual Title")->childrenCount(), 2u);
  EXPECT_FALSE(screen.storeChangedBar()->isVisibleTo(&screen));

  // The title Ann got is taken back: her finding no longer holds and goes, Bea's stays.
  ASSERT_TRUE(book->undo(0, false));
  screen.storeChangedElsewhere();
  ASSERT_TRUE(screen.outline().category("Unusual Title"));
  EXPECT_EQ(screen.outline().category("Unusual Title")->childrenCount(), 1u);
  EXPECT_EQ(screen.outline().category("Unusual Title")->childAtIndex(0)->person()->uniqueId(), bea->uniqueId());
  EXPECT_EQ(screen.outline().category("Incomplete name")->childrenCount(), 2u);
  QAbstractItemModel* model = screen.myOutlineView()->model();
  EXPECT_EQ(model->index(0, 0).data(ReviewTreeModel::CountRole).toInt(), 1) << "the counts follow";
  EXPECT_TRUE(screen.storeChangedBar()->isVisibleTo(&screen));
  EXPECT_EQ(screen.storeChangedText()->text(),
            "The address book changed \u2014 every finding was checked again; 1 finding no longer held and left "
            "the list. Scan Again to find what it holds now.");
  bool again = false;
  QObject::connect(&screen, &OutlineViewController::scanAgainRequested, [&] { again = true; });
  screen.scanAgainButton()->click();
  EXPECT_TRUE(again);
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
  // The tips are the tips image, centred at its natural size.
  const QImage tips(":/images/tipsView.png");
  ASSERT_FALSE(tips.isNull());
  EXPECT_EQ(screen.tipsView()->image(), tips);
}

TEST(ReviewScreenTest, DeleteConfirmationAsksItsQuestionFirstAndCancelChangesNothing) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Xx");
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann}}}, {});
  screen.showResults();
  ASSERT_EQ(screen.optionButtons().size(), 2);
  screen.optionButtons()[1]->click();  // "Delete this contact"
  QString text, informative, defaultButton;
  QTimer::singleShot(0, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(top);
      if (!box || !box->isVisible()) continue;
      text = box->text();
      informative = box->informativeText();
      defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
      for (QAbstractButton* button : box->buttons())
        if (button->text() == "Cancel") button->click();
    }
  });
  screen.fixButton()->click();
  EXPECT_EQ(text, "<b>Are you sure you want to delete the selected person ?</b>");
  EXPECT_EQ(informative, "This person will also delete from Contacts. ");
  EXPECT_EQ(defaultButton, "Cancel") << "Enter must not delete";
  EXPECT_EQ(book->count(), 1u);
  EXPECT_EQ(screen.myOutlineView()->model()->rowCount(), 1);
}

TEST(ReviewScreenTest, BottomBarDrawsItsImageUnderTheThreeTitledButtons) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann");
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"SingleName", {ann}}}, {});
  screen.showResults();
  screen.resize(900, 600);
  EXPECT_EQ(screen.openContactButton()->buttonTitle(), "Open In Contacts");
  EXPECT_EQ(screen.backButton()->buttonTitle(), "Back");
  EXPECT_EQ(screen.fixButton()->buttonTitle(), "Fix");
  const QImage bar(":/images/downBG.png");
  ASSERT_FALSE(bar.isNull());
  EXPECT_EQ(screen.bottomButtonView()->image(), bar);
  // The middle of the bar, between the buttons, shows the image stretched over the bar.
  const QImage drawn = screen.bottomButtonView()->grab().toImage();
  const QColor expected = bar.scaled(drawn.size()).pixelColor(drawn.width() / 2, drawn.height() / 2);
  const QColor seen = drawn.pixelColor(drawn.width() / 2, drawn.height() / 2);
  EXPECT_LE(std::abs(seen.red() - expected.red()) + std::abs(seen.green() - expected.green()) +
                std::abs(seen.blue() - expected.blue()),
            12);
}

QPalette darkPalette() {
  QPalette dark;
  dark.setColor(QPalette::Window, QColor(36, 36, 36));
  dark.setColor(QPalette::WindowText, QColor(238, 238, 238));
  dark.setColor(QPalette::Base, QColor(30, 30, 30));
  dark.setColor(QPalette::AlternateBase, QColor(45, 45, 45));
  dark.setColor(QPalette::Text, QColor(238, 238, 238));
  dark.setColor(QPalette::Button, QColor(50, 50, 50));
  dark.setColor(QPalette::ButtonText, QColor(238, 238, 238));
  dark.setColor(QPalette::Mid, QColor(70, 70, 70));
  return dark;
}

// The lightness of the lightest and darkest pixels of an image.
std::pair<int, int> lightnessRange(const QImage& image) {
  int lightest = 0, darkest = 255;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const int l = image.pixelColor(x, y).lightness();
      lightest = std::max(lightest, l);
      darkest = std::min(darkest, l);
    }
  return {lightest, darkest};
}

TEST(ReviewScreenTest, DarkSchemeGivesDarkBarsAndAReadablePreview) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Sir Lord");
  OutlineViewController screen(*book, nullptr);
  screen.setPalette(darkPalette());
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann}}}, {});
  screen.showResults();
  screen.resize(900, 600);
  screen.show();
  QApplication::processEvents();

  const QImage bar = screen.bottomButtonView()->grab().toImage();
  EXPECT_LT(bar.pixelColor(bar.width() / 2, bar.height() / 2).lightness(), 100);
  const QImage preview = screen.previewWidget()->grab().toImage();
  EXPECT_LT(preview.pixelColor(2, 2).lightness(), 100) << "the preview's background";
  const auto [lightest, darkest] = lightnessRange(preview);
  EXPECT_GT(lightest, 180) << "light text on it";

  // The light scheme keeps the light paper with dark text.
  screen.setPalette(QPalette(QColor(239, 239, 239)));
  QApplication::processEvents();
  const QImage paper = screen.previewWidget()->grab().toImage();
  EXPECT_GT(paper.pixelColor(2, 2).lightness(), 150);
  EXPECT_LT(lightnessRange(paper).second, 80);
  const QImage lightBar = screen.bottomButtonView()->grab().toImage();
  EXPECT_GT(lightBar.pixelColor(lightBar.width() / 2, lightBar.height() / 2).lightness(), 180);
}

TEST(ReviewScreenTest, ArrowKeysStepOverCategoryRowsToTheNextContact) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Xx");
  auto bob = person(*book, "Bob");
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"UnusualTitle", {ann}}, {"SingleName", {bob}}}, {});
  screen.showResults();
  screen.resize(900, 600);
  QTreeView* view = screen.myOutlineView();
  auto press = [&](Qt::Key key) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(view, &down);
  };
  ASSERT_EQ(screen.outline().selectedItem()->person(), ann);
  press(Qt::Key_Down);
  ASSERT_TRUE(screen.outline().selectedItem());
  EXPECT_EQ(screen.outline().selectedItem()->person(), bob);
  EXPECT_EQ(view->currentIndex().parent().row(), 1);
  press(Qt::Key_Up);
  EXPECT_EQ(screen.outline().selectedItem()->person(), ann);
  press(Qt::Key_Up);  // only the first category's header is above: the selection stays
  EXPECT_EQ(screen.outline().selectedItem()->person(), ann);
  EXPECT_TRUE(view->currentIndex().parent().isValid());
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

namespace {

std::unique_ptr<ABAddressBook> sampleBook() {
  auto book = ABAddressBook::inMemory();
  EXPECT_TRUE(importVCardFilesIntoAddressBook(*book, {ROLVANE_SAMPLE_VCF}).ok());
  EXPECT_TRUE(book->save());
  return book;
}

// Every person's values by unique id, to tell whether a fix changed the store.
std::map<std::string, ABPersonData> contentsOf(const ABAddressBook& book) {
  std::map<std::string, ABPersonData> contents;
  for (const auto& person : book.people()) contents.emplace(person->uniqueId(), *person->snapshot());
  return contents;
}

class RecordingContacts : public ContactsApplication {
 public:
  std::vector<ABPersonRef> edited;
  void selectInAddressBook(const ABPersonRef&) override {}
  bool editInAddressBook(const ABPersonRef& person) override {
    edited.push_back(person);
    return true;
  }
};

// Category rows show their title in capitals.
bool isHeaderOf(const QModelIndex& row, const std::string& title) {
  return row.data().toString().compare(QString::fromStdString(title), Qt::CaseInsensitive) == 0;
}

}  // namespace

// Each option of each category found in the sample address book, chosen and fixed in the window.
TEST(ReviewScreenTest, EveryOptionOfEveryCategoryFixesThroughTheWindow) {
  app();
  const ScanResult found = ScanAddressBook(*sampleBook()).scan(allConditionNames());
  // The sample plants every problem; numbers without a country code need a region to be read. Of
  // the four conditions after the sixteen it holds a contact that cannot be reached.
  EXPECT_EQ(found.keys.size(), 16u);
  EXPECT_TRUE(found.contains("Unreachable"));
  EXPECT_FALSE(found.contains("PhoneFormat"));
  int fixed = 0, handedOver = 0, options = 0, notOffered = 0;
  for (const auto& category : ReviewCategories::all()) {
    if (!found.contains(category.conditionKey)) continue;
    for (size_t option = 0; option < category.matrix->options.size(); ++option, ++options) {
      SCOPED_TRACE(category.title + " / " + category.matrix->options[option]);
      auto book = sampleBook();
      RecordingContacts contacts;
      OutlineViewController screen(*book, &contacts);
      Yes yes;
      screen.setQuestions(&yes);
      screen.setOutlineViewDataSouce(ScanAddressBook(*book).scan(allConditionNames()));
      screen.showResults();

      QAbstractItemModel* model = screen.myOutlineView()->model();
      QModelIndex header;
      for (int row = 0; row < model->rowCount(); ++row)
        if (isHeaderOf(model->index(row, 0), category.title)) header = model->index(row, 0);
      ASSERT_TRUE(header.isValid());
      const int rowsBefore = model->rowCount(header);
      screen.myOutlineView()->selectionModel()->setCurrentIndex(model->index(0, 0, header),
                                                                QItemSelectionModel::ClearAndSelect);
      ASSERT_LE(screen.optionButtons().size(), static_cast<int>(category.matrix->options.size()));
      QAbstractButton* button = nullptr;
      for (QAbstractButton* shown : screen.optionButtons())
        if (shown->property("option").toString().toStdString() == category.matrix->options[option]) button = shown;
      if (!button) {
        ++notOffered;  // not offered for this row: no allowed form fits its title ("Madame")
        continue;
      }
      button->click();
      ASSERT_FALSE(screen.previewWidget()->preview().empty());

      const auto before = contentsOf(*book);
      screen.fixButton()->click();
      const FixOutcome& outcome = screen.lastOutcome();
      EXPECT_TRUE(outcome.error.empty()) << outcome.error;
      EXPECT_FALSE(book->hasUnsavedChanges());
      if (!contacts.edited.empty()) {
        // The option hands the contact to the contacts application, which changes the store itself.
        EXPECT_FALSE(outcome.storeChanged);
        EXPECT_EQ(contentsOf(*book), before);
        ++handedOver;
        continue;
      }
      EXPECT_TRUE(outcome.storeChanged);
      if (category.matrix->options[option] == ReviewCategories::Option::kNotSamePerson) {
        // No contact changes: the history records that they are different people.
        EXPECT_EQ(contentsOf(*book), before);
        std::vector<ABChangeSet> changes;
        ASSERT_TRUE(book->changeHistory(changes));
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.front().description.rfind("Not the same person: ", 0), 0u) << changes.front().description;
      } else if (category.matrix->options[option] == ReviewCategories::Option::kKeepAsItIs) {
        // No contact changes: the history records what is kept as it is.
        EXPECT_EQ(contentsOf(*book), before);
        std::vector<ABChangeSet> changes;
        ASSERT_TRUE(book->changeHistory(changes));
        ASSERT_FALSE(changes.empty());
        EXPECT_EQ(changes.front().description.rfind("Kept ", 0), 0u) << changes.front().description;
      } else {
        EXPECT_NE(contentsOf(*book), before);
      }
      // The fixed row has left its category (or the category has gone).
      header = QModelIndex();
      for (int row = 0; row < model->rowCount(); ++row)
        if (isHeaderOf(model->index(row, 0), category.title)) header = model->index(row, 0);
      if (header.isValid()) {
        EXPECT_LT(model->rowCount(header), rowsBefore);
      }
      ++fixed;
    }
  }
  EXPECT_EQ(fixed + handedOver + notOffered, options);
  EXPECT_LE(notOffered, 1);
  EXPECT_GT(fixed, 13);
}

TEST(ReviewScreenTest, EveryFixAllAsksFirstAndCancelIsTheDefaultButton) {
  app();
  int asked = 0;
  for (const auto& category : ReviewCategories::all()) {
    for (const auto& option : category.matrix->options) {
      if (option == ReviewCategories::Option::kEditInContacts) continue;
      SCOPED_TRACE(category.title + " / " + option);
      auto book = sampleBook();
      const ScanResult found = ScanAddressBook(*book).scan(allConditionNames());
      if (!found.contains(category.conditionKey)) continue;
      RecordingContacts contacts;
      OutlineViewController screen(*book, &contacts);  // the window's own questions
      screen.setOutlineViewDataSouce(found);
      screen.showResults();
      QAbstractItemModel* model = screen.myOutlineView()->model();
      QModelIndex header;
      for (int row = 0; row < model->rowCount(); ++row)
        if (isHeaderOf(model->index(row, 0), category.title)) header = model->index(row, 0);
      ASSERT_TRUE(header.isValid());
      screen.myOutlineView()->selectionModel()->setCurrentIndex(model->index(0, 0, header),
                                                                QItemSelectionModel::ClearAndSelect);
      QAbstractButton* button = nullptr;
      for (QAbstractButton* shown : screen.optionButtons())
        if (shown->property("option").toString().toStdString() == option) button = shown;
      if (!button) continue;  // not offered for this row
      button->click();
      ASSERT_TRUE(screen.fixAllButton()->isEnabled());
      const auto before = contentsOf(*book);
      QString question, defaultButton;
      QTimer::singleShot(0, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
          auto* box = qobject_cast<QMessageBox*>(top);
          if (!box || !box->isVisible()) continue;
          question = box->text();
          defaultButton = box->defaultButton() ? box->defaultButton()->text() : QString();
          for (QAbstractButton* choice : box->buttons())
            if (choice->text() == "Cancel") choice->click();
        }
      });
      screen.fixAllButton()->click();
      QCoreApplication::processEvents();
      EXPECT_FALSE(question.isEmpty()) << "Fix All asks first";
      EXPECT_EQ(defaultButton, "Cancel");
      EXPECT_FALSE(screen.fixAllRunning());
      EXPECT_EQ(contentsOf(*book), before);
      ++asked;
    }
  }
  EXPECT_GT(asked, 20);
}

// Phone numbers of the sample scanned for Germany: the review screen shows the numbers without
// their country code, previews them in E.164 and writes them so.
TEST(ReviewScreenTest, NumbersWithoutCountryCodeAreRewrittenForTheScansRegion) {
  app();
  auto book = sampleBook();
  OutlineViewController screen(*book, nullptr);
  Yes yes;
  screen.setQuestions(&yes);
  ScanAddressBook scanner(*book);
  scanner.setRegion("DE");
  screen.setOutlineViewDataSouce(scanner.scan({"Phone number not in international format"}));
  screen.showResults();
  QAbstractItemModel* model = screen.myOutlineView()->model();
  ASSERT_EQ(model->rowCount(), 1);
  ASSERT_TRUE(isHeaderOf(model->index(0, 0), ReviewCategories::kPhoneFormat));
  // Other sample numbers are also German numbers without their area code; Lena Schmidt's is 030 1234567.
  PersonItem* category = screen.outline().category(ReviewCategories::kPhoneFormat);
  ASSERT_TRUE(category);
  int lena = -1;
  for (size_t row = 0; row < category->childrenCount(); ++row)
    if (category->childAtIndex(row)->name() == "Lena Schmidt") lena = static_cast<int>(row);
  ASSERT_GE(lena, 0);
  screen.myOutlineView()->selectionModel()->setCurrentIndex(model->index(lena, 0, model->index(0, 0)),
                                                            QItemSelectionModel::ClearAndSelect);
  EXPECT_NE(screen.problemText()->text().toStdString().find("+49 30 1234567"), std::string::npos)
      << screen.problemText()->text().toStdString();
  ASSERT_EQ(screen.optionButtons().size(), 3);
  screen.optionButtons()[1]->click();  // Write in E.164 format
  EXPECT_TRUE(screen.previewWidget()->preview().find("+49301234567"));
  screen.fixButton()->click();
  ASSERT_TRUE(screen.lastOutcome().storeChanged) << screen.lastOutcome().error;
  bool rewritten = false;
  for (const auto& person : book->people())
    if (auto phones = person->multiValueForProperty(kABPhoneProperty))
      for (size_t i = 0; i < phones->count(); ++i) rewritten = rewritten || phones->stringAtIndex(i) == "+49301234567";
  EXPECT_TRUE(rewritten);
  EXPECT_EQ(screen.outline().category(ReviewCategories::kPhoneFormat)->childrenCount(), 3u);

  // "Keep as it is" on the next one changes no contact, and a new scan leaves it out.
  screen.myOutlineView()->selectionModel()->setCurrentIndex(model->index(0, 0, model->index(0, 0)),
                                                            QItemSelectionModel::ClearAndSelect);
  const std::string kept = screen.outline().selectedItem()->person()->uniqueId();
  screen.optionButtons()[2]->click();
  EXPECT_TRUE(
      screen.previewWidget()->preview().find("No contact will be changed. These numbers stay as they are "
                                             "written;"));
  const auto before = contentsOf(*book);
  screen.fixButton()->click();
  ASSERT_TRUE(screen.lastOutcome().storeChanged) << screen.lastOutcome().error;
  EXPECT_EQ(contentsOf(*book), before);
  EXPECT_EQ(screen.outline().category(ReviewCategories::kPhoneFormat)->childrenCount(), 2u);
  auto again = scanner.scan({"Phone number not in international format"}).personsFor("PhoneFormat");
  EXPECT_EQ(again.size(), 2u);
  for (const auto& person : again) EXPECT_NE(person->uniqueId(), kept);
}

// A fix whose finding no longer holds changes nothing; the bottom bar says why in one line.
TEST(ReviewScreenTest, AStaleFindingIsToldInTheBottomBar) {
  app();
  auto book = ABAddressBook::inMemory();
  auto ann = person(*book, "Ann", "Xx");
  auto bob = person(*book, "Bob", "Yy");
  ASSERT_TRUE(book->save());
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce(ScanAddressBook(*book).scan({"Unusual title"}));
  screen.showResults();
  ann->setValueForProperty(std::string("Dr"), kABTitleProperty);
  ASSERT_TRUE(book->save());
  screen.fixButton()->click();
  EXPECT_EQ(screen.noticeText()->text(), "Ann: not fixed, its title is no longer unusual");
  EXPECT_FALSE(screen.lastOutcome().storeChanged);
  EXPECT_EQ(ann->stringForProperty(kABTitleProperty), "Dr");
  screen.fixButton()->click();
  EXPECT_TRUE(screen.noticeText()->text().isEmpty()) << "the next fix acted";
  EXPECT_FALSE(bob->stringForProperty(kABTitleProperty));
}

// "Merge contacts…" opens the side-by-side view of the group: its defaults are the automatic
// merge's, every choice changes the result column and the saved contact, and "Not this one" keeps
// a member apart, marked as not the same person.
TEST(ReviewScreenTest, TheMergeDialogSteersTheMerge) {
  app();
  auto book = ABAddressBook::inMemory();
  auto member = [&](const std::string& org, const std::string& dept, const std::string& email) {
    auto p = ABPerson::create();
    p->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
    p->setValueForProperty(std::string("Lee"), kABLastNameProperty);
    p->setValueForProperty(org, kABOrganizationProperty);
    if (!dept.empty()) p->setValueForProperty(dept, kABDepartmentProperty);
    ABMultiValue emails;
    emails.addValueWithLabel(email, kABHomeLabel);
    p->setValueForProperty(emails, kABEmailProperty);
    book->addRecord(p);
    return p;
  };
  auto a = member("Gringotts Labs AG", "Marketing", "a@x.org");
  auto b = member("Blue Studios LLC", "", "b@x.org");
  auto c = member("Blue Studios LLC", "", "c@x.org");
  ASSERT_TRUE(book->save());
  OutlineViewController screen(*book, nullptr);
  screen.setOutlineViewDataSouce({{"DuplicateContacts", {a}}}, {});
  screen.showResults();
  EXPECT_FALSE(screen.mergeButton()->isHidden()) << "offered for a finding that can be merged";
  ASSERT_TRUE(screen.mergeButton()->isEnabled());

  bool opened = false;
  screen.runMergeDialog = [&](QDialog& shown) {
    opened = true;
    auto& dialog = static_cast<MergeDialog&>(shown);
    const int result = dialog.resultColumn();
    auto cell = [&](int row) {
      return dialog.table()->item(row, result) ? dialog.table()->item(row, result)->text() : QString();
    };
    // The defaults: today's merge (the last member wins, organisation and department together).
    const MergePlan automatic = planMerge({a, b, c});
    EXPECT_EQ(mergedValues(dialog.plan()), mergedValues(automatic));
    EXPECT_EQ(dialog.plan().members[dialog.plan().keeps], c);
    EXPECT_EQ(cell(dialog.singleRow("Company")), "Blue Studios LLC");
    // Company from the first member brings its department along.
    dialog.choose(kABOrganizationProperty, 0);
    EXPECT_EQ(cell(dialog.singleRow("Company")), "Gringotts Labs AG");
    EXPECT_EQ(cell(dialog.singleRow("Department")), "Marketing");
    // A list value left out; the note without the values that lost.
    const int bRow = dialog.listRow("b@x.org");
    ASSERT_GT(bRow, 0);
    dialog.setListValueKept(static_cast<size_t>(bRow - 1 - dialog.plan().singles.size()), false);
    dialog.othersInNoteBox()->setChecked(false);
    EXPECT_FALSE(mergedValues(dialog.plan()).string(kABNoteProperty));
    // The second member is not the same person.
    dialog.setMemberLeftOut(1, true);
    EXPECT_EQ(dialog.listRow("b@x.org"), -1);
    ASSERT_TRUE(dialog.merge());
    dialog.accept();
  };
  screen.mergeButton()->click();
  ASSERT_TRUE(opened);
  EXPECT_EQ(book->count(), 2u) << "a merged into c; b left apart";
  auto kept = book->recordForUniqueId(c->uniqueId());
  ASSERT_TRUE(kept);
  EXPECT_FALSE(book->recordForUniqueId(a->uniqueId()));
  ASSERT_TRUE(book->recordForUniqueId(b->uniqueId()));
  EXPECT_EQ(kept->stringForProperty(kABOrganizationProperty), "Gringotts Labs AG");
  EXPECT_EQ(kept->stringForProperty(kABDepartmentProperty), "Marketing");
  EXPECT_FALSE(kept->stringForProperty(kABNoteProperty));
  auto emails = kept->multiValueForProperty(kABEmailProperty);
  ASSERT_TRUE(emails);
  EXPECT_EQ(emails->count(), 2u) << "a's and c's; b's stays with b";
  std::vector<ABChangeSet> changes;
  ASSERT_TRUE(book->changeHistory(changes));
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes[0].description, "Merged 2 contacts into Ann Lee, 1 kept apart");
  std::vector<ABMark> marks;
  ASSERT_TRUE(book->marks(ABMarkKind::kNotSamePerson, marks));
  EXPECT_EQ(marks.size(), 1u);
}

// The merge view shows each member's photo beside its choice, and the result's.
TEST(ReviewScreenTest, TheMergeDialogShowsEachMembersPhoto) {
  app();
  auto book = ABAddressBook::inMemory();
  auto member = [&](const std::string& email, const std::string& photo) {
    auto p = ABPerson::create();
    p->setValueForProperty(std::string("Ann"), kABFirstNameProperty);
    p->setValueForProperty(std::string("Lee"), kABLastNameProperty);
    ABMultiValue emails;
    emails.addValueWithLabel(email, kABHomeLabel);
    p->setValueForProperty(emails, kABEmailProperty);
    p->setImageData(TestPhotos::bytes(photo));
    book->addRecord(p);
    return p;
  };
  auto a = member("a@x.org", TestPhotos::png(TestPhotos::halves(40, 20)));
  auto b = member("b@x.org", TestPhotos::jpeg(TestPhotos::halves(30, 60)));
  ASSERT_TRUE(book->save());
  MergeDialog dialog(*book, {a, b});
  int row = -1;
  for (size_t i = 0; i < dialog.plan().singles.size(); ++i)
    if (dialog.plan().singles[i].property == kABImageDataProperty) row = static_cast<int>(i) + 1;
  ASSERT_GT(row, 0);
  for (int m = 0; m < 2; ++m) {
    auto* choice = qobject_cast<QRadioButton*>(dialog.table()->cellWidget(row, m));
    ASSERT_TRUE(choice);
    EXPECT_FALSE(choice->icon().isNull()) << "member " << m;
  }
  EXPECT_EQ(dialog.table()->item(row, dialog.resultColumn())->text().toStdString(),
            "JPEG, 30 \xC3\x97 60 pixels, 1 KB");
  EXPECT_FALSE(dialog.table()->item(row, dialog.resultColumn())->icon().isNull());
  dialog.choose(kABImageDataProperty, 0);
  EXPECT_EQ(dialog.table()->item(row, dialog.resultColumn())->text().toStdString(), "PNG, 40 \xC3\x97 20 pixels, 1 KB");
}
