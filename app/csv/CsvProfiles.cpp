#include "app/csv/CsvProfiles.h"

#include <algorithm>
#include <charconv>
#include <unordered_map>

#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABConstants.h"

namespace {

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x += 32;
    if (y >= 'A' && y <= 'Z') y += 32;
    if (x != y) return false;
  }
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

CsvField keyField(std::string key, int index = 1) {
  return {CsvField::Kind::Key, std::move(key), {}, index};
}

// "Home Email 2" -> {"Home Email", 2}: a trailing number after a space.
std::pair<std::string_view, int> numbered(std::string_view name) {
  const size_t space = name.rfind(' ');
  if (space == std::string_view::npos || space + 1 == name.size()) return {name, 1};
  int number = 0;
  const auto digits = name.substr(space + 1);
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc() || end != digits.data() + digits.size() || number < 2) return {name, 1};
  return {name.substr(0, space), number};
}

// The list kinds an entry field names, as the dialog and --map write them.
struct EntryKind {
  const char* word;
  const std::string* property;
};
const EntryKind kEntryKinds[] = {{"Phone", &kABPhoneProperty},
                                 {"Email", &kABEmailProperty},
                                 {"URL", &kABURLsProperty},
                                 {"Related Name", &kABRelatedNamesProperty},
                                 {"Instant Message", &kABInstantMessageProperty},
                                 {"Social Profile", &kABSocialProfileProperty}};

bool isAccountList(const std::string& property) {
  return property == kABInstantMessageProperty || property == kABSocialProfileProperty;
}

// "Phone (Car)" -> the phone list under the label "Car"; "Phone (Car) 2" is the same field.
std::optional<CsvField> entryFieldNamed(std::string_view name) {
  name = numbered(name).first;
  const size_t open = name.find(" (");
  if (open == std::string_view::npos || name.back() != ')') return std::nullopt;
  const std::string_view word = name.substr(0, open);
  std::string_view label = name.substr(open + 2, name.size() - open - 3);
  for (const EntryKind& kind : kEntryKinds) {
    if (word != kind.word) continue;
    // An account's list: "(label, service)".
    std::string_view service;
    if (isAccountList(*kind.property)) {
      const size_t comma = label.rfind(", ");
      if (comma == std::string_view::npos) return std::nullopt;
      service = label.substr(comma + 2);
      label = label.substr(0, comma);
      if (service.empty()) return std::nullopt;
    }
    if (label.empty()) return std::nullopt;
    return CsvField{CsvField::Kind::Entry, *kind.property, storeLabelOfWord(label), 1, std::string(service)};
  }
  return std::nullopt;
}

// Google's numbered groups: "E-mail 1 - Value" -> {"E-mail", 1, "Value"}; older files say "Type"
// where newer ones say "Label".
std::optional<CsvField> googleGroupNamed(std::string_view heading) {
  const size_t dash = heading.find(" - ");
  if (dash == std::string_view::npos) return std::nullopt;
  auto [group, index] = numbered(heading.substr(0, dash));
  if (index == 1) {
    const size_t space = group.rfind(' ');
    if (space == std::string_view::npos || group.substr(space + 1) != "1") return std::nullopt;
    group = group.substr(0, space);
  }
  std::string part(heading.substr(dash + 3));
  if (part == "Type") part = "Label";
  for (const auto& [known, parts] : googleGroups())
    if (group == known) return CsvField{CsvField::Kind::Group, known, part, index};
  for (const char* other : {"Organization", "Custom Field", "Event", "Location", "External ID", "Calendar Link", "Jot"})
    if (group == other) return CsvField{CsvField::Kind::Group, other, part, index};
  return std::nullopt;
}

CsvField googleField(std::string_view heading) {
  static const std::unordered_map<std::string_view, const char*> singles = {
      {"First Name", "First Name"},
      {"Given Name", "First Name"},
      {"Middle Name", "Middle Name"},
      {"Additional Name", "Middle Name"},
      {"Last Name", "Last Name"},
      {"Family Name", "Last Name"},
      {"Phonetic First Name", "Phonetic First Name"},
      {"Given Name Yomi", "Phonetic First Name"},
      {"Phonetic Last Name", "Phonetic Last Name"},
      {"Family Name Yomi", "Phonetic Last Name"},
      {"Name Prefix", "Preffix"},
      {"Name Suffix", "Suffix"},
      {"Nickname", "Nickname"},
      {"Maiden Name", "Maiden Name"},
      {"Organization Name", "Company"},
      {"Organization Title", "Job Title"},
      {"Organization Department", "Department"},
      {"Birthday", "Birthday"},
      {"Notes", "Note"},
  };
  if (auto found = singles.find(heading); found != singles.end()) return keyField(found->second);
  if (heading == "Name") return {CsvField::Kind::DisplayName, {}, {}, 1};
  if (heading == "Labels" || heading == "Group Membership") return {CsvField::Kind::Categories, {}, " ::: ", 1};
  if (auto group = googleGroupNamed(heading)) {
    if (group->key == "Organization" && group->index == 1) {
      if (group->part == "Name") return keyField("Company");
      if (group->part == "Title") return keyField("Job Title");
      if (group->part == "Department") return keyField("Department");
    }
    if (group->key == "Organization" || group->key == "Location" || group->key == "External ID" ||
        group->key == "Calendar Link" || group->key == "Jot")
      return {};
    return *group;
  }
  return {};
}

// Outlook's headings in English, German and French, and the field each goes to.
struct OutlookRow {
  const char* en;
  const char* de;
  const char* fr;
  const char* field;  // a field name (fieldNamed), "" to keep
};
const OutlookRow kOutlook[] = {
    {"Title", "Anrede", "Titre", "Preffix"},
    {"First Name", "Vorname", "Prénom", "First Name"},
    {"Middle Name", "Weitere Vornamen", "Deuxième prénom", "Middle Name"},
    {"Last Name", "Nachname", "Nom", "Last Name"},
    {"Suffix", "Suffix", "Suffixe", "Suffix"},
    {"Company", "Firma", "Société", "Company"},
    {"Department", "Abteilung", "Service", "Department"},
    {"Job Title", "Position", "Fonction", "Job Title"},
    {"Business Street", "Straße geschäftlich", "Rue (bureau)", "Work Street"},
    {"Business Street 2", "Straße geschäftlich 2", "Rue (bureau) 2", "Work Street"},
    {"Business Street 3", "Straße geschäftlich 3", "Rue (bureau) 3", "Work Street"},
    {"Business City", "Ort geschäftlich", "Ville (bureau)", "Work City"},
    {"Business State", "Region geschäftlich", "Dép/Région (bureau)", "Work State"},
    {"Business Postal Code", "Postleitzahl geschäftlich", "Code postal (bureau)", "Work ZIP"},
    {"Business Country/Region", "Land/Region geschäftlich", "Pays/Région (bureau)", "Work Country"},
    {"Home Street", "Straße privat", "Rue (domicile)", "Home Street"},
    {"Home Street 2", "Straße privat 2", "Rue (domicile) 2", "Home Street"},
    {"Home Street 3", "Straße privat 3", "Rue (domicile) 3", "Home Street"},
    {"Home City", "Ort privat", "Ville (domicile)", "Home City"},
    {"Home State", "Bundesland/Kanton privat", "Dép/Région (domicile)", "Home State"},
    {"Home Postal Code", "Postleitzahl privat", "Code postal (domicile)", "Home ZIP"},
    {"Home Country/Region", "Land/Region privat", "Pays/Région (domicile)", "Home Country"},
    {"Other Street", "Weitere Straße", "Rue (autre)", "Other Street"},
    {"Other Street 2", "Weitere Straße 2", "Rue (autre) 2", "Other Street"},
    {"Other Street 3", "Weitere Straße 3", "Rue (autre) 3", "Other Street"},
    {"Other City", "Weiterer Ort", "Ville (autre)", "Other City"},
    {"Other State", "Weiteres/r Bundesland/Kanton", "Dép/Région (autre)", "Other State"},
    {"Other Postal Code", "Weitere Postleitzahl", "Code postal (autre)", "Other ZIP"},
    {"Other Country/Region", "Weiteres/r Land/Region", "Pays/Région (autre)", "Other Country"},
    {"Assistant's Phone", "Telefon Assistent", "Téléphone de l'assistant(e)", "Phone (Assistant)"},
    {"Business Fax", "Fax geschäftlich", "Télécopie (bureau)", "Work Fax"},
    {"Business Phone", "Telefon geschäftlich", "Téléphone (bureau)", "Work Phone"},
    {"Business Phone 2", "Telefon geschäftlich 2", "Téléphone 2 (bureau)", "Work Phone"},
    {"Callback", "Rückmeldung", "Rappel", "Phone (Callback)"},
    {"Car Phone", "Autotelefon", "Téléphone (voiture)", "Phone (Car)"},
    {"Company Main Phone", "Telefon Firma", "Téléphone société", "Phone (Company Main)"},
    {"Home Fax", "Fax privat", "Télécopie (domicile)", "Home Fax"},
    {"Home Phone", "Telefon privat", "Téléphone (domicile)", "Home Phone"},
    {"Home Phone 2", "Telefon privat 2", "Téléphone 2 (domicile)", "Home Phone"},
    {"ISDN", "ISDN", "RNIS", "Phone (ISDN)"},
    {"Mobile Phone", "Mobiltelefon", "Tél. mobile", "Mobile"},
    {"Other Fax", "Weiteres Fax", "Télécopie (autre)", "Phone (Other Fax)"},
    {"Other Phone", "Weiteres Telefon", "Téléphone (autre)", "Phone (Other)"},
    {"Pager", "Pager", "Récepteur de radiomessagerie", "Pager"},
    {"Primary Phone", "Haupttelefon", "Téléphone principal", "Main Phone"},
    {"Radio Phone", "Funkruf", "Radiotéléphone", "Phone (Radio)"},
    {"TTY/TDD Phone", "Telefon für Hörbehinderte", "Téléphone TDD/TTY", "Phone (TTY/TDD)"},
    {"Telex", "Telex", "Télex", "Phone (Telex)"},
    {"Account", "Konto", "Compte", ""},
    {"Anniversary", "Jahrestag", "Anniversaire de mariage ou fête", ""},
    {"Assistant's Name", "Name Assistent", "Nom de l'assistant(e)", "Assistant"},
    {"Billing Information", "Abrechnungsinformation", "Informations facturation", ""},
    {"Birthday", "Geburtstag", "Anniversaire", "Birthday"},
    {"Business Address PO Box", "Postfach geschäftlich", "B.P. professionnelle", "Work PO Box"},
    {"Categories", "Kategorien", "Catégories", "categories"},
    {"Children", "Kinder", "Enfants", "Child"},
    {"Directory Server", "Verzeichnisserver", "Serveur d'annuaire", ""},
    {"E-mail Address", "E-Mail-Adresse", "Adresse de messagerie", "Other Email"},
    {"E-mail Type", "E-Mail-Typ", "Type de messagerie", "leave"},
    {"E-mail Display Name", "E-Mail: Angezeigter Name", "Nom complet de l'adresse de messagerie", "leave"},
    {"E-mail 2 Address", "E-Mail 2: Adresse", "Adresse de messagerie 2", "Other Email"},
    {"E-mail 2 Type", "E-Mail 2: Typ", "Type de messagerie 2", "leave"},
    {"E-mail 2 Display Name", "E-Mail 2: Angezeigter Name", "Nom complet de l'adresse de messagerie 2", "leave"},
    {"E-mail 3 Address", "E-Mail 3: Adresse", "Adresse de messagerie 3", "Other Email"},
    {"E-mail 3 Type", "E-Mail 3: Typ", "Type de messagerie 3", "leave"},
    {"E-mail 3 Display Name", "E-Mail 3: Angezeigter Name", "Nom complet de l'adresse de messagerie 3", "leave"},
    {"Gender", "Geschlecht", "Sexe", ""},
    {"Government ID Number", "Regierungs-Nr.", "Numéro d'identification du gouvernement", ""},
    {"Hobby", "Hobby", "Passe-temps", ""},
    {"Home Address PO Box", "Postfach privat", "B.P. personnelle", "Home PO Box"},
    {"Initials", "Initialen", "Initiales", ""},
    {"Internet Free Busy", "Internet-Frei/Gebucht", "Disponibilité Internet", ""},
    {"Keywords", "Stichwörter", "Mots clés", ""},
    {"Language", "Sprache", "Langue", ""},
    {"Location", "Ort", "Emplacement", ""},
    {"Manager's Name", "Name des/der Vorgesetzten", "Nom du manager", "Manager"},
    {"Mileage", "Reisekilometer", "Kilométrage", ""},
    {"Notes", "Notizen", "Notes", "Note"},
    {"Office Location", "Büro", "Bureau", ""},
    {"Organizational ID Number", "Organisations-Nr.", "Numéro d'identification de l'organisation", ""},
    {"Other Address PO Box", "Weiteres Postfach", "B.P. autre", "Other PO Box"},
    {"Priority", "Priorität", "Priorité", ""},
    {"Private", "Privat", "Privé", ""},
    {"Profession", "Beruf", "Profession", ""},
    {"Referred By", "Empfohlen von", "Recommandé par", ""},
    {"Sensitivity", "Vertraulichkeit", "Critère de diffusion", ""},
    {"Spouse", "Partner", "Conjoint(e)", "Spouse"},
    {"User 1", "Benutzer 1", "Utilisateur 1", ""},
    {"User 2", "Benutzer 2", "Utilisateur 2", ""},
    {"User 3", "Benutzer 3", "Utilisateur 3", ""},
    {"User 4", "Benutzer 4", "Utilisateur 4", ""},
    {"Web Page", "Webseite", "Page Web", "Home Page"},
};

const OutlookRow* outlookRowOf(std::string_view heading) {
  static const auto index = [] {
    std::unordered_map<std::string_view, const OutlookRow*> map;
    for (const OutlookRow& row : kOutlook)
      for (const char* name : {row.en, row.de, row.fr}) map.emplace(name, &row);
    return map;
  }();
  auto found = index.find(heading);
  return found == index.end() ? nullptr : found->second;
}

CsvField fieldOfName(const char* name) {
  if (!*name) return {};
  if (std::string_view(name) == "categories") return {CsvField::Kind::Categories, {}, ";", 1};
  return fieldNamed(name).value_or(CsvField{});
}

CsvField outlookField(std::string_view heading) {
  const OutlookRow* row = outlookRowOf(heading);
  return row ? fieldOfName(row->field) : CsvField{};
}

CsvField thunderbirdField(std::string_view heading) {
  static const std::unordered_map<std::string_view, const char*> fields = {
      {"First Name", "First Name"},       {"Last Name", "Last Name"},
      {"Nickname", "Nickname"},           {"Primary Email", "Other Email"},
      {"Secondary Email", "Other Email"}, {"Work Phone", "Work Phone"},
      {"Home Phone", "Home Phone"},       {"Fax Number", "Work Fax"},
      {"Pager Number", "Pager"},          {"Mobile Number", "Mobile"},
      {"Home Address", "Home Street"},    {"Home Address 2", "Home Street"},
      {"Home City", "Home City"},         {"Home State", "Home State"},
      {"Home ZipCode", "Home ZIP"},       {"Home Country", "Home Country"},
      {"Work Address", "Work Street"},    {"Work Address 2", "Work Street"},
      {"Work City", "Work City"},         {"Work State", "Work State"},
      {"Work ZipCode", "Work ZIP"},       {"Work Country", "Work Country"},
      {"Job Title", "Job Title"},         {"Department", "Department"},
      {"Organization", "Company"},        {"Web Page 1", "Work URL"},
      {"Web Page 2", "Home URL"},         {"Notes", "Note"},
  };
  if (auto found = fields.find(heading); found != fields.end()) return fieldOfName(found->second);
  if (heading == "Display Name") return {CsvField::Kind::DisplayName, {}, {}, 1};
  if (heading == "Birth Year") return {CsvField::Kind::BirthPart, {}, "Year", 1};
  if (heading == "Birth Month") return {CsvField::Kind::BirthPart, {}, "Month", 1};
  if (heading == "Birth Day") return {CsvField::Kind::BirthPart, {}, "Day", 1};
  return {};
}

CsvField rolvaneField(std::string_view heading) {
  if (heading == "FullName") return {CsvField::Kind::Leave, {}, {}, 1};
  if (auto field = fieldNamed(heading)) {
    if (field->kind != CsvField::Kind::Keep && field->kind != CsvField::Kind::Leave &&
        field->kind != CsvField::Kind::Group && field->kind != CsvField::Kind::Categories &&
        field->kind != CsvField::Kind::DisplayName && field->kind != CsvField::Kind::BirthPart)
      return *field;
  }
  return {};
}

}  // namespace

std::string profileName(CsvProfile profile) {
  switch (profile) {
    case CsvProfile::Google:
      return "google";
    case CsvProfile::Outlook:
      return "outlook";
    case CsvProfile::Thunderbird:
      return "thunderbird";
    case CsvProfile::Rolvane:
      break;
  }
  return "rolvane";
}

std::optional<CsvProfile> profileNamed(std::string_view name) {
  for (CsvProfile profile : {CsvProfile::Google, CsvProfile::Outlook, CsvProfile::Thunderbird, CsvProfile::Rolvane})
    if (equalsIgnoringCase(name, profileName(profile))) return profile;
  return std::nullopt;
}

CsvField fieldOfHeading(CsvProfile profile, std::string_view heading) {
  heading = trimmed(heading);
  switch (profile) {
    case CsvProfile::Google:
      return googleField(heading);
    case CsvProfile::Outlook:
      return outlookField(heading);
    case CsvProfile::Thunderbird:
      return thunderbirdField(heading);
    case CsvProfile::Rolvane:
      break;
  }
  return rolvaneField(heading);
}

size_t knownHeadings(CsvProfile profile, const std::vector<std::string_view>& headings) {
  size_t known = 0;
  for (std::string_view heading : headings) {
    heading = trimmed(heading);
    bool knows = false;
    switch (profile) {
      case CsvProfile::Google:
        knows = googleField(heading).kind != CsvField::Kind::Keep || googleGroupNamed(heading) || heading == "Photo" ||
                heading == "File As";
        break;
      case CsvProfile::Outlook:
        knows = outlookRowOf(heading) != nullptr;
        break;
      case CsvProfile::Thunderbird:
        knows = thunderbirdField(heading).kind != CsvField::Kind::Keep || heading == "Screen Name" ||
                heading.substr(0, 7) == "Custom ";
        break;
      case CsvProfile::Rolvane:
        knows = heading == "FullName" || rolvaneField(heading).kind != CsvField::Kind::Keep;
        break;
    }
    known += knows;
  }
  return known;
}

CsvProfile detectProfile(const std::vector<std::string_view>& headings) {
  CsvProfile best = CsvProfile::Rolvane;
  size_t bestKnown = 0;
  // On a tie the program whose headings are most its own wins: Rolvane's and Thunderbird's share
  // "First Name" and the like with the others.
  for (CsvProfile profile : {CsvProfile::Rolvane, CsvProfile::Google, CsvProfile::Thunderbird, CsvProfile::Outlook}) {
    const size_t known = knownHeadings(profile, headings);
    if (known > bestKnown) {
      best = profile;
      bestKnown = known;
    }
  }
  return best;
}

std::string outlookLanguage(const std::vector<std::string_view>& headings) {
  size_t de = 0, fr = 0, en = 0;
  for (std::string_view heading : headings) {
    const OutlookRow* row = outlookRowOf(trimmed(heading));
    if (!row) continue;
    const std::string_view h = trimmed(heading);
    en += h == row->en;
    de += h == row->de && h != row->en;
    fr += h == row->fr && h != row->en;
  }
  if (de > en && de >= fr) return "de";
  if (fr > en && fr > de) return "fr";
  return "en";
}

std::string fieldName(const CsvField& field) {
  switch (field.kind) {
    case CsvField::Kind::Leave:
      return "leave";
    case CsvField::Kind::Keep:
      return "keep";
    case CsvField::Kind::Key:
      return field.index > 1 ? field.key + " " + std::to_string(field.index) : field.key;
    case CsvField::Kind::Entry:
      for (const EntryKind& kind : kEntryKinds)
        if (field.key == *kind.property)
          return std::string(kind.word) + " (" + wordOfStoreLabel(field.part) +
                 (field.detail.empty() ? "" : ", " + field.detail) + ")";
      return "keep";
    case CsvField::Kind::Group:
      return field.key + " " + std::to_string(field.index) + " - " + field.part;
    case CsvField::Kind::Categories:
      return "categories";
    case CsvField::Kind::DisplayName:
      return "display name";
    case CsvField::Kind::BirthPart:
      return "birth " + std::string(field.part == "Year" ? "year" : field.part == "Month" ? "month" : "day");
    case CsvField::Kind::KeptLines:
      return "vCard Kept Lines";
    case CsvField::Kind::LinesAsRead:
      return "vCard Lines As Read";
    case CsvField::Kind::Photo:
      return "Photo";
    case CsvField::Kind::ShowAs:
      return "Show As";
  }
  return "keep";
}

namespace {

const std::pair<const char*, const std::string*> kAddressGroups[] = {
    {"Home", &kABHomeLabel}, {"Work", &kABWorkLabel}, {"Other", &kABOtherLabel}};
const std::pair<const char*, const std::string*> kAddressComponents[] = {{"PO Box", &kABAddressPOBoxKey},
                                                                         {"Extended Address", &kABAddressExtendedKey}};

}  // namespace

std::optional<AddressComponentHeading> addressComponentHeading(std::string_view key) {
  for (auto [group, label] : kAddressGroups)
    for (auto [part, component] : kAddressComponents)
      if (key == std::string(group) + " " + part) return AddressComponentHeading{label, component};
  return std::nullopt;
}

std::string addressComponentHeadingOf(const std::string& label, const std::string& component) {
  const char* group = label == kABHomeLabel ? "Home" : label == kABWorkLabel ? "Work" : "Other";
  for (auto [part, key] : kAddressComponents)
    if (*key == component) return std::string(group) + " " + part;
  return {};
}

std::optional<CsvField> fieldNamed(std::string_view name) {
  name = trimmed(name);
  if (equalsIgnoringCase(name, "keep")) return CsvField{};
  if (equalsIgnoringCase(name, "leave") || equalsIgnoringCase(name, "skip"))
    return CsvField{CsvField::Kind::Leave, {}, {}, 1};
  if (equalsIgnoringCase(name, "categories")) return CsvField{CsvField::Kind::Categories, {}, ",", 1};
  if (equalsIgnoringCase(name, "display name")) return CsvField{CsvField::Kind::DisplayName, {}, {}, 1};
  for (const char* part : {"Year", "Month", "Day"})
    if (equalsIgnoringCase(name, std::string("birth ") + part)) return CsvField{CsvField::Kind::BirthPart, {}, part, 1};
  if (name == "vCard Kept Lines") return CsvField{CsvField::Kind::KeptLines, {}, {}, 1};
  if (name == "vCard Lines As Read") return CsvField{CsvField::Kind::LinesAsRead, {}, {}, 1};
  if (name == "Photo") return CsvField{CsvField::Kind::Photo, {}, {}, 1};
  if (name == "Show As") return CsvField{CsvField::Kind::ShowAs, {}, {}, 1};
  if (const auto* key = RecordKeys::find(name); key && RecordKeys::isStored(*key)) return keyField(key->key);
  if (auto [base, index] = numbered(name); index > 1)
    if (const auto* key = RecordKeys::find(base); key && RecordKeys::isStored(*key)) return keyField(key->key, index);
  if (auto [base, index] = numbered(name); addressComponentHeading(base)) return keyField(std::string(base), index);
  if (auto entry = entryFieldNamed(name)) return entry;
  if (auto group = googleGroupNamed(name)) return group;
  return std::nullopt;
}

const std::vector<std::string>& chosenFieldNames() {
  static const std::vector<std::string> names = [] {
    std::vector<std::string> list;
    for (const auto& key : RecordKeys::all())
      if (RecordKeys::isStored(key)) list.push_back(key.key);
    for (const char* other : {"Phone (Other)", "URL (Other)", "categories", "display name"}) list.push_back(other);
    return list;
  }();
  return names;
}

const std::vector<std::string>& outlookHeadings() {
  static const std::vector<std::string> headings = [] {
    std::vector<std::string> list;
    for (const OutlookRow& row : kOutlook) list.push_back(row.en);
    return list;
  }();
  return headings;
}

const std::vector<std::string>& googleLeadingHeadings() {
  static const std::vector<std::string> headings = {"First Name",
                                                    "Middle Name",
                                                    "Last Name",
                                                    "Phonetic First Name",
                                                    "Phonetic Middle Name",
                                                    "Phonetic Last Name",
                                                    "Name Prefix",
                                                    "Name Suffix",
                                                    "Nickname",
                                                    "File As",
                                                    "Organization Name",
                                                    "Organization Title",
                                                    "Organization Department",
                                                    "Birthday",
                                                    "Notes",
                                                    "Photo",
                                                    "Labels"};
  return headings;
}

const std::vector<std::pair<std::string, std::vector<std::string>>>& googleGroups() {
  static const std::vector<std::pair<std::string, std::vector<std::string>>> groups = {
      {"E-mail", {"Label", "Value"}},
      {"Phone", {"Label", "Value"}},
      {"Address",
       {"Label", "Formatted", "Street", "City", "PO Box", "Region", "Postal Code", "Country", "Extended Address"}},
      {"Website", {"Label", "Value"}},
      {"Relation", {"Label", "Value"}},
      {"IM", {"Label", "Service", "Value"}},
      {"Custom Field", {"Label", "Value"}},
  };
  return groups;
}

namespace {

struct LabelWord {
  const std::string* label;
  const char* word;
};
const LabelWord kLabelWords[] = {
    {&kABHomeLabel, "Home"},
    {&kABWorkLabel, "Work"},
    {&kABOtherLabel, "Other"},
    {&kABHomePageLabel, "Home Page"},
    {&kABPhoneMobileLabel, "Mobile"},
    {&kABPhoneMainLabel, "Main"},
    {&kABPhoneHomeFAXLabel, "Home Fax"},
    {&kABPhoneWorkFAXLabel, "Work Fax"},
    {&kABPhonePagerLabel, "Pager"},
    {&kABFatherLabel, "Father"},
    {&kABMotherLabel, "Mother"},
    {&kABParentLabel, "Parent"},
    {&kABBrotherLabel, "Brother"},
    {&kABSisterLabel, "Sister"},
    {&kABChildLabel, "Child"},
    {&kABFriendLabel, "Friend"},
    {&kABSpouseLabel, "Spouse"},
    {&kABPartnerLabel, "Partner"},
    {&kABAssistantLabel, "Assistant"},
    {&kABManagerLabel, "Manager"},
};

}  // namespace

std::string storeLabelOfWord(std::string_view word) {
  word = trimmed(word);
  for (const LabelWord& known : kLabelWords)
    if (equalsIgnoringCase(word, known.word)) return *known.label;
  if (equalsIgnoringCase(word, "Business")) return kABWorkLabel;
  if (equalsIgnoringCase(word, "HomePage")) return kABHomePageLabel;
  if (equalsIgnoringCase(word, "Domestic Partner")) return kABPartnerLabel;
  return std::string(word);
}

std::string wordOfStoreLabel(std::string_view label) {
  for (const LabelWord& known : kLabelWords)
    if (label == *known.label) return known.word;
  if (label.size() > 8 && label.substr(0, 4) == "_$!<" && label.substr(label.size() - 4) == ">!$_")
    return std::string(label.substr(4, label.size() - 8));
  return std::string(label);
}
