#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "app/export/ExportResult.h"
#include "app/export/StoredPersons.h"
#include "core/record/ContactRecord.h"

// How a text format writes its cells.
enum class TextCells {
  Csv,     // the value quoted as CSV quotes, then a comma; a missing value as a comma alone; a value
           // a spreadsheet would take for a formula with an apostrophe in front (FormulaGuard)
  CsvRaw,  // the same without the apostrophes
  Quoted   // the value in double quotes, then a space; a missing value as a space and ""
};

struct TextTableSyntax {
  void (*heading)(std::string& out, const std::string& title, bool allInfo);
  TextCells cells;
};

// Writes the heading line and one line per record into folder/fileName (made unique), under a
// temporary name renamed when complete.
ExportResult writeTextTable(const ContactRecords& records, const std::vector<std::string>& columns,
                            const TextTableSyntax& syntax, bool allInfo, const std::string& folder,
                            const std::string& fileName);

// The same for every person of the store, each as its contact record, from batches as they are
// read: each person's record is made straight from its stored encoding, without decoding the
// person, and formatted on a thread per core while the next batches are read; no record is kept. A damaged person stops
// the export: nothing is written and the result is unreadable, its error the store's words naming the first damaged
// person.
ExportResult writeTextTableOfStored(const StoredPersonBatches& persons, const std::vector<std::string>& columns,
                                    const TextTableSyntax& syntax, bool allInfo, const std::string& folder,
                                    const std::string& fileName);
