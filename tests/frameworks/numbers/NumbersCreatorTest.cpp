#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "frameworks/common/WorkingFolder.h"
#include "frameworks/numbers/NumbersCreator.h"
#include "tests/frameworks/iwork/IWorkTestSupport.h"

namespace fs = std::filesystem;

namespace {

ContactRecord record(std::initializer_list<std::pair<const char*, const char*>> values) {
  ContactRecord r;
  for (const auto& [key, value] : values) r.set(key, std::string(value));
  return r;
}

class NumbersCreatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("numbers-export-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    // A destination whose name would run a command if it ever reached a shell.
    destination_ = root_ / "out dir 'q' $HOME; touch pwned";
    fs::create_directories(destination_);
    fs::create_directories(root_ / "cache");
    ::setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  bool noWorkingFolderLeft() const {
    fs::path cache = WorkingFolder::cacheRoot();
    if (!fs::exists(cache)) return true;
    return fs::is_empty(cache);
  }

  fs::path root_;
  fs::path destination_;
};

TEST_F(NumbersCreatorTest, WritesAZipDocumentIntoAnAwkwardlyNamedFolderAndCleansUp) {
  ContactRecords records = {record({{"First Name", "Ann"}, {"Last Name", "Lee"}}),
                            record({{"First Name", "Bob"}, {"Home Email", "bob@example.com"}})};
  NumbersCreator creator(records, (destination_ / "Zedid-Ovuzazur").string(), false);
  ASSERT_TRUE(creator.startConvert()) << creator.error();
  EXPECT_TRUE(creator.ok());
  EXPECT_EQ(creator.outputPath(), (destination_ / "Zedid-Ovuzazur.numbers").string());
  auto entries = zipEntryNames(creator.outputPath());
  EXPECT_NE(std::find(entries.begin(), entries.end(), "index.xml"), entries.end());
  EXPECT_FALSE(fs::exists(destination_ / "pwned"));
  EXPECT_FALSE(fs::exists(root_ / "pwned"));
  EXPECT_TRUE(noWorkingFolderLeft());

  NumbersCreator second(records, (destination_ / "Zedid-Ovuzazur").string(), false);
  ASSERT_TRUE(second.startConvert()) << second.error();
  EXPECT_EQ(second.outputPath(), (destination_ / "Zedid-Ovuzazur(0).numbers").string());
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(destination_)) (void)entry, ++files;
  EXPECT_EQ(files, 2u);  // no temporary file left
}

TEST_F(NumbersCreatorTest, AMissingDestinationIsReportedAndLeavesNothing) {
  ContactRecords records = {record({{"First Name", "Ann"}})};
  NumbersCreator creator(records, (root_ / "no such folder" / "Zedid-Ovuzazur").string(), false);
  EXPECT_FALSE(creator.startConvert());
  EXPECT_FALSE(creator.ok());
  EXPECT_FALSE(creator.error().empty());
  EXPECT_FALSE(fs::exists(root_ / "no such folder"));
  EXPECT_TRUE(noWorkingFolderLeft());
}

TEST_F(NumbersCreatorTest, LibreOfficeShowsTheHeadingAndEveryValueInItsCell) {
  const std::string soffice = findProgram("soffice");
  if (soffice.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; the Numbers document was not opened";
  ContactRecord third = record({{"Work City", "Zürich, \"Old\" Town"}});
  third.set("Birthday", ABDate{1990, 12, 31});
  ContactRecords records = {record({{"First Name", "Ann"}, {"Last Name", "Lee"}, {"Company", "A & B"}}),
                            record({{"Last Name", "Ray"}, {"Home Email", "ray@example.com"}}), third};
  NumbersCreator creator(records, (destination_ / "Zedid-Ovuzazur").string(), false);
  ASSERT_TRUE(creator.startConvert()) << creator.error();

  fs::path out = root_ / "csv";
  fs::create_directories(out);
  int status = runLibreOfficeConvert(soffice, "csv:Text - txt - csv (StarCalc):44,34,76,1", creator.outputPath(),
                                     out.string(), (root_ / "home").string());
  ASSERT_EQ(status, 0);
  auto lines = readLines((out / "Zedid-Ovuzazur.csv").string());
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "\"First Name\",\"Last Name\",\"Company\",\"Home Email\",\"Work City\",\"Birthday\"");
  EXPECT_EQ(lines[1], "\"Ann\",\"Lee\",\"A & B\",,,");
  EXPECT_EQ(lines[2], ",\"Ray\",,\"ray@example.com\",,");
  EXPECT_EQ(lines[3], ",,,,\"Zürich, \"\"Old\"\" Town\",\"1990-12-31\"");
}

}  // namespace
