#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/browser/view/LoadContactsViewController.h"
#include "app/export/ExportResult.h"
#include "app/export/view/ExportPanel.h"
#include "app/model/ContactRecord.h"

class ExportReport;
class QThread;
class QWidget;

// What both export entry points start: asks for folder, format and contents in the export panel,
// prepares the records the chosen writer receives and runs it on its own thread.
class ExportContact : public QObject {
  Q_OBJECT

 public:
  using Writer = std::function<ExportResult(const std::string& title, const ContactRecords& records,
                                            const std::string& folder, bool isShowAllInfo)>;

  explicit ExportContact(QWidget* window);
  ~ExportContact() override;

  void setExportArray(ContactRecords records) { exportArray_ = std::move(records); }
  const ContactRecords& exportArray() const { return exportArray_; }
  void setLoadContactsViewController(LoadContactsViewController* browser) { loadContactsViewController_ = browser; }
  LoadContactsViewController* loadContactsViewController() const { return loadContactsViewController_; }
  void setIsExportAllPeople(bool all) { isExportAllPeople_ = all; }
  bool isExportAllPeople() const { return isExportAllPeople_; }

  // Replaces the writers (tests) and the one who hears how an export ended.
  void setWriter(Writer writer) { writer_ = std::move(writer); }
  void setReport(std::unique_ptr<ExportReport> report);

  // Shows the export panel; a confirmed panel starts the export.
  void startExport();
  // The panel of the last startExport() while it is open.
  ExportPanel* panel() const { return panel_; }

  // Starts the export the panel's choice describes and returns at once.
  void startExportWithChoice(const QString& title, const QString& folder, int tag);

  // The source records restricted to the browser's shown columns, in column order.
  ContactRecords copyDictionaryDataSoucre() const;
  // The records and flag a writer receives for tag 1 (shown columns) or 2 (all information).
  std::optional<std::pair<ContactRecords, bool>> recordsForTag(int tag) const;

  bool isExporting() const;

 signals:
  void exportEnded(bool ok, const QString& file, const QString& error);

 private:
  void finish(const ExportResult& result);

  QWidget* window_;
  ContactRecords exportArray_;
  QPointer<LoadContactsViewController> loadContactsViewController_;
  bool isExportAllPeople_ = false;
  Writer writer_;
  std::unique_ptr<ExportReport> report_;
  QPointer<ExportPanel> panel_;
  std::vector<QPointer<QThread>> exports_;
};
