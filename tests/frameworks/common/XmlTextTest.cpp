#include <gtest/gtest.h>

#include "frameworks/common/XmlText.h"

TEST(XmlText, ForbiddenCharactersAndBrokenUtf8AreLeftOut) {
  EXPECT_EQ(removeXmlForbiddenCharacters("a\x01"
                                         "b\x1f"
                                         "c\td\ne\rf"),
            "abc\td\ne\rf");
  EXPECT_EQ(removeXmlForbiddenCharacters("Zoë 東京 \xF0\x9F\x98\x80"), "Zoë 東京 \xF0\x9F\x98\x80");
  EXPECT_EQ(removeXmlForbiddenCharacters("x\xEF\xBF\xBEy\xEF\xBF\xBFz"), "xyz");  // U+FFFE, U+FFFF
  EXPECT_EQ(removeXmlForbiddenCharacters("a\xC3"
                                         "b\xED\xA0\x80"
                                         "c\xFF"),
            "abc");  // cut, surrogate, junk
  EXPECT_TRUE(hasXmlForbiddenCharacters("bell\x07"));
  EXPECT_FALSE(hasXmlForbiddenCharacters("plain & <fine>"));
}

TEST(XmlText, EscapingDependsOnThePlace) {
  std::string text;
  appendXmlEscaped(text, "<a & \"b\">\r\n\t\x02");
  EXPECT_EQ(text, "&lt;a &amp; \"b\"&gt;&#13;\n\t");
  std::string attribute;
  appendXmlEscaped(attribute, "say \"hi\"\t\n", XmlEscape::Attribute);
  EXPECT_EQ(attribute, "say &quot;hi&quot;&#9;&#10;");
}
