#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/AllowedNames.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

// The allowed entry the title is a way of writing, on the person as the store holds it now.
std::optional<std::string> allowedForm(const ABPerson& person) {
  auto title = person.stringForProperty(kABTitleProperty);
  return title ? AllowedNames::current().allowedTitleForm(*title) : std::nullopt;
}

void useAllowedForm(FixActions& actions, PersonItem* row) {
  const ABPerson& person = *actions.person();
  const std::string title = person.stringForProperty(kABTitleProperty).value_or("");
  auto form = allowedForm(person);
  if (!form) {
    // Not offered for such a row; asked for anyway (Fix All, the command line), the row stays.
    actions.note(row->name() + ": not fixed, no allowed title is written like " + quoted(title) +
                 " (\"Remove the title\" removes it; the Preferences can allow it)");
    return;
  }
  changeTexts(actions, row, {{{kABTitleProperty, -1, {}, false}, "title", title, *form}},
              "Wrote the title in its allowed form for");
}

}  // namespace

// A title not among the allowed ones.
const RC::Category& ReviewConditions::unusualTitle() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "UnusualTitle",
          .title = RC::kUnusualTitle,
          .rowDescription = "has unusual title.",
          .problemText = "\"%@\" isn't one of the allowed titles, which are listed in the Preferences. Syncing "
                         "unusual titles can cause names to get mangled.",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{RC::Option::kUseAllowedForm, useAllowedForm,
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::nameCard(preview, *of.row.person(), PreviewParts::Card::AllowedTitle, 0.4);
                     },
                     [](const RowOf& of) {
                       auto form = allowedForm(*of.row.person());
                       return form ? RC::Option::kUseAllowedForm + " \"" + *form + "\""
                                   : RC::Option::kUseAllowedForm + " (none fits)";
                     },
                     [](const RowOf& of) { return allowedForm(*of.row.person()).has_value(); }},
                    {RC::Option::kRemoveTitle,
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
