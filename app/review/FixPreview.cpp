#include "app/review/FixPreview.h"

#include <algorithm>

#include "app/review/DetailsPane.h"
#include "app/review/FixActions.h"
#include "app/review/MergeContacts.h"
#include "app/review/PersonNames.h"
#include "app/review/PhoneFixes.h"
#include "app/review/ReviewRecord.h"
#include "app/scanner/ScanAddressBook.h"
#include "platform/addressbook/ABAddressBook.h"
#include "platform/addressbook/ABConstants.h"
#include "platform/addressbook/ABMarks.h"

namespace RC = ReviewCategories;
namespace Opt = ReviewCategories::Option;
using Colour = PreviewText::Colour;

namespace {

PreviewText text(std::string value, double x, double y, double width, Colour colour = Colour::Default,
                 double alpha = 1.0) {
  PreviewText item;
  item.text = std::move(value);
  item.x = x;
  item.y = y;
  item.width = width;
  item.colour = colour;
  item.alpha = alpha;
  return item;
}

std::string replaceSpaces(const std::string& value, const std::string& with) {
  std::string result;
  for (char c : value) result += c == ' ' ? with : std::string(1, c);
  return result;
}

// The name card: the person's name fields before and after the fix.
enum class Card { RemoveSuffix, RemoveTitle, QuestionMarks, Company, RemoveSpace, Hyphenate };

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

void addNameCard(FixPreview& preview, const ABPerson& person, Card card) {
  bool titleOrSuffixCard = card == Card::RemoveSuffix || card == Card::RemoveTitle;
  NameFields before = fieldsOf(person);
  NameFields after = afterFix(before, card);
  const Colour black = Colour::Black;

  for (const auto& row : cardRows()) {
    const std::optional<std::string>& value = row.field ? before.*row.field : std::optional<std::string>(before.type);
    if (value) {
      preview.texts.push_back(text(row.labelBefore, 14, row.y, 70, black, 0.5));
      preview.texts.push_back(text(*value, 84, row.y, 210));
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
      preview.texts.push_back(text(row.labelAfter, 230, row.y, labelWidth, black, 0.5));
      preview.texts.push_back(text(*value, valueX, row.y, 210));
    } else {
      preview.texts.push_back(text(row.emptyAfter, 230, row.y, 210, black, 0.5));
    }
  }
}

void addFieldList(FixPreview& preview, const ABPerson& person) {
  preview.texts.push_back(text("Name :", 14, 132, 100, Colour::Black, 0.5));
  preview.texts.push_back(text(PersonNames::rowName(person), 114, 132, 210));
  ContactRecord display = analysePerson(person);
  const double rows[] = {112, 92, 72, 52, 32, 12};
  size_t index = 0;
  for (const auto& [key, value] : display.entries()) {
    if (index == 6) break;
    bool phonetic = key == "Phonetic First Name" || key == "Phonetic Last Name";
    preview.texts.push_back(text(key + " :", 14, rows[index], phonetic ? 150 : 100, Colour::Black, 0.5));
    preview.texts.push_back(text(display.textOr(key), phonetic ? 164 : 114, rows[index], 210));
    ++index;
  }
}

std::string nameWithNulls(const ABPerson& person) {
  return PersonNames::rowName(person);
}

std::vector<ABPersonRef> mergeList(const PersonItem& row, const RC::Category& category, const ABAddressBook& book) {
  if (category.title == RC::kShareEmail) {
    std::vector<ABPersonRef> list = row.duplicateEmailArray();
    list.push_back(row.person());
    return list;
  }
  if (category.title == RC::kSimilarContacts) {
    // The group in store order: the row's contact comes first.
    std::vector<ABPersonRef> list{row.person()};
    list.insert(list.end(), row.duplicateEmailArray().begin(), row.duplicateEmailArray().end());
    return list;
  }
  return ScanAddressBook::duplicateGroupOf(book, *row.person());
}

}  // namespace

const PreviewText* FixPreview::find(const std::string& value) const {
  for (const auto& item : texts)
    if (item.text == value) return &item;
  return nullptr;
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

FixPreview creatScrollerViewWithTitle(const ReviewOutline& outline, const std::string& title,
                                      const ABAddressBook& book) {
  FixPreview preview;
  PersonItem* row = outline.selectedItem();
  const RC::Category* category = outline.selectedCategory();
  if (!row || !category) return preview;
  const ABPerson& person = *row->person();
  const std::string& categoryTitle = category->title;
  const Colour black = Colour::Black;

  auto nameCard = [&](double alpha, Card card) {
    preview.texts.push_back(text("Before Fixing", 14, 152, 110, black, alpha));
    addNameCard(preview, person, card);
  };

  if (title == Opt::kRemoveSuffix) {
    nameCard(0.3, Card::RemoveSuffix);
  } else if (title == Opt::kRemoveTitle) {
    nameCard(0.4, Card::RemoveTitle);
  } else if (title == Opt::kUseQuestionMarks) {
    nameCard(0.4, Card::QuestionMarks);
  } else if (title == Opt::kConvertToCompany) {
    nameCard(0.4, Card::Company);
  } else if (title == Opt::kRemoveSpace) {
    nameCard(0.4, Card::RemoveSpace);
  } else if (title == Opt::kHyphenate) {
    nameCard(0.4, Card::Hyphenate);
  } else if (title == Opt::kDeleteContact) {
    preview.texts.push_back(text("the contact selected will be deleted:", 14, 152, 310, Colour::Red));
    addFieldList(preview, person);
  } else if (title == Opt::kMerge) {
    preview.texts.push_back(text("The duplicate contacts will be merged into one person.", 14, 152, 450));
    auto list = mergeList(*row, *category, book);
    if (!list.empty()) addFieldList(preview, *mergeContacts(list));
  } else if (title == Opt::kDeleteDuplicateProperty && categoryTitle == RC::kPhoneWrittenDifferently) {
    preview.texts.push_back(text("These phone numbers will be removed:", 14, 152, 450));
    double y = 132;
    for (const auto& [removed, kept] : PhoneFixes::withoutNumbersWrittenTwice(person, outline.region()).changes) {
      if (y < 12) break;
      preview.texts.push_back(text(removed, 14, y, 170, Colour::Red));
      preview.texts.push_back(text("the same number as " + kept, 190, y, 260, black, 0.5));
      y -= 20;
    }
  } else if (title == Opt::kWriteInternational || title == Opt::kWriteE164) {
    preview.texts.push_back(text("Before Fixing", 14, 152, 110, black, 0.4));
    preview.texts.push_back(text("After Fixing", 230, 152, 210, black, 0.4));
    double y = 132;
    auto rewrite =
        PhoneFixes::inInternationalForm(person, outline.region(), title == Opt::kWriteE164,
                                        ABMarkCover(book, ABMarkKind::kKeptPhoneFormat).keptFor(person.uniqueId()));
    for (const auto& [before, after] : rewrite.changes) {
      if (y < 12) break;
      preview.texts.push_back(text(before, 14, y, 210));
      preview.texts.push_back(text(after, 230, y, 210));
      y -= 20;
    }
  } else if (title == Opt::kKeepAsItIs) {
    preview.texts.push_back(text("No contact will be changed. These numbers stay as they are written;", 14, 152, 450));
    preview.texts.push_back(text("a scan lists this contact again only for another number:", 14, 132, 450));
    double y = 112;
    for (const auto& number : PhoneFixes::numbersNotInternational(person, outline.region())) {
      if (y < 12) break;
      preview.texts.push_back(text(number, 14, y, 430));
      y -= 20;
    }
  } else if (title == Opt::kDeleteDuplicateProperty) {
    std::string heading = categoryTitle == RC::kDuplicateAddress ? "The duplicated addresses will be removed."
                          : categoryTitle == RC::kDuplicatePhone ? "The duplicated phone numbers will be removed."
                                                                 : "The duplicated email addresses will be removed.";
    preview.texts.push_back(text(heading, 14, 112, 310));
  } else if (title == Opt::kDeleteBlankProperty) {
    std::string heading = categoryTitle == RC::kNicknameWithSpacing ? "The empty nickname will be removed."
                                                                    : "The empty notes field will be removed.";
    preview.texts.push_back(text(heading, 14, 112, 310));
  } else if (title == Opt::kRemoveEmail) {
    std::string address = EmailSlots::sharedAddress(*row);
    std::string heading = row->duplicateEmailType() == kABHomeLabel
                              ? "The Email Address \"" + address + "\" will be deleted "
                              : "The Email Address \"" + address + "\" will be deleted";
    preview.texts.push_back(text(heading, 14, 138, 450, Colour::Red));
    preview.texts.push_back(text("form this contact", 14, 118, 450, Colour::Red));
  } else if (title == Opt::kDeleteDuplicates) {
    if (categoryTitle == RC::kShareEmail) {
      const auto& others = row->duplicateEmailArray();
      const double lines[] = {138, 118, 98, 78, 58, 38};
      size_t listed = std::min<size_t>(others.size(), 5);
      for (size_t i = 0; i < listed; ++i)
        preview.texts.push_back(text(nameWithNulls(*others[i]), 14, lines[i], 450, Colour::Red));
      if (others.size() >= 5)
        preview.texts.push_back(text(" and others will be deleted from Contacts", 14, 38, 450, Colour::Red));
      else
        preview.texts.push_back(text("will be deleted from Contacts", 14, lines[listed], 450, Colour::Red));
    } else {
      preview.texts.push_back(text("The duplicate contact(s) will delete from contact.", 14, 112, 450, Colour::Red));
    }
  } else if (title == Opt::kNotSamePerson) {
    preview.texts.push_back(text("No contact will be changed.", 14, 138, 450));
    preview.texts.push_back(text(categoryTitle == RC::kShareEmail
                                     ? "The contacts sharing this address are different people; a scan will not"
                                     : "These contacts are different people; a scan will not list them together",
                                 14, 118, 450));
    preview.texts.push_back(text(categoryTitle == RC::kShareEmail
                                     ? "list them for it again (Edit > Undo takes it back)."
                                     : "again (Edit > Undo takes it back).",
                                 14, 98, 450));
  } else if (title == Opt::kEditInContacts) {
    std::string heading = categoryTitle == RC::kBlankName
                              ? "This contact has no name.You can edit it in Contacts."
                              : "This contact exsit invalid char. You can edit it in Contacts.";
    preview.texts.push_back(text(heading, 14, 112, 450));
  }
  return preview;
}
