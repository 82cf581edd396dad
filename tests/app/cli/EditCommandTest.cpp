#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

class EditCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("rolvane-edit-" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    store_ = (folder_ / "book.sqlite").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // Adds a person with these values and saves; returns its unique id.
  std::string add(const std::vector<std::pair<std::string, ABValue>>& values) {
    auto book = ABAddressBook::open(store_);
    auto person = ABPerson::create();
    for (const auto& [property, value] : values) person->setValueForProperty(value, property);
    book->addRecord(person);
    book->save();
    return person->uniqueId();
  }

  ProgramRun edit(const std::string& uid, const std::string& key, const std::string& value) {
    return runProgram(ROLVANE_PROGRAM, {"--store", store_, "edit", "--uid", uid, "--key", key, "--value", value});
  }

  // The person as the store file holds it now.
  ABPersonData stored(const std::string& uid) {
    auto book = ABAddressBook::open(store_);
    auto person = book->recordForUniqueId(uid);
    return person ? *person->snapshot() : ABPersonData();
  }

  std::vector<ABMultiValue::Entry> storedList(const std::string& uid, const std::string& property) {
    ABPersonData data = stored(uid);
    const ABMultiValue* values = data.multiValue(property);
    return values ? values->entries() : std::vector<ABMultiValue::Entry>{};
  }

  std::filesystem::path folder_;
  std::string store_;
};

ABMultiValue list(std::initializer_list<std::pair<std::string, ABMultiValueItem>> entries) {
  ABMultiValue values;
  for (const auto& [label, value] : entries) values.addValueWithLabel(value, label);
  return values;
}

using Entries = std::vector<ABMultiValue::Entry>;

}  // namespace

TEST_F(EditCommandTest, AnEditChangesTheOneEntryTheTableShowsAndPrintsTheNewValue) {
  std::string uid =
      add({{kABFirstNameProperty, std::string("Ann")},
           {kABEmailProperty, list({{kABHomeLabel, std::string("a@x.org")},
                                    {kABHomeLabel, std::string("b@x.org")},
                                    {kABHomeLabel, std::string("c@x.org")},
                                    {kABHomeLabel, std::string("d@x.org")},
                                    {kABHomeLabel, std::string("e@x.org")},
                                    {kABOtherLabel, std::string("other@x.org")},
                                    {"Club", std::string("club@x.org")}})},
           {kABAddressProperty,
            list({{kABHomeLabel, ABDictionary{{kABAddressStreetKey, "1 Main"}, {kABAddressCityKey, "Oslo"}}},
                  {kABHomeLabel, ABDictionary{{kABAddressStreetKey, "2 Side"}, {kABAddressCityKey, "Bergen"}}}})},
           {kABSocialProfileProperty,
            list({{kABHomeLabel,
                   ABDictionary{{kABSocialProfileServiceKey, "Twitter"}, {kABSocialProfileUsernameKey, "first"}}},
                  {kABHomeLabel, ABDictionary{{kABSocialProfileServiceKey, "Twitter"},
                                              {kABSocialProfileUsernameKey, "second"},
                                              {kABSocialProfileURLKey, "https://x.com/second"}}}})}});

  ProgramRun home = edit(uid, "Home Email", "new@x.org");
  EXPECT_EQ(home.status, 0) << home.out;
  EXPECT_EQ(home.out, "new@x.org\n");
  ProgramRun other = edit(uid, "Other Email", "club@y.org");
  EXPECT_EQ(other.status, 0) << other.out;
  EXPECT_EQ(storedList(uid, kABEmailProperty), (Entries{{kABHomeLabel, std::string("a@x.org")},
                                                        {kABHomeLabel, std::string("b@x.org")},
                                                        {kABHomeLabel, std::string("c@x.org")},
                                                        {kABHomeLabel, std::string("d@x.org")},
                                                        {kABHomeLabel, std::string("new@x.org")},
                                                        {kABOtherLabel, std::string("other@x.org")},
                                                        {"Club", std::string("club@y.org")}}));

  ProgramRun city = edit(uid, "Home City", "Tromsø");
  EXPECT_EQ(city.status, 0) << city.out;
  EXPECT_EQ(city.out, "Tromsø\n");
  EXPECT_EQ(storedList(uid, kABAddressProperty),
            (Entries{{kABHomeLabel, ABDictionary{{kABAddressStreetKey, "1 Main"}, {kABAddressCityKey, "Oslo"}}},
                     {kABHomeLabel, ABDictionary{{kABAddressStreetKey, "2 Side"}, {kABAddressCityKey, "Tromsø"}}}}));

  ProgramRun twitter = edit(uid, "Twitter", "third");
  EXPECT_EQ(twitter.status, 0) << twitter.out;
  EXPECT_EQ(storedList(uid, kABSocialProfileProperty),
            (Entries{{kABHomeLabel,
                      ABDictionary{{kABSocialProfileServiceKey, "Twitter"}, {kABSocialProfileUsernameKey, "first"}}},
                     {kABHomeLabel, ABDictionary{{kABSocialProfileServiceKey, "Twitter"},
                                                 {kABSocialProfileUsernameKey, "third"},
                                                 {kABSocialProfileURLKey, "https://x.com/second"}}}}));
}

TEST_F(EditCommandTest, RefusedEditsSayWhyInOneLineAndChangeNothing) {
  std::string uid = add({{kABFirstNameProperty, std::string("Ann")},
                         {kABBirthdayProperty, ABDate{1980, 5, 6}},
                         {kABPhoneProperty, list({{kABPhoneMobileLabel, std::string("123")}})}});
  const ABPersonData before = stored(uid);
  struct Refusal {
    std::string uid, key, value, says;
  };
  for (const Refusal& r :
       {Refusal{"no-such-uid", "First Name", "Bo", "no-such-uid"}, Refusal{uid, "Shoe Size", "44", "Shoe Size"},
        Refusal{uid, "FullName", "AnnLee", "FullName"}, Refusal{uid, "Birthday", "next Tuesday", "YYYY-MM-DD"},
        Refusal{uid, "Birthday", "1980-02-30", "YYYY-MM-DD"}}) {
    SCOPED_TRACE(r.key + " = " + r.value);
    ProgramRun run = edit(r.uid, r.key, r.value);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find(r.says), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    EXPECT_EQ(stored(uid), before);
  }
  ProgramRun missing = runProgram(ROLVANE_PROGRAM, {"--store", store_, "edit", "--uid", uid, "--key", "Mobile"});
  EXPECT_NE(missing.status, 0);
  EXPECT_NE(missing.out.find("--value"), std::string::npos) << missing.out;

  ProgramRun birthday = edit(uid, "Birthday", "1981-07-08");
  EXPECT_EQ(birthday.status, 0) << birthday.out;
  EXPECT_EQ(birthday.out, "1981-07-08\n");
  EXPECT_EQ(*stored(uid).date(kABBirthdayProperty), (ABDate{1981, 7, 8}));
}

TEST_F(EditCommandTest, EmptyTextRemovesTheShownEntryAndCreatesNothingWhereNothingWasShown) {
  std::string uid = add(
      {{kABFirstNameProperty, std::string("Ann")},
       {kABPhoneProperty, list({{kABPhoneMobileLabel, std::string("111")}, {kABPhoneWorkLabel, std::string("222")}})}});
  ProgramRun mobile = edit(uid, "Mobile", "");
  EXPECT_EQ(mobile.status, 0) << mobile.out;
  EXPECT_EQ(mobile.out, "\n");
  EXPECT_EQ(storedList(uid, kABPhoneProperty), (Entries{{kABPhoneWorkLabel, std::string("222")}}));
  for (const char* key : {"Pager", "Home Street", "Home Email", "Nickname", "Home AIM", "Twitter"}) {
    ProgramRun empty = edit(uid, key, "");
    EXPECT_EQ(empty.status, 0) << key << ": " << empty.out;
  }
  ABPersonData data = stored(uid);
  EXPECT_EQ(storedList(uid, kABPhoneProperty), (Entries{{kABPhoneWorkLabel, std::string("222")}}));
  for (const std::string* property : {&kABAddressProperty, &kABEmailProperty, &kABNicknameProperty,
                                      &kABInstantMessageProperty, &kABSocialProfileProperty})
    EXPECT_FALSE(data.find(*property)) << *property;
}

// Another program holds the store's write lock for a while (a long import, say), as SQLite lets one
// writer at a time; it lets go after `hold`.
class HeldStore {
 public:
  HeldStore(const std::string& path, std::chrono::milliseconds hold) {
    EXPECT_EQ(sqlite3_open(path.c_str(), &db_), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    release_ = std::thread([this, hold] {
      std::this_thread::sleep_for(hold);
      sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    });
  }
  ~HeldStore() {
    release_.join();
    sqlite3_close(db_);
  }

 private:
  sqlite3* db_ = nullptr;
  std::thread release_;
};

// A command that finds the store held waits for it, says so after a second, and saves once it is
// free; held longer than ROLVANE_LOCK_WAIT allows, it gives up in one more line and saves nothing.
TEST_F(EditCommandTest, AStoreHeldByAnotherProgramIsWaitedForWithWordAndThenGivenUp) {
  const std::string uid = add({{kABFirstNameProperty, std::string("Ann")}});
  const std::string waiting = "waiting for another program using the address book";
  {
    HeldStore held(store_, std::chrono::milliseconds(2500));
    setenv("ROLVANE_LOCK_WAIT", "30", 1);
    ProgramRun run = edit(uid, "First Name", "Bo");
    EXPECT_EQ(run.status, 0) << run.out;
    EXPECT_NE(run.out.find(waiting), std::string::npos) << run.out;
  }
  EXPECT_EQ(*stored(uid).string(kABFirstNameProperty), "Bo");
  {
    HeldStore held(store_, std::chrono::milliseconds(5000));
    setenv("ROLVANE_LOCK_WAIT", "2", 1);
    ProgramRun run = edit(uid, "First Name", "Cy");
    EXPECT_NE(run.status, 0) << run.out;
    EXPECT_NE(run.out.find(waiting), std::string::npos) << run.out;
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 2) << run.out;
  }
  {
    // Linking a source writes to the same file by the same rule, in the same words.
    const std::string cards = (folder_ / "cards").string();
    std::filesystem::create_directories(cards);
    HeldStore held(store_, std::chrono::milliseconds(5000));
    ProgramRun run = runProgram(ROLVANE_PROGRAM, {"--store", store_, "source", "add", "cards", "--vdir", cards});
    EXPECT_NE(run.status, 0) << run.out;
    EXPECT_NE(run.out.find(waiting), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("in use by another program (waited 2 s)"), std::string::npos) << run.out;
  }
  unsetenv("ROLVANE_LOCK_WAIT");
  EXPECT_EQ(*stored(uid).string(kABFirstNameProperty), "Bo");
}

// Editing many contacts at once: every change printed, one change set that one undo takes back.
TEST_F(EditCommandTest, ManyContactsAreEditedAtOnceAsOneChange) {
  const std::string ann = add({{kABFirstNameProperty, std::string("Ann")},
                               {kABLastNameProperty, std::string("Lee")},
                               {kABJobTitleProperty, std::string("Sales Lead")}});
  const std::string bob = add({{kABFirstNameProperty, std::string("Bob")},
                               {kABLastNameProperty, std::string("Lee")},
                               {kABJobTitleProperty, std::string("Sales Rep")}});
  const std::string cat = add({{kABFirstNameProperty, std::string("Cat")}, {kABLastNameProperty, std::string("Ray")}});
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store_});
    return runProgram(ROLVANE_PROGRAM, std::move(args));
  };
  ProgramRun set = run({"edit", "--uid", ann, "--uid", bob, "--key", "Company", "--value", "Acme"});
  ASSERT_EQ(set.status, 0) << set.out;
  EXPECT_EQ(set.out, "Ann Lee <" + ann + ">: Company (nothing) -> \"Acme\"\nBob Lee <" + bob +
                         ">: Company (nothing) -> \"Acme\"\nChanged 2 contacts\n");
  EXPECT_EQ(*stored(bob).string(kABOrganizationProperty), "Acme");
  EXPECT_FALSE(stored(cat).string(kABOrganizationProperty));

  ProgramRun replace =
      run({"edit", "--all", "--key", "Job Title", "--replace", "Sales (\\w+)", "--with", "$1 of Sales", "--regex"});
  ASSERT_EQ(replace.status, 0) << replace.out;
  EXPECT_EQ(replace.out, "Ann Lee <" + ann + ">: Job Title \"Sales Lead\" -> \"Lead of Sales\"\nBob Lee <" + bob +
                             ">: Job Title \"Sales Rep\" -> \"Rep of Sales\"\nChanged 2 contacts\n");
  ProgramRun plain = run({"edit", "--all", "--key", "Last Name", "--replace", "Lee", "--with", "Li"});
  ASSERT_EQ(plain.status, 0) << plain.out;
  EXPECT_EQ(*stored(ann).string(kABLastNameProperty), "Li");
  EXPECT_EQ(*stored(cat).string(kABLastNameProperty), "Ray");

  ProgramRun history = run({"history"});
  EXPECT_NE(history.out.find("Replaced \u201CLee\u201D in the Last Name of 2 contacts  (2 contacts)"),
            std::string::npos)
      << history.out;
  ASSERT_EQ(run({"undo"}).status, 0);
  ASSERT_EQ(run({"undo"}).status, 0);
  EXPECT_EQ(*stored(ann).string(kABJobTitleProperty), "Sales Lead");
  EXPECT_EQ(*stored(bob).string(kABLastNameProperty), "Lee");
  EXPECT_EQ(*stored(bob).string(kABOrganizationProperty), "Acme") << "the first edit is a change of its own";

  ProgramRun bad = run({"edit", "--all", "--key", "Job Title", "--replace", "(", "--with", "x", "--regex"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.out.find("is not a valid regular expression"), std::string::npos) << bad.out;
  EXPECT_EQ(run({"edit", "--all", "--uid", ann, "--key", "Company", "--value", "x"}).status, 2);
}

namespace {

// The REV lines of a stored person's card.
std::vector<std::string> revisions(const ABPersonData& person) {
  std::vector<std::string> found;
  const std::string* kept = person.string(kABVCardKeptLinesProperty);
  for (std::size_t at = 0; kept && at < kept->size();) {
    const std::size_t end = std::min(kept->find('\n', at), kept->size());
    if (kept->compare(at, 4, "REV:") == 0) found.push_back(kept->substr(at + 4, end - at - 4));
    at = end + 1;
  }
  return found;
}

}  // namespace

// A card that changes says so with a new REV, whoever changed it here (an edit, a merge); cards
// taken from files again keep the files' revisions; a card without one is given none.
TEST_F(EditCommandTest, AChangedCardGetsANewRevisionAndAMergedOneHasOne) {
  auto card = [](const std::string& uid, const std::string& name, const std::string& extra) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name + ";;;\r\nFN:x\r\n" + extra + "UID:" + uid + "\r\nEND:VCARD\r\n";
  };
  const std::filesystem::path file = folder_ / "book.vcf";
  const std::string bob = card("bob", "Ray;Bob", "REV:2020-01-01T00:00:00Z\r\n");
  std::ofstream(file, std::ios::binary) << card("ann-1", "Lee;Ann", "EMAIL:a@x.org\r\nREV:20190101T000000Z\r\n")
                                        << card("ann-2", "Lee;Ann", "EMAIL:a@y.org\r\nREV:20190202T000000Z\r\n") << bob
                                        << card("cid", "Orr;Cid", "");
  auto run = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store_});
    return runProgram(ROLVANE_PROGRAM, std::move(args));
  };
  ASSERT_EQ(run({"import", file.string()}).status, 0);
  EXPECT_EQ(revisions(stored("bob")), std::vector<std::string>{"2020-01-01T00:00:00Z"});

  ASSERT_EQ(run({"edit", "--uid", "bob", "--uid", "cid", "--key", "Job Title", "--value", "Pilot"}).status, 0);
  const std::vector<std::string> edited = revisions(stored("bob"));
  ASSERT_EQ(edited.size(), 1u);
  EXPECT_EQ(edited[0].size(), 16u) << edited[0];
  EXPECT_GT(edited[0], "20261201T000000Z");
  EXPECT_TRUE(revisions(stored("cid")).empty());

  ProgramRun merge = run({"fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(merge.status, 0) << merge.out;
  const std::vector<std::string> merged = revisions(stored("ann-2"));
  ASSERT_EQ(merged.size(), 1u) << "one card, one revision";
  EXPECT_GT(merged[0], "20261201T000000Z");

  // Undone, the card says its old revision again; updated from the file, the file's.
  ASSERT_EQ(run({"undo"}).status, 0);
  EXPECT_EQ(revisions(stored("ann-2")), std::vector<std::string>{"20190202T000000Z"});
  std::ofstream(file, std::ios::binary | std::ios::trunc) << card("bob", "Ray;Robert", "REV:20250505T000000Z\r\n");
  ProgramRun update = run({"import", "--update", file.string()});
  ASSERT_EQ(update.status, 0) << update.out;
  EXPECT_EQ(revisions(stored("bob")), std::vector<std::string>{"20250505T000000Z"});
}
