#include "app/export/view/ExportReport.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

void MessageBoxExportReport::exportEnded(const ExportResult& result) {
  QMessageBox box(parent_);
  box.setWindowTitle(QObject::tr("Export"));
  if (!result.ok) {
    box.setIcon(QMessageBox::Warning);
    box.setText(QObject::tr("The contacts could not be exported."));
    box.setInformativeText(result.error.empty() ? QObject::tr("The writer reported no reason.")
                                                : QString::fromStdString(result.error));
    box.exec();
    return;
  }
  const QFileInfo file(QString::fromStdString(result.file));
  box.setIcon(QMessageBox::Information);
  box.setText(QObject::tr("The contacts were exported to \"%1\".").arg(file.fileName()));
  box.setInformativeText(file.absoluteFilePath());
  QPushButton* show = box.addButton(QObject::tr("Show in Folder"), QMessageBox::ActionRole);
  box.addButton(QMessageBox::Ok);
  box.exec();
  if (box.clickedButton() == show) QDesktopServices::openUrl(QUrl::fromLocalFile(file.absolutePath()));
}
