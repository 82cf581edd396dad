// What exports killed midway leave behind is removed at the next export; what an export is still
// writing, what is new, and what is not an export's stays.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "frameworks/common/Leftovers.h"
#include "frameworks/common/OutputFile.h"
#include "frameworks/common/WorkingFolder.h"

namespace fs = std::filesystem;

namespace {

class LeftoversTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("rolvane-leftovers-" + std::to_string(getpid()));
    fs::remove_all(root_);
    folder_ = root_ / "out";
    fs::create_directories(folder_);
    const char* old = std::getenv("XDG_CACHE_HOME");
    saved_ = old ? old : "";
    hadOld_ = old != nullptr;
    setenv("XDG_CACHE_HOME", (root_ / "cache").c_str(), 1);
    cache_ = root_ / "cache" / "rolvane";
    fs::create_directories(cache_);
  }
  void TearDown() override {
    if (hadOld_)
      setenv("XDG_CACHE_HOME", saved_.c_str(), 1);
    else
      unsetenv("XDG_CACHE_HOME");
    fs::remove_all(root_);
  }
  // A file (or, with a name ending in '/', a folder holding one) last changed an hour ago.
  fs::path old(const fs::path& where, const std::string& name) {
    fs::path path = where / name;
    if (name.back() == '/') {
      path = where / name.substr(0, name.size() - 1);
      fs::create_directories(path);
      std::ofstream(path / "export_0.vcf") << "BEGIN:VCARD";
    } else {
      std::ofstream(path) << "partial";
    }
    fs::last_write_time(path, fs::file_time_type::clock::now() - std::chrono::hours(1));
    return path;
  }

  fs::path root_, folder_, cache_;
  std::string saved_;
  bool hadOld_ = false;
};

TEST_F(LeftoversTest, OnlyOldLeftoversOfExportsThatNobodyHoldsAreRemoved) {
  const fs::path csv = old(folder_, ".Zedid-Ovuzazur(2).csv.Ab12Cd.part");
  const fs::path cards = old(folder_, ".Zedid-Ovuzazur.x9Y8z7.part/");
  const fs::path people = old(folder_, ".allPeople.txt.000000.part");
  const fs::path working = old(cache_, "Ostrex-Qw3rTy/");
  // Killed two minutes ago, and tried again now.
  const fs::path justKilled = old(folder_, ".Zedid-Ovuzazur.docx.Kil1ed.part");
  fs::last_write_time(justKilled, fs::file_time_type::clock::now() - std::chrono::minutes(2));
  // Not an export's, or not of a killed one.
  const fs::path download = old(folder_, "film.mkv.part");
  const fs::path other = old(folder_, ".notes.Ab12Cd.part");
  const fs::path help = old(cache_, "Rolvane_Help.pdf");
  std::ofstream(folder_ / ".Zedid-Ovuzazur.html.Fresh1.part") << "being written";
  OutputFile writing((folder_ / "Zedid-Ovuzazur.xlsx").string());
  ASSERT_TRUE(writing.open());
  fs::last_write_time(writing.temporaryPath(), fs::file_time_type::clock::now() - std::chrono::hours(1));
  WorkingFolder inUse("Kestrel");
  ASSERT_TRUE(inUse.ok());
  fs::last_write_time(inUse.path(), fs::file_time_type::clock::now() - std::chrono::hours(1));

  EXPECT_EQ(removeExportLeftovers(folder_.string()), 5);
  for (const fs::path& gone : {csv, cards, people, working, justKilled}) EXPECT_FALSE(fs::exists(gone)) << gone;
  for (const fs::path& kept : {download, other, help, folder_ / ".Zedid-Ovuzazur.html.Fresh1.part",
                               fs::path(writing.temporaryPath()), fs::path(inUse.path())})
    EXPECT_TRUE(fs::exists(kept)) << kept;

  // Once the export in progress is done with them, they are leftovers like any other.
  EXPECT_TRUE(writing.commit());
  EXPECT_TRUE(fs::exists(writing.finalPath()));
  EXPECT_EQ(removeExportLeftovers(folder_.string()), 0);
  EXPECT_TRUE(fs::exists(writing.finalPath()));
}

}  // namespace
