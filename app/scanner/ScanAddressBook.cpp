#include "app/scanner/ScanAddressBook.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "app/scanner/DebugLog.h"
#include "app/scanner/ScanConditions.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/threads/ParallelFor.h"

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

bool ScanAddressBook::hasIncompleteName(const PersonValues& values) {
  const bool first = values.firstName != nullptr;
  const bool last = values.lastName != nullptr;
  return first != last && values.flags != kABShowAsCompany;
}

bool ScanAddressBook::hasSpaceInFirstName(const PersonValues& values) {
  return values.firstName && values.firstName->find(' ') != std::string::npos;
}

bool ScanAddressBook::hasBlankName(const PersonValues& values) {
  return !values.firstName && !values.lastName;
}

bool ScanAddressBook::hasUnusualTitle(const PersonValues& values) {
  return values.title && !allowedTitles().count(*values.title);
}

bool ScanAddressBook::hasUnusualSuffix(const PersonValues& values) {
  return values.suffix && !allowedSuffixes().count(*values.suffix);
}

bool ScanAddressBook::hasInvalidCharacters(const PersonValues& values) {
  bool invalid = false;
  if (values.emails) {
    for (const auto& entry : values.emails->entries()) {
      const auto* value = std::get_if<std::string>(&entry.value);
      if (value && !isValidEmail(*value)) invalid = true;
    }
  }
  if (values.phones) {
    for (const auto& entry : values.phones->entries()) {
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

namespace {

// Whether a value stands twice in the list, whatever the labels.
bool repeats(const ABMultiValue* values) {
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

}  // namespace

bool ScanAddressBook::hasRepeatedEmail(const PersonValues& values) {
  return repeats(values.emails);
}

bool ScanAddressBook::hasRepeatedPhone(const PersonValues& values) {
  return repeats(values.phones);
}

bool ScanAddressBook::hasRepeatedAddress(const PersonValues& values) {
  return repeats(values.addresses);
}

bool ScanAddressBook::hasBlankNote(const PersonValues& values) {
  if (!values.note) return false;
  logSpacesCounted(*values.note);
  return isSpacesOnly(*values.note);
}

bool ScanAddressBook::hasBlankNickname(const PersonValues& values) {
  if (!values.nickname) return false;
  logSpacesCounted(*values.nickname);
  return isSpacesOnly(*values.nickname);
}

std::optional<std::string> ScanAddressBook::duplicateGroupKey(const PersonValues& values) {
  const std::string* first = values.firstName;
  const std::string* last = values.lastName;
  // A name held as empty text names nobody: such a person groups as one without a name.
  if ((first && !first->empty()) || (last && !last->empty())) {
    std::string key = "n";
    key += first ? *first : "(null)";
    key += last ? *last : "(null)";
    return key;
  }
  const std::string* organization = values.organization;
  if (!organization || organization->empty()) return std::nullopt;
  return "o" + *organization;
}

bool ScanAddressBook::hasIncompleteName(const ABPersonData& data) {
  return hasIncompleteName(PersonValues::of(data));
}

bool ScanAddressBook::hasSpaceInFirstName(const ABPersonData& data) {
  return hasSpaceInFirstName(PersonValues::of(data));
}

bool ScanAddressBook::hasBlankName(const ABPersonData& data) {
  return hasBlankName(PersonValues::of(data));
}

bool ScanAddressBook::hasUnusualTitle(const ABPersonData& data) {
  return hasUnusualTitle(PersonValues::of(data));
}

bool ScanAddressBook::hasUnusualSuffix(const ABPersonData& data) {
  return hasUnusualSuffix(PersonValues::of(data));
}

bool ScanAddressBook::hasInvalidCharacters(const ABPersonData& data) {
  return hasInvalidCharacters(PersonValues::of(data));
}

bool ScanAddressBook::hasRepeatedValue(const ABPersonData& data, const std::string& property) {
  return repeats(PersonValues::of(data).list(property));
}

bool ScanAddressBook::hasBlankNote(const ABPersonData& data) {
  return hasBlankNote(PersonValues::of(data));
}

bool ScanAddressBook::hasBlankNickname(const ABPersonData& data) {
  return hasBlankNickname(PersonValues::of(data));
}

bool ScanAddressBook::personMeetsCondition(const std::string& conditionKey, const ABPersonData& data) {
  for (const auto& condition : scanConditions())
    if (condition.key == conditionKey) return condition.meets && condition.meets(PersonValues::of(data));
  return false;
}

std::optional<std::string> ScanAddressBook::duplicateGroupKey(const ABPersonData& data) {
  return duplicateGroupKey(PersonValues::of(data));
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

std::vector<ABPersonRef> ScanFinders::personsMeeting(const ScanSnapshot& snapshot, PersonTest test) {
  return std::move(personsMeetingEach(snapshot, {test}).front());
}

std::vector<std::vector<ABPersonRef>> ScanFinders::personsMeetingEach(const ScanSnapshot& snapshot,
                                                                      const std::vector<PersonTest>& tests) {
  std::vector<std::vector<ABPersonRef>> found(tests.size());
  for (size_t i = 0; i < snapshot.size(); ++i) {
    const PersonValues& values = snapshot.values[i];
    for (size_t t = 0; t < tests.size(); ++t)
      if (tests[t](values)) found[t].push_back(snapshot.persons[i]);
  }
  return found;
}

std::vector<ABPersonRef> ScanFinders::duplicateContacts(const ScanSnapshot& snapshot) {
  auto start = std::chrono::steady_clock::now();
  // One pass: each group key with its earliest person and its size, groups in the order their
  // keys are first met (the order an index grouping gives its names); persons in no group are left
  // out. Only the earliest index of a group is ever needed, so no list of indexes is kept.
  struct Group {
    int first;
    int size;
  };
  std::unordered_map<std::string, Group> groups;
  groups.reserve(snapshot.size());
  std::vector<const Group*> order;
  for (size_t i = 0; i < snapshot.size(); ++i) {
    auto key = ScanAddressBook::duplicateGroupKey(snapshot.values[i]);
    if (!key) continue;
    auto [it, inserted] = groups.try_emplace(std::move(*key), Group{static_cast<int>(i), 0});
    if (inserted) order.push_back(&it->second);
    ++it->second.size;
  }
  // A group whose members the user marked as different people is left out while no one joins it.
  std::unordered_map<const Group*, std::vector<std::string>> members;
  if (!snapshot.notSamePerson.empty()) {
    for (size_t i = 0; i < snapshot.size(); ++i) {
      auto key = ScanAddressBook::duplicateGroupKey(snapshot.values[i]);
      if (!key) continue;
      const Group* group = &groups.find(*key)->second;
      if (group->size >= 2) members[group].push_back(snapshot.persons[i]->uniqueId());
    }
  }
  std::vector<ABPersonRef> found;
  for (const Group* group : order) {
    if (group->size < 2) continue;
    if (auto marked = members.find(group); marked != members.end() && snapshot.notSamePerson.covers(marked->second))
      continue;
    found.push_back(snapshot.persons[static_cast<size_t>(group->first)]);
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (DebugLog::enabled()) {
    char line[64];
    std::snprintf(line, sizeof line, "扫描花费的时间：%f", seconds);
    DebugLog::write(line);
  }
  return found;
}

std::vector<SharedEmailFinding> ScanFinders::sharedEmails(const ScanSnapshot& snapshot) {
  auto eachEmail = [&](size_t i, auto&& visit) {
    const ABMultiValue* emails = snapshot.values[i].emails;
    if (!emails) return;
    for (const auto& entry : emails->entries())
      if (const auto* value = std::get_if<std::string>(&entry.value)) visit(*value, entry.label);
  };
  // Each e-mail value -> how many persons hold it (each person counted once) and the last of them.
  struct Holders {
    int last = -1;
    int count = 0;
    std::vector<int> persons;  // in store order, filled only for values held by two or more
  };
  std::unordered_map<std::string_view, Holders> holders;
  holders.reserve(snapshot.size() * 2);
  for (size_t i = 0; i < snapshot.size(); ++i) {
    eachEmail(i, [&](const std::string& value, const std::string&) {
      Holders& h = holders[value];
      if (h.last != static_cast<int>(i)) {
        h.last = static_cast<int>(i);
        ++h.count;
      }
    });
  }
  // The persons of each shared value, in store order: a second pass, only for the shared values.
  for (size_t i = 0; i < snapshot.size(); ++i) {
    eachEmail(i, [&](const std::string& value, const std::string&) {
      Holders& h = holders.find(value)->second;
      if (h.count >= 2 && (h.persons.empty() || h.persons.back() != static_cast<int>(i)))
        h.persons.push_back(static_cast<int>(i));
    });
  }

  std::vector<SharedEmailFinding> findings;
  std::vector<bool> handled(snapshot.size(), false);
  for (size_t i = 0; i < snapshot.size(); ++i) {
    if (handled[i]) continue;
    eachEmail(i, [&](const std::string& value, const std::string& label) {
      const Holders& h = holders.find(value)->second;
      if (h.count < 2) return;
      // An address whose holders the user marked as different people for it is left out while no
      // one else takes it.
      if (!snapshot.notSamePerson.empty()) {
        std::vector<std::string> uids;
        for (int index : h.persons) uids.push_back(snapshot.persons[static_cast<size_t>(index)]->uniqueId());
        if (snapshot.notSamePerson.coversForValue(uids, value)) return;
      }
      SharedEmailFinding finding;
      finding.SearchedPerson = snapshot.persons[i];
      finding.DuplicateEmailType = label;
      finding.duplicateEmail = value;
      for (int index : h.persons) {
        handled[index] = true;
        if (index != static_cast<int>(i)) finding.MatchPersonsArray.push_back(snapshot.persons[index]);
      }
      findings.push_back(std::move(finding));
    });
  }
  return findings;
}

bool ScanAddressBook::hasPhoneWrittenTwice(const ABPersonData& data, const PhoneNumbers& phones) {
  return SimilarContacts::holdsNumberWrittenTwice(data, SimilarContacts::readPhonesOf(data, phones));
}

bool ScanAddressBook::hasNationalPhone(const ABPersonData& data, const PhoneNumbers& phones) {
  return !SimilarContacts::nationalNumbers(data, SimilarContacts::readPhonesOf(data, phones)).empty();
}

std::vector<std::string> ScanAddressBook::phoneTexts(const ABPersonData& data, const std::vector<size_t>& indexes) {
  std::vector<std::string> texts;
  if (const ABMultiValue* phones = data.multiValue(kABPhoneProperty))
    for (size_t index : indexes)
      if (index < phones->count()) texts.push_back(phones->stringAtIndex(index));
  return texts;
}

bool ScanAddressBook::nationalPhonesKept(const ABPersonData& data, const std::vector<size_t>& national,
                                         const ABMarkCover& kept) {
  const std::string* uid = data.string(kABUIDProperty);
  return uid && kept.keeps(*uid, phoneTexts(data, national));
}

PhoneReadings ScanFinders::phoneReadings(const ScanSnapshot& snapshot, const PhoneNumbers& phones, bool forNationalForm,
                                         unsigned threads) {
  // Whether a person is listed needs one valid number not in international form; which of them
  // the user kept as they are written needs them all.
  using SimilarContacts::NationalNumbers;
  const NationalNumbers national = !forNationalForm                   ? NationalNumbers::kNoneMore
                                   : snapshot.keptPhoneFormat.empty() ? NationalNumbers::kUntilOneValid
                                                                      : NationalNumbers::kEvery;
  return SimilarContacts::readPhones(snapshot.data, phones, national, threads);
}

std::vector<SimilarGroup> ScanFinders::similarContacts(const ScanSnapshot& snapshot, const PhoneReadings& readings,
                                                       const PhoneNumbers& phones,
                                                       const std::vector<std::vector<std::string>>& distinct,
                                                       unsigned threads) {
  // Persons the user marked as not the same person (for any reason) are distinct sets too.
  const std::vector<std::vector<std::string>>* sets = &distinct;
  std::vector<std::vector<std::string>> withMarks;
  if (!snapshot.notSamePerson.empty()) {
    withMarks = distinct;
    for (const ABMark& mark : snapshot.notSamePerson.marks()) withMarks.push_back(mark.uids);
    sets = &withMarks;
  }
  std::vector<SimilarGroup> found;
  for (auto& group :
       SimilarContacts::findGroups(snapshot.data, readings, phones, *sets, SimilarContacts::kMostHolders, threads)) {
    SimilarGroup finding;
    for (size_t member : group.members) finding.Persons.push_back(snapshot.persons[member]);
    finding.Reason = std::move(group.reason);
    found.push_back(std::move(finding));
  }
  return found;
}

std::vector<ABPersonRef> ScanFinders::phonesWrittenDifferently(const ScanSnapshot& snapshot,
                                                               const PhoneReadings& readings) {
  std::vector<ABPersonRef> found;
  for (size_t i = 0; i < snapshot.size(); ++i)
    if (SimilarContacts::holdsNumberWrittenTwice(*snapshot.data[i], readings.readings[i]))
      found.push_back(snapshot.persons[i]);
  return found;
}

std::vector<ABPersonRef> ScanFinders::phonesNotInternational(const ScanSnapshot& snapshot,
                                                             const PhoneReadings& readings) {
  std::vector<ABPersonRef> found;
  for (size_t i = 0; i < snapshot.size(); ++i) {
    auto national = SimilarContacts::nationalNumbers(*snapshot.data[i], readings.readings[i]);
    if (national.empty()) continue;
    if (!snapshot.keptPhoneFormat.empty() &&
        ScanAddressBook::nationalPhonesKept(*snapshot.data[i], national, snapshot.keptPhoneFormat))
      continue;
    found.push_back(snapshot.persons[i]);
  }
  return found;
}

std::vector<ABPersonRef> ScanAddressBook::test() const {
  return ScanFinders::duplicateContacts(ScanSnapshot::of(book_));
}

std::vector<ABPersonRef> ScanAddressBook::scanAllAddressBookOnlyOneName() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasIncompleteName);
}

std::vector<ABPersonRef> ScanAddressBook::scanAllAddressBookFirstNameHaveSpace() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasSpaceInFirstName);
}

std::vector<ABPersonRef> ScanAddressBook::findBlankNameInContacts() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasBlankName);
}

std::vector<ABPersonRef> ScanAddressBook::findUnusualTitleInContacts() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasUnusualTitle);
}

std::vector<ABPersonRef> ScanAddressBook::findUnusualSuffixInContacts() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasUnusualSuffix);
}

std::vector<ABPersonRef> ScanAddressBook::findInvalidCharactersInContacts() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasInvalidCharacters);
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicateEmailInOnePerson() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasRepeatedEmail);
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicatePhonesInOnePerson() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasRepeatedPhone);
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicateAddressInOnePerson() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasRepeatedAddress);
}

std::vector<ABPersonRef> ScanAddressBook::findEmptyNotes() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasBlankNote);
}

std::vector<ABPersonRef> ScanAddressBook::findEmptyNickname() const {
  return ScanFinders::personsMeeting(ScanSnapshot::of(book_), hasBlankNickname);
}

std::vector<SharedEmailFinding> ScanAddressBook::findDuplicateEmailInContacts() const {
  return ScanFinders::sharedEmails(ScanSnapshot::of(book_));
}

std::vector<SimilarGroup> ScanAddressBook::findSimilarContacts() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  const PhoneNumbers phones(region_);
  return ScanFinders::similarContacts(snapshot, ScanFinders::phoneReadings(snapshot, phones, false), phones, distinct_,
                                      2);
}

std::vector<ABPersonRef> ScanAddressBook::findPhonesWrittenDifferently() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  const PhoneNumbers phones(region_);
  return ScanFinders::phonesWrittenDifferently(snapshot, ScanFinders::phoneReadings(snapshot, phones, false));
}

std::vector<ABPersonRef> ScanAddressBook::findPhonesNotInternational() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  const PhoneNumbers phones(region_);
  return ScanFinders::phonesNotInternational(snapshot, ScanFinders::phoneReadings(snapshot, phones, true));
}

ScanResult ScanAddressBook::scan(const std::vector<std::string>& names) const {
  std::vector<const ScanCondition*> conditions;
  for (const auto& name : names)
    if (const ScanCondition* condition = scanConditionNamed(name)) conditions.push_back(condition);
  if (conditions.empty()) return {};

  // One snapshot for every condition. The conditions about one person share one pass over it; the
  // others (duplicate groups, shared e-mail values, the phone conditions) are tasks of their own.
  // The tasks run side by side on the cores and the result is assembled in list order afterwards.
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  std::vector<PersonTest> tests;
  std::set<std::string> others;
  for (const ScanCondition* condition : conditions) {
    if (condition->meets)
      tests.push_back(condition->meets);
    else
      others.insert(condition->key);
  }
  // Every phone number is read once for the three conditions that compare them.
  const PhoneNumbers phones(region_);
  PhoneReadings readings;
  if (others.count("SimilarContacts") || others.count("DupPhoneFormat") || others.count("PhoneFormat"))
    readings = ScanFinders::phoneReadings(snapshot, phones, others.count("PhoneFormat") > 0, 2);

  std::vector<std::vector<ABPersonRef>> found;
  std::map<std::string, std::vector<ABPersonRef>> foundOther;
  std::vector<SharedEmailFinding> sharedFound;
  std::vector<SimilarGroup> similarFound;
  std::vector<std::function<void()>> tasks;
  tasks.push_back([&] { found = ScanFinders::personsMeetingEach(snapshot, tests); });
  // Each task writes only its own result; the map's entries are made before the tasks run.
  for (const std::string& key : others) {
    if (key == "ShareEmail") {
      tasks.push_back([&] { sharedFound = ScanFinders::sharedEmails(snapshot); });
    } else if (key == "SimilarContacts") {
      tasks.push_back([&] { similarFound = ScanFinders::similarContacts(snapshot, readings, phones, distinct_, 2); });
    } else {
      std::vector<ABPersonRef>* list = &foundOther[key];
      if (key == "DuplicateContacts")
        tasks.push_back([&, list] { *list = ScanFinders::duplicateContacts(snapshot); });
      else if (key == "DupPhoneFormat")
        tasks.push_back([&, list] { *list = ScanFinders::phonesWrittenDifferently(snapshot, readings); });
      else if (key == "PhoneFormat")
        tasks.push_back([&, list] { *list = ScanFinders::phonesNotInternational(snapshot, readings); });
    }
  }
  std::atomic<size_t> next{0};
  parallelFor(tasks.size(), 1, [&](size_t, size_t) {
    for (size_t task = next++; task < tasks.size(); task = next++) tasks[task]();
  });

  ScanResult result;
  result.region = region_;
  size_t test = 0;
  for (const ScanCondition* condition : conditions) {
    if (condition->meets) {
      if (!found[test].empty()) result.setPersons(condition->key, found[test]);
      ++test;
    } else if (condition->key == "ShareEmail") {
      if (!sharedFound.empty()) result.setShareEmail(sharedFound);
    } else if (condition->key == "SimilarContacts") {
      if (!similarFound.empty()) result.setSimilarContacts(similarFound);
    } else if (auto it = foundOther.find(condition->key); it != foundOther.end() && !it->second.empty()) {
      result.setPersons(condition->key, it->second);
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
