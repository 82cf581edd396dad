#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QComboBox;
class QListWidget;
class QListWidgetItem;

// The preferences: one check box per scan condition, and the region of phone numbers written
// without their country code. The selection starts with every condition
// ticked, lives in memory only and keeps the order in which names were ticked.
class TableViewWindowController : public QDialog {
  Q_OBJECT

 public:
  explicit TableViewWindowController(QWidget* parent = nullptr);

  const std::vector<std::string>& dataSoucreArray() const { return dataSoucreArray_; }
  const std::vector<std::string>& getSelectArray() const { return selectArray_; }
  // What a click on the row's check box does: unticks a ticked name, appends an unticked one.
  void toggleConditionAtRow(int row);

  QListWidget* tableView() const { return tableView_; }

  // The region phone numbers without a country code belong to: the one chosen, else the region of
  // the user's locale (empty when that names none).
  std::string region() const;
  // The choice itself: a region code, or empty for the locale's region. Kept in the settings.
  std::string regionChoice() const;
  void setRegionChoice(const std::string& region);
  QComboBox* regionBox() const { return regionBox_; }

 public slots:
  void okClicked();
  void cancelClicked();

 private:
  void reloadCheckBoxes();
  void itemChanged(QListWidgetItem* item);

  std::vector<std::string> dataSoucreArray_;
  std::vector<std::string> selectArray_;
  QListWidget* tableView_;
  QComboBox* regionBox_;
  bool reloading_ = false;
};
