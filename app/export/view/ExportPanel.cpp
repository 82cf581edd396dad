#include "app/export/view/ExportPanel.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "app/export/ExportContact.h"

ExportPanel::ExportPanel(QWidget* parent)
    : QDialog(parent),
      folder_(new QLineEdit(this)),
      selectedButton_(new QComboBox(this)),
      matrix_(new QButtonGroup(this)),
      photos_(new QCheckBox(tr("Photos, in a folder beside the page"), this)) {
  setWindowTitle(tr("Export"));
  const ExportContact driver;
  for (const auto& format : driver.formats()) selectedButton_->addItem(QString::fromStdString(format.title));

  auto* browse = new QPushButton(tr("Choose…"), this);
  auto* folderRow = new QHBoxLayout;
  folderRow->addWidget(folder_, 1);
  folderRow->addWidget(browse);
  folder_->setText(QDir::homePath());

  auto* shown = new QRadioButton(tr("Shown columns"), this);
  auto* all = new QRadioButton(tr("All information"), this);
  matrix_->addButton(shown, 1);
  matrix_->addButton(all, 2);
  shown->setChecked(true);
  auto* choice = new QHBoxLayout;
  choice->addWidget(shown);
  choice->addWidget(all);
  choice->addStretch(1);

  auto* form = new QFormLayout;
  form->addRow(tr("Folder:"), folderRow);
  form->addRow(tr("Format:"), selectedButton_);
  form->addRow(tr("Contents:"), choice);
  photos_->setObjectName("photos");
  form->addRow(QString(), photos_);
  // Only a page shows photos.
  auto htmlOnly = [this] { photos_->setEnabled(selectedButton_->currentText() == "Save to HTML"); };
  connect(selectedButton_, &QComboBox::currentTextChanged, this, htmlOnly);
  htmlOnly();

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  save_ = buttons->addButton(tr("Save"), QDialogButtonBox::AcceptRole);
  save_->setDefault(true);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(buttons);

  connect(browse, &QPushButton::clicked, this, &ExportPanel::chooseFolder);
  connect(folder_, &QLineEdit::textChanged, this, &ExportPanel::updateSaveButton);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  updateSaveButton();
}

bool ExportPanel::photos() const {
  return photos_->isEnabled() && photos_->isChecked();
}

QString ExportPanel::folder() const {
  return folder_->text();
}
void ExportPanel::setFolder(const QString& folder) {
  folder_->setText(folder);
}
QString ExportPanel::formatTitle() const {
  return selectedButton_->currentText();
}

void ExportPanel::setFormatTitle(const QString& title) {
  int index = selectedButton_->findText(title);
  if (index >= 0) selectedButton_->setCurrentIndex(index);
}

int ExportPanel::selectedTag() const {
  return matrix_->checkedId();
}

void ExportPanel::setSelectedTag(int tag) {
  if (auto* button = matrix_->button(tag)) button->setChecked(true);
}

void ExportPanel::chooseFolder() {
  QString chosen = QFileDialog::getExistingDirectory(this, tr("Choose a folder"), folder_->text());
  if (!chosen.isEmpty()) folder_->setText(chosen);
}

void ExportPanel::updateSaveButton() {
  save_->setEnabled(QFileInfo(folder_->text()).isDir());
}
