#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

ProgramRun run(std::vector<std::string> args) {
  return runProgram(ROLVANE_PROGRAM, std::move(args));
}

class CommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("rolvane-cli-" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    store_ = (folder_ / "book.sqlite").string();
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string add(std::map<std::string, std::string> values,
                  std::vector<std::pair<std::string, std::string>> emails = {}) {
    auto book = ABAddressBook::open(store_);
    auto person = ABPerson::create();
    for (auto& [property, value] : values) person->setValueForProperty(value, property);
    ABMultiValue list;
    for (auto& [label, value] : emails) list.addValueWithLabel(value, label);
    if (!emails.empty()) person->setValueForProperty(list, kABEmailProperty);
    book->addRecord(person);
    book->save();
    return person->uniqueId();
  }

  nlohmann::json scanJson(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--store", store_, "scan", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    ProgramRun result = run(args);
    EXPECT_EQ(result.status, 0) << result.out;
    auto brace = result.out.find('{');
    return nlohmann::json::parse(result.out.substr(brace, result.out.rfind('}') - brace + 1));
  }

  std::filesystem::path folder_;
  std::string store_;
};

}  // namespace

TEST_F(CommandTest, ScanJsonListsUniqueIdsPerCondition) {
  std::string a = add({{kABFirstNameProperty, "Ann"}, {kABTitleProperty, "DR"}}, {{kABHomeLabel, "s@x.org"}});
  std::string b = add({{kABFirstNameProperty, "Bo"}, {kABLastNameProperty, "Li"}}, {{kABWorkLabel, "s@x.org"}});
  auto json = scanJson();
  EXPECT_EQ(json["SingleName"], nlohmann::json::array({a}));
  EXPECT_EQ(json["UnusualTitle"], nlohmann::json::array({a}));
  EXPECT_EQ(json["ShareEmail"][0]["SearchedPerson"], a);
  EXPECT_EQ(json["ShareEmail"][0]["MatchPersonsArray"], nlohmann::json::array({b}));
  EXPECT_EQ(json["ShareEmail"][0]["DuplicateEmailType"], kABHomeLabel);
  EXPECT_FALSE(json.contains("BlankName"));
  auto only = scanJson({"--condition", "Unusual title"});
  EXPECT_EQ(only.size(), 1u);
}

// The findings are written as text, straight from the scan: the text must be the JSON a reader
// expects, laid out exactly as before, whatever the unique ids hold (quotes, backslashes, letters
// beyond ASCII) and whatever kind of finding (lists, shared e-mails, similar groups, empty lists).
TEST_F(CommandTest, ScanJsonIsWellFormedWhateverTheIdsHold) {
  const std::string vcf = (folder_ / "odd.vcf").string();
  std::ofstream(vcf, std::ios::binary)
      << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:quote\"one\r\nN:;Ann;;;\r\nFN:Ann\r\nTITLE:DR\r\n"
         "EMAIL;TYPE=HOME:s@x.org\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:back\\\\slash-\xc3\xbc\r\nN:Li;Bo;;;\r\nFN:Bo Li\r\n"
         "EMAIL;TYPE=WORK:s@x.org\r\nEND:VCARD\r\n"
         "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:plain-3\r\nN:LI;BO;;;\r\nFN:BO LI\r\nEND:VCARD\r\n";
  ASSERT_EQ(run({"--store", store_, "import", vcf}).status, 0);
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, std::vector<std::string>{"--condition", "Similar contacts"}}) {
    std::vector<std::string> args{"--store", store_, "scan", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    const ProgramRun scan = run(args);
    ASSERT_EQ(scan.status, 0) << scan.out;
    const auto json = nlohmann::ordered_json::parse(scan.out);
    EXPECT_EQ(scan.out, json.dump(2) + "\n");
    if (extra.empty()) {
      EXPECT_EQ(json["SingleName"], nlohmann::json::array({"quote\"one"}));
      EXPECT_EQ(json["ShareEmail"][0]["SearchedPerson"], "quote\"one");
      EXPECT_EQ(json["ShareEmail"][0]["MatchPersonsArray"], nlohmann::json::array({"back\\slash-\xc3\xbc"}));
    }
    EXPECT_EQ(json["SimilarContacts"][0]["Persons"],
              nlohmann::json::array({"quote\"one", "back\\slash-\xc3\xbc", "plain-3"}));
  }
}

TEST_F(CommandTest, ScanJsonEscapesACharacterWhereverItStandsInAnId) {
  // Ids of seventeen characters holding a quote, a backslash or a letter beyond ASCII at each place.
  const std::string vcf = (folder_ / "ids.vcf").string();
  std::vector<std::string> ids;
  {
    std::ofstream file(vcf, std::ios::binary);
    for (size_t at = 0; at < 17; ++at)
      for (const auto& [written, id] :
           std::vector<std::pair<std::string, std::string>>{{"\"", "\""}, {"\\\\", "\\"}, {"\xc3\xbc", "\xc3\xbc"}}) {
        const std::string before(at, 'a'), after(16 - at, 'b');
        file << "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:" << before << written << after << "\r\nN:;Ann;;;\r\nFN:Ann\r\n"
             << "END:VCARD\r\n";
        ids.push_back(before + id + after);
      }
  }
  ASSERT_EQ(run({"--store", store_, "import", vcf}).status, 0);
  const ProgramRun scan = run({"--store", store_, "scan", "--json", "--condition", "Incomplete name"});
  ASSERT_EQ(scan.status, 0) << scan.out;
  const auto json = nlohmann::ordered_json::parse(scan.out);
  EXPECT_EQ(scan.out, json.dump(2) + "\n");
  std::vector<std::string> found = json["SingleName"];
  std::sort(found.begin(), found.end());
  std::sort(ids.begin(), ids.end());
  EXPECT_EQ(found, ids);
}

TEST_F(CommandTest, BadInputFailsWithOneLine) {
  add({{kABFirstNameProperty, "Ann"}});
  ProgramRun unknown = run({"--store", store_, "scan", "--condition", "Nope"});
  EXPECT_NE(unknown.status, 0);
  EXPECT_NE(unknown.out.find("Nope"), std::string::npos);
  ProgramRun noOption =
      run({"--store", store_, "fix", "--condition", "Incomplete name", "--option", "Remove the title"});
  EXPECT_NE(noOption.status, 0);
  ProgramRun edit = run({"--store", store_, "fix", "--condition", "Blank name", "--option", "Edit in Contacts"});
  EXPECT_NE(edit.status, 0);
  EXPECT_NE(edit.out.find("window"), std::string::npos);
  ProgramRun noYes =
      run({"--store", store_, "fix", "--condition", "Incomplete name", "--option", "Delete this contact"});
  EXPECT_NE(noYes.status, 0);
  EXPECT_EQ(ABAddressBook::open(store_)->count(), 1u) << "nothing changed";
}

TEST_F(CommandTest, FixAppliesTheOptionToEveryFindingOrTheGivenOnes) {
  std::string a = add({{kABFirstNameProperty, "Ann Marie"}, {kABLastNameProperty, "Lee"}});
  std::string b = add({{kABFirstNameProperty, "Jo Ann"}, {kABLastNameProperty, "Lee"}});
  std::string c = add({{kABFirstNameProperty, "Mary Kate"}, {kABLastNameProperty, "Lee"}});
  ProgramRun one = run({"--store", store_, "fix", "--condition", "Spacing in the first name", "--option",
                        "Hyphenate the first name", "--uid", b});
  ASSERT_EQ(one.status, 0) << one.out;
  auto book = ABAddressBook::open(store_);
  EXPECT_EQ(book->recordForUniqueId(b)->stringForProperty(kABFirstNameProperty), "Jo-Ann");
  EXPECT_EQ(book->recordForUniqueId(a)->stringForProperty(kABFirstNameProperty), "Ann Marie");
  ProgramRun all =
      run({"--store", store_, "fix", "--condition", "Spacing in the first name", "--option", "Remove the space"});
  ASSERT_EQ(all.status, 0) << all.out;
  book = ABAddressBook::open(store_);
  EXPECT_EQ(book->recordForUniqueId(a)->stringForProperty(kABFirstNameProperty), "AnnMarie");
  EXPECT_EQ(book->recordForUniqueId(c)->stringForProperty(kABFirstNameProperty), "MaryKate");
  EXPECT_FALSE(scanJson().contains("SpaceInFirstName"));
}

TEST_F(CommandTest, MergingEveryDuplicateGroupKeepsEveryAddress) {
  for (int i = 0; i < 3; ++i)
    add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}},
        {{kABHomeLabel, "a" + std::to_string(i) + "@x.org"}});
  for (int i = 0; i < 2; ++i)
    add({{kABFirstNameProperty, "Bo"}, {kABLastNameProperty, "Li"}},
        {{kABWorkLabel, "b" + std::to_string(i) + "@x.org"}});
  ProgramRun merge =
      run({"--store", store_, "fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(merge.status, 0) << merge.out;
  auto book = ABAddressBook::open(store_);
  EXPECT_EQ(book->count(), 2u);
  size_t emails = 0;
  for (const auto& person : book->people()) emails += person->multiValueForProperty(kABEmailProperty)->count();
  EXPECT_EQ(emails, 5u);
  EXPECT_FALSE(scanJson().contains("DuplicateContacts"));
}

TEST_F(CommandTest, ExportWritesEachDocumentFormatIntoAnyFolderName) {
  add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}}, {{kABHomeLabel, "ann@x.org"}});
  add({{kABFirstNameProperty, "Bo"}, {kABOrganizationProperty, "Acme"}});
  auto target = folder_ / "out 'quoted' $HOME; echo";
  std::filesystem::create_directories(target);
  ProgramRun formats = run({"--store", store_, "export", "--format", "nope", "--to", target.string()});
  EXPECT_EQ(formats.status, 2);
  auto listed = formats.out.substr(formats.out.find("writes:") + 7);
  std::istringstream names(listed.substr(0, listed.find(')')));
  std::string format;
  int written = 0;
  while (names >> format) {
    for (bool allInfo : {false, true}) {
      std::vector<std::string> args{"--store", store_, "export", "--format", format, "--to", target.string()};
      if (allInfo) args.push_back("--all-info");
      ProgramRun exported = run(args);
      ASSERT_EQ(exported.status, 0) << format << ": " << exported.out;
      // Writers may log to standard error, which run() folds in: take the line naming the file.
      auto start = exported.out.find(target.string());
      ASSERT_NE(start, std::string::npos) << exported.out;
      std::string file = exported.out.substr(start, exported.out.find('\n', start) - start);
      EXPECT_EQ(std::filesystem::path(file).parent_path(), target);
      // The vCard export names the new folder of its per-contact files.
      if (format == "vcard") file += "/export_0.vcf";
      EXPECT_GT(std::filesystem::file_size(file), 40u) << file;
      ++written;
    }
  }
  EXPECT_GT(written, 0);
  ProgramRun missing = run({"--store", store_, "export", "--format", format.empty() ? "docx" : format, "--to",
                            (folder_ / "no such folder").string()});
  EXPECT_NE(missing.status, 0);
}

TEST_F(CommandTest, FixActsOnlyOnFindingsThatStillHold) {
  std::string a = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}},
                      {{kABHomeLabel, "s@x.org"}, {kABWorkLabel, "s@x.org"}, {kABWorkLabel, "own@x.org"}});
  std::string b = add({{kABFirstNameProperty, "Bo"}, {kABLastNameProperty, "Li"}}, {{kABHomeLabel, "s@x.org"}});
  ProgramRun fixed = run({"--store", store_, "fix", "--condition", "Emails duplicated among multiple contacts",
                          "--option", "Remove the email from this contact"});
  ASSERT_EQ(fixed.status, 0) << fixed.out;
  EXPECT_NE(fixed.out.find("Ann Lee: not fixed, \"s@x.org\" is no longer one of its e-mail addresses\n"),
            std::string::npos)
      << fixed.out;
  EXPECT_NE(fixed.out.find("Fixed 1 finding(s)"), std::string::npos) << fixed.out;
  auto book = ABAddressBook::open(store_);
  auto emails = book->recordForUniqueId(a)->multiValueForProperty(kABEmailProperty);
  ASSERT_TRUE(emails);
  ASSERT_EQ(emails->count(), 1u);
  EXPECT_EQ(emails->stringAtIndex(0), "own@x.org") << "the address nobody else holds stays";
  EXPECT_EQ(book->recordForUniqueId(b)->multiValueForProperty(kABEmailProperty)->count(), 1u);
}

// Every finding of a condition fixed twice from one scan: the second time changes nothing and says so.
TEST_F(CommandTest, FixingFromAStaleScanChangesNothing) {
  std::string a = add({{kABFirstNameProperty, "Ann"}, {kABNoteProperty, "  "}}, {{kABHomeLabel, "s@x.org"}});
  std::string b = add({{kABFirstNameProperty, "Bo"}, {kABNoteProperty, " "}}, {{kABWorkLabel, "s@x.org"}});
  add({{kABFirstNameProperty, "Cy"}}, {{kABHomeLabel, "t@x.org"}});
  add({{kABFirstNameProperty, "Di"}}, {{kABHomeLabel, "t@x.org"}});
  ProgramRun scan = run({"--store", store_, "scan", "--json"});
  ASSERT_EQ(scan.status, 0);
  const auto findings = (folder_ / "scan.json").string();
  std::ofstream(findings) << scan.out.substr(scan.out.find('{'));
  for (const auto& [condition, option] : std::vector<std::pair<std::string, std::string>>{
           {"Note with spacing only", "Delete the blank property"},
           {"Emails duplicated among multiple contacts", "Merge contacts"}}) {
    SCOPED_TRACE(condition);
    std::vector<std::string> args{"--store",  store_, "fix",        "--condition", condition,
                                  "--option", option, "--findings", findings,      "--yes"};
    ProgramRun first = run(args);
    ASSERT_EQ(first.status, 0) << first.out;
    EXPECT_NE(first.out.find("Fixed 2 finding(s)"), std::string::npos) << first.out;
    std::map<std::string, std::string> cards;
    for (const auto& person : ABAddressBook::open(store_)->people())
      cards[person->uniqueId()] = person->vCardRepresentation();
    ProgramRun second = run(args);
    ASSERT_EQ(second.status, 0) << second.out;
    EXPECT_NE(second.out.find("Fixed 0 finding(s)"), std::string::npos) << second.out;
    EXPECT_NE(second.out.find(": not fixed, "), std::string::npos) << second.out;
    std::map<std::string, std::string> again;
    for (const auto& person : ABAddressBook::open(store_)->people())
      again[person->uniqueId()] = person->vCardRepresentation();
    EXPECT_EQ(again, cards);
  }
  // Ann and Bo merged: the merged contact is one of them, under its own id.
  EXPECT_NE(static_cast<bool>(ABAddressBook::open(store_)->recordForUniqueId(a)),
            static_cast<bool>(ABAddressBook::open(store_)->recordForUniqueId(b)));
  ProgramRun broken = run({"--store", store_, "fix", "--condition", "Note with spacing only", "--option",
                           "Delete the blank property", "--findings", (folder_ / "none.json").string()});
  EXPECT_EQ(broken.status, 2);
  EXPECT_NE(broken.out.find("none.json"), std::string::npos);
}

namespace {

// Every text a person holds: single values, list entries and the parts of dictionary entries.
std::vector<std::string> textsOf(const ABPersonData& data) {
  std::vector<std::string> texts;
  for (const auto& [property, value] : data.entries()) {
    if (property == kABUIDProperty) continue;
    if (const auto* text = std::get_if<std::string>(&value)) texts.push_back(*text);
    if (const auto* date = std::get_if<ABDate>(&value)) texts.push_back(date->toIsoString());
    if (const auto* list = std::get_if<ABMultiValue>(&value)) {
      for (const auto& entry : list->entries()) {
        if (const auto* text = std::get_if<std::string>(&entry.value)) texts.push_back(*text);
        if (const auto* dict = std::get_if<ABDictionary>(&entry.value))
          for (const auto& [key, part] : dict->entries()) texts.push_back(part);
      }
    }
  }
  return texts;
}

}  // namespace

// After merging every duplicate group, every value of every member is still in the store: as a
// value of the merged contact or as a line of its note.
TEST_F(CommandTest, MergingEveryGroupKeepsEveryValueOfEveryMember) {
  auto book = ABAddressBook::open(store_);
  std::vector<ABPersonData> before;
  const std::vector<std::pair<std::string, std::string>> names = {{"Ann", "Lee"}, {"Ann", "Lee"}, {"Ann", "Lee"},
                                                                  {"Bo", ""},     {"Bo", ""},     {"", ""}};
  for (size_t i = 0; i < names.size(); ++i) {
    auto p = ABPerson::create();
    std::string n = std::to_string(i);
    if (!names[i].first.empty()) p->setValueForProperty(names[i].first, kABFirstNameProperty);
    if (!names[i].second.empty()) p->setValueForProperty(names[i].second, kABLastNameProperty);
    p->setValueForProperty(std::string(i == 5 ? "Acme" : "Org " + n), kABOrganizationProperty);
    p->setValueForProperty("Job " + n, kABJobTitleProperty);
    p->setValueForProperty("Dept " + n, kABDepartmentProperty);
    p->setValueForProperty("M" + n, kABMiddleNameProperty);
    p->setValueForProperty("Nick " + n, kABNicknameProperty);
    p->setValueForProperty("Title " + n, kABTitleProperty);
    p->setValueForProperty("Note " + n, kABNoteProperty);
    p->setValueForProperty(ABDate{1970 + static_cast<int>(i), 1, 1}, kABBirthdayProperty);
    ABMultiValue emails, phones, urls, related, addresses;
    emails.addValueWithLabel("p" + n + "@x.org", kABHomeLabel);
    emails.addValueWithLabel("q" + n + "@x.org", kABHomeLabel);
    emails.addValueWithLabel("shared@x.org", kABWorkLabel);
    phones.addValueWithLabel("555 0" + n, kABPhoneMobileLabel);
    phones.addValueWithLabel("555 1" + n, "custom");
    urls.addValueWithLabel("https://x.org/" + n, kABHomePageLabel);
    related.addValueWithLabel("Mum " + n, kABMotherLabel);
    addresses.addValueWithLabel(ABDictionary{{kABAddressStreetKey, "Street " + n}, {kABAddressCityKey, "City"}},
                                kABHomeLabel);
    addresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Town " + n}}, kABHomeLabel);
    p->setValueForProperty(emails, kABEmailProperty);
    p->setValueForProperty(phones, kABPhoneProperty);
    p->setValueForProperty(urls, kABURLsProperty);
    p->setValueForProperty(related, kABRelatedNamesProperty);
    p->setValueForProperty(addresses, kABAddressProperty);
    book->addRecord(p);
    before.push_back(*p->snapshot());
  }
  // A second company card of the same name, without a name.
  auto acme = ABPerson::create();
  acme->setValueForProperty(std::string("Acme"), kABOrganizationProperty);
  acme->setValueForProperty(std::string("Reception"), kABJobTitleProperty);
  book->addRecord(acme);
  before.push_back(*acme->snapshot());
  ASSERT_TRUE(book->save());
  book.reset();

  ProgramRun merge =
      run({"--store", store_, "fix", "--condition", "Duplicate contacts", "--option", "Merge contacts", "--yes"});
  ASSERT_EQ(merge.status, 0) << merge.out;
  EXPECT_NE(merge.out.find("Fixed 3 finding(s)"), std::string::npos) << merge.out;
  auto after = ABAddressBook::open(store_);
  EXPECT_EQ(after->count(), 3u) << "Ann Lee, Bo and Acme";
  std::string everything;
  for (const auto& person : after->people())
    for (const auto& text : textsOf(*person->snapshot())) everything += text + "\n";
  for (const auto& data : before)
    for (const auto& text : textsOf(data)) EXPECT_NE(everything.find(text), std::string::npos) << text;
  for (const auto& person : after->people()) {
    auto note = person->stringForProperty(kABNoteProperty);
    ASSERT_TRUE(note);
    EXPECT_NE(note->front(), '\n');
  }
}

// Only import makes a store; every other command on a missing one fails, names it, and makes nothing.
TEST_F(CommandTest, ACommandOnAMissingStoreFailsAndCreatesNothing) {
  const auto missing = folder_ / "mistyped" / "path" / "book.sqlite";
  const std::vector<std::vector<std::string>> commands = {
      {"scan"},
      {"scan", "--json"},
      {"export", "--format", "csv", "--to", folder_.string()},
      {"fix", "--condition", "Note with spacing only", "--option", "Delete the blank property"},
      {"edit", "--uid", "x", "--key", "Note", "--value", "y"}};
  for (const auto& command : commands) {
    std::vector<std::string> args{"--store", missing.string()};
    args.insert(args.end(), command.begin(), command.end());
    ProgramRun result = run(args);
    EXPECT_NE(result.status, 0) << command[0];
    EXPECT_NE(result.out.find(missing.string()), std::string::npos) << result.out;
    EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 1) << result.out;
    EXPECT_FALSE(std::filesystem::exists(folder_ / "mistyped")) << command[0];
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder_)) << "no export file either";
  const auto card = folder_ / "one.vcf";
  std::ofstream(card) << "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nEND:VCARD\r\n";
  ProgramRun imported = run({"--store", missing.string(), "import", card.string()});
  EXPECT_EQ(imported.status, 0) << imported.out;
  EXPECT_TRUE(std::filesystem::exists(missing));
  EXPECT_EQ(run({"--store", missing.string(), "scan"}).status, 0);
}

// The four conditions after the sixteen from the command line: listed by their keys, repaired by
// `rolvane fix`, a deletion only with --yes, and named with their options in `fix --help`.
TEST_F(CommandTest, DamagedTextNamesBirthdaysAndUnreachableContactsFromTheCommandLine) {
  const std::string damaged =
      add({{kABFirstNameProperty, "MÃ¤x"}, {kABLastNameProperty, "MÃœLLER"}}, {{kABHomeLabel, "m@x.org"}});
  const std::string alone = add({{kABFirstNameProperty, "Solo"}});
  nlohmann::json found = scanJson();
  EXPECT_EQ(found["DamagedText"], nlohmann::json::array({damaged}));
  EXPECT_EQ(found["Unreachable"], nlohmann::json::array({alone}));
  ProgramRun repaired = run({"--store", store_, "fix", "--condition", "Damaged text", "--option", "Repair the text"});
  EXPECT_EQ(repaired.status, 0) << repaired.out;
  EXPECT_NE(repaired.out.find("\xE2\x80\x9CM\xC3\xA4x\xE2\x80\x9D"), std::string::npos) << repaired.out;
  EXPECT_EQ(scanJson({"--condition", "Name in capitals or small letters"})["NameCase"],
            nlohmann::json::array({damaged}))
      << "repaired, the last name is in capitals";
  ProgramRun named = run(
      {"--store", store_, "fix", "--condition", "Name in capitals or small letters", "--option", "Write as a name"});
  EXPECT_EQ(named.status, 0) << named.out;
  EXPECT_EQ(ABAddressBook::open(store_)->recordForUniqueId(damaged)->stringForProperty(kABLastNameProperty), "Müller");
  ProgramRun refused = run(
      {"--store", store_, "fix", "--condition", "Contact that cannot be reached", "--option", "Delete this contact"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_TRUE(ABAddressBook::open(store_)->recordForUniqueId(alone));
  EXPECT_EQ(run({"--store", store_, "fix", "--condition", "Contact that cannot be reached", "--option",
                 "Delete this contact", "--yes"})
                .status,
            0);
  EXPECT_FALSE(ABAddressBook::open(store_)->recordForUniqueId(alone));
  const ProgramRun help = run({"fix", "--help"});
  EXPECT_NE(
      help.out.find("\"Birthday that cannot be right\": \"Remove the year\", \"Remove the date\", \"Keep as it is\""),
      std::string::npos)
      << help.out;
}
