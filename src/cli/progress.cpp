#include "cli/progress.h"

#include <algorithm>

namespace virn::cli {

std::string progress_bar(std::size_t done, std::size_t total, std::size_t width) {
  done = std::min(done, total);
  const std::size_t filled = total == 0 ? width : done * width / total;
  const std::string count = std::to_string(done) + "/" + std::to_string(total);
  const std::size_t count_width = 2 * std::to_string(total).size() + 1;
  return "[" + std::string(filled, '#') + std::string(width - filled, '-') + "] " +
         std::string(count_width - count.size(), ' ') + count;
}

}  // namespace virn::cli
