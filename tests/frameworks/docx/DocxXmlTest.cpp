// The XML of the document body, written for small inputs.
#include <gtest/gtest.h>

#include <pugixml.hpp>
#include <string>

#include "frameworks/docx/DocxCreator.h"

namespace {

ContactRecord record(std::initializer_list<std::pair<const char*, const char*>> values) {
  ContactRecord result;
  for (const auto& [key, value] : values) result.set(key, std::string(value));
  return result;
}

// The table written for the records, parsed.
struct Table {
  explicit Table(const ContactRecords& records) : creator(records, "/nonexistent/Zedid-Ovuzazur") {
    std::string xml;
    DocxXmlWriter out(xml, 0);
    creator.setTableNode(out);
    text = xml;
    const std::string wrapped =
        "<w:root xmlns:w=\"http://schemas.openxmlformats.org/wordprocessingml/2006/main\">" + xml + "</w:root>";
    EXPECT_TRUE(document.load_string(wrapped.c_str())) << xml;
  }
  pugi::xml_node tbl() const { return document.child("w:root").child("w:tbl"); }
  std::vector<std::vector<std::string>> cells() const {
    std::vector<std::vector<std::string>> rows;
    for (pugi::xml_node tr : tbl().children("w:tr")) {
      rows.emplace_back();
      for (pugi::xml_node tc : tr.children("w:tc")) {
        std::string text;
        for (pugi::xml_node piece : tc.child("w:p").child("w:r").children())
          text += std::string_view(piece.name()) == "w:br" ? "\n" : piece.text().get();
        rows.back().push_back(text);
      }
    }
    return rows;
  }
  DocxCreator creator;
  std::string text;
  pugi::xml_document document;
};

const char* const kCell =
    "\t\t<w:tc>\n"
    "\t\t\t<w:tcPr>\n"
    "\t\t\t\t<w:tcW w:w=\"1130\" w:type=\"dxa\" />\n"
    "\t\t\t\t<w:tcMar>\n"
    "\t\t\t\t\t<w:left w:w=\"0\" w:type=\"dxa\" />\n"
    "\t\t\t\t\t<w:right w:w=\"0\" w:type=\"dxa\" />\n"
    "\t\t\t\t</w:tcMar>\n"
    "\t\t\t\t<w:tcBorders>\n"
    "\t\t\t\t\t<w:top w:val=\"single\" w:sz=\"12\" w:space=\"0\" w:color=\"000000\" />\n"
    "\t\t\t\t\t<w:left w:val=\"single\" w:sz=\"12\" w:space=\"0\" w:color=\"000000\" />\n"
    "\t\t\t\t\t<w:bottom w:val=\"single\" w:sz=\"12\" w:space=\"0\" w:color=\"000000\" />\n"
    "\t\t\t\t\t<w:right w:val=\"single\" w:sz=\"12\" w:space=\"0\" w:color=\"000000\" />\n"
    "\t\t\t\t</w:tcBorders>\n"
    "\t\t\t\t<w:shd w:val=\"clear\" w:color=\"auto\" w:fill=\"auto\" />\n"
    "\t\t\t\t<w:vAlign w:val=\"center\" />\n"
    "\t\t\t</w:tcPr>\n"
    "\t\t\t<w:p w:rsidR=\"005A76FB\" w:rsidRDefault=\"005A76FB\" w:rsidP=\"005A76FB\">\n"
    "\t\t\t\t<w:r>\n"
    "\t\t\t\t\t<w:t xml:space=\"preserve\">TEXT</w:t>\n"
    "\t\t\t\t</w:r>\n"
    "\t\t\t</w:p>\n"
    "\t\t</w:tc>\n";

std::string cell(const std::string& text) {
  std::string result = kCell;
  result.replace(result.find("TEXT"), 4, text);
  return result;
}

}  // namespace

TEST(DocxXml, OneRecordOneKeyIsExactlyThisTable) {
  const ContactRecords records = {record({{"Company", "A & B <Ltd>"}})};
  Table table(records);
  std::string expected =
      "<w:tbl>\n"
      "\t<w:tblPr>\n"
      "\t\t<w:tblStyle w:val=\"a6\" />\n"
      "\t\t<w:tblW w:w=\"1130\" w:type=\"dxa\" />\n"
      "\t\t<w:tblLayout w:type=\"fixed\" />\n"
      "\t\t<w:tblBorders>\n";
  for (const char* side : {"top", "left", "bottom", "right", "insideH", "insideV"})
    expected += std::string("\t\t\t<w:") + side + " w:val=\"none\" w:sz=\"0\" w:space=\"0\" w:color=\"auto\" />\n";
  expected +=
      "\t\t</w:tblBorders>\n"
      "\t\t<w:tblLook w:val=\"0000\" />\n"
      "\t</w:tblPr>\n"
      "\t<w:tblGrid>\n";
  expected +=
      "\t\t<w:gridCol w:w=\"1130\" />\n"
      "\t</w:tblGrid>\n"
      "\t<w:tr w:rsidR=\"00AD10A2\" w:rsidTr=\"00CB73A4\">\n"
      "\t\t<w:trPr>\n"
      "\t\t\t<w:cantSplit />\n"
      "\t\t\t<w:trHeight w:hRule=\"atLeast\" w:val=\"700\" />\n"
      "\t\t\t<w:tblHeader />\n"
      "\t\t</w:trPr>\n" +
      cell("Company") +
      "\t</w:tr>\n"
      "\t<w:tr w:rsidR=\"00AD10A2\" w:rsidTr=\"00CB73A4\">\n"
      "\t\t<w:trPr>\n"
      "\t\t\t<w:cantSplit />\n"
      "\t\t</w:trPr>\n" +
      cell("A &amp; B &lt;Ltd&gt;") +
      "\t</w:tr>\n"
      "</w:tbl>\n"
      "<w:p w:rsidR=\"005A76FB\" w:rsidRDefault=\"005A76FB\" w:rsidP=\"005A76FB\" />\n";
  EXPECT_EQ(table.text, expected);
}

TEST(DocxXml, SpacingParagraphAndSectionProperties) {
  const ContactRecords none;
  DocxCreator creator(none, "/nonexistent/x");
  std::string xml;
  DocxXmlWriter out(xml, 1);
  creator.writeReturn(out, "240");
  creator.setTableNode(out);
  creator.writeEndSectPrNode(out);
  EXPECT_EQ(xml,
            "\t<w:p w:rsidR=\"005A76FB\" w:rsidRDefault=\"005A76FB\" w:rsidP=\"005A76FB\">\n"
            "\t\t<w:pPr>\n"
            "\t\t\t<w:spacing w:before=\"0\" w:after=\"0\" w:line=\"240\" w:lineRule=\"exact\" />\n"
            "\t\t</w:pPr>\n"
            "\t</w:p>\n"
            "\t<w:sectPr w:rsidR=\"005A76FB\" w:rsidSect=\"005A76FB\">\n"
            "\t\t<w:pgSz w:w=\"16838\" w:h=\"11906\" w:orient=\"landscape\" />\n"
            "\t\t<w:pgMar w:top=\"567\" w:right=\"567\" w:bottom=\"567\" w:left=\"567\" w:header=\"851\" "
            "w:footer=\"992\" w:gutter=\"0\" />\n"
            "\t\t<w:cols w:num=\"1\" w:equalWidth=\"0\">\n"
            "\t\t\t<w:col w:w=\"15704\" w:space=\"0\" />\n"
            "\t\t</w:cols>\n"
            "\t\t<w:docGrid w:type=\"lines\" w:linePitch=\"312\" />\n"
            "\t</w:sectPr>\n");
}

TEST(DocxXml, ColumnsFollowFirstAppearanceWithFirstAndLastNameInFront) {
  const ContactRecords records = {record({{"Company", "Acme"}, {"First Name", "Ann"}}),
                                  record({{"Last Name", "Berg"}, {"Home Email", "b@x.org"}, {"First Name", "Bo"}})};
  Table table(records);
  EXPECT_EQ(table.creator.dicKeyArr(), (std::vector<std::string>{"First Name", "Last Name", "Company", "Home Email"}));
  // A record without a title still has its cell, empty.
  EXPECT_EQ(table.cells(), (std::vector<std::vector<std::string>>{{"First Name", "Last Name", "Company", "Home Email"},
                                                                  {"Ann", "", "Acme", ""},
                                                                  {"Bo", "Berg", "", "b@x.org"}}));
}

TEST(DocxXml, LastNameMetBeforeFirstNameStandsSecondAfterAnEarlierKey) {
  const ContactRecords records = {record({{"Company", "Acme"}, {"Last Name", "Berg"}, {"First Name", "Bo"}})};
  Table table(records);
  EXPECT_EQ(table.creator.dicKeyArr(), (std::vector<std::string>{"First Name", "Company", "Last Name"}));
}

TEST(DocxXml, FortyKeysGiveTwentyEightCellsPerRowAndTheGridHasTheTablesColumns) {
  ContactRecord wide;
  for (int i = 0; i < 40; ++i) wide.set("Key " + std::to_string(i), "v" + std::to_string(i));
  const ContactRecords records = {wide, record({{"Key 1", "second"}})};
  Table table(records);
  const auto rows = table.cells();
  ASSERT_EQ(rows.size(), 3u);
  for (const auto& row : rows) EXPECT_EQ(row.size(), 28u);
  EXPECT_EQ(rows[0][27], "Key 27");
  EXPECT_EQ(rows[1][27], "v27");
  EXPECT_EQ(rows[2][1], "second");
  EXPECT_EQ(table.text.find("Key 28"), std::string::npos);
  EXPECT_EQ(std::distance(table.tbl().child("w:tblGrid").children("w:gridCol").begin(),
                          table.tbl().child("w:tblGrid").children("w:gridCol").end()),
            28);

  const ContactRecords narrow = {record({{"A", "1"}, {"B", "2"}, {"C", "3"}})};
  Table small(narrow);
  const auto grid = small.tbl().child("w:tblGrid").children("w:gridCol");
  EXPECT_EQ(std::distance(grid.begin(), grid.end()), 3);
  for (pugi::xml_node column : grid) EXPECT_STREQ(column.attribute("w:w").value(), "1130");
  EXPECT_STREQ(small.tbl().child("w:tblPr").child("w:tblW").attribute("w:w").value(), "3390");
  EXPECT_FALSE(small.tbl().child("w:tblPr").child("w:tblpPr")) << "the table must not float";
  EXPECT_EQ(small.cells()[1].size(), 3u);
}

TEST(DocxXml, ThePageIsLandscapeAndWideEnoughForTheTable) {
  const auto pageFor = [](int keys) {
    ContactRecord wide;
    for (int i = 0; i < keys; ++i) wide.set("Key " + std::to_string(i), "v");
    const ContactRecords records = {wide};
    DocxCreator creator(records, "/nonexistent/x");
    std::string xml;
    DocxXmlWriter out(xml, 0);
    creator.setTableNode(out);
    return creator.pageSize();
  };
  // Up to 13 columns fit a landscape A4 page with its 1 cm margins.
  EXPECT_EQ(pageFor(3).width, 16838);
  EXPECT_EQ(pageFor(3).height, 11906);
  EXPECT_EQ(pageFor(13).width, 16838);
  EXPECT_EQ(pageFor(14).width, 14 * 1130 + 2 * 567);
  // Wider pages keep the proportions of landscape A4; 28 columns are the widest.
  EXPECT_EQ(pageFor(28).width, 28 * 1130 + 2 * 567);
  EXPECT_EQ(pageFor(28).height, 23174);
  EXPECT_EQ(pageFor(40).width, pageFor(28).width);
}

TEST(DocxXml, PersonIsNeverAColumnAndDatesShowAsText) {
  ContactRecord withPerson = record({{"First Name", "Ann"}});
  withPerson.set("Person", std::shared_ptr<ABPerson>());
  withPerson.set("Birthday", ABDate{1980, 2, 29});
  const ContactRecords records = {withPerson};
  Table table(records);
  EXPECT_EQ(table.creator.dicKeyArr(), (std::vector<std::string>{"First Name", "Birthday"}));
  EXPECT_EQ(table.cells()[1], (std::vector<std::string>{"Ann", "1980-02-29"}));
}

TEST(DocxXml, CharactersThatXmlForbidsAreLeftOutAndLineFeedsAreLineBreaks) {
  const ContactRecords records = {record({{"Note",
                                           "a\x01"
                                           "b\x1f"
                                           "c\nd\te"},
                                          {"Bad\x02Key", "x"}})};
  Table table(records);
  EXPECT_EQ(table.cells()[0], (std::vector<std::string>{"Note", "BadKey"}));
  EXPECT_EQ(table.cells()[1], (std::vector<std::string>{"abc\nd\te", "x"}));
  EXPECT_NE(table.text.find("abc</w:t><w:br /><w:t xml:space=\"preserve\">d\te"), std::string::npos) << table.text;

  const ContactRecords crlf = {record({{"Note", "one\r\ntwo\rthree\n\nfive"}})};
  EXPECT_EQ(Table(crlf).cells()[1], (std::vector<std::string>{"one\ntwo\nthree\n\nfive"}));
}

TEST(DocxXml, NoRecordsWriteNoTable) {
  const ContactRecords none;
  Table table(none);
  EXPECT_EQ(table.text, "");
}
