#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <string_view>

#include "util/bytes.h"
#include "util/result.h"

namespace virn {

// A moment of the local clock, as the user reads it.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;    // 1..31
  int hour = 0;   // 0..23
  int minute = 0;
  int second = 0;
};

LocalTime local_time(std::time_t moment);
LocalTime local_time_now();

// yyyymmddhhmmss, every field zero-padded, so no two moments share a text
// (2019-12-08 09:05:03 gives "20191208090503").
std::string stamp_text(const LocalTime& time);

// The first of dir + stamp + extension, dir + stamp + "_2" + extension, "_3" … that names
// nothing yet. `dir` may end with '/' or not. After kMaxStampedNames tries it gives up with
// an error rather than overwrite anything.
inline constexpr int kMaxStampedNames = 1000;
Result<std::string> unique_stamped_path(std::string_view dir, std::string_view stamp,
                                        std::string_view extension);

// True when the path names a folder (symbolic links followed).
bool dir_exists(const std::string& path);

// True when the path names anything: a file, a folder or another kind of entry.
bool file_exists(const std::string& path);

// Creates the folder and every missing one above it; nullopt when it exists afterwards,
// otherwise what went wrong, in plain Chinese.
std::optional<Error> ensure_dir(const std::string& path);

// The path up to and including its last '/', found stepping by whole characters of the
// current code page so that no byte inside a multi-byte character is taken for one;
// empty when there is none.
std::string dir_of_path(std::string_view path);

// Replaces the file at `path` with `bytes` so that it is either the old file or the whole
// new one, never a part: a temporary file in the same folder is written, flushed to disk
// and renamed over the target. On failure the old file stays as it was and the error says
// what happened (folder missing, no permission, disk full …) in plain Chinese.
std::optional<Error> write_file_atomically(const std::string& path, const Bytes& bytes);

}  // namespace virn
