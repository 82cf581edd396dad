#include "platform/addressbook/vcard/VCardPersonReader.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <functional>
#include <utility>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardConventions.h"
#include "platform/addressbook/vcard/VCardKept.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"
#include "platform/text/ByteWords.h"

namespace {

bool is(std::string_view name, std::string_view expected) {
  return equalsIgnoringCase(name, expected);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::string& lowerInto(std::string& out, std::string_view text) {
  out.assign(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool setText(PersonSlots& person, PersonSlots::Slot property, std::string_view value) {
  if (value.empty() || person.find(property)) return false;
  person.setText(property, value);
  return true;
}

// "item3", in any case.
bool isItemGroup(std::string_view group) {
  if (group.size() < 5 || !equalsIgnoringCase(group.substr(0, 4), "item")) return false;
  for (char c : group.substr(4))
    if (c < '0' || c > '9') return false;
  return true;
}

// Whether every byte is ASCII and none is NUL, looked at eight bytes at a time.
bool isPlainAscii(std::string_view text) {
  std::size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    const std::uint64_t word = ByteWords::load(text.data() + i);
    if ((word & ByteWords::kTopBits) != 0 || ByteWords::hasZero(word)) return false;
  }
  for (; i < text.size(); ++i)
    if (static_cast<unsigned char>(text[i]) - 1u >= 0x7Fu) return false;
  return true;
}

bool isBase64(const VCardCard& card, const VCardLine& line) {
  if (line.plain) return false;
  auto encoding = card.parameter(line, "ENCODING");
  return encoding && (equalsIgnoringCase(*encoding, "B") || equalsIgnoringCase(*encoding, "BASE64"));
}

// A dictionary entry leaves empty values out.
void setKey(PersonSlots::List::Entry& entry, const std::string& key, std::string_view value) {
  if (!value.empty()) entry.addField(key, value);
}

std::string_view trimmedText(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

}  // namespace

void GroupValues::clear() {
  entries_.clear();
  index_.clear();
}

void GroupValues::add(std::string_view group, std::string value) {
  constexpr std::size_t kSearchedInTurn = 16;
  if (find(group)) return;
  entries_.push_back({group, std::move(value)});
  if (entries_.size() == kSearchedInTurn + 1)
    for (std::size_t i = 0; i < entries_.size(); ++i) index_.emplace(lowerInto(key_, entries_[i].group), i);
  else if (entries_.size() > kSearchedInTurn + 1)
    index_.emplace(lowerInto(key_, group), entries_.size() - 1);
}

const std::string* GroupValues::find(std::string_view group) const {
  if (group.empty()) return nullptr;
  if (index_.empty()) {
    for (const auto& entry : entries_)
      if (equalsIgnoringCase(entry.group, group)) return &entry.value;
    return nullptr;
  }
  auto it = index_.find(lowerInto(key_, group));
  return it == index_.end() ? nullptr : &entries_[it->second].value;
}

bool VCardPersonReader::decodedValue(const VCardCard& card, const VCardLine& line, std::string_view& out,
                                     VCardSyntaxError& error) {
  std::string_view raw = line.value;
  std::string_view bytes = raw;
  if (auto encoding = line.plain ? std::nullopt : card.parameter(line, "ENCODING")) {
    if (is(*encoding, "QUOTED-PRINTABLE")) {
      transferDecoded_ = decodeQuotedPrintable(raw);
      // A line break encoded as =0D=0A is one line break, as the \n escape of later versions.
      std::size_t kept = 0;
      for (std::size_t i = 0; i < transferDecoded_.size(); ++i)
        if (!(transferDecoded_[i] == '\r' && i + 1 < transferDecoded_.size() && transferDecoded_[i + 1] == '\n'))
          transferDecoded_[kept++] = transferDecoded_[i];
      transferDecoded_.resize(kept);
      bytes = transferDecoded_;
    } else if (is(*encoding, "B") || is(*encoding, "BASE64")) {
      ABBytes decoded;
      if (!decodeBase64(raw, decoded)) {
        error = {line.lineNumber, "invalid base64 data in " + std::string(line.name)};
        return false;
      }
      transferDecoded_.assign(decoded.begin(), decoded.end());
      bytes = transferDecoded_;
    } else if (!is(*encoding, "8BIT") && !is(*encoding, "7BIT")) {
      error = {line.lineNumber, "unknown encoding " + std::string(*encoding) + " in " + std::string(line.name)};
      return false;
    }
  }
  // Most values are ASCII text without NUL: nothing to convert or check further.
  if (line.plain && isPlainAscii(bytes)) {
    out = bytes;
    return true;
  }
  if (auto charset = line.plain ? std::nullopt : card.parameter(line, "CHARSET")) {
    switch (charsets_.convert(bytes, *charset, converted_)) {
      case CharsetConverter::Result::Converted:
        out = converted_;
        break;
      case CharsetConverter::Result::UnknownCharset:
        error = {line.lineNumber, "unknown character set " + std::string(*charset) + " in " + std::string(line.name)};
        return false;
      case CharsetConverter::Result::NotText:
        if (!decodedLegacyValue(card, line, bytes, *charset, out, error)) return false;
        break;
    }
  } else if (isValidUtf8(bytes)) {
    out = bytes;
  } else if (!decodedLegacyValue(card, line, bytes, {}, out, error)) {
    return false;
  }
  // A NUL is no text either: U+FFFD too, so that no writer passes it on.
  if (out.find('\0') != std::string_view::npos) {
    std::string text;
    text.reserve(out.size() + 8);
    for (char c : out) {
      if (c == '\0')
        text += "\xEF\xBF\xBD";
      else
        text += c;
    }
    converted_ = std::move(text);
    out = converted_;
  }
  return true;
}

bool VCardPersonReader::decodedLegacyValue(const VCardCard& card, const VCardLine& line, std::string_view bytes,
                                           std::string_view tried, std::string_view& out, VCardSyntaxError& error) {
  static const VCardLegacyText kDefault;
  const VCardLegacyText& rule = legacy_ ? *legacy_ : kDefault;
  // The card's own character set: the first CHARSET of its lines that is not UTF-8.
  std::string_view own;
  for (const auto& parameter : card.parameters) {
    if (equalsIgnoringCase(parameter.name, "CHARSET") && !parameter.value.empty() &&
        !CharsetConverter::isUtf8(parameter.value)) {
      own = parameter.value;
      break;
    }
  }
  std::vector<std::string_view> names{tried.empty() ? std::string_view("UTF-8") : tried};
  for (std::string_view charset : {own, std::string_view(rule.fileCharset()), std::string_view(rule.fallback())}) {
    if (charset.empty() || equalsIgnoringCase(charset, tried)) continue;
    // A value that says it is UTF-8 keeps its UTF-8: only its stray bytes are read in the character
    // set (when it is one of single bytes).
    const bool saysUtf8 = !tried.empty() && CharsetConverter::isUtf8(tried);
    if ((!saysUtf8 || charsets_.convertStrayBytes(bytes, charset, converted_) != CharsetConverter::Result::Converted) &&
        charsets_.convert(bytes, charset, converted_) != CharsetConverter::Result::Converted) {
      if (std::find_if(names.begin(), names.end(),
                       [&](std::string_view n) { return equalsIgnoringCase(n, charset); }) == names.end())
        names.push_back(charset);
      continue;
    }
    out = converted_;
    // A line's value is counted once, however often it is decoded.
    const auto index = static_cast<std::size_t>(&line - card.lines.data());
    if (index < legacyLines_.size() && !legacyLines_[index]) {
      legacyLines_[index] = 1;
      addLegacyCount(cardLegacy_, charset, 1, 0);
    }
    return true;
  }
  std::string list;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) list += i + 1 == names.size() ? " or " : ", ";
    list += names[i];
  }
  error = {line.lineNumber, "the value of " + std::string(line.name) + " is not text in " + list};
  return false;
}

bool VCardPersonReader::readCard(const VCardCard& card, ABPersonData& person, VCardSyntaxError& error) {
  // Built in slots kept from card to card, then handed over in storage of its exact size (with room
  // for a unique id the importer may still give it).
  building_.clear();
  if (!readInto(card, building_, error)) return false;
  person = building_.take(building_.find(PersonSlots::kUID) ? 0 : 1);
  return true;
}

PersonSlots* VCardPersonReader::readCardInPlace(const VCardCard& card, VCardSyntaxError& error) {
  building_.clear();
  return readInto(card, building_, error) ? &building_ : nullptr;
}

bool VCardPersonReader::readInto(const VCardCard& card, PersonSlots& person, VCardSyntaxError& error) {
  std::string_view version;
  for (const auto& line : card.lines)
    if (is(line.name, "VERSION")) version = line.value;
  while (!version.empty() && version.back() == ' ') version.remove_suffix(1);
  if (!version.empty() && version != "2.1" && version != "3.0" && version != "4.0") {
    for (const auto& line : card.lines)
      if (is(line.name, "VERSION")) error = {line.lineNumber, "unsupported vCard version " + std::string(version)};
    return false;
  }
  version4_ = version == "4.0";
  photoWritten_.clear();
  legacyLines_.assign(card.lines.size(), 0);
  cardLegacy_.clear();

  GroupValues& labels = labels_;
  GroupValues& countryCodes = countryCodes_;
  labels.clear();
  countryCodes.clear();
  std::string_view text;
  // A group card says so in a line of its own, anywhere in the card; its names and members are read
  // as a group's.
  bool groupCard = false;
  for (const auto& line : card.lines) {
    if (!is(line.name, "KIND") && !is(line.name, "X-ADDRESSBOOKSERVER-KIND")) continue;
    std::string_view value = line.value;
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (is(value, "group")) groupCard = true;
  }
  std::string_view groupNameFromN;
  for (const auto& line : card.lines) {
    if (line.group.empty()) continue;
    bool label = is(line.name, "X-ABLabel"), country = is(line.name, "X-ABADR");
    if (!label && !country) continue;
    if (!decodedValue(card, line, text, error)) return false;
    std::string value = unescapeText(text);
    if (value.empty()) continue;
    (label ? labels : countryCodes).add(line.group, std::move(value));
  }

  // What becomes of each line: a store value (used), a value the writer writes in a slot of its own
  // (slot), or nothing, and then the line is kept as it is.
  const std::size_t count = card.lines.size();
  used_.assign(count, 0);
  slots_.assign(count, {});
  asWritten_.assign(count, {});
  bool haveN = false, haveFN = false, haveOrg = false, haveUid = false, haveBirthday = false;
  // Texts of this card in storage kept from card to card.
  std::string& formattedName = formattedName_;
  std::string& department = department_;
  std::string& note = note_;
  formattedName.clear();
  department.clear();
  note.clear();
  auto unescaped = [this](std::string_view escaped) -> const std::string& {
    unescapeTextInto(unescaped_, escaped);
    return unescaped_;
  };
  std::size_t nameLine = count, departmentLine = count;

  bool showAsCompany = false;
  std::optional<std::int64_t> flags;
  bool haveNote = false;
  for (std::size_t index = 0; index < count; ++index) {
    const VCardLine& line = card.lines[index];
    std::string_view name = line.name;
    const std::string* groupLabel = labels.find(line.group);
    auto labelOr = [&](const std::string& fallback) -> const std::string& {
      return groupLabel ? *groupLabel : fallback;
    };
    auto use = [&](std::string_view slot = {}) {
      used_[index] = 1;
      slots_[index] = slot;
    };
    // The parameters of an entry that the writer's form for its label does not say.
    auto parametersInto = [&](std::string& out, std::string_view property, const std::string& label,
                              bool forceGroup = false, const std::function<bool(const VCardParameter&)>& skip = {}) {
      if (card.parametersOf(line).empty()) return;
      appendEntryParameters(out, card, line, entryFormForLabel(property, label, forceGroup).types, skip);
    };
    // An entry of one text (an e-mail address, a phone number, a URL), filled in place and taken
    // back when it turns out to hold nothing. The label comes from the line's group, else from its
    // types (typeLabel).
    auto addTextEntry = [&](PersonSlots::Slot slot, std::string_view property, std::string_view dropPrefix,
                            const std::string& (*typeLabel)(const VCardCard&, const VCardLine&)) {
      PersonSlots::List& list = person.list(slot);
      PersonSlots::List::Entry& entry = list.add();
      unescapeTextInto(entry.text, text);
      if (!dropPrefix.empty() && startsWithIgnoringCase(entry.text, dropPrefix)) entry.text.erase(0, dropPrefix.size());
      if (entry.text.empty()) {
        list.removeLast();
        return;
      }
      entry.label = labelOr(typeLabel(card, line));
      parametersInto(entry.parameters, property, entry.label);
      use();
    };

    // The version, and PROFILE:VCARD of RFC 2425, say what the card is; the writer says it again.
    if (is(name, "VERSION") || (is(name, "PROFILE") && is(line.value, "VCARD"))) {
      use();
      continue;
    }
    if (is(name, "PHOTO")) {
      if (!person.find(PersonSlots::kImageData)) {
        ABBytes bytes;
        std::string_view value = line.value;
        bool inline64 = isBase64(card, line);
        const bool dataUri = !inline64 && startsWithIgnoringCase(value, "data:");
        if (dataUri) {
          auto comma = value.find(',');
          if (comma != std::string_view::npos && value.substr(0, comma).find(";base64") != std::string_view::npos) {
            value.remove_prefix(comma + 1);
            inline64 = true;
          }
        }
        if (inline64) {
          if (!decodeBase64(value, bytes)) {
            error = {line.lineNumber, "invalid base64 data in PHOTO"};
            return false;
          }
          if (!bytes.empty()) {
            // Parameters the writer would not write for this picture are kept with it.
            if (!version4_ && !dataUri) {
              photoHead_ = "PHOTO";
              appendKeptParameters(photoHead_, card, line);
              if (photoHead_ != vCardPhotoHead(bytes)) photoWritten_ = vCardPhotoWritten(bytes);
            }
            person.set(PersonSlots::kImageData, std::move(bytes));
            use();
          }
        }
      }
      continue;
    }
    if (is(name, "X-ABLabel") || is(name, "X-ABADR")) continue;  // settled with their group below
    if (isBase64(card, line)) continue;                          // kept as written

    if (!decodedValue(card, line, text, error)) return false;
    // A value that is the line's own text (most are) is looked at again below without decoding.
    if (text.data() == line.value.data() && text.size() == line.value.size()) asWritten_[index] = text;

    if (is(name, "FN")) {
      if (!haveFN) {
        use("FN");
        unescapeTextInto(formattedName, text);
      }
      haveFN = true;
    } else if (is(name, "N")) {
      if (haveN) continue;
      haveN = true;
      use("N");
      nameLine = index;
      splitComponents(text, componentViews_, components_);
      componentViews_.resize(5);
      if (groupCard) {
        // A group's N holds its name (Apple writes N:Family); the group has no person's names.
        groupName_.clear();
        for (std::string_view component : componentViews_) {
          if (component.empty()) continue;
          if (!groupName_.empty()) groupName_ += ' ';
          groupName_ += component;
        }
        groupNameFromN = groupName_;
        continue;
      }
      setText(person, PersonSlots::kLastName, componentViews_[0]);
      setText(person, PersonSlots::kFirstName, componentViews_[1]);
      setText(person, PersonSlots::kMiddleName, componentViews_[2]);
      setText(person, PersonSlots::kTitle, componentViews_[3]);
      setText(person, PersonSlots::kSuffix, componentViews_[4]);
    } else if (is(name, "ORG")) {
      if (haveOrg) continue;
      haveOrg = true;
      use("ORG");
      splitComponents(text, componentViews_, components_);
      componentViews_.resize(2);
      setText(person, PersonSlots::kOrganization, componentViews_[0]);
      setText(person, PersonSlots::kDepartment, componentViews_[1]);
    } else if (is(name, "UID")) {
      if (haveUid) continue;
      haveUid = true;
      if (setText(person, PersonSlots::kUID, unescaped(text))) use("UID");
    } else if (is(name, "NICKNAME")) {
      if (setText(person, PersonSlots::kNickname, unescaped(text))) use("NICKNAME");
    } else if (is(name, "TITLE")) {
      if (setText(person, PersonSlots::kJobTitle, unescaped(text))) use("TITLE");
    } else if (is(name, "NOTE")) {
      const std::string& value = unescaped(text);
      if (value.empty()) continue;
      if (haveNote) note += '\n';
      note += value;
      haveNote = true;
      use("NOTE");
    } else if (is(name, "BDAY")) {
      auto date = birthdayForValue(unescaped(text));
      if (haveBirthday) {
        // The same birthday said twice (with a year kept back, and as --MMDD) is one.
        if (date && *date == *person.date(PersonSlots::kBirthday)) use("BDAY");
        continue;
      }
      if (date) {
        person.set(PersonSlots::kBirthday, *date);
        haveBirthday = true;
        use("BDAY");
      }
    } else if (is(name, "X-KADDRESSBOOK-X-Department")) {
      if (departmentLine == count) {
        unescapeTextInto(department, text);
        departmentLine = index;
      }
    } else if (is(name, "X-MAIDENNAME")) {
      if (setText(person, PersonSlots::kMaidenName, unescaped(text))) use("X-MAIDENNAME");
    } else if (is(name, "X-PHONETIC-FIRST-NAME")) {
      if (setText(person, PersonSlots::kFirstNamePhonetic, unescaped(text))) use("X-PHONETIC-FIRST-NAME");
    } else if (is(name, "X-PHONETIC-LAST-NAME")) {
      if (setText(person, PersonSlots::kLastNamePhonetic, unescaped(text))) use("X-PHONETIC-LAST-NAME");
    } else if (is(name, "X-ABShowAs")) {
      if (!is(unescaped(text), "COMPANY")) continue;
      showAsCompany = true;
      use("FLAGS");
    } else if (is(name, "KIND") || is(name, "X-ADDRESSBOOKSERVER-KIND")) {
      const std::string& kind = unescaped(text);
      if (groupCard && is(trimmedText(kind), "group")) {
        if (person.find(PersonSlots::kKind)) continue;
        person.setText(PersonSlots::kKind, kABKindGroup);
        // A 4.0 card goes out in 3.0 spellings (Apple's); a 3.0 card keeps its line as it came.
        use(version4_ ? "" : "KIND");
        continue;
      }
      if (!is(name, "KIND") || !is(kind, "org")) continue;
      showAsCompany = true;
      use("FLAGS");
    } else if (groupCard && (is(name, "MEMBER") || is(name, "X-ADDRESSBOOKSERVER-MEMBER"))) {
      PersonSlots::List& list = person.list(PersonSlots::kMembers);
      PersonSlots::List::Entry& entry = list.add();
      unescapeTextInto(entry.text, text);
      // Members are kept by unique id: "urn:uuid:" is the form the id was written in.
      constexpr std::string_view kUrn = "urn:uuid:";
      if (startsWithIgnoringCase(entry.text, kUrn) && entry.text.size() > kUrn.size()) {
        entry.label.assign(entry.text, 0, kUrn.size());
        entry.text.erase(0, kUrn.size());
      }
      if (entry.text.empty()) {
        list.removeLast();
        continue;
      }
      if (!card.parametersOf(line).empty()) appendEntryParameters(entry.parameters, card, line, {});
      use(version4_ ? "" : "MEMBER");
    } else if (is(name, "CATEGORIES")) {
      splitTextList(text, categoryItems_);
      PersonSlots::List& list = person.list(PersonSlots::kCategories);
      bool any = false;
      for (const std::string& item : categoryItems_) {
        std::string_view category = trimmedText(item);
        if (category.empty()) continue;
        any = true;
        bool there = false;
        for (std::size_t i = 0; i < list.size() && !there; ++i) there = list[i].text == category;
        if (!there) list.add().text.assign(category);
      }
      if (any) use("CATEGORIES");
    } else if (is(name, kPersonFlagsVCardProperty)) {
      const std::string& value = unescaped(text);
      char* end = nullptr;
      long long number = std::strtoll(value.c_str(), &end, 10);
      if (value.empty() || !end || *end != '\0') continue;
      flags = number;
      use("FLAGS");
    } else if (is(name, "EMAIL")) {
      addTextEntry(PersonSlots::kEmail, "EMAIL", {}, emailLabelForTypes);
    } else if (is(name, "TEL")) {
      addTextEntry(PersonSlots::kPhone, "TEL", "tel:", phoneLabelForTypes);
    } else if (is(name, "URL") && !(version == "4.0" && socialServiceForType(socialServiceTypeValue(card, line)))) {
      addTextEntry(PersonSlots::kURLs, "URL", {}, urlLabelForTypes);
    } else if (is(name, "ADR")) {
      splitComponents(text, componentViews_, components_);
      std::vector<std::string_view>& components = componentViews_;
      components.resize(7);
      std::string& street = street_;
      street.clear();
      for (int i = 0; i < 3; ++i) {
        if (components[i].empty()) continue;
        if (!street.empty()) street += '\n';
        street += components[i];
      }
      PersonSlots::List& list = person.list(PersonSlots::kAddress);
      PersonSlots::List::Entry& entry = list.add();
      entry.isDictionary = true;
      // The street shows the box and the extended address at its head; both are kept as they came.
      setKey(entry, kABAddressStreetKey, street);
      setKey(entry, kABAddressPOBoxKey, components[0]);
      setKey(entry, kABAddressExtendedKey, components[1]);
      setKey(entry, kABAddressCityKey, components[3]);
      setKey(entry, kABAddressStateKey, components[4]);
      setKey(entry, kABAddressZIPKey, components[5]);
      setKey(entry, kABAddressCountryKey, components[6]);
      const std::string* code = countryCodes.find(line.group);
      if (code) entry.addField(kABAddressCountryCodeKey, *code);
      if (entry.fieldCount() == 0) {
        list.removeLast();
        continue;
      }
      entry.label = labelOr(addressLabelForTypes(card, line));
      parametersInto(entry.parameters, "ADR", entry.label, code != nullptr);
      use();
    } else if (is(name, "X-ABRELATEDNAMES") || is(name, "RELATED") || relatedLabelForProperty(name)) {
      PersonSlots::List& list = person.list(PersonSlots::kRelatedNames);
      PersonSlots::List::Entry& entry = list.add();
      unescapeTextInto(entry.text, text);
      if (entry.text.empty()) {
        list.removeLast();
        continue;
      }
      const std::string* propertyLabel = relatedLabelForProperty(name);
      entry.label = labelOr(propertyLabel ? *propertyLabel : relatedLabelForTypes(card, line));
      // Written back under the property of the program that wrote it while its label is that one's.
      if (propertyLabel && line.group.empty()) entry.parameters = name;
      if (!card.parametersOf(line).empty())
        appendEntryParameters(entry.parameters, card, line, relatedTypeForLabel(entry.label));
      use();
    } else if (is(name, "IMPP")) {
      std::string value = unescapeText(text);
      std::string service;
      std::optional<std::string_view> serviceType = card.parameter(line, "X-SERVICE-TYPE");
      if (serviceType) service = instantServiceForName(decodeParameterValue(*serviceType));
      std::string scheme;
      bool hasScheme = false;
      if (auto colon = value.find(':'); colon != std::string::npos) {
        scheme = value.substr(0, colon);
        hasScheme = true;
        if (service.empty()) service = instantServiceForScheme(scheme);
        // A scheme of no known service is the service: it is written back as the scheme.
        if (service.empty()) service = scheme;
        value.erase(0, colon + 1);
      } else if (service.empty()) {
        // A bare user name whose TYPE names the service (TYPE=SKYPE).
        for (const auto& parameter : card.parametersOf(line))
          if (is(parameter.name, "TYPE"))
            if (const std::string* known = knownInstantService(parameter.value)) service = *known;
      }
      if (value.empty()) continue;
      PersonSlots::List::Entry& entry = person.list(PersonSlots::kInstantMessage).add();
      entry.isDictionary = true;
      setKey(entry, kABInstantMessageServiceKey, service);
      entry.addField(kABInstantMessageUsernameKey, value);
      entry.label = labelOr(genericLabelForTypes(card, line));
      // The writer's own form (X-SERVICE-TYPE of the service and the scheme it writes for it) is
      // written again as it is; any other keeps its scheme (or none) and its parameters as they came.
      const bool writersForm =
          serviceType && hasScheme && !service.empty() && equalsIgnoringCase(scheme, instantServiceScheme(service));
      if (writersForm) {
        parametersInto(entry.parameters, "IMPP", entry.label, false,
                       [](const VCardParameter& p) { return equalsIgnoringCase(p.name, "X-SERVICE-TYPE"); });
      } else {
        entry.addField(kInstantMessageVCardSchemeKey, hasScheme ? scheme + ":" : std::string());
        parametersInto(entry.parameters, "IMPP", entry.label);
      }
      use();
    } else if (const std::string* service = instantServiceForProperty(name)) {
      const std::string& value = unescaped(text);
      if (value.empty()) continue;
      PersonSlots::List::Entry& entry = person.list(PersonSlots::kInstantMessage).add();
      entry.isDictionary = true;
      entry.addField(kABInstantMessageServiceKey, *service);
      entry.addField(kABInstantMessageUsernameKey, value);
      entry.label = labelOr(genericLabelForTypes(card, line));
      // Written back under the property it came with while the service is that property's.
      if (line.group.empty()) entry.parameters = name;
      parametersInto(entry.parameters, "IMPP", entry.label);
      use();
    } else if (is(name, "X-SOCIALPROFILE") ||
               (is(name, "URL") && version == "4.0" && socialServiceForType(socialServiceTypeValue(card, line)))) {
      // vCard 4.0 has no social profile property: a URL whose type names the network is one.
      PersonSlots::List& list = person.list(PersonSlots::kSocialProfile);
      PersonSlots::List::Entry& entry = list.add();
      entry.isDictionary = true;
      const std::string& url = unescaped(text);
      setKey(entry, kABSocialProfileServiceKey, socialServiceForTypes(card, line));
      if (auto user = card.parameter(line, "X-USER"))
        setKey(entry, kABSocialProfileUsernameKey, decodeParameterValue(*user));
      else
        setKey(entry, kABSocialProfileUsernameKey, socialUserForURL(url));
      setKey(entry, kABSocialProfileURLKey, url);
      if (entry.fieldCount() == 0) {
        list.removeLast();
        continue;
      }
      entry.label = labelOr(socialLabelForTypes(card, line));
      if (!card.parametersOf(line).empty()) {
        std::string explained(socialServiceTypeValue(card, line));
        if (!groupLabel) explained += "," + std::string(socialLabelType(entry.label));
        appendEntryParameters(entry.parameters, card, line, explained,
                              [](const VCardParameter& p) { return equalsIgnoringCase(p.name, "X-USER"); });
      }
      use();
    }
  }
  // KDE keeps the department in a property of its own.
  if (departmentLine < count && !department.empty() && !person.find(PersonSlots::kDepartment)) {
    person.setText(PersonSlots::kDepartment, department);
    used_[departmentLine] = 1;
    slots_[departmentLine] = "ORG";
  }
  // Without names in N, a card that is not a company's takes them from FN: first and last name
  // split at the last space, one word being the first name.
  bool names = false;
  for (PersonSlots::Slot property : {PersonSlots::kFirstName, PersonSlots::kLastName, PersonSlots::kMiddleName,
                                     PersonSlots::kTitle, PersonSlots::kSuffix})
    names = names || person.find(property);
  bool company = flags ? *flags == kABShowAsCompany : showAsCompany;
  if (groupCard) {
    std::string_view groupName = trimmedText(formattedName);
    if (groupName.empty()) groupName = groupNameFromN;
    if (!groupName.empty()) person.setText(PersonSlots::kGroupName, groupName);
    // The FN of a group is its name, not a person's.
    names = true;
  }
  std::string_view shown = formattedName;
  while (!shown.empty() && (shown.front() == ' ' || shown.front() == '\t')) shown.remove_prefix(1);
  while (!shown.empty() && (shown.back() == ' ' || shown.back() == '\t')) shown.remove_suffix(1);
  // An FN that is the organisation's name (what writers put there for a card without names) is not a
  // person's name.
  const std::string* organization = person.string(PersonSlots::kOrganization);
  if (!names && !company && !shown.empty() && !(organization && shown == *organization)) {
    std::size_t space = shown.find_last_of(" \t");
    if (space == std::string_view::npos) {
      person.setText(PersonSlots::kFirstName, shown);
    } else {
      std::string_view first = shown.substr(0, space);
      while (!first.empty() && (first.back() == ' ' || first.back() == '\t')) first.remove_suffix(1);
      person.setText(PersonSlots::kFirstName, first);
      person.setText(PersonSlots::kLastName, shown.substr(space + 1));
    }
    // The names are the card's FN now: an empty N is not written back in place of them.
    if (nameLine < count) slots_[nameLine] = {};
  }
  if (haveNote) person.setText(PersonSlots::kNote, note);
  // Several NOTE lines are one note in the store; they go back as they came while the note is what
  // they said (as lines as read), and as one NOTE once it changes.
  // X-ABPERSONFLAGS carries the whole value; X-ABShowAs:COMPANY alone sets it to 1.
  if (!flags && showAsCompany) flags = kABShowAsCompany;
  if (flags) person.set(PersonSlots::kFlags, *flags);

  if (!keepTheRest(card, person, error)) return false;
  for (const auto& count : cardLegacy_) addLegacyCount(legacyCounts_, count.charset, count.values, 1);
  return true;
}

bool VCardPersonReader::keepTheRest(const VCardCard& card, PersonSlots& person, VCardSyntaxError& error) {
  const std::size_t count = card.lines.size();
  // A label or country code line goes with the values of its group.
  usedGroups_.clear();
  for (std::size_t i = 0; i < count; ++i)
    if (used_[i] && !card.lines[i].group.empty()) usedGroups_.push_back(card.lines[i].group);
  if (!usedGroups_.empty()) {
    auto less = [](std::string_view a, std::string_view b) {
      auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
      return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                          [&](char x, char y) { return lower(x) < lower(y); });
    };
    std::sort(usedGroups_.begin(), usedGroups_.end(), less);
    for (std::size_t i = 0; i < count; ++i) {
      const VCardLine& line = card.lines[i];
      if (line.group.empty() || !(is(line.name, "X-ABLabel") || is(line.name, "X-ABADR"))) continue;
      if (std::binary_search(usedGroups_.begin(), usedGroups_.end(), line.group, less)) used_[i] = 1;
    }
  }

  // The lines of a slot, as read, when the writer would write them otherwise; a slot the writer
  // leaves out (ORG:;) keeps its lines as they are.
  std::string& asRead = asRead_;
  asRead.clear();
  std::string_view value;
  // The value of line i as decodedValue gives it.
  auto decoded = [&](std::size_t i) {
    if (asWritten_[i].data()) {
      value = asWritten_[i];
      return true;
    }
    return decodedValue(card, card.lines[i], value, error);
  };
  slotOrder_.clear();
  for (std::size_t i = 0; i < count; ++i)
    if (used_[i] && !slots_[i].empty()) slotOrder_.push_back(i);
  // A card has a few of them: sorted in place (lines of one slot in card order).
  for (std::size_t k = 1; k < slotOrder_.size(); ++k)
    for (std::size_t j = k; j > 0 && slots_[slotOrder_[j]] < slots_[slotOrder_[j - 1]]; --j)
      std::swap(slotOrder_[j], slotOrder_[j - 1]);
  for (std::size_t k = 0; k < slotOrder_.size();) {
    const std::string_view slot = slots_[slotOrder_[k]];
    const std::size_t first = k;
    while (k < slotOrder_.size() && slots_[slotOrder_[k]] == slot) ++k;
    vCardSlotLinesInto(written_, person, slot);
    if (written_.empty()) {
      for (std::size_t i = first; i < k; ++i) used_[slotOrder_[i]] = 0;
      continue;
    }
    // Most cards say a value as the writer writes it: then nothing is kept. A line without
    // parameters whose text is what the writer writes after the name is such a line (the writer
    // writes no line break and no carriage return inside a line, so none is in that text).
    if (k == first + 1) {
      const VCardLine& line = card.lines[slotOrder_[first]];
      if (line.plain && line.parameterCount == 0) {
        if (!decoded(slotOrder_[first])) return false;
        const std::string_view written = written_;
        if (written.size() == line.name.size() + 1 + value.size() && written.starts_with(line.name) &&
            written[line.name.size()] == ':' && written.ends_with(value))
          continue;
      }
    }
    joined_.clear();
    for (std::size_t i = first; i < k; ++i) {
      if (!decoded(slotOrder_[i])) return false;
      if (i > first) joined_ += '\n';
      appendKeptLine(joined_, card, card.lines[slotOrder_[i]], value, false);
    }
    if (joined_ == written_) continue;
    VCardLinesAsRead entry;
    entry.slot = slot;
    entry.written = written_;
    for (std::size_t i = first; i < k; ++i) {
      if (!decoded(slotOrder_[i])) return false;
      entry.lines.push_back(keptLine(card, card.lines[slotOrder_[i]], value, false));
    }
    appendLinesAsRead(asRead, entry);
  }
  // A card that came in as vCard 4.0 says so, for a writer that writes its 4.0 spellings as 3.0 does.
  if (!photoWritten_.empty()) appendLinesAsRead(asRead, {"PHOTO", photoWritten_, {photoHead_}});
  if (version4_) appendLinesAsRead(asRead, kCameAsVersion4);
  // The card's order of properties, where it is not the writer's own. Lines kept as they came are
  // written after the picture; a value read from a property the writer does not name itself (X-AIM,
  // X-EVOLUTION-SPOUSE) goes out where the writer puts its kind, and says nothing of the order.
  auto ordered = [&](const VCardLine& line) {
    return !(is(line.name, "VERSION") || is(line.name, "PROFILE") ||
             (!line.group.empty() && (is(line.name, "X-ABLabel") || is(line.name, "X-ABADR"))));
  };
  auto metBefore = [&](std::size_t i) {
    for (std::size_t j = 0; j < i; ++j)
      if (is(card.lines[j].name, card.lines[i].name)) return true;
    return false;
  };
  bool ownOrder = false;
  const int keptRank = 2 * vCardWrittenRank("PHOTO") + 1;
  for (std::size_t i = 0, rank = 0; i < count && !ownOrder; ++i) {
    const VCardLine& line = card.lines[i];
    if (!ordered(line)) continue;
    const int own = vCardWrittenRank(line.name);
    const int written = !used_[i] ? keptRank : own >= 0 ? 2 * own : -1;
    if (written < 0) continue;
    // Only a property's first line places it.
    if (static_cast<std::size_t>(written) < rank && !metBefore(i)) ownOrder = true;
    rank = std::max(rank, static_cast<std::size_t>(written));
  }
  VCardLinesAsRead order{"ORDER", "card order", {}};  // written: never empty (entries end at an empty line)
  for (std::size_t i = 0; i < count && ownOrder; ++i) {
    const VCardLine& line = card.lines[i];
    if (!ordered(line) || metBefore(i)) continue;
    std::string name(line.name);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    order.lines.push_back(std::move(name));
  }
  if (ownOrder) appendLinesAsRead(asRead, order);
  if (!asRead.empty()) person.setText(PersonSlots::kVCardLinesAsRead, asRead);

  // Kept item groups are numbered from item1 in the order met, so that what is kept does not depend
  // on how the card numbered them (the writer renumbers them after its own).
  std::string& kept = kept_;
  kept.clear();
  keptGroups_.clear();
  for (std::size_t i = 0; i < count; ++i) {
    if (used_[i]) continue;
    const VCardLine& line = card.lines[i];
    if (isBase64(card, line) || is(line.name, "PHOTO")) {
      value = line.value;
    } else if (!decoded(i)) {
      return false;
    }
    const std::size_t start = kept.size();
    appendKeptLine(kept, card, line, value, true);
    if (isItemGroup(line.group)) {
      const std::size_t number =
          keptGroups_.try_emplace(lowerInto(groupKey_, line.group), keptGroups_.size() + 1).first->second;
      kept.replace(start, line.group.size(), "item" + std::to_string(number));
    }
    kept += '\n';
  }
  if (!kept.empty()) person.setText(PersonSlots::kVCardKeptLines, kept);
  return true;
}
