#include "app/review/FixPreview.h"

#include <algorithm>

#include "app/model/EveryValue.h"
#include "app/review/MergeContacts.h"
#include "app/review/PersonNames.h"
#include "app/review/ReviewRecord.h"
#include "app/scanner/AllowedNames.h"
#include "platform/addressbook/ABConstants.h"

namespace RC = ReviewCategories;
using Colour = PreviewText::Colour;
using PreviewParts::Card;
using PreviewParts::text;

PreviewText PreviewParts::text(std::string value, double x, double y, double width, Colour colour, double alpha) {
  PreviewText item;
  item.text = std::move(value);
  item.x = x;
  item.y = y;
  item.width = width;
  item.colour = colour;
  item.alpha = alpha;
  return item;
}

namespace {

std::string replaceSpaces(const std::string& value, const std::string& with) {
  std::string result;
  for (char c : value) result += c == ' ' ? with : std::string(1, c);
  return result;
}

struct NameFields {
  std::string type = "person";
  std::optional<std::string> title, first, middle, last, suffix, organization;
};

NameFields fieldsOf(const ABPerson& person) {
  auto data = person.snapshot();
  auto get = [&](const std::string& property) -> std::optional<std::string> {
    const std::string* value = data->string(property);
    if (!value) return std::nullopt;
    return *value;
  };
  NameFields fields;
  fields.title = get(kABTitleProperty);
  fields.first = get(kABFirstNameProperty);
  fields.middle = get(kABMiddleNameProperty);
  fields.last = get(kABLastNameProperty);
  fields.suffix = get(kABSuffixProperty);
  fields.organization = get(kABOrganizationProperty);
  return fields;
}

NameFields afterFix(NameFields fields, Card card) {
  switch (card) {
    case Card::RemoveSuffix:
      fields.suffix.reset();
      break;
    case Card::RemoveTitle:
      fields.title.reset();
      break;
    case Card::QuestionMarks:
      if (!fields.first) fields.first = "???";
      if (!fields.last) fields.last = "???";
      break;
    case Card::Company:
      fields.type = "company";
      break;
    case Card::RemoveSpace:
      if (fields.first) fields.first = replaceSpaces(*fields.first, "");
      break;
    case Card::Hyphenate:
      if (fields.first) fields.first = replaceSpaces(*fields.first, "-");
      break;
    case Card::AllowedTitle:
      if (fields.title)
        if (auto form = AllowedNames::current().allowedTitleForm(*fields.title)) fields.title = *form;
      break;
    case Card::AllowedSuffix:
      if (fields.suffix)
        if (auto form = AllowedNames::current().allowedSuffixForm(*fields.suffix)) fields.suffix = *form;
      break;
  }
  return fields;
}

struct CardRow {
  double y;
  std::optional<std::string> NameFields::*field;  // null for the type row
  const char* labelBefore;
  const char* labelAfter;
  const char* emptyBefore;
  const char* emptyAfter;
  const char* emptyBeforeTitleSuffixCard;
};

const std::vector<CardRow>& cardRows() {
  static const std::vector<CardRow> rows = {
      {132, nullptr, "Type :", "Type :", "", "", ""},
      {112, &NameFields::title, "Title :", "Title :", "Title : ", "Title : ", "Title :"},
      {92, &NameFields::first, "First :", "First :", "First : ", "First :", "First :"},
      {72, &NameFields::middle, "Middle :", "Middle :", "Middle : ", "Middle : ", "Middle :"},
      {52, &NameFields::last, "Last : ", "Last :", "Last : ", "Last : ", "Last : "},
      {32, &NameFields::suffix, "Suffix : ", "Suffix :", "Suffix : ", "Suffix : ", "Suffix :"},
      {12, &NameFields::organization, "Org name :", "Org name :", "Org name : ", "Org name : ", "Org name:"},
  };
  return rows;
}

// The values stand this far right of where the first name cards had them, so that the longest label
// ("Org name :") is never cut short, in any font the desktop gives.
constexpr double kValueShift = 10;

void addNameCard(FixPreview& preview, const ABPerson& person, Card card) {
  bool titleOrSuffixCard = card == Card::RemoveSuffix || card == Card::RemoveTitle || card == Card::AllowedTitle ||
                           card == Card::AllowedSuffix;
  NameFields before = fieldsOf(person);
  NameFields after = afterFix(before, card);
  const Colour black = Colour::Black;

  for (const auto& row : cardRows()) {
    const std::optional<std::string>& value = row.field ? before.*row.field : std::optional<std::string>(before.type);
    if (value) {
      preview.texts.push_back(text(row.labelBefore, 14, row.y, 70 + kValueShift, black, 0.5));
      preview.texts.push_back(text(*value, 84 + kValueShift, row.y, 210));
    } else {
      preview.texts.push_back(
          text(titleOrSuffixCard ? row.emptyBeforeTitleSuffixCard : row.emptyBefore, 14, row.y, 210, black, 0.5));
    }
  }

  preview.texts.push_back(text("After Fixing", 230, 152, 210, black, 0.4));
  for (const auto& row : cardRows()) {
    const std::optional<std::string>& value = row.field ? after.*row.field : std::optional<std::string>(after.type);
    bool suffixRow = row.field == &NameFields::suffix;
    bool organizationRow = row.field == &NameFields::organization;
    if (value) {
      double labelWidth = organizationRow ? 90 : (suffixRow || titleOrSuffixCard) ? 70 : 50;
      double valueX = (suffixRow || organizationRow || titleOrSuffixCard) ? 300 : 280;
      preview.texts.push_back(text(row.labelAfter, 230, row.y, labelWidth + kValueShift, black, 0.5));
      preview.texts.push_back(text(*value, valueX + kValueShift, row.y, 210));
    } else {
      preview.texts.push_back(text(row.emptyAfter, 230, row.y, 210, black, 0.5));
    }
  }
}

}  // namespace

const PreviewText* FixPreview::find(const std::string& value) const {
  for (const auto& item : texts)
    if (item.text == value) return &item;
  return nullptr;
}

bool FixPreview::mentions(const std::string& value) const {
  return std::any_of(texts.begin(), texts.end(),
                     [&](const PreviewText& item) { return item.text.find(value) != std::string::npos; });
}

double FixPreview::lowestY() const {
  double lowest = 0;
  for (const auto& item : texts) lowest = std::min(lowest, item.y);
  return lowest;
}

ContactRecord analysePerson(const ABPerson& person) {
  ContactRecord record = reviewRecordOf(person);
  ContactRecord display;
  bool addressesPlaced = false;
  for (const auto& [key, value] : record.entries()) {
    if (key == "Person" || key == "First Name" || key == "Last Name") continue;
    bool addressKey = key.rfind("Home ", 0) == 0 || key.rfind("Work ", 0) == 0 || key.rfind("Other ", 0) == 0;
    static const std::vector<std::string> components = {"Street", "City", "State", "ZIP", "Country", "Country Code"};
    bool component = false;
    if (addressKey) {
      std::string rest = key.substr(key.find(' ') + 1);
      component = std::find(components.begin(), components.end(), rest) != components.end();
    }
    if (!component) {
      display.set(key, value);
      continue;
    }
    if (addressesPlaced) continue;
    addressesPlaced = true;
    auto addresses = person.multiValueForProperty(kABAddressProperty);
    if (!addresses) continue;
    for (size_t i = 0; i < addresses->count(); ++i) {
      ABDictionary address = addresses->dictionaryAtIndex(i);
      std::string joined;
      for (size_t c = 0; c < address.entries().size(); ++c) {
        joined += address.entries()[c].second;
        if (c + 1 < address.entries().size()) joined += ",";
      }
      display.set(addresses->labelAtIndex(i) == kABAddressHomeLabel ? "Home Address" : "Work Address", joined);
    }
  }
  return display;
}

void PreviewParts::nameCard(FixPreview& preview, const ABPerson& person, Card card, double alpha) {
  preview.texts.push_back(text("Before Fixing", 14, 152, 110, Colour::Black, alpha));
  addNameCard(preview, person, card);
}

double PreviewParts::fieldList(FixPreview& preview, const ABPerson& person, double top) {
  preview.texts.push_back(text("Name :", 14, top, 100, Colour::Black, 0.5));
  preview.texts.push_back(text(PersonNames::rowName(person), 164, top, 290));
  double y = top - 20;
  // Every value, lists entry by entry; the first and last name are the name above.
  for (const auto& value : everyValueOf(*person.snapshot())) {
    if (value.label == "First Name" || value.label == "Last Name") continue;
    preview.texts.push_back(text(value.label + " :", 14, y, 150, Colour::Black, 0.5));
    preview.texts.push_back(text(value.text, 164, y, 290));
    y -= 20;
  }
  return y;
}

std::string PreviewParts::contactLine(const ABPerson& person) {
  const auto data = person.snapshot();
  std::string details = distinguishingDetails(*data);
  return PersonNames::rowName(person) + (details.empty() ? "" : " \u2014 " + details);
}

double PreviewParts::contactLines(FixPreview& preview, const std::vector<ABPersonRef>& persons, double y,
                                  Colour colour) {
  for (const auto& person : persons) {
    preview.texts.push_back(text(contactLine(*person), 14, y, 440, colour));
    y -= 20;
  }
  return y;
}

double PreviewParts::removedEntries(FixPreview& preview, const ABPerson& person, const std::string& property,
                                    const std::vector<size_t>& indexes, double y) {
  auto list = person.multiValueForProperty(property);
  if (!list) return y;
  for (size_t index : indexes) {
    if (index >= list->count()) continue;
    std::string line = entryText(property, list->valueAtIndex(index));
    if (!list->labelAtIndex(index).empty()) line += " (" + readableLabel(list->labelAtIndex(index)) + ")";
    preview.texts.push_back(text(line, 14, y, 440, Colour::Red));
    y -= 20;
  }
  return y;
}

void PreviewParts::merged(FixPreview& preview, const std::vector<ABPersonRef>& members) {
  preview.texts.push_back(text("The duplicate contacts will be merged into one person.", 14, 152, 450));
  if (members.empty()) return;
  preview.texts.push_back(
      text("These " + std::to_string(members.size()) + " contacts are merged:", 14, 132, 440, Colour::Black, 0.5));
  double y = contactLines(preview, members, 112);
  preview.texts.push_back(text("The merged contact will hold:", 14, y - 6, 440, Colour::Black, 0.5));
  fieldList(preview, *mergeContacts(members), y - 26);
}

FixPreview creatScrollerViewWithTitle(const ReviewOutline& outline, const std::string& title,
                                      const ABAddressBook& book) {
  FixPreview preview;
  PersonItem* row = outline.selectedItem();
  const RC::Category* category = outline.selectedCategory();
  if (!row || !category) return preview;
  if (const RC::FixOption* fix = category->fix(title); fix && fix->preview)
    fix->preview(preview, {outline, *row, *category, &book});
  return preview;
}
