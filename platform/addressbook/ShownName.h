#pragma once

#include <optional>
#include <string>
#include <string_view>

class ABPersonData;

// The name a person is shown under wherever a person is named to the user (the table's "Name"
// column, outline rows, details, previews, contact card titles): "first last" with one space when
// both exist, else the one that exists, else the organisation (a company card), else the first
// e-mail address, else the first phone number, else "No Name". A missing part never shows as
// "(null)"; that spelling belongs only to the name key that groups duplicates.
std::string shownName(const ABPersonData& data);
// The same from the name's parts (an absent or empty part is missing); `reach` is the first e-mail
// address or, without one, the first phone number.
std::string shownName(std::optional<std::string_view> first, std::optional<std::string_view> last,
                      std::optional<std::string_view> organisation, std::optional<std::string_view> reach = {});
