#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/ScanAddressBook.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

const std::string kKey = "Unreachable";

std::optional<std::string> stale(const FixActions& actions, const PersonItem&) {
  if (!ScanAddressBook::personMeetsCondition(kKey, *actions.person()->snapshot()))
    return "it can be reached now or holds a note";
  if (keptAsItIs(actions, kKey, {})) return "it is kept as it is";
  return std::nullopt;
}

}  // namespace

// A name alone: nothing to reach the contact by, and no note.
const RC::Category& ReviewConditions::unreachable() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = kKey,
          .title = "Contact that cannot be reached",
          .rowDescription = "cannot be reached",
          .problemText = "This contact holds a name alone: no e-mail address, phone number, address, URL or instant "
                         "message, and no note. Deleting it puts it in the trash, from where it can be restored.",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {deleteThisContact(),
                    {RC::Option::kKeepAsItIs,
                     [](FixActions& actions, PersonItem* row) { keepAsItIs(actions, row, kKey, {}, "the contact"); },
                     [](FixPreview& preview, const RowOf&) {
                       previewLine(preview, "No contact will be changed; a scan will not list this contact", 152, 450);
                       previewLine(preview, "for it again (Edit > Undo takes it back).", 132, 450);
                     }}},
          .stale = stale,
      },
      "matrixUnreachable");
  return category;
}
