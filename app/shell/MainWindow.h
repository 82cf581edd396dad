#pragma once

#include <QMainWindow>
#include <QStringList>

// The main window. Tells its owner when it closes and when vCard files are dropped on it.
class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  explicit MainWindow(QWidget* parent = nullptr);

 signals:
  void closing();
  void vCardFilesDropped(const QStringList& files);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};
