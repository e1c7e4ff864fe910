// Dither engines: the serpentine walk, the Floyd-Steinberg running terms worked through by
// hand, and every kind keeping a picture's mean colour.
#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "core/error.h"
#include "gif/color_lookup.h"
#include "gif/dither_engine.h"
#include "gif/palette_reduction.h"
#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::IndexedColour;
using testing::MakePicture;

TEST(SerpentineScan, RowsAlternateDirectionStartingLeftToRight) {
  TGrayScaleLookup lookup;
  TDitherEngine engine(3, lookup);
  EXPECT_EQ(engine.Direction(), 1);
  EXPECT_EQ(engine.Column(), 0);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(engine.MapPixel(x, x, x), x);
  EXPECT_EQ(engine.Column(), 3);
  engine.EndRow();
  EXPECT_EQ(engine.Direction(), -1);
  EXPECT_EQ(engine.Column(), 2);
  engine.MapPixel(0, 0, 0);
  EXPECT_EQ(engine.Column(), 1);
  engine.EndRow();
  EXPECT_EQ(engine.Direction(), 1);
  EXPECT_EQ(engine.Column(), 0);
}

// A grey of 100 against black and white: the running terms and error row worked out by hand.
TEST(FloydSteinberg, RunningTermsAndErrorRowOfTwoRows) {
  TMonochromeLookup lookup;
  TFloydSteinbergDitherer engine(3, lookup);
  // Row 0, left to right: 100 -> black (d 100), 100 + 708/16 = 144 -> white (d -111),
  // 100 + (-769)/16 = 100 - 48 = 52 -> black (d 52): the quotient is truncated toward zero.
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 0);
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 1);
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 0);
  EXPECT_EQ(engine.Position(), 3);
  engine.EndRow();
  EXPECT_EQ(engine.Position(), 4);
  const std::array<int, 4> afterRow0 = {300, 167, -299, 149};
  for (int channel = 0; channel < 3; ++channel)
    for (int i = 0; i < 4; ++i) EXPECT_EQ(engine.ErrorEntry(channel, i), afterRow0[i]) << channel << " " << i;

  // Row 1, right to left from entry 4: 100 -> black, 100 + 857/16 = 153 -> white,
  // 100 + (-1005)/16 = 38 -> black.
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 0);
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 1);
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 0);
  EXPECT_EQ(engine.Position(), 1);
  engine.EndRow();
  EXPECT_EQ(engine.Position(), 0);
  const std::array<int, 5> afterRow1 = {300, 88, -296, 194, 300};
  for (int i = 0; i < 5; ++i) EXPECT_EQ(engine.ErrorEntry(0, i), afterRow1[i]) << i;
}

TEST(FloydSteinberg, ChannelWithoutErrorLeavesItsRowTermsAlone) {
  TNetscapeColorLookup lookup;
  TFloydSteinbergDitherer engine(2, lookup);
  // Red 60 -> 51 (d 9); then 47 + (0 + 63 + 8)/16 = 51 lands on the cube: d 0, so entry 1
  // stays 0 and BelowPrev (45) survives to the end of the row.
  engine.MapPixel(60, 0, 0);
  engine.MapPixel(47, 0, 0);
  engine.EndRow();
  EXPECT_EQ(engine.ErrorEntry(0, 0), 27);
  EXPECT_EQ(engine.ErrorEntry(0, 1), 0);
  EXPECT_EQ(engine.ErrorEntry(0, 2), 45);
  // Green and blue were exact throughout.
  for (int i = 0; i < 4; ++i) EXPECT_EQ(engine.ErrorEntry(1, i), 0);
}

TEST(FloydSteinberg, OnePixelWideRowsUseEntriesZeroAndTwo) {
  TGrayScaleLookup lookup;
  TFloydSteinbergDitherer engine(1, lookup);
  for (int row = 0; row < 4; ++row) {
    const bool forward = row % 2 == 0;
    EXPECT_EQ(engine.Direction(), forward ? 1 : -1);
    EXPECT_EQ(engine.Column(), 0);
    EXPECT_EQ(engine.Position(), forward ? 0 : 2);
    engine.MapPixel(90, 90, 90);
    EXPECT_EQ(engine.Position(), 1);
    engine.EndRow();
  }
  const TBitmap column = MakePicture(1, 9, [](int, int y) { return RGB(y * 30, 255 - y * 20, 7); });
  int colours = 0;
  const TBitmap reduced = ReduceBitmap(column, reduceWebCube, ditherFloydSteinberg, {}, 8, &colours);
  ASSERT_EQ(reduced.Height(), 9);
  EXPECT_EQ(colours, 216);
}

TEST(KernelDitherers, BurkesPassesEightAndFourThirtySecondsAlongTheRow) {
  TMonochromeLookup lookup;
  TBurkesDitherer engine(3, lookup);
  // 100 -> black (error 100); 100 + 800/32 = 125 -> black (error 125);
  // 100 + (400 + 1000)/32, rounded, = 144 -> white.
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 0);
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 0);
  EXPECT_EQ(engine.MapPixel(100, 100, 100), 1);
}

TEST(DitherEngines, MappingPastTheRowIsRefused) {
  TGrayScaleLookup lookup;
  TFloydSteinbergDitherer engine(1, lookup);
  engine.MapPixel(1, 1, 1);
  EXPECT_THROW(engine.MapPixel(1, 1, 1), EClipvaneError);
  TStuckiDitherer stucki(1, lookup);
  stucki.MapPixel(1, 1, 1);
  EXPECT_THROW(stucki.MapPixel(1, 1, 1), EClipvaneError);
}

// A picture no palette colour matches: red and green ramps over a blue of 30.
TBitmap OffCubeGradient() {
  return MakePicture(96, 64, [](int x, int y) { return RGB(10 + x * 2, 20 + y * 3, 30); });
}

std::array<double, 3> MeanColour(const TBitmap& picture) {
  std::array<double, 3> sum{};
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) {
      const TColor colour = picture.PixelFormat() == TPixelFormat::pf8bit ? IndexedColour(picture, x, y)
                                                                          : picture.GetPixel(x, y);
      sum[0] += GetRValue(colour);
      sum[1] += GetGValue(colour);
      sum[2] += GetBValue(colour);
    }
  for (double& channel : sum) channel /= static_cast<double>(picture.Width()) * picture.Height();
  return sum;
}

class EveryDitherKind : public ::testing::TestWithParam<TDitherMode> {};

TEST_P(EveryDitherKind, StaysInThePaletteAndKeepsTheMeanColour) {
  const TBitmap source = OffCubeGradient();
  for (TColorReduction method : {reduceWebCube, reduceSystemGray, reduceOctree}) {
    int colours = 0;
    const TBitmap reduced = ReduceBitmap(source, method, GetParam(), {}, 4, &colours);
    ASSERT_EQ(reduced.PixelFormat(), TPixelFormat::pf8bit);
    ASSERT_EQ(reduced.Width(), source.Width());
    for (int y = 0; y < reduced.Height(); ++y)
      for (int x = 0; x < reduced.Width(); ++x) ASSERT_LT(reduced.ScanLine(y)[x], colours) << method;
    if (GetParam() == ditherNone || method == reduceSystemGray) continue;
    const auto want = MeanColour(source);
    const auto got = MeanColour(reduced);
    // Errors pushed past the edges are lost, and the octree's averaged colours do not reach
    // the gradient's ends, so a little drift is expected; without diffusion blue alone is off by 30.
    for (int c = 0; c < 3; ++c) EXPECT_NEAR(got[c], want[c], 3.0) << "method " << int(method) << " channel " << c;
  }
}

TEST_P(EveryDitherKind, MixesNeighbouringColoursWhereNoneMatches) {
  // Blue 30 lies between the cube's 0 and 51: only diffusion gives a mix of the two.
  const TBitmap reduced = ReduceBitmap(OffCubeGradient(), reduceWebCube, GetParam());
  int withBlue = 0;
  for (int y = 0; y < reduced.Height(); ++y)
    for (int x = 0; x < reduced.Width(); ++x) withBlue += GetBValue(IndexedColour(reduced, x, y)) == 51;
  const int pixels = reduced.Width() * reduced.Height();
  if (GetParam() == ditherNone) {
    EXPECT_EQ(withBlue, 0);
  } else {
    EXPECT_NEAR(static_cast<double>(withBlue) / pixels, 30.0 / 51.0, 0.03);
  }
}

TEST_P(EveryDitherKind, ExactPaletteColoursStayExact) {
  const TBitmap cubeColours =
      MakePicture(30, 20, [](int x, int y) { return RGB(51 * (x % 6), 51 * ((x / 6 + y) % 6), 51 * (y % 6)); });
  const TBitmap reduced = ReduceBitmap(cubeColours, reduceWebCube, GetParam());
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x) ASSERT_EQ(IndexedColour(reduced, x, y), cubeColours.GetPixel(x, y));
}

INSTANTIATE_TEST_SUITE_P(Kinds, EveryDitherKind,
                         ::testing::Values(ditherNone, ditherFloydSteinberg, ditherStucki, ditherSierra,
                                           ditherJarvisJudiceNinke, ditherStevensonArce, ditherBurkes));

}  // namespace
}  // namespace clipvane
