#include "app/browser/view/GroupsPanel.h"

#include <QAction>
#include <QInputDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "app/browser/view/UserQuestion.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

// What an item of the list stands for.
enum Role { kKindRole = Qt::UserRole, kNameRole };
enum Kind { kAll, kGroup, kNoGroup };

QString counted(const QString& name, std::size_t count) {
  return QStringLiteral("%1 (%2)").arg(name).arg(count);
}

}  // namespace

GroupsPanel::GroupsPanel(ABAddressBook& book, UserQuestion* question, QWidget* parent)
    : QWidget(parent),
      book_(book),
      question_(question),
      list_(new QListWidget(this)),
      menu_(new QMenu(this)),
      index_(std::make_shared<ABGroups::Index>()) {
  setObjectName("groupsPanel");
  list_->setObjectName("groupsList");
  list_->setAccessibleName(tr("Groups"));
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(6, 0, 0, 6);
  auto* title = new QLabel(tr("Groups"), this);
  title->setBuddy(list_);
  layout->addWidget(title);
  layout->addWidget(list_);
  setMinimumWidth(160);
  setMaximumWidth(260);
  connect(list_, &QListWidget::currentItemChanged, this, [this] { emit filterChanged(); });
  QAction* rename = menu_->addAction(tr("Rename Group…"));
  QAction* remove = menu_->addAction(tr("Delete Group…"));
  connect(rename, &QAction::triggered, this, &GroupsPanel::renameChosenGroup);
  connect(remove, &QAction::triggered, this, &GroupsPanel::deleteChosenGroup);
  connect(menu_, &QMenu::aboutToShow, this, [this, rename, remove] {
    const bool group = chosenGroup().has_value();
    rename->setEnabled(group);
    remove->setEnabled(group);
  });
  list_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(list_, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { menu_->popup(list_->viewport()->mapToGlobal(at)); });
  askName = [this](const QString& title, const QString& label, const QStringList& choices,
                   const QString& proposed) -> std::optional<QString> {
    bool ok = false;
    QString name;
    if (choices.isEmpty()) {
      name = QInputDialog::getText(this, title, label, QLineEdit::Normal, proposed, &ok);
    } else {
      const int at = std::max<qsizetype>(choices.indexOf(proposed), 0);
      name = QInputDialog::getItem(this, title, label, choices, static_cast<int>(at), true, &ok);
    }
    if (!ok || name.trimmed().isEmpty()) return std::nullopt;
    return name;
  };
  setIndex(index_);
}

void GroupsPanel::setIndex(std::shared_ptr<const ABGroups::Index> index) {
  index_ = index ? std::move(index) : std::make_shared<ABGroups::Index>();
  const QListWidgetItem* current = list_->currentItem();
  const int kind = current ? current->data(kKindRole).toInt() : kAll;
  const QString name = current ? current->data(kNameRole).toString() : QString();
  const QSignalBlocker quiet(list_);
  list_->clear();
  auto add = [&](const QString& text, Kind itemKind, const QString& itemName) {
    auto* item = new QListWidgetItem(text, list_);
    item->setData(kKindRole, itemKind);
    item->setData(kNameRole, itemName);
    return item;
  };
  QListWidgetItem* chosen = add(counted(tr("All contacts"), index_->persons()), kAll, {});
  for (const auto& group : index_->groups()) {
    const QString groupName = QString::fromStdString(group.name);
    QListWidgetItem* item =
        add(counted(QString::fromStdString(ABGroups::shownName(group.name)), group.members.size()), kGroup, groupName);
    if (kind == kGroup && groupName == name) chosen = item;
  }
  QListWidgetItem* none = add(counted(tr("Not in any group"), index_->withoutGroup()), kNoGroup, {});
  if (kind == kNoGroup) chosen = none;
  list_->setCurrentItem(chosen);
  // The group chosen is gone (renamed, deleted): every contact is shown again.
  if (kind == kGroup && chosen->data(kKindRole).toInt() != kGroup) emit filterChanged();
}

std::optional<std::unordered_set<std::string>> GroupsPanel::shownUids() const {
  const QListWidgetItem* item = list_->currentItem();
  const int kind = item ? item->data(kKindRole).toInt() : kAll;
  if (kind == kAll) return std::nullopt;
  std::unordered_set<std::string> uids;
  if (kind == kGroup) {
    if (const ABGroups::Group* group = index_->find(item->data(kNameRole).toString().toStdString()))
      uids.insert(group->members.begin(), group->members.end());
    return uids;
  }
  uids.insert(index_->notInAnyGroup().begin(), index_->notInAnyGroup().end());
  return uids;
}

std::optional<std::string> GroupsPanel::chosenGroup() const {
  const QListWidgetItem* item = list_->currentItem();
  if (!item || item->data(kKindRole).toInt() != kGroup) return std::nullopt;
  return item->data(kNameRole).toString().toStdString();
}

bool GroupsPanel::chooseGroup(const std::optional<std::string>& name) {
  for (int row = 0; row < list_->count(); ++row) {
    QListWidgetItem* item = list_->item(row);
    const int kind = item->data(kKindRole).toInt();
    if ((!name && kind == kAll) ||
        (name && kind == kGroup && item->data(kNameRole).toString() == QString::fromStdString(*name))) {
      list_->setCurrentItem(item);
      return true;
    }
  }
  return false;
}

void GroupsPanel::chooseNoGroup() {
  list_->setCurrentRow(list_->count() - 1);
}

QStringList GroupsPanel::groupNames() const {
  QStringList names;
  for (const auto& group : index_->groups()) names << QString::fromStdString(group.name);
  return names;
}

void GroupsPanel::showChange(const ABGroups::Change& change) {
  if (!change.ok()) {
    question_->inform(tr("The groups could not be changed."), QString::fromStdString(change.error));
    return;
  }
  if (change.contacts > 0) emit groupsChanged();
}

void GroupsPanel::renameChosenGroup() {
  const auto group = chosenGroup();
  if (!group) return;
  const auto name = askName(tr("Rename Group"), tr("New name of the group:"), {}, QString::fromStdString(*group));
  if (!name || name->trimmed().toStdString() == *group) return;
  showChange(ABGroups::renameGroup(book_, *group, name->trimmed().toStdString()));
}

void GroupsPanel::deleteChosenGroup() {
  const auto group = chosenGroup();
  if (!group) return;
  const QString shown = QString::fromStdString(ABGroups::shownName(*group));
  if (!question_->confirm(tr("Delete the group “%1”?").arg(shown),
                          tr("The contacts stay; only the group goes (its group cards go to the trash). Edit > Undo "
                             "brings it back."),
                          tr("Delete"), tr("Cancel")))
    return;
  showChange(ABGroups::deleteGroup(book_, *group));
}
