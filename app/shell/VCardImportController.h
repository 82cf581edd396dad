#pragma once

#include <QList>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "app/shell/Alerts.h"

class ABAddressBook;

// Imports vCard files into the store on a thread of its own and saves once, each file whole or not
// at all: when some files cannot be read, the user is asked whether to import the others.
// While it runs nothing else may change the store; the caller keeps the window busy.
class VCardImportController : public QObject {
  Q_OBJECT

 public:
  explicit VCardImportController(ABAddressBook& book, QObject* parent = nullptr);
  ~VCardImportController() override;

  // Asked on the GUI thread when some contacts to import are in the address book already.
  void setChoice(std::function<Alerts::ImportChoice(std::size_t)> choice) { choice_ = std::move(choice); }
  // Asked on the GUI thread when some files cannot be read (one line each: file, line, problem) and
  // others can: true imports the readable ones. Without it nothing is imported then.
  void setReadableChoice(std::function<bool(const std::vector<std::string>&, std::size_t)> choice) {
    readableChoice_ = std::move(choice);
  }

  // Starts the import and returns at once; false (and nothing started) while one is running or
  // when no file is given.
  bool importFiles(const QStringList& paths);
  bool isRunning() const { return running_; }
  // Asks the running import to stop: it stops before the address book is saved, with nothing
  // imported (once the save has begun the import ends as it would have).
  void cancel() { cancelled_ = true; }

  // The local files among dropped URLs that look like vCard or CSV files.
  static QStringList vCardFilesOf(const QList<QUrl>& urls);
  // What a finished import tells the user.
  static QString successMessage(const QList<QPair<QString, int>>& files);

 signals:
  // On the GUI thread: ok with the contacts added, or the reason nothing was imported (empty when
  // the user chose to import nothing).
  void importFinished(bool ok, int contacts, const QString& message);

 private:
  void join();

  ABAddressBook& book_;
  std::function<Alerts::ImportChoice(std::size_t)> choice_;
  std::function<bool(const std::vector<std::string>&, std::size_t)> readableChoice_;
  std::thread worker_;
  bool running_ = false;
  std::atomic<bool> cancelled_{false};
};
