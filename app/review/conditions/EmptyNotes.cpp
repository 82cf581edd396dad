#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// A note of spaces only.
const RC::Category& ReviewConditions::emptyNotes() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "EmptyNotes",
          .title = RC::kNoteWithSpacing,
          .rowDescription = "has space(s) in note",
          .problemText = "The note of this contact has space character(s). The notes field should probably be "
                         "deleted.",
          .matrixX = 16,
          .matrixY = 90,
          .singleAction = true,
          .fixes = {{RC::Option::kDeleteBlankProperty,
                     [](FixActions& actions, PersonItem* row) { actions.removeProperty(row, kABNoteProperty, "note"); },
                     [](FixPreview& preview, const RowOf& of) {
                       previewLine(preview, "The empty notes field will be removed.", 152);
                       blankValuePreview(preview, *of.row.person(), kABNoteProperty, "note");
                     }}},
          .noLongerMeets = "its note is no longer spaces only",
      },
      "matrixEmptyNotes");
  return category;
}
