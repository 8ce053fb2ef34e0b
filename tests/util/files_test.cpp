#include "util/files.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "util/codepage.h"

namespace virn {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "virn-files-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

void put(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::string get(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t entries(const fs::path& folder) {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), {}));
}

TEST(StampText, EveryFieldIsZeroPadded) {
  struct Case {
    LocalTime time;
    const char* stamp;
  };
  const Case cases[] = {
      {{2019, 12, 8, 9, 5, 3}, "20191208090503"},
      {{2019, 1, 28, 9, 5, 3}, "20190128090503"},  // unpadded, both gave 2019128953
      {{2019, 12, 8, 19, 25, 43}, "20191208192543"},
      {{2020, 1, 1, 0, 0, 0}, "20200101000000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(stamp_text(c.time), c.stamp);
}

TEST(StampText, LocalTimeReadsTheClockFields) {
  std::tm parts{};
  parts.tm_year = 2019 - 1900;
  parts.tm_mon = 11;
  parts.tm_mday = 8;
  parts.tm_hour = 9;
  parts.tm_min = 5;
  parts.tm_sec = 3;
  parts.tm_isdst = -1;
  EXPECT_EQ(stamp_text(local_time(std::mktime(&parts))), "20191208090503");
}

TEST(UniqueStampedPath, CountsUpPastTakenNames) {
  TempDir dir;
  const std::string folder = dir.path().string() + "/";
  EXPECT_EQ(unique_stamped_path(folder, "20191208090503", ".wav").value(),
            folder + "20191208090503.wav");
  put(folder + "20191208090503.wav", "x");
  EXPECT_EQ(unique_stamped_path(folder, "20191208090503", ".wav").value(),
            folder + "20191208090503_2.wav");
  put(folder + "20191208090503_2.wav", "x");
  fs::create_symlink(folder + "nowhere", folder + "20191208090503_3.wav");  // dangling
  // The folder may be given without its separator.
  EXPECT_EQ(unique_stamped_path(dir.path().string(), "20191208090503", ".wav").value(),
            folder + "20191208090503_4.wav");
}

TEST(UniqueStampedPath, GivesUpInsteadOfOverwriting) {
  TempDir dir;
  const std::string folder = dir.path().string() + "/";
  put(folder + "s.wav", "x");
  for (int n = 2; n <= kMaxStampedNames; ++n)
    put(folder + "s_" + std::to_string(n) + ".wav", "x");
  auto result = unique_stamped_path(folder, "s", ".wav");
  ASSERT_FALSE(result.ok());
  EXPECT_NE(result.error().message.find("已存在"), std::string::npos);
}

TEST(DirOfPath, CutsAfterTheLastSeparator) {
  struct Case {
    const char* path;
    const char* folder;
  };
  const Case cases[] = {
      {"/home/u/out/a.wav", "/home/u/out/"},
      {"a.wav", ""},
      {"", ""},
      {"/a.wav", "/"},
      {"/home/u/out/", "/home/u/out/"},
      {"/home/音声/x.wav", "/home/音声/"},
      {"/音声/合成/声.wav", "/音声/合成/"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(dir_of_path(c.path), c.folder) << c.path;
}

TEST(DirOfPath, SeparatorByteInsideADoubleByteCharacterIsNoSeparator) {
  ScopedCodePage page(CodePage::cp936);
  // 0x81 0x2F is one character of the double-byte rule: its second byte is not a '/'.
  EXPECT_EQ(dir_of_path("/out/ab\x81/x.wav"), "/out/");
  EXPECT_EQ(dir_of_path("/out/ab\x81/"), "/out/");
}

TEST(Folders, ExistenceChecksAndCreation) {
  TempDir dir;
  const std::string file = dir / "f.wav";
  put(file, "x");
  EXPECT_TRUE(dir_exists(dir.path().string()));
  EXPECT_FALSE(dir_exists(file));
  EXPECT_FALSE(dir_exists(""));
  EXPECT_TRUE(file_exists(file));
  EXPECT_TRUE(file_exists(dir.path().string()));
  EXPECT_FALSE(file_exists(dir / "missing.wav"));
  EXPECT_FALSE(file_exists(""));

  const std::string deep = dir / "a/b/temp/";
  EXPECT_FALSE(ensure_dir(deep).has_value());
  EXPECT_TRUE(dir_exists(deep));
  EXPECT_FALSE(ensure_dir(deep).has_value());  // already there is fine

  auto blocked = ensure_dir(file + "/temp");
  ASSERT_TRUE(blocked.has_value());
  EXPECT_NE(blocked->message.find(file), std::string::npos) << blocked->message;
}

TEST(WriteFileAtomically, CreatesAndReplacesKeepingPermissions) {
  TempDir dir;
  const std::string file = dir / "out.wav";
  EXPECT_FALSE(write_file_atomically(file, to_bytes("first")).has_value());
  EXPECT_EQ(get(file), "first");

  ::chmod(file.c_str(), 0600);
  EXPECT_FALSE(write_file_atomically(file, to_bytes("second, longer")).has_value());
  EXPECT_EQ(get(file), "second, longer");
  struct stat state {};
  ASSERT_EQ(::stat(file.c_str(), &state), 0);
  EXPECT_EQ(state.st_mode & 0777, 0600u);

  EXPECT_FALSE(write_file_atomically(file, {}).has_value());
  EXPECT_EQ(fs::file_size(file), 0u);
  EXPECT_EQ(entries(dir.path()), 1u);  // no temporary file left behind
}

TEST(WriteFileAtomically, FailuresLeaveTheOldFileAndSayWhy) {
  TempDir dir;
  const std::string kept = dir / "kept.wav";
  put(kept, "old bytes");
  fs::create_directory(dir / "folder.wav");

  struct Case {
    std::string path;
    std::string says;
  };
  const Case cases[] = {
      {dir / "missing/x.wav", "文件夹不存在"},
      {dir / "folder.wav", "文件夹"},
      {"", "未指定"},
      {"/proc/virn-files-test.wav", "/proc"},  // refused even to root
  };
  for (const Case& c : cases) {
    auto error = write_file_atomically(c.path, to_bytes("new"));
    ASSERT_TRUE(error.has_value()) << c.path;
    EXPECT_NE(error->message.find(c.says), std::string::npos) << error->message;
  }
  EXPECT_FALSE(fs::exists(dir / "missing"));
  EXPECT_TRUE(fs::is_directory(dir / "folder.wav"));
  EXPECT_EQ(get(kept), "old bytes");
  EXPECT_EQ(entries(dir.path()), 2u);
}

TEST(WriteFileAtomically, ReadOnlyFolderIsReported) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempDir dir;
  const std::string file = dir / "kept.wav";
  put(file, "old");
  ::chmod(dir.path().c_str(), 0500);
  auto error = write_file_atomically(file, to_bytes("new"));
  ::chmod(dir.path().c_str(), 0700);
  ASSERT_TRUE(error.has_value());
  EXPECT_NE(error->message.find("没有权限"), std::string::npos) << error->message;
  EXPECT_EQ(get(file), "old");
}

}  // namespace
}  // namespace virn
