#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ABPerson.h"
#include "PersonSlots.h"

// The compact binary form in which the store keeps one person's values.
namespace PersonCodec {

// Appends the encoding to out; it takes exactly encodedSize(data) bytes.
void encode(const ABPersonData& data, std::string& out);
// The same bytes as the encoding of an ABPersonData holding the same values.
void encode(const PersonSlots& slots, std::string& out);
std::size_t encodedSize(const ABPersonData& data);
std::string encode(const ABPersonData& data);
// nullopt when the bytes are not a well-formed encoding.
std::optional<ABPersonData> decode(std::string_view bytes);

}  // namespace PersonCodec

// Reading an encoding in place: the values are views of the encoded bytes, valid while they are, and
// nothing is copied. For a reader that looks at a few values of many persons (the scanner).
namespace PersonCodec {

// A dictionary value (an address) as encoded.
class DictionaryView {
 public:
  DictionaryView() = default;
  // The entries of well-formed encoded bytes (readView checks them), after their count.
  DictionaryView(std::string_view bytes, size_t count) : bytes_(bytes), count_(count) {}
  size_t size() const { return count_; }
  // Calls visit(key, value) for every entry, in the order they were set.
  template <typename Visit>
  void forEach(Visit&& visit) const {
    size_t at = 0;
    for (size_t i = 0; i < count_; ++i) {
      std::string_view key = nextText(bytes_, at);
      std::string_view value = nextText(bytes_, at);
      visit(key, value);
    }
  }
  // The value under key (the last one set, as decoding keeps it); nullopt when there is none.
  std::optional<std::string_view> find(std::string_view key) const;
  // Equal when both hold the same keys with equal values, whatever their order, a key set twice
  // holding what was set last (as the decoded ABDictionary).
  bool operator==(const DictionaryView& other) const;
  // A hash that does not depend on the order of the entries, of what each key holds last.
  size_t hash() const;

  // The next length-prefixed text of well-formed bytes at `at`, which moves past it.
  static std::string_view nextText(std::string_view bytes, size_t& at);

 private:
  std::string_view bytes_;
  size_t count_ = 0;
};

// The entries of a list value (e-mail addresses, phones, addresses) as encoded.
class ListView {
 public:
  struct Entry {
    std::string_view label;
    std::string_view parameters;
    bool isText = true;
    std::string_view text;      // when isText
    DictionaryView dictionary;  // otherwise

    // The same value (text or dictionary), whatever the label and parameters.
    bool sameValue(const Entry& other) const {
      return isText == other.isText && (isText ? text == other.text : dictionary == other.dictionary);
    }
  };

  class Iterator {
   public:
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    const Entry& operator*() const { return entry_; }
    const Entry* operator->() const { return &entry_; }
    Iterator& operator++() {
      advance();
      return *this;
    }
    bool operator==(const Iterator& other) const { return left_ == other.left_; }

   private:
    friend class ListView;
    Iterator(const ListView* list, size_t left) : list_(list), left_(left) {
      if (left_) load();
    }
    void load();
    void advance() {
      if (--left_) load();
    }
    const ListView* list_ = nullptr;
    size_t left_ = 0;
    size_t at_ = 0;
    Entry entry_;
  };

  ListView() = default;
  // The entries of well-formed encoded bytes (readView checks them), after their count.
  ListView(std::string_view bytes, size_t count, bool withParameters)
      : data_(bytes.data()),
        size_(static_cast<std::uint32_t>(bytes.size())),
        count_(static_cast<std::uint32_t>(count)),
        withParameters_(withParameters) {}
  size_t count() const { return count_; }
  bool empty() const { return count_ == 0; }
  Iterator begin() const { return Iterator(this, count_); }
  Iterator end() const { return Iterator(this, 0); }
  // Every entry, in order.
  std::vector<Entry> entries() const {
    std::vector<Entry> all;
    all.reserve(count_);
    for (const Entry& entry : *this) all.push_back(entry);
    return all;
  }

 private:
  // The entries, after their count; a person's encoding is far smaller than 4 GB. Kept small: the
  // scanner holds three of these for every person.
  std::string_view bytes() const { return std::string_view(data_, size_); }
  const char* data_ = nullptr;
  std::uint32_t size_ = 0;
  std::uint32_t count_ : 31 = 0;
  std::uint32_t withParameters_ : 1 = 1;
};

// One value as encoded.
struct ValueView {
  enum class Kind { Text, Date, Integer, List, Bytes };
  Kind kind = Kind::Text;
  std::string_view text;  // Text, and the raw Bytes
  ABDate date;
  std::int64_t integer = 0;
  ListView list;
};

// Calls visit(property, value) for every value of the encoding, in its order (sorted by property name
// for every encoding the store writes). False when the bytes are not a well-formed encoding, as
// decode checks it. Each value is checked before it is given, but the encoding is read only once:
// bytes damaged after their first values have given those before false comes, so a caller throws
// away what it made of a damaged encoding.
bool readView(std::string_view bytes,
              const std::function<void(std::string_view property, const ValueView& value)>& visit);

}  // namespace PersonCodec
