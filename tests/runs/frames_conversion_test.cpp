// Colour modes and sizes of extracted frames, and the "Maintain aspect ratio" coupling.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "core/palettes.h"
#include "runs/frames/frame_conversion.h"

namespace clipvane {
namespace {

constexpr TColorMode kAllModes[] = {TColorMode::cm32bit, TColorMode::cm24bit, TColorMode::cm16bit, TColorMode::cm15bit,
                                    TColorMode::cm8bit,  TColorMode::cm4bit,  TColorMode::cm1bit};

// A 24-bit picture with every hue and brightness somewhere: a decoded video frame stand-in.
TBitmap ColourfulFrame(int width, int height) {
  TBitmap frame(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      frame.SetPixel(x, y, RGB(x * 255 / std::max(width - 1, 1), y * 255 / std::max(height - 1, 1), (x + y) * 7 % 256));
  return frame;
}

std::set<TColor> ColoursOf(const TBitmap& bitmap) {
  std::set<TColor> colours;
  for (int y = 0; y < bitmap.Height(); ++y)
    for (int x = 0; x < bitmap.Width(); ++x) colours.insert(bitmap.GetPixel(x, y));
  return colours;
}

std::uint16_t Pixel16(const TBitmap& bitmap, int x, int y) {
  const std::uint8_t* row = bitmap.ScanLine(y);
  return static_cast<std::uint16_t>(row[2 * x] | (row[2 * x + 1] << 8));
}

TEST(ColorModeText, OnlyTheExactItemTextsSelectAMode) {
  EXPECT_EQ(ColorModeFromText("1 bit"), TColorMode::cm1bit);
  EXPECT_EQ(ColorModeFromText("4 bit"), TColorMode::cm4bit);
  EXPECT_EQ(ColorModeFromText("8 bit"), TColorMode::cm8bit);
  EXPECT_EQ(ColorModeFromText("15 bit"), TColorMode::cm15bit);
  EXPECT_EQ(ColorModeFromText("16 bit"), TColorMode::cm16bit);
  EXPECT_EQ(ColorModeFromText("32 bit"), TColorMode::cm32bit);
  // Typed by hand into the editable list: anything else converts as "24 bit".
  for (const char* text : {"1 Bit", " 1 bit", "1 bit ", "1bit", "", "256 colours", "8"})
    EXPECT_EQ(ColorModeFromText(text), TColorMode::cm24bit) << '"' << text << '"';
  for (const auto mode : kAllModes) EXPECT_EQ(ColorModeFromText(ColorModeText(mode)), mode);
}

TEST(FrameConversion, OriginalSizeInEveryMode) {
  const TBitmap source = ColourfulFrame(320, 240);
  const TPixelFormat expected[] = {TPixelFormat::pf32bit, TPixelFormat::pf24bit, TPixelFormat::pf16bit,
                                   TPixelFormat::pf15bit, TPixelFormat::pf8bit,  TPixelFormat::pf4bit,
                                   TPixelFormat::pf1bit};
  for (std::size_t i = 0; i < std::size(kAllModes); ++i) {
    const auto frame = ConvertFrame(source, 320, 240, kAllModes[i]);
    EXPECT_EQ(frame->Width(), 320);
    EXPECT_EQ(frame->Height(), 240);
    EXPECT_EQ(frame->PixelFormat(), expected[i]) << ColorModeText(kAllModes[i]);
  }
}

TEST(FrameConversion, DirectColourModesKeepOrTruncateChannels) {
  TBitmap source(2, 1, TPixelFormat::pf24bit);
  source.SetPixel(0, 0, RGB(255, 128, 64));
  source.SetPixel(1, 0, RGB(7, 200, 13));
  EXPECT_EQ(ConvertFrame(source, 2, 1, TColorMode::cm24bit)->GetPixel(1, 0), RGB(7, 200, 13));
  EXPECT_EQ(ConvertFrame(source, 2, 1, TColorMode::cm32bit)->GetPixel(1, 0), RGB(7, 200, 13));
  // 5-6-5: top 5 bits of red and blue, top 6 of green.
  const auto frame16 = ConvertFrame(source, 2, 1, TColorMode::cm16bit);
  EXPECT_EQ(Pixel16(*frame16, 0, 0), (31 << 11) | (32 << 5) | 8);
  EXPECT_EQ(Pixel16(*frame16, 1, 0), (0 << 11) | (50 << 5) | 1);
  // 5-5-5 with bit 15 unused.
  const auto frame15 = ConvertFrame(source, 2, 1, TColorMode::cm15bit);
  EXPECT_EQ(Pixel16(*frame15, 0, 0), (31 << 10) | (16 << 5) | 8);
  EXPECT_EQ(Pixel16(*frame15, 1, 0), (0 << 10) | (25 << 5) | 1);
}

TEST(FrameConversion, OneBitHoldsOnlyBlackAndWhiteUndithered) {
  const auto frame = ConvertFrame(ColourfulFrame(320, 240), 320, 240, TColorMode::cm1bit);
  EXPECT_EQ(frame->Palette(), BlackWhitePalette());
  EXPECT_EQ(ColoursOf(*frame), (std::set<TColor>{clBlack, clWhite}));
  // A flat dark grey field stays one flat colour: dithering would scatter white dots.
  TBitmap grey(40, 30, TPixelFormat::pf24bit);
  grey.FillRect(TRect{0, 0, 40, 30}, RGB(100, 100, 100));
  grey.FillRect(TRect{20, 0, 40, 30}, RGB(160, 160, 160));
  const auto bw = ConvertFrame(grey, 40, 30, TColorMode::cm1bit);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) ASSERT_EQ(bw->GetPixel(x, y), x < 20 ? clBlack : clWhite) << x << "," << y;
}

TEST(FrameConversion, FourBitHoldsOnlyTheSixteenStandardColours) {
  const auto frame = ConvertFrame(ColourfulFrame(320, 240), 320, 240, TColorMode::cm4bit);
  const auto& standard = StandardColors16();
  ASSERT_EQ(frame->Palette().size(), 16u);
  EXPECT_TRUE(std::equal(standard.begin(), standard.end(), frame->Palette().begin()));
  std::set<TColor> allowed;
  for (const auto& entry : standard) allowed.insert(entry.ToColor());
  for (const TColor colour : ColoursOf(*frame)) EXPECT_TRUE(allowed.count(colour)) << std::hex << colour;
  // Each standard colour maps to itself, a near colour to the nearest one, flat fields stay flat.
  TBitmap source(17, 4, TPixelFormat::pf24bit);
  for (int i = 0; i < 16; ++i) source.FillRect(TRect{i, 0, i + 1, 4}, standard[static_cast<std::size_t>(i)].ToColor());
  source.FillRect(TRect{16, 0, 17, 4}, RGB(200, 30, 30));
  const auto converted = ConvertFrame(source, 17, 4, TColorMode::cm4bit);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(converted->GetIndex(i, 2), i);
  for (int y = 0; y < 4; ++y) EXPECT_EQ(converted->GetPixel(16, y), RGB(255, 0, 0));
}

TEST(FrameConversion, EightBitUsesTheHalftoneTable) {
  const auto frame = ConvertFrame(ColourfulFrame(64, 48), 64, 48, TColorMode::cm8bit);
  const auto& halftone = HalftonePalette256();
  ASSERT_EQ(frame->Palette().size(), 256u);
  EXPECT_TRUE(std::equal(halftone.begin(), halftone.end(), frame->Palette().begin()));
  TBitmap cube(1, 1, TPixelFormat::pf24bit);
  cube.SetPixel(0, 0, RGB(51, 204, 102));  // a colour of the 6x6x6 cube
  EXPECT_EQ(ConvertFrame(cube, 1, 1, TColorMode::cm8bit)->GetPixel(0, 0), RGB(51, 204, 102));
}

TEST(FrameConversion, SixteenAndFifteenBitDifferOnlyInLayout) {
  const auto frame16 = ConvertFrame(ColourfulFrame(8, 8), 8, 8, TColorMode::cm16bit);
  const auto frame15 = ConvertFrame(ColourfulFrame(8, 8), 8, 8, TColorMode::cm15bit);
  EXPECT_EQ(BitsPerPixel(frame16->PixelFormat()), 16);
  EXPECT_EQ(BitsPerPixel(frame15->PixelFormat()), 16);
  EXPECT_TRUE(frame16->Palette().empty());
  EXPECT_TRUE(frame15->Palette().empty());
}

TEST(FrameConversion, StretchesWithoutSmoothing) {
  TBitmap source(4, 2, TPixelFormat::pf24bit);
  const TColor colours[] = {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), clWhite,
                            RGB(9, 9, 9),   RGB(80, 0, 80), RGB(0, 80, 80), clBlack};
  for (int i = 0; i < 8; ++i) source.SetPixel(i % 4, i / 4, colours[i]);
  // Enlarging repeats each source pixel as a block; no blended colour appears.
  const auto big = ConvertFrame(source, 12, 6, TColorMode::cm24bit);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 12; ++x) ASSERT_EQ(big->GetPixel(x, y), colours[(y / 3) * 4 + x / 3]) << x << "," << y;
  // Shrinking keeps source colours only.
  const auto small = ConvertFrame(source, 2, 1, TColorMode::cm24bit);
  for (int x = 0; x < 2; ++x)
    EXPECT_NE(std::find(std::begin(colours), std::end(colours), small->GetPixel(x, 0)), std::end(colours));
  // Width and height are independent: the ratio is not kept by the conversion itself.
  const auto wide = ConvertFrame(source, 40, 2, TColorMode::cm24bit);
  EXPECT_EQ(wide->Width(), 40);
  EXPECT_EQ(wide->Height(), 2);
}

TEST(FrameConversion, ZeroSizeGivesAnEmptyFrame) {
  const TBitmap source = ColourfulFrame(16, 16);
  for (const auto mode : kAllModes) {
    EXPECT_TRUE(ConvertFrame(source, 0, 16, mode)->Empty());
    EXPECT_TRUE(ConvertFrame(source, 16, 0, mode)->Empty());
  }
  EXPECT_TRUE(ConvertFrame(TBitmap(), 16, 16, TColorMode::cm24bit)->GetPixel(3, 3) == clBlack);
}

TEST(AspectCoupling, SettlesWhenTheRulesAgree) {
  // 102 -> height 57 (57.375) -> width 101 (101.33) -> height 57 again: settled.
  EXPECT_EQ(CoupleFrameSize({102, 360}, TSizeBox::sbWidth, 640, 360), (TFrameSize{101, 57}));
  EXPECT_EQ(CoupleFrameSize({320, 90}, TSizeBox::sbHeight, 320, 240), (TFrameSize{120, 90}));
  EXPECT_EQ(CoupleFrameSize({160, 240}, TSizeBox::sbWidth, 320, 240), (TFrameSize{160, 120}));
}

TEST(AspectCoupling, RoundsHalvesToEven) {
  // 5 / 4 x 2 = 2.5 -> 2; then 2 / 2 x 4 = 4 -> width 4 -> 4 / 4 x 2 = 2: settled at 4 x 2.
  EXPECT_EQ(CoupleFrameSize({5, 0}, TSizeBox::sbWidth, 4, 2), (TFrameSize{4, 2}));
  // 7 / 4 x 2 = 3.5 -> 4; 4 / 2 x 4 = 8 -> width 8; 8 / 4 x 2 = 4: settled at 8 x 4.
  EXPECT_EQ(CoupleFrameSize({7, 0}, TSizeBox::sbWidth, 4, 2), (TFrameSize{8, 4}));
}

TEST(AspectCoupling, NoVideoMeansNoCoupling) {
  EXPECT_EQ(CoupleFrameSize({102, 7}, TSizeBox::sbWidth, 0, 0), (TFrameSize{102, 7}));
  EXPECT_EQ(CoupleFrameSize({102, 7}, TSizeBox::sbHeight, 640, 0), (TFrameSize{102, 7}));
  EXPECT_EQ(CoupleFrameSize({0, 0}, TSizeBox::sbWidth, 640, 360), (TFrameSize{0, 0}));
}

TEST(AspectCoupling, StaysWithinTheBoxLimits) {
  // A 1 x 100 video: width 200 asks for height 20000, which the box holds at 10000.
  const TFrameSize size = CoupleFrameSize({200, 0}, TSizeBox::sbWidth, 1, 100);
  EXPECT_LE(size.Height, 10000);
  EXPECT_LE(size.Width, 10000);
  EXPECT_EQ(size, (TFrameSize{100, 10000}));
}

}  // namespace
}  // namespace clipvane
