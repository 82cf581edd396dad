#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "platform/addressbook/ABGroups.h"

class ABAddressBook;
class QListWidget;
class QListWidgetItem;
class QMenu;
class UserQuestion;

// The groups list beside the contact table: "All contacts", each group with how many contacts it
// holds, "Not in any group"; the item chosen filters the table. Its menu renames and deletes the
// group chosen, each one change set of the store (Edit > Undo takes it back).
class GroupsPanel : public QWidget {
  Q_OBJECT

 public:
  GroupsPanel(ABAddressBook& book, UserQuestion* question, QWidget* parent = nullptr);
  // Who answers the delete question and hears why a change was refused.
  void setQuestion(UserQuestion* question) { question_ = question; }

  QListWidget* list() const { return list_; }
  QMenu* menu() const { return menu_; }
  // Shows the groups of a load, keeping the item chosen where its group is still there.
  void setIndex(std::shared_ptr<const ABGroups::Index> index);
  const ABGroups::Index& index() const { return *index_; }
  // The unique ids of the contacts the item chosen shows; nullopt: every contact.
  std::optional<std::unordered_set<std::string>> shownUids() const;
  // The group chosen; nullopt for "All contacts" and "Not in any group".
  std::optional<std::string> chosenGroup() const;
  // Chooses the item of a group (nullopt: "All contacts"); false when there is none of that name.
  bool chooseGroup(const std::optional<std::string>& name);
  void chooseNoGroup();
  // Every group's name, in the list's order.
  QStringList groupNames() const;

  // Asks for a group's name: with the names to choose from (empty: a text to write) and the name
  // proposed. nullopt when the user cancels. Tests replace it.
  std::function<std::optional<QString>(const QString& title, const QString& label, const QStringList& choices,
                                       const QString& proposed)>
      askName;

  void renameChosenGroup();
  void deleteChosenGroup();

 signals:
  // Another item was chosen: the table shows other rows.
  void filterChanged();
  // A change of groups was saved: the table and the list are read again.
  void groupsChanged();

 private:
  void showChange(const ABGroups::Change& change);

  ABAddressBook& book_;
  UserQuestion* question_;
  QListWidget* list_;
  QMenu* menu_;
  std::shared_ptr<const ABGroups::Index> index_;
};
