#pragma once

#include <cstddef>
#include <string>

// What a writer did: the file it wrote, or why it wrote nothing.
struct ExportResult {
  std::string file;   // the file written; empty when nothing was
  std::string error;  // one line saying why nothing was written
  // How many files were written: 1, or one per contact for the vCard files export_0.vcf,
  // export_1.vcf, ... of the folder that holds `file`.
  size_t fileCount = 1;
  // Nothing was written because the contacts could not be read whole (a damaged row of the
  // store): error is the store's own words.
  bool unreadable = false;
  // A folder written beside the file with it (an HTML page's photos); empty when none.
  std::string alongside = {};

  // Written: a writer that succeeded names its file, so a result nobody filled in is no success.
  bool ok() const { return error.empty() && !file.empty(); }
};
