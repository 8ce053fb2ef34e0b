#pragma once

#include <string>
#include <string_view>

#include "util/text.h"

namespace virn::web {

// The cookies that a response header block sets, as one cookie text ("a=1; b=2"): one item
// per "Set-Cookie: " line in line order, each without its attributes. Repeats are kept.
std::string collect_cookies(std::string_view returned_headers);

// Merges the cookies a response set into the ones that were sent: the received items first,
// then the sent items whose names were not received; items ending in "=deleted" are left
// out, exact repeats kept once. `sent` receives the merged text as well.
std::string merge_cookies(std::string& sent, std::string_view received);

// The name of a cookie item: the bytes before its first "=", trimmed (all of it without "=").
std::string cookie_name_of(std::string_view item);

// Whether an item of the list has the given name, byte for byte.
bool cookie_list_has(const TextList& items, std::string_view name);

}  // namespace virn::web
