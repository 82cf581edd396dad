#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Phone numbers as libphonenumber reads them, for one default region (the country a number written
// without its country code belongs to). Safe to use from several threads at once.
class PhoneNumbers {
 public:
  // What a phone number text is.
  struct Reading {
    bool read = false;           // libphonenumber read a possible number out of the text
    std::string e164;            // "+49301234567"; empty when not read
    bool international = false;  // written in international form: the text starts with "+"
    // Only for a number not written in international form: libphonenumber finds it valid (for the
    // region when it has the region's country code).
    bool valid = false;
    // Only for a number read: its country calling code, and whether the text is its E.164 form
    // written with spaces or separators at most ("+49 30 1234567"), so that libphonenumber reads
    // the E.164 form exactly as it read the text.
    int countryCode = 0;
    bool writtenAsE164 = false;
  };

  // region: a two-letter region code ("DE"); an unknown or empty one reads only numbers written
  // with their country code.
  explicit PhoneNumbers(std::string region);
  ~PhoneNumbers();
  PhoneNumbers(const PhoneNumbers&) = delete;
  PhoneNumbers& operator=(const PhoneNumbers&) = delete;

  const std::string& region() const { return region_; }

  // A text holding a letter is not read: such numbers belong to "Invalid characters".
  Reading read(std::string_view text) const;
  // The number in libphonenumber's INTERNATIONAL form ("+49 30 1234567") or E.164 ("+49301234567");
  // empty when the text is not a valid number.
  std::string international(std::string_view text) const;
  std::string e164(std::string_view text) const;
  // An E.164 key ("+49301234567") written in INTERNATIONAL form; the key itself when unreadable.
  std::string internationalOfE164(const std::string& e164) const;
  // The same of a reading's E.164 form: internationalOfE164(reading.e164), without reading that
  // again when the text was written as it.
  std::string internationalOf(const Reading& reading) const;

  // Whether the text starts with "+" (after any white space).
  static bool writtenInternational(std::string_view text);

  // Whether libphonenumber knows the region code (upper case, two letters).
  static bool isKnownRegion(const std::string& region);
  // Every region code libphonenumber knows, sorted.
  static std::vector<std::string> knownRegions();
  // The region of the user's locale (LC_ALL, else LC_TELEPHONE, else LANG: "de_DE.UTF-8" -> "DE");
  // empty when the locale names none that libphonenumber knows.
  static std::string localeRegion();

 private:
  std::string region_;
};
