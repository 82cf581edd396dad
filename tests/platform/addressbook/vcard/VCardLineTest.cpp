#include <gtest/gtest.h>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardText.h"

namespace {

std::vector<std::pair<std::string, std::string>> linesOf(std::string_view text, VCardCard& card) {
  VCardLineReader reader(text);
  EXPECT_TRUE(reader.nextCard(card));
  std::vector<std::pair<std::string, std::string>> lines;
  for (const auto& line : card.lines) lines.emplace_back(std::string(line.name), std::string(line.value));
  return lines;
}

TEST(VCardLineTest, UnfoldsGroupsAndParameters) {
  VCardCard card;
  auto lines = linesOf(
      "BEGIN:VCARD\r\nVERSION:3.0\r\nNOTE:one\r\n  two\r\n\tthree\r\nitem1.TEL;type=CELL;TYPE=\"voice,home\":1\r\n"
      "TEL;HOME;VOICE;QUOTED-PRINTABLE:a=\r\nb\r\nNOTE;ENCODING=QUOTED-PRINTABLE:Land=\r\n Firma=\r\nend\r\n"
      "URL:http://x/?a=\r\n b\r\nEND:VCARD\r\n",
      card);
  ASSERT_EQ(lines.size(), 6u);
  // A soft line break keeps the white space that starts the next line; a fold drops it.
  EXPECT_EQ(lines[4].second, "Land Firmaend");
  EXPECT_EQ(lines[5].second, "http://x/?a=b");
  EXPECT_EQ(lines[1].second, "one twothree");
  const VCardLine& tel = card.lines[2];
  EXPECT_EQ(tel.group, "item1");
  EXPECT_TRUE(card.hasType(tel, "cell"));
  EXPECT_TRUE(card.hasType(tel, "HOME"));
  EXPECT_FALSE(card.hasType(tel, "WORK"));
  const VCardLine& bare = card.lines[3];
  EXPECT_TRUE(card.hasType(bare, "VOICE"));
  EXPECT_EQ(*card.parameter(bare, "encoding"), "QUOTED-PRINTABLE");
  EXPECT_EQ(bare.value, "ab");
  EXPECT_EQ(bare.lineNumber, 7u);
}

// Names and parameters match whatever the case of their letters; bytes that differ from each other
// in the same bit as a letter's case ('@' and '`', '[' and '{', 0xC1 and 0xE1) are not letters.
// A colon in a quoted parameter value does not end the name.
TEST(VCardLineTest, CaseOfLettersOnlyAndQuotedColons) {
  EXPECT_TRUE(equalsIgnoringCase("X-ABLabel", "x-ablabel"));
  EXPECT_TRUE(equalsIgnoringCase("QUOTED-PRINTABLE", "quoted-Printable"));
  for (auto [a, b] : std::vector<std::pair<std::string_view, std::string_view>>{
           {"@", "`"}, {"[", "{"}, {"]", "}"}, {"^", "~"}, {"\xC1", "\xE1"}, {"TEL", "TE"}, {"X-1", "X\r1"}})
    EXPECT_FALSE(equalsIgnoringCase(a, b)) << a << " " << b;

  VCardCard card;
  auto lines = linesOf(
      "BEGIN:VCARD\r\nVERSION:3.0\r\nX-A;P=\"a:b\";Q=c:value:more\r\nX-B;P=\"a;b:c\"\r\n :d\r\nEND:VCARD\r\n", card);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], (std::pair<std::string, std::string>{"X-A", "value:more"}));
  EXPECT_EQ(card.parameter(card.lines[1], "p").value_or(""), "a:b");
  EXPECT_EQ(card.parameter(card.lines[1], "Q").value_or(""), "c");
  EXPECT_EQ(lines[2], (std::pair<std::string, std::string>{"X-B", "d"}));
  EXPECT_EQ(card.parameter(card.lines[2], "P").value_or(""), "a;b:c");

  // Without quotes before the colon every ';' ends a parameter (empty ones dropped, blanks trimmed);
  // quotes in the value change nothing.
  lines = linesOf("BEGIN:VCARD\r\nX-C; TYPE = HOME ;;X=1 ;WORK:v\r\nX-D;P=a:\"v;w\";x\r\nEND:VCARD\r\n", card);
  ASSERT_EQ(lines.size(), 2u);
  ASSERT_EQ(card.lines[0].parameterCount, 3u);
  EXPECT_EQ(card.parameter(card.lines[0], "TYPE").value_or(""), "HOME");
  EXPECT_EQ(card.parameter(card.lines[0], "X").value_or(""), "1");
  EXPECT_TRUE(card.hasType(card.lines[0], "work"));
  EXPECT_EQ(lines[1], (std::pair<std::string, std::string>{"X-D", "\"v;w\";x"}));
  ASSERT_EQ(card.lines[1].parameterCount, 1u);
  EXPECT_EQ(card.parameter(card.lines[1], "P").value_or(""), "a");
}

TEST(VCardLineTest, LineEndingsOfAllKinds) {
  VCardCard card;
  auto lines = linesOf("BEGIN:VCARD\r\r\nN:a;b\nFN:x\r\nEND:VCARD", card);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].second, "a;b");

  // A file whose lines end in a carriage return alone.
  auto oldMac = VCardImporter::importText("BEGIN:VCARD\rN:Doe;Jo\r hn\rEND:VCARD\rBEGIN:VCARD\rN:B\rEND:VCARD\r");
  ASSERT_TRUE(oldMac.ok()) << oldMac.error;
  ASSERT_EQ(oldMac.persons.size(), 2u);
  EXPECT_EQ(*oldMac.persons[0].string(kABFirstNameProperty), "John");
  auto broken = VCardImporter::importText("BEGIN:VCARD\rN:A\rFN\rEND:VCARD\r", "old.vcf");
  EXPECT_EQ(broken.error, "old.vcf:3: line is not a property (no ':' after the name)");
}

TEST(VCardLineTest, StructuralErrorsNameTheLine) {
  struct Case {
    const char* text;
    std::size_t line;
    const char* problem;
  } cases[] = {
      {"BEGIN:VCARD\nN:a\nBEGIN:VCARD\nEND:VCARD\nEND:VCARD\n", 3, "BEGIN:VCARD inside a card that is not ended"},
      {"VERSION:3.0\nEND:VCARD\n", 1, "outside a card"},
      {"BEGIN:VCARD\nN:a\n", 1, "END:VCARD missing"},
      {"BEGIN:VCARD\nFN\nEND:VCARD\n", 2, "no ':'"},
      {"BEGIN:VCARD\nEND:VCARD\nEND:VCARD\n", 3, "without BEGIN"},
  };
  for (const auto& c : cases) {
    VCardLineReader reader(c.text);
    VCardCard card;
    while (reader.nextCard(card)) {
    }
    ASSERT_TRUE(reader.error()) << c.text;
    EXPECT_EQ(reader.error()->line, c.line) << c.text;
    EXPECT_NE(reader.error()->message.find(c.problem), std::string::npos) << reader.error()->message;
  }
}

TEST(VCardTextTest, EscapesComponentsAndEncodings) {
  std::vector<std::string> parts;
  splitComponents("a\\;b;c\\,d;;e\\nf\\\\", parts);
  ASSERT_EQ(parts.size(), 4u);
  EXPECT_EQ(parts[0], "a;b");
  EXPECT_EQ(parts[1], "c,d");
  EXPECT_EQ(parts[2], "");
  EXPECT_EQ(parts[3], "e\nf\\");
  std::vector<std::string_view> views;
  splitComponents("a\\;b;c\\,d;;e\\nf\\\\", views, parts);
  EXPECT_EQ((std::vector<std::string>(views.begin(), views.end())),
            (std::vector<std::string>{"a;b", "c,d", "", "e\nf\\"}));
  // Many components with escapes beside plain ones, into a fresh vector of strings: each view
  // still shows its own component once all are made.
  std::vector<std::string> fresh;
  splitComponents(
      "a\\,1;b;c\\,3;d;e\\,5;f\\,6;g\\,7;h\\,8;i\\,9;j\\,10;k\\,11;l\\,12;m\\,13;n\\,14;o\\,15;p\\,16;q\\,17", views,
      fresh);
  ASSERT_EQ(views.size(), 17u);
  EXPECT_EQ(views[0], "a,1");
  EXPECT_EQ(views[1], "b");
  EXPECT_EQ(views[2], "c,3");
  EXPECT_EQ(views[16], "q,17");
  // Without escapes: the same components, empty ones at either end included.
  for (const auto& [raw, expected] : std::vector<std::pair<std::string, std::vector<std::string>>>{
           {"Doe;Jo;;;", {"Doe", "Jo", "", "", ""}}, {"", {""}}, {";a", {"", "a"}}, {"a,b:c", {"a,b:c"}}}) {
    splitComponents(raw, parts);
    EXPECT_EQ(parts, expected) << raw;
    splitComponents(raw, views, parts);
    EXPECT_EQ(std::vector<std::string>(views.begin(), views.end()), expected) << raw;
  }
  EXPECT_EQ(unescapeText("C:\\Users"), "C:\\Users");
  // Escapes next to each other, at either end, and backslashes that escape nothing (kept).
  for (const auto& [raw, expected] : std::vector<std::pair<std::string, std::string>>{{"", ""},
                                                                                      {"\\", "\\"},
                                                                                      {"a\\", "a\\"},
                                                                                      {"\\N", "\n"},
                                                                                      {"\\x\\n", "\\x\n"},
                                                                                      {"\\\\\\n", "\\\n"},
                                                                                      {"\\\\n", "\\n"},
                                                                                      {"x\\;y\\,z\\:\\\"", "x;y,z:\""},
                                                                                      {"\\\\", "\\"}}) {
    EXPECT_EQ(unescapeText(raw), expected) << raw;
    // The same as the last component of a structured value (a backslash at the end of a value
    // escapes nothing: the component is kept, not dropped).
    splitComponents("x;" + raw, parts);
    EXPECT_EQ(parts, (std::vector<std::string>{"x", expected})) << raw;
    splitComponents("x;" + raw, views, parts);
    EXPECT_EQ((std::vector<std::string>(views.begin(), views.end())), (std::vector<std::string>{"x", expected})) << raw;
  }
  std::string escaped;
  appendEscapedText(escaped, "a;b,c\\\n");
  EXPECT_EQ(unescapeText(escaped), "a;b,c\\\n");
  // Escapes at either end and between runs of plain text, both forms of line break, appended.
  escaped = "N:";
  appendEscapedText(escaped, ";Lee, Ann\r\nline\rend\\");
  EXPECT_EQ(escaped, "N:\\;Lee\\, Ann\\nline\\nend\\\\");
  escaped.clear();
  appendEscapedText(escaped, "plain text only");
  EXPECT_EQ(escaped, "plain text only");
  EXPECT_EQ(decodeQuotedPrintable("=C3=91=20x=ZZ"), "\xC3\x91 x=ZZ");
  ABBytes bytes{0, 1, 2, 250, 251, 252, 253};
  ABBytes back;
  ASSERT_TRUE(decodeBase64(encodeBase64(bytes), back));
  EXPECT_EQ(back, bytes);
  EXPECT_FALSE(decodeBase64("ab*c", back));
  EXPECT_EQ(repairUtf8("a\x80"), "a\xEF\xBF\xBD");
  EXPECT_EQ(windows1252ToUtf8("Stra\xDF"
                              "e \x80"),
            "Stra\xC3\x9F"
            "e \xE2\x82\xAC");
  CharsetConverter converter;
  std::string out;
  ASSERT_TRUE(converter.toUtf8("\x83\x81\x83\x82", "SHIFT_JIS", out));
  EXPECT_EQ(out, "\xE3\x83\xA1\xE3\x83\xA2");  // メモ
  EXPECT_FALSE(converter.toUtf8("x", "NO-SUCH-CHARSET", out));
}

}  // namespace
