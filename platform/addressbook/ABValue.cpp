#include "ABValue.h"

#include <algorithm>

ABDictionary::ABDictionary(std::initializer_list<Entry> entries) {
  for (const auto& entry : entries) set(entry.first, entry.second);
}

const std::string* ABDictionary::find(std::string_view key) const {
  for (const auto& entry : entries_)
    if (entry.first == key) return &entry.second;
  return nullptr;
}

std::string ABDictionary::valueOr(std::string_view key, std::string fallback) const {
  const std::string* value = find(key);
  return value ? *value : std::move(fallback);
}

void ABDictionary::set(std::string key, std::string value) {
  for (auto& entry : entries_) {
    if (entry.first == key) {
      entry.second = std::move(value);
      return;
    }
  }
  entries_.emplace_back(std::move(key), std::move(value));
}

bool ABDictionary::remove(std::string_view key) {
  auto it = std::find_if(entries_.begin(), entries_.end(), [&](const Entry& e) { return e.first == key; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  return true;
}

bool ABDictionary::operator==(const ABDictionary& other) const {
  if (entries_.size() != other.entries_.size()) return false;
  for (const auto& entry : entries_) {
    const std::string* value = other.find(entry.first);
    if (!value || *value != entry.second) return false;
  }
  return true;
}

std::string ABMultiValue::stringAtIndex(size_t index) const {
  if (const auto* text = std::get_if<std::string>(&entries_.at(index).value)) return *text;
  return {};
}

ABDictionary ABMultiValue::dictionaryAtIndex(size_t index) const {
  if (const auto* dict = std::get_if<ABDictionary>(&entries_.at(index).value)) return *dict;
  return {};
}

void ABMultiValue::addValueWithLabel(ABMultiValueItem value, std::string label) {
  entries_.push_back({std::move(label), std::move(value)});
}

void ABMultiValue::removeValueAtIndex(size_t index) {
  if (index < entries_.size()) entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
}

void ABMultiValue::replaceValueAtIndex(size_t index, ABMultiValueItem value) {
  entries_.at(index).value = std::move(value);
}

void ABMultiValue::replaceLabelAtIndex(size_t index, std::string label) {
  entries_.at(index).label = std::move(label);
}

void ABMultiValue::setParametersAtIndex(size_t index, std::string parameters) {
  entries_.at(index).parameters = std::move(parameters);
}
