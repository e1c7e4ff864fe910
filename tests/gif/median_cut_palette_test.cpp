// The colour histogram, the median-cut palette with its k-means refinement, and the fit
// error that decides whether a palette is kept for the next frame.
#include "gif/median_cut_palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "palette_reduction_pictures.h"

namespace clipvane {
namespace {

using testing::MakePicture;

TEST(ColorHistogram, KeepsExactSumsPerCell) {
  TColorHistogram histogram;
  histogram.Add(8, 16, 24);
  histogram.Add(15, 23, 31);  // the same 5-bit cell
  histogram.Add(200, 0, 0);
  const auto cells = histogram.Cells();
  ASSERT_EQ(cells.size(), 2u);
  EXPECT_EQ(cells[0].Key, (1 << 10) | (2 << 5) | 3);
  EXPECT_EQ(cells[0].Count, 2u);
  EXPECT_EQ(cells[0].Red, 23u);
  EXPECT_EQ(cells[0].Green, 39u);
  EXPECT_EQ(cells[0].Blue, 55u);
  EXPECT_EQ(cells[1].Count, 1u);
  histogram.Clear();
  EXPECT_TRUE(histogram.Empty());
  EXPECT_TRUE(histogram.Cells().empty());
}

TEST(ColorHistogram, SamplesEveryStepThPixelAcrossRows) {
  // 5 x 3 picture, pixel i (row-major) has red = 8 i: step 4 takes pixels 0, 4, 8, 12.
  const TBitmap picture = MakePicture(5, 3, [](int x, int y) { return RGB(8 * (y * 5 + x), 0, 0); });
  TColorHistogram histogram;
  histogram.AddPicture(picture, 4);
  std::vector<std::uint64_t> reds;
  for (const auto& cell : histogram.Cells()) reds.push_back(cell.Red);
  EXPECT_EQ(reds, (std::vector<std::uint64_t>{0, 32, 64, 96}));
}

TEST(ColorHistogram, EachPictureStartsEmptyWhateverTheCellSizeBefore) {
  TColorHistogram histogram;
  const TBitmap first = MakePicture(4, 4, [](int x, int y) { return RGB(x * 60, y * 60, 7); });
  const TBitmap second = MakePicture(2, 1, [](int x, int) { return RGB(200, 100, x * 200); });
  for (const int between : {5, 8}) {
    histogram.SetBits(5);
    histogram.AddPicture(first, 1);
    histogram.SetBits(between);
    histogram.AddPicture(first, 1);
    histogram.SetBits(5);
    histogram.AddPicture(second, 1);
    const auto cells = histogram.Cells();
    ASSERT_EQ(cells.size(), 2u) << "after " << between << " bits";
    EXPECT_EQ(cells[0].Count + cells[1].Count, 2u);
    EXPECT_EQ(cells[0].Red + cells[1].Red, 400u);
    EXPECT_EQ(cells[0].Blue + cells[1].Blue, 200u);
  }
}

TEST(MedianCutPalette, NeighbouringLevelsAtEitherEndAreCutApart) {
  // Two colours one level apart at the bottom or the top of one channel: only the cut between
  // those two levels separates them.
  for (const int bits : {5, 8}) {
    const int step = bits == 8 ? 1 : 8;
    for (const int low : {0, 255 - 2 * step + 1}) {
      for (int axis = 0; axis < 3; ++axis) {
        TColorHistogram histogram(bits);
        TGIFColor a{90, 90, 90}, b{90, 90, 90};
        std::uint8_t* channelA = axis == 0 ? &a.Red : (axis == 1 ? &a.Green : &a.Blue);
        std::uint8_t* channelB = axis == 0 ? &b.Red : (axis == 1 ? &b.Green : &b.Blue);
        *channelA = static_cast<std::uint8_t>(low);
        *channelB = static_cast<std::uint8_t>(low + step);
        for (int i = 0; i < 10; ++i) {
          histogram.Add(a.Red, a.Green, a.Blue);
          histogram.Add(b.Red, b.Green, b.Blue);
        }
        const std::vector<TGIFColor> palette = BuildMedianCutPalette(histogram, 2, 0);
        ASSERT_EQ(palette.size(), 2u) << bits << " bits, level " << low << ", axis " << axis;
        EXPECT_NE(std::find(palette.begin(), palette.end(), a), palette.end());
        EXPECT_NE(std::find(palette.begin(), palette.end(), b), palette.end());
      }
    }
  }
}

TEST(MedianCutPalette, FewColoursInSeparateCellsComeBackExactly) {
  TColorHistogram histogram;
  const std::vector<TGIFColor> colours{{0, 0, 0}, {255, 255, 255}, {250, 10, 10}, {10, 200, 30}, {60, 60, 180}};
  for (int repeat = 0; repeat < 3; ++repeat)
    for (const TGIFColor& c : colours) histogram.Add(c.Red, c.Green, c.Blue);
  const std::vector<TGIFColor> palette = BuildMedianCutPalette(histogram, 255, 2);
  ASSERT_EQ(palette.size(), colours.size());
  for (const TGIFColor& c : colours) EXPECT_NE(std::find(palette.begin(), palette.end(), c), palette.end());
}

TEST(MedianCutPalette, NeverMoreEntriesThanAskedAndNoneForNothing) {
  std::mt19937 random(5);
  std::uniform_int_distribution<int> channel(0, 255);
  TColorHistogram histogram;
  for (int i = 0; i < 20000; ++i) histogram.Add(channel(random), channel(random), channel(random));
  for (const int wanted : {1, 2, 16, 255, 256, 300})
    EXPECT_EQ(BuildMedianCutPalette(histogram, wanted, 1).size(), static_cast<std::size_t>(std::min(wanted, 256)));
  EXPECT_TRUE(BuildMedianCutPalette(TColorHistogram(), 16, 2).empty());
  EXPECT_TRUE(BuildMedianCutPalette(histogram, 0, 2).empty());
}

TEST(MedianCutPalette, OneEntryIsTheMeanColour) {
  TColorHistogram histogram;
  histogram.Add(0, 100, 200);
  histogram.Add(100, 100, 0);
  histogram.Add(200, 101, 100);
  const auto palette = BuildMedianCutPalette(histogram, 1, 0);
  ASSERT_EQ(palette.size(), 1u);
  EXPECT_EQ(palette[0], (TGIFColor{100, 100, 100}));
}

TEST(MedianCutPalette, MoreEntriesAndRefinementsFitBetter) {
  // Clusters of different sizes and spreads: the cut must give the big, wide ones more
  // entries, and k-means must not make the fit worse.
  std::mt19937 random(9);
  TColorHistogram histogram;
  const int centres[4][3] = {{40, 40, 40}, {200, 60, 60}, {60, 200, 90}, {220, 220, 40}};
  const int spreads[4] = {40, 10, 25, 5};
  const int counts[4] = {20000, 2000, 8000, 500};
  for (int c = 0; c < 4; ++c) {
    std::normal_distribution<double> noise(0, spreads[c]);
    for (int i = 0; i < counts[c]; ++i)
      histogram.Add(std::clamp(static_cast<int>(centres[c][0] + noise(random)), 0, 255),
                    std::clamp(static_cast<int>(centres[c][1] + noise(random)), 0, 255),
                    std::clamp(static_cast<int>(centres[c][2] + noise(random)), 0, 255));
  }
  auto errorOf = [&](int colours, int refinements) {
    TNearestColorSearch search(BuildMedianCutPalette(histogram, colours, refinements));
    return PaletteFitError(histogram, search);
  };
  const double four = errorOf(4, 0), sixteen = errorOf(16, 0), many = errorOf(255, 0);
  EXPECT_LT(sixteen, four);
  EXPECT_LT(many, sixteen / 4);
  EXPECT_LE(errorOf(16, 3), sixteen * 1.0001);
  EXPECT_LE(errorOf(255, 2), many * 1.0001);
}

TEST(MedianCutPalette, KMeansMovesTheEntriesWhereTheCutsLeftThemShort) {
  // Three overlapping clouds: cuts along one channel at a time leave boxes whose means are
  // not the best entries; each k-means step lowers the error.
  std::mt19937 random(1);
  std::normal_distribution<double> noise(0, 30);
  TColorHistogram histogram;
  for (int i = 0; i < 20000; ++i) {
    const int cloud = i % 3;
    histogram.Add(std::clamp(static_cast<int>(cloud * 80 + 40 + noise(random)), 0, 255),
                  std::clamp(static_cast<int>(120 + noise(random)), 0, 255),
                  std::clamp(static_cast<int>(200 - cloud * 60 + noise(random)), 0, 255));
  }
  auto errorOf = [&](int refinements) {
    TNearestColorSearch search(BuildMedianCutPalette(histogram, 16, refinements));
    return PaletteFitError(histogram, search);
  };
  const double cut = errorOf(0), once = errorOf(1), thrice = errorOf(3);
  EXPECT_LT(once, cut * 0.99);
  EXPECT_LT(thrice, once);
}

TEST(MedianCutPalette, FitErrorIsZeroForTheColoursThemselvesAndGrowsWithDistance) {
  TColorHistogram histogram;
  histogram.Add(10, 20, 30);
  histogram.Add(10, 20, 30);
  histogram.Add(100, 100, 100);
  TNearestColorSearch exact(std::vector<TGIFColor>{{10, 20, 30}, {100, 100, 100}});
  EXPECT_DOUBLE_EQ(PaletteFitError(histogram, exact), 0.0);
  // One entry: the first two colours are 3 away on each channel (27), the third 0.
  TNearestColorSearch off(std::vector<TGIFColor>{{13, 23, 33}, {100, 100, 100}});
  EXPECT_DOUBLE_EQ(PaletteFitError(histogram, off), 2 * 27.0 / 3);
  EXPECT_DOUBLE_EQ(PaletteFitError(TColorHistogram(), off), 0.0);
}

}  // namespace
}  // namespace clipvane
