#include "app/review/view/ReviewOutlineView.h"

namespace {

bool selectable(const QModelIndex& index) {
  return index.isValid() && (index.flags() & Qt::ItemIsSelectable);
}

}  // namespace

QModelIndex ReviewOutlineView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  QModelIndex next = QTreeView::moveCursor(action, modifiers);
  const bool downwards = action == MoveDown || action == MoveNext || action == MovePageDown || action == MoveHome;
  const bool upwards = action == MoveUp || action == MovePrevious || action == MovePageUp || action == MoveEnd;
  while (next.isValid() && !selectable(next) && (downwards || upwards))
    next = downwards ? indexBelow(next) : indexAbove(next);
  // Nothing selectable that way: the cursor stays where it is.
  return selectable(next) ? next : currentIndex();
}
