#include "app/shell/HistoryController.h"

#include <QAction>
#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/shell/Alerts.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

// The menus name a change in a few words; a long description is cut.
QString shortened(const std::string& description) {
  QString text = QString::fromStdString(description);
  return text.size() > 60 ? text.left(59) + QChar(0x2026) : text;
}

QString localTime(std::int64_t seconds) {
  return QLocale().toString(QDateTime::fromSecsSinceEpoch(seconds), QLocale::ShortFormat);
}

constexpr int kIdRole = Qt::UserRole;

}  // namespace

HistoryController::HistoryController(ABAddressBook& book, QWidget* window, Alerts*& alerts, QObject* parent)
    : QObject(parent), book_(book), window_(window), alerts_(alerts) {
  undo_ = new QAction(tr("&Undo"), this);
  undo_->setShortcuts({QKeySequence(Qt::CTRL | Qt::Key_Z)});
  connect(undo_, &QAction::triggered, this, &HistoryController::undo);
  redo_ = new QAction(tr("&Redo"), this);
  redo_->setShortcuts({QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
  connect(redo_, &QAction::triggered, this, &HistoryController::redo);
  history_ = new QAction(tr("&History…"), this);
  connect(history_, &QAction::triggered, this, &HistoryController::showHistory);
  trash_ = new QAction(tr("&Trash…"), this);
  connect(trash_, &QAction::triggered, this, &HistoryController::showTrash);
  // Every change of the window is saved at once and recorded; the names follow within a second,
  // also after a change made by another program.
  poll_ = new QTimer(this);
  poll_->setInterval(1000);
  connect(poll_, &QTimer::timeout, this, &HistoryController::refresh);
  poll_->start();
  refresh();
  // A text field of the window takes Undo and Redo keys for its own typing, even with nothing typed
  // to take back: then they go to the store's history (see eventFilter).
  qApp->installEventFilter(this);
}

bool HistoryController::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (field && window_ && window_->isAncestorOf(field)) {
      auto* key = static_cast<QKeyEvent*>(event);
      if ((key->matches(QKeySequence::Undo) && !field->isUndoAvailable()) ||
          (key->matches(QKeySequence::Redo) && !field->isRedoAvailable()))
        return true;  // not taken by the field: the Edit menu's shortcut runs
    }
  }
  return QObject::eventFilter(watched, event);
}

void HistoryController::addActionsTo(QMenu* edit, QAction* before) {
  edit->insertAction(before, undo_);
  edit->insertAction(before, redo_);
  edit->insertSeparator(before);
  edit->insertAction(before, history_);
  edit->insertAction(before, trash_);
  connect(edit, &QMenu::aboutToShow, this, &HistoryController::refresh);
}

void HistoryController::refresh() {
  ABChangeSet forUndo, forRedo;
  if (!book_.undoRedoCandidates(forUndo, forRedo)) return;  // busy: the next refresh reads it
  undo_->setEnabled(forUndo.id != 0);
  undo_->setText(forUndo.id ? tr("&Undo %1").arg(shortened(forUndo.description)) : tr("&Undo"));
  redo_->setEnabled(forRedo.id != 0);
  redo_->setText(forRedo.id ? tr("&Redo %1").arg(shortened(forRedo.description)) : tr("&Redo"));
}

void HistoryController::fail(const std::string& what, const std::string& error) {
  if (alerts_) alerts_->showAlert(what, error);
}

void HistoryController::changed() {
  refresh();
  if (historyWindow_ && historyWindow_->isVisible()) historyWindow_->reload();
  if (trashWindow_ && trashWindow_->isVisible()) trashWindow_->reload();
  emit storeChanged();
}

void HistoryController::undo() {
  std::vector<ABChangeSet> undone;
  std::string error;
  if (!book_.undo(0, false, &undone, &error)) {
    fail("Nothing was undone", error);
    refresh();
    return;
  }
  changed();
}

void HistoryController::redo() {
  std::string error;
  if (!book_.redo(nullptr, &error)) {
    fail("Nothing was redone", error);
    refresh();
    return;
  }
  changed();
}

bool HistoryController::restoreToBefore(std::int64_t id) {
  std::string error;
  if (!book_.undo(id, true, nullptr, &error)) {
    fail("Nothing was undone", error);
    return false;
  }
  changed();
  return true;
}

bool HistoryController::restoreFromTrash(const std::vector<std::string>& uids) {
  if (uids.empty()) return false;
  std::vector<ABTrashEntry> entries;
  book_.trash(entries);
  std::string name;
  for (const auto& entry : entries)
    if (entry.person->uniqueId() == uids.front()) name = ABAddressBook::nameForHistory(*entry.person);
  std::string description = uids.size() == 1 ? "Restored " + name + " from the trash"
                                             : "Restored " + std::to_string(uids.size()) + " contacts from the trash";
  std::string error;
  if (!book_.restoreFromTrash(uids, description, &error)) {
    fail("Nothing was restored", error);
    return false;
  }
  changed();
  return true;
}

void HistoryController::showHistory() {
  if (!historyWindow_) historyWindow_ = new HistoryWindow(*this, book_, window_);
  historyWindow_->reload();
  historyWindow_->show();
  historyWindow_->raise();
  historyWindow_->activateWindow();
}

void HistoryController::showTrash() {
  if (!trashWindow_) trashWindow_ = new TrashWindow(*this, book_, window_);
  trashWindow_->reload();
  trashWindow_->show();
  trashWindow_->raise();
  trashWindow_->activateWindow();
}

HistoryController::HistoryWindow::HistoryWindow(HistoryController& controller, ABAddressBook& book, QWidget* parent)
    : QDialog(parent), controller_(controller), book_(book) {
  setWindowTitle(tr("History"));
  resize(640, 420);
  auto* layout = new QVBoxLayout(this);
  auto* help = new QLabel(tr("Every change to the address book, newest first. \"Restore to before this\" undoes the "
                             "selected change and every later one; Redo brings them back."),
                          this);
  help->setWordWrap(true);
  layout->addWidget(help);
  list_ = new QTreeWidget(this);
  list_->setHeaderLabels({tr("Time"), tr("Change"), tr("Contacts"), tr("")});
  // A change opens to the contacts it touched, read when it is opened.
  list_->setRootIsDecorated(true);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->header()->setSectionResizeMode(1, QHeaderView::Stretch);
  list_->header()->setStretchLastSection(false);
  layout->addWidget(list_, 1);
  connect(list_, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* item) {
    if (item->parent() || item->childCount() > 0) return;
    std::vector<ABChangedContact> contacts;
    std::string error;
    if (!book_.changeContacts(item->data(0, kIdRole).toLongLong(), contacts, &error)) {
      auto* child = new QTreeWidgetItem(item, {QString(), tr("The contacts cannot be read: %1").arg(error.c_str())});
      child->setDisabled(true);
      return;
    }
    for (const auto& contact : contacts) {
      const QString kind = contact.kind == ABChangedContact::Kind::Added     ? tr("added")
                           : contact.kind == ABChangedContact::Kind::Removed ? tr("removed")
                           : contact.kind == ABChangedContact::Kind::Marked  ? tr("marked")
                                                                             : tr("changed");
      auto* child = new QTreeWidgetItem(item, {kind, QString::fromStdString(contact.name)});
      child->setToolTip(1, QString::fromStdString(contact.uid));
      child->setFlags(child->flags() & ~Qt::ItemIsSelectable);
    }
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  restore_ = buttons->addButton(tr("Restore to before this"), QDialogButtonBox::ActionRole);
  restore_->setEnabled(false);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  connect(list_, &QTreeWidget::itemSelectionChanged, this, [this] {
    auto* item = list_->currentItem();
    restore_->setEnabled(item && !item->parent() && !item->isDisabled());
  });
  connect(restore_, &QPushButton::clicked, this, [this] {
    auto* item = list_->currentItem();
    if (item && !item->parent()) controller_.restoreToBefore(item->data(0, kIdRole).toLongLong());
  });
}

void HistoryController::HistoryWindow::reload() {
  list_->clear();
  std::vector<ABChangeSet> changes;
  std::string error;
  if (!book_.changeHistory(changes, &error)) {
    auto* item = new QTreeWidgetItem(list_, {QString(), tr("The history cannot be read: %1").arg(error.c_str())});
    item->setDisabled(true);
    return;
  }
  for (const auto& change : changes) {
    auto* item = new QTreeWidgetItem(list_, {localTime(change.time), QString::fromStdString(change.description),
                                             QString::number(change.persons), change.undone ? tr("undone") : ""});
    item->setData(0, kIdRole, QVariant::fromValue<qlonglong>(change.id));
    item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    item->setToolTip(1, QString::fromStdString(change.description));
    if (change.undone) item->setForeground(1, palette().brush(QPalette::Disabled, QPalette::Text));
  }
  list_->resizeColumnToContents(0);
  restore_->setEnabled(false);
}

HistoryController::TrashWindow::TrashWindow(HistoryController& controller, ABAddressBook& book, QWidget* parent)
    : QDialog(parent), controller_(controller), book_(book) {
  setWindowTitle(tr("Trash"));
  resize(600, 400);
  auto* layout = new QVBoxLayout(this);
  auto* help = new QLabel(
      tr("Contacts removed by fixes, merges and deletions, with all their values. They stay here for %1 days.")
          .arg(ABAddressBook::kHistoryDays),
      this);
  help->setWordWrap(true);
  layout->addWidget(help);
  list_ = new QTreeWidget(this);
  list_->setHeaderLabels({tr("Name"), tr("Removed"), tr("By")});
  list_->setRootIsDecorated(false);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->header()->setSectionResizeMode(2, QHeaderView::Stretch);
  layout->addWidget(list_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  restore_ = buttons->addButton(tr("Restore"), QDialogButtonBox::ActionRole);
  empty_ = buttons->addButton(tr("Empty Trash…"), QDialogButtonBox::DestructiveRole);
  restore_->setEnabled(false);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
  connect(list_, &QTreeWidget::itemSelectionChanged, this,
          [this] { restore_->setEnabled(!list_->selectedItems().isEmpty()); });
  connect(restore_, &QPushButton::clicked, this, [this] {
    std::vector<std::string> uids;
    for (auto* item : list_->selectedItems()) uids.push_back(item->data(0, kIdRole).toString().toStdString());
    controller_.restoreFromTrash(uids);
  });
  connect(empty_, &QPushButton::clicked, this, &TrashWindow::emptyTrash);
}

void HistoryController::TrashWindow::reload() {
  list_->clear();
  std::vector<ABTrashEntry> entries;
  std::vector<ABChangeSet> changes;
  std::string error;
  if (!book_.trash(entries, &error) || !book_.changeHistory(changes, &error)) {
    auto* item = new QTreeWidgetItem(list_, {tr("The trash cannot be read: %1").arg(error.c_str())});
    item->setDisabled(true);
    empty_->setEnabled(false);
    return;
  }
  for (const auto& entry : entries) {
    QString by;
    for (const auto& change : changes)
      if (change.id == entry.changeId) by = QString::fromStdString(change.description);
    auto* item = new QTreeWidgetItem(
        list_, {QString::fromStdString(ABAddressBook::nameForHistory(*entry.person)), localTime(entry.time), by});
    item->setData(0, kIdRole, QString::fromStdString(entry.person->uniqueId()));
  }
  list_->resizeColumnToContents(0);
  restore_->setEnabled(false);
  empty_->setEnabled(!entries.empty());
}

void HistoryController::TrashWindow::emptyTrash() {
  QMessageBox box(QMessageBox::Warning, tr("Empty the trash?"),
                  tr("The %n contact(s) in the trash will be removed for good, with the history that could bring "
                     "them back. This cannot be undone.",
                     nullptr, list_->topLevelItemCount()),
                  QMessageBox::NoButton, this);
  QPushButton* empty = box.addButton(tr("Empty Trash"), QMessageBox::DestructiveRole);
  box.addButton(QMessageBox::Cancel);
  box.exec();
  if (box.clickedButton() != empty) return;
  std::string error;
  if (!book_.emptyTrash(nullptr, &error)) {
    QMessageBox::warning(this, tr("Trash"), tr("The trash could not be emptied: %1").arg(error.c_str()));
    return;
  }
  reload();
  controller_.refresh();
  if (auto* history = controller_.historyWindow(); history && history->isVisible()) history->reload();
}
