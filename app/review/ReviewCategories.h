#pragma once

#include <optional>
#include <string>
#include <vector>

class ABAddressBook;
class FixActions;
class PersonItem;
class ReviewOutline;
struct FixPreview;

// The review side of the table of conditions: for each condition of the scanner
// (app/scanner/ScanConditions) its category in the review outline, with its details text, its fix
// options (each with what it does and what its preview shows) and its re-check of a stale finding.
// Each category is one file of app/review/conditions/; all() lists them in outline order. Titles are
// the identities of categories and options everywhere in the review screen.
namespace ReviewCategories {

inline const std::string kUnusualSuffix = "Unusual Suffix";
inline const std::string kUnusualTitle = "Unusual Title";
inline const std::string kIncompleteName = "Incomplete name";
inline const std::string kSpacingInFirstName = "Spacing in first name";
inline const std::string kDuplicateContacts = "Duplicate contacts";
inline const std::string kNoteWithSpacing = "Note with spacing only";
inline const std::string kDuplicateEmail = "Duplicate Email Address";
inline const std::string kDuplicatePhone = "Duplicate Phone number";
inline const std::string kDuplicateAddress = "Duplicate Address";
inline const std::string kNicknameWithSpacing = "Nickname with spacing only";
inline const std::string kBlankName = "Blank Name";
inline const std::string kShareEmail = "Share Email address";
inline const std::string kInvalidCharacters = "Invalid Characters";
inline const std::string kSimilarContacts = "Similar contacts";
inline const std::string kPhoneWrittenDifferently = "Same phone number written differently";
inline const std::string kPhoneFormat = "Phone number not in international format";

namespace Option {
inline const std::string kRemoveSuffix = "Remove the suffix";
inline const std::string kRemoveTitle = "Remove the title";
// The title or suffix written as the allowed entry it equals once case, full stops and spaces are
// ignored; shown with that entry: Use the allowed form "Mr".
inline const std::string kUseAllowedForm = "Use the allowed form";
inline const std::string kConvertToCompany = "Convert to a company contact";
inline const std::string kUseQuestionMarks = "Use \"???\" instead of the empty name";
inline const std::string kRemoveSpace = "Remove the space";
inline const std::string kHyphenate = "Hyphenate the first name";
inline const std::string kMerge = "Merge contacts";
inline const std::string kDeleteDuplicates = "Delete the duplicate contact(s)";
inline const std::string kRemoveEmail = "Remove the email from this contact";
inline const std::string kDeleteContact = "Delete this contact";
inline const std::string kDeleteDuplicateProperty = "Delete the duplicate property";
inline const std::string kDeleteBlankProperty = "Delete the blank property";
inline const std::string kEditInContacts = "Edit in Contacts";
inline const std::string kWriteInternational = "Write in international format";
inline const std::string kWriteE164 = "Write in E.164 format";
// Changes no contact: records that the persons of the finding are different people.
inline const std::string kNotSamePerson = "Not the same person";
// Changes no contact: records that the numbers are kept as they are written.
inline const std::string kKeepAsItIs = "Keep as it is";
inline const std::string kRenameToMostUsed = "Rename to the most used spelling";
inline const std::string kDeleteGroup = "Delete the group";
inline const std::string kShrinkPhoto = "Shrink the photo";
inline const std::string kRemovePhoto = "Remove the photo";
inline const std::string kRemovePhotoFromContact = "Remove the photo from this contact";
}  // namespace Option

struct FixMatrix {
  std::string name;                  // matrixBadSuffix, ...
  std::vector<std::string> options;  // cell titles, in the order shown; the first is selected first
};

struct Category;

// What a preview or a details text is drawn from: a contact row of the category, selected in the
// outline. The book is the store as it is now (nullptr where the details pane is drawn without it).
struct RowOf {
  const ReviewOutline& outline;
  const PersonItem& row;
  const Category& category;
  const ABAddressBook* book;
};

// One fix option of a category: its title, what it does to a contact row (FixActions::apply calls
// it once the finding is found still to hold) and what its preview shows.
struct FixOption {
  std::string title{};
  void (*act)(FixActions& actions, PersonItem* row) = nullptr;
  void (*preview)(FixPreview& preview, const RowOf& of) = nullptr;
  // What the option's button says for a row, where it says more than the title; nullptr: the title.
  std::string (*label)(const RowOf& of) = nullptr;
  // Whether the row is offered the option (nullptr: every row is). A row not offered it does not
  // show it, and the first option it is offered stands selected for it instead.
  bool (*offered)(const RowOf& of) = nullptr;
  bool offeredFor(const RowOf& of) const { return !offered || offered(of); }
};

struct Category {
  // Every member has a default, so that a category's file names only what it sets.
  std::string conditionKey{};  // the scan result's key
  std::string title{};
  std::string rowDescription{};
  std::string problemText{};  // empty where it is composed (details)
  const FixMatrix* matrix = nullptr;
  int matrixX = 0, matrixY = 0;  // origin of the matrix in its box
  // Whether the fix ignores the selected option and does its one action.
  bool singleAction = false;
  // The options in the order shown; the matrix holds their titles.
  std::vector<FixOption> fixes{};
  // The details pane's text for a row; nullptr: problemText as it is.
  std::string (*details)(const RowOf& of) = nullptr;
  // Why a row's finding no longer holds on the store as it is now (FixActions::person()); nullopt
  // while it holds. nullptr: the scanner's test of the condition on the person, and noLongerMeets.
  std::optional<std::string> (*stale)(const FixActions& actions, const PersonItem& row) = nullptr;
  std::string noLongerMeets = "the finding no longer holds";

  // The option of this title; nullptr when the category has none.
  const FixOption* fix(const std::string& option) const;
};

// A category as its file declares it, its matrix named `matrixName` (categories of one matrix name
// share one matrix, and with it the option selected in it).
Category declare(Category category, const std::string& matrixName);

// In outline order.
const std::vector<Category>& all();
const Category* byTitle(const std::string& title);
const Category* byConditionKey(const std::string& key);
const std::vector<const FixMatrix*>& matrices();

}  // namespace ReviewCategories
