#include "web/header_names.h"

#include "util/text.h"

namespace virn::web {
namespace {

// Capitalises every "-"-separated part of a header name; "-" found by character steps so a
// trail byte never counts, and empty parts stay empty.
std::string capitalize_parts(std::string_view name) {
  std::string result;
  result.reserve(name.size());
  std::size_t part_start = 0;
  while (true) {
    const long long dash = find_text(name, "-", static_cast<long long>(part_start) + 1);
    if (dash < 0) {
      result += capitalize_first(name.substr(part_start));
      return result;
    }
    const auto dash_index = static_cast<std::size_t>(dash - 1);
    result += capitalize_first(name.substr(part_start, dash_index - part_start));
    result += '-';
    part_start = dash_index + 1;
  }
}

}  // namespace

std::string normalize_header_names(std::string_view headers) {
  std::string result;
  result.reserve(headers.size());
  for (const std::string_view line : split_text_views(headers, "\r\n")) {
    const long long colon = find_text(line, ":");
    if (colon < 0) continue;
    const auto name_length = static_cast<std::size_t>(colon - 1);
    result += capitalize_parts(line.substr(0, name_length));
    result += line.substr(name_length);
    result += "\r\n";
  }
  if (!result.empty()) result.resize(result.size() - 2);
  return result;
}

std::string capitalize_first(std::string_view text) {
  std::string result(text);
  if (!result.empty() && result[0] >= 'a' && result[0] <= 'z') {
    result[0] = static_cast<char>(result[0] - 'a' + 'A');
  }
  return result;
}

}  // namespace virn::web
