#pragma once

#include <optional>
#include <string>
#include <vector>

#include "speech/speech_request.h"
#include "util/result.h"

namespace virn::cli {

enum class Backend { automatic, service, local };

// What one run of virn-say was asked to do.
struct SayOptions {
  speech::SpeechRequest request;  // text left empty: it comes from text_argument/file/stdin
  std::optional<std::string> text_argument;
  std::optional<std::string> text_file;  // "-": standard input
  std::optional<std::string> batch_file;
  std::optional<std::string> output;  // -o: a file, or the folder of a batch
  Backend backend = Backend::automatic;
  bool play = false;
  bool reading = false;
  bool list_voices = false;
  bool help = false;
  bool version = false;
};

// The options of the arguments after the program name, or a one-line usage error that names
// the option and what it accepts.
Result<SayOptions> parse_say_options(const std::vector<std::string>& arguments);

// The --help text.
std::string say_usage();

}  // namespace virn::cli
