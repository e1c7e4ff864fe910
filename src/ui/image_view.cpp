// TImageView: layout arithmetic, nearest-pixel painting and the zoom that keeps the centre point.
#include "ui/image_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <algorithm>
#include <vector>

#include "core/conversions.h"

namespace clipvane {

TImageViewLayout ComputeImageViewLayout(int width, int height, double zoom, int clientWidth, int clientHeight,
                                        bool centre) {
  TImageViewLayout layout;
  layout.ShownWidth = std::max(0, nearest(width * zoom / 100.0));
  layout.ShownHeight = std::max(0, nearest(height * zoom / 100.0));
  if (centre && layout.ShownWidth < clientWidth) layout.OffsetX = (clientWidth - layout.ShownWidth) / 2;
  if (centre && layout.ShownHeight < clientHeight) layout.OffsetY = (clientHeight - layout.ShownHeight) / 2;
  layout.MaxScrollX = std::max(0, layout.ShownWidth - clientWidth);
  layout.MaxScrollY = std::max(0, layout.ShownHeight - clientHeight);
  return layout;
}

double FitZoom(int width, int height, int clientWidth, int clientHeight) {
  if (width <= 0 || height <= 0 || clientWidth <= 0 || clientHeight <= 0) return 100.0;
  return std::min(100.0 * clientWidth / width, 100.0 * clientHeight / height);
}

TImageView::TImageView(QWidget* parent) : QAbstractScrollArea(parent) {
  const QColor face = palette().color(QPalette::Button);
  background_ = RGB(face.red(), face.green(), face.blue());
  setFrameShape(QFrame::NoFrame);
  SetScrollBars(TScrollBars::ssBoth);
}

void TImageView::SetBackgroundColor(TColor color) {
  background_ = color;
  viewport()->update();
}

void TImageView::SetScrollBars(TScrollBars bars) {
  scrollBars_ = bars;
  const auto policy = bars == TScrollBars::ssBoth ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  setHorizontalScrollBarPolicy(policy);
  setVerticalScrollBarPolicy(policy);
  ApplyLayout();
}

void TImageView::SetCentre(bool centre) {
  centre_ = centre;
  ApplyLayout();
  viewport()->update();
}

void TImageView::SetFit(bool fit) { fit_ = fit; }

TImageViewLayout TImageView::Layout() const {
  return ComputeImageViewLayout(bitmap_.Width(), bitmap_.Height(), zoom_, viewport()->width(), viewport()->height(),
                                centre_);
}

QRect TImageView::ShownRect() const {
  const TImageViewLayout layout = Layout();
  const int left = layout.OffsetX > 0 ? layout.OffsetX : -horizontalScrollBar()->value();
  const int top = layout.OffsetY > 0 ? layout.OffsetY : -verticalScrollBar()->value();
  return QRect(left, top, layout.ShownWidth, layout.ShownHeight);
}

void TImageView::ApplyLayout() {
  TImageViewLayout layout = Layout();
  if (fit_ && !bitmap_.Empty()) {
    // A fitted picture fits the whole area: ranges taken from a viewport that scroll bars
    // (or the stale size of a hidden view) have narrowed would keep those bars for good.
    const QSize area = maximumViewportSize();
    layout = ComputeImageViewLayout(bitmap_.Width(), bitmap_.Height(), zoom_, area.width(), area.height(), centre_);
  }
  horizontalScrollBar()->setRange(0, layout.MaxScrollX);
  horizontalScrollBar()->setPageStep(std::max(1, viewport()->width()));
  horizontalScrollBar()->setSingleStep(std::max(1, nearest(zoom_ / 100.0)));
  verticalScrollBar()->setRange(0, layout.MaxScrollY);
  verticalScrollBar()->setPageStep(std::max(1, viewport()->height()));
  verticalScrollBar()->setSingleStep(std::max(1, nearest(zoom_ / 100.0)));
}

void TImageView::Update() {
  if (fit_ && !bitmap_.Empty()) {
    // Fit against the whole area: a fitted picture needs no scroll bars.
    const QSize area = maximumViewportSize();
    zoom_ = FitZoom(bitmap_.Width(), bitmap_.Height(), area.width(), area.height());
  }
  ApplyLayout();
  Repaint();
}

void TImageView::Repaint() {
  imageStale_ = true;
  viewport()->update();
}

void TImageView::Clear() {
  bitmap_.FillRect(TRect{0, 0, bitmap_.Width(), bitmap_.Height()}, background_);
  Update();
}

void TImageView::SetZoom(double percent) {
  if (!(percent > 0) || percent == zoom_) return;
  const TImageViewLayout old = Layout();
  const int halfWidth = viewport()->width() / 2;
  const int halfHeight = viewport()->height() / 2;
  const int centreX = nearest((halfWidth + horizontalScrollBar()->value() - old.OffsetX) * 100.0 / zoom_);
  const int centreY = nearest((halfHeight + verticalScrollBar()->value() - old.OffsetY) * 100.0 / zoom_);
  zoom_ = percent;
  ApplyLayout();
  const TImageViewLayout now = Layout();
  horizontalScrollBar()->setValue(std::clamp(trunc(centreX * zoom_ / 100.0 - halfWidth), 0, now.MaxScrollX));
  verticalScrollBar()->setValue(std::clamp(trunc(centreY * zoom_ / 100.0 - halfHeight), 0, now.MaxScrollY));
  Repaint();
}

void TImageView::RebuildImage() {
  imageStale_ = false;
  if (bitmap_.Empty()) {
    image_ = QImage();
    return;
  }
  image_ = QImage(bitmap_.Width(), bitmap_.Height(), QImage::Format_RGB32);
  for (int y = 0; y < bitmap_.Height(); ++y) {
    auto* out = reinterpret_cast<QRgb*>(image_.scanLine(y));
    const std::uint8_t* in = bitmap_.ScanLine(y);
    switch (bitmap_.PixelFormat()) {
      case TPixelFormat::pf24bit:
        for (int x = 0; x < bitmap_.Width(); ++x, in += 3) out[x] = qRgb(in[2], in[1], in[0]);
        break;
      case TPixelFormat::pf32bit:
        for (int x = 0; x < bitmap_.Width(); ++x, in += 4) out[x] = qRgb(in[2], in[1], in[0]);
        break;
      default:
        for (int x = 0; x < bitmap_.Width(); ++x) {
          const TColor color = bitmap_.GetPixel(x, y);
          out[x] = qRgb(GetRValue(color), GetGValue(color), GetBValue(color));
        }
        break;
    }
  }
}

void TImageView::paintEvent(QPaintEvent*) {
  if (imageStale_) RebuildImage();
  const int clientWidth = viewport()->width();
  const int clientHeight = viewport()->height();
  if (clientWidth <= 0 || clientHeight <= 0) return;
  QImage screen(clientWidth, clientHeight, QImage::Format_RGB32);
  screen.fill(QColor(GetRValue(background_), GetGValue(background_), GetBValue(background_)));

  const QRect shown = ShownRect();
  const QRect visible = shown.intersected(QRect(0, 0, clientWidth, clientHeight));
  if (!image_.isNull() && !visible.isEmpty()) {
    // Each screen pixel takes the bitmap pixel under its centre: no filtering.
    std::vector<int> columns(static_cast<std::size_t>(visible.width()));
    for (int sx = visible.left(); sx <= visible.right(); ++sx) {
      const long long inside = sx - shown.left();
      columns[static_cast<std::size_t>(sx - visible.left())] =
          std::min(image_.width() - 1, static_cast<int>((2 * inside + 1) * image_.width() / (2LL * shown.width())));
    }
    for (int sy = visible.top(); sy <= visible.bottom(); ++sy) {
      const long long inside = sy - shown.top();
      const int by =
          std::min(image_.height() - 1, static_cast<int>((2 * inside + 1) * image_.height() / (2LL * shown.height())));
      const auto* in = reinterpret_cast<const QRgb*>(image_.constScanLine(by));
      auto* out = reinterpret_cast<QRgb*>(screen.scanLine(sy)) + visible.left();
      for (std::size_t i = 0; i < columns.size(); ++i) out[i] = in[columns[i]];
    }
  }
  QPainter painter(viewport());
  painter.drawImage(0, 0, screen);
}

void TImageView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  ApplyLayout();
}

void TImageView::scrollContentsBy(int, int) { viewport()->update(); }

}  // namespace clipvane
