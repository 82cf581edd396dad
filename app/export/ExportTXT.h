#pragma once

#include <string>
#include <vector>

#include "app/export/ExportResult.h"
#include "app/export/StoredPersons.h"
#include "core/record/ContactRecord.h"

// A plain-text table of quoted cells.
class ExportTXT {
 public:
  // Writes folder/Zedid-Ovuzazur.txt (all information) or folder/allPeople.txt, never replacing a file.
  ExportResult writeTXTFileWithArrayExportDesPathIsShowAllInfo(const ContactRecords& records, const std::string& folder,
                                                               bool isShowAllInfo);
  // The same with all information for the store's persons as they are read (each person's
  // record is made and let go of on the way).
  ExportResult writeAllInfoOfStored(const StoredPersonBatches& persons, const std::string& folder);
  std::vector<std::string> getAllKeyInArray(const ContactRecords& records) const;
};
