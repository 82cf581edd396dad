#pragma once

#include <cstddef>
#include <string>

// What a writer did: the file it wrote, or why it wrote nothing.
struct ExportResult {
  bool ok = false;
  std::string file;
  std::string error;
  // How many files were written: 1, or one per contact for the vCard files export_0.vcf,
  // export_1.vcf, ... of the folder that holds `file`.
  size_t fileCount = 1;
};
