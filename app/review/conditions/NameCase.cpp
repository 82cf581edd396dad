#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/ScanAddressBook.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;
using ScannerConditions::TextChange;

namespace {

const std::string kKey = "NameCase";

std::vector<TextChange> rewritesOf(const ABPerson& person) {
  const PersonValuesOf values(*person.snapshot());
  return ScannerConditions::nameRewrites(*values);
}

std::vector<std::string> names(const std::vector<TextChange>& rewrites) {
  std::vector<std::string> values;
  for (const auto& change : rewrites) values.push_back(change.before);
  return values;
}

std::string details(const RowOf& of) {
  std::string text = "This contact's name is written entirely in capitals or in small letters: ";
  const auto rewrites = rewritesOf(*of.row.person());
  for (size_t i = 0; i < rewrites.size(); ++i)
    text += (i ? ", " : "") + quoted(rewrites[i].before) + " (" + rewrites[i].what + ") as a name is " +
            quoted(rewrites[i].after);
  return text + ". Other programs and devices show it as it is written.";
}

std::optional<std::string> stale(const FixActions& actions, const PersonItem&) {
  const auto rewrites = rewritesOf(*actions.person());
  if (rewrites.empty()) return "its name is no longer written in one case";
  if (keptAsItIs(actions, kKey, names(rewrites))) return "its name is kept as it is written";
  return std::nullopt;
}

}  // namespace

// A name or organisation entirely in capitals or entirely in small letters.
const RC::Category& ReviewConditions::nameCase() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = kKey,
          .title = "Name in capitals or small letters",
          .rowDescription = "has a name in capitals or small letters",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{"Write as a name",
                     [](FixActions& actions, PersonItem* row) {
                       changeTexts(actions, row, rewritesOf(*actions.person()), "Wrote as a name the name of");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       changesPreview(preview, rewritesOf(*of.row.person()));
                     }},
                    {RC::Option::kKeepAsItIs,
                     [](FixActions& actions, PersonItem* row) {
                       keepAsItIs(actions, row, kKey, names(rewritesOf(*actions.person())), "the name");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       keepPreview(preview, names(rewritesOf(*of.row.person())));
                     }}},
          .details = details,
          .stale = stale,
      },
      "matrixNameCase");
  return category;
}
