#pragma once

#include <QDialog>

#include <map>
#include <string>
#include <vector>

#include "app/browser/BulkEdit.h"

class ABAddressBook;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;

// "Edit N Contacts…": every column of the table, with the value the selected contacts share or
// "(several values)" where they differ. A field the user changes is written to every selected
// contact, the others stay as they are; all of it is one change set.
class EditContactsDialog : public QDialog {
  Q_OBJECT

 public:
  EditContactsDialog(ABAddressBook& book, std::vector<ABPersonRef> persons, const std::vector<std::string>& keys,
                     QWidget* parent = nullptr);
  QLineEdit* field(const std::string& key) const;
  // Writes the changed fields; false (with the reason shown) when nothing could be saved.
  bool applyChanges();
  // What the last applyChanges did, one line per change or contact left alone.
  const std::vector<std::string>& report() const { return report_; }

 private:
  ABAddressBook& book_;
  std::vector<ABPersonRef> persons_;
  std::map<std::string, QLineEdit*> fields_;
  std::vector<std::string> report_;
};

// "Find and Replace…" within one column of the selected contacts: a text or a regular expression,
// with every change listed before it is applied, as one change set.
class FindReplaceDialog : public QDialog {
  Q_OBJECT

 public:
  FindReplaceDialog(ABAddressBook& book, std::vector<ABPersonRef> persons, const std::vector<std::string>& keys,
                    QWidget* parent = nullptr);
  QComboBox* column() const { return column_; }
  QLineEdit* findField() const { return find_; }
  QLineEdit* replaceField() const { return with_; }
  QCheckBox* regexBox() const { return regex_; }
  // The preview: one row per contact that changes (name, before, after).
  QTreeWidget* preview() const { return preview_; }
  QPushButton* replaceButton() const { return replace_; }
  bool applyChanges();
  const std::vector<std::string>& report() const { return report_; }

 private:
  void updatePreview();

  ABAddressBook& book_;
  std::vector<ABPersonRef> persons_;
  std::vector<BulkEdit::Change> planned_;
  QComboBox* column_;
  QLineEdit* find_;
  QLineEdit* with_;
  QCheckBox* regex_;
  QLabel* status_;
  QTreeWidget* preview_;
  QPushButton* replace_;
  std::vector<std::string> report_;
};
