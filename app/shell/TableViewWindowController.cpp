#include "app/shell/TableViewWindowController.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/scanner/ScanConditions.h"

TableViewWindowController::TableViewWindowController(QWidget* parent)
    : QDialog(parent),
      dataSoucreArray_(allConditionNames()),
      selectArray_(dataSoucreArray_),
      tableView_(new QListWidget(this)) {
  setWindowTitle(tr("Preferences"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(tr("Look for these problems when scanning:"), this));
  tableView_->setObjectName("conditionTable");
  tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  tableView_->setSelectionMode(QAbstractItemView::NoSelection);
  for (const std::string& name : dataSoucreArray_) {
    auto* item = new QListWidgetItem(QString::fromStdString(name), tableView_);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
  }
  reloadCheckBoxes();
  connect(tableView_, &QListWidget::itemChanged, this, &TableViewWindowController::itemChanged);
  layout->addWidget(tableView_, 1);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, &TableViewWindowController::okClicked);
  connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this,
          &TableViewWindowController::cancelClicked);
  layout->addWidget(buttons);
  resize(380, 420);
}

void TableViewWindowController::toggleConditionAtRow(int row) {
  if (row < 0 || row >= static_cast<int>(dataSoucreArray_.size())) return;
  const std::string& name = dataSoucreArray_[row];
  auto found = std::find(selectArray_.begin(), selectArray_.end(), name);
  if (found != selectArray_.end())
    selectArray_.erase(found);
  else
    selectArray_.push_back(name);
  reloadCheckBoxes();
}

void TableViewWindowController::reloadCheckBoxes() {
  reloading_ = true;
  for (int row = 0; row < tableView_->count(); ++row) {
    const std::string& name = dataSoucreArray_[row];
    const bool ticked = std::find(selectArray_.begin(), selectArray_.end(), name) != selectArray_.end();
    tableView_->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
  reloading_ = false;
}

void TableViewWindowController::itemChanged(QListWidgetItem* item) {
  if (reloading_) return;
  toggleConditionAtRow(tableView_->row(item));
}

void TableViewWindowController::okClicked() {
  close();
}

void TableViewWindowController::cancelClicked() {
  close();
}
