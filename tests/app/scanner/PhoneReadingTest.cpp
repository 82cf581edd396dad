#include <gtest/gtest.h>
#include <phonenumbers/phonenumber.pb.h>
#include <phonenumbers/phonenumberutil.h>

#include <set>
#include <string>
#include <vector>

#include "app/scanner/PhoneNumbers.h"

// PhoneNumbers reads a text written with digits and the usual separators by handing only its
// digits to libphonenumber. These tests hold its readings against libphonenumber reading each
// text exactly as written, over numbers of every region libphonenumber knows, written the ways
// people write them (and some ways they should not).

namespace {

using i18n::phonenumbers::PhoneNumber;
using i18n::phonenumbers::PhoneNumberUtil;

PhoneNumberUtil& util() {
  return *PhoneNumberUtil::GetInstance();
}

bool hasLetter(const std::string& text) {
  for (char c : text)
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  return false;
}

// What a reading must be, from libphonenumber given the text as it is written.
PhoneNumbers::Reading expectedReading(const std::string& text, const std::string& region, std::string* international) {
  PhoneNumbers::Reading reading;
  international->clear();
  PhoneNumber number;
  if (text.empty() || hasLetter(text) ||
      util().Parse(text, region.empty() ? "ZZ" : region, &number) != PhoneNumberUtil::NO_PARSING_ERROR)
    return reading;
  const bool valid = !region.empty() && number.country_code() == util().GetCountryCodeForRegion(region)
                         ? util().IsValidNumberForRegion(number, region)
                         : util().IsValidNumber(number);
  if (valid) util().Format(number, PhoneNumberUtil::INTERNATIONAL, international);
  if (!util().IsPossibleNumber(number)) return reading;
  reading.read = true;
  util().Format(number, PhoneNumberUtil::E164, &reading.e164);
  reading.international = PhoneNumbers::writtenInternational(text);
  if (!reading.international) reading.valid = valid;
  return reading;
}

std::string replaced(std::string text, char from, char to) {
  for (char& c : text)
    if (c == from) c = to;
  return text;
}

std::string digitsOf(const std::string& text) {
  std::string digits;
  for (char c : text)
    if ((c >= '0' && c <= '9') || c == '+') digits += c;
  return digits;
}

// One number written many ways: as formatted, with other separators, without them, with
// brackets, blanks around it, a tab inside, two plus signs, a plus after a digit, the
// international call prefix instead of the plus, a national prefix after the country code, a digit
// more or less, and cut short.
std::vector<std::string> writings(const std::string& formatted) {
  std::vector<std::string> texts = {formatted,
                                    replaced(formatted, ' ', '-'),
                                    replaced(formatted, ' ', '.'),
                                    replaced(formatted, ' ', '/'),
                                    digitsOf(formatted),
                                    "  " + formatted + " ",
                                    "(" + formatted + ")",
                                    "-" + formatted + ".",
                                    formatted + "1",
                                    formatted.substr(0, formatted.size() - 1)};
  if (formatted.size() > 4) {
    texts.push_back("(" + formatted.substr(0, 3) + ") " + formatted.substr(3));
    texts.push_back(formatted.substr(0, 3) + "\t" + formatted.substr(3));
    texts.push_back(formatted.substr(0, 4) + "+" + formatted.substr(4));
  }
  if (formatted[0] == '+') {
    texts.push_back("+" + formatted);
    texts.push_back("+ " + formatted.substr(1));
    texts.push_back("00" + digitsOf(formatted).substr(1));
    // A national prefix (or two) after the country code.
    const size_t code = formatted.find(' ');
    if (code != std::string::npos)
      for (const char* prefix : {" 0", " 00", " 1"})
        texts.push_back(formatted.substr(0, code) + prefix + formatted.substr(code));
  } else {
    texts.push_back("+" + formatted);
  }
  const std::string digits = digitsOf(formatted);
  for (size_t cut : {1, 2, 3, 4}) {
    texts.push_back(digits.substr(0, cut));
    texts.push_back(digits.substr(0, cut) + " " + digits.substr(cut, 1));
  }
  return texts;
}

TEST(PhoneReadingTest, EveryWritingOfNumbersOfEveryRegionReadsAsLibphonenumberReadsItAsWritten) {
  std::set<std::string> regions;
  util().GetSupportedRegions(&regions);
  ASSERT_GT(regions.size(), 200u);
  const std::vector<std::string> all(regions.begin(), regions.end());
  size_t compared = 0, read = 0, writtenAsE164 = 0, leadingZero = 0;
  for (size_t r = 0; r < all.size(); ++r) {
    const std::string& region = all[r];
    for (auto type : {PhoneNumberUtil::FIXED_LINE, PhoneNumberUtil::MOBILE}) {
      PhoneNumber example;
      if (!util().GetExampleNumberForType(region, type, &example)) continue;
      std::string national, international;
      util().Format(example, PhoneNumberUtil::NATIONAL, &national);
      util().Format(example, PhoneNumberUtil::INTERNATIONAL, &international);
      // Read for the number's own region, for others and for none.
      for (const std::string& from :
           {region, std::string("DE"), std::string("US"), all[(r + 1) % all.size()], std::string()}) {
        const PhoneNumbers phones(from);
        for (const std::string& written : {national, international}) {
          for (const std::string& text : writings(written)) {
            SCOPED_TRACE("\"" + text + "\" read for \"" + from + "\"");
            std::string expectedInternational;
            const PhoneNumbers::Reading expected = expectedReading(text, from, &expectedInternational);
            const PhoneNumbers::Reading reading = phones.read(text);
            ASSERT_EQ(reading.read, expected.read);
            ASSERT_EQ(reading.e164, expected.e164);
            ASSERT_EQ(reading.international, expected.international);
            ASSERT_EQ(reading.valid, expected.valid);
            ASSERT_EQ(phones.international(text), expectedInternational);
            // A read number's E.164 form in INTERNATIONAL form, as libphonenumber gives it after
            // reading that form again: taken from the reading when the text was written as it.
            if (reading.read) {
              PhoneNumber again;
              std::string expectedOfE164 = reading.e164;
              if (util().Parse(reading.e164, "ZZ", &again) == PhoneNumberUtil::NO_PARSING_ERROR)
                util().Format(again, PhoneNumberUtil::INTERNATIONAL, &expectedOfE164);
              ASSERT_EQ(phones.internationalOf(reading), expectedOfE164);
              ASSERT_EQ(phones.internationalOfE164(reading.e164), expectedOfE164);
              writtenAsE164 += reading.writtenAsE164;
              leadingZero += reading.writtenAsE164 && expectedOfE164.find(" 0") != std::string::npos;
            }
            ++compared;
            read += reading.read;
          }
        }
      }
    }
  }
  // Enough numbers of both kinds to mean something.
  EXPECT_GT(compared, 50000u);
  EXPECT_GT(read, compared / 4);
  EXPECT_LT(read, compared - compared / 4);
  EXPECT_GT(writtenAsE164, read / 4);
  EXPECT_LT(writtenAsE164, read - read / 4);
  EXPECT_GT(leadingZero, 10u);
}

}  // namespace
