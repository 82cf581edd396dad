#pragma once

#include <string>

#include "app/export/ExportResult.h"
#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

// vCard export. With whole persons (an export of all information), a record that refers to its
// person is written as that person's own vCard, every value, label, picture, unique id and kept line;
// otherwise (an export of chosen columns) as the vCard of a new, unsaved person built from the
// record's keys.
class ExportVCard {
 public:
  // One file per record, export_0.vcf, export_1.vcf, ... in record order, in a new folder
  // "Zedid-Ovuzazur" of folder (made unique by the unique output path rule). The folder is written
  // under a temporary name and named when every card is in it: a failed export leaves nothing.
  // file is the new folder; error names the first file that failed.
  ExportResult exportVcardWithArrayToPath(const ContactRecords& records, const std::string& folder,
                                          bool wholePersons = false);
  // Every card in one file, destination + ".vcf" made unique by the unique output path rule, written
  // under a temporary name and named when complete.
  ExportResult exportOneFileWithArrayToPath(const ContactRecords& records, const std::string& destination,
                                            bool wholePersons);
  // A person built from the record by the same key-to-store mapping that committing an edit uses.
  static ABPersonRef creatPersonWithDictionary(const ContactRecord& record);
};
