#pragma once

#include <functional>

#include <QDialog>
#include <QPointer>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABPerson.h"

class ABAddressBook;
class ContactTableModel;
class ExportContactController;
class GroupsPanel;
class QAction;

class QLineEdit;
class QMenu;
class QTableView;
class ExportBrowserSource;
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
  QTableView* getTableView() const { return tableView_; }
  ContactTableModel* model() const { return model_; }
  const ContactRecords& getTableViewDataArray() const;
  std::vector<std::string> shownColumns() const;
  // The shown columns in the order the user sees them, each with its width.
  std::vector<std::pair<std::string, int>> shownColumnWidths() const;
  // Shows these columns in this order (those of the table's own sort), with the given widths.
  void restoreColumns(const std::vector<std::string>& keys, const std::map<std::string, int>& widths);
  ABAddressBook& addressBook() const { return book_; }

  // Replaces the one who answers the delete question and hears about refused edits.
  void setQuestion(std::unique_ptr<UserQuestion> question);
  // The export driver the export item starts; the browser owns one unless given another.
  ExportContactController* exportContact() const { return exportContact_; }
  // What an export of everybody reads from this browser: its shown columns and its records.
  const ExportBrowserSource* exportSource() const { return exportSource_.get(); }

  // The column chooser: one submenu per group of record keys.
  QMenu* columnMenu() const { return columnMenu_; }
  QMenu* contextMenu() const { return contextMenu_; }
  QAction* columnItem(const std::string& key) const;
  QAction* editManyAction() const { return editManyAction_; }
  QAction* findReplaceAction() const { return findReplaceAction_; }
  QAction* mergeAction() const { return mergeAction_; }
  QAction* addToGroupAction() const { return addToGroupAction_; }
  QAction* removeFromGroupAction() const { return removeFromGroupAction_; }
  // The groups list beside the table, which filters it.
  GroupsPanel* groupsPanel() const { return groups_; }
  // "Add to Group…" and "Remove from Group…" for the selected contacts: one change set each.
  void addSelectedToGroup();
  void removeSelectedFromGroup();
  // "Merge Contacts…" for two or more selected contacts: the window's merge dialog, given the
  // selected persons; true when it merged them. Without it the item is not offered.
  std::function<bool(const std::vector<ABPersonRef>& persons)> mergeContacts;
  // The persons of the selected rows, top to bottom.
  std::vector<ABPersonRef> selectedPersons() const;
  // Opens the dialogs of editing many contacts modally; tests replace it to drive them.
  std::function<void(QDialog&)> runDialog = [](QDialog& dialog) { dialog.exec(); };

  // The selected records in the order the table shows them, without "Person".
  ContactRecords selectedRecordsForExport() const;

 public slots:
  // Starts a load of every person of the store and returns at once. This is the one way the table
  // is read again (after an edit, a refused edit, an undo, a change made by another program): the
  // sort, the selected people, the current cell and the scroll position are kept across it.
  void loadPersonInAddressBook();
  void reload() { loadPersonInAddressBook(); }
  // Sorts by the column of this record key (one of the table's own sorting columns); the sort is
  // kept across reloads. An empty key goes back to the store's order.
  void sortByKey(const std::string& key, Qt::SortOrder order);
  const std::string& sortKey() const { return sortKey_; }
  // The find field above the table; typing in it keeps only the rows that hold the text.
  QLineEdit* findField() const { return findField_; }
  void setFindText(const QString& text);
  void focusFindField();
  // How many rows are selected (the status bar's count).
  int selectedCount() const;
  // Shift+F10 and the Menu key: the context menu at the current cell.
  void showContextMenuAtCurrentCell();
  Qt::SortOrder sortOrder() const { return sortOrder_; }
  void deleteItem();
  // "Open Contact" (Enter, a double click on the name, the context menu): the current row's whole
  // card, every value of the contact.
  void openContact();
  QAction* openAction() const { return openAction_; }
  // "Edit N Contacts…" and "Find and Replace…" over the selected contacts.
  void editSelectedContacts();
  void findAndReplaceInSelection();
  void exportItem();
  void menuDidChange(QAction* item);

 signals:
  // A load has been installed ("TableViewDataChange").
  void tableViewDataChange();
  // The number of contacts, found rows or selected rows changed.
  void countsChanged();
  // The user asked to export the selected people; the records are selectedRecordsForExport().
  void exportSelectionRequested();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void updateTableView(ContactRecords allPeopleArray, unsigned generation, std::vector<QString> searchTexts = {},
                       const std::vector<std::string>& searchedColumns = {});
  // Where the user is in the table, kept by person across a change of rows.
  struct ViewState {
    std::unordered_set<std::string> selectedIds;
    std::string currentId;
    int currentColumn = 0;
    bool currentWasVisible = false;
    int vertical = 0;
    int horizontal = 0;
  };
  ViewState captureViewState() const;
  void restoreViewState(const ViewState& state);
  void headerClicked(int section);
  void showSortIndicator();
  void buildMenus();
  void showRefusal(const QString& reason);

  ABAddressBook& book_;
  QLineEdit* findField_;
  QTableView* tableView_;
  ContactTableModel* model_;
  QMenu* columnMenu_;
  QMenu* contextMenu_;
  // The context menu's own items; the column chooser beside them is always available.
  QAction* openAction_ = nullptr;
  QAction* editManyAction_ = nullptr;
  QAction* mergeAction_ = nullptr;
  QAction* findReplaceAction_ = nullptr;
  QAction* addToGroupAction_ = nullptr;
  QAction* removeFromGroupAction_ = nullptr;
  GroupsPanel* groups_ = nullptr;
  QAction* deleteAction_ = nullptr;
  QAction* exportAction_ = nullptr;
  ExportContactController* exportContact_;
  std::unique_ptr<ExportBrowserSource> exportSource_;
  std::unique_ptr<UserQuestion> question_;
  std::vector<QPointer<QThread>> loads_;
  unsigned generation_ = 0;
  std::string sortKey_;  // empty: the store's order
  Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};
