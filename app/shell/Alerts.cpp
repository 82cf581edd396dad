#include "app/shell/Alerts.h"

#include <QMessageBox>
#include <QObject>
#include <QPushButton>
#include <QStringList>

QMessageBox::Icon MessageBoxAlerts::iconForTitle(const std::string& title) {
  return title == "Warning" ? QMessageBox::Warning : QMessageBox::Information;
}

void MessageBoxAlerts::showAlert(const std::string& title, const std::string& message) {
  // The title leads the box in bold, the message below it: not every desktop shows a dialog's
  // window title.
  const QString heading = QString::fromStdString(title);
  QMessageBox box(iconForTitle(title), heading, QString("<b>%1</b>").arg(heading.toHtmlEscaped()), QMessageBox::Ok,
                  parent_);
  box.setInformativeText(QString::fromStdString(message));
  box.setStyleSheet("QLabel#qt_msgbox_informativelabel { min-width: 320px; }");
  box.exec();
}

bool MessageBoxAlerts::confirm(const std::string& question, const std::string& detail, const std::string& acceptTitle) {
  const QString heading = QString::fromStdString(question);
  QMessageBox box(QMessageBox::Question, heading, QString("<b>%1</b>").arg(heading.toHtmlEscaped()),
                  QMessageBox::NoButton, parent_);
  box.setInformativeText(QString::fromStdString(detail));
  box.setStyleSheet("QLabel#qt_msgbox_informativelabel { min-width: 320px; }");
  QPushButton* accept = box.addButton(QString::fromStdString(acceptTitle), QMessageBox::AcceptRole);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(accept);
  box.exec();
  return box.clickedButton() == accept;
}

Alerts::ImportChoice MessageBoxAlerts::askImportChoice(std::size_t contactsAlreadyThere) {
  const int count = static_cast<int>(contactsAlreadyThere);
  QMessageBox box(QMessageBox::Question, QObject::tr("Import"),
                  QString("<b>%1</b>")
                      .arg(QObject::tr("%n of the contacts to import are already in the address book.", nullptr, count)
                               .toHtmlEscaped()),
                  QMessageBox::NoButton, parent_);
  box.setInformativeText(
      QObject::tr("Update them with the imported cards (they keep their place), or add the imported cards as new "
                  "contacts beside them?"));
  QPushButton* update = box.addButton(QObject::tr("Update Them"), QMessageBox::AcceptRole);
  QPushButton* add = box.addButton(QObject::tr("Add as New"), QMessageBox::ActionRole);
  box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(update);
  box.exec();
  if (box.clickedButton() == update) return ImportChoice::Update;
  if (box.clickedButton() == add) return ImportChoice::AddAsNew;
  return ImportChoice::Cancel;
}

bool MessageBoxAlerts::askImportReadable(const std::vector<std::string>& unreadable, std::size_t readableFiles) {
  const int count = static_cast<int>(unreadable.size());
  QMessageBox box(QMessageBox::Warning, QObject::tr("Import"),
                  QString("<b>%1</b>").arg(QObject::tr("%n file(s) cannot be read:", nullptr, count).toHtmlEscaped()),
                  QMessageBox::NoButton, parent_);
  // Every file is named with its line and problem; a long list scrolls behind Show Details.
  constexpr int kListedAtOnce = 8;
  QStringList lines;
  for (int i = 0; i < count && i < kListedAtOnce; ++i) lines << QString::fromStdString(unreadable[i]).toHtmlEscaped();
  if (count > kListedAtOnce)
    lines << QObject::tr("and %n more (Show Details lists them all)", nullptr, count - kListedAtOnce);
  QStringList all;
  for (const auto& line : unreadable) all << QString::fromStdString(line);
  if (count > kListedAtOnce) box.setDetailedText(all.join("\n"));
  box.setInformativeText(lines.join("<br>") + "<br><br>" +
                         QObject::tr("Import the contacts of the %n other file(s)? Each file is imported whole; the "
                                     "files that cannot be read are left out.",
                                     nullptr, static_cast<int>(readableFiles))
                             .toHtmlEscaped());
  box.setTextFormat(Qt::RichText);
  box.setStyleSheet("QLabel#qt_msgbox_informativelabel { min-width: 420px; }");
  QPushButton* import = box.addButton(QObject::tr("Import Readable Files"), QMessageBox::AcceptRole);
  QPushButton* cancel = box.addButton(QMessageBox::Cancel);
  box.setDefaultButton(import);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == import;
}
