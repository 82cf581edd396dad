#include "app/shell/TableViewWindowController.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanConditions.h"

TableViewWindowController::TableViewWindowController(QWidget* parent)
    : QDialog(parent),
      dataSoucreArray_(allConditionNames()),
      selectArray_(dataSoucreArray_),
      tableView_(new QListWidget(this)),
      regionBox_(new QComboBox(this)) {
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

  // Regions by their names in the user's language, the locale's own first.
  regionBox_->setObjectName("regionBox");
  const std::string localeRegion = PhoneNumbers::localeRegion();
  const QString localeName =
      localeRegion.empty() ? tr("none: only numbers written with their country code are read")
                           : QLocale::territoryToString(QLocale::codeToTerritory(QString::fromStdString(localeRegion)));
  regionBox_->addItem(tr("As the system's locale (%1)").arg(localeName), QString());
  QList<QPair<QString, QString>> regions;
  for (const std::string& code : PhoneNumbers::knownRegions()) {
    const QString qcode = QString::fromStdString(code);
    const QLocale::Territory territory = QLocale::codeToTerritory(qcode);
    const QString name = territory == QLocale::AnyTerritory ? qcode : QLocale::territoryToString(territory);
    regions.append({name, qcode});
  }
  std::sort(regions.begin(), regions.end(),
            [](const auto& a, const auto& b) { return QString::localeAwareCompare(a.first, b.first) < 0; });
  for (const auto& [name, code] : regions) regionBox_->addItem(QString("%1 (%2)").arg(name, code), code);
  auto* regionForm = new QFormLayout();
  regionForm->addRow(tr("Phone numbers without a country code are numbers of:"), regionBox_);
  layout->addLayout(regionForm);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, &TableViewWindowController::okClicked);
  connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this,
          &TableViewWindowController::cancelClicked);
  layout->addWidget(buttons);
  resize(420, 500);
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

std::string TableViewWindowController::regionChoice() const {
  return regionBox_->currentData().toString().toStdString();
}

std::string TableViewWindowController::region() const {
  const std::string choice = regionChoice();
  return choice.empty() ? PhoneNumbers::localeRegion() : choice;
}

void TableViewWindowController::setRegionChoice(const std::string& region) {
  const int index = regionBox_->findData(QString::fromStdString(region));
  regionBox_->setCurrentIndex(index < 0 ? 0 : index);
}

void TableViewWindowController::okClicked() {
  close();
}

void TableViewWindowController::cancelClicked() {
  close();
}
