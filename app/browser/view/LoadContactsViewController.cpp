#include "app/browser/view/LoadContactsViewController.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScrollBar>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStringList>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>
#include <unordered_set>

#include "app/browser/view/BulkEditDialogs.h"
#include "app/browser/view/ColumnMenuGroups.h"
#include "app/browser/view/ContactCardDialog.h"
#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/GroupsPanel.h"
#include "app/browser/view/UserQuestion.h"
#include "app/browser/view/ValueEditors.h"
#include "app/export/view/ExportContactController.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABGroups.h"

namespace {

constexpr int kAddedColumnWidth = 150;

}  // namespace

const std::vector<std::string>& LoadContactsViewController::initialColumns() {
  static const std::vector<std::string> columns = {ContactTableModel::kNameColumn,
                                                   "First Name",
                                                   "Last Name",
                                                   "Company",
                                                   "Home Email",
                                                   "Work Email",
                                                   "Mobile",
                                                   "Home Phone"};
  return columns;
}

namespace {

// Records as an export of the shown columns writes them: with the "Name" column's text when it is
// shown, as the table shows it.
ContactRecords withNames(ContactRecords records, const std::vector<std::string>& columns) {
  if (std::find(columns.begin(), columns.end(), ContactTableModel::kNameColumn) == columns.end()) return records;
  for (auto& record : records)
    record.set(ContactTableModel::kNameColumn, ContactTableModel::cellText(record, ContactTableModel::kNameColumn));
  return records;
}

}  // namespace

// The browser's shown columns and records, read on the GUI thread when an export is prepared.
class BrowserExportSource : public ExportBrowserSource {
 public:
  explicit BrowserExportSource(const LoadContactsViewController& browser) : browser_(browser) {}
  // The photo column is a picture, not a text: no export of rows writes it (the HTML export shows
  // photos when asked).
  std::vector<std::string> tableColumnIdentifiers() const override {
    std::vector<std::string> columns = browser_.shownColumns();
    std::erase(columns, ContactTableModel::kPhotoColumn);
    return columns;
  }
  ContactRecords getTableViewDataArray() const override {
    return withNames(browser_.getTableViewDataArray(), browser_.shownColumns());
  }
  std::vector<ABPersonData> groupCardsOf(const ContactRecords& records) const override {
    std::unordered_set<std::string> uids;
    for (const auto& record : records)
      if (ABPersonRef person = record.person()) uids.insert(person->uniqueId());
    std::vector<ABPersonData> cards;
    for (const ABPersonRef& card : ABGroups::groupCards(browser_.addressBook())) {
      const ABPersonSnapshot values = card->snapshot();
      const auto members = ABGroups::members(*values);
      if (std::any_of(members.begin(), members.end(), [&](const std::string& uid) { return uids.count(uid) > 0; }))
        cards.push_back(*values);
    }
    return cards;
  }

 private:
  const LoadContactsViewController& browser_;
};

LoadContactsViewController::LoadContactsViewController(ABAddressBook& book, QWidget* parent)
    : QWidget(parent),
      book_(book),
      findField_(new QLineEdit(this)),
      tableView_(new QTableView(this)),
      model_(new ContactTableModel(book, this)),
      columnMenu_(new QMenu(tr("Columns"), this)),
      contextMenu_(new QMenu(this)),
      exportContact_(new ExportContactController(this)),
      exportSource_(std::make_unique<BrowserExportSource>(*this)),
      question_(std::make_unique<MessageBoxQuestion>(this)) {
  setObjectName("LoadContactsViewController");
  model_->setColumns(initialColumns());
  model_->setSortableColumns(initialColumns());
  tableView_->setModel(model_);
  tableView_->setItemDelegate(new ValueCellDelegate(tableView_));
  tableView_->setSortingEnabled(false);
  tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
  tableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  tableView_->setAlternatingRowColors(true);
  tableView_->setWordWrap(false);
  tableView_->verticalHeader()->setVisible(false);
  tableView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  tableView_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  // A photo as tall as a row leaves.
  const int photoSide = fontMetrics().height() + 4;
  tableView_->setIconSize(QSize(photoSide, photoSide));
  model_->setPhotoSide(static_cast<int>(photoSide * devicePixelRatioF()));
  tableView_->horizontalHeader()->setSectionsMovable(true);
  tableView_->horizontalHeader()->setDefaultSectionSize(kAddedColumnWidth);
  tableView_->horizontalHeader()->setSortIndicatorShown(false);
  // The last column takes the width the others leave.
  tableView_->horizontalHeader()->setStretchLastSection(true);
  tableView_->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  // Enter, and a double click on the name (which is not edited in place), open the contact's card.
  tableView_->installEventFilter(this);
  connect(tableView_, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
    if (index.isValid() && model_->columns()[index.column()] == ContactTableModel::kNameColumn) openContact();
  });
  findField_->setObjectName("findField");
  findField_->setPlaceholderText(tr("Find in the shown columns (Ctrl+F)"));
  findField_->setClearButtonEnabled(true);
  findField_->setAccessibleName(tr("Find"));
  connect(findField_, &QLineEdit::textChanged, this, &LoadContactsViewController::setFindText);
  // Escape in the field ends the find; Enter or Down goes to the rows found.
  auto* clearFind = new QShortcut(QKeySequence(Qt::Key_Escape), findField_, nullptr, nullptr, Qt::WidgetShortcut);
  connect(clearFind, &QShortcut::activated, this, [this] {
    findField_->clear();
    tableView_->setFocus(Qt::OtherFocusReason);
  });
  connect(findField_, &QLineEdit::returnPressed, this, [this] { tableView_->setFocus(Qt::OtherFocusReason); });
  auto* contextKey = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F10), tableView_, nullptr, nullptr,
                                   Qt::WidgetWithChildrenShortcut);
  connect(contextKey, &QShortcut::activated, this, &LoadContactsViewController::showContextMenuAtCurrentCell);
  auto* menuKey =
      new QShortcut(QKeySequence(Qt::Key_Menu), tableView_, nullptr, nullptr, Qt::WidgetWithChildrenShortcut);
  connect(menuKey, &QShortcut::activated, this, &LoadContactsViewController::showContextMenuAtCurrentCell);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  auto* findBar = new QHBoxLayout();
  findBar->setContentsMargins(6, 6, 6, 6);
  findBar->addWidget(findField_);
  layout->addLayout(findBar);
  groups_ = new GroupsPanel(book_, question_.get(), this);
  auto* beside = new QHBoxLayout();
  beside->setContentsMargins(0, 0, 0, 0);
  beside->setSpacing(0);
  beside->addWidget(groups_);
  beside->addWidget(tableView_, 1);
  layout->addLayout(beside, 1);
  connect(groups_, &GroupsPanel::filterChanged, this, [this] {
    ViewState state = captureViewState();
    state.vertical = 0;
    state.currentWasVisible = true;
    model_->setShownPersons(groups_->shownUids());
    restoreViewState(state);
    emit countsChanged();
  });
  connect(groups_, &GroupsPanel::groupsChanged, this, &LoadContactsViewController::loadPersonInAddressBook);
  setTabOrder(findField_, tableView_);
  connect(tableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
          &LoadContactsViewController::countsChanged);

  connect(tableView_->horizontalHeader(), &QHeaderView::sectionClicked, this,
          &LoadContactsViewController::headerClicked);
  connect(model_, &ContactTableModel::editCommitted, this, &LoadContactsViewController::loadPersonInAddressBook);
  connect(model_, &ContactTableModel::editRefused, this, &LoadContactsViewController::showRefusal);
  connect(model_, &ContactTableModel::storeReverted, this, &LoadContactsViewController::loadPersonInAddressBook);
  buildMenus();
}

LoadContactsViewController::~LoadContactsViewController() {
  for (const auto& load : loads_)
    if (load) load->wait();
}

const ContactRecords& LoadContactsViewController::getTableViewDataArray() const {
  return model_->records();
}

std::vector<std::string> LoadContactsViewController::shownColumns() const {
  // In the order the user sees them, which may differ from the model's after a header drag.
  std::vector<std::string> shown;
  QHeaderView* header = tableView_->horizontalHeader();
  for (int visual = 0; visual < header->count(); ++visual) {
    int logical = header->logicalIndex(visual);
    if (logical >= 0 && logical < static_cast<int>(model_->columns().size()))
      shown.push_back(model_->columns()[logical]);
  }
  return shown;
}

std::vector<std::pair<std::string, int>> LoadContactsViewController::shownColumnWidths() const {
  std::vector<std::pair<std::string, int>> shown;
  QHeaderView* header = tableView_->horizontalHeader();
  for (int visual = 0; visual < header->count(); ++visual) {
    int logical = header->logicalIndex(visual);
    if (logical >= 0 && logical < static_cast<int>(model_->columns().size()))
      shown.emplace_back(model_->columns()[logical], header->sectionSize(logical));
  }
  return shown;
}

void LoadContactsViewController::restoreColumns(const std::vector<std::string>& keys,
                                                const std::map<std::string, int>& widths) {
  std::vector<std::string> known;
  for (const std::string& key : keys)
    if (columnItem(key) && std::find(known.begin(), known.end(), key) == known.end()) known.push_back(key);
  if (known.empty()) return;
  model_->setColumns(known);
  model_->setSortableColumns(initialColumns());
  for (QAction* item : columnMenu_->findChildren<QAction*>())
    if (item->isCheckable())
      item->setChecked(std::find(known.begin(), known.end(), item->text().toStdString()) != known.end());
  for (size_t column = 0; column < known.size(); ++column) {
    auto width = widths.find(known[column]);
    tableView_->setColumnWidth(static_cast<int>(column),
                               width != widths.end() && width->second > 8 ? width->second : kAddedColumnWidth);
  }
  showSortIndicator();
}

void LoadContactsViewController::setQuestion(std::unique_ptr<UserQuestion> question) {
  question_ = std::move(question);
  groups_->setQuestion(question_.get());
}

QAction* LoadContactsViewController::columnItem(const std::string& key) const {
  const QString title = QString::fromStdString(key);
  for (QAction* item : columnMenu_->findChildren<QAction*>())
    if (item->isCheckable() && item->text() == title) return item;
  return nullptr;
}

void LoadContactsViewController::buildMenus() {
  const auto& shown = model_->columns();
  for (const ColumnMenuGroup& group : columnMenuGroups()) {
    QMenu* submenu = columnMenu_->addMenu(columnGroupTitle(group));
    for (const std::string& key : group.keys) {
      QAction* item = submenu->addAction(QString::fromStdString(key));
      item->setCheckable(true);
      item->setChecked(std::find(shown.begin(), shown.end(), key) != shown.end());
    }
    connect(submenu, &QMenu::triggered, this, &LoadContactsViewController::menuDidChange);
  }
  openAction_ = contextMenu_->addAction(tr("Open Contact"));
  openAction_->setShortcut(QKeySequence(Qt::Key_Return));
  openAction_->setShortcutVisibleInContextMenu(true);
  connect(openAction_, &QAction::triggered, this, &LoadContactsViewController::openContact);
  contextMenu_->addSeparator();
  editManyAction_ = contextMenu_->addAction(tr("Edit Contacts…"));
  findReplaceAction_ = contextMenu_->addAction(tr("Find and Replace…"));
  connect(editManyAction_, &QAction::triggered, this, &LoadContactsViewController::editSelectedContacts);
  connect(findReplaceAction_, &QAction::triggered, this, &LoadContactsViewController::findAndReplaceInSelection);
  mergeAction_ = contextMenu_->addAction(tr("Merge Contacts…"));
  connect(mergeAction_, &QAction::triggered, this, [this] {
    std::vector<ABPersonRef> persons = selectedPersons();
    if (persons.size() >= 2 && mergeContacts && mergeContacts(persons)) {
      loadPersonInAddressBook();
      emit countsChanged();
    }
  });
  addToGroupAction_ = contextMenu_->addAction(tr("Add to Group…"));
  removeFromGroupAction_ = contextMenu_->addAction(tr("Remove from Group…"));
  connect(addToGroupAction_, &QAction::triggered, this, &LoadContactsViewController::addSelectedToGroup);
  connect(removeFromGroupAction_, &QAction::triggered, this, &LoadContactsViewController::removeSelectedFromGroup);
  contextMenu_->addSeparator();
  deleteAction_ = contextMenu_->addAction(tr("Delete"));
  exportAction_ = contextMenu_->addAction(tr("Export"));
  contextMenu_->addSeparator();
  contextMenu_->addMenu(columnMenu_);
  connect(deleteAction_, &QAction::triggered, this, &LoadContactsViewController::deleteItem);
  connect(exportAction_, &QAction::triggered, this, &LoadContactsViewController::exportItem);
  connect(contextMenu_, &QMenu::aboutToShow, this, [this] {
    bool any = tableView_->selectionModel()->hasSelection();
    openAction_->setEnabled(any && tableView_->currentIndex().isValid());
    deleteAction_->setEnabled(any);
    exportAction_->setEnabled(any);
    const int selected = static_cast<int>(tableView_->selectionModel()->selectedRows().size());
    editManyAction_->setText(tr("Edit %1 Contacts…").arg(selected));
    editManyAction_->setEnabled(selected >= 2);
    findReplaceAction_->setEnabled(any);
    addToGroupAction_->setEnabled(any);
    removeFromGroupAction_->setEnabled(any);
    mergeAction_->setVisible(static_cast<bool>(mergeContacts));
    mergeAction_->setEnabled(selected >= 2);
  });
  tableView_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tableView_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { contextMenu_->popup(tableView_->viewport()->mapToGlobal(at)); });
  tableView_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(tableView_->horizontalHeader(), &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { columnMenu_->popup(tableView_->horizontalHeader()->mapToGlobal(at)); });
}

void LoadContactsViewController::menuDidChange(QAction* item) {
  // The action has already toggled itself: checked now means the column was off.
  const std::string key = item->text().toStdString();
  if (item->isChecked()) {
    model_->appendColumn(key);
    // The photo column is as wide as its thumbnails and a margin.
    tableView_->setColumnWidth(model_->columnCount() - 1, key == ContactTableModel::kPhotoColumn
                                                              ? tableView_->iconSize().width() + 16
                                                              : kAddedColumnWidth);
  } else {
    model_->removeColumn(key);
    // A column added again from the menu does not sort, so its old sort ends here.
    if (key == sortKey_) sortKey_.clear();
  }
  showSortIndicator();
}

void LoadContactsViewController::loadPersonInAddressBook() {
  unsigned generation = ++generation_;
  auto result = std::make_shared<ContactRecords>();
  // What find looks through is made on the loading thread too, for the columns shown now, so the
  // first keystroke of a find filters at once.
  auto texts = std::make_shared<std::vector<QString>>();
  auto columns = std::make_shared<const std::vector<std::string>>(model_->columns());
  auto groups = std::make_shared<std::shared_ptr<const ABGroups::Index>>();
  ABAddressBook* book = &book_;
  QThread* load = QThread::create([book, result, texts, columns, groups] {
    *result = recordsOfAddressBook(*book);
    *texts = ContactTableModel::searchTexts(*result, *columns);
    *groups = std::make_shared<const ABGroups::Index>(book->people());
  });
  connect(load, &QThread::finished, this, [this, result, texts, columns, groups, generation] {
    if (generation != generation_) return;
    groups_->setIndex(*groups);
    updateTableView(std::move(*result), generation, std::move(*texts), *columns);
  });
  connect(load, &QThread::finished, load, &QObject::deleteLater);
  loads_.erase(std::remove(loads_.begin(), loads_.end(), nullptr), loads_.end());
  loads_.emplace_back(load);
  load->start();
}

void LoadContactsViewController::headerClicked(int section) {
  // The header has already moved its indicator by itself; the direction is decided here alone:
  // the sorted column again reverses the sort, any other column sorts ascending.
  if (!model_->isSortable(section)) {
    showSortIndicator();
    return;
  }
  const std::string& key = model_->columns()[section];
  Qt::SortOrder order = Qt::AscendingOrder;
  if (key == sortKey_ && sortOrder_ == Qt::AscendingOrder) order = Qt::DescendingOrder;
  sortByKey(key, order);
}

void LoadContactsViewController::sortByKey(const std::string& key, Qt::SortOrder order) {
  const auto& columns = model_->columns();
  const auto at = std::find(columns.begin(), columns.end(), key);
  const int column = static_cast<int>(at - columns.begin());
  if (key.empty() || at == columns.end() || !model_->isSortable(column)) {
    sortKey_.clear();
    sortOrder_ = Qt::AscendingOrder;
  } else {
    sortKey_ = key;
    sortOrder_ = order;
    model_->sort(column, order);
  }
  showSortIndicator();
}

void LoadContactsViewController::showSortIndicator() {
  QHeaderView* header = tableView_->horizontalHeader();
  const auto& columns = model_->columns();
  const auto at = std::find(columns.begin(), columns.end(), sortKey_);
  if (sortKey_.empty() || at == columns.end()) {
    header->setSortIndicatorShown(false);
    return;
  }
  const QSignalBlocker quiet(header);
  header->setSortIndicator(static_cast<int>(at - columns.begin()), sortOrder_);
  header->setSortIndicatorShown(true);
}

LoadContactsViewController::ViewState LoadContactsViewController::captureViewState() const {
  // Where the user is: the selected people and the current one (by unique id), the column of the
  // current cell, the scroll position, and whether the current row could be seen.
  ViewState state;
  QItemSelectionModel* selection = tableView_->selectionModel();
  for (const QModelIndex& index : selection->selectedRows())
    if (ABPersonRef person = model_->recordAt(index.row()).person()) state.selectedIds.insert(person->uniqueId());
  const QModelIndex current = selection->currentIndex();
  if (current.isValid()) {
    if (ABPersonRef person = model_->recordAt(current.row()).person()) state.currentId = person->uniqueId();
    state.currentColumn = current.column();
    state.currentWasVisible = tableView_->viewport()->rect().intersects(tableView_->visualRect(current));
  }
  state.vertical = tableView_->verticalScrollBar()->value();
  state.horizontal = tableView_->horizontalScrollBar()->value();
  return state;
}

void LoadContactsViewController::restoreViewState(const ViewState& state) {
  QItemSelectionModel* selection = tableView_->selectionModel();
  QItemSelection kept;
  QModelIndex newCurrent;
  const int lastColumn = std::max(0, model_->columnCount() - 1);
  // With nothing selected and no current row there is nobody to look for among the rows.
  const bool lookFor = !state.selectedIds.empty() || !state.currentId.empty();
  const int rows = lookFor ? model_->rowCount() : 0;
  int rangeStart = -1;
  for (int row = 0; lookFor && row <= rows; ++row) {
    bool selected = false;
    if (row < rows) {
      if (ABPersonRef person = model_->recordAt(row).person()) {
        const std::string id = person->uniqueId();
        selected = state.selectedIds.count(id) > 0;
        if (!state.currentId.empty() && id == state.currentId)
          newCurrent = model_->index(row, std::clamp(state.currentColumn, 0, lastColumn));
      }
    }
    if (selected && rangeStart < 0) rangeStart = row;
    if (!selected && rangeStart >= 0) {
      kept.select(model_->index(rangeStart, 0), model_->index(row - 1, lastColumn));
      rangeStart = -1;
    }
  }
  if (newCurrent.isValid()) selection->setCurrentIndex(newCurrent, QItemSelectionModel::NoUpdate);
  if (!kept.isEmpty()) selection->select(kept, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);

  // The scroll bars' ranges follow the new rows only once the view has laid them out.
  tableView_->doItemsLayout();
  tableView_->verticalScrollBar()->setValue(state.vertical);
  tableView_->horizontalScrollBar()->setValue(state.horizontal);
  // A current row that was in sight stays in sight, even when its new values moved it.
  if (state.currentWasVisible && newCurrent.isValid())
    tableView_->scrollTo(newCurrent, QAbstractItemView::EnsureVisible);
}

void LoadContactsViewController::updateTableView(ContactRecords allPeopleArray, unsigned generation,
                                                 std::vector<QString> searchTexts,
                                                 const std::vector<std::string>& searchedColumns) {
  // A load started later replaces this one; only the newest reaches the table.
  if (generation != generation_) return;
  const ViewState state = captureViewState();
  // The rows of the group chosen, taken by the records set next.
  model_->setShownPersons(groups_->shownUids(), false);
  model_->setRecords(std::move(allPeopleArray), std::move(searchTexts), searchedColumns);
  const auto& columns = model_->columns();
  if (!sortKey_.empty()) {
    const auto at = std::find(columns.begin(), columns.end(), sortKey_);
    if (at != columns.end()) model_->sort(static_cast<int>(at - columns.begin()), sortOrder_);
  }
  showSortIndicator();
  restoreViewState(state);
  emit tableViewDataChange();
  emit countsChanged();
}

void LoadContactsViewController::setFindText(const QString& text) {
  if (findField_->text() != text) {
    findField_->setText(text);  // comes back through textChanged
    return;
  }
  ViewState state = captureViewState();
  state.vertical = 0;  // a new set of rows starts at its top
  state.currentWasVisible = true;
  model_->setFindText(text);
  restoreViewState(state);
  emit countsChanged();
}

int LoadContactsViewController::selectedCount() const {
  return static_cast<int>(tableView_->selectionModel()->selectedRows().size());
}

void LoadContactsViewController::focusFindField() {
  findField_->setFocus(Qt::ShortcutFocusReason);
  findField_->selectAll();
}

void LoadContactsViewController::showContextMenuAtCurrentCell() {
  QModelIndex current = tableView_->currentIndex();
  QPoint at = current.isValid() ? tableView_->visualRect(current).center() : QPoint(8, 8);
  contextMenu_->popup(tableView_->viewport()->mapToGlobal(at));
}

void LoadContactsViewController::deleteItem() {
  QModelIndexList selected = tableView_->selectionModel()->selectedRows();
  bool any = !selected.isEmpty();
  openAction_->setEnabled(any);
  deleteAction_->setEnabled(any);
  exportAction_->setEnabled(any);
  editManyAction_->setEnabled(selected.size() >= 2);
  findReplaceAction_->setEnabled(any);
  mergeAction_->setEnabled(selected.size() >= 2);
  addToGroupAction_->setEnabled(any);
  removeFromGroupAction_->setEnabled(any);
  bool confirmed = question_->confirm(tr("Are you sure you want to delete the selected person ?"),
                                      tr("This person will also delete from Contacts."), tr("Delete"), tr("Cancel"));
  if (!confirmed) return;
  std::vector<int> rows;
  for (const QModelIndex& index : selected) rows.push_back(index.row());
  std::sort(rows.rbegin(), rows.rend());
  // Every selected contact goes in one save: one change, taken back by one undo.
  std::vector<int> removed;
  std::string lastName;
  for (int row : rows) {
    ABPersonRef person = model_->recordAt(row).person();
    if (!person || !book_.removeRecord(person)) continue;
    removed.push_back(row);
    lastName = ABAddressBook::nameForHistory(*person);
  }
  if (removed.empty()) return;
  book_.setNextChangeDescription(removed.size() == 1 ? "Deleted " + lastName
                                                     : "Deleted " + std::to_string(removed.size()) + " contacts");
  std::string error;
  if (book_.save(&error)) {
    for (int row : removed) model_->removeRecordAt(row);
    emit countsChanged();
  } else {
    // The removals would otherwise stay pending and be written by the next save; reverting
    // reloads the persons, so the rows are read again to hold the store's own.
    book_.revert();
    loadPersonInAddressBook();
    QMessageBox::warning(this,
                         removed.size() == 1 ? tr("The contact was not deleted") : tr("The contacts were not deleted"),
                         QString::fromStdString(error));
  }
}

std::vector<ABPersonRef> LoadContactsViewController::selectedPersons() const {
  std::vector<int> rows;
  for (const QModelIndex& index : tableView_->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  std::vector<ABPersonRef> persons;
  for (int row : rows)
    if (ABPersonRef person = model_->recordAt(row).person()) persons.push_back(person);
  return persons;
}

bool LoadContactsViewController::eventFilter(QObject* watched, QEvent* event) {
  if (watched == tableView_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    // While a cell is edited, Enter ends the edit as usual: the editor has the focus then, and a
    // key it passes on reaches the table only on its way up.
    const QWidget* focus = QApplication::focusWidget();
    const bool editing = focus && focus != tableView_ && tableView_->isAncestorOf(focus);
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !editing) {
      openContact();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void LoadContactsViewController::openContact() {
  const QModelIndex current = tableView_->currentIndex();
  if (!current.isValid()) return;
  ABPersonRef person = model_->recordAt(current.row()).person();
  if (!person) return;
  ContactCardDialog card(person, book_, ContactCardDialog::Mode::Show, this);
  runDialog(card);
}

void LoadContactsViewController::editSelectedContacts() {
  std::vector<ABPersonRef> persons = selectedPersons();
  if (persons.size() < 2) return;
  EditContactsDialog dialog(book_, std::move(persons), shownColumns(), this);
  runDialog(dialog);
  if (dialog.result() == QDialog::Accepted) loadPersonInAddressBook();
}

void LoadContactsViewController::findAndReplaceInSelection() {
  std::vector<ABPersonRef> persons = selectedPersons();
  if (persons.empty()) return;
  FindReplaceDialog dialog(book_, std::move(persons), shownColumns(), this);
  runDialog(dialog);
  if (dialog.result() == QDialog::Accepted) loadPersonInAddressBook();
}

ContactRecords LoadContactsViewController::selectedRecordsForExport() const {
  // In the order the table shows them, top to bottom.
  std::vector<int> rows;
  for (const QModelIndex& index : tableView_->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  ContactRecords records;
  records.reserve(rows.size());
  // The records keep their persons: the vCard export writes them whole; the driver hands every other
  // writer the records without them.
  for (int row : rows) records.push_back(model_->recordAt(row));
  return withNames(std::move(records), shownColumns());
}

void LoadContactsViewController::exportItem() {
  exportContact_->setLoadContactsViewController(exportSource());
  exportContact_->setIsExportAllPeople(false);
  exportContact_->setExportArray(selectedRecordsForExport());
  emit exportSelectionRequested();
  exportContact_->startExport();
}

void LoadContactsViewController::showRefusal(const QString& reason) {
  question_->inform(tr("The change was not saved."),
                    reason.isEmpty() ? QString() : reason.left(1).toUpper() + reason.mid(1) + ".");
}

void LoadContactsViewController::addSelectedToGroup() {
  const std::vector<ABPersonRef> persons = selectedPersons();
  if (persons.empty()) return;
  QStringList choices = groups_->groupNames();
  const QString proposed = groups_->chosenGroup() ? QString::fromStdString(*groups_->chosenGroup()) : QString();
  if (choices.isEmpty()) choices << QString();
  const auto name = groups_->askName(tr("Add to Group"),
                                     tr("Add %n contact(s) to the group:", nullptr, static_cast<int>(persons.size())),
                                     choices, proposed);
  if (!name) return;
  const ABGroups::Change change = ABGroups::addToGroup(book_, name->trimmed().toStdString(), persons);
  if (!change.ok()) {
    question_->inform(tr("The contacts could not be added to the group."), QString::fromStdString(change.error));
    return;
  }
  if (change.contacts > 0) loadPersonInAddressBook();
}

void LoadContactsViewController::removeSelectedFromGroup() {
  const std::vector<ABPersonRef> persons = selectedPersons();
  if (persons.empty()) return;
  // The groups any of them is in.
  QStringList choices;
  for (const auto& person : persons)
    for (const auto& name : groups_->index().groupsOf(*person->snapshot()))
      if (!choices.contains(QString::fromStdString(name))) choices << QString::fromStdString(name);
  if (choices.isEmpty()) {
    question_->inform(tr("The selected contacts are in no group."), QString());
    return;
  }
  const QString proposed = groups_->chosenGroup() ? QString::fromStdString(*groups_->chosenGroup()) : choices.front();
  const auto name = groups_->askName(
      tr("Remove from Group"), tr("Remove %n contact(s) from the group:", nullptr, static_cast<int>(persons.size())),
      choices, proposed);
  if (!name) return;
  const ABGroups::Change change = ABGroups::removeFromGroup(book_, name->toStdString(), persons);
  if (!change.ok()) {
    question_->inform(tr("The contacts could not be removed from the group."), QString::fromStdString(change.error));
    return;
  }
  if (change.contacts > 0) loadPersonInAddressBook();
}
