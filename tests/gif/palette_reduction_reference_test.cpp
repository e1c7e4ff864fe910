// ReduceBitmap against a plain reduction written here from the rules: a cell cache over a
// plain scan for the first entry at the least sum of differences, and Floyd-Steinberg with
// its running terms walked pixel by pixel. Odd sizes, small, full and repetitive palettes,
// extreme colours and several source pixel formats; the indices must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <random>
#include <vector>

#include "core/palettes.h"
#include "gif/palette_reduction.h"
#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::MakePicture;

class PlainLookup {
 public:
  explicit PlainLookup(const std::vector<TRGBQuad>& palette) : palette_(palette), cells_(32768, -1) {
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      int& cell = cells_[Cell(palette_[i].Red, palette_[i].Green, palette_[i].Blue)];
      if (cell < 0) cell = static_cast<int>(i);
    }
  }
  int Find(int r, int g, int b) {
    int& cell = cells_[Cell(r, g, b)];
    if (cell >= 0) return cell;
    int best = 0, bestSum = 1 << 30;
    for (std::size_t i = 0; i < palette_.size(); ++i) {
      const int sum = std::abs(r - palette_[i].Red) + std::abs(g - palette_[i].Green) + std::abs(b - palette_[i].Blue);
      if (sum < bestSum) bestSum = sum, best = static_cast<int>(i);
    }
    return cell = best;
  }
  const TRGBQuad& Entry(int index) const { return palette_[static_cast<std::size_t>(index)]; }

 private:
  static std::size_t Cell(int r, int g, int b) {
    return static_cast<std::size_t>((b >> 3) * 1024 + (g >> 3) * 32 + (r >> 3));
  }
  std::vector<TRGBQuad> palette_;
  std::vector<int> cells_;
};

// Indices row by row (width a row, no padding) of the plain reduction of a 24-bit picture.
std::vector<std::uint8_t> PlainReduce(const TBitmap& picture, const std::vector<TRGBQuad>& palette, bool diffuse) {
  const int width = picture.Width();
  PlainLookup lookup(palette);
  std::vector<std::uint8_t> indices(static_cast<std::size_t>(width) * static_cast<std::size_t>(picture.Height()));
  std::vector<int> errors[3];
  for (auto& row : errors) row.assign(static_cast<std::size_t>(width) + 2, 0);
  int cur[3] = {}, below[3] = {}, belowPrev[3] = {};
  int direction = 1, p = 0;
  for (int y = 0; y < picture.Height(); ++y) {
    for (int i = 0; i < width; ++i) {
      const int x = direction > 0 ? i : width - 1 - i;
      const std::uint8_t* pixel = picture.ScanLine(y) + 3 * x;
      int value[3] = {pixel[2], pixel[1], pixel[0]};
      if (diffuse)
        for (int c = 0; c < 3; ++c) cur[c] = value[c] = std::clamp(value[c] + (errors[c][p] + cur[c] + 8) / 16, 0, 255);
      const int index = lookup.Find(value[0], value[1], value[2]);
      indices[static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)] =
          static_cast<std::uint8_t>(index);
      const int chosen[3] = {lookup.Entry(index).Red, lookup.Entry(index).Green, lookup.Entry(index).Blue};
      for (int c = 0; diffuse && c < 3; ++c) {
        const int d = cur[c] - chosen[c];
        if (d != 0) {
          errors[c][p] = belowPrev[c] + 3 * d;
          belowPrev[c] = below[c] + 5 * d;
          below[c] = d;
        }
        cur[c] = 7 * d;
      }
      p += direction;
    }
    for (int c = 0; c < 3; ++c) {
      errors[c][p] = belowPrev[c];
      cur[c] = below[c] = belowPrev[c] = 0;
    }
    direction = -direction;
    p = direction > 0 ? 0 : width + 1;
  }
  return indices;
}

// Noisy ramps with saturated corners (the error pushes past 0 and 255 there).
TBitmap RampsWithExtremes(int width, int height, unsigned seed) {
  std::mt19937 random(seed);
  return MakePicture(width, height, [&random, width, height](int x, int y) {
    if ((x + y) % 11 == 0) return (x & 1) != 0 ? RGB(255, 255, 255) : RGB(0, 0, 0);
    const int noise = static_cast<int>(random() % 21) - 10;
    auto channel = [noise](int v) { return std::clamp(v + noise, 0, 255); };
    return RGB(channel(x * 255 / std::max(width - 1, 1)), channel(y * 255 / std::max(height - 1, 1)),
               channel(255 - (x * 7 + y * 3) % 256));
  });
}

std::vector<TRGBQuad> RandomPalette(std::size_t size, unsigned range, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<TRGBQuad> palette(size);
  for (TRGBQuad& e : palette)
    e = TRGBQuad::FromColor(RGB(static_cast<int>(random() % range) * 255 / static_cast<int>(range - 1),
                                static_cast<int>(random() % range) * 255 / static_cast<int>(range - 1),
                                static_cast<int>(random() % range) * 255 / static_cast<int>(range - 1)));
  return palette;
}

TEST(ReductionReference, SameIndicesAsAPlainReductionForEverySizeAndPalette) {
  const std::vector<std::vector<TRGBQuad>> palettes = {
      RandomPalette(1, 256, 1),
      RandomPalette(2, 256, 2),
      RandomPalette(17, 256, 3),
      RandomPalette(255, 256, 4),
      RandomPalette(256, 256, 5),
      RandomPalette(256, 3, 6),  // 27 colours, each many times over
      std::vector<TRGBQuad>(HalftonePalette256().begin(), HalftonePalette256().end()),
  };
  const int sizes[][2] = {{1, 1}, {1, 6}, {3, 3}, {17, 5}, {64, 33}, {5, 1}};
  for (const auto& size : sizes) {
    const TBitmap source = RampsWithExtremes(size[0], size[1], static_cast<unsigned>(size[0] * 31 + size[1]));
    for (std::size_t p = 0; p < palettes.size(); ++p)
      for (const TDitherMode dither : {ditherNone, ditherFloydSteinberg}) {
        const TBitmap reduced = ReduceBitmap(source, reduceCustom, dither, palettes[p]);
        const auto expected = PlainReduce(source, palettes[p], dither == ditherFloydSteinberg);
        for (int y = 0; y < source.Height(); ++y)
          for (int x = 0; x < source.Width(); ++x)
            ASSERT_EQ(reduced.ScanLine(y)[x], expected[static_cast<std::size_t>(y * source.Width() + x)])
                << size[0] << "x" << size[1] << ", palette " << p << ", dither " << static_cast<int>(dither) << ", at "
                << x << "," << y;
      }
  }
}

TEST(ReductionReference, OtherSourceFormatsReduceAsTheir24BitPicture) {
  const std::vector<TRGBQuad> palette = RandomPalette(200, 256, 8);
  for (const TPixelFormat format : {TPixelFormat::pf32bit, TPixelFormat::pf16bit, TPixelFormat::pf8bit}) {
    TBitmap source = RampsWithExtremes(23, 9, 3);
    source.SetPixelFormat(format);
    TBitmap as24 = source;
    as24.SetPixelFormat(TPixelFormat::pf24bit);
    const TBitmap reduced = ReduceBitmap(source, reduceCustom, ditherFloydSteinberg, palette);
    const auto expected = PlainReduce(as24, palette, true);
    for (int y = 0; y < source.Height(); ++y)
      for (int x = 0; x < source.Width(); ++x)
        ASSERT_EQ(reduced.ScanLine(y)[x], expected[static_cast<std::size_t>(y * source.Width() + x)])
            << "format " << static_cast<int>(format) << " at " << x << "," << y;
  }
}

}  // namespace
}  // namespace clipvane
