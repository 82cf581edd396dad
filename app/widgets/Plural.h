#pragma once

#include <QString>

// A counted text as tr(text, nullptr, n) gives it: a catalogue turns "%n contact(s)" into its
// language's right form; without one (English) the "(s)" becomes "s" or nothing.
inline QString countedText(QString translated, int n) {
  if (translated.contains(QLatin1String("(s)"))) translated.replace(QLatin1String("(s)"), n == 1 ? "" : "s");
  return translated;
}
