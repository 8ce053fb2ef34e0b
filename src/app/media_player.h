#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "util/result.h"

namespace virn::app {

// 媒体播放1: plays one file at a time in the background.
class MediaPlayer {
 public:
  virtual ~MediaPlayer() = default;

  // Closes (and so stops) the file open before and opens this one; an error when it cannot
  // be played.
  virtual std::optional<Error> open(const std::string& file) = 0;

  // Starts playback of the open file and returns at once; -1 plays from the current
  // position, which right after open is the start.
  virtual void play(int start_position) = 0;
};

// The real player on Qt Multimedia. Errors that show up only while playing go to
// `on_error`.
std::unique_ptr<MediaPlayer> make_qt_media_player(std::function<void(const Error&)> on_error);

}  // namespace virn::app
