// ReduceBitmap as the GIF document uses it: the 8-bit result with its 256-entry table, exact
// colours for small pictures, the web cube, every method's palette, and refused input.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "core/palettes.h"
#include "gif/dib_access.h"
#include "gif/gif_exception.h"
#include "gif/palette_reduction.h"
#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::IndexedColour;
using testing::MakePicture;
using testing::OneColourPicture;

template <class Call>
std::string MessageOf(Call&& call) {
  try {
    call();
  } catch (const std::exception& error) {
    return error.what();
  }
  return "(nothing raised)";
}

TEST(ReduceBitmapOctreeSystem, OneColourBecomesEntry10) {
  int colours = 0;
  const TBitmap reduced =
      ReduceBitmap(OneColourPicture(7, 5, RGB(100, 150, 200)), reduceOctreeSystem, ditherNone, {}, 8, &colours);
  ASSERT_EQ(reduced.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(colours, 256);
  EXPECT_EQ(reduced.Palette().at(10).ToColor(), RGB(100, 150, 200));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(reduced.ScanLine(y)[x], 10);
}

TEST(ReduceBitmapOctreeSystem, LargeOneColourAreaKeepsItsColour) {
  // 4096 x 2057 white pixels: the red sum passes 2^31, where a 32-bit sum would wrap.
  TBitmap white(4096, 2057, TPixelFormat::pf24bit);
  std::fill(white.Bits().begin(), white.Bits().end(), std::uint8_t{255});
  const TBitmap reduced = ReduceBitmap(white, reduceOctreeSystem, ditherNone);
  EXPECT_EQ(reduced.Palette().at(10).ToColor(), clWhite);
  EXPECT_EQ(reduced.ScanLine(2056)[4095], 10);
}

TEST(ReduceBitmapOctreeSystem, ASystemColourInTheSameCellWins) {
  // (1, 2, 3) shares its 5-5-5 cell with system black, entry 0.
  const TBitmap reduced = ReduceBitmap(OneColourPicture(4, 4, RGB(1, 2, 3)), reduceOctreeSystem, ditherNone);
  EXPECT_EQ(reduced.Palette().at(10).ToColor(), RGB(1, 2, 3));
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(reduced.ScanLine(y)[x], 0);
}

// 236 colours, each alone in its 5-5-5 cell and in none of the system colours' cells: every
// channel is 8 c + 3 with c odd, while each system colour has a channel in an even cell.
std::vector<TColor> ColoursInOwnCells(unsigned seed) {
  std::vector<TColor> all;
  for (int r = 1; r < 32; r += 2)
    for (int g = 1; g < 32; g += 2)
      for (int b = 1; b < 32; b += 2) all.push_back(RGB(8 * r + 3, 8 * g + 3, 8 * b + 3));
  std::shuffle(all.begin(), all.end(), std::mt19937(seed));
  all.resize(236);
  return all;
}

TEST(ReduceBitmapOctreeSystem, UpTo236ColoursComeBackExact) {
  const std::vector<TColor> colours = ColoursInOwnCells(3);
  const TBitmap picture = MakePicture(59, 12, [&colours](int x, int y) { return colours[(y * 59 + x) % 236]; });
  for (TDitherMode dither : {ditherNone, ditherFloydSteinberg}) {
    const TBitmap reduced = ReduceBitmap(picture, reduceOctreeSystem, dither);
    for (int y = 0; y < picture.Height(); ++y)
      for (int x = 0; x < picture.Width(); ++x)
        ASSERT_EQ(IndexedColour(reduced, x, y), picture.GetPixel(x, y)) << x << "," << y << " dither " << int(dither);
  }
}

TEST(ReduceBitmapWebCube, ColourOffTheCubeTakesTheCubeEntry) {
  int colours = 0;
  const TBitmap reduced =
      ReduceBitmap(OneColourPicture(1, 1, RGB(24, 25, 255)), reduceWebCube, ditherNone, {}, 8, &colours);
  EXPECT_EQ(reduced.ScanLine(0)[0], 5);
  EXPECT_EQ(IndexedColour(reduced, 0, 0), RGB(0, 0, 255));
  EXPECT_EQ(colours, 216);
}

TEST(ReduceBitmapWebCube, PaletteIsTheCubeRedSlowest) {
  const auto cube = WebCubePalette();
  ASSERT_EQ(cube.size(), 216u);
  EXPECT_EQ(cube[0].ToColor(), RGB(0, 0, 0));
  EXPECT_EQ(cube[1].ToColor(), RGB(0, 0, 51));
  EXPECT_EQ(cube[6].ToColor(), RGB(0, 51, 0));
  EXPECT_EQ(cube[36].ToColor(), RGB(51, 0, 0));
  EXPECT_EQ(cube[215].ToColor(), RGB(255, 255, 255));
}

TEST(ReduceBitmapResult, TableOf256WithThePalettesEntriesFirst) {
  const TBitmap picture = MakePicture(21, 13, [](int x, int y) { return RGB(x * 12, y * 19, (x * y) & 0xFF); });
  const std::vector<TRGBQuad> custom = {TRGBQuad::FromColor(RGB(9, 8, 7)), TRGBQuad::FromColor(RGB(200, 100, 50)),
                                        TRGBQuad::FromColor(RGB(1, 250, 3))};
  struct Case {
    TColorReduction method;
    int colours;
    TRGBQuad first;
  };
  const Case cases[] = {
      {reduceSystem20, 20, SystemPalette20()[0]},
      {reduceHalftone, 256, HalftonePalette256()[0]},
      {reduceSystemGray, 4, TRGBQuad::FromColor(RGB(0, 0, 0))},
      {reduceMonochrome, 2, TRGBQuad::FromColor(RGB(0, 0, 0))},
      {reduceGray256, 256, TRGBQuad::FromColor(RGB(0, 0, 0))},
      {reduceWebCube, 216, TRGBQuad::FromColor(RGB(0, 0, 0))},
      {reduceOctreeSystem, 256, SystemPalette20()[0]},
      {reduceCustom, 3, custom[0]},
  };
  for (const Case& c : cases) {
    int colours = -1;
    const TBitmap reduced = ReduceBitmap(picture, c.method, ditherFloydSteinberg, custom, 8, &colours);
    ASSERT_EQ(reduced.PixelFormat(), TPixelFormat::pf8bit) << int(c.method);
    EXPECT_EQ(reduced.Width(), 21);
    EXPECT_EQ(reduced.Height(), 13);
    EXPECT_EQ(colours, c.colours) << int(c.method);
    ASSERT_EQ(reduced.Palette().size(), 256u);
    EXPECT_EQ(reduced.Palette()[0], c.first) << int(c.method);
    for (std::size_t i = static_cast<std::size_t>(c.colours); i < 256; ++i)
      EXPECT_EQ(reduced.Palette()[i].ToColor(), clBlack) << int(c.method) << " entry " << i;
    for (int y = 0; y < 13; ++y)
      for (int x = 0; x < 21; ++x) ASSERT_LT(reduced.ScanLine(y)[x], c.colours) << int(c.method);
  }
}

TEST(ReduceBitmapResult, OctreeOfQuantizeBitsColours) {
  const TBitmap picture = MakePicture(40, 40, [](int x, int y) { return RGB(x * 6, y * 6, 128); });
  for (int bits : {0, 1, 4, 8}) {
    int colours = 0;
    const TBitmap reduced = ReduceBitmap(picture, reduceOctree, ditherNone, {}, bits, &colours);
    EXPECT_EQ(colours, 1 << bits);
    ASSERT_EQ(reduced.PixelFormat(), TPixelFormat::pf8bit);
  }
}

TEST(ReduceBitmapResult, GreyPicturesKeepTheirLevelsInGray256) {
  const TBitmap ramp = MakePicture(256, 2, [](int x, int) { return RGB(x, x, x); });
  const TBitmap reduced = ReduceBitmap(ramp, reduceGray256, ditherFloydSteinberg);
  for (int x = 0; x < 256; ++x) EXPECT_EQ(reduced.ScanLine(1)[x], x);
}

TEST(ReduceBitmapResult, NoReductionIsA24BitCopy) {
  TBitmap source(5, 3, TPixelFormat::pf32bit);
  source.FillRect({0, 0, 5, 3}, RGB(10, 20, 30));
  source.SetPixel(4, 2, RGB(200, 100, 0));
  int colours = -1;
  const TBitmap copy = ReduceBitmap(source, reduceNone, ditherFloydSteinberg, {}, 8, &colours);
  EXPECT_EQ(copy.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(colours, 0);
  EXPECT_EQ(copy.GetPixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(copy.GetPixel(4, 2), RGB(200, 100, 0));
  EXPECT_EQ(source.PixelFormat(), TPixelFormat::pf32bit);
}

TEST(ReduceBitmapResult, DeeperAndShallowerSourcesAreReadAsColours) {
  TBitmap source(6, 4, TPixelFormat::pf32bit);
  source.FillRect({0, 0, 6, 4}, RGB(255, 0, 0));
  source.FillRect({3, 0, 6, 4}, RGB(0, 0, 255));
  const TBitmap before = source;
  const TBitmap reduced = ReduceBitmap(source, reduceWebCube, ditherFloydSteinberg);
  EXPECT_EQ(IndexedColour(reduced, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(IndexedColour(reduced, 5, 3), RGB(0, 0, 255));
  EXPECT_EQ(source, before);  // the caller's picture is not converted
  TBitmap indexed = source;
  indexed.SetPixelFormat(TPixelFormat::pf8bit);
  EXPECT_EQ(IndexedColour(ReduceBitmap(indexed, reduceWebCube, ditherNone), 5, 0), RGB(0, 0, 255));
}

TEST(ReduceBitmapResult, UnknownMethodOrKindOrEmptyPaletteGivesAnEmptyBitmap) {
  const TBitmap picture = OneColourPicture(3, 3, RGB(1, 2, 3));
  int colours = -1;
  EXPECT_TRUE(ReduceBitmap(picture, static_cast<TColorReduction>(10), ditherNone, {}, 8, &colours).Empty());
  EXPECT_EQ(colours, 0);
  EXPECT_TRUE(ReduceBitmap(picture, reduceWebCube, static_cast<TDitherMode>(7)).Empty());
  EXPECT_TRUE(ReduceBitmap(picture, reduceCustom, ditherFloydSteinberg, {}).Empty());
}

TEST(ReduceBitmapResult, CustomPaletteBeyond256GivesItsFirst256) {
  std::vector<TRGBQuad> custom(300, TRGBQuad::FromColor(RGB(5, 5, 5)));
  custom[299] = TRGBQuad::FromColor(RGB(250, 250, 250));
  int colours = 0;
  const TBitmap reduced =
      ReduceBitmap(OneColourPicture(2, 2, RGB(250, 250, 250)), reduceCustom, ditherNone, custom, 8, &colours);
  EXPECT_EQ(colours, 256);
  EXPECT_EQ(IndexedColour(reduced, 1, 1), RGB(5, 5, 5));
}

TEST(ReduceBitmapErrors, EmptySourceOrQuantizeBitsOutOfRange) {
  EXPECT_EQ(MessageOf([] { ReduceBitmap(TBitmap(), reduceOctreeSystem, ditherFloydSteinberg); }),
            "Invalid image dimensions");
  EXPECT_THROW(ReduceBitmap(TBitmap(0, 5), reduceWebCube, ditherNone), GIFException);
  const TBitmap picture = OneColourPicture(2, 2, RGB(1, 2, 3));
  EXPECT_THROW(ReduceBitmap(picture, reduceOctree, ditherNone, {}, 9), GIFException);
  EXPECT_THROW(ReduceBitmap(picture, reduceOctree, ditherNone, {}, -1), GIFException);
  // Other methods do not use the bits.
  EXPECT_FALSE(ReduceBitmap(picture, reduceWebCube, ditherNone, {}, 9).Empty());
}

TEST(DIBWriterErrors, EachFailureHasItsMessage) {
  EXPECT_EQ(MessageOf([] { TDIBWriter(4, 4, 16); }), "Unsupported PixelFormat");
  EXPECT_THROW(TDIBWriter(4, 4, 32), GIFException);
  EXPECT_EQ(MessageOf([] { TDIBWriter(0, 4, 8); }), "Invalid image dimensions");
  EXPECT_EQ(MessageOf([] { TDIBWriter(4, 0, 24); }), "Invalid image dimensions");
  EXPECT_THROW(TDIBWriter(65536, 1, 8), GIFException);
  EXPECT_THROW(TDIBWriter(60000, 60000, 8), std::bad_alloc);
  EXPECT_EQ(MessageOf([] { TDIBWriter(60000, 60000, 8); }), "Failed to allocate memory for GIF DIB");

  TDIBWriter writer(3, 2, 8);
  EXPECT_NO_THROW(writer.RowAddress(1));
  EXPECT_THROW(writer.RowAddress(2), EInvalidGraphicOperation);
  EXPECT_EQ(MessageOf([&writer] { writer.RowAddress(-1); }), "Scan line index out of range");
  TBitmap target;
  writer.HandTo(target);
  EXPECT_EQ(target.Width(), 3);
  EXPECT_EQ(target.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(MessageOf([&writer] { writer.RowAddress(0); }), "Image has no DIB");
}

}  // namespace
}  // namespace clipvane
