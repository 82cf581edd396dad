#include "app/shell/TableViewWindowController.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanConditions.h"

TableViewWindowController::TableViewWindowController(QWidget* parent)
    : QDialog(parent),
      dataSoucreArray_(allConditionNames()),
      selectArray_(dataSoucreArray_),
      tableView_(new QListWidget(this)),
      regionBox_(new QComboBox(this)),
      photoKilobytesBox_(new QSpinBox(this)),
      photoPixelsBox_(new QSpinBox(this)),
      tabs_(new QTabWidget(this)),
      titlesList_(new QListWidget(this)),
      suffixesList_(new QListWidget(this)) {
  setWindowTitle(tr("Preferences"));
  auto* outer = new QVBoxLayout(this);
  outer->addWidget(tabs_, 1);
  auto* conditionsPage = new QWidget(tabs_);
  auto* layout = new QVBoxLayout(conditionsPage);
  layout->addWidget(new QLabel(tr("Look for these problems when scanning:"), conditionsPage));
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
  connect(regionBox_, &QComboBox::currentIndexChanged, this, &TableViewWindowController::preferencesChanged);
  // "Photo too large": over either limit.
  photoKilobytesBox_->setObjectName("photoKilobytes");
  photoKilobytesBox_->setRange(1, 100 * 1024);
  photoKilobytesBox_->setSuffix(tr(" KB"));
  photoPixelsBox_->setObjectName("photoPixels");
  photoPixelsBox_->setRange(16, 100000);
  photoPixelsBox_->setSuffix(tr(" pixels"));
  auto* photoRow = new QHBoxLayout();
  photoRow->addWidget(photoKilobytesBox_);
  photoRow->addWidget(new QLabel(tr("or on the longer side"), conditionsPage));
  photoRow->addWidget(photoPixelsBox_);
  photoRow->addStretch(1);
  regionForm->addRow(tr("A photo is too large over:"), photoRow);
  setPhotoLimits(PhotoLimits::current());
  auto photoChanged = [this] {
    PhotoLimits::use(photoLimits());
    emit preferencesChanged();
  };
  connect(photoKilobytesBox_, &QSpinBox::valueChanged, this, photoChanged);
  connect(photoPixelsBox_, &QSpinBox::valueChanged, this, photoChanged);
  tabs_->addTab(conditionsPage, tr("Conditions"));
  tabs_->addTab(buildNamesPage(), tr("Titles and Suffixes"));

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons->button(QDialogButtonBox::Ok), &QPushButton::clicked, this, &TableViewWindowController::okClicked);
  connect(buttons->button(QDialogButtonBox::Cancel), &QPushButton::clicked, this,
          &TableViewWindowController::cancelClicked);
  outer->addWidget(buttons);
  resize(460, 540);
}

QWidget* TableViewWindowController::buildNamesPage() {
  auto* page = new QWidget(tabs_);
  auto* layout = new QVBoxLayout(page);
  auto* intro = new QLabel(tr("A title or suffix that is none of these, written exactly so, is listed as unusual "
                              "by a scan."),
                           page);
  intro->setWordWrap(true);
  layout->addWidget(intro);
  auto* columns = new QHBoxLayout();
  auto column = [&](const QString& heading, QListWidget* list, const QString& name,
                    void (TableViewWindowController::*add)(const QString&),
                    void (TableViewWindowController::*remove)()) {
    auto* box = new QVBoxLayout();
    auto* label = new QLabel(heading, page);
    box->addWidget(label);
    list->setObjectName(name);
    list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    label->setBuddy(list);
    box->addWidget(list, 1);
    auto* entry = new QLineEdit(page);
    entry->setObjectName(name + "Entry");
    entry->setPlaceholderText(tr("New entry"));
    entry->setClearButtonEnabled(true);
    auto* addButton = new QPushButton(tr("Add"), page);
    addButton->setObjectName(name + "Add");
    addButton->setAutoDefault(false);
    auto* removeButton = new QPushButton(tr("Remove"), page);
    removeButton->setObjectName(name + "Remove");
    removeButton->setAutoDefault(false);
    removeButton->setEnabled(false);
    auto* row = new QHBoxLayout();
    row->addWidget(entry, 1);
    row->addWidget(addButton);
    box->addLayout(row);
    box->addWidget(removeButton);
    auto addEntry = [this, entry, add] {
      (this->*add)(entry->text());
      entry->clear();
    };
    connect(addButton, &QPushButton::clicked, this, addEntry);
    connect(entry, &QLineEdit::returnPressed, this, addEntry);
    connect(removeButton, &QPushButton::clicked, this, remove);
    connect(list, &QListWidget::itemSelectionChanged, removeButton,
            [list, removeButton] { removeButton->setEnabled(!list->selectedItems().isEmpty()); });
    columns->addLayout(box);
  };
  column(tr("Allowed &titles:"), titlesList_, "allowedTitles", &TableViewWindowController::addAllowedTitle,
         &TableViewWindowController::removeSelectedTitles);
  column(tr("Allowed &suffixes:"), suffixesList_, "allowedSuffixes", &TableViewWindowController::addAllowedSuffix,
         &TableViewWindowController::removeSelectedSuffixes);
  layout->addLayout(columns, 1);
  auto* restore = new QPushButton(tr("Restore Defaults"), page);
  restore->setObjectName("restoreDefaultNames");
  restore->setAutoDefault(false);
  connect(restore, &QPushButton::clicked, this, &TableViewWindowController::restoreDefaultNames);
  auto* restoreRow = new QHBoxLayout();
  restoreRow->addStretch(1);
  restoreRow->addWidget(restore);
  layout->addLayout(restoreRow);
  setAllowedNames(AllowedNames::current());
  return page;
}

namespace {

std::vector<std::string> entriesOf(const QListWidget* list) {
  std::vector<std::string> entries;
  for (int row = 0; row < list->count(); ++row) entries.push_back(list->item(row)->text().toStdString());
  return entries;
}

void fill(QListWidget* list, const std::vector<std::string>& entries) {
  list->clear();
  for (const auto& entry : entries) list->addItem(QString::fromStdString(entry));
}

// Adds the entry at the end; false when it is empty or listed already (exactly so).
bool addEntry(QListWidget* list, const QString& text) {
  const QString entry = text.trimmed();
  if (entry.isEmpty() || !list->findItems(entry, Qt::MatchExactly | Qt::MatchCaseSensitive).isEmpty()) return false;
  list->addItem(entry);
  list->scrollToBottom();
  return true;
}

bool removeSelected(QListWidget* list) {
  const auto selected = list->selectedItems();
  for (QListWidgetItem* item : selected) delete item;
  return !selected.isEmpty();
}

}  // namespace

PhotoLimits TableViewWindowController::photoLimits() const {
  return {static_cast<std::size_t>(photoKilobytesBox_->value()), photoPixelsBox_->value()};
}

void TableViewWindowController::setPhotoLimits(const PhotoLimits& limits) {
  {
    const QSignalBlocker quietBytes(photoKilobytesBox_), quietPixels(photoPixelsBox_);
    photoKilobytesBox_->setValue(static_cast<int>(limits.kilobytes));
    photoPixelsBox_->setValue(limits.pixels);
  }
  PhotoLimits::use(photoLimits());
}

AllowedNames TableViewWindowController::allowedNames() const {
  return AllowedNames(entriesOf(titlesList_), entriesOf(suffixesList_));
}

void TableViewWindowController::setAllowedNames(const AllowedNames& names) {
  fill(titlesList_, names.titles());
  fill(suffixesList_, names.suffixes());
  AllowedNames::use(names);
}

void TableViewWindowController::namesChanged() {
  AllowedNames::use(allowedNames());
  emit preferencesChanged();
}

void TableViewWindowController::addAllowedTitle(const QString& title) {
  if (addEntry(titlesList_, title)) namesChanged();
}

void TableViewWindowController::addAllowedSuffix(const QString& suffix) {
  if (addEntry(suffixesList_, suffix)) namesChanged();
}

void TableViewWindowController::removeSelectedTitles() {
  if (removeSelected(titlesList_)) namesChanged();
}

void TableViewWindowController::removeSelectedSuffixes() {
  if (removeSelected(suffixesList_)) namesChanged();
}

void TableViewWindowController::restoreDefaultNames() {
  setAllowedNames(AllowedNames::defaults());
  emit preferencesChanged();
}

void TableViewWindowController::setSelectArray(const std::vector<std::string>& names) {
  selectArray_.clear();
  for (const auto& name : names)
    if (std::find(dataSoucreArray_.begin(), dataSoucreArray_.end(), name) != dataSoucreArray_.end() &&
        std::find(selectArray_.begin(), selectArray_.end(), name) == selectArray_.end())
      selectArray_.push_back(name);
  reloadCheckBoxes();
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
  emit preferencesChanged();
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
