#include "app/shell/Alerts.h"

#include <QMessageBox>

void MessageBoxAlerts::showAlert(const std::string& title, const std::string& message) {
  // The title leads the box in bold, the message below it: not every desktop shows a dialog's
  // window title.
  const QString heading = QString::fromStdString(title);
  QMessageBox box(QMessageBox::Information, heading, QString("<b>%1</b>").arg(heading.toHtmlEscaped()), QMessageBox::Ok,
                  parent_);
  box.setInformativeText(QString::fromStdString(message));
  box.setStyleSheet("QLabel#qt_msgbox_informativelabel { min-width: 320px; }");
  box.exec();
}
