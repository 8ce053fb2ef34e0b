#pragma once

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace virn::cli::testing {

struct Outcome {
  int status = -1;  // exit status; -1 when it did not end by itself
  std::string out;
  std::string err;
};

// How to run the program: its arguments, folder, environment changes and standard input.
struct Invocation {
  std::vector<std::string> arguments;
  std::filesystem::path folder;
  std::map<std::string, std::optional<std::string>> environment;  // nullopt: unset
  std::string input;
};

// Runs the program to its end, killing it when it outlives `limit`.
Outcome run(const std::string& program, const Invocation& how,
            std::chrono::seconds limit = std::chrono::seconds(120));

}  // namespace virn::cli::testing
