#include "app/export/view/ExportContactController.h"

#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <filesystem>

#include "app/export/formats/ExportFormatWriters.h"
#include "app/export/view/ExportPanel.h"
#include "app/export/view/ExportReport.h"

namespace {

// Exports shorter than this show no progress dialog.
constexpr int kProgressDelayMs = 400;

}  // namespace

ExportContactController::ExportContactController(QWidget* window)
    : QObject(window),
      window_(window),
      writer_(&ExportContact::run),
      report_(std::make_unique<MessageBoxExportReport>(window)) {
  installFormatWriters(driver_);
}

ExportContactController::~ExportContactController() {
  // A writer still running finishes its file rather than being cut off half-way.
  for (const auto& running : exports_)
    if (running) running->wait();
}

void ExportContactController::setLoadContactsViewController(const ExportBrowserSource* browser) {
  driver_.setLoadContactsViewController(browser);
}

void ExportContactController::setReport(std::unique_ptr<ExportReport> report) {
  report_ = std::move(report);
}

void ExportContactController::startExport() {
  if (panel_) panel_->deleteLater();
  panel_ = new ExportPanel(window_ ? window_->window() : nullptr);
  panel_->setAttribute(Qt::WA_DeleteOnClose);
  panel_->setWindowModality(Qt::WindowModal);
  connect(panel_, &QDialog::accepted, this, [this] {
    driver_.setHtmlPhotos(panel_->photos());
    startExportWithChoice(panel_->formatTitle(), panel_->folder(), panel_->selectedTag());
  });
  panel_->open();
}

bool ExportContactController::isExporting() const {
  return std::any_of(exports_.begin(), exports_.end(), [](const auto& e) { return e && e->isRunning(); });
}

void ExportContactController::startExportWithChoice(const QString& title, const QString& folder, int tag) {
  auto prepared = driver_.prepareExport(title.toStdString(), folder.toStdString(), tag);
  if (!prepared) {
    ExportResult refused;
    refused.error = "Unknown export format \"" + title.toStdString() + "\" or column choice.";
    finish(refused);
    return;
  }
  auto job = std::make_shared<ExportContact::PreparedExport>(std::move(*prepared));
  auto result = std::make_shared<ExportResult>();
  QThread* run = QThread::create([writer = writer_, job, result] { *result = writer(*job); });
  // A writer cannot be stopped half-way: Cancel gives the window back at once, and what the writer
  // made goes when it has made it (a file of its own, under a name no other file had).
  auto cancelled = std::make_shared<bool>(false);

  QPointer<QProgressDialog> progress;
  if (window_) {
    progress = new QProgressDialog(tr("Exporting %n contact(s)…", nullptr, static_cast<int>(job->records().size())),
                                   tr("Cancel"), 0, 0, window_->window());
    auto cancel = [cancelled, progress] {
      *cancelled = true;
      if (progress) progress->deleteLater();
    };
    connect(progress, &QProgressDialog::canceled, this, cancel);  // the button
    connect(progress, &QDialog::rejected, this, cancel);          // Escape
    progress->setWindowTitle(tr("Export"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->hide();
    QTimer::singleShot(kProgressDelayMs, progress, [progress, run = QPointer<QThread>(run)] {
      if (progress && run && run->isRunning()) progress->show();
    });
  }
  connect(run, &QThread::finished, this, [this, result, progress, cancelled] {
    // Gone at once, not later: the message below runs its own event loop, in which a deferred
    // deletion would wait while the dialog's own show timer brought it back over the message.
    delete progress.data();
    if (*cancelled) {
      if (result->ok()) {
        std::error_code ec;
        std::filesystem::remove_all(result->file, ec);
        if (!result->alongside.empty()) std::filesystem::remove_all(result->alongside, ec);
      }
      emit exportEnded(false, QString(), tr("The export was cancelled; nothing was written."));
      return;
    }
    finish(*result);
  });
  connect(run, &QThread::finished, run, &QObject::deleteLater);
  exports_.erase(std::remove(exports_.begin(), exports_.end(), nullptr), exports_.end());
  exports_.emplace_back(run);
  run->start();
}

void ExportContactController::finish(const ExportResult& result) {
  emit exportEnded(result.ok(), QString::fromStdString(result.file), QString::fromStdString(result.error));
  if (report_) report_->exportEnded(result);
}
