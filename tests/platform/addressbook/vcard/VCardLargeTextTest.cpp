#include <gtest/gtest.h>

#include <string>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardImporter.h"

// Texts large enough to be read in two parts must give what one reading from start to end gives.
namespace {

std::string card(size_t i) {
  return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Last" + std::to_string(i) + ";First;;;\r\nEMAIL;TYPE=HOME:user" +
         std::to_string(i) + "@example.org\r\nNOTE:some words to make the card longer than a line or two\r\n" +
         "END:VCARD\r\n";
}

// About 2 MB of cards; the line of each card's BEGIN:VCARD is recorded.
std::string manyCards(size_t count, std::vector<size_t>* beginLines = nullptr) {
  std::string text;
  for (size_t i = 0; i < count; ++i) {
    if (beginLines) beginLines->push_back(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
    text += card(i);
  }
  return text;
}

constexpr size_t kCards = 14000;

std::string lastName(const ABPersonData& person) {
  const std::string* value = person.string(kABLastNameProperty);
  return value ? *value : std::string();
}

}  // namespace

TEST(VCardLargeTextTest, EveryCardIsReadOnceInFileOrder) {
  std::string text = manyCards(kCards);
  ASSERT_GT(text.size(), 2u << 20);
  auto result = VCardImporter::importText(text, "big.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.persons.size(), kCards);
  for (size_t i = 0; i < kCards; ++i) ASSERT_EQ(lastName(result.persons[i]), "Last" + std::to_string(i));
}

TEST(VCardLargeTextTest, MalformedCardIsReportedWithItsLineInEitherHalf) {
  for (size_t broken : {size_t{10}, kCards / 2 - 1, kCards / 2 + 3, kCards - 1}) {
    std::vector<size_t> beginLines;
    std::string text;
    for (size_t i = 0; i < kCards; ++i) {
      beginLines.push_back(static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 1);
      std::string one = card(i);
      if (i == broken) one.replace(one.find("NOTE:"), 5, "NOTE");  // a line without ':'
      text += one;
    }
    auto result = VCardImporter::importText(text, "big.vcf");
    EXPECT_FALSE(result.ok());
    EXPECT_TRUE(result.persons.empty());
    EXPECT_EQ(result.error,
              "big.vcf:" + std::to_string(beginLines[broken] + 4) + ": line is not a property (no ':' after the name)")
        << "broken card " << broken;
  }
}

// A line "BEGIN:VCARD" in the middle of the text that is not a card start: inside a quoted-printable
// value that runs on over a soft line break, and inside a card that is never ended.
TEST(VCardLargeTextTest, ACardStartInsideAValueOrCardIsNotTakenForOne) {
  std::string before = manyCards(kCards / 2);
  std::string after = manyCards(kCards / 2);
  std::string softBreak =
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Soft;Break;;;\r\nNOTE;ENCODING=QUOTED-PRINTABLE:first=\r\n"
      "BEGIN:VCARD\r\nEND:VCARD\r\n";
  auto result = VCardImporter::importText(before + softBreak + after, "qp.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.persons.size(), kCards + 1);
  const ABPersonData& soft = result.persons[kCards / 2];
  EXPECT_EQ(lastName(soft), "Soft");
  ASSERT_TRUE(soft.string(kABNoteProperty));
  EXPECT_EQ(*soft.string(kABNoteProperty), "firstBEGIN:VCARD");

  std::string unended = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Never;Ended;;;\r\n";
  size_t line = static_cast<size_t>(std::count(before.begin(), before.end(), '\n')) + 4;
  result = VCardImporter::importText(before + unended + after, "open.vcf");
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error, "open.vcf:" + std::to_string(line) + ": BEGIN:VCARD inside a card that is not ended");
}

TEST(VCardLargeTextTest, ByteOrderMarkAndLineNumbersOfTheSecondHalf) {
  std::string text = "\xEF\xBB\xBF" + manyCards(kCards);
  size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  auto result = VCardImporter::importText(text + "END:VCARD\r\n", "bom.vcf");
  EXPECT_EQ(result.error, "bom.vcf:" + std::to_string(lines + 1) + ": END:VCARD without BEGIN:VCARD");
  result = VCardImporter::importText(text, "bom.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.persons.size(), kCards);
}
