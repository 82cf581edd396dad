#pragma once

#include <functional>
#include <string>
#include <vector>

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
  // groupCards are written as they are, after the records' cards.
  ExportResult exportVcardWithArrayToPath(const ContactRecords& records, const std::string& folder,
                                          bool wholePersons = false, const std::vector<ABPersonData>& groupCards = {});
  // Every card in one file, destination + ".vcf" made unique by the unique output path rule, written
  // under a temporary name and named when complete.
  ExportResult exportOneFileWithArrayToPath(const ContactRecords& records, const std::string& destination,
                                            bool wholePersons, const std::vector<ABPersonData>& groupCards = {});

  // Gives the persons of an export, in order, a batch at a time: calls take with each batch (which
  // take may empty); false (and *error) when it could not give them all.
  using PersonBatches =
      std::function<bool(const std::function<void(std::vector<ABPersonData>&)>& take, std::string* error)>;
  // The same two exports of whole persons given a batch at a time, without records: an export of
  // all information that never holds every person at once. Each person is written as its own
  // vCard, as above. When the persons cannot all be given, nothing is left behind and error says
  // why.
  ExportResult exportPersonsToFolder(const PersonBatches& persons, const std::string& folder);
  ExportResult exportPersonsToOneFile(const PersonBatches& persons, const std::string& destination);

  // A person built from the record by the same key-to-store mapping that committing an edit uses.
  static ABPersonRef creatPersonWithDictionary(const ContactRecord& record);
};
