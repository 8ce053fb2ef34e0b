#pragma once

#include <QPoint>
#include <QSize>
#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/control_settings.h"
#include "app/media_player.h"
#include "app/output_files.h"
#include "speech/backend.h"
#include "util/bytes.h"
#include "util/files.h"
#include "util/result.h"

class QButtonGroup;
class QCheckBox;
class QFileDialog;
class QLabel;
class QLineEdit;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class QSlider;

namespace virn::app {

inline constexpr const char* kCaption = "VIRN日语语音合成V1.0";
inline constexpr int kOuterWidth = 649;
inline constexpr int kOuterHeight = 351;

// Where the window's top-left corner goes to stand centred on a screen of this size.
inline QPoint centred_origin(QSize screen) {
  return {(screen.width() - kOuterWidth) / 2, (screen.height() - kOuterHeight) / 2};
}

// What the window uses of the world; tests replace any of these.
struct WindowServices {
  // A new backend for each request; it lives as long as that request.
  std::function<std::shared_ptr<speech::SpeechBackend>()> make_backend;
  std::string backend_description;  // shown as the buttons' tooltip
  // Makes 媒体播放1 at the first playback; errors found while playing go to the callback.
  std::function<std::unique_ptr<MediaPlayer>(std::function<void(const Error&)>)> make_player;
  // Runs 通用对话框1; the confirmed path, or nullopt when cancelled.
  std::function<std::optional<QString>(QFileDialog&)> run_dialog;
  // Shows a message to the user; null: a non-modal message box.
  std::function<void(const QString&)> show_message;
  std::function<LocalTime()> clock;  // null: the local clock
  Folders folders;
};

// The main window: its controls, 更改, 试听 and 保存. A request runs on a worker thread;
// the file is written and played on the window thread when it returns.
class MainWindow : public QWidget {
  Q_OBJECT

 public:
  explicit MainWindow(WindowServices services, QWidget* parent = nullptr);
  ~MainWindow() override;

  const std::string& output_dir() const { return output_dir_; }
  bool busy() const { return static_cast<bool>(running_); }
  QString last_message() const { return last_message_; }
  QFileDialog& file_dialog();  // 通用对话框1

  // The states of the controls as plain values.
  ControlStates control_states() const;

  // Which backend speaks, shown as the tooltip of 试听 and 保存.
  void set_backend_description(const std::string& description);

  void choose_output_file();  // 更改
  void listen();              // 试听
  void save();                // 保存
  void cancel_request();      // Esc while busy

 signals:
  // A request has ended and its file (if any) was written and played.
  void request_finished();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  // What to do with the WAV once it is there, decided at the click.
  struct Delivery {
    std::string file;
    bool play = false;
  };

  void build_controls();
  void on_created();
  void start_request(const Delivery& delivery);
  void finish_request(const Delivery& delivery, Result<Bytes> reply);
  void set_busy(bool on);
  void report(const QString& text);
  void report(const Error& error) { report(QString::fromStdString(error.message)); }
  void play(const std::string& file);
  std::string stamp_now() const;

  WindowServices services_;
  std::string output_dir_;
  std::optional<std::string> last_confirmed_;
  QString last_message_;

  std::unique_ptr<MediaPlayer> player_;
  std::shared_ptr<speech::SpeechBackend> running_;
  std::thread worker_;

  std::optional<QPoint> drag_offset_;
  bool frame_fitted_ = false;

  QPlainTextEdit* text_edit_ = nullptr;   // 编辑框1
  QLineEdit* output_edit_ = nullptr;      // 编辑框2
  QPushButton* change_button_ = nullptr;  // 按钮2
  QPushButton* listen_button_ = nullptr;  // 按钮1
  QPushButton* save_button_ = nullptr;    // 按钮3
  QCheckBox* auto_play_ = nullptr;        // 选择框1
  QCheckBox* auto_name_ = nullptr;        // 选择框2
  QButtonGroup* voice_group_ = nullptr;
  QButtonGroup* mood_group_ = nullptr;
  std::array<QSlider*, 4> sliders_{};
  std::unique_ptr<QFileDialog> dialog_;  // 通用对话框1
  std::unique_ptr<QMessageBox> message_box_;
};

}  // namespace virn::app
