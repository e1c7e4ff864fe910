// The image view as its users rely on it: fit and centre, nearest-pixel zoom, clear, and the
// zoom that keeps the centre point in place.
#include "ui/image_view.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QPixmap>
#include <QScrollBar>

namespace clipvane {
namespace {

constexpr TColor kTeal = RGB(0, 128, 128);

QRgb ToRgb(TColor color) { return qRgb(GetRValue(color), GetGValue(color), GetBValue(color)); }

QImage Screen(TImageView& view) { return view.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }

// A bitmap whose every pixel has a colour of its own.
TBitmap Checker(int width, int height) {
  TBitmap bitmap(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, RGB(20 + 40 * x, 30 + 50 * y, 200 - 10 * (x + y)));
  return bitmap;
}

TEST(ImageViewLayout, CentresByHalfTheDifferenceRoundedTowardZero) {
  const TImageViewLayout layout = ComputeImageViewLayout(100, 50, 200, 200, 144, true);
  EXPECT_EQ(layout.ShownWidth, 200);
  EXPECT_EQ(layout.ShownHeight, 100);
  EXPECT_EQ(layout.OffsetX, 0);
  EXPECT_EQ(layout.OffsetY, 22);
  const TImageViewLayout odd = ComputeImageViewLayout(10, 10, 100, 15, 15, true);
  EXPECT_EQ(odd.OffsetX, 2);
  const TImageViewLayout uncentred = ComputeImageViewLayout(10, 10, 100, 15, 15, false);
  EXPECT_EQ(uncentred.OffsetX, 0);
  EXPECT_EQ(uncentred.OffsetY, 0);
}

TEST(ImageViewLayout, ScrollsOnlyWhereTheImageIsLarger) {
  const TImageViewLayout layout = ComputeImageViewLayout(300, 50, 100, 200, 144, true);
  EXPECT_EQ(layout.MaxScrollX, 100);
  EXPECT_EQ(layout.MaxScrollY, 0);
  EXPECT_EQ(layout.OffsetX, 0);
  EXPECT_EQ(layout.OffsetY, 47);
}

TEST(ImageViewLayout, FitKeepsTheAspectRatio) {
  EXPECT_DOUBLE_EQ(FitZoom(100, 50, 200, 144), 200.0);
  EXPECT_DOUBLE_EQ(FitZoom(400, 400, 200, 144), 36.0);
  EXPECT_DOUBLE_EQ(FitZoom(0, 50, 200, 144), 100.0);
}

TEST(ImageViewFit, SmallPictureIsEnlargedAndCentred) {
  TImageView view;
  view.SetFit(true);
  view.SetCentre(true);
  view.resize(200, 144);
  view.show();
  view.Bitmap() = Checker(100, 50);
  view.Update();
  ASSERT_EQ(view.viewport()->size(), QSize(200, 144));
  EXPECT_DOUBLE_EQ(view.Zoom(), 200.0);
  EXPECT_EQ(view.ShownRect(), QRect(0, 22, 200, 100));

  const QImage screen = Screen(view);
  const QRgb background = ToRgb(view.BackgroundColor());
  EXPECT_EQ(screen.pixel(0, 21), background);
  EXPECT_EQ(screen.pixel(0, 22), ToRgb(view.Bitmap().GetPixel(0, 0)));
  EXPECT_EQ(screen.pixel(199, 121), ToRgb(view.Bitmap().GetPixel(99, 49)));
  EXPECT_EQ(screen.pixel(199, 122), background);
  EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
  EXPECT_FALSE(view.verticalScrollBar()->isVisible());
}

TEST(ImageViewFit, LargePictureIsReducedToFit) {
  TImageView view;
  view.SetFit(true);
  view.SetCentre(true);
  view.resize(200, 144);
  view.show();
  view.Bitmap() = Checker(400, 400);
  view.Update();
  EXPECT_DOUBLE_EQ(view.Zoom(), 36.0);
  EXPECT_EQ(view.ShownRect(), QRect(28, 0, 144, 144));
}

TEST(ImageViewZoom, SixteenHundredPercentShowsBlocksOfSixteen) {
  TImageView view;
  view.SetBackgroundColor(kTeal);
  view.resize(100, 100);
  view.show();
  view.Bitmap() = Checker(4, 3);
  view.Update();
  view.SetZoom(1600);
  EXPECT_EQ(view.ShownRect(), QRect(0, 0, 64, 48));

  const QImage screen = Screen(view);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x)
      ASSERT_EQ(screen.pixel(x, y), ToRgb(view.Bitmap().GetPixel(x / 16, y / 16))) << x << "," << y;
  EXPECT_EQ(screen.pixel(64, 10), ToRgb(kTeal));
  EXPECT_EQ(screen.pixel(10, 48), ToRgb(kTeal));
}

TEST(ImageViewZoom, KeepsTheCentrePointInPlace) {
  TImageView view;
  view.SetScrollBars(TScrollBars::ssNone);
  view.resize(100, 100);
  view.show();
  view.Bitmap() = Checker(200, 200);
  view.Update();
  view.horizontalScrollBar()->setValue(30);
  // Centre point: x = (50 + 30) * 100 / 100 = 80, y = 50; at 200 % they sit at 160 and 100.
  view.SetZoom(200);
  EXPECT_EQ(view.horizontalScrollBar()->value(), 110);
  EXPECT_EQ(view.verticalScrollBar()->value(), 50);
  // Zooming out limits the scroll position to what the smaller picture allows.
  view.SetZoom(50);
  EXPECT_EQ(view.horizontalScrollBar()->value(), 0);
  EXPECT_EQ(view.verticalScrollBar()->value(), 0);
}

TEST(ImageViewZoom, IgnoresZeroNegativeAndTheSameZoom) {
  TImageView view;
  view.resize(100, 100);
  view.show();
  view.Bitmap() = Checker(200, 200);
  view.Update();
  view.SetZoom(0);
  EXPECT_DOUBLE_EQ(view.Zoom(), 100.0);
  view.SetZoom(-50);
  EXPECT_DOUBLE_EQ(view.Zoom(), 100.0);
  view.horizontalScrollBar()->setValue(40);
  view.SetZoom(100);
  EXPECT_EQ(view.horizontalScrollBar()->value(), 40);
}

TEST(ImageViewZoom, ScrollBarsAppearWhenThePictureIsLarger) {
  TImageView view;
  view.resize(100, 100);
  view.show();
  view.Bitmap() = Checker(40, 40);
  view.Update();
  EXPECT_FALSE(view.horizontalScrollBar()->isVisible());
  view.SetZoom(800);
  QCoreApplication::processEvents();  // the scroll area lays its bars out on a posted event
  EXPECT_TRUE(view.horizontalScrollBar()->isVisible());
  EXPECT_TRUE(view.verticalScrollBar()->isVisible());
  EXPECT_EQ(view.horizontalScrollBar()->maximum(), 320 - view.viewport()->width());
}

TEST(ImageViewClear, FillsTheWholeBitmapWithTheBackground) {
  TImageView view;
  view.SetBackgroundColor(kTeal);
  view.resize(100, 100);
  view.show();
  view.Bitmap() = Checker(30, 20);
  view.Update();
  view.Clear();
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(view.Bitmap().GetPixel(x, y), kTeal);
  EXPECT_EQ(Screen(view).pixel(5, 5), ToRgb(kTeal));
}

TEST(ImageViewPaint, PaletteBitmapsShowTheirTableColours) {
  TImageView view;
  view.resize(50, 50);
  view.show();
  TBitmap bitmap(2, 1, TPixelFormat::pf8bit);
  bitmap.SetPalette({TRGBQuad{10, 20, 30, 0}, TRGBQuad{200, 100, 50, 0}});
  bitmap.ScanLine(0)[1] = 1;
  view.Bitmap() = bitmap;
  view.Update();
  const QImage screen = Screen(view);
  EXPECT_EQ(screen.pixel(0, 0), qRgb(30, 20, 10));
  EXPECT_EQ(screen.pixel(1, 0), qRgb(50, 100, 200));
}

}  // namespace
}  // namespace clipvane
