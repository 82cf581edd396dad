#pragma once

#include <QAbstractItemModel>

#include "app/review/ReviewOutline.h"

// The outline's tree for a QTreeView: categories at the top level, contact rows below them.
class ReviewTreeModel : public QAbstractItemModel {
  Q_OBJECT

 public:
  // CountRole: how many findings a category row holds.
  enum Role { DescriptionRole = Qt::UserRole + 1, IsCategoryRole, PictureRole, CountRole };

  explicit ReviewTreeModel(ReviewOutline& outline, QObject* parent = nullptr);

  // Call after the tree changed shape (a fix, a new scan result).
  void reload();

  PersonItem* itemAt(const QModelIndex& index) const;
  QModelIndex indexOf(const PersonItem* item) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  ReviewOutline& outline_;
};
