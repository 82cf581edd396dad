#pragma once

#include <QMessageBox>
#include <cstddef>
#include <string>
#include <vector>

class QWidget;

// Modal alerts of the main window; the window answers them with message boxes, tests directly.
class Alerts {
 public:
  virtual ~Alerts() = default;
  // An alert with a title, a message and one OK button.
  virtual void showAlert(const std::string& title, const std::string& message) = 0;
  // A question with the accepting button and Cancel; true when accepted. Unless told otherwise,
  // the question is taken as accepted (an alert that only informs).
  virtual bool confirm(const std::string& question, const std::string& detail, const std::string& acceptTitle) {
    (void)question;
    (void)detail;
    (void)acceptTitle;
    return true;
  }

  // Some of the contacts to import are in the address book already (their unique ids): update them
  // with the imported cards, add the cards as new contacts, or import nothing.
  enum class ImportChoice { Update, AddAsNew, Cancel };
  virtual ImportChoice askImportChoice(std::size_t contactsAlreadyThere) {
    (void)contactsAlreadyThere;
    return ImportChoice::Update;
  }
  // Some files of an import cannot be read (one line each: file, line, problem): import the
  // contacts of the readable files, each file whole, without them? Unless told otherwise, yes.
  virtual bool askImportReadable(const std::vector<std::string>& unreadable, std::size_t readableFiles) {
    (void)unreadable;
    (void)readableFiles;
    return true;
  }
};

class MessageBoxAlerts : public Alerts {
 public:
  explicit MessageBoxAlerts(QWidget* parent) : parent_(parent) {}
  void showAlert(const std::string& title, const std::string& message) override;
  bool confirm(const std::string& question, const std::string& detail, const std::string& acceptTitle) override;
  // A "Warning" alert carries the warning icon; every other alert the information icon.
  static QMessageBox::Icon iconForTitle(const std::string& title);
  ImportChoice askImportChoice(std::size_t contactsAlreadyThere) override;
  bool askImportReadable(const std::vector<std::string>& unreadable, std::size_t readableFiles) override;

 private:
  QWidget* parent_;
};
