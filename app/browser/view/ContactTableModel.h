#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/record/ContactRecord.h"

class ABAddressBook;
class PhotoThumbnails;

// The rows of the contact table: every record of the store in the table's order, one column per
// record key. While a find text is set, only the records whose shown columns hold it are rows.
class ContactTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  ContactTableModel(ABAddressBook& book, QObject* parent = nullptr);

  // The column that names each contact as the window does (shownName): never blank.
  static inline const std::string kNameColumn = "Name";
  // The column of the contact's photo, small (its thumbnail, made off the GUI thread).
  static inline const std::string kPhotoColumn = "Photo";
  // The thumbnails of the photo column, fitted within side x side.
  PhotoThumbnails& thumbnails() const { return *thumbnails_; }
  void setPhotoSide(int side);
  // What a row shows in the column of this key: the record's value, or for "Name" the contact's name.
  static std::string cellText(const ContactRecord& record, const std::string& key);

  // Replaces every record at once (one model reset). searchTexts, when given, are the records' texts
  // for find, made by searchTexts() for the columns `searchedColumns`; they are kept when those are
  // still the shown columns, so the first find needs no preparation.
  void setRecords(ContactRecords records, std::vector<QString> searchTexts = {},
                  const std::vector<std::string>& searchedColumns = {});
  // What find looks through in each record: the folded text of its values in these columns. Reads
  // only its arguments, so a loading thread can make it.
  static std::vector<QString> searchTexts(const ContactRecords& records, const std::vector<std::string>& columns);
  // Every record, found or not, in the table's order.
  const ContactRecords& records() const { return records_; }
  ContactRecords& records() { return records_; }
  // The record shown in a row.
  const ContactRecord& recordAt(int row) const { return records_[recordIndex(row)]; }
  ContactRecord& recordAt(int row) { return records_[recordIndex(row)]; }
  void removeRecordAt(int row);

  // Find: keeps as rows only the records that hold the text in one of their shown columns,
  // ignoring letter case and accents. An empty text shows every record.
  void setFindText(const QString& text);
  const QString& findText() const { return findText_; }
  bool isFiltered() const { return !foldedFind_.isEmpty() || shownPersons_.has_value(); }
  // Keeps as rows only the records of these persons (the groups list's choice), together with
  // find; nullopt shows every record. Without reset, only for the records set next (setRecords).
  void setShownPersons(std::optional<std::unordered_set<std::string>> uids, bool reset = true);
  // The form texts are compared in: accents removed, case folded.
  static QString foldForFind(const QString& text);

  const std::vector<std::string>& columns() const { return columns_; }
  void setColumns(std::vector<std::string> columns);
  void appendColumn(const std::string& key);
  void removeColumn(const std::string& key);
  // Marks the columns now shown under these keys as sorting when their header is clicked: the
  // table's own. A column appended later never sorts, even under the key of one removed before.
  void setSortableColumns(const std::vector<std::string>& keys);
  bool isSortable(int column) const;

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

 signals:
  // The store has been changed by an edit; the table should be read again.
  void editCommitted();
  // An edit was refused; nothing changed.
  void editRefused(const QString& reason);
  // A refused edit put the store back as last saved, or found the row out of date; the table
  // should be read again.
  void storeReverted();

 private:
  int recordIndex(int row) const { return isFiltered() ? visible_[row] : row; }
  // The folded text of a record's shown columns, built for every record on the first find.
  const QString& haystack(size_t record);
  void dropHaystacks();
  void columnsChanged();
  // Recomputes the found rows; `narrowing` when only the rows found before can still match.
  void refilter(bool narrowing);
  bool shows(size_t record);

  ABAddressBook& book_;
  PhotoThumbnails* thumbnails_;
  ContactRecords records_;
  QString findText_;
  QString foldedFind_;
  std::optional<std::unordered_set<std::string>> shownPersons_;
  std::vector<int> visible_;        // the records shown while filtered, in table order
  std::vector<QString> haystacks_;  // one per record while a find is in use, else empty
  std::vector<std::string> columns_;
  std::vector<bool> sortable_;  // one flag per column
};
