#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/export/ExportResult.h"
#include "app/export/StoredPersons.h"
#include "core/record/ContactRecord.h"

// An XHTML 1.0 Transitional page holding one table: a heading row and one row per record.
class ExportToHtml {
 public:
  // savePath is the destination without extension; the file is savePath.html or the first free
  // savePath(n).html. The records must outlive writeHtml().
  ExportToHtml(const ContactRecords& records, std::string savePath, bool isShowAllInfo);

  ExportResult writeHtml();

  // With photos: a first column "Photo" showing each contact's photo small, from a JPEG of it
  // written in a folder beside the page ("Zedid-Ovuzazur_photos/1.jpg"), never inside the page.
  // The photos are the records' persons' unless given here, one for each record (empty: none).
  void setPhotos(bool photos, std::shared_ptr<const std::vector<std::string>> given = {});
  // The longer side of a photo on the page, in pixels.
  static constexpr int kPhotoSide = 96;

  // The page of all information about every person of the store, from batches as they are read:
  // each person's row is made straight from its stored encoding and formatted on a thread per
  // core while the next batches are read, and no record is kept. The same page as writeHtml()
  // writes from the persons' records. A damaged person stops the export: nothing is written and
  // the result is unreadable, its error the store's words naming the first damaged person.
  static ExportResult writeAllInfoOfStored(const StoredPersonBatches& persons, const std::string& savePath);

  // The union of the records' keys in meeting order ("Person" is never a column).
  std::vector<std::string> getAllKey() const;
  // "First Name" goes to the front, "Last Name" right after it (or to the front while the list is
  // still empty), every other key to the end.
  static std::vector<std::string> headingOrder(const std::vector<std::string>& keys);
  const std::vector<std::string>& columns() const { return dicKeyArr_; }

 private:
  void setThNode();

  const ContactRecords& dictionArr_;
  std::string savePath_;
  bool isShowAllInfo_;
  bool photos_ = false;
  std::shared_ptr<const std::vector<std::string>> givenPhotos_;
  std::vector<std::string> dicKeyArr_;
};
