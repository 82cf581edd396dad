#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "platform/addressbook/ABDate.h"

class ABPerson;

// One value of a contact record: text, the birthday date, or the reference to the store's person.
using RecordValue = std::variant<std::string, ABDate, std::shared_ptr<ABPerson>>;

// The flat form of one person: column name ("First Name", "Home Email", ...) -> value. Keys are
// present only where the person has a value, and come in the order in which they were first set.
class ContactRecord {
 public:
  using Entry = std::pair<std::string, RecordValue>;

  const RecordValue* find(std::string_view key) const {
    for (const auto& entry : entries_)
      if (entry.first == key) return &entry.second;
    return nullptr;
  }
  bool contains(std::string_view key) const { return find(key) != nullptr; }

  // The year in which a birthday without a year is kept.
  static constexpr int kYearNotKnown = 1604;

  // How every table, text export and document shows a date: YYYY-MM-DD, or --MM-DD for a
  // birthday without a year.
  static std::string dateText(const ABDate& date) {
    if (date.year != kYearNotKnown) return date.toIsoString();
    return "--" + date.toIsoString().substr(5);
  }
  // A date as a user writes it into a table or card: YYYY-MM-DD (or YYYYMMDD), or --MM-DD (or
  // --MMDD) for a birthday without a year.
  static std::optional<ABDate> dateFromText(std::string_view text) {
    if (text.size() >= 6 && text.substr(0, 2) == "--")
      return ABDate::fromIsoString(std::to_string(kYearNotKnown) + (text.size() == 7 ? "-" : "") +
                                   std::string(text.substr(2)));
    return ABDate::fromIsoString(text);
  }

  // The value as text: strings as they are, a date by dateText(); nullopt when absent or the
  // value is the person reference.
  std::optional<std::string> text(std::string_view key) const {
    const RecordValue* value = find(key);
    if (!value) return std::nullopt;
    if (const auto* s = std::get_if<std::string>(value)) return *s;
    if (const auto* d = std::get_if<ABDate>(value)) return dateText(*d);
    return std::nullopt;
  }
  std::string textOr(std::string_view key, std::string fallback = {}) const {
    auto value = text(key);
    return value ? *value : std::move(fallback);
  }

  std::shared_ptr<ABPerson> person() const {
    const RecordValue* value = find("Person");
    if (!value) return nullptr;
    if (const auto* p = std::get_if<std::shared_ptr<ABPerson>>(value)) return *p;
    return nullptr;
  }

  void set(std::string_view key, RecordValue value) {
    for (auto& entry : entries_) {
      if (entry.first == key) {
        entry.second = std::move(value);
        return;
      }
    }
    entries_.emplace_back(std::string(key), std::move(value));
  }

  bool remove(std::string_view key) {
    for (auto it = entries_.begin(); it != entries_.end(); ++it) {
      if (it->first == key) {
        entries_.erase(it);
        return true;
      }
    }
    return false;
  }

  std::vector<std::string> keys() const {
    std::vector<std::string> result;
    result.reserve(entries_.size());
    for (const auto& entry : entries_) result.push_back(entry.first);
    return result;
  }

  const std::vector<Entry>& entries() const { return entries_; }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  void reserve(size_t n) { entries_.reserve(n); }

  bool operator==(const ContactRecord&) const = default;

 private:
  std::vector<Entry> entries_;
};

using ContactRecords = std::vector<ContactRecord>;
