#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

std::string replaceSpaces(const std::string& text, const std::string& with) {
  std::string result;
  for (char c : text) {
    if (c == ' ')
      result += with;
    else
      result += c;
  }
  return result;
}

// The first name with its spaces written as `with`, saved with this description of the person.
void rewriteFirstName(FixActions& actions, PersonItem* row, const std::string& with, const std::string& done) {
  const ABPersonRef& person = actions.person();
  std::string first = person->stringForProperty(kABFirstNameProperty).value_or("");
  actions.setFirstName(row, replaceSpaces(first, with), done + FixActions::named(*person));
}

}  // namespace

// A first name holding a space.
const RC::Category& ReviewConditions::spaceInFirstName() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "SpaceInFirstName",
          .title = RC::kSpacingInFirstName,
          .rowDescription = "has space(s) in the first name",
          .problemText = "This contact has space character(s) in the first name. In some cases these names can "
                         "become transposed after syncing with Google.",
          .matrixX = 16,
          .matrixY = 32,
          .fixes = {{RC::Option::kRemoveSpace,
                     [](FixActions& actions, PersonItem* row) {
                       rewriteFirstName(actions, row, "", "Removed the spaces from the first name of ");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::nameCard(preview, *of.row.person(), PreviewParts::Card::RemoveSpace, 0.4);
                     }},
                    {RC::Option::kHyphenate,
                     [](FixActions& actions, PersonItem* row) {
                       rewriteFirstName(actions, row, "-", "Hyphenated the first name of ");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::nameCard(preview, *of.row.person(), PreviewParts::Card::Hyphenate, 0.4);
                     }},
                    deleteThisContact()},
          .noLongerMeets = "its first name no longer holds a space",
      },
      "matrixSpaceInName");
  return category;
}
