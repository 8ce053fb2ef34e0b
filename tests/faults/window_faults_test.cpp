// The real window saving through a service that misbehaves, and onto disks that refuse the
// file: it shows a message, keeps the file that was there byte for byte and stays usable.

#include <unistd.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/backend_choice.h"
#include "app/main_window.h"
#include "faults/fault_sites.h"
#include "faults/scoped_mount.h"
#include "speech/form_body.h"
#include "speech/wav.h"

using namespace virn;
using namespace virn::app;
using namespace virn::faults;

namespace {

// The remote backend waits up to its default time-out of 15 s, and a silent service holds
// it a few seconds longer; past this the window is hanging.
constexpr int kHangMs = 30000;
const LocalTime kClick{2019, 12, 8, 9, 5, 3};
// What the user had saved before: binary, with NUL bytes, so any rewrite shows.
const std::string kOldAudio = std::string("RIFF\0\0\0\0old take\0\xff", 19);

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::vector<std::string> names_in(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

class RecordingPlayer final : public MediaPlayer {
 public:
  explicit RecordingPlayer(std::shared_ptr<std::vector<std::string>> calls)
      : calls_(std::move(calls)) {}
  std::optional<Error> open(const std::string& file) override {
    calls_->push_back("open " + file);
    return std::nullopt;
  }
  void play(int start_position) override {
    calls_->push_back("play " + std::to_string(start_position));
  }

 private:
  std::shared_ptr<std::vector<std::string>> calls_;
};

// Always gives the same answer, at once.
class FixedBackend final : public speech::SpeechBackend {
 public:
  explicit FixedBackend(Bytes wav) : wav_(std::move(wav)) {}
  Result<Bytes> synthesize(const speech::SpeechRequest&) override { return wav_; }
  void cancel() override {}
  std::string describe() const override { return "固定回复"; }

 private:
  Bytes wav_;
};

}  // namespace

class WindowFaultsTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::vector<QString> messages_;
  std::shared_ptr<std::vector<std::string>> player_calls_;
  std::unique_ptr<MainWindow> window_;

  std::string path(const std::string& name) const {
    return dir_->path().toStdString() + "/" + name;
  }

  void open_window(std::function<std::shared_ptr<speech::SpeechBackend>()> make_backend) {
    window_.reset();
    WindowServices services;
    services.make_backend = std::move(make_backend);
    services.backend_description = "fault test";
    services.make_player = [calls = player_calls_](std::function<void(const Error&)>) {
      return std::unique_ptr<MediaPlayer>(std::make_unique<RecordingPlayer>(calls));
    };
    services.show_message = [this](const QString& text) { messages_.push_back(text); };
    services.clock = [] { return kClick; };
    services.folders = {path("prog/temp/"), path("out/")};
    window_ = std::make_unique<MainWindow>(std::move(services));
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  template <typename T>
  T* find(const char* name) const {
    T* control = window_->findChild<T*>(u(name));
    if (!control) qFatal("no control %s", name);
    return control;
  }

  // 保存 onto `file` with automatic naming off, so the file named is the one replaced.
  void start_saving_onto(const std::string& file) {
    find<QPlainTextEdit>("编辑框1")->setPlainText(u("こんにちは"));
    find<QCheckBox>("选择框2")->setChecked(false);
    find<QLineEdit>("编辑框2")->setText(QString::fromStdString(file));
    QTest::mouseClick(find<QPushButton>("按钮3"), Qt::LeftButton);
  }

  // The window is idle again and offers every action.
  void verify_usable() {
    QVERIFY(!window_->busy());
    for (const char* button : {"按钮1", "按钮2", "按钮3"}) {
      QVERIFY2(find<QPushButton>(button)->isEnabled(), button);
    }
  }

  // While a request is out: controls still answer, and a second 保存 starts nothing.
  void verify_responsive_while_busy(const FaultSite& site) {
    QVERIFY(window_->busy());
    QVERIFY(!find<QPushButton>("按钮3")->isEnabled());
    QTest::mouseClick(find<QPushButton>("按钮3"), Qt::LeftButton);
    auto* volume = find<QSlider>("滑块条2");
    const int before = volume->value();
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_Right);
    QCOMPARE(volume->value(), before + 1);
    QCOMPARE(find<QLabel>("透明标签6")->text(), QString::number(before + 1));
    QTest::qWait(300);
    QVERIFY(window_->busy());
    QCOMPARE(site.servers.front()->connections(), 1);
  }

 private slots:
  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    std::filesystem::create_directories(path("prog"));
    std::filesystem::create_directories(path("out"));
    messages_.clear();
    player_calls_ = std::make_shared<std::vector<std::string>>();
  }

  void cleanup() {
    window_.reset();
    dir_.reset();
  }

  void save_through_a_faulty_service_data() {
    QTest::addColumn<QString>("name");
    for (const FaultCase& fault : fault_cases()) {
      QTest::newRow(fault.name.c_str()) << QString::fromStdString(fault.name);
    }
  }

  void save_through_a_faulty_service() {
    QFETCH(QString, name);
    const FaultCase fault = fault_case(name.toStdString());
    const FaultSite site = fault.start();
    const speech::ServiceConfig config{site.url, kAccessKey, site.ca_file};
    open_window(choose_backend(config).make);
    const std::string existing = path("out/take.wav");
    write_file(existing, kOldAudio);

    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    start_saving_onto(existing);
    if (fault.waits_for_timeout) {
      QTRY_VERIFY_WITH_TIMEOUT(site.servers.front()->connections() == 1, kHangMs);
      verify_responsive_while_busy(site);
    }
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kHangMs);

    QVERIFY(!messages_.empty());
    const QString& message = messages_.back();
    QVERIFY2(message.startsWith(u("语音合成失败，没有写入文件。")), qPrintable(message));
    QVERIFY2(message.contains(QString::fromStdString(fault.message_part)), qPrintable(message));
    QVERIFY(!message.contains(u(kAccessKey)));
    QVERIFY(!message.contains(QString::fromStdString(speech::basic_credential(kAccessKey))));
    QCOMPARE(read_file(existing), kOldAudio);
    QCOMPARE(names_in(path("out")), std::vector<std::string>{"take.wav"});
    QVERIFY(player_calls_->empty());
    QCOMPARE(find<QLineEdit>("编辑框2")->text(), QString::fromStdString(existing));
    verify_usable();
  }

  // Closing the window while the service is silent ends the request instead of waiting for
  // the time-out, and writes nothing.
  void closing_while_the_service_is_silent() {
    const FaultSite site = fault_case("never_answers").start();
    const speech::ServiceConfig config{site.url, kAccessKey, site.ca_file};
    open_window(choose_backend(config).make);
    const std::string existing = path("out/take.wav");
    write_file(existing, kOldAudio);
    start_saving_onto(existing);
    QTRY_VERIFY_WITH_TIMEOUT(!site.servers.front()->requests().empty(), kHangMs);

    QElapsedTimer closing;
    closing.start();
    window_.reset();
    // Well under the 15 s time-out: the request was cancelled, not waited out.
    QVERIFY2(closing.elapsed() < 5000, qPrintable(QString::number(closing.elapsed())));
    QCOMPARE(read_file(existing), kOldAudio);
    QCOMPARE(names_in(path("out")), std::vector<std::string>{"take.wav"});
  }

  // 试听 under the faults that show at once: no empty or partial scratch file, nothing plays.
  void listen_through_a_faulty_service_data() {
    QTest::addColumn<QString>("name");
    for (const FaultCase& fault : fault_cases()) {
      if (!fault.waits_for_timeout) {
        QTest::newRow(fault.name.c_str()) << QString::fromStdString(fault.name);
      }
    }
  }

  void listen_through_a_faulty_service() {
    QFETCH(QString, name);
    const FaultCase fault = fault_case(name.toStdString());
    const FaultSite site = fault.start();
    const speech::ServiceConfig config{site.url, kAccessKey, site.ca_file};
    open_window(choose_backend(config).make);

    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    find<QPlainTextEdit>("编辑框1")->setPlainText(u("こんにちは"));
    QTest::mouseClick(find<QPushButton>("按钮1"), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kHangMs);

    QVERIFY(!messages_.empty());
    QVERIFY2(messages_.back().contains(QString::fromStdString(fault.message_part)),
             qPrintable(messages_.back()));
    const std::string scratch = path("prog/temp");
    QVERIFY(!std::filesystem::exists(scratch) || names_in(scratch).empty());
    QVERIFY(player_calls_->empty());
    verify_usable();
  }

  void save_onto_a_full_disk() {
    std::filesystem::create_directories(path("full"));
    std::string why_not;
    const auto mounted = ScopedMount::tmpfs(path("full"), 256 * 1024, why_not);
    if (!mounted) QSKIP(why_not.c_str());
    const std::string existing = path("full/take.wav");
    write_file(existing, kOldAudio);
    // About 1 MiB of audio: four times what the disk holds.
    const Bytes wav = speech::make_wav(std::vector<std::int16_t>(512 * 1024, 1000), 16000);
    open_window([wav] { return std::make_shared<FixedBackend>(wav); });

    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    start_saving_onto(existing);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kHangMs);

    QVERIFY(!messages_.empty());
    QVERIFY2(messages_.back().startsWith(u("写入文件失败。")), qPrintable(messages_.back()));
    QVERIFY2(messages_.back().contains(u("磁盘空间不足")), qPrintable(messages_.back()));
    QCOMPARE(read_file(existing), kOldAudio);
    // The half-written temporary file is gone, so the space is free again.
    QCOMPARE(names_in(path("full")), std::vector<std::string>{"take.wav"});
    QVERIFY(player_calls_->empty());
    verify_usable();

    // Once the audio fits, the same click succeeds.
    const Bytes small = speech::make_wav(std::vector<std::int16_t>(1000, 1000), 16000);
    open_window([small] { return std::make_shared<FixedBackend>(small); });
    QSignalSpy again(window_.get(), &MainWindow::request_finished);
    start_saving_onto(existing);
    QTRY_VERIFY_WITH_TIMEOUT(again.count() == 1, kHangMs);
    QCOMPARE(read_file(existing), to_text(small));
  }

  void save_into_a_read_only_folder() {
    std::filesystem::create_directories(path("writable"));
    std::filesystem::create_directories(path("read-only"));
    write_file(path("writable/take.wav"), kOldAudio);
    std::string why_not;
    const auto mounted = ScopedMount::read_only_bind(path("writable"), path("read-only"), why_not);
    if (!mounted) QSKIP(why_not.c_str());
    const std::string existing = path("read-only/take.wav");
    const Bytes wav = speech::make_wav(std::vector<std::int16_t>(1000, 1000), 16000);
    open_window([wav] { return std::make_shared<FixedBackend>(wav); });

    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    start_saving_onto(existing);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kHangMs);

    QVERIFY(!messages_.empty());
    QVERIFY2(messages_.back().startsWith(u("写入文件失败。")), qPrintable(messages_.back()));
    QVERIFY2(messages_.back().contains(u("只读")), qPrintable(messages_.back()));
    QCOMPARE(read_file(existing), kOldAudio);
    QCOMPARE(names_in(path("writable")), std::vector<std::string>{"take.wav"});
    QVERIFY(player_calls_->empty());
    verify_usable();
  }

  // The same refusal where mounting is not possible: a folder the user may not write.
  void save_into_a_folder_without_write_permission() {
    if (::geteuid() == 0) QSKIP("root may write into any folder");
    const std::string folder = path("locked");
    std::filesystem::create_directories(folder);
    const std::string existing = folder + "/take.wav";
    write_file(existing, kOldAudio);
    std::filesystem::permissions(
        folder, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    const Bytes wav = speech::make_wav(std::vector<std::int16_t>(1000, 1000), 16000);
    open_window([wav] { return std::make_shared<FixedBackend>(wav); });

    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    start_saving_onto(existing);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kHangMs);
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all);

    QVERIFY(!messages_.empty());
    QVERIFY2(messages_.back().contains(u("没有权限")), qPrintable(messages_.back()));
    QCOMPARE(read_file(existing), kOldAudio);
    QCOMPARE(names_in(folder), std::vector<std::string>{"take.wav"});
    verify_usable();
  }
};

QTEST_MAIN(WindowFaultsTest)
#include "window_faults_test.moc"
