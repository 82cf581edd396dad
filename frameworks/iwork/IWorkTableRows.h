#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "core/record/ContactRecord.h"
#include "frameworks/iwork/IWorkCellStream.h"

// The look of one kind of cell: its style identifier and the width and height it declares.
struct IWorkCellLook {
  std::string_view style;
  std::string_view width;
  std::string_view height;
};

// The union of the records' keys, record by record, each once, in order of first appearance,
// except that "First Name" goes to the front and "Last Name" to position 1 (0 while the list is
// still empty). "Person" is the store's reference, not a column, and is never taken.
std::vector<std::string> iworkAllKeys(const ContactRecords& records);

// Whether a record has any value to show (the "Person" reference alone is not one).
bool hasShownKeys(const ContactRecord& record);

// Row 0: one cell per title.
void writeHeadingRow(IWorkCellStream& cells, const std::vector<std::string>& titles, const IWorkCellLook& look);

// Rows 1, 2, ...: for each record one row holding its values under the titles, a cell only where
// the record has the value. A record with nothing to show takes no row: the next one takes its
// place.
void writeRecordRows(IWorkCellStream& cells, const ContactRecords& records, const std::vector<std::string>& titles,
                     const IWorkCellLook& look);
