// A process killed while it saves leaves the old file or the whole new one, never a part.

#include "faults/killed_save.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <thread>

#include "support/temp_dir.h"
#include "util/files.h"

extern char** environ;

namespace virn::faults {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr int kRounds = 20;

Bytes read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// The writer, running until killed; the destructor kills and reaps it in any case.
class Writer {
 public:
  Writer(const fs::path& target, const fs::path& ready) {
    const std::string program = VIRN_FAULTS_ATOMIC_WRITER;
    std::string target_text = target.string();
    std::string ready_text = ready.string();
    char* arguments[] = {const_cast<char*>(program.c_str()), target_text.data(), ready_text.data(),
                         nullptr};
    if (::posix_spawn(&pid_, program.c_str(), nullptr, nullptr, arguments, environ) != 0) {
      pid_ = -1;
    }
  }
  ~Writer() { kill(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  bool started() const { return pid_ > 0; }

  // Whether it is still running; false once it ended on its own.
  bool running() {
    if (pid_ <= 0) return false;
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return false;
    }
    return true;
  }

  void kill() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
};

// Files in the folder besides the target: temporary files that killed writes left behind.
int leftovers(const fs::path& folder, const fs::path& target) {
  int count = 0;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path() != target && entry.path().filename() != "ready") ++count;
  }
  return count;
}

TEST(KilledSave, LeavesTheOldFileOrTheWholeNewOne) {
  test::TempDir folder;
  const fs::path target = folder / "take.wav";
  const fs::path ready = folder / "ready";
  const Bytes takes[2] = {killed_save_take(0), killed_save_take(1)};
  ASSERT_FALSE(write_file_atomically(target.string(), takes[0]).has_value());

  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("seed " + std::to_string(seed));
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> moment_ms(0, 60);

  for (int round = 0; round < kRounds; ++round) {
    fs::remove(ready);
    Writer writer(target, ready);
    ASSERT_TRUE(writer.started());
    // Wait for the first whole replacement, so the kill meets a writer in its loop.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!fs::exists(ready)) {
      ASSERT_TRUE(writer.running()) << "the writer ended by itself in round " << round;
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << "the writer never got going";
      std::this_thread::sleep_for(2ms);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(moment_ms(random)));
    writer.kill();

    const Bytes found = read_bytes(target);
    ASSERT_TRUE(found == takes[0] || found == takes[1])
        << "round " << round << ": the file holds " << found.size() << " bytes, neither take";
  }
  // The temporary file has no name while it is written, so a kill leaves nothing behind;
  // only one landing in the instant between naming it and renaming it could.
  EXPECT_LE(leftovers(folder.path(), target), 1);
}

}  // namespace
}  // namespace virn::faults
