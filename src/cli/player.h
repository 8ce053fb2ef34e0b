#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace virn::cli {

// The first of paplay and aplay found in the folders of a PATH value, as a full path.
std::optional<std::string> find_player(std::string_view path_variable);

// Plays a WAV file with the player and waits for it to end; nullopt on success, otherwise
// what went wrong.
std::optional<std::string> play_file(const std::string& player, const std::string& file);

}  // namespace virn::cli
