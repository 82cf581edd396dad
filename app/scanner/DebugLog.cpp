#include "app/scanner/DebugLog.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace {

std::mutex writerMutex;
std::function<void(const std::string&)> installedWriter;
std::atomic<bool> hasWriter{false};

bool environmentAsks() {
  static const bool on = std::getenv("ROLVANE_DEBUG") != nullptr;
  return on;
}

}  // namespace

bool DebugLog::enabled() {
  return hasWriter.load(std::memory_order_relaxed) || environmentAsks();
}

void DebugLog::write(const std::string& line) {
  if (hasWriter.load()) {
    std::lock_guard lock(writerMutex);
    if (installedWriter) {
      installedWriter(line);
      return;
    }
  }
  if (environmentAsks()) std::fprintf(stderr, "%s\n", line.c_str());
}

void DebugLog::setWriter(std::function<void(const std::string&)> writer) {
  std::lock_guard lock(writerMutex);
  installedWriter = std::move(writer);
  hasWriter = static_cast<bool>(installedWriter);
}
