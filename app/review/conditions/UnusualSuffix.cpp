#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/AllowedNames.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

// The allowed entry the suffix is a way of writing, on the person as the store holds it now.
std::optional<std::string> allowedForm(const ABPerson& person) {
  auto suffix = person.stringForProperty(kABSuffixProperty);
  return suffix ? AllowedNames::current().allowedSuffixForm(*suffix) : std::nullopt;
}

void useAllowedForm(FixActions& actions, PersonItem* row) {
  const ABPerson& person = *actions.person();
  const std::string suffix = person.stringForProperty(kABSuffixProperty).value_or("");
  auto form = allowedForm(person);
  if (!form) {
    // Not offered for such a row; asked for anyway (Fix All, the command line), the row stays.
    actions.note(row->name() + ": not fixed, no allowed suffix is written like " + quoted(suffix) +
                 " (\"Remove the suffix\" removes it; the Preferences can allow it)");
    return;
  }
  changeTexts(actions, row, {{{kABSuffixProperty, -1, {}, false}, "suffix", suffix, *form}},
              "Wrote the suffix in its allowed form for");
}

}  // namespace

// A suffix not among the allowed ones.
const RC::Category& ReviewConditions::unusualSuffix() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "UnusualSuffix",
          .title = RC::kUnusualSuffix,
          .rowDescription = "has unusual suffix.",
          .problemText = "\"%@\" isn't one of the allowed suffixes, which are listed in the Preferences. Syncing "
                         "unusual suffixes can cause names to get mangled.",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{RC::Option::kUseAllowedForm, useAllowedForm,
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::nameCard(preview, *of.row.person(), PreviewParts::Card::AllowedSuffix, 0.3);
                     },
                     [](const RowOf& of) {
                       auto form = allowedForm(*of.row.person());
                       return form ? RC::Option::kUseAllowedForm + " \"" + *form + "\""
                                   : RC::Option::kUseAllowedForm + " (none fits)";
                     },
                     [](const RowOf& of) { return allowedForm(*of.row.person()).has_value(); }},
                    {RC::Option::kRemoveSuffix,
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
