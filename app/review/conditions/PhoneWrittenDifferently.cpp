#include "app/review/PersonItem.h"
#include "app/review/PhoneFixes.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanAddressBook.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

// One number written in two ways on one contact ("+49 30 1234567" and "030 1234567").
const RC::Category& ReviewConditions::phoneWrittenDifferently() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "DupPhoneFormat",
          .title = RC::kPhoneWrittenDifferently,
          .rowDescription = "has the same phone number written differently",
          .matrixX = 16,
          .matrixY = 90,
          .singleAction = true,
          .fixes = {{RC::Option::kDeleteDuplicateProperty,
                     [](FixActions& actions, PersonItem* row) {
                       actions.rewritePhones(
                           row, PhoneFixes::withoutNumbersWrittenTwice(*actions.person(), actions.outline().region()),
                           "removed");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       previewLine(preview, "These phone numbers will be removed:", 152, 450);
                       double y = 132;
                       for (const auto& [removed, kept] :
                            PhoneFixes::withoutNumbersWrittenTwice(*of.row.person(), of.outline.region()).changes) {
                         preview.texts.push_back(PreviewParts::text(removed, 14, y, 170, PreviewText::Colour::Red));
                         preview.texts.push_back(PreviewParts::text("the same number as " + kept, 190, y, 260,
                                                                    PreviewText::Colour::Black, 0.5));
                         y -= 20;
                       }
                     }}},
          .details =
              [](const RowOf& of) {
                return PhoneProblems::writtenDifferentlyText(*of.row.person(), of.outline.region());
              },
          .stale = [](const FixActions& actions, const PersonItem&) -> std::optional<std::string> {
            if (!ScanAddressBook::hasPhoneWrittenTwice(*actions.person()->snapshot(),
                                                       PhoneNumbers(actions.outline().region())))
              return "none of its phone numbers is written twice any more";
            return std::nullopt;
          },
      },
      "duplicateMatrix");
  return category;
}
