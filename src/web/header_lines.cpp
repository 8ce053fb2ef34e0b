#include "web/header_lines.h"

#include "util/text.h"

namespace virn::web {

std::string header_name_of(std::string_view line) {
  const long long colon = find_text(line, ":");
  if (colon < 0) return {};
  return trim_text(left_text(line, colon - 1));
}

std::string header_value_of(std::string_view line) {
  const long long colon = find_text(line, ":");
  if (colon < 0) return {};
  return trim_text(line.substr(static_cast<std::size_t>(colon)));
}

}  // namespace virn::web
