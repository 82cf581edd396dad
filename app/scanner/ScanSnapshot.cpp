#include "app/scanner/ScanSnapshot.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <unordered_set>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/threads/ParallelFor.h"

namespace {

constexpr size_t kPersonsPerThread = 4096;

void place(PersonValues& values, std::string_view property, const PersonCodec::ValueView& value) {
  using Kind = PersonCodec::ValueView::Kind;
  // The properties read, by their first letter and then in full: a person holds a few dozen values.
  auto text = [&](ScanText& field) {
    if (value.kind == Kind::Text) field = ScanText(value.text);
  };
  auto list = [&](PersonCodec::ListView& field) {
    if (value.kind == Kind::List) field = value.list;
  };
  switch (property.empty() ? '\0' : property.front()) {
    case 'A':
      if (property == kABAddressProperty)
        list(values.addresses);
      else if (property == kABPersonFlags && value.kind == Kind::Integer)
        values.flags = value.integer;
      else if (property == kABDepartmentProperty)
        text(values.department);
      break;
    case 'B':
      if (property == kABBirthdayProperty && value.kind == Kind::Date) values.birthday = value.date;
      break;
    case 'C':
      if (property == kABCategoriesProperty) list(values.categories);
      break;
    case 'E':
      if (property == kABEmailProperty) list(values.emails);
      break;
    case 'G':
      if (property == kABGroupNameProperty) text(values.groupName);
      break;
    case 'K':
      if (property == kABKindProperty) text(values.kind);
      break;
    case 'F':
      if (property == kABFirstNameProperty)
        text(values.firstName);
      else if (property == kABFirstNamePhoneticProperty)
        text(values.firstPhonetic);
      break;
    case 'I':
      if (property == kABInstantMessageProperty)
        list(values.instantMessages);
      else if (property == kABImageDataProperty && value.kind == Kind::Bytes)
        values.photo = ScanText(value.text);
      break;
    case 'J':
      if (property == kABJobTitleProperty) text(values.jobTitle);
      break;
    case 'L':
      if (property == kABLastNameProperty)
        text(values.lastName);
      else if (property == kABLastNamePhoneticProperty)
        text(values.lastPhonetic);
      break;
    case 'M':
      if (property == kABMiddleNameProperty)
        text(values.middleName);
      else if (property == kABMaidenNameProperty)
        text(values.maidenName);
      else if (property == kABGroupMembersProperty)
        list(values.members);
      break;
    case 'N':
      if (property == kABNoteProperty)
        text(values.note);
      else if (property == kABNicknameProperty)
        text(values.nickname);
      break;
    case 'O':
      if (property == kABOrganizationProperty) text(values.organization);
      break;
    case 'P':
      if (property == kABPhoneProperty) list(values.phones);
      break;
    case 'S':
      if (property == kABSuffixProperty)
        text(values.suffix);
      else if (property == kABSocialProfileProperty)
        list(values.socialProfiles);
      break;
    case 'T':
      if (property == kABTitleProperty) text(values.title);
      break;
    case 'U':
      if (property == kABUIDProperty)
        text(values.uid);
      else if (property == kABURLsProperty)
        list(values.urls);
      break;
    default:
      break;
  }
}

}  // namespace

std::optional<PersonValues> PersonValues::read(std::string_view encoded, std::string_view uid) {
  PersonValues values;
  if (!PersonCodec::readView(encoded, [&](std::string_view property, const PersonCodec::ValueView& value) {
        place(values, property, value);
      }))
    return std::nullopt;
  if (uid.data()) values.uid = ScanText(uid);
  return values;
}

bool PersonValues::isGroupCard() const {
  return kind && *kind == kABKindGroup;
}

const PersonCodec::ListView& PersonValues::list(const std::string& property) const {
  static const PersonCodec::ListView none;
  if (property == kABEmailProperty) return emails;
  if (property == kABPhoneProperty) return phones;
  if (property == kABAddressProperty) return addresses;
  return none;
}

PersonValuesOf::PersonValuesOf(const ABPersonData& data) : encoded_(PersonCodec::encode(data)) {
  // An encoding just made is well formed.
  values_ = PersonValues::read(encoded_).value_or(PersonValues());
}

namespace {

// Encodes the persons' values on every core, a buffer for each part, and reads their values.
void encodeAll(const std::vector<ABPersonSnapshot>& data, std::vector<PersonValues>& values,
               std::vector<std::unique_ptr<std::string>>& encodings) {
  values.resize(data.size());
  std::mutex lock;
  parallelFor(data.size(), kPersonsPerThread, [&](size_t begin, size_t end) {
    size_t size = 0;
    for (size_t i = begin; i < end; ++i) size += PersonCodec::encodedSize(*data[i]);
    auto buffer = std::make_unique<std::string>();
    buffer->reserve(size);  // never grows past it: the views stay valid
    std::vector<size_t> starts;
    for (size_t i = begin; i < end; ++i) {
      starts.push_back(buffer->size());
      PersonCodec::encode(*data[i], *buffer);
    }
    starts.push_back(buffer->size());
    const std::string_view all(*buffer);
    for (size_t i = begin; i < end; ++i)
      values[i] = PersonValues::read(all.substr(starts[i - begin], starts[i - begin + 1] - starts[i - begin]))
                      .value_or(PersonValues());
    std::lock_guard<std::mutex> guard(lock);
    encodings.push_back(std::move(buffer));
  });
}

}  // namespace

ScanSnapshot ScanSnapshot::of(const ABAddressBook& book) {
  ScanSnapshot snapshot;
  snapshot.persons_ = book.people();
  snapshot.notSamePerson = ABMarkCover(book, ABMarkKind::kNotSamePerson);
  snapshot.keptPhoneFormat = ABMarkCover(book, ABMarkKind::kKeptPhoneFormat);
  snapshot.keptAsItIs = ABMarkCover(book, ABMarkKind::kKeptAsItIs);
  std::vector<ABPersonSnapshot> data(snapshot.persons_.size());
  parallelFor(data.size(), kPersonsPerThread, [&](size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) data[i] = snapshot.persons_[i]->snapshot();
  });
  encodeAll(data, snapshot.values, snapshot.encodings_);
  snapshot.setGroupsApart();
  return snapshot;
}

void ScanSnapshot::setGroupsApart() {
  size_t kept = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    if (values[i].isGroupCard()) {
      groups.push_back(values[i]);
      if (i < persons_.size()) groupCards_.push_back(persons_[i]);
      continue;
    }
    if (kept != i) {
      values[kept] = values[i];
      if (i < persons_.size()) persons_[kept] = std::move(persons_[i]);
    }
    ++kept;
  }
  values.resize(kept);
  if (persons_.size() > kept) persons_.resize(kept);
}

ScanSnapshot ScanSnapshot::of(const std::vector<ABPersonSnapshot>& persons) {
  ScanSnapshot snapshot;
  encodeAll(persons, snapshot.values, snapshot.encodings_);
  return snapshot;
}

std::optional<ScanSnapshot> ScanSnapshot::read(const std::filesystem::path& path, std::string* error,
                                               const BatchRead& batchRead) {
  ScanSnapshot snapshot;
  // The values of each batch are found by a helper while the store's next batches are read, and
  // put in place there (the snapshot's values and rows are the helper's until it ends); it stops
  // at the first damaged record, in store order.
  std::mutex lock;
  std::condition_variable arrived;
  size_t handed = 0;  // batches read so far
  bool allRead = false;
  std::optional<std::pair<size_t, size_t>> damaged;  // the batch and row of the first damaged record
  // The values are sized once for about as many persons as the store's file holds at the first
  // batch's bytes per person (the file holds more than rows, so rarely fewer; then they grow).
  std::error_code noSize;
  const std::uintmax_t fileSize = std::filesystem::file_size(path, noSize);
  auto reserveFor = [&](const ABStoredBatch& batch) {
    size_t bytes = 0;
    for (size_t row = 0; row < batch.size(); ++row) bytes += batch.uid(row).size() + batch.data(row).size();
    if (noSize || bytes == 0) return;
    const std::uintmax_t expected = fileSize / std::max<size_t>(bytes / batch.size(), 1) + batch.size();
    try {
      snapshot.values.reserve(static_cast<size_t>(std::min<std::uintmax_t>(expected, fileSize / 16 + batch.size())));
      snapshot.encoded_.reserve(snapshot.values.capacity());
    } catch (const std::bad_alloc&) {
      // A file of much history asks for more than there is: the values grow as they come.
    }
  };
  auto findBatchValues = [&] {
    for (size_t next = 0;; ++next) {
      const ABStoredBatch* batch = nullptr;
      bool reading = false;
      {
        std::unique_lock<std::mutex> guard(lock);
        arrived.wait(guard, [&] { return next < handed || allRead; });
        if (next >= handed) return;
        batch = snapshot.stored_[next].get();
        reading = !allRead;
      }
      const size_t first = snapshot.values.size();
      if (next == 0) reserveFor(*batch);
      snapshot.values.resize(first + batch->size());
      size_t kept = first;
      for (size_t row = 0; row < batch->size(); ++row) {
        auto read = PersonValues::read(batch->data(row), batch->uid(row));
        if (!read) {
          snapshot.values.resize(kept);
          damaged = {next, row};
          return;
        }
        // A group card is no person: it is kept apart.
        if (read->isGroupCard()) {
          snapshot.groups.push_back(*read);
          snapshot.encodedGroups_.push_back({batch, row});
          continue;
        }
        snapshot.values[kept++] = *read;
        snapshot.encoded_.push_back({batch, row});
      }
      snapshot.values.resize(kept);
      if (batchRead && reading) batchRead(snapshot.values, first, snapshot.values.size());
    }
  };
  std::exception_ptr failed;
  auto findValues = [&] {
    try {
      findBatchValues();
    } catch (...) {
      failed = std::current_exception();
    }
  };
  std::thread helper;
  try {
    helper = std::thread(findValues);
  } catch (const std::system_error&) {
    // No thread to be had: the values are found once every batch is read.
  }
  std::vector<std::vector<ABMark>> marks;
  const bool read = ABAddressBook::readStoredBatches(
      path, kPersonsPerThread,
      [&](std::shared_ptr<const ABStoredBatch> batch) {
        std::lock_guard<std::mutex> guard(lock);
        snapshot.stored_.push_back(std::move(batch));
        ++handed;
        arrived.notify_one();
        return true;
      },
      error, {ABMarkKind::kNotSamePerson, ABMarkKind::kKeptPhoneFormat, ABMarkKind::kKeptAsItIs}, &marks);
  {
    std::lock_guard<std::mutex> guard(lock);
    allRead = true;
    arrived.notify_one();
  }
  if (helper.joinable())
    helper.join();
  else
    findValues();
  if (failed) std::rethrow_exception(failed);
  if (!read) return std::nullopt;
  if (damaged) {
    if (error) *error = snapshot.stored_[damaged->first]->damagedError(damaged->second);
    return std::nullopt;
  }
  snapshot.notSamePerson = ABMarkCover(std::move(marks[0]));
  snapshot.keptPhoneFormat = ABMarkCover(std::move(marks[1]));
  snapshot.keptAsItIs = ABMarkCover(std::move(marks[2]));
  return snapshot;
}

ABPersonRef ScanSnapshot::person(size_t i) const {
  if (i >= values.size()) return groupCard(i - values.size());
  if (i < persons_.size()) return persons_[i];
  if (i >= encoded_.size()) return nullptr;
  auto data = encoded_[i].first->decode(encoded_[i].second);
  return data ? std::make_shared<ABPerson>(std::move(*data)) : nullptr;
}

ABPersonRef ScanSnapshot::groupCard(size_t i) const {
  if (i < groupCards_.size()) return groupCards_[i];
  if (i >= encodedGroups_.size()) return nullptr;
  auto data = encodedGroups_[i].first->decode(encodedGroups_[i].second);
  return data ? std::make_shared<ABPerson>(std::move(*data)) : nullptr;
}

bool ScanSnapshot::keepGroup(const std::string& name) {
  std::unordered_set<std::string_view> listed;
  size_t keptGroups = 0;
  for (size_t i = 0; i < groups.size(); ++i) {
    if (!groups[i].groupName || *groups[i].groupName != name) continue;
    for (const auto& entry : groups[i].members)
      if (entry.isText) listed.insert(entry.text);
    groups[keptGroups] = groups[i];
    if (i < groupCards_.size()) groupCards_[keptGroups] = groupCards_[i];
    if (i < encodedGroups_.size()) encodedGroups_[keptGroups] = encodedGroups_[i];
    ++keptGroups;
  }
  groups.resize(keptGroups);
  if (groupCards_.size() > keptGroups) groupCards_.resize(keptGroups);
  if (encodedGroups_.size() > keptGroups) encodedGroups_.resize(keptGroups);
  size_t kept = 0;
  for (size_t i = 0; i < values.size(); ++i) {
    bool in = values[i].uid && listed.count(*values[i].uid) > 0;
    for (const auto& entry : values[i].categories) in = in || (entry.isText && entry.text == name);
    if (!in) continue;
    values[kept] = values[i];
    if (i < persons_.size()) persons_[kept] = persons_[i];
    if (i < encoded_.size()) encoded_[kept] = encoded_[i];
    ++kept;
  }
  values.resize(kept);
  if (persons_.size() > kept) persons_.resize(kept);
  if (encoded_.size() > kept) encoded_.resize(kept);
  return kept > 0 || keptGroups > 0;
}
