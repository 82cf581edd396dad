#pragma once

#include <string>
#include <vector>

#include "core/record/ContactRecord.h"

// Whether this benchmark program was built with libxlsxwriter (Debian's libxlsxwriter-dev).
bool haveLibxlsxwriter();

// Writes the records' cells under the columns into an xlsx workbook with libxlsxwriter in its
// constant-memory mode, a heading row first, every value as text, as the xlsx writer does. Its
// temporary files go into the workbook's folder. False when it failed or is not built in.
bool writeWithLibxlsxwriter(const ContactRecords& records, const std::vector<std::string>& columns,
                            const std::string& path);
