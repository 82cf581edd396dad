#pragma once

#include "app/review/DetailsPane.h"
#include "app/review/FixActions.h"
#include "app/review/FixPreview.h"
#include "app/review/ReviewCategories.h"

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
// A preview of one line of text (at 14, y, this wide and coloured).
void previewLine(FixPreview& preview, const std::string& line, double y = 112, double width = 310,
                 PreviewText::Colour colour = PreviewText::Colour::Default);

}  // namespace ReviewConditions
