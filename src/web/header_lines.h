#pragma once

#include <string>
#include <string_view>

namespace virn::web {

// The name of a header line: the bytes before its first ":", trimmed; empty when the line
// has no colon.
std::string header_name_of(std::string_view line);

// The value of a header line: everything after its first ":", trimmed; later colons belong
// to the value. Empty when the line has no colon.
std::string header_value_of(std::string_view line);

}  // namespace virn::web
