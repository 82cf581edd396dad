#include "app/browser/view/ContactTableModel.h"

#include <algorithm>

#include "app/browser/ContactCommit.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABAddressBook.h"

ContactTableModel::ContactTableModel(ABAddressBook& book, QObject* parent) : QAbstractTableModel(parent), book_(book) {}

void ContactTableModel::setRecords(ContactRecords records) {
  beginResetModel();
  records_ = std::move(records);
  endResetModel();
}

void ContactTableModel::removeRecordAt(int row) {
  if (row < 0 || row >= rowCount()) return;
  beginRemoveRows({}, row, row);
  records_.erase(records_.begin() + row);
  endRemoveRows();
}

void ContactTableModel::setColumns(std::vector<std::string> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  sortable_.assign(columns_.size(), false);
  endResetModel();
}

void ContactTableModel::setSortableColumns(const std::vector<std::string>& keys) {
  for (size_t i = 0; i < columns_.size(); ++i)
    sortable_[i] = std::find(keys.begin(), keys.end(), columns_[i]) != keys.end();
}

void ContactTableModel::appendColumn(const std::string& key) {
  int at = columnCount();
  beginInsertColumns({}, at, at);
  columns_.push_back(key);
  sortable_.push_back(false);
  endInsertColumns();
}

void ContactTableModel::removeColumn(const std::string& key) {
  for (int i = columnCount() - 1; i >= 0; --i) {
    if (columns_[i] != key) continue;
    beginRemoveColumns({}, i, i);
    columns_.erase(columns_.begin() + i);
    sortable_.erase(sortable_.begin() + i);
    endRemoveColumns();
  }
}

bool ContactTableModel::isSortable(int column) const {
  if (column < 0 || column >= columnCount()) return false;
  return sortable_[column];
}

int ContactTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(records_.size());
}

int ContactTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ContactTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::EditRole)) return {};
  auto text = records_[index.row()].text(columns_[index.column()]);
  return text ? QString::fromStdString(*text) : QString();
}

QVariant ContactTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section >= columnCount()) return {};
  return QString::fromStdString(columns_[section]);
}

Qt::ItemFlags ContactTableModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags base = QAbstractTableModel::flags(index);
  if (index.isValid() && ContactCommit::isCommittableKey(columns_[index.column()])) base |= Qt::ItemIsEditable;
  return base;
}

bool ContactTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || role != Qt::EditRole) return false;
  const std::string& key = columns_[index.column()];
  ContactRecord& record = records_[index.row()];
  ABPersonRef person = record.person();
  if (!person) return false;
  std::string text = value.toString().toStdString();
  const std::optional<std::string> shown = record.text(key);
  if (shown == text) return false;
  CommitResult result =
      ContactCommit::commitContactsToAddressBookCommitValueWithPerson(key, text, person, book_, &shown);
  if (!result.ok) {
    emit editRefused(QString::fromStdString(result.error));
    // The store was put back, or the row no longer shows the person as it is: read it again.
    if (result.reverted || result.stale) emit storeReverted();
    return false;
  }
  if (!result.changed) return false;
  // The row shows the person as it now is (an emptied value is gone, not an empty text).
  record = prasePerson(person);
  emit dataChanged(this->index(index.row(), 0), this->index(index.row(), columnCount() - 1));
  emit editCommitted();
  return true;
}

void ContactTableModel::sort(int column, Qt::SortOrder order) {
  if (!isSortable(column)) return;
  const std::string key = columns_[column];
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  // Texts are compared once each, not rebuilt for every comparison.
  std::vector<std::pair<QString, size_t>> keys;
  keys.reserve(records_.size());
  for (size_t i = 0; i < records_.size(); ++i) keys.emplace_back(QString::fromStdString(records_[i].textOr(key)), i);
  std::stable_sort(keys.begin(), keys.end(), [order](const auto& a, const auto& b) {
    int c = QString::compare(a.first, b.first, Qt::CaseInsensitive);
    return order == Qt::AscendingOrder ? c < 0 : c > 0;
  });
  ContactRecords sorted;
  sorted.reserve(records_.size());
  for (const auto& entry : keys) sorted.push_back(std::move(records_[entry.second]));
  records_ = std::move(sorted);
  // Selection and current cell follow their records to the new rows.
  std::vector<int> newRow(keys.size());
  for (size_t row = 0; row < keys.size(); ++row) newRow[keys[row].second] = static_cast<int>(row);
  const QModelIndexList persistent = persistentIndexList();
  for (const QModelIndex& index : persistent)
    changePersistentIndex(index, this->index(newRow[index.row()], index.column()));
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
