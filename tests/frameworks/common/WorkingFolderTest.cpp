#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "frameworks/common/ResourceLocator.h"
#include "frameworks/common/WorkingFolder.h"

namespace fs = std::filesystem;

namespace {

class CacheHome : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("rolvane-cache-" + std::to_string(getpid()));
    fs::remove_all(root_);
    const char* old = std::getenv("XDG_CACHE_HOME");
    saved_ = old ? old : "";
    hadOld_ = old != nullptr;
    setenv("XDG_CACHE_HOME", root_.c_str(), 1);
  }
  void TearDown() override {
    if (hadOld_)
      setenv("XDG_CACHE_HOME", saved_.c_str(), 1);
    else
      unsetenv("XDG_CACHE_HOME");
    fs::remove_all(root_);
  }
  fs::path root_;
  std::string saved_;
  bool hadOld_ = false;
};

TEST_F(CacheHome, EachExportGetsItsOwnFolderRemovedEvenOnFailure) {
  std::string first, second;
  try {
    WorkingFolder a("Ostrex");
    WorkingFolder b("Ostrex");
    ASSERT_TRUE(a.ok()) << a.error();
    ASSERT_TRUE(b.ok());
    first = a.path();
    second = b.path();
    EXPECT_NE(first, second);
    EXPECT_EQ(fs::path(first).parent_path(), root_ / "rolvane");
    EXPECT_EQ(fs::path(first).filename().string().rfind("Ostrex-", 0), 0u);
    fs::create_directories(fs::path(first) / "xl" / "worksheets");
    std::ofstream(fs::path(first) / "xl" / "worksheets" / "sheet1.xml") << "<x/>";
    throw std::runtime_error("export failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_FALSE(fs::exists(first));
  EXPECT_FALSE(fs::exists(second));
}

TEST_F(CacheHome, AnUncreatableCacheFolderIsReportedNotFatal) {
  std::ofstream(root_.string()) << "a file where the cache folder should be";
  WorkingFolder folder("Ostrex");
  EXPECT_FALSE(folder.ok());
  EXPECT_FALSE(folder.error().empty());
  fs::remove(root_);
}

TEST(ResourceLocator, LooksBesideTheLoadedFileAndReportsMissingResources) {
  const std::string self = ResourceLocator::loadedFrom(ROLVANE_RESOURCE_ANCHOR);
  ASSERT_FALSE(self.empty());
  EXPECT_EQ(fs::canonical("/proc/self/exe").string(), self);
  const auto folders = ResourceLocator::candidateFolders(ROLVANE_RESOURCE_ANCHOR, "Quarnel");
  ASSERT_FALSE(folders.empty());
  EXPECT_EQ(fs::path(folders.front()).filename(), "Quarnel");
  EXPECT_EQ(ResourceLocator::find(ROLVANE_RESOURCE_ANCHOR, "NoSuchLibrary", "test.xlsx"), "");
}

}  // namespace
