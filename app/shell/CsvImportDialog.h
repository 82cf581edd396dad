#pragma once

#include <QDialog>
#include <vector>

#include "app/csv/CsvImport.h"

class QComboBox;
class QLabel;
class QTableWidget;

// Shown before anything of a CSV file is stored: the profile found from its headings (changeable),
// every heading with the field its cells go to (changeable: another field, "Keep as extra field"
// or "Leave out"), and the first twenty contacts as they will be stored, made again after every
// change. Accepted, the import holds the choices made.
class CsvImportDialog : public QDialog {
  Q_OBJECT

 public:
  CsvImportDialog(CsvImport& import, QWidget* parent = nullptr);

  static constexpr int kPreviewRows = 20;

  // For tests and the window alike: the profile shown, a heading's field, the preview.
  QComboBox* profileChooser() const { return profile_; }
  QComboBox* fieldChooser(int column) const;
  QTableWidget* headingTable() const { return headings_; }
  QTableWidget* previewTable() const { return preview_; }
  QLabel* problemLabel() const { return problem_; }
  // Chooses a field for a heading by its name ("Home Email", "keep", "leave").
  bool chooseField(int column, const QString& name);

 private:
  void fillHeadings();
  void refreshPreview();

  CsvImport& import_;
  QComboBox* profile_ = nullptr;
  QTableWidget* headings_ = nullptr;
  QTableWidget* preview_ = nullptr;
  QLabel* problem_ = nullptr;
  QPushButton* importButton_ = nullptr;
};
