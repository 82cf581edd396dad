#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ABPerson.h"

// The compact binary form in which the store keeps one person's values.
namespace PersonCodec {

void encode(const ABPersonData& data, std::string& out);
std::string encode(const ABPersonData& data);
// nullopt when the bytes are not a well-formed encoding.
std::optional<ABPersonData> decode(std::string_view bytes);

}  // namespace PersonCodec
