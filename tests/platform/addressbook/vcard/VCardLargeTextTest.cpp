#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <limits>
#include <string>
#include <vector>

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
  size_t lines = 0;
  for (size_t i = 0; i < count; ++i) {
    if (beginLines) beginLines->push_back(lines + 1);
    std::string one = card(i);
    lines += static_cast<size_t>(std::count(one.begin(), one.end(), '\n'));
    text += one;
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
    size_t lines = 0;
    for (size_t i = 0; i < kCards; ++i) {
      beginLines.push_back(lines + 1);
      std::string one = card(i);
      if (i == broken) one.replace(one.find("NOTE:"), 5, "NOTE");  // a line without ':'
      lines += static_cast<size_t>(std::count(one.begin(), one.end(), '\n'));
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

namespace {

// A file of the test's own, removed at the end.
class TextFile {
 public:
  explicit TextFile(const std::string& text)
      : path_(std::filesystem::temp_directory_path() /
              ("rolvane-pieces-" + std::to_string(getpid()) + "-" + std::to_string(++count_) + ".vcf")) {
    std::ofstream(path_, std::ios::binary) << text;
  }
  ~TextFile() { std::filesystem::remove(path_); }
  const std::filesystem::path& path() const { return path_; }

 private:
  static inline int count_ = 0;
  std::filesystem::path path_;
};

VCardReadLimits inPiecesOf(std::size_t size) {
  VCardReadLimits limits;
  limits.pieceSize = size;
  limits.memoryCheckEvery = std::numeric_limits<std::size_t>::max();
  return limits;
}

// A card of about 400 KB: a photo folded over some 5,000 lines, each starting with a space.
std::string cardWithLargePhoto() {
  std::string card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Photo;Large;;;\r\nPHOTO;ENCODING=b;TYPE=JPEG:";
  for (int line = 0; line < 5000; ++line)
    card += "/9j/4AAQSkZJRgABAQEASABIAAD/4QBARXhpZgAATU0AKgAAAAgAAYdpAAQAAAABAAAAGgAAAAA\r\n ";
  card += "AAAA\r\nEND:VCARD\r\n";
  return card;
}

}  // namespace

// Read piece by piece (pieces of a line, of a few cards, and large enough to be read on two cores),
// a file gives what its whole text gives: cards cut by a piece's end are carried over, a card larger
// than many pieces is read whole, a card start inside a value is not taken for one, and an error
// names the line it names in the whole text, whichever piece it is in.
TEST(VCardLargeTextTest, ReadPieceByPieceAFileGivesWhatItsWholeTextGives) {
  const std::string before = manyCards(kCards / 2), after = manyCards(kCards / 2);
  const std::string softBreak =
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Soft;Break;;;\r\nNOTE;ENCODING=QUOTED-PRINTABLE:first=\r\n"
      "BEGIN:VCARD\r\nEND:VCARD\r\n\r\n\r\n";
  std::string broken = card(7);
  broken.replace(broken.find("NOTE:"), 5, "NOTE");
  std::string carriageReturns = manyCards(300);
  std::replace(carriageReturns.begin(), carriageReturns.end(), '\n', '\r');
  carriageReturns.erase(std::unique(carriageReturns.begin(), carriageReturns.end(),
                                    [](char a, char b) { return a == '\r' && b == '\r'; }),
                        carriageReturns.end());
  const std::vector<std::string> texts = {
      "\xEF\xBB\xBF" + before + softBreak + cardWithLargePhoto() + after,
      before + "begin:vcard\r\nVERSION:3.0\r\nN:Never;Ended;;;\r\n" + after,  // a card start inside a card
      before + after + broken + card(8),                                      // a malformed card near the end
      before + "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Last;Open;;;\r\n",            // the file ends inside a card
      carriageReturns,
  };
  for (std::size_t t = 0; t < texts.size(); ++t) {
    TextFile file(texts[t]);
    auto whole = VCardImporter::importText(texts[t], file.path().string());
    if (t == 0) {
      ASSERT_EQ(whole.persons.size(), kCards + 2) << whole.error;
    } else if (t == 4) {
      ASSERT_EQ(whole.persons.size(), 300u) << whole.error;
    } else {
      ASSERT_FALSE(whole.ok());
    }
    for (std::size_t piece : {std::size_t{100}, std::size_t{4096}, std::size_t{3} << 19}) {
      auto pieces = VCardImporter::importFile(file.path(), inPiecesOf(piece));
      EXPECT_EQ(pieces.error, whole.error) << "text " << t << " in pieces of " << piece;
      ASSERT_EQ(pieces.persons.size(), whole.persons.size()) << "text " << t << " in pieces of " << piece;
      EXPECT_TRUE(pieces.persons == whole.persons) << "text " << t << " in pieces of " << piece;
    }
  }
}

// When the memory available drops below the floor, reading stops with one line naming the file, and
// nothing read is kept.
TEST(VCardLargeTextTest, AFileThatDoesNotFitIntoTheMemoryLeftIsRefusedWithOneLine) {
  TextFile file(manyCards(200));
  VCardReadLimits limits;
  limits.pieceSize = 4096;
  limits.memoryCheckEvery = 4096;
  limits.memoryFloor = std::numeric_limits<std::size_t>::max();
  auto result = VCardImporter::importFile(file.path(), limits);
  EXPECT_TRUE(result.persons.empty());
  EXPECT_EQ(result.error.rfind(file.path().string() + ": the file does not fit into the memory available (", 0), 0u)
      << result.error;
  EXPECT_NE(result.error.find(" MB left after reading "), std::string::npos) << result.error;
  EXPECT_EQ(result.error.find('\n'), std::string::npos);
}
