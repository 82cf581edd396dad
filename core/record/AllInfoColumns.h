#pragma once

#include <string>
#include <vector>

// The fixed heading lists of an export with all information.
namespace AllInfoColumns {

// The base list, 90 headings from "First Name" to "Manager" (HTML and TXT).
const std::vector<std::string>& base();
// CSV: the base list with "Phonetic First Name" and "Phonetic Last Name" between "Maiden Name" and
// "Middle Name" (92 headings).
const std::vector<std::string>& csv();
// xlsx and Numbers: the base list followed by "Maiden Name" and "Middle Name" once more (92).
const std::vector<std::string>& spreadsheet();

}  // namespace AllInfoColumns
