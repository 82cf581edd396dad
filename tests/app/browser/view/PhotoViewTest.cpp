#include <QAction>
#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QTableView>
#include <QTest>
#include <filesystem>
#include <fstream>

#include "app/browser/view/ContactCardDialog.h"
#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/PhotoThumbnails.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/image/Photo.h"
#include "tests/app/browser/view/ViewTestSupport.h"
#include "tests/support/TestPhotos.h"

namespace {

using namespace TestPhotos;

ABPersonRef withPhoto(ABAddressBook& book, const std::string& first, const std::string& photo) {
  auto person = ABPerson::create();
  person->setValueForProperty(first, kABFirstNameProperty);
  if (!photo.empty()) person->setImageData(bytes(photo));
  book.addRecord(person);
  return person;
}

std::string photoOf(const ABPersonRef& person) {
  auto photo = person->imageData();
  return photo ? std::string(photo->begin(), photo->end()) : std::string();
}

// The photo column: thumbnails made off the GUI thread (none at the first ask), drawn in the rows
// once made, turned as the photo is seen; an unreadable photo and no photo show nothing.
TEST(PhotoViewTest, TheTableShowsThumbnailsMadeOffTheGuiThread) {
  viewTestApp();
  auto book = ABAddressBook::inMemory();
  // Stored 40 x 20 red | blue, orientation 6: seen 20 x 40, red on top.
  withPhoto(*book, "Turned", withOrientation(jpeg(halves(40, 20)), 6));
  withPhoto(*book, "Png", png(halves(30, 30, 0x00FF00, 0x00FF00)));
  withPhoto(*book, "Webp", webp(halves(30, 30, 0x0000FF, 0x0000FF)));
  withPhoto(*book, "Gif", gif(halves(30, 30, 0xFFFF00, 0xFFFF00)));
  withPhoto(*book, "Broken", broken());
  withPhoto(*book, "None", "");
  ASSERT_TRUE(book->save());
  LoadContactsViewController browser(*book);
  browser.loadPersonInAddressBook();
  ASSERT_TRUE(waitForLoad(browser));
  ContactTableModel* model = browser.model();
  model->setColumns({ContactTableModel::kNameColumn});
  // Offered by the columns menu, as narrow as its thumbnails.
  QAction* photoItem = nullptr;
  for (QAction* item : browser.findChildren<QAction*>())
    if (item->text() == "Photo") photoItem = item;
  ASSERT_TRUE(photoItem);
  photoItem->trigger();
  ASSERT_EQ(model->columns(), (std::vector<std::string>{ContactTableModel::kNameColumn, "Photo"}));
  EXPECT_LT(browser.getTableView()->columnWidth(1), 60);
  const int side = model->thumbnails().side();
  auto decoration = [&](int row) { return model->index(row, 1).data(Qt::DecorationRole); };
  int turned = -1;
  for (int row = 0; row < model->rowCount(); ++row) {
    if (model->index(row, 0).data().toString() == "Turned") turned = row;
    EXPECT_FALSE(decoration(row).isValid()) << "nothing is decoded while a row is drawn";
  }
  ASSERT_GE(turned, 0);
  QTRY_VERIFY_WITH_TIMEOUT(!model->thumbnails().busy(), 10000);
  const QPixmap thumbnail = decoration(turned).value<QPixmap>();
  ASSERT_FALSE(thumbnail.isNull());
  EXPECT_EQ(thumbnail.height(), side);
  EXPECT_EQ(thumbnail.width(), side / 2);
  const QImage image = thumbnail.toImage();
  EXPECT_TRUE(near(image.pixel(image.width() / 2, 1) & 0xFFFFFF, 0xFF0000));
  EXPECT_TRUE(near(image.pixel(image.width() / 2, image.height() - 2) & 0xFFFFFF, 0x0000FF));
  for (int row = 0; row < model->rowCount(); ++row) {
    const QString name = model->index(row, 0).data().toString();
    EXPECT_EQ(decoration(row).isValid(), name != "Broken" && name != "None") << name.toStdString();
  }
  EXPECT_EQ(model->index(turned, 1).data(Qt::ToolTipRole).toString().toStdString(),
            "JPEG, 20 \xC3\x97 40 pixels, 1 KB");

  // Drawn in its row.
  browser.resize(500, 300);
  browser.show();
  QTest::qWait(50);
  QTableView* table = browser.getTableView();
  const QRect cell = table->visualRect(model->index(turned, 1));
  const QImage drawn = table->viewport()->grab(cell).toImage();
  bool red = false;
  for (int y = 0; y < drawn.height() && !red; ++y)
    for (int x = 0; x < drawn.width() && !red; ++x) red = near(drawn.pixel(x, y) & 0xFFFFFF, 0xFF0000);
  EXPECT_TRUE(red) << "the thumbnail is drawn in its cell";
}

// The contact card shows the photo large with its size and format; replacing, rotating and
// removing it are one change set each, undone one by one.
TEST(PhotoViewTest, TheCardReplacesRotatesAndRemovesThePhoto) {
  viewTestApp();
  const auto folder = std::filesystem::temp_directory_path() / ("rolvane-card-photo-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  auto book = ABAddressBook::open(folder / "book.sqlite");
  const std::string original = jpeg(halves(64, 32));
  auto ann = withPhoto(*book, "Ann", original);
  ASSERT_TRUE(book->save());

  ContactCardDialog card(ann, *book, ContactCardDialog::Mode::Show);
  card.setQuiet(true);
  EXPECT_EQ(card.photoInfo()->text().toStdString(), "JPEG, 64 \xC3\x97 32 pixels, 1 KB");
  ASSERT_TRUE(card.photoView()->pixmap().toImage().width() > 0);

  const std::string replacement = png(halves(50, 30, 0x00FF00, 0x0000FF));
  const auto file = folder / "new.png";
  std::ofstream(file, std::ios::binary) << replacement;
  std::ofstream(folder / "note.txt") << "not a picture";
  EXPECT_FALSE(card.replacePhoto(QString::fromStdString((folder / "note.txt").string())));
  EXPECT_EQ(photoOf(ann), original);
  ASSERT_TRUE(card.replacePhoto(QString::fromStdString(file.string()))) << card.lastError().toStdString();
  EXPECT_EQ(photoOf(ann), replacement) << "taken byte for byte";
  EXPECT_EQ(card.photoInfo()->text().toStdString(), "PNG, 50 \xC3\x97 30 pixels, 1 KB");

  ASSERT_TRUE(card.rotatePhoto()) << card.lastError().toStdString();
  const std::string rotated = photoOf(ann);
  const auto turned = Photo::readHeader(rotated, false, nullptr);
  ASSERT_TRUE(turned);
  EXPECT_EQ(Photo::formatOf(rotated), Photo::Format::kPng);
  EXPECT_EQ(*Photo::decode(rotated, 0, nullptr), Photo::turned(*Photo::decode(replacement, 0, nullptr), 1));
  ASSERT_TRUE(card.removePhoto());
  EXPECT_TRUE(photoOf(ann).empty());
  EXPECT_EQ(card.photoInfo()->text().toStdString(), "No photo");
  std::string error;
  for (const std::string& before : {rotated, replacement, original}) {
    ASSERT_TRUE(book->undo(0, false, nullptr, &error)) << error;
    ann = book->recordForUniqueId(ann->uniqueId());
    EXPECT_EQ(photoOf(ann), before);
  }

  // A card over a photo changed meanwhile changes nothing.
  ContactCardDialog stale(ann, *book, ContactCardDialog::Mode::Show);
  stale.setQuiet(true);
  ann->setImageData(bytes(gif(halves(8, 8))));
  book->addRecord(ann);
  ASSERT_TRUE(book->save());
  EXPECT_FALSE(stale.rotatePhoto());
  EXPECT_NE(stale.lastError().indexOf("changed elsewhere"), -1);
  EXPECT_EQ(photoOf(ann), gif(halves(8, 8)));
  std::filesystem::remove_all(folder);
}

}  // namespace
