#include "platform/sync/SyncEngine.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ShownName.h"
#include "platform/addressbook/vcard/VCardImporter.h"
#include "platform/addressbook/vcard/VCardPersonWriter.h"

namespace {

std::string contactsCounted(size_t count) {
  return std::to_string(count) + (count == 1 ? " contact" : " contacts");
}

// How the history names what a sync did to the store: "2 contacts added, 1 contact changed".
std::string storeChanges(int added, int changed, int removed) {
  std::string text;
  auto part = [&](int count, const char* what) {
    if (count == 0) return;
    if (!text.empty()) text += ", ";
    text += contactsCounted(static_cast<size_t>(count)) + " " + what;
  };
  part(added, "added");
  part(changed, "changed");
  part(removed, "removed");
  return text.empty() ? "no contact changed" : text;
}

std::string cardOf(const ABPerson& person) {
  return vCardForPerson(*person.snapshot(), VCardVersion::AsRead);
}

std::string cardOf(const ABPersonData& data) {
  return vCardForPerson(data, VCardVersion::AsRead);
}

// A card's content lines, unfolded, each with its parameters in one order, and the lines grouped
// by property in their order within each property: what stays when a server writes a card back with
// the same values in another form (servers order lines and parameters as they like).
std::vector<std::string> cardLines(const std::string& card) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < card.size()) {
    std::size_t end = card.find('\n', start);
    if (end == std::string::npos) end = card.size();
    std::string line = card.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && (line[0] == ' ' || line[0] == '\t') && !lines.empty())
      lines.back() += line.substr(1);
    else if (!line.empty())
      lines.push_back(std::move(line));
    start = end + 1;
  }
  std::vector<std::pair<std::string, std::string>> keyed;  // property name, line
  for (auto& line : lines) {
    // The name and parameters end at the first colon outside quotes.
    std::vector<std::string> parts(1);
    std::size_t valueAt = line.size();
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
      char c = line[i];
      if (c == '"') quoted = !quoted;
      if (!quoted && c == ':') {
        valueAt = i;
        break;
      }
      if (!quoted && c == ';')
        parts.emplace_back();
      else
        parts.back() += c;
    }
    std::string name = parts.front();
    std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::toupper(c); });
    // Parameter names are case-insensitive; their values are kept as they are.
    for (std::size_t i = 1; i < parts.size(); ++i) {
      std::size_t equals = std::min(parts[i].find('='), parts[i].size());
      std::transform(parts[i].begin(), parts[i].begin() + static_cast<std::ptrdiff_t>(equals), parts[i].begin(),
                     [](unsigned char c) { return std::toupper(c); });
    }
    std::sort(parts.begin() + 1, parts.end());
    std::string canonical = name;
    for (std::size_t i = 1; i < parts.size(); ++i) canonical += ";" + parts[i];
    canonical += line.substr(valueAt);
    keyed.emplace_back(name, std::move(canonical));
  }
  std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<std::string> canonical;
  for (auto& [name, line] : keyed) canonical.push_back(std::move(line));
  return canonical;
}

// Whether two cards say the same, whatever the order of their lines and parameters.
bool sameCard(const std::string& a, const std::string& b) {
  return a == b || cardLines(a) == cardLines(b);
}

// How a contact is named in a report line.

// The card of a source read as a person's values, given the unique id it is to have.
bool readCard(const std::string& text, const std::string& href, ABPersonData& data, std::string* error) {
  VCardImportResult read = VCardImporter::importText(text, href);
  if (!read.ok()) {
    if (error) *error = read.error;
    return false;
  }
  if (read.persons.size() != 1) {
    if (error) *error = href + ": holds " + std::to_string(read.persons.size()) + " cards instead of one";
    return false;
  }
  data = std::move(read.persons.front());
  return true;
}

// Whether the card text a source gives holds what was written (wrote, the store's card of the
// person with that unique id), whatever form the source gave it.
bool holdsCard(const std::string& text, const std::string& uid, const std::string& wrote) {
  if (sameCard(text, wrote)) return true;
  ABPersonData data;
  if (!readCard(text, "", data, nullptr)) return false;
  data.set(kABUIDProperty, ABValue(uid));
  return sameCard(vCardForPerson(data, VCardVersion::AsRead), wrote);
}

std::string uidOf(const ABPersonData& data) {
  const std::string* uid = data.string(kABUIDProperty);
  return uid ? *uid : std::string();
}

void giveUid(ABPersonData& data, const std::string& uid) {
  data.set(kABUIDProperty, ABValue(uid));
}

// The name of a source's folder of kept cards: the source's name, made a plain folder name whatever
// it holds (names are checked when linked; a store may be older than the check).
std::string keptFolderName(const std::string& name) {
  std::string folder;
  for (unsigned char c : name) folder += (c == '/' || c == '\\' || c < 0x20 || c == 0x7f) ? '_' : static_cast<char>(c);
  if (folder.empty() || folder[0] == '.') folder = "_" + folder;
  return folder;
}

// Writes the card a sync replaces or removes from the store into the folder of kept cards beside
// the store, under a name of its own, and gives back its path (empty when it could not be written).
std::string keepCard(const std::filesystem::path& folder, const std::string& uid, const std::string& card) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  std::string stem;
  for (char c : uid) stem += (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') ? c : '_';
  if (stem.empty()) stem = "card";
  std::filesystem::path path = folder / (stem + ".vcf");
  for (int n = 0; std::filesystem::exists(path, ec); ++n) path = folder / (stem + "(" + std::to_string(n) + ").vcf");
  std::ofstream out(path, std::ios::binary);
  out << card;
  out.close();
  return out ? path.string() : std::string();
}

}  // namespace

std::string SyncReport::summary() const {
  std::ostringstream line;
  line << source << ": " << addedToStore << " added, " << changedInStore << " changed, " << removedFromStore
       << " deleted in the store; " << addedToSource << " added, " << changedInSource << " changed, "
       << removedFromSource << " deleted in the source";
  if (!conflicts.empty()) line << "; " << conflicts.size() << (conflicts.size() == 1 ? " conflict" : " conflicts");
  if (!errors.empty()) line << "; " << errors.size() << (errors.size() == 1 ? " card not synced" : " cards not synced");
  return line.str();
}

std::vector<std::string> SyncReport::errorLines() const {
  constexpr std::size_t kShownAlike = 3;
  // The cause is what follows the line's last ": " (the system's or the server's words).
  auto causeOf = [](const std::string& line) {
    auto at = line.rfind(": ");
    return at == std::string::npos ? line : line.substr(at + 2);
  };
  std::map<std::string, std::size_t> alike;
  for (const auto& line : errors) ++alike[causeOf(line)];
  std::vector<std::string> lines;
  std::set<std::string> collapsed;
  for (const auto& line : errors) {
    std::string cause = causeOf(line);
    std::size_t count = alike[cause];
    if (count <= kShownAlike) {
      lines.push_back(line);
    } else if (collapsed.insert(cause).second) {
      lines.push_back(source + ": " + std::to_string(count) + " cards not synced: " + cause + " (the first: " + line +
                      ")");
    }
  }
  return lines;
}

namespace {

// One sync of one source, phase by phase: what the source lists, what is linked, the check for a
// mass deletion, the pull of cards changed there (and of cards gone there) into the store, the push
// of persons changed here, the cards new to the source, the cards deleted again, the read-back of
// what was written, and what is recorded. Each phase that can fail outright says why (fail) and the
// sync stops there, having changed nothing it has not recorded.
class SyncPass {
 public:
  SyncPass(ABAddressBook& book, SyncState& state, const SyncOptions& options, const SyncSource& source,
           bool firstSource, CardCollection& collection, SyncReport& report, std::string* error)
      : book_(book),
        state_(state),
        options_(options),
        source_(source),
        firstSource_(firstSource),
        collection_(collection),
        report_(report),
        error_(error),
        keptFolder_(book.path().parent_path() / "Kept by sync" / keptFolderName(source.name)) {}

  bool run() {
    if (!listSource() || !gatherLinks() || !allowedDeletions() || !fetchChanged()) return false;
    pull();
    takeOutGone();
    if (!savePull()) return false;
    pushChanges();
    if (!addNewCards()) return false;
    deleteAgainCards();
    readBack();
    return record();
  }

 private:
  bool fail(const std::string& why_) {
    if (error_) *error_ = source_.name + ": " + why_;
    return false;
  }
  ABPersonRef localPerson(const SyncItem& item) { return book_.recordForUniqueId(item.uid); }
  std::string keptNote(const std::string& uid, const std::string& card) {
    std::string path = keepCard(keptFolder_, uid, card);
    return path.empty() ? std::string("; the store's version could not be kept")
                        : "; the store's version is kept in " + path;
  }
  struct Refused {
    std::string href;
    const SyncItem* item;  // null for a new card
    ABPersonRef person;    // null for a card deleted here
  };

  bool listSource();
  bool gatherLinks();
  bool allowedDeletions();
  bool fetchChanged();
  void pull();
  void takeOutGone();
  bool savePull();
  // The cards changed there since they were read: the source's version wins, now.
  void settleConflicts(const std::vector<Refused>& refused);
  void pushChanges();
  bool addNewCards();
  void deleteAgainCards();
  void readBack();
  bool record();

  ABAddressBook& book_;
  SyncState& state_;
  const SyncOptions& options_;
  const SyncSource& source_;
  const bool firstSource_;
  CardCollection& collection_;
  SyncReport& report_;
  std::string* error_;

  std::string why_;
  std::map<std::string, SyncItem> items_;      // what the last sync recorded, by href
  std::map<std::string, std::string> remote_;  // the source's cards now: href -> ETag
  // Persons linked to any other source, so that a card of this one is never matched to one of them.
  std::set<std::string> linkedElsewhere_;
  // What a sync replaces or removes in the store stays at hand as cards in a folder beside the store.
  const std::filesystem::path keptFolder_;
  int keptRemoved_ = 0;
  std::map<std::string, ABPersonRef> trashed_;  // by unique id
  std::map<std::string, CardCollection::Card> fetched_;
  std::vector<SyncItem> recorded_;                  // items to remember after this sync
  std::vector<std::string> forgotten_;              // hrefs to forget
  std::set<std::string> linkedHere_;                // unique ids linked to this source after the pull
  std::vector<ABPersonRef> pulled_;                 // persons the pull added or changed, saved together
  std::vector<CardCollection::Write> deleteAgain_;  // cards of deleted contacts come back unchanged
  std::vector<SyncItem> recreate_;                  // deleted there, changed here: written again
  std::vector<ABPersonRef> settled_;                // persons to which a refused write brought the source's version
  // Written cards count as written once read back as written (pushed); removals once done.
  struct Pushed {
    SyncItem item;
    bool added;
  };
  std::vector<Pushed> pushed_;
};

bool SyncPass::listSource() {
  if (!state_.items(source_.name, items_, &why_)) return fail(why_);
  // The source's cards with their ETags: what changed since the last sync applied to what that sync
  // saw, where the source can tell; else the whole list.
  bool listed = false;
  {
    std::map<std::string, std::string> changed;
    std::vector<std::string> removed;
    const std::string since = items_.empty() ? std::string() : source_.syncToken;
    switch (collection_.changesSince(since, changed, removed, report_.syncToken, &why_)) {
      case CardCollection::ChangesStatus::Failed:
        return fail(why_);
      case CardCollection::ChangesStatus::Done:
        if (!since.empty())
          for (const auto& [href, item] : items_) remote_.emplace(href, item.etag);
        for (const auto& href : removed) remote_.erase(href);
        for (auto& [href, etag] : changed) remote_[href] = std::move(etag);
        listed = true;
        break;
      case CardCollection::ChangesStatus::Unsupported:
      case CardCollection::ChangesStatus::TokenExpired:
        report_.syncToken.clear();
        break;
    }
  }
  if (!listed && !collection_.list(remote_, &why_)) return fail(why_);
  // A linked card the collection would not list (its href no longer passes) is not gone: it is
  // left as it was, and said so.
  for (const auto& skipped : collection_.skipped()) {
    auto item = items_.find(skipped.href);
    if (item != items_.end()) remote_.emplace(skipped.href, item->second.etag);
  }

  return true;
}

bool SyncPass::gatherLinks() {
  {
    std::vector<SyncSource> all;
    if (!state_.sources(all, &why_)) return fail(why_);
    for (const auto& other : all) {
      if (other.name == source_.name) continue;
      std::map<std::string, SyncItem> otherItems;
      if (!state_.items(other.name, otherItems, &why_)) return fail(why_);
      for (const auto& [href, item] : otherItems) linkedElsewhere_.insert(item.uid);
    }
  }

  // A person the user deleted is in the trash. One that left the store otherwise (an undo took back
  // the change that brought it in) was never deleted: its card stays in the source and comes back
  // at the next sync, as any card new to the store.
  {
    std::vector<ABTrashEntry> trash;
    if (!book_.trash(trash, &why_)) return fail(why_);
    for (const auto& entry : trash) trashed_.emplace(entry.person->uniqueId(), entry.person);
  }

  return true;
}

bool SyncPass::allowedDeletions() {
  // What this sync would delete, before it changes anything: a source that suddenly lists far fewer
  // cards (a folder on a drive not mounted, a server that lost its data) must not empty the store.
  int inStore = 0, inSource = 0;
  for (const auto& [href, item] : items_) {
    ABPersonRef person = localPerson(item);
    if (!remote_.count(href)) {
      if (person && cardOf(*person) == item.card) ++inStore;
    } else if (!person && trashed_.count(item.uid)) {
      ++inSource;
    }
  }
  const int wouldDelete = inStore + inSource;
  if (!options_.allowMassDelete && wouldDelete > SyncOptions::kMassDeleteCount &&
      2 * static_cast<std::size_t>(wouldDelete) > items_.size()) {
    report_.stoppedByMassDelete = true;
    report_.wouldDeleteInStore = inStore;
    report_.wouldDeleteInSource = inSource;
    std::string where;
    if (inStore > 0)
      where = std::to_string(inStore) + " from the store, gone from " + collection_.describe() + " (" +
              std::to_string(remote_.size()) + " cards listed there now)";
    if (inSource > 0)
      where += (where.empty() ? "" : ", ") + std::to_string(inSource) + " in the source, deleted in the store";
    return fail("stopped without changing anything: this sync would delete " + contactsCounted(wouldDelete) +
                " of the " + std::to_string(items_.size()) + " linked to it (" + where + "), more than half of them");
  }
  return true;
}

bool SyncPass::fetchChanged() {
  std::vector<std::string> toFetch;
  for (const auto& [href, etag] : remote_) {
    auto item = items_.find(href);
    if (item == items_.end() || item->second.etag != etag) toFetch.push_back(href);
  }
  if (!collection_.fetch(toFetch, fetched_, &why_)) return fail(why_);

  return true;
}

// Step 1: from the source to the store.
void SyncPass::pull() {
  for (const auto& [href, item] : items_) linkedHere_.insert(item.uid);
  for (const auto& [href, etag] : remote_) {
    auto itemIt = items_.find(href);
    if (itemIt != items_.end() && itemIt->second.etag == etag) continue;  // unchanged there
    auto cardIt = fetched_.find(href);
    if (cardIt == fetched_.end()) continue;  // gone meanwhile: the next sync sees it gone
    ABPersonData data;
    if (!readCard(cardIt->second.text, href, data, &why_)) {
      report_.errors.push_back(source_.name + ": " + why_);
      continue;
    }
    std::string cardEtag = cardIt->second.etag.empty() ? etag : cardIt->second.etag;

    if (itemIt != items_.end()) {
      const SyncItem& item = itemIt->second;
      giveUid(data, item.uid);
      std::string theirs = cardOf(data);
      if (sameCard(theirs, item.card)) {
        // A new version of the same card (a touched or restored file): nothing changed there.
        recorded_.push_back({href, item.uid, cardEtag, item.card});
        continue;
      }
      ABPersonRef person = localPerson(item);
      if (!person) {
        // Deleted here, changed there: kept with the change.
        auto revived = std::make_shared<ABPerson>(std::move(data));
        if (!book_.addRecord(revived, &why_)) {
          report_.errors.push_back(source_.name + ": " + href + ": " + why_);
          continue;
        }
        pulled_.push_back(revived);
        ++report_.addedToStore;
        recorded_.push_back({href, item.uid, cardEtag, theirs});
        continue;
      }
      std::string mine = cardOf(*person);
      if (!sameCard(mine, theirs)) {
        if (mine != item.card)
          report_.conflicts.push_back(shownName(*person->snapshot()) + " was changed in the store and in " +
                                      source_.name + "; kept the version of " + source_.name +
                                      keptNote(item.uid, mine));
        person->replaceData(std::move(data));
        pulled_.push_back(person);
        ++report_.changedInStore;
      }
      recorded_.push_back({href, item.uid, cardEtag, cardOf(*person)});
      continue;
    }

    // A card new to this sync. A person of the store with its unique id and linked nowhere is that
    // card (an earlier sync wrote it and was cut short, or the store was filled from a copy).
    std::string uid = uidOf(data);
    ABPersonRef person = uid.empty() ? nullptr : book_.recordForUniqueId(uid);
    if (person && !linkedHere_.count(uid) && !linkedElsewhere_.count(uid)) {
      std::string theirs = cardOf(data);
      std::string mine = cardOf(*person);
      if (!sameCard(mine, theirs)) {
        report_.conflicts.push_back(shownName(*person->snapshot()) + " differs in the store and in " + source_.name +
                                    "; kept the version of " + source_.name + keptNote(uid, mine));
        person->replaceData(std::move(data));
        pulled_.push_back(person);
        ++report_.changedInStore;
      }
      linkedHere_.insert(uid);
      recorded_.push_back({href, uid, cardEtag, cardOf(*person)});
      continue;
    }
    if (!person && !uid.empty() && !linkedHere_.count(uid) && !linkedElsewhere_.count(uid)) {
      auto gone = trashed_.find(uid);
      if (gone != trashed_.end()) {
        if (sameCard(cardOf(data), cardOf(*gone->second))) {
          // The card of a contact deleted (or merged away) in the store, back as it was: deleted again.
          deleteAgain_.push_back({href, std::string(), cardEtag, true});
          continue;
        }
        report_.conflicts.push_back(shownName(data) + " was deleted or merged away in the store and changed in " +
                                    source_.name + " since; kept the version of " + source_.name +
                                    " as a contact of its own");
      }
    }
    if (person) data.remove(kABUIDProperty);  // the id is taken by another contact: a new one
    auto added = std::make_shared<ABPerson>(std::move(data));
    if (!book_.addRecord(added, &why_)) {
      report_.errors.push_back(source_.name + ": " + href + ": " + why_);
      continue;
    }
    pulled_.push_back(added);
    linkedHere_.insert(added->uniqueId());
    ++report_.addedToStore;
    recorded_.push_back({href, added->uniqueId(), cardEtag, cardOf(*added)});
  }
}

// Cards gone from the source.
void SyncPass::takeOutGone() {
  for (const auto& [href, item] : items_) {
    if (remote_.count(href)) continue;
    ABPersonRef person = localPerson(item);
    if (person && cardOf(*person) != item.card) {
      recreate_.push_back(item);
      continue;
    }
    if (person) {
      // Deleted in the source: the store's card is kept in the folder of kept cards.
      if (keepCard(keptFolder_, item.uid, cardOf(*person)).empty()) {
        report_.errors.push_back(source_.name + ": " + href +
                                 ": not removed from the store, its card could not be kept in " + keptFolder_.string());
        continue;
      }
      ++keptRemoved_;
      if (!book_.removeRecord(person, &why_)) {
        report_.errors.push_back(source_.name + ": " + href + ": " + why_);
        continue;
      }
      ++report_.removedFromStore;
    }
    forgotten_.push_back(href);
    linkedHere_.erase(item.uid);
  }
}

bool SyncPass::savePull() {
  if (keptRemoved_ > 0)
    report_.kept.push_back(std::to_string(keptRemoved_) + (keptRemoved_ == 1 ? " contact" : " contacts") +
                           " deleted in " + source_.name + " left the store; the cards are kept in " +
                           keptFolder_.string());
  if (book_.hasUnsavedChanges()) {
    book_.setNextChangeDescription(
        "Synced with " + source_.name + ": " +
        storeChanges(report_.addedToStore, report_.changedInStore, report_.removedFromStore));
    book_.keepRevisionsInNextSave();  // the source's cards, with the revisions it gave them
    if (!book_.save(&why_)) {
      book_.revert(nullptr);
      return fail("the address book could not be saved, nothing was changed: " + why_);
    }
  }
  if (!state_.updateItems(source_.name, recorded_, forgotten_, &why_)) return fail(why_);
  for (const auto& item : recorded_) items_[item.href] = item;
  for (const auto& href : forgotten_) items_.erase(href);
  recorded_.clear();
  forgotten_.clear();

  return true;
}

void SyncPass::settleConflicts(const std::vector<Refused>& refused) {
  if (refused.empty()) return;
  std::vector<std::string> hrefs;
  for (const auto& card : refused) hrefs.push_back(card.href);
  std::map<std::string, CardCollection::Card> latest;
  std::string fetchError;
  if (!collection_.fetch(hrefs, latest, &fetchError)) {
    for (const auto& card : refused) report_.errors.push_back(source_.name + ": " + card.href + ": " + fetchError);
    return;
  }
  for (const auto& [href, item, person] : refused) {
    auto card = latest.find(href);
    if (card == latest.end()) continue;  // gone too: the next sync settles it
    ABPersonData data;
    std::string readError;
    if (!readCard(card->second.text, href, data, &readError)) {
      report_.errors.push_back(source_.name + ": " + readError);
      continue;
    }
    std::string uid = item ? item->uid : person->uniqueId();
    giveUid(data, uid);
    if (person && sameCard(cardOf(*person), cardOf(data))) {
      // The source holds this card already (a write of a sync cut short that landed late, or
      // another client making the same change): nothing to settle.
      recorded_.push_back({href, uid, card->second.etag, cardOf(*person)});
      continue;
    }
    if (person) {
      report_.conflicts.push_back(shownName(*person->snapshot()) + " was changed in the store and in " + source_.name +
                                  "; kept the version of " + source_.name + keptNote(uid, cardOf(*person)));
      person->replaceData(std::move(data));
      settled_.push_back(person);
      recorded_.push_back({href, uid, card->second.etag, cardOf(*person)});
    } else {
      // Deleted here, changed there: kept with the change.
      auto revived = std::make_shared<ABPerson>(std::move(data));
      if (book_.addRecord(revived, nullptr)) {
        settled_.push_back(revived);
        recorded_.push_back({href, uid, card->second.etag, cardOf(*revived)});
        ++report_.addedToStore;
      }
    }
  }
}

// Step 2: from the store to the source. The writes go out together (a server may take several at
// once); each names the version last seen, and those refused are settled after the others.
void SyncPass::pushChanges() {
  std::vector<CardCollection::Write> writes;
  std::vector<std::pair<const SyncItem*, ABPersonRef>> writers;  // whose card each write is
  for (const auto& [href, item] : items_) {
    ABPersonRef person = localPerson(item);
    if (!person && !trashed_.count(item.uid)) {
      forgotten_.push_back(href);
      continue;
    }
    if (!person) {
      writes.push_back({href, std::string(), item.etag, true});
      writers.emplace_back(&item, nullptr);
      continue;
    }
    std::string mine = cardOf(*person);
    if (mine == item.card) continue;
    writes.push_back({href, std::move(mine), item.etag, false});
    writers.emplace_back(&item, person);
  }
  // Written cards count as written once read back as written (pushed); removals once done.
  std::vector<CardCollection::WriteResult> results;
  collection_.writeAll(writes, results);
  std::vector<Refused> refused;
  for (std::size_t i = 0; i < writes.size(); ++i) {
    const CardCollection::Write& write = writes[i];
    const CardCollection::WriteResult& result = results[i];
    const SyncItem& item = *writers[i].first;
    switch (result.status) {
      case CardCollection::WriteStatus::Done:
        if (write.remove) {
          ++report_.removedFromSource;
          forgotten_.push_back(write.href);
        } else {
          pushed_.push_back({{write.href, item.uid, result.etag, write.text}, false});
        }
        break;
      case CardCollection::WriteStatus::Gone:
        if (write.remove)
          forgotten_.push_back(write.href);
        else
          recreate_.push_back(item);
        break;
      case CardCollection::WriteStatus::Conflict:
        refused.push_back({write.href, &item, writers[i].second});
        break;
      case CardCollection::WriteStatus::Failed:
        report_.errors.push_back(source_.name + ": " + result.error);
        break;
    }
  }
  settleConflicts(refused);
}

bool SyncPass::addNewCards() {
  std::vector<CardCollection::WriteResult> results;
  // Persons to add to the source: changed here after being deleted there, named for this source by
  // an import, or new to the store since the last sync (these go to the first source).
  std::map<std::string, std::string> destinations;
  if (!state_.destinations(destinations, &why_)) return fail(why_);
  std::vector<std::pair<std::string, ABPersonRef>> newCards;  // preferred href, person
  for (const auto& item : recreate_)
    if (ABPersonRef person = localPerson(item)) newCards.emplace_back(item.href, person);
  for (const auto& person : book_.people()) {
    std::string uid = person->uniqueId();
    if (linkedHere_.count(uid) || linkedElsewhere_.count(uid)) continue;
    auto destination = destinations.find(uid);
    bool goesHere = destination == destinations.end() ? firstSource_ : destination->second == source_.name;
    if (!goesHere) continue;
    newCards.emplace_back(collection_.hrefForNewCard(uid), person);
  }
  std::vector<CardCollection::Write> additions;
  for (const auto& [preferred, person] : newCards) additions.push_back({preferred, cardOf(*person), "", false});
  collection_.writeAll(additions, results);
  // A name taken there: by this very card (the write of a sync cut short that landed after this
  // sync listed the source), which is then written; or by another card: those cards get names of
  // their own and go again.
  std::map<std::string, CardCollection::Card> taken;
  {
    std::vector<std::string> takenHrefs;
    for (std::size_t i = 0; i < additions.size(); ++i)
      if (results[i].status == CardCollection::WriteStatus::Conflict) takenHrefs.push_back(additions[i].href);
    if (!takenHrefs.empty()) collection_.fetch(takenHrefs, taken, nullptr);
  }
  std::vector<std::size_t> renamed;
  std::vector<CardCollection::Write> again;
  for (std::size_t i = 0; i < additions.size(); ++i) {
    if (results[i].status != CardCollection::WriteStatus::Conflict) continue;
    auto there = taken.find(additions[i].href);
    ABPersonData theirs;
    if (there != taken.end() && readCard(there->second.text, there->first, theirs, nullptr) &&
        uidOf(theirs) == newCards[i].second->uniqueId()) {
      results[i].status = CardCollection::WriteStatus::Done;
      results[i].etag = there->second.etag;
      if (!holdsCard(there->second.text, uidOf(theirs), additions[i].text)) {
        // An older version of the card: the store's goes over it.
        again.push_back({additions[i].href, additions[i].text, there->second.etag, false});
        renamed.push_back(i);
      }
      continue;
    }
    additions[i].href = collection_.hrefForNewCard(newCards[i].second->uniqueId() + "-" + ABPerson::makeUniqueId());
    renamed.push_back(i);
    again.push_back(additions[i]);
  }
  if (!again.empty()) {
    std::vector<CardCollection::WriteResult> againResults;
    collection_.writeAll(again, againResults);
    for (std::size_t k = 0; k < renamed.size(); ++k) results[renamed[k]] = againResults[k];
  }
  for (std::size_t i = 0; i < additions.size(); ++i) {
    const CardCollection::Write& write = additions[i];
    if (results[i].status == CardCollection::WriteStatus::Done) {
      pushed_.push_back({{write.href, newCards[i].second->uniqueId(), results[i].etag, write.text}, true});
    } else {
      report_.errors.push_back(source_.name + ": " +
                               (!results[i].error.empty() ? results[i].error
                                : results[i].status == CardCollection::WriteStatus::Conflict
                                    ? write.href + ": not added, the source holds another card of the same unique id"
                                    : write.href + ": cannot be added"));
    }
  }

  return true;
}

void SyncPass::deleteAgainCards() {
  // Cards of deleted contacts that came back unchanged go again.
  if (!deleteAgain_.empty()) {
    std::vector<CardCollection::WriteResult> results;
    collection_.writeAll(deleteAgain_, results);
    for (std::size_t i = 0; i < deleteAgain_.size(); ++i) {
      if (results[i].status == CardCollection::WriteStatus::Done)
        ++report_.removedFromSource;
      else if (results[i].status == CardCollection::WriteStatus::Failed)
        report_.errors.push_back(source_.name + ": " + results[i].error);
    }
  }
}

void SyncPass::readBack() {
  // What was written is read back: a source that took a card and did not keep it (or kept another)
  // has not got it, and the change goes again at the next sync rather than being taken as done.
  if (!pushed_.empty()) {
    std::vector<std::string> hrefs;
    for (const auto& card : pushed_) hrefs.push_back(card.item.href);
    std::map<std::string, CardCollection::Card> back;
    std::string readError;
    bool read = collection_.fetch(hrefs, back, &readError);
    for (auto& card : pushed_) {
      auto found = read ? back.find(card.item.href) : back.end();
      if (found == back.end() || !holdsCard(found->second.text, card.item.uid, card.item.card)) {
        report_.errors.push_back(source_.name + ": " + card.item.href + ": " +
                                 (!read                 ? "the card written cannot be read back (" + readError + ")"
                                  : found == back.end() ? "the source took the card but does not hold it"
                                                        : "the source took the card but holds another version of it") +
                                 "; it is sent again at the next sync");
        continue;
      }
      if (!found->second.etag.empty()) card.item.etag = found->second.etag;
      ++(card.added ? report_.addedToSource : report_.changedInSource);
      recorded_.push_back(card.item);
    }
  }
}

bool SyncPass::record() {
  if (!settled_.empty() && book_.hasUnsavedChanges()) {
    book_.setNextChangeDescription("Synced with " + source_.name + ": kept its versions of " +
                                   contactsCounted(settled_.size()) + " changed on both sides");
    book_.keepRevisionsInNextSave();  // the source's cards, with the revisions it gave them
    if (!book_.save(&why_)) {
      book_.revert(nullptr);
      report_.errors.push_back(source_.name +
                               ": the source's versions of conflicting cards could not be saved: " + why_);
      // Forget nothing about them, so the next sync settles them again.
      std::set<std::string> unsaved;
      for (const auto& person : settled_) unsaved.insert(person->uniqueId());
      std::erase_if(recorded_, [&](const SyncItem& item) { return unsaved.count(item.uid) > 0; });
    }
  }
  if (!state_.updateItems(source_.name, recorded_, forgotten_, &why_)) return fail(why_);
  for (const auto& skipped : collection_.skipped()) report_.errors.push_back(source_.name + ": " + skipped.why);
  if (!report_.errors.empty()) report_.syncToken = source_.syncToken;
  return true;
}

}  // namespace

bool SyncEngine::sync(const SyncSource& source, bool firstSource, CardCollection& collection, SyncReport& report,
                      std::string* error) {
  report = SyncReport{};
  report.source = source.name;
  return SyncPass(book_, state_, options_, source, firstSource, collection, report, error).run();
}
