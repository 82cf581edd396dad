#pragma once

#include <QDialog>

#include <vector>

#include "app/review/MergeContacts.h"

class ABAddressBook;
class QCheckBox;
class QLabel;
class QTableWidget;

// "Merge contacts…": the members of a group side by side, one column each and one for the result,
// a row per value. A single value's row takes the value of the member the user picks (the others go
// to the note unless "Keep the others in the note" is off); a list value, listed once with the
// members that hold it, can be left out; a member can be taken out ("Not this one": it stays, marked
// as not the same person). The result column shows the merge as it will be saved. The choices start
// as the automatic merge's, so Merge at once gives what Fix does.
class MergeDialog : public QDialog {
  Q_OBJECT

 public:
  MergeDialog(ABAddressBook& book, const std::vector<ABPersonRef>& members, QWidget* parent = nullptr);

  const MergePlan& plan() const { return plan_; }
  QTableWidget* table() const { return table_; }
  QCheckBox* othersInNoteBox() const { return othersInNote_; }
  // The row of a single value or list value by its label (and text, for a list value); -1 if none.
  int singleRow(const std::string& label) const;
  int listRow(const std::string& text) const;
  // The columns: one per member, then the result.
  int resultColumn() const { return static_cast<int>(plan_.members.size()); }
  // What the user does, as the widgets do it.
  void choose(const std::string& property, size_t member);
  void setListValueKept(size_t value, bool kept);
  void setMemberLeftOut(size_t member, bool out);
  // Saves the plan (saveMergePlan); false with the reason shown when nothing was saved.
  bool merge();
  const std::vector<std::string>& changes() const { return changes_; }

 private:
  void rebuild();

  ABAddressBook& book_;
  MergePlan plan_;
  QTableWidget* table_;
  QCheckBox* othersInNote_;
  QLabel* summary_;
  std::vector<std::string> changes_;
  bool rebuilding_ = false;
};
