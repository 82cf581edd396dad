#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/export/ExportCSV.h"
#include "app/export/ExportTXT.h"
#include "app/export/ExportToHtml.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABConstants.h"

namespace {

class TextWritersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("rolvane-text-" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static ContactRecord record(std::vector<std::pair<std::string, std::string>> values) {
    ContactRecord r;
    for (auto& [key, value] : values) r.set(key, value);
    return r;
  }

  std::filesystem::path folder_;
};

}  // namespace

TEST_F(TextWritersTest, CsvWithTheRecordsKeys) {
  ContactRecords records{record({{"First Name", "Ann"}}), record({{"Company", "Acme, Inc."}, {"First Name", "Bo"}})};
  records[1].set("Birthday", ABDate{1990, 4, 1});
  auto result = ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder_, false);
  ASSERT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.file, (folder_ / "allPeople.csv").string());
  EXPECT_EQ(read(result.file), "First Name,Company,Birthday,\nAnn,,,\nBo,\"Acme, Inc.\",1990-04-01,\n");
}

TEST_F(TextWritersTest, ABirthdayWithoutAYearShowsAsMonthAndDay) {
  ContactRecords records{record({{"First Name", "Ann"}}), record({{"First Name", "Bo"}})};
  records[0].set("Birthday", ABDate{1604, 3, 14});
  records[1].set("Birthday", ABDate{1605, 3, 14});
  auto csv = ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder_, false);
  ASSERT_TRUE(csv.ok()) << csv.error;
  EXPECT_EQ(read(csv.file), "First Name,Birthday,\nAnn,--03-14,\nBo,1605-03-14,\n");
  auto txt = ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder_, false);
  ASSERT_TRUE(txt.ok()) << txt.error;
  EXPECT_NE(read(txt.file).find("\"--03-14\""), std::string::npos) << read(txt.file);
}

TEST_F(TextWritersTest, CsvQuotesWhatWouldBreakItsLayout) {
  EXPECT_EQ(ExportCSV::quoted("plain"), "plain");
  EXPECT_EQ(ExportCSV::quoted("say \"hi\""), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(ExportCSV::quoted("two\nlines"), "\"two\nlines\"");
  EXPECT_EQ(ExportCSV::quoted("cr\r"), "\"cr\r\"");
  // Every position of a longer value, and bytes next to the ones that need quotes.
  for (char special : {',', '"', '\r', '\n'}) {
    for (size_t at = 0; at < 20; ++at) {
      std::string value(20, 'x');
      value[at] = special;
      EXPECT_TRUE(ExportCSV::needsQuotes(value)) << at;
    }
  }
  EXPECT_FALSE(ExportCSV::needsQuotes("+-./!#\x0b\x0c\x0e\x2b\x2d\xac\xa2\x8d\x8a 0123456789 abcdefgh"));
}

TEST_F(TextWritersTest, CsvWithAllInformationHasNinetyTwoColumns) {
  ContactRecords records{record({{"Last Name", "Lee"}})};
  auto result = ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder_, true);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(std::filesystem::path(result.file).filename(), "Zedid-Ovuzazur.csv");
  std::string text = read(result.file);
  std::string heading = text.substr(0, text.find('\n'));
  std::string expected =
      "First Name,Last Name,Home Email,Work Email,Other Email,Mobile,iPhone,Main Phone,Home Fax,"
      "Work Fax,Pager,Work Phone,Home Phone,";
  for (const char* prefix : {"Home ", "Work ", "Other "})
    for (const char* part : {"Street", "City", "State", "ZIP", "Country", "Country Code"})
      expected += std::string(prefix) + part + ",";
  for (const char* prefix : {"Home ", "Work ", "Other "})
    for (const char* service :
         {"AIM", "QQ", "Google Talk", "Gadu-Gadu", "Jabber", "MSN", "Facebook", "Skype", "Yahoo", "ICQ"})
      expected += std::string(prefix) + service + ",";
  expected +=
      "Twitter,Facebook,Myspace,Flickr,LinkedIn,Department,Note,Suffix,Job Title,Birthday,Nickname,Maiden Name,"
      "Phonetic First Name,Phonetic Last Name,Middle Name,Company,FullName,Home URL,Work URL,Home Page,Father,Mother,"
      "Parent,Brother,Sister,Child,Friend,Spouse,Partner,Assistant,Manager,";
  EXPECT_EQ(heading, expected);
  std::string line = text.substr(text.find('\n') + 1);
  EXPECT_EQ(line,
            ","
            "Lee," +
                std::string(90, ',') + "\n");
  auto second = ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder_, true);
  EXPECT_EQ(std::filesystem::path(second.file).filename(), "Zedid-Ovuzazur(0).csv") << "never overwritten";
}

TEST_F(TextWritersTest, TxtCellsAndFileNames) {
  ContactRecords records{record({{"First Name", "Ann"}, {"Note", "a \"b\""}}), record({{"Note", "x"}})};
  auto result = ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder_, false);
  ASSERT_TRUE(result.ok());
  EXPECT_EQ(read(result.file), "\"First Name\" \"Note\" \n\"Ann\" \"a \"b\"\" \n \"\"\"x\" \n");
  auto again = ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder_, false);
  EXPECT_EQ(std::filesystem::path(again.file).filename(), "allPeople(0).txt");
  // All information: three spaces after every heading, one after every value.
  auto all =
      ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo({record({{"Last Name", "Lee"}})}, folder_, true);
  std::string text = read(all.file);
  EXPECT_EQ(text.rfind("\"First Name\"   \"Last Name\"   \"Home Email\"   ", 0), 0u);
  const std::string heading = text.substr(0, text.find('\n') + 1);
  EXPECT_EQ(heading.substr(heading.size() - 13), "\"Manager\"   \n");
  std::string line = " \"\"\"Lee\" ";
  for (int i = 0; i < 88; ++i) line += " \"\"";
  EXPECT_EQ(text.substr(heading.size()), line + "\n");
}

TEST_F(TextWritersTest, EmptyArraysAndMissingFolders) {
  auto empty = ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo({}, folder_, false);
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(read(empty.file), "\n");
  auto missing = ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo({}, (folder_ / "nope").string(), true);
  EXPECT_FALSE(missing.ok());
  EXPECT_FALSE(missing.error.empty());
  EXPECT_FALSE(std::filesystem::exists(folder_ / "nope"));
}

TEST_F(TextWritersTest, LargeExportsKeepEveryRowInRecordOrder) {
  // Enough records for the rows to be formatted in many chunks on two threads.
  ContactRecords records;
  std::string csvRows, txtRows;
  for (int i = 0; i < 45001; ++i) {
    const std::string first = "F" + std::to_string(i), note = "n," + std::to_string(i) + std::string(i % 97, 'x');
    // The first record has only a note, so the columns are "Note", "First Name".
    const bool named = i % 5 != 0;
    records.push_back(named ? record({{"First Name", first}, {"Note", note}}) : record({{"Note", note}}));
    csvRows += ExportCSV::quoted(note) + "," + (named ? first : "") + ",\n";
    txtRows += "\"" + note + "\" " + (named ? "\"" + first + "\" " : std::string(" \"\"")) + "\n";
  }
  auto csv = ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, folder_, false);
  ASSERT_TRUE(csv.ok()) << csv.error;
  const std::string csvText = read(csv.file);
  EXPECT_EQ(csvText.substr(0, csvText.find('\n') + 1), "Note,First Name,\n");
  EXPECT_TRUE(csvText.substr(csvText.find('\n') + 1) == csvRows) << "rows differ";
  auto txt = ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, folder_, false);
  ASSERT_TRUE(txt.ok()) << txt.error;
  const std::string txtText = read(txt.file);
  EXPECT_TRUE(txtText.substr(txtText.find('\n') + 1) == txtRows) << "rows differ";
}

namespace {

// The batches of a store as the command line reads them, a few persons at a time.
StoredPersonBatches storedBatches(const std::filesystem::path& store, size_t perBatch) {
  return [store, perBatch](const std::function<bool(std::shared_ptr<const ABStoredBatch>)>& take, std::string* error) {
    return ABAddressBook::readStoredBatches(store, perBatch, take, error);
  };
}

}  // namespace

// Formatted from the store's rows as they are read, the tables and the page of all information are
// the very bytes written from the records of the same persons, in store order; a damaged person
// writes nothing and names the first one damaged.
TEST_F(TextWritersTest, AllInformationFromStoredRowsIsWrittenAsFromRecords) {
  const std::filesystem::path store = folder_ / "book.sqlite";
  std::vector<ABPersonRef> persons;
  {
    auto book = ABAddressBook::open(store);
    for (int i = 0; i < 300; ++i) {
      auto person = ABPerson::create();
      if (i % 7) person->setValueForProperty("First" + std::to_string(i), kABFirstNameProperty);
      person->setValueForProperty("Last, \"" + std::to_string(i) + "\"", kABLastNameProperty);
      if (i % 3 == 0) person->setValueForProperty("line <one> &\nline twö" + std::string(i, 'n'), kABNoteProperty);
      if (i % 4 == 0) person->setValueForProperty(ABDate{1950 + i % 50, 1 + i % 12, 1 + i % 28}, kABBirthdayProperty);
      ABMultiValue emails, phones, addresses;
      emails.addValueWithLabel("home" + std::to_string(i) + "@example.org", kABHomeLabel);
      if (i % 2) emails.addValueWithLabel("work" + std::to_string(i) + "@example.org", kABWorkLabel);
      phones.addValueWithLabel("+49 30 " + std::to_string(1000 + i), kABPhoneMobileLabel);
      addresses.addValueWithLabel(
          ABDictionary{{kABAddressStreetKey, std::to_string(i) + " Main St"}, {kABAddressCityKey, "Town"}},
          i % 2 ? kABWorkLabel : kABHomeLabel);
      person->setValueForProperty(emails, kABEmailProperty);
      person->setValueForProperty(phones, kABPhoneProperty);
      person->setValueForProperty(addresses, kABAddressProperty);
      persons.push_back(person);
    }
    ASSERT_TRUE(book->addRecords(persons));
    ASSERT_TRUE(book->save());
  }
  ContactRecords records;
  ASSERT_TRUE(ABAddressBook::readPersons(store, [&](std::vector<ABPersonData>& batch) {
    for (ContactRecord& record : recordsOfValues(batch)) records.push_back(std::move(record));
  }));
  ASSERT_EQ(records.size(), persons.size());
  // The records the other writers take, built from the rows a batch at a time.
  ContactRecords fromStored;
  ASSERT_TRUE(ABAddressBook::readStoredBatches(store, 7, [&](std::shared_ptr<const ABStoredBatch> batch) {
    return recordsOfStored(*batch, fromStored, nullptr);
  }));
  EXPECT_TRUE(fromStored == records);
  const std::filesystem::path fromRecords = folder_ / "records", fromRows = folder_ / "rows";
  std::filesystem::create_directories(fromRecords);
  std::filesystem::create_directories(fromRows);
  for (size_t perBatch : {1, 7, 4096}) {
    auto csv = ExportCSV().writeCSVFileWithArrayExportDesPathIsShowAllInfo(records, fromRecords, true);
    auto storedCsv = ExportCSV().writeAllInfoOfStored(storedBatches(store, perBatch), fromRows);
    ASSERT_TRUE(csv.ok() && storedCsv.ok()) << csv.error << storedCsv.error;
    EXPECT_TRUE(read(storedCsv.file) == read(csv.file)) << perBatch;
    auto txt = ExportTXT().writeTXTFileWithArrayExportDesPathIsShowAllInfo(records, fromRecords, true);
    auto storedTxt = ExportTXT().writeAllInfoOfStored(storedBatches(store, perBatch), fromRows);
    ASSERT_TRUE(txt.ok() && storedTxt.ok()) << txt.error << storedTxt.error;
    EXPECT_TRUE(read(storedTxt.file) == read(txt.file)) << perBatch;
    auto html = ExportToHtml(records, (fromRecords / "page").string(), true).writeHtml();
    auto storedHtml = ExportToHtml::writeAllInfoOfStored(storedBatches(store, perBatch), (fromRows / "page").string());
    ASSERT_TRUE(html.ok() && storedHtml.ok()) << html.error << storedHtml.error;
    EXPECT_TRUE(read(storedHtml.file) == read(html.file)) << perBatch;
  }

  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(store.c_str(), &db), SQLITE_OK);
  for (int damaged : {250, 120}) {
    const std::string sql = "UPDATE persons SET data = x'01FF' WHERE uid = '" + persons[damaged]->uniqueId() + "'";
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK);
  }
  sqlite3_close(db);
  ContactRecords beforeDamage;
  size_t damagedAt = 0;
  ASSERT_TRUE(ABAddressBook::readStoredBatches(store, 4096, [&](std::shared_ptr<const ABStoredBatch> batch) {
    EXPECT_FALSE(recordsOfStored(*batch, beforeDamage, &damagedAt));
    return false;
  }));
  EXPECT_TRUE(beforeDamage.empty());
  EXPECT_EQ(damagedAt, 120u) << "the first damaged person of the batch";
  const std::filesystem::path left = folder_ / "left";
  std::filesystem::create_directories(left);
  for (size_t perBatch : {1, 7, 4096}) {
    for (const ExportResult& failed :
         {ExportCSV().writeAllInfoOfStored(storedBatches(store, perBatch), left),
          ExportTXT().writeAllInfoOfStored(storedBatches(store, perBatch), left),
          ExportToHtml::writeAllInfoOfStored(storedBatches(store, perBatch), (left / "page").string())}) {
      EXPECT_FALSE(failed.ok());
      EXPECT_TRUE(failed.unreadable);
      EXPECT_EQ(failed.error, store.string() + ": the record of contact " + persons[120]->uniqueId() + " is damaged");
    }
  }
  ExportResult unread = ExportCSV().writeAllInfoOfStored(storedBatches(folder_ / "absent.sqlite", 7), left);
  EXPECT_FALSE(unread.ok());
  EXPECT_FALSE(unread.unreadable);
  EXPECT_NE(unread.error.find("absent.sqlite"), std::string::npos) << unread.error;
  EXPECT_TRUE(std::filesystem::is_empty(left));
}

// The page's heading names the one person's keys when the store holds exactly one person, and
// every column of all information when it holds more: the page from the store's rows looks far
// enough ahead to tell, however few persons a batch brings.
TEST_F(TextWritersTest, APageFromStoredRowsHasTheHeadingOfItsNumberOfPersons) {
  for (int count : {0, 1, 2, 3}) {
    SCOPED_TRACE(std::to_string(count) + " persons");
    const std::filesystem::path store = folder_ / ("book" + std::to_string(count) + ".sqlite");
    std::vector<ABPersonRef> persons;
    {
      auto book = ABAddressBook::open(store);
      for (int i = 0; i < count; ++i) {
        auto person = ABPerson::create();
        person->setValueForProperty("Note " + std::to_string(i), kABNoteProperty);
        person->setValueForProperty("Last" + std::to_string(i), kABLastNameProperty);
        persons.push_back(person);
      }
      if (count) {
        ASSERT_TRUE(book->addRecords(persons));
      }
      ASSERT_TRUE(book->save());
    }
    ContactRecords records;
    ASSERT_TRUE(ABAddressBook::readPersons(store, [&](std::vector<ABPersonData>& batch) {
      for (ContactRecord& record : recordsOfValues(batch)) records.push_back(std::move(record));
    }));
    const std::filesystem::path fromRecords = folder_ / ("records" + std::to_string(count));
    std::filesystem::create_directories(fromRecords);
    auto html = ExportToHtml(records, (fromRecords / "page").string(), true).writeHtml();
    ASSERT_TRUE(html.ok()) << html.error;
    const std::string expected = read(html.file);
    EXPECT_EQ(expected.find("<table") != std::string::npos, count > 0);
    EXPECT_EQ(expected.find("<th class=\"home email\"") != std::string::npos, count > 1)
        << "a lone person's keys, or every column";
    for (size_t perBatch : {1, 2, 7}) {
      const std::filesystem::path fromRows = folder_ / ("rows" + std::to_string(count) + std::to_string(perBatch));
      std::filesystem::create_directories(fromRows);
      auto stored = ExportToHtml::writeAllInfoOfStored(storedBatches(store, perBatch), (fromRows / "page").string());
      ASSERT_TRUE(stored.ok()) << stored.error;
      EXPECT_TRUE(read(stored.file) == expected) << perBatch << " persons a batch";
    }
    if (count != 1) continue;
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(store.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "UPDATE persons SET data = x'02'", nullptr, nullptr, nullptr), SQLITE_OK);
    sqlite3_close(db);
    const std::filesystem::path left = folder_ / "left";
    std::filesystem::create_directories(left);
    auto failed = ExportToHtml::writeAllInfoOfStored(storedBatches(store, 1), (left / "page").string());
    EXPECT_TRUE(failed.unreadable);
    EXPECT_EQ(failed.error, store.string() + ": the record of contact " + persons[0]->uniqueId() + " is damaged");
    EXPECT_TRUE(std::filesystem::is_empty(left));
  }
}
