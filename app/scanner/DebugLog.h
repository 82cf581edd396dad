#pragma once

#include <functional>
#include <string>

// Debugging output: written to standard error only when ROLVANE_DEBUG is set, or to the writer
// that setWriter installed.
namespace DebugLog {

bool enabled();
void write(const std::string& line);
// Sends every line to writer, whatever ROLVANE_DEBUG says; an empty writer goes back to standard
// error. Lines written from several threads reach the writer one at a time.
void setWriter(std::function<void(const std::string&)> writer);

}  // namespace DebugLog
