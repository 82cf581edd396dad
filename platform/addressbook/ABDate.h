#pragma once

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

// A calendar date without time of day or zone (a birthday).
struct ABDate {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31

  bool operator==(const ABDate&) const = default;

  static bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

  static int daysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    if (month == 2 && isLeapYear(year)) return 29;
    return days[month - 1];
  }

  bool isValid() const {
    return year >= 1 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(year, month);
  }

  // "YYYY-MM-DD".
  std::string toIsoString() const {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", year, month, day);
    return buffer;
  }

  // Accepts "YYYY-MM-DD" and "YYYYMMDD", optionally followed by a time part that starts with 'T'.
  static std::optional<ABDate> fromIsoString(std::string_view text) {
    if (auto t = text.find('T'); t != std::string_view::npos) text = text.substr(0, t);
    ABDate date;
    bool parsed = false;
    if (text.size() == 10 && text[4] == '-' && text[7] == '-')
      parsed = parse(text.substr(0, 4), date.year) && parse(text.substr(5, 2), date.month) &&
               parse(text.substr(8, 2), date.day);
    else if (text.size() == 8)
      parsed = parse(text.substr(0, 4), date.year) && parse(text.substr(4, 2), date.month) &&
               parse(text.substr(6, 2), date.day);
    if (!parsed || !date.isValid()) return std::nullopt;
    return date;
  }

 private:
  static bool parse(std::string_view text, int& out) {
    if (text.empty()) return false;
    for (char c : text)
      if (c < '0' || c > '9') return false;
    return std::from_chars(text.data(), text.data() + text.size(), out).ec == std::errc();
  }
};
