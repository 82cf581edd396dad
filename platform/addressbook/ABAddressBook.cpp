#include "ABAddressBook.h"

#include <algorithm>
#include <cstdlib>
#include <thread>

#include "ABConstants.h"
#include "EncodedRows.h"
#include "PackedBytes.h"
#include "PersonCodec.h"
#include "SqliteStore.h"

namespace {

// Below this many persons a second thread costs more than it saves.
constexpr size_t kRowsForSecondThread = 2000;

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
  struct StoredRow {
    std::string_view uid;
    std::string_view data;
    std::int64_t order;
  };
  PackedBytes bytes;
  std::vector<StoredRow> rows;
  bool ok = sqlite_->readAll(
      [&](std::string_view uid, std::int64_t order, std::string_view data) {
        rows.push_back({bytes.append(uid), bytes.append(data), order});
      },
      error);
  if (!ok) return false;

  // Decoding is independent from row to row: the two halves are decoded on two cores.
  std::vector<ABPersonRef> loaded(rows.size());
  auto decode = [&](size_t begin, size_t end) -> size_t {
    for (size_t i = begin; i < end; ++i) {
      auto data = PersonCodec::decode(rows[i].data);
      if (!data) return i;
      data->set(kABUIDProperty, std::string(rows[i].uid));
      loaded[i] = std::make_shared<ABPerson>(std::move(*data));
    }
    return rows.size();
  };
  size_t damaged;
  if (rows.size() < kRowsForSecondThread) {
    damaged = decode(0, rows.size());
  } else {
    size_t middle = rows.size() / 2, damagedInSecondHalf = rows.size();
    std::thread other([&] { damagedInSecondHalf = decode(middle, rows.size()); });
    damaged = decode(0, middle);
    other.join();
    if (damaged == rows.size()) damaged = damagedInSecondHalf;
  }
  if (damaged < rows.size()) {
    if (error) *error = "the record of contact " + std::string(rows[damaged].uid) + " is damaged";
    return false;
  }

  slots_.reserve(loaded.size());
  for (size_t i = 0; i < loaded.size(); ++i) {
    const ABPersonRef& person = loaded[i];
    Slot& slot = slots_[person->uid_];
    slot.person = person;
    slot.order = rows[i].order;
    slot.savedVersion = person->version();
    slot.inFile = true;
    nextOrder_ = std::max(nextOrder_, rows[i].order + 1);
  }
  people_ = std::move(loaded);
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

ABAddressBook::Slot* ABAddressBook::slotOf(const ABPerson* person) {
  auto it = slots_.find(person->uid_);
  return it != slots_.end() && it->second.person.get() == person ? &it->second : nullptr;
}

const ABAddressBook::Slot* ABAddressBook::slotOf(const ABPerson* person) const {
  return const_cast<ABAddressBook*>(this)->slotOf(person);
}

ABPersonRef ABAddressBook::recordForUniqueId(const std::string& uid) const {
  std::lock_guard lock(mutex_);
  auto it = slots_.find(uid);
  return it == slots_.end() ? nullptr : it->second.person;
}

bool ABAddressBook::contains(const ABPersonRef& person) const {
  std::lock_guard lock(mutex_);
  return person && slotOf(person.get());
}

bool ABAddressBook::addRecord(const ABPersonRef& person, std::string* error) {
  return addRecords({person}, error);
}

bool ABAddressBook::addRecords(const std::vector<ABPersonRef>& persons, std::string* error) {
  for (const auto& person : persons) {
    if (!person) {
      if (error) *error = "no person given";
      return false;
    }
  }
  std::lock_guard lock(mutex_);
  return addNewRecords(persons, error);
}

bool ABAddressBook::addNewRecords(const std::vector<ABPersonRef>& persons, std::string* error) {
  // Room for a list at once; single additions grow the containers as usual.
  if (persons.size() > 1) slots_.reserve(slots_.size() + persons.size());
  std::vector<Slot*> added;
  added.reserve(persons.size());
  for (const auto& person : persons) {
    if (slotOf(person.get())) continue;  // already in the book, or earlier in the list
    auto [it, isNew] = slots_.try_emplace(person->uid_);
    if (!isNew) {
      if (error) *error = "another contact already has the unique id " + person->uid_;
      for (Slot* undone : added) slots_.erase(undone->person->uid_);
      return false;
    }
    it->second.person = person;
    added.push_back(&it->second);
  }
  // A unique id whose row is still to be deleted is taken over by the person who has it now.
  std::erase_if(pendingRemovals_, [&](const std::string& uid) {
    auto it = slots_.find(uid);
    if (it == slots_.end()) return false;
    it->second.inFile = true;
    return true;
  });
  if (people_.capacity() < people_.size() + added.size())
    people_.reserve(std::max(people_.size() + added.size(), 2 * people_.capacity()));
  for (Slot* slot : added) placeInOrder(*slot);
  return true;
}

void ABAddressBook::placeInOrder(Slot& slot) {
  auto removed = removedOrders_.empty() ? removedOrders_.end() : removedOrders_.find(slot.person->uid_);
  if (removed == removedOrders_.end()) {
    slot.order = nextOrder_++;
    people_.push_back(slot.person);
    return;
  }
  slot.order = removed->second;
  removedOrders_.erase(removed);
  auto position = std::lower_bound(people_.begin(), people_.end(), slot.order,
                                   [&](const ABPersonRef& p, std::int64_t o) { return slotOf(p.get())->order < o; });
  people_.insert(position, slot.person);
}

bool ABAddressBook::removeRecord(const ABPersonRef& person, std::string* error) {
  std::lock_guard lock(mutex_);
  Slot* found = person ? slotOf(person.get()) : nullptr;
  if (!found) {
    if (error) *error = "the contact is not in the address book";
    return false;
  }
  Slot& slot = *found;
  people_.erase(std::remove(people_.begin(), people_.end(), person), people_.end());
  removedOrders_[person->uid_] = slot.order;
  if (slot.inFile) pendingRemovals_.push_back(person->uid_);
  slots_.erase(person->uid_);
  return true;
}

bool ABAddressBook::save(std::string* error) {
  std::lock_guard lock(mutex_);
  std::vector<EncodedRows::Item> items;
  std::vector<std::pair<Slot*, std::uint64_t>> written;
  for (const auto& person : people_) {
    Slot& slot = *slotOf(person.get());
    std::uint64_t version = person->version();
    if (slot.savedVersion == version) continue;
    items.push_back({person->uid_, slot.order, person->snapshot()});
    written.emplace_back(&slot, version);
  }
  std::string message;
  bool ok;
  {
    EncodedRows rows(std::move(items));
    ok = sqlite_->write([&](SqliteStore::Row& row) { return rows.next(row); }, pendingRemovals_, &message);
  }
  if (!ok) {
    if (error) *error = "the address book could not be saved: " + message;
    return false;
  }
  pendingRemovals_.clear();
  removedOrders_.clear();
  for (const auto& [slot, version] : written) {
    slot->inFile = true;
    slot->savedVersion = version;
  }
  return true;
}

bool ABAddressBook::hasUnsavedChanges() const {
  std::lock_guard lock(mutex_);
  if (!pendingRemovals_.empty()) return true;
  for (const auto& person : people_)
    if (slotOf(person.get())->savedVersion != person->version()) return true;
  return false;
}

bool ABAddressBook::revert(std::string* error) {
  std::lock_guard lock(mutex_);
  // Persons that screens may still hold keep their identity: they get their saved values back.
  std::unordered_map<std::string, ABPersonRef> held;
  held.reserve(people_.size());
  for (const auto& person : people_) held.emplace(person->uid_, person);
  people_.clear();
  slots_.clear();
  pendingRemovals_.clear();
  removedOrders_.clear();
  nextOrder_ = 1;
  if (!load(error)) return false;
  for (auto& person : people_) {
    auto found = held.find(person->uid_);
    if (found == held.end()) continue;
    const ABPersonRef& kept = found->second;
    auto slot = slots_.extract(std::string_view(person->uid_));
    kept->replaceData(ABPersonData(*person->snapshot()));
    slot.mapped().person = kept;
    slot.mapped().savedVersion = kept->version();
    slot.key() = kept->uid_;
    person = kept;
    slots_.insert(std::move(slot));
  }
  return true;
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
