#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "frameworks/xlsx/XlsxCreater.h"
#include "frameworks/zip/ZipArchive.h"

namespace fs = std::filesystem;

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

ContactRecord record(std::initializer_list<std::pair<const char*, const char*>> values) {
  ContactRecord r;
  for (const auto& [k, v] : values) r.set(k, std::string(v));
  return r;
}

class Xlsx : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("rolvane-xlsx-" + std::to_string(getpid())) / "a b'c$d;e";
    fs::remove_all(dir.parent_path());
    fs::create_directories(dir / "x");
  }
  void TearDown() override { fs::remove_all(dir.parent_path()); }
  fs::path expand(const std::string& file) {
    ZipArchive zip;
    EXPECT_TRUE(zip.UnzipOpenFile(file));
    zip.UnzipFileToOverWrite((dir / "x").string(), true);
    zip.UnzipCloseFile();
    return dir / "x";
  }
  fs::path dir;
};

TEST(XlsxColumns, LettersFollowTheTwoLetterScheme) {
  EXPECT_EQ(WriteXlsxFile::columnLetters(1), "A");
  EXPECT_EQ(WriteXlsxFile::columnLetters(26), "Z");
  EXPECT_EQ(WriteXlsxFile::columnLetters(27), "AA");
  EXPECT_EQ(WriteXlsxFile::columnLetters(52), "AZ");
  EXPECT_EQ(WriteXlsxFile::columnLetters(53), "BA");
  EXPECT_EQ(WriteXlsxFile::columnLetters(92), "CN");
}

TEST_F(Xlsx, OneRecordGivesTwoRowsNamesFirstAndEscapedText) {
  ContactRecords records{record({{"Company", "A&B <x>"}, {"Last Name", "Ng"}, {"First Name", "  Li\x01"}})};
  XlsxCreater creater(records, (dir / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(creater.startConvert()) << creater.errorText();
  EXPECT_EQ(creater.outputPath(), (dir / "Zedid-Ovuzazur.xlsx").string());
  const fs::path x = expand(creater.outputPath());
  const std::string sheet = slurp(x / "xl/worksheets/sheet1.xml");
  EXPECT_NE(sheet.find("<dimension ref=\"A1:C2\"/>"), std::string::npos);
  EXPECT_NE(sheet.find("<row r=\"1\"><c r=\"A1\" s=\"1\" t=\"s\"><v>0</v></c><c r=\"B1\" s=\"1\" t=\"s\"><v>1</v></c>"
                       "<c r=\"C1\" s=\"1\" t=\"s\"><v>2</v></c></row>"),
            std::string::npos);
  const std::string shared = slurp(x / "xl/sharedStrings.xml");
  EXPECT_NE(shared.find("count=\"6\" uniqueCount=\"6\""), std::string::npos);
  EXPECT_NE(shared.find("<si><t xml:space=\"preserve\">First Name</t>"), std::string::npos);
  EXPECT_NE(shared.find("<t xml:space=\"preserve\">  Li</t>"), std::string::npos);
  EXPECT_NE(shared.find("<t xml:space=\"preserve\">A&amp;B &lt;x&gt;</t>"), std::string::npos);
  const std::string styles = slurp(x / "xl/styles.xml");
  EXPECT_NE(styles.find("<cellXfs count=\"2\">"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "x/mm"));
}

TEST_F(Xlsx, EmptyRecordsAndSuccessiveNames) {
  ContactRecords none;
  for (const char* expected : {"Zedid-Ovuzazur.xlsx", "Zedid-Ovuzazur(0).xlsx", "Zedid-Ovuzazur(1).xlsx"}) {
    XlsxCreater creater(none, (dir / "Zedid-Ovuzazur").string(), false);
    ASSERT_TRUE(creater.startConvert());
    EXPECT_EQ(fs::path(creater.outputPath()).filename(), expected);
  }
  const fs::path x = expand((dir / "Zedid-Ovuzazur.xlsx").string());
  EXPECT_NE(slurp(x / "xl/worksheets/sheet1.xml").find("<sheetData>\n  </sheetData>"), std::string::npos);
  EXPECT_NE(slurp(x / "xl/sharedStrings.xml").find("count=\"0\" uniqueCount=\"0\""), std::string::npos);
}

TEST_F(Xlsx, MissingFolderIsReported) {
  ContactRecords none;
  XlsxCreater creater(none, (dir / "missing/Zedid-Ovuzazur").string(), false);
  EXPECT_FALSE(creater.startConvert());
  EXPECT_FALSE(creater.errorText().empty());
}

TEST_F(Xlsx, OpenpyxlReadsHeadingsAndEveryValue) {
  if (!fs::exists("/usr/bin/python3") || std::system("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-openpyxl is not installed: the workbook is not opened";
  ContactRecords records{record({{"First Name", "Ann"}, {"Home Email", "a@x.org"}}),
                         record({{"Last Name", "Bo"}, {"Note", "line1\nline2 & <3"}})};
  records[1].set("Person", std::shared_ptr<ABPerson>());
  XlsxCreater creater(records, (dir / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(creater.startConvert()) << creater.errorText();
  const fs::path script = dir.parent_path() / "read.py";
  std::ofstream(script) << "import openpyxl,sys\n"
                           "ws=openpyxl.load_workbook(sys.argv[1]).active\n"
                           "h=[c.value for c in ws[1]]\n"
                           "print(len(h), ws.title)\n"
                           "print(ws.cell(2,h.index('First Name')+1).value, ws.cell(2,h.index('Home Email')+1).value)\n"
                           "print(repr(ws.cell(3,h.index('Note')+1).value), ws.cell(3,h.index('Last Name')+1).value)\n"
                           "print('Person' in h)\n";
  const fs::path out = dir.parent_path() / "out.txt";
  const std::string command = "/usr/bin/python3 '" + script.string() + "' '" + dir.parent_path().string() +
                              "/a b'\\''c$d;e/Zedid-Ovuzazur.xlsx' > '" + out.string() + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << slurp(out);
  EXPECT_EQ(slurp(out), "92 Page 1\nAnn a@x.org\n'line1\\nline2 & <3' Bo\nFalse\n");
}

}  // namespace
