#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "frameworks/pages/WritePagesFiles.h"
#include "tests/frameworks/iwork/IWorkCellGrid.h"
#include "tests/support/TestPaths.h"

namespace fs = std::filesystem;

namespace {

ContactRecord record(std::initializer_list<std::pair<const char*, const char*>> values) {
  ContactRecord r;
  for (const auto& [key, value] : values) r.set(key, std::string(value));
  return r;
}

std::size_t childCount(pugi::xml_node node, const char* name) {
  return static_cast<std::size_t>(std::distance(node.children(name).begin(), node.children(name).end()));
}

class WritePagesFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("pages-xml-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::copy_file(PAGES_TEMPLATE_INDEX, folder_ / "index.xml");
  }
  void TearDown() override { fs::remove_all(folder_); }

  void write(const ContactRecords& records) {
    writer_.setWorkingFolder(folder_.string());
    ASSERT_TRUE(writer_.writePagesIsShowAllInfo(records, true)) << writer_.error();
    ASSERT_TRUE(document_.load_file((folder_ / "index.xml").c_str()));
    grid_ = document_.select_node("//sf:grid").node();
    page_ = document_.select_node("//sl:slprint-info").node();
    ASSERT_TRUE(grid_);
    cells_ = readIWorkCells(grid_.child("sf:datasource"), std::max<std::size_t>(2, writer_.colNums()));
  }

  fs::path folder_;
  WritePagesFiles writer_;
  pugi::xml_document document_;
  pugi::xml_node grid_, page_;
  std::vector<IWorkCell> cells_;
};

TEST_F(WritePagesFilesTest, OneRecordWithTwoKeysKeepsTheTemplatesTableAndBasePage) {
  write({record({{"Last Name", "Lee"}, {"First Name", "Ann"}})});
  EXPECT_STREQ(grid_.attribute("sf:numrows").value(), "2");
  EXPECT_STREQ(grid_.attribute("sf:numcols").value(), "2");
  EXPECT_STREQ(grid_.attribute("sf:ocnt").value(), "2");
  EXPECT_EQ(childCount(grid_.child("sf:rows"), "sf:grid-row"), 2u);
  EXPECT_EQ(childCount(grid_.child("sf:columns"), "sf:grid-column"), 2u);
  EXPECT_STREQ(page_.attribute("sl:page-width").value(), "841.889771");
  EXPECT_STREQ(page_.attribute("sl:page-height").value(), "595.275574");
  EXPECT_STREQ(page_.attribute("sl:page-scale").value(), "1");
  ASSERT_EQ(cells_.size(), 4u);
  EXPECT_EQ(cells_[0].step, "0");
  EXPECT_EQ(cells_[0].style, "SFTCellStyle-6");
  EXPECT_EQ(cells_[0].text, "First Name");
  EXPECT_EQ(cells_[2].step, "255");
  EXPECT_EQ(cells_[2].style, "SFTCellStyle-2");
  EXPECT_EQ(cells_[3].step, "");
  EXPECT_EQ(cells_[3].text, "Lee");
  pugi::xml_node data = grid_.child("sf:datasource").child("sf:t").next_sibling().next_sibling();
  EXPECT_STREQ(data.attribute("sf:w").value(), "29.347656");
  EXPECT_STREQ(data.attribute("sf:h").value(), "24");
  EXPECT_STREQ(grid_.child("sf:datasource").child("sf:t").attribute("sf:w").value(), "41.347656");
}

TEST_F(WritePagesFilesTest, TwentyRecordsGrowRowsOnAPageThatKeepsItsHeight) {
  ContactRecords records;
  for (int i = 0; i < 20; ++i) records.push_back(record({{"First Name", "n"}, {"Company", "c"}, {"Note", "x"}}));
  records[5] = record({{"Note", "only a note"}});  // carries nothing, starts 2 later
  write(records);
  EXPECT_STREQ(grid_.attribute("sf:numrows").value(), "21");
  pugi::xml_node rows = grid_.child("sf:rows");
  EXPECT_STREQ(rows.attribute("sf:count").value(), "21");
  EXPECT_EQ(childCount(rows, "sf:grid-row"), 21u);
  EXPECT_STREQ(rows.last_child().attribute("sf:fitting-height").value(), "25");
  EXPECT_STREQ(grid_.child("sf:columns").attribute("sf:count").value(), "3");
  EXPECT_EQ(childCount(grid_.child("sf:columns"), "sf:grid-column"), 3u);
  // The table runs over pages instead of making one page as long as the table.
  EXPECT_EQ(WritePagesFiles::pageHeightText(21), "595.275574");
  EXPECT_STREQ(page_.attribute("sl:page-height").value(), "595.275574");
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 6, 2), "only a note");
  EXPECT_EQ(cellAt(map, 7, 0), "n");
  EXPECT_EQ(cellAt(map, 20, 2), "x");
}

TEST_F(WritePagesFilesTest, SeventyKeysGiveSixtyColumnsButCountEveryValue) {
  ContactRecord wide;
  for (int i = 0; i < 70; ++i) wide.set("Key " + std::to_string(i), "v" + std::to_string(i));
  ContactRecord beyond = record({{"Key 65", "not shown"}, {"Key 3", "three"}});
  write({wide, beyond});
  EXPECT_STREQ(grid_.attribute("sf:numcols").value(), "60");
  EXPECT_STREQ(grid_.attribute("sf:ocnt").value(), "72");
  EXPECT_EQ(childCount(grid_.child("sf:columns"), "sf:grid-column"), 60u);
  EXPECT_EQ(WritePagesFiles::pageWidthText(60), "5635.889648");  // 841.8897705078125 + 94 x 51, as a float
  EXPECT_STREQ(page_.attribute("sl:page-width").value(), "5635.889648");
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 0, 59), "Key 59");
  EXPECT_EQ(cellAt(map, 1, 59), "v59");
  EXPECT_EQ(cellAt(map, 2, 3), "three");
  for (const auto& cell : cells_) EXPECT_NE(cell.text, "not shown");
  EXPECT_EQ(cells_[60].step, std::to_string(257 - 60));
}

TEST_F(WritePagesFilesTest, NoRecordsGiveOneRowAndTheTemplatesDataSource) {
  write({});
  EXPECT_STREQ(grid_.attribute("sf:numrows").value(), "1");
  EXPECT_STREQ(grid_.child("sf:datasource").attribute("sfa:ID").value(), "SFTConcreteTableDataSource-0");
  EXPECT_STREQ(page_.attribute("sl:page-width").value(), "841.889771");
}

TEST_F(WritePagesFilesTest, PersonIsNeverAColumnAndForbiddenCharactersAreLeftOut) {
  ContactRecord a = record({{"First Name", "A\x02nn"}, {"Note", "1 < 2 & \"q\""}});
  a.set("Person", std::shared_ptr<ABPerson>());
  write({a, record({{"First Name", "B"}})});
  EXPECT_EQ(writer_.titles(), (std::vector<std::string>{"First Name", "Note"}));
  EXPECT_STREQ(grid_.attribute("sf:ocnt").value(), "3");
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 1, 0), "Ann");
  EXPECT_EQ(cellAt(map, 1, 1), "1 < 2 & \"q\"");
}

}  // namespace

TEST_F(WritePagesFilesTest, RowsAreAsHighAsTheirTextAndTheNaturalSizeIsTheTables) {
  std::string note = "Long note:";
  for (int i = 0; i < 30; ++i) note += " word" + std::to_string(i);
  write({record({{"First Name", "Ann"}, {"Note", "one\ntwo\nthree\nfour"}}),
         record({{"First Name", "Bo"}, {"Note", note.c_str()}}), record({{"First Name", "Cy"}}),
         record({{"First Name", "张伟東京都港区서울시張偉"}})});
  std::vector<double> heights;
  double total = 0;
  for (pugi::xml_node row : grid_.child("sf:rows").children("sf:grid-row")) {
    heights.push_back(row.attribute("sf:height").as_double());
    EXPECT_STREQ(row.attribute("sf:height").value(), row.attribute("sf:preferred-height").value());
    total += heights.back();
  }
  ASSERT_EQ(heights.size(), 5u);
  // A short row keeps the template's height; four lines, thirty words and twelve CJK characters
  // (wrapped between any two) need more, the longer text the most.
  EXPECT_DOUBLE_EQ(heights[3], 38.196877);
  EXPECT_GE(heights[1], 4 * 16.0);
  EXPECT_GT(heights[2], heights[1]);
  EXPECT_GE(heights[4], 2 * 16.0);
  EXPECT_GT(heights[4], heights[3]);

  pugi::xml_node size = document_.select_node("//sf:tabular-info/sf:geometry/sf:naturalSize").node();
  ASSERT_TRUE(size);
  EXPECT_NEAR(size.attribute("sfa:w").as_double(), 2 * 80.787407, 1e-5);
  EXPECT_NEAR(size.attribute("sfa:h").as_double(), total, 1e-5);
}

TEST_F(WritePagesFilesTest, SixtyColumnsMakeATableAndPageThatWide) {
  ContactRecord wide;
  for (int i = 0; i < 60; ++i) wide.set("Key " + std::to_string(i), "v");
  write({wide, wide});
  pugi::xml_node size = document_.select_node("//sf:tabular-info/sf:geometry/sf:naturalSize").node();
  EXPECT_NEAR(size.attribute("sfa:w").as_double(), 60 * 80.787407, 1e-3);
  // The page holds the table and its margins.
  EXPECT_GE(page_.attribute("sl:page-width").as_double(), 60 * 80.787407 + 72);
}
