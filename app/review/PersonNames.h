#pragma once

#include <string>

#include "platform/addressbook/ABPerson.h"

// The ways the review screen writes a person's name.
namespace PersonNames {

// "first last" with a missing part written as (null): the row name of the outline.
std::string rowName(const ABPerson& person);
// first name immediately followed by last name, a missing part written as (null).
std::string nameKey(const ABPerson& person);
std::string nameKey(const ABPersonData& data);
// "first last" when both exist, else the one that exists, else empty.
std::string displayName(const ABPerson& person);

}  // namespace PersonNames
