#pragma once

#include <string>

#include "platform/addressbook/ABPerson.h"

// The ways the review screen writes a person's name.
namespace PersonNames {

// The row name of the outline: the name the person is shown under (shownName), never "(null)".
std::string rowName(const ABPerson& person);
// first name immediately followed by last name, a missing part written as (null).
std::string nameKey(const ABPerson& person);
std::string nameKey(const ABPersonData& data);
// "first last" when both exist, else the one that exists, else empty.
std::string displayName(const ABPerson& person);

}  // namespace PersonNames
