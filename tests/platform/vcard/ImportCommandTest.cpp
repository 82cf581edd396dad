#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/addressbook/ABAddressBook.h"

namespace {

#ifdef ROLVANE_BINARY
int run(const std::string& arguments) {
  return WEXITSTATUS(
      std::system((std::string(ROLVANE_BINARY) + " " + arguments + " 2>/tmp/vcard_import_err.txt").c_str()));
}

TEST(ImportCommandTest, ImportsAndRefusesMalformedFilesWithoutChangingTheStore) {
  if (!std::filesystem::exists(ROLVANE_BINARY)) GTEST_SKIP() << "the rolvane program is not built: " << ROLVANE_BINARY;
  auto dir = std::filesystem::temp_directory_path() / ("vcard_cli_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto store = (dir / "store.sqlite").string();
  std::string corpus = std::string(ROLVANE_CORPUS_DIR) + "/vcard/";
  EXPECT_EQ(run("--store " + store + " import " + corpus + "ezvcard_gmail-list.vcf"), 0);
  EXPECT_NE(run("--store " + store + " import " + corpus + "fkvcards_v3.vcf " + corpus + "malformed/eds_9.vcf"), 0);
  std::ifstream err("/tmp/vcard_import_err.txt");
  std::string line;
  std::getline(err, line);
  EXPECT_NE(line.find("eds_9.vcf:"), std::string::npos) << line;
  auto book = ABAddressBook::open(store);
  ASSERT_TRUE(book);
  EXPECT_EQ(book->count(), 3u);

  // A refused import makes no store where there was none.
  auto fresh = dir / "fresh" / "store.sqlite";
  EXPECT_NE(run("--store " + fresh.string() + " import " + corpus + "malformed/eds_7.vcf"), 0);
  EXPECT_NE(run("--store " + fresh.string() + " import " + (dir / "missing.vcf").string()), 0);
  std::ifstream missing("/tmp/vcard_import_err.txt");
  std::getline(missing, line);
  EXPECT_NE(line.find("missing.vcf: cannot read the file (no such file)"), std::string::npos) << line;
  EXPECT_FALSE(std::filesystem::exists(fresh.parent_path()));
  std::filesystem::remove_all(dir);
}

// A card whose UID is in the store replaces that contact's values in its place; the others are
// added. Without --update, the same file adds new contacts.
TEST(ImportCommandTest, UpdateReplacesContactsOfTheSameUidInTheirPlace) {
  if (!std::filesystem::exists(ROLVANE_BINARY)) GTEST_SKIP() << "the rolvane program is not built: " << ROLVANE_BINARY;
  auto dir = std::filesystem::temp_directory_path() / ("vcard_update_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto store = (dir / "store.sqlite").string();
  auto card = [](const std::string& uid, const std::string& name) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name + ";;;;\r\nUID:" + uid + "\r\nEND:VCARD\r\n";
  };
  std::ofstream(dir / "first.vcf") << card("u1", "One") << card("u2", "Two");
  std::ofstream(dir / "second.vcf") << card("u1", "One Changed") << card("u3", "Three");
  ASSERT_EQ(run("--store " + store + " import " + (dir / "first.vcf").string()), 0);
  ASSERT_EQ(run("--store " + store + " import --update " + (dir / "second.vcf").string()), 0);
  {
    auto book = ABAddressBook::open(store);
    ASSERT_TRUE(book);
    auto people = book->people();
    ASSERT_EQ(people.size(), 3u);
    EXPECT_EQ(people[0]->uniqueId(), "u1");
    EXPECT_EQ(people[0]->stringForProperty("Last").value_or(""), "One Changed");
    EXPECT_EQ(people[1]->uniqueId(), "u2");
    EXPECT_EQ(people[2]->uniqueId(), "u3");
  }
  ASSERT_EQ(run("--store " + store + " import " + (dir / "second.vcf").string()), 0);
  auto book = ABAddressBook::open(store);
  ASSERT_TRUE(book);
  EXPECT_EQ(book->count(), 5u);
  std::filesystem::remove_all(dir);
}
#endif

}  // namespace
