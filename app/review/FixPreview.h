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
enum class Card { RemoveSuffix, RemoveTitle, QuestionMarks, Company, RemoveSpace, Hyphenate };
void nameCard(FixPreview& preview, const ABPerson& person, Card card, double alpha);
// The person's name and first six fields of its display dictionary.
void fieldList(FixPreview& preview, const ABPerson& person);
// The merge preview: the contact the members (store order) become.
void merged(FixPreview& preview, const std::vector<ABPersonRef>& members);

}  // namespace PreviewParts
