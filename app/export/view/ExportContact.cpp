#include "app/export/view/ExportContact.h"

#include <QComboBox>
#include <QProgressDialog>
#include <QThread>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "app/browser/view/LoadContactsViewController.h"
#include "app/export/view/ExportFormats.h"
#include "app/export/view/ExportPanel.h"
#include "app/export/view/ExportReport.h"

namespace {

// Exports shorter than this show no progress dialog.
constexpr int kProgressDelayMs = 400;

}  // namespace

ExportContact::ExportContact(QWidget* window)
    : QObject(window),
      window_(window),
      writer_(ExportFormats::run),
      report_(std::make_unique<MessageBoxExportReport>(window)) {}

ExportContact::~ExportContact() {
  // A writer still running finishes its file rather than being cut off half-way.
  for (const auto& running : exports_)
    if (running) running->wait();
}

void ExportContact::setReport(std::unique_ptr<ExportReport> report) {
  report_ = std::move(report);
}

void ExportContact::startExport() {
  if (panel_) panel_->deleteLater();
  panel_ = new ExportPanel(window_ ? window_->window() : nullptr);
  panel_->setAttribute(Qt::WA_DeleteOnClose);
  panel_->setWindowModality(Qt::WindowModal);
  connect(panel_, &QDialog::accepted, this,
          [this] { startExportWithChoice(panel_->formatTitle(), panel_->folder(), panel_->selectedTag()); });
  panel_->open();
}

ContactRecords ExportContact::copyDictionaryDataSoucre() const {
  ContactRecords none;
  const ContactRecords& source =
      isExportAllPeople_ ? (loadContactsViewController_ ? loadContactsViewController_->getTableViewDataArray() : none)
                         : exportArray_;
  std::vector<std::string> columns;
  if (loadContactsViewController_) columns = loadContactsViewController_->shownColumns();
  ContactRecords restricted;
  restricted.reserve(source.size());
  for (const ContactRecord& record : source) {
    ContactRecord copy;
    copy.reserve(columns.size());
    for (const std::string& column : columns) {
      if (column == "Person") continue;
      if (const RecordValue* value = record.find(column)) copy.set(column, *value);
    }
    restricted.push_back(std::move(copy));
  }
  return restricted;
}

std::optional<std::pair<ContactRecords, bool>> ExportContact::recordsForTag(int tag) const {
  if (tag == 1) return std::make_pair(copyDictionaryDataSoucre(), false);
  if (tag == 2) {
    if (isExportAllPeople_ && loadContactsViewController_)
      return std::make_pair(loadContactsViewController_->getTableViewDataArray(), true);
    return std::make_pair(exportArray_, true);
  }
  return std::nullopt;
}

bool ExportContact::isExporting() const {
  return std::any_of(exports_.begin(), exports_.end(), [](const auto& e) { return e && e->isRunning(); });
}

void ExportContact::startExportWithChoice(const QString& title, const QString& folder, int tag) {
  auto chosen = recordsForTag(tag);
  if (!chosen) return;
  auto records = std::make_shared<ContactRecords>(std::move(chosen->first));
  bool allInfo = chosen->second;
  auto result = std::make_shared<ExportResult>();
  Writer writer = writer_;
  std::string format = title.toStdString();
  std::string destination = folder.toStdString();
  QThread* run = QThread::create([=] { *result = writer(format, *records, destination, allInfo); });

  QPointer<QProgressDialog> progress;
  if (window_) {
    progress = new QProgressDialog(tr("Exporting %n contact(s)…", nullptr, static_cast<int>(records->size())),
                                   QString(), 0, 0, window_->window());
    progress->setWindowTitle(tr("Export"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->hide();
    QTimer::singleShot(kProgressDelayMs, progress, [progress, run = QPointer<QThread>(run)] {
      if (progress && run && run->isRunning()) progress->show();
    });
  }
  connect(run, &QThread::finished, this, [this, result, progress] {
    if (progress) progress->deleteLater();
    finish(*result);
  });
  connect(run, &QThread::finished, run, &QObject::deleteLater);
  exports_.erase(std::remove(exports_.begin(), exports_.end(), nullptr), exports_.end());
  exports_.emplace_back(run);
  run->start();
}

void ExportContact::finish(const ExportResult& result) {
  emit exportEnded(result.ok, QString::fromStdString(result.file), QString::fromStdString(result.error));
  if (report_) report_->exportEnded(result);
}
