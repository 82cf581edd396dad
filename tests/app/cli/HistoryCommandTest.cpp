#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <set>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

class HistoryCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("rolvane-history-cli-" + std::to_string(getpid()) +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    store_ = (folder_ / "book.sqlite").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ProgramRun rolvane(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store_});
    return runProgram(ROLVANE_PROGRAM, std::move(args));
  }

  nlohmann::ordered_json json(std::vector<std::string> args) {
    ProgramRun result = rolvane(std::move(args));
    EXPECT_EQ(result.status, 0) << result.out;
    return nlohmann::ordered_json::parse(result.out);
  }

  std::string importCards(const std::string& name, const std::string& cards) {
    auto path = folder_ / name;
    std::ofstream(path) << cards;
    ProgramRun result = rolvane({"import", path.string()});
    EXPECT_EQ(result.status, 0) << result.out;
    return result.out;
  }

  // The persons of the store: unique id and first name, in store order.
  std::vector<std::pair<std::string, std::string>> persons() {
    auto book = ABAddressBook::open(store_);
    std::vector<std::pair<std::string, std::string>> list;
    for (const auto& person : book->people())
      list.emplace_back(person->uniqueId(), person->stringForProperty(kABFirstNameProperty).value_or(""));
    return list;
  }

  std::filesystem::path folder_;
  std::string store_;
};

const char* kCards =
    "BEGIN:VCARD\nVERSION:3.0\nUID:ann-1\nN:Lee;Ann;;;\nEMAIL:ann@x.org\nEND:VCARD\n"
    "BEGIN:VCARD\nVERSION:3.0\nUID:bob\nN:Ray;Bob;;;Esquire the Third\nEND:VCARD\n"
    "BEGIN:VCARD\nVERSION:3.0\nUID:ann-2\nN:Lee;Ann;;;\nTEL:+1 555 0100\nEND:VCARD\n";

}  // namespace

TEST_F(HistoryCommandTest, HistoryListsChangeSetsNewestFirstWithTheirDescriptions) {
  importCards("work.vcf", kCards);
  ProgramRun fix = rolvane({"fix", "--condition", "Unusual suffix", "--option", "Remove the suffix"});
  ASSERT_EQ(fix.status, 0) << fix.out;
  ProgramRun merge = rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(merge.status, 0) << merge.out;

  auto history = json({"history", "--json"});
  ASSERT_EQ(history.size(), 3u) << history.dump();
  EXPECT_EQ(history[0]["description"], "Merged 2 contacts into Ann Lee");
  EXPECT_EQ(history[0]["persons"], 2) << "the kept member changed, the other removed";
  EXPECT_EQ(history[1]["description"], "Removed the suffix of Bob Ray");
  EXPECT_EQ(history[2]["description"], "Imported 3 contacts from work.vcf");
  EXPECT_EQ(history[2]["persons"], 3);
  for (const auto& change : history) {
    std::vector<std::string> keys;
    for (auto it = change.begin(); it != change.end(); ++it) keys.push_back(it.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"id", "time", "description", "persons", "undone"}));
    EXPECT_EQ(change["undone"], false);
    EXPECT_EQ(change["time"].get<std::string>().size(), 20u) << change["time"];
  }
  ProgramRun text = rolvane({"history"});
  EXPECT_NE(text.out.find("Merged 2 contacts into Ann Lee"), std::string::npos) << text.out;
  EXPECT_LT(text.out.find("Merged"), text.out.find("Imported"));
}

TEST_F(HistoryCommandTest, UndoAndRedoOfAMergeGiveBackTheMembersUnderTheirIds) {
  importCards("work.vcf", kCards);
  auto imported = persons();
  ASSERT_EQ(rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"}).status, 0);
  auto merged = persons();
  ASSERT_EQ(merged.size(), 2u);

  // The merged contact is the last member, under its own id and in its own place.
  EXPECT_EQ(merged[1].first, "ann-2");
  auto trash = json({"trash", "--json"});
  ASSERT_EQ(trash.size(), 1u);
  EXPECT_EQ(trash[0]["uid"], "ann-1");
  EXPECT_EQ(trash[0]["name"], "Ann Lee");
  EXPECT_TRUE(trash[0]["change"].is_number());

  ProgramRun undo = rolvane({"undo"});
  ASSERT_EQ(undo.status, 0) << undo.out;
  EXPECT_NE(undo.out.find("Undid 2: Merged 2 contacts into Ann Lee"), std::string::npos) << undo.out;
  EXPECT_EQ(persons(), imported);
  EXPECT_EQ(json({"trash", "--json"}).size(), 0u);
  EXPECT_EQ(json({"history", "--json"})[0]["undone"], true);

  ProgramRun redo = rolvane({"redo"});
  ASSERT_EQ(redo.status, 0) << redo.out;
  EXPECT_EQ(persons(), merged);
  ProgramRun again = rolvane({"redo"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.out, "rolvane redo: there is nothing to redo\n");
}

TEST_F(HistoryCommandTest, RedoIsRefusedWhenALaterChangeChangedTheSameContacts) {
  importCards("work.vcf", kCards);
  ASSERT_EQ(rolvane({"fix", "--condition", "Unusual suffix", "--option", "Remove the suffix"}).status, 0);
  ASSERT_EQ(rolvane({"undo"}).status, 0);
  ASSERT_EQ(rolvane({"fix", "--condition", "Unusual suffix", "--option", "Delete this contact", "--yes"}).status, 0);
  auto before = persons();
  ProgramRun refused = rolvane({"redo"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out,
            "rolvane redo: cannot redo \u201CRemoved the suffix of Bob Ray\u201D: the later change 3 \u201CDeleted Bob "
            "Ray\u201D changed the same contacts (Bob Ray); nothing was changed\n");
  EXPECT_EQ(persons(), before) << "nothing changed";

  EXPECT_EQ(rolvane({"undo", "--to"}).status, 2);
  ProgramRun stray = rolvane({"undo", "--to", "x"});
  EXPECT_EQ(stray.status, 2);
  EXPECT_NE(stray.out.find("\"x\" is not the id of a change"), std::string::npos);
  ProgramRun unknown = rolvane({"undo", "--to", "99"});
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.out, "rolvane undo: there is no change 99\n");

  // undo --to 1 takes everything back, newest first, in one step.
  ProgramRun all = rolvane({"undo", "--to", "1"});
  ASSERT_EQ(all.status, 0) << all.out;
  EXPECT_LT(all.out.find("Undid 3:"), all.out.find("Undid 1:"));
  EXPECT_EQ(all.out.find("Undid 2:"), std::string::npos) << "undone already";
  EXPECT_TRUE(persons().empty());
}

TEST_F(HistoryCommandTest, RestoreAndEmptyTheTrash) {
  importCards("work.vcf", kCards);
  auto imported = persons();
  ASSERT_EQ(
      rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Delete the duplicate contact(s)", "--yes"})
          .status,
      0);
  auto trash = json({"trash", "--json"});
  ASSERT_EQ(trash.size(), 1u);
  EXPECT_EQ(trash[0]["uid"], "ann-2");

  ProgramRun missing = rolvane({"restore", "nobody"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.out.find("no contact with the unique id nobody is in the trash"), std::string::npos);
  ProgramRun restore = rolvane({"restore", "ann-2"});
  ASSERT_EQ(restore.status, 0) << restore.out;
  EXPECT_EQ(restore.out, "Restored Ann Lee from the trash\n");
  EXPECT_EQ(persons(), imported) << "back under its id, in its place";
  EXPECT_EQ(json({"history", "--json"})[0]["description"], "Restored Ann Lee from the trash");

  ASSERT_EQ(rolvane({"undo"}).status, 0);
  ASSERT_EQ(json({"trash", "--json"}).size(), 1u);
  ProgramRun ask = rolvane({"trash", "--empty"});
  EXPECT_EQ(ask.status, 2);
  EXPECT_NE(ask.out.find("--yes"), std::string::npos);
  EXPECT_EQ(json({"trash", "--json"}).size(), 1u);
  ProgramRun empty = rolvane({"trash", "--empty", "--yes"});
  ASSERT_EQ(empty.status, 0) << empty.out;
  EXPECT_EQ(json({"trash", "--json"}).size(), 0u);
  EXPECT_NE(rolvane({"restore", "ann-2"}).status, 0);
}

// "Not the same person" changes no contact; the scan leaves the group (or the shared address) out
// until the mark is undone, or until another contact joins the group.
TEST_F(HistoryCommandTest, NotTheSamePersonLeavesAFindingOutUntilUndoneOrJoined) {
  importCards("work.vcf",
              "BEGIN:VCARD\nVERSION:3.0\nUID:ann-1\nN:Lee;Ann;;;\nEMAIL:ann@x.org\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:ann-2\nN:Lee;Ann;;;\nTEL:+1 555 0100\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:cat\nN:Ray;Cat;;;\nEMAIL:ann@x.org\nEND:VCARD\n");
  auto values = [&] {
    auto book = ABAddressBook::open(store_);
    std::vector<std::pair<std::string, ABPersonData>> list;
    for (const auto& person : book->people()) list.emplace_back(person->uniqueId(), *person->snapshot());
    return list;
  };
  auto found = [&] {
    ProgramRun scan = rolvane({"scan", "--condition", "Duplicate contacts", "--condition",
                               "Emails duplicated among multiple contacts", "--json"});
    EXPECT_EQ(scan.status, 0) << scan.out;
    std::set<std::string> keys;
    auto parsed = nlohmann::json::parse(scan.out, nullptr, false);
    if (parsed.is_object())
      for (auto it = parsed.begin(); it != parsed.end(); ++it) keys.insert(it.key());
    return keys;
  };
  ASSERT_EQ(found(), (std::set<std::string>{"DuplicateContacts", "ShareEmail"}));
  auto before = values();

  ProgramRun mark = rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Not the same person"});
  ASSERT_EQ(mark.status, 0) << mark.out;
  EXPECT_NE(mark.out.find("marked 2 contacts named Ann Lee as not the same person"), std::string::npos) << mark.out;
  EXPECT_EQ(values(), before) << "no contact changes";
  EXPECT_EQ(found(), std::set<std::string>{"ShareEmail"}) << "the address is another finding";
  auto history = json({"history", "--json"});
  EXPECT_EQ(history[0]["description"], "Not the same person: 2 contacts named Ann Lee");
  EXPECT_EQ(history[0]["persons"], 2);

  ASSERT_EQ(
      rolvane({"fix", "--condition", "Emails duplicated among multiple contacts", "--option", "Not the same person"})
          .status,
      0);
  EXPECT_EQ(json({"history", "--json"})[0]["description"], "Not the same person: 2 contacts sharing ann@x.org");
  EXPECT_TRUE(found().empty());
  ASSERT_EQ(rolvane({"undo"}).status, 0);
  EXPECT_EQ(found(), std::set<std::string>{"ShareEmail"});
  ASSERT_EQ(rolvane({"redo"}).status, 0);
  EXPECT_TRUE(found().empty());
  EXPECT_EQ(values(), before);

  // A third Ann Lee brings the group back, all three in it.
  importCards("more.vcf", "BEGIN:VCARD\nVERSION:3.0\nUID:ann-3\nN:Lee;Ann;;;\nEND:VCARD\n");
  EXPECT_EQ(found(), std::set<std::string>{"DuplicateContacts"});
  ProgramRun merge = rolvane({"fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(merge.status, 0) << merge.out;
  EXPECT_NE(merge.out.find("deleted Ann Lee <ann-2>"), std::string::npos) << merge.out;
  EXPECT_NE(merge.out.find("merged 3 contacts into Ann Lee <ann-3>"), std::string::npos) << merge.out;
  EXPECT_EQ(json({"history", "--json"})[0]["description"], "Merged 3 contacts into Ann Lee");
}

// One command is one change set: fixing eight categories, two findings each, gives eight change
// sets after the import; undo eight times gives back the imported store exactly, redo eight times
// the fixed one.
TEST_F(HistoryCommandTest, EachFixCommandIsOneChangeSetThatUndoAndRedoTakeWhole) {
  importCards("eight.vcf",
              "BEGIN:VCARD\nVERSION:3.0\nUID:s1\nN:Ray;Bob;;;Esquire the Third\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:s2\nN:Roe;Dan;;;Esquire the Third\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:t1\nN:Kim;Eve;;Grand Wizard;\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:t2\nN:Park;Fay;;Grand Wizard;\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:i1\nN:;Cher;;;\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:i2\nN:;Prince;;;\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:f1\nN:Moss;Mary Ann;;;\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:f2\nN:Webb;Jo Ellen;;;\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:n1\nN:Hill;Gus;;;\nNOTE:   \nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:n2\nN:Hart;Hal;;;\nNOTE:  \nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:e1\nN:Ives;Ida;;;\nEMAIL:ida@x.org\nEMAIL:ida@x.org\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:e2\nN:Jett;Jay;;;\nEMAIL:jay@x.org\nEMAIL:jay@x.org\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:p1\nN:Kerr;Kay;;;\nTEL:+1 555 0101\nTEL:+1 555 0101\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:p2\nN:Lamb;Liv;;;\nTEL:+1 555 0102\nTEL:+1 555 0102\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:d1\nN:Lee;Ann;;;\nEMAIL:ann@x.org\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:d2\nN:Lee;Ann;;;\nTEL:+1 555 0100\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:d3\nN:Fox;Tom;;;\nEMAIL:tom@x.org\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:d4\nN:Fox;Tom;;;\nURL:https://tom.example\nEND:VCARD\n");
  // The whole store: every row's unique id and values, in store order.
  auto stored = [&] {
    auto book = ABAddressBook::open(store_);
    std::vector<std::pair<std::string, ABPersonData>> rows;
    for (const auto& person : book->people()) rows.emplace_back(person->uniqueId(), *person->snapshot());
    return rows;
  };
  const auto imported = stored();
  const std::vector<std::pair<std::string, std::string>> fixes = {
      {"Unusual suffix", "Remove the suffix"},
      {"Unusual title", "Remove the title"},
      {"Incomplete name", "Use \"???\" instead of the empty name"},
      {"Spacing in the first name", "Remove the space"},
      {"Note with spacing only", "Delete the blank property"},
      {"Duplicate email address", "Delete the duplicate property"},
      {"Duplicate phone number", "Delete the duplicate property"},
      {"Duplicate contacts", "Merge contacts"},
  };
  for (const auto& [condition, option] : fixes) {
    ProgramRun fix = rolvane({"fix", "--condition", condition, "--option", option, "--yes"});
    ASSERT_EQ(fix.status, 0) << condition << ": " << fix.out;
    EXPECT_NE(fix.out.find("Fixed 2 finding(s)"), std::string::npos) << condition << ": " << fix.out;
  }
  const auto fixed = stored();
  ASSERT_EQ(fixed.size(), imported.size() - 2);

  auto history = json({"history", "--json"});
  ASSERT_EQ(history.size(), 9u) << history.dump(1);
  EXPECT_EQ(history[0]["description"], "Merged 2 groups of duplicate contacts");
  EXPECT_EQ(history[0]["persons"], 4) << "two kept members changed, two removed";
  EXPECT_EQ(history[7]["description"], "Remove the suffix: 2 findings of \u201CUnusual Suffix\u201D");
  // History lists every contact of a change.
  auto contacts = json({"history", "--change", std::to_string(history[0]["id"].get<int>()), "--json"});
  ASSERT_EQ(contacts.size(), 4u) << contacts.dump(1);
  std::multiset<std::string> kinds;
  for (const auto& contact : contacts) kinds.insert(contact["change"].get<std::string>());
  EXPECT_EQ(kinds, (std::multiset<std::string>{"changed", "changed", "removed", "removed"}));

  for (int i = 0; i < 8; ++i) {
    ProgramRun undo = rolvane({"undo"});
    ASSERT_EQ(undo.status, 0) << undo.out;
  }
  EXPECT_EQ(stored(), imported) << "eight undos give back the import exactly";
  EXPECT_NE(rolvane({"undo"}).out.find("Imported 18 contacts"), std::string::npos)
      << "the import is the only change left";
  ASSERT_EQ(rolvane({"redo"}).status, 0);  // the import, undone just now
  for (int i = 0; i < 8; ++i) {
    ProgramRun redo = rolvane({"redo"});
    ASSERT_EQ(redo.status, 0) << redo.out;
  }
  EXPECT_EQ(stored(), fixed) << "eight redos give back the fixed store";

  // A later change to a contact of a Fix All refuses its redo, naming the contact.
  ASSERT_EQ(rolvane({"undo", "--to", std::to_string(history[7]["id"].get<int>())}).status, 0);
  EXPECT_EQ(stored(), imported);
  ProgramRun edit = rolvane({"edit", "--uid", "s1", "--key", "Nickname", "--value", "Bobby"});
  ASSERT_EQ(edit.status, 0) << edit.out;
  ProgramRun refused = rolvane({"redo"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("changed the same contacts (Bob Ray); nothing was changed"), std::string::npos)
      << refused.out;
}

// `rolvane merge`: the plan as JSON without saving (its defaults are the automatic merge's), then the
// user's choices saved as one change set under the kept member's id.
TEST_F(HistoryCommandTest, MergeAsTheUserChooses) {
  importCards("work.vcf",
              "BEGIN:VCARD\nVERSION:3.0\nUID:a\nN:Lee;Ann;;;\nORG:Gringotts Labs AG;Marketing\n"
              "EMAIL;TYPE=HOME:ann@home.example\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:b\nN:Lee;Ann;;;\nORG:Blue Studios LLC\nTITLE:Designer\n"
              "EMAIL;TYPE=WORK:ann@work.example\nEND:VCARD\n"
              "BEGIN:VCARD\nVERSION:3.0\nUID:c\nN:Ray;Cat;;;\nEND:VCARD\n");
  auto imported = persons();
  auto plan = json({"merge", "--uid", "a", "--uid", "b", "--json"});
  EXPECT_EQ(persons(), imported) << "--json saves nothing";
  EXPECT_EQ(plan["keeps"], "b");
  EXPECT_EQ(plan["result"]["uid"], "b");
  EXPECT_EQ(plan["result"]["Company"], "Blue Studios LLC");
  EXPECT_FALSE(plan["result"].contains("Department")) << "the department stays with its company";
  EXPECT_EQ(plan["result"]["Note"], "Company: Gringotts Labs AG\nDepartment: Marketing");
  ASSERT_EQ(plan["lists"].size(), 2u);

  ProgramRun ask = rolvane({"merge", "--uid", "a", "--uid", "b"});
  EXPECT_EQ(ask.status, 2);
  EXPECT_NE(ask.out.find("--yes"), std::string::npos);
  auto chosen =
      json({"merge", "--uid", "a", "--uid", "b", "--take", "Company=a", "--drop", "ann@work.example", "--json"});
  EXPECT_EQ(chosen["result"]["Company"], "Gringotts Labs AG");
  EXPECT_EQ(chosen["result"]["Department"], "Marketing");
  EXPECT_EQ(chosen["result"]["Job Title"], "Designer");
  EXPECT_EQ(chosen["result"]["E-mail"], (nlohmann::ordered_json::array({"ann@home.example"})));
  ProgramRun merged = rolvane({"merge", "--uid", "a", "--uid", "b", "--take", "Company=a", "--yes"});
  ASSERT_EQ(merged.status, 0) << merged.out;
  EXPECT_EQ(merged.out, "deleted Ann Lee <a>\nmerged 2 contacts into Ann Lee <b>\n");
  auto after = persons();
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(after[0].first, "b");
  auto history = json({"history", "--json"});
  EXPECT_EQ(history[0]["description"], "Merged 2 contacts into Ann Lee");
  ASSERT_EQ(rolvane({"undo"}).status, 0);
  EXPECT_EQ(persons(), imported) << "every member back under its own id";
}
