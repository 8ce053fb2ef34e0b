// virn-say --service against services that misbehave: a non-zero exit, one line that names
// the cause (never the key), and the file given with -o left as it was.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "faults/fault_sites.h"
#include "speech/form_body.h"
#include "support/temp_dir.h"

extern char** environ;

namespace virn::faults {
namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// The service's own time-out is 15 s and a silent service holds a call a little longer.
constexpr auto kHangLimit = 40s;
const std::string kOldAudio = std::string("RIFF\0\0\0\0old take\0\xff", 19);

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

struct SayRun {
  int status = -1;  // -1: it had to be killed
  std::string out;
  std::string err;
};

// Runs virn-say in `folder` with the service settings in its environment and no proxy.
SayRun run_say(const std::vector<std::string>& arguments, const FaultSite& site,
               const fs::path& folder) {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::string name = text.substr(0, text.find('='));
    if (name.starts_with("VIRN_TTS_") || name.ends_with("_proxy") || name.ends_with("_PROXY"))
      continue;
    environment.push_back(text);
  }
  environment.push_back("VIRN_TTS_URL=" + site.url);
  environment.push_back(std::string("VIRN_TTS_KEY=") + kAccessKey);
  environment.push_back("VIRN_TTS_CA=" + site.ca_file);

  std::vector<std::string> words = {VIRN_SAY_PROGRAM};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& word : words)
    argv.push_back(word.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (std::string& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  const fs::path out = folder / "stdout.txt";
  const fs::path err = folder / "stderr.txt";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  pid_t pid = -1;
  const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);

  SayRun run;
  if (spawned != 0) {
    run.err = "cannot start " + words[0];
    return run;
  }
  const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      status = -1;
      break;
    }
    std::this_thread::sleep_for(20ms);
  }
  if (status != -1 && WIFEXITED(status)) run.status = WEXITSTATUS(status);
  run.out = read_file(out);
  run.err = read_file(err);
  return run;
}

class SayUnderFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(SayUnderFault, FailsWithOneLineAndKeepsTheFile) {
  const FaultCase& fault = GetParam();
  const FaultSite site = fault.start();
  test::TempDir folder;
  const fs::path existing = folder / "take.wav";
  std::ofstream(existing, std::ios::binary) << kOldAudio;

  const SayRun run =
      run_say({"--service", "-o", existing.string(), "こんにちは"}, site, folder.path());

  ASSERT_NE(run.status, -1) << "virn-say did not end within " << kHangLimit.count() << " s";
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_EQ(run.out, "");
  ASSERT_FALSE(run.err.empty());
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
  EXPECT_TRUE(run.err.starts_with("virn-say: ")) << run.err;
  // Nothing from the service may reach the terminal as a control sequence.
  EXPECT_EQ(run.err.find('\x1b'), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\r'), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(fault.message_part), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(kAccessKey), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find(speech::basic_credential(kAccessKey)), std::string::npos) << run.err;
  EXPECT_EQ(read_file(existing), kOldAudio);
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"stderr.txt", "stdout.txt", "take.wav"}));
}

INSTANTIATE_TEST_SUITE_P(Faults, SayUnderFault, ::testing::ValuesIn(fault_cases()),
                         [](const auto& info) { return case_name(info.param); });

// A long text goes out in pieces; when a later piece fails, the pieces already spoken must
// not reach the file either.
TEST(SayInPieces, ALaterPieceFailingWritesNothing) {
  FaultSite site;
  site.servers.push_back(std::make_unique<ScriptedServer>([](int connection) {
    const std::string reply =
        connection == 0
            ? http_reply(200, "OK", {"Content-Type: audio/wav"}, wav_text())
            : http_reply(503, "Service Unavailable", {"Content-Type: text/plain"}, "busy");
    return Script{read_request(), send(reply), close_connection()};
  }));
  site.url = site.servers.front()->url("/v1/tts");
  test::TempDir folder;
  const fs::path existing = folder / "take.wav";
  std::ofstream(existing, std::ios::binary) << kOldAudio;
  std::string text;
  for (int sentence = 0; sentence < 30; ++sentence)
    text += "今日はいい天気です。";

  const SayRun run = run_say({"--service", "-o", existing.string(), text}, site, folder.path());

  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_GE(site.servers.front()->requests().size(), 2u);
  EXPECT_NE(run.err.find("503"), std::string::npos) << run.err;
  EXPECT_EQ(run.err.find('\n'), run.err.size() - 1) << "not one line: " << run.err;
  EXPECT_EQ(read_file(existing), kOldAudio);
}

}  // namespace
}  // namespace virn::faults
