#pragma once

#include <optional>
#include <string>

#include "util/result.h"

namespace virn::app {

// What start-up knows about the places the program may write to.
struct FolderFacts {
  std::string program_dir;  // the folder of the executable, no trailing '/'
  std::string current_dir;  // as the system reports it
  bool program_dir_writable = true;
  std::string cache_dir;  // the per-user cache folder, no trailing '/'
  std::string music_dir;  // empty when the user has none
  std::string home_dir;
};

struct Folders {
  std::string scratch_dir;  // where 试听 writes, ends with '/'
  std::string output_dir;   // where 保存 names new files, ends with '/'
};

// A portable copy writes beside itself; an installed copy, whose folder the user cannot
// write, uses the cache folder for scratch files and the music (else home) folder for output.
Folders choose_folders(const FolderFacts& facts);

// output_dir + stamp + ".wav": the name 编辑框2 starts with.
std::string default_output_file(const std::string& output_dir, const std::string& stamp);

// The file 保存 writes. With automatic naming on and `named` already there, a fresh
// stamped name in output_dir (with a counter when that is taken too); otherwise `named`
// itself, which is then replaced. An empty name is an error.
Result<std::string> save_target(bool auto_naming, const std::string& named,
                                const std::string& output_dir, const std::string& stamp);

// 编辑框2 and output_dir after 更改.
struct OutputChoice {
  std::string file;
  std::string output_dir;
};

// A confirmed path is taken; a cancelled dialog applies the last confirmed one again, or
// changes nothing (nullopt) when there was none.
std::optional<OutputChoice> output_after_dialog(const std::optional<std::string>& confirmed,
                                                const std::optional<std::string>& last_confirmed);

}  // namespace virn::app
