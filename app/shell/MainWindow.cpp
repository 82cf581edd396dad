#include "app/shell/MainWindow.h"

#include <QCloseEvent>

void MainWindow::closeEvent(QCloseEvent* event) {
  emit closing();
  QMainWindow::closeEvent(event);
}
