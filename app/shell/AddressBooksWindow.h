#pragma once

#include <QDialog>

#include <string>
#include <vector>

#include "platform/sync/SyncState.h"

class ABAddressBook;
class QLabel;
class QPushButton;
class QTreeWidget;

// File → Address Books…: the vdir folders and CardDAV address books the store is linked to, with
// what each one's last sync did; adds and removes them and syncs them now.
class AddressBooksWindow : public QDialog {
  Q_OBJECT
 public:
  explicit AddressBooksWindow(ABAddressBook& book, QWidget* parent = nullptr);

  // Syncs every linked address book behind a progress window, then says what happened.
  void syncNow();
  void addFolder();
  void addCardDav();
  void removeSelected();
  // Reads the list of sources again.
  void refresh();

 signals:
  // The store was changed by a sync.
  void storeChanged();

 private:
  bool link(const SyncSource& source);
  ABAddressBook& book_;
  QTreeWidget* list_ = nullptr;
  QLabel* status_ = nullptr;
  QPushButton* removeButton_ = nullptr;
  QPushButton* syncButton_ = nullptr;
};
