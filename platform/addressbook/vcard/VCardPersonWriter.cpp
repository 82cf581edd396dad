#include "platform/addressbook/vcard/VCardPersonWriter.h"

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardConventions.h"
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

 private:
  std::string& out_;
  std::string line_;
  int group_ = 0;
};

const std::string* stringOf(const ABPersonData& person, const std::string& property) {
  const std::string* value = person.string(property);
  return value && !value->empty() ? value : nullptr;
}

std::string textOf(const ABPersonData& person, const std::string& property) {
  const std::string* value = person.string(property);
  return value ? *value : std::string();
}

// Starts a property line; for a label that TYPE cannot say, opens an item group and returns its name.
std::string beginEntry(CardWriter& writer, std::string_view property, const std::string& label,
                       bool forceGroup = false) {
  std::string group;
  std::optional<std::string> types = forceGroup ? std::nullopt : typesForLabel(property, label);
  if (!types && label.empty()) types = property == "EMAIL" ? "INTERNET" : "";
  if (!types) group = "item" + std::to_string(writer.nextGroup());
  std::string& line = writer.line();
  if (!group.empty()) line += group + ".";
  line += property;
  if (property == "EMAIL" && !types) line += ";TYPE=INTERNET";
  if (types && !types->empty()) line += ";TYPE=" + *types;
  return group;
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
    std::string group = beginEntry(writer, vcardName, entry.label, forceGroup);
    writer.line() += ':';
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
    std::string group = beginEntry(writer, "ADR", entry.label, hasCode);
    std::string& line = writer.line();
    line += ":;;";
    const std::string* keys[] = {&kABAddressStreetKey, &kABAddressCityKey, &kABAddressStateKey, &kABAddressZIPKey,
                                 &kABAddressCountryKey};
    for (int i = 0; i < 5; ++i) {
      if (i) line += ';';
      if (const std::string* value = address->find(*keys[i])) appendEscapedText(line, *value);
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
    std::string group = beginEntry(writer, "IMPP", entry.label);
    std::string& line = writer.line();
    if (!service.empty()) line += ";X-SERVICE-TYPE=" + encodeParameterValue(instantServiceName(service));
    line += ':';
    line += service.empty() ? "x-apple" : instantServiceScheme(service);
    line += ':';
    appendEscapedText(line, user);
    endEntry(writer, group, entry.label);
  }
}

void writeSocialProfiles(CardWriter& writer, const ABPersonData& person) {
  const ABMultiValue* values = person.multiValue(kABSocialProfileProperty);
  if (!values) return;
  for (const auto& entry : values->entries()) {
    const ABDictionary* item = std::get_if<ABDictionary>(&entry.value);
    if (!item || item->empty()) continue;
    std::string group;
    if (entry.label != kABOtherLabel) group = "item" + std::to_string(writer.nextGroup());
    std::string& line = writer.line();
    if (!group.empty()) line += group + ".";
    line += "X-SOCIALPROFILE";
    if (const std::string* service = item->find(kABSocialProfileServiceKey))
      line += ";TYPE=" + encodeParameterValue(socialServiceType(*service));
    if (const std::string* user = item->find(kABSocialProfileUsernameKey))
      line += ";X-USER=" + encodeParameterValue(*user);
    line += ':';
    if (const std::string* url = item->find(kABSocialProfileURLKey)) appendEscapedText(line, *url);
    endEntry(writer, group, entry.label);
  }
}

std::string displayName(const ABPersonData& person) {
  const std::int64_t* flags = person.integer(kABPersonFlags);
  if (flags && *flags == kABShowAsCompany)
    if (const std::string* org = stringOf(person, kABOrganizationProperty)) return *org;
  std::string name;
  for (const std::string* property :
       {&kABTitleProperty, &kABFirstNameProperty, &kABMiddleNameProperty, &kABLastNameProperty, &kABSuffixProperty}) {
    if (const std::string* part = stringOf(person, *property)) {
      if (!name.empty()) name += ' ';
      name += *part;
    }
  }
  if (name.empty())
    if (const std::string* org = stringOf(person, kABOrganizationProperty)) name = *org;
  return name;
}

const char* imageType(const ABBytes& bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8) return "JPEG";
  if (bytes.size() >= 4 && bytes[0] == 0x89 && bytes[1] == 'P' && bytes[2] == 'N' && bytes[3] == 'G') return "PNG";
  if (bytes.size() >= 3 && bytes[0] == 'G' && bytes[1] == 'I' && bytes[2] == 'F') return "GIF";
  return nullptr;
}

}  // namespace

void appendVCard(const ABPersonData& person, std::string& out) {
  CardWriter writer(out);
  out += "BEGIN:VCARD\r\nVERSION:3.0\r\n";
  std::string& line = writer.line();
  line += "N:";
  bool first = true;
  for (const std::string* property :
       {&kABLastNameProperty, &kABFirstNameProperty, &kABMiddleNameProperty, &kABTitleProperty, &kABSuffixProperty}) {
    if (!first) line += ';';
    first = false;
    appendEscapedText(line, textOf(person, *property));
  }
  writer.endLine();
  line += "FN:";
  appendEscapedText(line, displayName(person));
  writer.endLine();
  writer.text("NICKNAME", textOf(person, kABNicknameProperty));
  writer.text("X-MAIDENNAME", textOf(person, kABMaidenNameProperty));
  writer.text("X-PHONETIC-FIRST-NAME", textOf(person, kABFirstNamePhoneticProperty));
  writer.text("X-PHONETIC-LAST-NAME", textOf(person, kABLastNamePhoneticProperty));
  std::string organization = textOf(person, kABOrganizationProperty);
  std::string department = textOf(person, kABDepartmentProperty);
  if (!organization.empty() || !department.empty()) {
    line += "ORG:";
    appendEscapedText(line, organization);
    if (!department.empty()) {
      line += ';';
      appendEscapedText(line, department);
    }
    writer.endLine();
  }
  writer.text("TITLE", textOf(person, kABJobTitleProperty));
  writeStrings(writer, person, kABEmailProperty, "EMAIL");
  writeStrings(writer, person, kABPhoneProperty, "TEL");
  writeAddresses(writer, person);
  writeStrings(writer, person, kABURLsProperty, "URL");
  writeStrings(writer, person, kABRelatedNamesProperty, "X-ABRELATEDNAMES", true);
  writeInstantMessages(writer, person);
  writeSocialProfiles(writer, person);
  writer.text("NOTE", textOf(person, kABNoteProperty));
  if (const ABDate* birthday = person.date(kABBirthdayProperty)) {
    line += "BDAY";
    if (birthday->year == kBirthdayYearNotKnown) line += ";X-APPLE-OMIT-YEAR=" + std::to_string(kBirthdayYearNotKnown);
    line += ";VALUE=date:" + birthday->toIsoString();
    writer.endLine();
  }
  // Only the value 1 shows a person as a company; any other value is kept as it is.
  if (const std::int64_t* flags = person.integer(kABPersonFlags)) {
    if (*flags == kABShowAsCompany)
      line += "X-ABShowAs:COMPANY";
    else
      line += std::string(kPersonFlagsVCardProperty) + ":" + std::to_string(*flags);
    writer.endLine();
  }
  if (const ABBytes* photo = person.bytes(kABImageDataProperty); photo && !photo->empty()) {
    line += "PHOTO;ENCODING=b";
    if (const char* type = imageType(*photo)) line += std::string(";TYPE=") + type;
    line += ':';
    line += encodeBase64(*photo);
    writer.endLine();
  }
  writer.text("UID", textOf(person, kABUIDProperty));
  out += "END:VCARD\r\n";
}

std::string vCardForPerson(const ABPersonData& person) {
  std::string out;
  appendVCard(person, out);
  return out;
}
