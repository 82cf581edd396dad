#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "frameworks/common/Function.h"
#include "frameworks/common/OutputFile.h"

namespace fs = std::filesystem;

namespace {

class OutputNames : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = fs::temp_directory_path() / ("rolvane-names-" + std::to_string(getpid()));
    fs::remove_all(folder_);
    fs::create_directories(folder_);
  }
  void TearDown() override { fs::remove_all(folder_); }
  std::string at(const std::string& name) const { return (folder_ / name).string(); }
  void touch(const std::string& name) const { std::ofstream(folder_ / name) << "x"; }
  fs::path folder_;
};

TEST_F(OutputNames, FreeNamesAreKeptAndTakenOnesNumberedFromZero) {
  EXPECT_EQ(Function::GetOutPutFile(at("a.csv")), at("a.csv"));
  touch("a.csv");
  EXPECT_EQ(Function::GetOutPutFile(at("a.csv")), at("a(0).csv"));
  touch("a(0).csv");
  EXPECT_EQ(Function::GetOutPutFile(at("a.csv")), at("a(1).csv"));
  touch("Zedid-Ovuzazur");
  EXPECT_EQ(Function::GetOutPutFile(at("Zedid-Ovuzazur")), at("Zedid-Ovuzazur(0)"));
}

TEST_F(OutputNames, AnExistingNumberIsRemovedBeforeItIsAppended) {
  touch("b(1).html");
  // n = 0 gives b(1)(0); n = 1 removes the (1) and appends it again, which is the given name.
  EXPECT_EQ(Function::GetOutPutFile(at("b(1).html")), at("b(1)(0).html"));
  touch("b(1)(0).html");
  EXPECT_EQ(Function::GetOutPutFile(at("b(1).html")), at("b(1)(2).html"));
}

TEST_F(OutputNames, TheFolderKeepsItsOwnNumber) {
  fs::create_directories(folder_ / "Exports(0)");
  touch("Exports(0)/list.csv");
  EXPECT_EQ(Function::GetOutPutFile(at("Exports(0)/list.csv")), at("Exports(0)/list(0).csv"));
}

TEST_F(OutputNames, CommittedFilesGetSuccessiveNamesAndFailuresLeaveNothing) {
  for (int i = 0; i < 3; ++i) {
    OutputFile out(at("Zedid-Ovuzazur.xlsx"));
    ASSERT_TRUE(out.open());
    std::ofstream(out.temporaryPath()) << i;
    ASSERT_TRUE(out.commit()) << out.error();
  }
  EXPECT_TRUE(fs::exists(at("Zedid-Ovuzazur.xlsx")));
  EXPECT_TRUE(fs::exists(at("Zedid-Ovuzazur(0).xlsx")));
  EXPECT_TRUE(fs::exists(at("Zedid-Ovuzazur(1).xlsx")));
  {
    OutputFile abandoned(at("other.xlsx"));
    ASSERT_TRUE(abandoned.open());
    std::ofstream(abandoned.temporaryPath()) << "partial";
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 3);
}

TEST_F(OutputNames, OpeningInAMissingFolderFailsWithAReason) {
  OutputFile out(at("missing/x.xlsx"));
  EXPECT_FALSE(out.open());
  EXPECT_NE(out.error().find("missing"), std::string::npos);
}

TEST_F(OutputNames, AtomicReplacementWritesTheWholeContent) {
  touch("part.xml");
  ASSERT_TRUE(replaceFileAtomically(at("part.xml"), "<new/>"));
  std::ifstream in(at("part.xml"));
  std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, "<new/>");
  std::string error;
  EXPECT_FALSE(replaceFileAtomically(at("no/part.xml"), "x", &error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
