#include <gtest/gtest.h>

#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/conditions/NameCase.h"
#include "app/scanner/conditions/ScannerConditions.h"
#include "app/scanner/conditions/TextRepair.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABMarks.h"

namespace {

std::string repaired(std::string_view text, bool email = false) {
  TextRepair::Finding found = TextRepair::examine(text, email);
  if (!found) return "<clean>";
  if (found.damage == TextRepair::Damage::kLostCharacters) return "<lost>";
  return found.repaired;
}

std::string written(std::string_view name, NameCase::Part part = NameCase::Part::kLast) {
  return NameCase::asName(name, part).value_or("<kept>");
}

}  // namespace

TEST(TextRepairTest, EachFormOfDamageIsRepairedExactly) {
  EXPECT_EQ(repaired("MÃ¤x"), "Mäx");
  EXPECT_EQ(repaired("MÃƒÂ¤x"), "Mäx") << "written twice";
  EXPECT_EQ(repaired("Ã˜ystein"), "Øystein");
  EXPECT_EQ(repaired("itâ€™s done"), "it’s done") << "Windows-1252 beyond Latin-1";
  EXPECT_EQ(repaired("Ð¡ÐµÑ€Ð³ÐµÐ¹"), "Сергей");
  EXPECT_EQ(repaired("M=C3=A4x"), "Mäx");
  EXPECT_EQ(repaired("=E4"), "ä") << "one byte per letter";
  EXPECT_EQ(repaired("Smith &amp; Co"), "Smith & Co");
  EXPECT_EQ(repaired("Ren&#233; and Ren&#xE9;e"), "René and Renée");
  EXPECT_EQ(repaired("M&uuml;ller &amp; S&ouml;hne"), "Müller & Söhne");
  EXPECT_EQ(repaired("M\xEF\xBF\xBDx"), "<lost>");
  EXPECT_EQ(repaired("M=C3=A4x@example.org", true), "Mäx@example.org");
}

TEST(TextRepairTest, TextThatLooksOddButIsRightIsNeverDamaged) {
  for (const char* clean : {"Øystein",
                            "Müller",
                            "São Paulo",
                            "Ãlvaro",
                            "x=3",
                            "a = b",
                            "Q&A",
                            "AT&T",
                            "Tom & Jerry; friends",
                            "E=mc²",
                            "=Summit=",
                            "100%",
                            "张伟 東京都港区",
                            "שלום עולם",
                            "مرحبا بالعالم",
                            "party 🎉 time 😀",
                            "Łódź Ærøskøbing Ñandú",
                            "O'Brien & <Sons> \"quoted\"",
                            "=ZZ",
                            "price =A3",
                            "Ã",
                            "Â",
                            "naïve café"})
    EXPECT_EQ(repaired(clean), "<clean>") << clean;
  for (const char* address : {"user=tag@example.org", "bounce=AB=CD@example.org", "a&b@example.org", "x=3@y.org"})
    EXPECT_EQ(repaired(address, true), "<clean>") << address;
  // A repair whose letters are of two scripts, or that yields no letter, is no exact repair.
  EXPECT_EQ(repaired("=C2=A4"), "<clean>");
  EXPECT_EQ(repaired("&#1;"), "<clean>");
}

TEST(NameCaseTest, NamesInOneCaseAreWrittenAsNames) {
  EXPECT_EQ(written("MCDONALD"), "McDonald");
  EXPECT_EQ(written("MACDONALD"), "MacDonald");
  EXPECT_EQ(written("MACHADO"), "Machado");
  EXPECT_EQ(written("O'BRIEN"), "O'Brien");
  EXPECT_EQ(written("d'angelo"), "D'Angelo");
  EXPECT_EQ(written("JEAN-LUC", NameCase::Part::kFirst), "Jean-Luc");
  EXPECT_EQ(written("VAN DER BERG"), "van der Berg");
  EXPECT_EQ(written("VAN DER BERG", NameCase::Part::kFirst), "Van der Berg") << "a first word is capitalised";
  EXPECT_EQ(written("LUDWIG VAN BEETHOVEN", NameCase::Part::kFirst), "Ludwig van Beethoven");
  EXPECT_EQ(written("de la cruz"), "de la Cruz");
  EXPECT_EQ(written("LE"), "Le") << "a particle that is the whole last name";
  EXPECT_EQ(written("AL-RASHID"), "al-Rashid");
  EXPECT_EQ(written("bin laden"), "bin Laden");
  EXPECT_EQ(written("ΓΙΑΝΝΗΣ"), "Γιαννης") << "the final sigma";
  EXPECT_EQ(written("ÅSA", NameCase::Part::kFirst), "Åsa");
  EXPECT_EQ(written("BMW GROUP", NameCase::Part::kOrganization), "BMW Group");
  EXPECT_EQ(written("BANK OF AMERICA", NameCase::Part::kOrganization), "Bank of America");
  EXPECT_EQ(written("acme inc", NameCase::Part::kOrganization), "Acme Inc");
}

TEST(NameCaseTest, NamesOfMixedCaseOrWithoutCaseAreKept) {
  for (const char* kept : {"McDonald", "DiCaprio", "van der Berg", "Ann", "O'Brien", "张伟", "שלום", "J", "J.", "A.B.",
                           "Łódź", "Jean-Luc", "42"})
    EXPECT_EQ(written(kept), "<kept>") << kept;
  EXPECT_EQ(written("iPhone Shop", NameCase::Part::kOrganization), "<kept>");
  EXPECT_EQ(written("IBM", NameCase::Part::kOrganization), "<kept>") << "initials stay";
}

TEST(UnlikelyDateTest, DatesThatCannotBeRight) {
  const ABDate today{2026, 12, 9};
  auto unlikely = [&](ABDate date) { return ScannerConditions::unlikelyBirthday(date, today).has_value(); };
  EXPECT_TRUE(unlikely({2026, 12, 10})) << "tomorrow";
  EXPECT_FALSE(unlikely({2026, 12, 9})) << "born today";
  EXPECT_TRUE(unlikely({1899, 12, 31}));
  EXPECT_FALSE(unlikely({1900, 1, 2}));
  EXPECT_TRUE(unlikely({1900, 1, 1}));
  EXPECT_TRUE(unlikely({1970, 1, 1}));
  EXPECT_FALSE(unlikely({1970, 1, 2}));
  EXPECT_FALSE(unlikely({1604, 5, 3})) << "the store's form of a birthday without a year";
}

// The four conditions in a scan of a store: what each lists, duplicates with different birthdays,
// and the persons the user kept as they are left out until their values change.
TEST(NewConditionsScanTest, AScanListsThemAndHonoursKeptMarks) {
  auto book = ABAddressBook::inMemory();
  auto add = [&](std::vector<std::pair<std::string, ABValue>> values, bool reachable = true) {
    auto person = ABPerson::create();
    for (auto& [property, value] : values) person->setValueForProperty(value, property);
    if (reachable) {
      ABMultiValue phones;
      phones.addValueWithLabel(std::string("+47 22 00 00 ") + std::to_string(book->people().size() + 10),
                               kABPhoneMobileLabel);
      person->setValueForProperty(phones, kABPhoneProperty);
    }
    book->addRecord(person);
    return person;
  };
  auto damaged = add({{kABFirstNameProperty, std::string("MÃ¤x")}, {kABLastNameProperty, std::string("Berg")}});
  ABMultiValue addresses;
  addresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, std::string("K=C3=B8benhavn")}}, kABHomeLabel);
  auto street = add({{kABFirstNameProperty, std::string("Ann")}, {kABAddressProperty, addresses}});
  auto capitals = add({{kABFirstNameProperty, std::string("JOHN")}, {kABLastNameProperty, std::string("Smith")}});
  auto future = add({{kABFirstNameProperty, std::string("Eve")}, {kABBirthdayProperty, ABDate{2999, 1, 1}}});
  auto twinA = add({{kABFirstNameProperty, std::string("Bo")},
                    {kABLastNameProperty, std::string("Lee")},
                    {kABBirthdayProperty, ABDate{1980, 5, 3}}});
  auto twinB = add({{kABFirstNameProperty, std::string("Bo")},
                    {kABLastNameProperty, std::string("Lee")},
                    {kABBirthdayProperty, ABDate{1981, 5, 3}}});
  add({{kABFirstNameProperty, std::string("Cy")},
       {kABLastNameProperty, std::string("Lee")},
       {kABBirthdayProperty, ABDate{1604, 5, 3}}});
  auto alone = add({{kABFirstNameProperty, std::string("Solo")}}, false);
  add({{kABFirstNameProperty, std::string("Noted")}, {kABNoteProperty, std::string("met in Oslo")}}, false);
  ASSERT_TRUE(book->save());
  const std::vector<std::string> four = {"Damaged text", "Name in capitals or small letters",
                                         "Birthday that cannot be right", "Contact that cannot be reached"};
  ScanResult result = ScanAddressBook(*book).scan(four);
  using Persons = std::vector<ABPersonRef>;
  EXPECT_EQ(result.personsFor("DamagedText"), (Persons{damaged, street}));
  EXPECT_EQ(result.personsFor("NameCase"), (Persons{capitals}));
  EXPECT_EQ(result.personsFor("UnlikelyDate"), (Persons{future, twinA, twinB}));
  EXPECT_EQ(result.personsFor("Unreachable"), (Persons{alone}));
  EXPECT_EQ(ScanAddressBook(*book).findUnlikelyDates(), (Persons{future, twinA, twinB}));

  // Kept as they are: left out while their values are as kept.
  ASSERT_TRUE(book->addMark(ABMarkKind::kKeptAsItIs, {capitals->uniqueId()},
                            ABMarkCover::valueOfList({"NameCase", "JOHN"}), "Kept", nullptr));
  ASSERT_TRUE(book->addMark(ABMarkKind::kKeptAsItIs, {future->uniqueId()},
                            ABMarkCover::valueOfList({"UnlikelyDate", "2999-01-01"}), "Kept", nullptr));
  result = ScanAddressBook(*book).scan(four);
  EXPECT_FALSE(result.contains("NameCase"));
  EXPECT_EQ(result.personsFor("UnlikelyDate"), (Persons{twinA, twinB}));
  capitals->setValueForProperty(std::string("JOHNNY"), kABFirstNameProperty);
  ASSERT_TRUE(book->save());
  EXPECT_EQ(ScanAddressBook(*book).scan(four).personsFor("NameCase"), (Persons{capitals}));
}
