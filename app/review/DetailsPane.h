#pragma once

#include <optional>
#include <string>

#include "app/review/ReviewCategories.h"
#include "app/review/ReviewOutline.h"

// What the details pane shows for the selected contact row.
struct DetailsPane {
  std::string name;
  std::optional<ABBytes> picture;  // the person's own picture; none: the image of placeholderImage
  std::string emailLine;
  std::string problemText;
  const ReviewCategories::FixMatrix* matrix = nullptr;
  int matrixX = 0, matrixY = 0;
  std::string selectedOption;

  static constexpr const char* placeholderImage = "BigHead.png";
};

class ABAddressBook;

// The details pane of the outline's selected row; nullopt when no contact row is selected. With the
// store, texts leave out what the user's marks keep (phone numbers kept as they are written).
std::optional<DetailsPane> updateUI(const ReviewOutline& outline, const ABAddressBook* book = nullptr);

namespace EmailSlots {

// The address shown for a person: entries sorted into home, work, other and custom slots by label,
// the last entry of each slot winning, the first filled slot in that order.
std::string emailLine(const ABPerson& person);
// The address that a shared e-mail row is about (the value the scan found shared).
std::string sharedAddress(const PersonItem& row);
// The problem text of a "Share Email address" row.
std::string shareEmailProblemText(const PersonItem& row);

}  // namespace EmailSlots

namespace PhoneProblems {

// The problem texts of the rows of the similar-contact and phone categories; numbers are read for
// the region.
std::string similarContactsText(const PersonItem& row);
std::string writtenDifferentlyText(const ABPerson& person, const std::string& region);
// Numbers in `kept` (kept as they are written) are named apart.
std::string notInternationalText(const ABPerson& person, const std::string& region,
                                 const std::vector<std::string>& kept = {});

}  // namespace PhoneProblems
