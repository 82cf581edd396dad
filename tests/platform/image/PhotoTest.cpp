#include <gtest/gtest.h>

#include "platform/image/Photo.h"
#include "tests/support/TestPhotos.h"

namespace {

using namespace TestPhotos;

TEST(PhotoTest, EveryFormatIsReadFromItsHeaderAndDecodedAsSeen) {
  const Photo::Pixels picture = halves(40, 20);
  struct Case {
    std::string bytes;
    Photo::Format format;
    bool lossless;
  };
  const std::vector<Case> cases = {{jpeg(picture), Photo::Format::kJpeg, false},
                                   {png(picture), Photo::Format::kPng, true},
                                   {webp(picture), Photo::Format::kWebP, false},
                                   {webp(picture, true), Photo::Format::kWebP, true},
                                   {gif(picture), Photo::Format::kGif, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(Photo::formatName(c.format));
    std::string error;
    const auto header = Photo::readHeader(c.bytes, true, &error);
    ASSERT_TRUE(header) << error;
    EXPECT_EQ(header->format, c.format);
    EXPECT_EQ(header->width, 40);
    EXPECT_EQ(header->height, 20);
    EXPECT_EQ(header->orientation, 1);
    EXPECT_EQ(Photo::isLossless(c.bytes), c.lossless);
    const auto pixels = Photo::decode(c.bytes, 0, &error);
    ASSERT_TRUE(pixels) << error;
    EXPECT_EQ(pixels->width, 40);
    EXPECT_EQ(pixels->height, 20);
    EXPECT_TRUE(near(colourAt(*pixels, 2, 10), 0xFF0000)) << std::hex << colourAt(*pixels, 2, 10);
    EXPECT_TRUE(near(colourAt(*pixels, 37, 10), 0x0000FF)) << std::hex << colourAt(*pixels, 37, 10);
  }
}

TEST(PhotoTest, AJpegTurnedByItsOrientationIsSeenUpright) {
  // Stored 40 x 20, red left and blue right; orientation 6 turns it a quarter clockwise: 20 x 40,
  // red on top.
  const std::string turned = withOrientation(jpeg(halves(40, 20)), 6);
  std::string error;
  const auto header = Photo::readHeader(turned, true, &error);
  ASSERT_TRUE(header) << error;
  EXPECT_EQ(header->orientation, 6);
  EXPECT_EQ(header->shownWidth(), 20);
  EXPECT_EQ(header->shownHeight(), 40);
  const auto pixels = Photo::decode(turned, 0, &error);
  ASSERT_TRUE(pixels) << error;
  EXPECT_EQ(pixels->width, 20);
  EXPECT_EQ(pixels->height, 40);
  EXPECT_TRUE(near(colourAt(*pixels, 10, 2), 0xFF0000));
  EXPECT_TRUE(near(colourAt(*pixels, 10, 37), 0x0000FF));

  // Shrinking applies the orientation: the JPEG made is upright and says nothing of turning.
  const auto shrunk = Photo::shrink(turned, 16, 85, &error);
  ASSERT_TRUE(shrunk) << error;
  EXPECT_EQ(shrunk->width, 8);
  EXPECT_EQ(shrunk->height, 16);
  const auto again = Photo::readHeader(shrunk->bytes, true, &error);
  ASSERT_TRUE(again);
  EXPECT_EQ(again->orientation, 1);
  EXPECT_EQ(again->width, 8);
  EXPECT_EQ(again->height, 16);
  const auto shrunkPixels = Photo::decode(shrunk->bytes, 0, &error);
  EXPECT_TRUE(near(colourAt(*shrunkPixels, 4, 1), 0xFF0000));
  EXPECT_TRUE(near(colourAt(*shrunkPixels, 4, 14), 0x0000FF));
}

TEST(PhotoTest, ALargeJpegShrinksTo512OnItsLongerSide) {
  const std::string large = jpeg(halves(2000, 1200, 0xFF0000, 0x0000FF, true), 95);
  std::string error;
  const auto shrunk = Photo::shrink(large, 512, 85, &error);
  ASSERT_TRUE(shrunk) << error;
  EXPECT_EQ(shrunk->width, 512);
  EXPECT_EQ(shrunk->height, 307);
  EXPECT_LT(shrunk->bytes.size(), large.size() / 4);
  const auto header = Photo::readHeader(shrunk->bytes, false, &error);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->format, Photo::Format::kJpeg);
  EXPECT_EQ(header->width, 512);
  // A small photo is not made larger.
  const auto small = Photo::shrink(png(halves(100, 50)), 512, 85, &error);
  ASSERT_TRUE(small);
  EXPECT_EQ(small->width, 100);
}

TEST(PhotoTest, BrokenBytesAreReadByNoLibrary) {
  std::string error;
  EXPECT_FALSE(Photo::readHeader(broken(), false, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(Photo::decode(broken(), 0, &error));
  EXPECT_FALSE(Photo::readHeader("plain text", false, &error));
  EXPECT_EQ(error, "not a JPEG, PNG, GIF or WebP picture");
  EXPECT_FALSE(Photo::readHeader(png(halves(8, 8)).substr(0, 20), false, &error));
  EXPECT_FALSE(Photo::shrink(broken(), 512, 85, &error));
}

TEST(PhotoTest, TurningKeepsAJpegsBlocksAndTurnsOthersByTheirPixels) {
  std::string error;
  // 32 x 16: whole blocks, turned without loss.
  const std::string original = jpeg(halves(32, 16));
  const auto turned = Photo::turnedPhoto(original, 1, &error);
  ASSERT_TRUE(turned) << error;
  const auto pixels = Photo::decode(*turned, 0, &error);
  ASSERT_TRUE(pixels);
  EXPECT_EQ(pixels->width, 16);
  EXPECT_EQ(pixels->height, 32);
  EXPECT_TRUE(near(colourAt(*pixels, 8, 2), 0xFF0000));
  const auto back = Photo::turnedPhoto(*turned, -1, &error);
  ASSERT_TRUE(back);
  EXPECT_EQ(*Photo::decode(*back, 0, nullptr), *Photo::decode(original, 0, nullptr)) << "turning a JPEG loses nothing";
  // A PNG comes back as a PNG, pixel for pixel.
  const Photo::Pixels picture = halves(30, 10);
  const auto turnedPng = Photo::turnedPhoto(png(picture), 2, &error);
  ASSERT_TRUE(turnedPng);
  EXPECT_EQ(Photo::formatOf(*turnedPng), Photo::Format::kPng);
  EXPECT_EQ(*Photo::decode(*turnedPng, 0, nullptr), Photo::turned(picture, 2));
  // A JPEG with an orientation is turned as it is seen.
  const auto seen = Photo::turnedPhoto(withOrientation(jpeg(halves(40, 20)), 6), 1, &error);
  ASSERT_TRUE(seen);
  const auto seenPixels = Photo::decode(*seen, 0, nullptr);
  EXPECT_EQ(seenPixels->width, 40);
  EXPECT_TRUE(near(colourAt(*seenPixels, 37, 10), 0xFF0000)) << "red went from the top to the right";
}

TEST(PhotoTest, ThePictureKeyLeavesOutWhatIsWrittenAroundThePicture) {
  const std::string plain = jpeg(halves(16, 16));
  EXPECT_EQ(Photo::pictureKey(plain), Photo::pictureKey(withComment(plain, "from the office")));
  EXPECT_NE(Photo::pictureKey(plain), Photo::pictureKey(withOrientation(plain, 6)));
  EXPECT_NE(Photo::pictureKey(plain), Photo::pictureKey(jpeg(halves(16, 16, 0x00FF00))));
  EXPECT_EQ(Photo::pictureKey(png(halves(8, 8))), Photo::pictureKey(png(halves(8, 8))));
  EXPECT_TRUE(Photo::pictureKey("nothing").empty());
}

TEST(PhotoTest, ScalingDownAveragesWhatEachPixelCovers) {
  Photo::Pixels picture = halves(4, 2, 0xFFFFFF, 0x000000);
  const Photo::Pixels half = Photo::scaledDown(picture, 2, 1);
  EXPECT_EQ(colourAt(half, 0, 0), 0xFFFFFFu);
  EXPECT_EQ(colourAt(half, 1, 0), 0x000000u);
  const Photo::Pixels one = Photo::scaledDown(picture, 1, 1);
  EXPECT_TRUE(near(colourAt(one, 0, 0), 0x808080, 2));
  EXPECT_EQ(Photo::fittedSize(2000, 1000, 512), std::make_pair(512, 256));
  EXPECT_EQ(Photo::fittedSize(300, 200, 512), std::make_pair(300, 200));
}

}  // namespace
