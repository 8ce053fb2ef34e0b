#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QScreen>
#include <QStandardPaths>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

#include "app/app_font.h"
#include "app/backend_choice.h"
#include "app/main_window.h"
#include "app/output_files.h"
#include "speech/service_config.h"

namespace {

// Prints the moment of the window's first paint and the resident memory, then quits:
// the start-up benchmark reads this.
class FirstPaintReporter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !reported_) {
      reported_ = true;
      const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                           std::chrono::system_clock::now().time_since_epoch())
                           .count();
      std::printf("first-paint-us %lld rss-kb %ld\n", static_cast<long long>(now), resident_kb());
      std::fflush(stdout);
      QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  static long resident_kb() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
      if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
  }
  bool reported_ = false;
};

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

  const virn::app::BackendChoice backend =
      virn::app::choose_backend(virn::speech::service_config_from_environment());
  virn::app::WindowServices services;
  services.make_backend = backend.make;
  services.backend_description = backend.description;
  services.folders = virn::app::choose_folders(facts);

  virn::app::MainWindow window(std::move(services));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    window.move(virn::app::centred_origin(screen->geometry().size()));
  }
  FirstPaintReporter reporter;
  if (const char* report = std::getenv("VIRN_REPORT_FIRST_PAINT"); report && *report == '1') {
    window.installEventFilter(&reporter);
  }
  window.show();
  return application.exec();
}
