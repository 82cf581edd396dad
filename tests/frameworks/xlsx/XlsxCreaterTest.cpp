#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <pugixml.hpp>
#include <set>

#include "core/record/AllInfoColumns.h"
#include "frameworks/xlsx/XlsxCreater.h"
#include "frameworks/zip/ZipArchive.h"
#include "tests/support/ProgramRun.h"

namespace fs = std::filesystem;

namespace {

// The text as one single-quoted shell word.
std::string shellWord(const std::string& text) {
  std::string word = "'";
  for (char c : text) word += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return word + "'";
}

ContactRecord record(std::initializer_list<std::pair<const char*, const char*>> values) {
  ContactRecord r;
  for (const auto& [k, v] : values) r.set(k, std::string(v));
  return r;
}

class Xlsx : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("rolvane-xlsx-" + std::to_string(getpid())) / "a b'c$d;e";
    fs::remove_all(dir_.parent_path());
    fs::create_directories(dir_ / "x");
  }
  void TearDown() override { fs::remove_all(dir_.parent_path()); }
  fs::path expand(const std::string& file) {
    ZipArchive zip;
    EXPECT_TRUE(zip.UnzipOpenFile(file));
    zip.UnzipFileToOverWrite((dir_ / "x").string(), true);
    zip.UnzipCloseFile();
    return dir_ / "x";
  }
  // Runs a shell command; its output, with stderr, is left in out.txt.
  int run(const std::string& command) {
    return std::system((command + " > " + shellWord((dir_.parent_path() / "out.txt").string()) + " 2>&1").c_str());
  }
  std::string output() { return slurp(dir_.parent_path() / "out.txt"); }
  fs::path dir_;
};

bool havePythonWith(const char* module) {
  return fs::exists("/usr/bin/python3") &&
         std::system(("/usr/bin/python3 -c 'import " + std::string(module) + "' 2>/dev/null").c_str()) == 0;
}

// Every relationship of an expanded package names a part that exists, and every part has a
// content type.
void expectConsistentPackage(const fs::path& root) {
  pugi::xml_document types;
  ASSERT_TRUE(types.load_file((root / "[Content_Types].xml").c_str()));
  std::set<std::string> defaults, overrides;
  for (pugi::xml_node type : types.document_element().children()) {
    if (std::string(type.name()) == "Default") defaults.insert(type.attribute("Extension").value());
    if (std::string(type.name()) == "Override") overrides.insert(type.attribute("PartName").value());
  }
  int relationships = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    const fs::path relative = fs::relative(entry.path(), root);
    if (relative == "[Content_Types].xml") continue;
    const std::string partName = "/" + relative.generic_string();
    const std::string file = entry.path().filename().string();
    const std::string extension = file.substr(file.rfind('.') + 1);
    EXPECT_TRUE(overrides.count(partName) || defaults.count(extension)) << partName << " has no content type";
    if (extension != "rels") continue;
    // .../_rels/name.rels describes the part .../name; its targets are relative to that folder.
    const fs::path base = relative.parent_path().parent_path();
    pugi::xml_document rels;
    ASSERT_TRUE(rels.load_file(entry.path().c_str())) << partName;
    for (pugi::xml_node relationship : rels.document_element().children("Relationship")) {
      if (std::string(relationship.attribute("TargetMode").value()) == "External") continue;
      const std::string target = relationship.attribute("Target").value();
      const fs::path part = target.front() == '/' ? fs::path(target.substr(1)) : (base / target).lexically_normal();
      EXPECT_TRUE(fs::is_regular_file(root / part)) << partName << " refers to the missing part " << part;
      ++relationships;
    }
  }
  EXPECT_GE(relationships, 3);
  for (const auto& part : overrides) EXPECT_TRUE(fs::is_regular_file(root / part.substr(1))) << part;
}

// Records with every all-information column, some left out, some values that need care.
ContactRecords manyRecords(std::size_t count) {
  const auto& titles = AllInfoColumns::base();
  ContactRecords records(count);
  for (std::size_t i = 0; i < count; ++i)
    for (std::size_t t = 0; t < titles.size(); ++t)
      if ((i + t) % 3 != 0) records[i].set(titles[t], titles[t] + " <" + std::to_string(i) + "> & \x02x");
  return records;
}

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
  XlsxCreater creater(records, (dir_ / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(creater.startConvert()) << creater.error();
  EXPECT_EQ(creater.outputPath(), (dir_ / "Zedid-Ovuzazur.xlsx").string());
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
  EXPECT_FALSE(fs::exists(dir_ / "x/mm"));
}

// Spreadsheet programs read "_xHHHH_" in a string as one character; a text that holds such a
// sequence itself has its underscore escaped, in short and long texts and after left-out characters.
TEST_F(Xlsx, TextsThatLookLikeCharacterEscapesAreEscaped) {
  const std::string longText = std::string(300, 'y') + "_x0041_";
  ContactRecords records{record({{"First Name", "a_x005F_b"},
                                 {"Last Name", "_x00e9__X12_x1234"},
                                 {"Note", longText.c_str()},
                                 {"Company",
                                  "_x00\x01"
                                  "41_ & _x_"}})};
  XlsxCreater creater(records, (dir_ / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(creater.startConvert()) << creater.error();
  const std::string shared = slurp(expand(creater.outputPath()) / "xl/sharedStrings.xml");
  EXPECT_NE(shared.find(">a_x005F_x005F_b<"), std::string::npos) << shared;
  EXPECT_NE(shared.find(">_x005F_x00e9__X12_x1234<"), std::string::npos) << shared;
  EXPECT_NE(shared.find(std::string(300, 'y') + "_x005F_x0041_<"), std::string::npos) << shared;
  EXPECT_NE(shared.find(">_x005F_x0041_ &amp; _x_<"), std::string::npos) << shared;
}

TEST_F(Xlsx, EmptyRecordsAndSuccessiveNames) {
  ContactRecords none;
  for (const char* expected : {"Zedid-Ovuzazur.xlsx", "Zedid-Ovuzazur(0).xlsx", "Zedid-Ovuzazur(1).xlsx"}) {
    XlsxCreater creater(none, (dir_ / "Zedid-Ovuzazur").string(), false);
    ASSERT_TRUE(creater.startConvert());
    EXPECT_EQ(fs::path(creater.outputPath()).filename(), expected);
  }
  const fs::path x = expand((dir_ / "Zedid-Ovuzazur.xlsx").string());
  EXPECT_NE(slurp(x / "xl/worksheets/sheet1.xml").find("<sheetData>\n  </sheetData>"), std::string::npos);
  EXPECT_NE(slurp(x / "xl/sharedStrings.xml").find("count=\"0\" uniqueCount=\"0\""), std::string::npos);
}

// Failure is reported; the debug log, asked for by ROLVANE_DEBUG, says each conversion ended.
TEST_F(Xlsx, MissingFolderIsReportedAndEveryConversionEndIsLogged) {
  ContactRecords none;
  XlsxCreater creater(none, (dir_ / "missing/Zedid-Ovuzazur").string(), false);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(creater.startConvert());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_FALSE(creater.error().empty());

  setenv("ROLVANE_DEBUG", "1", 1);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(XlsxCreater(none, (dir_ / "missing/Zedid-Ovuzazur").string(), false).startConvert());
  EXPECT_TRUE(XlsxCreater(none, (dir_ / "Zedid-Ovuzazur").string(), false).startConvert());
  const std::string log = testing::internal::GetCapturedStderr();
  unsetenv("ROLVANE_DEBUG");
  EXPECT_EQ(log, "转化完成\n转化完成\n");
}

TEST_F(Xlsx, OpenpyxlReadsHeadingsAndEveryValue) {
  if (!fs::exists("/usr/bin/python3") || std::system("/usr/bin/python3 -c 'import openpyxl' 2>/dev/null") != 0)
    GTEST_SKIP() << "python3-openpyxl is not installed: the workbook is not opened";
  ContactRecords records{record({{"First Name", "Ann"}, {"Home Email", "a@x.org"}}),
                         record({{"Last Name", "Bo"}, {"Note", "line1\nline2 & <3"}})};
  records[1].set("Person", std::shared_ptr<ABPerson>());
  XlsxCreater creater(records, (dir_ / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(creater.startConvert()) << creater.error();
  const fs::path script = dir_.parent_path() / "read.py";
  std::ofstream(script) << "import openpyxl,sys\n"
                           "ws=openpyxl.load_workbook(sys.argv[1]).active\n"
                           "h=[c.value for c in ws[1]]\n"
                           "print(len(h), ws.title)\n"
                           "print(ws.cell(2,h.index('First Name')+1).value, ws.cell(2,h.index('Home Email')+1).value)\n"
                           "print(repr(ws.cell(3,h.index('Note')+1).value), ws.cell(3,h.index('Last Name')+1).value)\n"
                           "print('Person' in h)\n";
  const fs::path out = dir_.parent_path() / "out.txt";
  const std::string command = "/usr/bin/python3 '" + script.string() + "' '" + dir_.parent_path().string() +
                              "/a b'\\''c$d;e/Zedid-Ovuzazur.xlsx' > '" + out.string() + "' 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << slurp(out);
  EXPECT_EQ(slurp(out), "92 Page 1\nAnn a@x.org\n'line1\\nline2 & <3' Bo\nFalse\n");
}

TEST_F(Xlsx, TemplateAndExportedWorkbookRefersOnlyToPartsTheyHold) {
  {
    ZipArchive zip;
    ASSERT_TRUE(zip.UnzipOpenFile(XlsxCreater::templatePath()));
    ASSERT_TRUE(zip.UnzipFileToOverWrite((dir_ / "template").string(), true));
  }
  expectConsistentPackage(dir_ / "template");
  ContactRecords records{record({{"First Name", "Ann"}}), record({{"Last Name", "Bo"}})};
  XlsxCreater creater(records, (dir_ / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(creater.startConvert()) << creater.error();
  const fs::path x = expand(creater.outputPath());
  expectConsistentPackage(x);
  EXPECT_TRUE(fs::is_regular_file(x / "xl/slideLayouts/printerSettings1.bin"));
}

// The template files as the writer edits them, and the worksheet's fixed elements around the rows.
TEST_F(Xlsx, TemplateEditsAndFixedWorksheetElements) {
  ContactRecords records{record({{"Note", "n"}, {"First Name", "Ann"}}), record({{"Last Name", "Bo"}}),
                         record({{"Note", ""}})};
  XlsxCreater creater(records, (dir_ / "Zedid-Ovuzazur").string(), false);
  ASSERT_TRUE(creater.startConvert()) << creater.error();
  const fs::path x = expand(creater.outputPath());
  const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
  // Each child of a part's root as "name attribute=value ..." in document order.
  auto children = [](const pugi::xml_node& parent) {
    std::vector<std::string> out;
    for (pugi::xml_node child : parent.children()) {
      std::string line = child.name();
      for (pugi::xml_attribute a : child.attributes()) line += std::string(" ") + a.name() + "=" + a.value();
      out.push_back(line);
    }
    return out;
  };
  pugi::xml_document rels, workbook, types, styles, sheet, sheetRels;
  ASSERT_TRUE(rels.load_file((x / "xl/_rels/workbook.xml.rels").c_str()));
  EXPECT_EQ(children(rels.document_element()),
            (std::vector<std::string>{"Relationship Id=rId4 Type=" + rel + "styles Target=styles.xml",
                                      "Relationship Id=rId1 Type=" + rel + "worksheet Target=worksheets/sheet1.xml",
                                      "Relationship Id=rId5 Type=" + rel + "sharedStrings Target=sharedStrings.xml"}));
  ASSERT_TRUE(workbook.load_file((x / "xl/workbook.xml").c_str()));
  EXPECT_EQ(children(workbook.document_element()).at(3), "sheets");
  EXPECT_EQ(children(workbook.document_element().child("sheets")),
            std::vector<std::string>{"sheet name=Page 1 sheetId=1 r:id=rId1"});
  ASSERT_TRUE(types.load_file((x / "[Content_Types].xml").c_str()));
  const auto entries = children(types.document_element());
  ASSERT_EQ(entries.size(), 9u);
  EXPECT_EQ(entries[7],
            "Override PartName=/xl/worksheets/sheet1.xml "
            "ContentType=application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml");
  EXPECT_EQ(entries[8],
            "Override PartName=/xl/sharedStrings.xml "
            "ContentType=application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml");
  ASSERT_TRUE(styles.load_file((x / "xl/styles.xml").c_str()));
  const pugi::xml_node cellXfs = styles.document_element().child("cellXfs");
  EXPECT_STREQ(cellXfs.attribute("count").value(), "2");
  const std::vector<std::string> xf = {"xf numFmtId=0 fontId=0 fillId=0 borderId=0 xfId=0 applyAlignment=1",
                                       "xf numFmtId=0 fontId=0 fillId=0 borderId=0 xfId=0 applyAlignment=1"};
  EXPECT_EQ(children(cellXfs), xf);
  for (pugi::xml_node one : cellXfs.children())
    EXPECT_EQ(children(one), std::vector<std::string>{"alignment horizontal=left vertical=top wrapText=1"});
  ASSERT_TRUE(sheet.load_file((x / "xl/worksheets/sheet1.xml").c_str()));
  auto worksheet = children(sheet.document_element());
  EXPECT_EQ(worksheet, (std::vector<std::string>{
                           "dimension ref=A1:C4", "sheetViews", "sheetFormatPr baseColWidth=21 defaultRowHeight=15",
                           "sheetData", "phoneticPr fontId=1 type=noConversion",
                           "pageMargins left=0.7 right=0.7 top=0.75 bottom=0.75 header=0.3 footer=0.3",
                           "pageSetup paperSize=0 orientation=portrait horizontalDpi=0 verticalDpi=0 copies=0"}));
  EXPECT_EQ(children(sheet.document_element().child("sheetViews")),
            std::vector<std::string>{"sheetView tabSelected=1 workbookViewId=0"});
  // Headings First Name, Last Name, Note; a record's missing keys give no cell, an empty value one.
  EXPECT_EQ(children(sheet.document_element().child("sheetData")),
            (std::vector<std::string>{"row r=1 spans=1:87", "row r=2 spans=1:87", "row r=3 spans=1:87",
                                      "row r=4 spans=1:87"}));
  std::vector<std::string> cells;
  for (pugi::xml_node row : sheet.document_element().child("sheetData").children())
    for (pugi::xml_node c : row.children())
      cells.push_back(c.attribute("r").value() + std::string(":") + c.child("v").text().get());
  EXPECT_EQ(cells, (std::vector<std::string>{"A1:0", "B1:1", "C1:2", "A2:3", "C2:4", "B3:5", "C4:6"}));
  ASSERT_TRUE(sheetRels.load_file((x / "xl/worksheets/_rels/sheet1.xml.rels").c_str()));
  EXPECT_EQ(children(sheetRels.document_element()),
            std::vector<std::string>{"Relationship Id=rId1 Type=" + rel +
                                     "printerSettings Target=../slideLayouts/printerSettings1.bin"});
  EXPECT_FALSE(fs::exists(x / "xl/worksheets/sheet2.xml"));
  EXPECT_TRUE(fs::is_directory(x / "xl/media"));
  EXPECT_TRUE(fs::is_directory(x / "xl/drawings/_rels"));
}

// Thousands of rows: both parts reach the archive in many pieces, and must read back whole.
TEST_F(Xlsx, LargeWorkbookReadsBackCompleteInOpenpyxl) {
  if (!havePythonWith("openpyxl")) GTEST_SKIP() << "python3-openpyxl is not installed: the workbook is not opened";
  const ContactRecords records = manyRecords(2500);
  XlsxCreater creater(records, (dir_ / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(creater.startConvert()) << creater.error();
  const fs::path x = expand(creater.outputPath());
  EXPECT_GT(fs::file_size(x / "xl/sharedStrings.xml"), std::size_t{8} << 20);
  EXPECT_NE(slurp(x / "xl/worksheets/sheet1.xml").find("<dimension ref=\"A1:CN2501\"/>"), std::string::npos);
  const fs::path script = dir_.parent_path() / "count.py";
  std::ofstream(script) << "import openpyxl,sys\n"
                           "ws=openpyxl.load_workbook(sys.argv[1],read_only=True).active\n"
                           "rows=list(ws.iter_rows(values_only=True))\n"
                           "cells=sum(1 for r in rows[1:] for v in r if v is not None)\n"
                           "print(len(rows), len(rows[0]), cells)\n"
                           "print(rows[0][0], rows[0][91], '|', rows[1][1], '|', rows[2500][89])\n";
  ASSERT_EQ(run("/usr/bin/python3 " + shellWord(script.string()) + " " + shellWord(creater.outputPath())), 0)
      << output();
  std::size_t cells = 0;
  const auto& titles = AllInfoColumns::spreadsheet();
  for (const auto& r : records)
    for (const auto& title : titles) cells += r.contains(title);
  EXPECT_EQ(output(), "2501 92 " + std::to_string(cells) + "\nFirst Name Middle Name | Last Name <0> & x | " +
                          titles[89] + " <2499> & x\n");
}

// Opened by LibreOffice the way a user would, through its own spreadsheet import.
TEST_F(Xlsx, LibreOfficeReadsCellsBack) {
  if (std::system("command -v libreoffice > /dev/null 2>&1") != 0)
    GTEST_SKIP() << "libreoffice is not installed: the workbook is not opened by LibreOffice";
  if (!havePythonWith("csv")) GTEST_SKIP() << "/usr/bin/python3 is not installed: LibreOffice's CSV is not read";
  ContactRecords records{
      record({{"First Name", "Zoë"}, {"Last Name", "Ångström-李"}, {"Company", "Smith, Jones & Co"}}),
      record({{"First Name", "Bo"}, {"Note", "She said \"hi\", twice"}, {"Job Title", "_x0041_ or _x005F_"}})};
  records[1].set("Birthday", ABDate{1984, 3, 5});
  XlsxCreater creater(records, (dir_ / "Zedid-Ovuzazur").string(), true);
  ASSERT_TRUE(creater.startConvert()) << creater.error();
  const fs::path profile = fs::temp_directory_path() / ("rolvane-lo-profile-" + std::to_string(getpid()));
  const fs::path csvFolder = dir_.parent_path() / "csv";
  const int converted =
      run("cd " + shellWord(dir_.parent_path().string()) + " && libreoffice -env:UserInstallation=file://" +
          profile.string() + " --headless --convert-to 'csv:Text - txt - csv (StarCalc):44,34,76,1' --outdir " +
          shellWord(csvFolder.string()) + " " + shellWord(creater.outputPath()));
  fs::remove_all(profile);
  ASSERT_EQ(converted, 0) << output();
  const fs::path csv = csvFolder / "Zedid-Ovuzazur.csv";
  ASSERT_TRUE(fs::exists(csv)) << output();
  const fs::path script = dir_.parent_path() / "cells.py";
  std::ofstream(script) << "import csv,sys\n"
                           "rows=list(csv.reader(open(sys.argv[1],encoding='utf-8',newline='')))\n"
                           "h=rows[0]\n"
                           "for r,key in ((1,'First Name'),(1,'Last Name'),(1,'Company'),(2,'Note'),(2,'Birthday'),"
                           "(2,'Job Title')):\n"
                           "  print(repr(rows[r][h.index(key)]))\n"
                           "print(len(rows), len(h))\n";
  ASSERT_EQ(run("/usr/bin/python3 " + shellWord(script.string()) + " " + shellWord(csv.string())), 0) << output();
  EXPECT_EQ(output(),
            "'Zoë'\n'Ångström-李'\n'Smith, Jones & Co'\n'She said \"hi\", twice'\n'1984-03-05'\n"
            "'_x0041_ or _x005F_'\n3 92\n");
}

}  // namespace
