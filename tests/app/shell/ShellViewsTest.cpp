#include <gtest/gtest.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/shell/AboutWindowController.h"
#include "app/shell/Alerts.h"
#include "app/shell/TableViewWindowController.h"
#include "app/widgets/MyButton.h"
#include "app/widgets/ProgressView.h"
#include "tests/app/shell/ShellTestMain.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testApplication();
  int result = RUN_ALL_TESTS();
  // The application object is a function-level static; tearing it down after Qt's own statics
  // crashes at exit, so leave without running static destructors.
  std::fflush(nullptr);
  std::_Exit(result);
}

namespace {

QImage render(QWidget& widget) {
  return widget.grab().toImage();
}

ProgressView* arcView(double start, double end, const QString& shape = "Arc") {
  auto* view = new ProgressView;
  view->resize(240, 160);
  view->setSharpe(shape);
  view->setStartAngle(start);
  view->setEndAngle(end);
  return view;
}

}  // namespace

TEST(TableViewWindowController, StartsWithEveryConditionTickedInTableOrder) {
  TableViewWindowController preferences;
  ASSERT_EQ(preferences.dataSoucreArray().size(), 24u);
  EXPECT_EQ(preferences.getSelectArray(), preferences.dataSoucreArray());
  EXPECT_EQ(preferences.dataSoucreArray().front(), "Duplicate contacts");
  EXPECT_EQ(preferences.dataSoucreArray()[12], "Emails duplicated among multiple contacts");
  EXPECT_EQ(preferences.dataSoucreArray()[15], "Phone number not in international format");
  EXPECT_EQ(preferences.dataSoucreArray()[16], "Damaged text");
  EXPECT_EQ(preferences.dataSoucreArray()[19], "Contact that cannot be reached");
  EXPECT_EQ(preferences.dataSoucreArray()[21], "Empty group");
  EXPECT_EQ(preferences.dataSoucreArray().back(), "Same photo on different people");
  for (int row = 0; row < 24; ++row) EXPECT_EQ(preferences.tableView()->item(row)->checkState(), Qt::Checked);
}

TEST(TableViewWindowController, TheRegionOfPhoneNumbersFollowsTheLocaleUntilOneIsChosen) {
  qputenv("LC_ALL", "fr_BE.UTF-8");
  TableViewWindowController preferences;
  EXPECT_EQ(preferences.regionChoice(), "");
  EXPECT_EQ(preferences.region(), "BE");
  EXPECT_TRUE(preferences.regionBox()->itemText(0).contains("Belgium"))
      << preferences.regionBox()->itemText(0).toStdString();
  preferences.setRegionChoice("JP");
  EXPECT_EQ(preferences.region(), "JP");
  EXPECT_TRUE(preferences.regionBox()->currentText().contains("(JP)"));
  preferences.setRegionChoice("XX");  // not a region: the locale's again
  EXPECT_EQ(preferences.region(), "BE");
  qunsetenv("LC_ALL");
}

TEST(TableViewWindowController, UntickAndTickAgainMovesTheNameToTheEnd) {
  TableViewWindowController preferences;
  std::vector<std::string> expected = preferences.dataSoucreArray();
  expected.erase(expected.begin() + 1);
  expected.push_back("Incomplete name");
  // Through the check box, as a click does.
  preferences.tableView()->item(1)->setCheckState(Qt::Unchecked);
  EXPECT_EQ(preferences.getSelectArray().size(), 23u);
  preferences.tableView()->item(1)->setCheckState(Qt::Checked);
  EXPECT_EQ(preferences.getSelectArray(), expected);
}

TEST(TableViewWindowController, ThePhotoLimitsAreInUseAsSoonAsTheyChange) {
  TableViewWindowController preferences;
  EXPECT_EQ(preferences.photoLimits(), PhotoLimits());
  int changes = 0;
  QObject::connect(&preferences, &TableViewWindowController::preferencesChanged, [&] { ++changes; });
  preferences.photoKilobytesBox()->setValue(500);
  preferences.photoPixelsBox()->setValue(2048);
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(PhotoLimits::current(), (PhotoLimits{500, 2048}));
  preferences.setPhotoLimits({});
  EXPECT_EQ(PhotoLimits::current(), PhotoLimits());
}

TEST(TableViewWindowController, CancelKeepsTheClicksAndTheCallerHoldsACopy) {
  TableViewWindowController preferences;
  preferences.show();
  const std::vector<std::string> before = preferences.getSelectArray();
  preferences.toggleConditionAtRow(0);
  preferences.cancelClicked();
  EXPECT_FALSE(preferences.isVisible());
  EXPECT_EQ(preferences.getSelectArray().size(), 23u);
  EXPECT_EQ(preferences.tableView()->item(0)->checkState(), Qt::Unchecked);
  EXPECT_EQ(before.size(), 24u);
  EXPECT_EQ(preferences.tableView()->item(0)->flags() & Qt::ItemIsEditable, Qt::NoItemFlags);
}

TEST(ProgressView, AnglesWrapAtFullCircle) {
  std::unique_ptr<ProgressView> wrapped(arcView(370, 400));
  std::unique_ptr<ProgressView> plain(arcView(10, 40));
  std::unique_ptr<ProgressView> other(arcView(100, 130));
  EXPECT_EQ(render(*wrapped), render(*plain));
  EXPECT_NE(render(*other), render(*plain));
}

TEST(ProgressView, DrawsTheArcOnlyForTheArcShape) {
  std::unique_ptr<ProgressView> unset(arcView(10, 40, QString()));
  std::unique_ptr<ProgressView> circle(arcView(10, 40, "Circle"));
  std::unique_ptr<ProgressView> arc(arcView(10, 40));
  EXPECT_EQ(render(*unset), render(*circle));
  EXPECT_NE(render(*unset), render(*arc));
  // The arc at 25 degrees lies up and right of the centre (lower-left origin, counter-clockwise).
  const QImage image = render(*arc);
  const double radians = 25.0 * M_PI / 180.0;
  const QPoint onArc(static_cast<int>(120 + 30 * std::cos(radians)),
                     static_cast<int>(80 + 10 - 30 * std::sin(radians)));
  const QPoint mirrored(onArc.x(), 2 * 90 - onArc.y());
  EXPECT_LT(qGray(image.pixel(onArc * image.devicePixelRatio())), 40);
  EXPECT_GT(qGray(image.pixel(mirrored * image.devicePixelRatio())), 60);

  // From 40 back to 10 is still counter-clockwise: 330 degrees through the top, not 30 through 25.
  std::unique_ptr<ProgressView> backwards(arcView(40, 10));
  const QImage longWay = render(*backwards);
  const QPoint top(120, 90 - 30);
  EXPECT_LT(qGray(longWay.pixel(top * longWay.devicePixelRatio())), 40);
  EXPECT_GT(qGray(longWay.pixel(onArc * longWay.devicePixelRatio())), 60);
}

TEST(ProgressView, ArcTakesTheSchemesTextColour) {
  std::unique_ptr<ProgressView> arc(arcView(10, 40));
  QPalette dark = arc->palette();
  dark.setColor(QPalette::Window, QColor(30, 30, 30));
  dark.setColor(QPalette::WindowText, QColor(240, 240, 240));
  arc->setPalette(dark);
  const QImage image = render(*arc);
  const double radians = 25.0 * M_PI / 180.0;
  const QPoint onArc(static_cast<int>(120 + 30 * std::cos(radians)),
                     static_cast<int>(80 + 10 - 30 * std::sin(radians)));
  EXPECT_GT(qGray(image.pixel(onArc * image.devicePixelRatio())), 200);
}

TEST(MyButton, DrawsItsOwnTitleOnlyWhenSet) {
  MyButton button;
  button.resize(120, 32);
  const QImage plain = render(button);
  button.setButtonTitle("Scan");
  EXPECT_NE(render(button), plain);
  EXPECT_TRUE(button.text().isEmpty());
}

TEST(AboutWindowController, ShowsNameVersionAndCopyright) {
  AboutWindowController about;
  EXPECT_EQ(about.about_title()->text(), "Varnok Rolvane");
  EXPECT_TRUE(about.about_title()->font().bold());
  EXPECT_DOUBLE_EQ(about.about_title()->font().pointSizeF(), 14.0);
  EXPECT_EQ(about.about_version()->text(), QString("Version %1").arg(ROLVANE_TEST_VERSION));
  EXPECT_TRUE(about.about_Copyright()->text().startsWith("Copyright"));
}

// Editable fields need no class of their own for the editing shortcuts.
TEST(EditableField, CutCopyPasteSelectAllShortcuts) {
  QLineEdit field;
  field.show();
  field.activateWindow();
  field.setFocus();
  field.setText("Ann Lee");
  QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(field.selectedText(), "Ann Lee");
  QTest::keyClick(&field, Qt::Key_C, Qt::ControlModifier);
  QTest::keyClick(&field, Qt::Key_X, Qt::ControlModifier);
  EXPECT_TRUE(field.text().isEmpty());
  QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
  QTest::keyClick(&field, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(field.text(), "Ann LeeAnn Lee");
  // With Shift added it is no longer select-all.
  field.setCursorPosition(0);
  QTest::keyClick(&field, Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
  EXPECT_NE(field.selectedText(), "Ann LeeAnn Lee");
}

TEST(MessageBoxAlerts, TitleLeadsTheBoxAboveTheMessage) {
  QWidget window;
  MessageBoxAlerts alerts(&window);
  QString windowTitle, text, informative;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  // Reads the box while it is up and answers it.
  QTimer::singleShot(0, [&] {
    for (QWidget* top : QApplication::topLevelWidgets()) {
      auto* box = qobject_cast<QMessageBox*>(top);
      if (!box || !box->isVisible()) continue;
      icon = box->icon();
      windowTitle = box->windowTitle();
      text = box->text();
      informative = box->informativeText();
      box->button(QMessageBox::Ok)->click();
    }
  });
  alerts.showAlert("Warning", "No condition selected, please go to Preferences and choose at least one condition!");
  EXPECT_EQ(windowTitle, "Warning");
  EXPECT_EQ(icon, QMessageBox::Warning);
  EXPECT_EQ(text, "<b>Warning</b>");
  EXPECT_EQ(informative, "No condition selected, please go to Preferences and choose at least one condition!");
}
