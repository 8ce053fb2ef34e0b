#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QStandardPaths>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>

#include "app/app_font.h"
#include "app/main_window.h"
#include "app/output_files.h"
#include "app/runtime_loader.h"

#ifndef VIRN_RUNTIME_RELATIVE_DIR
#define VIRN_RUNTIME_RELATIVE_DIR ""
#endif

namespace {

long resident_kb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

// Runs `then` once, after the window's first paint.
class FirstPaintWatcher : public QObject {
 public:
  explicit FirstPaintWatcher(std::function<void()> then) : then_(std::move(then)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && then_) {
      QTimer::singleShot(0, this, std::exchange(then_, nullptr));
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> then_;
};

// With VIRN_REPORT_FIRST_PAINT=1 the program prints the moment of its first paint and its
// resident memory, then quits: the start-up benchmark reads this.
void report_first_paint() {
  const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  std::printf("first-paint-us %lld rss-kb %ld\n", static_cast<long long>(now), resident_kb());
  std::fflush(stdout);
  QCoreApplication::quit();
}

std::string standard_folder(QStandardPaths::StandardLocation where) {
  return QStandardPaths::writableLocation(where).toStdString();
}

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  application.setApplicationName("virn-tts");
  QDir::setCurrent(QCoreApplication::applicationDirPath());
  virn::app::apply_app_font(application);

  virn::app::FolderFacts facts;
  facts.program_dir = QCoreApplication::applicationDirPath().toStdString();
  facts.current_dir = QDir::currentPath().toStdString();
  facts.program_dir_writable = ::access(facts.program_dir.c_str(), W_OK) == 0;
  facts.cache_dir = standard_folder(QStandardPaths::CacheLocation);
  const QString music = QStandardPaths::writableLocation(QStandardPaths::MusicLocation);
  if (!music.isEmpty() && QFileInfo(music).isDir()) facts.music_dir = music.toStdString();
  facts.home_dir = QDir::homePath().toStdString();

  const std::vector<std::string> candidates =
      virn::app::runtime_candidates(facts.program_dir, VIRN_RUNTIME_RELATIVE_DIR);
  auto runtime = [candidates] { return virn::app::load_runtime(candidates); };
  auto backend = [runtime]() -> const virn::app::BackendChoice* {
    static const auto loaded = runtime();
    static const virn::app::BackendChoice choice =
        loaded ? loaded.value()->configured_backend() : virn::app::BackendChoice{};
    return loaded ? &choice : nullptr;
  };

  virn::app::WindowServices services;
  services.make_backend = [runtime, backend]() -> std::shared_ptr<virn::speech::SpeechBackend> {
    if (const virn::app::BackendChoice* choice = backend()) return choice->make();
    return virn::app::unavailable_backend(runtime().error());
  };
  services.make_player = [runtime](std::function<void(const virn::Error&)> on_error)
      -> std::unique_ptr<virn::app::MediaPlayer> {
    auto loaded = runtime();
    return loaded ? loaded.value()->make_player(std::move(on_error)) : nullptr;
  };
  services.folders = virn::app::choose_folders(facts);

  virn::app::MainWindow window(std::move(services));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    window.move(virn::app::centred_origin(screen->geometry().size()));
  }
  const char* report = std::getenv("VIRN_REPORT_FIRST_PAINT");
  const bool reporting = report != nullptr && std::string(report) == "1";
  // The speech engine, network and media service load once the window is on screen.
  FirstPaintWatcher watcher([&window, backend, runtime, reporting] {
    if (reporting) return report_first_paint();
    if (const virn::app::BackendChoice* choice = backend()) {
      window.set_backend_description(choice->description);
    } else {
      window.set_backend_description(runtime().error().message);
    }
  });
  window.installEventFilter(&watcher);
  window.show();
  return application.exec();
}
