#pragma once

#include <string>

#include "app/export/ExportResult.h"
#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

// One vCard file per record: folder/export_0.vcf, export_1.vcf, ... in record order, each the vCard
// of a new, unsaved person that carries every key of its record. A file of the same name is replaced.
class ExportVCard {
 public:
  // ok only when every file was written; file is export_0.vcf, error names the first file that failed.
  ExportResult exportVcardWithArrayToPath(const ContactRecords& records, const std::string& folder);
  // A person built from the record by the same key-to-store mapping that committing an edit uses.
  static ABPersonRef creatPersonWithDictionary(const ContactRecord& record);
};
