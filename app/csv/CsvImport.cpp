#include "app/csv/CsvImport.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <stdexcept>

#include "platform/addressbook/ShownName.h"
#include "core/record/ContactRecord.h"
#include "core/record/RecordKeys.h"
#include "platform/addressbook/ABAddressStreet.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABGroups.h"
#include "platform/addressbook/EncodedPersons.h"
#include "platform/addressbook/vcard/VCardText.h"
#include "platform/text/FormulaGuard.h"
#include "platform/threads/ParallelFor.h"

namespace {

using RecordKeys::Family;

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> split(std::string_view text, std::string_view separator) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t at = text.find(separator);
    const std::string_view part = trimmed(text.substr(0, at));
    if (!part.empty()) parts.push_back(part);
    if (at == std::string_view::npos) break;
    text.remove_prefix(at + separator.size());
  }
  return parts;
}

bool number(std::string_view text, int& out) {
  if (text.empty()) return false;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
  return ec == std::errc() && end == text.data() + text.size();
}

// A birthday as the programs write it: ISO ("1980-03-07", "--03-07", with a time after a space or
// T), or three numbers separated by "/", "." or "-": day first with dayFirst (German and French
// Outlook), else month first (English Outlook). A two-digit year is of the 1900s when above the
// present one's last two digits. Outlook's "0/0/00" is no date.
std::optional<ABDate> parseDate(std::string_view text, bool dayFirst) {
  text = trimmed(text);
  if (auto space = text.find(' '); space != std::string_view::npos) text = text.substr(0, space);
  if (auto iso = ContactRecord::dateFromText(text)) return iso;
  int parts[3];
  size_t count = 0;
  for (std::string_view rest = text; count < 3;) {
    const size_t sep = rest.find_first_of("/.-");
    if (!number(rest.substr(0, sep), parts[count])) return std::nullopt;
    ++count;
    if (sep == std::string_view::npos) break;
    rest.remove_prefix(sep + 1);
    if (rest.empty()) break;
  }
  if (count != 3) return std::nullopt;
  ABDate date;
  date.day = dayFirst ? parts[0] : parts[1];
  date.month = dayFirst ? parts[1] : parts[0];
  date.year = parts[2];
  if (date.year < 100) date.year += date.year > 40 ? 1900 : 2000;
  if (!date.isValid()) return std::nullopt;
  return date;
}

// A vCard property name of a heading: "X-" and its letters and digits in upper case, other
// characters as "-".
std::string keptName(std::string_view heading) {
  std::string name = "X-";
  if (heading.size() > 2 && (heading[0] == 'X' || heading[0] == 'x') && heading[1] == '-') heading.remove_prefix(2);
  for (char c : heading) {
    if (c >= 'a' && c <= 'z') c -= 32;
    const bool word = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
    if (word)
      name += c;
    else if (name.back() != '-')
      name += '-';
  }
  while (name.size() > 2 && name.back() == '-') name.pop_back();
  if (name.size() == 2) name += "FIELD";
  return name;
}

const std::string kHeadingParameter = ";X-CSV-HEADING=";

// The services of Google's IM entries.
std::string serviceOf(std::string_view word) {
  static const std::pair<const char*, const std::string*> services[] = {
      {"AIM", &kABInstantMessageServiceAIM},
      {"Google Talk", &kABInstantMessageServiceGoogleTalk},
      {"Yahoo", &kABInstantMessageServiceYahoo},
      {"Skype", &kABInstantMessageServiceSkype},
      {"QQ", &kABInstantMessageServiceQQ},
      {"MSN", &kABInstantMessageServiceMSN},
      {"ICQ", &kABInstantMessageServiceICQ},
      {"Jabber", &kABInstantMessageServiceJabber},
      {"Facebook", &kABInstantMessageServiceFacebook},
      {"Gadu-Gadu", &kABInstantMessageServiceGaduGadu},
  };
  for (auto [name, service] : services)
    if (word == name || word == *service) return *service;
  return std::string(word);
}

// A person's values as a row gives them.
struct Built {
  ABPersonData data;
  ABMultiValue phones, emails, urls, related, social, addresses, instant;
  std::map<std::pair<std::string, int>, size_t> addressAt;  // (group label, n) -> entry
  std::string kept;
  std::vector<std::string> categories;
  std::string displayName;
  std::string birthParts[3];  // year, month, day as written
  std::string keptLines, linesAsRead;

  ABMultiValue& list(const std::string& property) {
    if (property == kABPhoneProperty) return phones;
    if (property == kABEmailProperty) return emails;
    if (property == kABURLsProperty) return urls;
    if (property == kABSocialProfileProperty) return social;
    if (property == kABAddressProperty) return addresses;
    if (property == kABInstantMessageProperty) return instant;
    return related;
  }
  void keep(std::string_view heading, std::string_view value) {
    kept += keptCsvLine(heading, value);
    kept += '\n';
  }
  void setSingle(const std::string& property, std::string_view value) {
    if (const std::string* there = data.string(property))
      data.set(property, *there + "\n" + std::string(value));
    else
      data.set(property, std::string(value));
  }
  ABDictionary& address(const std::string& label, int index) {
    auto [at, isNew] = addressAt.try_emplace({label, index}, addresses.count());
    if (isNew) addresses.addValueWithLabel(ABDictionary{}, label);
    return const_cast<ABDictionary&>(std::get<ABDictionary>(addresses.entries()[at->second].value));
  }
};

// The label an entry of a grouped key's group is stored under.
const std::string& groupLabel(const RecordKeys::RecordKey& key) {
  return key.label ? *key.label : kABOtherLabel;
}

void addKeyValue(Built& built, const CsvField& field, std::string_view heading, std::string_view value, bool dayFirst) {
  if (auto component = addressComponentHeading(field.key)) {
    built.address(*component->label, field.index).set(*component->component, std::string(value));
    return;
  }
  const RecordKeys::RecordKey* key = RecordKeys::find(field.key);
  if (!key || !RecordKeys::isStored(*key)) return built.keep(heading, value);
  switch (key->family) {
    case Family::Single:
      return built.setSingle(*key->property, value);
    case Family::Birthday:
      if (auto date = parseDate(value, dayFirst); date && !built.data.date(*key->property))
        return built.data.set(*key->property, *date);
      return built.keep(heading, value);
    case Family::Labelled:
      built.list(*key->property).addValueWithLabel(std::string(value), groupLabel(*key));
      return;
    case Family::AddressPart: {
      ABDictionary& address = built.address(groupLabel(*key), field.index);
      if (const std::string* there = address.find(*key->part))
        address.set(*key->part, *there + "\n" + std::string(value));
      else
        address.set(*key->part, std::string(value));
      return;
    }
    case Family::Instant:
      built.instant.addValueWithLabel(
          ABDictionary{{kABInstantMessageServiceKey, *key->part}, {kABInstantMessageUsernameKey, std::string(value)}},
          groupLabel(*key));
      return;
    case Family::Social:
      built.social.addValueWithLabel(
          ABDictionary{{kABSocialProfileServiceKey, *key->part}, {kABSocialProfileUsernameKey, std::string(value)}},
          kABHomeLabel);
      return;
    case Family::FullName:
      return;
  }
}

// The cells of one of Google's numbered groups in a row: the group's first field, and each part's
// field with its heading and cell.
struct GoogleGroup {
  const CsvField* field = nullptr;
  struct Part {
    const CsvField* field;
    std::string_view heading, cell;
  };
  std::vector<Part> parts;
  const std::string& name() const { return field->key; }
  int index() const { return field->index; }
  std::string_view cell(std::string_view part) const {
    for (const Part& known : parts)
      if (known.field->part == part) return known.cell;
    return {};
  }
};

void addGoogleGroup(Built& built, const GoogleGroup& group) {
  std::string_view label = group.cell("Label");
  std::string parameters;
  if (label.substr(0, 2) == "* ") {
    label.remove_prefix(2);  // the primary one
    parameters = ";TYPE=pref";
  }
  const std::string storeLabel = label.empty() ? kABOtherLabel : storeLabelOfWord(label);
  auto add = [&](ABMultiValue& list, ABMultiValueItem value, const std::string& entryLabel) {
    list.addEntry({entryLabel, std::move(value), parameters});
  };
  const std::string& name = group.name();
  if (name == "E-mail" || name == "Phone" || name == "Website" || name == "Relation") {
    ABMultiValue& list = name == "E-mail"    ? built.emails
                         : name == "Phone"   ? built.phones
                         : name == "Website" ? built.urls
                                             : built.related;
    for (std::string_view value : split(group.cell("Value"), " ::: ")) add(list, std::string(value), storeLabel);
  } else if (name == "IM") {
    const std::string service = serviceOf(trimmed(group.cell("Service")));
    for (std::string_view value : split(group.cell("Value"), " ::: "))
      add(built.instant,
          ABDictionary{{kABInstantMessageServiceKey, service}, {kABInstantMessageUsernameKey, std::string(value)}},
          storeLabel);
  } else if (name == "Address") {
    static const std::pair<const char*, const std::string*> components[] = {
        {"Street", &kABAddressStreetKey},
        {"City", &kABAddressCityKey},
        {"Region", &kABAddressStateKey},
        {"Postal Code", &kABAddressZIPKey},
        {"Country", &kABAddressCountryKey},
        {"PO Box", &kABAddressPOBoxKey},
        {"Extended Address", &kABAddressExtendedKey}};
    // Several addresses of one label come as " ::: "-joined components, the n-th of each together.
    std::vector<ABDictionary> addresses;
    for (auto [part, key] : components) {
      std::vector<std::string_view> values = split(group.cell(part), " ::: ");
      if (addresses.size() < values.size()) addresses.resize(values.size());
      for (size_t i = 0; i < values.size(); ++i) addresses[i].set(*key, std::string(values[i]));
    }
    // The formatted address only repeats the components; it is the street of an address that has none.
    if (addresses.empty())
      for (std::string_view formatted : split(group.cell("Formatted"), " ::: "))
        addresses.push_back(ABDictionary{{kABAddressStreetKey, std::string(formatted)}});
    for (auto& address : addresses) add(built.addresses, std::move(address), storeLabel);
  } else if (name == "Custom Field" || name == "Event") {
    const std::string_view value = group.cell("Value");
    if (trimmed(value).empty()) return;
    std::string heading = label.empty() ? name + " " + std::to_string(group.index()) : std::string(label);
    if (name == "Event") heading = "Event (" + heading + ")";
    built.keep(heading, value);
  } else {
    for (const auto& part : group.parts)
      if (!trimmed(part.cell).empty()) built.keep(part.heading, part.cell);
  }
}

void appendKeptLines(std::string& kept, std::string_view lines) {
  for (std::string_view line : split(lines, "\n")) {
    kept += line;
    kept += '\n';
  }
}

// Splits a CATEGORIES value at commas not escaped, undoing the escapes.
std::vector<std::string> categoriesOf(std::string_view value) {
  std::vector<std::string> out;
  std::string current;
  for (size_t i = 0; i < value.size(); ++i) {
    if (value[i] == '\\' && i + 1 < value.size()) {
      current += value[i + 1] == 'n' || value[i + 1] == 'N' ? '\n' : value[i + 1];
      ++i;
    } else if (value[i] == ',') {
      out.push_back(std::move(current));
      current.clear();
    } else {
      current += value[i];
    }
  }
  out.push_back(std::move(current));
  return out;
}

}  // namespace

std::string keptCsvLine(std::string_view heading, std::string_view value) {
  std::string line = keptName(heading);
  line += kHeadingParameter;
  line += '"';
  for (char c : heading) line += c == '"' ? '\'' : (c == '\n' || c == '\r') ? ' ' : c;
  line += "\":";
  appendEscapedText(line, value);
  return line;
}

namespace {

// The heading a kept line of a CSV import names, and where its value starts; false for another line.
// The heading is quoted as written, or unquoted as a vCard writer may write it back.
bool parseKeptCsvLine(std::string_view line, std::string& heading, size_t& valueAt) {
  const size_t colon = line.find(':');
  const size_t at = line.find(kHeadingParameter);
  if (at == std::string_view::npos || at > colon) return false;
  size_t from = at + kHeadingParameter.size();
  if (from < line.size() && line[from] == '"') {
    const size_t close = line.find('"', from + 1);
    if (close == std::string_view::npos) return false;
    heading.assign(line.substr(from + 1, close - from - 1));
    from = close + 1;
  } else {
    const size_t stop = line.find_first_of(";:", from);
    if (stop == std::string_view::npos) return false;
    heading.assign(line.substr(from, stop - from));
    from = stop;
  }
  valueAt = line.find(':', from);
  if (valueAt == std::string_view::npos || heading.empty()) return false;
  ++valueAt;
  return true;
}

}  // namespace

std::string keptCsvHeading(std::string_view line) {
  std::string heading;
  size_t valueAt = 0;
  return parseKeptCsvLine(line, heading, valueAt) ? heading : std::string();
}

std::vector<std::pair<std::string, std::string>> keptCsvFields(const ABPersonData& person) {
  std::vector<std::pair<std::string, std::string>> fields;
  const std::string* kept = person.string(kABVCardKeptLinesProperty);
  if (!kept) return fields;
  for (std::string_view line : split(*kept, "\n")) {
    std::string heading;
    size_t valueAt = 0;
    if (parseKeptCsvLine(line, heading, valueAt))
      fields.emplace_back(std::move(heading), unescapeText(line.substr(valueAt)));
  }
  return fields;
}

std::vector<std::string> keptCategories(const ABPersonData& person) {
  std::vector<std::string> categories = ABGroups::categories(person);
  // A store written before groups were known keeps CATEGORIES lines as they came.
  const std::string* kept = person.string(kABVCardKeptLinesProperty);
  if (!kept) return categories;
  for (std::string_view line : split(*kept, "\n")) {
    // "CATEGORIES:", "item1.CATEGORIES;X=y:" in any case.
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    std::string_view name = line.substr(0, std::min(colon, line.find(';')));
    if (auto dot = name.find('.'); dot != std::string_view::npos) name.remove_prefix(dot + 1);
    std::string upper(name);
    for (char& c : upper)
      if (c >= 'a' && c <= 'z') c -= 32;
    if (upper != "CATEGORIES") continue;
    for (std::string& category : categoriesOf(line.substr(colon + 1)))
      if (!category.empty() && std::find(categories.begin(), categories.end(), category) == categories.end())
        categories.push_back(std::move(category));
  }
  return categories;
}

bool CsvImport::open(const std::filesystem::path& path, const CsvImportOptions& options, std::string* error,
                     bool whole) {
  std::ifstream in(path, std::ios::binary);
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  std::string bytes;
  if (in && !ec) {
    bytes.resize(size);
    in.read(bytes.data(), static_cast<std::streamsize>(size));
    bytes.resize(static_cast<size_t>(in.gcount()));
  }
  if (!in && !in.eof()) {
    if (error) *error = path.string() + ": cannot read the file";
    return false;
  }
  return openOwned(std::move(bytes), path.string(), options, error, whole);
}

bool CsvImport::openBytes(std::string_view bytes, const std::string& name, const CsvImportOptions& options,
                          std::string* error) {
  return openOwned(std::string(bytes), name, options, error, true);
}

bool CsvImport::openOwned(std::string bytes, const std::string& name, const CsvImportOptions& options,
                          std::string* error, bool whole) {
  name_ = name;
  if (!table_.read(std::move(bytes), name, options.charset, options.delimiter, error, whole)) return false;
  if (options.profile.empty() || options.profile == "auto") {
    profile_ = detectProfile(table_.headings());
  } else if (auto named = profileNamed(options.profile)) {
    profile_ = *named;
  } else {
    if (error) *error = "unknown profile \"" + options.profile + "\" (auto, google, outlook, thunderbird, rolvane)";
    return false;
  }
  setProfile(profile_);
  for (const auto& [heading, field] : options.map)
    if (!mapHeading(heading, field, error)) return false;
  return true;
}

void CsvImport::setProfile(CsvProfile profile) {
  profile_ = profile;
  language_ = profile == CsvProfile::Outlook ? outlookLanguage(table_.headings()) : "en";
  fields_.clear();
  for (std::string_view heading : table_.headings()) fields_.push_back(fieldOfHeading(profile, heading));
}

bool CsvImport::mapHeading(std::string_view heading, std::string_view name, std::string* error) {
  auto field = fieldNamed(name);
  if (!field) {
    if (error)
      *error = "--map: \"" + std::string(name) +
               "\" is no field (a column name such as \"Home Email\", \"keep\" or \"leave\")";
    return false;
  }
  bool found = false;
  for (size_t column = 0; column < fields_.size(); ++column)
    if (trimmed(table_.headings()[column]) == trimmed(heading)) {
      fields_[column] = *field;
      found = true;
    }
  if (!found && error) *error = "--map: " + name_ + " has no heading \"" + std::string(heading) + "\"";
  return found;
}

bool CsvImport::personOfRow(size_t row, ABPersonData& person, std::string* error) const {
  Built built;
  const bool dayFirst = language_ == "de" || language_ == "fr";
  std::vector<GoogleGroup> groups;
  bool refused = false;
  table_.forEachCell(row, [&](size_t column, std::string_view raw) {
    if (refused || trimmed(raw).empty()) return;
    const std::string_view value = FormulaGuard::unguarded(raw);
    const std::string_view heading = trimmed(table_.headings()[column]);
    const CsvField& field = fields_[column];
    switch (field.kind) {
      case CsvField::Kind::Leave:
        break;
      case CsvField::Kind::Keep:
        built.keep(heading, value);
        break;
      case CsvField::Kind::Key:
        addKeyValue(built, field, heading, value, dayFirst);
        break;
      case CsvField::Kind::Entry:
        if (field.key == kABInstantMessageProperty)
          built.instant.addValueWithLabel(ABDictionary{{kABInstantMessageServiceKey, field.detail},
                                                       {kABInstantMessageUsernameKey, std::string(value)}},
                                          field.part);
        else if (field.key == kABSocialProfileProperty)
          built.social.addValueWithLabel(ABDictionary{{kABSocialProfileServiceKey, field.detail},
                                                      {kABSocialProfileUsernameKey, std::string(value)}},
                                         field.part);
        else
          built.list(field.key).addValueWithLabel(std::string(value), field.part);
        break;
      case CsvField::Kind::Group: {
        GoogleGroup* group = nullptr;
        for (auto& known : groups)
          if (known.index() == field.index && known.name() == field.key) group = &known;
        if (!group) group = &groups.emplace_back(GoogleGroup{&field, {}});
        group->parts.push_back({&field, heading, value});
        break;
      }
      case CsvField::Kind::Categories:
        for (std::string_view category : split(value, field.part.empty() ? "," : field.part))
          built.categories.emplace_back(category);
        break;
      case CsvField::Kind::DisplayName:
        built.displayName = trimmed(value);
        break;
      case CsvField::Kind::BirthPart:
        built.birthParts[field.part == "Year" ? 0 : field.part == "Month" ? 1 : 2] = trimmed(value);
        break;
      case CsvField::Kind::KeptLines:
        // A CATEGORIES line among them (Rolvane's own CSV of every value) is the person's groups.
        for (std::string_view line : split(value, "\n")) {
          if (line.rfind("CATEGORIES:", 0) == 0) {
            for (std::string& category : categoriesOf(line.substr(11))) built.categories.push_back(std::move(category));
            continue;
          }
          appendKeptLines(built.keptLines, line);
        }
        break;
      case CsvField::Kind::LinesAsRead:
        built.linesAsRead += value;
        break;
      case CsvField::Kind::Photo: {
        ABBytes picture;
        if (!decodeBase64(value, picture)) {
          if (error)
            *error = name_ + ":" + std::to_string(table_.lineOf(row)) + ": the photo under \"" + std::string(heading) +
                     "\" is not base64";
          refused = true;
          return;
        }
        built.data.set(kABImageDataProperty, std::move(picture));
        break;
      }
      case CsvField::Kind::ShowAs:
        if (trimmed(value) == "Company")
          built.data.set(kABPersonFlags, static_cast<std::int64_t>(kABShowAsCompany));
        else
          built.keep(heading, value);
        break;
    }
  });
  if (refused) return false;
  for (const GoogleGroup& group : groups) addGoogleGroup(built, group);

  // Thunderbird's birthday in three cells.
  if (!built.birthParts[1].empty() || !built.birthParts[2].empty()) {
    ABDate date;
    const bool year = !built.birthParts[0].empty();
    if (number(built.birthParts[0].empty() ? "1604" : built.birthParts[0], date.year) &&
        number(built.birthParts[1], date.month) && number(built.birthParts[2], date.day) && date.isValid() &&
        !built.data.date(kABBirthdayProperty)) {
      if (!year) date.year = ContactRecord::kYearNotKnown;
      built.data.set(kABBirthdayProperty, date);
    } else {
      for (int part = 0; part < 3; ++part)
        if (!built.birthParts[part].empty())
          built.keep(part == 0 ? "Birth Year" : part == 1 ? "Birth Month" : "Birth Day", built.birthParts[part]);
    }
  } else if (!built.birthParts[0].empty()) {
    built.keep("Birth Year", built.birthParts[0]);
  }

  const std::pair<const std::string*, ABMultiValue*> lists[] = {{&kABPhoneProperty, &built.phones},
                                                                {&kABEmailProperty, &built.emails},
                                                                {&kABURLsProperty, &built.urls},
                                                                {&kABRelatedNamesProperty, &built.related},
                                                                {&kABSocialProfileProperty, &built.social},
                                                                {&kABAddressProperty, &built.addresses},
                                                                {&kABInstantMessageProperty, &built.instant}};
  // The street read is what follows the box and the extended address, shown at its head as a card
  // read gives it.
  for (size_t i = 0; i < built.addresses.count(); ++i) {
    const auto* address = std::get_if<ABDictionary>(&built.addresses.entries()[i].value);
    if (!address || !(address->contains(kABAddressPOBoxKey) || address->contains(kABAddressExtendedKey))) continue;
    ABDictionary folded = *address;
    folded.set(kABAddressStreetKey,
               ABAddressStreet::shown(folded.valueOr(kABAddressPOBoxKey), folded.valueOr(kABAddressExtendedKey),
                                      folded.valueOr(kABAddressStreetKey)));
    built.addresses.replaceValueAtIndex(i, std::move(folded));
  }
  for (auto [property, list] : lists)
    if (!list->empty()) built.data.set(*property, std::move(*list));

  // The name to show gives the names when the file has neither (split at its last space, as a
  // vCard's FN), and is kept when it says more than the name shown.
  if (!built.displayName.empty()) {
    const bool named = built.data.string(kABFirstNameProperty) || built.data.string(kABLastNameProperty);
    const std::string* company = built.data.string(kABOrganizationProperty);
    if (!named && !(company && *company == built.displayName)) {
      const size_t space = built.displayName.rfind(' ');
      if (space == std::string::npos) {
        built.data.set(kABFirstNameProperty, built.displayName);
      } else {
        built.data.set(kABFirstNameProperty, std::string(trimmed(built.displayName.substr(0, space))));
        built.data.set(kABLastNameProperty, built.displayName.substr(space + 1));
      }
    } else if (shownName(built.data) != built.displayName) {
      built.keep("Display Name", built.displayName);
    }
  }

  std::string kept = std::move(built.keptLines);
  // Labels are the groups the person is in.
  if (!built.categories.empty()) {
    ABMultiValue groups;
    std::vector<std::string> names;
    for (const std::string& category : built.categories) {
      const std::string name(trimmed(category));
      if (name.empty() || std::find(names.begin(), names.end(), name) != names.end()) continue;
      names.push_back(name);
      groups.addValueWithLabel(name, std::string());
    }
    if (!groups.empty()) built.data.set(kABCategoriesProperty, std::move(groups));
  }
  kept += built.kept;
  if (!kept.empty()) built.data.set(kABVCardKeptLinesProperty, std::move(kept));
  if (!built.linesAsRead.empty()) built.data.set(kABVCardLinesAsReadProperty, std::move(built.linesAsRead));
  person = std::move(built.data);
  return true;
}

bool CsvImport::persons(std::vector<ABPersonData>& persons, std::string* error) const {
  return personsOfRows(0, rowCount(), persons, error);
}

bool CsvImport::personsOfRows(size_t begin, size_t end, std::vector<ABPersonData>& persons, std::string* error) const {
  const size_t count = end - begin;
  persons.assign(count, {});
  std::mutex failed;
  size_t firstBad = count;
  std::string badError;
  parallelFor(count, 1024, [&](size_t from, size_t to) {
    std::string rowError;
    for (size_t at = from; at < to; ++at) {
      if (personOfRow(begin + at, persons[at], &rowError)) continue;
      std::lock_guard lock(failed);
      if (at < firstBad) {
        firstBad = at;
        badError = rowError;
      }
      return;
    }
  });
  if (firstBad < count) {
    persons.clear();
    if (error) *error = badError;
    return false;
  }
  return true;
}

CsvRowsRefused::CsvRowsRefused(const std::string& error) : std::runtime_error(error) {}

void addCsvBatches(const std::vector<CsvImport*>& imports, const std::function<void(EncodedPersons&)>& add) {
  for (CsvImport* import : imports)
    for (size_t at = 0;; at += ABAddressBook::kPersonsPerBatch) {
      // The rows of the batch are read as it is made, while the store writes the batch before.
      std::string readError;
      if (!import->readRows(at + ABAddressBook::kPersonsPerBatch, &readError)) throw CsvRowsRefused(readError);
      if (at >= import->rowCount()) break;
      const size_t end = std::min(import->rowCount(), at + ABAddressBook::kPersonsPerBatch);
      // Each core encodes a range of the batch; the ranges are joined in order.
      std::mutex joining;
      std::vector<std::pair<size_t, EncodedPersons>> ranges;
      size_t firstBad = end;
      std::string badError;
      parallelFor(end - at, 1024, [&](size_t from, size_t to) {
        EncodedPersons encoded;
        ABPersonData person;
        std::string error;
        for (size_t row = at + from; row < at + to; ++row) {
          if (!import->personOfRow(row, person, &error)) {
            std::lock_guard lock(joining);
            if (row < firstBad) {
              firstBad = row;
              badError = error;
            }
            return;
          }
          encoded.add(person);
        }
        std::lock_guard lock(joining);
        ranges.emplace_back(from, std::move(encoded));
      });
      if (firstBad < end) throw CsvRowsRefused(badError);
      std::sort(ranges.begin(), ranges.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
      EncodedPersons batch = std::move(ranges.front().second);
      for (size_t i = 1; i < ranges.size(); ++i) batch.append(std::move(ranges[i].second));
      add(batch);
    }
}

std::string describeCsvImport(const std::string& fileName, size_t contacts) {
  return "Imported " + std::to_string(contacts) + (contacts == 1 ? " contact" : " contacts") + " from " +
         std::filesystem::path(fileName).filename().string();
}

bool addCsvToAddressBook(ABAddressBook& book, const CsvImport& import, std::vector<ABPersonRef>* added,
                         std::string* error) {
  std::vector<ABPersonData> persons;
  if (!import.persons(persons, error)) return false;
  std::vector<ABPersonRef> made;
  made.reserve(persons.size());
  for (auto& data : persons) made.push_back(std::make_shared<ABPerson>(std::move(data)));
  if (!book.addRecords(made, error)) return false;
  book.setNextChangeDescription(describeCsvImport(import.fileName(), made.size()));
  if (added) *added = std::move(made);
  return true;
}

bool isCsvPath(const std::filesystem::path& path) {
  std::string suffix = path.extension().string();
  for (char& c : suffix)
    if (c >= 'A' && c <= 'Z') c += 32;
  return suffix == ".csv" || suffix == ".tsv" || suffix == ".tab";
}
