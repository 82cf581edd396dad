#include "app/scanner/ScanAddressBook.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "app/model/IndexGrouping.h"
#include "app/scanner/DebugLog.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

const std::unordered_set<std::string_view>& allowedTitles() {
  static const std::unordered_set<std::string_view> titles = {
      "1LT",      "1lt",      "1ST",      "1st",      "2LT",     "2lt",       "2ND",       "2nd",  "3RD",
      "3rd",      "Adm",      "adm",      "Admiral",  "admiral", "Cardinal",  "cardinal",  "Capt", "capt",
      "Captain",  "captain",  "CDR",      "cdr",      "Chief",   "chief",     "Col",       "col",  "Colonel",
      "colonel",  "Count",    "count",    "Cpt",      "cpt",     "Doctor",    "doctor",    "Dr",   "dr",
      "Gen",      "gen",      "Gerneral", "gerneral", "General", "general",   "LCDR",      "lcdr", "Lord",
      "lord",     "Lt",       "lt",       "LTG",      "ltg",     "LTJG",      "ltjg",      "Maj",  "maj",
      "Major",    "major",    "MG",       "mg",       "Mr",      "mr",        "Mrs",       "mrs",  "Ms",
      "ms",       "Pastor",   "pastor",   "Prof",     "prof",    "Professor", "professor", "Rep",  "rep",
      "Reverend", "reverend", "Sen",      "sen",      "Senator", "senator",   "Sir",       "sir"};
  return titles;
}

const std::unordered_set<std::string_view>& allowedSuffixes() {
  static const std::unordered_set<std::string_view> suffixes = {
      "2nd", "2ND", "3rd", "3RD", "4th", "4TH", "5th", "5TH", "6th", "6TH",    "BA",     "ba", "DDS", "dds",
      "ESQ", "esq", "I",   "II",  "III", "IV",  "IX",  "Jr",  "jr",  "Junior", "junior", "MA", "ma",  "MD",
      "md",  "MS",  "ms",  "PhD", "phd", "Sr",  "sr",  "V",   "VI",  "VII",    "VIII",   "X"};
  return suffixes;
}

// ASCII bytes that make an e-mail value invalid: white space and ( ) , : ; < > [ ] \ ".
constexpr std::array<bool, 128> kForbiddenInEmail = [] {
  std::array<bool, 128> forbidden{};
  for (unsigned char c : std::string_view(" \t\n\v\f\r(),:;<>[]\\\"")) forbidden[c] = true;
  return forbidden;
}();

// Whether a white-space character beyond ASCII (Unicode White_Space: U+0085, U+00A0, U+1680,
// U+2000 to U+200A, U+2028, U+2029, U+202F, U+205F, U+3000) starts at byte i of the UTF-8 text.
bool wideWhiteSpaceStartsAt(std::string_view text, size_t i) {
  auto byte = [&](size_t at) { return at < text.size() ? static_cast<unsigned char>(text[at]) : 0u; };
  unsigned char c = byte(i);
  if (c == 0xC2) return byte(i + 1) == 0x85 || byte(i + 1) == 0xA0;
  if (c == 0xE1) return byte(i + 1) == 0x9A && byte(i + 2) == 0x80;
  if (c == 0xE2 && byte(i + 1) == 0x80) {
    unsigned char last = byte(i + 2);
    return (last >= 0x80 && last <= 0x8A) || last == 0xA8 || last == 0xA9 || last == 0xAF;
  }
  if (c == 0xE2) return byte(i + 1) == 0x81 && byte(i + 2) == 0x9F;
  if (c == 0xE3) return byte(i + 1) == 0x80 && byte(i + 2) == 0x80;
  return false;
}

// A value of two or more characters is tested by counting its spaces; the debug log gets one line
// per space counted, whether or not the value turns out to be spaces only.
void logSpacesCounted(const std::string& value) {
  if (value.size() < 2 || !DebugLog::enabled()) return;
  for (char c : value)
    if (c == ' ') DebugLog::write("字符是空空格");
}

}  // namespace

bool ScanAddressBook::isValidEmail(std::string_view value) {
  for (size_t i = 0; i < value.size(); ++i) {
    auto c = static_cast<unsigned char>(value[i]);
    if (c < 0x80 ? kForbiddenInEmail[c] : wideWhiteSpaceStartsAt(value, i)) return false;
  }
  auto at = value.find('@');
  if (at == std::string_view::npos || at == 0 || value.find('@', at + 1) != std::string_view::npos) return false;
  std::string_view domain = value.substr(at + 1);
  if (domain.find('.') == std::string_view::npos) return false;
  if (domain.front() == '.' || domain.back() == '.') return false;
  return domain.find("..") == std::string_view::npos;
}

bool ScanAddressBook::phoneHasLetter(std::string_view value) {
  return std::any_of(value.begin(), value.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); });
}

bool ScanAddressBook::isSpacesOnly(const std::string& value) {
  if (value.size() == 1) return value[0] == ' ';
  if (value.size() < 2) return false;
  return std::all_of(value.begin(), value.end(), [](char c) { return c == ' '; });
}

ScanAddressBook::People ScanAddressBook::people() const {
  if (prepared_) return *prepared_;
  People people;
  people.persons = book_.people();
  people.values.reserve(people.persons.size());
  for (const auto& person : people.persons) people.values.push_back(person->snapshot());
  return people;
}

template <typename Test>
std::vector<ABPersonRef> ScanAddressBook::select(Test test) const {
  std::vector<ABPersonRef> found;
  auto run = [&](const People& people) {
    for (size_t i = 0; i < people.persons.size(); ++i)
      if (test(*people.values[i])) found.push_back(people.persons[i]);
  };
  if (prepared_) {
    run(*prepared_);
  } else {
    run(people());
  }
  return found;
}

bool ScanAddressBook::hasIncompleteName(const ABPersonData& data) {
  bool first = data.string(kABFirstNameProperty) != nullptr;
  bool last = data.string(kABLastNameProperty) != nullptr;
  const std::int64_t* flags = data.integer(kABPersonFlags);
  return first != last && (flags ? *flags : 0) != kABShowAsCompany;
}

bool ScanAddressBook::hasSpaceInFirstName(const ABPersonData& data) {
  const std::string* first = data.string(kABFirstNameProperty);
  return first && first->find(' ') != std::string::npos;
}

bool ScanAddressBook::hasBlankName(const ABPersonData& data) {
  return !data.string(kABFirstNameProperty) && !data.string(kABLastNameProperty);
}

bool ScanAddressBook::hasUnusualTitle(const ABPersonData& data) {
  const std::string* title = data.string(kABTitleProperty);
  return title && !allowedTitles().count(*title);
}

bool ScanAddressBook::hasUnusualSuffix(const ABPersonData& data) {
  const std::string* suffix = data.string(kABSuffixProperty);
  return suffix && !allowedSuffixes().count(*suffix);
}

bool ScanAddressBook::hasInvalidCharacters(const ABPersonData& data) {
  bool invalid = false;
  if (const ABMultiValue* emails = data.multiValue(kABEmailProperty)) {
    for (const auto& entry : emails->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      if (value && !isValidEmail(*value)) invalid = true;
    }
  }
  if (const ABMultiValue* phones = data.multiValue(kABPhoneProperty)) {
    for (const auto& entry : phones->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      if (value && phoneHasLetter(*value)) {
        DebugLog::write("电话号码非法");
        invalid = true;
        break;
      }
    }
  }
  return invalid;
}

bool ScanAddressBook::hasRepeatedValue(const ABPersonData& data, const std::string& property) {
  const ABMultiValue* values = data.multiValue(property);
  if (!values || values->count() < 2) return false;
  const auto& entries = values->entries();
  constexpr size_t kComparedInPairs = 16;
  if (entries.size() <= kComparedInPairs) {
    for (size_t i = 1; i < entries.size(); ++i)
      for (size_t j = 0; j < i; ++j)
        if (entries[i].value == entries[j].value) return true;
    return false;
  }
  // Many values: only values of equal hash are compared. A dictionary's hash does not depend on the
  // order of its keys, as its equality does not.
  const std::hash<std::string> hash;
  std::vector<std::pair<size_t, size_t>> hashes;  // hash, index
  hashes.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t h = 0;
    if (const auto* text = std::get_if<std::string>(&entries[i].value)) {
      h = hash(*text);
    } else {
      for (const auto& [key, value] : std::get<ABDictionary>(entries[i].value).entries())
        h += hash(key) * 31 + hash(value);
      h = ~h;
    }
    hashes.emplace_back(h, i);
  }
  std::sort(hashes.begin(), hashes.end());
  for (size_t start = 0; start < hashes.size();) {
    size_t end = start + 1;
    while (end < hashes.size() && hashes[end].first == hashes[start].first) ++end;
    for (size_t i = start + 1; i < end; ++i)
      for (size_t j = start; j < i; ++j)
        if (entries[hashes[i].second].value == entries[hashes[j].second].value) return true;
    start = end;
  }
  return false;
}

bool ScanAddressBook::hasBlankNote(const ABPersonData& data) {
  const std::string* note = data.string(kABNoteProperty);
  if (!note) return false;
  logSpacesCounted(*note);
  return isSpacesOnly(*note);
}

bool ScanAddressBook::hasBlankNickname(const ABPersonData& data) {
  const std::string* nickname = data.string(kABNicknameProperty);
  if (!nickname) return false;
  logSpacesCounted(*nickname);
  return isSpacesOnly(*nickname);
}

bool ScanAddressBook::personMeetsCondition(const std::string& conditionKey, const ABPersonData& data) {
  if (conditionKey == "SingleName") return hasIncompleteName(data);
  if (conditionKey == "SpaceInFirstName") return hasSpaceInFirstName(data);
  if (conditionKey == "BlankName") return hasBlankName(data);
  if (conditionKey == "UnusualTitle") return hasUnusualTitle(data);
  if (conditionKey == "UnusualSuffix") return hasUnusualSuffix(data);
  if (conditionKey == "InvalidChar") return hasInvalidCharacters(data);
  if (conditionKey == "DupEmail") return hasRepeatedValue(data, kABEmailProperty);
  if (conditionKey == "DupPhone") return hasRepeatedValue(data, kABPhoneProperty);
  if (conditionKey == "DupAddress") return hasRepeatedValue(data, kABAddressProperty);
  if (conditionKey == "EmptyNotes") return hasBlankNote(data);
  if (conditionKey == "EmptyNickname") return hasBlankNickname(data);
  return false;
}

std::optional<std::string> ScanAddressBook::duplicateGroupKey(const ABPersonData& data) {
  const std::string* first = data.string(kABFirstNameProperty);
  const std::string* last = data.string(kABLastNameProperty);
  // A name held as empty text names nobody: such a person groups as one without a name.
  if ((first && !first->empty()) || (last && !last->empty())) {
    std::string key = "n";
    key += first ? *first : "(null)";
    key += last ? *last : "(null)";
    return key;
  }
  const std::string* organization = data.string(kABOrganizationProperty);
  if (!organization || organization->empty()) return std::nullopt;
  return "o" + *organization;
}

std::vector<ABPersonRef> ScanAddressBook::duplicateGroupOf(const ABAddressBook& book, const ABPerson& person) {
  std::vector<ABPersonRef> group;
  ABPersonRef stored = book.recordForUniqueId(person.uniqueId());
  if (!stored) return group;
  auto key = duplicateGroupKey(*stored->snapshot());
  if (!key) return group;
  for (const auto& candidate : book.people())
    if (duplicateGroupKey(*candidate->snapshot()) == key) group.push_back(candidate);
  return group;
}

bool ScanAddressBook::holdsEmail(const ABPersonData& data, const std::string& value) {
  const ABMultiValue* emails = data.multiValue(kABEmailProperty);
  if (!emails) return false;
  for (const auto& entry : emails->entries())
    if (const auto* text = std::get_if<std::string>(&entry.value); text && *text == value) return true;
  return false;
}

std::string ScanAddressBook::sharedEmailValue(const ABPersonData& data, const std::string& label,
                                              const std::vector<ABPersonRef>& others) {
  const ABMultiValue* emails = data.multiValue(kABEmailProperty);
  if (!emails) return {};
  for (const auto& entry : emails->entries()) {
    const auto* value = std::get_if<std::string>(&entry.value);
    if (!value || entry.label != label) continue;
    for (const auto& other : others)
      if (holdsEmail(*other->snapshot(), *value)) return *value;
  }
  return {};
}

std::vector<ABPersonRef> ScanAddressBook::test() const {
  auto start = std::chrono::steady_clock::now();
  auto people = book_.people();
  // One pass: each person's index under its group key; persons in no group are left out.
  IndexGrouping grouping;
  for (size_t i = 0; i < people.size(); ++i)
    if (auto key = duplicateGroupKey(*people[i]->snapshot())) grouping.setIndexForName(static_cast<int>(i), *key);
  std::vector<ABPersonRef> found;
  for (const auto& name : grouping.names()) {
    const auto* indexes = grouping.indexesForName(name);
    if (indexes->size() >= 2) found.push_back(people[indexes->front()]);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (DebugLog::enabled()) {
    char line[64];
    std::snprintf(line, sizeof line, "扫描花费的时间：%f", seconds);
    DebugLog::write(line);
  }
  return found;
}

std::vector<ABPersonRef> ScanAddressBook::scanAllAddressBookOnlyOneName() const {
  return select(hasIncompleteName);
}

std::vector<ABPersonRef> ScanAddressBook::scanAllAddressBookFirstNameHaveSpace() const {
  return select(hasSpaceInFirstName);
}

std::vector<ABPersonRef> ScanAddressBook::findBlankNameInContacts() const {
  return select(hasBlankName);
}

std::vector<ABPersonRef> ScanAddressBook::findUnusualTitleInContacts() const {
  return select(hasUnusualTitle);
}

std::vector<ABPersonRef> ScanAddressBook::findUnusualSuffixInContacts() const {
  return select(hasUnusualSuffix);
}

std::vector<ABPersonRef> ScanAddressBook::findInvalidCharactersInContacts() const {
  return select(hasInvalidCharacters);
}

std::vector<ABPersonRef> ScanAddressBook::duplicateValues(const std::string& property) const {
  return select([&](const ABPersonData& data) { return hasRepeatedValue(data, property); });
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicateEmailInOnePerson() const {
  return duplicateValues(kABEmailProperty);
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicatePhonesInOnePerson() const {
  return duplicateValues(kABPhoneProperty);
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicateAddressInOnePerson() const {
  return duplicateValues(kABAddressProperty);
}

std::vector<ABPersonRef> ScanAddressBook::findEmptyNotes() const {
  return select(hasBlankNote);
}

std::vector<ABPersonRef> ScanAddressBook::findEmptyNickname() const {
  return select(hasBlankNickname);
}

std::vector<SharedEmailFinding> ScanAddressBook::findDuplicateEmailInContacts() const {
  People fresh;
  const People& all = prepared_ ? *prepared_ : (fresh = people());
  const auto& people = all.persons;
  const auto& snapshots = all.values;

  // Each e-mail value -> the persons holding it, in store order, each once.
  std::unordered_map<std::string_view, std::vector<int>> holders;
  holders.reserve(people.size() * 2);
  for (size_t i = 0; i < snapshots.size(); ++i) {
    const ABMultiValue* emails = snapshots[i]->multiValue(kABEmailProperty);
    if (!emails) continue;
    for (const auto& entry : emails->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      if (!value) continue;
      auto& list = holders[*value];
      if (list.empty() || list.back() != static_cast<int>(i)) list.push_back(static_cast<int>(i));
    }
  }

  std::vector<SharedEmailFinding> findings;
  std::vector<bool> handled(people.size(), false);
  for (size_t i = 0; i < snapshots.size(); ++i) {
    if (handled[i]) continue;
    const ABMultiValue* emails = snapshots[i]->multiValue(kABEmailProperty);
    if (!emails) continue;
    for (const auto& entry : emails->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      if (!value) continue;
      const auto& list = holders[*value];
      if (list.size() < 2) continue;
      SharedEmailFinding finding;
      finding.SearchedPerson = people[i];
      finding.DuplicateEmailType = entry.label;
      finding.duplicateEmail = *value;
      for (int index : list) {
        handled[index] = true;
        if (index != static_cast<int>(i)) finding.MatchPersonsArray.push_back(people[index]);
      }
      findings.push_back(std::move(finding));
    }
  }
  return findings;
}

const PhoneReadings& ScanAddressBook::phoneReadings(const People& people, const PhoneNumbers& phones, bool validity,
                                                    PhoneReadings& own) const {
  if (preparedPhones_) return *preparedPhones_;
  own = SimilarContacts::readPhones(people.values, phones, validity);
  return own;
}

bool ScanAddressBook::hasPhoneWrittenTwice(const ABPersonData& data, const PhoneNumbers& phones) {
  return SimilarContacts::holdsNumberWrittenTwice(data, SimilarContacts::readPhonesOf(data, phones));
}

bool ScanAddressBook::hasNationalPhone(const ABPersonData& data, const PhoneNumbers& phones) {
  return !SimilarContacts::nationalNumbers(data, SimilarContacts::readPhonesOf(data, phones)).empty();
}

std::vector<SimilarGroup> ScanAddressBook::findSimilarContacts() const {
  People fresh;
  const People& all = prepared_ ? *prepared_ : (fresh = people());
  PhoneNumbers phones(region_);
  PhoneReadings own;
  const PhoneReadings& readings = phoneReadings(all, phones, false, own);
  std::vector<SimilarGroup> found;
  for (auto& group :
       SimilarContacts::findGroups(all.values, readings, phones, distinct_, SimilarContacts::kMostHolders, 2)) {
    SimilarGroup finding;
    for (size_t member : group.members) finding.Persons.push_back(all.persons[member]);
    finding.Reason = std::move(group.reason);
    found.push_back(std::move(finding));
  }
  return found;
}

std::vector<ABPersonRef> ScanAddressBook::findPhonesWrittenDifferently() const {
  People fresh;
  const People& all = prepared_ ? *prepared_ : (fresh = people());
  PhoneNumbers phones(region_);
  PhoneReadings own;
  const PhoneReadings& readings = phoneReadings(all, phones, false, own);
  std::vector<ABPersonRef> found;
  for (size_t i = 0; i < all.persons.size(); ++i)
    if (SimilarContacts::holdsNumberWrittenTwice(*all.values[i], readings.readings[i])) found.push_back(all.persons[i]);
  return found;
}

std::vector<ABPersonRef> ScanAddressBook::findPhonesNotInternational() const {
  People fresh;
  const People& all = prepared_ ? *prepared_ : (fresh = people());
  PhoneNumbers phones(region_);
  PhoneReadings own;
  const PhoneReadings& readings = phoneReadings(all, phones, true, own);
  std::vector<ABPersonRef> found;
  for (size_t i = 0; i < all.persons.size(); ++i)
    if (!SimilarContacts::nationalNumbers(*all.values[i], readings.readings[i]).empty())
      found.push_back(all.persons[i]);
  return found;
}

ScanResult ScanAddressBook::scan(const std::vector<std::string>& names) const {
  struct Job {
    const ScanCondition* condition;
    std::vector<ABPersonRef> persons;
    std::vector<SharedEmailFinding> shared;
    std::vector<SimilarGroup> similar;
  };
  std::vector<Job> jobs;
  bool readsPhones = false, testsValidity = false;
  for (const auto& name : names) {
    if (const ScanCondition* condition = scanConditionNamed(name)) {
      jobs.push_back({condition, {}, {}, {}});
      const std::string& key = condition->key;
      readsPhones = readsPhones || key == "SimilarContacts" || key == "DupPhoneFormat" || key == "PhoneFormat";
      testsValidity = testsValidity || key == "PhoneFormat";
    }
  }

  // The finders only read the store, so they run side by side on two threads; the result is
  // assembled in list order afterwards.
  People shared = people();
  prepared_ = &shared;
  // Every phone number is read once for the three conditions that compare them.
  PhoneReadings readings;
  if (readsPhones) {
    readings = SimilarContacts::readPhones(shared.values, PhoneNumbers(region_), testsValidity, 2);
    preparedPhones_ = &readings;
  }
  std::atomic<size_t> next{0};
  auto worker = [&] {
    for (size_t i = next++; i < jobs.size(); i = next++) {
      Job& job = jobs[i];
      if (job.condition->key == "ShareEmail")
        job.shared = findDuplicateEmailInContacts();
      else if (job.condition->key == "SimilarContacts")
        job.similar = findSimilarContacts();
      else
        job.persons = (this->*(job.condition->finder))();
    }
  };
  std::thread helper(worker);
  worker();
  helper.join();
  prepared_ = nullptr;
  preparedPhones_ = nullptr;

  ScanResult result;
  result.region = region_;
  for (auto& job : jobs) {
    if (job.condition->key == "ShareEmail") {
      if (!job.shared.empty()) result.setShareEmail(std::move(job.shared));
    } else if (job.condition->key == "SimilarContacts") {
      if (!job.similar.empty()) result.setSimilarContacts(std::move(job.similar));
    } else if (!job.persons.empty()) {
      result.setPersons(job.condition->key, std::move(job.persons));
    }
  }
  return result;
}

void ScanAddressBook::scanEntireAddressBook(const std::vector<std::string>& names, ScanReportReceiver& receiver) const {
  ScanResult result = scan(names);
  if (result.empty())
    receiver.scanFoundNothing(kNothingFoundTitle, kNothingFoundMessage);
  else
    receiver.scanOver(std::move(result));
}
