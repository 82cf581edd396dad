#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "frameworks/numbers/WriteNumberFiles.h"
#include "tests/frameworks/iwork/IWorkCellGrid.h"
#include "tests/support/TestPaths.h"

namespace fs = std::filesystem;

namespace {

ContactRecord record(std::initializer_list<std::pair<const char*, const char*>> values) {
  ContactRecord r;
  for (const auto& [key, value] : values) r.set(key, std::string(value));
  return r;
}

class WriteNumberFilesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("numbers-xml-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    fs::copy_file(NUMBERS_TEMPLATE_INDEX, folder_ / "index.xml");
  }
  void TearDown() override { fs::remove_all(folder_); }

  void write(const ContactRecords& records, bool allInfo = false) {
    writer_.setWorkingFolder(folder_.string());
    ASSERT_TRUE(writer_.writeNumbersIsShowAllInfo(records, allInfo)) << writer_.error();
    ASSERT_TRUE(document_.load_file((folder_ / "index.xml").c_str()));
    grid_ = document_.select_node("//sf:grid").node();
    ASSERT_TRUE(grid_);
    cells_ = readIWorkCells(grid_.child("sf:datasource"), 92);
  }

  fs::path folder_;
  WriteNumberFiles writer_;
  pugi::xml_document document_;
  pugi::xml_node grid_;
  std::vector<IWorkCell> cells_;
};

TEST_F(WriteNumberFilesTest, FullRowsStartAt257MinusColumnsAndFollowWithoutStep) {
  write({record({{"First Name", "Ann"}, {"Company", "Acme"}, {"Last Name", "Lee"}}),
         record({{"First Name", "Bob"}, {"Last Name", "Ray"}, {"Company", "Bolt"}})});
  ASSERT_EQ(writer_.titles(), (std::vector<std::string>{"First Name", "Last Name", "Company"}));
  ASSERT_EQ(cells_.size(), 9u);
  EXPECT_EQ(cells_[0].step, "0");
  EXPECT_EQ(cells_[0].style, "SFTCellStyle-105");
  EXPECT_EQ(cells_[1].step, "");
  EXPECT_EQ(cells_[3].step, "254");
  EXPECT_EQ(cells_[3].style, "SFTCellStyle-100");
  EXPECT_EQ(cells_[4].step, "");
  EXPECT_EQ(cells_[6].step, "254");
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 1, 1), "Lee");
  EXPECT_EQ(cellAt(map, 2, 2), "Bolt");

  pugi::xml_node source = grid_.child("sf:datasource");
  EXPECT_STREQ(source.attribute("sfa:ID").value(), "SFTConcreteTableDataSource-0");
  pugi::xml_node first = source.child("sf:t");
  EXPECT_STREQ(first.attribute("sf:w").value(), "30.469574");
  EXPECT_STREQ(first.attribute("sf:h").value(), "14");
  EXPECT_STREQ(first.child("sf:ct").attribute("sfa:s").value(), "First Name");
}

TEST_F(WriteNumberFilesTest, MissingTitlesGiveStepsAndCarryIntoTheNextRow) {
  // titles: First Name, Last Name, A, B, C, D (n = 6)
  write({record({{"First Name", "1"}, {"Last Name", "2"}, {"A", "3"}, {"B", "4"}, {"C", "5"}, {"D", "6"}}),
         record({{"A", "lacks first two"}, {"B", "b"}}),  // lacks last two too
         record({{"First Name", "x"}, {"C", "c"}}),       // carries 2
         record({{"First Name", "y"}, {"Last Name", "z"}, {"D", "d"}})});
  std::vector<std::string> steps;
  for (const auto& cell : cells_) steps.push_back(cell.step);
  EXPECT_EQ(steps, (std::vector<std::string>{"0", "", "", "", "", "", "251", "", "", "", "", "", "253", "", "253", "4",
                                             "252", "", "4"}));
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 2, 2), "lacks first two");
  EXPECT_EQ(cellAt(map, 3, 0), "x");
  EXPECT_EQ(cellAt(map, 3, 4), "c");
  EXPECT_EQ(cellAt(map, 4, 1), "z");
  EXPECT_EQ(cellAt(map, 4, 5), "d");
}

TEST_F(WriteNumberFilesTest, RowsGrowOnlyBeyondFortyNineRecords) {
  ContactRecords records(49, record({{"First Name", "a"}}));
  write(records);
  EXPECT_STREQ(grid_.attribute("sf:numrows").value(), "50");
  EXPECT_STREQ(grid_.child("sf:rows").attribute("sf:count").value(), "50");

  SetUp();
  records.push_back(record({{"First Name", "last"}}));
  write(records);
  EXPECT_STREQ(grid_.attribute("sf:numrows").value(), "51");
  pugi::xml_node rows = grid_.child("sf:rows");
  EXPECT_STREQ(rows.attribute("sf:count").value(), "51");
  EXPECT_EQ(std::distance(rows.children("sf:grid-row").begin(), rows.children("sf:grid-row").end()), 51);
  EXPECT_STREQ(rows.last_child().attribute("sf:height").value(), "14.25");
  EXPECT_EQ(cellAt(iworkCellMap(cells_), 50, 0), "last");
}

TEST_F(WriteNumberFilesTest, OneRecordUsesItsOwnKeysWhateverTheSwitch) {
  ContactRecord only = record({{"Company", "Acme"}, {"Last Name", "Lee"}, {"First Name", "Ann"}});
  only.set("Person", std::shared_ptr<ABPerson>());
  write({only}, true);
  EXPECT_EQ(writer_.titles(), (std::vector<std::string>{"First Name", "Company", "Last Name"}));
  EXPECT_STREQ(grid_.attribute("sf:numrows").value(), "50");
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 1, 0), "Ann");
  EXPECT_EQ(cellAt(map, 1, 2), "Lee");
  EXPECT_EQ(cells_.size(), 6u);
}

TEST_F(WriteNumberFilesTest, AllInformationHas92TitlesAndRepeatsMaidenAndMiddleName) {
  ContactRecord a = record({{"First Name", "Ann"}, {"Maiden Name", "Old"}, {"Preffix", "Dr"}});
  a.set("Birthday", ABDate{1980, 2, 29});
  write({a, record({{"Middle Name", "Q"}})}, true);
  ASSERT_EQ(writer_.titles().size(), 92u);
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 0, 90), "Maiden Name");
  EXPECT_EQ(cellAt(map, 1, 90), "Old");
  EXPECT_EQ(cellAt(map, 1, 72), "Old");
  EXPECT_EQ(cellAt(map, 1, 70), "1980-02-29");
  EXPECT_EQ(cellAt(map, 2, 91), "Q");
  for (const auto& cell : cells_) EXPECT_NE(cell.text, "Dr");
}

TEST_F(WriteNumberFilesTest, EmptyRecordsTakeNoRowAndUnshownOnesKeepThePlacesRight) {
  ContactRecord personOnly;
  personOnly.set("Person", std::shared_ptr<ABPerson>());
  write({record({{"First Name", "a"}}), ContactRecord{}, personOnly, record({{"Preffix", "Dr"}}),
         record({{"First Name", "b"}})},
        true);
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 1, 0), "a");
  EXPECT_EQ(cellAt(map, 3, 0), "b");  // the "Preffix"-only record kept row 2, empty
  EXPECT_EQ(cells_.size(), 94u);
}

TEST_F(WriteNumberFilesTest, TextIsEscapedAndForbiddenCharactersLeftOut) {
  write({record({{"First Name", "A&B <\"x\">"}, {"Note", "line1\nline2\x01\x1f"}}), record({{"First Name", "c"}})});
  auto map = iworkCellMap(cells_);
  EXPECT_EQ(cellAt(map, 1, 0), "A&B <\"x\">");
  EXPECT_EQ(cellAt(map, 1, 1), "line1\nline2");
}

TEST_F(WriteNumberFilesTest, MoreKeysThanTheTemplatesColumnsWidenTheTable) {
  ContactRecord wide;
  for (int i = 0; i < 100; ++i) wide.set("Key " + std::to_string(i), "v" + std::to_string(i));
  write({wide, record({{"Key 99", "again"}})});
  EXPECT_STREQ(grid_.attribute("sf:numcols").value(), "100");
  pugi::xml_node columns = grid_.child("sf:columns");
  EXPECT_EQ(std::distance(columns.children("sf:grid-column").begin(), columns.children("sf:grid-column").end()), 100);
  cells_ = readIWorkCells(grid_.child("sf:datasource"), 100);
  EXPECT_EQ(cellAt(iworkCellMap(cells_), 2, 99), "again");
}

TEST_F(WriteNumberFilesTest, NoRecordsLeaveTheTableAsInTheTemplate) {
  write({});
  EXPECT_TRUE(cells_.empty());
  EXPECT_STREQ(grid_.attribute("sf:numrows").value(), "50");
}

TEST_F(WriteNumberFilesTest, ADocumentOfAnotherShapeIsReported) {
  pugi::xml_document other;
  other.load_string("<ls:document xmlns:ls='x'><a/></ls:document>");
  other.save_file((folder_ / "index.xml").c_str());
  writer_.setWorkingFolder(folder_.string());
  EXPECT_FALSE(writer_.writeNumbersIsShowAllInfo({record({{"First Name", "a"}})}, false));
  EXPECT_FALSE(writer_.error().empty());
}

}  // namespace
