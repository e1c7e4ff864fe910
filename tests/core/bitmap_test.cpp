// The working bitmap: storage, format conversion and the drawing operations the runs use.
#include <gtest/gtest.h>

#include "core/bitmap.h"
#include "core/error.h"
#include "core/palettes.h"

namespace clipvane {
namespace {

constexpr TPixelFormat kAllFormats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                        TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                        TPixelFormat::pf32bit};

TEST(BitmapStorage, RowsArePaddedToFourBytes) {
  EXPECT_EQ(RowStride(1, TPixelFormat::pf24bit), 4u);
  EXPECT_EQ(RowStride(5, TPixelFormat::pf24bit), 16u);
  EXPECT_EQ(RowStride(33, TPixelFormat::pf1bit), 8u);
  EXPECT_EQ(RowStride(9, TPixelFormat::pf4bit), 8u);
  EXPECT_EQ(RowStride(3, TPixelFormat::pf15bit), 8u);
  TBitmap bitmap(5, 3, TPixelFormat::pf24bit);
  EXPECT_EQ(bitmap.Stride(), 16u);
  EXPECT_EQ(bitmap.Bits().size(), 48u);
}

TEST(BitmapStorage, RowZeroIsTheTopRow) {
  TBitmap bitmap(2, 2, TPixelFormat::pf24bit);
  bitmap.SetPixel(1, 0, RGB(10, 20, 30));
  const std::uint8_t* top = bitmap.ScanLine(0);
  EXPECT_EQ(top[3], 30);  // blue first
  EXPECT_EQ(top[4], 20);
  EXPECT_EQ(top[5], 10);
}

TEST(BitmapStorage, RefusesAbsurdSizes) {
  TBitmap bitmap(4, 4);
  EXPECT_THROW(bitmap.SetSize(-1, 4), EClipvaneError);
  EXPECT_THROW(bitmap.SetSize(70000, 4), EClipvaneError);
  EXPECT_THROW(bitmap.SetSize(65535, 65535), EClipvaneError);  // 12 GiB of pixels
  EXPECT_EQ(bitmap.Width(), 4);
  EXPECT_EQ(bitmap.Height(), 4);
}

TEST(BitmapStorage, ResizeKeepsTheOverlapAndFormat) {
  TBitmap bitmap(3, 3, TPixelFormat::pf8bit);
  bitmap.SetPixel(1, 1, clWhite);
  bitmap.SetSize(5, 2);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(bitmap.GetPixel(1, 1), clWhite);
  EXPECT_EQ(bitmap.GetPixel(4, 1), bitmap.Palette()[0].ToColor());
  bitmap.SetSize(0, 7);
  EXPECT_TRUE(bitmap.Empty());
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
}

TEST(BitmapPixels, EveryFormatStoresItsExactColours) {
  // Colours every format can hold exactly: black, white, and pure channels at full intensity.
  const TColor exact[] = {clBlack, clWhite};
  for (const auto format : kAllFormats) {
    TBitmap bitmap(9, 2, format);
    for (int x = 0; x < 9; ++x) bitmap.SetPixel(x, 1, exact[x % 2]);
    for (int x = 0; x < 9; ++x) EXPECT_EQ(bitmap.GetPixel(x, 1), exact[x % 2]) << BitsPerPixel(format) << " x=" << x;
  }
}

TEST(BitmapPixels, OutOfRangeReadsBlackAndWritesNothing) {
  TBitmap bitmap(2, 2, TPixelFormat::pf24bit);
  bitmap.FillRect({0, 0, 2, 2}, clWhite);
  bitmap.SetPixel(-1, 0, clBlack);
  bitmap.SetPixel(2, 0, clBlack);
  EXPECT_EQ(bitmap.GetPixel(5, 5), clBlack);
  EXPECT_EQ(bitmap.GetPixel(0, 0), clWhite);
  EXPECT_EQ(bitmap.GetPixel(1, 0), clWhite);
}

TEST(BitmapFormat, SixteenBitKeepsTopBitsOfEachChannel) {
  TBitmap bitmap(1, 1, TPixelFormat::pf24bit);
  bitmap.SetPixel(0, 0, RGB(0xFF, 0x87, 0x0F));
  TBitmap b16 = bitmap;
  b16.SetPixelFormat(TPixelFormat::pf16bit);
  const std::uint16_t v16 = static_cast<std::uint16_t>(b16.ScanLine(0)[0] | (b16.ScanLine(0)[1] << 8));
  EXPECT_EQ(v16, (0x1F << 11) | ((0x87 >> 2) << 5) | (0x0F >> 3));
  TBitmap b15 = bitmap;
  b15.SetPixelFormat(TPixelFormat::pf15bit);
  const std::uint16_t v15 = static_cast<std::uint16_t>(b15.ScanLine(0)[0] | (b15.ScanLine(0)[1] << 8));
  EXPECT_EQ(v15, (0x1F << 10) | ((0x87 >> 3) << 5) | (0x0F >> 3));
  EXPECT_EQ(v15 & 0x8000, 0);
}

TEST(BitmapFormat, PaletteFormatsTakeTheNearestTableColourWithoutDither) {
  TBitmap bitmap(4, 1, TPixelFormat::pf24bit);
  bitmap.SetPixel(0, 0, RGB(100, 100, 100));  // nearer black than white
  bitmap.SetPixel(1, 0, RGB(140, 140, 140));
  bitmap.SetPixel(2, 0, RGB(250, 10, 5));
  bitmap.SetPixel(3, 0, RGB(130, 125, 5));
  TBitmap mono = bitmap;
  mono.SetPixelFormat(TPixelFormat::pf1bit);
  EXPECT_EQ(mono.GetPixel(0, 0), clBlack);
  EXPECT_EQ(mono.GetPixel(1, 0), clWhite);
  TBitmap sixteen = bitmap;
  sixteen.SetPixelFormat(TPixelFormat::pf4bit);
  EXPECT_EQ(sixteen.Palette().size(), 16u);
  EXPECT_EQ(sixteen.GetPixel(2, 0), RGB(255, 0, 0));
  EXPECT_EQ(sixteen.GetPixel(3, 0), RGB(128, 128, 0));
}

TEST(BitmapFormat, ConvertingBackFromPaletteKeepsTableColours) {
  TBitmap bitmap(16, 1, TPixelFormat::pf4bit);
  for (int i = 0; i < 16; ++i) bitmap.SetPixel(i, 0, StandardColors16()[i].ToColor());
  TBitmap wide = bitmap;
  wide.SetPixelFormat(TPixelFormat::pf32bit);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(wide.GetPixel(i, 0), StandardColors16()[i].ToColor());
}

TEST(BitmapDrawing, FillRectIsClipped) {
  TBitmap bitmap(4, 4, TPixelFormat::pf24bit);
  bitmap.FillRect({2, -5, 10, 1}, clWhite);
  EXPECT_EQ(bitmap.GetPixel(2, 0), clWhite);
  EXPECT_EQ(bitmap.GetPixel(3, 0), clWhite);
  EXPECT_EQ(bitmap.GetPixel(1, 0), clBlack);
  EXPECT_EQ(bitmap.GetPixel(2, 1), clBlack);
}

TEST(BitmapDrawing, DrawClipsAndConverts) {
  TBitmap source(3, 3, TPixelFormat::pf24bit);
  source.FillRect({0, 0, 3, 3}, RGB(255, 0, 0));
  source.SetPixel(0, 0, RGB(0, 0, 255));
  TBitmap target(4, 4, TPixelFormat::pf4bit);
  target.Draw(-1, 2, source);  // only columns 1-2 and rows 0-1 of the source land
  EXPECT_EQ(target.GetPixel(0, 2), RGB(255, 0, 0));
  EXPECT_EQ(target.GetPixel(1, 3), RGB(255, 0, 0));
  EXPECT_EQ(target.GetPixel(2, 2), clBlack);
  EXPECT_EQ(target.GetPixel(0, 1), clBlack);
}

TEST(BitmapDrawing, StretchEnlargesByRepeatingPixels) {
  TBitmap source(2, 1, TPixelFormat::pf24bit);
  source.SetPixel(0, 0, RGB(1, 2, 3));
  source.SetPixel(1, 0, RGB(4, 5, 6));
  TBitmap target(6, 2, TPixelFormat::pf24bit);
  target.StretchDraw({0, 0, 6, 2}, source, {0, 0, 2, 1});
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 6; ++x) EXPECT_EQ(target.GetPixel(x, y), x < 3 ? RGB(1, 2, 3) : RGB(4, 5, 6));
}

TEST(BitmapDrawing, StretchShrinksWithoutSmoothing) {
  TBitmap source(4, 4, TPixelFormat::pf24bit);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) source.SetPixel(x, y, RGB(x * 60, y * 60, 7));
  TBitmap target(2, 2, TPixelFormat::pf24bit);
  target.StretchDraw({0, 0, 2, 2}, source, {0, 0, 4, 4});
  // Every result is one of the source pixels, never a blend.
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      const TColor c = target.GetPixel(x, y);
      EXPECT_EQ(GetRValue(c) % 60, 0);
      EXPECT_EQ(GetGValue(c) % 60, 0);
      EXPECT_EQ(GetBValue(c), 7);
    }
  EXPECT_NE(target.GetPixel(0, 0), target.GetPixel(1, 1));
}

TEST(BitmapDrawing, StretchOfASubRectangle) {
  TBitmap source(10, 10, TPixelFormat::pf24bit);
  source.FillRect({5, 5, 10, 10}, clWhite);
  TBitmap target(3, 3, TPixelFormat::pf8bit);
  target.StretchDraw({0, 0, 3, 3}, source, {5, 5, 10, 10});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(target.GetPixel(x, y), clWhite);
}

TEST(BitmapDrawing, StretchFromItselfReadsTheOriginal) {
  TBitmap bitmap(4, 1, TPixelFormat::pf24bit);
  bitmap.SetPixel(0, 0, clWhite);
  bitmap.StretchDraw({0, 0, 4, 1}, bitmap, {0, 0, 2, 1});
  EXPECT_EQ(bitmap.GetPixel(0, 0), clWhite);
  EXPECT_EQ(bitmap.GetPixel(1, 0), clWhite);
  EXPECT_EQ(bitmap.GetPixel(2, 0), clBlack);
}

TEST(Palettes, HalftoneTableHoldsStaticsCubeAndGreys) {
  const auto& halftone = HalftonePalette256();
  const auto& statics = SystemPalette20();
  for (int i = 0; i < 10; ++i) {
    EXPECT_EQ(halftone[i], statics[i]);
    EXPECT_EQ(halftone[246 + i], statics[10 + i]);
  }
  int cube = 0;
  for (const auto& e : halftone)
    if (e.Red % 51 == 0 && e.Green % 51 == 0 && e.Blue % 51 == 0) ++cube;
  EXPECT_GE(cube, 216);
}

}  // namespace
}  // namespace clipvane
