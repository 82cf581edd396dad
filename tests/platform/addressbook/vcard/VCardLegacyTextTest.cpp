// Files in legacy character sets and the shapes other readers accept: values that are not UTF-8
// read by the documented rule and counted, never with U+FFFD; quoted-printable in vCard 3.0 and over
// several physical lines in 2.1; counts that say what was read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardLegacyText.h"

namespace {

std::string text(const ABPersonData& person, const std::string& property) {
  const std::string* value = person.string(property);
  return value ? *value : std::string("(none)");
}

std::string card(const std::string& version, const std::string& lines) {
  return "BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + lines + "END:VCARD\r\n";
}

// "Sören Täve Nüßlebaum" as Windows-1252 bytes, and as UTF-8.
const std::string kLatinName =
    "N:N\xFC\xDF"
    "lebaum;S\xF6ren T\xE4ve;;;\r\n";
const std::string kLatinLast =
    "N\xC3\xBC\xC3\x9F"
    "lebaum";
const std::string kLatinFirst = "S\xC3\xB6ren T\xC3\xA4ve";
// "Αθήνα" in ISO-8859-7, and as UTF-8.
const std::string kGreek = "\xC1\xE8\xDE\xED\xE1";
const std::string kGreekUtf8 = "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1";

TEST(VCardLegacyTextTest, ValuesThatAreNotUtf8AreReadByTheRuleAndCounted) {
  // Without any CHARSET: Windows-1252, in every value (a name, an e-mail address, a note).
  auto result =
      VCardImporter::importText(card("2.1", kLatinName + "EMAIL:blabl\xE4@blub.com\r\nNOTE:ok\r\n") +
                                    card("3.0", "N:Plain;Ann;;;\r\n") + card("2.1", "N:Gr\xFC\xDF;Gott;;;\r\n"),
                                "w.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  ASSERT_EQ(result.persons.size(), 3u);
  EXPECT_EQ(text(result.persons[0], kABLastNameProperty), kLatinLast);
  EXPECT_EQ(text(result.persons[0], kABFirstNameProperty), kLatinFirst);
  EXPECT_EQ(std::get<std::string>(result.persons[0].multiValue(kABEmailProperty)->valueAtIndex(0)),
            "blabl\xC3\xA4@blub.com");
  EXPECT_EQ(result.legacy, (VCardLegacyCounts{{"Windows-1252", 3, 2}}));
  EXPECT_EQ(describeLegacyText(result.legacy),
            (std::vector<std::string>{"3 values of 2 contacts were not UTF-8 and were read as Windows-1252"}));

  // The card's own CHARSET comes first, then the file's (the first card here names it), then the
  // one the import chose; a CHARSET=UTF-8 that the bytes do not fit is read by the rule too.
  result = VCardImporter::importText(card("2.1", "N;CHARSET=ISO-8859-7:" + kGreek + ";;;;\r\nNOTE:" + kGreek + "\r\n") +
                                         card("2.1", "NOTE:" + kGreek + "\r\n") +
                                         card("2.1", "NOTE;CHARSET=UTF-8:" + kGreek + "\r\n"),
                                     "greek.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  for (const auto& person : result.persons) EXPECT_EQ(text(person, kABNoteProperty), kGreekUtf8);
  EXPECT_EQ(text(result.persons[0], kABLastNameProperty), kGreekUtf8);
  EXPECT_EQ(result.legacy, (VCardLegacyCounts{{"ISO-8859-7", 3, 3}}));
  result = VCardImporter::importText(card("2.1", "NOTE:" + kGreek + "\r\n"), "chosen.vcf", "ISO-8859-7");
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(text(result.persons[0], kABNoteProperty), kGreekUtf8);
  EXPECT_EQ(result.legacy, (VCardLegacyCounts{{"ISO-8859-7", 1, 1}}));
  // A value that says it is UTF-8 keeps its UTF-8; only a stray byte is read as Windows-1252.
  result = VCardImporter::importText(card("2.1", "ORG;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:=C3=91=C3=91=80\r\n"),
                                     "stray.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(text(result.persons[0], kABOrganizationProperty), "\xC3\x91\xC3\x91\xE2\x82\xAC");
  EXPECT_EQ(result.legacy, (VCardLegacyCounts{{"Windows-1252", 1, 1}}));
  // Quoted-printable bytes are text like any other; UTF-8 values are not counted.
  result = VCardImporter::importText(
      card("2.1", "NOTE;ENCODING=QUOTED-PRINTABLE:caf=E9\r\nTITLE;ENCODING=QUOTED-PRINTABLE:caf=C3=A9\r\n"), "qp.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(text(result.persons[0], kABNoteProperty), "caf\xC3\xA9");
  EXPECT_EQ(text(result.persons[0], kABJobTitleProperty), "caf\xC3\xA9");
  EXPECT_EQ(result.legacy, (VCardLegacyCounts{{"Windows-1252", 1, 1}}));
}

TEST(VCardLegacyTextTest, AValueNoCharacterSetFitsIsRefusedAtItsLine) {
  // Shift_JIS chosen, and a lead byte without its second byte: no text in UTF-8 or Shift_JIS.
  auto result = VCardImporter::importText(card("2.1", "N:Doe;Jo;;;\r\nNOTE:ab\x81\r\n"), "bad.vcf", "Shift_JIS");
  EXPECT_FALSE(result.ok());
  EXPECT_EQ(result.error, "bad.vcf:4: the value of NOTE is not text in UTF-8 or Shift_JIS");
  EXPECT_TRUE(result.persons.empty());
  result = VCardImporter::importText(card("2.1", "NOTE;CHARSET=Shift_JIS:ab\x81\r\n"), "own.vcf", "Shift_JIS");
  EXPECT_EQ(result.error, "own.vcf:3: the value of NOTE is not text in Shift_JIS");
}

TEST(VCardLegacyTextTest, QuotedPrintableIsReadInVersion3AndOverSeveralLines) {
  // KDE writes quoted-printable into vCard 3.0 cards.
  auto result = VCardImporter::importText(
      card("3.0", "N:Doe;Jo;;;\r\nNOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:Zeile 1=0D=0AZeile =C3=BC\r\n"),
      "kde.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(text(result.persons[0], kABNoteProperty), "Zeile 1\nZeile \xC3\xBC");
  // Android breaks a long quoted-printable address over several lines with soft line breaks, some
  // followed by white space.
  result = VCardImporter::importText(
      card("2.1",
           "N:Doe;Jo;;;\r\nADR;HOME;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:;;=48=61=75=70=74=73=74=72=61=C3=9F= \r\n"
           "=65 =31;=42=65=72=6C=69=6E;;=31=30=31=31=35;=\t\r\n=44=65=75=74=73=63=68=6C=61=6E=64\r\n"
           "TEL;CELL:123\r\n"),
      "android.vcf");
  ASSERT_TRUE(result.ok()) << result.error;
  const ABMultiValue* addresses = result.persons[0].multiValue(kABAddressProperty);
  ASSERT_TRUE(addresses);
  EXPECT_EQ(addresses->dictionaryAtIndex(0).valueOr(kABAddressStreetKey),
            "Hauptstra\xC3\x9F"
            "e 1");
  EXPECT_EQ(addresses->dictionaryAtIndex(0).valueOr(kABAddressCityKey), "Berlin");
  EXPECT_EQ(addresses->dictionaryAtIndex(0).valueOr(kABAddressCountryKey), "Deutschland");
  ASSERT_TRUE(result.persons[0].multiValue(kABPhoneProperty));
}

class VCardFileCountsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = std::filesystem::temp_directory_path() / ("rolvane-counts-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }
  std::filesystem::path write(const std::string& name, const std::string& bytes) {
    std::ofstream(folder_ / name, std::ios::binary) << bytes;
    return folder_ / name;
  }
  std::filesystem::path folder_;
};

TEST_F(VCardFileCountsTest, EveryCountSaysWhatWasReadAndAFileWithoutACardIsAnError) {
  // UTF-16 with a byte order mark: both cards, counted.
  std::string utf16 = "\xFF\xFE";
  for (char c : card("3.0", "N:One;Ann;;;\r\n") + card("3.0", "N:Two;Bea;;;\r\n")) utf16 += std::string{c, '\0'};
  auto book = ABAddressBook::open(folder_ / "store.sqlite");
  ASSERT_TRUE(book);
  VCardStoreImport stored = appendVCardFilesToStore(*book, {write("utf16.vcf", utf16)});
  ASSERT_TRUE(stored.ok()) << stored.error;
  ASSERT_EQ(stored.files.size(), 1u);
  EXPECT_EQ(stored.files[0].contacts, 2u);
  EXPECT_EQ(stored.uids.size(), 2u);
  // A byte order mark alone, white space alone or nothing at all: no card, an error, nothing added.
  for (const std::string& bytes : {std::string("\xEF\xBB\xBF"), std::string("\r\n  \r\n"), std::string()}) {
    const auto path = write("empty.vcf", bytes);
    stored = appendVCardFilesToStore(*book, {path});
    EXPECT_EQ(stored.error, path.string() + ": holds no card (no BEGIN:VCARD ... END:VCARD)");
    VCardFilesRead read = readVCardFiles({path});
    EXPECT_FALSE(read.ok());
  }
  book = ABAddressBook::open(folder_ / "store.sqlite");
  ASSERT_TRUE(book);
  EXPECT_EQ(book->count(), 2u);
}

}  // namespace
