// The "Best quality" reduction of one frame: exact colours up to 256, the dithered path
// beyond, the error it may carry, the palette kept between frames, and the pixels kept from
// what the screen shows.
#include "gif/best_quantizer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::MakePicture;

TColor PixelColour(const TBitmap& picture, int x, int y) {
  const std::uint8_t* p = picture.ScanLine(y) + 3 * x;
  return RGB(p[2], p[1], p[0]);
}

TColor EntryColour(const TQuantizedFrame& frame, int x, int y) {
  const TGIFColor& c = frame.Palette.at(frame.Indices.at(static_cast<std::size_t>(y) * frame.Width + x));
  return RGB(c.Red, c.Green, c.Blue);
}

double Distance(TColor a, TColor b) {
  const double dr = GetRValue(a) - GetRValue(b), dg = GetGValue(a) - GetGValue(b), db = GetBValue(a) - GetBValue(b);
  return std::sqrt(dr * dr + dg * dg + db * db);
}

// 256 distinct colours, one a pixel, 16 x 16; `extra` adds a column of a 257th.
TBitmap ManyColours(bool extra) {
  return MakePicture(extra ? 17 : 16, 16, [](int x, int y) {
    if (x == 16) return RGB(1, 2, 3);
    return RGB(16 * x, 16 * y, 255 - 8 * (x + y));
  });
}

// A smooth 64 x 48 picture of many colours.
TBitmap Gradient() {
  return MakePicture(64, 48, [](int x, int y) { return RGB(4 * x, 5 * y, 128 + x - y); });
}

// The screen as the quantised frame shows it.
TBitmap Shown(const TQuantizedFrame& frame) {
  TBitmap screen(frame.Width, frame.Height);
  for (int y = 0; y < frame.Height; ++y)
    for (int x = 0; x < frame.Width; ++x) screen.SetPixel(x, y, EntryColour(frame, x, y));
  return screen;
}

int KeptCount(const TQuantizedFrame& frame) {
  return static_cast<int>(
      std::count(frame.Indices.begin(), frame.Indices.end(), static_cast<std::uint8_t>(frame.KeepIndex)));
}

TEST(BestQuantizer, UpTo256ColoursAreKeptExactly) {
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  const TBitmap picture = ManyColours(false);
  quantizer.Quantize(picture, nullptr, frame);
  EXPECT_TRUE(frame.Lossless);
  EXPECT_EQ(frame.Palette.size(), 256u);
  EXPECT_EQ(frame.KeepIndex, -1);
  EXPECT_EQ(frame.Changed, (TRect{0, 0, 16, 16}));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(EntryColour(frame, x, y), PixelColour(picture, x, y));
  EXPECT_EQ(quantizer.PalettesBuilt(), 0);
}

TEST(BestQuantizer, OneColourAndOnePixelFramesAreExact) {
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  quantizer.Quantize(testing::OneColourPicture(7, 5, RGB(9, 99, 199)), nullptr, frame);
  EXPECT_TRUE(frame.Lossless);
  ASSERT_EQ(frame.Palette.size(), 1u);
  EXPECT_EQ(frame.Palette[0], (TGIFColor{9, 99, 199}));
  EXPECT_EQ(frame.Indices, std::vector<std::uint8_t>(35, 0));
  quantizer.Quantize(testing::OneColourPicture(1, 1, RGB(1, 2, 3)), nullptr, frame);
  EXPECT_EQ(frame.Indices.size(), 1u);
  EXPECT_EQ(frame.Changed, (TRect{0, 0, 1, 1}));
}

TEST(BestQuantizer, A257thColourIsDitheredWithAnEntryLeftForKeeping) {
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  const TBitmap picture = ManyColours(true);
  quantizer.Quantize(picture, nullptr, frame);
  EXPECT_FALSE(frame.Lossless);
  EXPECT_LE(frame.Palette.size(), 255u);
  EXPECT_EQ(quantizer.PalettesBuilt(), 1);
  // With a screen, the index after the palette means "keep".
  const TBitmap black(17, 16);
  quantizer.Quantize(picture, &black, frame);
  EXPECT_EQ(frame.KeepIndex, static_cast<int>(frame.Palette.size()));
}

TEST(BestQuantizer, WithoutDiffusionEveryPixelGetsItsNearestEntry) {
  TBestQuantizerSettings settings;
  settings.ErrorLimit = 0;
  TBestQuantizer quantizer(settings);
  TQuantizedFrame frame;
  const TBitmap picture = Gradient();
  quantizer.Quantize(picture, nullptr, frame);
  ASSERT_FALSE(frame.Lossless);
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) {
      const TColor source = PixelColour(picture, x, y);
      double nearest = 1e9;
      for (const TGIFColor& c : frame.Palette)
        nearest = std::min(nearest, Distance(source, RGB(c.Red, c.Green, c.Blue)));
      ASSERT_DOUBLE_EQ(Distance(EntryColour(frame, x, y), source), nearest) << x << "," << y;
    }
}

// Over a grey ramp of 300 shades reduced to 8 colours: the worst error of the mean grey of
// an 8 x 8 block (away from the ends, which lie beyond the darkest and lightest entries),
// and how much farther than its nearest entry any pixel's entry lies.
struct TRampResult {
  double WorstBlockError = 0;
  double WorstStray = 0;
};

TRampResult QuantizeRamp(int errorLimit) {
  const TBitmap picture =
      MakePicture(300, 32, [](int x, int y) { return RGB(x * 255 / 299, x * 255 / 299, (x + y) % 2); });
  TBestQuantizerSettings settings;
  settings.ErrorLimit = errorLimit;
  settings.MaxColors = 8;
  TBestQuantizer quantizer(settings);
  TQuantizedFrame frame;
  quantizer.Quantize(picture, nullptr, frame);
  EXPECT_EQ(frame.Palette.size(), 8u);
  TRampResult result;
  for (int by = 0; by < 32; by += 8)
    for (int bx = 0; bx + 8 <= 300; bx += 8) {
      double shown = 0, wanted = 0;
      for (int y = by; y < by + 8; ++y)
        for (int x = bx; x < bx + 8; ++x) {
          const TColor source = PixelColour(picture, x, y);
          shown += GetRValue(EntryColour(frame, x, y));
          wanted += GetRValue(source);
          double nearest = 1e9;
          for (const TGIFColor& c : frame.Palette)
            nearest = std::min(nearest, Distance(source, RGB(c.Red, c.Green, c.Blue)));
          result.WorstStray = std::max(result.WorstStray, Distance(EntryColour(frame, x, y), source) - nearest);
        }
      if (bx >= 40 && bx < 260)
        result.WorstBlockError = std::max(result.WorstBlockError, std::abs(shown - wanted) / 64);
    }
  return result;
}

TEST(BestQuantizer, DiffusionKeepsTheAverageAndTheLimitKeepsEachPixelNearItsColour) {
  const TRampResult banded = QuantizeRamp(0), full = QuantizeRamp(255), limited = QuantizeRamp(3);
  // Nearest colours alone turn the ramp into 8 bands; diffusing the error keeps the grey of
  // every block.
  EXPECT_GT(banded.WorstBlockError, 8);
  EXPECT_LT(full.WorstBlockError, 2.5);
  EXPECT_DOUBLE_EQ(banded.WorstStray, 0);
  // The colour wanted stays within the limit (plus rounding) of the pixel on each channel,
  // so the entry chosen is at most twice that distance farther than the nearest one; the
  // whole error may carry a pixel much farther.
  EXPECT_LE(limited.WorstStray, 2 * std::sqrt(3.0) * 4);
  EXPECT_GT(full.WorstStray, 2 * std::sqrt(3.0) * 4);
  EXPECT_LT(limited.WorstBlockError, banded.WorstBlockError);
}

TEST(BestQuantizer, APaletteIsKeptWhileItFitsAndRebuiltWhenNot) {
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  const TBitmap gradient = Gradient();
  quantizer.Quantize(gradient, nullptr, frame);
  const std::vector<TGIFColor> first = frame.Palette;
  quantizer.Quantize(gradient, nullptr, frame);
  EXPECT_EQ(quantizer.PalettesBuilt(), 1);
  EXPECT_EQ(frame.Palette, first);
  // Other colours altogether: the old palette does not fit them.
  const TBitmap other = MakePicture(64, 48, [](int x, int y) { return RGB(255 - 2 * y, 3 * x, 255 - 4 * x); });
  quantizer.Quantize(other, nullptr, frame);
  EXPECT_EQ(quantizer.PalettesBuilt(), 2);
  EXPECT_NE(frame.Palette, first);
}

TEST(BestQuantizer, ExactFramesKeepWhatTheScreenShowsAndMarkWhatChanged) {
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  const TBitmap before = MakePicture(20, 10, [](int x, int y) { return RGB(10 * x, 20 * y, 0); });
  TBitmap after = before;
  after.FillRect(TRect{3, 2, 7, 5}, RGB(255, 255, 255));
  after.SetPixel(12, 8, RGB(1, 1, 1));
  quantizer.Quantize(after, &before, frame);
  EXPECT_TRUE(frame.Lossless);
  EXPECT_EQ(frame.Changed, (TRect{3, 2, 13, 9}));
  for (int y = 0; y < 10; ++y)
    for (int x = 0; x < 20; ++x) {
      const bool same = PixelColour(after, x, y) == PixelColour(before, x, y);
      const int index = frame.Indices[static_cast<std::size_t>(y) * 20 + x];
      if (same) EXPECT_EQ(index, frame.KeepIndex) << x << "," << y;
      else EXPECT_EQ(EntryColour(frame, x, y), PixelColour(after, x, y));
    }
  // Nothing changed: every pixel kept, no rectangle.
  quantizer.Quantize(before, &before, frame);
  EXPECT_EQ(frame.Changed.Width(), 0);
}

TEST(BestQuantizer, AFull256ColourFrameHasNoIndexToKeepWith) {
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  const TBitmap picture = ManyColours(false);
  TBitmap screen = picture;
  screen.SetPixel(5, 6, RGB(0, 0, 0));
  quantizer.Quantize(picture, &screen, frame);
  EXPECT_TRUE(frame.Lossless);
  EXPECT_EQ(frame.KeepIndex, -1);
  EXPECT_EQ(frame.Changed, (TRect{5, 6, 6, 7}));
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) ASSERT_EQ(EntryColour(frame, x, y), PixelColour(picture, x, y));
}

TEST(BestQuantizer, ADitheredFrameShownAgainIsKeptWhole) {
  // The screen shows the frame as it was dithered; the same picture again finds every
  // pixel already right, so nothing changes. (The palette stays, whatever comes.)
  TBestQuantizerSettings settings;
  settings.ReuseTolerance = 1e9;
  TBestQuantizer quantizer(settings);
  TQuantizedFrame frame;
  const TBitmap picture = Gradient();
  quantizer.Quantize(picture, nullptr, frame);
  const TBitmap screen = Shown(frame);
  quantizer.Quantize(picture, &screen, frame);
  EXPECT_EQ(frame.Changed.Width(), 0);
  EXPECT_EQ(KeptCount(frame), 64 * 48);
  // One region redrawn: the rows before it stay as they are; after it the diffused error
  // differs a little, and most pixels there are still kept.
  TBitmap moved = picture;
  moved.FillRect(TRect{40, 10, 50, 20}, RGB(200, 30, 30));
  quantizer.Quantize(moved, &screen, frame);
  EXPECT_EQ(frame.Changed.Top, 10);
  EXPECT_LE(frame.Changed.Left, 40);
  EXPECT_GE(frame.Changed.Right, 50);
  EXPECT_GT(KeptCount(frame), 64 * 48 * 3 / 4);
}

// A plain serpentine Floyd-Steinberg over the frame's own palette, searched by brute force,
// with the wanted colour rounded and the passed-on error cut as the quantiser does.
std::vector<std::uint8_t> ReferenceDither(const TBitmap& picture, const std::vector<TGIFColor>& palette, int limit) {
  const int width = picture.Width(), height = picture.Height();
  std::vector<std::array<int, 3>> current(static_cast<std::size_t>(width) + 2), next(current.size());
  std::vector<std::uint8_t> out(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y) {
    const int direction = y % 2 == 0 ? 1 : -1;
    for (int i = 0; i < width; ++i) {
      const int x = direction > 0 ? i : width - 1 - i;
      const std::uint8_t* pixel = picture.ScanLine(y) + 3 * x;
      std::array<int, 3> wanted{};
      for (int c = 0; c < 3; ++c) {
        const int error = current[static_cast<std::size_t>(x + 1)][static_cast<std::size_t>(c)];
        wanted[static_cast<std::size_t>(c)] =
            std::clamp(pixel[2 - c] + static_cast<int>(std::floor((error + 8) / 16.0)), 0, 255);
      }
      std::size_t best = 0;
      int bestDistance = 1 << 30;
      for (std::size_t e = 0; e < palette.size(); ++e) {
        const int dr = wanted[0] - palette[e].Red, dg = wanted[1] - palette[e].Green, db = wanted[2] - palette[e].Blue;
        if (dr * dr + dg * dg + db * db < bestDistance) {
          bestDistance = dr * dr + dg * dg + db * db;
          best = e;
        }
      }
      out[static_cast<std::size_t>(y) * width + x] = static_cast<std::uint8_t>(best);
      const int entry[3] = {palette[best].Red, palette[best].Green, palette[best].Blue};
      for (std::size_t c = 0; c < 3; ++c) {
        const int d = std::clamp(wanted[c] - entry[c], -limit, limit);
        current[static_cast<std::size_t>(x + 1 + direction)][c] += 7 * d;
        next[static_cast<std::size_t>(x + 1 - direction)][c] += 3 * d;
        next[static_cast<std::size_t>(x + 1)][c] += 5 * d;
        next[static_cast<std::size_t>(x + 1 + direction)][c] += d;
      }
    }
    std::swap(current, next);
    std::fill(next.begin(), next.end(), std::array<int, 3>{});
  }
  return out;
}

TEST(BestQuantizer, DithersLikeAPlainSerpentineFloydSteinbergOverTheNearestEntries) {
  // Rows of one and two pixels too (more than 256 colours each, so they are dithered), where
  // the first pixel of a row is its last as well.
  for (const auto& [width, height] : {std::pair{53, 37}, std::pair{1, 300}, std::pair{2, 150}}) {
    const TBitmap picture = MakePicture(
        width, height, [](int x, int y) { return RGB((7 * x + 3 * y) % 256, (4 * y + x) % 256, 255 - 3 * x - y % 9); });
    for (const int limit : {3, 40}) {
      TBestQuantizerSettings settings;
      settings.ErrorLimit = limit;
      settings.MaxColors = 40;
      TBestQuantizer quantizer(settings);
      TQuantizedFrame frame;
      quantizer.Quantize(picture, nullptr, frame);
      ASSERT_FALSE(frame.Lossless) << width;
      EXPECT_EQ(frame.Indices, ReferenceDither(picture, frame.Palette, limit)) << width << " limit " << limit;
    }
  }
}

TEST(BestQuantizer, AScreenAFewLevelsOffIsNotTakenForThePicture) {
  // Keeping starts only where the screen is as close as the palette. Over a ramp that the
  // palette fits within a level or two, a screen 6 levels too red is farther than the
  // entries the pixels take, so no run starts (but at the lightest end, where the ramp goes
  // beyond the lightest entry).
  const TBitmap ramp =
      MakePicture(300, 16, [](int x, int y) { return RGB(x * 200 / 299, x * 200 / 299, (x + y) % 2); });
  const TBitmap off = MakePicture(300, 16, [&](int x, int y) {
    const TColor c = PixelColour(ramp, x, y);
    return RGB(GetRValue(c) + 6, GetGValue(c), GetBValue(c));
  });
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  quantizer.Quantize(ramp, &off, frame);
  EXPECT_LT(KeptCount(frame), 300 * 16 / 100);
}

TEST(BestQuantizer, AKeptRunGoesOnThroughSmallChanges) {
  // The screen shows the dithered picture; the next picture differs by up to 3 levels here and
  // there (as noise in a video does): a run once started carries on through it.
  TBestQuantizerSettings settings;
  settings.ReuseTolerance = 1e9;
  TBestQuantizer quantizer(settings);
  TQuantizedFrame frame;
  const TBitmap picture = Gradient();
  quantizer.Quantize(picture, nullptr, frame);
  const TBitmap screen = Shown(frame);
  const TBitmap noisy = MakePicture(64, 48, [&](int x, int y) {
    const TColor c = PixelColour(picture, x, y);
    const int d = (x * 7 + y * 13) % 7 - 3;
    return RGB(std::clamp(GetRValue(c) + d, 0, 255), GetGValue(c), std::clamp(GetBValue(c) - d, 0, 255));
  });
  quantizer.Quantize(noisy, &screen, frame);
  EXPECT_GT(KeptCount(frame), 64 * 48 * 95 / 100);
}

TEST(BestQuantizer, ShortKeptRunsAreWrittenWithTheirOwnColour) {
  // Every other pixel of the screen is black, so no kept run is longer than one pixel: a
  // lone transparent pixel costs more to compress than its colour, which the palette has.
  TBestQuantizerSettings settings;
  settings.ReuseTolerance = 1e9;
  TBestQuantizer quantizer(settings);
  TQuantizedFrame frame;
  const TBitmap picture = Gradient();
  quantizer.Quantize(picture, nullptr, frame);
  TBitmap screen = Shown(frame);
  for (int y = 0; y < 48; ++y)
    for (int x = y % 2; x < 64; x += 2) screen.SetPixel(x, y, RGB(0, 0, 0));
  quantizer.Quantize(picture, &screen, frame);
  EXPECT_EQ(KeptCount(frame), 0);
  int sameAsScreen = 0;
  for (int y = 0; y < 48; ++y)
    for (int x = 1 - y % 2; x < 64; x += 2) sameAsScreen += EntryColour(frame, x, y) == screen.GetPixel(x, y) ? 1 : 0;
  EXPECT_GT(sameAsScreen, 64 * 48 / 2 / 2);
}

}  // namespace
}  // namespace clipvane
