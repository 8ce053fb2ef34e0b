// Replaces one file again and again through write_file_atomically, alternating between two
// large WAVs, until it is killed. After the first replacement it creates `ready_file`.
//
//   faults_atomic_writer TARGET READY_FILE

#include <cstdio>
#include <fstream>
#include <string>

#include "faults/killed_save.h"
#include "util/files.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: faults_atomic_writer TARGET READY_FILE\n");
    return 2;
  }
  const std::string target = argv[1];
  const virn::Bytes takes[2] = {virn::faults::killed_save_take(0),
                                virn::faults::killed_save_take(1)};
  for (unsigned long round = 0;; ++round) {
    if (auto error = virn::write_file_atomically(target, takes[round % 2])) {
      std::fprintf(stderr, "faults_atomic_writer: %s\n", error->message.c_str());
      return 1;
    }
    if (round == 0) std::ofstream(argv[2]) << "ready\n";
  }
}
