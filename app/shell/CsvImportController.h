#pragma once

#include <QObject>
#include <QStringList>
#include <functional>

class ABAddressBook;
class CsvImport;

// Imports CSV files into the store: each file is read, shown in the import dialog (where the user
// may change where its headings go) and, when the user imports, added as one change set. A file
// that cannot be read, or a row that cannot be stored, changes nothing and is named.
class CsvImportController : public QObject {
  Q_OBJECT

 public:
  explicit CsvImportController(ABAddressBook& book, QWidget* window, QObject* parent = nullptr);

  // How the user is asked about a file: true to import it as the import now holds it. By default
  // the import dialog, modal over the window.
  void setAsk(std::function<bool(CsvImport&)> ask) { ask_ = std::move(ask); }

  // Imports the files one after the other; false when none is given.
  bool importFiles(const QStringList& paths);

 signals:
  // ok with the contacts added; the message tells what happened (empty: the user imported nothing).
  void importFinished(bool ok, int contacts, const QString& message);

 private:
  ABAddressBook& book_;
  QWidget* window_;
  std::function<bool(CsvImport&)> ask_;
};
