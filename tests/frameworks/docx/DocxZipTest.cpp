// The writing side of the package.
#include <gtest/gtest.h>

#include "frameworks/docx/DocxZip.h"

TEST(DocxZip, WritingWithoutAnOpenArchiveFails) {
  DocxZip zip;
  EXPECT_FALSE(zip.addFileToZip("/etc/hostname", "x"));
  EXPECT_FALSE(zip.CloseZipFile2());
  EXPECT_FALSE(zip.addFolderToZip("x/"));
  EXPECT_FALSE(zip.CreateZipFile2("/nonexistent/folder/archive.zip"));
}
