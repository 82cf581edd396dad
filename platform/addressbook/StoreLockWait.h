#pragma once

#include <chrono>
#include <functional>
#include <string>

struct sqlite3;

// How long a connection to the address book file waits while another program holds the file, and
// what it says after a second of waiting: one rule for every connection a program opens to it (the
// store's, the sync state's). The command line sets it from ROLVANE_LOCK_WAIT.
struct StoreLockWait {
  std::chrono::milliseconds limit{30000};
  std::function<void()> waiting;  // called once a wait has lasted a second
};
void setStoreLockWait(StoreLockWait rule);
StoreLockWait storeLockWait();

// The rule at work on one connection: its busy handler.
class StoreBusyWait {
 public:
  // Waits on db by rule from now on (this object must outlive the connection's use).
  void install(sqlite3* db, StoreLockWait rule = storeLockWait());
  void setRule(StoreLockWait rule) { rule_ = std::move(rule); }
  std::chrono::milliseconds limit() const { return rule_.limit; }
  // Whether the last statement stopped because the wait ran out; reset before the next.
  bool gaveUp() const { return gaveUp_; }
  void reset() { gaveUp_ = false; }
  // What a change that could not wait says: "the address book is in use by another program
  // (waited 30 s); nothing was saved".
  std::string busyMessage() const;

 private:
  static int onBusy(void* self, int attempt);
  StoreLockWait rule_;
  std::chrono::steady_clock::time_point since_;
  bool reported_ = false;
  bool gaveUp_ = false;
};
