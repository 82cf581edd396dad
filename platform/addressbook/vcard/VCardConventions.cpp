#include "platform/addressbook/vcard/VCardConventions.h"

#include <utility>

#include "platform/addressbook/ABConstants.h"

namespace {

struct Service {
  const std::string* service;
  std::string_view name;      // X-SERVICE-TYPE
  std::string_view scheme;    // IMPP URI scheme
  std::string_view property;  // X-... property of older exporters
};

const Service kServices[] = {
    {&kABInstantMessageServiceAIM, "AIM", "aim", "X-AIM"},
    {&kABInstantMessageServiceJabber, "Jabber", "xmpp", "X-JABBER"},
    {&kABInstantMessageServiceMSN, "MSN", "msnim", "X-MSN"},
    {&kABInstantMessageServiceYahoo, "Yahoo", "ymsgr", "X-YAHOO"},
    {&kABInstantMessageServiceICQ, "ICQ", "icq", "X-ICQ"},
    {&kABInstantMessageServiceSkype, "Skype", "skype", "X-SKYPE"},
    {&kABInstantMessageServiceQQ, "QQ", "x-apple", "X-QQ"},
    {&kABInstantMessageServiceGoogleTalk, "GoogleTalk", "xmpp", "X-GOOGLE-TALK"},
    {&kABInstantMessageServiceGaduGadu, "GaduGadu", "x-apple", "X-GADUGADU"},
    {&kABInstantMessageServiceFacebook, "Facebook", "xmpp", "X-FACEBOOK"},
};

struct Named {
  std::string_view name;
  const std::string* value;
};

const Named kSocialServices[] = {
    {"twitter", &kABSocialProfileServiceTwitter},   {"facebook", &kABSocialProfileServiceFacebook},
    {"myspace", &kABSocialProfileServiceMySpace},   {"flickr", &kABSocialProfileServiceFlickr},
    {"linkedin", &kABSocialProfileServiceLinkedIn},
};

const Named kRelatedTypes[] = {
    {"father", &kABFatherLabel},       {"mother", &kABMotherLabel},   {"parent", &kABParentLabel},
    {"brother", &kABBrotherLabel},     {"sister", &kABSisterLabel},   {"child", &kABChildLabel},
    {"friend", &kABFriendLabel},       {"spouse", &kABSpouseLabel},   {"partner", &kABPartnerLabel},
    {"assistant", &kABAssistantLabel}, {"manager", &kABManagerLabel},
};

const Named kRelatedProperties[] = {
    {"X-MS-MANAGER", &kABManagerLabel},
    {"X-MS-ASSISTANT", &kABAssistantLabel},
    {"X-MS-SPOUSE", &kABSpouseLabel},
    {"X-EVOLUTION-MANAGER", &kABManagerLabel},
    {"X-EVOLUTION-ASSISTANT", &kABAssistantLabel},
    {"X-EVOLUTION-SPOUSE", &kABSpouseLabel},
    {"X-MANAGER", &kABManagerLabel},
    {"X-ASSISTANT", &kABAssistantLabel},
    {"X-SPOUSE", &kABSpouseLabel},
    {"X-KADDRESSBOOK-X-ManagersName", &kABManagerLabel},
    {"X-KADDRESSBOOK-X-AssistantsName", &kABAssistantLabel},
    {"X-KADDRESSBOOK-X-SpousesName", &kABSpouseLabel},
};

bool eq(std::string_view a, std::string_view b) {
  return equalsIgnoringCase(a, b);
}

// The TYPE values that the labels of e-mail addresses, phones, addresses and URLs depend on.
enum LabelType : unsigned {
  kTypeHome = 1,
  kTypeWork = 2,
  kTypeOther = 4,
  kTypeIPhone = 8,
  kTypeCell = 16,
  kTypeMain = 32,
  kTypeFax = 64,
  kTypePager = 128
};

// The bit of one TYPE value, 0 for a value no label depends on: only names of its length are
// compared.
unsigned labelTypeBit(std::string_view type) {
  switch (type.size()) {
    case 3:
      return eq(type, "FAX") ? kTypeFax : 0u;
    case 4:
      return eq(type, "HOME")   ? kTypeHome
             : eq(type, "WORK") ? kTypeWork
             : eq(type, "CELL") ? kTypeCell
             : eq(type, "MAIN") ? kTypeMain
                                : 0u;
    case 5:
      return eq(type, "OTHER") ? kTypeOther : eq(type, "PAGER") ? kTypePager : 0u;
    case 6:
      return eq(type, "IPHONE") ? kTypeIPhone : 0u;
    default:
      return 0;
  }
}

// Which of those the TYPE parameters of the line list, found in one pass: type & labelTypes(...)
// is what VCardCard::hasType says for each.
unsigned labelTypes(const VCardCard& card, const VCardLine& line) {
  unsigned types = 0;
  for (const auto& parameter : card.parametersOf(line)) {
    if (!eq(parameter.name, "TYPE")) continue;
    std::string_view rest = parameter.value;
    while (true) {
      std::size_t comma = 0;  // lists are short: no library call to find the comma
      while (comma < rest.size() && rest[comma] != ',') ++comma;
      std::string_view type = rest.substr(0, comma);
      while (!type.empty() && (type.front() == ' ' || type.front() == '\t')) type.remove_prefix(1);
      while (!type.empty() && (type.back() == ' ' || type.back() == '\t')) type.remove_suffix(1);
      types |= labelTypeBit(type);
      if (comma == rest.size()) break;
      rest.remove_prefix(comma + 1);
    }
  }
  return types;
}

}  // namespace

std::optional<ABDate> birthdayForValue(std::string_view value) {
  if (value.substr(0, 2) != "--") return ABDate::fromIsoString(value);
  std::string_view monthDay = value.substr(2);
  std::string digits;
  if (monthDay.size() == 5 && monthDay[2] == '-')
    digits = std::string(monthDay.substr(0, 2)) + std::string(monthDay.substr(3, 2));
  else if (monthDay.size() == 4)
    digits = std::string(monthDay);
  else
    return std::nullopt;
  return ABDate::fromIsoString(std::to_string(kBirthdayYearNotKnown) + digits);
}

const std::string& emailLabelForTypes(const VCardCard& card, const VCardLine& line) {
  const unsigned types = labelTypes(card, line);
  if (types & kTypeHome) return kABHomeLabel;
  if (types & kTypeWork) return kABWorkLabel;
  return kABOtherLabel;
}

const std::string& phoneLabelForTypes(const VCardCard& card, const VCardLine& line) {
  const unsigned types = labelTypes(card, line);
  if (types & kTypeIPhone) return kABPhoneiPhoneLabel;
  if (types & kTypeCell) return kABPhoneMobileLabel;
  if (types & kTypeMain) return kABPhoneMainLabel;
  bool fax = types & kTypeFax;
  if (fax && (types & kTypeHome)) return kABPhoneHomeFAXLabel;
  if (fax && (types & kTypeWork)) return kABPhoneWorkFAXLabel;
  if (types & kTypePager) return kABPhonePagerLabel;
  if (types & kTypeWork) return kABWorkLabel;
  if (types & kTypeHome) return kABHomeLabel;
  return kABOtherLabel;
}

const std::string& addressLabelForTypes(const VCardCard& card, const VCardLine& line) {
  return emailLabelForTypes(card, line);
}

const std::string& genericLabelForTypes(const VCardCard& card, const VCardLine& line) {
  return emailLabelForTypes(card, line);
}

// An untyped URL is the home page (what address books show first); TYPE=OTHER is "other".
const std::string& urlLabelForTypes(const VCardCard& card, const VCardLine& line) {
  const unsigned types = labelTypes(card, line);
  if (types & kTypeHome) return kABHomeLabel;
  if (types & kTypeWork) return kABWorkLabel;
  if (types & kTypeOther) return kABOtherLabel;
  return kABHomePageLabel;
}

const std::string& relatedLabelForTypes(const VCardCard& card, const VCardLine& line) {
  for (const auto& type : kRelatedTypes)
    if (card.hasType(line, type.name)) return *type.value;
  return kABOtherLabel;
}

const std::string* relatedLabelForProperty(std::string_view property) {
  for (const auto& entry : kRelatedProperties)
    if (eq(entry.name, property)) return entry.value;
  return nullptr;
}

std::optional<std::string_view> typesForLabel(std::string_view property, const std::string& label) {
  bool email = property == "EMAIL";
  if (property == "TEL") {
    if (label == kABPhoneMobileLabel) return "CELL";
    if (label == kABPhoneiPhoneLabel) return "IPHONE";
    if (label == kABPhoneMainLabel) return "MAIN";
    if (label == kABPhoneHomeFAXLabel) return "HOME,FAX";
    if (label == kABPhoneWorkFAXLabel) return "WORK,FAX";
    if (label == kABPhonePagerLabel) return "PAGER";
  }
  if (property == "URL") {
    if (label == kABHomePageLabel) return "";
    if (label == kABOtherLabel) return "OTHER";
  }
  if (property == "EMAIL" || property == "TEL" || property == "ADR" || property == "URL" || property == "IMPP") {
    if (label == kABHomeLabel) return email ? "INTERNET,HOME" : "HOME";
    if (label == kABWorkLabel) return email ? "INTERNET,WORK" : "WORK";
    if (label == kABOtherLabel) return email ? "INTERNET" : "";
  }
  return std::nullopt;
}

VCardEntryForm entryFormForLabel(std::string_view property, const std::string& label, bool forceGroup) {
  std::optional<std::string_view> types = forceGroup ? std::nullopt : typesForLabel(property, label);
  if (!types && label.empty()) types = property == "EMAIL" ? "INTERNET" : "";
  if (types) return {false, *types};
  return {true, property == "EMAIL" ? "INTERNET" : ""};
}

std::string_view relatedTypeForLabel(const std::string& label) {
  for (const auto& type : kRelatedTypes)
    if (*type.value == label) return type.name;
  return {};
}

std::string_view socialServiceTypeValue(const VCardCard& card, const VCardLine& line) {
  for (const auto& parameter : card.parametersOf(line)) {
    if (!eq(parameter.name, "TYPE")) continue;
    std::string_view value = parameter.value;
    if (eq(value, "PREF") || eq(value, "HOME") || eq(value, "WORK") || eq(value, "OTHER")) continue;
    return value;
  }
  return {};
}

std::string instantServiceForName(std::string_view serviceType) {
  for (const auto& service : kServices)
    if (eq(service.name, serviceType) || eq(*service.service, serviceType)) return *service.service;
  if (eq(serviceType, "GTalk") || eq(serviceType, "Google Talk")) return kABInstantMessageServiceGoogleTalk;
  return std::string(serviceType);
}

const std::string* knownInstantService(std::string_view name) {
  for (const auto& service : kServices)
    if (eq(service.name, name) || eq(*service.service, name)) return service.service;
  return nullptr;
}

std::string instantServiceForScheme(std::string_view scheme) {
  if (eq(scheme, "aim")) return kABInstantMessageServiceAIM;
  if (eq(scheme, "xmpp") || eq(scheme, "jabber")) return kABInstantMessageServiceJabber;
  if (eq(scheme, "msnim") || eq(scheme, "msn")) return kABInstantMessageServiceMSN;
  if (eq(scheme, "ymsgr")) return kABInstantMessageServiceYahoo;
  if (eq(scheme, "icq")) return kABInstantMessageServiceICQ;
  if (eq(scheme, "skype") || eq(scheme, "callto")) return kABInstantMessageServiceSkype;
  if (eq(scheme, "gtalk")) return kABInstantMessageServiceGoogleTalk;
  if (eq(scheme, "qq")) return kABInstantMessageServiceQQ;
  if (eq(scheme, "gg") || eq(scheme, "gadu")) return kABInstantMessageServiceGaduGadu;
  return {};
}

const std::string* instantServiceForProperty(std::string_view property) {
  for (const auto& service : kServices)
    if (eq(service.property, property)) return service.service;
  if (eq(property, "X-SKYPE-USERNAME")) return &kABInstantMessageServiceSkype;
  if (eq(property, "X-GTALK") || eq(property, "X-GOOGLE_TALK")) return &kABInstantMessageServiceGoogleTalk;
  if (eq(property, "X-GADU-GADU")) return &kABInstantMessageServiceGaduGadu;
  return nullptr;
}

std::string instantServiceName(const std::string& service) {
  for (const auto& entry : kServices)
    if (*entry.service == service) return std::string(entry.name);
  return service;
}

std::string instantServiceScheme(const std::string& service) {
  for (const auto& entry : kServices)
    if (*entry.service == service) return std::string(entry.scheme);
  // A service read from a URI scheme of its own ("sip", "matrix") is its scheme again.
  bool scheme =
      !service.empty() && ((service[0] >= 'a' && service[0] <= 'z') || (service[0] >= 'A' && service[0] <= 'Z'));
  for (char c : service)
    scheme = scheme && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
                        c == '-' || c == '.');
  if (!scheme) return "x-apple";
  std::string lower = service;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return lower;
}

std::string socialServiceForTypes(const VCardCard& card, const VCardLine& line) {
  for (const auto& parameter : card.parametersOf(line)) {
    if (!eq(parameter.name, "TYPE")) continue;
    std::string_view value = parameter.value;
    if (eq(value, "PREF") || eq(value, "HOME") || eq(value, "WORK") || eq(value, "OTHER")) continue;
    for (const auto& known : kSocialServices)
      if (eq(known.name, value)) return *known.value;
    return decodeParameterValue(value);
  }
  return {};
}

const std::string& socialLabelForTypes(const VCardCard& card, const VCardLine& line) {
  if (card.hasType(line, "WORK")) return kABWorkLabel;
  return kABHomeLabel;
}

std::string_view socialLabelType(const std::string& label) {
  if (label == kABHomeLabel) return "HOME";
  if (label == kABWorkLabel) return "WORK";
  return {};
}

const std::string* socialServiceForType(std::string_view type) {
  for (const auto& known : kSocialServices)
    if (eq(known.name, type)) return known.value;
  return nullptr;
}

std::string socialUserForURL(std::string_view url) {
  std::string_view path = url;
  if (auto scheme = path.find("://"); scheme != std::string_view::npos) path.remove_prefix(scheme + 3);
  auto slash = path.find('/');
  if (slash == std::string_view::npos) return {};
  path.remove_prefix(slash);
  std::string_view query;
  if (auto mark = path.find_first_of("?#"); mark != std::string_view::npos) {
    query = path.substr(mark + 1);
    path = path.substr(0, mark);
  }
  // profile.php?id=123
  for (std::size_t at = 0; at < query.size();) {
    std::size_t end = query.find('&', at);
    std::string_view item = query.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at);
    if (item.substr(0, 3) == "id=" && item.size() > 3) return std::string(item.substr(3));
    if (end == std::string_view::npos) break;
    at = end + 1;
  }
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  std::string_view user = path.substr(path.rfind('/') + 1);
  if (!user.empty() && user.front() == '@') user.remove_prefix(1);
  return std::string(user);
}

std::string socialServiceType(const std::string& service) {
  for (const auto& known : kSocialServices)
    if (*known.value == service) return std::string(known.name);
  return service;
}

std::string decodeParameterValue(std::string_view value) {
  std::string out;
  out.reserve(value.size());
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '^' && i + 1 < value.size()) {
      char next = value[i + 1];
      if (next == '\'') {
        out += '"';
        ++i;
        continue;
      }
      if (next == 'n') {
        out += '\n';
        ++i;
        continue;
      }
      if (next == '^') {
        out += '^';
        ++i;
        continue;
      }
    }
    out += value[i];
  }
  return out;
}

std::string encodeParameterValue(std::string_view value) {
  // Quoted only where a separator inside would end it (RFC 6350: ',' ';' ':').
  const bool quote = value.find_first_of(",;:") != std::string_view::npos;
  std::string out = quote ? "\"" : "";
  for (char c : value) {
    if (c == '"')
      out += "^'";
    else if (c == '\n')
      out += "^n";
    else if (c == '^')
      out += "^^";
    else if (c != '\r')
      out += c;
  }
  if (quote) out += '"';
  return out;
}
