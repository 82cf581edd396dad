#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "app/scanner/AllowedNames.h"
#include "app/scanner/PhotoLimits.h"

class QComboBox;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QSpinBox;
class QTabWidget;

// The preferences: one check box per scan condition, the region of phone numbers written without
// their country code, and the allowed titles and suffixes. The selection starts with every condition
// ticked and keeps the order in which names were ticked; the window keeps all of it in its settings.
// The allowed lists are in use (AllowedNames::use) as soon as they change.
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

  // The ticked conditions as kept in the settings, in selection order; names no condition has are
  // left out.
  void setSelectArray(const std::vector<std::string>& names);

  // The limits of "Photo too large" as the boxes show them; in use (PhotoLimits::use) as soon as
  // they change.
  PhotoLimits photoLimits() const;
  void setPhotoLimits(const PhotoLimits& limits);
  QSpinBox* photoKilobytesBox() const { return photoKilobytesBox_; }
  QSpinBox* photoPixelsBox() const { return photoPixelsBox_; }

  // The allowed titles and suffixes as the lists show them.
  AllowedNames allowedNames() const;
  void setAllowedNames(const AllowedNames& names);
  // Adds an entry (trimmed; nothing when empty or already listed) and takes the selected ones away.
  void addAllowedTitle(const QString& title);
  void addAllowedSuffix(const QString& suffix);
  void removeSelectedTitles();
  void removeSelectedSuffixes();
  void restoreDefaultNames();
  QListWidget* titlesList() const { return titlesList_; }
  QListWidget* suffixesList() const { return suffixesList_; }
  QTabWidget* tabs() const { return tabs_; }

 signals:
  // The selection, the region or the allowed lists changed: the settings are to be written.
  void preferencesChanged();

 public slots:
  void okClicked();
  void cancelClicked();

 private:
  void reloadCheckBoxes();
  void itemChanged(QListWidgetItem* item);
  QWidget* buildNamesPage();
  void namesChanged();

  std::vector<std::string> dataSoucreArray_;
  std::vector<std::string> selectArray_;
  QListWidget* tableView_;
  QComboBox* regionBox_;
  QSpinBox* photoKilobytesBox_;
  QSpinBox* photoPixelsBox_;
  QTabWidget* tabs_;
  QListWidget* titlesList_;
  QListWidget* suffixesList_;
  bool reloading_ = false;
};
