// TForm2: window form, the hand-over of pictures from the player's thread, and painting.
#include "ui/video_window.h"

#include <QEvent>
#include <QImage>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPainter>

#include "runs/gif/capture_region.h"

namespace clipvane {

TForm2::TForm2(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("Video"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setAttribute(Qt::WA_OpaquePaintEvent);
  SetClientSize(194, 146);
}

void TForm2::SetClientSize(int width, int height) { setFixedSize(width, height); }

void TForm2::ShowNoVideo() {
  {
    std::lock_guard lock(deliveryMutex_);
    delivered_.reset();
    deliveredFrame_ = -1;
  }
  shown_.reset();
  shownFrame_ = -1;
  band_.reset();
  setWindowTitle(QStringLiteral("Video"));
  SetClientSize(194, 146);
  update();
}

void TForm2::ShowFrame(std::shared_ptr<const TBitmap> picture, int frameNumber) {
  std::lock_guard lock(deliveryMutex_);
  delivered_ = std::move(picture);
  deliveredFrame_ = frameNumber;
  // One hand-over at a time: a frame that arrives before the window took the last one
  // replaces it, so a busy window skips frames instead of queueing them.
  if (takePosted_) return;
  takePosted_ = true;
  QMetaObject::invokeMethod(
      this, [this] { TakeDeliveredFrame(); }, Qt::QueuedConnection);
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
  if (band_) {
    // The band inverts what lies under its dots, so it shows over any picture.
    QPen pen(Qt::white, 1, Qt::DotLine);
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    painter.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
    // The outline covers Left..Right-1 and Top..Bottom-1, as a rectangle of pixels does.
    const TRect& r = *band_;
    painter.drawRect(r.Left, r.Top, std::max(r.Right - r.Left - 1, 0), std::max(r.Bottom - r.Top - 1, 0));
  }
}

void TForm2::FormActivate() {
  if (pickState_) PickWindowActivated(*pickState_);
}

void TForm2::FormMouseDown(int x, int y) {
  if (pickState_) PickMouseDown(*pickState_, x, y);
}

void TForm2::FormMouseMove(int x, int y) {
  if (!pickState_) return;
  const TBandPaint paint = PickMouseMove(*pickState_, x, y);
  if (!paint.Erase && !paint.Draw) return;
  // Drawing a band twice at one place erases it: what stays on the screen is the last drawn.
  if (paint.Erase) band_.reset();
  if (paint.Draw) band_ = NormalizedRect(paint.Draw->Left, paint.Draw->Top, paint.Draw->Right, paint.Draw->Bottom);
  repaint();
}

void TForm2::FormMouseUp(int x, int y) {
  if (!pickState_) return;
  const TPickEnd end = PickMouseUp(*pickState_, x, y);
  if (end.Erase && band_) {
    band_.reset();
    repaint();
  }
  if (end.Picked && OnPickEnded) OnPickEnded();
}

bool TForm2::event(QEvent* event) {
  // The press that starts a drag often activates the window too, and the window system
  // reports the activation after the press: that activation belongs to the drag and must
  // not end it. An activation with no button held (another window left) still does.
  if (event->type() == QEvent::WindowActivate && !buttonHeld_) FormActivate();
  // A release that went to another window is not seen here.
  if (event->type() == QEvent::WindowDeactivate || event->type() == QEvent::Hide) buttonHeld_ = false;
  return QWidget::event(event);
}

void TForm2::mousePressEvent(QMouseEvent* event) {
  buttonHeld_ = true;
  const QPoint at = event->position().toPoint();
  FormMouseDown(at.x(), at.y());
}

void TForm2::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  FormMouseMove(at.x(), at.y());
}

void TForm2::mouseReleaseEvent(QMouseEvent* event) {
  buttonHeld_ = event->buttons() != Qt::NoButton;
  const QPoint at = event->position().toPoint();
  FormMouseUp(at.x(), at.y());
}

}  // namespace clipvane
