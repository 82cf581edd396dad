#include "app/review/ReviewCategories.h"

namespace ReviewCategories {

namespace {

using namespace Option;

// Built on first use, so that the option titles they copy are already constructed.
struct Matrices {
  const FixMatrix kMatrixBadSuffix{"matrixBadSuffix", {kRemoveSuffix, kDeleteContact}};
  const FixMatrix kMatrixBadTitle{"matrixBadTitle", {kRemoveTitle, kDeleteContact}};
  const FixMatrix kMatrixOneName{"matrixOneName", {kConvertToCompany, kUseQuestionMarks, kDeleteContact}};
  const FixMatrix kMatrixSpaceInName{"matrixSpaceInName", {kRemoveSpace, kHyphenate, kDeleteContact}};
  const FixMatrix kMatrixDupContact{"matrixDupContact", {kMerge, kDeleteDuplicates, kDeleteContact, kNotSamePerson}};
  const FixMatrix kMatrixShareEmail{"matrixShareEmail",
                                    {kMerge, kDeleteDuplicates, kRemoveEmail, kDeleteContact, kNotSamePerson}};
  const FixMatrix kDuplicateMatrix{"duplicateMatrix", {kDeleteDuplicateProperty}};
  const FixMatrix kMatrixEmptyNotes{"matrixEmptyNotes", {kDeleteBlankProperty}};
  const FixMatrix kMatrixInvalidChar{"matrixInvalidChar", {kEditInContacts}};
  const FixMatrix kMatrixBlankName{"matrixBlankName", {kEditInContacts, kDeleteContact}};
  const FixMatrix kMatrixSimilar{"matrixSimilar", {kMerge, kNotSamePerson}};
  const FixMatrix kMatrixPhoneFormat{"matrixPhoneFormat", {kWriteInternational, kWriteE164, kKeepAsItIs}};
};

const Matrices& m() {
  static const Matrices matrices;
  return matrices;
}

}  // namespace

const std::vector<Category>& all() {
  static const std::vector<Category> categories = {
      {"UnusualSuffix", kUnusualSuffix, "has unusual suffix.",
       "\"%@\" isn't an allowed suffix which is showed in the Preferences. Syncing unusual suffixes can cause names to "
       "get mangled",
       &m().kMatrixBadSuffix, 16, 75, false},
      {"UnusualTitle", kUnusualTitle, "has unusual title.",
       "\"%@\" isn't an allowed title which is showed in the Preference. Syncing unusual titles can cause names to get "
       "mangled.",
       &m().kMatrixBadTitle, 16, 75, false},
      {"SingleName", kIncompleteName, "the name is incomplete",
       "This is not a full name which means first or last name is missing or blank. In most cases, single-name "
       "contacts that aren't a single person should be converted to a company contact.",
       &m().kMatrixOneName, 16, 32, false},
      {"SpaceInFirstName", kSpacingInFirstName, "has space(s) in the first name",
       "This contact has space character(s) in the first name. In some cases these names can become transposed after "
       "syncing with Google.",
       &m().kMatrixSpaceInName, 16, 32, false},
      {"DuplicateContacts", kDuplicateContacts, "appears more than once",
       "This contact appears more than once in Contacts", &m().kMatrixDupContact, 16, 32, false},
      {"EmptyNotes", kNoteWithSpacing, "has space(s) in note",
       "The note of this contact has space character(s). The notes field should probably be deleted.",
       &m().kMatrixEmptyNotes, 16, 90, true},
      {"DupEmail", kDuplicateEmail, "has duplicate email address", "This contact has duplicated email address",
       &m().kDuplicateMatrix, 16, 90, true},
      {"DupPhone", kDuplicatePhone, "has duplicate phone number", "This contact has duplicated phone number",
       &m().kDuplicateMatrix, 16, 90, true},
      {"DupAddress", kDuplicateAddress, "has duplicate address", "This contact has duplicated address",
       &m().kDuplicateMatrix, 16, 90, true},
      {"EmptyNickname", kNicknameWithSpacing, "has space(s) in nickname",
       "The nickname of this contact has space character(s). The nickname field might show up as "
       "\xE2\x80\x9C\xE2\x80\x9D "
       "on some devices.",
       &m().kMatrixEmptyNotes, 16, 90, true},
      {"BlankName", kBlankName, "has no name.",
       "This contact has no name or the name is empty. This contact might not show up or sync correctly.",
       &m().kMatrixBlankName, 16, 75, false},
      {"ShareEmail", kShareEmail, "has the same email address with others", "", &m().kMatrixShareEmail, 16, 0, false},
      {"InvalidChar", kInvalidCharacters, "exist invalid characters", "This contact contains invalid character.",
       &m().kMatrixInvalidChar, 16, 90, true},
      {"SimilarContacts", kSimilarContacts, "is probably the same person as another contact", "", &m().kMatrixSimilar,
       16, 75, false},
      {"DupPhoneFormat", kPhoneWrittenDifferently, "has the same phone number written differently", "",
       &m().kDuplicateMatrix, 16, 90, true},
      {"PhoneFormat", kPhoneFormat, "has a phone number not in international format", "", &m().kMatrixPhoneFormat, 16,
       32, false},
  };
  return categories;
}

const Category* byTitle(const std::string& title) {
  for (const auto& category : all())
    if (category.title == title) return &category;
  return nullptr;
}

const Category* byConditionKey(const std::string& key) {
  for (const auto& category : all())
    if (category.conditionKey == key) return &category;
  return nullptr;
}

const std::vector<const FixMatrix*>& matrices() {
  static const std::vector<const FixMatrix*> list = {
      &m().kMatrixBadSuffix,   &m().kMatrixBadTitle,   &m().kMatrixOneName,   &m().kMatrixSpaceInName,
      &m().kMatrixDupContact,  &m().kMatrixShareEmail, &m().kDuplicateMatrix, &m().kMatrixEmptyNotes,
      &m().kMatrixInvalidChar, &m().kMatrixBlankName,  &m().kMatrixSimilar,   &m().kMatrixPhoneFormat};
  return list;
}

}  // namespace ReviewCategories
