#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ABPerson.h"

// The compact binary form in which the store keeps one person's values.
namespace PersonCodec {

// Appends the encoding to out; it takes exactly encodedSize(data) bytes.
void encode(const ABPersonData& data, std::string& out);
std::size_t encodedSize(const ABPersonData& data);
std::string encode(const ABPersonData& data);
// nullopt when the bytes are not a well-formed encoding.
std::optional<ABPersonData> decode(std::string_view bytes);

}  // namespace PersonCodec
