#include "app/browser/view/LoadContactsViewController.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>
#include <algorithm>

#include "app/browser/view/ColumnMenuGroups.h"
#include "app/browser/view/ContactTableModel.h"
#include "app/browser/view/UserQuestion.h"
#include "app/browser/view/ValueEditors.h"
#include "app/export/view/ExportContactController.h"
#include "app/model/PersonRecord.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

constexpr int kAddedColumnWidth = 150;

}  // namespace

const std::vector<std::string>& LoadContactsViewController::initialColumns() {
  static const std::vector<std::string> columns = {"First Name", "Last Name", "Company",   "Home Email",
                                                   "Work Email", "Mobile",    "Home Phone"};
  return columns;
}

LoadContactsViewController::LoadContactsViewController(ABAddressBook& book, QWidget* parent)
    : QWidget(parent),
      book_(book),
      _tableView(new QTableView(this)),
      model_(new ContactTableModel(book, this)),
      columnMenu_(new QMenu(tr("Columns"), this)),
      contextMenu_(new QMenu(this)),
      exportContact_(new ExportContactController(this)),
      question_(std::make_unique<MessageBoxQuestion>(this)) {
  setObjectName("LoadContactsViewController");
  model_->setColumns(initialColumns());
  model_->setSortableColumns(initialColumns());
  _tableView->setModel(model_);
  _tableView->setItemDelegate(new ValueCellDelegate(_tableView));
  _tableView->setSortingEnabled(false);
  _tableView->setSelectionBehavior(QAbstractItemView::SelectRows);
  _tableView->setSelectionMode(QAbstractItemView::ExtendedSelection);
  _tableView->setAlternatingRowColors(true);
  _tableView->setWordWrap(false);
  _tableView->verticalHeader()->setVisible(false);
  _tableView->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  _tableView->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 8);
  _tableView->horizontalHeader()->setSectionsMovable(true);
  _tableView->horizontalHeader()->setDefaultSectionSize(kAddedColumnWidth);
  _tableView->horizontalHeader()->setSortIndicatorShown(false);
  _tableView->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(_tableView);

  connect(_tableView->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
    if (!model_->isSortable(section)) return;
    QHeaderView* header = _tableView->horizontalHeader();
    Qt::SortOrder order = Qt::AscendingOrder;
    if (header->isSortIndicatorShown() && header->sortIndicatorSection() == section)
      order = header->sortIndicatorOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder;
    header->setSortIndicatorShown(true);
    header->setSortIndicator(section, order);
    model_->sort(section, order);
  });
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
  QHeaderView* header = _tableView->horizontalHeader();
  for (int visual = 0; visual < header->count(); ++visual) {
    int logical = header->logicalIndex(visual);
    if (logical >= 0 && logical < static_cast<int>(model_->columns().size()))
      shown.push_back(model_->columns()[logical]);
  }
  return shown;
}

void LoadContactsViewController::setQuestion(std::unique_ptr<UserQuestion> question) {
  question_ = std::move(question);
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
    QMenu* submenu = columnMenu_->addMenu(QString::fromStdString(group.title));
    for (const std::string& key : group.keys) {
      QAction* item = submenu->addAction(QString::fromStdString(key));
      item->setCheckable(true);
      item->setChecked(std::find(shown.begin(), shown.end(), key) != shown.end());
    }
    connect(submenu, &QMenu::triggered, this, &LoadContactsViewController::menuDidChange);
  }
  deleteAction_ = contextMenu_->addAction(tr("Delete"));
  exportAction_ = contextMenu_->addAction(tr("Export"));
  contextMenu_->addSeparator();
  contextMenu_->addMenu(columnMenu_);
  connect(deleteAction_, &QAction::triggered, this, &LoadContactsViewController::deleteItem);
  connect(exportAction_, &QAction::triggered, this, &LoadContactsViewController::exportItem);
  connect(contextMenu_, &QMenu::aboutToShow, this, [this] {
    bool any = _tableView->selectionModel()->hasSelection();
    deleteAction_->setEnabled(any);
    exportAction_->setEnabled(any);
  });
  _tableView->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(_tableView, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { contextMenu_->popup(_tableView->viewport()->mapToGlobal(at)); });
  _tableView->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(_tableView->horizontalHeader(), &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { columnMenu_->popup(_tableView->horizontalHeader()->mapToGlobal(at)); });
}

void LoadContactsViewController::menuDidChange(QAction* item) {
  // The action has already toggled itself: checked now means the column was off.
  const std::string key = item->text().toStdString();
  if (item->isChecked()) {
    model_->appendColumn(key);
    _tableView->setColumnWidth(model_->columnCount() - 1, kAddedColumnWidth);
  } else {
    model_->removeColumn(key);
  }
}

void LoadContactsViewController::loadPersonInAddressBook() {
  unsigned generation = ++generation_;
  auto result = std::make_shared<ContactRecords>();
  ABAddressBook* book = &book_;
  QThread* load = QThread::create([book, result] { *result = recordsOfAddressBook(*book); });
  connect(load, &QThread::finished, this,
          [this, result, generation] { updateTableView(std::move(*result), generation); });
  connect(load, &QThread::finished, load, &QObject::deleteLater);
  loads_.erase(std::remove(loads_.begin(), loads_.end(), nullptr), loads_.end());
  loads_.emplace_back(load);
  load->start();
}

void LoadContactsViewController::updateTableView(ContactRecords allPeopleArray, unsigned generation) {
  // A load started later replaces this one; only the newest reaches the table.
  if (generation != generation_) return;
  QHeaderView* header = _tableView->horizontalHeader();
  header->setSortIndicatorShown(false);
  model_->setRecords(std::move(allPeopleArray));
  emit tableViewDataChange();
}

void LoadContactsViewController::deleteItem() {
  QModelIndexList selected = _tableView->selectionModel()->selectedRows();
  bool any = !selected.isEmpty();
  deleteAction_->setEnabled(any);
  exportAction_->setEnabled(any);
  bool confirmed = question_->confirm(tr("Are you sure you want to delete the selected person ?"),
                                      tr("This person will also delete from Contacts."), tr("Delete"), tr("Cancel"));
  if (!confirmed) return;
  std::vector<int> rows;
  for (const QModelIndex& index : selected) rows.push_back(index.row());
  std::sort(rows.rbegin(), rows.rend());
  bool reverted = false;
  for (int row : rows) {
    ABPersonRef person = model_->records()[row].person();
    if (!person || !book_.removeRecord(person)) continue;
    if (book_.save()) {
      model_->removeRecordAt(row);
    } else {
      // The removal would otherwise stay pending and be written by the next save.
      book_.revert();
      reverted = true;
    }
  }
  // Reverting reloads the persons, so the rows are read again to hold the store's own.
  if (reverted) loadPersonInAddressBook();
}

ContactRecords LoadContactsViewController::selectedRecordsForExport() const {
  std::vector<int> rows;
  for (const QModelIndex& index : _tableView->selectionModel()->selectedRows()) rows.push_back(index.row());
  std::sort(rows.rbegin(), rows.rend());
  ContactRecords records;
  records.reserve(rows.size());
  for (int row : rows) {
    ContactRecord copy = model_->records()[row];
    copy.remove("Person");
    records.push_back(std::move(copy));
  }
  return records;
}

void LoadContactsViewController::exportItem() {
  exportContact_->setLoadContactsViewController(this);
  exportContact_->setIsExportAllPeople(false);
  exportContact_->setExportArray(selectedRecordsForExport());
  emit exportSelectionRequested();
  exportContact_->startExport();
}

void LoadContactsViewController::showRefusal(const QString& reason) {
  question_->inform(tr("The change was not saved."),
                    reason.isEmpty() ? QString() : reason.left(1).toUpper() + reason.mid(1) + ".");
}
