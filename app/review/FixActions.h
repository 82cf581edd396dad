#pragma once

#include <string>
#include <vector>

#include "app/review/ReviewInterfaces.h"
#include "app/review/ReviewOutline.h"

class ABAddressBook;

// What one fix did.
struct FixOutcome {
  bool cancelled = false;            // the user declined the confirmation
  bool storeChanged = false;         // something was saved
  bool rowRemoved = false;           // the fixed row is no longer in the outline
  std::string error;                 // a store operation failed (nothing is half-saved)
  std::vector<std::string> changes;  // one readable line per change
};

// Applies fix options to rows of the review outline: acts on the store, saves, and shrinks the
// outline. The Fix button uses the outline's selection; the command line names rows directly.
class FixActions {
 public:
  FixActions(ReviewOutline& outline, ABAddressBook& book, ReviewQuestions& questions,
             ContactsApplication* contacts = nullptr);

  // Applies an option of the category to one of its contact rows. The selection is left alone
  // (cleared only when the selected row goes).
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

  // The members of the row person's duplicate group, found afresh in the store (store order).
  std::vector<ABPersonRef> duplicateGroupOf(const ABPerson& person) const;

  static inline const std::string kDeleteTitle = "Are you sure you want to delete the selected person ?";
  static inline const std::string kDeleteMessage = "This person will also delete from Contacts. ";

 private:
  const std::string& option() const { return option_; }
  bool save();
  bool confirmDelete();
  void deleteThisContact(PersonItem* row);
  void removeProperty(PersonItem* row, const std::string& property, const std::string& what);
  void removeDuplicateValues(PersonItem* row, const std::string& property, bool sendAddRecord);
  void setFirstName(PersonItem* row, const std::string& firstName);
  void editInContacts(PersonItem* row);
  // Removes the persons, adds the merged one (when given) and saves once; on failure the book is put
  // back as it was and false returned.
  bool replaceInOneSave(const std::vector<ABPersonRef>& removed, const ABPersonRef& added);
  void closingStep(PersonItem* father);
  void note(std::string change) { outcome_.changes.push_back(std::move(change)); }
  void fail(const std::string& what);

  ReviewOutline& outline_;
  ABAddressBook& book_;
  ReviewQuestions& questions_;
  ContactsApplication* contacts_;
  std::string option_;
  FixOutcome outcome_;
};
