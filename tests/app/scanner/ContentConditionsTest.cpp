#include <regex>

#include "ScanFixture.h"
#include "app/scanner/DebugLog.h"

using ContentConditionsTest = ScanFixture;

TEST_F(ContentConditionsTest, DuplicateContactsGroupByJoinedNames) {
  add({{kABFirstNameProperty, "Zed"}});
  auto first = add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}});
  add({{kABFirstNameProperty, "ann"}, {kABLastNameProperty, "Lee"}});
  add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}});
  auto joined = add({{kABFirstNameProperty, "AnnLee"}, {kABLastNameProperty, "Smith"}});
  add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "LeeSmith"}});
  add({{kABOrganizationProperty, "A"}});
  add({{kABOrganizationProperty, "B"}});
  add({{kABFirstNameProperty, "Ann"}, {kABLastNameProperty, "Lee"}});
  EXPECT_EQ(scanner().test(), (Persons{first, joined}));
}

// Persons without a name are the same person only when they hold the same organisation name.
TEST_F(ContentConditionsTest, NamelessContactsGroupOnlyByTheSameOrganisation) {
  auto acme = add({{kABOrganizationProperty, "Acme"}});
  add({{kABOrganizationProperty, "Globex"}});
  add({{kABOrganizationProperty, "acme"}});
  add();
  add({{kABNoteProperty, "no name, no organisation"}});
  auto acmeAgain = add({{kABOrganizationProperty, "Acme"}, {kABFirstNameProperty, ""}});
  auto withName = add({{kABOrganizationProperty, "Acme"}, {kABFirstNameProperty, "Acme"}});
  add({{kABFirstNameProperty, "Acme"}});
  auto emptyOrg = add({{kABOrganizationProperty, ""}});
  add({{kABOrganizationProperty, ""}});
  EXPECT_EQ(scanner().test(), (Persons{acme, withName}))
      << "Acme twice without a name; the named Acme with the first-name-only Acme; nobody else";
  EXPECT_EQ(ScanAddressBook::duplicateGroupOf(*book_, *acme), (Persons{acme, acmeAgain}));
  EXPECT_TRUE(ScanAddressBook::duplicateGroupOf(*book_, *emptyOrg).empty()) << "no name and no organisation";
  // An organisation name that looks like a name key does not meet one.
  auto lookalike = add({{kABOrganizationProperty, "Acme(null)"}});
  add({{kABOrganizationProperty, "nAcme(null)"}});
  EXPECT_EQ(ScanAddressBook::duplicateGroupOf(*book_, *lookalike), (Persons{lookalike}));
}

TEST_F(ContentConditionsTest, SharedEmailsAreReportedOnceFromTheEarliestPerson) {
  auto a = add({}, {{kABHomeLabel, "x@y.org"}, {kABWorkLabel, "z@y.org"}});
  auto b = add({}, {{kABWorkLabel, "x@y.org"}, {kABOtherLabel, "z@y.org"}});
  auto c = add({}, {{kABOtherLabel, "X@y.org"}, {kABHomeLabel, "x@y.org"}});
  add({}, {{kABHomeLabel, "alone@y.org"}, {kABWorkLabel, "alone@y.org"}});
  auto findings = scanner().findDuplicateEmailInContacts();
  ASSERT_EQ(findings.size(), 2u);
  EXPECT_EQ(findings[0].SearchedPerson, a);
  EXPECT_EQ(findings[0].MatchPersonsArray, (Persons{b, c}));
  EXPECT_EQ(findings[0].DuplicateEmailType, kABHomeLabel);
  EXPECT_EQ(findings[1].SearchedPerson, a);
  EXPECT_EQ(findings[1].MatchPersonsArray, (Persons{b}));
  EXPECT_EQ(findings[1].DuplicateEmailType, kABWorkLabel);
}

TEST_F(ContentConditionsTest, EmailValidity) {
  for (const char* valid : {"ann@example.org", "a.b+c@mail.example.co.uk", "x@y.company", "ann@EXAMPLE.COM",
                            "zo\xC3\xAB@example.org", "o\xE2\x80\x99neil@example.org", "\xE5\x90\x8D@\xE4\xBE\x8B.jp"})
    EXPECT_TRUE(ScanAddressBook::isValidEmail(valid)) << valid;
  for (const char* invalid : {"",
                              "ann",
                              "@example.org",
                              "ann@example",
                              "ann@.example.org",
                              "ann@example.org.",
                              "ann@example..org",
                              "a@b@c.org",
                              "ann smith@x.org",
                              "ann@x.org ",
                              "a(b)@x.org",
                              "a,b@x.org",
                              "\"a\"@x.org",
                              "a@[1.2.3.4]",
                              "a;b@x.org",
                              "a<b>@x.org",
                              "a\\b@x.org",
                              "a:b@x.org",
                              "ann\tb@x.org",
                              "ann\xC2\xA0smith@x.org",
                              "ann@x.org\xE2\x80\x83",
                              "ann@x.org\xE3\x80\x80",
                              "ann\xE2\x80\xA8@x.org"})
    EXPECT_FALSE(ScanAddressBook::isValidEmail(invalid)) << invalid;

  // Every value of up to seven pieces of "a", "@", ".", a space, a no-break space and "ë" is judged
  // by the rule as written: no white space, one "@" not first, a domain holding a "." that is
  // neither its first nor its last character, and never two dots in a row there.
  auto byTheRule = [](std::string_view value) {
    if (value.find(' ') != std::string_view::npos || value.find("\xC2\xA0") != std::string_view::npos) return false;
    const size_t at = value.find('@');
    if (at == std::string_view::npos || at == 0 || value.find('@', at + 1) != std::string_view::npos) return false;
    const std::string_view domain = value.substr(at + 1);
    return domain.find('.') != std::string_view::npos && domain.front() != '.' && domain.back() != '.' &&
           domain.find("..") == std::string_view::npos;
  };
  const std::vector<std::string> pieces = {"a", "@", ".", " ", "\xC2\xA0", "\xC3\xAB"};
  size_t valid = 0, judged = 0;
  std::vector<std::string> values = {""};
  for (int length = 1; length <= 7; ++length) {
    std::vector<std::string> longer;
    for (const std::string& value : values)
      for (const std::string& piece : pieces) longer.push_back(value + piece);
    for (const std::string& value : longer) {
      ASSERT_EQ(ScanAddressBook::isValidEmail(value), byTheRule(value)) << value;
      valid += byTheRule(value);
      ++judged;
    }
    values = std::move(longer);
  }
  EXPECT_GT(valid, 500u);
  EXPECT_GT(judged, 300000u);
}

TEST_F(ContentConditionsTest, APhoneNumberHoldsALetterWhereverItStands) {
  // Every byte at every place of texts of up to seventeen bytes of digits: only A to Z and a to z
  // are letters (not bytes of other letters' UTF-8, nor "@", "[", "`" or "{" beside them).
  for (size_t size = 1; size <= 17; ++size)
    for (size_t at = 0; at < size; ++at)
      for (int c = 1; c < 256; ++c) {
        std::string text(size, '5');
        text[at] = static_cast<char>(c);
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
        ASSERT_EQ(ScanAddressBook::phoneHasLetter(text), letter) << size << " " << at << " " << c;
      }
}

TEST_F(ContentConditionsTest, InvalidCharactersInEmailsOrPhones) {
  add({}, {{kABHomeLabel, "ann@example.net"}}, {{kABPhoneHomeLabel, "+1 (555) 123-4567"}});
  auto badMail = add({}, {{kABHomeLabel, "ann@example.net"}, {kABWorkLabel, "ann.example.net"}});
  auto badPhone = add({}, {}, {{kABPhoneHomeLabel, "555-CALL"}});
  add({}, {}, {{kABPhoneHomeLabel, "٥٥٥ ١٢٣"}});
  EXPECT_EQ(scanner().findInvalidCharactersInContacts(), (Persons{badMail, badPhone}));
}

TEST_F(ContentConditionsTest, TheSameValueTwiceInOneContact) {
  auto phone = add({}, {}, {{kABPhoneHomeLabel, "555 1234"}, {kABPhoneWorkLabel, "555 1234"}});
  add({}, {}, {{kABPhoneHomeLabel, "555-1234"}, {kABPhoneWorkLabel, "5551234"}});
  auto mail = add({}, {{kABHomeLabel, "a@x.org"}, {kABWorkLabel, "b@x.org"}, {kABOtherLabel, "a@x.org"}});
  add({}, {{kABHomeLabel, "a@x.org"}, {kABWorkLabel, "A@x.org"}});
  auto address = ABPerson::create();
  ABMultiValue addresses;
  addresses.addValueWithLabel(ABDictionary{{kABAddressStreetKey, "1 Main"}, {kABAddressCityKey, "Oslo"}}, kABHomeLabel);
  addresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}, {kABAddressStreetKey, "1 Main"}}, kABWorkLabel);
  address->setValueForProperty(addresses, kABAddressProperty);
  book_->addRecord(address);
  auto partial = ABPerson::create();
  ABMultiValue different;
  different.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}}, kABHomeLabel);
  different.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}, {kABAddressZIPKey, "0150"}}, kABHomeLabel);
  partial->setValueForProperty(different, kABAddressProperty);
  book_->addRecord(partial);
  EXPECT_EQ(scanner().findDuplicatePhonesInOnePerson(), (Persons{phone}));
  EXPECT_EQ(scanner().findDuplicateEmailInOnePerson(), (Persons{mail}));
  EXPECT_EQ(scanner().findDuplicateAddressInOnePerson(), (Persons{address}));
}

TEST_F(ContentConditionsTest, TheSameValueTwiceAmongManyValuesOfOneContact) {
  // Many values of one contact: the same value far apart is found, values that only look alike
  // are not, and an address is the same whatever the order of its parts.
  auto many = [&](const std::string& repeated) {
    auto person = ABPerson::create();
    ABMultiValue phones, addresses;
    for (int i = 0; i < 500; ++i) {
      phones.addValueWithLabel(std::string("555 ") + std::to_string(i), kABPhoneHomeLabel);
      addresses.addValueWithLabel(
          ABDictionary{{kABAddressStreetKey, std::to_string(i) + " Main"}, {kABAddressCityKey, "Oslo"}}, kABHomeLabel);
    }
    phones.addValueWithLabel(repeated, kABPhoneWorkLabel);
    addresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Oslo"}, {kABAddressStreetKey, repeated + " Main"}},
                                kABWorkLabel);
    person->setValueForProperty(phones, kABPhoneProperty);
    person->setValueForProperty(addresses, kABAddressProperty);
    book_->addRecord(person);
    return person;
  };
  auto repeated = many("555 3");
  many("555 3 ");
  EXPECT_EQ(scanner().findDuplicatePhonesInOnePerson(), (Persons{repeated}));
  EXPECT_TRUE(scanner().findDuplicateAddressInOnePerson().empty());
  auto address = many("17");
  EXPECT_EQ(scanner().findDuplicateAddressInOnePerson(), (Persons{address}));
}

TEST_F(ContentConditionsTest, NotesAndNicknamesOfSpacesOnly) {
  auto one = add({{kABNoteProperty, " "}});
  auto three = add({{kABNoteProperty, "   "}, {kABNicknameProperty, "  "}});
  add({{kABNoteProperty, ""}});
  add({{kABNoteProperty, "\t"}});
  add({{kABNoteProperty, " a "}});
  add({{kABNoteProperty, " \n"}});
  EXPECT_EQ(scanner().findEmptyNotes(), (Persons{one, three}));
  EXPECT_EQ(scanner().findEmptyNickname(), (Persons{three}));
}

TEST_F(ContentConditionsTest, DebugLinesOfTheFinders) {
  std::vector<std::string> lines;
  DebugLog::setWriter([&](const std::string& line) { lines.push_back(line); });
  auto count = [&](const std::string& text) { return std::count(lines.begin(), lines.end(), text); };

  add({{kABNoteProperty, " "}});
  add({{kABNoteProperty, "   "}});
  add({{kABNoteProperty, " a "}, {kABNicknameProperty, "x y"}});
  scanner().findEmptyNotes();
  EXPECT_EQ(count("字符是空空格"), 5) << "one per space of the values of two or more characters";
  lines.clear();
  scanner().findEmptyNickname();
  EXPECT_EQ(count("字符是空空格"), 1);

  lines.clear();
  add({}, {}, {{kABPhoneHomeLabel, "555-CALL"}, {kABPhoneWorkLabel, "CALL-ME"}});
  add({}, {}, {{kABPhoneHomeLabel, "555 1234"}, {kABPhoneWorkLabel, "x12"}});
  scanner().findInvalidCharactersInContacts();
  EXPECT_EQ(count("电话号码非法"), 2) << "once per person, on its first phone with a letter";

  lines.clear();
  scanner().test();
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex("扫描花费的时间：[0-9]+\\.[0-9]{6}"))) << lines[0];
  DebugLog::setWriter(nullptr);
}
