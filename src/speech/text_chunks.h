#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace virn::speech {

// Splits a long UTF-8 text into pieces of at most max_chars characters each, for backends
// that take one short text at a time. Whole sentences (ending in 。！？!? or a line break) are
// packed together while they fit; a sentence longer than that is cut after a 、 or a space,
// else at max_chars. Nothing is lost or reordered except white space at the cuts; pieces that
// would hold only white space are left out. An invalid byte counts as one character.
std::vector<std::string> split_text(std::string_view text, std::size_t max_chars = 200);

}  // namespace virn::speech
