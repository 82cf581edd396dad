#pragma once

#include <QDialog>
#include <QString>

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;

// The folder chooser of an export with its accessory: the format chooser and the choice between
// the browser's columns (tag 1) and all information (tag 2).
class ExportPanel : public QDialog {
  Q_OBJECT

 public:
  explicit ExportPanel(QWidget* parent = nullptr);

  QString folder() const;
  void setFolder(const QString& folder);
  QString formatTitle() const;
  void setFormatTitle(const QString& title);
  int selectedTag() const;
  void setSelectedTag(int tag);

  // For an HTML page: each contact's photo small, in a folder beside the page.
  bool photos() const;
  QCheckBox* photosBox() const { return photos_; }
  QComboBox* selectedButton() const { return selectedButton_; }
  QButtonGroup* matrix() const { return matrix_; }

 private:
  void chooseFolder();
  void updateSaveButton();

  QLineEdit* folder_;
  QComboBox* selectedButton_;
  QButtonGroup* matrix_;
  QCheckBox* photos_;
  QPushButton* save_;
};
