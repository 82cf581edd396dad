#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// A phone number standing twice on one contact, whatever the labels.
const RC::Category& ReviewConditions::duplicatePhone() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "DupPhone",
          .title = RC::kDuplicatePhone,
          .rowDescription = "has duplicate phone number",
          .problemText = "This contact has duplicated phone number",
          .matrixX = 16,
          .matrixY = 90,
          .singleAction = true,
          .fixes = {{RC::Option::kDeleteDuplicateProperty,
                     [](FixActions& actions, PersonItem* row) {
                       actions.removeDuplicateValues(row, kABPhoneProperty, "phone number", "phone numbers");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       repeatedValuesPreview(preview, *of.row.person(), kABPhoneProperty,
                                             "The duplicated phone numbers will be removed.");
                     }}},
          .noLongerMeets = "none of its phone numbers is repeated any more",
      },
      "duplicateMatrix");
  return category;
}
