#include "app/scanner/PhoneNumbers.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <set>

#include "app/scanner/ScanAddressBook.h"

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

PhoneNumberUtil& util() {
  return *PhoneNumberUtil::GetInstance();
}

// Reads a number; false when libphonenumber cannot.
bool parse(std::string_view text, const std::string& region, PhoneNumber* number) {
  if (text.empty() || ScanAddressBook::phoneHasLetter(text)) return false;
  return util().Parse(std::string(text), region.empty() ? "ZZ" : region, number) == PhoneNumberUtil::NO_PARSING_ERROR;
}

bool isValid(const PhoneNumber& number, const std::string& region) {
  if (!region.empty() && number.country_code() == util().GetCountryCodeForRegion(region))
    return util().IsValidNumberForRegion(number, region);
  return util().IsValidNumber(number);
}

}  // namespace

bool PhoneNumbers::writtenInternational(std::string_view text) {
  for (char c : text) {
    if (c == ' ' || c == '\t') continue;
    return c == '+';
  }
  return false;
}

PhoneNumbers::PhoneNumbers(std::string region) : region_(isKnownRegion(region) ? std::move(region) : std::string()) {}

PhoneNumbers::~PhoneNumbers() = default;

PhoneNumbers::Reading PhoneNumbers::read(std::string_view text) const {
  Reading reading;
  PhoneNumber number;
  if (!parse(text, region_, &number) || !util().IsPossibleNumber(number)) return reading;
  reading.read = true;
  util().Format(number, PhoneNumberUtil::E164, &reading.e164);
  reading.international = writtenInternational(text);
  // Only a number not written in international form is ever rewritten; only its validity counts.
  if (!reading.international) reading.valid = isValid(number, region_);
  return reading;
}

std::string PhoneNumbers::international(std::string_view text) const {
  PhoneNumber number;
  std::string out;
  if (parse(text, region_, &number) && isValid(number, region_))
    util().Format(number, PhoneNumberUtil::INTERNATIONAL, &out);
  return out;
}

std::string PhoneNumbers::e164(std::string_view text) const {
  PhoneNumber number;
  std::string out;
  if (parse(text, region_, &number) && isValid(number, region_)) util().Format(number, PhoneNumberUtil::E164, &out);
  return out;
}

std::string PhoneNumbers::internationalOfE164(const std::string& e164) const {
  PhoneNumber number;
  if (util().Parse(e164, "ZZ", &number) != PhoneNumberUtil::NO_PARSING_ERROR) return e164;
  std::string out;
  util().Format(number, PhoneNumberUtil::INTERNATIONAL, &out);
  return out;
}

bool PhoneNumbers::isKnownRegion(const std::string& region) {
  if (region.size() != 2) return false;
  std::set<std::string> regions;
  util().GetSupportedRegions(&regions);
  return regions.count(region) != 0;
}

std::vector<std::string> PhoneNumbers::knownRegions() {
  std::set<std::string> regions;
  util().GetSupportedRegions(&regions);
  return {regions.begin(), regions.end()};
}

std::string PhoneNumbers::localeRegion() {
  for (const char* name : {"LC_ALL", "LC_TELEPHONE", "LANG"}) {
    const char* value = std::getenv(name);
    if (!value || !*value) continue;
    // language[_TERRITORY][.codeset][@modifier]
    std::string locale(value);
    auto underscore = locale.find('_');
    if (underscore == std::string::npos) return {};
    std::string region = locale.substr(underscore + 1, 2);
    std::transform(region.begin(), region.end(), region.begin(), [](unsigned char c) { return std::toupper(c); });
    return isKnownRegion(region) ? region : std::string();
  }
  return {};
}
