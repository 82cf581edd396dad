#include "ABAddressStreet.h"

#include "ABConstants.h"

namespace ABAddressStreet {

namespace {

// Takes part off the head of text when text begins with it as a line of its own.
bool takeLine(std::string_view& text, std::string_view part) {
  if (part.empty() || text.substr(0, part.size()) != part) return false;
  if (text.size() == part.size()) {
    text = {};
    return true;
  }
  if (text[part.size()] != '\n') return false;
  text.remove_prefix(part.size() + 1);
  return true;
}

}  // namespace

Parts partsOf(const ABDictionary& address) {
  Parts parts;
  const std::string* street = address.find(kABAddressStreetKey);
  parts.street = street ? std::string_view(*street) : std::string_view();
  const std::string* box = address.find(kABAddressPOBoxKey);
  const std::string* extended = address.find(kABAddressExtendedKey);
  if (box && takeLine(parts.street, *box)) parts.poBox = *box;
  if (extended && takeLine(parts.street, *extended)) parts.extended = *extended;
  return parts;
}

std::string shown(std::string_view poBox, std::string_view extended, std::string_view street) {
  std::string text;
  for (std::string_view part : {poBox, extended, street}) {
    if (part.empty()) continue;
    if (!text.empty()) text += '\n';
    text += part;
  }
  return text;
}

}  // namespace ABAddressStreet
