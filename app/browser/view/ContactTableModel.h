#pragma once

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "app/model/ContactRecord.h"

class ABAddressBook;

// The rows of the contact table: record i in row i, one column per record key.
class ContactTableModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  ContactTableModel(ABAddressBook& book, QObject* parent = nullptr);

  // Replaces every record at once (one model reset).
  void setRecords(ContactRecords records);
  const ContactRecords& records() const { return records_; }
  ContactRecords& records() { return records_; }
  void removeRecordAt(int row);

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
  ABAddressBook& book_;
  ContactRecords records_;
  std::vector<std::string> columns_;
  std::vector<bool> sortable_;  // one flag per column
};
