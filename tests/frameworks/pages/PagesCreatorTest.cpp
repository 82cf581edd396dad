#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "frameworks/common/WorkingFolder.h"
#include "frameworks/pages/PagesCreator.h"
#include "tests/frameworks/iwork/IWorkTestSupport.h"

namespace fs = std::filesystem;

namespace {

ContactRecord record(std::initializer_list<std::pair<const char*, const char*>> values) {
  ContactRecord r;
  for (const auto& [key, value] : values) r.set(key, std::string(value));
  return r;
}

class PagesCreatorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("pages-export-" + std::to_string(::getpid()));
    fs::remove_all(root_);
    destination_ = root_ / "out dir 'q' $HOME; touch pwned";
    fs::create_directories(destination_);
    fs::create_directories(root_ / "cache");
    ::setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
  }
  void TearDown() override { fs::remove_all(root_); }

  bool noWorkingFolderLeft() const {
    fs::path cache = WorkingFolder::cacheRoot();
    return !fs::exists(cache) || fs::is_empty(cache);
  }

  fs::path root_;
  fs::path destination_;
};

TEST_F(PagesCreatorTest, WritesIntoAnAwkwardlyNamedFolderReportsFailuresAndCleansUp) {
  ContactRecords records = {record({{"First Name", "Ann"}})};
  PagesCreator creator(records, (destination_ / "Zedid-Ovuzazur").string(), false);
  ASSERT_TRUE(creator.startConvert()) << creator.error();
  EXPECT_EQ(creator.outputPath(), (destination_ / "Zedid-Ovuzazur.pages").string());
  auto entries = zipEntryNames(creator.outputPath());
  EXPECT_NE(std::find(entries.begin(), entries.end(), "index.xml"), entries.end());
  EXPECT_FALSE(fs::exists(destination_ / "pwned"));
  EXPECT_FALSE(fs::exists(root_ / "pwned"));
  EXPECT_TRUE(noWorkingFolderLeft());

  PagesCreator missing(records, (root_ / "absent" / "Zedid-Ovuzazur").string(), false);
  EXPECT_FALSE(missing.startConvert());
  EXPECT_FALSE(missing.error().empty());
  EXPECT_TRUE(noWorkingFolderLeft());
}

TEST_F(PagesCreatorTest, LibreOfficeShowsTheHeadingAndEveryValueInItsCell) {
  const std::string soffice = findProgram("soffice");
  if (soffice.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed; the Pages document was not opened";
  ContactRecords records = {record({{"First Name", "Ann"}, {"Last Name", "Lee"}, {"Company", "A & B"}}),
                            record({{"Last Name", "Ray"}, {"Home Email", "ray@example.com"}}),
                            record({{"First Name", "Zoë"}, {"Home Email", "z@example.com"}})};
  PagesCreator creator(records, (destination_ / "Zedid-Ovuzazur").string(), false);
  ASSERT_TRUE(creator.startConvert()) << creator.error();

  fs::path out = root_ / "txt";
  fs::create_directories(out);
  ASSERT_EQ(runLibreOfficeConvert(soffice, "txt:Text (encoded):UTF8", creator.outputPath(), out.string(),
                                  (root_ / "home").string()),
            0);
  auto lines = readLines((out / "Zedid-Ovuzazur.txt").string());
  ASSERT_FALSE(lines.empty());
  if (lines[0].rfind("\xEF\xBB\xBF", 0) == 0) lines[0].erase(0, 3);
  // Every cell of the table comes out as a line of its own, row by row; empty cells as empty lines.
  std::vector<std::string> expected = {"First Name", "Last Name", "Company", "Home Email",   "Ann", "Lee",
                                       "A & B",      "",          "",        "Ray",          "",    "ray@example.com",
                                       "Zoë",        "",          "",        "z@example.com"};
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  EXPECT_EQ(lines, expected);
}

}  // namespace
