// Whole exports: the package written, its name, its parts, and what is left behind.
#include <gtest/gtest.h>
#include <unistd.h>

#include <pugixml.hpp>
#include <thread>

#include "frameworks/docx/DocxCreator.h"
#include "tests/frameworks/docx/DocxTestSupport.h"

namespace fs = std::filesystem;

namespace {

std::vector<std::string> childNames(pugi::xml_node node) {
  std::vector<std::string> names;
  for (pugi::xml_node child : node.children()) names.push_back(child.name());
  return names;
}

std::vector<std::string> filesIn(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace

TEST(DocxExport, WritesOnePackageWithTheTableAndNothingElseRemains) {
  DocxScratch scratch;
  const fs::path out = scratch.folder("out");
  const ContactRecords records = sampleContacts(3);
  DocxCreator creator(records, (out / "Zedid-Ovuzazur").string());
  ASSERT_TRUE(creator.startConvert()) << creator.error();
  EXPECT_TRUE(creator.ok());
  EXPECT_EQ(creator.outputPath(), (out / "Zedid-Ovuzazur.docx").string());
  EXPECT_EQ(filesIn(out), std::vector<std::string>{"Zedid-Ovuzazur.docx"});
  EXPECT_TRUE(scratch.cacheLeftovers().empty());

  const auto entries = zipEntryNames(creator.outputPath());
  ASSERT_FALSE(entries.empty());
  EXPECT_EQ(entries.front(), "[Content_Types].xml");
  for (const char* part : {"_rels/.rels", "word/document.xml", "word/styles.xml", "word/media/"})
    EXPECT_NE(std::find(entries.begin(), entries.end(), part), entries.end()) << part;

  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(zipEntryText(creator.outputPath(), "word/document.xml").c_str()));
  const pugi::xml_node body = document.child("w:document").child("w:body");
  EXPECT_EQ(childNames(body), (std::vector<std::string>{"w:p", "w:tbl", "w:p", "w:sectPr"}));
  EXPECT_STREQ(body.child("w:sectPr").child("w:pgSz").attribute("w:w").value(), "16838");
  const auto rows = body.child("w:tbl").children("w:tr");
  EXPECT_EQ(std::distance(rows.begin(), rows.end()), 4);

  pugi::xml_document types;
  ASSERT_TRUE(types.load_string(zipEntryText(creator.outputPath(), "[Content_Types].xml").c_str()));
  std::vector<std::string> defaults;
  for (pugi::xml_node child : types.child("Types").children())
    defaults.push_back(std::string(child.name()) + ":" + child.attribute("Extension").value());
  ASSERT_GE(defaults.size(), 4u);
  EXPECT_EQ(defaults[1], "Default:png");
  EXPECT_EQ(defaults[2], "Default:jpeg");
  EXPECT_EQ(std::count(defaults.begin(), defaults.end(), "Default:png"), 1);
  EXPECT_EQ(std::count(defaults.begin(), defaults.end(), "Default:jpeg"), 1);
}

TEST(DocxExport, LaterExportsToTheSameFolderGetTheNextFreeName) {
  DocxScratch scratch;
  const fs::path out = scratch.folder("out");
  const ContactRecords records = sampleContacts(2);
  std::vector<std::string> written;
  for (int i = 0; i < 3; ++i) {
    DocxCreator creator(records, (out / "Zedid-Ovuzazur").string());
    ASSERT_TRUE(creator.startConvert()) << creator.error();
    written.push_back(fs::path(creator.outputPath()).filename().string());
  }
  EXPECT_EQ(written,
            (std::vector<std::string>{"Zedid-Ovuzazur.docx", "Zedid-Ovuzazur(0).docx", "Zedid-Ovuzazur(1).docx"}));
}

TEST(DocxExport, NoRecordsGiveABodyOfSpacingAndSectionOnly) {
  DocxScratch scratch;
  const ContactRecords none;
  DocxCreator creator(none, (scratch.folder("out") / "Zedid-Ovuzazur").string());
  ASSERT_TRUE(creator.startConvert()) << creator.error();
  pugi::xml_document document;
  ASSERT_TRUE(document.load_string(zipEntryText(creator.outputPath(), "word/document.xml").c_str()));
  EXPECT_EQ(childNames(document.child("w:document").child("w:body")), (std::vector<std::string>{"w:p", "w:sectPr"}));
}

TEST(DocxExport, AMissingDestinationIsReportedAndLeavesNothing) {
  DocxScratch scratch;
  const ContactRecords records = sampleContacts(2);
  DocxCreator creator(records, (scratch.root / "no such folder" / "Zedid-Ovuzazur").string());
  EXPECT_FALSE(creator.startConvert());
  EXPECT_FALSE(creator.ok());
  EXPECT_NE(creator.error().find("no such folder"), std::string::npos) << creator.error();
  EXPECT_TRUE(creator.outputPath().empty());
  EXPECT_TRUE(scratch.cacheLeftovers().empty());
  EXPECT_FALSE(fs::exists(scratch.root / "no such folder"));
}

TEST(DocxExport, AFolderNamedWithShellCharactersReceivesTheDocumentAndNothingRuns) {
  DocxScratch scratch;
  const std::string name = "dest 'q\" $HOME; touch pwned `touch pwned2`";
  const fs::path out = scratch.folder(name);
  const ContactRecords records = sampleContacts(2);
  const fs::path before = fs::current_path();
  fs::current_path(scratch.root);
  DocxCreator creator(records, (out / "Zedid-Ovuzazur").string());
  const bool written = creator.startConvert();
  fs::current_path(before);
  ASSERT_TRUE(written) << creator.error();
  EXPECT_EQ(filesIn(out), std::vector<std::string>{"Zedid-Ovuzazur.docx"});
  EXPECT_NE(zipEntryText(creator.outputPath(), "word/document.xml").find("Ann1"), std::string::npos);
  EXPECT_FALSE(fs::exists(scratch.root / "pwned"));
  EXPECT_FALSE(fs::exists(scratch.root / "pwned2"));
}

TEST(DocxExport, TwoExportsAtOnceWriteTwoCompleteDocuments) {
  DocxScratch scratch;
  const fs::path out = scratch.folder("out");
  const ContactRecords records = sampleContacts(1500);
  DocxCreator first(records, (out / "Zedid-Ovuzazur").string());
  DocxCreator second(records, (out / "Zedid-Ovuzazur").string());
  bool firstOk = false, secondOk = false;
  std::thread a([&] { firstOk = first.startConvert(); });
  std::thread b([&] { secondOk = second.startConvert(); });
  a.join();
  b.join();
  ASSERT_TRUE(firstOk) << first.error();
  ASSERT_TRUE(secondOk) << second.error();
  EXPECT_NE(first.outputPath(), second.outputPath());
  for (const DocxCreator* creator : {&first, &second}) {
    pugi::xml_document document;
    ASSERT_TRUE(document.load_string(zipEntryText(creator->outputPath(), "word/document.xml").c_str()));
    const auto rows = document.child("w:document").child("w:body").child("w:tbl").children("w:tr");
    EXPECT_EQ(std::distance(rows.begin(), rows.end()), 1501);
  }
  EXPECT_EQ(filesIn(out).size(), 2u);
  EXPECT_TRUE(scratch.cacheLeftovers().empty());
}
