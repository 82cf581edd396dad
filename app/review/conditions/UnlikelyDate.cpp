#include "app/review/PersonItem.h"
#include "app/review/PersonNames.h"
#include "app/review/conditions/ReviewConditions.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABMarks.h"

namespace RC = ReviewCategories;
using namespace ReviewConditions;

namespace {

const std::string kKey = "UnlikelyDate";
constexpr int kNoYear = 1604;

std::optional<ABDate> birthdayOf(const ABPerson& person) {
  const ABValue value = person.valueForProperty(kABBirthdayProperty);
  if (const auto* date = std::get_if<ABDate>(&value)) return *date;
  return std::nullopt;
}

// A birthday as the user writes it: "1980-05-03", "--05-03" without a year.
std::string written(const ABDate& date) {
  return date.year == kNoYear ? "--" + date.toIsoString().substr(5) : date.toIsoString();
}

// Why the person's birthday cannot be right, on the store as it is now; nullopt when it may be.
std::optional<std::string> whyUnlikely(const ABAddressBook& book, const ABPerson& person) {
  const auto birthday = birthdayOf(person);
  if (!birthday) return std::nullopt;
  if (auto reason = ScannerConditions::unlikelyBirthday(*birthday, ScannerConditions::today())) return reason;
  // As the scan: only a full name says one person.
  if (person.stringForProperty(kABFirstNameProperty).value_or("").empty() ||
      person.stringForProperty(kABLastNameProperty).value_or("").empty())
    return std::nullopt;
  auto group = ScanAddressBook::duplicateGroupOf(book, person);
  if (group.size() < 2) return std::nullopt;
  std::vector<std::string> uids;
  for (const auto& member : group) uids.push_back(member->uniqueId());
  if (ABMarkCover(book, ABMarkKind::kNotSamePerson).covers(uids)) return std::nullopt;
  for (const auto& member : group) {
    if (member->uniqueId() == person.uniqueId()) continue;
    const auto other = birthdayOf(*member);
    if (!other) continue;
    const bool differ = other->month != birthday->month || other->day != birthday->day ||
                        (other->year != kNoYear && birthday->year != kNoYear && other->year != birthday->year);
    if (differ)
      return PersonNames::rowName(*member) + ", a duplicate of this contact, has the birthday " + written(*other);
  }
  return std::nullopt;
}

void removeYear(FixActions& actions, PersonItem* row) {
  PersonItem* father = row->parentNode();
  const ABPersonRef& person = actions.person();
  const auto birthday = birthdayOf(*person);
  if (!birthday || birthday->year == kNoYear) {
    actions.fail("the birthday of " + FixActions::who(*person) + " has no year to remove");
    return;
  }
  const ABDate yearless{kNoYear, birthday->month, birthday->day};
  if (!person->setValueForProperty(yearless, kABBirthdayProperty) || !actions.book().addRecord(person)) {
    actions.book().revert();
    actions.fail("the birthday of " + FixActions::who(*person) + " could not be changed");
    return;
  }
  if (!actions.save("Removed the year of the birthday of " + FixActions::named(*person))) return;
  actions.note("wrote the birthday " + written(*birthday) + " as " + written(yearless) + " for " +
               FixActions::who(*person));
  actions.outline().removeRow(row);
  actions.closingStep(father);
}

std::vector<std::string> keptValues(const ABPerson& person) {
  const auto birthday = birthdayOf(person);
  return {birthday ? birthday->toIsoString() : std::string()};
}

std::optional<std::string> stale(const FixActions& actions, const PersonItem&) {
  if (!birthdayOf(*actions.person())) return "it has no birthday any more";
  if (!whyUnlikely(actions.book(), *actions.person())) return "its birthday may be right now";
  if (keptAsItIs(actions, kKey, keptValues(*actions.person()))) return "its birthday is kept as it is";
  return std::nullopt;
}

}  // namespace

// A birthday in the future, before 1900, on a year written for "no year", or beside a duplicate's other one.
const RC::Category& ReviewConditions::unlikelyDate() {
  static const RC::Category category = RC::declare(
      {
          .conditionKey = kKey,
          .title = "Birthday that cannot be right",
          .rowDescription = "has a birthday that cannot be right",
          .matrixX = 16,
          .matrixY = 75,
          .fixes = {{"Remove the year", removeYear,
                     [](FixPreview& preview, const RowOf& of) {
                       const auto birthday = birthdayOf(*of.row.person());
                       if (!birthday) return;
                       changesPreview(preview, {{{kABBirthdayProperty, -1, {}, false},
                                                 "birthday",
                                                 written(*birthday),
                                                 written({kNoYear, birthday->month, birthday->day})}});
                     }},
                    {"Remove the date",
                     [](FixActions& actions, PersonItem* row) {
                       actions.removeProperty(row, kABBirthdayProperty, "birthday");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       const auto birthday = birthdayOf(*of.row.person());
                       if (birthday) previewLine(preview, "The birthday " + written(*birthday) + " will be removed.");
                     }},
                    {RC::Option::kKeepAsItIs,
                     [](FixActions& actions, PersonItem* row) {
                       keepAsItIs(actions, row, kKey, keptValues(*actions.person()), "the birthday");
                     },
                     [](FixPreview& preview, const RowOf& of) {
                       const auto birthday = birthdayOf(*of.row.person());
                       keepPreview(preview, {birthday ? written(*birthday) : std::string()});
                     }}},
          .details =
              [](const RowOf& of) {
                const auto birthday = birthdayOf(*of.row.person());
                const auto reason =
                    of.book ? whyUnlikely(*of.book, *of.row.person())
                            : (birthday ? ScannerConditions::unlikelyBirthday(*birthday, ScannerConditions::today())
                                        : std::nullopt);
                return "The birthday " + (birthday ? written(*birthday) : std::string("of this contact")) +
                       " cannot be right" + (reason ? ": " + *reason : std::string()) +
                       ". Without its year it stays a birthday to remember.";
              },
          .stale = stale,
      },
      "matrixUnlikelyDate");
  return category;
}
