#pragma once

#include <cstdio>
#include <cstdlib>
#include <string_view>

// The writer libraries' debugging output, kept like the application's own debug log: a line on
// standard error when ROLVANE_DEBUG is set, nothing otherwise. Header-only, so that every library
// built from the zip wrapper can write it without linking anything more.
namespace WriterLog {

inline void write(std::string_view line) {
  if (!std::getenv("ROLVANE_DEBUG")) return;
  std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
}

}  // namespace WriterLog
