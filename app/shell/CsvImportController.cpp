#include "app/shell/CsvImportController.h"

#include <QFileInfo>

#include "app/csv/CsvImport.h"
#include "app/shell/CsvImportDialog.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/sync/SyncRun.h"

CsvImportController::CsvImportController(ABAddressBook& book, QWidget* window, QObject* parent)
    : QObject(parent), book_(book), window_(window) {
  ask_ = [this](CsvImport& import) { return CsvImportDialog(import, window_).exec() == QDialog::Accepted; };
}

bool CsvImportController::importFiles(const QStringList& paths) {
  if (paths.isEmpty()) return false;
  int contacts = 0;
  QStringList messages;
  bool ok = true;
  for (const QString& path : paths) {
    CsvImport import;
    std::string error;
    if (!import.open(path.toStdString(), {}, &error)) {
      messages
          << tr("Nothing was imported from \"%1\".\n%2").arg(QFileInfo(path).fileName(), QString::fromStdString(error));
      ok = false;
      continue;
    }
    if (!ask_(import)) continue;
    std::vector<ABPersonRef> added;
    if (!addCsvToAddressBook(book_, import, &added, &error)) {
      messages
          << tr("Nothing was imported from \"%1\".\n%2").arg(QFileInfo(path).fileName(), QString::fromStdString(error));
      ok = false;
      continue;
    }
    if (!book_.save(&error)) {
      book_.revert();
      messages
          << tr("Nothing was imported: the address book could not be saved.\n%1").arg(QString::fromStdString(error));
      ok = false;
      continue;
    }
    // Contacts from files stay in the store: a sync does not send them to a linked address book.
    std::vector<std::string> uids;
    for (const auto& person : added) uids.push_back(person->uniqueId());
    noteImportedContacts(book_.path(), uids, "", nullptr);
    contacts += static_cast<int>(added.size());
    messages << tr("Imported %n contact(s) from \"%1\".", nullptr, static_cast<int>(added.size()))
                    .arg(QFileInfo(path).fileName());
  }
  emit importFinished(ok, contacts, messages.join("\n"));
  return true;
}
