// Word documents as LibreOffice and python-docx show them: every value in its row and column, on
// pages wide enough for the table, the table running over as many pages as it needs.
#include <gtest/gtest.h>

#include "frameworks/docx/DocxCreator.h"
#include "tests/support/MessyContacts.h"

TEST(DocxLayout, LibreOfficeAndPythonDocxShowEveryValueInItsRowAndColumn) {
  if (const std::string missing = messy::missingChecker(); !missing.empty())
    GTEST_SKIP() << missing << " is not installed (scripts/install-deps installs it)";
  messy::Scratch scratch;
  std::vector<ContactRecords> books;
  std::vector<messy::Document> documents;
  for (const auto& [count, columns] : std::vector<std::pair<size_t, size_t>>{{240, 7}, {240, 28}, {120, 60}})
    books.push_back(messy::contacts(count, columns));
  for (const ContactRecords& records : books) {
    const size_t columns = records.front().size();
    DocxCreator creator(records, (scratch.root / ("Contacts-" + std::to_string(columns))).string());
    ASSERT_TRUE(creator.startConvert()) << creator.error();
    documents.push_back({creator.outputPath(), messy::grid(records.size(), columns, DocxCreator::kMaximumColumns)});
    EXPECT_EQ(creator.tableColumns(), static_cast<int>(std::min<size_t>(columns, 28)));
  }
  const ProgramRun check = messy::checkDocuments("docx", documents, scratch.root / "check");
  EXPECT_EQ(check.status, 0) << check.out;
  std::cout << check.out;
}
