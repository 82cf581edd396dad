#pragma once

#include <string>
#include <string_view>

#include "ABValue.h"

// The street of an address and the two components a vCard address holds before it: the
// post-office box and the extended address ("Suite 4"). The street key shows all three as one text,
// each on a line of its own (a box, a suite, then the street), as a single field must; the two
// components are kept beside it so that the address goes back to a card or a CSV file in its own
// shape. The street may since have been edited: a component counts only while the street still
// begins with it, else its text is wherever the user put it, in the street.
namespace ABAddressStreet {

struct Parts {
  std::string_view poBox;
  std::string_view extended;
  std::string_view street;  // what follows them
};

// The parts of the address's street (views into address).
Parts partsOf(const ABDictionary& address);

// The street key's text for the three components: the non-empty ones, one per line.
std::string shown(std::string_view poBox, std::string_view extended, std::string_view street);

}  // namespace ABAddressStreet
