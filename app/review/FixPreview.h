#pragma once

#include <string>
#include <vector>

#include "app/review/ReviewOutline.h"
#include "core/record/ContactRecord.h"

class ABAddressBook;

// One text of a preview. Frames are in the preview's own coordinates: origin at the lower left of
// its document view, y growing upwards.
struct PreviewText {
  enum class Colour { Default, Black, Red };

  std::string text;
  double x = 15, y = 132, width = 210, height = 17;
  Colour colour = Colour::Default;
  double alpha = 1.0;

  bool operator==(const PreviewText&) const = default;
};

// The preview pane of one option for the selected row: the heading first, then the body.
struct FixPreview {
  static constexpr double documentWidth = 394;
  static constexpr double documentHeight = 168;
  static constexpr const char* backgroundImage = "color.png";

  std::vector<PreviewText> texts;
  bool empty() const { return texts.empty(); }
  const PreviewText* find(const std::string& text) const;
  // Whether some text holds this one (a value named inside a line).
  bool mentions(const std::string& text) const;
  // The lowest y of a text: a preview longer than the document goes on below it (negative y), and
  // its view grows to show all of it.
  double lowestY() const;
};

// The preview of the option for the outline's selected row; empty with no selection or an unknown
// option. The book gives the duplicate group of a "Merge contacts" preview.
FixPreview creatScrollerViewWithTitle(const ReviewOutline& outline, const std::string& optionTitle,
                                      const ABAddressBook& book);

// The display dictionary of the delete and merge previews, in its own key order.
ContactRecord analysePerson(const ABPerson& person);

// What the previews of the fix options (app/review/conditions/) are drawn with.
namespace PreviewParts {

PreviewText text(std::string value, double x, double y, double width,
                 PreviewText::Colour colour = PreviewText::Colour::Default, double alpha = 1.0);
// The name card: the person's name fields before and after the fix, under "Before Fixing" drawn at
// this alpha.
// AllowedTitle and AllowedSuffix write the title or suffix as the allowed entry it is a way of writing.
enum class Card {
  RemoveSuffix,
  RemoveTitle,
  QuestionMarks,
  Company,
  RemoveSpace,
  Hyphenate,
  AllowedTitle,
  AllowedSuffix
};
void nameCard(FixPreview& preview, const ABPerson& person, Card card, double alpha);
// The person's name and, one row each from `top` down, every value it holds (everyValueOf); the y
// of the row after the last.
double fieldList(FixPreview& preview, const ABPerson& person, double top = 132);
// The merge preview: which contacts (store order) form the group, each with what tells it apart,
// and every value of the contact they become.
void merged(FixPreview& preview, const std::vector<ABPersonRef>& members);
// A contact as a preview names it: its name, then what tells it apart ("Ann Lee — ann@lee.org,
// +1 555 0100, Acme").
std::string contactLine(const ABPerson& person);
// Lines of contacts from y down, one each (at x 14, 440 wide, in this colour); the y after them.
double contactLines(FixPreview& preview, const std::vector<ABPersonRef>& persons, double y,
                    PreviewText::Colour colour = PreviewText::Colour::Default);
// The entries of a list that go from the person, each as "value (label)", from y down in red; the y
// after them.
double removedEntries(FixPreview& preview, const ABPerson& person, const std::string& property,
                      const std::vector<size_t>& indexes, double y);

}  // namespace PreviewParts
