#include "web/cookies.h"

#include "util/text_search.h"

namespace virn::web {
namespace {

constexpr std::string_view kSeparator = "; ";
constexpr std::string_view kDeleted = "=deleted";

// A closing ";" after trimming counts as a separator.
std::string as_cookie_list(std::string_view text) {
  std::string trimmed = trim_text(text);
  if (!trimmed.empty() && trimmed.back() == ';') trimmed += ' ';
  return trimmed;
}

bool is_deleted(std::string_view item) {
  return right_text(item, kDeleted.size()) == kDeleted;
}

void drop_trailing_separator(std::string& text) {
  if (text.ends_with(kSeparator)) text.resize(text.size() - kSeparator.size());
}

}  // namespace

std::string collect_cookies(std::string_view returned_headers) {
  std::string cookies;
  for (const std::string_view line : split_text_views(returned_headers, "\r\n")) {
    if (text_before(line, ": ") != "Set-Cookie") continue;
    const std::string item = contains_text(line, ";")
                                 ? trim_text(text_between(line, "Set-Cookie:", ";"))
                                 : trim_text(replace_all(line, "Set-Cookie:", "", true));
    cookies += item;
    cookies += kSeparator;
  }
  drop_trailing_separator(cookies);
  return cookies;
}

std::string merge_cookies(std::string& sent, std::string_view received) {
  const TextList old_items = split_text(as_cookie_list(sent), kSeparator);
  TextList items = split_text(as_cookie_list(received), kSeparator);
  for (const std::string& old_item : old_items) {
    if (!cookie_list_has(items, cookie_name_of(old_item))) items.push_back(old_item);
  }
  std::string merged;
  for (const std::string& item : items) {
    if (is_deleted(item)) continue;
    merged += item;
    merged += kSeparator;
  }
  drop_trailing_separator(merged);
  sent = remove_duplicates(merged, kSeparator, true);
  return sent;
}

std::string cookie_name_of(std::string_view item) {
  const long long equals = find_text(item, "=");
  if (equals < 0) return trim_text(item);
  return trim_text(left_text(item, equals - 1));
}

bool cookie_list_has(const TextList& items, std::string_view name) {
  for (const std::string& item : items) {
    if (cookie_name_of(item) == name) return true;
  }
  return false;
}

}  // namespace virn::web
