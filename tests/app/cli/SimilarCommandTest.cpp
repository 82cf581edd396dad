// rolvane scan and fix with the similar-contact and phone conditions.
#include <gtest/gtest.h>
#include <unistd.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

class SimilarCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() / ("rolvane-similar-cli-" + std::to_string(getpid()) +
                                                  ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
    store_ = (folder_ / "book.sqlite").string();
    // What the locale says must not decide these tests unless one sets it.
    ::setenv("LC_ALL", "C.UTF-8", 1);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::string add(const std::string& first, const std::string& last, std::vector<std::string> phones,
                  std::vector<std::string> emails = {}) {
    auto book = ABAddressBook::open(store_);
    auto person = ABPerson::create();
    person->setValueForProperty(first, kABFirstNameProperty);
    person->setValueForProperty(last, kABLastNameProperty);
    ABMultiValue phoneList, emailList;
    for (const auto& phone : phones) phoneList.addValueWithLabel(phone, kABHomeLabel);
    for (const auto& email : emails) emailList.addValueWithLabel(email, kABHomeLabel);
    if (!phones.empty()) person->setValueForProperty(phoneList, kABPhoneProperty);
    if (!emails.empty()) person->setValueForProperty(emailList, kABEmailProperty);
    book->addRecord(person);
    book->save();
    return person->uniqueId();
  }

  ProgramRun run(std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store_});
    return runProgram(ROLVANE_PROGRAM, std::move(args));
  }

  nlohmann::ordered_json scanJson(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"scan", "--json"};
    args.insert(args.end(), extra.begin(), extra.end());
    ProgramRun result = run(args);
    EXPECT_EQ(result.status, 0) << result.out;
    auto brace = result.out.find('{');
    return nlohmann::ordered_json::parse(result.out.substr(brace, result.out.rfind('}') - brace + 1));
  }

  std::vector<std::string> phonesOf(const std::string& uid) {
    std::vector<std::string> values;
    auto person = ABAddressBook::open(store_)->recordForUniqueId(uid);
    if (auto phones = person ? person->multiValueForProperty(kABPhoneProperty) : std::nullopt)
      for (size_t i = 0; i < phones->count(); ++i) values.push_back(phones->stringAtIndex(i));
    return values;
  }

  std::filesystem::path folder_;
  std::string store_;
};

TEST_F(SimilarCommandTest, ScanJsonGivesGroupsWithTheirReasonAfterTheOtherConditions) {
  std::string a = add("Ann", "Lee", {"+49 30 1234567", "030 123 45 67"});
  std::string b = add("Bob", "Ray", {"+49 30 7654321"});
  std::string c = add("Annie", "Lee", {"030 1234567"}, {"ann@example.org"});
  std::string d = add("Lee,", "Ann", {});
  std::string e = add("Eve", "Ode", {}, {"Ann@Example.org"});
  auto json = scanJson({"--region", "DE"});
  std::vector<std::string> keys;
  for (const auto& [key, value] : json.items()) keys.push_back(key);
  // "Lee, Ann" holds a name alone: a contact that cannot be reached, listed after the sixteen.
  EXPECT_EQ(keys, (std::vector<std::string>{"SimilarContacts", "DupPhoneFormat", "PhoneFormat", "Unreachable"}));
  EXPECT_EQ(json["Unreachable"], nlohmann::ordered_json::array({d}));
  ASSERT_EQ(json["SimilarContacts"].size(), 1u);
  EXPECT_EQ(json["SimilarContacts"][0]["Persons"], nlohmann::ordered_json::array({a, c, d, e}));
  EXPECT_EQ(json["SimilarContacts"][0]["Reason"],
            "same phone +49 30 1234567; same e-mail ann@example.org; same name apart from punctuation and the order "
            "of first and last name");
  EXPECT_EQ(json["DupPhoneFormat"], nlohmann::ordered_json::array({a}));
  EXPECT_EQ(json["PhoneFormat"], nlohmann::ordered_json::array({a, c}));
  (void)b;

  // The locale's region when no --region is given; without one, national numbers are not read.
  auto withoutRegion = scanJson();
  EXPECT_FALSE(withoutRegion.contains("PhoneFormat"));
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(scanJson()["PhoneFormat"], json["PhoneFormat"]);
  EXPECT_FALSE(scanJson({"--region", "us"}).contains("PhoneFormat"));

  // Each condition alone gives its own list only.
  auto alone = scanJson({"--region", "DE", "--condition", "Similar contacts"});
  EXPECT_EQ(alone.size(), 1u);
  EXPECT_EQ(alone["SimilarContacts"], json["SimilarContacts"]);
}

TEST_F(SimilarCommandTest, ABadRegionIsRefusedAndChangesNothing) {
  add("Ann", "Lee", {"030 1234567"});
  for (const char* command : {"scan", "fix"}) {
    ProgramRun bad = run({command, "--region", "Germany", "--condition", "Phone number not in international format",
                          "--option", "Write in E.164 format"});
    EXPECT_EQ(bad.status, 2) << bad.out;
    EXPECT_NE(bad.out.find("--region needs a two-letter region code such as DE or US, not \"Germany\""),
              std::string::npos)
        << bad.out;
  }
  EXPECT_EQ(run({"scan", "--region"}).status, 2);
}

TEST_F(SimilarCommandTest, FixRewritesNumbersAndMergesGroupsFromAnEarlierScan) {
  std::string a = add("Jos\xC3\xA9",
                      "Garc\xC3\xAD"
                      "a",
                      {"030 1234567", "+1 212 555 0123"});
  std::string b = add("Jose", "Garcia", {"+49 30 1234567"});
  ProgramRun e164 = run({"fix", "--condition", "Phone number not in international format", "--option",
                         "Write in E.164 format", "--region", "DE"});
  ASSERT_EQ(e164.status, 0) << e164.out;
  EXPECT_NE(e164.out.find("Fixed 1 finding(s)"), std::string::npos) << e164.out;
  EXPECT_EQ(phonesOf(a), (std::vector<std::string>{"+49301234567", "+1 212 555 0123"}));

  ProgramRun scan = run({"scan", "--json", "--region", "DE"});
  ASSERT_EQ(scan.status, 0);
  const auto findings = (folder_ / "scan.json").string();
  std::ofstream(findings) << scan.out.substr(scan.out.find('{'));
  ProgramRun refused = run({"fix", "--condition", "Similar contacts", "--option", "Merge contacts", "--findings",
                            findings, "--region", "DE"});
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.out.find("add --yes"), std::string::npos) << refused.out;
  ProgramRun merged = run({"fix", "--condition", "Similar contacts", "--option", "Merge contacts", "--findings",
                           findings, "--region", "DE", "--yes"});
  ASSERT_EQ(merged.status, 0) << merged.out;
  EXPECT_NE(merged.out.find("Fixed 1 finding(s)"), std::string::npos) << merged.out;
  auto book = ABAddressBook::open(store_);
  ASSERT_EQ(book->count(), 1u);
  auto phones = book->people().front()->multiValueForProperty(kABPhoneProperty);
  ASSERT_TRUE(phones);
  EXPECT_EQ(phones->count(), 3u) << "every number of both is kept";
  // The same findings again: their contacts are gone, nothing is done.
  ProgramRun again = run({"fix", "--condition", "Similar contacts", "--option", "Merge contacts", "--findings",
                          findings, "--region", "DE", "--yes"});
  EXPECT_EQ(again.status, 0) << again.out;
  EXPECT_NE(again.out.find(a + ": not fixed"), std::string::npos) << again.out;
  EXPECT_NE(again.out.find("Fixed 0 finding(s)"), std::string::npos) << again.out;
  EXPECT_EQ(ABAddressBook::open(store_)->count(), 1u);
}

// "Not the same person" from the command line: no contact changes, the group is left out of later
// scans, and undo brings it back.
TEST_F(SimilarCommandTest, NotTheSamePersonLeavesASimilarGroupOutUntilUndone) {
  std::string a = add("Ann", "Lee", {"+49 30 1234567"});
  std::string b = add("Annie", "Lee", {"030 1234567"});
  const auto grouped = nlohmann::ordered_json::array({{{"Persons", {a, b}}, {"Reason", "same phone +49 30 1234567"}}});
  ASSERT_EQ(scanJson({"--condition", "Similar contacts", "--region", "DE"})
                .value("SimilarContacts", nlohmann::ordered_json()),
            grouped);
  auto before = ABAddressBook::open(store_)->people();

  ProgramRun marked =
      run({"fix", "--condition", "Similar contacts", "--option", "Not the same person", "--region", "DE"});
  ASSERT_EQ(marked.status, 0) << marked.out;
  EXPECT_NE(marked.out.find("marked Ann Lee and Annie Lee as not the same person"), std::string::npos) << marked.out;
  auto after = ABAddressBook::open(store_)->people();
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(*after[i]->snapshot(), *before[i]->snapshot());
  EXPECT_FALSE(scanJson({"--condition", "Similar contacts", "--region", "DE"}).contains("SimilarContacts"));

  ASSERT_EQ(run({"undo"}).status, 0);
  EXPECT_EQ(scanJson({"--condition", "Similar contacts", "--region", "DE"})
                .value("SimilarContacts", nlohmann::ordered_json()),
            grouped);
}

// "Keep as it is" from the command line: the numbers stay, the contact is left out of later scans
// until it holds another number not in international form, and undo brings it back.
TEST_F(SimilarCommandTest, KeepAsItIsLeavesTheNumbersOutUntilUndoneOrANewOneComes) {
  std::string a = add("Ann", "Lee", {"030 1234567", "+49 171 2345678"});
  std::string b = add("Bob", "Ray", {"089 7654321"});
  auto listed = [&] {
    return scanJson({"--condition", "Phone number not in international format", "--region", "DE"})
        .value("PhoneFormat", nlohmann::ordered_json::array());
  };
  ASSERT_EQ(listed(), nlohmann::ordered_json::array({a, b}));
  ProgramRun kept = run({"fix", "--condition", "Phone number not in international format", "--option", "Keep as it is",
                         "--uid", a, "--region", "DE"});
  ASSERT_EQ(kept.status, 0) << kept.out;
  EXPECT_NE(kept.out.find("kept 030 1234567 as it is for Ann Lee"), std::string::npos) << kept.out;
  EXPECT_EQ(phonesOf(a), (std::vector<std::string>{"030 1234567", "+49 171 2345678"}));
  EXPECT_EQ(listed(), nlohmann::ordered_json::array({b}));
  ASSERT_EQ(run({"undo"}).status, 0);
  EXPECT_EQ(listed(), nlohmann::ordered_json::array({a, b}));
  ASSERT_EQ(run({"redo"}).status, 0);
  EXPECT_EQ(listed(), nlohmann::ordered_json::array({b}));

  auto book = ABAddressBook::open(store_);
  auto ann = book->recordForUniqueId(a);
  ABMultiValue phones = *ann->multiValueForProperty(kABPhoneProperty);
  phones.addValueWithLabel(std::string("0171 1111111"), kABWorkLabel);
  ASSERT_TRUE(ann->setValueForProperty(phones, kABPhoneProperty));
  ASSERT_TRUE(book->addRecord(ann));
  ASSERT_TRUE(book->save());
  EXPECT_EQ(listed(), nlohmann::ordered_json::array({a, b}));
}

}  // namespace
