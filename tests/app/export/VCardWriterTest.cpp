#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/export/ExportPersonCSV.h"
#include "app/export/ExportVCard.h"
#include "app/model/PersonRecord.h"
#include "core/record/AllInfoColumns.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

namespace {

class VCardWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("rolvane-vcard $'q\";" + std::to_string(getpid()) +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ContactRecord reimported(const std::filesystem::path& file) {
    auto book = ABAddressBook::inMemory();
    auto result = importVCardFilesIntoAddressBook(*book, {file});
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.added.size(), 1u);
    return result.added.empty() ? ContactRecord() : prasePerson(result.added.front());
  }

  std::filesystem::path folder_;
};

// Every heading of the all-information list with a value of its own.
ContactRecord everyKey() {
  ContactRecord record;
  for (const auto& key : AllInfoColumns::base()) {
    if (key == "FullName") continue;
    if (key == "Birthday")
      record.set(key, ABDate{1971, 3, 9});
    else
      record.set(key, key + " value, with; odd \"chars\"");
  }
  return record;
}

TEST_F(VCardWriterTest, EveryKeyOfTheRecordComesBackFromTheFile) {
  ContactRecord record = everyKey();
  ExportResult result = ExportVCard().exportVcardWithArrayToPath({record}, folder_.string());
  ASSERT_TRUE(result.ok()) << result.error;
  ContactRecord back = reimported(std::filesystem::path(result.file) / "export_0.vcf");
  for (const auto& [key, value] : record.entries()) {
    ASSERT_TRUE(back.contains(key)) << key;
    EXPECT_EQ(back.text(key), record.text(key)) << key;
  }
}

TEST_F(VCardWriterTest, NumberedFilesInANewFolderOfTheirOwnForEveryExport) {
  ContactRecords records(3);
  for (int i = 0; i < 3; ++i) records[i].set("First Name", "Name" + std::to_string(i));
  records[1].set("Work ICQ", std::string("12345"));
  records[2].set("Partner", std::string("Pat"));
  records[2].set("Person", ABPerson::create());
  // A file of the user's own with a name the export uses is never touched.
  { std::ofstream(folder_ / "export_1.vcf") << "mine"; }
  ExportResult first = ExportVCard().exportVcardWithArrayToPath(records, folder_.string());
  ASSERT_TRUE(first.ok()) << first.error;
  const std::filesystem::path cards = first.file;
  EXPECT_EQ(cards, folder_ / "Zedid-Ovuzazur");
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(reimported(cards / ("export_" + std::to_string(i) + ".vcf")).textOr("First Name"),
              "Name" + std::to_string(i));
  EXPECT_EQ(reimported(cards / "export_1.vcf").textOr("Work ICQ"), "12345");
  EXPECT_EQ(reimported(cards / "export_2.vcf").textOr("Partner"), "Pat");

  ExportResult second = ExportVCard().exportVcardWithArrayToPath({records[0]}, folder_.string());
  ASSERT_TRUE(second.ok()) << second.error;
  EXPECT_EQ(std::filesystem::path(second.file), folder_ / "Zedid-Ovuzazur(0)");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(second.file), {}), 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(cards), {}), 3);
  std::ifstream mine(folder_ / "export_1.vcf");
  std::string text;
  std::getline(mine, text);
  EXPECT_EQ(text, "mine");
  // Nothing else: no temporary folder left behind.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder_), {}), 3);
}

// With all information a record that refers to its person is written as the person's own card:
// every value, the picture, the unique id and what its card said beyond the store's values.
TEST_F(VCardWriterTest, WholePersonsAreWrittenAsTheStoreHoldsThem) {
  const std::string original =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jo;;;\r\nFN:Jo Doe\r\nEMAIL;TYPE=INTERNET:a@x.org\r\n"
      "EMAIL;TYPE=INTERNET:b@x.org\r\nTEL;TYPE=CELL,VOICE:1\r\nROLE:Chief\r\nUID:fixed-uid\r\nEND:VCARD\r\n";
  auto book = ABAddressBook::inMemory();
  std::ofstream(folder_ / "in.vcf", std::ios::binary) << original;
  auto imported = importVCardFilesIntoAddressBook(*book, {folder_ / "in.vcf"});
  ASSERT_TRUE(imported.ok()) << imported.error;
  ContactRecords records{prasePerson(imported.added.front())};
  std::filesystem::remove(folder_ / "in.vcf");

  ExportResult perContact = ExportVCard().exportVcardWithArrayToPath(records, folder_.string(), true);
  ASSERT_TRUE(perContact.ok()) << perContact.error;
  std::ifstream in(std::filesystem::path(perContact.file) / "export_0.vcf", std::ios::binary);
  std::stringstream card;
  card << in.rdbuf();
  EXPECT_EQ(card.str(), original);

  ContactRecords two{records[0], records[0]};
  ExportResult oneFile = ExportVCard().exportOneFileWithArrayToPath(two, (folder_ / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(oneFile.ok()) << oneFile.error;
  EXPECT_EQ(std::filesystem::path(oneFile.file), folder_ / "Zedid-Ovuzazur.vcf");
  std::ifstream all(oneFile.file, std::ios::binary);
  std::stringstream both;
  both << all.rdbuf();
  EXPECT_EQ(both.str(), original + original);
  ExportResult next = ExportVCard().exportOneFileWithArrayToPath(two, (folder_ / "Zedid-Ovuzazur").string(), true);
  EXPECT_EQ(std::filesystem::path(next.file), folder_ / "Zedid-Ovuzazur(0).vcf");

  // Restricted to chosen columns, the card is built from the record's keys alone, with the unique id
  // of the record's person.
  ExportResult columns = ExportVCard().exportVcardWithArrayToPath(records, folder_.string(), false);
  std::ifstream rebuilt(std::filesystem::path(columns.file) / "export_0.vcf", std::ios::binary);
  std::stringstream built;
  built << rebuilt.rdbuf();
  EXPECT_EQ(built.str().find("ROLE"), std::string::npos);
  EXPECT_NE(built.str().find("\r\nUID:fixed-uid\r\n"), std::string::npos) << built.str();
}

std::string slurp(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Persons given a batch at a time are written as the records of the same persons are, numbered on
// across batches; a read that fails, or gives nobody, leaves nothing behind.
TEST_F(VCardWriterTest, WholePersonsGivenBatchByBatchAreWrittenAsTheirRecordsAre) {
  std::vector<ABPersonRef> persons;
  ContactRecords records;
  for (int i = 0; i < 5; ++i) {
    auto person = ABPerson::create();
    person->setValueForProperty("Name" + std::to_string(i), kABFirstNameProperty);
    ABMultiValue phones;
    phones.addValueWithLabel("+49 30 " + std::to_string(1000 + i), kABPhoneMobileLabel);
    person->setValueForProperty(phones, kABPhoneProperty);
    persons.push_back(person);
    records.push_back(prasePerson(person));
  }
  auto batches = [&](std::vector<std::vector<int>> split, std::string failure = {}) {
    return [&persons, split, failure](const std::function<void(std::vector<ABPersonData>&)>& take, std::string* error) {
      for (const auto& members : split) {
        std::vector<ABPersonData> batch;
        for (int i : members) batch.push_back(*persons[i]->snapshot());
        take(batch);
      }
      if (!failure.empty()) *error = failure;
      return failure.empty();
    };
  };
  const std::filesystem::path records_ = folder_ / "records", streamed = folder_ / "streamed";
  std::filesystem::create_directories(records_);
  std::filesystem::create_directories(streamed);
  ExportResult fromRecords = ExportVCard().exportVcardWithArrayToPath(records, records_.string(), true);
  ExportResult fromPersons = ExportVCard().exportPersonsToFolder(batches({{0, 1}, {}, {2, 3, 4}}), streamed.string());
  ASSERT_TRUE(fromRecords.ok() && fromPersons.ok()) << fromRecords.error << fromPersons.error;
  EXPECT_EQ(fromPersons.fileCount, 5u);
  for (int i = 0; i < 5; ++i) {
    const std::string name = "export_" + std::to_string(i) + ".vcf";
    EXPECT_EQ(slurp(std::filesystem::path(fromPersons.file) / name),
              slurp(std::filesystem::path(fromRecords.file) / name));
  }
  fromRecords = ExportVCard().exportOneFileWithArrayToPath(records, (records_ / "all").string(), true);
  fromPersons = ExportVCard().exportPersonsToOneFile(batches({{0}, {1, 2, 3, 4}}), (streamed / "all").string());
  ASSERT_TRUE(fromRecords.ok() && fromPersons.ok()) << fromRecords.error << fromPersons.error;
  EXPECT_EQ(slurp(fromPersons.file), slurp(fromRecords.file));

  const std::filesystem::path left = folder_ / "left";
  std::filesystem::create_directories(left);
  ExportResult failed = ExportVCard().exportPersonsToFolder(batches({{0, 1}}, "the store went away"), left.string());
  EXPECT_EQ(failed.error, "the store went away");
  failed = ExportVCard().exportPersonsToOneFile(batches({{0, 1}}, "the store went away"), (left / "all").string());
  EXPECT_EQ(failed.error, "the store went away");
  EXPECT_EQ(ExportVCard().exportPersonsToFolder(batches({}), left.string()).error, "There are no contacts to export.");
  EXPECT_EQ(ExportVCard().exportPersonsToOneFile(batches({{}}), (left / "all").string()).error,
            "There are no contacts to export.");
  EXPECT_TRUE(std::filesystem::is_empty(left));
}

TEST_F(VCardWriterTest, NothingToWriteOrNowhereToWriteIsAFailure) {
  EXPECT_FALSE(ExportVCard().exportVcardWithArrayToPath({}, folder_.string()).ok());
  ExportResult missing = ExportVCard().exportVcardWithArrayToPath({everyKey()}, (folder_ / "absent").string());
  EXPECT_FALSE(missing.ok());
  EXPECT_FALSE(missing.error.empty());
}

}  // namespace

// A card's post-office box and extended address: one text in the record's street, their own
// components in the card written back and their own columns of the CSV files of Google and Outlook.
TEST(AddressShapeTest, TheBoxAndTheExtendedAddressGoBackAsComponentsOfTheirOwn) {
  VCardImportResult read = VCardImporter::importText(
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann\r\nADR;TYPE=WORK:PO Box 12;Suite 4;1 Main "
      "St;Town;;123;US\r\nEND:VCARD\r\n");
  ASSERT_TRUE(read.ok()) << read.error;
  ABPersonData& person = read.persons.at(0);
  ContactRecord record = recordOfValues(person);
  EXPECT_EQ(record.textOr("Work Street"), "PO Box 12\nSuite 4\n1 Main St");

  auto adrLine = [](const ABPersonData& data) {
    std::string card;
    appendVCard(data, card);
    const size_t at = card.find("ADR");
    return at == std::string::npos ? card : card.substr(at, card.find("\r\n", at) - at);
  };
  EXPECT_EQ(adrLine(person), "ADR;TYPE=WORK:PO Box 12;Suite 4;1 Main St;Town;;123;US");

  auto cell = [](ExportPersonCSV::Kind kind, const ABPersonData& data, const std::string& heading) {
    const auto table = ExportPersonCSV(kind).table({data});
    const auto at = std::find(table[0].begin(), table[0].end(), heading);
    return at == table[0].end() ? std::string("<no column>") : table[1][at - table[0].begin()];
  };
  using Kind = ExportPersonCSV::Kind;
  EXPECT_EQ(cell(Kind::Google, person, "Address 1 - PO Box"), "PO Box 12");
  EXPECT_EQ(cell(Kind::Google, person, "Address 1 - Extended Address"), "Suite 4");
  EXPECT_EQ(cell(Kind::Google, person, "Address 1 - Street"), "1 Main St");
  EXPECT_EQ(cell(Kind::Outlook, person, "Business Address PO Box"), "PO Box 12");
  EXPECT_EQ(cell(Kind::Outlook, person, "Business Street"), "Suite 4");
  EXPECT_EQ(cell(Kind::Outlook, person, "Business Street 2"), "1 Main St");

  // The street edited without the box: the box is gone where the user took it out, the rest keeps
  // its place.
  ABMultiValue addresses = *person.multiValue(kABAddressProperty);
  ABDictionary address = std::get<ABDictionary>(addresses.entries()[0].value);
  address.set(kABAddressStreetKey, "Suite 4\n2 Main St");
  addresses.replaceValueAtIndex(0, address);
  person.set(kABAddressProperty, addresses);
  EXPECT_EQ(adrLine(person), "ADR;TYPE=WORK:;Suite 4;2 Main St;Town;;123;US");
}
