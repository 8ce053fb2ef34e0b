#include "faults/scoped_mount.h"

#include <sys/mount.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace virn::faults {
namespace {

bool can_mount(std::string& why_not) {
  if (::geteuid() != 0) {
    why_not = "mounting a file system needs root";
    return false;
  }
  return true;
}

std::string failure(const char* what, const std::string& target) {
  return std::string(what) + " at " + target + " failed: " + std::strerror(errno);
}

}  // namespace

std::unique_ptr<ScopedMount> ScopedMount::tmpfs(const std::string& target, std::size_t bytes,
                                                std::string& why_not) {
  if (!can_mount(why_not)) return nullptr;
  const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (::mount("tmpfs", target.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) != 0) {
    why_not = failure("mounting a tmpfs", target);
    return nullptr;
  }
  return std::make_unique<ScopedMount>(Key{}, target);
}

std::unique_ptr<ScopedMount> ScopedMount::read_only_bind(const std::string& source,
                                                         const std::string& target,
                                                         std::string& why_not) {
  if (!can_mount(why_not)) return nullptr;
  if (::mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
    why_not = failure("a bind mount", target);
    return nullptr;
  }
  // A bind mount takes its read-only flag only from a remount.
  auto mounted = std::make_unique<ScopedMount>(Key{}, target);
  if (::mount(nullptr, target.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
    why_not = failure("remounting read-only", target);
    return nullptr;
  }
  return mounted;
}

ScopedMount::~ScopedMount() {
  // Detached even while something still has a file open in it.
  ::umount2(target_.c_str(), MNT_DETACH);
}

}  // namespace virn::faults
