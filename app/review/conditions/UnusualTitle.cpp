#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// A title not among the allowed ones.
const RC::Category& ReviewConditions::unusualTitle() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "UnusualTitle",
          .title = RC::kUnusualTitle,
          .rowDescription = "has unusual title.",
          .problemText = "\"%@\" isn't an allowed title which is showed in the Preference. Syncing unusual titles "
                         "can cause names to get mangled.",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{RC::Option::kRemoveTitle,
                     [](FixActions& actions, PersonItem* row) {
                       actions.removeProperty(row, kABTitleProperty, "title");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::nameCard(preview, *of.row.person(), PreviewParts::Card::RemoveTitle, 0.4);
                     }},
                    deleteThisContact()},
          .details = [](const RowOf& of) { return problemWith(of, kABTitleProperty); },
          .noLongerMeets = "its title is no longer unusual",
      },
      "matrixBadTitle");
  return category;
}
