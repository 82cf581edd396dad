#pragma once

#include <QTreeView>

// The review outline's view: the keyboard moves from contact row to contact row, stepping over the
// category rows, which cannot be selected.
class ReviewOutlineView : public QTreeView {
  Q_OBJECT

 public:
  using QTreeView::QTreeView;

 protected:
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
};
