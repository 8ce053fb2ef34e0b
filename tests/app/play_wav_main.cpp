// Plays one WAV file through the window's player and exits when it has ended (at most
// 20 s): the real-sound test drives it.
#include <QCoreApplication>
#include <QGuiApplication>
#include <QTimer>
#include <cstdio>

#include "app/media_player.h"
#include "speech/wav.h"

int main(int argc, char** argv) {
  QGuiApplication application(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: play_wav FILE.wav\n");
    return 2;
  }
  int status = 0;
  auto player = virn::app::make_qt_media_player([&status](const virn::Error& error) {
    std::fprintf(stderr, "%s\n", error.message.c_str());
    status = 1;
    QCoreApplication::quit();
  });
  if (auto error = player->open(argv[1])) {
    std::fprintf(stderr, "%s\n", error->message.c_str());
    return 1;
  }
  player->play(-1);
  QTimer::singleShot(2500, &application, &QCoreApplication::quit);
  QTimer::singleShot(20000, &application, [] { QCoreApplication::exit(3); });
  const int loop = application.exec();
  return status != 0 ? status : loop;
}
