#include "platform/addressbook/vcard/VCardPersonWriter.h"

#include <algorithm>
#include <array>
#include <vector>

#include "platform/addressbook/ABAddressStreet.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardConventions.h"
#include "platform/addressbook/vcard/VCardKept.h"
#include "platform/addressbook/vcard/VCardLine.h"
#include "platform/addressbook/vcard/VCardText.h"

namespace {

class CardWriter {
 public:
  explicit CardWriter(std::string& out) : out_(out) {}

  // Writes line_ folded and clears it.
  void endLine() {
    std::size_t start = 0, width = 75;
    while (line_.size() - start > width) {
      std::size_t cut = start + width;
      while (cut > start + 1 && (static_cast<unsigned char>(line_[cut]) & 0xC0) == 0x80) --cut;
      out_.append(line_, start, cut - start);
      out_ += "\r\n ";
      start = cut;
      width = 74;
    }
    out_.append(line_, start, std::string::npos);
    out_ += "\r\n";
    line_.clear();
  }

  void text(std::string_view name, std::string_view value) {
    if (value.empty()) return;
    line_ += name;
    line_ += ':';
    appendEscapedText(line_, value);
    endLine();
  }

  std::string& line() { return line_; }
  int nextGroup() { return ++group_; }
  // Whether the person came in as a vCard 4.0 card and goes out as 3.0 (its 4.0 spellings go out
  // as 3.0 says them).
  void setVersion4(bool version4) { version4_ = version4; }
  bool version4() const { return version4_; }
  // Whether the card is written as vCard 4.0 (a 4.0 card back to its source): lines as they came.
  void setWrites4(bool writes4) { writes4_ = writes4; }
  bool writes4() const { return writes4_; }

 private:
  std::string& out_;
  std::string line_;
  int group_ = 0;
  bool version4_ = false;
  bool writes4_ = false;
};

// The label a reader gives an entry written with these TYPE values, for the properties whose label
// TYPE says.
std::optional<std::string> labelReadBack(std::string_view property, std::string_view types) {
  VCardCard card;
  card.parameters.push_back({"TYPE", types});
  VCardLine line;
  line.name = property;
  line.parameterCount = 1;
  if (property == "EMAIL") return emailLabelForTypes(card, line);
  if (property == "TEL") return phoneLabelForTypes(card, line);
  if (property == "ADR") return addressLabelForTypes(card, line);
  if (property == "URL") return urlLabelForTypes(card, line);
  if (property == "IMPP") return genericLabelForTypes(card, line);
  return std::nullopt;
}

// Starts a property line of an entry: the TYPE values of its label, then the parameters it was read
// with; for a label that TYPE cannot say, opens an item group and returns its name.
std::string beginEntry(CardWriter& writer, std::string_view property, const ABMultiValue::Entry& entry,
                       bool forceGroup = false, bool ownServiceType = false) {
  VCardEntryForm form = entryFormForLabel(property, entry.label, forceGroup);
  std::string group;
  if (form.grouped) group = "item" + std::to_string(writer.nextGroup());
  std::string types(form.types);
  // Every vCard 4.0 e-mail address is one of the internet.
  if (writer.writes4() && property == "EMAIL" && types.starts_with("INTERNET"))
    types.erase(0, types.size() > 8 ? 9 : 8);
  std::string_view extra = entryExtraTypes(entry.parameters);
  if (!extra.empty()) {
    std::string both = types.empty() ? std::string(extra) : types + "," + std::string(extra);
    // Types kept from the card must not make the entry read back under another label (its label
    // was changed since).
    auto label = form.grouped ? std::nullopt : labelReadBack(property, both);
    if (!label || *label == entry.label) types = std::move(both);
  }
  // PREF of a card that came in as vCard 4.0 as a 3.0 card says it: TYPE=pref.
  std::string version3;
  std::string_view others = entryOtherParameters(entry.parameters);
  if (writer.version4()) {
    parametersInVersion3(others, types, version3);
    others = version3;
  }
  std::string& line = writer.line();
  if (!group.empty()) line += group + ".";
  line += property;
  if (!types.empty()) line += ";TYPE=" + types;
  if (!ownServiceType) {
    line += others;
  } else {
    // The writer says the service itself: one the entry was read with goes.
    while (!others.empty()) {
      std::size_t end = 1;
      bool quoted = false;
      for (; end < others.size() && (quoted || others[end] != ';'); ++end)
        if (others[end] == '"') quoted = !quoted;
      std::string_view parameter = others.substr(0, end);
      if (!equalsIgnoringCase(parameter.substr(0, 16), ";X-SERVICE-TYPE=")) line += parameter;
      others.remove_prefix(end);
    }
  }
  return group;
}

// An entry read from another program's property (entryProperty), written back under it with the
// parameters it came with.
// labelTypes: the TYPE values that say its label.
void writeUnderOwnProperty(CardWriter& writer, const ABMultiValue::Entry& entry, std::string_view value,
                           std::string_view labelTypes = {}) {
  std::string& line = writer.line();
  line += entryProperty(entry.parameters);
  std::string types(labelTypes), others(entryOtherParameters(entry.parameters));
  if (std::string_view extra = entryExtraTypes(entry.parameters); !extra.empty())
    types += types.empty() ? std::string(extra) : "," + std::string(extra);
  if (writer.version4()) {
    others.clear();
    parametersInVersion3(entryOtherParameters(entry.parameters), types, others);
  }
  if (!types.empty()) line += ";TYPE=" + types;
  line += others;
  line += ':';
  appendEscapedText(line, value);
  writer.endLine();
}

// Whether entry parameters (";TYPE=...;VALUE=text") hold one of that name.
bool hasParameter(std::string_view parameters, std::string_view name) {
  for (std::size_t at = parameters.find(';'); at != std::string_view::npos; at = parameters.find(';', at + 1)) {
    std::string_view rest = parameters.substr(at + 1);
    if (rest.size() > name.size() && rest[name.size()] == '=' && equalsIgnoringCase(rest.substr(0, name.size()), name))
      return true;
  }
  return false;
}

void endEntry(CardWriter& writer, const std::string& group, const std::string& label) {
  writer.endLine();
  if (group.empty()) return;
  writer.line() += group + ".X-ABLabel:";
  appendEscapedText(writer.line(), label);
  writer.endLine();
}

void writeStrings(CardWriter& writer, const ABPersonData& person, const std::string& property,
                  std::string_view vcardName, bool forceGroup = false) {
  const ABMultiValue* values = person.multiValue(property);
  if (!values) return;
  for (const auto& entry : values->entries()) {
    const std::string* value = std::get_if<std::string>(&entry.value);
    if (!value || value->empty()) continue;
    // A related name read from another program's property of its label goes back under it.
    if (std::string_view own = entryProperty(entry.parameters); !own.empty() && vcardName == "X-ABRELATEDNAMES") {
      if (const std::string* label = relatedLabelForProperty(own); label && *label == entry.label) {
        writeUnderOwnProperty(writer, entry, *value);
        continue;
      }
    }
    // vCard 4.0 says a relation TYPE knows as RELATED;TYPE=spouse;VALUE=text.
    if (writer.writes4() && vcardName == "X-ABRELATEDNAMES") {
      if (std::string_view type = relatedTypeForLabel(entry.label); !type.empty()) {
        std::string& line = writer.line();
        line += "RELATED;TYPE=";
        line += type;
        if (std::string_view extra = entryExtraTypes(entry.parameters); !extra.empty())
          line += "," + std::string(extra);
        std::string_view others = entryOtherParameters(entry.parameters);
        if (!hasParameter(others, "VALUE")) line += ";VALUE=text";
        line += others;
        line += ':';
        appendEscapedText(line, *value);
        writer.endLine();
        continue;
      }
    }
    std::string group = beginEntry(writer, vcardName, entry, forceGroup);
    writer.line() += ':';
    // A phone number read as a tel: URI goes out as one.
    if (vcardName == "TEL" && entry.parameters.find("VALUE=uri") != std::string::npos &&
        value->compare(0, 4, "tel:") != 0)
      writer.line() += "tel:";
    appendEscapedText(writer.line(), *value);
    endEntry(writer, group, entry.label);
  }
}

void writeAddresses(CardWriter& writer, const ABPersonData& person) {
  const ABMultiValue* values = person.multiValue(kABAddressProperty);
  if (!values) return;
  for (const auto& entry : values->entries()) {
    const ABDictionary* address = std::get_if<ABDictionary>(&entry.value);
    if (!address || address->empty()) continue;
    const std::string* code = address->find(kABAddressCountryCodeKey);
    bool hasCode = code && !code->empty();
    std::string group = beginEntry(writer, "ADR", entry, hasCode);
    std::string& line = writer.line();
    const ABAddressStreet::Parts street = ABAddressStreet::partsOf(*address);
    line += ':';
    appendEscapedText(line, street.poBox);
    line += ';';
    appendEscapedText(line, street.extended);
    line += ';';
    appendEscapedText(line, street.street);
    for (const std::string* key : {&kABAddressCityKey, &kABAddressStateKey, &kABAddressZIPKey, &kABAddressCountryKey}) {
      line += ';';
      if (const std::string* value = address->find(*key)) appendEscapedText(line, *value);
    }
    if (hasCode) {
      writer.endLine();
      writer.line() += group + ".X-ABADR:";
      appendEscapedText(writer.line(), *code);
    }
    endEntry(writer, group, entry.label);
  }
}

void writeInstantMessages(CardWriter& writer, const ABPersonData& person) {
  const ABMultiValue* values = person.multiValue(kABInstantMessageProperty);
  if (!values) return;
  for (const auto& entry : values->entries()) {
    const ABDictionary* item = std::get_if<ABDictionary>(&entry.value);
    if (!item) continue;
    std::string user = item->valueOr(kABInstantMessageUsernameKey);
    if (user.empty()) continue;
    std::string service = item->valueOr(kABInstantMessageServiceKey);
    // A value read from a card goes out with its scheme and parameters as they came; one the store
    // made, with the service's X-SERVICE-TYPE and scheme.
    const std::string* asRead = item->find(kInstantMessageVCardSchemeKey);
    // One read from another program's property of its service goes back under it.
    if (std::string_view own = entryProperty(entry.parameters); !own.empty() && !asRead) {
      const VCardEntryForm form = entryFormForLabel("IMPP", entry.label);
      if (const std::string* ownService = instantServiceForProperty(own);
          ownService && *ownService == service && !form.grouped) {
        writeUnderOwnProperty(writer, entry, user, form.types);
        continue;
      }
    }
    std::string group = beginEntry(writer, "IMPP", entry, false, !asRead);
    std::string& line = writer.line();
    if (!asRead && !service.empty()) line += ";X-SERVICE-TYPE=" + encodeParameterValue(instantServiceName(service));
    line += ':';
    if (asRead) {
      line += *asRead;
    } else {
      line += service.empty() ? "x-apple" : instantServiceScheme(service);
      line += ':';
    }
    appendEscapedText(line, user);
    endEntry(writer, group, entry.label);
  }
}

// A profile under the home label goes out as it is, under the work label with TYPE=WORK, under any
// other in an item group.
void writeSocialProfiles(CardWriter& writer, const ABPersonData& person) {
  const ABMultiValue* values = person.multiValue(kABSocialProfileProperty);
  if (!values) return;
  for (const auto& entry : values->entries()) {
    const ABDictionary* item = std::get_if<ABDictionary>(&entry.value);
    if (!item || item->empty()) continue;
    std::string_view labelType = socialLabelType(entry.label);
    std::string group;
    if (labelType.empty()) group = "item" + std::to_string(writer.nextGroup());
    std::string& line = writer.line();
    if (!group.empty()) line += group + ".";
    line += "X-SOCIALPROFILE";
    if (const std::string* service = item->find(kABSocialProfileServiceKey))
      line += ";TYPE=" + encodeParameterValue(socialServiceType(*service));
    if (labelType == "WORK") line += ";TYPE=WORK";
    if (std::string_view extra = entryExtraTypes(entry.parameters); !extra.empty())
      line += ";TYPE=" + std::string(extra);
    if (const std::string* user = item->find(kABSocialProfileUsernameKey))
      line += ";X-USER=" + encodeParameterValue(*user);
    line += entryOtherParameters(entry.parameters);
    line += ':';
    if (const std::string* url = item->find(kABSocialProfileURLKey)) appendEscapedText(line, *url);
    endEntry(writer, group, entry.label);
  }
}

// A person's single values by slot, in an ABPersonData or in slots.
const std::string* textOf(const ABPersonData& person, PersonSlots::Slot slot) {
  return person.string(PersonSlots::property(slot));
}
const std::string* textOf(const PersonSlots& person, PersonSlots::Slot slot) {
  return person.string(slot);
}
const ABDate* dateOf(const ABPersonData& person, PersonSlots::Slot slot) {
  return person.date(PersonSlots::property(slot));
}
const ABDate* dateOf(const PersonSlots& person, PersonSlots::Slot slot) {
  return person.date(slot);
}
const std::int64_t* integerOf(const ABPersonData& person, PersonSlots::Slot slot) {
  return person.integer(PersonSlots::property(slot));
}
const std::int64_t* integerOf(const PersonSlots& person, PersonSlots::Slot slot) {
  return person.integer(slot);
}
template <typename Person>
const std::string* nonEmptyTextOf(const Person& person, PersonSlots::Slot slot) {
  const std::string* value = textOf(person, slot);
  return value && !value->empty() ? value : nullptr;
}

// Calls visit(label, text, parameters) for each text entry of a list value.
template <typename Visit>
void forEachListText(const ABPersonData& person, PersonSlots::Slot slot, Visit&& visit) {
  if (const ABMultiValue* values = person.multiValue(PersonSlots::property(slot)))
    for (const auto& entry : values->entries())
      if (const std::string* text = std::get_if<std::string>(&entry.value)) visit(entry.label, *text, entry.parameters);
}
template <typename Visit>
void forEachListText(const PersonSlots& person, PersonSlots::Slot slot, Visit&& visit) {
  if (const PersonSlots::List* list = person.listIn(slot)) {
    for (std::size_t i = 0; i < list->size(); ++i)
      if (!(*list)[i].isDictionary) visit((*list)[i].label, (*list)[i].text, (*list)[i].parameters);
  } else if (const ABValue* value = person.find(slot)) {
    if (const ABMultiValue* values = std::get_if<ABMultiValue>(value))
      for (const auto& entry : values->entries())
        if (const std::string* text = std::get_if<std::string>(&entry.value))
          visit(entry.label, *text, entry.parameters);
  }
}

template <typename Person>
bool isGroupCard(const Person& person) {
  const std::string* kind = textOf(person, PersonSlots::kKind);
  return kind && *kind == kABKindGroup;
}

// Calls part(text) for each part of the name shown, in order: the organisation of a company, else
// title, first, middle, last name and suffix (joined by spaces), else the organisation.
template <typename Person, typename Part>
void forEachDisplayNamePart(const Person& person, Part&& part) {
  if (isGroupCard(person)) {
    if (const std::string* name = nonEmptyTextOf(person, PersonSlots::kGroupName)) part(*name);
    return;
  }
  const std::int64_t* flags = integerOf(person, PersonSlots::kFlags);
  if (flags && *flags == kABShowAsCompany) {
    if (const std::string* org = nonEmptyTextOf(person, PersonSlots::kOrganization)) {
      part(*org);
      return;
    }
  }
  bool any = false;
  for (PersonSlots::Slot slot : {PersonSlots::kTitle, PersonSlots::kFirstName, PersonSlots::kMiddleName,
                                 PersonSlots::kLastName, PersonSlots::kSuffix}) {
    if (const std::string* text = nonEmptyTextOf(person, slot)) {
      if (any) part(std::string_view(" "));
      any = true;
      part(*text);
    }
  }
  if (!any)
    if (const std::string* org = nonEmptyTextOf(person, PersonSlots::kOrganization)) part(*org);
}

std::string displayName(const ABPersonData& person) {
  std::string name;
  forEachDisplayNamePart(person, [&](std::string_view part) { name += part; });
  return name;
}

template <typename Person>
void slotLinesInto(std::string& line, const Person& person, std::string_view slot) {
  line.clear();
  auto view = [&](PersonSlots::Slot property) {
    const std::string* value = textOf(person, property);
    return value ? std::string_view(*value) : std::string_view();
  };
  auto text = [&](std::string_view name, PersonSlots::Slot property) {
    std::string_view value = view(property);
    if (value.empty()) return;
    line += name;
    line += ':';
    appendEscapedText(line, value);
  };
  if (slot == "N" && isGroupCard(person)) {
    line += "N:";
    appendEscapedText(line, view(PersonSlots::kGroupName));
  } else if (slot == "N") {
    line += "N:";
    bool first = true;
    for (PersonSlots::Slot property : {PersonSlots::kLastName, PersonSlots::kFirstName, PersonSlots::kMiddleName,
                                       PersonSlots::kTitle, PersonSlots::kSuffix}) {
      if (!first) line += ';';
      first = false;
      appendEscapedText(line, view(property));
    }
  } else if (slot == "FN") {
    line += "FN:";
    // The parts escaped one by one are the name escaped: the spaces between them need no escape.
    forEachDisplayNamePart(person, [&](std::string_view part) { appendEscapedText(line, part); });
  } else if (slot == "NICKNAME") {
    text(slot, PersonSlots::kNickname);
  } else if (slot == "X-MAIDENNAME") {
    text(slot, PersonSlots::kMaidenName);
  } else if (slot == "X-PHONETIC-FIRST-NAME") {
    text(slot, PersonSlots::kFirstNamePhonetic);
  } else if (slot == "X-PHONETIC-LAST-NAME") {
    text(slot, PersonSlots::kLastNamePhonetic);
  } else if (slot == "ORG") {
    std::string_view organization = view(PersonSlots::kOrganization);
    std::string_view department = view(PersonSlots::kDepartment);
    if (!organization.empty() || !department.empty()) {
      line += "ORG:";
      appendEscapedText(line, organization);
      if (!department.empty()) {
        line += ';';
        appendEscapedText(line, department);
      }
    }
  } else if (slot == "TITLE") {
    text(slot, PersonSlots::kJobTitle);
  } else if (slot == "NOTE") {
    text(slot, PersonSlots::kNote);
  } else if (slot == "BDAY") {
    if (const ABDate* birthday = dateOf(person, PersonSlots::kBirthday)) {
      line += "BDAY";
      if (birthday->year == kBirthdayYearNotKnown)
        line += ";X-APPLE-OMIT-YEAR=" + std::to_string(kBirthdayYearNotKnown);
      line += ";VALUE=date:" + birthday->toIsoString();
      // Without a year also as vCard 4.0 says it, for the readers that do not know the year kept back.
      if (birthday->year == kBirthdayYearNotKnown)
        line += "\nBDAY:--" + birthday->toIsoString().substr(5, 2) + birthday->toIsoString().substr(8, 2);
    }
  } else if (slot == "FLAGS") {
    // Only the value 1 shows a person as a company; any other value is kept as it is.
    if (const std::int64_t* flags = integerOf(person, PersonSlots::kFlags)) {
      if (*flags == kABShowAsCompany)
        line += "X-ABShowAs:COMPANY";
      else
        line += std::string(kPersonFlagsVCardProperty) + ":" + std::to_string(*flags);
    }
  } else if (slot == "UID") {
    text(slot, PersonSlots::kUID);
  } else if (slot == "CATEGORIES") {
    bool first = true;
    forEachListText(person, PersonSlots::kCategories,
                    [&](const std::string&, const std::string& category, const std::string&) {
                      if (category.empty()) return;
                      line += first ? "CATEGORIES:" : ",";
                      first = false;
                      appendEscapedText(line, category);
                    });
  } else if (slot == "KIND") {
    if (isGroupCard(person)) line += "X-ADDRESSBOOKSERVER-KIND:group";
  } else if (slot == "MEMBER") {
    if (!isGroupCard(person)) return;
    forEachListText(person, PersonSlots::kMembers,
                    [&](const std::string& prefix, const std::string& member, const std::string& parameters) {
                      if (member.empty()) return;
                      if (!line.empty()) line += '\n';
                      line += "X-ADDRESSBOOKSERVER-MEMBER";
                      line += entryOtherParameters(parameters);
                      line += ':';
                      line += prefix;
                      appendEscapedText(line, member);
                    });
  }
}

// The words of a text, split at spaces.
std::vector<std::string_view> wordsOf(std::string_view text) {
  std::vector<std::string_view> words;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t space = text.find(' ', at);
    const std::size_t end = space == std::string_view::npos ? text.size() : space;
    if (end > at) words.push_back(text.substr(at, end - at));
    at = end + 1;
  }
  return words;
}

// The FN line read (kept: "FN;params:value", escaped), after the name it did not show as the writer
// shows it went from wasWritten to nowWritten ("FN:..." each): the words the name lost leave the
// value where they are in it; a name that gained or changed words leaves the value as it was. The
// line is rebuilt from the name only when its value was the name as the writer shows it.
std::string formattedNameAfterNameChange(std::string_view kept, std::string_view wasWritten,
                                         std::string_view nowWritten) {
  std::size_t colon = std::string_view::npos;
  bool quoted = false;
  for (std::size_t i = 0; i < kept.size() && colon == std::string_view::npos; ++i) {
    if (kept[i] == '"') quoted = !quoted;
    if (kept[i] == ':' && !quoted) colon = i;
  }
  if (colon == std::string_view::npos) return std::string(nowWritten);
  const std::string_view head = kept.substr(0, colon + 1), value = kept.substr(colon + 1);
  const std::string_view was = wasWritten.substr(3), now = nowWritten.substr(3);
  if (value == was) return std::string(head) + std::string(now);
  if (now.empty()) return std::string(kept);
  // The words of the name before that it has no more (each as often as it lost it).
  std::vector<std::string_view> lost = wordsOf(was);
  for (std::string_view word : wordsOf(now)) {
    auto found = std::find(lost.begin(), lost.end(), word);
    if (found != lost.end()) lost.erase(found);
  }
  std::vector<std::string_view> words = wordsOf(value);
  for (std::string_view word : lost) {
    auto found = std::find(words.begin(), words.end(), word);
    if (found != words.end()) words.erase(found);
  }
  std::string out(head);
  for (std::size_t i = 0; i < words.size(); ++i) {
    if (i > 0) out += ' ';
    out += words[i];
  }
  return words.empty() ? std::string(kept) : out;
}

// A birthday as vCard 4.0 says it: BDAY:19800203, without a year BDAY:--0203.
std::string birthdayInVersion4(const ABPersonData& person) {
  const ABDate* birthday = person.date(kABBirthdayProperty);
  if (!birthday) return {};
  const std::string iso = birthday->toIsoString();  // 1980-02-03
  if (birthday->year == kBirthdayYearNotKnown) return "BDAY:--" + iso.substr(5, 2) + iso.substr(8, 2);
  return "BDAY:" + iso.substr(0, 4) + iso.substr(5, 2) + iso.substr(8, 2);
}

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

const char* imageType(const ABBytes& bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8) return "JPEG";
  if (bytes.size() >= 4 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G') return "PNG";
  if (bytes.size() >= 3 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F') return "GIF";
  return nullptr;
}

}  // namespace

std::string vCardPhotoHead(const ABBytes& photo) {
  std::string head = "PHOTO;ENCODING=b";
  if (const char* type = imageType(photo)) head += std::string(";TYPE=") + type;
  return head;
}

std::string vCardPhotoWritten(const ABBytes& photo) {
  // FNV-1a of the bytes: the picture the parameters were read with.
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char byte : photo) hash = (hash ^ byte) * 1099511628211ull;
  static const char kDigits[] = "0123456789abcdef";
  std::string written = vCardPhotoHead(photo) + ":#";
  for (int shift = 60; shift >= 0; shift -= 4) written += kDigits[(hash >> shift) & 0xF];
  return written;
}

std::string vCardDisplayName(const ABPersonData& person) {
  return displayName(person);
}

void vCardSlotLinesInto(std::string& line, const ABPersonData& person, std::string_view slot) {
  slotLinesInto(line, person, slot);
}

void vCardSlotLinesInto(std::string& line, const PersonSlots& person, std::string_view slot) {
  slotLinesInto(line, person, slot);
}

std::string vCardSlotLines(const ABPersonData& person, std::string_view slot) {
  std::string line;
  vCardSlotLinesInto(line, person, slot);
  return line;
}

int vCardWrittenRank(std::string_view property) {
  static constexpr std::string_view kWritten[] = {"N",
                                                  "FN",
                                                  "KIND",
                                                  "X-ADDRESSBOOKSERVER-KIND",
                                                  "MEMBER",
                                                  "X-ADDRESSBOOKSERVER-MEMBER",
                                                  "NICKNAME",
                                                  "X-MAIDENNAME",
                                                  "X-PHONETIC-FIRST-NAME",
                                                  "X-PHONETIC-LAST-NAME",
                                                  "ORG",
                                                  "TITLE",
                                                  "EMAIL",
                                                  "TEL",
                                                  "ADR",
                                                  "URL",
                                                  "X-ABRELATEDNAMES",
                                                  "IMPP",
                                                  "X-SOCIALPROFILE",
                                                  "CATEGORIES",
                                                  "NOTE",
                                                  "BDAY",
                                                  "X-ABPERSONFLAGS",
                                                  "PHOTO",
                                                  "UID"};
  // Looked up for every line read: by first letter before the letters.
  static const auto byLetter = [] {
    std::array<std::vector<int>, 26> index;
    for (std::size_t i = 0; i < std::size(kWritten); ++i) index[kWritten[i][0] - 'A'].push_back(static_cast<int>(i));
    return index;
  }();
  if (property.empty()) return -1;
  const int letter = (property[0] & ~0x20) - 'A';
  if (letter < 0 || letter >= 26) return -1;
  for (int i : byLetter[letter])
    if (equalsIgnoringCase(property, kWritten[i])) return i;
  return -1;
}

namespace {

// The card's lines from start on in the order the card had its properties in (order: their names,
// upper case): a line with its folded continuation and the lines of its item group after it
// (item1.TEL, item1.X-ABLabel) move as one; a line of a property the card did not have stays after
// the one written before it. An entry of a list (lists: where each begins and ends in out) never
// goes before the list's entry before it, so that the entries keep their order.
void reorderCardLines(std::string& out, std::size_t start, const std::vector<std::string>& order,
                      const std::vector<std::pair<std::size_t, std::size_t>>& lists) {
  struct Chunk {
    std::string_view text;
    int position;
    std::size_t offset;  // in out
  };
  std::vector<Chunk> chunks;
  std::string_view body = std::string_view(out).substr(start);
  std::string_view lastGroup;
  int position = -1;
  while (!body.empty()) {
    std::size_t end = body.find("\r\n");
    end = end == std::string_view::npos ? body.size() : end + 2;
    while (end < body.size() && body[end] == ' ') {
      const std::size_t next = body.find("\r\n", end);
      end = next == std::string_view::npos ? body.size() : next + 2;
    }
    const std::string_view line = body.substr(0, end);
    body.remove_prefix(end);
    std::string_view name = line.substr(0, line.find_first_of(";:\r"));
    std::string_view group;
    if (const std::size_t dot = name.find('.'); dot != std::string_view::npos) {
      group = name.substr(0, dot);
      name.remove_prefix(dot + 1);
    }
    if (!group.empty() && group == lastGroup && !chunks.empty()) {
      chunks.back().text = std::string_view(chunks.back().text.data(), chunks.back().text.size() + line.size());
      continue;
    }
    lastGroup = group;
    for (std::size_t i = 0; i < order.size(); ++i)
      if (equalsIgnoringCase(name, order[i])) {
        position = static_cast<int>(i);
        break;
      }
    chunks.push_back({line, position, static_cast<std::size_t>(line.data() - out.data())});
  }
  for (const auto& [begin, end] : lists) {
    int last = -1;
    for (Chunk& chunk : chunks)
      if (chunk.offset >= begin && chunk.offset < end) last = chunk.position = std::max(chunk.position, last);
  }
  std::stable_sort(chunks.begin(), chunks.end(),
                   [](const Chunk& a, const Chunk& b) { return a.position < b.position; });
  std::string sorted;
  sorted.reserve(out.size() - start);
  for (const Chunk& chunk : chunks) sorted += chunk.text;
  out.replace(start, std::string::npos, sorted);
}

}  // namespace

void appendVCard(const ABPersonData& person, std::string& out, VCardVersion version) {
  CardWriter writer(out);
  std::vector<VCardLinesAsRead> asRead;
  if (const std::string* text = person.string(kABVCardLinesAsReadProperty)) asRead = parseLinesAsRead(*text);
  std::string& line = writer.line();
  // A card that came in as 4.0 goes out in 3.0 spellings, unless it goes back as it came; any other
  // with its lines as they came.
  const bool cameAs4 = !asRead.empty() && linesAsReadFor(asRead, "VERSION");
  const bool version4 = cameAs4 && version == VCardVersion::V3;
  writer.setVersion4(version4);
  writer.setWrites4(cameAs4 && version == VCardVersion::AsRead);
  out += writer.writes4() ? "BEGIN:VCARD\r\nVERSION:4.0\r\n" : "BEGIN:VCARD\r\nVERSION:3.0\r\n";
  const std::size_t bodyStart = out.size();
  // A value's lines as the card said them while the value is what it was, else as the writer says it.
  auto slot = [&](std::string_view name) {
    std::string written = vCardSlotLines(person, name);
    if (written.empty()) return;
    if (const VCardLinesAsRead* read = asRead.empty() ? nullptr : linesAsReadFor(asRead, name, written)) {
      for (const auto& text : read->lines) {
        if (version4)
          appendKeptLineInVersion3(line, text, false);
        else
          line += text;
        writer.endLine();
      }
      return;
    }
    if (writer.writes4() && name == "BDAY") written = birthdayInVersion4(person);
    std::string_view rest = written;
    while (!rest.empty()) {
      std::size_t end = rest.find('\n');
      line += rest.substr(0, end);
      writer.endLine();
      rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
    }
  };
  const bool group = isGroupCard(person);
  slot("N");
  // An FN that was not the name's own form is not rebuilt from the name when the name changes: a part
  // removed from the name leaves it, anything else leaves it as it was. A group's FN is its name.
  if (const VCardLinesAsRead* read = asRead.empty() || group ? nullptr : linesAsReadFor(asRead, "FN");
      read && read->lines.size() == 1 && read->written != vCardSlotLines(person, "FN")) {
    line += formattedNameAfterNameChange(read->lines.front(), read->written, vCardSlotLines(person, "FN"));
    writer.endLine();
  } else {
    slot("FN");
  }
  if (group && writer.writes4()) {
    // Back to a source of vCard 4.0: its own spellings of a group.
    line += "KIND:group";
    writer.endLine();
    const std::string lines = vCardSlotLines(person, "MEMBER");
    std::string_view members = lines;
    constexpr std::string_view kApple = "X-ADDRESSBOOKSERVER-MEMBER";
    while (!members.empty()) {
      const std::size_t end = members.find('\n');
      std::string_view member = members.substr(0, end);
      if (member.starts_with(kApple)) {
        line += "MEMBER";
        member.remove_prefix(kApple.size());
      }
      line += member;
      writer.endLine();
      members.remove_prefix(end == std::string_view::npos ? members.size() : end + 1);
    }
  } else if (group) {
    slot("KIND");
    slot("MEMBER");
  }
  slot("NICKNAME");
  slot("X-MAIDENNAME");
  slot("X-PHONETIC-FIRST-NAME");
  slot("X-PHONETIC-LAST-NAME");
  slot("ORG");
  slot("TITLE");
  // The lines of each list, whose entries keep their order whatever properties they are written under.
  std::vector<std::pair<std::size_t, std::size_t>> lists;
  auto list = [&](auto&& write) {
    const std::size_t begin = out.size();
    write();
    lists.emplace_back(begin, out.size());
  };
  list([&] { writeStrings(writer, person, kABEmailProperty, "EMAIL"); });
  list([&] { writeStrings(writer, person, kABPhoneProperty, "TEL"); });
  list([&] { writeAddresses(writer, person); });
  list([&] { writeStrings(writer, person, kABURLsProperty, "URL"); });
  list([&] { writeStrings(writer, person, kABRelatedNamesProperty, "X-ABRELATEDNAMES", true); });
  list([&] { writeInstantMessages(writer, person); });
  list([&] { writeSocialProfiles(writer, person); });
  slot("CATEGORIES");
  slot("NOTE");
  slot("BDAY");
  slot("FLAGS");
  if (const ABBytes* photo = person.bytes(kABImageDataProperty); photo && !photo->empty()) {
    // The parameters the card gave this picture (its TYPE, Apple's crop) while it is the same one.
    const VCardLinesAsRead* read = nullptr;
    if (!asRead.empty() && linesAsReadFor(asRead, "PHOTO"))
      read = linesAsReadFor(asRead, "PHOTO", vCardPhotoWritten(*photo));
    if (writer.writes4()) {
      const char* type = imageType(*photo);
      line += "PHOTO:data:";
      line += type ? "image/" + lower(type) : std::string("application/octet-stream");
      line += ";base64,";
    } else if (read && read->lines.size() == 1) {
      line += read->lines.front();
      line += ':';
    } else {
      line += vCardPhotoHead(*photo);
      line += ':';
    }
    line += encodeBase64(*photo);
    writer.endLine();
  }
  if (const std::string* kept = person.string(kABVCardKeptLinesProperty)) {
    forEachKeptLine(
        *kept, [&] { return writer.nextGroup(); },
        [&](std::string_view text) {
          if (version4)
            appendKeptLineInVersion3(line, text);
          else
            line += text;
          writer.endLine();
        });
  }
  slot("UID");
  if (const VCardLinesAsRead* order = asRead.empty() ? nullptr : linesAsReadFor(asRead, "ORDER"))
    reorderCardLines(out, bodyStart, order->lines, lists);
  out += "END:VCARD\r\n";
}

std::string vCardForPerson(const ABPersonData& person, VCardVersion version) {
  std::string out;
  appendVCard(person, out, version);
  return out;
}
