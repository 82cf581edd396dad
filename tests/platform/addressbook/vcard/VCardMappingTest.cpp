#include <gtest/gtest.h>

#include <optional>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/EncodedPersons.h"
#include "platform/addressbook/PersonCodec.h"
#include "platform/addressbook/PersonSlots.h"
#include "platform/addressbook/vcard/VCardConventions.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardPersonReader.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

namespace {

ABPersonData readOne(const std::string& text) {
  auto result = VCardImporter::importText(text, "t.vcf");
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.persons.size(), 1u);
  return result.persons.empty() ? ABPersonData() : result.persons[0];
}

TEST(VCardMappingTest, TypesAndItemLabels) {
  auto person = readOne(
      "BEGIN:VCARD\nVERSION:3.0\nN:Doe;John;;Dr.;\nORG:Acme;Sales\nEMAIL;TYPE=INTERNET;TYPE=HOME:a@b.c\n"
      "EMAIL;type=work:w@b.c\nEMAIL:o@b.c\nTEL;type=CELL:1\nTEL;TYPE=FAX,WORK:2\nTEL;TYPE=FAX:3\n"
      "item1.TEL:4\nitem1.X-ABLabel:Boat\nitem2.ADR;TYPE=HOME:;;Main St;Town;;123;Land\nitem2.X-ABADR:de\n"
      "X-ABShowAs:COMPANY\nBDAY:1980-03-22\nEND:VCARD\n");
  EXPECT_EQ(*person.string(kABLastNameProperty), "Doe");
  EXPECT_EQ(*person.string(kABTitleProperty), "Dr.");
  EXPECT_EQ(person.string(kABMiddleNameProperty), nullptr);
  EXPECT_EQ(*person.string(kABDepartmentProperty), "Sales");
  const ABMultiValue* email = person.multiValue(kABEmailProperty);
  ASSERT_TRUE(email);
  EXPECT_EQ(email->labelAtIndex(0), kABHomeLabel);
  EXPECT_EQ(email->labelAtIndex(1), kABWorkLabel);
  EXPECT_EQ(email->labelAtIndex(2), kABOtherLabel);
  const ABMultiValue* phone = person.multiValue(kABPhoneProperty);
  ASSERT_TRUE(phone);
  EXPECT_EQ(phone->labelAtIndex(0), kABPhoneMobileLabel);
  EXPECT_EQ(phone->labelAtIndex(1), kABPhoneWorkFAXLabel);
  EXPECT_EQ(phone->labelAtIndex(2), kABOtherLabel);
  EXPECT_EQ(phone->labelAtIndex(3), "Boat");
  const ABMultiValue* address = person.multiValue(kABAddressProperty);
  ASSERT_TRUE(address);
  EXPECT_EQ(address->labelAtIndex(0), kABHomeLabel);
  EXPECT_EQ(address->dictionaryAtIndex(0).valueOr(kABAddressCountryCodeKey), "de");
  EXPECT_FALSE(address->dictionaryAtIndex(0).contains(kABAddressStateKey));
  EXPECT_EQ(*person.integer(kABPersonFlags), kABShowAsCompany);
  EXPECT_EQ(*person.date(kABBirthdayProperty), (ABDate{1980, 3, 22}));
}

TEST(VCardMappingTest, BirthdaysWithAndWithoutYear) {
  auto birthday = [](const std::string& line) -> std::optional<ABDate> {
    auto person = readOne("BEGIN:VCARD\nVERSION:4.0\n" + line + "\nEND:VCARD\n");
    const ABDate* date = person.date(kABBirthdayProperty);
    return date ? std::optional<ABDate>(*date) : std::nullopt;
  };
  EXPECT_EQ(birthday("BDAY:19800322"), (ABDate{1980, 3, 22}));
  EXPECT_EQ(birthday("BDAY;VALUE=date:1980-03-22T10:00:00Z"), (ABDate{1980, 3, 22}));
  EXPECT_EQ(birthday("BDAY:--0203"), (ABDate{1604, 2, 3}));
  EXPECT_EQ(birthday("BDAY:--02-29"), (ABDate{1604, 2, 29}));
  EXPECT_EQ(birthday("BDAY;X-APPLE-OMIT-YEAR=1604:1604-02-03"), (ABDate{1604, 2, 3}));
  EXPECT_EQ(birthday("BDAY:--1302"), std::nullopt);
  EXPECT_EQ(birthday("BDAY:--02"), std::nullopt);
  EXPECT_EQ(birthday("BDAY;VALUE=text:circa 1800"), std::nullopt);

  ABPersonData data;
  data.set(kABUIDProperty, "u");
  data.set(kABBirthdayProperty, ABDate{1604, 2, 3});
  std::string text = vCardForPerson(data);
  EXPECT_NE(text.find("BDAY;X-APPLE-OMIT-YEAR=1604;VALUE=date:1604-02-03\r\n"), std::string::npos) << text;
  EXPECT_TRUE(readOne(text) == data) << text;
}

ABPersonData everything() {
  ABPersonData data;
  data.set(kABUIDProperty, "UID-1");
  data.set(kABFirstNameProperty, "Zoë; \"Jo\"");
  data.set(kABLastNameProperty, "Ångström, Jr");
  data.set(kABMiddleNameProperty, "M\\N");
  data.set(kABMaidenNameProperty, "Maiden");
  data.set(kABFirstNamePhoneticProperty, "Zo");
  data.set(kABLastNamePhoneticProperty, "Ong");
  data.set(kABNicknameProperty, "   ");
  data.set(kABTitleProperty, "Gerneral");
  data.set(kABSuffixProperty, "III");
  data.set(kABOrganizationProperty, "株式会社;X");
  data.set(kABDepartmentProperty, "R&D");
  data.set(kABJobTitleProperty, "Boss");
  data.set(kABNoteProperty, std::string("line one\nline two with a very long text that needs folding ") +
                                std::string(200, 'x') + " é日本");
  data.set(kABBirthdayProperty, ABDate{1972, 2, 29});
  data.set(kABPersonFlags, std::int64_t{3});
  data.set(kABImageDataProperty, ABBytes{0xFF, 0xD8, 0xFF, 0x00, 0x10, 0x20});
  ABMultiValue email;
  for (const auto& label :
       {kABHomeLabel, kABWorkLabel, kABOtherLabel, std::string("_$!<Custom>!$_"), std::string("Privé, mine")})
    email.addValueWithLabel("x" + label.substr(0, 3) + "@example.org", label);
  data.set(kABEmailProperty, email);
  ABMultiValue phone;
  for (const auto& label :
       {kABPhoneMobileLabel, kABPhoneiPhoneLabel, kABPhoneMainLabel, kABPhoneHomeFAXLabel, kABPhoneWorkFAXLabel,
        kABPhonePagerLabel, kABHomeLabel, kABWorkLabel, kABOtherLabel, std::string("Boat")})
    phone.addValueWithLabel("+1 555 " + label, label);
  data.set(kABPhoneProperty, phone);
  ABMultiValue urls;
  for (const auto& label : {kABHomePageLabel, kABHomeLabel, kABWorkLabel, kABOtherLabel, std::string("blog")})
    urls.addValueWithLabel("http://example.org/" + label, label);
  data.set(kABURLsProperty, urls);
  ABMultiValue related;
  related.addValueWithLabel(std::string("Jenny"), kABSpouseLabel);
  related.addValueWithLabel(std::string("Bob"), "Godfather");
  data.set(kABRelatedNamesProperty, related);
  ABMultiValue addresses;
  addresses.addValueWithLabel(ABDictionary{{kABAddressStreetKey, "1 Main St\nFlat 2"},
                                           {kABAddressCityKey, "Köln"},
                                           {kABAddressZIPKey, "50667"},
                                           {kABAddressCountryKey, "Germany"},
                                           {kABAddressCountryCodeKey, "de"}},
                              kABWorkLabel);
  addresses.addValueWithLabel(ABDictionary{{kABAddressCityKey, "Paris"}, {kABAddressStateKey, "IDF"}}, "Summer");
  data.set(kABAddressProperty, addresses);
  ABMultiValue instant;
  instant.addValueWithLabel(ABDictionary{{kABInstantMessageServiceKey, kABInstantMessageServiceAIM},
                                         {kABInstantMessageUsernameKey, "johnaim"}},
                            kABHomeLabel);
  instant.addValueWithLabel(ABDictionary{{kABInstantMessageServiceKey, kABInstantMessageServiceGoogleTalk},
                                         {kABInstantMessageUsernameKey, "j@gmail.com"}},
                            "Chat");
  instant.addValueWithLabel(
      ABDictionary{{kABInstantMessageServiceKey, "MatrixInstant"}, {kABInstantMessageUsernameKey, "@j:matrix.org"}},
      kABOtherLabel);
  instant.addValueWithLabel(
      ABDictionary{{kABInstantMessageServiceKey, "Chat \"Plus\"; ^2"}, {kABInstantMessageUsernameKey, "cp"}},
      kABWorkLabel);
  data.set(kABInstantMessageProperty, instant);
  ABMultiValue social;
  social.addValueWithLabel(ABDictionary{{kABSocialProfileServiceKey, kABSocialProfileServiceTwitter},
                                        {kABSocialProfileUsernameKey, "jd"},
                                        {kABSocialProfileURLKey, "http://twitter.com/jd"}},
                           kABOtherLabel);
  social.addValueWithLabel(
      ABDictionary{{kABSocialProfileServiceKey, "Mastodon"}, {kABSocialProfileUsernameKey, "a \"quoted\"; name"}},
      kABHomeLabel);
  data.set(kABSocialProfileProperty, social);
  return data;
}

TEST(VCardMappingTest, RoundTripOfEveryProperty) {
  ABPersonData data = everything();
  std::string text = vCardForPerson(data);
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    EXPECT_LE(end - start, 75u);
  ABPersonData back = readOne(text);
  for (const auto& [property, value] : data.entries()) {
    const ABValue* read = back.find(property);
    ASSERT_TRUE(read) << property << "\n" << text;
    EXPECT_TRUE(*read == value) << property << "\n" << text;
  }
  EXPECT_TRUE(back == data) << text;
  ABPerson person(data);
  EXPECT_EQ(person.vCardRepresentation(), text);
}

TEST(VCardMappingTest, EveryKindOfLineBreakIsWrittenAsOne) {
  ABPersonData data;
  data.set(kABNoteProperty, std::string("lone\rpair\r\nfeed\nend\r"));
  std::string text = vCardForPerson(data);
  EXPECT_NE(text.find("NOTE:lone\\npair\\nfeed\\nend\\n\r\n"), std::string::npos) << text;
  ABPersonData back = readOne(text);
  const std::string* note = back.string(kABNoteProperty);
  ASSERT_TRUE(note);
  EXPECT_EQ(*note, "lone\npair\nfeed\nend\n");
}

TEST(VCardMappingTest, PersonFlagsShowACompanyOnlyWhenExactlyOne) {
  for (std::int64_t flags : {0, 1, 2, 3, 32}) {
    ABPersonData data;
    data.set(kABUIDProperty, "u");
    data.set(kABFirstNameProperty, "Ann");
    data.set(kABOrganizationProperty, "Acme");
    data.set(kABPersonFlags, flags);
    std::string text = vCardForPerson(data);
    bool company = flags == kABShowAsCompany;
    EXPECT_EQ(text.find("X-ABShowAs:COMPANY") != std::string::npos, company) << text;
    EXPECT_NE(text.find(company ? "\r\nFN:Acme\r\n" : "\r\nFN:Ann\r\n"), std::string::npos) << text;
    EXPECT_TRUE(readOne(text) == data) << text;
  }
  // What X-ABPERSONFLAGS says is the whole value, also beside X-ABShowAs.
  auto both = readOne("BEGIN:VCARD\nVERSION:3.0\nX-ABShowAs:COMPANY\nX-ABPERSONFLAGS:3\nEND:VCARD\n");
  EXPECT_EQ(*both.integer(kABPersonFlags), 3);
  auto organisation = readOne("BEGIN:VCARD\nVERSION:4.0\nKIND:org\nORG:Acme\nEND:VCARD\n");
  ASSERT_TRUE(organisation.integer(kABPersonFlags));
  EXPECT_EQ(*organisation.integer(kABPersonFlags), kABShowAsCompany);
  EXPECT_FALSE(readOne("BEGIN:VCARD\nVERSION:4.0\nKIND:individual\nEND:VCARD\n").integer(kABPersonFlags));
}

// The reader maps a card into slots; what the store and the writer get from them must be what they
// get from a person holding the same values under the property names.
TEST(VCardMappingTest, ValuesInSlotsAreEncodedAndWrittenAsThoseOfAPerson) {
  ABMultiValue emails;
  emails.addEntry({kABHomeLabel, std::string("a@b.c"), ";TYPE=pref"});
  ABMultiValue addresses;
  addresses.addEntry({kABWorkLabel, ABDictionary{{kABAddressCityKey, "Town"}, {kABAddressStreetKey, "1 Road"}}});
  ABMultiValue groups;
  groups.addValueWithLabel(std::string("Friends, old"), std::string());
  groups.addValueWithLabel(std::string("Golf"), std::string());
  ABMultiValue members;
  members.addEntry({"urn:uuid:", std::string("uid-2")});
  members.addEntry({"", std::string("mailto:a@b.c"), ";X-A=1"});
  const std::vector<std::pair<const std::string*, ABValue>> values = {
      {&kABDepartmentProperty, std::string("Sales")},
      {&kABPersonFlags, std::int64_t{5}},
      {&kABRelatedNamesProperty, emails},
      {&kABAddressProperty, addresses},
      {&kABBirthdayProperty, ABDate{kBirthdayYearNotKnown, 2, 29}},
      {&kABCategoriesProperty, groups},
      {&kABEmailProperty, emails},
      {&kABFirstNameProperty, std::string("Jo\r")},
      {&kABFirstNamePhoneticProperty, std::string("jo")},
      {&kABGroupNameProperty, std::string("Family, near")},
      {&kABImageDataProperty, ABBytes{0xFF, 0xD8, 0, 1}},
      {&kABInstantMessageProperty, addresses},
      {&kABJobTitleProperty, std::string("Chief, of; all")},
      {&kABKindProperty, kABKindGroup},
      {&kABLastNameProperty, std::string("Doe")},
      {&kABLastNamePhoneticProperty, std::string("doe")},
      {&kABMaidenNameProperty, std::string("Roe")},
      {&kABGroupMembersProperty, members},
      {&kABMiddleNameProperty, std::string("Q.")},
      {&kABNicknameProperty, std::string("JD")},
      {&kABNoteProperty, std::string("two\nlines")},
      {&kABOrganizationProperty, std::string("Acme\\Co")},
      {&kABPhoneProperty, emails},
      {&kABSocialProfileProperty, addresses},
      {&kABSuffixProperty, std::string("Jr.")},
      {&kABTitleProperty, std::string("Dr.")},
      {&kABUIDProperty, std::string("uid-1")},
      {&kABURLsProperty, emails},
      {&kABVCardKeptLinesProperty, std::string("X-A:1\n")},
      {&kABVCardLinesAsReadProperty, std::string("FN")},
  };
  ASSERT_EQ(values.size(), std::size_t{PersonSlots::kSlotCount});
  for (std::size_t i = 0; i + 1 < values.size(); ++i)
    EXPECT_LT(PersonSlots::property(static_cast<PersonSlots::Slot>(i)),
              PersonSlots::property(static_cast<PersonSlots::Slot>(i + 1)));
  const std::vector<std::string> slotNames = {"N",
                                              "FN",
                                              "NICKNAME",
                                              "X-MAIDENNAME",
                                              "X-PHONETIC-FIRST-NAME",
                                              "X-PHONETIC-LAST-NAME",
                                              "ORG",
                                              "TITLE",
                                              "NOTE",
                                              "BDAY",
                                              "FLAGS",
                                              "UID",
                                              "CATEGORIES",
                                              "KIND",
                                              "MEMBER"};
  // Every value, then persons with a few values: a company with and without its name, names only.
  std::vector<std::vector<std::size_t>> persons = {{}};
  for (std::size_t i = 0; i < values.size(); ++i) persons[0].push_back(i);
  persons.push_back({1, 21});          // flags 5: not a company
  persons.push_back({7, 14, 25});      // names only
  persons.push_back({24, 26});         // a suffix alone
  persons.push_back({0, 4});           // a department alone; a birthday
  persons.push_back({5, 7});           // categories
  persons.push_back({9, 13, 17, 26});  // a group card
  for (std::size_t company : {std::size_t{21}, std::size_t{99}}) {
    PersonSlots slots;
    ABPersonData person;
    slots.set(PersonSlots::kFlags, std::int64_t{kABShowAsCompany});
    person.set(kABPersonFlags, std::int64_t{kABShowAsCompany});
    slots.set(PersonSlots::kFirstName, std::string("Ann"));
    person.set(kABFirstNameProperty, std::string("Ann"));
    if (company < values.size()) {
      slots.set(PersonSlots::kOrganization, values[company].second);
      person.set(kABOrganizationProperty, values[company].second);
    }
    std::string fromSlots, fromPerson;
    vCardSlotLinesInto(fromSlots, slots, "FN");
    vCardSlotLinesInto(fromPerson, person, "FN");
    EXPECT_EQ(fromSlots, fromPerson);
  }
  for (const auto& indexes : persons) {
    PersonSlots slots;
    ABPersonData person;
    slots.set(PersonSlots::kNote, std::string("left from the person before"));
    slots.clear();
    for (std::size_t i : indexes) {
      person.set(*values[i].first, values[i].second);
      slots.set(static_cast<PersonSlots::Slot>(i), values[i].second);
      EXPECT_EQ(PersonSlots::property(static_cast<PersonSlots::Slot>(i)), *values[i].first);
    }
    std::string encoded;
    PersonCodec::encode(slots, encoded);
    EXPECT_EQ(encoded, PersonCodec::encode(person));
    for (const std::string& name : slotNames) {
      std::string fromSlots, fromPerson;
      vCardSlotLinesInto(fromSlots, slots, name);
      vCardSlotLinesInto(fromPerson, person, name);
      EXPECT_EQ(fromSlots, fromPerson) << name;
    }
    // A person without an id gets one in its row, as a person handed over does; the slots are then
    // handed over whole.
    EncodedPersons rows;
    rows.add(slots);
    EXPECT_EQ(rows.ownUid(0), person.find(kABUIDProperty) != nullptr);
    if (!person.find(kABUIDProperty)) person.set(kABUIDProperty, rows.uid(0));
    std::optional<ABPersonData> back = PersonCodec::decode(rows.row(0));
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == person);
    EXPECT_TRUE(slots.take() == person);
    EXPECT_TRUE(slots.empty());
  }
}

// One reader maps card after card into storage it keeps (texts, list entries, dictionary fields):
// nothing of a card read before may show in the next, whichever way the card is handed on.
TEST(VCardMappingTest, EachCardReadAfterOthersHoldsWhatItHoldsReadAlone) {
  ABPersonData full = everything();
  full.set(kABVCardKeptLinesProperty, std::string("X-KEPT;TYPE=a:kept value\n"));
  const std::vector<std::string> cards = {
      vCardForPerson(full),
      // Entries taken back (empty e-mail, phone and address), an address of a country code alone,
      // a long name split from FN, shorter texts where longer ones were.
      "BEGIN:VCARD\nVERSION:3.0\nUID:u-2\nFN:Someone With A Rather Long Name\nEMAIL:\nEMAIL;TYPE=pref:s@b.c\n"
      "TEL:tel:\nADR:;;;;;;\nitem1.ADR;TYPE=work:;;;;;;\nitem1.X-ABADR:fr\nNOTE:n\nX-ABRELATEDNAMES;X-A=1:Zed\n"
      "END:VCARD\n",
      // No list at all; escaped name components.
      "BEGIN:VCARD\nVERSION:3.0\nUID:u-3\nN:A last name longer than sixteen;First\\;name;;;\nEND:VCARD\n",
      // Every list entry of the card taken back.
      "BEGIN:VCARD\nVERSION:3.0\nUID:u-4\nEMAIL:\nTEL:\nADR:;;;;;;\nURL:\nX-ABRELATEDNAMES:\nEND:VCARD\n",
      // Fewer fields in an address, lists of other kinds.
      "BEGIN:VCARD\nVERSION:4.0\nUID:u-5\nFN:x\nADR;TYPE=home:;;1 Road;;;;\nIMPP;TYPE=work:xmpp:me@jabber.org\n"
      "URL;TYPE=twitter:https://twitter.com/me\nX-ABRELATEDNAMES:Bo\nRELATED;TYPE=friend:Al\nX-AIM:aimer\n"
      "END:VCARD\n",
      vCardForPerson(everything()),
  };
  std::vector<ABPersonData> alone;
  for (const std::string& text : cards) alone.push_back(readOne(text));

  VCardPersonReader reader;
  VCardCard card;
  VCardSyntaxError error;
  auto nextCard = [&](const std::string& text) {
    VCardLineReader lines(text);
    return lines.nextCard(card);
  };
  // As the import into the store: encoded from the reader's storage.
  EncodedPersons rows;
  for (const std::string& text : cards) {
    ASSERT_TRUE(nextCard(text));
    PersonSlots* slots = reader.readCardInPlace(card, error);
    ASSERT_TRUE(slots) << error.message;
    rows.add(*slots);
  }
  ASSERT_EQ(rows.size(), cards.size());
  for (std::size_t i = 0; i < cards.size(); ++i) {
    EXPECT_TRUE(rows.ownUid(i));
    EXPECT_EQ(rows.row(i), PersonCodec::encode(alone[i])) << cards[i];
  }
  // As the window's import: handed over as persons, by the same reader after all those cards.
  for (std::size_t i = 0; i < cards.size(); ++i) {
    ASSERT_TRUE(nextCard(cards[i]));
    ABPersonData person;
    ASSERT_TRUE(reader.readCard(card, person, error)) << error.message;
    EXPECT_TRUE(person == alone[i]) << cards[i];
  }
  // What the lists hold, read alone.
  const ABMultiValue* addresses = alone[1].multiValue(kABAddressProperty);
  ASSERT_TRUE(addresses);
  ASSERT_EQ(addresses->count(), 1u);
  EXPECT_EQ(addresses->dictionaryAtIndex(0), (ABDictionary{{kABAddressCountryCodeKey, "fr"}}));
  ASSERT_TRUE(alone[1].multiValue(kABEmailProperty));
  EXPECT_EQ(alone[1].multiValue(kABEmailProperty)->count(), 1u);
  EXPECT_FALSE(alone[1].multiValue(kABPhoneProperty));
  EXPECT_EQ(*alone[2].string(kABFirstNameProperty), "First;name");
  for (const std::string* property :
       {&kABEmailProperty, &kABPhoneProperty, &kABAddressProperty, &kABURLsProperty, &kABRelatedNamesProperty})
    EXPECT_FALSE(alone[3].find(*property)) << *property;
}

}  // namespace
