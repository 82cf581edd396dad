#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

class GroupCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("rolvane-group-cli-" + std::to_string(getpid()) +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    store_ = (folder_ / "book.sqlite").string();
    std::ofstream(folder_ / "book.vcf")
        << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann\r\nEMAIL:ann@x.org\r\nCATEGORIES:Golf\r\nUID:ann\r\nEND:VCARD\r\n"
           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Roe;Bob\r\nEMAIL:bob@x.org\r\nUID:bob\r\nEND:VCARD\r\n"
           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Day;Cy\r\nEMAIL:cy@x.org\r\nUID:cy\r\nEND:VCARD\r\n"
           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Family\r\nFN:Family\r\nX-ADDRESSBOOKSERVER-KIND:group\r\n"
           "X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ann\r\nUID:family\r\nEND:VCARD\r\n";
    ProgramRun imported = rolvane({"import", (folder_ / "book.vcf").string()});
    ASSERT_EQ(imported.status, 0) << imported.out;
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ProgramRun rolvane(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store_});
    return runProgram(ROLVANE_PROGRAM, std::move(args));
  }
  // Group name -> its members, as `group list --json` says.
  std::map<std::string, std::vector<std::string>> groups() {
    ProgramRun run = rolvane({"group", "list", "--json"});
    EXPECT_EQ(run.status, 0) << run.out;
    std::map<std::string, std::vector<std::string>> out;
    const nlohmann::json listed = nlohmann::json::parse(run.out);
    for (const auto& group : listed["Groups"]) out[group["Name"]] = group["Members"].get<std::vector<std::string>>();
    return out;
  }
  void undo() {
    ProgramRun run = rolvane({"undo"});
    EXPECT_EQ(run.status, 0) << run.out;
  }

  std::filesystem::path folder_;
  std::string store_;
};

using Groups = std::map<std::string, std::vector<std::string>>;

TEST_F(GroupCommandTest, EachGroupCommandChangesCategoriesAndCardsAndIsUndone) {
  const Groups start{{"Family", {"ann"}}, {"Golf", {"ann"}}};
  EXPECT_EQ(groups(), start);
  ProgramRun run = rolvane({"group", "list"});
  EXPECT_EQ(run.out, "Family\t1 contact (1 group card)\nGolf\t1 contact\nNot in any group\t2 contacts\n");

  run = rolvane({"group", "add", "Family", "--uid", "bob", "--uid", "cy"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "added Bob Roe <bob> to Family\nadded Cy Day <cy> to Family\n");
  EXPECT_EQ(groups()["Family"], (std::vector<std::string>{"ann", "bob", "cy"}));
  undo();
  EXPECT_EQ(groups(), start);

  ASSERT_EQ(rolvane({"group", "add", "Golf", "--uid", "bob"}).status, 0);
  EXPECT_EQ(groups()["Golf"], (std::vector<std::string>{"ann", "bob"}));
  ASSERT_EQ(rolvane({"group", "remove", "Golf", "--uid", "ann"}).status, 0);
  EXPECT_EQ(groups()["Golf"], (std::vector<std::string>{"bob"}));
  undo();
  undo();
  EXPECT_EQ(groups(), start);

  run = rolvane({"group", "rename", "Golf", "Family"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(groups(), (Groups{{"Family", {"ann"}}}));
  undo();
  EXPECT_EQ(groups(), start);

  run = rolvane({"group", "delete", "Family"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.out.find("needs --yes"), std::string::npos);
  run = rolvane({"group", "delete", "Family", "--yes"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(groups(), (Groups{{"Golf", {"ann"}}}));
  undo();
  EXPECT_EQ(groups(), start);

  // Refused, changing nothing: a unique id no contact has, a group card, a group that is not there.
  EXPECT_EQ(rolvane({"group", "add", "Golf", "--uid", "nobody"}).status, 1);
  run = rolvane({"group", "add", "Golf", "--uid", "family"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("is a group"), std::string::npos) << run.out;
  EXPECT_EQ(rolvane({"group", "rename", "Choir", "Band"}).status, 1);
  EXPECT_EQ(groups(), start);

  // A scan of one group's members.
  run = rolvane({"scan", "--group", "Family", "--json"});
  EXPECT_EQ(run.status, 0) << run.out;
  run = rolvane({"scan", "--group", "Choir"});
  EXPECT_EQ(run.status, 1);
}

std::string readText(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(GroupCommandTest, ExportsTakeTheGroupsColumnAndOneGroupAndWriteGroupCardsOnlyAsCards) {
  const auto out = folder_ / "out";
  std::filesystem::create_directories(out);
  ProgramRun run = rolvane({"export", "--format", "csv", "--to", out.string(), "--columns", "First Name,Groups"});
  ASSERT_EQ(run.status, 0) << run.out;
  std::string csv = readText(run.out.substr(0, run.out.find('\n')));
  EXPECT_NE(csv.find("Ann,\"Golf, Family\""), std::string::npos) << csv;
  EXPECT_NE(csv.find("Cy,"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("Family,"), std::string::npos) << "the group card is no row: " << csv;

  // Every format of rows, the group card never a row: all information and the text table too.
  for (const char* format : {"txt", "html", "xlsx"}) {
    SCOPED_TRACE(format);
    const auto into = out / format;
    std::filesystem::create_directories(into);
    run = rolvane({"export", "--format", format, "--to", into.string(), "--columns", "First Name,Last Name,Groups"});
    ASSERT_EQ(run.status, 0) << run.out;
    run = rolvane({"export", "--format", format, "--to", into.string(), "--all-info"});
    ASSERT_EQ(run.status, 0) << run.out;
    if (std::string(format) != "xlsx") {
      EXPECT_EQ(readText(run.out.substr(0, run.out.find('\n'))).find("Family"), std::string::npos);
    }
  }

  // One group's members.
  const auto family = out / "family";
  std::filesystem::create_directories(family);
  run = rolvane({"export", "--format", "csv", "--to", family.string(), "--columns", "First Name", "--group", "Family"});
  ASSERT_EQ(run.status, 0) << run.out;
  csv = readText(run.out.substr(0, run.out.find('\n')));
  EXPECT_NE(csv.find("Ann"), std::string::npos) << csv;
  EXPECT_EQ(csv.find("Bob"), std::string::npos) << csv;
  EXPECT_EQ(rolvane({"export", "--format", "csv", "--to", family.string(), "--group", "Choir"}).status, 1);

  // vCard: categories and the group card, as cards.
  const auto cards = out / "cards";
  std::filesystem::create_directories(cards);
  run = rolvane({"export", "--format", "vcard", "--to", cards.string(), "--all-info", "--one-file"});
  ASSERT_EQ(run.status, 0) << run.out;
  const std::string vcf = readText(run.out.substr(0, run.out.find('\n')));
  EXPECT_NE(vcf.find("CATEGORIES:Golf"), std::string::npos) << vcf;
  EXPECT_NE(vcf.find("X-ADDRESSBOOKSERVER-KIND:group"), std::string::npos) << vcf;
  EXPECT_NE(vcf.find("X-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ann"), std::string::npos) << vcf;
}

}  // namespace

TEST_F(GroupCommandTest, AFileImportedAgainKeepsItsGroupCardOnItsOwnContacts) {
  // Every id of the file is the book's already: its contacts come in with new ids, and the copy of
  // its group card lists the new Ann (as the copy of her category does), not the Ann already there.
  ProgramRun again = rolvane({"import", (folder_ / "book.vcf").string()});
  ASSERT_EQ(again.status, 0) << again.out;
  Groups now = groups();
  ASSERT_EQ(now["Golf"].size(), 2u);
  const std::string newAnn = now["Golf"][1];
  EXPECT_EQ(now["Family"], (std::vector<std::string>{"ann", newAnn}));
}

// A store written by a version that knew no groups holds a group card as a person named after the
// group, its kind and members among the lines kept as they came. Opened now, it is a group card
// again (one change of the history): no condition about persons lists it, and its members are there.
TEST_F(GroupCommandTest, AGroupCardStoredAsAPersonByAnEarlierVersionIsAGroupAgain) {
  const std::string old = (folder_ / "old.sqlite").string();
  {
    auto book = ABAddressBook::open(old);
    ASSERT_TRUE(book);
    ABPersonData annData;
    annData.set(kABUIDProperty, std::string("ann"));
    annData.set(kABFirstNameProperty, std::string("Ann"));
    annData.set(kABLastNameProperty, std::string("Lee"));
    ABPersonData familyData;
    familyData.set(kABUIDProperty, std::string("family"));
    familyData.set(kABLastNameProperty, std::string("Family"));
    familyData.set(kABVCardKeptLinesProperty,
                   std::string("X-ADDRESSBOOKSERVER-KIND:group\nX-ADDRESSBOOKSERVER-MEMBER:urn:uuid:ann\n"));
    auto ann = std::make_shared<ABPerson>(std::move(annData));
    auto family = std::make_shared<ABPerson>(std::move(familyData));
    ASSERT_TRUE(book->addRecord(ann) && book->addRecord(family) && book->save());
  }
  {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(old.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, "DELETE FROM store_info WHERE name = 'group_cards_read'", nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);
  }
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", old});
    return runProgram(ROLVANE_PROGRAM, std::move(args));
  };
  ProgramRun scan = run({"scan", "--json", "--condition", "Incomplete name"});
  ASSERT_EQ(scan.status, 0) << scan.out;
  EXPECT_EQ(scan.out.find("family"), std::string::npos) << scan.out;
  ProgramRun listed = run({"group", "list", "--json"});
  ASSERT_EQ(listed.status, 0) << listed.out;
  const nlohmann::json groups = nlohmann::json::parse(listed.out)["Groups"];
  ASSERT_EQ(groups.size(), 1u) << listed.out;
  EXPECT_EQ(groups[0]["Name"], "Family");
  EXPECT_EQ(groups[0]["Members"], nlohmann::json::array({"ann"}));
  ProgramRun history = run({"history"});
  EXPECT_NE(history.out.find("Read 1 group card of an earlier version of Rolvane as groups"), std::string::npos)
      << history.out;
}
