#include "app/output_files.h"

#include "util/files.h"

namespace virn::app {

Folders choose_folders(const FolderFacts& facts) {
  Folders folders;
  if (facts.program_dir_writable) {
    folders.scratch_dir = facts.program_dir + "/temp/";
    // The separator goes on without looking: "/" gives "//", which names the same folder.
    folders.output_dir = facts.current_dir + "/";
  } else {
    folders.scratch_dir = facts.cache_dir + "/temp/";
    folders.output_dir = (facts.music_dir.empty() ? facts.home_dir : facts.music_dir) + "/";
  }
  return folders;
}

std::string default_output_file(const std::string& output_dir, const std::string& stamp) {
  return output_dir + stamp + ".wav";
}

Result<std::string> save_target(bool auto_naming, const std::string& named,
                                const std::string& output_dir, const std::string& stamp) {
  if (auto_naming && file_exists(named)) return unique_stamped_path(output_dir, stamp, ".wav");
  if (named.empty()) return Error{"未指定输出文件：请在“输出到”中填写文件名，或点“更改”选择。"};
  return named;
}

std::optional<OutputChoice> output_after_dialog(const std::optional<std::string>& confirmed,
                                                const std::optional<std::string>& last_confirmed) {
  const std::optional<std::string>& path = confirmed ? confirmed : last_confirmed;
  if (!path || path->empty()) return std::nullopt;
  return OutputChoice{*path, dir_of_path(*path)};
}

}  // namespace virn::app
