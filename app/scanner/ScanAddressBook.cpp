#include "app/scanner/ScanAddressBook.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "app/scanner/AllowedNames.h"
#include "app/scanner/DebugLog.h"
#include "app/scanner/MetAgain.h"
#include "app/scanner/ScanConditions.h"
#include "app/scanner/conditions/ScannerConditions.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/text/ByteWords.h"
#include "platform/threads/ParallelFor.h"

namespace {

// What each byte is to an e-mail value: one that makes it invalid (white space and
// ( ) , : ; < > [ ] \ "), or one beyond ASCII, where white space is looked for apart.
constexpr unsigned char kForbiddenInEmail = 1, kBeyondAscii = 2;
constexpr std::array<unsigned char, 256> kEmailBytes = [] {
  std::array<unsigned char, 256> bytes{};
  for (unsigned char c : std::string_view(" \t\n\v\f\r(),:;<>[]\\\"")) bytes[c] = kForbiddenInEmail;
  for (size_t c = 0x80; c < 0x100; ++c) bytes[c] = kBeyondAscii;
  return bytes;
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
void logSpacesCounted(std::string_view value) {
  if (value.size() < 2 || !DebugLog::enabled()) return;
  for (char c : value)
    if (c == ' ') DebugLog::write("字符是空空格");
}

}  // namespace

bool ScanAddressBook::isValidEmail(std::string_view value) {
  // What the bytes hold, gathered without a branch per byte (eight at a time while there are).
  unsigned char met = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(value.data());
  size_t i = 0;
  for (; i + 8 <= value.size(); i += 8)
    met |= kEmailBytes[bytes[i]] | kEmailBytes[bytes[i + 1]] | kEmailBytes[bytes[i + 2]] | kEmailBytes[bytes[i + 3]] |
           kEmailBytes[bytes[i + 4]] | kEmailBytes[bytes[i + 5]] | kEmailBytes[bytes[i + 6]] |
           kEmailBytes[bytes[i + 7]];
  for (; i < value.size(); ++i) met |= kEmailBytes[bytes[i]];
  if (met & kForbiddenInEmail) return false;
  if (met & kBeyondAscii)
    for (size_t k = 0; k < value.size(); ++k)
      if (bytes[k] >= 0x80 && wideWhiteSpaceStartsAt(value, k)) return false;
  // One "@", not first; after it a domain holding a ".", neither first nor last, never two in a row.
  const char* begin = value.data();
  const char* end = begin + value.size();
  auto find = [end](const char* from, char c) {
    return from < end ? static_cast<const char*>(std::memchr(from, c, static_cast<size_t>(end - from))) : nullptr;
  };
  const char* at = find(begin, '@');
  if (!at || at == begin || find(at + 1, '@')) return false;
  const char* domain = at + 1;
  if (domain == end || *domain == '.' || end[-1] == '.') return false;
  bool dot = false;
  for (const char* d = find(domain, '.'); d; d = find(d + 1, '.')) {
    if (d[1] == '.') return false;
    dot = true;
  }
  return dot;
}

bool ScanAddressBook::phoneHasLetter(std::string_view value) {
  // Eight bytes at a time: a byte below 0x80 whose lower-case form lies from 'a' to 'z'.
  size_t i = 0;
  for (; i + 8 <= value.size(); i += 8)
    if (ByteWords::inRange(ByteWords::load(value.data() + i) | (0x20 * ByteWords::kEachByte), 'a', 'z')) return true;
  for (; i < value.size(); ++i) {
    const char c = static_cast<char>(value[i] | 0x20);
    if (c >= 'a' && c <= 'z') return true;
  }
  return false;
}

bool ScanAddressBook::isSpacesOnly(std::string_view value) {
  if (value.size() == 1) return value[0] == ' ';
  if (value.size() < 2) return false;
  return std::all_of(value.begin(), value.end(), [](char c) { return c == ' '; });
}

bool ScanAddressBook::hasIncompleteName(const PersonValues& values) {
  // A group card has a group's name, not a person's.
  if (values.isGroupCard()) return false;
  const bool first = static_cast<bool>(values.firstName);
  const bool last = static_cast<bool>(values.lastName);
  return first != last && values.flags != kABShowAsCompany;
}

bool ScanAddressBook::hasSpaceInFirstName(const PersonValues& values) {
  return values.firstName && values.firstName->find(' ') != std::string_view::npos;
}

bool ScanAddressBook::hasBlankName(const PersonValues& values) {
  return !values.firstName && !values.lastName && !values.isGroupCard();
}

bool ScanAddressBook::hasUnusualTitle(const PersonValues& values) {
  return values.title && !AllowedNames::current().allowsTitle(*values.title);
}

bool ScanAddressBook::hasUnusualSuffix(const PersonValues& values) {
  return values.suffix && !AllowedNames::current().allowsSuffix(*values.suffix);
}

bool ScanAddressBook::hasInvalidCharacters(const PersonValues& values) {
  bool invalid = false;
  for (const auto& entry : values.emails)
    if (entry.isText && !isValidEmail(entry.text)) invalid = true;
  for (const auto& entry : values.phones) {
    if (entry.isText && phoneHasLetter(entry.text)) {
      DebugLog::write("电话号码非法");
      invalid = true;
      break;
    }
  }
  return invalid;
}

namespace {

// Whether a value stands twice in the list, whatever the labels.
bool repeats(const PersonCodec::ListView& values) {
  if (values.count() < 2) return false;
  constexpr size_t kComparedInPairs = 16;
  if (values.count() <= kComparedInPairs) {
    // Few values (almost every person): kept on the stack and compared in pairs.
    std::array<PersonCodec::ListView::Entry, kComparedInPairs> few;
    size_t size = 0;
    for (const auto& entry : values) {
      for (size_t j = 0; j < size; ++j)
        if (entry.sameValue(few[j])) return true;
      few[size++] = entry;
    }
    return false;
  }
  const auto entries = values.entries();
  // Many values: only values of equal hash are compared. A dictionary's hash does not depend on the
  // order of its keys, as its equality does not.
  const std::hash<std::string_view> hash;
  std::vector<std::pair<size_t, size_t>> hashes;  // hash, index
  hashes.reserve(entries.size());
  for (size_t i = 0; i < entries.size(); ++i)
    hashes.emplace_back(entries[i].isText ? hash(entries[i].text) : entries[i].dictionary.hash(), i);
  std::sort(hashes.begin(), hashes.end());
  for (size_t start = 0; start < hashes.size();) {
    size_t end = start + 1;
    while (end < hashes.size() && hashes[end].first == hashes[start].first) ++end;
    for (size_t i = start + 1; i < end; ++i)
      for (size_t j = start; j < i; ++j)
        if (entries[hashes[i].second].sameValue(entries[hashes[j].second])) return true;
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

namespace {

// The duplicate group key of a person with these names and organisation (nullptr: no such text).
// The key written into `key` (what it held is replaced); false when the person is in no group.
bool groupKeyInto(const std::string_view* first, const std::string_view* last, const std::string_view* organization,
                  std::string& key) {
  key.clear();
  // A name held as empty text names nobody: such a person groups as one without a name.
  if ((first && !first->empty()) || (last && !last->empty())) {
    key += 'n';
    key += first ? *first : "(null)";
    key += last ? *last : "(null)";
    return true;
  }
  if (!organization || organization->empty()) return false;
  key += 'o';
  key += *organization;
  return true;
}

std::optional<std::string> groupKey(const std::string_view* first, const std::string_view* last,
                                    const std::string_view* organization) {
  std::string key;
  if (!groupKeyInto(first, last, organization, key)) return std::nullopt;
  return key;
}

const std::string_view* textOf(const ScanText& text) {
  return text ? text.operator->() : nullptr;
}

}  // namespace

std::optional<std::string> ScanAddressBook::duplicateGroupKey(const PersonValues& values) {
  return groupKey(textOf(values.firstName), textOf(values.lastName), textOf(values.organization));
}

bool ScanAddressBook::hasIncompleteName(const ABPersonData& data) {
  return hasIncompleteName(*PersonValuesOf(data));
}

bool ScanAddressBook::hasSpaceInFirstName(const ABPersonData& data) {
  return hasSpaceInFirstName(*PersonValuesOf(data));
}

bool ScanAddressBook::hasBlankName(const ABPersonData& data) {
  return hasBlankName(*PersonValuesOf(data));
}

bool ScanAddressBook::hasUnusualTitle(const ABPersonData& data) {
  return hasUnusualTitle(*PersonValuesOf(data));
}

bool ScanAddressBook::hasUnusualSuffix(const ABPersonData& data) {
  return hasUnusualSuffix(*PersonValuesOf(data));
}

bool ScanAddressBook::hasInvalidCharacters(const ABPersonData& data) {
  return hasInvalidCharacters(*PersonValuesOf(data));
}

bool ScanAddressBook::hasRepeatedValue(const ABPersonData& data, const std::string& property) {
  return repeats(PersonValuesOf(data)->list(property));
}

bool ScanAddressBook::hasBlankNote(const ABPersonData& data) {
  return hasBlankNote(*PersonValuesOf(data));
}

bool ScanAddressBook::hasBlankNickname(const ABPersonData& data) {
  return hasBlankNickname(*PersonValuesOf(data));
}

bool ScanAddressBook::personMeetsCondition(const std::string& conditionKey, const ABPersonData& data) {
  const ScanCondition* condition = scanConditionKeyed(conditionKey);
  if (!condition || !condition->meets) return false;
  const PersonValuesOf values(data);
  // The conditions on one person's values are about persons; a group card meets none.
  return !values->isGroupCard() && condition->meets(*values);
}

std::optional<std::string> ScanAddressBook::duplicateGroupKey(const ABPersonData& data) {
  // Read in place: the key of every person of the book is asked for to find one group.
  std::string_view first, last, organization;
  auto view = [](const std::string* text, std::string_view& into) -> const std::string_view* {
    if (!text) return nullptr;
    into = *text;
    return &into;
  };
  return groupKey(view(data.string(kABFirstNameProperty), first), view(data.string(kABLastNameProperty), last),
                  view(data.string(kABOrganizationProperty), organization));
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

std::vector<size_t> ScanFinders::personsMeeting(const ScanSnapshot& snapshot, PersonTest test) {
  return std::move(personsMeetingEach(snapshot, {test}).front());
}

std::vector<std::vector<size_t>> ScanFinders::personsMeetingEach(const ScanSnapshot& snapshot,
                                                                 const std::vector<PersonTest>& tests) {
  std::vector<std::vector<size_t>> found(tests.size());
  addPersonsMeetingEach(snapshot.values, 0, snapshot.size(), tests, found);
  return found;
}

void ScanFinders::addPersonsMeetingEach(const std::vector<PersonValues>& values, size_t begin, size_t end,
                                        const std::vector<PersonTest>& tests, std::vector<std::vector<size_t>>& found) {
  for (size_t i = begin; i < end; ++i)
    for (size_t t = 0; t < tests.size(); ++t)
      if (tests[t](values[i])) found[t].push_back(i);
}

std::vector<PersonTest> ScanFinders::personTests(const std::vector<std::string>& names) {
  std::vector<PersonTest> tests;
  for (const auto& name : names)
    if (const ScanCondition* condition = scanConditionNamed(name);
        condition && condition->task == ScanCondition::Task::kPersonTest)
      tests.push_back(condition->meets);
  return tests;
}

std::vector<size_t> ScanFinders::duplicateContacts(const ScanSnapshot& snapshot) {
  auto start = std::chrono::steady_clock::now();
  // One pass: each group key with its earliest person and its size, groups in the order their
  // keys are first met (the order an index grouping gives its names); persons in no group are left
  // out. Only the earliest index of a group is ever needed, so no list of indexes is kept.
  struct Group {
    int first;
    int size;
    std::string key;
  };
  // A key met once is a group of one: only keys whose hash was met more than once are counted.
  const std::hash<std::string_view> hash;
  std::string key;
  auto keyOf = [&](size_t i) {
    const PersonValues& values = snapshot.values[i];
    return groupKeyInto(textOf(values.firstName), textOf(values.lastName), textOf(values.organization), key);
  };
  // Each person's key is hashed once; it is written again only when its hash was met again.
  MetAgain met(snapshot.size());
  std::vector<std::uint64_t> hashOf(snapshot.size(), 0);
  std::vector<bool> grouped(snapshot.size(), false);
  for (size_t i = 0; i < snapshot.size(); ++i)
    if (keyOf(i)) {
      met.meet(hashOf[i] = hash(key));
      grouped[i] = true;
    }
  size_t candidates = 0;
  for (size_t i = 0; i < snapshot.size(); ++i) candidates += grouped[i] && met.metAgain(hashOf[i]);
  // The groups, numbered by their key.
  constexpr std::uint32_t kNoGroup = static_cast<std::uint32_t>(-1);
  NumberedByHash numbered(candidates);
  std::vector<Group> groups;
  std::vector<std::uint32_t> groupOf(snapshot.notSamePerson.empty() ? 0 : snapshot.size(), kNoGroup);
  for (size_t i = 0; i < snapshot.size(); ++i) {
    if (!grouped[i] || !met.metAgain(hashOf[i])) continue;
    keyOf(i);
    const std::uint32_t group = numbered.numberOf(hashOf[i], [&](std::uint32_t g) { return groups[g].key == key; });
    if (group == groups.size()) groups.push_back({static_cast<int>(i), 0, key});
    ++groups[group].size;
    if (!groupOf.empty()) groupOf[i] = group;
  }
  // A group whose members the user marked as different people is left out while no one joins it.
  std::unordered_map<std::uint32_t, std::vector<std::string>> members;
  for (size_t i = 0; i < groupOf.size(); ++i)
    if (groupOf[i] != kNoGroup && groups[groupOf[i]].size >= 2)
      members[groupOf[i]].emplace_back(*snapshot.values[i].uid);
  std::vector<size_t> found;
  for (size_t g = 0; g < groups.size(); ++g) {
    if (groups[g].size < 2) continue;
    if (auto marked = members.find(static_cast<std::uint32_t>(g));
        marked != members.end() && snapshot.notSamePerson.covers(marked->second))
      continue;
    found.push_back(static_cast<size_t>(groups[g].first));
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (DebugLog::enabled()) {
    char line[64];
    std::snprintf(line, sizeof line, "扫描花费的时间：%f", seconds);
    DebugLog::write(line);
  }
  return found;
}

std::vector<SharedEmailIndexes> ScanFinders::sharedEmails(const ScanSnapshot& snapshot) {
  // Every e-mail value of every person in store order, each with the number of its value; then only
  // arrays.
  struct Held {
    std::string_view value;
    std::string_view label;
    std::uint32_t id;
  };
  constexpr std::uint32_t kNobody = static_cast<std::uint32_t>(-1);
  std::vector<Held> held;
  std::vector<std::uint32_t> startOf(snapshot.size() + 1, 0);
  for (size_t i = 0; i < snapshot.size(); ++i) {
    startOf[i] = static_cast<std::uint32_t>(held.size());
    for (const auto& entry : snapshot.values[i].emails)
      if (entry.isText) held.push_back({entry.text, entry.label, kNobody});
  }
  startOf[snapshot.size()] = static_cast<std::uint32_t>(held.size());
  // Equal values are numbered alike: the values sorted by their hash, then equal ones within a run
  // of one hash taken together (two values of one hash are almost always one value). A value whose
  // hash no other value has is held once and left unnumbered.
  const std::hash<std::string_view> hash;
  std::vector<std::uint64_t> hashes(held.size());
  MetAgain met(held.size());
  for (size_t h = 0; h < held.size(); ++h) met.meet(hashes[h] = hash(held[h].value));
  std::vector<std::pair<std::uint64_t, std::uint32_t>> byHash;
  for (size_t h = 0; h < held.size(); ++h)
    if (met.metAgain(hashes[h])) byHash.emplace_back(hashes[h], static_cast<std::uint32_t>(h));
  hashes = {};
  std::sort(byHash.begin(), byHash.end());
  size_t values = 0;
  for (size_t run = 0; run < byHash.size();) {
    size_t end = run + 1;
    while (end < byHash.size() && byHash[end].first == byHash[run].first) ++end;
    for (size_t k = run; k < end; ++k) {
      Held& first = held[byHash[k].second];
      if (first.id != kNobody) continue;
      first.id = static_cast<std::uint32_t>(values++);
      for (size_t m = k + 1; m < end; ++m)
        if (Held& same = held[byHash[m].second]; same.id == kNobody && same.value == first.value) same.id = first.id;
    }
    run = end;
  }
  byHash = {};
  // How many persons hold each value (each person counted once), then the holders of the values
  // held by two or more, in store order.
  std::vector<std::uint32_t> count(values, 0), last(values, kNobody);
  for (size_t i = 0; i < snapshot.size(); ++i)
    for (std::uint32_t h = startOf[i]; h < startOf[i + 1]; ++h)
      if (held[h].id != kNobody && last[held[h].id] != i) {
        last[held[h].id] = static_cast<std::uint32_t>(i);
        ++count[held[h].id];
      }
  std::vector<std::uint32_t> firstHolder(values + 1, 0);
  for (size_t v = 0; v < values; ++v) firstHolder[v + 1] = firstHolder[v] + (count[v] >= 2 ? count[v] : 0);
  std::vector<std::uint32_t> holders(firstHolder[values]);
  std::vector<std::uint32_t> filled(values, 0);
  std::fill(last.begin(), last.end(), kNobody);
  for (size_t i = 0; i < snapshot.size(); ++i)
    for (std::uint32_t h = startOf[i]; h < startOf[i + 1]; ++h) {
      const std::uint32_t id = held[h].id;
      if (id == kNobody || count[id] < 2 || last[id] == i) continue;
      last[id] = static_cast<std::uint32_t>(i);
      holders[firstHolder[id] + filled[id]++] = static_cast<std::uint32_t>(i);
    }

  std::vector<SharedEmailIndexes> findings;
  std::vector<bool> handled(snapshot.size(), false);
  for (size_t i = 0; i < snapshot.size(); ++i) {
    if (handled[i]) continue;
    for (std::uint32_t h = startOf[i]; h < startOf[i + 1]; ++h) {
      const std::uint32_t id = held[h].id;
      if (id == kNobody || count[id] < 2) continue;
      const std::uint32_t* begin = holders.data() + firstHolder[id];
      const std::uint32_t* end = holders.data() + firstHolder[id + 1];
      // An address whose holders the user marked as different people for it is left out while no
      // one else takes it.
      if (!snapshot.notSamePerson.empty()) {
        std::vector<std::string> uids;
        for (const std::uint32_t* index = begin; index != end; ++index) uids.emplace_back(*snapshot.values[*index].uid);
        if (snapshot.notSamePerson.coversForValue(uids, std::string(held[h].value))) continue;
      }
      SharedEmailIndexes finding;
      finding.searched = i;
      finding.label = std::string(held[h].label);
      finding.value = std::string(held[h].value);
      for (const std::uint32_t* index = begin; index != end; ++index) {
        handled[*index] = true;
        if (*index != i) finding.matches.push_back(*index);
      }
      findings.push_back(std::move(finding));
    }
  }
  return findings;
}

bool ScanAddressBook::hasPhoneWrittenTwice(const ABPersonData& data, const PhoneNumbers& phones) {
  const PersonValuesOf values(data);
  return SimilarContacts::holdsNumberWrittenTwice(*values, SimilarContacts::readPhonesOf(*values, phones));
}

bool ScanAddressBook::hasNationalPhone(const ABPersonData& data, const PhoneNumbers& phones) {
  const PersonValuesOf values(data);
  return !SimilarContacts::nationalNumbers(*values, SimilarContacts::readPhonesOf(*values, phones)).empty();
}

std::vector<std::string> ScanAddressBook::phoneTexts(const PersonValues& values, const std::vector<size_t>& indexes) {
  std::vector<std::string> texts;
  const auto entries = values.phones.entries();
  for (size_t index : indexes)
    if (index < entries.size()) texts.emplace_back(entries[index].isText ? entries[index].text : std::string_view());
  return texts;
}

std::vector<std::string> ScanAddressBook::phoneTexts(const ABPersonData& data, const std::vector<size_t>& indexes) {
  return phoneTexts(*PersonValuesOf(data), indexes);
}

bool ScanAddressBook::nationalPhonesKept(const PersonValues& values, const std::vector<size_t>& national,
                                         const ABMarkCover& kept) {
  return values.uid && kept.keeps(std::string(*values.uid), phoneTexts(values, national));
}

bool ScanAddressBook::nationalPhonesKept(const ABPersonData& data, const std::vector<size_t>& national,
                                         const ABMarkCover& kept) {
  return nationalPhonesKept(*PersonValuesOf(data), national, kept);
}

PhoneReadings ScanFinders::phoneReadings(const ScanSnapshot& snapshot, const PhoneNumbers& phones, bool forNationalForm,
                                         unsigned threads) {
  // Whether a person is listed needs one valid number not in international form; which of them
  // the user kept as they are written needs them all.
  using SimilarContacts::NationalNumbers;
  const NationalNumbers national = !forNationalForm                   ? NationalNumbers::kNoneMore
                                   : snapshot.keptPhoneFormat.empty() ? NationalNumbers::kUntilOneValid
                                                                      : NationalNumbers::kEvery;
  return SimilarContacts::readPhones(snapshot.values, phones, national, threads);
}

SimilarContacts::LinkFacts ScanFinders::similarLinks(const ScanSnapshot& snapshot,
                                                     const std::vector<std::vector<std::string>>& distinct,
                                                     unsigned threads) {
  // Persons the user marked as not the same person (for any reason) are distinct sets too.
  if (snapshot.notSamePerson.empty()) return SimilarContacts::LinkFacts(snapshot.values, distinct, threads);
  std::vector<std::vector<std::string>> withMarks = distinct;
  for (const ABMark& mark : snapshot.notSamePerson.marks()) withMarks.push_back(mark.uids);
  return SimilarContacts::LinkFacts(snapshot.values, withMarks, threads);
}

std::vector<SimilarContacts::Group> ScanFinders::similarContacts(const ScanSnapshot& snapshot,
                                                                 const PhoneReadings& readings,
                                                                 const PhoneNumbers& phones,
                                                                 const SimilarContacts::LinkFacts& links) {
  return SimilarContacts::findGroups(snapshot.values, readings, phones, links, SimilarContacts::kMostHolders);
}

std::vector<SimilarContacts::Group> ScanFinders::similarContacts(const ScanSnapshot& snapshot,
                                                                 const PhoneReadings& readings,
                                                                 const PhoneNumbers& phones,
                                                                 const std::vector<std::vector<std::string>>& distinct,
                                                                 unsigned threads) {
  return similarContacts(snapshot, readings, phones, similarLinks(snapshot, distinct, threads));
}

std::vector<size_t> ScanFinders::phonesWrittenDifferently(const ScanSnapshot& snapshot, const PhoneReadings& readings) {
  std::vector<size_t> found;
  for (size_t i = 0; i < snapshot.size(); ++i)
    if (SimilarContacts::holdsNumberWrittenTwice(snapshot.values[i], readings.of(i))) found.push_back(i);
  return found;
}

std::vector<size_t> ScanFinders::phonesNotInternational(const ScanSnapshot& snapshot, const PhoneReadings& readings) {
  std::vector<size_t> found;
  for (size_t i = 0; i < snapshot.size(); ++i) {
    auto national = SimilarContacts::nationalNumbers(snapshot.values[i], readings.of(i));
    if (national.empty()) continue;
    if (!snapshot.keptPhoneFormat.empty() &&
        ScanAddressBook::nationalPhonesKept(snapshot.values[i], national, snapshot.keptPhoneFormat))
      continue;
    found.push_back(i);
  }
  return found;
}

namespace {

// The persons of a snapshot at these indexes, each made once however often it is asked for.
class PersonsOf {
 public:
  explicit PersonsOf(const ScanSnapshot& snapshot) : snapshot_(snapshot), made_(snapshot.records()) {}

  ABPersonRef at(size_t i) {
    if (!made_[i]) made_[i] = snapshot_.person(i);
    return made_[i];
  }
  std::vector<ABPersonRef> at(const std::vector<size_t>& indexes) {
    std::vector<ABPersonRef> persons;
    persons.reserve(indexes.size());
    for (size_t i : indexes) persons.push_back(at(i));
    return persons;
  }
  std::vector<SharedEmailFinding> at(std::vector<SharedEmailIndexes> found) {
    std::vector<SharedEmailFinding> findings;
    for (auto& shared : found) {
      SharedEmailFinding finding;
      finding.SearchedPerson = at(shared.searched);
      finding.MatchPersonsArray = at(shared.matches);
      finding.DuplicateEmailType = std::move(shared.label);
      finding.duplicateEmail = std::move(shared.value);
      findings.push_back(std::move(finding));
    }
    return findings;
  }
  std::vector<SimilarGroup> at(std::vector<SimilarContacts::Group> groups) {
    std::vector<SimilarGroup> found;
    for (auto& group : groups) {
      SimilarGroup similar;
      similar.Persons = at(group.members);
      similar.Reason = std::move(group.reason);
      found.push_back(std::move(similar));
    }
    return found;
  }

 private:
  const ScanSnapshot& snapshot_;
  std::vector<ABPersonRef> made_;
};

std::vector<ABPersonRef> personsMeeting(const ABAddressBook& book, PersonTest test) {
  const ScanSnapshot snapshot = ScanSnapshot::of(book);
  return PersonsOf(snapshot).at(ScanFinders::personsMeeting(snapshot, test));
}

}  // namespace

std::vector<ABPersonRef> ScanAddressBook::test() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  return PersonsOf(snapshot).at(ScanFinders::duplicateContacts(snapshot));
}

std::vector<ABPersonRef> ScanAddressBook::scanAllAddressBookOnlyOneName() const {
  return personsMeeting(book_, hasIncompleteName);
}

std::vector<ABPersonRef> ScanAddressBook::scanAllAddressBookFirstNameHaveSpace() const {
  return personsMeeting(book_, hasSpaceInFirstName);
}

std::vector<ABPersonRef> ScanAddressBook::findBlankNameInContacts() const {
  return personsMeeting(book_, hasBlankName);
}

std::vector<ABPersonRef> ScanAddressBook::findUnusualTitleInContacts() const {
  return personsMeeting(book_, hasUnusualTitle);
}

std::vector<ABPersonRef> ScanAddressBook::findUnusualSuffixInContacts() const {
  return personsMeeting(book_, hasUnusualSuffix);
}

std::vector<ABPersonRef> ScanAddressBook::findInvalidCharactersInContacts() const {
  return personsMeeting(book_, hasInvalidCharacters);
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicateEmailInOnePerson() const {
  return personsMeeting(book_, hasRepeatedEmail);
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicatePhonesInOnePerson() const {
  return personsMeeting(book_, hasRepeatedPhone);
}

std::vector<ABPersonRef> ScanAddressBook::findDuplicateAddressInOnePerson() const {
  return personsMeeting(book_, hasRepeatedAddress);
}

std::vector<ABPersonRef> ScanAddressBook::findEmptyNotes() const {
  return personsMeeting(book_, hasBlankNote);
}

std::vector<ABPersonRef> ScanAddressBook::findEmptyNickname() const {
  return personsMeeting(book_, hasBlankNickname);
}

std::vector<SharedEmailFinding> ScanAddressBook::findDuplicateEmailInContacts() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  return PersonsOf(snapshot).at(ScanFinders::sharedEmails(snapshot));
}

std::vector<SimilarGroup> ScanAddressBook::findSimilarContacts() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  const PhoneNumbers phones(region_);
  return PersonsOf(snapshot).at(ScanFinders::similarContacts(
      snapshot, ScanFinders::phoneReadings(snapshot, phones, false), phones, distinct_, 2));
}

std::vector<ABPersonRef> ScanAddressBook::findPhonesWrittenDifferently() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  const PhoneNumbers phones(region_);
  return PersonsOf(snapshot).at(
      ScanFinders::phonesWrittenDifferently(snapshot, ScanFinders::phoneReadings(snapshot, phones, false)));
}

std::vector<ABPersonRef> ScanAddressBook::findPhonesNotInternational() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  const PhoneNumbers phones(region_);
  return PersonsOf(snapshot).at(
      ScanFinders::phonesNotInternational(snapshot, ScanFinders::phoneReadings(snapshot, phones, true)));
}

std::vector<ABPersonRef> ScanAddressBook::findGroupsWrittenDifferently() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  return PersonsOf(snapshot).at(ScannerConditions::groupsWrittenDifferently(snapshot));
}

std::vector<ABPersonRef> ScanAddressBook::findEmptyGroups() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  return PersonsOf(snapshot).at(ScannerConditions::emptyGroups(snapshot));
}

std::vector<ABPersonRef> ScanAddressBook::findSharedPhotos() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  return PersonsOf(snapshot).at(ScannerConditions::sharedPhotos(snapshot, region_));
}

std::vector<ABPersonRef> ScanAddressBook::findUnlikelyDates() const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  return PersonsOf(snapshot).at(ScannerConditions::unlikelyDates(snapshot));
}

std::vector<ABPersonRef> ScanAddressBook::findPersonsMeeting(PersonTest test) const {
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  std::vector<size_t> found = ScanFinders::personsMeeting(snapshot, test);
  // Persons the user kept as they are, for a condition that keeps them.
  for (const auto& condition : scanConditions())
    if (condition.meets == test && condition.keptValues && !snapshot.keptAsItIs.empty())
      std::erase_if(found, [&](size_t i) {
        return snapshot.values[i].uid && snapshot.keptAsItIs.keeps(std::string(*snapshot.values[i].uid),
                                                                   condition.keptValues(snapshot.values[i]));
      });
  return PersonsOf(snapshot).at(found);
}

ScanResult ScanAddressBook::scan(const std::vector<std::string>& names) const {
  if (!ScanFinders::anyCondition(names)) return {};
  const ScanSnapshot snapshot = ScanSnapshot::of(book_);
  return scan(snapshot, names, region_, distinct_).resultOf(snapshot);
}

ScanFindings::List& ScanFindings::listFor(const std::string& key) {
  for (List& list : lists)
    if (list.key == key) return list;
  lists.push_back({key, {}, {}, {}});
  return lists.back();
}

ScanResult ScanFindings::resultOf(const ScanSnapshot& snapshot) && {
  ScanResult result;
  result.region = std::move(region);
  PersonsOf persons(snapshot);
  for (List& list : lists) {
    const ScanCondition* condition = scanConditionKeyed(list.key);
    const auto lists = condition ? condition->lists() : ScanCondition::Lists::kPersons;
    if (lists == ScanCondition::Lists::kSharedEmails)
      result.setShareEmail(persons.at(std::move(list.shared)));
    else if (lists == ScanCondition::Lists::kSimilarGroups)
      result.setSimilarContacts(persons.at(std::move(list.similar)));
    else
      result.setPersons(list.key, persons.at(list.persons));
  }
  return result;
}

bool ScanFinders::anyCondition(const std::vector<std::string>& names) {
  return std::any_of(names.begin(), names.end(),
                     [](const std::string& name) { return scanConditionNamed(name) != nullptr; });
}

ScanFindings ScanAddressBook::scan(const ScanSnapshot& snapshot, const std::vector<std::string>& names,
                                   const std::string& region, const std::vector<std::vector<std::string>>& distinct,
                                   const ScanFinders::PersonsTested* tested) {
  std::vector<const ScanCondition*> conditions;
  for (const auto& name : names)
    if (const ScanCondition* condition = scanConditionNamed(name)) conditions.push_back(condition);
  if (conditions.empty()) return ScanFindings();

  // One snapshot for every condition. The conditions about one person share one pass over it; the
  // others (duplicate groups, shared e-mail values, the phone conditions) are tasks of their own.
  // The tasks run side by side on the cores and the result is assembled in list order afterwards.
  using Task = ScanCondition::Task;
  std::vector<PersonTest> tests;
  std::set<Task> others;
  for (const ScanCondition* condition : conditions) {
    if (condition->task == Task::kPersonTest)
      tests.push_back(condition->meets);
    else
      others.insert(condition->task);
  }
  std::vector<std::vector<size_t>> found;
  std::map<Task, std::vector<size_t>> foundOther;
  std::vector<SharedEmailIndexes> sharedFound;
  std::vector<SimilarContacts::Group> similarFound;
  // Each task writes only its own result; the map's entries are made before the tasks run.
  auto listOf = [&](Task task) { return others.count(task) ? &foundOther[task] : nullptr; };
  std::vector<size_t>* duplicates = listOf(Task::kDuplicateGroups);
  std::vector<size_t>* writtenTwice = listOf(Task::kPhonesWrittenTwice);
  std::vector<size_t>* national = listOf(Task::kPhonesNotInternational);
  std::vector<size_t>* unlikelyDates = listOf(Task::kUnlikelyDates);
  std::vector<size_t>* groupsWrittenDifferently = listOf(Task::kGroupsWrittenDifferently);
  std::vector<size_t>* emptyGroups = listOf(Task::kEmptyGroups);
  std::vector<size_t>* sharedPhotos = listOf(Task::kSharedPhotos);

  // Every phone number is read once for the three conditions that compare them. One task reads
  // them while another works out what else links similar contacts; the one that ends last runs the
  // three conditions. They are the longest tasks and begin first, the others run beside them.
  const PhoneNumbers phones(region);
  PhoneReadings readings;
  std::optional<SimilarContacts::LinkFacts> links;
  std::vector<std::function<void()>> tasks;
  const bool similar = others.count(Task::kSimilarGroups) > 0;
  if (similar || writtenTwice || national) {
    auto compare = [&] {
      if (similar) similarFound = ScanFinders::similarContacts(snapshot, readings, phones, *links);
      if (writtenTwice) *writtenTwice = ScanFinders::phonesWrittenDifferently(snapshot, readings);
      if (national) *national = ScanFinders::phonesNotInternational(snapshot, readings);
    };
    auto waiting = std::make_shared<std::atomic<int>>(similar ? 2 : 1);
    tasks.push_back([&, compare, waiting] {
      readings = ScanFinders::phoneReadings(snapshot, phones, national != nullptr, 2);
      if (--*waiting == 0) compare();
    });
    if (similar) {
      tasks.push_back([&, compare, waiting] {
        links.emplace(ScanFinders::similarLinks(snapshot, distinct, 2));
        if (--*waiting == 0) compare();
      });
    }
  }
  found = tested ? tested->found : std::vector<std::vector<size_t>>(tests.size());
  if (const size_t from = tested ? tested->upTo : 0; from < snapshot.size())
    tasks.push_back(
        [&, from] { ScanFinders::addPersonsMeetingEach(snapshot.values, from, snapshot.size(), tests, found); });
  if (others.count(Task::kSharedEmails)) tasks.push_back([&] { sharedFound = ScanFinders::sharedEmails(snapshot); });
  if (duplicates) tasks.push_back([&] { *duplicates = ScanFinders::duplicateContacts(snapshot); });
  if (unlikelyDates) tasks.push_back([&] { *unlikelyDates = ScannerConditions::unlikelyDates(snapshot); });
  if (groupsWrittenDifferently)
    tasks.push_back([&] { *groupsWrittenDifferently = ScannerConditions::groupsWrittenDifferently(snapshot); });
  if (emptyGroups) tasks.push_back([&] { *emptyGroups = ScannerConditions::emptyGroups(snapshot); });
  if (sharedPhotos) tasks.push_back([&] { *sharedPhotos = ScannerConditions::sharedPhotos(snapshot, region); });
  std::atomic<size_t> next{0};
  parallelFor(tasks.size(), 1, [&](size_t, size_t) {
    for (size_t task = next++; task < tasks.size(); task = next++) tasks[task]();
  });

  ScanFindings result;
  result.region = region;
  size_t test = 0;
  for (const ScanCondition* condition : conditions) {
    if (condition->task == Task::kPersonTest) {
      // Persons the user kept as they are leave the list, while their values are as kept.
      if (condition->keptValues && !snapshot.keptAsItIs.empty())
        std::erase_if(found[test], [&](size_t i) {
          return snapshot.values[i].uid && snapshot.keptAsItIs.keeps(std::string(*snapshot.values[i].uid),
                                                                     condition->keptValues(snapshot.values[i]));
        });
      if (!found[test].empty()) result.listFor(condition->key).persons = found[test];
      ++test;
    } else if (condition->task == Task::kSharedEmails) {
      if (!sharedFound.empty()) result.listFor(condition->key).shared = sharedFound;
    } else if (condition->task == Task::kSimilarGroups) {
      if (!similarFound.empty()) result.listFor(condition->key).similar = similarFound;
    } else if (auto it = foundOther.find(condition->task); it != foundOther.end() && !it->second.empty()) {
      result.listFor(condition->key).persons = it->second;
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
