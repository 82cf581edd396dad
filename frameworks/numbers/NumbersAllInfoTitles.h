#pragma once

#include <string>
#include <vector>

// The columns of a Numbers export with all information: the 90 headings of the all-info column
// list, then "Maiden Name" and "Middle Name" once more (92 in all, as in the xlsx export).
const std::vector<std::string>& numbersAllInfoTitles();
