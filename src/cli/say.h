#pragma once

#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "cli/say_options.h"
#include "speech/backend.h"
#include "speech/service_config.h"

namespace virn::cli {

// Where a run reads and writes, so that tests can give their own.
struct SayStreams {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
  bool err_is_terminal = false;  // draw a progress bar rather than plain lines
  std::string path_variable;     // PATH, where the player is looked for
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

// The backend a run uses: the service when asked or, by default, when one is configured;
// otherwise the embedded engine.
Result<std::unique_ptr<speech::SpeechBackend>> choose_backend(Backend choice,
                                                              const speech::ServiceConfig& config);

// The WAV of a text of any length: split into pieces the backend takes, each spoken with the
// request's settings, joined in order. Fails on the first piece that fails.
Result<Bytes> speak_text(speech::SpeechBackend& backend, const speech::SpeechRequest& settings,
                         const std::string& text);

// The katakana the embedded engine would speak for a text of any length.
Result<std::string> reading_of(const std::string& text);

// The non-empty lines of a batch file, without their line ends and surrounding blanks.
std::vector<std::string> batch_lines(const std::string& content);

// Runs virn-say with parsed options; returns the exit status. Messages go to streams.err,
// the names of written files and readings to streams.out.
int run_say(const SayOptions& options, SayStreams& streams);

}  // namespace virn::cli
