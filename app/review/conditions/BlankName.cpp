#include "app/review/conditions/ReviewConditions.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// A contact without a first and a last name.
const RC::Category& ReviewConditions::blankName() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "BlankName",
          .title = RC::kBlankName,
          .rowDescription = "has no name.",
          .problemText = "This contact has no name or the name is empty. This contact might not show up or sync "
                         "correctly.",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {editInContacts([](FixPreview& preview, const RowOf&) {
                      previewLine(preview, "This contact has no name.You can edit it in Contacts.", 112, 450);
                    }),
                    deleteThisContact()},
          .noLongerMeets = "it has a name now",
      },
      "matrixBlankName");
  return category;
}
