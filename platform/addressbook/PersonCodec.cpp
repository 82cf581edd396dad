#include "PersonCodec.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <utility>
#include <vector>

namespace {

// Version 2 adds the vCard parameters of each list entry; version 1 rows are still read.
constexpr unsigned char kFormatVersion = 2;
constexpr unsigned char kFormatWithoutParameters = 1;

enum Tag : unsigned char { kString = 1, kDate = 2, kInteger = 3, kMulti = 4, kBytes = 5 };
enum ItemTag : unsigned char { kItemString = 0, kItemDictionary = 1 };

// Writes at `at`, which has room, and returns the end of what was written.
char* putVarint(char* at, std::uint64_t value) {
  while (value >= 0x80) {
    *at++ = static_cast<char>((value & 0x7F) | 0x80);
    value >>= 7;
  }
  *at++ = static_cast<char>(value);
  return at;
}

std::size_t varintSize(std::uint64_t value) {
  std::size_t size = 1;
  while (value >= 0x80) {
    value >>= 7;
    ++size;
  }
  return size;
}

std::size_t textSize(std::string_view text) {
  return varintSize(text.size()) + text.size();
}

char* putText(char* at, std::string_view text) {
  at = putVarint(at, text.size());
  if (!text.empty()) std::memcpy(at, text.data(), text.size());
  return at + text.size();
}

std::uint64_t zigzag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
std::int64_t unzigzag(std::uint64_t v) {
  return static_cast<std::int64_t>(v >> 1) ^ -static_cast<std::int64_t>(v & 1);
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}

  bool varint(std::uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
      if (pos_ >= bytes_.size()) return false;
      auto byte = static_cast<unsigned char>(bytes_[pos_++]);
      value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
      if (!(byte & 0x80)) return true;
    }
    return false;
  }
  bool byte(unsigned char& value) {
    if (pos_ >= bytes_.size()) return false;
    value = static_cast<unsigned char>(bytes_[pos_++]);
    return true;
  }
  bool view(std::string_view& value) {
    std::uint64_t size;
    if (!varint(size) || size > bytes_.size() - pos_) return false;
    value = bytes_.substr(pos_, size);
    pos_ += size;
    return true;
  }
  bool text(std::string& value) {
    std::string_view view;
    if (!this->view(view)) return false;
    value.assign(view);
    return true;
  }
  bool atEnd() const { return pos_ == bytes_.size(); }
  size_t remaining() const { return bytes_.size() - pos_; }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

bool readDictionary(Reader& reader, ABDictionary& dict) {
  std::uint64_t count;
  if (!reader.varint(count) || count > reader.remaining()) return false;
  dict.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string key, value;
    if (!reader.text(key) || !reader.text(value)) return false;
    dict.set(std::move(key), std::move(value));
  }
  return true;
}

bool readMulti(Reader& reader, ABMultiValue& multi, bool withParameters) {
  std::uint64_t count;
  if (!reader.varint(count) || count > reader.remaining()) return false;
  multi.reserve(count);
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string label, parameters;
    unsigned char tag;
    if (!reader.text(label) || (withParameters && !reader.text(parameters)) || !reader.byte(tag)) return false;
    if (tag == kItemString) {
      std::string value;
      if (!reader.text(value)) return false;
      multi.addEntry({std::move(label), std::move(value), std::move(parameters)});
    } else if (tag == kItemDictionary) {
      ABDictionary dict;
      if (!readDictionary(reader, dict)) return false;
      multi.addEntry({std::move(label), std::move(dict), std::move(parameters)});
    } else {
      return false;
    }
  }
  return true;
}

struct ValueSize {
  std::size_t operator()(const std::monostate&) const { return 0; }
  std::size_t operator()(const std::string& text) const { return 1 + textSize(text); }
  std::size_t operator()(const ABDate& date) const {
    return 1 + varintSize(zigzag(date.year)) + varintSize(static_cast<std::uint64_t>(date.month)) +
           varintSize(static_cast<std::uint64_t>(date.day));
  }
  std::size_t operator()(const std::int64_t& value) const { return 1 + varintSize(zigzag(value)); }
  std::size_t operator()(const ABMultiValue& multi) const {
    std::size_t size = 1 + varintSize(multi.count());
    for (const auto& entry : multi.entries()) {
      size += textSize(entry.label) + textSize(entry.parameters) + 1;
      if (const auto* text = std::get_if<std::string>(&entry.value)) {
        size += textSize(*text);
      } else {
        const auto& dict = std::get<ABDictionary>(entry.value);
        size += varintSize(dict.size());
        for (const auto& [key, value] : dict.entries()) size += textSize(key) + textSize(value);
      }
    }
    return size;
  }
  std::size_t operator()(const ABBytes& bytes) const { return 1 + varintSize(bytes.size()) + bytes.size(); }
  // A list filled in place: the size of the ABMultiValue holding the same entries.
  std::size_t operator()(const PersonSlots::List& list) const {
    std::size_t size = 1 + varintSize(list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      const auto& entry = list[i];
      size += textSize(entry.label) + textSize(entry.parameters) + 1;
      if (!entry.isDictionary) {
        size += textSize(entry.text);
        continue;
      }
      size += varintSize(entry.fieldCount());
      for (std::size_t f = 0; f < entry.fieldCount(); ++f) size += textSize(entry.key(f)) + textSize(entry.value(f));
    }
    return size;
  }
  std::size_t operator()(const ABValue& value) const { return std::visit(*this, value); }
};

// Writes values at `at`, which has room for them (encodedSize), and moves it past them.
struct ValueWriter {
  char*& at;
  void operator()(const std::monostate&) const {}
  void operator()(const std::string& text) const {
    *at++ = static_cast<char>(kString);
    at = putText(at, text);
  }
  void operator()(const ABDate& date) const {
    *at++ = static_cast<char>(kDate);
    at = putVarint(at, zigzag(date.year));
    at = putVarint(at, static_cast<std::uint64_t>(date.month));
    at = putVarint(at, static_cast<std::uint64_t>(date.day));
  }
  void operator()(const std::int64_t& value) const {
    *at++ = static_cast<char>(kInteger);
    at = putVarint(at, zigzag(value));
  }
  void operator()(const ABMultiValue& multi) const {
    *at++ = static_cast<char>(kMulti);
    at = putVarint(at, multi.count());
    for (const auto& entry : multi.entries()) {
      at = putText(at, entry.label);
      at = putText(at, entry.parameters);
      if (const auto* text = std::get_if<std::string>(&entry.value)) {
        *at++ = static_cast<char>(kItemString);
        at = putText(at, *text);
      } else {
        const auto& dict = std::get<ABDictionary>(entry.value);
        *at++ = static_cast<char>(kItemDictionary);
        at = putVarint(at, dict.size());
        for (const auto& [key, value] : dict.entries()) {
          at = putText(at, key);
          at = putText(at, value);
        }
      }
    }
  }
  void operator()(const ABBytes& bytes) const {
    *at++ = static_cast<char>(kBytes);
    at = putText(at, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
  }
  // A list filled in place: the bytes of the ABMultiValue holding the same entries.
  void operator()(const PersonSlots::List& list) const {
    *at++ = static_cast<char>(kMulti);
    at = putVarint(at, list.size());
    for (std::size_t i = 0; i < list.size(); ++i) {
      const auto& entry = list[i];
      at = putText(at, entry.label);
      at = putText(at, entry.parameters);
      if (!entry.isDictionary) {
        *at++ = static_cast<char>(kItemString);
        at = putText(at, entry.text);
        continue;
      }
      *at++ = static_cast<char>(kItemDictionary);
      at = putVarint(at, entry.fieldCount());
      for (std::size_t f = 0; f < entry.fieldCount(); ++f) {
        at = putText(at, entry.key(f));
        at = putText(at, entry.value(f));
      }
    }
  }
  void operator()(const ABValue& value) const { std::visit(*this, value); }
};

}  // namespace

namespace {

template <typename Visit>
void forEachValue(const ABPersonData& data, Visit&& visit) {
  for (const auto& [property, value] : data.entries())
    if (!isNil(value)) visit(property, value);
}

template <typename Visit>
void forEachValue(const PersonSlots& slots, Visit&& visit) {
  slots.forEach(visit);
}

template <typename Values>
std::size_t sizeOfEncoding(const Values& values, std::size_t& count) {
  std::size_t size = 1;
  count = 0;
  forEachValue(values, [&](const std::string& property, const auto& value) {
    ++count;
    size += textSize(property) + ValueSize{}(value);
  });
  return size + varintSize(count);
}

template <typename Values>
void encodeInto(const Values& values, std::string& out) {
  // Sized first, then written in place: far fewer instructions than appending byte by byte.
  std::size_t count = 0;
  const size_t start = out.size(), size = sizeOfEncoding(values, count);
  out.resize(start + size);
  char* at = out.data() + start;
  *at++ = static_cast<char>(kFormatVersion);
  at = putVarint(at, count);
  forEachValue(values, [&](const std::string& property, const auto& value) {
    at = putText(at, property);
    ValueWriter{at}(value);
  });
  if (at != out.data() + start + size) throw std::logic_error("a person's encoding is not the size worked out for it");
}

}  // namespace

std::size_t PersonCodec::encodedSize(const ABPersonData& data) {
  std::size_t count = 0;
  return sizeOfEncoding(data, count);
}

void PersonCodec::encode(const ABPersonData& data, std::string& out) {
  encodeInto(data, out);
}

void PersonCodec::encode(const PersonSlots& slots, std::string& out) {
  encodeInto(slots, out);
}

std::string PersonCodec::encode(const ABPersonData& data) {
  std::string out;
  out.reserve(encodedSize(data));
  encode(data, out);
  return out;
}

std::optional<ABPersonData> PersonCodec::decode(std::string_view bytes) {
  Reader reader(bytes);
  unsigned char version;
  if (!reader.byte(version) || (version != kFormatVersion && version != kFormatWithoutParameters)) return std::nullopt;
  const bool withParameters = version == kFormatVersion;
  std::uint64_t count;
  if (!reader.varint(count) || count > reader.remaining()) return std::nullopt;
  ABPersonData data;
  data.reserve(count + 1);  // room for the unique id, which the store may set afterwards
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string property;
    unsigned char tag;
    if (!reader.text(property) || !reader.byte(tag)) return std::nullopt;
    switch (tag) {
      case kString: {
        std::string text;
        if (!reader.text(text)) return std::nullopt;
        data.set(property, std::move(text));
        break;
      }
      case kDate: {
        std::uint64_t year, month, day;
        if (!reader.varint(year) || !reader.varint(month) || !reader.varint(day)) return std::nullopt;
        data.set(property, ABDate{static_cast<int>(unzigzag(year)), static_cast<int>(month), static_cast<int>(day)});
        break;
      }
      case kInteger: {
        std::uint64_t value;
        if (!reader.varint(value)) return std::nullopt;
        data.set(property, unzigzag(value));
        break;
      }
      case kMulti: {
        ABMultiValue multi;
        if (!readMulti(reader, multi, withParameters)) return std::nullopt;
        data.set(property, std::move(multi));
        break;
      }
      case kBytes: {
        std::string_view raw;
        if (!reader.view(raw)) return std::nullopt;
        data.set(property, ABBytes(raw.begin(), raw.end()));
        break;
      }
      default:
        return std::nullopt;
    }
  }
  if (!reader.atEnd()) return std::nullopt;
  return data;
}

namespace PersonCodec {

std::string_view DictionaryView::nextText(std::string_view bytes, size_t& at) {
  std::uint64_t size = 0;
  for (int shift = 0;; shift += 7) {
    auto byte = static_cast<unsigned char>(bytes[at++]);
    size |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) break;
  }
  std::string_view text = bytes.substr(at, size);
  at += size;
  return text;
}

std::optional<std::string_view> DictionaryView::find(std::string_view key) const {
  // A key set twice holds what was set last, as decoding reads it.
  std::optional<std::string_view> found;
  forEach([&](std::string_view k, std::string_view value) {
    if (k == key) found = value;
  });
  return found;
}

namespace {

// Calls visit(key, value) for every key of the dictionary once, with what it holds last, in the
// order the keys were first set.
template <typename Visit>
void forEachHeld(const DictionaryView& dictionary, Visit&& visit) {
  using Entry = std::pair<std::string_view, std::string_view>;
  Entry small[16];
  std::vector<Entry> large;
  Entry* held = small;
  if (dictionary.size() > 16) {
    large.resize(dictionary.size());
    held = large.data();
  }
  size_t count = 0;
  dictionary.forEach([&](std::string_view key, std::string_view value) {
    size_t at = 0;
    while (at < count && held[at].first != key) ++at;
    held[at] = {key, value};
    if (at == count) ++count;
  });
  for (size_t i = 0; i < count; ++i) visit(held[i].first, held[i].second);
}

size_t heldCount(const DictionaryView& dictionary) {
  size_t count = 0;
  forEachHeld(dictionary, [&](std::string_view, std::string_view) { ++count; });
  return count;
}

}  // namespace

bool DictionaryView::operator==(const DictionaryView& other) const {
  size_t held = 0;
  bool equal = true;
  forEachHeld(*this, [&](std::string_view key, std::string_view value) {
    ++held;
    if (equal) equal = other.find(key) == value;
  });
  return equal && held == heldCount(other);
}

size_t DictionaryView::hash() const {
  const std::hash<std::string_view> hash;
  size_t h = 0;
  forEachHeld(*this, [&](std::string_view key, std::string_view value) { h += hash(key) * 31 + hash(value); });
  return ~h;
}

void ListView::Iterator::load() {
  const std::string_view bytes = list_->bytes();
  entry_.label = DictionaryView::nextText(bytes, at_);
  entry_.parameters = list_->withParameters_ ? DictionaryView::nextText(bytes, at_) : std::string_view();
  entry_.isText = static_cast<unsigned char>(bytes[at_++]) == kItemString;
  if (entry_.isText) {
    entry_.text = DictionaryView::nextText(bytes, at_);
    entry_.dictionary = DictionaryView();
    return;
  }
  entry_.text = std::string_view();
  Reader reader(bytes.substr(at_));
  std::uint64_t count = 0;
  reader.varint(count);
  const size_t start = at_ + (bytes.size() - at_ - reader.remaining());
  size_t end = start;
  for (std::uint64_t i = 0; i < count; ++i) {
    DictionaryView::nextText(bytes, end);
    DictionaryView::nextText(bytes, end);
  }
  entry_.dictionary = DictionaryView(bytes.substr(start, end - start), count);
  at_ = end;
}

namespace {

// Checks a list value's entries, leaving the reader after them.
bool skipList(Reader& reader, std::uint64_t count, bool withParameters) {
  std::string_view text;
  for (std::uint64_t i = 0; i < count; ++i) {
    unsigned char tag;
    if (!reader.view(text) || (withParameters && !reader.view(text)) || !reader.byte(tag)) return false;
    if (tag == kItemString) {
      if (!reader.view(text)) return false;
    } else if (tag == kItemDictionary) {
      std::uint64_t size;
      if (!reader.varint(size) || size > reader.remaining()) return false;
      for (std::uint64_t k = 0; k < size; ++k)
        if (!reader.view(text) || !reader.view(text)) return false;
    } else {
      return false;
    }
  }
  return true;
}

// Walks the values of an encoding, giving each to visit when there is one; false at the first fault.
bool walkValues(std::string_view bytes, const std::function<void(std::string_view, const ValueView&)>* visit) {
  Reader reader(bytes);
  unsigned char version;
  if (!reader.byte(version) || (version != kFormatVersion && version != kFormatWithoutParameters)) return false;
  const bool withParameters = version == kFormatVersion;
  std::uint64_t count;
  if (!reader.varint(count) || count > reader.remaining()) return false;
  for (std::uint64_t i = 0; i < count; ++i) {
    std::string_view property;
    unsigned char tag;
    if (!reader.view(property) || !reader.byte(tag)) return false;
    ValueView value;
    switch (tag) {
      case kString:
        value.kind = ValueView::Kind::Text;
        if (!reader.view(value.text)) return false;
        break;
      case kDate: {
        std::uint64_t year, month, day;
        if (!reader.varint(year) || !reader.varint(month) || !reader.varint(day)) return false;
        value.kind = ValueView::Kind::Date;
        value.date = ABDate{static_cast<int>(unzigzag(year)), static_cast<int>(month), static_cast<int>(day)};
        break;
      }
      case kInteger: {
        std::uint64_t integer;
        if (!reader.varint(integer)) return false;
        value.kind = ValueView::Kind::Integer;
        value.integer = unzigzag(integer);
        break;
      }
      case kMulti: {
        std::uint64_t entries;
        if (!reader.varint(entries) || entries > reader.remaining()) return false;
        const size_t start = bytes.size() - reader.remaining();
        if (!skipList(reader, entries, withParameters)) return false;
        if (entries > 0x7FFFFFFFu || bytes.size() - reader.remaining() - start > 0xFFFFFFFFu) return false;
        value.kind = ValueView::Kind::List;
        value.list = ListView(bytes.substr(start, bytes.size() - reader.remaining() - start), entries, withParameters);
        break;
      }
      case kBytes:
        value.kind = ValueView::Kind::Bytes;
        if (!reader.view(value.text)) return false;
        break;
      default:
        return false;
    }
    if (visit) (*visit)(property, value);
  }
  return reader.atEnd();
}

}  // namespace

bool readView(std::string_view bytes, const std::function<void(std::string_view, const ValueView&)>& visit) {
  // One pass: each value is checked, a list with all its entries, before it is given.
  return walkValues(bytes, &visit);
}

}  // namespace PersonCodec
