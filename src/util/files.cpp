#include "util/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <system_error>

#include "util/codepage.h"

namespace virn {

namespace fs = std::filesystem;

namespace {

std::string two_digits(int value) {
  char text[16];
  std::snprintf(text, sizeof text, "%02d", value);
  return text;
}

std::string parent_folder(const std::string& path) {
  std::string folder = dir_of_path(path);
  if (folder.empty()) return ".";
  if (folder.size() > 1) folder.pop_back();
  return folder;
}

std::string describe_errno(int error, const std::string& path, const std::string& folder) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return "文件夹不存在：" + folder;
    case EACCES:
    case EPERM:
      return "没有权限写入文件夹：" + folder;
    case EROFS:
      return "文件夹位于只读的文件系统上，无法写入：" + folder;
    case ENOSPC:
    case EDQUOT:
      return "磁盘空间不足，无法写入文件：" + path;
    case EISDIR:
      return "无法写入：" + path + " 是一个文件夹";
    default:
      return "无法写入文件：" + path + "（" + std::strerror(error) + "）";
  }
}

// Closes the descriptor and removes the temporary file, once it has a name, unless it was
// renamed into place.
class TempFile {
 public:
  TempFile(int fd, std::string path) : fd_(fd), path_(std::move(path)) {}
  ~TempFile() {
    if (fd_ >= 0) ::close(fd_);
    if (!kept_ && !path_.empty()) ::unlink(path_.c_str());
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  int fd() const { return fd_; }
  const std::string& path() const { return path_; }
  void name(std::string path) { path_ = std::move(path); }
  int close() {
    int result = ::close(fd_);
    fd_ = -1;
    return result;
  }
  void keep() { kept_ = true; }

 private:
  int fd_;
  std::string path_;
  bool kept_ = false;
};

// The temporary file beside the target. Where the file system allows, it has no name while
// it is written (O_TMPFILE), so a process killed mid-write leaves nothing behind; elsewhere
// it is a hidden file named after the target.
std::optional<TempFile> open_temp(const std::string& folder, const std::string& pattern,
                                  mode_t mode) {
  const int unnamed = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  if (unnamed >= 0) {
    ::fchmod(unnamed, mode);  // exactly the mode, whatever the umask
    return std::optional<TempFile>(std::in_place, unnamed, std::string());
  }
  if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return std::nullopt;
  std::string path = pattern;
  const int named = ::mkstemp(path.data());
  if (named < 0) return std::nullopt;
  ::fchmod(named, mode);
  return std::optional<TempFile>(std::in_place, named, std::move(path));
}

// Gives an unnamed temporary file a free name of the pattern's form; false with errno set.
bool link_temp(TempFile& temp, const std::string& pattern) {
  const std::string handle = "/proc/self/fd/" + std::to_string(temp.fd());
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string path = pattern.substr(0, pattern.size() - 6) + std::to_string(::getpid()) + "-" +
                       std::to_string(counter++);
    if (::linkat(AT_FDCWD, handle.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0) {
      temp.name(std::move(path));
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

}  // namespace

LocalTime local_time(std::time_t moment) {
  std::tm parts{};
  localtime_r(&moment, &parts);
  return {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday,
          parts.tm_hour,        parts.tm_min,     parts.tm_sec};
}

LocalTime local_time_now() {
  return local_time(std::time(nullptr));
}

std::string stamp_text(const LocalTime& time) {
  char year[16];
  std::snprintf(year, sizeof year, "%04d", time.year);
  return year + two_digits(time.month) + two_digits(time.day) + two_digits(time.hour) +
         two_digits(time.minute) + two_digits(time.second);
}

Result<std::string> unique_stamped_path(std::string_view dir, std::string_view stamp,
                                        std::string_view extension) {
  std::string base(dir);
  if (!base.empty() && base.back() != '/') base += '/';
  base += stamp;
  for (int number = 1; number <= kMaxStampedNames; ++number) {
    std::string candidate = base;
    if (number > 1) candidate += "_" + std::to_string(number);
    candidate += extension;
    std::error_code error;
    // symlink_status so that a dangling link still counts as taken.
    if (!fs::exists(fs::symlink_status(candidate, error))) return candidate;
  }
  return Error{"无法生成新的文件名：" + base + std::string(extension) + " 及其后 " +
               std::to_string(kMaxStampedNames - 1) + " 个编号都已存在"};
}

bool dir_exists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  return fs::is_directory(path, error);
}

bool file_exists(const std::string& path) {
  if (path.empty()) return false;
  std::error_code error;
  return fs::exists(path, error);
}

std::optional<Error> ensure_dir(const std::string& path) {
  if (path.empty()) return Error{"未指定文件夹"};
  std::error_code error;
  fs::create_directories(path, error);
  if (dir_exists(path)) return std::nullopt;
  if (!error) return Error{"无法创建文件夹：" + path + "（同名的文件已存在）"};
  std::string why;
  switch (error.value()) {
    case EACCES:
    case EPERM:
      why = "没有权限";
      break;
    case EROFS:
      why = "文件系统只读";
      break;
    case ENOSPC:
      why = "磁盘空间不足";
      break;
    case EEXIST:
    case ENOTDIR:
      why = "路径中有同名的文件";
      break;
    default:
      why = error.message();
  }
  return Error{"无法创建文件夹：" + path + "（" + why + "）"};
}

std::string dir_of_path(std::string_view path) {
  std::size_t end = 0;  // one past the last separator found
  for (std::size_t index = 0; index < path.size(); index += char_length(path, index)) {
    if (path[index] == '/') end = index + 1;
  }
  return std::string(path.substr(0, end));
}

std::optional<Error> write_file_atomically(const std::string& path, const Bytes& bytes) {
  if (path.empty()) return Error{"未指定要写入的文件"};
  const std::string folder = parent_folder(path);
  if (!dir_exists(folder)) return Error{"文件夹不存在：" + folder};
  std::error_code status_error;
  if (fs::is_directory(path, status_error)) return Error{"无法写入：" + path + " 是一个文件夹"};

  const std::string prefix = dir_of_path(path);
  const std::string pattern = prefix + "." + path.substr(prefix.size()) + ".XXXXXX";
  // Keep the permissions of the file being replaced; a new file gets the usual rw-r--r--.
  struct stat old_state {};
  const mode_t mode = ::stat(path.c_str(), &old_state) == 0 ? (old_state.st_mode & 07777) : 0644;
  std::optional<TempFile> opened = open_temp(folder, pattern, mode);
  if (!opened) return Error{describe_errno(errno, path, folder)};
  TempFile& temp = *opened;

  std::size_t written = 0;
  while (written < bytes.size()) {
    ssize_t count = ::write(temp.fd(), bytes.data() + written, bytes.size() - written);
    if (count < 0) {
      if (errno == EINTR) continue;
      return Error{describe_errno(errno, path, folder)};
    }
    written += static_cast<std::size_t>(count);
  }
  if (::fsync(temp.fd()) != 0) return Error{describe_errno(errno, path, folder)};
  if (temp.path().empty() && !link_temp(temp, pattern)) {
    return Error{describe_errno(errno, path, folder)};
  }
  if (temp.close() != 0) return Error{describe_errno(errno, path, folder)};
  if (::rename(temp.path().c_str(), path.c_str()) != 0) {
    return Error{describe_errno(errno, path, folder)};
  }
  temp.keep();

  // Make the rename itself durable; the file is in place either way.
  int folder_fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (folder_fd >= 0) {
    ::fsync(folder_fd);
    ::close(folder_fd);
  }
  return std::nullopt;
}

}  // namespace virn
