#pragma once

#include <cstddef>

#include "core/record/ContactRecord.h"

// Records with a value under most all-information headings (two in three), birthdays as dates and
// some values with quotes and commas: what the text and spreadsheet writers get with all information.
ContactRecords everyHeadingRecords(std::size_t count);

// Records as the browser hands them over with all information: about thirty keys each, some
// missing, the person reference among them; some values need escaping in XML.
ContactRecords browserRecords(std::size_t count);
