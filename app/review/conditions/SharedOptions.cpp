#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"

using namespace ReviewConditions;

namespace ReviewConditions {

FixOption deleteThisContact() {
  return {ReviewCategories::Option::kDeleteContact,
          [](FixActions& actions, PersonItem* row) { actions.deleteThisContact(row); },
          [](FixPreview& preview, const RowOf& of) {
            preview.texts.push_back(
                PreviewParts::text("the contact selected will be deleted:", 14, 152, 310, PreviewText::Colour::Red));
            PreviewParts::fieldList(preview, *of.row.person());
          }};
}

FixOption editInContacts(void (*preview)(FixPreview& preview, const RowOf& of)) {
  return {ReviewCategories::Option::kEditInContacts,
          [](FixActions& actions, PersonItem* row) { actions.editInContacts(row); }, preview};
}

void notSamePersonPreview(FixPreview& preview, const RowOf&) {
  previewLine(preview, "No contact will be changed.", 138, 450);
  previewLine(preview, "These contacts are different people; a scan will not list them together", 118, 450);
  previewLine(preview, "again (Edit > Undo takes it back).", 98, 450);
}

std::string problemWith(const RowOf& of, const std::string& property) {
  std::string text = of.category.problemText;
  auto at = text.find("%@");
  if (at != std::string::npos) text.replace(at, 2, of.row.person()->stringForProperty(property).value_or("(null)"));
  return text;
}

void previewLine(FixPreview& preview, const std::string& line, double y, double width, PreviewText::Colour colour) {
  preview.texts.push_back(PreviewParts::text(line, 14, y, width, colour));
}

}  // namespace ReviewConditions
