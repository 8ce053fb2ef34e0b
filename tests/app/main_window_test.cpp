#include "app/main_window.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QClipboard>
#include <QFileDialog>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSlider>
#include <QStyleOptionSlider>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/app_font.h"
#include "app/backend_choice.h"
#include "speech/remote_backend.h"
#include "support/temp_dir.h"
#include "support/test_certificates.h"
#include "support/test_server.h"
#include "window_fakes.h"

using namespace virn;
using namespace virn::app;
using namespace virn::app::testing;

namespace {

constexpr int kWaitMs = 10000;
const LocalTime kClick{2019, 12, 8, 9, 5, 3};
const std::string kStamp = "20191208090503";

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void write_file(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

QString u(const char* utf8) {
  return QString::fromUtf8(utf8);
}

}  // namespace

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<QTemporaryDir> dir_;
  std::shared_ptr<BackendScript> script_;
  std::shared_ptr<PlayerLog> player_;
  std::vector<QString> messages_;
  std::optional<QString> dialog_answer_;
  int dialog_runs_ = 0;
  std::unique_ptr<MainWindow> window_;

  std::string path(const std::string& name) const {
    return dir_->path().toStdString() + "/" + name;
  }
  std::string scratch() const { return path("prog/temp/"); }
  std::string out_dir() const { return path("out/"); }

  WindowServices services(bool with_message_seam = true) {
    WindowServices s;
    auto script = script_;
    s.make_backend = [script] { return std::make_shared<FakeBackend>(script); };
    s.backend_description = "测试引擎";
    s.make_player = [log = player_](std::function<void(const Error&)>) {
      return std::make_unique<FakePlayer>(log);
    };
    s.run_dialog = [this](QFileDialog&) {
      ++dialog_runs_;
      return dialog_answer_;
    };
    if (with_message_seam)
      s.show_message = [this](const QString& text) { messages_.push_back(text); };
    s.clock = [] { return kClick; };
    s.folders = {scratch(), out_dir()};
    return s;
  }

  template <typename T>
  T* find(const char* name) const {
    T* control = window_->findChild<T*>(u(name));
    if (!control) qFatal("no control %s", name);
    return control;
  }

  void click(const char* name) { QTest::mouseClick(find<QPushButton>(name), Qt::LeftButton); }

  // Clicks a button and waits for the request it starts to end.
  void click_and_wait(const char* name) {
    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    click(name);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kWaitMs);
  }

  void answer(Result<Bytes> reply) { script_->answer = std::move(reply); }

  // A window whose backend is the remote service at `server`.
  void use_service(const virn::test::TestServer& server, const std::string& ca_file) {
    window_.reset();
    WindowServices s = services();
    const speech::ServiceConfig config{server.url("/v1/tts"), "k3y9abcd0123wxyz", ca_file};
    s.make_backend = [config] { return std::make_shared<speech::RemoteBackend>(config); };
    window_ = std::make_unique<MainWindow>(std::move(s));
    window_->show();
  }

  static virn::test::Reply reply_of(int status, std::string body, std::string type) {
    virn::test::Reply reply;
    reply.status = status;
    reply.body = std::move(body);
    reply.content_type = std::move(type);
    return reply;
  }

 private slots:
  void initTestCase() { apply_app_font(*qApp); }

  void init() {
    dir_ = std::make_unique<QTemporaryDir>();
    std::filesystem::create_directories(path("prog"));
    std::filesystem::create_directories(out_dir());
    script_ = std::make_shared<BackendScript>();
    player_ = std::make_shared<PlayerLog>();
    messages_.clear();
    dialog_answer_.reset();
    dialog_runs_ = 0;
    window_ = std::make_unique<MainWindow>(services());
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
  }

  void cleanup() {
    window_.reset();
    dir_.reset();
  }

  void window_properties() {
    QCOMPARE(window_->windowTitle(), u("VIRN日语语音合成V1.0"));
    QCOMPARE(window_->frameGeometry().size(), QSize(649, 351));  // outer, frame included
    QCOMPARE(window_->minimumSize(), window_->maximumSize());
    const Qt::WindowFlags flags = window_->windowFlags();
    QVERIFY(flags & Qt::WindowMinimizeButtonHint);
    QVERIFY(flags & Qt::WindowCloseButtonHint);
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
    QVERIFY(!(flags & Qt::WindowStaysOnTopHint));
    QCOMPARE(window_->windowIcon().availableSizes().value(0), QSize(128, 102));
    QVERIFY(QFontInfo(find<QGroupBox>("分组框1")->font()).family().contains("WenQuanYi"));
    QCOMPARE(centred_origin(QSize(1920, 1080)), QPoint(635, 364));
  }

  void controls_start_where_and_as_they_should() {
    struct Spot {
      const char* name;
      const char* parent;
      QRect area;
      const char* caption;
    };
    const Spot spots[] = {
        {"分组框1", "主窗口", {0, 8, 424, 264}, "输入文本(200字符以内)"},
        {"编辑框1", "分组框1", {6, 22, 408, 234}, nullptr},
        {"分组框2", "主窗口", {0, 272, 424, 48}, "输出到"},
        {"编辑框2", "分组框2", {8, 16, 320, 24}, nullptr},
        {"按钮2", "分组框2", {337, 16, 72, 24}, "更改"},
        {"分组框3", "主窗口", {428, 8, 212, 96}, "选择声优"},
        {"单选框1", "分组框3", {8, 16, 92, 24}, "haruka(女性)"},
        {"单选框2", "分组框3", {104, 16, 92, 24}, "hikari(女性)"},
        {"单选框3", "分组框3", {8, 40, 92, 24}, "show(男性)"},
        {"单选框4", "分组框3", {104, 40, 92, 24}, "takeru(男性)"},
        {"单选框6", "分组框3", {8, 64, 92, 24}, "撒旦(恶魔)"},
        {"单选框5", "分组框3", {104, 64, 92, 24}, "熊(凶暴)"},
        {"分组框4", "主窗口", {428, 104, 212, 168}, "选择情绪"},
        {"单选框12", "分组框4", {8, 16, 92, 24}, "普通"},
        {"单选框11", "分组框4", {104, 16, 92, 24}, "高兴"},
        {"单选框9", "分组框4", {8, 40, 92, 24}, "悲伤"},
        {"单选框10", "分组框4", {104, 40, 92, 24}, "愤怒"},
        {"透明标签1", "分组框4", {9, 62, 32, 24}, "程度:"},
        {"滑块条1", "分组框4", {36, 63, 136, 24}, nullptr},
        {"透明标签5", "分组框4", {177, 64, 32, 24}, "2"},
        {"透明标签2", "分组框4", {9, 85, 32, 24}, "音量:"},
        {"滑块条2", "分组框4", {36, 86, 136, 24}, nullptr},
        {"透明标签6", "分组框4", {177, 87, 32, 24}, "50"},
        {"透明标签3", "分组框4", {9, 109, 32, 24}, "语速:"},
        {"滑块条3", "分组框4", {36, 110, 136, 24}, nullptr},
        {"透明标签7", "分组框4", {177, 111, 32, 24}, "100"},
        {"透明标签4", "分组框4", {9, 133, 32, 24}, "音高:"},
        {"滑块条4", "分组框4", {36, 134, 136, 24}, nullptr},
        {"透明标签8", "分组框4", {177, 135, 32, 24}, "100"},
        {"选择框1", "主窗口", {433, 280, 88, 16}, "自动播放"},
        {"选择框2", "主窗口", {432, 299, 88, 16}, "自动命名"},
        {"按钮1", "主窗口", {502, 281, 63, 32}, "试听"},
        {"按钮3", "主窗口", {568, 280, 63, 32}, "保存"},
    };
    for (const Spot& spot : spots) {
      auto* control = find<QWidget>(spot.name);
      QCOMPARE(control->parentWidget()->objectName(), u(spot.parent));
      QCOMPARE(control->geometry(), spot.area);
      QVERIFY2(control->isVisible(), spot.name);
      if (!spot.caption) continue;
      QString caption;
      if (auto* box = qobject_cast<QGroupBox*>(control)) caption = box->title();
      if (auto* button = qobject_cast<QAbstractButton*>(control)) caption = button->text();
      if (auto* label = qobject_cast<QLabel*>(control)) caption = label->text();
      QCOMPARE(caption, u(spot.caption));
    }
    for (const char* name : {"单选框1", "单选框12"})
      QVERIFY(find<QRadioButton>(name)->isChecked());
    for (const char* name : {"单选框2", "单选框3", "单选框4", "单选框5", "单选框6", "单选框11",
                             "单选框10", "单选框9"}) {
      QVERIFY2(!find<QRadioButton>(name)->isChecked(), name);
    }
    QVERIFY(find<QCheckBox>("选择框1")->isChecked());
    QVERIFY(find<QCheckBox>("选择框2")->isChecked());
    QVERIFY(find<QPlainTextEdit>("编辑框1")->toPlainText().isEmpty());
    QCOMPARE(find<QLineEdit>("编辑框2")->text().toStdString(), out_dir() + kStamp + ".wav");
    QCOMPARE(window_->output_dir(), out_dir());

    struct Range {
      const char* name;
      int low, high, start;
    };
    for (const Range& r : {Range{"滑块条1", 1, 4, 2}, Range{"滑块条2", 1, 100, 50},
                           Range{"滑块条3", 50, 400, 100}, Range{"滑块条4", 50, 400, 100}}) {
      auto* slider = find<QSlider>(r.name);
      QCOMPARE(slider->minimum(), r.low);
      QCOMPARE(slider->maximum(), r.high);
      QCOMPARE(slider->value(), r.start);
      QCOMPARE(slider->tickPosition(), QSlider::TicksBelow);
      QCOMPARE(slider->tickInterval(), 1);
      QCOMPARE(slider->singleStep(), 1);
      QCOMPARE(slider->pageStep(), 1);
    }
    QCOMPARE(find<QPushButton>("按钮1")->toolTip(), u("使用：测试引擎"));
  }

  void slider_label_follows_the_thumb_while_dragged() {
    auto* slider = find<QSlider>("滑块条3");
    auto* label = find<QLabel>("透明标签7");
    QStyleOptionSlider option;
    option.initFrom(slider);
    option.orientation = Qt::Horizontal;
    option.minimum = slider->minimum();
    option.maximum = slider->maximum();
    option.sliderPosition = slider->value();
    option.sliderValue = slider->value();
    const QRect handle = slider->style()->subControlRect(QStyle::CC_Slider, &option,
                                                         QStyle::SC_SliderHandle, slider);
    const QPoint start = handle.center();
    auto send = [slider](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
      QMouseEvent event(type, at, slider->mapToGlobal(at), Qt::LeftButton, buttons, Qt::NoModifier);
      QApplication::sendEvent(slider, &event);
    };
    send(QEvent::MouseButtonPress, start, Qt::LeftButton);
    QVERIFY(slider->isSliderDown());
    for (int x = start.x(); x <= slider->width() + 20; x += 10) {
      send(QEvent::MouseMove, {x, start.y()}, Qt::LeftButton);
      QCOMPARE(label->text(), QString::number(slider->value()));  // while still down
    }
    QVERIFY(slider->isSliderDown());
    QCOMPARE(slider->value(), 400);
    QCOMPARE(label->text(), u("400"));
    send(QEvent::MouseButtonRelease, {slider->width() + 20, start.y()}, Qt::NoButton);

    auto* strength = find<QSlider>("滑块条1");
    strength->setFocus();
    QTest::keyClick(strength, Qt::Key_Right);
    QCOMPARE(strength->value(), 3);
    QCOMPARE(find<QLabel>("透明标签5")->text(), u("3"));
    QTest::keyClick(strength, Qt::Key_PageDown);
    QCOMPARE(strength->value(), 2);
    QCOMPARE(window_->control_states().speed, 400);
  }

  void radio_groups_are_exclusive_and_map_to_the_tables() {
    struct Click {
      const char* button;
      const char* voice;
      const char* mood;
    };
    const Click clicks[] = {
        {"单选框5", "bear", ""},          {"单选框6", "santa", ""},
        {"单选框10", "santa", "anger"},   {"单选框2", "hikari", "anger"},
        {"单选框9", "hikari", "sadness"}, {"单选框11", "hikari", "happiness"},
        {"单选框12", "hikari", ""},
    };
    for (const Click& c : clicks) {
      QTest::mouseClick(find<QRadioButton>(c.button), Qt::LeftButton, {}, QPoint(8, 12));
      const speech::SpeechRequest request = speech_request_from(window_->control_states());
      QCOMPARE(request.voice, std::string(c.voice));
      QCOMPARE(request.mood, std::string(c.mood));
      int voices_checked = 0;
      for (const char* name : {"单选框1", "单选框2", "单选框3", "单选框4", "单选框5", "单选框6"}) {
        voices_checked += find<QRadioButton>(name)->isChecked();
      }
      int moods_checked = 0;
      for (const char* name : {"单选框12", "单选框11", "单选框10", "单选框9"}) {
        moods_checked += find<QRadioButton>(name)->isChecked();
      }
      QCOMPARE(voices_checked, 1);
      QCOMPARE(moods_checked, 1);
    }
  }

  void input_holds_at_most_200_characters() {
    auto* edit = find<QPlainTextEdit>("编辑框1");
    edit->setFocus();
    QTest::keyClicks(edit, "ab");
    QTest::keyClick(edit, Qt::Key_Return);  // a line break, not a focus move
    QCOMPARE(edit->toPlainText(), u("ab\n"));
    QVERIFY(edit->hasFocus());

    QString japanese;
    for (int i = 0; i < 300; ++i)
      japanese += u("あ");
    QApplication::clipboard()->setText(japanese);
    edit->paste();
    QCOMPARE(edit->toPlainText().size(), 200);  // 3 typed + 197 pasted
    QVERIFY(edit->toPlainText().startsWith(u("ab\nあ")));
    QTest::keyClicks(edit, "z");
    QCOMPARE(edit->toPlainText().size(), 200);

    // A character outside the BMP counts once, and is never cut in half.
    edit->clear();
    QString wide;
    for (int i = 0; i < 201; ++i)
      wide += QString::fromUcs4(U"𠀋", 1);
    edit->insertPlainText(wide);
    QCOMPARE(edit->toPlainText().toUcs4().size(), 200);
    QCOMPARE(edit->toPlainText().size(), 400);
  }

  void listen_writes_a_scratch_file_and_plays_it() {
    find<QPlainTextEdit>("编辑框1")->setPlainText(u("こんにちは"));
    answer(tiny_wav());
    QVERIFY(!std::filesystem::exists(scratch()));
    click_and_wait("按钮1");
    const std::string first = scratch() + kStamp + ".wav";
    QCOMPARE(read_file(first), to_text(tiny_wav()));
    QCOMPARE(player_->calls, (std::vector<std::string>{"open " + first, "play -1"}));
    QCOMPARE(script_->seen.back().text, std::string("こんにちは"));
    QVERIFY(messages_.empty());

    // Within the same second: a counter, never the same file again.
    click_and_wait("按钮1");
    const std::string second = scratch() + kStamp + "_2.wav";
    QCOMPARE(read_file(second), to_text(tiny_wav()));
    QCOMPARE(player_->calls.at(2), "open " + second);
  }

  void save_names_writes_and_plays_as_the_check_boxes_say() {
    answer(tiny_wav());
    auto* output = find<QLineEdit>("编辑框2");
    // A free name is written under that name, which stays.
    const std::string free_name = path("elsewhere.wav");
    output->setText(QString::fromStdString(free_name));
    click_and_wait("按钮3");
    QCOMPARE(output->text().toStdString(), free_name);
    QCOMPARE(read_file(free_name), to_text(tiny_wav()));
    QCOMPARE(player_->calls, (std::vector<std::string>{"open " + free_name, "play -1"}));

    // The named file exists: a fresh stamped name in output_dir; the old file stays.
    write_file(free_name, "keep me");
    click_and_wait("按钮3");
    const std::string stamped = out_dir() + kStamp + ".wav";
    QCOMPARE(output->text().toStdString(), stamped);
    QCOMPARE(read_file(stamped), to_text(tiny_wav()));
    QCOMPARE(read_file(free_name), std::string("keep me"));
    // And once more in the same second: a counter.
    click_and_wait("按钮3");
    QCOMPARE(output->text().toStdString(), out_dir() + kStamp + "_2.wav");
    QCOMPARE(read_file(stamped), to_text(tiny_wav()));

    // Automatic naming and playing off: the named file is replaced, nothing plays.
    find<QCheckBox>("选择框2")->setChecked(false);
    find<QCheckBox>("选择框1")->setChecked(false);
    player_->calls.clear();
    output->setText(QString::fromStdString(free_name));
    click_and_wait("按钮3");
    QCOMPARE(output->text().toStdString(), free_name);
    QCOMPARE(read_file(free_name), to_text(tiny_wav()));
    QVERIFY(player_->calls.empty());
    QVERIFY(messages_.empty());
  }

  void a_failed_synthesis_writes_and_plays_nothing() {
    const std::string existing = path("existing.wav");
    write_file(existing, "old audio");
    find<QCheckBox>("选择框2")->setChecked(false);
    find<QLineEdit>("编辑框2")->setText(QString::fromStdString(existing));
    answer(Error{"语音服务返回了错误状态 500：engine down"});
    click_and_wait("按钮3");
    QCOMPARE(read_file(existing), std::string("old audio"));
    QVERIFY(player_->calls.empty());
    QCOMPARE(messages_.size(), std::size_t{1});
    QVERIFY(messages_[0].contains(u("没有写入文件")));
    QVERIFY(messages_[0].contains(u("engine down")));

    click_and_wait("按钮1");
    QVERIFY(!std::filesystem::exists(scratch() + kStamp + ".wav"));
    QVERIFY(player_->calls.empty());
    QCOMPARE(messages_.size(), std::size_t{2});
  }

  void failed_writes_folders_and_players_are_reported() {
    answer(tiny_wav());
    // The output folder is missing.
    find<QCheckBox>("选择框2")->setChecked(false);
    find<QLineEdit>("编辑框2")->setText(QString::fromStdString(path("gone/x.wav")));
    click_and_wait("按钮3");
    QVERIFY(player_->calls.empty());
    QVERIFY(messages_.back().contains(u("文件夹不存在")));

    // The target is a folder: the write fails and the folder and its content stay.
    std::filesystem::create_directories(path("taken.wav"));
    write_file(path("taken.wav/inside"), "inside");
    find<QLineEdit>("编辑框2")->setText(QString::fromStdString(path("taken.wav")));
    click_and_wait("按钮3");
    QVERIFY(messages_.back().contains(u("写入文件失败")));
    QCOMPARE(read_file(path("taken.wav/inside")), std::string("inside"));
    QVERIFY(player_->calls.empty());

    // An empty name.
    find<QLineEdit>("编辑框2")->clear();
    click("按钮3");
    QVERIFY(!window_->busy());
    QVERIFY(messages_.back().contains(u("未指定输出文件")));

    // The player refuses the file.
    player_->open_error = Error{"无法播放：测试"};
    click_and_wait("按钮1");
    QCOMPARE(player_->calls.size(), std::size_t{1});  // opened, not played
    QVERIFY(messages_.back().contains(u("无法播放")));
  }

  void a_scratch_folder_that_cannot_be_made_is_reported() {
    window_.reset();
    write_file(path("blocker"), "a file where the folder should be");
    WindowServices s = services();
    s.folders.scratch_dir = path("blocker/temp/");
    window_ = std::make_unique<MainWindow>(std::move(s));
    answer(tiny_wav());
    click("按钮1");
    QVERIFY(!window_->busy());
    QVERIFY(script_->seen.empty());  // no request was sent
    QVERIFY(messages_.back().contains(u("无法创建临时文件夹")));
  }

  void change_confirmed_and_cancelled() {
    auto* output = find<QLineEdit>("编辑框2");
    const QString before = output->text();
    // Cancelled with nothing confirmed before: nothing changes.
    click("按钮2");
    QCOMPARE(dialog_runs_, 1);
    QCOMPARE(output->text(), before);
    QCOMPARE(window_->output_dir(), out_dir());

    std::filesystem::create_directories(path("voice"));
    const std::string chosen = path("voice/x.wav");
    dialog_answer_ = QString::fromStdString(chosen);
    click("按钮2");
    QCOMPARE(output->text().toStdString(), chosen);
    QCOMPARE(window_->output_dir(), path("voice/"));
    QCOMPARE(window_->file_dialog().nameFilters(), QStringList{u("*.wav")});
    QCOMPARE(window_->file_dialog().defaultSuffix(), u("wav"));
    QCOMPARE(window_->file_dialog().acceptMode(), QFileDialog::AcceptSave);
    QVERIFY(!window_->file_dialog().testOption(QFileDialog::DontConfirmOverwrite));

    // Edited by hand, then cancelled: the confirmed path comes back.
    output->setText(u("/somewhere/else.wav"));
    dialog_answer_.reset();
    click("按钮2");
    QCOMPARE(output->text().toStdString(), chosen);
    QCOMPARE(window_->output_dir(), path("voice/"));

    // Automatic naming now puts new names in the chosen folder.
    write_file(chosen, "taken");
    answer(tiny_wav());
    click_and_wait("按钮3");
    QCOMPARE(output->text().toStdString(), path("voice/") + kStamp + ".wav");
    QCOMPARE(read_file(chosen), std::string("taken"));
  }

  void busy_while_waiting_and_escape_cancels() {
    const std::string existing = path("existing.wav");
    write_file(existing, "old audio");
    find<QCheckBox>("选择框2")->setChecked(false);
    find<QLineEdit>("编辑框2")->setText(QString::fromStdString(existing));
    // No answer: the backend stalls until cancelled.
    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    click("按钮3");
    QVERIFY(window_->busy());
    {
      std::unique_lock lock(script_->mutex);
      QVERIFY(script_->changed.wait_for(lock, std::chrono::seconds(10),
                                        [this] { return script_->started; }));
    }
    for (const char* name : {"按钮1", "按钮2", "按钮3"}) {
      QVERIFY2(!find<QPushButton>(name)->isEnabled(), name);
    }
    QCOMPARE(window_->cursor().shape(), Qt::WaitCursor);
    QVERIFY(window_->windowTitle().contains(u("正在合成")));
    // The window still answers: a slider moves and its label follows.
    find<QSlider>("滑块条2")->setValue(77);
    QCOMPARE(find<QLabel>("透明标签6")->text(), u("77"));

    QTest::keyClick(window_.get(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kWaitMs);
    QVERIFY(!window_->busy());
    QVERIFY(find<QPushButton>("按钮3")->isEnabled());
    QCOMPARE(window_->cursor().shape(), Qt::ArrowCursor);
    QCOMPARE(window_->windowTitle(), u("VIRN日语语音合成V1.0"));
    QCOMPARE(read_file(existing), std::string("old audio"));
    QVERIFY(player_->calls.empty());
    QVERIFY(messages_.back().contains(u("取消")));
    QVERIFY(window_->isVisible());  // Esc never closes the window
  }

  void closing_while_busy_ends_the_request() {
    click("按钮1");
    QVERIFY(window_->busy());
    window_.reset();  // must cancel and join, not hang or crash
    QVERIFY(script_->cancelled);
  }

  void dragging_the_background_moves_the_window() {
    window_->move(100, 100);
    QTRY_COMPARE_WITH_TIMEOUT(window_->pos(), QPoint(100, 100), kWaitMs);
    const QPoint inside(640, 340);  // bare background, right of the buttons
    QTest::mousePress(window_.get(), Qt::LeftButton, {}, inside);
    QMouseEvent move(QEvent::MouseMove, QPointF(inside + QPoint(30, 20)),
                     QPointF(window_->mapToGlobal(inside) + QPoint(30, 20)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window_.get(), &move);
    QTest::mouseRelease(window_.get(), Qt::LeftButton, {}, inside + QPoint(30, 20));
    QTRY_COMPARE_WITH_TIMEOUT(window_->pos(), QPoint(130, 120), kWaitMs);
  }

  void listen_and_save_through_the_service() {
    virn::test::TempDir certificate_dir;
    const virn::test::TestCertificates certificates =
        virn::test::make_test_certificates(certificate_dir.path());
    virn::test::TestServer server(certificates.server);
    const Bytes wav = tiny_wav();
    server.on("/v1/tts", reply_of(200, to_text(wav), "audio/wav"));
    use_service(server, certificates.ca_file);

    find<QPlainTextEdit>("编辑框1")->setPlainText(u("a&b=c 100%\nb"));
    QTest::mouseClick(find<QRadioButton>("单选框5"), Qt::LeftButton, {}, QPoint(8, 12));
    QTest::mouseClick(find<QRadioButton>("单选框10"), Qt::LeftButton, {}, QPoint(8, 12));
    find<QSlider>("滑块条3")->setValue(400);
    click_and_wait("按钮1");
    QVERIFY2(messages_.empty(), qPrintable(messages_.empty() ? QString() : messages_.back()));
    const std::string scratch_file = scratch() + kStamp + ".wav";
    QCOMPARE(read_file(scratch_file), to_text(wav));
    QCOMPARE(player_->calls, (std::vector<std::string>{"open " + scratch_file, "play -1"}));
    auto sent = server.last_request();
    QVERIFY(sent);
    QCOMPARE(sent->method, std::string("POST"));
    QCOMPARE(sent->body,
             std::string("&speaker=bear&emotion=anger&emotionLevel=2&volume=50"
                         "&speed=400&pitch=100&format=wav&text=a%26b%3Dc+100%25%0D%0Ab"));
    QCOMPARE(sent->header("Authorization").value_or(""),
             std::string("Basic azN5OWFiY2QwMTIzd3h5ejo="));
    QVERIFY(sent->raw_head.find("\r\nAuthorization: Basic ") != std::string::npos);
    QVERIFY(sent->raw_head.find("\r\nContent-Type: application/x-www-form-urlencoded") !=
            std::string::npos);

    // An error reply: the file named stays byte for byte, nothing plays.
    const std::string existing = path("existing.wav");
    write_file(existing, "old audio");
    find<QCheckBox>("选择框2")->setChecked(false);
    find<QLineEdit>("编辑框2")->setText(QString::fromStdString(existing));
    server.on("/v1/tts", reply_of(500, "engine down", "text/plain"));
    player_->calls.clear();
    click_and_wait("按钮3");
    QCOMPARE(read_file(existing), std::string("old audio"));
    QVERIFY(player_->calls.empty());
    QVERIFY(messages_.back().contains(u("500")));
    QVERIFY(messages_.back().contains(u("engine down")));

    // A 200 that is no audio is refused the same way.
    server.on("/v1/tts", reply_of(200, "<html>busy</html>", "text/html"));
    click_and_wait("按钮3");
    QCOMPARE(read_file(existing), std::string("old audio"));
    QVERIFY(messages_.back().contains(u("不是 WAV")));

    // A good reply replaces it.
    server.on("/v1/tts", reply_of(200, to_text(wav), "audio/wav"));
    click_and_wait("按钮3");
    QCOMPARE(read_file(existing), to_text(wav));
    QCOMPARE(player_->calls, (std::vector<std::string>{"open " + existing, "play -1"}));
  }

  void escape_cancels_a_stalled_service() {
    virn::test::TempDir certificate_dir;
    const virn::test::TestCertificates certificates =
        virn::test::make_test_certificates(certificate_dir.path());
    virn::test::TestServer server(certificates.server);
    virn::test::Reply stall = reply_of(200, std::string(4096, 'x'), "audio/wav");
    stall.stall_body = true;
    server.on("/v1/tts", stall);
    use_service(server, certificates.ca_file);
    find<QPlainTextEdit>("编辑框1")->setPlainText(u("abc"));

    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    click("按钮1");
    QTRY_VERIFY_WITH_TIMEOUT(!server.requests().empty(), kWaitMs);
    QVERIFY(window_->busy());
    QVERIFY(!find<QPushButton>("按钮1")->isEnabled());
    QTest::keyClick(window_.get(), Qt::Key_Escape);
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, kWaitMs);
    QVERIFY(!window_->busy());
    QVERIFY(!std::filesystem::exists(scratch() + kStamp + ".wav"));
    QVERIFY(player_->calls.empty());
    QVERIFY(messages_.back().contains(u("取消")));
  }

  void listen_with_the_embedded_engine() {
    window_.reset();
    WindowServices s = services();
    s.make_backend = choose_backend(speech::ServiceConfig{}).make;
    window_ = std::make_unique<MainWindow>(std::move(s));
    window_->show();
    find<QPlainTextEdit>("编辑框1")->setPlainText(u("こんにちは"));
    QSignalSpy finished(window_.get(), &MainWindow::request_finished);
    click("按钮1");
    QTRY_VERIFY_WITH_TIMEOUT(finished.count() == 1, 60000);
    QVERIFY2(messages_.empty(), qPrintable(messages_.empty() ? QString() : messages_.back()));
    const std::string file = scratch() + kStamp + ".wav";
    const std::string audio = read_file(file);
    QVERIFY(speech::parse_wav(to_bytes(audio)).has_value());
    QCOMPARE(player_->calls, (std::vector<std::string>{"open " + file, "play -1"}));
  }

  void messages_show_without_blocking() {
    window_.reset();
    window_ = std::make_unique<MainWindow>(services(/*with_message_seam=*/false));
    window_->show();
    find<QLineEdit>("编辑框2")->clear();
    find<QCheckBox>("选择框2")->setChecked(false);
    click("按钮3");  // returns at once: the box is not modal
    auto* box = window_->findChild<QMessageBox*>(u("消息框"));
    QVERIFY(box);
    QTRY_VERIFY_WITH_TIMEOUT(box->isVisible(), kWaitMs);
    QVERIFY(!box->isModal());
    QVERIFY(box->text().contains(u("未指定输出文件")));
    QCOMPARE(window_->last_message(), box->text());
  }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
