#include "app/scanner/SimilarContacts.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "app/scanner/MetAgain.h"
#include "app/scanner/NameFolding.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/PackedBytes.h"
#include "platform/text/ByteWords.h"
#include "platform/threads/ParallelFor.h"

// Two persons are linked when they hold the same phone number (both read by libphonenumber), the
// same e-mail address (emailKey), or names equal once case, accents, punctuation, white space and
// word order are left aside (NameFolding::nameKey). A value held by more than mostHolders persons
// links nobody. Persons of one exact duplicate group are not linked to each other (the
// "Duplicate contacts" condition lists them), nor are persons of one set the user marked as not the
// same person, nor two persons with different birthdays. A name alone does not link two persons
// who both hold an organisation when these differ: they are two people who share a name.
//
// Links join groups (persons linked through a third are in one group) only while the group stays
// free of such a pair: no two birthdays, no two persons of one mark, and, for a link by name, no two
// different organisations. Links are tried phone numbers first, then e-mail addresses, then names,
// each in store order, so the result does not depend on anything but the store.

void PhoneReadings::append(const std::vector<Reading>& readings) {
  for (const Reading& reading : readings) {
    slotOfEntry_.push_back(static_cast<std::uint32_t>(readings_.size()));
    readings_.push_back(reading);
  }
  firstEntry_.push_back(static_cast<std::uint32_t>(slotOfEntry_.size()));
}

const PhoneNumbers::Reading& PhoneReadings::unread() {
  static const Reading none;
  return none;
}

namespace SimilarContacts {

namespace {

// The endings of phone numbers compared: their last seven digits.
constexpr std::uint32_t kEndings = 10000000u;

// Only digits, white space and the usual separators.
bool plainNumber(std::string_view text, unsigned* digits, std::uint32_t* tail) {
  *digits = 0;
  // The digits so far, cut to their last seven now and then (not at every digit).
  std::uint64_t last = 0;
  for (char c : text) {
    if (c >= '0' && c <= '9') {
      ++*digits;
      last = last * 10 + static_cast<std::uint64_t>(c - '0');
      if (last >= (std::uint64_t{1} << 60)) last %= kEndings;
    } else if (!(c == ' ' || c == '+' || c == '-' || c == '.' || c == '/' || c == '(' || c == ')' || c == '\t')) {
      *tail = static_cast<std::uint32_t>(last % kEndings);
      return false;
    }
  }
  *tail = static_cast<std::uint32_t>(last % kEndings);
  return true;
}

}  // namespace

PhoneReadings readPhones(const std::vector<ABPersonSnapshot>& persons, const PhoneNumbers& phones,
                         NationalNumbers national, unsigned threads) {
  return readPhones(ScanSnapshot::of(persons).values, phones, national, threads);
}

PhoneReadings readPhones(const std::vector<PersonValues>& persons, const PhoneNumbers& phones, NationalNumbers national,
                         unsigned threads) {
  // The entries of every person one after the other: where each person's start, then what each
  // entry is, person by person on up to `threads` threads.
  struct Entry {
    std::string_view text;
    std::uint32_t tail = 0;
    unsigned digits = 0;
    bool plain = false;
    bool international = false;
  };
  const size_t count = persons.size();
  std::vector<std::uint32_t> firstEntry(count + 1, 0);
  for (size_t i = 0; i < count; ++i)
    firstEntry[i + 1] = firstEntry[i] + static_cast<std::uint32_t>(persons[i].phones.count());
  std::vector<Entry> entries(firstEntry[count]);
  auto gather = [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) {
      Entry* entry = entries.data() + firstEntry[i];
      for (const auto& phone : persons[i].phones) {
        Entry& it = *entry++;
        if (!phone.isText || phone.text.empty() || ScanAddressBook::phoneHasLetter(phone.text)) continue;
        it.text = phone.text;
        it.international = PhoneNumbers::writtenInternational(phone.text);
        it.plain = plainNumber(phone.text, &it.digits, &it.tail);
      }
    }
  };
  if (threads > 1)
    parallelFor(count, 4096, gather);
  else
    gather(0, count);
  // Which seven last digits more than one plain number of ten digits or more ends with: one bit
  // for each ending met, one for each met again.
  std::vector<std::uint64_t> met(kEndings / 64 + 1, 0), metAgain(kEndings / 64 + 1, 0);
  for (const Entry& entry : entries) {
    if (entry.text.empty() || !entry.plain || entry.digits < 10) continue;
    const std::uint64_t bit = std::uint64_t{1} << (entry.tail % 64);
    if (met[entry.tail / 64] & bit) metAgain[entry.tail / 64] |= bit;
    met[entry.tail / 64] |= bit;
  }
  // An ending met again only in the same text of the same person (one number a person holds
  // twice, as written) is no other number's: that number equals none but itself, and whether it
  // is read changes nothing.
  struct FirstWith {
    std::uint32_t person;
    std::string_view text;
    bool other = false;  // another person's number, or another text, ends with it too
  };
  std::unordered_map<std::uint32_t, FirstWith> firstWith;
  for (size_t i = 0; i < count; ++i)
    for (size_t e = firstEntry[i]; e < firstEntry[i + 1]; ++e) {
      const Entry& entry = entries[e];
      if (entry.text.empty() || !entry.plain || entry.digits < 10 ||
          !((metAgain[entry.tail / 64] >> (entry.tail % 64)) & 1u))
        continue;
      auto [at, added] = firstWith.try_emplace(entry.tail, FirstWith{static_cast<std::uint32_t>(i), entry.text});
      if (!added && (at->second.person != i || at->second.text != entry.text)) at->second.other = true;
    }
  for (const auto& [tail, first] : firstWith)
    if (!first.other) metAgain[tail / 64] &= ~(std::uint64_t{1} << (tail % 64));
  auto sharedEnding = [&](std::uint32_t tail) { return (metAgain[tail / 64] >> (tail % 64)) & 1u; };

  // The distinct texts to read, each once, in batches read on every core.
  std::vector<std::string_view> texts;
  std::vector<PhoneNumbers::Reading> readings;
  std::unordered_map<std::string_view, std::uint32_t> slotOf;
  constexpr std::uint32_t kUnread = PhoneReadings::kUnread;
  std::vector<std::uint32_t> slotOfEntry(entries.size(), kUnread);
  auto take = [&](size_t e) {
    auto [at, added] = slotOf.emplace(entries[e].text, static_cast<std::uint32_t>(texts.size()));
    if (added) texts.push_back(entries[e].text);
    slotOfEntry[e] = at->second;
  };
  auto readBatch = [&] {
    const size_t from = readings.size();
    readings.resize(texts.size());
    auto readSlots = [&](size_t begin, size_t end) {
      for (size_t slot = begin; slot < end; ++slot) readings[slot] = phones.read(texts[slot]);
    };
    if (threads > 1)
      parallelFor(texts.size() - from, 256, [&](size_t begin, size_t end) { readSlots(from + begin, from + end); });
    else
      readSlots(from, texts.size());
  };

  for (size_t e = 0; e < entries.size(); ++e) {
    const Entry& entry = entries[e];
    if (entry.text.empty()) continue;
    bool needed = !entry.plain || entry.digits < 10 || sharedEnding(entry.tail) ||
                  (national == NationalNumbers::kEvery && !entry.international);
    if (needed) take(e);
  }
  readBatch();

  // A number written otherwise (an extension after "#", a comma) or with fewer than ten digits is
  // always read; a plain number ending with the same seven digits as its reading could be the same
  // number ("030 3528696#12", "030 301731" and "+49 30 301731"), so it is read too.
  std::vector<std::uint32_t> otherEndings;
  for (size_t e = 0; e < entries.size(); ++e) {
    const Entry& entry = entries[e];
    if (entry.text.empty() || (entry.plain && entry.digits >= 10) || slotOfEntry[e] == kUnread) continue;
    const std::string& e164 = readings[slotOfEntry[e]].e164;
    if (e164.size() < 8) continue;
    std::uint32_t tail = 0;
    for (char c : std::string_view(e164).substr(e164.size() - 7))
      tail = tail * 10 + static_cast<std::uint32_t>(c - '0');
    otherEndings.push_back(tail);
  }
  if (!otherEndings.empty()) {
    std::sort(otherEndings.begin(), otherEndings.end());
    for (size_t e = 0; e < entries.size(); ++e)
      if (!entries[e].text.empty() && entries[e].plain && slotOfEntry[e] == kUnread &&
          std::binary_search(otherEndings.begin(), otherEndings.end(), entries[e].tail))
        take(e);
    readBatch();
  }

  // A person's numbers not in international form, one more of each person in every batch, until
  // one of them is valid.
  if (national == NationalNumbers::kUntilOneValid) {
    std::vector<size_t> waiting;
    auto holdsValid = [&](size_t i) {
      for (size_t e = firstEntry[i]; e < firstEntry[i + 1]; ++e) {
        if (slotOfEntry[e] == kUnread) continue;
        const PhoneNumbers::Reading& reading = readings[slotOfEntry[e]];
        if (reading.read && !reading.international && reading.valid) return true;
      }
      return false;
    };
    for (size_t i = 0; i < count; ++i)
      if (firstEntry[i] != firstEntry[i + 1] && !holdsValid(i)) waiting.push_back(i);
    while (!waiting.empty()) {
      std::vector<size_t> still;
      for (size_t i : waiting) {
        for (size_t e = firstEntry[i]; e < firstEntry[i + 1]; ++e) {
          if (entries[e].text.empty() || entries[e].international || slotOfEntry[e] != kUnread) continue;
          take(e);
          still.push_back(i);
          break;
        }
      }
      readBatch();
      waiting.clear();
      for (size_t i : still)
        if (!holdsValid(i)) waiting.push_back(i);
    }
  }
  return PhoneReadings(std::move(readings), std::move(slotOfEntry), std::move(firstEntry));
}

std::vector<PhoneNumbers::Reading> readPhonesOf(const PersonValues& person, const PhoneNumbers& phones) {
  std::vector<PhoneNumbers::Reading> readings;
  for (const auto& entry : person.phones)
    readings.push_back(phones.read(entry.isText ? entry.text : std::string_view()));
  return readings;
}

std::vector<PhoneNumbers::Reading> readPhonesOf(const ABPersonData& person, const PhoneNumbers& phones) {
  return readPhonesOf(*PersonValuesOf(person), phones);
}

bool holdsNumberWrittenTwice(const PersonValues& person, PhoneReadings::Of readings) {
  if (person.phones.count() < 2) return false;
  // Most persons have fewer than two numbers read: their entries are not looked at.
  size_t read = 0;
  for (size_t i = 0; i < readings.size(); ++i) read += readings[i].read ? 1 : 0;
  if (read < 2) return false;
  const auto entries = person.phones.entries();
  const size_t count = std::min(entries.size(), readings.size());
  for (size_t i = 1; i < count; ++i) {
    if (!readings[i].read) continue;
    for (size_t j = 0; j < i; ++j)
      if (readings[j].read && readings[j].e164 == readings[i].e164 && !entries[i].sameValue(entries[j])) return true;
  }
  return false;
}

bool holdsNumberWrittenTwice(const ABPersonData& person, PhoneReadings::Of readings) {
  return holdsNumberWrittenTwice(*PersonValuesOf(person), readings);
}

std::vector<size_t> nationalNumbers(const PersonValues& person, PhoneReadings::Of readings) {
  std::vector<size_t> found;
  for (size_t i = 0; i < std::min(person.phones.count(), readings.size()); ++i)
    if (readings[i].read && !readings[i].international && readings[i].valid) found.push_back(i);
  return found;
}

std::vector<size_t> nationalNumbers(const ABPersonData& person, PhoneReadings::Of readings) {
  return nationalNumbers(*PersonValuesOf(person), readings);
}

std::string emailKey(std::string_view address) {
  std::string key;
  emailKeyInto(address, key);
  return key;
}

bool emailKeyInto(std::string_view address, std::string& key) {
  key.clear();
  std::string_view trimmed = address;
  while (!trimmed.empty() && (trimmed.front() == ' ' || trimmed.front() == '\t')) trimmed.remove_prefix(1);
  while (!trimmed.empty() && (trimmed.back() == ' ' || trimmed.back() == '\t')) trimmed.remove_suffix(1);
  if (!ScanAddressBook::isValidEmail(trimmed)) return false;
  // In lower case (ASCII letters only), eight bytes at a time: a byte from 'A' to 'Z' gets 0x20.
  const size_t size = trimmed.size();
  key.resize(size);
  const char* in = trimmed.data();
  char* out = key.data();
  size_t i = 0;
  for (; i + 8 <= size; i += 8) {
    const std::uint64_t word = ByteWords::load(in + i);
    const std::uint64_t lowered = word | (ByteWords::inRange(word, 'A', 'Z') >> 2);
    std::memcpy(out + i, &lowered, 8);
  }
  for (; i < size; ++i) {
    const char c = in[i];
    out[i] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  }
  const size_t at = key.rfind('@');
  const std::string_view domain = std::string_view(key).substr(at + 1);
  if (domain != "gmail.com" && domain != "googlemail.com") return true;
  // The local part without its dots and "+tag", written over the key's own start.
  size_t local = 0;
  for (size_t i = 0; i < at && key[i] != '+'; ++i)
    if (key[i] != '.') key[local++] = key[i];
  if (local == 0) return true;
  key.resize(local);
  key += "@gmail.com";
  return true;
}

namespace {

// What links or parts one person: views of its values and of texts worked out from them, which
// the part of the persons it was gathered with keeps.
struct Facts {
  std::string_view nameKey;       // empty when the person has no name
  std::string_view organization;  // folded; empty when none
  std::vector<int> marks;         // the distinct sets the person is in
  // emailKey of each address, each once: entries of the list of its part.
  const std::vector<std::string_view>* emailsOf = nullptr;
  std::uint32_t firstEmail = 0, emailCount = 0;

  std::string_view email(size_t k) const { return (*emailsOf)[firstEmail + k]; }
};

// The facts of the persons of one part, the texts worked out for them and their e-mail keys; the
// buffers are kept by the thread for its next person.
class FactsGatherer {
 public:
  FactsGatherer(const std::unordered_map<std::string_view, std::vector<int>>& markOf, PackedBytes& texts,
                std::vector<std::string_view>& emails)
      : markOf_(markOf), texts_(texts), emails_(emails) {}

  Facts of(const PersonValues& values) {
    Facts facts;
    if (values.firstName || values.lastName) {
      const std::string_view first = values.firstName ? *values.firstName : "";
      const std::string_view last = values.lastName ? *values.lastName : "";
      facts.nameKey = names_.of(first, last, [&] { NameFolding::nameKeyInto(first, last, text_); });
    }
    if (values.organization)
      facts.organization =
          organizations_.of(*values.organization, {}, [&] { NameFolding::foldedInto(*values.organization, text_); });
    if (!markOf_.empty() && values.uid)
      if (auto found = markOf_.find(*values.uid); found != markOf_.end()) facts.marks = found->second;
    facts.emailsOf = &emails_;
    facts.firstEmail = static_cast<std::uint32_t>(emails_.size());
    // Each address once: looked for among the few before, or, for a person of many, in a table of
    // them (so that 100,000 addresses of one person take linear time).
    constexpr std::size_t kLookedThrough = 16;
    seen_.clear();
    for (const auto& entry : values.emails) {
      if (!entry.isText || !emailKeyInto(entry.text, text_)) continue;
      const auto first = emails_.begin() + facts.firstEmail;
      if (seen_.empty() && static_cast<std::size_t>(emails_.end() - first) >= kLookedThrough)
        seen_.insert(first, emails_.end());
      const bool known = seen_.empty() ? std::find(first, emails_.end(), text_) != emails_.end()
                                       : seen_.count(std::string_view(text_)) > 0;
      if (known) continue;
      emails_.push_back(texts_.append(text_));
      if (!seen_.empty()) seen_.insert(emails_.back());
    }
    facts.emailCount = static_cast<std::uint32_t>(emails_.size() - facts.firstEmail);
    return facts;
  }

 private:
  const std::unordered_map<std::string_view, std::vector<int>>& markOf_;
  PackedBytes& texts_;
  std::vector<std::string_view>& emails_;
  std::unordered_set<std::string_view> seen_;  // the addresses of a person of many
  std::string text_;
  // A text worked out from one or two values, kept with the values by their hash (the last values
  // of each slot): values met shortly before take it from there instead of working it out again.
  class Recent {
   public:
    explicit Recent(FactsGatherer& gatherer) : gatherer_(gatherer) {}
    // The text for a and b: work() writes it into text_ when it is not known.
    template <typename Work>
    std::string_view of(std::string_view a, std::string_view b, Work work) {
      const std::hash<std::string_view> hash;
      Slot& slot = slots_[(hash(a) * 31 + hash(b)) & (slots_.size() - 1)];
      if (!slot.known || slot.a != a || slot.b != b) {
        work();
        slot = {a, b, gatherer_.texts_.append(gatherer_.text_), true};
      }
      return slot.text;
    }

   private:
    struct Slot {
      std::string_view a, b, text;
      bool known = false;
    };
    FactsGatherer& gatherer_;
    std::vector<Slot> slots_ = std::vector<Slot>(4096);
  };
  Recent names_{*this}, organizations_{*this};
};

// Groups as they form: union by root, with what a group holds that forbids joining another. A
// person's own state is taken from its values when its group is first joined.
class Groups {
 public:
  Groups(const std::vector<PersonValues>& persons, const std::vector<Facts>& facts)
      : persons_(persons), facts_(facts), parent_(facts.size()), stateOf_(facts.size(), kNone) {
    for (size_t i = 0; i < facts.size(); ++i) parent_[i] = i;
  }

  size_t root(size_t i) {
    while (parent_[i] != i) i = parent_[i] = parent_[parent_[i]];
    return i;
  }

  // Joins the groups of a and b when that keeps them free of two people; false otherwise.
  bool join(size_t a, size_t b, bool byName) {
    size_t ra = root(a), rb = root(b);
    if (ra == rb) return false;
    if (rb < ra) std::swap(ra, rb);
    State& sa = state(ra);
    State& sb = state(rb);
    if (sa.birthday && sb.birthday && !(*sa.birthday == *sb.birthday)) return false;
    for (int mark : sb.marks)
      if (std::binary_search(sa.marks.begin(), sa.marks.end(), mark)) return false;
    if (byName && !sa.organizations.empty() && !sb.organizations.empty()) {
      for (const auto& organization : sb.organizations)
        if (std::find(sa.organizations.begin(), sa.organizations.end(), organization) == sa.organizations.end())
          return false;
      for (const auto& organization : sa.organizations)
        if (std::find(sb.organizations.begin(), sb.organizations.end(), organization) == sb.organizations.end())
          return false;
    }
    State& into = sa;
    State& from = sb;
    if (!into.birthday) into.birthday = from.birthday;
    for (auto& organization : from.organizations)
      if (std::find(into.organizations.begin(), into.organizations.end(), organization) == into.organizations.end())
        into.organizations.push_back(organization);
    into.marks.insert(into.marks.end(), from.marks.begin(), from.marks.end());
    std::sort(into.marks.begin(), into.marks.end());
    into.marks.erase(std::unique(into.marks.begin(), into.marks.end()), into.marks.end());
    from = State();
    parent_[rb] = ra;
    return true;
  }

 private:
  static constexpr std::uint32_t kNone = static_cast<std::uint32_t>(-1);
  struct State {
    std::optional<ABDate> birthday;
    std::vector<std::string_view> organizations;
    std::vector<int> marks;
  };
  // The state of a root; a person never joined has its own.
  State& state(size_t root) {
    if (stateOf_[root] == kNone) {
      stateOf_[root] = static_cast<std::uint32_t>(states_.size());
      State& own = states_.emplace_back();
      own.birthday = persons_[root].birthday;
      if (!facts_[root].organization.empty()) own.organizations.push_back(facts_[root].organization);
      own.marks = facts_[root].marks;
      std::sort(own.marks.begin(), own.marks.end());
    }
    return states_[stateOf_[root]];
  }

  const std::vector<PersonValues>& persons_;
  const std::vector<Facts>& facts_;
  std::vector<size_t> parent_;
  std::vector<std::uint32_t> stateOf_;
  std::deque<State> states_;  // a reference to one stays valid when another is added
};

// Values in the order a walk through the persons in store order first meets them, with their
// holders (each person once, in store order). The values are views of texts that outlive it.
class Holders {
 public:
  // The next value of the walk, held by `person`.
  void add(std::string_view value, size_t person) { walk_.push_back({value, static_cast<std::uint32_t>(person)}); }
  // Room for `values` more values.
  void reserve(size_t values) { walk_.reserve(walk_.size() + values); }

  // No value is added any more: the values held more than once are found. A value met once in
  // the walk is nobody else's: only values whose hash was met again are counted, in a table of
  // those few.
  void settle() {
    MetAgain met(walk_.size());
    std::vector<std::uint64_t> hashes(walk_.size());
    const std::hash<std::string_view> hash;
    for (size_t w = 0; w < walk_.size(); ++w) met.meet(hashes[w] = hash(walk_[w].value));
    size_t candidates = 0;
    for (size_t w = 0; w < walk_.size(); ++w) candidates += met.metAgain(hashes[w]);
    // The values met so far, numbered as values_ holds them.
    NumberedByHash numbered(candidates);
    for (size_t w = 0; w < walk_.size(); ++w) {
      if (!met.metAgain(hashes[w])) continue;
      const std::string_view value = walk_[w].value;
      count(numbered.numberOf(hashes[w], [&](std::uint32_t v) { return values_[v].text == value; }), value,
            walk_[w].person);
    }
    walk_ = {};
  }

  // Calls visit(value, holders) for every value held by two to `most` persons.
  template <typename Visit>
  void forEachShared(size_t most, Visit visit) const {
    std::vector<size_t> members;
    for (const Value& value : values_) {
      if (value.count < 2 || value.count > most) continue;
      members.clear();
      for (std::uint32_t h = value.first; h != kNone; h = holders_[h].next) members.push_back(holders_[h].person);
      visit(value.text, members);
    }
  }

 private:
  // Persons and entries are counted in 32 bits: a store holds far fewer than four billion.
  static constexpr std::uint32_t kNone = static_cast<std::uint32_t>(-1);
  struct Met {
    std::string_view value;
    std::uint32_t person;
  };
  struct Value {
    std::string_view text;
    std::uint32_t first, last, count;
  };
  struct Holder {
    std::uint32_t person, next;
  };

  // One more holder of value number `index` (a new value when it is the next number).
  void count(std::uint32_t index, std::string_view value, std::uint32_t who) {
    const auto next = static_cast<std::uint32_t>(holders_.size());
    if (index == values_.size()) {
      values_.push_back({value, next, next, 1});
      holders_.push_back({who, kNone});
      return;
    }
    Value& known = values_[index];
    if (holders_[known.last].person == who) return;
    holders_[known.last].next = next;
    known.last = next;
    ++known.count;
    holders_.push_back({who, kNone});
  }

  std::vector<Met> walk_;
  std::vector<Value> values_;
  std::vector<Holder> holders_;
};

}  // namespace

std::vector<Group> findGroups(const std::vector<ABPersonSnapshot>& persons, const PhoneReadings& phones,
                              const PhoneNumbers& numbers, const std::vector<std::vector<std::string>>& distinct,
                              size_t mostHolders, unsigned threads) {
  return findGroups(ScanSnapshot::of(persons).values, phones, numbers, distinct, mostHolders, threads);
}

// The facts of every person, the texts worked out for them, and the holders of e-mail keys and names.
struct LinkFacts::Data {
  std::vector<Facts> facts;
  std::vector<std::unique_ptr<PackedBytes>> texts;
  std::vector<std::unique_ptr<std::vector<std::string_view>>> emails;
  Holders emailHolders, nameHolders;
};

LinkFacts::LinkFacts(const std::vector<PersonValues>& persons, const std::vector<std::vector<std::string>>& distinct,
                     unsigned threads)
    : data_(std::make_unique<Data>()) {
  std::unordered_map<std::string_view, std::vector<int>> markOf;
  for (size_t m = 0; m < distinct.size(); ++m)
    for (const auto& uid : distinct[m]) markOf[uid].push_back(static_cast<int>(m));

  // What links or parts persons, person by person, on up to `threads` threads; each part keeps the
  // texts worked out for its persons.
  std::vector<Facts>& facts = data_->facts;
  facts.resize(persons.size());
  std::mutex textsLock;
  auto gather = [&](size_t begin, size_t end) {
    auto part = std::make_unique<PackedBytes>();
    auto partEmails = std::make_unique<std::vector<std::string_view>>();
    FactsGatherer gatherer(markOf, *part, *partEmails);
    for (size_t i = begin; i < end; ++i) facts[i] = gatherer.of(persons[i]);
    std::lock_guard<std::mutex> guard(textsLock);
    data_->texts.push_back(std::move(part));
    data_->emails.push_back(std::move(partEmails));
  };
  if (threads > 1)
    parallelFor(persons.size(), 4096, gather);
  else
    gather(0, persons.size());

  // The holders of e-mail keys and of names, side by side.
  auto holders = [&](size_t begin, size_t end) {
    for (size_t kind = begin; kind < end; ++kind) {
      Holders& held = kind == 0 ? data_->emailHolders : data_->nameHolders;
      size_t values = 0;
      for (const Facts& person : facts) values += kind == 0 ? person.emailCount : !person.nameKey.empty();
      held.reserve(values);
      for (size_t i = 0; i < facts.size(); ++i) {
        if (kind == 0)
          for (size_t k = 0; k < facts[i].emailCount; ++k) held.add(facts[i].email(k), i);
        else if (!facts[i].nameKey.empty())
          held.add(facts[i].nameKey, i);
      }
      held.settle();
    }
  };
  if (threads > 1)
    parallelFor(2, 1, holders);
  else
    holders(0, 2);
}

LinkFacts::~LinkFacts() = default;
LinkFacts::LinkFacts(LinkFacts&&) noexcept = default;
LinkFacts& LinkFacts::operator=(LinkFacts&&) noexcept = default;

std::vector<Group> findGroups(const std::vector<PersonValues>& persons, const PhoneReadings& phones,
                              const PhoneNumbers& numbers, const std::vector<std::vector<std::string>>& distinct,
                              size_t mostHolders, unsigned threads) {
  return findGroups(persons, phones, numbers, LinkFacts(persons, distinct, threads), mostHolders);
}

std::vector<Group> findGroups(const std::vector<PersonValues>& persons, const PhoneReadings& phones,
                              const PhoneNumbers& numbers, const LinkFacts& links, size_t mostHolders) {
  const std::vector<Facts>& facts = links.data().facts;
  Holders phoneHolders;
  for (size_t i = 0; i < persons.size(); ++i)
    for (const auto& reading : phones.of(i))
      if (reading.read) phoneHolders.add(reading.e164, i);
  phoneHolders.settle();

  Groups groups(persons, facts);
  std::vector<std::pair<size_t, std::string>> linked;  // a member of the joined group, why
  auto linkAll = [&](const Holders& holders, bool byNameRule, auto reasonOf) {
    std::vector<std::optional<std::string>> keys;
    holders.forEachShared(mostHolders, [&](std::string_view value, const std::vector<size_t>& members) {
      keys.clear();
      for (size_t m : members) keys.push_back(ScanAddressBook::duplicateGroupKey(persons[m]));
      for (size_t k = 1; k < members.size(); ++k) {
        for (size_t h = 0; h < k; ++h) {
          const Facts& a = facts[members[h]];
          const Facts& b = facts[members[k]];
          // Persons of one exact duplicate group.
          if (keys[h] && keys[h] == keys[k]) continue;
          if (byNameRule && !a.organization.empty() && !b.organization.empty() && a.organization != b.organization)
            continue;
          if (groups.join(members[h], members[k], byNameRule))
            linked.emplace_back(members[k], reasonOf(value, persons[members[h]], persons[members[k]]));
        }
      }
    });
  };
  // The reason of the links of one number, written once, from a reading of a text written as the
  // number's E.164 form when there is one.
  std::string_view reasonFor;
  std::string phoneReason;
  std::optional<std::unordered_map<std::string_view, const PhoneNumbers::Reading*>> writtenAsE164;
  linkAll(phoneHolders, false, [&](std::string_view value, const PersonValues&, const PersonValues&) {
    if (value != reasonFor || phoneReason.empty()) {
      reasonFor = value;
      if (!writtenAsE164) {
        writtenAsE164.emplace();
        for (const auto& reading : phones.readings())
          if (reading.read && reading.writtenAsE164) writtenAsE164->emplace(reading.e164, &reading);
      }
      const auto found = writtenAsE164->find(value);
      phoneReason = "same phone " + (found != writtenAsE164->end() ? numbers.internationalOf(*found->second)
                                                                   : numbers.internationalOfE164(std::string(value)));
    }
    return phoneReason;
  });
  linkAll(links.data().emailHolders, false, [](std::string_view value, const PersonValues&, const PersonValues&) {
    return "same e-mail " + std::string(value);
  });
  linkAll(links.data().nameHolders, true, [](std::string_view, const PersonValues& a, const PersonValues& b) {
    auto text = [](const ScanText& name) { return name ? *name : std::string_view(); };
    std::string apart =
        NameFolding::differences(text(a.firstName), text(a.lastName), text(b.firstName), text(b.lastName));
    return "same name apart from " + (apart.empty() ? "how it is split into first and last name" : apart);
  });

  // Each group once, in the order of its first member (the root is the smallest index of its
  // group); a group whose members are all one exact duplicate group is left to "Duplicate contacts".
  std::vector<size_t> size(persons.size(), 0);
  for (size_t i = 0; i < persons.size(); ++i) ++size[groups.root(i)];
  std::unordered_map<size_t, size_t> groupOfRoot;
  std::vector<Group> found;
  std::vector<std::vector<std::string>> reasons;
  for (size_t i = 0; i < persons.size(); ++i) {
    size_t r = groups.root(i);
    if (size[r] < 2) continue;
    auto [at, added] = groupOfRoot.emplace(r, found.size());
    if (added) {
      found.push_back({});
      reasons.emplace_back();
    }
    found[at->second].members.push_back(i);
  }
  for (const auto& [member, reason] : linked) {
    auto& list = reasons[groupOfRoot.at(groups.root(member))];
    if (std::find(list.begin(), list.end(), reason) == list.end()) list.push_back(reason);
  }
  std::vector<Group> result;
  for (size_t g = 0; g < found.size(); ++g) {
    Group& group = found[g];
    const auto firstKey = ScanAddressBook::duplicateGroupKey(persons[group.members.front()]);
    bool oneExactGroup = firstKey && std::all_of(group.members.begin(), group.members.end(), [&](size_t m) {
                           return ScanAddressBook::duplicateGroupKey(persons[m]) == firstKey;
                         });
    if (oneExactGroup) continue;
    for (const auto& reason : reasons[g]) group.reason += (group.reason.empty() ? "" : "; ") + reason;
    result.push_back(std::move(group));
  }
  return result;
}

}  // namespace SimilarContacts
