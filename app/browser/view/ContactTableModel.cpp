#include "app/browser/view/ContactTableModel.h"

#include <algorithm>

#include "app/browser/ContactCommit.h"
#include "app/browser/view/PhotoThumbnails.h"
#include "app/model/PersonRecord.h"
#include "app/widgets/PhotoImage.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ShownName.h"
#include "platform/threads/ParallelFor.h"

ContactTableModel::ContactTableModel(ABAddressBook& book, QObject* parent)
    : QAbstractTableModel(parent), book_(book), thumbnails_(new PhotoThumbnails(this)) {
  // Thumbnails made since the last time: the photo columns are drawn again (the view draws only
  // the rows it shows).
  connect(thumbnails_, &PhotoThumbnails::ready, this, [this] {
    if (rowCount() == 0) return;
    for (int column = 0; column < columnCount(); ++column)
      if (columns_[column] == kPhotoColumn)
        emit dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::DecorationRole});
  });
}

void ContactTableModel::setPhotoSide(int side) {
  thumbnails_->setSide(side);
}

std::string ContactTableModel::cellText(const ContactRecord& record, const std::string& key) {
  if (key != kNameColumn) return record.textOr(key);
  if (ABPersonRef person = record.person()) return shownName(*person->snapshot());
  auto part = [&](const char* name) -> std::optional<std::string_view> {
    if (auto value = record.find(name); value && std::holds_alternative<std::string_view>(*value))
      return std::get<std::string_view>(*value);
    return std::nullopt;
  };
  std::optional<std::string_view> reach;
  for (const char* key :
       {"Home Email", "Work Email", "Other Email", "Mobile", "iPhone", "Main Phone", "Home Phone", "Work Phone"})
    if ((reach = part(key))) break;
  return shownName(part("First Name"), part("Last Name"), part("Company"), reach);
}

void ContactTableModel::setRecords(ContactRecords records, std::vector<QString> searchTexts,
                                   const std::vector<std::string>& searchedColumns) {
  beginResetModel();
  records_ = std::move(records);
  dropHaystacks();
  if (searchTexts.size() == records_.size() && !records_.empty() && searchedColumns == columns_)
    haystacks_ = std::move(searchTexts);
  if (isFiltered()) refilter(false);
  endResetModel();
}

void ContactTableModel::removeRecordAt(int row) {
  if (row < 0 || row >= rowCount()) return;
  const int record = recordIndex(row);
  beginRemoveRows({}, row, row);
  records_.erase(records_.begin() + record);
  if (!haystacks_.empty()) haystacks_.erase(haystacks_.begin() + record);
  if (isFiltered()) {
    visible_.erase(visible_.begin() + row);
    for (int& shown : visible_)
      if (shown > record) --shown;
  }
  endRemoveRows();
}

QString ContactTableModel::foldForFind(const QString& text) {
  bool plain = true;
  for (QChar c : text)
    if (c.unicode() >= 0x80) {
      plain = false;
      break;
    }
  if (plain) return text.toLower();
  // Accents come apart from their letters in the compatibility decomposition and are dropped.
  const QString decomposed = text.normalized(QString::NormalizationForm_KD);
  QString folded;
  folded.reserve(decomposed.size());
  for (QChar c : decomposed) {
    switch (c.category()) {
      case QChar::Mark_NonSpacing:
      case QChar::Mark_SpacingCombining:
      case QChar::Mark_Enclosing:
        continue;
      default:
        break;
    }
    // Letters with a stroke have no decomposition.
    switch (c.unicode()) {
      case 0x00D8:
      case 0x00F8:
        folded += QLatin1Char('o');
        continue;  // Ø ø
      case 0x0110:
      case 0x0111:
        folded += QLatin1Char('d');
        continue;  // Đ đ
      case 0x0141:
      case 0x0142:
        folded += QLatin1Char('l');
        continue;  // Ł ł
      case 0x0131:
        folded += QLatin1Char('i');
        continue;  // ı
      case 0x00DF:
        folded += QLatin1String("ss");
        continue;  // ß
      default:
        break;
    }
    folded += c;
  }
  return folded.toCaseFolded();
}

std::vector<QString> ContactTableModel::searchTexts(const ContactRecords& records,
                                                    const std::vector<std::string>& columns) {
  std::vector<QString> texts(records.size());
  // Records are independent of each other: a large table is done on every core.
  parallelFor(records.size(), 10000, [&](size_t begin, size_t end) {
    std::string joined;
    for (size_t i = begin; i < end; ++i) {
      joined.clear();
      for (const std::string& key : columns) {
        if (key == kNameColumn) {
          joined += cellText(records[i], key);
          joined += '\n';
        } else if (auto value = records[i].text(key)) {
          joined += *value;
          joined += '\n';  // no find text spans two columns
        }
      }
      texts[i] = foldForFind(QString::fromStdString(joined));
    }
  });
  return texts;
}

const QString& ContactTableModel::haystack(size_t record) {
  if (haystacks_.size() != records_.size()) haystacks_ = searchTexts(records_, columns_);
  return haystacks_[record];
}

void ContactTableModel::dropHaystacks() {
  haystacks_.clear();
  haystacks_.shrink_to_fit();
}

void ContactTableModel::refilter(bool narrowing) {
  if (!isFiltered()) {
    visible_.clear();
    return;
  }
  std::vector<int> found;
  if (narrowing) {
    for (int record : visible_)
      if (shows(record)) found.push_back(record);
  } else {
    for (size_t record = 0; record < records_.size(); ++record)
      if (shows(record)) found.push_back(static_cast<int>(record));
  }
  visible_ = std::move(found);
}

bool ContactTableModel::shows(size_t record) {
  if (shownPersons_) {
    const auto person = records_[record].person();
    if (!person || !shownPersons_->count(person->uniqueId())) return false;
  }
  return foldedFind_.isEmpty() || haystack(record).contains(foldedFind_);
}

void ContactTableModel::setShownPersons(std::optional<std::unordered_set<std::string>> uids, bool reset) {
  if (!reset) {
    shownPersons_ = std::move(uids);
    return;
  }
  beginResetModel();
  shownPersons_ = std::move(uids);
  refilter(false);
  endResetModel();
}

void ContactTableModel::setFindText(const QString& text) {
  if (text == findText_) return;
  const QString folded = foldForFind(text.trimmed());
  // Typing on only narrows what was found; anything else looks at every record again.
  const bool narrowing = isFiltered() && folded.contains(foldedFind_);
  beginResetModel();
  findText_ = text;
  foldedFind_ = folded;
  refilter(narrowing);
  endResetModel();
}

void ContactTableModel::setColumns(std::vector<std::string> columns) {
  beginResetModel();
  columns_ = std::move(columns);
  sortable_.assign(columns_.size(), false);
  dropHaystacks();
  if (isFiltered()) refilter(false);
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
  columnsChanged();
}

void ContactTableModel::columnsChanged() {
  // What a find looks through is the shown columns.
  dropHaystacks();
  if (!isFiltered()) return;
  beginResetModel();
  refilter(false);
  endResetModel();
}

void ContactTableModel::removeColumn(const std::string& key) {
  for (int i = columnCount() - 1; i >= 0; --i) {
    if (columns_[i] != key) continue;
    beginRemoveColumns({}, i, i);
    columns_.erase(columns_.begin() + i);
    sortable_.erase(sortable_.begin() + i);
    endRemoveColumns();
  }
  columnsChanged();
}

bool ContactTableModel::isSortable(int column) const {
  if (column < 0 || column >= columnCount()) return false;
  return sortable_[column];
}

int ContactTableModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return static_cast<int>(isFiltered() ? visible_.size() : records_.size());
}

int ContactTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

QVariant ContactTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const std::string& key = columns_[index.column()];
  if (key == kPhotoColumn) {
    const ABPersonRef person = recordAt(index.row()).person();
    if (role == Qt::DecorationRole) {
      const QPixmap thumbnail = thumbnails_->thumbnail(person);
      return thumbnail.isNull() ? QVariant() : QVariant(thumbnail);
    }
    if (role == Qt::ToolTipRole && person) {
      const ABPersonSnapshot data = person->snapshot();
      if (const ABBytes* photo = data->bytes(kABImageDataProperty); photo && !photo->empty())
        return photoDescription(bytesView(*photo));
    }
    return {};
  }
  if (role != Qt::DisplayRole && role != Qt::EditRole) return {};
  if (key == kNameColumn) return QString::fromStdString(cellText(recordAt(index.row()), key));
  auto text = recordAt(index.row()).text(key);
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
  ContactRecord& record = recordAt(index.row());
  ABPersonRef person = record.person();
  if (!person) return false;
  std::string text = value.toString().toStdString();
  const std::optional<std::string> shown = record.text(key);
  if (shown == text) return false;
  CommitResult result =
      ContactCommit::commitContactsToAddressBookCommitValueWithPerson(key, text, person, book_, &shown);
  if (!result.ok()) {
    emit editRefused(QString::fromStdString(result.error));
    // The store was put back, or the row no longer shows the person as it is: read it again.
    if (result.reverted || result.stale) emit storeReverted();
    return false;
  }
  if (!result.changed) return false;
  // The row shows the person as it now is (an emptied value is gone, not an empty text).
  record = prasePerson(person);
  if (!haystacks_.empty()) haystacks_.clear();
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
  for (size_t i = 0; i < records_.size(); ++i) keys.emplace_back(QString::fromStdString(cellText(records_[i], key)), i);
  std::stable_sort(keys.begin(), keys.end(), [order](const auto& a, const auto& b) {
    int c = QString::compare(a.first, b.first, Qt::CaseInsensitive);
    return order == Qt::AscendingOrder ? c < 0 : c > 0;
  });
  ContactRecords sorted;
  sorted.reserve(records_.size());
  for (const auto& entry : keys) sorted.push_back(std::move(records_[entry.second]));
  records_ = std::move(sorted);
  if (haystacks_.size() == keys.size()) {
    std::vector<QString> moved;
    moved.reserve(keys.size());
    for (const auto& entry : keys) moved.push_back(std::move(haystacks_[entry.second]));
    haystacks_ = std::move(moved);
  }
  // Where each record went, and so where each row went.
  std::vector<int> newRecord(keys.size());
  for (size_t row = 0; row < keys.size(); ++row) newRecord[keys[row].second] = static_cast<int>(row);
  std::vector<int> newRow;
  if (isFiltered()) {
    std::vector<int> shown;
    shown.reserve(visible_.size());
    for (int record : visible_) shown.push_back(newRecord[record]);
    std::vector<int> oldVisible = visible_;
    std::sort(shown.begin(), shown.end());
    visible_ = std::move(shown);
    std::vector<int> rowOfRecord(records_.size(), -1);
    for (size_t row = 0; row < visible_.size(); ++row) rowOfRecord[visible_[row]] = static_cast<int>(row);
    newRow.resize(oldVisible.size());
    for (size_t row = 0; row < oldVisible.size(); ++row) newRow[row] = rowOfRecord[newRecord[oldVisible[row]]];
  } else {
    newRow = std::move(newRecord);
  }
  // Selection and current cell follow their records to the new rows.
  const QModelIndexList persistent = persistentIndexList();
  for (const QModelIndex& index : persistent)
    changePersistentIndex(index, this->index(newRow[index.row()], index.column()));
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
