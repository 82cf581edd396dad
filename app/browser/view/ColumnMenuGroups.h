#pragma once

#include <string>
#include <vector>

// The submenus of the column chooser, each with the record keys it offers.
struct ColumnMenuGroup {
  std::string title;
  std::vector<std::string> keys;
};

const std::vector<ColumnMenuGroup>& columnMenuGroups();
