#include <memory>
#include <string>
#include <vector>

#include "server/server_program.h"
#include "speech/local_backend.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return virn::server::run_server_program(
      args, [] { return std::make_unique<virn::speech::LocalBackend>(); });
}
