#include "app/review/PersonItem.h"
#include "app/review/conditions/ReviewConditions.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

void convertToCompany(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  const ABPersonRef& person = actions.person();
  person->setValueForProperty(std::int64_t{kABShowAsCompany}, kABPersonFlags);
  if (!actions.book().addRecord(person) || !actions.save("Made " + FixActions::named(*person) + " a company contact"))
    return;
  actions.note("made " + FixActions::who(*person) + " a company contact");
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

void useQuestionMarks(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  const ABPersonRef& person = actions.person();
  // Both missing parts in one save.
  std::string name = FixActions::named(*person);
  std::vector<std::string> set;
  if (!person->stringForProperty(kABFirstNameProperty)) {
    person->setValueForProperty(std::string("???"), kABFirstNameProperty);
    set.push_back("first");
  }
  if (!person->stringForProperty(kABLastNameProperty)) {
    person->setValueForProperty(std::string("???"), kABLastNameProperty);
    set.push_back("last");
  }
  if (!actions.book().addRecord(person) || !actions.save("Used ??? for the missing name of " + name)) return;
  for (const auto& part : set) actions.note("set the " + part + " name of " + FixActions::who(*person) + " to ???");
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

}  // namespace

// A first name without a last name or the other way round, on a contact that is not a company.
const RC::Category& ReviewConditions::incompleteName() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = "SingleName",
          .title = RC::kIncompleteName,
          .rowDescription = "the name is incomplete",
          .problemText = "This is not a full name which means first or last name is missing or blank. In most "
                         "cases, single-name contacts that aren't a single person should be converted to a company "
                         "contact.",
          .matrixX = 16,
          .matrixY = 32,
          .fixes = {{RC::Option::kConvertToCompany, convertToCompany,
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::nameCard(preview, *of.row.person(), PreviewParts::Card::Company, 0.4);
                     }},
                    {RC::Option::kUseQuestionMarks, useQuestionMarks,
                     [](FixPreview& preview, const RowOf& of) {
                       PreviewParts::nameCard(preview, *of.row.person(), PreviewParts::Card::QuestionMarks, 0.4);
                     }},
                    deleteThisContact()},
          .noLongerMeets = "its name is no longer incomplete",
      },
      "matrixOneName");
  return category;
}
