#pragma once

#include <string>
#include <vector>

#include "app/export/ExportResult.h"
#include "core/record/ContactRecord.h"

// A plain-text table of quoted cells.
class ExportTXT {
 public:
  // Writes folder/Zedid-Ovuzazur.txt (all information) or folder/allPeople.txt, never replacing a file.
  ExportResult writeTXTFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records, const std::string& folder,
                                                               bool isShowAllInfo);
  std::vector<std::string> getAllKeyInArray(const ContactRecords& records) const;
};
