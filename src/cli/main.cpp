#include <unistd.h>

#include <cstdlib>
#include <iostream>

#include "cli/say.h"

int main(int argc, char** argv) {
  using namespace virn::cli;
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  auto options = parse_say_options(arguments);
  if (!options) {
    std::cerr << "virn-say: " << options.error().message << "\n";
    return kExitUsage;
  }
  const char* path = std::getenv("PATH");
  SayStreams streams{std::cin, std::cout, std::cerr, ::isatty(STDERR_FILENO) == 1,
                     path != nullptr ? path : ""};
  return run_say(*options, streams);
}
