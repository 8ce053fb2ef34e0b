// The whole remote path: the real window class and virn-say, over HTTPS with a certificate
// authority made for the test, to a virn-tts-server process on 127.0.0.1 speaking with the
// embedded engine.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/backend_choice.h"
#include "app/main_window.h"
#include "app/media_player.h"
#include "speech/service_config.h"
#include "speech/wav.h"
#include "support/child_process.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"

using namespace virn;

namespace {

constexpr int kWaitMs = 60000;

std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::filesystem::path& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

std::string fresh_key() {
  static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device random;
  std::string key;
  for (int i = 0; i < 16; ++i)
    key += kAlphabet[random() % 36];
  return key;
}

// Records what the window asks of 媒体播放1 and, with VIRN_E2E_REAL_SOUND=1, plays it for
// real as well.
class RecordingPlayer final : public app::MediaPlayer {
 public:
  RecordingPlayer(std::vector<std::string>& calls, std::unique_ptr<app::MediaPlayer> real)
      : calls_(calls), real_(std::move(real)) {}
  std::optional<Error> open(const std::string& file) override {
    calls_.push_back("open " + file);
    return real_ ? real_->open(file) : std::nullopt;
  }
  void play(int start_position) override {
    calls_.push_back("play " + std::to_string(start_position));
    if (real_) real_->play(start_position);
  }

 private:
  std::vector<std::string>& calls_;
  std::unique_ptr<app::MediaPlayer> real_;
};

bool real_sound() {
  const char* flag = std::getenv("VIRN_E2E_REAL_SOUND");
  return flag != nullptr && std::string(flag) == "1";
}

struct SayOutcome {
  int status;
  std::string output;  // standard output and error
};

// The POST lines of the server's access log: status and body bytes.
struct Logged {
  int status;
  std::size_t bytes;
};

}  // namespace

class EndToEndTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<test::TempDir> dir_;
  test::TestCertificates certificates_;
  std::unique_ptr<test::ChildProcess> server_;
  std::string url_;
  const std::string key_ = fresh_key();
  std::unique_ptr<app::MainWindow> window_;
  std::vector<QString> messages_;
  std::vector<std::string> player_calls_;

  std::filesystem::path server_log() const { return *dir_ / "server.log"; }

  std::vector<Logged> logged_posts() const {
    std::vector<Logged> posts;
    const std::regex line(R"( POST /v1/tts (\d{3}) (\d+) )");
    const std::string log = read_file(server_log());
    for (auto it = std::sregex_iterator(log.begin(), log.end(), line); it != std::sregex_iterator();
         ++it) {
      posts.push_back({std::stoi((*it)[1]), std::stoul((*it)[2])});
    }
    return posts;
  }

  // Waits (bounded) until the server has logged `count` requests; a line is written just
  // after its reply.
  std::vector<Logged> logged_posts(std::size_t count) const {
    for (int i = 0; i < 500 && logged_posts().size() < count; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return logged_posts();
  }

  void point_at_server(const std::string& key) {
    setenv("VIRN_TTS_URL", url_.c_str(), 1);
    setenv("VIRN_TTS_KEY", key.c_str(), 1);
    setenv("VIRN_TTS_CA", certificates_.ca_file.c_str(), 1);
  }

  // The window as the program makes it, its backend chosen from the environment.
  void open_window(const std::string& key) {
    window_.reset();
    point_at_server(key);
    const app::BackendChoice choice =
        app::choose_backend(speech::service_config_from_environment());
    app::WindowServices services;
    services.make_backend = choice.make;
    services.backend_description = choice.description;
    services.make_player = [this](std::function<void(const Error&)> on_error) {
      return std::make_unique<RecordingPlayer>(
          player_calls_, real_sound() ? app::make_qt_media_player(std::move(on_error)) : nullptr);
    };
    services.show_message = [this](const QString& text) { messages_.push_back(text); };
    services.clock = [] { return LocalTime{2026, 12, 11, 13, 0, 0}; };
    std::filesystem::create_directories(*dir_ / "scratch");
    std::filesystem::create_directories(*dir_ / "out");
    services.folders = {(*dir_ / "scratch").string() + "/", (*dir_ / "out").string() + "/"};
    messages_.clear();
    player_calls_.clear();
    window_ = std::make_unique<app::MainWindow>(std::move(services));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  template <typename T>
  T* find(const char* name) const {
    T* control = window_->findChild<T*>(u(name));
    if (!control) qFatal("no control %s", name);
    return control;
  }

  void click_and_wait(const char* button) {
    QSignalSpy finished(window_.get(), &app::MainWindow::request_finished);
    QTest::mouseClick(find<QPushButton>(button), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kWaitMs);
  }

  SayOutcome run_say(const std::vector<std::string>& arguments) {
    std::vector<std::string> all{VIRN_SAY};
    all.insert(all.end(), arguments.begin(), arguments.end());
    const auto log = *dir_ / "say.log";
    std::filesystem::remove(log);
    const int status = test::run_program(all, log, std::chrono::seconds(60));
    return {status, read_file(log)};
  }

 private slots:
  void initTestCase() {
    dir_ = std::make_unique<test::TempDir>();
    std::filesystem::create_directories(*dir_ / "tls");
    certificates_ = test::make_test_certificates(*dir_ / "tls");
    write_file(*dir_ / "keys.txt", "# end-to-end test\n" + key_ + "\n");
    std::filesystem::permissions(*dir_ / "keys.txt", std::filesystem::perms::owner_read |
                                                         std::filesystem::perms::owner_write);
    server_ = std::make_unique<test::ChildProcess>(
        std::vector<std::string>{VIRN_TTS_SERVER, "--listen", "127.0.0.1:0", "--cert",
                                 certificates_.server.certificate_file, "--key",
                                 certificates_.server.key_file, "--keys",
                                 (*dir_ / "keys.txt").string()},
        server_log());
    const std::regex listening(R"(listening on 127\.0\.0\.1:(\d+))");
    std::string port;
    for (int i = 0; i < 1500 && port.empty(); ++i) {
      const std::string log = read_file(server_log());
      std::smatch found;
      if (std::regex_search(log, found, listening)) {
        port = found[1].str();
        break;
      }
      QVERIFY2(server_->running(), log.c_str());
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    QVERIFY2(!port.empty(), read_file(server_log()).c_str());
    url_ = "https://127.0.0.1:" + port + "/v1/tts";
  }

  void cleanupTestCase() {
    window_.reset();
    server_.reset();
    // The key never reached the server's output, stopping included.
    QVERIFY(read_file(server_log()).find(key_) == std::string::npos);
  }

  void listen_and_save_speak_through_the_server() {
    open_window(key_);
    QVERIFY(find<QPushButton>("按钮1")->toolTip().contains(u("服务")));
    find<QPlainTextEdit>("编辑框1")->setPlainText(u("今日は&いい天気 100%です。\n散歩に行こう"));
    QTest::mouseClick(find<QRadioButton>("单选框3"), Qt::LeftButton);   // show
    QTest::mouseClick(find<QRadioButton>("单选框10"), Qt::LeftButton);  // 愤怒
    find<QSlider>("滑块条3")->setValue(150);
    const std::size_t before = logged_posts().size();

    click_and_wait("按钮1");  // 试听
    QVERIFY2(messages_.empty(), messages_.empty() ? "" : qPrintable(messages_.front()));
    QCOMPARE(player_calls_.size(), 2u);
    QVERIFY(player_calls_[0].starts_with("open "));
    QCOMPARE(player_calls_[1], std::string("play -1"));
    const std::string scratch = player_calls_[0].substr(5);
    QVERIFY(scratch.starts_with((*dir_ / "scratch").string()));
    const std::string listened = read_file(scratch);
    auto posts = logged_posts(before + 1);
    QCOMPARE(posts.size(), before + 1);
    QCOMPARE(posts.back().status, 200);
    QCOMPARE(listened.size(), posts.back().bytes);  // the server's reply, byte for byte in size
    const auto format = speech::parse_wav(to_bytes(listened));
    QVERIFY(format.has_value());
    QCOMPARE(format->bits_per_sample, 16);
    QVERIFY(format->data_size > 0);
    if (real_sound()) QTest::qWait(3000);  // let it be heard before the next one stops it

    click_and_wait("按钮3");  // 保存
    QVERIFY2(messages_.empty(), messages_.empty() ? "" : qPrintable(messages_.front()));
    const std::string saved_name = find<QLineEdit>("编辑框2")->text().toStdString();
    QVERIFY(saved_name.starts_with((*dir_ / "out").string()));
    const std::string saved = read_file(saved_name);
    posts = logged_posts(before + 2);
    QCOMPARE(posts.size(), before + 2);
    QCOMPARE(posts.back().status, 200);
    QCOMPARE(saved.size(), posts.back().bytes);
    QVERIFY(speech::parse_wav(to_bytes(saved)).has_value());
    QCOMPARE(player_calls_.back(), std::string("play -1"));
    QCOMPARE(player_calls_[player_calls_.size() - 2], "open " + saved_name);
  }

  void wrong_key_ends_in_the_message_and_keeps_the_file() {
    open_window("wrongkey00000000");
    const auto kept = *dir_ / "out" / "kept.wav";
    write_file(kept, "the file from before");
    find<QLineEdit>("编辑框2")->setText(QString::fromStdString(kept.string()));
    find<QCheckBox>("选择框2")->setChecked(false);  // save under that very name
    find<QPlainTextEdit>("编辑框1")->setPlainText(u("テスト"));
    const std::size_t before = logged_posts().size();

    click_and_wait("按钮3");
    QCOMPARE(messages_.size(), 1u);
    QVERIFY2(messages_.front().contains("401"), qPrintable(messages_.front()));
    QVERIFY(!messages_.front().contains(u("wrongkey00000000")));
    QCOMPARE(read_file(kept), std::string("the file from before"));
    QVERIFY(player_calls_.empty());
    const auto posts = logged_posts(before + 1);
    QCOMPARE(posts.size(), before + 1);
    QCOMPARE(posts.back().status, 401);
  }

  void say_service_speaks_through_the_server() {
    point_at_server(key_);
    const auto out = *dir_ / "say.wav";
    std::size_t before = logged_posts().size();
    auto outcome = run_say({"--service", "--voice", "takeru", "--mood", "happiness", "-o",
                            out.string(), "こんにちは、世界"});
    QVERIFY2(outcome.status == 0, outcome.output.c_str());
    auto posts = logged_posts(before + 1);
    QCOMPARE(posts.size(), before + 1);
    QCOMPARE(posts.back().status, 200);
    const std::string spoken = read_file(out);
    QCOMPARE(spoken.size(), posts.back().bytes);
    QVERIFY(speech::parse_wav(to_bytes(spoken)).has_value());

    point_at_server("wrongkey00000000");
    before = logged_posts().size();
    outcome = run_say({"--service", "-o", out.string(), "テスト"});
    QCOMPARE(outcome.status, 1);
    QVERIFY2(outcome.output.find("401") != std::string::npos, outcome.output.c_str());
    QVERIFY(outcome.output.find("wrongkey00000000") == std::string::npos);
    QCOMPARE(read_file(out), spoken);
    posts = logged_posts(before + 1);
    QCOMPARE(posts.size(), before + 1);
    QCOMPARE(posts.back().status, 401);
  }
};

QTEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
