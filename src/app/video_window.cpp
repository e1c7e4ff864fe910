// TForm2: window form and painting of the video picture.
#include "app/video_window.h"

#include <QPainter>

namespace clipvane {

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Video"));
  setAttribute(Qt::WA_QuitOnClose, false);
  SetClientSize(194, 146);
}

void TForm2::SetClientSize(int width, int height) { setFixedSize(width, height); }

void TForm2::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
}

}  // namespace clipvane
