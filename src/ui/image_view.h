// TImageView: a scroll-area control that owns one working bitmap and shows it zoomed
// (nearest pixel, no filtering), optionally centred and fitted, with scroll bars when it is larger.
#pragma once

#include <QAbstractScrollArea>
#include <QImage>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

enum class TScrollBars { ssNone, ssBoth };

// Where the zoomed bitmap lies in a client area; plain arithmetic so it is testable alone.
struct TImageViewLayout {
  int ShownWidth = 0;  // bitmap width x zoom / 100, nearest
  int ShownHeight = 0;
  int OffsetX = 0;  // centring offset (0 unless centred and smaller than the client)
  int OffsetY = 0;
  int MaxScrollX = 0;  // largest scroll position; 0 when the image fits
  int MaxScrollY = 0;
};

// The layout of a bitmap of width x height at `zoom` percent in a client of clientWidth x clientHeight.
TImageViewLayout ComputeImageViewLayout(int width, int height, double zoom, int clientWidth, int clientHeight,
                                        bool centre);

// The zoom (percent) that makes a width x height bitmap fill the client as far as its aspect
// ratio allows; 100 for an empty bitmap or client.
double FitZoom(int width, int height, int clientWidth, int clientHeight);

class TImageView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TImageView(QWidget* parent = nullptr);

  // The view's own bitmap; after changing it call Update (size changed) or Repaint (pixels only).
  TBitmap& Bitmap() { return bitmap_; }
  const TBitmap& Bitmap() const { return bitmap_; }

  TColor BackgroundColor() const { return background_; }
  void SetBackgroundColor(TColor color);

  TScrollBars ScrollBars() const { return scrollBars_; }
  void SetScrollBars(TScrollBars bars);

  bool Centre() const { return centre_; }
  void SetCentre(bool centre);

  bool Fit() const { return fit_; }
  void SetFit(bool fit);

  // Percent, greater than 0.
  double Zoom() const { return zoom_; }
  // Keeps the bitmap point at the centre of the client area in the centre; a value not
  // greater than 0, or equal to the current zoom, changes nothing.
  void SetZoom(double percent);

  // Recomputes the shown size, applies fit and centre, and repaints.
  void Update();
  // Draws again with the current settings (after drawing into the bitmap).
  void Repaint();
  // Fills the whole bitmap with the background colour, then updates.
  void Clear();

  // Where the bitmap is drawn in the client area now (scroll position and centring applied).
  QRect ShownRect() const;
  TImageViewLayout Layout() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void ApplyLayout();
  void RebuildImage();

  TBitmap bitmap_;
  QImage image_;  // the bitmap as 32-bit pixels, rebuilt when the bitmap may have changed
  bool imageStale_ = true;
  TColor background_;
  TScrollBars scrollBars_ = TScrollBars::ssBoth;
  bool centre_ = false;
  bool fit_ = false;
  double zoom_ = 100.0;
};

}  // namespace clipvane
