#include "app/main_window.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSlider>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QWindow>

#include "util/files.h"

namespace virn::app {

namespace {

QString text_of(const std::string& utf8) {
  return QString::fromStdString(utf8);
}

QGroupBox* group_box(QWidget* parent, const char* name, const char* caption, QRect area) {
  auto* box = new QGroupBox(QString::fromUtf8(caption), parent);
  box->setObjectName(QString::fromUtf8(name));
  box->setGeometry(area);
  return box;
}

template <typename Control>
Control* place(Control* control, const char* name, QRect area) {
  control->setObjectName(QString::fromUtf8(name));
  control->setGeometry(area);
  return control;
}

void white_background(QWidget* control) {
  QPalette palette = control->palette();
  palette.setColor(QPalette::Base, Qt::white);
  control->setPalette(palette);
}

// Code points, not UTF-16 units: a character outside the BMP is still one character.
int character_count(const QString& text) {
  int count = 0;
  for (int index = 0; index < text.size(); ++index) {
    if (!(text[index].isHighSurrogate() && index + 1 < text.size() &&
          text[index + 1].isLowSurrogate())) {
      ++count;
    }
  }
  return count;
}

// UTF-16 units to cut from the end of `inserted` to drop `excess` characters.
int units_for_last_characters(const QString& inserted, int excess) {
  int units = 0;
  int index = static_cast<int>(inserted.size());
  while (excess > 0 && index > 0) {
    int step = 1;
    if (index >= 2 && inserted[index - 1].isLowSurrogate() &&
        inserted[index - 2].isHighSurrogate()) {
      step = 2;
    }
    index -= step;
    units += step;
    --excess;
  }
  return units;
}

struct VoiceButton {
  const char* name;
  int left;
  int top;
};
// In the order of kVoices; 单选框6 stands left of 单选框5 in the window.
constexpr VoiceButton kVoiceButtons[] = {
    {"单选框1", 8, 16},   {"单选框2", 104, 16}, {"单选框3", 8, 40},
    {"单选框4", 104, 40}, {"单选框5", 104, 64}, {"单选框6", 8, 64},
};
// In the order of kMoods.
constexpr VoiceButton kMoodButtons[] = {
    {"单选框12", 8, 16},
    {"单选框11", 104, 16},
    {"单选框10", 104, 40},
    {"单选框9", 8, 40},
};

struct SliderRow {
  const char* caption_name;
  const char* caption;
  const char* slider_name;
  const char* value_name;
  int top;
  speech::IntRange range;
};
constexpr SliderRow kSliderRows[] = {
    {"透明标签1", "程度:", "滑块条1", "透明标签5", 62, speech::kStrengthRange},
    {"透明标签2", "音量:", "滑块条2", "透明标签6", 85, speech::kVolumeRange},
    {"透明标签3", "语速:", "滑块条3", "透明标签7", 109, speech::kSpeedRange},
    {"透明标签4", "音高:", "滑块条4", "透明标签8", 133, speech::kPitchRange},
};

std::optional<QString> run_modal(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

}  // namespace

MainWindow::MainWindow(WindowServices services, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      services_(std::move(services)) {
  if (!services_.run_dialog) services_.run_dialog = run_modal;
  setObjectName("主窗口");
  setWindowTitle(QString::fromUtf8(kCaption));
  setWindowIcon(QIcon(":/virn-tts.png"));
  setFixedSize(kOuterWidth, kOuterHeight);
  build_controls();
  on_created();
}

MainWindow::~MainWindow() {
  if (running_) running_->cancel();
  if (worker_.joinable()) worker_.join();
}

void MainWindow::build_controls() {
  QGroupBox* input = group_box(this, "分组框1", "输入文本(200字符以内)", {0, 8, 424, 264});
  text_edit_ = place(new QPlainTextEdit(input), "编辑框1", {6, 22, 408, 234});
  text_edit_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  text_edit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text_edit_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  text_edit_->setFrameStyle(QFrame::Box | QFrame::Plain);
  text_edit_->setLineWidth(1);
  white_background(text_edit_);
  // Keep at most kMaxTextChars characters, whether typed or pasted: the excess of an
  // insertion is cut from its end.
  auto last_insert = std::make_shared<std::pair<int, int>>(0, 0);
  connect(text_edit_->document(), &QTextDocument::contentsChange, this,
          [last_insert](int position, int, int added) {
            *last_insert = {position, added};
          });
  connect(text_edit_, &QPlainTextEdit::textChanged, this, [this, last_insert] {
    const QString text = text_edit_->toPlainText();
    const int excess = character_count(text) - speech::kMaxTextChars;
    if (excess <= 0) return;
    const auto [position, added] = *last_insert;
    const int end = std::min<int>(position + added, static_cast<int>(text.size()));
    const int start = std::max(0, std::min(position, end));
    int units = units_for_last_characters(text.mid(start, end - start), excess);
    int cut_end = end;
    if (units == 0) {  // nothing inserted to cut: trim the tail instead
      units = units_for_last_characters(text, excess);
      cut_end = static_cast<int>(text.size());
    }
    QTextCursor cursor(text_edit_->document());
    cursor.setPosition(cut_end - units);
    cursor.setPosition(cut_end, QTextCursor::KeepAnchor);
    cursor.removeSelectedText();
  });

  QGroupBox* output = group_box(this, "分组框2", "输出到", {0, 272, 424, 48});
  output_edit_ = place(new QLineEdit(output), "编辑框2", {8, 16, 320, 24});
  white_background(output_edit_);
  change_button_ = place(new QPushButton("更改", output), "按钮2", {337, 16, 72, 24});
  connect(change_button_, &QPushButton::clicked, this, &MainWindow::choose_output_file);

  QGroupBox* voices = group_box(this, "分组框3", "选择声优", {428, 8, 212, 96});
  voice_group_ = new QButtonGroup(this);
  for (std::size_t index = 0; index < speech::kVoices.size(); ++index) {
    const VoiceButton& spot = kVoiceButtons[index];
    auto* button =
        place(new QRadioButton(text_of(std::string(speech::kVoices[index].caption)), voices),
              spot.name, {spot.left, spot.top, 92, 24});
    voice_group_->addButton(button, static_cast<int>(index));
  }
  voice_group_->button(0)->setChecked(true);

  QGroupBox* moods = group_box(this, "分组框4", "选择情绪", {428, 104, 212, 168});
  mood_group_ = new QButtonGroup(this);
  for (std::size_t index = 0; index < speech::kMoods.size(); ++index) {
    const VoiceButton& spot = kMoodButtons[index];
    auto* button =
        place(new QRadioButton(text_of(std::string(speech::kMoods[index].caption)), moods),
              spot.name, {spot.left, spot.top, 92, 24});
    mood_group_->addButton(button, static_cast<int>(index));
  }
  mood_group_->button(0)->setChecked(true);

  for (std::size_t row = 0; row < sliders_.size(); ++row) {
    const SliderRow& slider_row = kSliderRows[row];
    place(new QLabel(QString::fromUtf8(slider_row.caption), moods), slider_row.caption_name,
          {9, slider_row.top, 32, 24});
    auto* slider = place(new QSlider(Qt::Horizontal, moods), slider_row.slider_name,
                         {36, slider_row.top + 1, 136, 24});
    slider->setRange(slider_row.range.low, slider_row.range.high);
    slider->setValue(slider_row.range.start);
    slider->setTickPosition(QSlider::TicksBelow);
    slider->setTickInterval(1);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setTracking(true);
    auto* value = place(new QLabel(QString::number(slider_row.range.start), moods),
                        slider_row.value_name, {177, slider_row.top + 2, 32, 24});
    connect(slider, &QSlider::valueChanged, value,
            [value](int position) { value->setText(QString::number(position)); });
    sliders_[row] = slider;
  }

  auto_play_ = place(new QCheckBox("自动播放", this), "选择框1", {433, 280, 88, 16});
  auto_play_->setChecked(true);
  auto_name_ = place(new QCheckBox("自动命名", this), "选择框2", {432, 299, 88, 16});
  auto_name_->setChecked(true);

  listen_button_ = place(new QPushButton("试听", this), "按钮1", {502, 281, 63, 32});
  connect(listen_button_, &QPushButton::clicked, this, &MainWindow::listen);
  save_button_ = place(new QPushButton("保存", this), "按钮3", {568, 280, 63, 32});
  connect(save_button_, &QPushButton::clicked, this, &MainWindow::save);
  set_backend_description(services_.backend_description);

  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &MainWindow::cancel_request);
}

QFileDialog& MainWindow::file_dialog() {
  // Made at the first 更改 and kept, so that it offers the last choice again; building it
  // at start-up would double the time to the first paint.
  if (!dialog_) {
    dialog_ = std::make_unique<QFileDialog>(this);
    dialog_->setObjectName("通用对话框1");
    dialog_->setAcceptMode(QFileDialog::AcceptSave);
    dialog_->setFileMode(QFileDialog::AnyFile);
    dialog_->setNameFilter("*.wav");
    dialog_->setDefaultSuffix("wav");
    dialog_->setOption(QFileDialog::DontUseNativeDialog);
    dialog_->setWindowModality(Qt::WindowModal);
  }
  return *dialog_;
}

void MainWindow::set_backend_description(const std::string& description) {
  services_.backend_description = description;
  const QString uses = description.empty() ? QString() : "使用：" + text_of(description);
  listen_button_->setToolTip(uses);
  save_button_->setToolTip(uses);
}

void MainWindow::on_created() {
  output_dir_ = services_.folders.output_dir;
  output_edit_->setText(text_of(default_output_file(output_dir_, stamp_now())));
}

std::string MainWindow::stamp_now() const {
  return stamp_text(services_.clock ? services_.clock() : local_time_now());
}

ControlStates MainWindow::control_states() const {
  ControlStates states;
  for (std::size_t index = 0; index < states.voices.size(); ++index) {
    states.voices[index] = voice_group_->button(static_cast<int>(index))->isChecked();
  }
  for (std::size_t index = 0; index < states.moods.size(); ++index) {
    states.moods[index] = mood_group_->button(static_cast<int>(index))->isChecked();
  }
  states.strength = sliders_[0]->value();
  states.volume = sliders_[1]->value();
  states.speed = sliders_[2]->value();
  states.pitch = sliders_[3]->value();
  states.text = text_edit_->toPlainText().toStdString();
  return states;
}

void MainWindow::choose_output_file() {
  if (busy()) return;
  QFileDialog& dialog = file_dialog();
  if (last_confirmed_) dialog.selectFile(text_of(*last_confirmed_));
  std::optional<std::string> confirmed;
  if (auto path = services_.run_dialog(dialog)) confirmed = path->toStdString();
  auto choice = output_after_dialog(confirmed, last_confirmed_);
  if (!choice) return;
  if (confirmed) last_confirmed_ = confirmed;
  output_edit_->setText(text_of(choice->file));
  output_dir_ = choice->output_dir;
}

void MainWindow::listen() {
  if (busy()) return;
  const std::string& folder = services_.folders.scratch_dir;
  if (!dir_exists(folder)) {
    if (auto error = ensure_dir(folder)) {
      report("无法创建临时文件夹，试听没有进行。\n" + text_of(error->message));
      return;
    }
  }
  // The name is taken before the request, as the click's moment.
  auto file = unique_stamped_path(folder, stamp_now(), ".wav");
  if (!file) {
    report(file.error());
    return;
  }
  start_request({*file, true});
}

void MainWindow::save() {
  if (busy()) return;
  auto target = save_target(auto_name_->isChecked(), output_edit_->text().toStdString(),
                            output_dir_, stamp_now());
  if (!target) {
    report(target.error());
    return;
  }
  if (text_of(*target) != output_edit_->text()) output_edit_->setText(text_of(*target));
  start_request({*target, auto_play_->isChecked()});
}

void MainWindow::cancel_request() {
  if (running_) running_->cancel();
}

void MainWindow::start_request(const Delivery& delivery) {
  if (!services_.make_backend) {
    report("未配置语音服务，也没有可用的本地引擎。");
    return;
  }
  std::shared_ptr<speech::SpeechBackend> backend = services_.make_backend();
  if (!backend) {
    report("未配置语音服务，也没有可用的本地引擎。");
    return;
  }
  const speech::SpeechRequest request = speech_request_from(control_states());
  if (worker_.joinable()) worker_.join();
  running_ = backend;
  set_busy(true);
  worker_ = std::thread([this, backend, request, delivery] {
    auto reply = std::make_shared<Result<Bytes>>(backend->synthesize(request));
    QMetaObject::invokeMethod(
        this, [this, delivery, reply] { finish_request(delivery, std::move(*reply)); },
        Qt::QueuedConnection);
  });
}

void MainWindow::finish_request(const Delivery& delivery, Result<Bytes> reply) {
  running_.reset();
  set_busy(false);
  if (!reply) {
    report("语音合成失败，没有写入文件。\n" + text_of(reply.error().message));
  } else if (auto error = write_file_atomically(delivery.file, *reply)) {
    report("写入文件失败。\n" + text_of(error->message));
  } else if (delivery.play) {
    play(delivery.file);
  }
  emit request_finished();
}

void MainWindow::play(const std::string& file) {
  if (!player_ && services_.make_player) {
    player_ = services_.make_player([this](const Error& error) { report(error); });
  }
  if (!player_) {
    report("无法播放：没有可用的播放器。文件已写入：" + text_of(file));
    return;
  }
  if (auto problem = player_->open(file)) {
    report(*problem);
    return;
  }
  player_->play(-1);
}

void MainWindow::set_busy(bool on) {
  for (QPushButton* button : {listen_button_, save_button_, change_button_}) {
    button->setEnabled(!on);
  }
  if (on) {
    setCursor(Qt::WaitCursor);
    setWindowTitle(QString::fromUtf8(kCaption) + " — 正在合成…（按 Esc 取消）");
  } else {
    unsetCursor();
    setWindowTitle(QString::fromUtf8(kCaption));
  }
}

void MainWindow::report(const QString& text) {
  last_message_ = text;
  if (services_.show_message) {
    services_.show_message(text);
    return;
  }
  if (!message_box_) {
    message_box_ = std::make_unique<QMessageBox>(QMessageBox::Warning, QString::fromUtf8(kCaption),
                                                 QString(), QMessageBox::Ok, this);
    message_box_->setObjectName("消息框");
    message_box_->setWindowModality(Qt::NonModal);
  }
  message_box_->setText(text);
  message_box_->show();
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
  if (windowHandle() && windowHandle()->startSystemMove()) return;
  drag_offset_ = event->globalPosition().toPoint() - pos();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
  if (drag_offset_ && (event->buttons() & Qt::LeftButton)) {
    move(event->globalPosition().toPoint() - *drag_offset_);
  }
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
  drag_offset_.reset();
  QWidget::mouseReleaseEvent(event);
}

void MainWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  // The outer size includes the frame, which is known only once the window is shown.
  if (frame_fitted_) return;
  const QSize frame = frameGeometry().size() - size();
  if (frame.width() > 0 || frame.height() > 0) {
    setFixedSize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
    frame_fitted_ = true;
  }
}

}  // namespace virn::app
