#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// A suffix not among the allowed ones.
const RC::Category& ReviewConditions::unusualSuffix() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "UnusualSuffix",
          .title = RC::kUnusualSuffix,
          .rowDescription = "has unusual suffix.",
          .problemText = "\"%@\" isn't an allowed suffix which is showed in the Preferences. Syncing unusual "
                         "suffixes can cause names to get mangled",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{RC::Option::kRemoveSuffix,
                     [](FixActions& actions, PersonItem* row) {
                       actions.removeProperty(row, kABSuffixProperty, "suffix");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::nameCard(preview, *of.row.person(), PreviewParts::Card::RemoveSuffix, 0.3);
                     }},
                    deleteThisContact()},
          .details = [](const RowOf& of) { return problemWith(of, kABSuffixProperty); },
          .noLongerMeets = "its suffix is no longer unusual",
      },
      "matrixBadSuffix");
  return category;
}
