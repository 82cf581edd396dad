#include <gtest/gtest.h>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

namespace {

ABPersonData readOne(const std::string& text) {
  auto result = VCardImporter::importText(text, "t.vcf");
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.persons.size(), 1u);
  return result.persons.empty() ? ABPersonData() : result.persons[0];
}

ABPersonData card(const std::string& lines, const std::string& version = "3.0") {
  return readOne("BEGIN:VCARD\r\nVERSION:" + version + "\r\n" + lines + "END:VCARD\r\n");
}

std::string text(const ABPersonData& person, const std::string& property) {
  const std::string* value = person.string(property);
  return value ? *value : std::string("(none)");
}

TEST(VCardReadingTest, WithoutNamesInNTheNamesComeFromFN) {
  ABPersonData noN = card("FN:Ann Marie Smith\r\n");
  EXPECT_EQ(text(noN, kABFirstNameProperty), "Ann Marie");
  EXPECT_EQ(text(noN, kABLastNameProperty), "Smith");
  std::string written = vCardForPerson(noN);
  EXPECT_NE(written.find("\r\nN:Smith;Ann Marie;;;\r\nFN:Ann Marie Smith\r\n"), std::string::npos) << written;
  EXPECT_TRUE(readOne(written) == noN) << written;

  ABPersonData emptyN = card("N:;;;;\r\nFN: Cher \r\n");
  EXPECT_EQ(text(emptyN, kABFirstNameProperty), "Cher");
  EXPECT_EQ(text(emptyN, kABLastNameProperty), "(none)");
  EXPECT_NE(vCardForPerson(emptyN).find("\r\nN:;Cher;;;\r\n"), std::string::npos);

  // N with a name, or a company card: FN gives no names.
  EXPECT_EQ(text(card("N:;;Middle;;\r\nFN:Ann Smith\r\n"), kABFirstNameProperty), "(none)");
  ABPersonData company = card("N:;;;;\r\nFN:Die Firma GmbH\r\nORG:Die Firma\r\nX-ABShowAs:COMPANY\r\n");
  EXPECT_EQ(company.find(kABFirstNameProperty), nullptr);
  EXPECT_EQ(company.find(kABLastNameProperty), nullptr);
  EXPECT_NE(vCardForPerson(company).find("\r\nFN:Die Firma GmbH\r\n"), std::string::npos);
  // An FN that only repeats the organisation (as writers give a card without names) names nobody.
  EXPECT_EQ(card("FN:Acme\r\nORG:Acme\r\n").find(kABFirstNameProperty), nullptr);
}

TEST(VCardReadingTest, SocialProfilesAreUnderTheHomeLabelUnlessTheCardSaysOtherwise) {
  ABPersonData person = card(
      "X-SOCIALPROFILE;TYPE=twitter:http://twitter.com/jd\r\n"
      "X-SOCIALPROFILE;TYPE=linkedin;TYPE=WORK;X-USER=jdoe:https://www.linkedin.com/in/jdoe\r\n"
      "item1.X-SOCIALPROFILE;TYPE=facebook:https://www.facebook.com/profile.php?id=42\r\n"
      "item1.X-ABLabel:Old\r\n");
  const ABMultiValue* social = person.multiValue(kABSocialProfileProperty);
  ASSERT_TRUE(social);
  ASSERT_EQ(social->count(), 3u);
  EXPECT_EQ(social->labelAtIndex(0), kABHomeLabel);
  EXPECT_EQ(social->dictionaryAtIndex(0).valueOr(kABSocialProfileServiceKey), kABSocialProfileServiceTwitter);
  EXPECT_EQ(social->dictionaryAtIndex(0).valueOr(kABSocialProfileUsernameKey), "jd");
  EXPECT_EQ(social->labelAtIndex(1), kABWorkLabel);
  EXPECT_EQ(social->dictionaryAtIndex(1).valueOr(kABSocialProfileUsernameKey), "jdoe");
  EXPECT_EQ(social->labelAtIndex(2), "Old");
  EXPECT_EQ(social->dictionaryAtIndex(2).valueOr(kABSocialProfileUsernameKey), "42");
  std::string written = vCardForPerson(person);
  ABPersonData back = readOne(written);
  EXPECT_TRUE(*back.multiValue(kABSocialProfileProperty) == *social) << written;

  // vCard 4.0 has no social profile property: a URL whose type names the network is one.
  ABPersonData modern = card("URL;TYPE=twitter:https://twitter.com/@jd4\r\nURL;TYPE=blog:http://blog.org\r\n", "4.0");
  ASSERT_TRUE(modern.multiValue(kABSocialProfileProperty));
  EXPECT_EQ(modern.multiValue(kABSocialProfileProperty)->dictionaryAtIndex(0).valueOr(kABSocialProfileUsernameKey),
            "jd4");
  EXPECT_EQ(modern.multiValue(kABSocialProfileProperty)->labelAtIndex(0), kABHomeLabel);
  ASSERT_TRUE(modern.multiValue(kABURLsProperty));
  EXPECT_EQ(modern.multiValue(kABURLsProperty)->stringAtIndex(0), "http://blog.org");
}

TEST(VCardReadingTest, SpouseAndDepartmentOfOtherExporters) {
  ABPersonData outlook = card("X-MS-SPOUSE:Jenny\r\nX-MS-MANAGER:Boss\r\n");
  const ABMultiValue* related = outlook.multiValue(kABRelatedNamesProperty);
  ASSERT_TRUE(related);
  EXPECT_EQ(related->labelAtIndex(0), kABSpouseLabel);
  EXPECT_EQ(related->stringAtIndex(0), "Jenny");
  EXPECT_EQ(related->labelAtIndex(1), kABManagerLabel);

  ABPersonData kde = card("ORG:KDE\r\nX-KADDRESSBOOK-X-Department:Documentation\r\n");
  EXPECT_EQ(text(kde, kABOrganizationProperty), "KDE");
  EXPECT_EQ(text(kde, kABDepartmentProperty), "Documentation");
  EXPECT_TRUE(readOne(vCardForPerson(kde)) == kde);
  // The department of ORG comes first; the other is kept as written.
  ABPersonData both = card("ORG:KDE;Core\r\nX-KADDRESSBOOK-X-Department:Documentation\r\n");
  EXPECT_EQ(text(both, kABDepartmentProperty), "Core");
  EXPECT_NE(vCardForPerson(both).find("\r\nX-KADDRESSBOOK-X-Department:Documentation\r\n"), std::string::npos);
}

// A value that is not UTF-8 is read whole in the legacy character set of the rule (Windows-1252
// here), never with a byte replaced.
TEST(VCardReadingTest, AValueThatIsNotUtf8IsReadWholeInTheLegacyCharacterSet) {
  ABPersonData person = card("NOTE:caf\xE9 cr\xC3\xA8me \xE2\x82 end\r\n");
  EXPECT_EQ(text(person, kABNoteProperty), "caf\xC3\xA9 cr\xC3\x83\xC2\xA8me \xC3\xA2\xE2\x80\x9A end");
  // A named character set is still honoured.
  EXPECT_EQ(text(card("NOTE;CHARSET=ISO-8859-1:caf\xE9\r\n", "2.1"), kABNoteProperty), "caf\xC3\xA9");
}

TEST(VCardReadingTest, ANulIsReadAsTheReplacementCharacterAndNeverWrittenOn) {
  const std::string nul(1, '\0');
  ABPersonData person = card("N:Do" + nul + "e;Ann;;;\r\nEMAIL;TYPE=HOME:ann" + nul + "@example.org\r\n" +
                                 "NOTE;ENCODING=QUOTED-PRINTABLE:a=00b\r\nX-KEPT:x" + nul + "y\r\n",
                             "2.1");
  EXPECT_EQ(text(person, kABLastNameProperty),
            "Do\xEF\xBF\xBD"
            "e");
  EXPECT_EQ(text(person, kABNoteProperty),
            "a\xEF\xBF\xBD"
            "b");
  const ABMultiValue* emails = person.multiValue(kABEmailProperty);
  ASSERT_TRUE(emails);
  EXPECT_EQ(std::get<std::string>(emails->valueAtIndex(0)), "ann\xEF\xBF\xBD@example.org");
  const std::string written = vCardForPerson(person);
  EXPECT_EQ(written.find('\0'), std::string::npos);
  EXPECT_NE(written.find("X-KEPT:x\xEF\xBF\xBDy\r\n"), std::string::npos) << written;
}

// Values are looked at eight bytes at a time: a byte that is not ASCII text is found wherever it is.
TEST(VCardReadingTest, ABadByteIsFoundAnywhereInALongValue) {
  const std::string ascii = "0123456789abcdefghij";
  for (std::size_t at = 0; at < ascii.size(); ++at) {
    for (char bad : {'\0', '\xE9'}) {
      std::string value = ascii;
      value[at] = bad;
      std::string expected = ascii.substr(0, at) + (bad ? "\xC3\xA9" : "\xEF\xBF\xBD") + ascii.substr(at + 1);
      EXPECT_EQ(text(card("NOTE:" + value + "\r\n"), kABNoteProperty), expected) << at;
    }
  }
  EXPECT_EQ(text(card("NOTE:" + ascii + "\x7F\r\n"), kABNoteProperty), ascii + "\x7F");
}

TEST(VCardReadingTest, ItemGroupsAreFoundWhateverTheirNumberAndCase) {
  // Enough groups to be looked up by hash; the label and the kept lines of each group stay its own.
  std::string lines;
  for (int i = 1; i <= 40; ++i) {
    const std::string n = std::to_string(i);
    lines += "item" + n + ".TEL:" + n + "\r\nITEM" + n + ".X-ABLabel:Label " + n + "\r\n";
    lines += "Item" + n + ".X-ABDATE:2000-01-" + std::to_string(i % 28 + 1) + "\r\nitem" + n + ".X-ABLabel:Label " + n +
             "\r\n";
  }
  ABPersonData person = card(lines);
  const ABMultiValue* phones = person.multiValue(kABPhoneProperty);
  ASSERT_TRUE(phones);
  ASSERT_EQ(phones->count(), 40u);
  EXPECT_EQ(phones->labelAtIndex(0), "Label 1");
  EXPECT_EQ(phones->labelAtIndex(16), "Label 17");
  EXPECT_EQ(phones->labelAtIndex(39), "Label 40");
  const std::string written = vCardForPerson(person);
  ABPersonData back = readOne(written);
  EXPECT_EQ(vCardForPerson(back), written);
  EXPECT_EQ(back.multiValue(kABPhoneProperty)->labelAtIndex(39), "Label 40");
}

TEST(VCardReadingTest, ABirthdayWithoutAYearIsWrittenAlsoAsVCard4SaysIt) {
  ABPersonData person;
  person.set(kABUIDProperty, std::string("u"));
  person.set(kABBirthdayProperty, ABDate{1604, 2, 3});
  std::string written = vCardForPerson(person);
  EXPECT_NE(written.find("\r\nBDAY;X-APPLE-OMIT-YEAR=1604;VALUE=date:1604-02-03\r\nBDAY:--0203\r\n"), std::string::npos)
      << written;
  ABPersonData back = readOne(written);
  EXPECT_TRUE(back == person) << written;
  EXPECT_EQ(*card("BDAY:--0203\r\n", "4.0").date(kABBirthdayProperty), (ABDate{1604, 2, 3}));
}

}  // namespace
