#pragma once

#include <cstddef>
#include <string>

namespace virn::cli {

// A terminal progress bar for `done` of `total` items: "[#####-----]  5/10". `width` is the
// number of cells between the brackets.
std::string progress_bar(std::size_t done, std::size_t total, std::size_t width = 30);

}  // namespace virn::cli
