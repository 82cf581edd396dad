#pragma once

#include <string>
#include <vector>

#include "platform/sync/CardCollection.h"
#include "platform/sync/SyncState.h"

class ABAddressBook;

struct SyncOptions {
  // A sync that would delete more than kMassDeleteCount contacts and more than half of those
  // linked to the source (a folder on a drive not mounted, a server that lists nothing) changes
  // nothing and says so, unless this is set.
  bool allowMassDelete = false;
  static constexpr int kMassDeleteCount = 10;
};

// What one sync of one source did.
struct SyncReport {
  std::string source;
  int addedToStore = 0;
  int changedInStore = 0;
  int removedFromStore = 0;
  int addedToSource = 0;
  int changedInSource = 0;
  int removedFromSource = 0;
  std::vector<std::string> conflicts;  // one line each, naming the contact
  std::vector<std::string> errors;     // one line each, naming the card; that card was left as it was
  std::vector<std::string> kept;       // where cards removed from the store were kept
  // Set when the sync stopped before changing anything because it would have deleted too many of
  // the source's contacts (SyncOptions::allowMassDelete); the counts say how many where.
  bool stoppedByMassDelete = false;
  int wouldDeleteInStore = 0;
  int wouldDeleteInSource = 0;
  // The collection's token for the state this sync brought together, to ask for the changes since
  // it next time; empty when the collection gives none. A sync that left a card behind (errors)
  // gives back the token it started from, so that the next one sees that card again.
  std::string syncToken;
  std::string summary() const;
  // The error lines to show: the lines of many cards failing for one cause (a full disk) make one
  // line, with their count and the first of them.
  std::vector<std::string> errorLines() const;
};

// Brings one source and the store together, both ways:
// - from the source: new cards are added, changed cards update their person, cards gone from the
//   source take their person out of the store;
// - to the source: persons changed since the last sync are written back whole, persons new to the
//   store (not imported from a file) are added there, persons removed are deleted there; every
//   write names the version last seen, so nothing the sync has not seen is overwritten.
// A card changed on both sides keeps the source's version; the store's version is written to the
// folder "Kept by sync/<source>" beside the store and the conflict line names the file, as is every
// card a deletion in the source takes out of the store. A card deleted on one side and changed on the
// other is kept with the change.
// A sync cut short at any point leaves both sides consistent, and the next one finishes the job:
// a card written but not yet recorded is recognised by its content and unique id.
// Only a card whose content changed is a change: a new ETag over the card as last synced (a touched
// file, a restored copy) changes nothing, and the card of a contact deleted in the store that comes
// back unchanged is deleted again. A write counts as done only once the card is read back from the
// source as written; one the source did not keep is tried again at the next sync.
class SyncEngine {
 public:
  SyncEngine(ABAddressBook& book, SyncState& state, SyncOptions options = {})
      : book_(book), state_(state), options_(options) {}

  // False and *error when the source cannot be read at all (nothing changed then); errors about
  // single cards go into the report.
  bool sync(const SyncSource& source, bool firstSource, CardCollection& collection, SyncReport& report,
            std::string* error);

 private:
  ABAddressBook& book_;
  SyncState& state_;
  SyncOptions options_;
};
