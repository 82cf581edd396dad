#include "ABAddressBook.h"

#include <algorithm>
#include <cstdlib>

#include "ABConstants.h"
#include "PersonCodec.h"
#include "SqliteStore.h"

namespace {

std::mutex& sharedMutex() {
  static std::mutex mutex;
  return mutex;
}

struct SharedState {
  std::filesystem::path path;
  std::unique_ptr<ABAddressBook> book;
  std::string error;
};

SharedState& shared() {
  static SharedState state;
  return state;
}

bool matches(const ABValue& value, const ABSearchElement& element) {
  if (const auto* text = std::get_if<std::string>(&value))
    return !element.label && !element.key && *text == element.value;
  const auto* multi = std::get_if<ABMultiValue>(&value);
  if (!multi) return false;
  for (const auto& entry : multi->entries()) {
    if (element.label && entry.label != *element.label) continue;
    if (const auto* text = std::get_if<std::string>(&entry.value)) {
      if (!element.key && *text == element.value) return true;
    } else if (element.key) {
      const std::string* item = std::get<ABDictionary>(entry.value).find(*element.key);
      if (item && *item == element.value) return true;
    }
  }
  return false;
}

}  // namespace

ABAddressBook::~ABAddressBook() = default;

std::unique_ptr<ABAddressBook> ABAddressBook::open(const std::filesystem::path& path, std::string* error) {
  std::unique_ptr<ABAddressBook> book(new ABAddressBook());
  book->path_ = path;
  if (path != ":memory:" && path.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
  }
  std::string message;
  book->sqlite_ = SqliteStore::open(path, &message);
  if (!book->sqlite_ || !book->load(&message)) {
    if (error) *error = path.string() + ": " + message;
    return nullptr;
  }
  return book;
}

std::unique_ptr<ABAddressBook> ABAddressBook::inMemory() {
  return open(":memory:");
}

bool ABAddressBook::load(std::string* error) {
  std::vector<ABPersonRef> loaded;
  std::string problem;
  bool ok = sqlite_->readAll(
      [&](std::string_view uid, std::int64_t order, std::string_view bytes) {
        if (!problem.empty()) return;
        auto data = PersonCodec::decode(bytes);
        if (!data) {
          problem = "the record of contact " + std::string(uid) + " is damaged";
          return;
        }
        data->set(kABUIDProperty, std::string(uid));
        auto person = std::make_shared<ABPerson>(std::move(*data));
        slots_[person.get()] = Slot{order, person->version()};
        nextOrder_ = std::max(nextOrder_, order + 1);
        uidsInFile_[std::string(uid)] = true;
        loaded.push_back(std::move(person));
      },
      error);
  if (!ok) return false;
  if (!problem.empty()) {
    if (error) *error = problem;
    return false;
  }
  people_ = std::move(loaded);
  byUid_.reserve(people_.size());
  for (const auto& person : people_) byUid_[person->uniqueId()] = person.get();
  return true;
}

std::filesystem::path ABAddressBook::defaultStorePath() {
  if (const char* store = std::getenv("ROLVANE_STORE"); store && *store) return store;
  std::filesystem::path data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg)
    data = xdg;
  else if (const char* home = std::getenv("HOME"); home && *home)
    data = std::filesystem::path(home) / ".local" / "share";
  else
    data = std::filesystem::temp_directory_path();
  return data / "rolvane" / "AddressBook.sqlite";
}

void ABAddressBook::setSharedStorePath(std::filesystem::path path) {
  std::lock_guard lock(sharedMutex());
  auto& state = shared();
  if (state.path == path) return;
  state.path = std::move(path);
  state.book.reset();
  state.error.clear();
}

ABAddressBook* ABAddressBook::sharedAddressBook() {
  std::lock_guard lock(sharedMutex());
  auto& state = shared();
  if (!state.book) {
    if (state.path.empty()) state.path = defaultStorePath();
    state.error.clear();
    state.book = open(state.path, &state.error);
  }
  return state.book.get();
}

std::string ABAddressBook::sharedOpenError() {
  std::lock_guard lock(sharedMutex());
  return shared().error;
}

std::vector<ABPersonRef> ABAddressBook::people() const {
  std::lock_guard lock(mutex_);
  return people_;
}

size_t ABAddressBook::count() const {
  std::lock_guard lock(mutex_);
  return people_.size();
}

ABPersonRef ABAddressBook::recordForUniqueId(const std::string& uid) const {
  std::lock_guard lock(mutex_);
  auto it = byUid_.find(uid);
  if (it == byUid_.end()) return nullptr;
  for (const auto& person : people_)
    if (person.get() == it->second) return person;
  return nullptr;
}

bool ABAddressBook::contains(const ABPersonRef& person) const {
  std::lock_guard lock(mutex_);
  return person && slots_.count(person.get()) != 0;
}

bool ABAddressBook::addRecord(const ABPersonRef& person, std::string* error) {
  if (!person) {
    if (error) *error = "no person given";
    return false;
  }
  std::lock_guard lock(mutex_);
  if (slots_.count(person.get())) return true;
  std::string uid = person->uniqueId();
  if (byUid_.count(uid)) {
    if (error) *error = "another contact already has the unique id " + uid;
    return false;
  }
  std::int64_t order;
  if (auto removed = removedOrders_.find(uid); removed != removedOrders_.end()) {
    order = removed->second;
    removedOrders_.erase(removed);
    auto position = std::lower_bound(people_.begin(), people_.end(), order, [&](const ABPersonRef& p, std::int64_t o) {
      return slots_.at(p.get()).order < o;
    });
    people_.insert(position, person);
  } else {
    order = nextOrder_++;
    people_.push_back(person);
  }
  byUid_[uid] = person.get();
  slots_[person.get()] = Slot{order, 0};
  pendingRemovals_.erase(std::remove(pendingRemovals_.begin(), pendingRemovals_.end(), uid), pendingRemovals_.end());
  return true;
}

bool ABAddressBook::removeRecord(const ABPersonRef& person, std::string* error) {
  std::lock_guard lock(mutex_);
  if (!person || !slots_.count(person.get())) {
    if (error) *error = "the contact is not in the address book";
    return false;
  }
  std::string uid = person->uniqueId();
  people_.erase(std::remove(people_.begin(), people_.end(), person), people_.end());
  byUid_.erase(uid);
  removedOrders_[uid] = slots_.at(person.get()).order;
  slots_.erase(person.get());
  if (uidsInFile_.count(uid)) pendingRemovals_.push_back(uid);
  return true;
}

bool ABAddressBook::save(std::string* error) {
  std::lock_guard lock(mutex_);
  std::vector<SqliteStore::Row> upserts;
  std::vector<std::pair<const ABPerson*, std::uint64_t>> written;
  for (const auto& person : people_) {
    Slot& slot = slots_[person.get()];
    std::uint64_t version = person->version();
    if (slot.savedVersion == version) continue;
    auto data = person->snapshot();
    SqliteStore::Row row;
    const std::string* uid = data->string(kABUIDProperty);
    row.uid = uid ? *uid : person->uniqueId();
    row.order = slot.order;
    PersonCodec::encode(*data, row.data);
    upserts.push_back(std::move(row));
    written.emplace_back(person.get(), version);
  }
  std::string message;
  if (!sqlite_->write(upserts, pendingRemovals_, &message)) {
    if (error) *error = "the address book could not be saved: " + message;
    return false;
  }
  for (const auto& uid : pendingRemovals_) uidsInFile_.erase(uid);
  pendingRemovals_.clear();
  removedOrders_.clear();
  for (const auto& row : upserts) uidsInFile_[row.uid] = true;
  for (const auto& [person, version] : written) slots_[person].savedVersion = version;
  return true;
}

bool ABAddressBook::hasUnsavedChanges() const {
  std::lock_guard lock(mutex_);
  if (!pendingRemovals_.empty()) return true;
  for (const auto& person : people_) {
    auto it = slots_.find(person.get());
    if (it == slots_.end() || it->second.savedVersion != person->version()) return true;
  }
  return false;
}

bool ABAddressBook::revert(std::string* error) {
  std::lock_guard lock(mutex_);
  people_.clear();
  byUid_.clear();
  slots_.clear();
  uidsInFile_.clear();
  pendingRemovals_.clear();
  removedOrders_.clear();
  nextOrder_ = 1;
  return load(error);
}

ABSearchElement ABAddressBook::searchElementForProperty(const std::string& property, std::optional<std::string> label,
                                                        std::optional<std::string> key, std::string value,
                                                        int comparison) const {
  return ABSearchElement{property, std::move(label), std::move(key), std::move(value), comparison};
}

std::vector<ABPersonRef> ABAddressBook::recordsMatchingSearchElement(const ABSearchElement& element) const {
  std::vector<ABPersonRef> result;
  for (const auto& person : people()) {
    auto data = person->snapshot();
    const ABValue* value = data->find(element.property);
    if (value && matches(*value, element)) result.push_back(person);
  }
  return result;
}
