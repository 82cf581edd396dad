#include "StoreLockWait.h"

#include <sqlite3.h>

#include <mutex>
#include <thread>

namespace {

std::mutex& ruleMutex() {
  static std::mutex mutex;
  return mutex;
}

StoreLockWait& rule() {
  static StoreLockWait wait;
  return wait;
}

}  // namespace

void setStoreLockWait(StoreLockWait wait) {
  std::lock_guard lock(ruleMutex());
  rule() = std::move(wait);
}

StoreLockWait storeLockWait() {
  std::lock_guard lock(ruleMutex());
  return rule();
}

void StoreBusyWait::install(sqlite3* db, StoreLockWait wait) {
  rule_ = std::move(wait);
  sqlite3_busy_handler(db, &StoreBusyWait::onBusy, this);
}

std::string StoreBusyWait::busyMessage() const {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(rule_.limit).count();
  return "the address book is in use by another program (waited " + std::to_string(seconds) + " s); nothing was saved";
}

int StoreBusyWait::onBusy(void* self, int attempt) {
  auto* wait = static_cast<StoreBusyWait*>(self);
  const auto now = std::chrono::steady_clock::now();
  if (attempt == 0) {
    wait->since_ = now;
    wait->reported_ = false;
    wait->gaveUp_ = false;
  }
  const auto waited = now - wait->since_;
  if (waited >= wait->rule_.limit) {
    wait->gaveUp_ = true;
    return 0;
  }
  if (!wait->reported_ && waited >= std::chrono::seconds(1)) {
    wait->reported_ = true;
    if (wait->rule_.waiting) wait->rule_.waiting();
  }
  std::this_thread::sleep_for(attempt < 10 ? std::chrono::milliseconds(2) : std::chrono::milliseconds(20));
  return 1;
}
