#include "app/review/view/MergeDialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include "app/widgets/PhotoImage.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace {

constexpr int kPhotoSide = 64;

// A member's photo as the merge shows it; null for another value.
QPixmap pictureOf(const ABValue* value) {
  const auto* bytes = value ? std::get_if<ABBytes>(value) : nullptr;
  if (!bytes) return {};
  return QPixmap::fromImage(photoImage(bytesView(*bytes), kPhotoSide));
}

QString textOf(const ABValue* value) {
  if (!value) return {};
  if (const auto* text = std::get_if<std::string>(value)) return QString::fromStdString(*text);
  if (const auto* date = std::get_if<ABDate>(value)) return QString::fromStdString(date->toIsoString());
  if (const auto* bytes = std::get_if<ABBytes>(value)) return photoDescription(bytesView(*bytes));
  if (const auto* number = std::get_if<std::int64_t>(value)) return QString::number(*number);
  return {};
}

}  // namespace

MergeDialog::MergeDialog(ABAddressBook& book, const std::vector<ABPersonRef>& members, QWidget* parent)
    : QDialog(parent), book_(book), plan_(planMerge(members)) {
  setWindowTitle(tr("Merge Contacts"));
  resize(860, 520);
  auto* layout = new QVBoxLayout(this);
  summary_ = new QLabel(this);
  summary_->setWordWrap(true);
  layout->addWidget(summary_);
  table_ = new QTableWidget(this);
  table_->setSelectionMode(QAbstractItemView::NoSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  layout->addWidget(table_, 1);
  othersInNote_ = new QCheckBox(tr("Keep the others in the note"), this);
  othersInNote_->setChecked(plan_.othersInNote);
  othersInNote_->setToolTip(tr("The values not taken are written into the merged contact's note as \"Label: value\""));
  connect(othersInNote_, &QCheckBox::toggled, this, [this](bool on) {
    plan_.othersInNote = on;
    rebuild();  // the box itself is not in the table
  });
  layout->addWidget(othersInNote_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  auto* mergeButton = buttons->addButton(tr("Merge"), QDialogButtonBox::AcceptRole);
  mergeButton->setDefault(true);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(mergeButton, &QPushButton::clicked, this, [this] {
    if (merge()) accept();
  });
  rebuild();
}

int MergeDialog::singleRow(const std::string& label) const {
  for (size_t i = 0; i < plan_.singles.size(); ++i)
    if (plan_.singles[i].label == label || plan_.singles[i].property == label) return static_cast<int>(i) + 1;
  return -1;
}

int MergeDialog::listRow(const std::string& text) const {
  for (size_t i = 0; i < plan_.lists.size(); ++i)
    if (plan_.lists[i].text == text) return static_cast<int>(plan_.singles.size() + i) + 1;
  return -1;
}

void MergeDialog::choose(const std::string& property, size_t member) {
  if (takeMergeValue(plan_, property, member)) rebuild();
}

void MergeDialog::setListValueKept(size_t value, bool kept) {
  if (value >= plan_.lists.size()) return;
  plan_.lists[value].kept = kept;
  rebuild();
}

void MergeDialog::setMemberLeftOut(size_t member, bool out) {
  excludeMergeMember(plan_, member, out);
  rebuild();
}

void MergeDialog::rebuild() {
  if (rebuilding_) return;
  rebuilding_ = true;
  const int members = static_cast<int>(plan_.members.size());
  table_->clear();
  table_->setColumnCount(members + 1);
  // Row 0: "Not this one" per member; then the single values, then the list values.
  table_->setRowCount(1 + static_cast<int>(plan_.singles.size() + plan_.lists.size()));
  QStringList headers;
  for (const auto& member : plan_.members) headers << QString::fromStdString(ABAddressBook::nameForHistory(*member));
  headers << tr("Result");
  table_->setHorizontalHeaderLabels(headers);
  QStringList rows{tr("Member")};
  for (const auto& row : plan_.singles) rows << QString::fromStdString(row.label);
  for (const auto& value : plan_.lists) rows << QString::fromStdString(value.label);
  table_->setVerticalHeaderLabels(rows);

  for (int m = 0; m < members; ++m) {
    auto* out = new QCheckBox(tr("Not this one"), table_);
    out->setChecked(!plan_.included[m]);
    // The table is built again after the click, never inside it (the widget clicked goes).
    connect(out, &QCheckBox::toggled, this, [this, m](bool on) {
      QTimer::singleShot(0, this, [this, m, on] {
        // A merge keeps two members at least.
        if (on && plan_.includedMembers().size() <= 2) {
          QMessageBox::information(this, tr("Merge Contacts"), tr("A merge needs two contacts or more."));
          rebuild();
          return;
        }
        setMemberLeftOut(static_cast<size_t>(m), on);
      });
    });
    table_->setCellWidget(0, m, out);
  }
  const ABPersonData merged = mergedValues(plan_);
  auto* kept = new QTableWidgetItem(
      tr("keeps the id of %1").arg(QString::fromStdString(ABAddressBook::nameForHistory(*plan_.members[plan_.keeps]))));
  table_->setItem(0, members, kept);

  for (size_t r = 0; r < plan_.singles.size(); ++r) {
    const auto& row = plan_.singles[r];
    const int at = static_cast<int>(r) + 1;
    auto* group = new QButtonGroup(table_);
    for (int m = 0; m < members; ++m) {
      const ABValue* value = plan_.members[m]->snapshot()->find(row.property);
      if (!plan_.included[m] || !value) continue;
      auto* choice = new QRadioButton(textOf(value), table_);
      if (const QPixmap picture = pictureOf(value); !picture.isNull()) {
        choice->setIcon(picture);
        choice->setIconSize(QSize(kPhotoSide, kPhotoSide));
        table_->setRowHeight(at, kPhotoSide + 8);
      }
      choice->setChecked(row.from && *row.from == static_cast<size_t>(m));
      group->addButton(choice, m);
      table_->setCellWidget(at, m, choice);
    }
    const std::string property = row.property;
    connect(group, &QButtonGroup::idClicked, this, [this, property](int m) {
      QTimer::singleShot(0, this, [this, property, m] { choose(property, static_cast<size_t>(m)); });
    });
    auto* result = new QTableWidgetItem(textOf(merged.find(row.property)));
    if (const QPixmap picture = pictureOf(merged.find(row.property)); !picture.isNull()) result->setIcon(picture);
    table_->setItem(at, members, result);
  }
  for (size_t v = 0; v < plan_.lists.size(); ++v) {
    const auto& value = plan_.lists[v];
    const int at = static_cast<int>(plan_.singles.size() + v) + 1;
    for (size_t m : value.holders)
      table_->setItem(at, static_cast<int>(m), new QTableWidgetItem(QString::fromStdString(value.text)));
    auto* keep = new QCheckBox(QString::fromStdString(value.text), table_);
    keep->setChecked(value.kept);
    connect(keep, &QCheckBox::toggled, this,
            [this, v](bool on) { QTimer::singleShot(0, this, [this, v, on] { setListValueKept(v, on); }); });
    table_->setCellWidget(at, members, keep);
  }
  const std::string* note = merged.string(kABNoteProperty);
  summary_->setText(tr("%n contact(s) become one, under the unique id of %1.%2", nullptr,
                       static_cast<int>(plan_.includedMembers().size()))
                        .arg(QString::fromStdString(ABAddressBook::nameForHistory(*plan_.members[plan_.keeps])),
                             note ? "\n" + tr("Note: %1").arg(QString::fromStdString(*note)) : QString()));
  rebuilding_ = false;
}

bool MergeDialog::merge() {
  changes_.clear();
  std::string error;
  if (!saveMergePlan(book_, plan_, &changes_, &error)) {
    QMessageBox::warning(this, tr("The contacts were not merged"), QString::fromStdString(error));
    return false;
  }
  return true;
}
