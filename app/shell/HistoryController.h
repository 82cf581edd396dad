#pragma once

#include <QDialog>
#include <QObject>
#include <cstdint>
#include <string>
#include <vector>

class ABAddressBook;
class Alerts;
class QAction;
class QMenu;
class QPushButton;
class QTimer;
class QTreeWidget;

// The store's change sets in the window: Undo and Redo in the Edit menu (named after the change
// they take back), the History window with "Restore to before this", and the Trash window.
class HistoryController : public QObject {
  Q_OBJECT

 public:
  HistoryController(ABAddressBook& book, QWidget* window, Alerts*& alerts, QObject* parent = nullptr);

  // Puts Undo, Redo, History… and Trash… into the menu before the action given.
  void addActionsTo(QMenu* edit, QAction* before);

  QAction* undoAction() const { return undo_; }
  QAction* redoAction() const { return redo_; }
  QAction* historyAction() const { return history_; }
  QAction* trashAction() const { return trash_; }
  class HistoryWindow;
  class TrashWindow;
  HistoryWindow* historyWindow() const { return historyWindow_; }
  TrashWindow* trashWindow() const { return trashWindow_; }

 public slots:
  // Reads what undo and redo would take now and names the actions after it.
  void refresh();
  void undo();
  void redo();
  // Undoes change set id and every later one.
  bool restoreToBefore(std::int64_t id);
  bool restoreFromTrash(const std::vector<std::string>& uids);
  void showHistory();
  void showTrash();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 signals:
  // The store was changed by undo, redo or a restore: screens show it again.
  void storeChanged();

 private:
  void changed();
  void fail(const std::string& what, const std::string& error);

  ABAddressBook& book_;
  QWidget* window_;
  Alerts*& alerts_;
  QAction* undo_ = nullptr;
  QAction* redo_ = nullptr;
  QAction* history_ = nullptr;
  QAction* trash_ = nullptr;
  QTimer* poll_ = nullptr;
  HistoryWindow* historyWindow_ = nullptr;
  TrashWindow* trashWindow_ = nullptr;
};

// Edit → History…: every change set, newest first.
class HistoryController::HistoryWindow : public QDialog {
  Q_OBJECT

 public:
  HistoryWindow(HistoryController& controller, ABAddressBook& book, QWidget* parent);
  void reload();
  QTreeWidget* list() const { return list_; }
  QPushButton* restoreButton() const { return restore_; }

 private:
  HistoryController& controller_;
  ABAddressBook& book_;
  QTreeWidget* list_;
  QPushButton* restore_;
};

// Edit → Trash…: the contacts that fixes, merges and deletions removed.
class HistoryController::TrashWindow : public QDialog {
  Q_OBJECT

 public:
  TrashWindow(HistoryController& controller, ABAddressBook& book, QWidget* parent);
  void reload();
  QTreeWidget* list() const { return list_; }
  QPushButton* restoreButton() const { return restore_; }
  QPushButton* emptyButton() const { return empty_; }

 private:
  void emptyTrash();

  HistoryController& controller_;
  ABAddressBook& book_;
  QTreeWidget* list_;
  QPushButton* restore_;
  QPushButton* empty_;
};
