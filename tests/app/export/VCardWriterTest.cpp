#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "app/export/ExportVCard.h"
#include "app/model/PersonRecord.h"
#include "core/record/AllInfoColumns.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace {

class VCardWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = std::filesystem::temp_directory_path() / ("rolvane-vcard $'q\";" + std::to_string(getpid()) +
                                                       ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
  }
  void TearDown() override { std::filesystem::remove_all(folder); }

  ContactRecord reimported(const std::filesystem::path& file) {
    auto book = ABAddressBook::inMemory();
    auto result = importVCardFilesIntoAddressBook(*book, {file});
    EXPECT_TRUE(result.ok()) << result.error;
    EXPECT_EQ(result.added.size(), 1u);
    return result.added.empty() ? ContactRecord() : prasePerson(result.added.front());
  }

  std::filesystem::path folder;
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
  ExportResult result = ExportVCard().exportVcardWithArrayToPath({record}, folder.string());
  ASSERT_TRUE(result.ok) << result.error;
  ContactRecord back = reimported(folder / "export_0.vcf");
  for (const auto& [key, value] : record.entries()) {
    ASSERT_TRUE(back.contains(key)) << key;
    EXPECT_EQ(back.text(key), record.text(key)) << key;
  }
}

TEST_F(VCardWriterTest, NumberedFilesInRecordOrderReplacedByTheNextExport) {
  ContactRecords records(3);
  for (int i = 0; i < 3; ++i) records[i].set("First Name", "Name" + std::to_string(i));
  records[1].set("Work ICQ", std::string("12345"));
  records[2].set("Partner", std::string("Pat"));
  records[2].set("Person", ABPerson::create());
  ASSERT_TRUE(ExportVCard().exportVcardWithArrayToPath(records, folder.string()).ok);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(reimported(folder / ("export_" + std::to_string(i) + ".vcf")).textOr("First Name"),
              "Name" + std::to_string(i));
  EXPECT_EQ(reimported(folder / "export_1.vcf").textOr("Work ICQ"), "12345");
  EXPECT_EQ(reimported(folder / "export_2.vcf").textOr("Partner"), "Pat");

  records[0].set("First Name", std::string("Changed"));
  ASSERT_TRUE(ExportVCard().exportVcardWithArrayToPath({records[0]}, folder.string()).ok);
  EXPECT_EQ(reimported(folder / "export_0.vcf").textOr("First Name"), "Changed");
  size_t files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder)) ++files;
  EXPECT_EQ(files, 3u);  // no temporary files left behind
}

TEST_F(VCardWriterTest, NothingToWriteOrNowhereToWriteIsAFailure) {
  EXPECT_FALSE(ExportVCard().exportVcardWithArrayToPath({}, folder.string()).ok);
  ExportResult missing = ExportVCard().exportVcardWithArrayToPath({everyKey()}, (folder / "absent").string());
  EXPECT_FALSE(missing.ok);
  EXPECT_FALSE(missing.error.empty());
}

}  // namespace
