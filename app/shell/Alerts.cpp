#include "app/shell/Alerts.h"

#include <QMessageBox>

void MessageBoxAlerts::showAlert(const std::string& title, const std::string& message) {
  QMessageBox box(QMessageBox::Information, QString::fromStdString(title), QString::fromStdString(message),
                  QMessageBox::Ok, parent_);
  box.exec();
}
