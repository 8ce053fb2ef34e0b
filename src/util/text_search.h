#pragma once

#include <string>
#include <string_view>

#include "util/text.h"

namespace virn {

// The text before the marker. start 0 or positive: forward search from there (0 counts as 1);
// negative: backward search within the first L - k - 1 bytes, k = |start| (-1 gives k = 0).
std::string text_before(std::string_view text, std::string_view marker, long long start = 0,
                        bool ignore_case = false);

// The text between the first start marker at or after `start` and the next end marker.
// "#引号" in a marker stands for a double quote.
std::string text_between(std::string_view text, std::string_view start_marker,
                         std::string_view end_marker, long long start = 0,
                         bool ignore_case = false);

// The distinct items in their first order, joined by the delimiter. Items are the pieces
// of a split at the delimiter, or the units of split_characters.
std::string remove_duplicates(std::string_view text, std::string_view delimiter,
                              bool split_at_delimiter);

// Fills `units` with the units of the text; returns their number.
int split_characters(std::string_view text, TextList& units);

// 1-based index of the first item equal to the text, or -1.
int find_in_list(const TextList& items, std::string_view text);

}  // namespace virn
