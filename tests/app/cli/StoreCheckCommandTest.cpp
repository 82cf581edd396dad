// A store that is damaged or cannot be written: nothing is written to a damaged one, `repair` builds
// a new store of what still reads, and a store on a read-only file system can still be read.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

class StoreCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("rolvane-check-" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override {
    if (cacheWas_)
      ::setenv("XDG_CACHE_HOME", cacheWas_->c_str(), 1);
    else
      ::unsetenv("XDG_CACHE_HOME");
    std::filesystem::remove_all(folder_);
  }

  // A store of count persons named "Person N" at path; returns the first one's unique id.
  static std::string fill(const std::filesystem::path& path, int count) {
    auto book = ABAddressBook::open(path);
    EXPECT_TRUE(book);
    std::vector<ABPersonRef> persons;
    for (int i = 0; i < count; ++i) {
      auto person = ABPerson::create();
      person->setValueForProperty(ABValue("Person " + std::to_string(i)), kABFirstNameProperty);
      person->setValueForProperty(ABValue(std::string(200, 'n')), kABNoteProperty);
      persons.push_back(person);
    }
    EXPECT_TRUE(book->addRecords(persons));
    EXPECT_TRUE(book->save());
    return persons.front()->uniqueId();
  }

  std::filesystem::path folder_;
  std::optional<std::string> cacheWas_ =
      std::getenv("XDG_CACHE_HOME") ? std::optional<std::string>(std::getenv("XDG_CACHE_HOME")) : std::nullopt;
};

// Damages the middle leaf page of a table: its first cell points past the page.
void damageAPage(const std::filesystem::path& path) {
  std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(file)), {});
  const std::size_t pageSize = (static_cast<unsigned char>(bytes[16]) << 8) | static_cast<unsigned char>(bytes[17]);
  std::vector<std::size_t> leaves;
  for (std::size_t page = 1; (page + 1) * pageSize <= bytes.size(); ++page)
    if (bytes[page * pageSize] == 0x0d) leaves.push_back(page);
  ASSERT_GT(leaves.size(), 4u);
  const std::size_t at = leaves[leaves.size() / 2] * pageSize;
  file.seekp(static_cast<std::streamoff>(at + 8));
  file.put(static_cast<char>(0xff)).put(static_cast<char>(0xf0));
}

TEST_F(StoreCheckTest, ADamagedStoreIsNotWrittenToAndRepairKeepsWhatStillReads) {
  const auto store = folder_ / "book.sqlite";
  const std::string uid = fill(store, 2000);
  // The last check long ago (its time is kept in the cache folder): the next open for writing checks.
  const auto cache = folder_ / "cache";
  std::filesystem::create_directories(cache);
  ::setenv("XDG_CACHE_HOME", cache.c_str(), 1);
  damageAPage(store);
  const std::string before = slurp(store);

  ProgramRun run = runProgram(
      ROLVANE_PROGRAM, {"--store", store.string(), "edit", "--uid", uid, "--key", "First Name", "--value", "Changed"});
  EXPECT_NE(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("damaged"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("rolvane repair"), std::string::npos) << run.out;
  run = runProgram(ROLVANE_PROGRAM, {"--store", store.string(), "fix", "--condition", "Duplicate contacts", "--option",
                                     "Merge contacts", "--yes"});
  EXPECT_NE(run.status, 0) << run.out;
  EXPECT_EQ(slurp(store), before) << "nothing was written to the damaged store";

  run = runProgram(ROLVANE_PROGRAM, {"--store", store.string(), "repair"});
  ASSERT_EQ(run.status, 0) << run.out;
  const auto repaired = folder_ / "book-repaired.sqlite";
  EXPECT_NE(run.out.find(repaired.string()), std::string::npos) << run.out;
  EXPECT_EQ(slurp(store), before) << "the damaged store is only read";
  auto book = ABAddressBook::open(repaired);
  ASSERT_TRUE(book);
  EXPECT_GT(book->count(), 1500u);
  EXPECT_LT(book->count(), 2000u);
  EXPECT_NE(run.out.find("Kept " + std::to_string(book->count()) + " contacts"), std::string::npos) << run.out;
}

TEST_F(StoreCheckTest, AStoreOnAReadOnlyFileSystemIsReadAndWritesNameTheCause) {
  const auto mounted = folder_ / "volume";
  std::filesystem::create_directories(mounted);
  if (::mount("rolvane-test", mounted.c_str(), "tmpfs", 0, "size=16m") != 0)
    GTEST_SKIP() << "a file system cannot be mounted here (needs root): " << std::strerror(errno);
  const auto store = mounted / "book.sqlite";
  const std::string uid = fill(store, 10);
  ASSERT_EQ(::mount("rolvane-test", mounted.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);

  ProgramRun scan = runProgram(ROLVANE_PROGRAM, {"--store", store.string(), "scan"});
  ProgramRun exported =
      runProgram(ROLVANE_PROGRAM, {"--store", store.string(), "export", "--format", "csv", "--to", folder_.string()});
  ProgramRun edit = runProgram(
      ROLVANE_PROGRAM, {"--store", store.string(), "edit", "--uid", uid, "--key", "First Name", "--value", "X"});
  ::umount(mounted.c_str());
  EXPECT_EQ(scan.status, 0) << scan.out;
  EXPECT_EQ(exported.status, 0) << exported.out;
  EXPECT_NE(edit.status, 0);
  EXPECT_NE(edit.out.find("read-only file system"), std::string::npos) << edit.out;
}

}  // namespace
