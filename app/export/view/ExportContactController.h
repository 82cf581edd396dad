#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/export/ExportContact.h"
#include "app/export/view/ExportPanel.h"

class ExportReport;
class QThread;
class QWidget;

// The window side of an export: asks for folder, format and contents in the export panel, lets
// the driver fix the records on the GUI thread and runs the chosen writer on a thread of its own.
class ExportContactController : public QObject {
  Q_OBJECT

 public:
  using Writer = std::function<ExportResult(const ExportContact::PreparedExport&)>;

  explicit ExportContactController(QWidget* window);
  ~ExportContactController() override;

  ExportContact& driver() { return driver_; }
  void setExportArray(ContactRecords records) { driver_.setExportArray(std::move(records)); }
  // The browser whose shown columns and records an export of everybody writes; it outlives this
  // controller (the controller is its child).
  void setLoadContactsViewController(const ExportBrowserSource* browser);
  void setIsExportAllPeople(bool all) { driver_.setIsExportAllPeople(all); }

  // Replaces what runs a prepared export (tests) and the one who hears how an export ended.
  void setWriter(Writer writer) { writer_ = std::move(writer); }
  void setReport(std::unique_ptr<ExportReport> report);

  // Shows the export panel; a confirmed panel starts the export.
  void startExport();
  // The panel of the last startExport() while it is open.
  ExportPanel* panel() const { return panel_; }

  // Starts the export the panel's choice describes and returns at once.
  void startExportWithChoice(const QString& title, const QString& folder, int tag);
  bool isExporting() const;

 signals:
  void exportEnded(bool ok, const QString& file, const QString& error);

 private:
  void finish(const ExportResult& result);

  QWidget* window_;
  ExportContact driver_;
  Writer writer_;
  std::unique_ptr<ExportReport> report_;
  QPointer<ExportPanel> panel_;
  std::vector<QPointer<QThread>> exports_;
};
