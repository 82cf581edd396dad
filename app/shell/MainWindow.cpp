#include "app/shell/MainWindow.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

#include "app/shell/VCardImportController.h"

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent) {
  setAcceptDrops(true);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  emit closing();
  QMainWindow::closeEvent(event);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls() && !VCardImportController::vCardFilesOf(event->mimeData()->urls()).isEmpty())
    event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList files = VCardImportController::vCardFilesOf(event->mimeData()->urls());
  if (files.isEmpty()) return;
  event->acceptProposedAction();
  emit vCardFilesDropped(files);
}
