#pragma once

#include "app/export/ExportResult.h"

class QWidget;

// Tells the user how an export ended; tests listen in place of the user.
class ExportReport {
 public:
  virtual ~ExportReport() = default;
  virtual void exportEnded(const ExportResult& result) = 0;
};

// A message naming the file written, with a button that shows it in its folder, or the reason
// the export failed.
class MessageBoxExportReport : public ExportReport {
 public:
  explicit MessageBoxExportReport(QWidget* parent) : parent_(parent) {}
  void exportEnded(const ExportResult& result) override;

 private:
  QWidget* parent_;
};
