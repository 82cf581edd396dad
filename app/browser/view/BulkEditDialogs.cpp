#include "app/browser/view/BulkEditDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/browser/ContactCommit.h"
#include "platform/addressbook/ABAddressBook.h"

namespace {

const char* kSeveralValues = "(several values)";

std::string lineOf(const BulkEdit::Change& change, const std::string& key) {
  return ABAddressBook::nameForHistory(*change.person) + ": " + key + " \u201C" + change.before.value_or("") +
         "\u201D \u2192 \u201C" + change.after + "\u201D";
}

}  // namespace

EditContactsDialog::EditContactsDialog(ABAddressBook& book, std::vector<ABPersonRef> persons,
                                       const std::vector<std::string>& keys, QWidget* parent)
    : QDialog(parent), book_(book), persons_(std::move(persons)) {
  setWindowTitle(tr("Edit %1 Contacts").arg(persons_.size()));
  auto* layout = new QVBoxLayout(this);
  auto* help =
      new QLabel(tr("A field you change is written to every selected contact; the others stay as they are."), this);
  help->setWordWrap(true);
  layout->addWidget(help);
  auto* area = new QScrollArea(this);
  auto* inner = new QWidget(area);
  auto* form = new QFormLayout(inner);
  for (const auto& key : keys) {
    if (!ContactCommit::isCommittableKey(key) || fields_.count(key)) continue;
    auto* edit = new QLineEdit(inner);
    edit->setObjectName(QString::fromStdString(key));
    auto common = BulkEdit::commonValue(persons_, key);
    if (common)
      edit->setText(QString::fromStdString(common->value_or("")));
    else
      edit->setPlaceholderText(tr(kSeveralValues));
    // Only what the user typed in is written.
    edit->setModified(false);
    fields_[key] = edit;
    form->addRow(QString::fromStdString(key), edit);
  }
  area->setWidget(inner);
  area->setWidgetResizable(true);
  layout->addWidget(area, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (applyChanges()) accept();
  });
}

QLineEdit* EditContactsDialog::field(const std::string& key) const {
  auto found = fields_.find(key);
  return found == fields_.end() ? nullptr : found->second;
}

bool EditContactsDialog::applyChanges() {
  report_.clear();
  std::vector<std::pair<std::string, std::vector<BulkEdit::Change>>> edits;
  for (const auto& [key, edit] : fields_) {
    if (!edit->isModified()) continue;
    auto changes = BulkEdit::planValue(persons_, key, edit->text().toStdString());
    if (!changes.empty()) edits.emplace_back(key, std::move(changes));
  }
  if (edits.empty()) return true;
  // Every field is one save of its own; together they are one change set, all or nothing (a
  // failure abandons the change set: nothing of it is written).
  ABChangeSetScope changeSet(book_);
  std::string failure;
  std::vector<std::string> lines;
  for (const auto& [key, changes] : edits) {
    BulkEdit::Outcome outcome = BulkEdit::apply(book_, key, changes, BulkEdit::valueDescription(key, changes.size()));
    if (!outcome.ok()) {
      failure = outcome.error;
      break;
    }
    for (const auto& change : outcome.applied) lines.push_back(lineOf(change, key));
    lines.insert(lines.end(), outcome.stale.begin(), outcome.stale.end());
  }
  const std::string description =
      edits.size() == 1 ? std::string() : "Edited " + std::to_string(persons_.size()) + " contacts";
  if (failure.empty() && !changeSet.end(description, &failure) && failure.empty())
    failure = "the address book could not be saved";
  if (!failure.empty()) {
    QMessageBox::warning(this, tr("The contacts were not changed"), QString::fromStdString(failure));
    return false;
  }
  report_ = std::move(lines);
  return true;
}

FindReplaceDialog::FindReplaceDialog(ABAddressBook& book, std::vector<ABPersonRef> persons,
                                     const std::vector<std::string>& keys, QWidget* parent)
    : QDialog(parent), book_(book), persons_(std::move(persons)) {
  setWindowTitle(tr("Find and Replace in %n Contact(s)", nullptr, static_cast<int>(persons_.size())));
  resize(620, 420);
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout();
  column_ = new QComboBox(this);
  for (const auto& key : keys)
    if (ContactCommit::isCommittableKey(key)) column_->addItem(QString::fromStdString(key));
  find_ = new QLineEdit(this);
  with_ = new QLineEdit(this);
  regex_ = new QCheckBox(tr("Regular expression ($1, $2… in the replacement name its groups)"), this);
  form->addRow(tr("Column:"), column_);
  form->addRow(tr("Find:"), find_);
  form->addRow(tr("Replace with:"), with_);
  form->addRow(QString(), regex_);
  layout->addLayout(form);
  status_ = new QLabel(this);
  layout->addWidget(status_);
  preview_ = new QTreeWidget(this);
  preview_->setHeaderLabels({tr("Contact"), tr("Now"), tr("After")});
  preview_->setRootIsDecorated(false);
  preview_->header()->setStretchLastSection(true);
  layout->addWidget(preview_, 1);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  replace_ = buttons->addButton(tr("Replace All"), QDialogButtonBox::AcceptRole);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(replace_, &QPushButton::clicked, this, [this] {
    if (applyChanges()) accept();
  });
  connect(column_, &QComboBox::currentTextChanged, this, &FindReplaceDialog::updatePreview);
  connect(find_, &QLineEdit::textChanged, this, &FindReplaceDialog::updatePreview);
  connect(with_, &QLineEdit::textChanged, this, &FindReplaceDialog::updatePreview);
  connect(regex_, &QCheckBox::toggled, this, &FindReplaceDialog::updatePreview);
  updatePreview();
}

void FindReplaceDialog::updatePreview() {
  preview_->clear();
  std::string error;
  planned_ = BulkEdit::planReplace(persons_, column_->currentText().toStdString(), find_->text().toStdString(),
                                   with_->text().toStdString(), regex_->isChecked(), &error);
  for (const auto& change : planned_)
    new QTreeWidgetItem(preview_,
                        {QString::fromStdString(ABAddressBook::nameForHistory(*change.person)),
                         QString::fromStdString(change.before.value_or("")), QString::fromStdString(change.after)});
  if (find_->text().isEmpty())
    status_->setText(tr("Type what to find."));
  else if (!error.empty())
    status_->setText(QString::fromStdString(error));
  else
    status_->setText(tr("%n contact(s) will change.", nullptr, static_cast<int>(planned_.size())));
  replace_->setEnabled(!planned_.empty());
}

bool FindReplaceDialog::applyChanges() {
  report_.clear();
  if (planned_.empty()) return true;
  const std::string key = column_->currentText().toStdString();
  BulkEdit::Outcome outcome = BulkEdit::apply(
      book_, key, planned_, BulkEdit::replaceDescription(key, find_->text().toStdString(), planned_.size()));
  if (!outcome.ok()) {
    QMessageBox::warning(this, tr("The contacts were not changed"), QString::fromStdString(outcome.error));
    return false;
  }
  for (const auto& change : outcome.applied) report_.push_back(lineOf(change, key));
  report_.insert(report_.end(), outcome.stale.begin(), outcome.stale.end());
  if (!outcome.stale.empty()) {
    QStringList lines;
    for (const auto& line : outcome.stale) lines << QString::fromStdString(line);
    QMessageBox::information(this, tr("Some contacts were left alone"), lines.join('\n'));
  }
  return true;
}
