#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "tests/support/Corpus.h"

namespace {

const std::filesystem::path kCorpus = std::filesystem::path(ROLVANE_CORPUS_DIR) / "vcard";

std::vector<ABPersonData> read(const std::string& name) {
  auto result = VCardImporter::importFile(kCorpus / name);
  EXPECT_TRUE(result.ok()) << result.error;
  return result.persons;
}

std::string text(const ABPersonData& person, const std::string& property) {
  const std::string* value = person.string(property);
  return value ? *value : std::string();
}

TEST(VCardCorpusTest, EveryWellFormedFileImports) {
  ROLVANE_SKIP_WITHOUT_CORPUS();
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".vcf") continue;
    ++files;
    auto result = VCardImporter::importFile(entry.path());
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_FALSE(result.persons.empty()) << entry.path();
  }
  EXPECT_GE(files, 20u);
}

TEST(VCardCorpusTest, KeyFactsOfRealExports) {
  ROLVANE_SKIP_WITHOUT_CORPUS();
  auto iphone = read("ezvcard_John_Doe_IPHONE.vcf");
  ASSERT_EQ(iphone.size(), 1u);
  EXPECT_EQ(text(iphone[0], kABFirstNameProperty), "John");
  EXPECT_EQ(text(iphone[0], kABMiddleNameProperty), "Richter,James");
  const ABMultiValue* phones = iphone[0].multiValue(kABPhoneProperty);
  ASSERT_TRUE(phones);
  EXPECT_EQ(phones->labelAtIndex(0), kABPhoneMobileLabel);
  EXPECT_EQ(phones->labelAtIndex(3), kABPhoneHomeFAXLabel);
  EXPECT_EQ(phones->labelAtIndex(6), "_$!<AssistantPhone>!$_");
  ASSERT_TRUE(iphone[0].bytes(kABImageDataProperty));
  EXPECT_EQ((*iphone[0].bytes(kABImageDataProperty))[0], 0xFF);
  EXPECT_GT(iphone[0].bytes(kABImageDataProperty)->size(), 30000u);
  EXPECT_EQ(iphone[0].multiValue(kABURLsProperty)->stringAtIndex(0), "http://www.ibm.com");

  auto mac = read("ezvcard_John_Doe_MAC_ADDRESS_BOOK.vcf");
  ASSERT_EQ(mac.size(), 1u);
  EXPECT_EQ(mac[0].multiValue(kABPhoneProperty)->labelAtIndex(6), "AssistantPhone");
  EXPECT_EQ(mac[0].multiValue(kABRelatedNamesProperty)->labelAtIndex(0), "Spouse");
  EXPECT_EQ(mac[0].multiValue(kABAddressProperty)->dictionaryAtIndex(0).valueOr(kABAddressCountryCodeKey),
            "Silicon Alley");
  EXPECT_TRUE(mac[0].bytes(kABImageDataProperty));

  auto gmail = read("ezvcard_John_Doe_GMAIL.vcf");
  EXPECT_EQ(gmail[0].multiValue(kABEmailProperty)->labelAtIndex(0), kABHomeLabel);
  EXPECT_EQ(gmail[0].multiValue(kABRelatedNamesProperty)->labelAtIndex(0), kABSpouseLabel);
  EXPECT_NE(text(gmail[0], kABNoteProperty).find("\"AS IS\""), std::string::npos);

  auto android = read("ezvcard_John_Doe_ANDROID.vcf");
  ASSERT_EQ(android.size(), 6u);
  EXPECT_EQ(text(android[2], kABLastNameProperty), "\xC3\x91 \xC3\x91 \xC3\x91 \xC3\x91 ");
  EXPECT_EQ(text(android[3], kABLastNameProperty), "Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ Ñ");

  auto japanese = read("aospvcard_v21_japanese_2.vcf");
  EXPECT_EQ(text(japanese[0], kABLastNameProperty), "安藤");
  EXPECT_EQ(text(japanese[0], kABNoteProperty), "メモ");
  EXPECT_EQ(japanese[0].multiValue(kABAddressProperty)->dictionaryAtIndex(0).valueOr(kABAddressZIPKey), "150-8512");

  auto complicated = read("aospvcard_v21_complicated.vcf");
  EXPECT_EQ(text(complicated[0], kABDepartmentProperty), "Sales Dept.;Manager");
  EXPECT_NE(text(complicated[0], kABNoteProperty).find("come to the aid of their country."), std::string::npos);
  EXPECT_TRUE(complicated[0].bytes(kABImageDataProperty));

  auto labelIssue = read("fkvcards_LabelIssue.vcf");
  EXPECT_EQ(labelIssue[0].multiValue(kABAddressProperty)->dictionaryAtIndex(0).valueOr(kABAddressStreetKey),
            "Business-Straße 19");

  // The post office box and extended address are kept before the street; an empty X-ABLabel leaves
  // the entry its TYPE label.
  auto evolution = read("ezvcard_John_Doe_EVOLUTION.vcf");
  EXPECT_EQ(evolution[0].multiValue(kABAddressProperty)->dictionaryAtIndex(0).valueOr(kABAddressStreetKey),
            "ASB-123\n15 Crescent moon drive");
  auto google = read("fkvcards_v3.vcf");
  EXPECT_EQ(google[0].multiValue(kABPhoneProperty)->labelAtIndex(0), kABOtherLabel);
  EXPECT_EQ(google[0].multiValue(kABURLsProperty)->labelAtIndex(0), kABHomePageLabel);

  auto rfcExample = read("ezvcard_rfc6350-example.vcf");
  ASSERT_TRUE(rfcExample[0].date(kABBirthdayProperty));
  EXPECT_EQ(*rfcExample[0].date(kABBirthdayProperty), (ABDate{1604, 2, 3}));

  auto company = read("rcmcarddav_CompanySetFN.vcf");
  EXPECT_EQ(*company[0].integer(kABPersonFlags), kABShowAsCompany);
  EXPECT_EQ(text(company[0], kABOrganizationProperty), "Die Firma");
  EXPECT_EQ(company[0].find(kABFirstNameProperty), nullptr);
}

// Each is refused whole, naming the file and line, or (what the readers that wrote such files accept:
// quoted-printable in a 3.0 card) read leniently.
TEST(VCardCorpusTest, MalformedFilesAreRefusedWholeAndNameFileAndLine) {
  ROLVANE_SKIP_WITHOUT_CORPUS();
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus / "malformed")) {
    ++files;
    auto book = ABAddressBook::inMemory();
    auto result = importVCardFilesIntoAddressBook(*book, {kCorpus / "ezvcard_gmail-list.vcf", entry.path()});
    if (entry.path().filename() == "eds_13.vcf") {
      EXPECT_TRUE(result.ok()) << result.error;
      continue;
    }
    EXPECT_FALSE(result.ok()) << entry.path();
    EXPECT_EQ(result.error.rfind(entry.path().string() + ":", 0), 0u) << result.error;
    EXPECT_EQ(book->count(), 0u);
  }
  EXPECT_EQ(files, 5u);
}

// Read piece by piece, with pieces far smaller than most cards, every file gives what its whole
// text gives: the same persons, or the same error at the same line.
TEST(VCardCorpusTest, EveryFileReadInSmallPiecesGivesWhatItsWholeTextGives) {
  ROLVANE_SKIP_WITHOUT_CORPUS();
  std::size_t files = 0;
  for (const auto& folder : {kCorpus, kCorpus / "malformed"}) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      if (!entry.is_regular_file()) continue;
      ++files;
      std::ifstream in(entry.path(), std::ios::binary);
      std::stringstream text;
      text << in.rdbuf();
      const std::string name = entry.path().string();
      auto whole = VCardImporter::importText(text.str(), name);
      for (std::size_t piece : {64u, 300u, 4096u}) {
        VCardReadLimits limits;
        limits.pieceSize = piece;
        limits.memoryCheckEvery = std::numeric_limits<std::size_t>::max();
        auto pieces = VCardImporter::importFile(entry.path(), limits);
        EXPECT_EQ(pieces.error, whole.error) << name << " in pieces of " << piece;
        EXPECT_EQ(pieces.persons.size(), whole.persons.size()) << name << " in pieces of " << piece;
        EXPECT_TRUE(pieces.persons == whole.persons) << name << " in pieces of " << piece;
      }
    }
  }
  EXPECT_GE(files, 25u);
}

TEST(VCardCorpusTest, UidsStayUniqueInTheStore) {
  ROLVANE_SKIP_WITHOUT_CORPUS();
  auto book = ABAddressBook::inMemory();
  auto path = kCorpus / "fkvcards_v4.vcf";
  ASSERT_TRUE(importVCardFilesIntoAddressBook(*book, {path, path}).ok());
  ASSERT_EQ(book->count(), 4u);
  auto people = book->people();
  EXPECT_EQ(people[0]->uniqueId(), "9e49143d-201c-46cc-b1ca-b84cac8211e9");
  EXPECT_NE(people[2]->uniqueId(), people[0]->uniqueId());
  EXPECT_NE(people[3]->uniqueId(), people[1]->uniqueId());
}

}  // namespace
