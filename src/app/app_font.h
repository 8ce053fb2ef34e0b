#pragma once

class QApplication;

namespace virn::app {

// The one font of every caption: a CJK face, so that Chinese and Japanese render.
inline constexpr const char* kFontFamily = "WenQuanYi Micro Hei";
inline constexpr int kFontPixelSize = 12;

void apply_app_font(QApplication& application);

}  // namespace virn::app
