#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <pugixml.hpp>

#include "app/export/ExportToHtml.h"

namespace {

ContactRecord record(std::vector<std::pair<std::string, std::string>> values) {
  ContactRecord r;
  for (auto& [key, value] : values) r.set(key, value);
  return r;
}

class HtmlWriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("rolvane-html-" + std::to_string(getpid()) + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  pugi::xml_node table(pugi::xml_document& document, const ContactRecords& records, bool allInfo) {
    auto result = ExportToHtml(records, (folder_ / "Zedid-Ovuzazur").string(), allInfo).writeHtml();
    EXPECT_TRUE(result.ok()) << result.error;
    file_ = result.file;
    EXPECT_TRUE(document.load_file(result.file.c_str(), pugi::parse_default | pugi::parse_doctype));
    return document.child("html").child("body").child("table");
  }

  std::filesystem::path folder_;
  std::string file_;
};

}  // namespace

TEST(HtmlHeadingOrderTest, FirstAndLastNameLeadTheColumns) {
  EXPECT_EQ(ExportToHtml::headingOrder({"Company", "First Name", "Last Name", "Note"}),
            (std::vector<std::string>{"First Name", "Last Name", "Company", "Note"}));
  EXPECT_EQ(ExportToHtml::headingOrder({"Company", "Last Name", "First Name"}),
            (std::vector<std::string>{"First Name", "Company", "Last Name"}));
}

TEST_F(HtmlWriterTest, ManyRecordsWithAllInformation) {
  pugi::xml_document document;
  auto t = table(document, {record({{"First Name", "Ann"}}), record({{"Note", "a & <b>"}})}, true);
  ASSERT_TRUE(t);
  EXPECT_STREQ(t.attribute("cellspacing").value(), "0");
  std::vector<pugi::xml_node> rows(t.children("tr").begin(), t.children("tr").end());
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(std::distance(rows[0].children("th").begin(), rows[0].children("th").end()), 90);
  EXPECT_EQ(std::distance(rows[2].children("td").begin(), rows[2].children("td").end()), 90);
  auto firstHeading = rows[0].child("th");
  EXPECT_STREQ(firstHeading.text().get(), "First Name");
  EXPECT_STREQ(firstHeading.attribute("class").value(), "first name");
  EXPECT_STREQ(rows[1].child("td").text().get(), "Ann");
  EXPECT_STREQ(rows[1].child("td").attribute("style").value(),
               "background-color:#ffffff;font-size:12px;padding:3px 5px 3px 5px;");
  auto note = rows[2].find_child_by_attribute("td", "class", "note");
  EXPECT_STREQ(note.text().get(), "a & <b>");
  EXPECT_STREQ(document.child("html").child("head").child("title").text().get(), "Address Book Contacts");
  EXPECT_STREQ(document.child("html").attribute("xmlns").value(), "http://www.w3.org/1999/xhtml");
}

TEST_F(HtmlWriterTest, OneRecordShowsItsOwnKeysAndNamesAreNeverReused) {
  pugi::xml_document document;
  ContactRecords one{record({{"Company", "Acme"}, {"Last Name", "Lee"}})};
  one[0].set("Person", std::shared_ptr<ABPerson>());
  auto t = table(document, one, true);
  auto headings = t.child("tr");
  EXPECT_EQ(std::distance(headings.children("th").begin(), headings.children("th").end()), 2);
  EXPECT_STREQ(headings.child("th").text().get(), "Company");
  EXPECT_EQ(std::filesystem::path(file_).filename(), "Zedid-Ovuzazur.html");
  pugi::xml_document again;
  table(again, one, true);
  EXPECT_EQ(std::filesystem::path(file_).filename(), "Zedid-Ovuzazur(0).html");
}

TEST_F(HtmlWriterTest, ABirthdayWithoutAYearShowsAsMonthAndDay) {
  pugi::xml_document document;
  ContactRecords two{record({{"First Name", "Ann"}}), record({{"First Name", "Bo"}})};
  two[0].set("Birthday", ABDate{1604, 7, 9});
  two[1].set("Birthday", ABDate{2001, 7, 9});
  auto t = table(document, two, false);
  auto row = t.child("tr").next_sibling("tr");
  EXPECT_STREQ(row.child("td").next_sibling("td").text().get(), "--07-09");
  EXPECT_STREQ(row.next_sibling("tr").child("td").next_sibling("td").text().get(), "2001-07-09");
}

TEST_F(HtmlWriterTest, NoRecordsLeaveTheBodyEmpty) {
  pugi::xml_document document;
  EXPECT_FALSE(table(document, {}, false));
  EXPECT_TRUE(document.child("html").child("body"));
}

// The page as a browser receives it: declaration, document type, head, body and table attributes
// in their order, each cell's class and style, empty cells for missing keys, escaped text.
TEST_F(HtmlWriterTest, PageSkeletonCellAttributesAndStylesAsWritten) {
  ContactRecords records{record({{"First Name", "Ann"}, {"Note", "a & b"}}), record({{"Last Name", "Lee"}})};
  auto result = ExportToHtml(records, (folder_ / "Zedid-Ovuzazur").string(), false).writeHtml();
  ASSERT_TRUE(result.ok()) << result.error;
  std::ifstream in(result.file, std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), {});
  const std::string th =
      "        <th class=\"%\" style=\"background-color:#6699cc;color:#ffffff;font-size:13px;"
      "text-align:left;padding:3px 5px 3px 5px;\">";
  const std::string td =
      "        <td style=\"background-color:#ffffff;font-size:12px;padding:3px 5px 3px 5px;\" "
      "class=\"%\"";
  auto with = [](std::string pattern, const std::string& cls) { return pattern.replace(pattern.find('%'), 1, cls); };
  const std::string expected =
      "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
      "<!DOCTYPE html PUBLIC \"-//W3C//DTD XHTML 1.0 Transitional//EN\" "
      "\"http://www.w3.org/TR/xhtml1/DTD/xhtml1-transitional.dtd\">\n"
      "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n"
      "  <head>\n"
      "    <meta http-equiv=\"Content-Type\" content=\"text/html\" charset=\"utf-8\" />\n"
      "    <title>Address Book Contacts</title>\n"
      "  </head>\n"
      "  <body bgcolor=\"#FFFFFF\">\n"
      "    <table cellspacing=\"0\" border=\"1\">\n"
      "      <tr>\n" +
      with(th, "first name") + "First Name</th>\n" + with(th, "last name") + "Last Name</th>\n" + with(th, "note") +
      "Note</th>\n"
      "      </tr>\n"
      "      <tr>\n" +
      with(td, "first name") + ">Ann</td>\n" + with(td, "last name") + " />\n" + with(td, "note") +
      ">a &amp; b</td>\n"
      "      </tr>\n"
      "      <tr>\n" +
      with(td, "first name") + " />\n" + with(td, "last name") + ">Lee</td>\n" + with(td, "note") +
      " />\n"
      "      </tr>\n"
      "    </table>\n"
      "  </body>\n"
      "</html>\n";
  EXPECT_EQ(text, expected);
}
