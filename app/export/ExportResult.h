#pragma once

#include <string>

// What a writer did: the file it wrote, or why it wrote nothing.
struct ExportResult {
  bool ok = false;
  std::string file;
  std::string error;
};
