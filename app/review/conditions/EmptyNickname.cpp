#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// A nickname of spaces only.
const RC::Category& ReviewConditions::emptyNickname() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "EmptyNickname",
          .title = RC::kNicknameWithSpacing,
          .rowDescription = "has space(s) in nickname",
          .problemText = "The nickname of this contact has space character(s). The nickname field might show up as "
                         "\xE2\x80\x9C\xE2\x80\x9D "
                         "on some devices.",
          .matrixX = 16,
          .matrixY = 90,
          .singleAction = true,
          .fixes = {{RC::Option::kDeleteBlankProperty,
                     [](FixActions& actions, PersonItem* row) {
                       actions.removeProperty(row, kABNicknameProperty, "nickname");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       previewLine(preview, "The empty nickname will be removed.", 152);
                       blankValuePreview(preview, *of.row.person(), kABNicknameProperty, "nickname");
                     }}},
          .noLongerMeets = "its nickname is no longer spaces only",
      },
      "matrixEmptyNotes");
  return category;
}
