#pragma once

#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/review/PhoneFixes.h"
#include "app/review/ReviewInterfaces.h"
#include "app/review/ReviewOutline.h"

class ABAddressBook;

// What one fix did.
struct FixOutcome {
  bool cancelled = false;     // the user declined the confirmation
  bool storeChanged = false;  // something was saved
  bool rowRemoved = false;    // the fixed row is no longer in the outline
  // The finding no longer held on the store as it is now: nothing was changed and its row was
  // dropped. One line naming the contact and what changed.
  std::string stale;
  std::string error;                 // a store operation failed (nothing is half-saved)
  bool conflict = false;             // another program changed or removed a contact of the fix
  std::vector<std::string> changes;  // one readable line per change

  bool ok() const { return error.empty(); }
};

// Applies fix options to rows of the review outline: acts on the store, saves, and shrinks the
// outline. The Fix button uses the outline's selection; the command line names rows directly.
// What each option does is declared with its category (app/review/conditions/), made of the steps
// below.
class FixActions {
 public:
  FixActions(ReviewOutline& outline, ABAddressBook& book, ReviewQuestions& questions,
             ContactsApplication* contacts = nullptr);

  // Applies an option of the category to one of its contact rows. First it checks that the finding
  // still holds on the persons as the store holds them now; when it does not, nothing changes and
  // the row is dropped (FixOutcome::stale). After every fix, rows whose contacts are no longer in
  // the store leave every category. The selection is left alone (cleared only when its row goes).
  FixOutcome apply(const ReviewCategories::Category& category, PersonItem* row, const std::string& option);

  FixOutcome fixClick() { return FixFounction(); }
  // The selected option on the selected row, then the next row is selected.
  FixOutcome FixFounction();

  // After the store changed under the outline (an undo, a restore, a sync, another program's save):
  // every finding is checked again on the store as it is now, as a fix checks its own first; those
  // that no longer hold leave the outline (categories they empty go too). Returns how many went.
  size_t recheckFindings();

  // The members of the person's duplicate group, by their values in the store now (store order).
  std::vector<ABPersonRef> duplicateGroupOf(const ABPerson& person) const;

  // The contacts a merge of the row's finding takes, as the store holds them now (store order for
  // duplicates and similar contacts); empty with *why when the finding no longer holds or its
  // contacts are not merged. For the merge the user steers ("Merge contacts…").
  std::vector<ABPersonRef> membersToMerge(const ReviewCategories::Category& category, const PersonItem& row,
                                          std::string* why = nullptr);

  static inline const std::string kDeleteTitle = "Are you sure you want to delete the selected person ?";
  static inline const std::string kDeleteMessage = "This person will also delete from Contacts. ";

  // The steps the options are made of, for the fix that runs.
  ReviewOutline& outline() const { return outline_; }
  ABAddressBook& book() const { return book_; }
  const std::string& option() const { return option_; }
  // The row's person as the store holds it now (nullptr when it is no longer there).
  const ABPersonRef& person() const { return person_; }
  // The store's record of the person now (by unique id); nullptr when it is no longer there.
  ABPersonRef stored(const ABPerson& person) const;
  // Saves the store as one change set with this description (a line a user understands).
  bool save(const std::string& description);
  bool confirmDelete();
  // Asks before a group card is deleted, naming it.
  bool confirmDeleteGroup(const std::string& name);
  // Asks before a value is removed from a contact (with the default button's title).
  bool confirmRemoval(const std::string& question, const std::string& message, const std::string& button);
  // Asks before a merge, naming how many contacts will become one.
  bool confirmMerge(size_t contacts);
  // Records that the persons are not the same person (about the value, when given): a change set
  // of its own that changes no contact; who names them in the history ("2 contacts named Ann Lee").
  bool markNotSamePerson(const std::vector<ABPersonRef>& persons, const std::string& value, const std::string& who);
  // A mark of the user was saved: a change set of its own that changes no contact.
  void markSaved() { outcome_.storeChanged = true; }
  void deleteThisContact(PersonItem* row);
  void removeProperty(PersonItem* row, const std::string& property, const std::string& what);
  void removeDuplicateValues(PersonItem* row, const std::string& property, const std::string& what,
                             const std::string& plural);
  void setFirstName(PersonItem* row, const std::string& firstName, const std::string& description);
  void editInContacts(PersonItem* row);
  // Sets the person's new phone numbers and saves; `what` is "removed" or "rewrote".
  void rewritePhones(PersonItem* row, const PhoneRewrite& rewrite, const std::string& what);
  // Removes the persons, adds the merged one (when given) and saves once; on failure the book is put
  // back as last saved and false returned.
  // description is given how many persons were removed.
  bool replaceInOneSave(const std::vector<ABPersonRef>& removed, const ABPersonRef& added,
                        const std::function<std::string(size_t removed)>& description);
  // Merges the persons into the winner of the merge (mergeWinner: it keeps its unique id, place and
  // card), removes the others and saves once; on failure the book is put back as last saved.
  bool mergeInOneSave(const std::vector<ABPersonRef>& persons);
  // Removes the category row once it is left without contacts.
  void closingStep(PersonItem* father);
  void note(std::string change) { outcome_.changes.push_back(std::move(change)); }
  void fail(const std::string& what);

  // How the fixes name a person: in the lines of changes ("Ann Lee <UID>"), in a change set
  // ("Ann Lee"); "3 contacts", "1 duplicate"; "Ann Lee, Anna Lee and 3 others"; "Merged 2 contacts
  // into Ann Lee".
  // The entries of a list that "Delete the duplicate property" removes: each whose value an earlier
  // entry holds already (whatever the labels), by index.
  static std::vector<size_t> repeatedEntries(const ABMultiValue& list);
  static std::string who(const ABPerson& person);
  static std::string named(const ABPerson& person);
  static std::string contacts(size_t count, const std::string& noun = "contact");
  static std::string namesOf(const std::vector<ABPersonRef>& persons);
  static std::string mergedInto(size_t members, const ABPerson& merged);
  static std::string inQuotes(const std::string& text);

 private:
  // Why the row's finding no longer holds on the store as it is now; nullopt while it holds.
  std::optional<std::string> staleReason(const ReviewCategories::Category& category, const PersonItem& row) const;

  // The persons of the book by duplicate group key and their places in store order, read once.
  struct DuplicateIndex {
    std::unordered_map<std::string, std::vector<ABPersonRef>> byKey;
    std::unordered_map<const ABPerson*, size_t> position;
  };
  mutable std::optional<DuplicateIndex> duplicates_;
  std::vector<ABPersonRef> touched_;    // persons the fixes of this object changed
  mutable size_t duplicatesFiled_ = 0;  // of touched_, those filed in duplicates_ under their keys now
  // The book's group cards, found at the first merge of a change set, for its other merges.
  std::optional<std::vector<ABPersonRef>> groupCards_;

  ReviewOutline& outline_;
  ABAddressBook& book_;
  ReviewQuestions& questions_;
  ContactsApplication* contacts_;
  std::string option_;
  ABPersonRef person_;  // the row's person as the store holds it, while a fix runs
  FixOutcome outcome_;
};
