// TForm3: dialog border without border icons, 172 x 124 until a GIF is shown; the image
// control and the document it shows.
#include "ui/gif_preview_window.h"

#include <QMetaObject>
#include <QPainter>
#include <QPointer>

#include "core/color.h"

namespace clipvane {

QImage BitmapToQImage(const TBitmap& bitmap) {
  if (bitmap.Empty()) return QImage();
  QImage image(bitmap.Width(), bitmap.Height(), QImage::Format_RGB32);
  for (int y = 0; y < bitmap.Height(); ++y) {
    auto* out = reinterpret_cast<QRgb*>(image.scanLine(y));
    const std::uint8_t* in = bitmap.ScanLine(y);
    switch (bitmap.PixelFormat()) {
      case TPixelFormat::pf24bit:
        for (int x = 0; x < bitmap.Width(); ++x, in += 3) out[x] = qRgb(in[2], in[1], in[0]);
        break;
      case TPixelFormat::pf32bit:
        for (int x = 0; x < bitmap.Width(); ++x, in += 4) out[x] = qRgb(in[2], in[1], in[0]);
        break;
      default:
        for (int x = 0; x < bitmap.Width(); ++x) {
          const TColor color = bitmap.GetPixel(x, y);
          out[x] = qRgb(GetRValue(color), GetGValue(color), GetBValue(color));
        }
        break;
    }
  }
  return image;
}

void TQtUIDispatcher::Notify() {
  QMetaObject::invokeMethod(
      receiver_, [this] { Drain(); }, Qt::QueuedConnection);
}

TGifImageControl::TGifImageControl(QWidget* parent) : QWidget(parent) {}

void TGifImageControl::SetPicture(QImage picture) {
  document_ = nullptr;
  still_ = TBitmap();
  stillPending_ = false;
  picture_ = std::move(picture);
  update();
}

void TGifImageControl::SetStill(const TBitmap& picture) {
  document_ = nullptr;
  still_ = picture;
  stillPending_ = true;
  update();
}

void TGifImageControl::KeepLastPicture() {
  document_ = nullptr;
  update();
}

const QImage& TGifImageControl::Picture() const {
  if (stillPending_) {
    picture_ = BitmapToQImage(still_);
    still_ = TBitmap();
    stillPending_ = false;
  }
  return picture_;
}

void TGifImageControl::SetDocument(TGIFImage* document) {
  document_ = document;
  still_ = TBitmap();
  stillPending_ = false;
  if (document_ && !document_->Empty())
    surface_ = TBitmap(std::max(document_->Width(), 1), std::max(document_->Height(), 1));
  else picture_ = QImage();
  update();
}

void TGifImageControl::paintEvent(QPaintEvent*) {
  if (document_ && !document_->Empty()) {
    // The first draw starts the animation; later ones copy the frame it has reached.
    document_->Draw(surface_, TRect{0, 0, surface_.Width(), surface_.Height()});
    picture_ = BitmapToQImage(surface_);
  }
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  if (!Picture().isNull()) painter.drawImage(0, 0, picture_);
}

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), dispatcher_(this) {
  setWindowTitle(QStringLiteral("GIF preview"));
  setAttribute(Qt::WA_QuitOnClose, false);
  Image1 = new TGifImageControl(this);
  SetClientSize(172, 124);
}

TForm3::~TForm3() {
  StopAnimation();
  Image1->SetDocument(nullptr);
  document_.reset();
}

void TForm3::SetClientSize(int width, int height) {
  setFixedSize(width, height);
  Image1->setGeometry(0, 0, width, height);
}

void TForm3::ShowStill(const TBitmap& picture) {
  StopAnimation();
  Image1->SetStill(picture);
  Image1->repaint();
}

void TForm3::SetDocument(std::unique_ptr<TGIFImage> document) {
  StopAnimation();
  Image1->SetDocument(nullptr);
  document_ = std::move(document);
  if (!document_) {
    Image1->SetPicture(QImage());
    return;
  }
  document_->Dispatcher = &dispatcher_;
  // Every frame the painter reaches changes the composite picture: show it.
  document_->OnChange = [control = QPointer<TGifImageControl>(Image1)](TGIFImage*) {
    if (control) control->update();
  };
  Image1->SetDocument(document_.get());
}

void TForm3::StopAnimation() {
  if (!document_) return;
  // The last frame shown stays as a still picture; painters end before anything else goes.
  document_->StopPainters();
  Image1->KeepLastPicture();
}

}  // namespace clipvane
