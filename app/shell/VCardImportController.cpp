#include "app/shell/VCardImportController.h"

#include <QFileInfo>
#include <QMetaObject>
#include <filesystem>
#include <new>
#include <vector>

#include "app/csv/CsvImport.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/sync/SyncRun.h"

VCardImportController::VCardImportController(ABAddressBook& book, QObject* parent) : QObject(parent), book_(book) {}

VCardImportController::~VCardImportController() {
  join();
}

void VCardImportController::join() {
  if (worker_.joinable()) worker_.join();
}

QStringList VCardImportController::vCardFilesOf(const QList<QUrl>& urls) {
  QStringList files;
  for (const QUrl& url : urls) {
    if (!url.isLocalFile()) continue;
    const QFileInfo file(url.toLocalFile());
    const QString suffix = file.suffix().toLower();
    if (file.isFile() && (suffix == "vcf" || suffix == "vcard" || isCsvPath(file.fileName().toStdString())))
      files << file.absoluteFilePath();
  }
  return files;
}

QString VCardImportController::successMessage(const QList<QPair<QString, int>>& files) {
  int contacts = 0;
  for (const auto& file : files) contacts += file.second;
  if (files.size() == 1)
    return tr("Imported %n contact(s) from \"%1\".", nullptr, contacts).arg(QFileInfo(files.front().first).fileName());
  return tr("Imported %n contact(s) from %1 files.", nullptr, contacts).arg(files.size());
}

bool VCardImportController::importFiles(const QStringList& paths) {
  if (running_ || paths.isEmpty()) return false;
  join();
  running_ = true;
  cancelled_ = false;
  std::vector<std::filesystem::path> files;
  for (const QString& path : paths) files.emplace_back(path.toStdString());
  worker_ = std::thread([this, files = std::move(files)] {
    bool ok = false;
    int contacts = 0;
    QString message;
    try {
      VCardFilesRead read = readVCardFiles(files);
      // Every file that cannot be read is named; the readable ones are imported only when the user
      // says so.
      QString unreadable;
      for (const auto& line : read.unreadable) unreadable += "\n" + QString::fromStdString(line);
      const int unreadableCount = static_cast<int>(read.unreadable.size());
      bool skipped = false;
      if (!read.ok() && !read.files.empty() && readableChoice_) {
        QMetaObject::invokeMethod(
            this, [&] { skipped = readableChoice_(read.unreadable, read.files.size()); }, Qt::BlockingQueuedConnection);
        if (skipped) read.skipUnreadable();
      }
      const bool goesOn = read.ok();
      const bool anyReadable = !read.files.empty();
      Alerts::ImportChoice choice = goesOn ? Alerts::ImportChoice::AddAsNew : Alerts::ImportChoice::Cancel;
      if (goesOn && choice_) {
        if (std::size_t there = countVCardUidsInAddressBook(book_, read); there > 0)
          QMetaObject::invokeMethod(
              this, [&] { choice = choice_(there); }, Qt::BlockingQueuedConnection);
      }
      VCardBookImportResult result;
      // Cancelled while the files were read or a question was open: nothing is changed.
      const bool cancelledBefore = cancelled_;
      if (cancelledBefore) choice = Alerts::ImportChoice::Cancel;
      if (choice == Alerts::ImportChoice::Update)
        result = updateVCardFilesInAddressBook(book_, std::move(read));
      else if (choice == Alerts::ImportChoice::AddAsNew)
        result = addVCardFilesToAddressBook(book_, std::move(read));
      if (cancelledBefore || (goesOn && result.ok() && choice != Alerts::ImportChoice::Cancel && cancelled_)) {
        // Cancelled before the save: what the import changed in memory is dropped.
        if (!cancelledBefore) book_.revert();
        message = tr("The import was cancelled; nothing was imported.");
      } else if (!goesOn) {
        // Some files cannot be read, and the others were not to be imported without them.
        if (!anyReadable || !readableChoice_) message = tr("Nothing was imported.") + unreadable;
      } else if (choice == Alerts::ImportChoice::Cancel) {
        // Nothing imported, as the user chose.
      } else if (!result.ok()) {
        message = tr("Nothing was imported.\n%1").arg(QString::fromStdString(result.error));
      } else {
        std::string error;
        book_.keepRevisionsInNextSave();  // cards updated from files keep the files' revisions
        if (book_.save(&error)) {
          ok = true;
          contacts = static_cast<int>(result.added.size() + result.updated.size());
          // Contacts from files stay in the store: a sync does not send them to a linked address book.
          std::vector<std::string> uids;
          for (const auto& person : result.added) uids.push_back(person->uniqueId());
          noteImportedContacts(book_.path(), uids, "", nullptr);
          QList<QPair<QString, int>> counts;
          for (const auto& file : result.files)
            counts.append({QString::fromStdString(file.path.string()), static_cast<int>(file.contacts - file.updated)});
          message = successMessage(counts);
          if (skipped)
            message += "\n" + tr("Left out %n file(s) that cannot be read:", nullptr, unreadableCount) + unreadable;
          if (!result.updated.empty())
            message += "\n" + tr("%n contact(s) already in the address book updated.", nullptr,
                                 static_cast<int>(result.updated.size()));
          // Values in a legacy character set, as the command line says them.
          VCardLegacyCounts legacy;
          for (const auto& file : result.files) addLegacyCounts(legacy, file.legacy);
          for (const auto& line : describeLegacyText(legacy)) message += "\n" + QString::fromStdString(line) + ".";
        } else {
          book_.revert();
          message =
              tr("Nothing was imported: the address book could not be saved.\n%1").arg(QString::fromStdString(error));
        }
      }
    } catch (const std::bad_alloc&) {
      // What was read is freed by now; whatever the import had changed in memory is dropped.
      ok = false;
      book_.revert();
      message = tr("Nothing was imported: there is not enough memory for these contacts.");
    }
    QMetaObject::invokeMethod(
        this,
        [this, ok, contacts, message] {
          running_ = false;
          join();
          emit importFinished(ok, contacts, message);
        },
        Qt::QueuedConnection);
  });
  return true;
}
