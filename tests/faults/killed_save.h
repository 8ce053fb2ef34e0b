#pragma once

#include "util/bytes.h"

namespace virn::faults {

// One of the two large WAVs (take 0 or 1) the killed writer alternates between; they differ
// in every sample, so any mix of the two shows.
Bytes killed_save_take(int take);

}  // namespace virn::faults
