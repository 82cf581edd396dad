#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "ABDate.h"

// A small dictionary of strings that keeps the order in which keys were first set.
class ABDictionary {
 public:
  using Entry = std::pair<std::string, std::string>;

  ABDictionary() = default;
  ABDictionary(std::initializer_list<Entry> entries);

  const std::string* find(std::string_view key) const;
  bool contains(std::string_view key) const { return find(key) != nullptr; }
  std::string valueOr(std::string_view key, std::string fallback = {}) const;
  void set(std::string key, std::string value);
  bool remove(std::string_view key);
  bool empty() const { return entries_.empty(); }
  size_t size() const { return entries_.size(); }
  void reserve(size_t count) { entries_.reserve(count); }
  const std::vector<Entry>& entries() const { return entries_; }

  // Equal when both hold the same set of keys with equal values, whatever their order.
  bool operator==(const ABDictionary& other) const;

 private:
  std::vector<Entry> entries_;
};

using ABMultiValueItem = std::variant<std::string, ABDictionary>;

// An ordered list of labelled values (e-mail addresses, phones, addresses, ...).
class ABMultiValue {
 public:
  struct Entry {
    Entry() = default;
    Entry(std::string label, ABMultiValueItem value, std::string parameters = {})
        : label(std::move(label)), value(std::move(value)), parameters(std::move(parameters)) {}

    std::string label;
    ABMultiValueItem value;
    // vCard parameters of the entry that neither its label nor its value says (";TYPE=VOICE,pref;PREF=1"),
    // written back with it; empty for most entries.
    std::string parameters;
    bool operator==(const Entry&) const = default;
    // Same label and value, whatever the parameters.
    bool sameLabelAndValue(const Entry& other) const { return label == other.label && value == other.value; }
  };

  size_t count() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const ABMultiValueItem& valueAtIndex(size_t index) const { return entries_.at(index).value; }
  const std::string& labelAtIndex(size_t index) const { return entries_.at(index).label; }
  // The value at index as text; empty when it is a dictionary.
  std::string stringAtIndex(size_t index) const;
  // The value at index as dictionary; empty when it is a string.
  ABDictionary dictionaryAtIndex(size_t index) const;

  void addValueWithLabel(ABMultiValueItem value, std::string label);
  // Adds a copy of an entry, its parameters included.
  void addEntry(Entry entry) { entries_.push_back(std::move(entry)); }
  void setParametersAtIndex(size_t index, std::string parameters);
  void reserve(size_t count) { entries_.reserve(count); }
  void removeValueAtIndex(size_t index);
  void replaceValueAtIndex(size_t index, ABMultiValueItem value);
  void replaceLabelAtIndex(size_t index, std::string label);

  const std::vector<Entry>& entries() const { return entries_; }
  bool operator==(const ABMultiValue&) const = default;

 private:
  std::vector<Entry> entries_;
};

using ABMutableMultiValue = ABMultiValue;
using ABBytes = std::vector<unsigned char>;
// Bytes as the text libraries read them (a photo's file).
inline std::string_view bytesView(const ABBytes& bytes) {
  return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// What a property holds. std::monostate stands for "no value" (nil).
using ABValue = std::variant<std::monostate, std::string, ABDate, std::int64_t, ABMultiValue, ABBytes>;

inline bool isNil(const ABValue& value) {
  return std::holds_alternative<std::monostate>(value);
}
