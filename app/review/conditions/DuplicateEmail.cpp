#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// An e-mail address standing twice on one contact, whatever the labels.
const RC::Category& ReviewConditions::duplicateEmail() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "DupEmail",
          .title = RC::kDuplicateEmail,
          .rowDescription = "has duplicate email address",
          .problemText = "This contact has duplicated email address",
          .matrixX = 16,
          .matrixY = 90,
          .singleAction = true,
          .fixes = {{RC::Option::kDeleteDuplicateProperty,
                     [](FixActions& actions, PersonItem* row) {
                       actions.removeDuplicateValues(row, kABEmailProperty, "email address", "email addresses");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       repeatedValuesPreview(preview, *of.row.person(), kABEmailProperty,
                                             "The duplicated email addresses will be removed.");
                     }}},
          .noLongerMeets = "none of its e-mail addresses is repeated any more",
      },
      "duplicateMatrix");
  return category;
}
