// The baseline of the start-up benchmark: a bare Qt window of the same size with one
// label, reporting its first paint the way virn-tts does.
#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

long resident_kb() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
  }
  return -1;
}

class BareWindow : public QWidget {
 protected:
  void paintEvent(QPaintEvent* event) override {
    QWidget::paintEvent(event);
    if (reported_) return;
    reported_ = true;
    const auto now = std::chrono::duration_cast<std::chrono::microseconds>(
                         std::chrono::system_clock::now().time_since_epoch())
                         .count();
    std::printf("first-paint-us %lld rss-kb %ld\n", static_cast<long long>(now), resident_kb());
    std::fflush(stdout);
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
  }

 private:
  bool reported_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  BareWindow window;
  window.setFixedSize(649, 351);
  QLabel label("VIRN", &window);
  window.show();
  return application.exec();
}
