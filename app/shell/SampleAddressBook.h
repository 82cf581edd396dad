#pragma once

#include <QString>
#include <memory>

class ABAddressBook;

// The sample address book: a store of its own beside the user's, filled afresh from the shipped
// vCard file every time it is opened, so every fix can be tried on it again.
namespace SampleAddressBook {

// The shipped vCard file; empty when the program's shared files are not found.
QString vCardFile();
// $XDG_DATA_HOME/rolvane/SampleAddressBook.sqlite
QString storePath();

// Replaces whatever the store at storePath holds with the contacts of vCardFile and returns it
// open. nullptr and *error when the file cannot be read or the store cannot be written; an earlier
// sample store is then left as it was.
std::unique_ptr<ABAddressBook> createFresh(const QString& vCardFile, const QString& storePath, QString* error);

}  // namespace SampleAddressBook
