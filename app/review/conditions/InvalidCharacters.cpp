#include "app/review/conditions/ReviewConditions.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// An e-mail address that is not one, or a phone number holding a letter.
const RC::Category& ReviewConditions::invalidCharacters() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "InvalidChar",
          .title = RC::kInvalidCharacters,
          .rowDescription = "exist invalid characters",
          .problemText = "This contact contains invalid character.",
          .matrixX = 16,
          .matrixY = 90,
          .singleAction = true,
          .fixes = {editInContacts([](FixPreview& preview, const RowOf&) {
            previewLine(preview, "This contact exsit invalid char. You can edit it in Contacts.", 112, 450);
          })},
          .noLongerMeets = "it no longer holds an invalid character",
      },
      "matrixInvalidChar");
  return category;
}
