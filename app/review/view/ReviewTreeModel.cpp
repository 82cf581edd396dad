#include "app/review/view/ReviewTreeModel.h"

#include <QImage>

ReviewTreeModel::ReviewTreeModel(ReviewOutline& outline, QObject* parent)
    : QAbstractItemModel(parent), outline_(outline) {}

void ReviewTreeModel::reload() {
  beginResetModel();
  endResetModel();
}

PersonItem* ReviewTreeModel::itemAt(const QModelIndex& index) const {
  return index.isValid() ? static_cast<PersonItem*>(index.internalPointer()) : nullptr;
}

QModelIndex ReviewTreeModel::indexOf(const PersonItem* item) const {
  if (!item) return {};
  if (item->isRootNode()) {
    const auto& roots = outline_.rootNodes();
    for (size_t i = 0; i < roots.size(); ++i)
      if (roots[i].get() == item) return createIndex(static_cast<int>(i), 0, const_cast<PersonItem*>(item));
    return {};
  }
  int row = item->parentNode() ? item->parentNode()->indexOfChild(item) : -1;
  return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<PersonItem*>(item));
}

QModelIndex ReviewTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (column != 0 || row < 0) return {};
  if (!parent.isValid()) {
    const auto& roots = outline_.rootNodes();
    if (row >= static_cast<int>(roots.size())) return {};
    return createIndex(row, 0, roots[row].get());
  }
  PersonItem* father = itemAt(parent);
  if (!father || row >= static_cast<int>(father->childrenCount())) return {};
  return createIndex(row, 0, father->childAtIndex(row));
}

QModelIndex ReviewTreeModel::parent(const QModelIndex& child) const {
  PersonItem* item = itemAt(child);
  if (!item || item->isRootNode()) return {};
  return indexOf(item->parentNode());
}

int ReviewTreeModel::rowCount(const QModelIndex& parent) const {
  if (!parent.isValid()) return static_cast<int>(outline_.rootNodes().size());
  PersonItem* item = itemAt(parent);
  return item && item->isRootNode() ? static_cast<int>(item->childrenCount()) : 0;
}

int ReviewTreeModel::columnCount(const QModelIndex&) const {
  return 1;
}

QVariant ReviewTreeModel::data(const QModelIndex& index, int role) const {
  PersonItem* item = itemAt(index);
  if (!item) return {};
  switch (role) {
    case Qt::DisplayRole:
      return item->isRootNode() ? QString::fromStdString(item->name()).toUpper() : QString::fromStdString(item->name());
    case IsCategoryRole:
      return item->isRootNode();
    case CountRole:
      return item->isRootNode() ? QVariant(static_cast<int>(item->childrenCount())) : QVariant();
    case Qt::AccessibleTextRole:
      if (!item->isRootNode()) return QString::fromStdString(item->name());
      return tr("%1, %2").arg(QString::fromStdString(item->name())).arg(item->childrenCount());
    case DescriptionRole: {
      if (item->isRootNode() || !item->parentNode()) return {};
      const auto* category = ReviewCategories::byTitle(item->parentNode()->name());
      return category ? QString::fromStdString(category->rowDescription) : QString();
    }
    case PictureRole: {
      if (item->isRootNode()) return {};
      auto bytes = item->person()->imageData();
      QImage image;
      if (bytes) image.loadFromData(bytes->data(), static_cast<int>(bytes->size()));
      if (image.isNull()) image.load(":/images/BigHead.png");
      return image;
    }
    default:
      return {};
  }
}

Qt::ItemFlags ReviewTreeModel::flags(const QModelIndex& index) const {
  PersonItem* item = itemAt(index);
  if (!item) return Qt::NoItemFlags;
  if (item->isRootNode()) return Qt::ItemIsEnabled;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}
