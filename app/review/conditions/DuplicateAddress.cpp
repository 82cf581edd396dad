#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// An address standing twice on one contact, whatever the labels.
const RC::Category& ReviewConditions::duplicateAddress() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "DupAddress",
          .title = RC::kDuplicateAddress,
          .rowDescription = "has duplicate address",
          .problemText = "This contact has duplicated address",
          .matrixX = 16,
          .matrixY = 90,
          .singleAction = true,
          .fixes = {{RC::Option::kDeleteDuplicateProperty,
                     [](FixActions& actions, PersonItem* row) {
                       actions.removeDuplicateValues(row, kABAddressProperty, "address", "addresses");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       repeatedValuesPreview(preview, *of.row.person(), kABAddressProperty,
                                             "The duplicated addresses will be removed.");
                     }}},
          .noLongerMeets = "none of its addresses is repeated any more",
      },
      "duplicateMatrix");
  return category;
}
