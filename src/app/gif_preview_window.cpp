// TForm3: dialog border without border icons, 172 x 124 until a GIF is shown; the image
// control and the document it shows.
#include "app/gif_preview_window.h"

#include <QPainter>

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

TGifImageControl::TGifImageControl(QWidget* parent) : QWidget(parent) {}

void TGifImageControl::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  update();
}

void TGifImageControl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  if (!picture_.isNull()) painter.drawImage(0, 0, picture_);
}

TForm3::TForm3(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
  setWindowTitle(QStringLiteral("GIF preview"));
  setAttribute(Qt::WA_QuitOnClose, false);
  Image1 = new TGifImageControl(this);
  SetClientSize(172, 124);
}

TForm3::~TForm3() { StopAnimation(); }

void TForm3::SetClientSize(int width, int height) {
  setFixedSize(width, height);
  Image1->setGeometry(0, 0, width, height);
}

void TForm3::ShowStill(const TBitmap& picture) {
  Image1->SetPicture(BitmapToQImage(picture));
  Image1->repaint();
}

void TForm3::SetDocument(std::unique_ptr<TGIFImage> document) {
  StopAnimation();
  document_ = std::move(document);
  if (!document_ || document_->Images().Count() == 0) {
    Image1->SetPicture(QImage());
    return;
  }
  TBitmap first;
  document_->Images()[0]->AssignTo(first);
  // Frame 0 stands where it lies on the logical screen.
  TBitmap screen(std::max(document_->Width(), 1), std::max(document_->Height(), 1));
  screen.Draw(document_->Images()[0]->Left(), document_->Images()[0]->Top(), first);
  Image1->SetPicture(BitmapToQImage(screen));
}

void TForm3::StopAnimation() {}

}  // namespace clipvane
