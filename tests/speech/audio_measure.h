#pragma once

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace virn::speech::testing {

// Measurements of speech samples for tests: loudness, length and the mean pitch.

inline double rms(const std::vector<std::int16_t>& s) {
  if (s.empty()) return 0.0;
  double sum = 0.0;
  for (const std::int16_t v : s)
    sum += static_cast<double>(v) * v;
  return std::sqrt(sum / static_cast<double>(s.size()));
}

// Calls on_frame(score) for every 40 ms frame (half-overlapping) loud enough to count, with
// score[lag] the normalised autocorrelation at each lag between 50 and 700 Hz (0 elsewhere).
template <typename OnFrame>
void for_each_loud_frame(const std::vector<std::int16_t>& s, int rate, OnFrame on_frame) {
  const std::size_t window = static_cast<std::size_t>(rate) / 25;
  const std::size_t min_lag = static_cast<std::size_t>(rate) / 700;
  const std::size_t max_lag = static_cast<std::size_t>(rate) / 50;
  const double loud = std::pow(rms(s) * 0.5, 2.0);
  std::vector<double> score(max_lag + 1, 0.0);
  for (std::size_t start = 0; start + window + max_lag < s.size(); start += window / 2) {
    double energy = 0.0;
    for (std::size_t i = 0; i < window; ++i)
      energy += static_cast<double>(s[start + i]) * s[start + i];
    if (energy / static_cast<double>(window) < loud) continue;
    for (std::size_t lag = min_lag; lag <= max_lag; ++lag) {
      double cross = 0.0;
      double shifted = 0.0;
      for (std::size_t i = 0; i < window; ++i) {
        cross += static_cast<double>(s[start + i]) * s[start + i + lag];
        shifted += static_cast<double>(s[start + i + lag]) * s[start + i + lag];
      }
      score[lag] = shifted > 0.0 ? cross / std::sqrt(energy * shifted) : 0.0;
    }
    on_frame(score, min_lag);
  }
}

inline double best_score(const std::vector<double>& score) {
  double best = 0.0;
  for (const double value : score)
    best = std::max(best, value);
  return best;
}

// Mean fundamental frequency over voiced frames, by normalised autocorrelation: a frame counts
// as voiced when its best lag between 50 and 700 Hz correlates above 0.7.
inline double mean_pitch(const std::vector<std::int16_t>& s, int rate) {
  double sum = 0.0;
  int frames = 0;
  for_each_loud_frame(s, rate, [&](const std::vector<double>& score, std::size_t min_lag) {
    const double best = best_score(score);
    if (best < 0.7) return;
    const std::size_t max_lag = score.size() - 1;
    // The shortest lag that comes close to the best, so a period's multiple is not taken.
    std::size_t chosen = min_lag;
    for (std::size_t lag = min_lag; lag <= max_lag; ++lag) {
      if (score[lag] >= 0.9 * best && (lag == max_lag || score[lag] >= score[lag + 1])) {
        chosen = lag;
        break;
      }
    }
    sum += static_cast<double>(rate) / static_cast<double>(chosen);
    ++frames;
  });
  return frames > 0 ? sum / frames : 0.0;
}

// How regular the voice is: the mean, over loud frames, of the best normalised
// autocorrelation at a lag between 50 and 700 Hz. A clean voice is near 1; a rough, growling
// one lower.
inline double periodicity(const std::vector<std::int16_t>& s, int rate) {
  double sum = 0.0;
  int frames = 0;
  for_each_loud_frame(s, rate, [&](const std::vector<double>& score, std::size_t) {
    sum += best_score(score);
    ++frames;
  });
  return frames > 0 ? sum / frames : 0.0;
}

// How bright the sound is, in Hz: its RMS frequency, from the mean squared slope against the
// mean square, sqrt(E[d²]/E[x²]) · rate / 2π. Darker voices give lower values.
inline double brightness(const std::vector<std::int16_t>& s, int rate) {
  double slope = 0.0;
  double level = 0.0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const double d = static_cast<double>(s[i]) - s[i - 1];
    slope += d * d;
    level += static_cast<double>(s[i]) * s[i];
  }
  return level > 0.0 ? std::sqrt(slope / level) * rate / (2.0 * M_PI) : 0.0;
}

}  // namespace virn::speech::testing
