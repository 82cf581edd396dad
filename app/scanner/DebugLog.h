#pragma once

#include <string>

// Debugging output: written to standard error only when ROLVANE_DEBUG is set.
namespace DebugLog {

bool enabled();
void write(const std::string& line);

}  // namespace DebugLog
