#pragma once

#include <QString>
#include <QUrl>

// Files that ship beside the program (share/rolvane): the help document, the local product and
// support pages, the sample address book's vCard.
namespace ShippedFiles {

// The folder holding them; empty when none is found.
QString directory();
QString path(const QString& name);
// A shipped page by file name, or an address with a scheme as it is.
QUrl pageUrl(const QString& nameOrAddress);
// Makes the images compiled into the program available under ":/images/".
void loadImages();

}  // namespace ShippedFiles
