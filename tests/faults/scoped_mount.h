#pragma once

#include <memory>
#include <string>
#include <utility>

namespace virn::faults {

// A file system mounted for one test and detached when the object goes. Mounting needs
// root (CAP_SYS_ADMIN); the factories give null and say why when it cannot be done, so the
// test can skip with that reason.
class ScopedMount {
 public:
  // A tmpfs of `bytes` bytes at the existing folder `target`.
  static std::unique_ptr<ScopedMount> tmpfs(const std::string& target, std::size_t bytes,
                                            std::string& why_not);
  // `source` shown again at the existing folder `target`, read-only.
  static std::unique_ptr<ScopedMount> read_only_bind(const std::string& source,
                                                     const std::string& target,
                                                     std::string& why_not);

  ~ScopedMount();
  ScopedMount(const ScopedMount&) = delete;
  ScopedMount& operator=(const ScopedMount&) = delete;

 private:
  // Only the factories make one.
  struct Key {
    explicit Key() = default;
  };

 public:
  ScopedMount(Key, std::string target) : target_(std::move(target)) {}

 private:
  std::string target_;
};

}  // namespace virn::faults
