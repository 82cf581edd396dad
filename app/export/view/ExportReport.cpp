#include "app/export/view/ExportReport.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

#include "app/widgets/Plural.h"

namespace {

QString lastVCardName(size_t count) {
  return QString("export_%1.vcf").arg(count - 1);
}

}  // namespace

void MessageBoxExportReport::exportEnded(const ExportResult& result) {
  QMessageBox box(parent_);
  box.setWindowTitle(QObject::tr("Export"));
  if (!result.ok()) {
    box.setIcon(QMessageBox::Warning);
    box.setText(QObject::tr("The contacts could not be exported."));
    box.setInformativeText(result.error.empty() ? QObject::tr("The writer reported no reason.")
                                                : QString::fromStdString(result.error));
    box.exec();
    return;
  }
  const QFileInfo file(QString::fromStdString(result.file));
  box.setIcon(QMessageBox::Information);
  // The folder to show: the one-per-contact export names the new folder of its files.
  QString shown = file.absolutePath();
  if (file.isDir()) {
    shown = file.absoluteFilePath();
    const int count = static_cast<int>(result.fileCount);
    box.setText(
        countedText(QObject::tr("The contacts were exported as %n file(s) into the folder \"%1\".", nullptr, count),
                    count)
            .arg(file.fileName()));
    const QString files = count > 1 ? QObject::tr("%1 … %2").arg("export_0.vcf", lastVCardName(result.fileCount))
                                    : QString("export_0.vcf");
    box.setInformativeText(QObject::tr("%1 (%2)").arg(QDir::toNativeSeparators(shown), files));
  } else {
    box.setText(QObject::tr("The contacts were exported to \"%1\".").arg(file.fileName()));
    box.setInformativeText(file.absoluteFilePath());
  }
  QPushButton* show = box.addButton(QObject::tr("Show in Folder"), QMessageBox::ActionRole);
  box.addButton(QMessageBox::Ok);
  box.exec();
  if (box.clickedButton() == show) QDesktopServices::openUrl(QUrl::fromLocalFile(shown));
}
