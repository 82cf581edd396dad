#pragma once

#include <QString>
#include <string>
#include <vector>

// The submenus of the column chooser, each with the record keys it offers.
struct ColumnMenuGroup {
  std::string title;
  std::vector<std::string> keys;
};

const std::vector<ColumnMenuGroup>& columnMenuGroups();

// The group's title in the user's language.
QString columnGroupTitle(const ColumnMenuGroup& group);
