#include "app/scanner/DebugLog.h"

#include <cstdio>
#include <cstdlib>

bool DebugLog::enabled() {
  static const bool on = std::getenv("ROLVANE_DEBUG") != nullptr;
  return on;
}

void DebugLog::write(const std::string& line) {
  if (enabled()) std::fprintf(stderr, "%s\n", line.c_str());
}
