#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace virn::test {

// Runs a program (looked up in PATH) to its end, its output going to `log_file`. Returns
// its exit status; throws std::runtime_error when it cannot start or does not end within
// `limit` (it is then killed).
int run_program(const std::vector<std::string>& arguments, const std::filesystem::path& log_file,
                std::chrono::milliseconds limit = std::chrono::seconds(30));

// A program running beside the test, its output going to `log_file`. The destructor ends
// it: SIGTERM, then SIGKILL when it has not gone within two seconds.
class ChildProcess {
 public:
  ChildProcess(const std::vector<std::string>& arguments, const std::filesystem::path& log_file);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Whether it is still running (false once it has ended on its own).
  bool running();

 private:
  int pid_ = -1;
  bool ended_ = false;
};

}  // namespace virn::test
