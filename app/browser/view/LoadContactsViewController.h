#pragma once

#include <QPointer>
#include <QWidget>
#include <memory>
#include <string>
#include <vector>

#include "app/model/ContactRecord.h"

class ABAddressBook;
class ContactTableModel;
class ExportContactController;
class QAction;
class QMenu;
class QTableView;
class QThread;
class UserQuestion;

// The contact browser: one row per person of the store, one column per chosen record key. Loads
// in the background, sorts by its own columns, edits cells into the store, deletes and exports the
// selected people.
class LoadContactsViewController : public QWidget {
  Q_OBJECT

 public:
  explicit LoadContactsViewController(ABAddressBook& book, QWidget* parent = nullptr);
  ~LoadContactsViewController() override;

  // The columns the browser starts with; they are the ones that sort.
  static const std::vector<std::string>& initialColumns();

  QWidget* view() { return this; }
  QTableView* getTableView() const { return _tableView; }
  ContactTableModel* model() const { return model_; }
  const ContactRecords& getTableViewDataArray() const;
  std::vector<std::string> shownColumns() const;
  ABAddressBook& addressBook() const { return book_; }

  // Replaces the one who answers the delete question and hears about refused edits.
  void setQuestion(std::unique_ptr<UserQuestion> question);
  // The export driver the export item starts; the browser owns one unless given another.
  ExportContactController* exportContact() const { return exportContact_; }

  // The column chooser: one submenu per group of record keys.
  QMenu* columnMenu() const { return columnMenu_; }
  QMenu* contextMenu() const { return contextMenu_; }
  QAction* columnItem(const std::string& key) const;

  // The selected records from the highest row to the lowest, without "Person".
  ContactRecords selectedRecordsForExport() const;

 public slots:
  // Starts a load of every person of the store and returns at once.
  void loadPersonInAddressBook();
  void reload() { loadPersonInAddressBook(); }
  void deleteItem();
  void exportItem();
  void menuDidChange(QAction* item);

 signals:
  // A load has been installed ("TableViewDataChange").
  void tableViewDataChange();
  // The user asked to export the selected people; the records are selectedRecordsForExport().
  void exportSelectionRequested();

 private:
  void updateTableView(ContactRecords allPeopleArray, unsigned generation);
  void buildMenus();
  void showRefusal(const QString& reason);

  ABAddressBook& book_;
  QTableView* _tableView;
  ContactTableModel* model_;
  QMenu* columnMenu_;
  QMenu* contextMenu_;
  // The context menu's own items; the column chooser beside them is always available.
  QAction* deleteAction_ = nullptr;
  QAction* exportAction_ = nullptr;
  ExportContactController* exportContact_;
  std::unique_ptr<UserQuestion> question_;
  std::vector<QPointer<QThread>> loads_;
  unsigned generation_ = 0;
};
