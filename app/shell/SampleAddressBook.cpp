#include "app/shell/SampleAddressBook.h"

#include <QFile>
#include <QObject>
#include <filesystem>

#include "app/shell/ShippedFiles.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/vcard/VCardImporter.h"

namespace SampleAddressBook {

QString vCardFile() {
  return ShippedFiles::path("SampleAddressBook.vcf");
}

QString storePath() {
  const auto folder = ABAddressBook::defaultStorePath().parent_path();
  return QString::fromStdString((folder / "SampleAddressBook.sqlite").string());
}

std::unique_ptr<ABAddressBook> createFresh(const QString& vCardFile, const QString& storePath, QString* error) {
  auto fail = [error](const QString& text) -> std::unique_ptr<ABAddressBook> {
    if (error) *error = text;
    return nullptr;
  };
  if (vCardFile.isEmpty() || !QFile::exists(vCardFile))
    return fail(QObject::tr("The sample address book is not installed with this copy of the program."));

  // Built under a new name and moved into place once saved, so a failure keeps the earlier sample.
  const std::filesystem::path target = storePath.toStdString();
  const std::filesystem::path building = target.string() + ".new";
  std::error_code ec;
  std::filesystem::create_directories(target.parent_path(), ec);
  for (const char* suffix : {"", "-wal", "-shm"}) std::filesystem::remove(building.string() + suffix, ec);

  std::string openError;
  {
    auto book = ABAddressBook::open(building, &openError);
    if (!book) return fail(QObject::tr("The sample address book cannot be created: %1").arg(openError.c_str()));
    VCardBookImportResult imported = importVCardFilesIntoAddressBook(*book, {vCardFile.toStdString()});
    if (!imported.ok()) return fail(QString::fromStdString(imported.error));
    if (!book->save(&openError))
      return fail(QObject::tr("The sample address book cannot be saved: %1").arg(openError.c_str()));
  }
  for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(target.string() + suffix, ec);
  std::filesystem::rename(building, target, ec);
  if (ec) return fail(QObject::tr("The sample address book cannot be put in place: %1").arg(ec.message().c_str()));
  for (const char* suffix : {"-wal", "-shm"}) std::filesystem::remove(building.string() + suffix, ec);

  auto book = ABAddressBook::open(target, &openError);
  if (!book) return fail(QObject::tr("The sample address book cannot be opened: %1").arg(openError.c_str()));
  return book;
}

}  // namespace SampleAddressBook
