#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>

#include "app/scanner/MetAgain.h"
#include "app/scanner/NameFolding.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/SimilarContacts.h"
#include "tests/app/scanner/ScanFixture.h"

namespace {

const std::string kHome = kABHomeLabel;
const std::string kMobile = kABPhoneMobileLabel;

class SimilarContactsTest : public ScanFixture {
 protected:
  std::vector<SimilarGroup> similar(const std::string& region = "DE") const {
    ScanAddressBook scan(*book_);
    scan.setRegion(region);
    return scan.scan({"Similar contacts"}).similarContacts;
  }
  ABPersonRef named(const std::string& first, const std::string& last, std::map<std::string, std::string> more = {}) {
    more[kABFirstNameProperty] = first;
    more[kABLastNameProperty] = last;
    return add(more);
  }
  static std::vector<std::string> uids(const SimilarGroup& group) {
    std::vector<std::string> ids;
    for (const auto& person : group.Persons) ids.push_back(person->uniqueId());
    return ids;
  }
};

TEST(NameFoldingTest, NamesAreTheSameWhateverTheirCaseAccentsPunctuationSpacingAndOrder) {
  const std::string key = NameFolding::nameKey("Ann", "Lee");
  EXPECT_EQ(key, "ann lee");
  EXPECT_EQ(NameFolding::nameKey("Lee,", "Ann"), key);
  EXPECT_EQ(NameFolding::nameKey("ann", "lee"), key);
  EXPECT_EQ(NameFolding::nameKey("Ann ", " LEE"), key);
  EXPECT_EQ(NameFolding::nameKey("\xC3\x81nn", "Lee"), key);   // Ánn, composed
  EXPECT_EQ(NameFolding::nameKey("A\xCC\x81nn", "Lee"), key);  // Ánn, decomposed
  EXPECT_EQ(NameFolding::nameKey("Ann\xC2\xA0Lee", ""), key);  // no-break space
  EXPECT_EQ(NameFolding::nameKey("Jos\xC3\xA9",
                                 "Garc\xC3\xAD"
                                 "a"),
            NameFolding::nameKey("Jose", "Garcia"));
  EXPECT_EQ(NameFolding::nameKey("S\xC3\xB8ren",
                                 "Stra\xC3\x9F"
                                 "e"),
            NameFolding::nameKey("Soren", "Strasse"));
  EXPECT_EQ(NameFolding::nameKey("Sean", "O'Brien"), NameFolding::nameKey("Sean", "OBrien"));
  EXPECT_EQ(NameFolding::nameKey("Jean-Luc", "Picard"), NameFolding::nameKey("Jean Luc", "Picard"));
  EXPECT_NE(NameFolding::nameKey("Ann", "Lee"), NameFolding::nameKey("Anne", "Lee"));
  EXPECT_NE(NameFolding::nameKey("Ann", "Lee"), NameFolding::nameKey("Ann Q", "Lee"));
  EXPECT_EQ(NameFolding::nameKey("", ""), "");
  EXPECT_EQ(NameFolding::nameKey("--", ""), "");
}

// Names of characters of the Basic Multilingual Plane are folded character by character through a
// table (made once for Latin, Greek, Cyrillic, Armenian and Hebrew, filled as they are met for the
// others); every such character folds there as the general path folds the whole text, alone, between
// letters, twice in a row and before a combining mark.
TEST(NameFoldingTest, TheTableOfCharactersFoldsAsTheGeneralPath) {
  auto utf8 = [](char32_t c) {
    std::string out;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
  };
  const std::string beyond = utf8(0x20000);  // a CJK letter beyond the plane: the general path
  const std::string acute = utf8(0x301);
  int compared = 0;
  for (char32_t c = 0x80; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;  // surrogates are no characters of UTF-8
    const std::string text = "Ab" + utf8(c) + "Cd " + utf8(c) + utf8(c) + " " + utf8(c) + acute + "e";
    auto table = NameFolding::words(text);
    auto general = NameFolding::words(text + " " + beyond);
    ASSERT_FALSE(general.empty());
    general.pop_back();
    ASSERT_EQ(table, general) << "U+" << std::hex << static_cast<unsigned>(c);
    // A name holding the character gets the key of its folded words.
    std::vector<std::string> sorted = table;
    std::sort(sorted.begin(), sorted.end());
    std::string key;
    for (const auto& word : sorted) key += (key.empty() ? "" : " ") + word;
    ASSERT_EQ(NameFolding::nameKey(text, ""), key) << "U+" << std::hex << static_cast<unsigned>(c);
    ++compared;
  }
  EXPECT_EQ(compared, 0x10000 - 0x80 - 0x800);
}

// Values counted by their hash: equal values get one number whatever other values share their hash
// or their slot, different ones get numbers of their own in the order first met.
TEST(NumberedByHashTest, EqualValuesShareANumberAndHashesThatCollideDoNotJoinValues) {
  NumberedByHash numbered(40);
  std::vector<std::string> texts;
  auto number = [&](std::uint64_t hash, const std::string& text) {
    const std::uint32_t n = numbered.numberOf(hash, [&](std::uint32_t v) { return texts[v] == text; });
    if (n == texts.size()) texts.push_back(text);
    return n;
  };
  const std::uint64_t sameSlot = std::uint64_t{5} << 32;
  EXPECT_EQ(number(sameSlot, "a"), 0u);
  EXPECT_EQ(number(sameSlot, "b"), 1u);      // the same hash, another value
  EXPECT_EQ(number(sameSlot + 1, "a"), 2u);  // the same slot, another hash: not the value of hash 5
  EXPECT_EQ(number(sameSlot, "a"), 0u);
  EXPECT_EQ(number(sameSlot, "b"), 1u);
  EXPECT_EQ(number(sameSlot + 1, "a"), 2u);
  for (std::uint64_t k = 0; k < 30; ++k) EXPECT_EQ(number(k << 32, "v" + std::to_string(k)), 3 + k);
  for (std::uint64_t k = 0; k < 30; ++k) EXPECT_EQ(number(k << 32, "v" + std::to_string(k)), 3 + k);
  EXPECT_EQ(texts.size(), 33u);
}

// A key written into a buffer used again and again is the key of the words of the whole name
// ("first last"), whichever way its parts are folded: ASCII, the table, the general path, bytes
// that are not UTF-8; and so is an organisation's folded text.
TEST(NameFoldingTest, KeysWrittenIntoABufferAreTheKeysOfTheWholeName) {
  std::vector<std::string> parts = {"",
                                    " ",
                                    "Ann",
                                    "LEE, ann",
                                    "O'Brien",
                                    "Jean-Luc",
                                    "  Mary  Ann ",
                                    "\xC3\x81nn",
                                    "A\xCC\x81nn",
                                    "\xCE\x91\xCE\xB8\xCE\xAE\xCE\xBD\xCE\xB1",
                                    "\xE5\xB1\xB1 Li",
                                    "\xC3",
                                    "a\x01b",
                                    "Stra\xC3\x9F"
                                    "e",
                                    "\xC2\xA0x\xC2\xA0",
                                    "\xC3\xA9t\xC3\xA9 \xE5\xB1\xB1",
                                    "\xC3\xA9t\xC3\xA9\xC3",
                                    "\xF0\xA0\x80\x80 Li",                 // beyond the plane
                                    "Nguy\xE1\xBB\x85n \xF0\xA0\x80\x80",  // both ways in one name
                                    "\xED\xA0\x80x",                       // a surrogate
                                    "\xE0\x80\x81x",                       // overlong
                                    "\xE5\xB1",                            // cut short
                                    "\t\r\n"};
  for (int c = 1; c < 128; ++c) parts.push_back(std::string("x") + static_cast<char>(c) + "Y");
  auto expectedKey = [](const std::string& text) {
    auto list = NameFolding::words(text);
    std::sort(list.begin(), list.end());
    std::string key;
    for (const auto& word : list) key += (key.empty() ? "" : " ") + word;
    return key;
  };
  std::string key = "left over from before, longer than any key";
  std::string folded = key;
  size_t compared = 0;
  for (const auto& first : parts) {
    NameFolding::foldedInto(first, folded);
    auto words = NameFolding::words(first);
    std::string joined;
    for (const auto& word : words) joined += (joined.empty() ? "" : " ") + word;
    EXPECT_EQ(folded, joined) << first;
    for (const auto& last : parts) {
      NameFolding::nameKeyInto(first, last, key);
      ASSERT_EQ(key, expectedKey(first + " " + last)) << first << "|" << last;
      ++compared;
    }
  }
  EXPECT_EQ(compared, parts.size() * parts.size());
}

// E-mail addresses are compared in lower case; Gmail's without the dots and "+tag" of their
// local part, googlemail.com as gmail.com; a key written into a buffer used again is the same.
TEST(EmailKeyTest, AddressesAreComparedAsTheirProviderDeliversThem) {
  std::vector<std::pair<std::string, std::string>> cases = {
      {"Ann.Lee@Example.ORG", "ann.lee@example.org"},
      {" \tann@example.org\t", "ann@example.org"},
      {"A.n.N+news@GMail.com", "ann@gmail.com"},
      {"ann@googlemail.com", "ann@gmail.com"},
      {"an.n+a+b@gmail.com", "ann@gmail.com"},
      {"+tag@gmail.com", "+tag@gmail.com"},
      {"...@gmail.com", "...@gmail.com"},
      {"ann+x@gmail.com.au", "ann+x@gmail.com.au"},
      {"a@b@Gmail.com", ""},
      {"ann lee@example.org", ""},
      {"ann@example", ""},
      {"", ""},
  };
  // Every byte but the forbidden ones, at every place of an eight-byte word: only 'A' to 'Z' change.
  std::string local, lower;
  for (int c = 1; c < 256; ++c) {
    if (std::string_view(" \t\n\v\f\r(),:;<>[]\\\"@").find(static_cast<char>(c)) != std::string_view::npos ||
        c == 0x85 || c == 0xA0 || c >= 0xC2)
      continue;  // white space beyond ASCII begins with 0xC2, 0xE1, 0xE2 or 0xE3: none of those
    local += static_cast<char>(c);
    lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
  }
  for (size_t shift = 0; shift < 8; ++shift)
    cases.emplace_back(local.substr(shift) + "@Ex\xC3\x84mple.ORG", lower.substr(shift) + "@ex\xC3\x84mple.org");
  std::string key = "left over from a longer address than any of these";
  for (const auto& [address, expected] : cases) {
    EXPECT_EQ(SimilarContacts::emailKey(address), expected) << address;
    EXPECT_EQ(SimilarContacts::emailKeyInto(address, key), !expected.empty()) << address;
    EXPECT_EQ(key, expected) << address;
  }
}

TEST(NameFoldingTest, TheDifferencesAreNamedAsTheyAre) {
  EXPECT_EQ(NameFolding::differences("Jos\xC3\xA9",
                                     "Garc\xC3\xAD"
                                     "a",
                                     "Jose", "Garcia"),
            "accents");
  EXPECT_EQ(NameFolding::differences("Ann", "LEE", "Ann", "Lee"), "case");
  EXPECT_EQ(NameFolding::differences("Lee", "Ann", "Ann", "Lee"), "the order of first and last name");
  EXPECT_EQ(NameFolding::differences("Lee,", "Ann", "Ann", "Lee"), "punctuation and the order of first and last name");
  EXPECT_EQ(NameFolding::differences("Ann ", "Lee", "Ann", "Lee"), "spacing");
  EXPECT_EQ(NameFolding::differences("\xC3\x81NN", "lee", "Ann", "Lee"), "case and accents");
  EXPECT_EQ(NameFolding::differences("Ann Lee", "", "Ann", "Lee"), "");
}

// Numbers of thirteen countries, each written nationally and internationally: both read as one
// number, only the national one listed as not international, and written as libphonenumber writes it.
TEST(PhoneNumbersTest, NumbersOfManyCountriesReadTheSameWrittenEitherWay) {
  struct Case {
    const char* region;
    const char* national;
    const char* international;
    const char* e164;
  };
  const Case cases[] = {
      {"DE", "030 1234567", "+49 30 1234567", "+49301234567"},
      {"US", "(212) 555-0123", "+1 212-555-0123", "+12125550123"},
      {"GB", "020 7946 0958", "+44 20 7946 0958", "+442079460958"},
      {"FR", "01 23 45 67 89", "+33 1 23 45 67 89", "+33123456789"},
      {"IT", "06 1234 5678", "+39 06 1234 5678", "+390612345678"},
      {"ES", "912 34 56 78", "+34 912 34 56 78", "+34912345678"},
      {"NL", "020 123 4567", "+31 20 123 4567", "+31201234567"},
      {"CH", "044 668 18 00", "+41 44 668 18 00", "+41446681800"},
      {"AT", "01 53115", "+43 1 53115", "+43153115"},
      {"JP", "03-1234-5678", "+81 3-1234-5678", "+81312345678"},
      {"AU", "(02) 1234 5678", "+61 2 1234 5678", "+61212345678"},
      {"BR", "(11) 91234-5678", "+55 11 91234-5678", "+5511912345678"},
      {"IN", "098765 43210", "+91 98765 43210", "+919876543210"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.region);
    PhoneNumbers phones(c.region);
    auto national = phones.read(c.national);
    auto international = phones.read(c.international);
    ASSERT_TRUE(national.read);
    ASSERT_TRUE(international.read);
    EXPECT_EQ(national.e164, c.e164);
    EXPECT_EQ(international.e164, c.e164);
    EXPECT_TRUE(national.valid);
    EXPECT_FALSE(national.international);
    EXPECT_TRUE(international.international);
    EXPECT_EQ(phones.international(c.national), c.international);
    EXPECT_EQ(phones.e164(c.national), c.e164);
  }
}

TEST(PhoneNumbersTest, TheRegionDecidesWhatANationalNumberIs) {
  EXPECT_EQ(PhoneNumbers("DE").read("030 1234567").e164, "+49301234567");
  EXPECT_FALSE(PhoneNumbers("US").read("030 1234567").valid);
  // Without a region only numbers written with their country code are read.
  EXPECT_FALSE(PhoneNumbers("").read("030 1234567").read);
  EXPECT_TRUE(PhoneNumbers("").read("+49 30 1234567").read);
  EXPECT_FALSE(PhoneNumbers("XX").read("030 1234567").read);
  // Letters are left to "Invalid characters".
  EXPECT_FALSE(PhoneNumbers("US").read("555-CALL").read);
  EXPECT_TRUE(PhoneNumbers::isKnownRegion("DE"));
  EXPECT_FALSE(PhoneNumbers::isKnownRegion("de"));
  EXPECT_FALSE(PhoneNumbers::isKnownRegion("XX"));
}

TEST(PhoneNumbersTest, TheLocaleGivesTheDefaultRegion) {
  auto keep = [](const char* name) {
    const char* value = std::getenv(name);
    return value ? std::optional<std::string>(value) : std::nullopt;
  };
  auto all = keep("LC_ALL"), telephone = keep("LC_TELEPHONE"), lang = keep("LANG");
  ::unsetenv("LC_ALL");
  ::setenv("LC_TELEPHONE", "fr_CH.UTF-8", 1);
  ::setenv("LANG", "de_DE.UTF-8", 1);
  EXPECT_EQ(PhoneNumbers::localeRegion(), "CH");
  ::unsetenv("LC_TELEPHONE");
  EXPECT_EQ(PhoneNumbers::localeRegion(), "DE");
  ::setenv("LC_ALL", "C.UTF-8", 1);
  EXPECT_EQ(PhoneNumbers::localeRegion(), "");
  auto restore = [](const char* name, const std::optional<std::string>& value) {
    if (value)
      ::setenv(name, value->c_str(), 1);
    else
      ::unsetenv(name);
  };
  restore("LC_ALL", all);
  restore("LC_TELEPHONE", telephone);
  restore("LANG", lang);
}

TEST_F(SimilarContactsTest, TheSameNumberWrittenTwoWaysLinksTwoPersons) {
  auto a = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}}, {}, {{kHome, "+49 30 1234567"}});
  add({{kABFirstNameProperty, "Bob"}, {kABLastNameProperty, "Ray"}}, {}, {{kHome, "+49 30 7654321"}});
  auto c = add({{kABFirstNameProperty, "Annie"}, {kABLastNameProperty, "Lee-Ray"}}, {}, {{kMobile, "030 1234567"}});
  auto groups = similar("DE");
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(uids(groups[0]), (std::vector<std::string>{a->uniqueId(), c->uniqueId()}));
  EXPECT_EQ(groups[0].Reason, "same phone +49 30 1234567");
  // Read as numbers of the United States, 030 1234567 is another number.
  EXPECT_TRUE(similar("US").empty());
}

TEST_F(SimilarContactsTest, AddressesLinkIgnoringCaseAndTheGmailEquivalencesOnlyForGmail) {
  auto a = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}}, {{kHome, "ann.lee+work@Gmail.com"}});
  auto b = add({{kABFirstNameProperty, "A."}, {kABLastNameProperty, "Lee"}}, {{kHome, "annlee@googlemail.com"}});
  auto c = add({{kABFirstNameProperty, "Carl"}, {kABLastNameProperty, "Ode"}}, {{kHome, "Carl.Ode@Example.org"}});
  auto d = add({{kABFirstNameProperty, "Karl"}, {kABLastNameProperty, "Ode"}}, {{kHome, "carl.ode@example.ORG"}});
  add({{kABFirstNameProperty, "Kim"}, {kABLastNameProperty, "Ode"}}, {{kHome, "carlode@example.org"}});
  add({{kABFirstNameProperty, "Kai"}, {kABLastNameProperty, "Ode"}}, {{kHome, "carl.ode+x@example.org"}});
  auto groups = similar();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(uids(groups[0]), (std::vector<std::string>{a->uniqueId(), b->uniqueId()}));
  EXPECT_EQ(groups[0].Reason, "same e-mail annlee@gmail.com");
  EXPECT_EQ(uids(groups[1]), (std::vector<std::string>{c->uniqueId(), d->uniqueId()}));
  EXPECT_EQ(groups[1].Reason, "same e-mail carl.ode@example.org");
}

TEST_F(SimilarContactsTest, NamesLinkApartFromAccentsUnlessBirthdaysOrOrganisationsSayTwoPeople) {
  auto jose = named("Jos\xC3\xA9",
                    "Garc\xC3\xAD"
                    "a");
  auto plain = named("Jose", "Garcia");
  auto groups = similar();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(uids(groups[0]), (std::vector<std::string>{jose->uniqueId(), plain->uniqueId()}));
  EXPECT_EQ(groups[0].Reason, "same name apart from accents");

  // Two Ann Lees born on different days are two people; so are two at different companies.
  auto born = named("Ann", "Lee");
  born->setValueForProperty(ABDate{1980, 1, 2}, kABBirthdayProperty);
  auto later = named("ann", "LEE");
  later->setValueForProperty(ABDate{1990, 5, 6}, kABBirthdayProperty);
  named("Bo", "Ek", {{kABOrganizationProperty, "Acme"}});
  named("bo", "ek", {{kABOrganizationProperty, "Globex"}});
  // The same organisation folded the same way, or only one of them holding one, still links.
  auto c1 = named("Cy", "Fu", {{kABOrganizationProperty, "ACME Ltd."}});
  auto c2 = named("cy", "fu", {{kABOrganizationProperty, "Acme Ltd"}});
  auto d1 = named("Di", "Gu", {{kABOrganizationProperty, "Acme"}});
  auto d2 = named("Gu,", "Di");
  groups = similar();
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(uids(groups[1]), (std::vector<std::string>{c1->uniqueId(), c2->uniqueId()}));
  EXPECT_EQ(groups[1].Reason, "same name apart from case");
  EXPECT_EQ(uids(groups[2]), (std::vector<std::string>{d1->uniqueId(), d2->uniqueId()}));
  EXPECT_EQ(groups[2].Reason, "same name apart from punctuation and the order of first and last name");
}

TEST_F(SimilarContactsTest, ThousandsOfNamesSharingAFirstOrALastNameLinkOnlyTheSameName) {
  // Each name twice, written in another case (not an exact duplicate): first names shared by
  // thousands of last names (each pair with one organisation, written in another case too) and the
  // other way round.
  constexpr int kNames = 3000;
  std::vector<std::pair<ABPersonRef, ABPersonRef>> pairs;
  for (int i = 0; i < kNames; ++i) {
    const std::string n = std::to_string(i);
    pairs.emplace_back(named("Ann", "Lee" + n, {{kABOrganizationProperty, "Acme " + n}}),
                       named("ANN", "LEE" + n, {{kABOrganizationProperty, "ACME " + n}}));
    named("ann", "lee" + n, {{kABOrganizationProperty, "Other " + n}});  // the same name, someone else
    pairs.emplace_back(named("Bo" + n, "Li"), named("BO" + n, "LI"));
  }
  const auto groups = similar();
  ASSERT_EQ(groups.size(), pairs.size());
  std::set<std::vector<std::string>> expected, found;
  for (const auto& [a, b] : pairs)
    expected.insert({std::min(a->uniqueId(), b->uniqueId()), std::max(a->uniqueId(), b->uniqueId())});
  for (const auto& group : groups) {
    auto ids = uids(group);
    std::sort(ids.begin(), ids.end());
    found.insert(ids);
  }
  EXPECT_EQ(found, expected);
}

TEST_F(SimilarContactsTest, AThirdPersonNeverJoinsTwoPeopleIntoOneGroup) {
  // Ann Lee of Acme and ann lee of Globex share a name with an Ann Lee who has no organisation:
  // she may be either, never both.
  auto acme = named("Ann", "Lee", {{kABOrganizationProperty, "Acme"}});
  named("ann", "lee", {{kABOrganizationProperty, "Globex"}});
  auto plain = named("ANN", "Lee");
  // Two birthdays never meet in one group either, whatever links them.
  auto x = add({{kABFirstNameProperty, "Xi"}, {kABLastNameProperty, "Wu"}}, {}, {{kHome, "+49 30 5550001"}});
  x->setValueForProperty(ABDate{1970, 1, 1}, kABBirthdayProperty);
  auto y = add({{kABFirstNameProperty, "Yu"}, {kABLastNameProperty, "Wu"}}, {}, {{kHome, "030 5550001"}});
  auto z = add({{kABFirstNameProperty, "Yu"}, {kABLastNameProperty, "WU"}});
  z->setValueForProperty(ABDate{1980, 1, 1}, kABBirthdayProperty);
  auto groups = similar();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(uids(groups[0]), (std::vector<std::string>{acme->uniqueId(), plain->uniqueId()}));
  EXPECT_EQ(uids(groups[1]), (std::vector<std::string>{x->uniqueId(), y->uniqueId()}));
}

TEST_F(SimilarContactsTest, AValueHeldByMoreThanTenPersonsLinksNobody) {
  const char* names[] = {"Al", "Bo", "Cy", "Di", "Ed", "Fa", "Gu", "Hu", "Io", "Jo", "Ka"};
  std::vector<ABPersonRef> office;
  for (int i = 0; i < 10; ++i)
    office.push_back(add({{kABFirstNameProperty, names[i]}, {kABLastNameProperty, "Ode"}}, {{kHome, "desk@acme.com"}},
                         {{kHome, "+49 30 9999999"}}));
  auto groups = similar();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(groups[0].Persons.size(), 10u);
  // An eleventh person with the switchboard number and the shared address: both link nobody now.
  add({{kABFirstNameProperty, names[10]}, {kABLastNameProperty, "Ode"}}, {{kHome, "DESK@acme.com"}},
      {{kHome, "030 9999999"}});
  EXPECT_TRUE(similar().empty());
}

TEST_F(SimilarContactsTest, ExactDuplicatesAreLeftToDuplicateContacts) {
  auto a = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}}, {}, {{kHome, "+49 30 1234567"}});
  auto b = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}}, {}, {{kHome, "030 1234567"}});
  EXPECT_TRUE(similar().empty());
  ScanAddressBook scan(*book_);
  EXPECT_EQ(scan.scan({"Duplicate contacts"}).personsFor("DuplicateContacts"), Persons({a}));
  // A third person linked to them makes one group of all three.
  auto c = add({{kABFirstNameProperty, "Lee,"}, {kABLastNameProperty, "Ann"}});
  auto groups = similar();
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(uids(groups[0]), (std::vector<std::string>{a->uniqueId(), b->uniqueId(), c->uniqueId()}));
}

TEST_F(SimilarContactsTest, PersonsMarkedAsDifferentPeopleAreNotLinked) {
  auto a = named("Ann", "Lee");
  auto b = named("ann", "lee");
  auto c = named("ANN", "LEE");
  ScanAddressBook scan(*book_);
  scan.setDistinctPersons({{a->uniqueId(), b->uniqueId()}});
  auto groups = scan.scan({"Similar contacts"}).similarContacts;
  ASSERT_EQ(groups.size(), 1u);
  EXPECT_EQ(uids(groups[0]), (std::vector<std::string>{a->uniqueId(), c->uniqueId()}));
  scan.setDistinctPersons({{a->uniqueId(), b->uniqueId(), c->uniqueId()}});
  EXPECT_TRUE(scan.scan({"Similar contacts"}).similarContacts.empty());
}

TEST_F(SimilarContactsTest, GroupsComeInTheOrderOfTheirFirstPerson) {
  auto a1 = named("Ann", "Lee");
  auto b1 = named("Bo", "Ek");
  auto a2 = named("ann", "lee");
  auto b2 = named("BO", "EK");
  auto groups = similar();
  ASSERT_EQ(groups.size(), 2u);
  EXPECT_EQ(uids(groups[0]), (std::vector<std::string>{a1->uniqueId(), a2->uniqueId()}));
  EXPECT_EQ(uids(groups[1]), (std::vector<std::string>{b1->uniqueId(), b2->uniqueId()}));
}

TEST_F(SimilarContactsTest, PhoneConditionsListNumbersWrittenTwiceAndNumbersWithoutCountryCode) {
  auto twice = add({{kABFirstNameProperty, "Ann"}}, {}, {{kHome, "030 1234567"}, {kMobile, "+49 (30) 123-4567"}});
  auto same = add({{kABFirstNameProperty, "Bob"}}, {}, {{kHome, "+49 30 1234568"}, {kMobile, "+49 30 1234568"}});
  auto national = add({{kABFirstNameProperty, "Cy"}}, {}, {{kHome, "0171 2345678"}});
  add({{kABFirstNameProperty, "Di"}}, {}, {{kHome, "+49 171 2345679"}, {kMobile, "555-CALL"}, {kMobile, "12"}});
  ScanAddressBook scan(*book_);
  scan.setRegion("DE");
  auto result = scan.scan({"Same phone number written differently", "Phone number not in international format"});
  // Equal texts are "Duplicate phone number"; unreadable ones "Invalid characters".
  EXPECT_EQ(result.personsFor("DupPhoneFormat"), Persons({twice}));
  EXPECT_EQ(result.personsFor("PhoneFormat"), Persons({twice, national}));
  EXPECT_EQ(scan.scan({"Duplicate phone number"}).personsFor("DupPhone"), Persons({same}));
  scan.setRegion("US");
  EXPECT_TRUE(scan.scan({"Phone number not in international format"}).personsFor("PhoneFormat").empty());
}

// Numbers left unread because no other number ends with the same digits link exactly as when every
// number is read.
TEST(PhoneReadingsTest, LeavingUniqueNumbersUnreadChangesNoGroup) {
  std::vector<ABPersonSnapshot> persons;
  const char* writings[] = {"+49 30 %07d", "030 %07d", "+49 (0)30 %07d", "+49-30-%07d", "0049 30 %07d"};
  for (int i = 0; i < 400; ++i) {
    ABPersonData data;
    data.set(kABFirstNameProperty, std::string("P") + std::to_string(i));
    ABMultiValue phones;
    char text[40];
    std::snprintf(text, sizeof text, writings[i % 5], 1000000 + (i * 37) % 150);
    phones.addValueWithLabel(std::string(text), kABHomeLabel);
    data.set(kABPhoneProperty, phones);
    persons.push_back(std::make_shared<ABPersonData>(std::move(data)));
  }
  // And numbers nobody else holds, in the same writings.
  for (int i = 0; i < 100; ++i) {
    ABPersonData data;
    data.set(kABFirstNameProperty, std::string("Q") + std::to_string(i));
    ABMultiValue phones;
    char text[40];
    std::snprintf(text, sizeof text, writings[i % 5], 2000000 + i * 1013);
    phones.addValueWithLabel(std::string(text), kABHomeLabel);
    data.set(kABPhoneProperty, phones);
    persons.push_back(std::make_shared<ABPersonData>(std::move(data)));
  }
  PhoneNumbers numbers("DE");
  PhoneReadings all;
  for (const auto& person : persons) all.append(SimilarContacts::readPhonesOf(*person, numbers));
  auto everyNumber = SimilarContacts::findGroups(persons, all, numbers, {}, 400);
  auto readings = SimilarContacts::readPhones(persons, numbers, SimilarContacts::NationalNumbers::kNoneMore, 2);
  auto fewer = SimilarContacts::findGroups(persons, readings, numbers, {}, 400);
  size_t unread = 0;
  for (size_t i = 0; i < readings.size(); ++i)
    for (const auto& reading : readings.of(i)) unread += reading.read ? 0 : 1;
  EXPECT_GE(unread, 60u);  // the unique numbers written with their country code
  ASSERT_EQ(everyNumber.size(), 150u);
  ASSERT_EQ(fewer.size(), everyNumber.size());
  for (size_t g = 0; g < fewer.size(); ++g) EXPECT_EQ(fewer[g].members, everyNumber[g].members);
}

// Reading a person's numbers not in international form only until one is valid lists exactly the
// persons that reading all of them lists, and links and finds numbers written twice as before.
TEST(PhoneReadingsTest, ReadingNationalNumbersUntilOneIsValidListsTheSamePersons) {
  // Valid and invalid national numbers (too short, no such area), numbers of other countries,
  // the same texts in several persons, in every order.
  const char* writings[] = {"030 %07d", "0301 %d",   "(089) %07d", "+49 30 %07d", "+1 212 555 %04d",
                            "0%d",      "030 %07d",  "12 %d",      "0171 %07d",   "+33 1 23 45 67 %02d",
                            "00 %d",    "0000 %07d", "0000 %07d"};
  std::vector<ABPersonSnapshot> persons;
  unsigned state = 7;
  auto next = [&state](unsigned below) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % below;
  };
  for (int i = 0; i < 600; ++i) {
    ABPersonData data;
    data.set(kABFirstNameProperty, std::string("P") + std::to_string(i));
    ABMultiValue phones;
    for (unsigned count = next(5), p = 0; p < count; ++p) {
      char text[48];
      std::snprintf(text, sizeof text, writings[next(std::size(writings))], 1000000 + next(i % 3 ? 9000000 : 40));
      phones.addValueWithLabel(std::string(text), p % 2 ? kMobile : kHome);
    }
    if (!phones.empty()) data.set(kABPhoneProperty, phones);
    persons.push_back(std::make_shared<ABPersonData>(std::move(data)));
  }
  using SimilarContacts::NationalNumbers;
  PhoneNumbers numbers("DE");
  auto every = SimilarContacts::readPhones(persons, numbers, NationalNumbers::kEvery, 2);
  auto untilValid = SimilarContacts::readPhones(persons, numbers, NationalNumbers::kUntilOneValid, 2);
  size_t listed = 0, unlisted = 0, readEvery = 0, readUntilValid = 0;
  for (size_t i = 0; i < persons.size(); ++i) {
    SCOPED_TRACE(i);
    const auto all = SimilarContacts::readPhonesOf(*persons[i], numbers);
    const bool expected = !SimilarContacts::nationalNumbers(*persons[i], all).empty();
    EXPECT_EQ(SimilarContacts::nationalNumbers(*persons[i], every.of(i)),
              SimilarContacts::nationalNumbers(*persons[i], all));
    EXPECT_EQ(!SimilarContacts::nationalNumbers(*persons[i], untilValid.of(i)).empty(), expected);
    EXPECT_EQ(SimilarContacts::holdsNumberWrittenTwice(*persons[i], untilValid.of(i)),
              SimilarContacts::holdsNumberWrittenTwice(*persons[i], all));
    (expected ? listed : unlisted) += 1;
    for (const auto& reading : every.of(i)) readEvery += reading.read;
    for (const auto& reading : untilValid.of(i)) readUntilValid += reading.read;
  }
  EXPECT_GT(listed, 200u);
  EXPECT_GT(unlisted, 100u);
  EXPECT_LT(readUntilValid, readEvery);
  auto groups = [&](const PhoneReadings& readings) {
    std::vector<std::vector<size_t>> members;
    for (auto& group : SimilarContacts::findGroups(persons, readings, numbers, {}, 400))
      members.push_back(group.members);
    return members;
  };
  EXPECT_EQ(groups(untilValid), groups(every));
}

// A number written with an extension ("030 3528696#12") reads as the number without it, and one
// of nine digits ("030 301731") as the same number written with its country code: the other
// writing, by the same person or another, is read and compared too, whichever conditions run.
TEST(PhoneReadingsTest, ANumberWrittenWithAnExtensionIsComparedWithTheSameNumberWithout) {
  auto person = [](std::vector<std::string> texts) {
    ABPersonData data;
    data.set(kABFirstNameProperty, std::string("P") + texts.front());
    ABMultiValue phones;
    for (const auto& text : texts) phones.addValueWithLabel(text, kHome);
    data.set(kABPhoneProperty, phones);
    return std::make_shared<ABPersonData>(std::move(data));
  };
  std::vector<ABPersonSnapshot> persons = {person({"+49 30 3528696"}), person({"030 3528696#12"}),
                                           person({"(+49) 30 4528696", "030 4528696#12"}),
                                           person({" 030 301731 ", "(+49) 30 301731"})};
  PhoneNumbers numbers("DE");
  for (auto national :
       {SimilarContacts::NationalNumbers::kNoneMore, SimilarContacts::NationalNumbers::kUntilOneValid}) {
    auto readings = SimilarContacts::readPhones(persons, numbers, national, 2);
    auto groups = SimilarContacts::findGroups(persons, readings, numbers, {});
    ASSERT_EQ(groups.size(), 1u);
    EXPECT_EQ(groups[0].members, (std::vector<size_t>{0, 1}));
    EXPECT_EQ(groups[0].reason, "same phone +49 30 3528696");
    EXPECT_TRUE(SimilarContacts::holdsNumberWrittenTwice(*persons[2], readings.of(2)));
    EXPECT_TRUE(SimilarContacts::holdsNumberWrittenTwice(*persons[3], readings.of(3)));
  }
}

}  // namespace

// A number one person holds twice, written alike, is left unread while no other number ends with
// its digits; held by another person too, written otherwise by the same person, or equal to a
// number written with an extension, it is read, and the conditions find what reading every number finds.
TEST(PhoneReadingsTest, ANumberOnePersonHoldsTwiceAsWrittenIsReadOnlyWhenAnotherCouldEqualIt) {
  int named = 0;
  auto person = [&named](std::vector<std::string> texts) {
    ABPersonData data;
    data.set(kABFirstNameProperty, "P" + std::to_string(named++));
    ABMultiValue phones;
    for (const auto& text : texts) phones.addValueWithLabel(text, kHome);
    data.set(kABPhoneProperty, phones);
    return std::make_shared<ABPersonData>(std::move(data));
  };
  std::vector<ABPersonSnapshot> persons = {
      person({"+49 30 1000001", "+49 30 1000001"}),                 // alone: unread
      person({"+49 30 1000002", "+49 30 1000002", "030 1000002"}),  // written otherwise too
      person({"+49 30 1000003", "+49 30 1000003"}),                 // and another person
      person({"+49 30 1000003"}),
      person({"+49 30 1000004", "+49 30 1000004"}),  // and an extension of another
      person({"030 1000004#5"}),
      person({"0171 1000005", "0171 1000005"}),  // without country code
  };
  PhoneNumbers numbers("DE");
  PhoneReadings all;
  for (const auto& p : persons) all.append(SimilarContacts::readPhonesOf(*p, numbers));
  auto members = [&](const PhoneReadings& readings) {
    std::vector<std::vector<size_t>> groups;
    for (auto& group : SimilarContacts::findGroups(persons, readings, numbers, {})) groups.push_back(group.members);
    return groups;
  };
  using SimilarContacts::NationalNumbers;
  for (auto national : {NationalNumbers::kNoneMore, NationalNumbers::kUntilOneValid, NationalNumbers::kEvery}) {
    SCOPED_TRACE(static_cast<int>(national));
    auto readings = SimilarContacts::readPhones(persons, numbers, national, 2);
    EXPECT_FALSE(readings.of(0)[0].read);
    EXPECT_FALSE(readings.of(0)[1].read);
    for (size_t i : {1, 2, 3, 4, 5}) EXPECT_TRUE(readings.of(i)[0].read) << i;
    // Read only for "Phone number not in international format".
    EXPECT_EQ(readings.of(6)[0].read, national != NationalNumbers::kNoneMore);
    EXPECT_EQ(members(readings), members(all));
    EXPECT_EQ(members(readings), (std::vector<std::vector<size_t>>{{2, 3}, {4, 5}}));
    for (size_t i = 0; i < persons.size(); ++i) {
      EXPECT_EQ(SimilarContacts::holdsNumberWrittenTwice(*persons[i], readings.of(i)),
                SimilarContacts::holdsNumberWrittenTwice(*persons[i], all.of(i)))
          << i;
      if (national != NationalNumbers::kNoneMore) {
        EXPECT_EQ(SimilarContacts::nationalNumbers(*persons[i], readings.of(i)).empty(),
                  SimilarContacts::nationalNumbers(*persons[i], all.of(i)).empty())
            << i;
      }
    }
    EXPECT_TRUE(SimilarContacts::holdsNumberWrittenTwice(*persons[1], readings.of(1)));
  }
}
