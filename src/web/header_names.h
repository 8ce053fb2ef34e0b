#pragma once

#include <string>
#include <string_view>

namespace virn::web {

// Rewrites a header text (lines separated by CR LF) so that each header name has its
// conventional capitals: the first character of the name and of every part after a "-" is
// upper-cased, the rest keeps its case. Lines without a colon are dropped; the result has
// no CR LF after its last line.
std::string normalize_header_names(std::string_view headers);

// The text with its first byte upper-cased when it is a to z.
std::string capitalize_first(std::string_view text);

}  // namespace virn::web
