#include "app/export/ExportPersonCSV.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <unordered_map>

#include "app/csv/CsvImport.h"
#include "app/csv/CsvProfiles.h"
#include "app/export/BlockFile.h"
#include "app/export/ExportCSV.h"
#include "app/export/RecordPersonData.h"
#include "app/model/RecordEntries.h"
#include "platform/addressbook/ShownName.h"
#include "core/record/AllInfoColumns.h"
#include "core/record/RecordKeys.h"
#include "frameworks/common/OutputFile.h"
#include "platform/addressbook/ABAddressStreet.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/vcard/VCardText.h"

namespace {

using RecordKeys::Family;
using RecordKeys::RecordKey;
using Cells = std::vector<std::pair<std::string, std::string>>;  // heading -> value, in order

std::string dateText(const ABDate& date) {
  return ContactRecord::dateText(date);
}

// The name a person is shown under where a table names it: first and last name joined as the
// record's "FullName" joins them, or, when one is missing, the name the window shows.
std::string fullNameOf(const ABPersonData& person) {
  const std::string* first = person.string(kABFirstNameProperty);
  const std::string* last = person.string(kABLastNameProperty);
  if (first && last && !first->empty() && !last->empty()) return *first + *last;
  return shownName(person);
}

// The record keys of each list property, in table order.
const std::map<std::string, std::vector<const RecordKey*>>& keysOfLists() {
  static const auto keys = [] {
    std::map<std::string, std::vector<const RecordKey*>> map;
    for (const RecordKey& key : RecordKeys::all())
      if (key.property && key.family != Family::Single && key.family != Family::Birthday)
        map[*key.property].push_back(&key);
    return map;
  }();
  return keys;
}

const char* entryWordOf(const std::string& property) {
  if (property == kABPhoneProperty) return "Phone";
  if (property == kABEmailProperty) return "Email";
  if (property == kABURLsProperty) return "URL";
  if (property == kABRelatedNamesProperty) return "Related Name";
  return nullptr;
}

std::string numberedHeading(const std::string& heading, int n) {
  return n > 1 ? heading + " " + std::to_string(n) : heading;
}

// Every value of a person under the heading an import reads it back from (photos in base64; a social
// profile's user name, not its address).
Cells everyValueCells(const ABPersonData& person) {
  Cells cells;
  for (const RecordKey& key : RecordKeys::all()) {
    if (key.family == Family::FullName) {
      cells.emplace_back(key.key, fullNameOf(person));
    } else if (key.family == Family::Single) {
      if (const std::string* text = person.string(*key.property)) cells.emplace_back(key.key, *text);
    } else if (key.family == Family::Birthday) {
      if (const ABDate* date = person.date(*key.property)) cells.emplace_back(key.key, dateText(*date));
    }
  }
  for (const auto& [property, keys] : keysOfLists()) {
    const ABMultiValue* list = person.multiValue(property);
    if (!list) continue;
    std::map<std::string, int> counts;
    for (const auto& entry : list->entries()) {
      bool shown = false;
      for (const RecordKey* key : keys) {
        if (!RecordEntries::showsKey(*key, entry)) continue;
        const std::string& value = RecordEntries::shownValue(*key, entry);
        shown = true;
        if (key->family == Family::AddressPart) {
          // One number for the whole address: the n-th address of its group.
          const std::string group = "address " + std::string(key->key.substr(0, key->key.find(' ')));
          const int n = counts[group] + 1;
          if (key->part != &kABAddressStreetKey) {
            cells.emplace_back(numberedHeading(key->key, n), value);
            continue;
          }
          // The street without the box and the extended address, which have columns of their own.
          const ABAddressStreet::Parts parts = ABAddressStreet::partsOf(std::get<ABDictionary>(entry.value));
          cells.emplace_back(numberedHeading(key->key, n), std::string(parts.street));
          for (auto [component, text] :
               {std::pair{&kABAddressPOBoxKey, parts.poBox}, {&kABAddressExtendedKey, parts.extended}})
            if (!text.empty())
              cells.emplace_back(numberedHeading(addressComponentHeadingOf(*key->label, *component), n),
                                 std::string(text));
          continue;
        }
        cells.emplace_back(numberedHeading(key->key, ++counts[key->key]), value);
        break;
      }
      if (shown) {
        for (const RecordKey* key : keys)
          if (key->family == Family::AddressPart && RecordEntries::showsKey(*key, entry)) {
            ++counts["address " + std::string(key->key.substr(0, key->key.find(' ')))];
            break;
          }
        continue;
      }
      // An account of a service, or under a label, that no heading names: "(label, service)".
      if (const auto* account = std::get_if<ABDictionary>(&entry.value)) {
        const bool instant = property == kABInstantMessageProperty;
        if (!instant && property != kABSocialProfileProperty) continue;
        const std::string service =
            account->valueOr(instant ? kABInstantMessageServiceKey : kABSocialProfileServiceKey);
        const std::string user = account->valueOr(instant ? kABInstantMessageUsernameKey : kABSocialProfileUsernameKey);
        if (service.empty() || user.empty()) continue;
        const std::string heading = std::string(instant ? "Instant Message" : "Social Profile") + " (" +
                                    wordOfStoreLabel(entry.label) + ", " + service + ")";
        cells.emplace_back(numberedHeading(heading, ++counts[heading]), user);
        continue;
      }
      const char* word = entryWordOf(property);
      if (!word) continue;
      const std::string heading = std::string(word) + " (" + wordOfStoreLabel(entry.label) + ")";
      cells.emplace_back(numberedHeading(heading, ++counts[heading]), std::get<std::string>(entry.value));
    }
  }
  if (const ABBytes* picture = person.bytes(kABImageDataProperty)) cells.emplace_back("Photo", encodeBase64(*picture));
  if (const std::int64_t* flags = person.integer(kABPersonFlags); flags && (*flags & kABShowAsCompany))
    cells.emplace_back("Show As", "Company");
  // The groups of the person by name, as the vCard line an import of this file reads them from.
  std::string categories;
  if (const ABMultiValue* groups = person.multiValue(kABCategoriesProperty))
    for (const auto& entry : groups->entries())
      if (const std::string* name = std::get_if<std::string>(&entry.value); name && !name->empty()) {
        categories += categories.empty() ? "CATEGORIES:" : ",";
        appendEscapedText(categories, *name);
      }
  if (!categories.empty() && !person.string(kABVCardKeptLinesProperty))
    cells.emplace_back("vCard Kept Lines", categories + "\n");
  if (const std::string* kept = person.string(kABVCardKeptLinesProperty)) {
    std::string vcard = categories.empty() ? std::string() : categories + "\n";
    std::map<std::string, int> counts;
    for (size_t at = 0; at < kept->size();) {
      size_t end = kept->find('\n', at);
      if (end == std::string::npos) end = kept->size();
      const std::string_view line(kept->data() + at, end - at);
      at = end + 1;
      if (line.empty()) continue;
      if (std::string heading = keptCsvHeading(line); !heading.empty()) {
        ABPersonData one;
        one.set(kABVCardKeptLinesProperty, std::string(line));
        for (auto& [name, value] : keptCsvFields(one)) cells.emplace_back(name, std::move(value));
      } else {
        vcard += line;
        vcard += '\n';
      }
    }
    if (!vcard.empty()) cells.emplace_back("vCard Kept Lines", std::move(vcard));
  }
  if (const std::string* asRead = person.string(kABVCardLinesAsReadProperty))
    cells.emplace_back("vCard Lines As Read", *asRead);
  return cells;
}

// --- Google ---

std::string googleServiceOf(const std::string& service) {
  static const std::unordered_map<std::string, std::string> words = {
      {kABInstantMessageServiceAIM, "AIM"},
      {kABInstantMessageServiceGoogleTalk, "Google Talk"},
      {kABInstantMessageServiceYahoo, "Yahoo"},
      {kABInstantMessageServiceSkype, "Skype"},
      {kABInstantMessageServiceQQ, "QQ"},
      {kABInstantMessageServiceMSN, "MSN"},
      {kABInstantMessageServiceICQ, "ICQ"},
      {kABInstantMessageServiceJabber, "Jabber"},
      {kABInstantMessageServiceFacebook, "Facebook"},
      {kABInstantMessageServiceGaduGadu, "Gadu-Gadu"}};
  auto found = words.find(service);
  return found == words.end() ? service : found->second;
}

struct GoogleRow {
  std::unordered_map<std::string, std::string> leading;
  // Per group (in googleGroups() order): the entries, each its parts' values in the group's order.
  std::vector<std::vector<std::vector<std::string>>> groups;
};

GoogleRow googleRowOf(const ABPersonData& person) {
  GoogleRow row;
  auto single = [&](const char* heading, const std::string& property) {
    if (const std::string* text = person.string(property)) row.leading[heading] = *text;
  };
  single("First Name", kABFirstNameProperty);
  single("Middle Name", kABMiddleNameProperty);
  single("Last Name", kABLastNameProperty);
  single("Phonetic First Name", kABFirstNamePhoneticProperty);
  single("Phonetic Last Name", kABLastNamePhoneticProperty);
  single("Name Prefix", kABTitleProperty);
  single("Name Suffix", kABSuffixProperty);
  single("Nickname", kABNicknameProperty);
  single("Organization Name", kABOrganizationProperty);
  single("Organization Title", kABJobTitleProperty);
  single("Organization Department", kABDepartmentProperty);
  single("Notes", kABNoteProperty);
  if (const ABDate* date = person.date(kABBirthdayProperty)) row.leading["Birthday"] = dateText(*date);
  std::vector<std::string> categories = keptCategories(person);
  std::string labels;
  for (const auto& category : categories) labels += (labels.empty() ? "" : " ::: ") + category;
  row.leading["Labels"] = labels.empty() ? "* myContacts" : labels;

  const auto& groups = googleGroups();
  row.groups.resize(groups.size());
  auto texts = [&](size_t group, const std::string& property) {
    if (const ABMultiValue* list = person.multiValue(property))
      for (const auto& entry : list->entries())
        if (const auto* text = std::get_if<std::string>(&entry.value))
          row.groups[group].push_back({wordOfStoreLabel(entry.label), *text});
  };
  texts(0, kABEmailProperty);
  texts(1, kABPhoneProperty);
  if (const ABMultiValue* list = person.multiValue(kABAddressProperty))
    for (const auto& entry : list->entries()) {
      const auto* address = std::get_if<ABDictionary>(&entry.value);
      if (!address) continue;
      std::string formatted;
      for (const std::string* key :
           {&kABAddressStreetKey, &kABAddressCityKey, &kABAddressStateKey, &kABAddressZIPKey, &kABAddressCountryKey})
        if (const std::string* part = address->find(*key); part && !part->empty())
          formatted += (formatted.empty() ? "" : "\n") + *part;
      // Google has columns of its own for the box and the extended address.
      const ABAddressStreet::Parts street = ABAddressStreet::partsOf(*address);
      row.groups[2].push_back({wordOfStoreLabel(entry.label), formatted, std::string(street.street),
                               address->valueOr(kABAddressCityKey), std::string(street.poBox),
                               address->valueOr(kABAddressStateKey), address->valueOr(kABAddressZIPKey),
                               address->valueOr(kABAddressCountryKey), std::string(street.extended)});
    }
  texts(3, kABURLsProperty);
  texts(4, kABRelatedNamesProperty);
  if (const ABMultiValue* list = person.multiValue(kABInstantMessageProperty))
    for (const auto& entry : list->entries())
      if (const auto* account = std::get_if<ABDictionary>(&entry.value))
        row.groups[5].push_back({wordOfStoreLabel(entry.label),
                                 googleServiceOf(account->valueOr(kABInstantMessageServiceKey)),
                                 account->valueOr(kABInstantMessageUsernameKey)});
  // Extra fields: in their own column where Google has one, else as custom fields.
  const auto& leadingHeadings = googleLeadingHeadings();
  for (auto& [heading, value] : keptCsvFields(person)) {
    if (std::find(leadingHeadings.begin(), leadingHeadings.end(), heading) != leadingHeadings.end() &&
        !row.leading.count(heading))
      row.leading[heading] = value;
    else
      row.groups[6].push_back({heading, value});
  }
  return row;
}

// --- Outlook ---

std::string outlookDate(const ABDate& date) {
  if (date.year == ContactRecord::kYearNotKnown) return {};
  return std::to_string(date.month) + "/" + std::to_string(date.day) + "/" + std::to_string(date.year);
}

std::unordered_map<std::string, std::string> outlookRowOf(const ABPersonData& person) {
  std::unordered_map<std::string, std::string> row;
  auto single = [&](const char* heading, const std::string& property) {
    if (const std::string* text = person.string(property)) row[heading] = *text;
  };
  single("Title", kABTitleProperty);
  single("First Name", kABFirstNameProperty);
  single("Middle Name", kABMiddleNameProperty);
  single("Last Name", kABLastNameProperty);
  single("Suffix", kABSuffixProperty);
  single("Company", kABOrganizationProperty);
  single("Department", kABDepartmentProperty);
  single("Job Title", kABJobTitleProperty);
  single("Notes", kABNoteProperty);
  if (const ABDate* date = person.date(kABBirthdayProperty)) row["Birthday"] = outlookDate(*date);
  auto put = [&](const std::string& heading, const std::string& value) {
    if (value.empty() || row.count(heading)) return false;
    row[heading] = value;
    return true;
  };
  if (const ABMultiValue* list = person.multiValue(kABAddressProperty))
    for (const auto& entry : list->entries()) {
      const auto* address = std::get_if<ABDictionary>(&entry.value);
      if (!address) continue;
      const std::string prefix = entry.label == kABHomeLabel   ? "Home"
                                 : entry.label == kABWorkLabel ? "Business"
                                                               : "Other";
      if (row.count(prefix + " Address Taken")) continue;
      row[prefix + " Address Taken"] = "";
      // Outlook has a column of its own for the box; the extended address is the first street line.
      const ABAddressStreet::Parts parts = ABAddressStreet::partsOf(*address);
      put(prefix + " Address PO Box", std::string(parts.poBox));
      std::string street = ABAddressStreet::shown({}, parts.extended, parts.street);
      // Outlook's three street lines; what is beyond the second line break stays in the third.
      for (int line = 1; line <= 3 && !street.empty(); ++line) {
        const size_t end = line == 3 ? std::string::npos : street.find('\n');
        put(prefix + " Street" + (line > 1 ? " " + std::to_string(line) : ""), street.substr(0, end));
        street = end == std::string::npos ? "" : street.substr(end + 1);
      }
      put(prefix + " City", address->valueOr(kABAddressCityKey));
      put(prefix + " State", address->valueOr(kABAddressStateKey));
      put(prefix + " Postal Code", address->valueOr(kABAddressZIPKey));
      put(prefix + " Country/Region", address->valueOr(kABAddressCountryKey));
    }
  if (const ABMultiValue* list = person.multiValue(kABPhoneProperty)) {
    static const std::unordered_map<std::string, std::vector<std::string>> columns = {
        {kABPhoneWorkLabel, {"Business Phone", "Business Phone 2"}},
        {kABPhoneHomeLabel, {"Home Phone", "Home Phone 2"}},
        {kABPhoneMobileLabel, {"Mobile Phone"}},
        {kABPhoneHomeFAXLabel, {"Home Fax"}},
        {kABPhoneWorkFAXLabel, {"Business Fax"}},
        {kABPhonePagerLabel, {"Pager"}},
        {kABPhoneMainLabel, {"Primary Phone"}},
        {"Assistant", {"Assistant's Phone"}},
        {"Callback", {"Callback"}},
        {"Car", {"Car Phone"}},
        {"Company Main", {"Company Main Phone"}},
        {"ISDN", {"ISDN"}},
        {"Other Fax", {"Other Fax"}},
        {"Radio", {"Radio Phone"}},
        {"TTY/TDD", {"TTY/TDD Phone"}},
        {"Telex", {"Telex"}},
    };
    for (const auto& entry : list->entries()) {
      const auto* number = std::get_if<std::string>(&entry.value);
      if (!number) continue;
      bool placed = false;
      if (auto found = columns.find(entry.label); found != columns.end())
        for (const auto& heading : found->second)
          if ((placed = put(heading, *number))) break;
      if (!placed) put("Other Phone", *number);
    }
  }
  if (const ABMultiValue* list = person.multiValue(kABEmailProperty)) {
    int n = 0;
    for (const auto& entry : list->entries()) {
      const auto* address = std::get_if<std::string>(&entry.value);
      if (!address || ++n > 3) continue;
      const std::string prefix = n == 1 ? "E-mail" : "E-mail " + std::to_string(n);
      row[prefix + (n == 1 ? " Address" : " Address")] = *address;
      row[prefix + " Type"] = "SMTP";
      row[prefix + " Display Name"] = shownName(person) + " (" + *address + ")";
    }
  }
  if (const ABMultiValue* list = person.multiValue(kABURLsProperty))
    for (const auto& entry : list->entries())
      if (const auto* url = std::get_if<std::string>(&entry.value)) put("Web Page", *url);
  if (const ABMultiValue* list = person.multiValue(kABRelatedNamesProperty))
    for (const auto& entry : list->entries()) {
      const auto* name = std::get_if<std::string>(&entry.value);
      if (!name) continue;
      if (entry.label == kABSpouseLabel) put("Spouse", *name);
      if (entry.label == kABChildLabel) put("Children", *name);
      if (entry.label == kABManagerLabel) put("Manager's Name", *name);
      if (entry.label == kABAssistantLabel) put("Assistant's Name", *name);
    }
  std::string categories;
  for (const auto& category : keptCategories(person)) categories += (categories.empty() ? "" : ";") + category;
  put("Categories", categories);
  // Extra fields read from an Outlook file go back into their columns.
  for (auto& [heading, value] : keptCsvFields(person)) put(heading, value);
  return row;
}

}  // namespace

std::string ExportPersonCSV::fileName() const {
  switch (kind_) {
    case Kind::Google:
      return "Zedid-Ovuzazur-Google.csv";
    case Kind::Outlook:
      return "Zedid-Ovuzazur-Outlook.csv";
    case Kind::EveryValue:
      break;
  }
  return "Zedid-Ovuzazur.csv";
}

std::vector<std::vector<std::string>> ExportPersonCSV::table(const std::vector<ABPersonData>& persons) const {
  std::vector<std::vector<std::string>> table;
  if (kind_ == Kind::Outlook) {
    const auto& headings = outlookHeadings();
    table.push_back(headings);
    for (const auto& person : persons) {
      auto row = outlookRowOf(person);
      std::vector<std::string> cells;
      cells.reserve(headings.size());
      for (const auto& heading : headings) {
        auto found = row.find(heading);
        cells.push_back(found == row.end() ? std::string() : std::move(found->second));
      }
      table.push_back(std::move(cells));
    }
    return table;
  }
  if (kind_ == Kind::Google) {
    std::vector<GoogleRow> rows;
    rows.reserve(persons.size());
    const auto& groups = googleGroups();
    std::vector<size_t> counts(groups.size(), 1);
    for (const auto& person : persons) {
      rows.push_back(googleRowOf(person));
      for (size_t g = 0; g < groups.size(); ++g) counts[g] = std::max(counts[g], rows.back().groups[g].size());
    }
    std::vector<std::string> headings = googleLeadingHeadings();
    for (size_t g = 0; g < groups.size(); ++g)
      for (size_t n = 1; n <= counts[g]; ++n)
        for (const auto& part : groups[g].second)
          headings.push_back(groups[g].first + " " + std::to_string(n) + " - " + part);
    table.push_back(headings);
    for (auto& row : rows) {
      std::vector<std::string> cells;
      cells.reserve(headings.size());
      for (const auto& heading : googleLeadingHeadings()) {
        auto found = row.leading.find(heading);
        cells.push_back(found == row.leading.end() ? std::string() : std::move(found->second));
      }
      for (size_t g = 0; g < groups.size(); ++g)
        for (size_t n = 0; n < counts[g]; ++n)
          for (size_t part = 0; part < groups[g].second.size(); ++part)
            cells.push_back(n < row.groups[g].size() && part < row.groups[g][n].size() ? row.groups[g][n][part]
                                                                                       : std::string());
      table.push_back(std::move(cells));
    }
    return table;
  }
  // Every value: the all-information headings, then every other heading in the order met.
  std::vector<std::string> headings = AllInfoColumns::csv();
  std::unordered_map<std::string, size_t> column;
  for (size_t i = 0; i < headings.size(); ++i) column.emplace(headings[i], i);
  std::vector<Cells> rows;
  rows.reserve(persons.size());
  for (const auto& person : persons) {
    rows.push_back(everyValueCells(person));
    for (const auto& [heading, value] : rows.back())
      if (column.emplace(heading, headings.size()).second) headings.push_back(heading);
  }
  table.push_back(headings);
  for (auto& cells : rows) {
    std::vector<std::string> row(headings.size());
    for (auto& [heading, value] : cells) {
      std::string& cell = row[column[heading]];
      // A heading a person holds twice (an extra field of a file with two columns of one name).
      cell = cell.empty() ? std::move(value) : cell + "\n" + value;
    }
    table.push_back(std::move(row));
  }
  return table;
}

ExportResult ExportPersonCSV::writePersons(const PersonBatches& persons, const std::string& folder) const {
  ExportResult result;
  std::vector<ABPersonData> all;
  std::string error;
  if (!persons(
          [&](std::vector<ABPersonData>& batch) {
            all.insert(all.end(), std::make_move_iterator(batch.begin()), std::make_move_iterator(batch.end()));
            batch.clear();
          },
          &error)) {
    result.error = error.empty() ? "the contacts could not be read" : error;
    return result;
  }
  OutputFile output(folder + "/" + fileName());
  if (!output.open()) {
    result.error = output.error();
    return result;
  }
  const char* lineEnd = kind_ == Kind::Outlook ? "\r\n" : "\n";
  BlockFile file(output.temporaryPath());
  if (kind_ == Kind::Outlook) file.append(std::string_view("\xEF\xBB\xBF"));
  std::string line;
  for (const auto& row : table(all)) {
    line.clear();
    for (size_t i = 0; i < row.size(); ++i) {
      if (i) line += ',';
      if (raw_)
        ExportCSV::appendQuoted(line, row[i]);
      else
        ExportCSV::appendGuardedQuoted(line, row[i]);
    }
    line += lineEnd;
    file.append(line);
  }
  return finishOutput(file, output);
}

ExportResult ExportPersonCSV::writeRecords(const ContactRecords& records, const std::string& folder) const {
  return writePersons(
      [&](const std::function<void(std::vector<ABPersonData>&)>& take, std::string*) {
        std::vector<ABPersonData> batch;
        batch.reserve(records.size());
        for (const auto& record : records) {
          if (ABPersonRef person = record.person())
            batch.push_back(*person->snapshot());
          else
            batch.push_back(personDataFromRecord(record));
        }
        take(batch);
        return true;
      },
      folder);
}
