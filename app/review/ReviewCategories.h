#pragma once

#include <string>
#include <vector>

// The categories of the review outline and their fix matrices. Titles are the identities of
// categories and options everywhere in the review screen.
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
}  // namespace Option

struct FixMatrix {
  std::string name;                  // matrixBadSuffix, ...
  std::vector<std::string> options;  // cell titles, in the order shown; the first is selected first
};

struct Category {
  std::string conditionKey;  // the scan result's key
  std::string title;
  std::string rowDescription;
  std::string problemText;  // empty where it is composed ("Share Email address", the phone and similar ones)
  const FixMatrix* matrix;
  int matrixX, matrixY;  // origin of the matrix in its box
  // Whether the fix ignores the selected option and does its one action.
  bool singleAction;
};

// In outline order.
const std::vector<Category>& all();
const Category* byTitle(const std::string& title);
const Category* byConditionKey(const std::string& key);
const std::vector<const FixMatrix*>& matrices();

}  // namespace ReviewCategories
