#pragma once

#include "app/review/DetailsPane.h"
#include "app/review/FixActions.h"
#include "app/review/FixPreview.h"
#include "app/review/ReviewCategories.h"
#include "app/scanner/conditions/ScannerConditions.h"

// The categories of the review outline, one file each in this folder: a condition's title, row
// description, details text, fix options with what each does and what its preview shows, and its
// re-check of a stale finding. The scanner's half of a condition (its name, key and finder) is its
// entry in app/scanner/ScanConditions. ReviewCategories::all() lists these in outline order.
namespace ReviewConditions {

using ReviewCategories::Category;
using ReviewCategories::FixOption;
using ReviewCategories::RowOf;

const Category& unusualSuffix();
const Category& unusualTitle();
const Category& incompleteName();
const Category& spaceInFirstName();
const Category& duplicateContacts();
const Category& emptyNotes();
const Category& duplicateEmail();
const Category& duplicatePhone();
const Category& duplicateAddress();
const Category& emptyNickname();
const Category& blankName();
const Category& shareEmail();
const Category& invalidCharacters();
const Category& similarContacts();
const Category& phoneWrittenDifferently();
const Category& phoneFormat();
const Category& damagedText();
const Category& nameCase();
const Category& unlikelyDate();
const Category& unreachable();
const Category& groupWrittenDifferently();
const Category& emptyGroup();
const Category& largePhoto();
const Category& sharedPhoto();

// Options several categories offer alike.
// "Delete this contact": asks, then deletes the row's contact; the preview lists its fields.
FixOption deleteThisContact();
// "Edit in Contacts": opens the contact's card; the preview says why, in this line.
FixOption editInContacts(void (*preview)(FixPreview& preview, const RowOf& of));
// The preview of "Not the same person" for the contacts of a row.
void notSamePersonPreview(FixPreview& preview, const RowOf& of);
// The problem text with its "%@" replaced by the row's person's value of the property ("(null)"
// without one).
std::string problemWith(const RowOf& of, const std::string& property);
// Writes the changes (worked out on the row's person as the store holds it now) into the person
// and saves them as one change set with this description; one line of changes each. Nothing is
// saved when there is nothing to change.
void changeTexts(FixActions& actions, PersonItem* row, const std::vector<ScannerConditions::TextChange>& changes,
                 const std::string& description);
// The preview of changes: each text before and after.
void changesPreview(FixPreview& preview, const std::vector<ScannerConditions::TextChange>& changes);
// "Keep as it is": records that the row's person stays as it is for the condition of this key while
// these values are as they are (ABMarkKind::kKeptAsItIs): a change set of its own that changes no
// contact; `what` says what is kept, in the history ("the damaged text").
void keepAsItIs(FixActions& actions, PersonItem* row, const std::string& key, std::vector<std::string> values,
                const std::string& what);
// Its preview: nothing changes, these values stay.
void keepPreview(FixPreview& preview, const std::vector<std::string>& values);
// Whether the user kept the person as it is for the condition while these values are as they are.
bool keptAsItIs(const FixActions& actions, const std::string& key, std::vector<std::string> values);
// "“text”"
std::string quoted(const std::string& text);
// The preview of "Delete the duplicate property": the heading, then each entry that goes with its
// label, beside the entry of the same value that stays.
void repeatedValuesPreview(FixPreview& preview, const ABPerson& person, const std::string& property,
                           const std::string& heading);
// The preview of "Delete the blank property": the heading naming the property's value as it is.
void blankValuePreview(FixPreview& preview, const ABPerson& person, const std::string& property,
                       const std::string& what);
// A preview of one line of text (at 14, y, this wide and coloured).
void previewLine(FixPreview& preview, const std::string& line, double y = 112, double width = 310,
                 PreviewText::Colour colour = PreviewText::Colour::Default);

}  // namespace ReviewConditions
