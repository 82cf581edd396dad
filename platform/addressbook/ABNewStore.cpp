// A new store built whole from an import: made under a name of its own beside the path and put in
// place when complete, durable once there.
#include "ABAddressBook.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <iterator>
#include <mutex>
#include <random>
#include <unordered_map>
#include <unordered_set>

#include "ABConstants.h"
#include "ABGroups.h"
#include "ABStoredRows.h"
#include "EncodedPersons.h"
#include "EncodedRows.h"
#include "PackedBytes.h"
#include "PersonCodec.h"
#include "SqliteStore.h"
#include "platform/threads/ParallelFor.h"

using namespace ABStoredRows;

namespace {

// ".book.sqlite.building-PID-N": a store being built for path by process PID.
std::string buildingPrefix(const std::filesystem::path& path) {
  return "." + path.filename().string() + ".building-";
}

// Removes what builds of a store for path left when their process was killed (its PID is gone).
void removeAbandonedBuilds(const std::filesystem::path& path) {
  const std::string prefix = buildingPrefix(path);
  std::error_code ec;
  const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
  std::vector<std::filesystem::path> abandoned;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
    if (pid > 0 && (kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)) continue;
    abandoned.push_back(entry.path());
  }
  for (const auto& file : abandoned) std::filesystem::remove(file, ec);
}

bool syncToDisk(const std::filesystem::path& path, int flags) {
  const int fd = ::open(path.c_str(), flags | O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool synced = fsync(fd) == 0;
  ::close(fd);
  return synced;
}

}  // namespace

ABAddressBook::BuildOutcome ABAddressBook::buildNewStore(const std::filesystem::path& path,
                                                         const std::function<bool(ABAddressBook& book)>& build,
                                                         std::string* error) {
  if (path.has_parent_path()) {
    std::error_code ec;
    std::filesystem::create_directories(path.parent_path(), ec);
  }
  removeAbandonedBuilds(path);
  std::random_device random;
  const std::filesystem::path building =
      path.parent_path() / (buildingPrefix(path) + std::to_string(getpid()) + "-" + std::to_string(random()));
  std::unique_ptr<ABAddressBook> book;
  auto failed = [&](const std::string& why) {
    if (error && !why.empty()) *error = path.string() + ": " + why;
    book.reset();
    SqliteStore::removeFiles(building);
    return BuildOutcome::Failed;
  };
  std::string message;
  book = openStore(building, true, &message);
  if (!book) return failed(message.substr(std::min(message.size(), building.string().size() + 2)));
  bool built;
  try {
    built = build(*book);
  } catch (...) {
    book.reset();
    SqliteStore::removeFiles(building);
    throw;
  }
  if (!built) return failed("");
  if (!book->sqlite_->finishBuilding(&message)) return failed(message);
  book.reset();  // closes the file
  if (!syncToDisk(building, 0)) return failed(std::string("cannot write the file: ") + std::strerror(errno));
  if (!SqliteStore::moveIfAbsent(building, path)) {
    if (errno == EEXIST) {
      SqliteStore::removeFiles(building);
      return BuildOutcome::Existed;
    }
    return failed(std::string("cannot create the file: ") + std::strerror(errno));
  }
  SqliteStore::removeFiles(building);  // journals the closed file may have left under its old name
  syncToDisk(path.has_parent_path() ? path.parent_path() : std::filesystem::path("."), O_DIRECTORY);
  return BuildOutcome::Built;
}
