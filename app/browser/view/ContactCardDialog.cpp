#include "app/browser/view/ContactCardDialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include "app/browser/ContactCommit.h"
#include "app/browser/view/ColumnMenuGroups.h"
#include "app/browser/view/ValueEditors.h"
#include "app/csv/CsvImport.h"
#include "app/model/EveryValue.h"
#include "app/model/PersonRecord.h"
#include "app/widgets/PhotoImage.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ShownName.h"
#include "platform/image/Photo.h"

ContactCardDialog::ContactCardDialog(ABPersonRef person, ABAddressBook& book, Mode mode, QWidget* parent)
    : QDialog(parent), person_(std::move(person)), book_(book), mode_(mode) {
  ContactRecord record = prasePerson(person_);
  for (const auto& [key, value] : record.entries())
    if (auto text = record.text(key)) original_[key] = *text;
  setWindowTitle(QString::fromStdString(shownName(*person_->snapshot())));
  resize(460, 560);
  if (mode_ == Mode::Show)
    buildShown();
  else
    buildEditable();
}

namespace {

QScrollArea* scrolled(QWidget* parent, QFormLayout*& form) {
  auto* area = new QScrollArea(parent);
  auto* inner = new QWidget(area);
  form = new QFormLayout(inner);
  form->setFieldGrowthPolicy(QFormLayout::AllNonFixedFieldsGrow);
  area->setWidget(inner);
  area->setWidgetResizable(true);
  return area;
}

}  // namespace

void ContactCardDialog::buildShown() {
  QFormLayout* form = nullptr;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(buildPhoto());
  layout->addWidget(scrolled(this, form));
  auto show = [&](const std::string& label, const std::string& text) {
    auto* value = new QLabel(QString::fromStdString(text));
    value->setTextInteractionFlags(Qt::TextSelectableByMouse);
    value->setWordWrap(true);
    value->setTextFormat(Qt::PlainText);
    form->addRow(QString::fromStdString(label) + ":", value);
    // A label met again (a second home e-mail address) is found as "Home Email (2)".
    std::string key = label;
    for (int n = 2; shown_.count(key); ++n) key = label + " (" + std::to_string(n) + ")";
    shown_[key] = value;
  };
  // Every value, also those the table has no column for (a second home e-mail address).
  const ABPersonSnapshot data = person_->snapshot();
  for (const auto& value : everyValueOf(*data)) show(value.label, value.text);
  // The extra fields a CSV file gave under headings of its own, by those headings.
  for (const auto& [heading, value] : keptCsvFields(*data)) show(heading, value);
  if (shown_.empty()) form->addRow(new QLabel(tr("This contact has no fields.")));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void ContactCardDialog::buildEditable() {
  QFormLayout* form = nullptr;
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(buildPhoto());
  layout->addWidget(scrolled(this, form));
  for (const ColumnMenuGroup& group : columnMenuGroups()) {
    auto* heading = new QLabel("<b>" + QString::fromStdString(group.title).toHtmlEscaped() + "</b>");
    form->addRow(heading);
    for (const std::string& key : group.keys) {
      if (!ContactCommit::isCommittableKey(key) || editors_.count(key)) continue;
      auto found = original_.find(key);
      QString value = found == original_.end() ? QString() : QString::fromStdString(found->second);
      QWidget* edit = ValueEditors::newEditor(key, value, nullptr);
      if (auto* lines = qobject_cast<MultiLineValueEdit*>(edit))
        lines->setFixedHeight(lines->fontMetrics().lineSpacing() * 4 + 12);
      if (key == "Birthday") static_cast<QLineEdit*>(edit)->setPlaceholderText("YYYY-MM-DD");
      form->addRow(QString::fromStdString(key) + ":", edit);
      editors_[key] = edit;
      given_[key] = ValueEditors::textOf(edit);
    }
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (saveChanges()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

QWidget* ContactCardDialog::editor(const std::string& key) const {
  auto found = editors_.find(key);
  return found == editors_.end() ? nullptr : found->second;
}

QString ContactCardDialog::editorText(const std::string& key) const {
  QWidget* edit = editor(key);
  return edit ? ValueEditors::textOf(edit) : QString();
}

void ContactCardDialog::setEditorText(const std::string& key, const QString& text) {
  QWidget* edit = editor(key);
  if (!edit) return;
  // As typed by the user: the value the editor was filled with stays the one to compare with.
  if (auto* lines = qobject_cast<MultiLineValueEdit*>(edit))
    lines->setPlainText(text);
  else
    static_cast<QLineEdit*>(edit)->setText(text);
}

QLabel* ContactCardDialog::shownValue(const std::string& key) const {
  auto found = shown_.find(key);
  return found == shown_.end() ? nullptr : found->second;
}

bool ContactCardDialog::saveChanges() {
  std::map<std::string, std::string> changed;
  for (const auto& [key, edit] : editors_) {
    // Only what the user changed: a field left alone is not written, even where its editor
    // would not give its value back exactly.
    const QString text = ValueEditors::textOf(edit);
    if (text != given_[key]) changed[key] = text.toStdString();
  }
  if (changed.empty()) return true;
  // Checked before anything is written, so a refused field leaves the person as it was.
  auto birthday = changed.find("Birthday");
  if (birthday != changed.end() && !birthday->second.empty() && !ContactRecord::dateFromText(birthday->second)) {
    lastError_ = tr("The birthday \"%1\" is not a date. Write it as YYYY-MM-DD, or --MM-DD without a year.")
                     .arg(QString::fromStdString(birthday->second));
    if (!quiet_) QMessageBox::warning(this, tr("Contact"), lastError_);
    return false;
  }
  // The person may have been changed since the card was filled (a fix, the table): then the card
  // no longer shows what it would overwrite.
  bool stale = !book_.contains(person_);
  for (const auto& [key, text] : changed) {
    auto found = original_.find(key);
    std::optional<std::string> shown;
    if (found != original_.end()) shown = found->second;
    if (ContactCommit::shownText(*person_, key) != shown) stale = true;
  }
  if (stale) {
    lastError_ =
        tr("The contact was changed elsewhere since this card was opened; nothing was saved. Open the card "
           "again to edit it as it is now.");
    if (!quiet_) QMessageBox::warning(this, tr("Contact"), lastError_);
    return false;
  }
  bool any = false;
  for (const auto& [key, text] : changed) {
    CommitResult result = ContactCommit::applyRecordValue(*person_, key, text);
    if (!result.ok()) {
      book_.revert();
      lastError_ = QString::fromStdString(result.error);
      if (!quiet_) QMessageBox::warning(this, tr("Contact"), lastError_);
      return false;
    }
    any = any || result.changed;
  }
  if (any) {
    CommitResult saved = ContactCommit::savePerson(person_, book_, "Edited " + ABAddressBook::nameForHistory(*person_));
    if (!saved.ok()) {
      if (saved.conflict) {
        // Another program changed the contact: say so, and show the values it holds now.
        lastError_ = QString::fromStdString(saved.error);
        ContactRecord record = prasePerson(person_);
        original_.clear();
        for (const auto& [key, value] : record.entries())
          if (auto text = record.text(key)) original_[key] = *text;
        for (const auto& [key, edit] : editors_) {
          auto found = original_.find(key);
          ValueEditors::setTextOf(edit, found == original_.end() ? QString() : QString::fromStdString(found->second));
          given_[key] = ValueEditors::textOf(edit);
        }
      } else {
        lastError_ = tr("The contact could not be saved: %1").arg(QString::fromStdString(saved.error));
      }
      if (!quiet_) QMessageBox::warning(this, tr("Contact"), lastError_);
      return false;
    }
  }
  for (const auto& [key, text] : changed) {
    original_[key] = text;
    given_[key] = ValueEditors::textOf(editors_[key]);
  }
  return true;
}

namespace {

constexpr int kPhotoSide = 200;

}  // namespace

QWidget* ContactCardDialog::buildPhoto() {
  auto* panel = new QWidget(this);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(0, 0, 0, 0);
  photoView_ = new QLabel(panel);
  photoView_->setObjectName("photoView");
  photoView_->setFixedSize(kPhotoSide, kPhotoSide);
  photoView_->setAlignment(Qt::AlignCenter);
  photoView_->setFrameShape(QFrame::StyledPanel);
  row->addWidget(photoView_);
  auto* side = new QVBoxLayout();
  photoInfo_ = new QLabel(panel);
  photoInfo_->setObjectName("photoInfo");
  photoInfo_->setWordWrap(true);
  side->addWidget(photoInfo_);
  auto* replace = new QPushButton(tr("Replace Photo\u2026"), panel);
  replace->setObjectName("replacePhoto");
  replace->setAutoDefault(false);
  removePhoto_ = new QPushButton(tr("Remove Photo"), panel);
  removePhoto_->setObjectName("removePhoto");
  removePhoto_->setAutoDefault(false);
  rotatePhoto_ = new QPushButton(tr("Rotate Photo"), panel);
  rotatePhoto_->setObjectName("rotatePhoto");
  rotatePhoto_->setToolTip(tr("A quarter turn clockwise"));
  rotatePhoto_->setAutoDefault(false);
  side->addWidget(replace);
  side->addWidget(rotatePhoto_);
  side->addWidget(removePhoto_);
  side->addStretch(1);
  row->addLayout(side, 1);
  connect(replace, &QPushButton::clicked, this, [this] {
    const QString path = QFileDialog::getOpenFileName(this, tr("Replace Photo"), QString(),
                                                      tr("Pictures (*.jpg *.jpeg *.png *.gif *.webp)"));
    if (!path.isEmpty()) replacePhoto(path);
  });
  connect(removePhoto_, &QPushButton::clicked, this, [this] { removePhoto(); });
  connect(rotatePhoto_, &QPushButton::clicked, this, [this] { rotatePhoto(); });
  if (auto photo = person_->imageData()) photo_ = *photo;
  showPhoto();
  return panel;
}

void ContactCardDialog::showPhoto() {
  const bool has = !photo_.empty();
  removePhoto_->setEnabled(has);
  rotatePhoto_->setEnabled(has);
  if (!has) {
    photoView_->setPixmap(QPixmap());
    photoView_->setText(tr("No photo"));
    photoInfo_->setText(tr("No photo"));
    return;
  }
  const QImage image = photoImage(bytesView(photo_), static_cast<int>(kPhotoSide * devicePixelRatioF()));
  if (image.isNull()) {
    photoView_->setPixmap(QPixmap());
    photoView_->setText(tr("Cannot be shown"));
    rotatePhoto_->setEnabled(false);
  } else {
    QPixmap pixmap = QPixmap::fromImage(image);
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    photoView_->setPixmap(pixmap);
  }
  photoInfo_->setText(photoDescription(bytesView(photo_)));
}

bool ContactCardDialog::changePhoto(const ABBytes& photo, const std::string& description) {
  auto refuse = [&](const QString& why) {
    lastError_ = why;
    if (!quiet_) QMessageBox::warning(this, tr("Contact"), lastError_);
    return false;
  };
  // Not over a photo the card does not show (a fix or another program changed it meanwhile).
  if (!book_.contains(person_) || person_->imageData().value_or(ABBytes()) != photo_)
    return refuse(tr("The photo was changed elsewhere since this card was opened; nothing was changed."));
  person_->setImageData(photo);
  CommitResult saved =
      ContactCommit::savePerson(person_, book_, description + " " + ABAddressBook::nameForHistory(*person_));
  if (!saved.ok()) {
    if (auto now = person_->imageData())
      photo_ = *now;
    else
      photo_.clear();
    showPhoto();
    return refuse(tr("The photo could not be saved: %1").arg(QString::fromStdString(saved.error)));
  }
  photo_ = photo;
  showPhoto();
  return true;
}

bool ContactCardDialog::replacePhoto(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    lastError_ = tr("%1 cannot be read: %2").arg(path, file.errorString());
    if (!quiet_) QMessageBox::warning(this, tr("Contact"), lastError_);
    return false;
  }
  const QByteArray bytes = file.readAll();
  std::string error;
  if (!Photo::readHeader(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), false, &error)) {
    lastError_ = tr("%1 is not a picture the card can hold (%2).").arg(path, QString::fromStdString(error));
    if (!quiet_) QMessageBox::warning(this, tr("Contact"), lastError_);
    return false;
  }
  // As the file holds it, byte for byte.
  return changePhoto(ABBytes(bytes.begin(), bytes.end()), "Replaced the photo of");
}

bool ContactCardDialog::removePhoto() {
  if (photo_.empty()) return false;
  if (!quiet_ && QMessageBox::question(this, tr("Remove Photo"),
                                       tr("Remove the photo of this contact? Edit > Undo brings it back."),
                                       QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::Cancel) != QMessageBox::Yes)
    return false;
  return changePhoto({}, "Removed the photo of");
}

bool ContactCardDialog::rotatePhoto() {
  if (photo_.empty()) return false;
  std::string error;
  const auto turned = Photo::turnedPhoto(bytesView(photo_), 1, &error);
  if (!turned) {
    lastError_ = tr("The photo cannot be turned: %1").arg(QString::fromStdString(error));
    if (!quiet_) QMessageBox::warning(this, tr("Contact"), lastError_);
    return false;
  }
  return changePhoto(ABBytes(turned->begin(), turned->end()), "Rotated the photo of");
}
