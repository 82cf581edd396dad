// Photos through a real CardDAV server (Radicale on 127.0.0.1): a photo comes in and goes back
// byte for byte with the parameters it came with, and only a photo the user shrank goes back other.
#include <gtest/gtest.h>

#include "CardDavTestFixture.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardText.h"
#include "platform/image/Photo.h"
#include "tests/support/TestPhotos.h"

namespace {

using namespace TestPhotos;

std::string photoOn(const std::string& cardText) {
  VCardImportResult read = VCardImporter::importText(cardText);
  EXPECT_TRUE(read.ok()) << read.error;
  if (read.persons.empty()) return {};
  const ABBytes* photo = read.persons.front().bytes(kABImageDataProperty);
  return photo ? std::string(photo->begin(), photo->end()) : std::string();
}

TEST_F(CardDavTest, PhotosGoBackByteForByteUnlessShrunk) {
  const std::string big = jpeg(halves(1600, 1000, 0xFF0000, 0x0000FF, true), 95);
  const std::string small = png(halves(64, 64, 0x00AA00, 0xFFFFFF));
  ASSERT_EQ(
      server_.put("big.vcf", card("big", "Large", "Photo",
                                  "PHOTO;ENCODING=b;TYPE=JPEG:" + encodeBase64(bytes(big)) + "\r\nEMAIL:b@x.org\r\n")),
      201);
  const std::string smallLine =
      "PHOTO;ENCODING=b;TYPE=image/png;X-ABCROP-RECTANGLE=ABClipRect_1&0&0&64&64:" + encodeBase64(bytes(small));
  ASSERT_EQ(server_.put("small.vcf", card("small", "Small", "Photo", smallLine + "\r\nEMAIL:s@x.org\r\n")), 201);
  ProgramRun run = link(server_.bookUrl());
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"sync"});
  ASSERT_EQ(run.status, 0) << run.out;

  run = rolvane({"fix", "--condition", "Photo too large", "--option", "Shrink the photo"});
  ASSERT_EQ(run.status, 0) << run.out;
  // The small card changed too (a note), so that it goes back to the server.
  run = rolvane({"edit", "--uid", "small", "--key", "Note", "--value", "from the office"});
  ASSERT_EQ(run.status, 0) << run.out;
  run = rolvane({"sync"});
  ASSERT_EQ(run.status, 0) << run.out;

  const auto cards = cardsOnServer();
  ASSERT_EQ(cards.size(), 2u);
  for (const auto& [href, text] : cards) {
    SCOPED_TRACE(href);
    if (href.find("small") != std::string::npos) {
      EXPECT_NE(text.find("from the office"), std::string::npos) << "the edit went back";
      EXPECT_EQ(photoOn(text), small) << "byte for byte";
      std::string unfolded = text;
      for (size_t at; (at = unfolded.find("\r\n ")) != std::string::npos;) unfolded.erase(at, 3);
      EXPECT_NE(unfolded.find(smallLine), std::string::npos) << "with the parameters it came with";
    } else {
      const std::string shrunk = photoOn(text);
      const auto header = Photo::readHeader(shrunk, true, nullptr);
      ASSERT_TRUE(header) << text.substr(0, 400);
      EXPECT_EQ(header->width, 512);
      EXPECT_EQ(header->height, 320);
      EXPECT_LT(shrunk.size(), big.size());
    }
  }
}

}  // namespace
