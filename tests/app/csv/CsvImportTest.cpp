// Reading the CSV files of Google Contacts, Outlook (English, German, French), Thunderbird and
// Rolvane: small files written for the test from the programs' published headings, with quoted
// line breaks, " ::: " values, byte order marks, semicolons, UTF-16 and Windows-1252.
#include <gtest/gtest.h>

#include <string>

#include "app/csv/CsvImport.h"
#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

namespace {

std::vector<ABPersonData> read(const std::string& bytes, CsvImportOptions options = {}, CsvProfile* profile = nullptr) {
  CsvImport import;
  std::string error;
  EXPECT_TRUE(import.openBytes(bytes, "test.csv", options, &error)) << error;
  if (profile) *profile = import.profile();
  std::vector<ABPersonData> persons;
  EXPECT_TRUE(import.persons(persons, &error)) << error;
  return persons;
}

std::string text(const ABPersonData& person, const std::string& property) {
  const std::string* value = person.string(property);
  return value ? *value : "<none>";
}

// "label=value" of every entry of a list, in order.
std::vector<std::string> entries(const ABPersonData& person, const std::string& property) {
  std::vector<std::string> out;
  if (const ABMultiValue* list = person.multiValue(property))
    for (const auto& entry : list->entries()) {
      std::string value;
      if (const auto* t = std::get_if<std::string>(&entry.value)) {
        value = *t;
      } else {
        for (const auto& [key, part] : std::get<ABDictionary>(entry.value).entries())
          value += (value.empty() ? "" : "|") + key + ":" + part;
      }
      out.push_back(entry.label + "=" + value);
    }
  return out;
}

using Strings = std::vector<std::string>;

}  // namespace

TEST(CsvImport, GoogleCurrentHeadingsWithBomQuotedLinesAndJoinedValues) {
  const std::string file =
      "\xEF\xBB\xBF"
      "First Name,Middle Name,Last Name,Name Prefix,Nickname,Organization Name,Organization Title,Birthday,Notes,"
      "Labels,E-mail 1 - Label,E-mail 1 - Value,E-mail 2 - Label,E-mail 2 - Value,Phone 1 - Label,Phone 1 - Value,"
      "Address 1 - Label,Address 1 - Formatted,Address 1 - Street,Address 1 - City,Address 1 - PO Box,"
      "Address 1 - Region,Address 1 - Postal Code,Address 1 - Country,IM 1 - Label,IM 1 - Service,IM 1 - Value,"
      "Custom Field 1 - Label,Custom Field 1 - Value,Favourite Colour\r\n"
      "Zoë,Q,Müller,Dr.,Zo,Acme,Boss,1980-03-07,\"Line one\r\nLine \"\"two\"\"\",* myContacts ::: Friends,"
      "* Home,zoe@home.example ::: zoe2@home.example,Work,zoe@acme.example,Mobile,+49 30 1234567,"
      "Home,\"Hauptstr. 1\nBerlin\",Hauptstr. 1,Berlin,PF 12,BE,10115,Germany,Work,Skype,zoe.m,"
      "Shoe size,38,blue\r\n"
      "Bo,,,,,,,--12-24,,* myContacts,,,,,Home Fax,030 99,,,,,,,,,,,,,,\r\n";
  CsvProfile profile{};
  const auto persons = read(file, {}, &profile);
  EXPECT_EQ(profile, CsvProfile::Google);
  ASSERT_EQ(persons.size(), 2u);
  const ABPersonData& zoe = persons[0];
  EXPECT_EQ(text(zoe, kABFirstNameProperty), "Zoë");
  EXPECT_EQ(text(zoe, kABMiddleNameProperty), "Q");
  EXPECT_EQ(text(zoe, kABTitleProperty), "Dr.");
  EXPECT_EQ(text(zoe, kABJobTitleProperty), "Boss");
  EXPECT_EQ(text(zoe, kABNoteProperty), "Line one\r\nLine \"two\"");
  ASSERT_TRUE(zoe.date(kABBirthdayProperty));
  EXPECT_EQ(zoe.date(kABBirthdayProperty)->toIsoString(), "1980-03-07");
  EXPECT_EQ(entries(zoe, kABEmailProperty),
            (Strings{kABHomeLabel + "=zoe@home.example", kABHomeLabel + "=zoe2@home.example",
                     kABWorkLabel + "=zoe@acme.example"}));
  EXPECT_EQ(zoe.multiValue(kABEmailProperty)->entries()[0].parameters, ";TYPE=pref");
  EXPECT_EQ(entries(zoe, kABPhoneProperty), (Strings{kABPhoneMobileLabel + "=+49 30 1234567"}));
  EXPECT_EQ(entries(zoe, kABAddressProperty),
            (Strings{kABHomeLabel +
                     "=Street:PF 12\nHauptstr. 1|City:Berlin|State:BE|ZIP:10115|Country:Germany|POBox:PF 12"}));
  EXPECT_EQ(entries(zoe, kABInstantMessageProperty),
            (Strings{kABWorkLabel + "=InstantMessageService:SkypeInstant|InstantMessageUsername:zoe.m"}));
  EXPECT_EQ(keptCategories(zoe), (Strings{"* myContacts", "Friends"}));
  // What no field holds is kept under its heading, and goes out in the vCard as an X- line.
  const std::vector<std::pair<std::string, std::string>> kept = {{"Favourite Colour", "blue"}, {"Shoe size", "38"}};
  EXPECT_EQ(keptCsvFields(zoe), kept);
  const std::string card = vCardForPerson(zoe);
  EXPECT_NE(card.find("X-FAVOURITE-COLOUR;X-CSV-HEADING=\"Favourite Colour\":blue"), std::string::npos) << card;
  EXPECT_NE(card.find("CATEGORIES:* myContacts,Friends"), std::string::npos) << card;

  const ABPersonData& bo = persons[1];
  ASSERT_TRUE(bo.date(kABBirthdayProperty));
  EXPECT_EQ(bo.date(kABBirthdayProperty)->year, ContactRecord::kYearNotKnown);
  EXPECT_EQ(entries(bo, kABPhoneProperty), (Strings{kABPhoneHomeFAXLabel + "=030 99"}));
}

TEST(CsvImport, GoogleOlderHeadings) {
  const std::string file =
      "Name,Given Name,Additional Name,Family Name,Birthday,Group Membership,E-mail 1 - Type,E-mail 1 - Value,"
      "Phone 1 - Type,Phone 1 - Value,Organization 1 - Type,Organization 1 - Name,Organization 1 - Title,"
      "Website 1 - Type,Website 1 - Value,Relation 1 - Type,Relation 1 - Value\n"
      "Ann Lee,Ann,,Lee,1975-01-02,* My Contacts ::: Golf,Other,ann@example.org,Work,+1 555 0100,,Lee Inc,CEO,"
      "Home Page,https://ann.example,Spouse,Bob Lee\n"
      "Cy Young,,,,,,,,,,,,,,,,\n";
  CsvProfile profile{};
  const auto persons = read(file, {}, &profile);
  EXPECT_EQ(profile, CsvProfile::Google);
  ASSERT_EQ(persons.size(), 2u);
  EXPECT_EQ(text(persons[0], kABLastNameProperty), "Lee");
  EXPECT_EQ(text(persons[0], kABOrganizationProperty), "Lee Inc");
  EXPECT_EQ(entries(persons[0], kABEmailProperty), (Strings{kABOtherLabel + "=ann@example.org"}));
  EXPECT_EQ(entries(persons[0], kABURLsProperty), (Strings{kABHomePageLabel + "=https://ann.example"}));
  EXPECT_EQ(entries(persons[0], kABRelatedNamesProperty), (Strings{kABSpouseLabel + "=Bob Lee"}));
  EXPECT_EQ(keptCategories(persons[0]), (Strings{"* My Contacts", "Golf"}));
  EXPECT_TRUE(keptCsvFields(persons[0]).empty());  // "Ann Lee" is the name shown
  // Only the name shown: split at its last space, as a vCard's FN.
  EXPECT_EQ(text(persons[1], kABFirstNameProperty), "Cy");
  EXPECT_EQ(text(persons[1], kABLastNameProperty), "Young");
}

TEST(CsvImport, OutlookInEnglishGermanWithSemicolonsInWindows1252AndFrench) {
  const std::string english =
      "\"First Name\",\"Middle Name\",\"Last Name\",\"Title\",\"Suffix\",\"E-mail Address\",\"E-mail 2 Address\","
      "\"Mobile Phone\",\"Business Street\",\"Business Street 2\",\"Business City\",\"Home Postal Code\","
      "\"Birthday\",\"Categories\",\"Car Phone\",\"Gender\"\r\n"
      "\"Ann\",\"B\",\"Lee\",\"Ms.\",\"Jr.\",\"ann@x.example\",\"ann@y.example\",\"+1 555 0101\",\"1 Main St\","
      "\"Suite 4\",\"Springfield\",\"12345\",\"3/7/1980\",\"Golf;Work\",\"+1 555 0199\",\"Unspecified\"\r\n";
  CsvProfile profile{};
  auto persons = read(english, {}, &profile);
  EXPECT_EQ(profile, CsvProfile::Outlook);
  ASSERT_EQ(persons.size(), 1u);
  const ABPersonData& ann = persons[0];
  EXPECT_EQ(text(ann, kABTitleProperty), "Ms.");
  EXPECT_EQ(text(ann, kABSuffixProperty), "Jr.");
  EXPECT_EQ(entries(ann, kABEmailProperty),
            (Strings{kABOtherLabel + "=ann@x.example", kABOtherLabel + "=ann@y.example"}));
  EXPECT_EQ(entries(ann, kABPhoneProperty), (Strings{kABPhoneMobileLabel + "=+1 555 0101", "Car=+1 555 0199"}));
  EXPECT_EQ(entries(ann, kABAddressProperty),
            (Strings{kABWorkLabel + "=Street:1 Main St\nSuite 4|City:Springfield", kABHomeLabel + "=ZIP:12345"}));
  EXPECT_EQ(ann.date(kABBirthdayProperty)->toIsoString(), "1980-03-07");  // month first
  EXPECT_EQ(keptCategories(ann), (Strings{"Golf", "Work"}));
  ASSERT_EQ(keptCsvFields(ann).size(), 1u);
  EXPECT_EQ(keptCsvFields(ann)[0].first, "Gender");

  // German Outlook writes semicolons in the system's code page; birthdays day first.
  // The heading line itself is in Windows-1252 too ("geschäftlich").
  const std::string windows =
      "Vorname;Nachname;Firma;E-Mail-Adresse;Telefon gesch\xE4"
      "ftlich;Stra\xDF"
      "e privat;Ort privat;Geburtstag\r\n"
      "J\xFCrgen;Stra\xDF"
      "er;M\xFCller GmbH;j@m.example;030 1;Hauptstra\xDF"
      "e 1;K\xF6ln;7.3.1980\r\n";
  CsvImport import;
  std::string error;
  ASSERT_TRUE(import.openBytes(windows, "de.csv", {}, &error)) << error;
  EXPECT_EQ(import.table().charset(), "WINDOWS-1252");
  EXPECT_EQ(import.table().delimiter(), ';');
  EXPECT_EQ(import.profile(), CsvProfile::Outlook);
  ASSERT_TRUE(import.persons(persons, &error)) << error;
  ASSERT_EQ(persons.size(), 1u);
  EXPECT_EQ(text(persons[0], kABFirstNameProperty), "Jürgen");
  EXPECT_EQ(text(persons[0], kABOrganizationProperty), "Müller GmbH");
  EXPECT_EQ(entries(persons[0], kABPhoneProperty), (Strings{kABWorkLabel + "=030 1"}));
  EXPECT_EQ(entries(persons[0], kABAddressProperty), (Strings{kABHomeLabel + "=Street:Hauptstraße 1|City:Köln"}));
  EXPECT_EQ(persons[0].date(kABBirthdayProperty)->toIsoString(), "1980-03-07");  // day first

  const std::string french =
      "Prénom;Nom;Adresse de messagerie;Tél. mobile;Ville (bureau);Anniversaire\n"
      "Élodie;Durand;e@d.example;06 12;Paris;07/03/1980\n";
  persons = read(french, {}, &profile);
  EXPECT_EQ(profile, CsvProfile::Outlook);
  ASSERT_EQ(persons.size(), 1u);
  EXPECT_EQ(text(persons[0], kABFirstNameProperty), "Élodie");
  EXPECT_EQ(entries(persons[0], kABAddressProperty), (Strings{kABWorkLabel + "=City:Paris"}));
  EXPECT_EQ(persons[0].date(kABBirthdayProperty)->toIsoString(), "1980-03-07");
}

TEST(CsvImport, ThunderbirdInUtf16) {
  const std::string utf8 =
      "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Screen Name,Work Phone,"
      "Home Phone,Fax Number,Pager Number,Mobile Number,Home Address,Home Address 2,Home City,Home State,"
      "Home ZipCode,Home Country,Work Address,Work Address 2,Work City,Work State,Work ZipCode,Work Country,"
      "Job Title,Department,Organization,Web Page 1,Web Page 2,Birth Year,Birth Month,Birth Day,Custom 1,"
      "Custom 2,Custom 3,Custom 4,Notes\n"
      "Ōta,Ken,Ken Ōta (work),,ken@x.example,ken@y.example,kenny,03 1,03 2,03 3,03 4,090 5,1-2 Chiyoda,,Tokyo,,"
      "100-0001,Japan,,,,,,,Engineer,R&D,Ōta KK,https://work.example,https://home.example,1990,12,1,,,,,\n";
  std::string utf16 = "\xFF\xFE";
  // ASCII and the few non-ASCII letters of the test as UTF-16LE.
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = utf8[i];
    unsigned code = c;
    if (c >= 0x80) {
      code = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
      ++i;
    }
    utf16 += static_cast<char>(code & 0xFF);
    utf16 += static_cast<char>(code >> 8);
  }
  CsvProfile profile{};
  const auto persons = read(utf16, {}, &profile);
  EXPECT_EQ(profile, CsvProfile::Thunderbird);
  ASSERT_EQ(persons.size(), 1u);
  const ABPersonData& ken = persons[0];
  EXPECT_EQ(text(ken, kABFirstNameProperty), "Ōta");
  EXPECT_EQ(text(ken, kABDepartmentProperty), "R&D");
  EXPECT_EQ(entries(ken, kABURLsProperty),
            (Strings{kABWorkLabel + "=https://work.example", kABHomeLabel + "=https://home.example"}));
  EXPECT_EQ(ken.date(kABBirthdayProperty)->toIsoString(), "1990-12-01");
  EXPECT_EQ(entries(ken, kABPhoneProperty).size(), 5u);
  // The display name says more than the name shown: kept; so is the screen name.
  const auto kept = keptCsvFields(ken);
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0], (std::pair<std::string, std::string>{"Screen Name", "kenny"}));
  EXPECT_EQ(kept[1], (std::pair<std::string, std::string>{"Display Name", "Ken Ōta (work)"}));
}

TEST(CsvImport, MapsHeadingsAsToldAndRefusesABadLineByItsNumber) {
  const std::string file = "Name,Mail,Handy\nAnn Lee,ann@example.org,0171 1\n";
  CsvImportOptions options;
  options.map = {{"Mail", "Work Email"}, {"Handy", "Mobile"}, {"Name", "display name"}};
  const auto persons = read(file, options);
  ASSERT_EQ(persons.size(), 1u);
  EXPECT_EQ(entries(persons[0], kABEmailProperty), (Strings{kABWorkLabel + "=ann@example.org"}));
  EXPECT_EQ(entries(persons[0], kABPhoneProperty), (Strings{kABPhoneMobileLabel + "=0171 1"}));
  EXPECT_EQ(text(persons[0], kABLastNameProperty), "Lee");

  std::string error;
  CsvImport import;
  options.map = {{"Nope", "Mobile"}};
  EXPECT_FALSE(import.openBytes(file, "people.csv", options, &error));
  EXPECT_EQ(error, "--map: people.csv has no heading \"Nope\"");
  EXPECT_FALSE(import.openBytes("First Name,Last Name\nAnn,Lee\n\"Bo,Ng\n", "people.csv", {}, &error));
  EXPECT_EQ(error, "people.csv:3: a quoted field is not closed");
  EXPECT_FALSE(import.openBytes("First Name,Last Name\nAnn,Lee\nBo,Ng,x\n", "people.csv", {}, &error));
  EXPECT_EQ(error, "people.csv:3: 3 fields, but the heading line names only 2");
  EXPECT_FALSE(import.openBytes("First Name,Note\nAnn,\"a\nb\"c\n", "people.csv", {}, &error));
  EXPECT_EQ(error, "people.csv:3: text after the closing quote of a field");
}
