#include "platform/addressbook/vcard/VCardPersonReader.h"

#include <utility>

#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardConventions.h"

namespace {

bool is(std::string_view name, std::string_view expected) {
  return equalsIgnoringCase(name, expected);
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

struct GroupValue {
  std::string_view group;
  std::string value;
};

const std::string* findGroup(const std::vector<GroupValue>& values, std::string_view group) {
  if (group.empty()) return nullptr;
  for (const auto& entry : values)
    if (equalsIgnoringCase(entry.group, group)) return &entry.value;
  return nullptr;
}

void setText(ABPersonData& person, const std::string& property, std::string value) {
  if (!value.empty() && !person.find(property)) person.set(property, std::move(value));
}

struct MultiValues {
  ABMultiValue email, phone, url, related, address, instant, social;
  void storeInto(ABPersonData& person) {
    auto store = [&](ABMultiValue& values, const std::string& property) {
      if (!values.empty()) person.set(property, std::move(values));
    };
    store(email, kABEmailProperty);
    store(phone, kABPhoneProperty);
    store(url, kABURLsProperty);
    store(related, kABRelatedNamesProperty);
    store(address, kABAddressProperty);
    store(instant, kABInstantMessageProperty);
    store(social, kABSocialProfileProperty);
  }
};

void setKey(ABDictionary& dictionary, const std::string& key, std::string value) {
  if (!value.empty()) dictionary.set(key, std::move(value));
}

}  // namespace

bool VCardPersonReader::decodedValue(const VCardCard& card, const VCardLine& line, std::string_view& out,
                                     VCardSyntaxError& error) {
  std::string_view raw = line.value;
  std::string_view bytes = raw;
  if (auto encoding = card.parameter(line, "ENCODING")) {
    if (is(*encoding, "QUOTED-PRINTABLE")) {
      transferDecoded_ = decodeQuotedPrintable(raw);
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
  if (auto charset = card.parameter(line, "CHARSET")) {
    if (!charsets_.toUtf8(bytes, *charset, converted_)) {
      error = {line.lineNumber, "unknown character set " + std::string(*charset) + " in " + std::string(line.name)};
      return false;
    }
    out = converted_;
  } else if (isValidUtf8(bytes)) {
    out = bytes;
  } else {
    converted_ = windows1252ToUtf8(bytes);
    out = converted_;
  }
  return true;
}

bool VCardPersonReader::readCard(const VCardCard& card, ABPersonData& person, VCardSyntaxError& error) {
  // Built in storage kept from card to card, then handed over in storage of its exact size (with
  // room for a unique id the importer may still give it).
  building_.clear();
  if (!readInto(card, building_, error)) return false;
  person = building_.takeCompacted(building_.find(kABUIDProperty) ? 0 : 1);
  return true;
}

bool VCardPersonReader::readInto(const VCardCard& card, ABPersonData& person, VCardSyntaxError& error) {
  std::string_view version;
  for (const auto& line : card.lines)
    if (is(line.name, "VERSION")) version = line.value;
  while (!version.empty() && version.back() == ' ') version.remove_suffix(1);
  if (!version.empty() && version != "2.1" && version != "3.0" && version != "4.0") {
    for (const auto& line : card.lines)
      if (is(line.name, "VERSION")) error = {line.lineNumber, "unsupported vCard version " + std::string(version)};
    return false;
  }
  bool modern = version == "3.0" || version == "4.0";

  std::vector<GroupValue> labels, countryCodes;
  std::string_view text;
  for (const auto& line : card.lines) {
    if (modern) {
      auto encoding = card.parameter(line, "ENCODING");
      if (encoding && is(*encoding, "QUOTED-PRINTABLE")) {
        error = {line.lineNumber,
                 "quoted-printable encoding is not allowed in a vCard " + std::string(version) + " card"};
        return false;
      }
    }
    if (line.group.empty()) continue;
    bool label = is(line.name, "X-ABLabel"), country = is(line.name, "X-ABADR");
    if (!label && !country) continue;
    if (!decodedValue(card, line, text, error)) return false;
    std::string value = unescapeText(text);
    if (value.empty()) continue;
    (label ? labels : countryCodes).push_back({line.group, std::move(value)});
  }

  MultiValues multi;
  bool showAsCompany = false;
  std::optional<std::int64_t> flags;
  std::string note;
  bool haveNote = false;
  for (const auto& line : card.lines) {
    std::string_view name = line.name;
    const std::string* groupLabel = findGroup(labels, line.group);
    auto labelOr = [&](const std::string& fallback) { return groupLabel ? *groupLabel : fallback; };

    if (is(name, "PHOTO")) {
      if (!person.find(kABImageDataProperty)) {
        ABBytes bytes;
        auto encoding = card.parameter(line, "ENCODING");
        std::string_view value = line.value;
        bool inline64 = encoding && (is(*encoding, "B") || is(*encoding, "BASE64"));
        if (!inline64 && startsWithIgnoringCase(value, "data:")) {
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
          if (!bytes.empty()) person.set(kABImageDataProperty, std::move(bytes));
        }
      }
      continue;
    }
    if (is(name, "VERSION") || is(name, "FN") || is(name, "X-ABLabel") || is(name, "X-ABADR")) continue;

    if (!decodedValue(card, line, text, error)) return false;

    if (is(name, "N")) {
      if (person.find(kABFirstNameProperty) || person.find(kABLastNameProperty)) continue;
      splitComponents(text, components_);
      components_.resize(5);
      setText(person, kABLastNameProperty, std::move(components_[0]));
      setText(person, kABFirstNameProperty, std::move(components_[1]));
      setText(person, kABMiddleNameProperty, std::move(components_[2]));
      setText(person, kABTitleProperty, std::move(components_[3]));
      setText(person, kABSuffixProperty, std::move(components_[4]));
    } else if (is(name, "ORG")) {
      if (person.find(kABOrganizationProperty) || person.find(kABDepartmentProperty)) continue;
      splitComponents(text, components_);
      components_.resize(2);
      setText(person, kABOrganizationProperty, std::move(components_[0]));
      setText(person, kABDepartmentProperty, std::move(components_[1]));
    } else if (is(name, "UID")) {
      setText(person, kABUIDProperty, unescapeText(text));
    } else if (is(name, "NICKNAME")) {
      setText(person, kABNicknameProperty, unescapeText(text));
    } else if (is(name, "TITLE")) {
      setText(person, kABJobTitleProperty, unescapeText(text));
    } else if (is(name, "NOTE")) {
      std::string value = unescapeText(text);
      if (value.empty()) continue;
      if (haveNote) note += '\n';
      note += value;
      haveNote = true;
    } else if (is(name, "BDAY")) {
      if (!person.find(kABBirthdayProperty))
        if (auto date = birthdayForValue(unescapeText(text))) person.set(kABBirthdayProperty, *date);
    } else if (is(name, "X-MAIDENNAME")) {
      setText(person, kABMaidenNameProperty, unescapeText(text));
    } else if (is(name, "X-PHONETIC-FIRST-NAME")) {
      setText(person, kABFirstNamePhoneticProperty, unescapeText(text));
    } else if (is(name, "X-PHONETIC-LAST-NAME")) {
      setText(person, kABLastNamePhoneticProperty, unescapeText(text));
    } else if (is(name, "X-ABShowAs")) {
      showAsCompany = showAsCompany || is(unescapeText(text), "COMPANY");
    } else if (is(name, "KIND")) {
      showAsCompany = showAsCompany || is(unescapeText(text), "org");
    } else if (is(name, kPersonFlagsVCardProperty)) {
      std::string value = unescapeText(text);
      char* end = nullptr;
      long long number = std::strtoll(value.c_str(), &end, 10);
      if (!value.empty() && end && *end == '\0') flags = number;
    } else if (is(name, "EMAIL")) {
      std::string value = unescapeText(text);
      if (value.empty()) continue;
      multi.email.addValueWithLabel(std::move(value), labelOr(emailLabelForTypes(card, line)));
    } else if (is(name, "TEL")) {
      std::string value = unescapeText(text);
      if (startsWithIgnoringCase(value, "tel:")) value.erase(0, 4);
      if (value.empty()) continue;
      multi.phone.addValueWithLabel(std::move(value), labelOr(phoneLabelForTypes(card, line)));
    } else if (is(name, "URL")) {
      std::string value = unescapeText(text);
      if (value.empty()) continue;
      multi.url.addValueWithLabel(std::move(value), labelOr(urlLabelForTypes(card, line)));
    } else if (is(name, "ADR")) {
      splitComponents(text, components_);
      components_.resize(7);
      std::string street;
      for (int i = 0; i < 3; ++i) {
        if (components_[i].empty()) continue;
        if (!street.empty()) street += '\n';
        street += components_[i];
      }
      ABDictionary address;
      setKey(address, kABAddressStreetKey, std::move(street));
      setKey(address, kABAddressCityKey, std::move(components_[3]));
      setKey(address, kABAddressStateKey, std::move(components_[4]));
      setKey(address, kABAddressZIPKey, std::move(components_[5]));
      setKey(address, kABAddressCountryKey, std::move(components_[6]));
      if (const std::string* code = findGroup(countryCodes, line.group)) address.set(kABAddressCountryCodeKey, *code);
      if (address.empty()) continue;
      multi.address.addValueWithLabel(std::move(address), labelOr(addressLabelForTypes(card, line)));
    } else if (is(name, "X-ABRELATEDNAMES") || is(name, "RELATED")) {
      std::string value = unescapeText(text);
      if (value.empty()) continue;
      multi.related.addValueWithLabel(std::move(value), labelOr(relatedLabelForTypes(card, line)));
    } else if (const std::string* relatedLabel = relatedLabelForProperty(name)) {
      std::string value = unescapeText(text);
      if (value.empty()) continue;
      multi.related.addValueWithLabel(std::move(value), labelOr(*relatedLabel));
    } else if (is(name, "IMPP")) {
      std::string value = unescapeText(text);
      std::string service;
      if (auto type = card.parameter(line, "X-SERVICE-TYPE"))
        service = instantServiceForName(decodeParameterValue(*type));
      if (auto colon = value.find(':'); colon != std::string::npos) {
        if (service.empty()) service = instantServiceForScheme(std::string_view(value).substr(0, colon));
        value.erase(0, colon + 1);
      }
      if (value.empty()) continue;
      ABDictionary item;
      setKey(item, kABInstantMessageServiceKey, std::move(service));
      item.set(kABInstantMessageUsernameKey, std::move(value));
      multi.instant.addValueWithLabel(std::move(item), labelOr(genericLabelForTypes(card, line)));
    } else if (const std::string* service = instantServiceForProperty(name)) {
      std::string value = unescapeText(text);
      if (value.empty()) continue;
      ABDictionary item;
      item.set(kABInstantMessageServiceKey, *service);
      item.set(kABInstantMessageUsernameKey, std::move(value));
      multi.instant.addValueWithLabel(std::move(item), labelOr(genericLabelForTypes(card, line)));
    } else if (is(name, "X-SOCIALPROFILE")) {
      ABDictionary item;
      setKey(item, kABSocialProfileServiceKey, socialServiceForTypes(card, line));
      if (auto user = card.parameter(line, "X-USER"))
        setKey(item, kABSocialProfileUsernameKey, decodeParameterValue(*user));
      setKey(item, kABSocialProfileURLKey, unescapeText(text));
      if (item.empty()) continue;
      multi.social.addValueWithLabel(std::move(item), labelOr(kABOtherLabel));
    }
  }
  if (haveNote) person.set(kABNoteProperty, std::move(note));
  // X-ABPERSONFLAGS carries the whole value; X-ABShowAs:COMPANY alone sets it to 1.
  if (!flags && showAsCompany) flags = kABShowAsCompany;
  if (flags) person.set(kABPersonFlags, *flags);
  multi.storeInto(person);
  return true;
}
