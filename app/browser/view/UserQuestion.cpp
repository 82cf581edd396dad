#include "app/browser/view/UserQuestion.h"

#include <QMessageBox>
#include <QPushButton>

bool MessageBoxQuestion::confirm(const QString& message, const QString& information, const QString& acceptTitle,
                                 const QString& cancelTitle) {
  QMessageBox box(parent_);
  box.setIcon(QMessageBox::Warning);
  box.setWindowTitle(message);
  box.setText(QString("<b>%1</b>").arg(message.toHtmlEscaped()));
  box.setInformativeText(information);
  box.setStyleSheet("QLabel#qt_msgbox_informativelabel { min-width: 320px; }");
  QPushButton* accept = box.addButton(acceptTitle, QMessageBox::AcceptRole);
  // What is confirmed here changes the address book (a deletion): Enter must not do it.
  QPushButton* cancel = box.addButton(cancelTitle, QMessageBox::RejectRole);
  box.setDefaultButton(cancel);
  box.setEscapeButton(cancel);
  box.exec();
  return box.clickedButton() == accept;
}

void MessageBoxQuestion::inform(const QString& message, const QString& information) {
  QMessageBox box(parent_);
  box.setIcon(QMessageBox::Warning);
  box.setText(message);
  box.setInformativeText(information);
  box.exec();
}
