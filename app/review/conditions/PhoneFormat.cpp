#include "app/review/PersonItem.h"
#include "app/review/PhoneFixes.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/PhoneNumbers.h"
#include "app/scanner/ScanAddressBook.h"
#include "app/scanner/SimilarContacts.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABMarks.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;
namespace Opt = ReviewCategories::Option;
using Colour = PreviewText::Colour;

namespace {

void writeInternational(FixActions& actions, PersonItem* row) {
  // Numbers the user kept as they are written stay so.
  const ABPersonRef& person = actions.person();
  const auto kept = ABMarkCover(actions.book(), ABMarkKind::kKeptPhoneFormat).keptFor(person->uniqueId());
  actions.rewritePhones(
      row,
      PhoneFixes::inInternationalForm(*person, actions.outline().region(), actions.option() == Opt::kWriteE164, kept),
      "rewrote");
}

// Records that the person's numbers not in international form stay as they are written: a change
// set of its own that changes no contact.
void keepAsTheyAre(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  const ABPersonRef& person = actions.person();
  // The numbers as the store holds them now (the stale check found at least one not kept).
  const auto texts = PhoneFixes::numbersNotInternational(*person, actions.outline().region());
  std::string numbers;
  for (size_t i = 0; i < texts.size(); ++i)
    numbers += (i == 0 ? "" : i + 1 == texts.size() ? " and " : ", ") + texts[i];
  const std::string asThey = texts.size() == 1 ? " as it is" : " as they are";
  std::string error;
  if (!actions.book().addMark(ABMarkKind::kKeptPhoneFormat, {person->uniqueId()}, ABMarkCover::valueOfList(texts),
                              "Kept " + numbers + " of " + FixActions::named(*person) + asThey, &error)) {
    actions.fail("the phone numbers of " + FixActions::who(*person) + " could not be kept as they are: " + error);
    return;
  }
  actions.markSaved();
  actions.note("kept " + numbers + asThey + " for " + FixActions::who(*person));
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

void rewritePreview(FixPreview& preview, const RowOf& of, bool e164) {
  preview.texts.push_back(PreviewParts::text("Before Fixing", 14, 152, 110, Colour::Black, 0.4));
  preview.texts.push_back(PreviewParts::text("After Fixing", 230, 152, 210, Colour::Black, 0.4));
  double y = 132;
  const ABPerson& person = *of.row.person();
  auto rewrite =
      PhoneFixes::inInternationalForm(person, of.outline.region(), e164,
                                      ABMarkCover(*of.book, ABMarkKind::kKeptPhoneFormat).keptFor(person.uniqueId()));
  for (const auto& [before, after] : rewrite.changes) {
    preview.texts.push_back(PreviewParts::text(before, 14, y, 210));
    preview.texts.push_back(PreviewParts::text(after, 230, y, 210));
    y -= 20;
  }
}

void keepNumbersPreview(FixPreview& preview, const RowOf& of) {
  previewLine(preview, "No contact will be changed. These numbers stay as they are written;", 152, 450);
  previewLine(preview, "a scan lists this contact again only for another number:", 132, 450);
  double y = 112;
  for (const auto& number : PhoneFixes::numbersNotInternational(*of.row.person(), of.outline.region())) {
    preview.texts.push_back(PreviewParts::text(number, 14, y, 430));
    y -= 20;
  }
}

std::optional<std::string> stale(const FixActions& actions, const PersonItem&) {
  auto data = actions.person()->snapshot();
  PhoneNumbers phones(actions.outline().region());
  auto national = SimilarContacts::nationalNumbers(*data, SimilarContacts::readPhonesOf(*data, phones));
  if (national.empty()) return "none of its phone numbers is left to write in international format";
  if (ScanAddressBook::nationalPhonesKept(*data, national, ABMarkCover(actions.book(), ABMarkKind::kKeptPhoneFormat)))
    return "its phone numbers are kept as they are written";
  return std::nullopt;
}

}  // namespace

// A number written without its country code, read for the region of the scan.
const RC::Category& ReviewConditions::phoneFormat() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "PhoneFormat",
          .title = RC::kPhoneFormat,
          .rowDescription = "has a phone number not in international format",
          .matrixX = 16,
          .matrixY = 32,
          .fixes = {{Opt::kWriteInternational, writeInternational,
                     [](FixPreview& preview, const RowOf& of) { rewritePreview(preview, of, false); }},
                    {Opt::kWriteE164, writeInternational,
                     [](FixPreview& preview, const RowOf& of) { rewritePreview(preview, of, true); }},
                    {Opt::kKeepAsItIs, keepAsTheyAre, keepNumbersPreview}},
          .details =
              [](const RowOf& of) {
                const auto kept =
                    of.book ? ABMarkCover(*of.book, ABMarkKind::kKeptPhoneFormat).keptFor(of.row.person()->uniqueId())
                            : std::vector<std::string>();
                return PhoneProblems::notInternationalText(*of.row.person(), of.outline.region(), kept);
              },
          .stale = stale,
      },
      "matrixPhoneFormat");
  return category;
}
