// Workbooks as LibreOffice and openpyxl show them: every value in its row and column, as text and on printed pages.
#include <gtest/gtest.h>

#include "frameworks/xlsx/XlsxCreater.h"
#include "tests/support/MessyContacts.h"

TEST(XlsxLayout, LibreOfficeShowsEveryValueInItsRowAndColumn) {
  if (const std::string missing = messy::missingChecker(); !missing.empty())
    GTEST_SKIP() << missing << " is not installed (scripts/install-deps installs it)";
  messy::Scratch scratch;
  std::vector<ContactRecords> books;
  for (const auto& [count, columns] : std::vector<std::pair<size_t, size_t>>{{240, 7}, {240, 28}, {120, 60}})
    books.push_back(messy::contacts(count, columns));
  std::vector<messy::Document> documents;
  for (const ContactRecords& records : books) {
    const size_t columns = records.front().size();
    XlsxCreater writer(records, (scratch.root / ("Contacts-" + std::to_string(columns))).string(), false);
    ASSERT_TRUE(writer.startConvert()) << writer.error();
    documents.push_back({writer.outputPath(), messy::grid(records.size(), columns, 1000)});
  }
  const ProgramRun check = messy::checkDocuments("xlsx", documents, scratch.root / "check");
  EXPECT_EQ(check.status, 0) << check.out;
  std::cout << check.out;
}
