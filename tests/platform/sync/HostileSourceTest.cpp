// Sources that turn against the user: a CardDAV server naming cards anywhere, taking writes and
// dropping them, answering slowly or hugely; folders emptied, touched, restored or unreadable. None
// may take a contact, a password or a file outside the address book.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <nlohmann/json.hpp>

#include <chrono>

#include "../../support/HostileCardDavServer.h"
#include "../../support/ProgramRun.h"
#include "../addressbook/TestStorePath.h"
#include "SyncTestSupport.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"
#include "platform/sync/CardDavCollection.h"
#include "platform/sync/SyncEngine.h"
#include "platform/sync/SyncRun.h"
#include "platform/sync/VdirCollection.h"
#include "tests/support/TestPaths.h"

namespace {

class HostileServerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server_.ready()) << server_.log();
    writeFile(folder_.file("password"), "secret\n");
    ::chmod(folder_.file("password").c_str(), 0600);
  }
  ProgramRun rolvane(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store()});
    return runProgram(ROLVANE_PROGRAM, args);
  }
  std::string store() { return folder_.file("store.sqlite").string(); }
  ProgramRun link() {
    return rolvane({"source", "add", "srv", "--carddav", server_.bookUrl(), "--user", "ann", "--password-file",
                    folder_.file("password").string()});
  }
  std::size_t contacts() {
    auto book = ABAddressBook::open(store());
    return book ? book->count() : 0;
  }
  void noteEveryone(const std::string& note) {
    auto book = ABAddressBook::open(store());
    ASSERT_TRUE(book);
    for (const auto& person : book->people()) ASSERT_TRUE(person->setValueForProperty(ABValue(note), kABNoteProperty));
    ASSERT_TRUE(book->save());
  }

  TempFolder folder_;
  HostileCardDavServer server_{folder_.path() / "server"};
};

// Lines of the server's request log that went anywhere but into the address book on its own port.
std::vector<std::string> requestsOutside(const std::string& log, const std::string& bookPort) {
  std::vector<std::string> outside;
  std::istringstream lines(log);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream fields(line);
    std::string port, method, path;
    fields >> port >> method >> path;
    if (port != bookPort || path.rfind("/u/book/", 0) != 0 || path.find("..") != std::string::npos ||
        path.find("%2e") != std::string::npos)
      outside.push_back(line);
  }
  return outside;
}

// Cards listed on another host, above the address book, at absolute paths elsewhere and as file:
// URLs are skipped with a line naming each; no request goes anywhere but into the address book, the
// password goes nowhere else, and the cards of the address book sync as ever.
TEST_F(HostileServerTest, HrefsOutsideTheAddressBookAreRefusedAndTheCredentialsStayHome) {
  ASSERT_EQ(server_.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  ASSERT_EQ(server_.put("bob.vcf", card("bob", "Bob", "Ray")), 201);
  ASSERT_EQ(link().status, 0);
  server_.mode("evil-hrefs\n");
  ProgramRun run = rolvane({"sync"});
  EXPECT_EQ(contacts(), 2u) << run.out;
  for (const char* href : {"escape1.vcf", "/etc/passwd", "/u/other/stolen.vcf", "file:///etc/passwd", "evil.vcf"})
    EXPECT_NE(run.out.find(href), std::string::npos) << href << " is not named:\n" << run.out;
  noteEveryone("edited");
  run = rolvane({"sync"});
  EXPECT_NE(server_.get("ann.vcf").find("NOTE:edited"), std::string::npos) << run.out;
  EXPECT_NE(server_.get("bob.vcf").find("NOTE:edited"), std::string::npos) << run.out;

  const std::string log = server_.requests();
  const std::string port = server_.bookUrl().substr(17, server_.bookUrl().find('/', 17) - 17);
  EXPECT_EQ(requestsOutside(log, port), std::vector<std::string>{}) << log;
  EXPECT_EQ(log.find(std::to_string(server_.otherPort()) + " "), std::string::npos) << log;
  const auto listing = log.find(" PROPFIND /u/book/ ");
  ASSERT_NE(listing, std::string::npos) << log;
  EXPECT_NE(log.substr(listing, log.find('\n', listing) - listing).find("ua=Rolvane/"), std::string::npos)
      << "requests name the program:\n"
      << log;
}

// A password written in the address is taken out of it into the secret store (here: none can be
// reached, so it is asked at each sync); it is never stored in the address book or shown.
TEST_F(HostileServerTest, APasswordInTheAddressIsNeitherStoredNorShown) {
  std::string url = server_.bookUrl();
  url.insert(7, "ann:s3cr%65t-in-url@");
  ProgramRun run = rolvane({"source", "add", "srv", "--carddav", url});
  EXPECT_EQ(run.out.find("s3cr"), std::string::npos) << run.out;
  run = rolvane({"source", "list", "--json"});
  EXPECT_EQ(run.out.find("s3cr"), std::string::npos) << run.out;
  EXPECT_EQ(slurp(store()).find("s3cr"), std::string::npos) << "the password is in the store's file";
}

// A listing that suddenly holds almost nothing deletes nothing: the sync stops, says how many it
// would delete and why, and fails; --allow-mass-delete lets it go on.
TEST_F(HostileServerTest, AServerListingNoCardsDoesNotEmptyTheStore) {
  for (int i = 0; i < 21; ++i)
    ASSERT_EQ(server_.put("c" + std::to_string(i) + ".vcf", card("c" + std::to_string(i), "C", std::to_string(i))),
              201);
  ASSERT_EQ(link().status, 0);
  ASSERT_EQ(rolvane({"sync"}).status, 0);
  ASSERT_EQ(contacts(), 21u);
  for (int i = 0; i < 19; ++i) ASSERT_EQ(server_.remove("c" + std::to_string(i) + ".vcf") / 100, 2);
  ProgramRun run = rolvane({"sync"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("would delete 19 contacts of the 21"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("--allow-mass-delete"), std::string::npos) << run.out;
  EXPECT_EQ(contacts(), 21u);
  run = rolvane({"sync", "--allow-mass-delete"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(contacts(), 2u);
}

// A server that answers a PUT and keeps nothing: the change is not taken as done, the next sync
// neither reverts the edit nor removes the new contact, and once the server keeps what it is sent,
// both reach it.
TEST_F(HostileServerTest, AServerDroppingWritesNeitherRevertsAnEditNorRemovesANewContact) {
  ASSERT_EQ(server_.put("ann.vcf", card("ann", "Ann", "Lee")), 201);
  ASSERT_EQ(link().status, 0);
  ASSERT_EQ(rolvane({"sync"}).status, 0);
  noteEveryone("edited here");
  ASSERT_EQ(rolvane({"import", "--to", "srv",
                     [&] {
                       writeFile(folder_.file("new.vcf"), card("cid", "Cid", "New"));
                       return folder_.file("new.vcf").string();
                     }()})
                .status,
            0);
  server_.mode("drop-puts\n");
  ProgramRun run = rolvane({"sync", "--json"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("does not hold it"), std::string::npos) << run.out;
  auto report = nlohmann::json::parse(run.out.substr(0, run.out.rfind('}') + 1));
  EXPECT_EQ(report["sources"][0]["sourceSide"]["changed"], 0) << run.out;
  EXPECT_EQ(report["sources"][0]["sourceSide"]["added"], 0) << run.out;

  run = rolvane({"sync"});
  server_.mode("");
  run = rolvane({"sync"});
  EXPECT_EQ(run.status, 0) << run.out;
  auto book = ABAddressBook::open(store());
  ASSERT_TRUE(book);
  EXPECT_EQ(book->count(), 2u);
  auto ann = book->recordForUniqueId("ann");
  ASSERT_TRUE(ann);
  EXPECT_EQ(ann->stringForProperty(kABNoteProperty).value_or(""), "edited here");
  EXPECT_NE(server_.get("ann.vcf").find("edited here"), std::string::npos) << run.out;
  EXPECT_NE(server_.get("cid.vcf").find("UID:cid"), std::string::npos) << run.out;
}

// The write of a sync cut short that reached the server after the next sync listed it: the new
// card finds its name taken by itself, and is linked there instead of being written twice.
TEST_F(HostileServerTest, ACardLandedLateFromASyncCutShortIsNotWrittenTwice) {
  ASSERT_EQ(link().status, 0);
  writeFile(folder_.file("new.vcf"), card("cid", "Cid", "New"));
  ASSERT_EQ(rolvane({"import", "--to", "srv", folder_.file("new.vcf").string()}).status, 0);
  auto book = ABAddressBook::open(store());
  ASSERT_TRUE(book);
  ASSERT_EQ(server_.put("cid.vcf", vCardForPerson(*book->recordForUniqueId("cid")->snapshot())), 201);
  server_.mode("hide=cid.vcf\n");
  ProgramRun run = rolvane({"sync"});
  EXPECT_EQ(run.status, 0) << run.out;
  server_.mode("");
  run = rolvane({"sync"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(run.out, "srv: 0 added, 0 changed, 0 deleted in the store; 0 added, 0 changed, 0 deleted in the source\n");
  EXPECT_EQ(server_.requests().find("PUT /u/book/cid-"), std::string::npos) << server_.requests();
}

// One card the server cannot serve fails its batch: the others come in smaller batches, and the
// one is named and left as it is.
TEST_F(HostileServerTest, OneCardTheServerCannotServeIsSkippedAndTheRestSync) {
  for (int i = 0; i < 30; ++i)
    ASSERT_EQ(server_.put("c" + std::to_string(i) + ".vcf", card("c" + std::to_string(i), "C", std::to_string(i))),
              201);
  ASSERT_EQ(link().status, 0);
  server_.mode("fail-multiget=c17.vcf\n");
  ProgramRun run = rolvane({"sync"});
  EXPECT_NE(run.status, 0);
  EXPECT_EQ(contacts(), 29u) << run.out;
  EXPECT_NE(run.out.find("c17.vcf"), std::string::npos) << run.out;
  server_.mode("");
  run = rolvane({"sync"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(contacts(), 30u);
}

// Slow, silent and huge answers end, each named: a trickle and silence at the low-speed limit, an
// answer over 64 MB refused, a gzip bomb stopped at the same size once decompressed.
TEST_F(HostileServerTest, SlowSilentAndHugeAnswersEndWithTheirCauseNamed) {
  CardDavCollection collection({server_.bookUrl(), "ann", "secret", false});
  std::map<std::string, std::string> etags;
  std::string error;
  server_.mode("huge\n");
  EXPECT_FALSE(collection.list(etags, &error));
  EXPECT_NE(error.find("larger than 64 MB"), std::string::npos) << error;
  server_.mode("bomb\n");
  error.clear();
  EXPECT_FALSE(collection.list(etags, &error));
  EXPECT_NE(error.find("larger than 64 MB"), std::string::npos) << error;

  HttpSession::Limits limits;
  limits.lowSpeedSeconds = 2;
  limits.baseSeconds = 8;
  collection.setLimits(limits);
  for (const char* mode : {"slow\n", "silent\n"}) {
    server_.mode(mode);
    error.clear();
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(collection.list(etags, &error));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(7)) << mode;
    EXPECT_NE(
        error.find(std::string(mode) == "slow\n" ? "less than 100 bytes a second for 2 s" : "sent nothing for 2 s"),
        std::string::npos)
        << mode << error;
  }
}

// A failed add (wrong password, no server) makes no store.
TEST_F(HostileServerTest, AFailedAddLeavesNoStoreBehind) {
  writeFile(folder_.file("wrong"), "nope\n");
  ::chmod(folder_.file("wrong").c_str(), 0644);
  ProgramRun run = rolvane({"source", "add", "srv", "--carddav", server_.bookUrl(), "--user", "ann", "--password-file",
                            folder_.file("wrong").string()});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("can be read by other users"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(store())) << run.out;
  run = rolvane({"source", "add", "../../../x", "--vdir", folder_.path().string()});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("cannot name a linked address book"), std::string::npos) << run.out;
  EXPECT_FALSE(std::filesystem::exists(store())) << run.out;
}

class HostileFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    vdir_ = folder_.path() / "contacts";
    std::filesystem::create_directories(vdir_);
  }
  ProgramRun rolvane(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", folder_.file("store.sqlite").string()});
    return runProgram(ROLVANE_PROGRAM, args);
  }
  std::unique_ptr<ABAddressBook> book() { return ABAddressBook::open(folder_.file("store.sqlite")); }
  void cards(int count) {
    for (int i = 0; i < count; ++i)
      writeFile(vdir_ / ("c" + std::to_string(i) + ".vcf"), card("c" + std::to_string(i), "C", std::to_string(i)));
  }
  std::size_t files() {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(vdir_), {}));
  }

  TempFolder folder_;
  std::filesystem::path vdir_;
};

// An emptied folder (a drive not mounted leaves its empty mount point) deletes nothing; a folder on
// another file system than when it was linked is an error.
TEST_F(HostileFolderTest, AnEmptiedOrRemountedFolderDoesNotEmptyTheStore) {
  cards(20);
  ASSERT_EQ(rolvane({"source", "add", "home", "--vdir", vdir_.string()}).status, 0);
  ASSERT_EQ(rolvane({"sync"}).status, 0);
  ASSERT_EQ(book()->count(), 20u);
  for (int i = 0; i < 20; ++i) std::filesystem::remove(vdir_ / ("c" + std::to_string(i) + ".vcf"));
  ProgramRun run = rolvane({"sync"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("would delete 20 contacts of the 20"), std::string::npos) << run.out;
  EXPECT_EQ(book()->count(), 20u);

  {
    auto state = SyncState::open(folder_.file("store.sqlite"), nullptr);
    ASSERT_TRUE(state);
    auto source = state->source("home", nullptr);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->volume, VdirCollection::volumeOf(vdir_));
    source->volume = "/media/usb-drive";
    VdirCollection moved(vdir_, source->volume);
    std::map<std::string, std::string> etags;
    std::string error;
    EXPECT_FALSE(moved.list(etags, &error));
    EXPECT_NE(error.find("is the drive mounted?"), std::string::npos) << error;
  }
  run = rolvane({"sync", "--allow-mass-delete"});
  EXPECT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(book()->count(), 0u);
}

// Contacts deleted in the store (merged away) do not come back when their files are touched, or
// restored unchanged after their deletion went out: those are deleted again. A file restored with
// a change made elsewhere comes back as a contact, and the report says it is a conflict.
TEST_F(HostileFolderTest, TouchedOrRestoredFilesDoNotBringDeletedContactsBack) {
  cards(30);
  ASSERT_EQ(rolvane({"source", "add", "home", "--vdir", vdir_.string()}).status, 0);
  ASSERT_EQ(rolvane({"sync"}).status, 0);
  std::filesystem::copy(vdir_, folder_.path() / "backup");
  {
    auto store = book();
    for (int i = 0; i < 12; ++i) ASSERT_TRUE(store->removeRecord(store->recordForUniqueId("c" + std::to_string(i))));
    ASSERT_TRUE(store->save());
  }
  const auto later = std::chrono::system_clock::to_time_t(std::chrono::system_clock::now()) + 100;
  for (const auto& entry : std::filesystem::directory_iterator(vdir_)) {
    utimbuf times{later, later};
    ASSERT_EQ(::utime(entry.path().c_str(), &times), 0);
  }
  ProgramRun run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_EQ(book()->count(), 18u) << run.out;
  EXPECT_EQ(files(), 18u) << run.out;

  // Restored from the copy, all of it, and one card changed there by another program.
  for (const auto& entry : std::filesystem::directory_iterator(folder_.path() / "backup"))
    std::filesystem::copy_file(entry.path(), vdir_ / entry.path().filename(),
                               std::filesystem::copy_options::overwrite_existing);
  writeFile(vdir_ / "c3.vcf", card("c3", "Changed", "Elsewhere"));
  run = rolvane({"sync", "--json"});
  ASSERT_EQ(run.status, 0) << run.out;
  auto report = nlohmann::json::parse(run.out)["sources"][0];
  EXPECT_EQ(report["store"]["added"], 1) << run.out;
  EXPECT_EQ(report["sourceSide"]["deleted"], 11) << run.out;
  ASSERT_EQ(report["conflicts"].size(), 1u) << run.out;
  EXPECT_NE(report["conflicts"][0].get<std::string>().find("Changed Elsewhere"), std::string::npos) << run.out;
  EXPECT_EQ(book()->count(), 19u);
  EXPECT_EQ(files(), 19u);
}

// A card file that cannot be read is skipped and named, the rest sync; cards are written with the
// permissions the umask gives; a killed run's temporary files go at the next run.
TEST_F(HostileFolderTest, AnUnreadableFileIsSkippedAndWritesFollowTheUmask) {
  cards(3);
  std::filesystem::create_symlink("/proc/self/mem", vdir_ / "unreadable.vcf");
  writeFile(vdir_ / ".c0.vcf.rolvane-Ab12Cd", "half a card");
  utimbuf old{1000000000, 1000000000};
  ASSERT_EQ(::utime((vdir_ / ".c0.vcf.rolvane-Ab12Cd").c_str(), &old), 0);
  ASSERT_EQ(rolvane({"source", "add", "home", "--vdir", vdir_.string()}).status, 0);
  ProgramRun run = rolvane({"sync"});
  EXPECT_NE(run.status, 0);
  EXPECT_NE(run.out.find("cannot read " + (vdir_ / "unreadable.vcf").string()), std::string::npos) << run.out;
  EXPECT_EQ(book()->count(), 3u) << run.out;
  EXPECT_FALSE(std::filesystem::exists(vdir_ / ".c0.vcf.rolvane-Ab12Cd"));

  auto state = SyncState::open(folder_.file("store.sqlite"), nullptr);
  auto store = book();
  auto person = store->recordForUniqueId("c1");
  ASSERT_TRUE(person);
  ASSERT_TRUE(person->setValueForProperty(ABValue(std::string("private")), kABNoteProperty));
  ASSERT_TRUE(store->save());
  const mode_t before = ::umask(077);
  SyncReport report;
  VdirCollection collection(vdir_);
  SyncEngine(*store, *state).sync(*state->source("home", nullptr), true, collection, report, nullptr);
  ::umask(before);
  EXPECT_EQ(report.changedInSource, 1) << report.summary();
  struct stat info {};
  ASSERT_EQ(::stat((vdir_ / "c1.vcf").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
}

// Many cards failing for one cause (a full disk) make one line, with the count.
TEST(SyncReportTest, ManyCardsFailingForOneCauseMakeOneLine) {
  SyncReport report;
  report.source = "home";
  for (int i = 0; i < 18720; ++i)
    report.errors.push_back("home: cannot write /x/.c" + std::to_string(i) + ".vcf: No space left on device");
  report.errors.push_back("home: c.vcf: holds 0 cards instead of one");
  auto lines = report.errorLines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("18720 cards not synced: No space left on device"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[1], report.errors.back());
}

}  // namespace
