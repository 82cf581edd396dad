#pragma once

#include <string>
#include <utility>
#include <vector>

#include "platform/addressbook/ABPerson.h"

// What the phone fixes make of a person's phone numbers, numbers read for a region.
struct PhoneRewrite {
  ABMultiValue phones;  // the new list, labels kept
  // Each number taken away with the kept number it equals, or each number rewritten with what it
  // becomes; in entry order. Empty: the fix has nothing to do.
  std::vector<std::pair<std::string, std::string>> changes;
};

namespace PhoneFixes {

// The first of each set of numbers equal once read stays, with its label; the later ones go.
PhoneRewrite withoutNumbersWrittenTwice(const ABPerson& person, const std::string& region);
// The texts of the numbers valid for the region and not written in international form, in entry
// order.
std::vector<std::string> numbersNotInternational(const ABPerson& person, const std::string& region);
// Every number valid for the region and not written in international form, written in
// libphonenumber's INTERNATIONAL form ("+49 30 1234567") or, with e164, as "+49301234567".
// Numbers in `kept` (the user keeps them as they are written) stay as they are.
PhoneRewrite inInternationalForm(const ABPerson& person, const std::string& region, bool e164,
                                 const std::vector<std::string>& kept = {});

}  // namespace PhoneFixes
