#pragma once

#include <QDialog>
#include <map>
#include <string>

#include "platform/addressbook/ABPerson.h"

class ABAddressBook;
class QLabel;
class QPushButton;

// The contact card: every field of one person, read-only ("Open In Contacts") or editable
// ("Edit in Contacts"), where Save writes the changes to the store.
class ContactCardDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Mode { Show, Edit };

  ContactCardDialog(ABPersonRef person, ABAddressBook& book, Mode mode, QWidget* parent = nullptr);

  // The field of a record key in edit mode, or nullptr: a single-line or a multi-line editor
  // (notes, streets and values holding line breaks), neither limiting the length.
  QWidget* editor(const std::string& key) const;
  QString editorText(const std::string& key) const;
  void setEditorText(const std::string& key, const QString& text);
  // The text shown for a record key in show mode, or nullptr.
  QLabel* shownValue(const std::string& key) const;
  // Writes every field the user changed to the person (and nothing else) and saves the store;
  // false with the reason shown and nothing changed when a value cannot be stored.
  bool saveChanges();
  QString lastError() const { return lastError_; }

  // The photo, large, with its size in pixels and bytes and its format; each change of it is a
  // change set of its own, refused (nothing changed, said why) when the contact no longer holds the
  // photo the card shows. Replacing takes a picture file as it is; removing asks first.
  bool replacePhoto(const QString& path);
  bool removePhoto();
  // A quarter turn clockwise.
  bool rotatePhoto();
  QLabel* photoView() const { return photoView_; }
  QLabel* photoInfo() const { return photoInfo_; }

 private:
  void buildShown();
  void buildEditable();
  QWidget* buildPhoto();
  void showPhoto();
  // Sets the photo (empty: removes it) when the contact still holds the one shown, and saves.
  bool changePhoto(const ABBytes& photo, const std::string& description);

  ABPersonRef person_;
  ABAddressBook& book_;
  Mode mode_;
  std::map<std::string, QWidget*> editors_;
  std::map<std::string, QLabel*> shown_;
  std::map<std::string, std::string> original_;
  std::map<std::string, QString> given_;  // what each editor held when it was filled
  QString lastError_;
  bool quiet_ = false;
  ABBytes photo_;  // the photo the card shows
  QLabel* photoView_ = nullptr;
  QLabel* photoInfo_ = nullptr;
  QPushButton* removePhoto_ = nullptr;
  QPushButton* rotatePhoto_ = nullptr;

  friend class ContactCardDialogQuiet;

 public:
  // No message boxes on refusal (tests read lastError()).
  void setQuiet(bool quiet) { quiet_ = quiet; }
};
