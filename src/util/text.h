#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace virn {

// A list of texts, such as the pieces of a split.
using TextList = std::vector<std::string>;

// Cuts that never fail. Positions are 1-based.
std::string left_text(std::string_view text, long long count);
std::string right_text(std::string_view text, long long count);
std::string mid_text(std::string_view text, long long start, long long count);

// Forward search from 1-based position `start` (below 1 counts as 1), stepping by
// characters of the current code page; 1-based position of the match or -1.
// An empty needle is found at position 1 when at least one byte remains from `start`.
long long find_text(std::string_view text, std::string_view needle, long long start = 1,
                    bool ignore_case = false);

// Backward search: the last match that lies wholly within the first `limit` - 1 bytes,
// candidates stepping by characters from the first byte. An empty needle is found at
// position 1 when that stretch holds a byte.
long long find_text_backward(std::string_view text, std::string_view needle, long long limit,
                             bool ignore_case = false);

bool contains_text(std::string_view text, std::string_view needle, bool ignore_case = false);

// Every occurrence of `needle` (found by the search rule) replaced by `replacement`.
std::string replace_all(std::string_view text, std::string_view needle,
                        std::string_view replacement, bool ignore_case = false);

// Splitting at a delimiter: an empty text gives no pieces, an empty delimiter one piece,
// a leading or doubled delimiter an empty piece, a trailing delimiter no empty last piece.
TextList split_text(std::string_view text, std::string_view delimiter);

// The same pieces as split_text, as views into `text` (no copies).
std::vector<std::string_view> split_text_views(std::string_view text, std::string_view delimiter);

// Removes ASCII and full-width spaces at both ends, and a cut-off last character.
std::string trim_text(std::string_view text);

// Upper-cases a to z only; the bytes of a multi-byte character stay.
std::string upper_ascii(std::string_view text);

// Compares A-Z/a-z without regard to case, all other bytes exactly.
bool equals_ignore_case(std::string_view a, std::string_view b);

}  // namespace virn
