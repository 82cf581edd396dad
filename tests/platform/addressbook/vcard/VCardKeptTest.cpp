#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/PersonCodec.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardKept.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"
#include "platform/addressbook/vcard/VCardText.h"
#include "tests/support/Corpus.h"

namespace {

const std::filesystem::path kCorpus = std::filesystem::path(ROLVANE_CORPUS_DIR) / "vcard";

ABPersonData readOne(const std::string& text) {
  auto result = VCardImporter::importText(text, "t.vcf");
  EXPECT_TRUE(result.ok()) << result.error;
  EXPECT_EQ(result.persons.size(), 1u);
  return result.persons.empty() ? ABPersonData() : result.persons[0];
}

// A card as the writer writes it, with what the store has no value for: parameters of entries,
// lines of properties it does not map (grouped and not), a name shown that is not the writer's, an
// organisation of three parts, a birthday written without a year.
const std::string kWriterStyleCard =
    "BEGIN:VCARD\r\n"
    "VERSION:3.0\r\n"
    "N:Doe;John;;;\r\n"
    "FN:Johnny D.\r\n"
    "ORG:IBM;Accounting;Dungeon\r\n"
    "EMAIL;TYPE=INTERNET,HOME,pref:john@example.org\r\n"
    "EMAIL;TYPE=INTERNET:other@example.org\r\n"
    "TEL;TYPE=CELL,VOICE;PREF=1:+1 555 0100\r\n"
    "TEL;TYPE=HOME,FAX:+1 555 0101\r\n"
    "item1.TEL;TYPE=pref:+1 555 0102\r\n"
    "item1.X-ABLabel:Boat\r\n"
    "item2.ADR;TYPE=parcel:;;1 Main St;Town;;12345;Land\r\n"
    "item2.X-ABADR:de\r\n"
    "item2.X-ABLabel:_$!<Home>!$_\r\n"
    "URL;TYPE=WORK,x-intranet:http://intra.example.org\r\n"
    "item3.X-ABRELATEDNAMES;TYPE=pref:Jane\r\n"
    "item3.X-ABLabel:_$!<Spouse>!$_\r\n"
    "IMPP;TYPE=HOME,pref;X-SERVICE-TYPE=Jabber:xmpp:john@jabber.org\r\n"
    "CATEGORIES:friends,work\r\n"
    "NOTE:A note\r\n"
    "BDAY:--0203\r\n"
    "ROLE:Programmer\r\n"
    "GEO:37.386013;-122.082932\r\n"
    "X-CUSTOM;X-PARAM=\"a:b\":some value\\, with a comma\r\n"
    "item4.X-ABDATE;TYPE=pref:2000-01-01\r\n"
    "item4.X-ABLabel:_$!<Anniversary>!$_\r\n"
    "UID:kept-uid-1\r\n"
    "END:VCARD\r\n";

TEST(VCardKeptTest, ACardInTheWritersFormComesBackByteForByte) {
  ABPersonData person = readOne(kWriterStyleCard);
  EXPECT_EQ(vCardForPerson(person), kWriterStyleCard);

  // The values are the store's own; what they cannot hold is kept beside them.
  EXPECT_EQ(*person.string(kABOrganizationProperty), "IBM");
  EXPECT_EQ(*person.string(kABDepartmentProperty), "Accounting");
  const ABMultiValue* phones = person.multiValue(kABPhoneProperty);
  ASSERT_TRUE(phones);
  EXPECT_EQ(phones->labelAtIndex(0), kABPhoneMobileLabel);
  EXPECT_EQ(phones->entries()[0].parameters, ";TYPE=VOICE;PREF=1");
  EXPECT_EQ(phones->labelAtIndex(2), "Boat");
  EXPECT_EQ(phones->entries()[2].parameters, ";TYPE=pref");
  const std::string* kept = person.string(kABVCardKeptLinesProperty);
  ASSERT_TRUE(kept);
  EXPECT_NE(kept->find("ROLE:Programmer\n"), std::string::npos) << *kept;
  EXPECT_NE(kept->find("item1.X-ABLabel:_$!<Anniversary>!$_\n"), std::string::npos) << *kept;

  // The store keeps them: the stored form reads back equal.
  auto decoded = PersonCodec::decode(PersonCodec::encode(person));
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(*decoded == person);
  EXPECT_EQ(vCardForPerson(*decoded), kWriterStyleCard);
}

// A line is kept as read whenever it differs from the writer's by as little as a byte: an FN as
// long as the name shown, a property name in lower case, a comma the writer escapes.
TEST(VCardKeptTest, ALineThatDiffersFromTheWritersByAByteIsKeptAsRead) {
  ABPersonData person = readOne(
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Bob Lee\r\ntitle:Boss\r\nNOTE:a,b\r\nNICKNAME:Al\r\n"
      "END:VCARD\r\n");
  const std::string* asRead = person.string(kABVCardLinesAsReadProperty);
  ASSERT_TRUE(asRead);
  for (const char* line : {"\nFN:Bob Lee", "\ntitle:Boss", "\nNOTE:a,b"})
    EXPECT_NE(asRead->find(line), std::string::npos) << line << " in " << *asRead;
  EXPECT_EQ(asRead->find("NICKNAME:"), std::string::npos) << *asRead;
  std::string text = vCardForPerson(person);
  for (const char* line : {"\r\nFN:Bob Lee\r\n", "\r\ntitle:Boss\r\n", "\r\nNOTE:a,b\r\n", "\r\nNICKNAME:Al\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in " << text;
  // Lines as the writer writes them keep nothing.
  EXPECT_FALSE(readOne("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nTITLE:Boss\r\nNOTE:a\\,b\r\n"
                       "END:VCARD\r\n")
                   .find(kABVCardLinesAsReadProperty));
}

TEST(VCardKeptTest, AChangedValueIsWrittenAsTheStoreHoldsIt) {
  ABPersonData person = readOne(kWriterStyleCard);
  person.set(kABFirstNameProperty, std::string("Jack"));
  person.set(kABDepartmentProperty, std::string("Sales"));
  person.set(kABBirthdayProperty, ABDate{1980, 2, 3});
  std::string text = vCardForPerson(person);
  // The name shown was not the name's own form: the first name that changed is not in it, so it stays.
  EXPECT_NE(text.find("\r\nFN:Johnny D.\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nORG:IBM;Sales\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nBDAY;VALUE=date:1980-02-03\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("Dungeon"), std::string::npos) << text;
}

TEST(VCardKeptTest, AnEntryWhoseLabelChangesKeepsNoTypeThatWouldContradictIt) {
  ABPersonData person =
      readOne("BEGIN:VCARD\r\nVERSION:3.0\r\nTEL;TYPE=PAGER,HOME;PREF=1:1\r\nTEL;TYPE=WORK,VOICE:2\r\nEND:VCARD\r\n");
  ABMultiValue phones = *person.multiValue(kABPhoneProperty);
  ASSERT_EQ(phones.labelAtIndex(0), kABPhonePagerLabel);
  EXPECT_EQ(phones.entries()[0].parameters, ";TYPE=HOME;PREF=1");
  phones.replaceLabelAtIndex(0, kABOtherLabel);
  person.set(kABPhoneProperty, phones);
  ABPersonData back = readOne(vCardForPerson(person));
  const ABMultiValue* read = back.multiValue(kABPhoneProperty);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->labelAtIndex(0), kABOtherLabel);
  EXPECT_EQ(read->entries()[0].parameters, ";PREF=1");
  // The entry not touched keeps its parameters.
  EXPECT_EQ(read->labelAtIndex(1), kABWorkLabel);
  EXPECT_EQ(read->entries()[1].parameters, ";TYPE=VOICE");
}

TEST(VCardKeptTest, ItemGroupsOfKeptLinesNeverMeetTheWritersOwn) {
  // The kept group item1 would otherwise join the writer's item1 (the custom phone label).
  ABPersonData person = readOne(
      "BEGIN:VCARD\r\nVERSION:3.0\r\nitem1.X-ABDATE:2000-01-01\r\nitem1.X-ABLabel:Wedding\r\n"
      "item2.TEL:5\r\nitem2.X-ABLabel:Boat\r\nEND:VCARD\r\n");
  std::string text = vCardForPerson(person);
  EXPECT_NE(text.find("item1.TEL:5\r\nitem1.X-ABLabel:Boat\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("item2.X-ABDATE:2000-01-01\r\nitem2.X-ABLabel:Wedding\r\n"), std::string::npos) << text;
  ABPersonData back = readOne(text);
  EXPECT_EQ(back.multiValue(kABPhoneProperty)->labelAtIndex(0), "Boat");
  EXPECT_EQ(vCardForPerson(back), text);
}

TEST(VCardKeptTest, OlderCardsAreKeptInUtf8WithoutTheirTransferEncoding) {
  ABPersonData person = readOne(
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;Jo\r\nX-CLASS:PRIVATE\r\n"
      "LABEL;HOME;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:1 Stra=C3=9Fe=0D=0ATown\r\n"
      "TEL;HOME;VOICE:1\r\nEND:VCARD\r\n");
  std::string text = vCardForPerson(person);
  EXPECT_NE(text.find("\r\nLABEL;TYPE=HOME:1 Straße\\nTown\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nX-CLASS:PRIVATE\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nTEL;TYPE=HOME,VOICE:1\r\n"), std::string::npos) << text;
  EXPECT_EQ(vCardForPerson(readOne(text)), text);
}

TEST(VCardKeptTest, SeveralNotesGoOutAsTheyCameUntilTheNoteChanges) {
  // The store holds one note; the card's NOTE lines go back as they came while it is unchanged (a
  // 2.1 card's two notes stay two), and as the one note once it changes.
  ABPersonData person =
      readOne("BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;Jo\r\nNOTE:first\r\nNOTE;LANGUAGE=de:zweite\r\nEND:VCARD\r\n");
  EXPECT_EQ(*person.string(kABNoteProperty), "first\nzweite");
  std::string text = vCardForPerson(person);
  EXPECT_NE(text.find("\r\nNOTE:first\r\nNOTE;LANGUAGE=de:zweite\r\n"), std::string::npos) << text;
  EXPECT_EQ(vCardForPerson(readOne(text)), text);
  person.set(kABNoteProperty, std::string("first\nzweite\ndritte"));
  text = vCardForPerson(person);
  EXPECT_NE(text.find("\r\nNOTE:first\\nzweite\\ndritte\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("NOTE", text.find("NOTE") + 1), std::string::npos) << text;
  // One note with a parameter the writer does not write still goes out as read.
  person = readOne("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jo\r\nNOTE;LANGUAGE=de:eine\r\nEND:VCARD\r\n");
  EXPECT_NE(vCardForPerson(person).find("\r\nNOTE;LANGUAGE=de:eine\r\n"), std::string::npos);
}

TEST(VCardKeptTest, ACarriageReturnBeforeTheLineBreakEscapeIsOneLineBreak) {
  // Older writers put a CR before the \n escape of a quoted-printable value: one line break, as the
  // store holds it, not two.
  ABPersonData person = readOne(
      "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Doe;Jo\r\nNOTE;ENCODING=QUOTED-PRINTABLE;CHARSET=UTF-8:=C3=A9=0D=5Cn=EF=AC="
      "81\r\n"
      "X-NOTE2;ENCODING=QUOTED-PRINTABLE:a=0D=5Cnb\r\nEND:VCARD\r\n");
  EXPECT_EQ(*person.string(kABNoteProperty), "\xC3\xA9\r\n\xEF\xAC\x81");
  std::string text = vCardForPerson(person);
  EXPECT_NE(text.find("\r\nNOTE:\xC3\xA9\\n\xEF\xAC\x81\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nX-NOTE2:a\\nb\r\n"), std::string::npos) << text;
}

TEST(VCardKeptTest, MergedKeptLinesKeepEachPersonsGroupsApart) {
  std::string a = "item1.X-ABDATE:2000-01-01\nitem1.X-ABLabel:Wedding\nROLE:Boss\n";
  std::string b = "item1.X-ABDATE:1999-01-01\nitem1.X-ABLabel:Met\nROLE:Boss\n";
  EXPECT_EQ(mergeKeptLines({a, b}),
            "item1.X-ABDATE:2000-01-01\nitem1.X-ABLabel:Wedding\nROLE:Boss\n"
            "item2.X-ABDATE:1999-01-01\nitem2.X-ABLabel:Met\n");
}

// The values and labels of two lists, whatever the parameters kept with their entries.
bool sameEntries(const ABValue& a, const ABValue& b) {
  const auto* x = std::get_if<ABMultiValue>(&a);
  const auto* y = std::get_if<ABMultiValue>(&b);
  if (!x || !y || x->count() != y->count()) return false;
  for (std::size_t i = 0; i < x->count(); ++i)
    if (x->labelAtIndex(i) != y->labelAtIndex(i) || !(x->valueAtIndex(i) == y->valueAtIndex(i))) return false;
  return true;
}

// Every card of the real exports: what the writer writes reads back into the same person, and is
// then written again the same. (What a 4.0 card says in 4.0 spellings, in kept lines and entry
// parameters, is read back in the 3.0 spellings it went out in.)
TEST(VCardKeptTest, EveryCardOfTheCorpusIsStableThroughTheWriter) {
  ROLVANE_SKIP_WITHOUT_CORPUS();
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    if (entry.path().extension() != ".vcf") continue;
    auto result = VCardImporter::importFile(entry.path());
    ASSERT_TRUE(result.ok()) << result.error;
    for (std::size_t i = 0; i < result.persons.size(); ++i) {
      const ABPersonData& person = result.persons[i];
      std::string text = vCardForPerson(person);
      ABPersonData back = readOne(text);
      const std::string* asRead = person.string(kABVCardLinesAsReadProperty);
      const bool version4 = asRead && asRead->find("VERSION:4.0") != std::string::npos;
      for (const auto& [property, value] : person.entries()) {
        const ABValue* read = back.find(property);
        if (version4 && property == kABVCardLinesAsReadProperty) continue;  // it went out as 3.0
        const bool respelt = version4 && read && (property == kABVCardKeptLinesProperty || sameEntries(*read, value));
        EXPECT_TRUE(read && (*read == value || respelt)) << entry.path() << " card " << i << ": " << property;
      }
      EXPECT_EQ(back.entries().size() + (version4 && !back.find(kABVCardLinesAsReadProperty) ? 1 : 0),
                person.entries().size())
          << entry.path() << " card " << i;
      EXPECT_EQ(vCardForPerson(back), text) << entry.path() << " card " << i;
      // Back to its source, in the version it came in: the same person again.
      const std::string own = vCardForPerson(person, VCardVersion::AsRead);
      const ABPersonData ownBack = readOne(own);
      EXPECT_TRUE(ownBack == person) << entry.path() << " card " << i << "\n" << own;
      EXPECT_EQ(vCardForPerson(ownBack, VCardVersion::AsRead), own) << entry.path() << " card " << i;
    }
  }
}

}  // namespace

namespace {

// Parameter values are quoted only where RFC 6350 asks for it, a quoted value never again, and
// instant-message addresses go back with the scheme and service they came with.
TEST(VCardKeptTest, ParametersAndInstantMessagesGoBackAsTheyCame) {
  const std::string card =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jo;;;\r\nFN:Jo Doe\r\n"
      "TEL;TYPE=\"cell\",VOICE:123\r\n"
      "IMPP:gg:4711\r\nIMPP:msn:jo@example.org\r\nIMPP;TYPE=SKYPE:jo.doe\r\n"
      "IMPP;X-SERVICE-TYPE=Jabber:xmpp:jo@jabber.org\r\n"
      "X-CUSTOM;X-LIST=\"a,b\";X-PLAIN=\"x\":v\r\nUID:u\r\nEND:VCARD\r\n";
  ABPersonData person = readOne(card);
  const ABMultiValue* phones = person.multiValue(kABPhoneProperty);
  ASSERT_TRUE(phones);
  EXPECT_EQ(phones->labelAtIndex(0), kABPhoneMobileLabel);
  const ABMultiValue* messages = person.multiValue(kABInstantMessageProperty);
  ASSERT_TRUE(messages);
  ASSERT_EQ(messages->count(), 4u);
  EXPECT_EQ(messages->dictionaryAtIndex(0).valueOr(kABInstantMessageServiceKey), kABInstantMessageServiceGaduGadu);
  EXPECT_EQ(messages->dictionaryAtIndex(2).valueOr(kABInstantMessageServiceKey), kABInstantMessageServiceSkype);
  EXPECT_EQ(messages->dictionaryAtIndex(2).valueOr(kABInstantMessageUsernameKey), "jo.doe");

  const std::string written = vCardForPerson(person);
  for (const char* line : {"\r\nTEL;TYPE=CELL,VOICE:123\r\n", "\r\nIMPP:gg:4711\r\n", "\r\nIMPP:msn:jo@example.org\r\n",
                           "\r\nIMPP;TYPE=SKYPE:jo.doe\r\n", "\r\nIMPP;X-SERVICE-TYPE=Jabber:xmpp:jo@jabber.org\r\n",
                           "\r\nX-CUSTOM;X-LIST=\"a,b\";X-PLAIN=x:v\r\n"})
    EXPECT_NE(written.find(line), std::string::npos) << line << " in\n" << written;
  EXPECT_EQ(written.find("\"\""), std::string::npos) << written;
  EXPECT_EQ(written.find("x-apple"), std::string::npos) << written;
  // Read again and written again: the same card (no quote added, no service type invented).
  EXPECT_EQ(vCardForPerson(readOne(written)), written);

  // A value the store made itself: the service's X-SERVICE-TYPE and scheme.
  ABPersonData made;
  made.set(kABUIDProperty, std::string("m"));
  ABMultiValue im;
  im.addValueWithLabel(
      ABDictionary{{kABInstantMessageServiceKey, kABInstantMessageServiceAIM}, {kABInstantMessageUsernameKey, "jo"}},
      kABHomeLabel);
  made.set(kABInstantMessageProperty, im);
  const std::string own = vCardForPerson(made);
  EXPECT_NE(own.find("\r\nIMPP;TYPE=HOME;X-SERVICE-TYPE=AIM:aim:jo\r\n"), std::string::npos) << own;
  EXPECT_TRUE(readOne(own) == made) << own;
}

}  // namespace

namespace {

// A card that came in as 4.0 goes out as vCard 3.0 in 3.0 spellings (one that came in as 3.0 with its
// lines as they came); an FN that was not the name's own form is not
// rebuilt from the name; a TYPE repeated among thousands is written once.
TEST(VCardKeptTest, ACardGoesOutIn3SpellingsAndKeepsItsOwnFormattedName) {
  ABPersonData person = readOne(
      "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Gump;Forrest;Hoge;Dr.;Tao\r\nN;ALTID=1;LANGUAGE=de:Gump;F.;;;\r\n"
      "FN:Joe Due\r\nKIND:individual\r\nGENDER:M\r\nANNIVERSARY:20000101\r\nGEO:geo:37.386013,-122.082932\r\n"
      "EMAIL;PREF=1:jo@example.org\r\nX-CUSTOM;PREF=2:x\r\nUID:u\r\nEND:VCARD\r\n");
  std::string text = vCardForPerson(person);
  for (const char* line : {"\r\nVERSION:3.0\r\n", "\r\nFN:Joe Due\r\n", "\r\nX-N;ALTID=1;LANGUAGE=de:Gump;F.;;;\r\n",
                           "\r\nX-ADDRESSBOOKSERVER-KIND:individual\r\n", "\r\nX-GENDER:M\r\n",
                           "\r\nX-ANNIVERSARY:20000101\r\n", "\r\nGEO:37.386013;-122.082932\r\n",
                           "\r\nEMAIL;TYPE=INTERNET,pref:jo@example.org\r\n", "\r\nX-CUSTOM;X-PREF=2:x\r\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << " in\n" << text;
  EXPECT_EQ(vCardForPerson(readOne(text)), text);
  // The title goes: FN was not the name's own form, so it stays.
  person.remove(kABTitleProperty);
  EXPECT_NE(vCardForPerson(person).find("\r\nFN:Joe Due\r\n"), std::string::npos) << vCardForPerson(person);
  // Only the part the name lost leaves an FN that says more than the name.
  person = readOne(
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Mustermann;Max;Horst;Dr.;jr.\r\n"
      "FN:Dr. Max Horst Mustermann jr. Maxl SED\r\nEND:VCARD\r\n");
  person.remove(kABTitleProperty);
  EXPECT_NE(vCardForPerson(person).find("\r\nFN:Max Horst Mustermann jr. Maxl SED\r\n"), std::string::npos)
      << vCardForPerson(person);
  // An FN that was the name's own form follows the name.
  person = readOne("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jo;;;\r\nFN;LANGUAGE=en:Jo Doe\r\nEND:VCARD\r\n");
  person.set(kABFirstNameProperty, std::string("Joseph"));
  EXPECT_NE(vCardForPerson(person).find("\r\nFN;LANGUAGE=en:Joseph Doe\r\n"), std::string::npos)
      << vCardForPerson(person);

  std::string types;
  for (int i = 0; i < 3000; ++i)
    types += ";TYPE=x" + std::to_string(i % 1000) + (i % 2 ? ",X" : ",x") + std::to_string(i % 1000);
  person = readOne("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jo;;;\r\nTEL" + types + ":1\r\nEND:VCARD\r\n");
  const std::string parameters = person.multiValue(kABPhoneProperty)->entries()[0].parameters;
  EXPECT_EQ(parameters.substr(0, 17), ";TYPE=x0,x1,x2,x3");
  EXPECT_EQ(std::count(parameters.begin(), parameters.end(), ','), 999);
}

}  // namespace

namespace {

bool has(const std::string& text, const std::string& line) {
  return text.find("\r\n" + line + "\r\n") != std::string::npos;
}

// A card goes back in the dialect it came in: another program's own properties while their
// meaning holds, a picture's parameters while it is the same picture, and a 4.0 card to its source
// as 4.0 with new values spelled as 4.0 spells them.
TEST(VCardKeptTest, ACardGoesBackInTheDialectItCameIn) {
  const ABBytes jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 1, 2, 3, 4};
  const std::string photoLine =
      "PHOTO;ENCODING=b;TYPE=image/jpeg;X-ABCROP-RECTANGLE=ABClipRect_1&0&0&8&8:" + encodeBase64(jpeg);
  ABPersonData person = readOne(
      "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jo;;;\r\nFN:Jo Doe\r\nX-EVOLUTION-SPOUSE:Maria\r\n"
      "X-AIM;TYPE=HOME;X-EVOLUTION-UI-SLOT=1:jodoe\r\n" +
      photoLine + "\r\nUID:u\r\nEND:VCARD\r\n");
  const ABMultiValue* related = person.multiValue(kABRelatedNamesProperty);
  ASSERT_TRUE(related);
  EXPECT_EQ(related->labelAtIndex(0), kABSpouseLabel);
  std::string text = vCardForPerson(person);
  for (const std::string& line :
       {std::string("X-EVOLUTION-SPOUSE:Maria"), std::string("X-AIM;TYPE=HOME;X-EVOLUTION-UI-SLOT=1:jodoe"), photoLine})
    EXPECT_TRUE(has(text, line) || text.find(line.substr(0, 60)) != std::string::npos) << line << " in\n" << text;
  EXPECT_EQ(text.find("X-ABRELATEDNAMES"), std::string::npos) << text;
  EXPECT_EQ(text.find("IMPP"), std::string::npos) << text;
  EXPECT_TRUE(readOne(text) == person) << text;
  EXPECT_EQ(vCardForPerson(readOne(text)), text);

  // Meanings that changed go out in the standard form: the relation is no spouse any more, the
  // picture is another one.
  ABMultiValue names = *related;
  names.replaceLabelAtIndex(0, kABManagerLabel);
  person.set(kABRelatedNamesProperty, names);
  person.set(kABImageDataProperty, ABBytes{0xFF, 0xD8, 0xFF, 0xE1, 9, 9});
  text = vCardForPerson(person);
  EXPECT_EQ(text.find("X-EVOLUTION-SPOUSE"), std::string::npos) << text;
  EXPECT_NE(text.find(".X-ABRELATEDNAMES:Maria\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\r\nPHOTO;ENCODING=b;TYPE=JPEG:"), std::string::npos) << text;
  ABPersonData back = readOne(text);
  EXPECT_TRUE(sameEntries(*back.find(kABRelatedNamesProperty), names)) << text;
  EXPECT_TRUE(*back.find(kABImageDataProperty) == *person.find(kABImageDataProperty));

  // A 4.0 card back to its source.
  const std::string png = encodeBase64(ABBytes{0x89, 'P', 'N', 'G', 1, 2});
  person = readOne(
      "BEGIN:VCARD\r\nVERSION:4.0\r\nN:Doe;Jo;;;\r\nFN:Jo Doe\r\nKIND:individual\r\nEMAIL;PREF=1:jo@example.org\r\n"
      "RELATED;TYPE=spouse;VALUE=text:Maria\r\nBDAY:--0203\r\nPHOTO:data:image/png;base64," +
      png + "\r\nUID:urn:uuid:1\r\nEND:VCARD\r\n");
  text = vCardForPerson(person, VCardVersion::AsRead);
  for (const std::string& line :
       {std::string("VERSION:4.0"), std::string("KIND:individual"), std::string("EMAIL;PREF=1:jo@example.org"),
        std::string("RELATED;TYPE=spouse;VALUE=text:Maria"), std::string("BDAY:--0203"),
        "PHOTO:data:image/png;base64," + png, std::string("UID:urn:uuid:1")})
    EXPECT_TRUE(has(text, line)) << line << " in\n" << text;
  for (const char* spelling : {"VERSION:3.0", "TYPE=pref", "ENCODING=b", "X-ABRELATEDNAMES", "X-ADDRESSBOOKSERVER"})
    EXPECT_EQ(text.find(spelling), std::string::npos) << spelling << " in\n" << text;
  EXPECT_TRUE(readOne(text) == person) << text;
  // New values in 4.0 spellings; into a file the same card still goes as 3.0.
  person.set(kABBirthdayProperty, ABDate{1980, 2, 3});
  names = ABMultiValue();
  names.addValueWithLabel(std::string("Maria"), kABSpouseLabel);
  names.addValueWithLabel(std::string("Tim"), kABChildLabel);
  person.set(kABRelatedNamesProperty, names);
  text = vCardForPerson(person, VCardVersion::AsRead);
  for (const char* line : {"BDAY:19800203", "RELATED;TYPE=child;VALUE=text:Tim"})
    EXPECT_TRUE(has(text, line)) << line << " in\n" << text;
  back = readOne(text);
  EXPECT_TRUE(sameEntries(*back.find(kABRelatedNamesProperty), names)) << text;
  EXPECT_TRUE(*back.date(kABBirthdayProperty) == (ABDate{1980, 2, 3})) << text;
  EXPECT_TRUE(has(vCardForPerson(person), "VERSION:3.0"));
}

}  // namespace

// A card whose properties came in another order than the writer's goes back in the card's order,
// item groups and folded lines moving whole; a value added since goes after its kind's lines.
TEST(VCardKeptTest, ACardGoesBackInTheOrderItCameIn) {
  const std::string card =
      "BEGIN:VCARD\r\nVERSION:3.0\r\nUID:ann\r\nFN:Ann Lee\r\nX-FOO:one\r\nN:Lee;Ann;;;\r\n"
      "item1.TEL:123\r\nitem1.X-ABLabel:Boat\r\nNOTE:" +
      std::string(100, 'n') + "\r\nEMAIL;TYPE=INTERNET,HOME:ann@x.org\r\nEND:VCARD\r\n";
  ABPersonData person = readOne(card);
  std::string written = vCardForPerson(person);
  auto names = [](const std::string& text) {
    std::string out;
    for (std::size_t at = 0; at < text.size();) {
      const std::size_t end = text.find("\r\n", at);
      if (text[at] != ' ') out += text.substr(at, text.find_first_of(";:", at) - at) + " ";
      at = end + 2;
    }
    return out;
  };
  EXPECT_EQ(names(written), "BEGIN VERSION UID FN X-FOO N item1.TEL item1.X-ABLabel NOTE EMAIL END ") << written;
  // Read again, it stays: the order is a fixed point.
  EXPECT_EQ(vCardForPerson(readOne(written)), written);

  ABMultiValue phones = *person.multiValue(kABPhoneProperty);
  phones.addValueWithLabel(std::string("456"), kABPhoneMobileLabel);
  person.set(kABPhoneProperty, phones);
  EXPECT_EQ(names(vCardForPerson(person)),
            "BEGIN VERSION UID FN X-FOO N item1.TEL item1.X-ABLabel TEL NOTE EMAIL END ");

  // A card in the writer's own order keeps no order of its own.
  EXPECT_FALSE(
      readOne("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lee;Ann;;;\r\nFN:Ann Lee\r\nEMAIL;TYPE=INTERNET,HOME:a@x.org\r\n"
              "X-FOO:one\r\nUID:ann\r\nEND:VCARD\r\n")
          .find(kABVCardLinesAsReadProperty));
}
