#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;

// The application's texts in the user's language: the catalogue rolvane_<language>.qm of the
// translations folder beside the program (share/rolvane/translations), and Qt's own for its dialogs.
namespace Translations {

// The folder the catalogues are looked for in.
QString directory();
// Installs the catalogues for the locale (by default the user's); true when one of ours was found.
bool install(QCoreApplication& application, const QLocale& locale = QLocale());

}  // namespace Translations
