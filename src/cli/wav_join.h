#pragma once

#include <vector>

#include "util/bytes.h"
#include "util/result.h"

namespace virn::cli {

// One WAV file holding the sound of all the given ones in turn. A single file is returned
// unchanged; several must share one format (encoding, channels, rate, sample size).
Result<Bytes> join_wavs(const std::vector<Bytes>& wavs);

}  // namespace virn::cli
