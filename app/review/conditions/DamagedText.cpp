#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/ScanAddressBook.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;
using ScannerConditions::TextChange;

namespace {

const std::string kKey = "DamagedText";
const std::string kRepair = "Repair the text";

struct Found {
  std::vector<TextChange> repairs, lost;
};

Found foundOn(const ABPerson& person) {
  Found found;
  const PersonValuesOf values(*person.snapshot());
  found.repairs = ScannerConditions::textRepairs(*values, &found.lost);
  return found;
}

std::vector<std::string> damagedValues(const Found& found) {
  std::vector<std::string> values;
  for (const auto& change : found.repairs) values.push_back(change.before);
  for (const auto& change : found.lost) values.push_back(change.before);
  return values;
}

void repair(FixActions& actions, PersonItem* row) {
  const Found found = foundOn(*actions.person());
  for (const auto& lost : found.lost)
    actions.note("left the " + lost.what + " " + quoted(lost.before) + " of " + FixActions::who(*actions.person()) +
                 " as it is: its lost characters cannot be brought back");
  changeTexts(actions, row, found.repairs, "Repaired the damaged text of");
}

std::string details(const RowOf& of) {
  const Found found = foundOn(*of.row.person());
  std::string text = "This contact holds text damaged on its way into the address book";
  if (!found.repairs.empty()) {
    text += ": ";
    for (size_t i = 0; i < found.repairs.size(); ++i) {
      const auto& change = found.repairs[i];
      text += (i ? ", " : "") + quoted(change.before) + " (" + change.what + ") is " + quoted(change.after);
    }
    text += ". Repairing writes each as it was meant";
  }
  if (!found.lost.empty()) {
    text += found.repairs.empty() ? ": " : "; ";
    for (size_t i = 0; i < found.lost.size(); ++i)
      text += (i ? ", " : "") + quoted(found.lost[i].before) + " (" + found.lost[i].what + ")";
    text += found.lost.size() == 1 ? " has" : " have";
    text += " lost characters that no repair can bring back: edit or keep as it is";
  }
  return text + ".";
}

std::optional<std::string> stale(const FixActions& actions, const PersonItem&) {
  const Found found = foundOn(*actions.person());
  if (found.repairs.empty() && found.lost.empty()) return "it no longer holds damaged text";
  if (keptAsItIs(actions, kKey, damagedValues(found))) return "its text is kept as it is";
  return std::nullopt;
}

}  // namespace

// Text read with the wrong character set, quoted-printable or HTML left undecoded, characters lost.
const RC::Category& ReviewConditions::damagedText() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = kKey,
          .title = "Damaged text",
          .rowDescription = "holds damaged text",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{kRepair, repair,
                     [](FixPreview& preview, const RowOf& of) {
                       changesPreview(preview, foundOn(*of.row.person()).repairs);
                     }},
                    {RC::Option::kKeepAsItIs,
                     [](FixActions& actions, PersonItem* row) {
                       keepAsItIs(actions, row, kKey, damagedValues(foundOn(*actions.person())), "the damaged text");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       keepPreview(preview, damagedValues(foundOn(*of.row.person())));
                     }}},
          .details = details,
          .stale = stale,
      },
      "matrixDamagedText");
  return category;
}
