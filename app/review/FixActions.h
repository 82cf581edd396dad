#pragma once

#include <functional>
#include <optional>
#include <string>
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

  void processDuplicateContact(PersonItem* row);
  void processOnlyOneNameContacts(PersonItem* row);
  void processBadSuffixContacts(PersonItem* row);
  void processUnusualTitleContacts(PersonItem* row);
  void processSpaceInFirstNameContacts(PersonItem* row);
  void processEmptyNotesContacts(PersonItem* row);
  void processDuplicateEmailContacts(PersonItem* row);
  void processDuplicatePhoneContacts(PersonItem* row);
  void processDuplicateAddresslContacts(PersonItem* row);
  void processEmptyNicknameContacts(PersonItem* row);
  void processShareEmailContacts(PersonItem* row);
  void processInvalidCharContacts(PersonItem* row);
  void processBlankNameContacts(PersonItem* row);
  void processSimilarContacts(PersonItem* row);
  void processPhoneWrittenDifferentlyContacts(PersonItem* row);
  void processPhoneFormatContacts(PersonItem* row);
  // Records that the person's numbers not in international form stay as they are written: a change
  // set of its own that changes no contact.
  void keepPhonesAsTheyAre(PersonItem* row);

  // The members of the person's duplicate group, found afresh in the store (store order).
  std::vector<ABPersonRef> duplicateGroupOf(const ABPerson& person) const;

  static inline const std::string kDeleteTitle = "Are you sure you want to delete the selected person ?";
  static inline const std::string kDeleteMessage = "This person will also delete from Contacts. ";

 private:
  const std::string& option() const { return option_; }
  // Saves the store as one change set with this description (a line a user understands).
  bool save(const std::string& description);
  bool confirmDelete();
  // Records that the persons are not the same person (about the value, when given): a change set
  // of its own that changes no contact; who names them in the history ("2 contacts named Ann Lee").
  bool markNotSamePerson(const std::vector<ABPersonRef>& persons, const std::string& value, const std::string& who);
  // Asks before a merge, naming how many contacts will become one.
  bool confirmMerge(size_t contacts);
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
  void closingStep(PersonItem* father);
  void note(std::string change) { outcome_.changes.push_back(std::move(change)); }
  void fail(const std::string& what);
  // The store's record of the person now (by unique id); nullptr when it is no longer there.
  ABPersonRef stored(const ABPerson& person) const;
  // Why the row's finding no longer holds on the store as it is now; nullopt while it holds.
  std::optional<std::string> staleReason(const ReviewCategories::Category& category, const PersonItem& row) const;
  // The address a shared e-mail row is about.
  std::string sharedValue(const PersonItem& row) const;
  // Why a group of similar contacts no longer stands; nullopt while it does.
  std::optional<std::string> similarStaleReason(const PersonItem& row) const;
  // The row's person and the other contacts of its group as the store holds them now, in store order.
  std::vector<ABPersonRef> similarMembers(const PersonItem& row) const;

  ReviewOutline& outline_;
  ABAddressBook& book_;
  ReviewQuestions& questions_;
  ContactsApplication* contacts_;
  std::string option_;
  ABPersonRef person_;  // the row's person as the store holds it, while a fix runs
  FixOutcome outcome_;
};
