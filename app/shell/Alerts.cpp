#include "app/shell/Alerts.h"

#include <QMessageBox>
#include <QPushButton>

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
