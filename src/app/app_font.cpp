#include "app/app_font.h"

#include <QApplication>
#include <QFont>

namespace virn::app {

void apply_app_font(QApplication& application) {
  QFont font(kFontFamily);
  font.setPixelSize(kFontPixelSize);
  application.setFont(font);
}

}  // namespace virn::app
