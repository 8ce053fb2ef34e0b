#include "app/media_player.h"

#include <QAudioOutput>
#include <QMediaPlayer>
#include <QUrl>
#include <fstream>
#include <iterator>

#include "speech/wav.h"
#include "util/files.h"

namespace virn::app {

namespace {

class QtMediaPlayer final : public MediaPlayer {
 public:
  explicit QtMediaPlayer(std::function<void(const Error&)> on_error)
      : on_error_(std::move(on_error)) {}

  std::optional<Error> open(const std::string& file) override {
    if (player_) {
      player_->stop();
      player_->setSource(QUrl());
    }
    if (!file_exists(file)) return Error{"无法播放：文件不存在：" + file};
    std::ifstream in(file, std::ios::binary);
    if (!in) return Error{"无法播放：无法读取文件：" + file};
    const Bytes bytes{std::istreambuf_iterator<char>(in), {}};
    if (!speech::parse_wav(bytes)) return Error{"无法播放：不是 WAV 音频文件：" + file};
    player().setSource(QUrl::fromLocalFile(QString::fromStdString(file)));
    return std::nullopt;
  }

  void play(int start_position) override {
    if (start_position >= 0) player().setPosition(start_position);
    player().play();
  }

 private:
  // Made at the first use: bringing up the media service costs more than the whole window.
  QMediaPlayer& player() {
    if (!player_) {
      output_ = std::make_unique<QAudioOutput>();
      player_ = std::make_unique<QMediaPlayer>();
      player_->setAudioOutput(output_.get());
      QObject::connect(player_.get(), &QMediaPlayer::errorOccurred,
                       [this](QMediaPlayer::Error, const QString& text) {
                         if (on_error_) on_error_(Error{"无法播放：" + text.toStdString()});
                       });
    }
    return *player_;
  }

  std::function<void(const Error&)> on_error_;
  std::unique_ptr<QAudioOutput> output_;
  std::unique_ptr<QMediaPlayer> player_;
};

}  // namespace

std::unique_ptr<MediaPlayer> make_qt_media_player(std::function<void(const Error&)> on_error) {
  return std::make_unique<QtMediaPlayer>(std::move(on_error));
}

}  // namespace virn::app
