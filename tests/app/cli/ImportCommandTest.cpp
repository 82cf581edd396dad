// rolvane import: files added to the store, malformed files refused with the file and line named
// and nothing changed, and --update replacing contacts of the same unique id in their place.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "tests/support/Corpus.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/StoreRows.h"

namespace {

class ImportCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("rolvane-import-" + std::to_string(getpid()) +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    store_ = (folder_ / "store.sqlite").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ProgramRun import(const std::string& storePath, std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", storePath, "import"});
    return runProgram(ROLVANE_PROGRAM, args);
  }

  std::filesystem::path folder_;
  std::string store_;
  const std::string corpus_ = std::string(ROLVANE_CORPUS_DIR) + "/vcard/";
};

}  // namespace

TEST_F(ImportCommandTest, ImportsAndRefusesMalformedFilesWithoutChangingTheStore) {
  ROLVANE_SKIP_WITHOUT_CORPUS();
  ProgramRun run = import(store_, {corpus_ + "ezvcard_gmail-list.vcf"});
  EXPECT_EQ(run.status, 0) << run.out;
  run = import(store_, {corpus_ + "fkvcards_v3.vcf", corpus_ + "malformed/eds_9.vcf"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("eds_9.vcf:"), std::string::npos) << run.out;
  auto book = ABAddressBook::open(store_);
  ASSERT_TRUE(book);
  EXPECT_EQ(book->count(), 3u);

  // A refused import makes no store where there was none.
  const auto fresh = folder_ / "fresh" / "store.sqlite";
  EXPECT_NE(import(fresh.string(), {corpus_ + "malformed/eds_7.vcf"}).status, 0);
  run = import(fresh.string(), {(folder_ / "missing.vcf").string()});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("missing.vcf: cannot read the file (no such file)"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(fresh.parent_path()));
}

// An import that makes a new store builds it whole: the store then holds the same tables, rows and
// history as a store that existed empty before the same import, in the same journal mode.
TEST_F(ImportCommandTest, ANewStoreHoldsWhatAnImportIntoAnEmptyStoreWrites) {
  const auto cards = folder_ / "cards.vcf";
  {
    std::ofstream out(cards);
    for (int i = 0; i < 300; ++i)
      out << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:card-" << i << "\r\nN:Name" << i << ";Ann;;;\r\nFN:Ann Name" << i
          << "\r\nTEL;TYPE=CELL:+1 555 01" << i << "\r\nEND:VCARD\r\n";
  }
  const std::string built = (folder_ / "built.sqlite").string(), existing = (folder_ / "existing.sqlite").string();
  ASSERT_TRUE(ABAddressBook::open(existing));
  for (const auto& store : {built, existing}) {
    ProgramRun run = import(store, {cards.string()});
    ASSERT_EQ(run.status, 0) << run.out;
  }
  for (const char* sql : {"SELECT type, name, tbl_name, coalesce(sql, '') FROM sqlite_master ORDER BY name",
                          "SELECT id, uid, ord, hex(data), version FROM persons ORDER BY id",
                          "SELECT id, change_id, uid, before_ord, before, gone, after_hash FROM change_persons",
                          "SELECT id, description, persons, first_row, last_row, undone FROM changes",
                          "SELECT * FROM store_info ORDER BY name", "PRAGMA journal_mode", "PRAGMA page_size",
                          "PRAGMA user_version", "PRAGMA application_id"}) {
    EXPECT_EQ(rowsOf(built, sql), rowsOf(existing, sql)) << sql;
  }
  EXPECT_EQ(rowsOf(built, "SELECT count(*) FROM persons"), std::vector<std::string>{"300"});
  EXPECT_EQ(rowsOf(built, "PRAGMA integrity_check"), std::vector<std::string>{"ok"});
}

// The contacts go into the store as the file is read: a card that is malformed near the end of a
// large file (after pieces of it were written) leaves the store as it was, and a store the import
// made is removed again.
TEST_F(ImportCommandTest, AMalformedCardLateInALargeFileLeavesTheStoreAsItWas) {
  std::string cards;
  for (int i = 0; cards.size() < (std::size_t{5} << 20); ++i)
    cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Last" + std::to_string(i) + ";First;;;\r\nNOTE:" + std::string(200, 'x') +
             "\r\nEND:VCARD\r\n";
  const auto good = folder_ / "good.vcf", bad = folder_ / "bad.vcf";
  std::ofstream(good, std::ios::binary) << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Kept;Ann;;;\r\nEND:VCARD\r\n";
  std::ofstream(bad, std::ios::binary) << cards
                                       << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Broken;;;;\r\nNOTE\r\nEND:VCARD\r\n";
  ASSERT_EQ(import(store_, {good.string()}).status, 0);

  ProgramRun run = import(store_, {bad.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.out.find("bad.vcf:"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("line is not a property"), std::string::npos) << run.out;
  {
    auto book = ABAddressBook::open(store_);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->count(), 1u);
    std::vector<ABChangeSet> history;
    ASSERT_TRUE(book->changeHistory(history));
    EXPECT_EQ(history.size(), 1u);
  }
  const auto fresh = folder_ / "new" / "folder" / "store.sqlite";
  EXPECT_EQ(import(fresh.string(), {bad.string()}).status, 1);
  EXPECT_FALSE(std::filesystem::exists(folder_ / "new"));

  // The same file without its last card is imported whole.
  std::ofstream(bad, std::ios::binary) << cards;
  run = import(fresh.string(), {bad.string(), good.string()});
  ASSERT_EQ(run.status, 0) << run.out;
  auto book = ABAddressBook::open(fresh);
  ASSERT_TRUE(book);
  const std::size_t count = book->count();
  EXPECT_GT(count, 15000u);
  EXPECT_EQ(book->people().back()->stringForProperty("Last").value_or(""), "Kept");
  EXPECT_NE(run.out.find("Imported " + std::to_string(count - 1) + " contacts from " + bad.string()), std::string::npos)
      << run.out;
}

// A file larger than all the memory the program may have (here: a card whose note runs on for a
// gigabyte, most of it a hole in the file) is refused with one line, never a crash, and the store is
// not made.
TEST_F(ImportCommandTest, AFileLargerThanTheMemoryAllowedIsRefusedWithOneLine) {
  constexpr std::size_t kLimit = std::size_t{320} << 20;
  const auto small = folder_ / "small.vcf", huge = folder_ / "huge.vcf";
  std::string cards;
  for (int i = 0; i < 2000; ++i)
    cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Last" + std::to_string(i) + ";First;;;\r\nEND:VCARD\r\n";
  std::ofstream(small, std::ios::binary) << cards;
  std::ofstream(huge, std::ios::binary) << cards << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Huge;Note;;;\r\nNOTE:";
  std::filesystem::resize_file(huge, std::size_t{1} << 30);

  // The limit leaves room for an import of a usual size.
  const auto other = (folder_ / "other.sqlite").string();
  ProgramRun run = runProgram(ROLVANE_PROGRAM, {"--store", other, "import", small.string()}, kLimit);
  ASSERT_EQ(run.status, 0) << run.out;

  run = runProgram(ROLVANE_PROGRAM, {"--store", store_, "import", huge.string()}, kLimit);
  EXPECT_EQ(run.status, 1) << run.out;
  EXPECT_EQ(run.out, "rolvane import: " + huge.string() +
                         ": the file does not fit into the memory available (memory ran out after reading 2,000 "
                         "contacts)\n");
  EXPECT_FALSE(std::filesystem::exists(store_));
}

// A card whose UID is in the store replaces that contact's values in its place; the others are
// added. Without --update, the same file adds new contacts.
TEST_F(ImportCommandTest, UpdateReplacesContactsOfTheSameUidInTheirPlace) {
  auto card = [](const std::string& uid, const std::string& name) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\nN:" + name + ";;;;\r\nUID:" + uid + "\r\nEND:VCARD\r\n";
  };
  std::ofstream(folder_ / "first.vcf") << card("u1", "One") << card("u2", "Two");
  std::ofstream(folder_ / "second.vcf") << card("u1", "One Changed") << card("u3", "Three");
  ASSERT_EQ(import(store_, {(folder_ / "first.vcf").string()}).status, 0);
  ProgramRun run = import(store_, {"--update", (folder_ / "second.vcf").string()});
  ASSERT_EQ(run.status, 0) << run.out;
  {
    auto book = ABAddressBook::open(store_);
    ASSERT_TRUE(book);
    auto people = book->people();
    ASSERT_EQ(people.size(), 3u);
    EXPECT_EQ(people[0]->uniqueId(), "u1");
    EXPECT_EQ(people[0]->stringForProperty("Last").value_or(""), "One Changed");
    EXPECT_EQ(people[1]->uniqueId(), "u2");
    EXPECT_EQ(people[2]->uniqueId(), "u3");
  }
  ASSERT_EQ(import(store_, {(folder_ / "second.vcf").string()}).status, 0);
  auto book = ABAddressBook::open(store_);
  ASSERT_TRUE(book);
  EXPECT_EQ(book->count(), 5u);
}

// The command line encodes each contact where its card is read, the window's import builds the
// persons and saves them: the store holds the same values either way (every card of the corpus,
// pieces of a larger file, a UTF-16 file). A card whose id the store has, or an earlier card of the
// import gave, is stored with a new id that its values hold too.
TEST_F(ImportCommandTest, ContactsEncodedWhereTheyAreReadHoldWhatASaveOfTheSameCardsHolds) {
  ROLVANE_SKIP_WITHOUT_CORPUS();
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(corpus_))
    if (entry.path().extension() == ".vcf") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  ASSERT_GT(files.size(), 20u);
  const auto ids = folder_ / "ids.vcf", many = folder_ / "many.vcf", wide = folder_ / "wide.vcf";
  auto card = [](const std::string& uid, const std::string& name) {
    return "BEGIN:VCARD\r\nVERSION:3.0\r\n" + (uid.empty() ? "" : "UID:" + uid + "\r\n") + "N:" + name +
           ";Ann;;;\r\nEMAIL;TYPE=HOME,pref:" + name +
           "@example.org\r\nitem1.TEL:+1 555 0100\r\n"
           "item1.X-ABLabel:Boat\r\nNOTE:" +
           name + "\\nsecond line\r\nEND:VCARD\r\n";
  };
  std::ofstream(ids, std::ios::binary) << card("in-store", "Stored");
  {
    std::ofstream out(many, std::ios::binary);
    for (int i = 0; i < 20000; ++i)
      out << card(i % 3 == 0 ? "" : "card-" + std::to_string(i), "Name" + std::to_string(i));
    out << card("in-store", "Taken") << card("card-1", "Twice") << card("", "Last");
  }
  {
    std::string text = card("wide", "Wide"), utf16 = "\xFF\xFE";
    for (char c : text) utf16 += std::string{c, '\0'};
    std::ofstream(wide, std::ios::binary) << utf16;
  }
  files.push_back(many.string());
  files.push_back(wide.string());

  const std::string written = (folder_ / "written.sqlite").string(), saved = (folder_ / "saved.sqlite").string();
  for (const auto& store : {written, saved}) ASSERT_EQ(import(store, {ids.string()}).status, 0);
  std::vector<std::string> args = files;
  ProgramRun run = import(written, args);
  ASSERT_EQ(run.status, 0) << run.out;
  {
    auto book = ABAddressBook::open(saved);
    ASSERT_TRUE(book);
    std::vector<std::filesystem::path> paths(files.begin(), files.end());
    VCardBookImportResult added = importVCardFilesIntoAddressBook(*book, paths);
    ASSERT_TRUE(added.ok()) << added.error;
    ASSERT_TRUE(book->save());
  }

  auto writtenBook = ABAddressBook::open(written), savedBook = ABAddressBook::open(saved);
  ASSERT_TRUE(writtenBook && savedBook);
  auto writtenPeople = writtenBook->people(), savedPeople = savedBook->people();
  ASSERT_EQ(writtenPeople.size(), savedPeople.size());
  ASSERT_GT(writtenPeople.size(), 20030u);
  std::set<std::string> uids;
  for (std::size_t i = 0; i < writtenPeople.size(); ++i) {
    ABPersonData values = *writtenPeople[i]->snapshot(), expected = *savedPeople[i]->snapshot();
    const std::string* uid = values.string(kABUIDProperty);
    ASSERT_TRUE(uid) << i;
    EXPECT_EQ(*uid, writtenPeople[i]->uniqueId()) << i;
    uids.insert(*uid);
    // Ids drawn at random differ; the ids the cards gave are the same.
    if (savedPeople[i]->uniqueId().rfind("card-", 0) == 0) {
      EXPECT_EQ(*uid, savedPeople[i]->uniqueId()) << i;
    }
    values.remove(kABUIDProperty);
    expected.remove(kABUIDProperty);
    EXPECT_TRUE(values == expected) << i << ": " << writtenPeople[i]->vCardRepresentation() << "\nsaved:\n"
                                    << savedPeople[i]->vCardRepresentation();
  }
  EXPECT_EQ(uids.size(), writtenPeople.size());
  auto named = [&](const std::string& last) {
    for (const auto& person : writtenPeople)
      if (person->stringForProperty(kABLastNameProperty).value_or("") == last) return person->uniqueId();
    return std::string();
  };
  EXPECT_EQ(named("Stored"), "in-store");
  EXPECT_EQ(named("Name1"), "card-1");
  for (const char* last : {"Taken", "Twice", "Last"}) {
    EXPECT_EQ(named(last).size(), 36u) << last;
  }
}

// Values that are not UTF-8 are read by the rule and the import says how many; --charset chooses the
// last character set of the rule; a value no character set fits is refused at its line.
TEST_F(ImportCommandTest, LegacyTextIsReadByTheRuleAndTheImportSaysSo) {
  const auto latin = folder_ / "latin.vcf";
  std::ofstream(latin, std::ios::binary) << "BEGIN:VCARD\r\nVERSION:2.1\r\nN:N\xFC\xDFlebaum;S\xF6ren;;;\r\n"
                                            "EMAIL:blabl\xE4@blub.com\r\nEND:VCARD\r\n"
                                            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Plain;Ann;;;\r\nEND:VCARD\r\n";
  ProgramRun run = import(store_, {latin.string()});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "Imported 2 contacts from " + latin.string() +
                         "\n2 values of 1 contact were not UTF-8 and were read as Windows-1252\n");
  auto book = ABAddressBook::open(store_);
  ASSERT_TRUE(book);
  EXPECT_EQ(book->people()[0]->stringForProperty(kABLastNameProperty).value_or(""),
            "N\xC3\xBC\xC3\x9F"
            "lebaum");
  const auto greek = folder_ / "greek.vcf";
  std::ofstream(greek, std::ios::binary) << "BEGIN:VCARD\r\nVERSION:2.1\r\nN:\xC1\xE8\xDE\xED\xE1;;;;\r\nEND:VCARD\r\n";
  run = import(store_, {"--charset", "ISO-8859-7", greek.string()});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("1 value of 1 contact was not UTF-8 and was read as ISO-8859-7"), std::string::npos)
      << run.out;
  book = ABAddressBook::open(store_);
  EXPECT_EQ(book->people()[2]->stringForProperty(kABLastNameProperty).value_or(""),
            "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1");
  EXPECT_EQ(import(store_, {"--charset", "NO-SUCH-SET", greek.string()}).status, 2);
  // No character set fits: refused at the line, and no store made.
  const auto bad = folder_ / "bad.vcf";
  std::ofstream(bad, std::ios::binary) << "BEGIN:VCARD\r\nVERSION:2.1\r\nNOTE:ab\x81\r\nEND:VCARD\r\n";
  const auto fresh = folder_ / "fresh.sqlite";
  run = import(fresh.string(), {"--charset", "Shift_JIS", bad.string(), latin.string()});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find(bad.string() + ":3: the value of NOTE is not text in UTF-8 or Shift_JIS"), std::string::npos)
      << run.out;
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

// Every count says what was stored, added and updated; a file without a card makes nothing.
TEST_F(ImportCommandTest, CountsSayWhatWasStoredAddedAndUpdated) {
  const auto utf16 = folder_ / "utf16.vcf";
  {
    std::string text =
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u-1\r\nN:One;Ann;;;\r\nEND:VCARD\r\n"
        "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u-2\r\nN:Two;Bea;;;\r\nEND:VCARD\r\n";
    std::string bytes = "\xFF\xFE";
    for (char c : text) bytes += std::string{c, '\0'};
    std::ofstream(utf16, std::ios::binary) << bytes;
  }
  ProgramRun run = import(store_, {utf16.string()});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "Imported 2 contacts from " + utf16.string() + "\n");
  const auto again = folder_ / "again.vcf";
  std::ofstream(again) << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u-2\r\nN:Two;Beatrice;;;\r\nEND:VCARD\r\n"
                          "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:u-3\r\nN:Three;Cy;;;\r\nEND:VCARD\r\n";
  run = import(store_, {"--update", again.string()});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "Read 2 contacts from " + again.string() +
                         ": 1 updated, 1 added\nUpdated 1 contact already in the address book, added 1\n");
  // A byte order mark alone: an error, and no store.
  const auto bom = folder_ / "bom.vcf";
  std::ofstream(bom) << "\xEF\xBB\xBF";
  const auto fresh = folder_ / "fresh.sqlite";
  for (const auto& args :
       {std::vector<std::string>{bom.string()}, std::vector<std::string>{"--update", bom.string()}}) {
    run = import(fresh.string(), args);
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.out.find(bom.string() + ": holds no card"), std::string::npos) << run.out;
    EXPECT_FALSE(std::filesystem::exists(fresh));
  }
}

// Each file whole or not at all: without --skip-unreadable every unreadable file is named (not only
// the first) and nothing is imported; with it the readable files are imported, in a new store and in
// one that was there, with and without --update, and the files left out are named.
TEST_F(ImportCommandTest, EveryUnreadableFileIsNamedAndSkipUnreadableImportsTheOthers) {
  auto write = [&](const std::string& name, const std::string& text) {
    std::ofstream(folder_ / name, std::ios::binary) << text;
    return (folder_ / name).string();
  };
  const std::string good = write("good.vcf",
                                 "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nEND:VCARD\r\n"
                                 "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Ray;Bob;;;\r\nEND:VCARD\r\n");
  const std::string alsoGood = write("also.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Orr;Cy;;;\r\nEND:VCARD\r\n");
  const std::string open = write("open.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Broken;Carl;;;\r\n");
  const std::string notes = write("notes.vcf", "shopping list\r\n");
  const std::string missing = (folder_ / "missing.vcf").string();
  const std::vector<std::string> files = {good, open, alsoGood, notes, missing};
  auto named = [](const ProgramRun& run, const std::string& file) {
    return run.out.find(std::filesystem::path(file).filename().string() + ":") != std::string::npos;
  };

  for (bool existing : {false, true}) {
    SCOPED_TRACE(existing ? "into a store that is there" : "into a new store");
    const std::string store = (folder_ / (existing ? "there.sqlite" : "new.sqlite")).string();
    if (existing) {
      ASSERT_TRUE(ABAddressBook::open(store));
    }
    ProgramRun refused = import(store, files);
    EXPECT_NE(refused.status, 0);
    for (const auto& file : {open, notes, missing}) EXPECT_TRUE(named(refused, file)) << refused.out;
    EXPECT_FALSE(named(refused, good)) << refused.out;
    EXPECT_NE(refused.out.find("--skip-unreadable"), std::string::npos) << refused.out;
    if (existing)
      EXPECT_EQ(ABAddressBook::open(store)->count(), 0u);
    else
      EXPECT_FALSE(std::filesystem::exists(store));

    std::vector<std::string> skipping = files;
    skipping.insert(skipping.begin(), "--skip-unreadable");
    ProgramRun skipped = import(store, skipping);
    EXPECT_EQ(skipped.status, 0) << skipped.out;
    for (const auto& file : {open, notes, missing}) EXPECT_TRUE(named(skipped, file)) << skipped.out;
    EXPECT_NE(skipped.out.find("Imported 2 contacts from " + good), std::string::npos) << skipped.out;
    auto book = ABAddressBook::open(store);
    ASSERT_TRUE(book);
    EXPECT_EQ(book->count(), 3u);
  }

  const std::string updated = (folder_ / "updated.sqlite").string();
  ProgramRun update = import(updated, {"--update", good, notes});
  EXPECT_NE(update.status, 0);
  EXPECT_TRUE(named(update, notes)) << update.out;
  update = import(updated, {"--update", "--skip-unreadable", good, notes});
  EXPECT_EQ(update.status, 0) << update.out;
  EXPECT_EQ(ABAddressBook::open(updated)->count(), 2u);
}
