#include "ReviewFixture.h"
#include "app/review/DetailsPane.h"
#include "app/review/FixAll.h"
#include "app/review/FixPreview.h"
#include "app/scanner/PhotoLimits.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/ScanConditions.h"
#include "platform/image/Photo.h"
#include "tests/support/TestPhotos.h"

namespace RC = ReviewCategories;
using namespace TestPhotos;

namespace {

class PhotoFixesTest : public ReviewFixture {
 protected:
  ABPersonRef withPhoto(const std::string& first, const std::string& last, const std::string& photo,
                        const std::string& email) {
    auto person = add({{kABFirstNameProperty, first}, {kABLastNameProperty, last}}, {{kABHomeLabel, email}});
    person->setImageData(bytes(photo));
    book_->addRecord(person);
    EXPECT_TRUE(book_->save());
    return person;
  }
  std::vector<std::string> listed(const std::string& key) {
    const ScanResult result = ScanAddressBook(*book_).scan(allConditionNames());
    std::vector<std::string> uids;
    if (result.contains(key))
      for (const auto& person : result.personsFor(key)) uids.push_back(person->uniqueId());
    return uids;
  }
  std::string photoOf(const ABPersonRef& person) {
    auto stored = reopened()->recordForUniqueId(person->uniqueId());
    auto data = stored ? stored->imageData() : std::nullopt;
    return data ? std::string(data->begin(), data->end()) : std::string();
  }
  void scanInto() {
    outline_.setOutlineViewDataSouce(ScanAddressBook(*book_).scan(allConditionNames()));
    outline_.expandAll();
  }
  // Selects the row of the person in the category.
  void select(const std::string& title, const ABPersonRef& person) {
    PersonItem* category = outline_.category(title);
    ASSERT_TRUE(category) << title;
    for (PersonItem* row : category->childrenArray())
      if (row->person()->uniqueId() == person->uniqueId()) {
        ASSERT_TRUE(outline_.selectItem(row));
        return;
      }
    FAIL() << person->uniqueId() << " is not listed under " << title;
  }
};

const std::string kLarge = "Photo too large";
const std::string kShared = "Same photo on different people";

// Photos made here in every format: which "Photo too large" lists, each fix with its preview, and
// its undo.
TEST_F(PhotoFixesTest, LargePhotosAreShrunkUprightRemovedWhenUnreadableAndKept) {
  // 2,000 x 1,200 with noise at quality 95 (far over 256 KB), stored turned: orientation 6.
  const std::string big = withOrientation(jpeg(halves(2000, 1200, 0xFF0000, 0x0000FF, true), 95), 6);
  ASSERT_GT(big.size(), 256u * 1024);
  auto tall = withPhoto("Tall", "Turned", big, "t@x.org");
  auto wide = withPhoto("Wide", "Banner", webp(halves(1500, 300)), "w@x.org");  // small, but 1,500 wide
  auto broken = withPhoto("Broken", "Bytes", TestPhotos::broken(), "b@x.org");
  auto fine = withPhoto("Fine", "Png", png(halves(200, 200)), "f@x.org");
  auto animated = withPhoto("Small", "Gif", gif(halves(40, 20)), "g@x.org");
  auto lossless = withPhoto("Small", "Webp", webp(halves(300, 300), true), "l@x.org");

  const auto found = listed("LargePhoto");
  EXPECT_EQ(found, (std::vector<std::string>{tall->uniqueId(), wide->uniqueId(), broken->uniqueId()}));

  scanInto();
  // The unreadable photo is said to be so, and only removing or keeping it is offered.
  select(kLarge, broken);
  auto pane = updateUI(outline_, book_.get());
  ASSERT_TRUE(pane);
  EXPECT_NE(pane->problemText.find("cannot be read"), std::string::npos) << pane->problemText;
  EXPECT_EQ(outline_.selectedOption(), RC::Option::kRemovePhoto);
  // A readable one tells its size; its preview shows before and after.
  select(kLarge, tall);
  pane = updateUI(outline_, book_.get());
  EXPECT_NE(pane->problemText.find("JPEG, 1200 \xC3\x97 2000 pixels"), std::string::npos) << pane->problemText;
  EXPECT_EQ(outline_.selectedOption(), RC::Option::kShrinkPhoto);
  const FixPreview preview = creatScrollerViewWithTitle(outline_, RC::Option::kShrinkPhoto, *book_);
  EXPECT_TRUE(
      preview.mentions("JPEG, 1200 \xC3\x97 2000 pixels, " + std::to_string((big.size() + 1023) / 1024) + " KB"));
  EXPECT_TRUE(preview.mentions("JPEG, 307 \xC3\x97 512 pixels"));

  // Shrinking: 512 on the longer side, upright (red on top), quality 85, far smaller.
  FixOutcome outcome = fix(RC::Option::kShrinkPhoto);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  const std::string shrunk = photoOf(tall);
  const auto header = Photo::readHeader(shrunk, true, nullptr);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->format, Photo::Format::kJpeg);
  EXPECT_EQ(header->width, 307);
  EXPECT_EQ(header->height, 512);
  EXPECT_EQ(header->orientation, 1);
  EXPECT_LT(shrunk.size(), 256u * 1024);
  const auto pixels = Photo::decode(shrunk, 0, nullptr);
  EXPECT_TRUE(near(colourAt(*pixels, 150, 20), 0xFF0000, 60));
  EXPECT_TRUE(near(colourAt(*pixels, 150, 490), 0x0000FF, 60));
  std::string error;
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(photoOf(tall), big) << "undo brings the photo back byte for byte";

  // Removing the unreadable photo asks first; undo brings it back.
  scanInto();
  select(kLarge, broken);
  questions_.asked.clear();
  outcome = fix(RC::Option::kRemovePhoto);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  ASSERT_EQ(questions_.asked.size(), 1u);
  EXPECT_NE(questions_.asked[0].find("remove the photo of Broken Bytes"), std::string::npos);
  EXPECT_TRUE(photoOf(broken).empty());
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(photoOf(broken), TestPhotos::broken());

  // A readable photo is not removed by the option for unreadable ones.
  scanInto();
  FixActions actions(outline_, *book_, questions_);
  select(kLarge, wide);
  outcome = actions.apply(*RC::byTitle(kLarge), outline_.selectedItem(), RC::Option::kRemovePhoto);
  EXPECT_FALSE(outcome.ok());
  EXPECT_FALSE(photoOf(wide).empty());

  // Kept as it is: the next scan leaves it out while it is the same photo.
  scanInto();
  select(kLarge, wide);
  ASSERT_TRUE(fix(RC::Option::kKeepAsItIs).ok());
  EXPECT_EQ(listed("LargePhoto"), (std::vector<std::string>{tall->uniqueId(), broken->uniqueId()}));
  wide->setImageData(bytes(webp(halves(1600, 300))));
  book_->addRecord(wide);
  ASSERT_TRUE(book_->save());
  EXPECT_EQ(listed("LargePhoto").size(), 3u) << "another photo is listed again";

  // The limits are the user's.
  PhotoLimits::use({.kilobytes = 100000, .pixels = 4000});
  EXPECT_EQ(listed("LargePhoto"), (std::vector<std::string>{broken->uniqueId()}));
  PhotoLimits::use({});
  (void)fine;
  (void)animated;
  (void)lossless;
}

// The same picture (equal bytes, the same coded picture with other bytes around it, equal pixels
// stored without loss) on people who are not one person.
TEST_F(PhotoFixesTest, ASharedPhotoIsListedOnDifferentPeopleAndRemovedFromOne) {
  const Photo::Pixels logo = halves(64, 64, 0x00AA00, 0xFFFFFF);
  const std::string logoJpeg = jpeg(logo);
  auto acme = withPhoto("Acme", "Sales", png(logo), "sales@acme.org");
  auto bob = withPhoto("Bob", "Stone", png(logo), "bob@stone.org");
  auto dan = withPhoto("Dan", "Webp", webp(logo, true), "dan@webp.org");  // the same pixels as WebP
  auto carol = withPhoto("Carol", "King", logoJpeg, "carol@king.org");
  auto cara = withPhoto("Cara", "Comment", withComment(logoJpeg, "scanned"), "cara@c.org");  // same coded picture
  auto eve = withPhoto("Eve", "Adams", jpeg(halves(32, 32)), "eve@a.org");
  auto eve2 = withPhoto("Eve", "Adams", jpeg(halves(32, 32)), "eve@b.org");  // one person twice
  auto lone = withPhoto("Lone", "Wolf", jpeg(halves(48, 48)), "lone@w.org");

  EXPECT_EQ(listed("SharedPhoto"), (std::vector<std::string>{acme->uniqueId(), bob->uniqueId(), dan->uniqueId(),
                                                             carol->uniqueId(), cara->uniqueId()}));
  scanInto();
  select(kShared, bob);
  const auto pane = updateUI(outline_, book_.get());
  ASSERT_TRUE(pane);
  EXPECT_NE(pane->problemText.find("Acme Sales"), std::string::npos) << pane->problemText;
  EXPECT_NE(pane->problemText.find("Dan Webp"), std::string::npos) << pane->problemText;
  EXPECT_EQ(pane->problemText.find("Carol"), std::string::npos) << "a JPEG of the logo has other pixels";
  const FixPreview preview = creatScrollerViewWithTitle(outline_, RC::Option::kRemovePhotoFromContact, *book_);
  EXPECT_TRUE(preview.mentions("will be removed"));

  FixOutcome outcome = fix(RC::Option::kRemovePhotoFromContact);
  ASSERT_TRUE(outcome.ok()) << outcome.error;
  EXPECT_TRUE(photoOf(bob).empty());
  EXPECT_EQ(photoOf(acme), png(logo)) << "the others keep theirs";
  std::string error;
  ASSERT_TRUE(book_->undo(0, false, nullptr, &error)) << error;
  EXPECT_EQ(photoOf(bob), png(logo));

  // A finding whose photo is on nobody else any more changes nothing.
  scanInto();
  select(kShared, cara);
  for (auto& person : {carol}) {
    person->setImageData({});
    book_->addRecord(person);
  }
  ASSERT_TRUE(book_->save());
  outcome = fix(RC::Option::kRemovePhotoFromContact);
  EXPECT_NE(outcome.stale.find("no other contact shows its photo now"), std::string::npos) << outcome.stale;
  EXPECT_FALSE(photoOf(cara).empty());

  // Kept: left out by the next scan.
  scanInto();
  select(kShared, dan);
  ASSERT_TRUE(fix(RC::Option::kKeepAsItIs).ok());
  EXPECT_EQ(listed("SharedPhoto"), (std::vector<std::string>{acme->uniqueId(), bob->uniqueId()}));
  (void)eve;
  (void)eve2;
  (void)lone;
}

}  // namespace
