// TForm2: window form, the hand-over of pictures from the player's thread, and painting.
#include "app/video_window.h"

#include <QImage>
#include <QMetaObject>
#include <QPainter>

namespace clipvane {

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Video"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetClientSize(194, 146);
}

void TForm2::SetClientSize(int width, int height) { setFixedSize(width, height); }

void TForm2::ShowFrame(std::shared_ptr<const TBitmap> picture, int frameNumber) {
  std::lock_guard lock(deliveryMutex_);
  delivered_ = std::move(picture);
  deliveredFrame_ = frameNumber;
  // One hand-over at a time: a frame that arrives before the window took the last one
  // replaces it, so a busy window skips frames instead of queueing them.
  if (takePosted_) return;
  takePosted_ = true;
  QMetaObject::invokeMethod(this, [this] { TakeDeliveredFrame(); }, Qt::QueuedConnection);
}

void TForm2::TakeDeliveredFrame() {
  {
    std::lock_guard lock(deliveryMutex_);
    takePosted_ = false;
    shown_ = std::move(delivered_);
    shownFrame_ = deliveredFrame_;
  }
  update();
}

void TForm2::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::black);
  if (!shown_ || shown_->Empty() || shown_->PixelFormat() != TPixelFormat::pf24bit) return;
  const QImage image(shown_->ScanLine(0), shown_->Width(), shown_->Height(), static_cast<qsizetype>(shown_->Stride()),
                     QImage::Format_BGR888);
  painter.drawImage(0, 0, image);
}

}  // namespace clipvane
