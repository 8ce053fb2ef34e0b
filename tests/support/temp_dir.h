#pragma once

#include <filesystem>

namespace virn::test {

// A fresh folder under the system's temporary folder, removed with everything in it when
// the object goes. Throws std::runtime_error when it cannot be made.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

}  // namespace virn::test
