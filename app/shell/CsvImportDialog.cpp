#include "app/shell/CsvImportDialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include "platform/addressbook/ShownName.h"
#include "core/record/ContactRecord.h"
#include "platform/addressbook/ABConstants.h"

namespace {

const CsvProfile kProfiles[] = {CsvProfile::Google, CsvProfile::Outlook, CsvProfile::Thunderbird, CsvProfile::Rolvane};

QString profileTitle(CsvProfile profile) {
  switch (profile) {
    case CsvProfile::Google:
      return QObject::tr("Google Contacts");
    case CsvProfile::Outlook:
      return QObject::tr("Outlook");
    case CsvProfile::Thunderbird:
      return QObject::tr("Thunderbird");
    case CsvProfile::Rolvane:
      break;
  }
  return QObject::tr("Rolvane");
}

QString keepTitle() {
  return QObject::tr("Keep as extra field");
}
QString leaveTitle() {
  return QObject::tr("Leave out");
}

// What the preview shows of a list: its values joined.
QString listText(const ABPersonData& person, const std::string& property) {
  QStringList values;
  if (const ABMultiValue* list = person.multiValue(property))
    for (const auto& entry : list->entries()) {
      if (const auto* text = std::get_if<std::string>(&entry.value)) {
        values << QString::fromStdString(*text);
      } else if (const auto* dictionary = std::get_if<ABDictionary>(&entry.value)) {
        QStringList parts;
        for (const auto& [key, value] : dictionary->entries()) parts << QString::fromStdString(value);
        values << parts.join(", ");
      }
    }
  return values.join("; ");
}

}  // namespace

CsvImportDialog::CsvImportDialog(CsvImport& import, QWidget* parent) : QDialog(parent), import_(import) {
  setWindowTitle(tr("Import CSV File"));
  resize(820, 640);
  auto* layout = new QVBoxLayout(this);
  auto* intro = new QLabel(
      tr("%1: %n contact(s), %2. Nothing is stored until you import.", nullptr, static_cast<int>(import_.rowCount()))
          .arg(QString::fromStdString(std::filesystem::path(import_.fileName()).filename().string()),
               QString::fromStdString(import_.table().charset())),
      this);
  intro->setWordWrap(true);
  layout->addWidget(intro);

  auto* profileRow = new QHBoxLayout;
  profileRow->addWidget(new QLabel(tr("Written by:"), this));
  profile_ = new QComboBox(this);
  for (CsvProfile profile : kProfiles) profile_->addItem(profileTitle(profile), static_cast<int>(profile));
  profile_->setCurrentIndex(profile_->findData(static_cast<int>(import_.profile())));
  profileRow->addWidget(profile_, 1);
  layout->addLayout(profileRow);

  auto* splitter = new QSplitter(Qt::Vertical, this);
  headings_ = new QTableWidget(0, 3, splitter);
  headings_->setHorizontalHeaderLabels({tr("Heading"), tr("Field"), tr("First value")});
  headings_->horizontalHeader()->setStretchLastSection(true);
  headings_->verticalHeader()->hide();
  preview_ = new QTableWidget(0, 7, splitter);
  preview_->setHorizontalHeaderLabels(
      {tr("Name"), tr("Company"), tr("E-mail"), tr("Phone"), tr("Address"), tr("Birthday"), tr("Extra fields")});
  preview_->horizontalHeader()->setStretchLastSection(true);
  preview_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  layout->addWidget(splitter, 1);

  problem_ = new QLabel(this);
  problem_->setWordWrap(true);
  problem_->setStyleSheet("color: #b00020");
  layout->addWidget(problem_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  importButton_ = buttons->addButton(tr("Import"), QDialogButtonBox::AcceptRole);
  importButton_->setDefault(true);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(profile_, &QComboBox::currentIndexChanged, this, [this] {
    import_.setProfile(static_cast<CsvProfile>(profile_->currentData().toInt()));
    fillHeadings();
    refreshPreview();
  });
  fillHeadings();
  refreshPreview();
}

QComboBox* CsvImportDialog::fieldChooser(int column) const {
  return qobject_cast<QComboBox*>(headings_->cellWidget(column, 1));
}

bool CsvImportDialog::chooseField(int column, const QString& name) {
  QComboBox* chooser = fieldChooser(column);
  if (!chooser) return false;
  int index = chooser->findData(name);
  if (index < 0) {
    if (!fieldNamed(name.toStdString())) return false;
    chooser->addItem(name, name);
    index = chooser->count() - 1;
  }
  chooser->setCurrentIndex(index);
  return true;
}

void CsvImportDialog::fillHeadings() {
  headings_->setRowCount(static_cast<int>(import_.headingCount()));
  for (size_t column = 0; column < import_.headingCount(); ++column) {
    const int row = static_cast<int>(column);
    auto* heading = new QTableWidgetItem(QString::fromStdString(std::string(import_.heading(column))));
    heading->setFlags(heading->flags() & ~Qt::ItemIsEditable);
    headings_->setItem(row, 0, heading);
    QString first;
    for (size_t r = 0; r < import_.rowCount() && first.isEmpty(); ++r)
      first = QString::fromStdString(std::string(import_.table().cell(r, column)));
    auto* value = new QTableWidgetItem(first);
    value->setFlags(value->flags() & ~Qt::ItemIsEditable);
    headings_->setItem(row, 2, value);

    auto* chooser = new QComboBox(headings_);
    const CsvField& field = import_.field(column);
    const QString current = QString::fromStdString(fieldName(field));
    if (field.kind != CsvField::Kind::Keep && field.kind != CsvField::Kind::Leave) chooser->addItem(current, current);
    chooser->addItem(keepTitle(), QString("keep"));
    chooser->addItem(leaveTitle(), QString("leave"));
    for (const std::string& name : chosenFieldNames()) {
      const QString text = QString::fromStdString(name);
      if (text != current) chooser->addItem(text, text);
    }
    chooser->setCurrentIndex(chooser->findData(current));
    connect(chooser, &QComboBox::currentIndexChanged, this, [this, column, chooser] {
      if (auto chosen = fieldNamed(chooser->currentData().toString().toStdString())) {
        import_.setField(column, *chosen);
        refreshPreview();
      }
    });
    headings_->setCellWidget(row, 1, chooser);
  }
  headings_->resizeColumnsToContents();
}

void CsvImportDialog::refreshPreview() {
  const int rows = static_cast<int>(std::min<size_t>(kPreviewRows, import_.rowCount()));
  preview_->setRowCount(rows);
  problem_->clear();
  bool ok = true;
  for (int row = 0; row < rows; ++row) {
    ABPersonData person;
    std::string error;
    if (!import_.personOfRow(static_cast<size_t>(row), person, &error)) {
      problem_->setText(QString::fromStdString(error));
      ok = false;
      continue;
    }
    auto text = [&](const std::string& property) {
      const std::string* value = person.string(property);
      return value ? QString::fromStdString(*value) : QString();
    };
    QStringList extra;
    for (const auto& [heading, value] : keptCsvFields(person))
      extra << QString::fromStdString(heading) + ": " + QString::fromStdString(value);
    for (const auto& category : keptCategories(person))
      extra << tr("Category: %1").arg(QString::fromStdString(category));
    const ABDate* birthday = person.date(kABBirthdayProperty);
    const QString cells[] = {QString::fromStdString(shownName(person)),
                             text(kABOrganizationProperty),
                             listText(person, kABEmailProperty),
                             listText(person, kABPhoneProperty),
                             listText(person, kABAddressProperty),
                             birthday ? QString::fromStdString(ContactRecord::dateText(*birthday)) : QString(),
                             extra.join("; ")};
    for (int column = 0; column < 7; ++column) preview_->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  importButton_->setEnabled(ok);
}
