#include "app/scanner/PhoneNumbers.h"

#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <set>

#include "app/scanner/ScanAddressBook.h"

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

namespace {

PhoneNumberUtil& util() {
  return *PhoneNumberUtil::GetInstance();
}

// The digits of a number written with nothing but digits, spaces and the separators - . / ( ),
// with "+" before them when it is written with one; empty for any other text, for fewer than
// three digits and for long texts. libphonenumber reads such a text exactly as it reads these
// digits alone: it starts at the first digit or "+", ends at the last digit, accepts any of those
// separators between three or more digits, finds no extension (one needs a letter, "#", "~", ","
// or ";") and goes on with the digits only. Reading the digits alone spares it most of its
// pattern matching. A tab between digits, a second "+" or one after a digit make it refuse or
// read the text otherwise, so such texts are read as they are written.
std::string digitsOnly(std::string_view text) {
  std::string digits;
  if (text.size() > 100) return digits;
  digits.reserve(text.size());
  bool plus = false;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      digits += c;
    } else if (c == '+') {
      if (plus || !digits.empty()) return {};
      plus = true;
      digits += c;
    } else if (!(c == ' ' || c == '-' || c == '.' || c == '/' || c == '(' || c == ')')) {
      return {};
    }
  }
  if (digits.size() < (plus ? 4u : 3u)) return {};
  return digits;
}

// Reads a number; false when libphonenumber cannot. `digits` is what it was given when that was
// the text's digits alone, else empty.
bool parse(std::string_view text, const std::string& region, PhoneNumber* number, std::string* digits = nullptr) {
  if (text.empty() || ScanAddressBook::phoneHasLetter(text)) return false;
  static const std::string unknown = "ZZ";
  const std::string& from = region.empty() ? unknown : region;
  std::string own;
  std::string& given = digits ? *digits : own;
  given = digitsOnly(text);
  return util().Parse(given.empty() ? std::string(text) : given, from, number) == PhoneNumberUtil::NO_PARSING_ERROR;
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
  std::string digits;
  if (!parse(text, region_, &number, &digits) || !util().IsPossibleNumber(number)) return reading;
  reading.read = true;
  util().Format(number, PhoneNumberUtil::E164, &reading.e164);
  reading.countryCode = number.country_code();
  reading.writtenAsE164 = digits == reading.e164;
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

std::string PhoneNumbers::internationalOf(const Reading& reading) const {
  // A text written as "+" and digits is read the same whatever the default region: the country
  // code comes from its digits, and the national prefix is taken off (or not) by the rules of
  // that code's main region. So when those digits are the E.164 form of what was read, reading
  // the E.164 form gives the same number again: the country code and the national digits that
  // follow it, with no national prefix taken off, its leading zeros kept as libphonenumber keeps
  // them. Only those, and no extension, are formatted.
  const std::string code = std::to_string(reading.countryCode);
  const std::string_view e164 = reading.e164;
  if (!reading.writtenAsE164 || e164.size() < 1 + code.size() + 2 || e164[0] != '+' ||
      e164.substr(1, code.size()) != code)
    return internationalOfE164(reading.e164);
  const std::string_view national = e164.substr(1 + code.size());
  PhoneNumber number;
  number.set_country_code(reading.countryCode);
  if (national.size() > 1 && national[0] == '0') {
    number.set_italian_leading_zero(true);
    // Every zero but the last digit is a leading zero.
    size_t zeros = 1;
    while (zeros < national.size() - 1 && national[zeros] == '0') ++zeros;
    if (zeros != 1) number.set_number_of_leading_zeros(static_cast<std::int32_t>(zeros));
  }
  std::uint64_t value = 0;
  for (char c : national) value = value * 10 + static_cast<std::uint64_t>(c - '0');
  number.set_national_number(value);
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
