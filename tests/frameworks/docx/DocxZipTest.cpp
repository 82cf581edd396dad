// Expanding an archive stays inside the destination folder.
#include <gtest/gtest.h>
#include <minizip/zip.h>

#include <fstream>

#include "frameworks/docx/DocxZip.h"
#include "tests/frameworks/docx/DocxTestSupport.h"

namespace fs = std::filesystem;

namespace {

void writeArchive(const fs::path& path, const std::vector<std::pair<std::string, std::string>>& entries) {
  zipFile file = zipOpen64(path.c_str(), APPEND_STATUS_CREATE);
  ASSERT_NE(file, nullptr);
  for (const auto& [name, data] : entries) {
    zip_fileinfo info{};
    ASSERT_EQ(zipOpenNewFileInZip64(file, name.c_str(), &info, nullptr, 0, nullptr, 0, nullptr, Z_DEFLATED,
                                    Z_DEFAULT_COMPRESSION, 0),
              ZIP_OK);
    zipWriteInFileInZip(file, data.data(), static_cast<unsigned>(data.size()));
    zipCloseFileInZip(file);
  }
  zipClose(file, nullptr);
}

}  // namespace

TEST(DocxZip, EntriesThatLeaveTheFolderAreRefusedAndTheOthersExpanded) {
  DocxScratch scratch;
  const fs::path archive = scratch.root / "t.zip";
  writeArchive(archive, {{"../evil.txt", "x"},
                         {"/tmp/wistrel-absolute-evil.txt", "x"},
                         {"ok\\back\\slash.txt", "b"},
                         {"word/document.xml", "<a/>"}});
  const fs::path destination = scratch.folder("dest");
  DocxZip zip;
  ASSERT_TRUE(zip.UnzipOpenFile(archive.string()));
  EXPECT_FALSE(zip.UnzipFileTo(destination.string(), true));
  EXPECT_TRUE(zip.UnzipCloseFile());
  EXPECT_FALSE(fs::exists(scratch.root / "evil.txt"));
  EXPECT_FALSE(fs::exists("/tmp/wistrel-absolute-evil.txt"));
  EXPECT_EQ(zipEntryText(archive.string(), "word/document.xml"), "<a/>");
  std::ifstream expanded(destination / "word" / "document.xml");
  std::string text((std::istreambuf_iterator<char>(expanded)), {});
  EXPECT_EQ(text, "<a/>");
  EXPECT_TRUE(fs::exists(destination / "ok" / "back" / "slash.txt"));
}

TEST(DocxZip, WritingWithoutAnOpenArchiveFails) {
  DocxZip zip;
  EXPECT_FALSE(zip.addFileToZip("/etc/hostname", "x"));
  EXPECT_FALSE(zip.CloseZipFile2());
  EXPECT_FALSE(zip.UnzipOpenFile("/nonexistent/archive.zip"));
  EXPECT_TRUE(zip.UnzipCloseFile());
}
