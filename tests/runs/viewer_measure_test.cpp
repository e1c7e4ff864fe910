// The pieces the fit to a size limit measures with: the viewer's error (a GIF picture scaled
// up to the source's size against the source), the smooth scaling that makes the smaller
// GIFs, the runs of frames it samples, and the search over sizes, sampling and lossy levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/gif_frame_sample.h"
#include "runs/gif/size_fit_search.h"
#include "runs/gif/smooth_scaling.h"
#include "runs/gif/viewer_error.h"
#include "support/natural_picture.h"

namespace clipvane {
namespace {

TBitmap Filled(int width, int height, TColor color, TPixelFormat format = TPixelFormat::pf24bit) {
  TBitmap picture(width, height, format);
  picture.FillRect(TRect{0, 0, width, height}, color);
  return picture;
}

TEST(ViewerError, PsnrOfKnownDifferences) {
  const TBitmap source = fixtures::NaturalPicture(40, 30);
  struct TCase {
    const char* Name;
    TBitmap Shown;
    double Psnr;
  };
  TBitmap brighter = source;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const TColor c = source.GetPixel(x, y);
      // Every channel 4 apart (the picture keeps away from 0 and 255 enough for most pixels).
      brighter.SetPixel(
          x, y, RGB(std::min(GetRValue(c) + 4, 255), std::min(GetGValue(c) + 4, 255), std::min(GetBValue(c) + 4, 255)));
    }
  double clipped = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) {
      const TColor a = source.GetPixel(x, y), b = brighter.GetPixel(x, y);
      for (const int d : {GetRValue(b) - GetRValue(a), GetGValue(b) - GetGValue(a), GetBValue(b) - GetBValue(a)})
        clipped += d * d;
    }
  const TCase cases[] = {
      {"the same", source, kViewerPsnrCeiling},
      {"4 brighter", brighter, 10 * std::log10(255.0 * 255.0 / (clipped / (40 * 30 * 3)))},
  };
  for (const TCase& c : cases) {
    TViewerError error;
    error.Add(c.Shown, source);
    EXPECT_NEAR(error.Psnr(), c.Psnr, 1e-9) << c.Name;
    EXPECT_EQ(error.Channels(), 40u * 30 * 3) << c.Name;
  }
}

TEST(ViewerError, ScalesTheShownPictureUpToTheSource) {
  // A flat picture scaled up is the same flat colour: no error at any size.
  const TBitmap source = Filled(90, 60, RGB(200, 40, 90));
  TViewerError flat;
  for (const auto& [w, h] : {std::pair{45, 30}, std::pair{17, 11}, std::pair{1, 1}, std::pair{90, 60}})
    flat.Add(Filled(w, h, RGB(200, 40, 90)), source);
  EXPECT_EQ(flat.Psnr(), kViewerPsnrCeiling);
  // A horizontal ramp halved and scaled back is close to the ramp (linear in between); a
  // picture of the wrong colour is far; 8 bits with a palette count as their colours.
  TBitmap ramp(64, 8, TPixelFormat::pf24bit), half(32, 8, TPixelFormat::pf24bit);
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 64; ++x) ramp.SetPixel(x, y, RGB(x * 4, 100, 255 - x * 4));
    for (int x = 0; x < 32; ++x) half.SetPixel(x, y, RGB(x * 8 + 2, 100, 253 - x * 8));
  }
  TViewerError scaled, wrong, everyOtherRow;
  scaled.Add(half, ramp);
  wrong.Add(Filled(32, 8, RGB(0, 0, 0)), ramp);
  everyOtherRow.Add(half, ramp, 2);
  EXPECT_GT(scaled.Psnr(), 45);
  EXPECT_LT(wrong.Psnr(), 12);
  EXPECT_EQ(everyOtherRow.Channels(), 64u * 4 * 3);
  EXPECT_NEAR(everyOtherRow.Psnr(), scaled.Psnr(), 0.5);
  // Sums add up: the same error twice is the same PSNR over twice the channels.
  TViewerError twice = scaled;
  twice.Add(scaled);
  EXPECT_EQ(twice.Channels(), 2 * scaled.Channels());
  EXPECT_NEAR(twice.Psnr(), scaled.Psnr(), 1e-9);
}

TEST(SmoothScaling, EachPixelIsTheAverageOfTheAreaItCovers) {
  const TBitmap source = fixtures::NaturalPicture(60, 40);
  struct TCase {
    TRect Rect;
    int Width, Height;
  };
  const TCase cases[] = {
      {{0, 0, 60, 40}, 30, 20}, {{0, 0, 60, 40}, 20, 10}, {{10, 4, 40, 34}, 10, 15}, {{0, 0, 60, 40}, 15, 40}};
  for (const TCase& c : cases) {
    TBitmap picture(c.Width, c.Height, TPixelFormat::pf24bit);
    CutAndScaleSmoothly(source, c.Rect, picture);
    if (c.Height >= c.Rect.Height()) {
      // Not smaller both ways: taken as the run has always taken it.
      TBitmap stretched(c.Width, c.Height, TPixelFormat::pf24bit);
      CutAndStretch(source, c.Rect, stretched);
      EXPECT_EQ(picture.Bits().size(), stretched.Bits().size());
      EXPECT_TRUE(std::equal(picture.Bits().begin(), picture.Bits().end(), stretched.Bits().begin()));
      continue;
    }
    // Whole blocks here: each pixel is the rounded mean of its block.
    const int bw = c.Rect.Width() / c.Width, bh = c.Rect.Height() / c.Height;
    for (int y = 0; y < c.Height; ++y)
      for (int x = 0; x < c.Width; ++x) {
        int sum[3] = {0, 0, 0};
        for (int j = 0; j < bh; ++j)
          for (int i = 0; i < bw; ++i) {
            const TColor p = source.GetPixel(c.Rect.Left + x * bw + i, c.Rect.Top + y * bh + j);
            sum[0] += GetRValue(p), sum[1] += GetGValue(p), sum[2] += GetBValue(p);
          }
        const int n = bw * bh;
        const TColor got = picture.GetPixel(x, y);
        ASSERT_EQ(GetRValue(got), (sum[0] + n / 2) / n) << x << "," << y;
        ASSERT_EQ(GetGValue(got), (sum[1] + n / 2) / n) << x << "," << y;
        ASSERT_EQ(GetBValue(got), (sum[2] + n / 2) / n) << x << "," << y;
      }
  }
  // A rectangle reaching out of the frame averages black in; sizes that do not divide keep
  // a flat picture flat.
  TBitmap outside(2, 2, TPixelFormat::pf24bit);
  CutAndScaleSmoothly(Filled(10, 10, RGB(200, 200, 200)), TRect{5, 0, 15, 10}, outside);
  EXPECT_EQ(outside.GetPixel(0, 0), RGB(200, 200, 200));
  EXPECT_EQ(outside.GetPixel(1, 1), RGB(0, 0, 0));
  TBitmap odd(7, 5, TPixelFormat::pf24bit);
  CutAndScaleSmoothly(Filled(23, 17, RGB(10, 130, 250)), TRect{0, 0, 23, 17}, odd);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) EXPECT_EQ(odd.GetPixel(x, y), RGB(10, 130, 250));
}

TEST(SpreadRuns, OneRunInEachPartInOrderAndTheSameEachTime) {
  std::vector<int> frames(300);
  for (int i = 0; i < 300; ++i) frames[static_cast<std::size_t>(i)] = 2 * i + 5;
  struct TCase {
    int Count, Length, Runs;
  };
  for (const TCase& c : {TCase{10, 4, 10}, TCase{1, 12, 1}, TCase{30, 9, 30}, TCase{50, 6, 1}, TCase{299, 1, 299}}) {
    const auto runs = SpreadRuns(frames, c.Count, c.Length);
    ASSERT_EQ(static_cast<int>(runs.size()), c.Runs) << c.Count << "x" << c.Length;
    if (c.Count * c.Length >= 300) {
      EXPECT_EQ(runs[0], frames);  // not more frames than asked for: all of them
      continue;
    }
    int previous = -1;
    for (int k = 0; k < c.Count; ++k) {
      const auto& run = runs[static_cast<std::size_t>(k)];
      ASSERT_EQ(static_cast<int>(run.size()), c.Length);
      const auto first = std::find(frames.begin(), frames.end(), run.front()) - frames.begin();
      // Consecutive entries, after the run before, starting within its own part.
      EXPECT_TRUE(std::equal(run.begin(), run.end(), frames.begin() + first));
      EXPECT_GT(run.front(), previous);
      EXPECT_GE(first, 300 * k / c.Count);
      EXPECT_LT(first, 300 * (k + 1) / c.Count);
      previous = run.back();
    }
    EXPECT_EQ(SpreadRuns(frames, c.Count, c.Length), runs);
  }
  EXPECT_TRUE(SpreadRuns({}, 4, 4).empty());
}

// A made-up GIF whose bytes and error follow the settings smoothly, as measured ones do.
TFitMeasure ModelGif(const TFitPoint& point) {
  const double scale = point.Width / 320.0;
  const double squared =
      6 + 40 * (1 / scale - 1) + 14 * (point.Sampling - 1) + 0.08 * point.Lossy + (255.0 / point.MaxColors - 1) * 3;
  const double bytes = 30.0 * point.Width * point.Height / std::pow(point.Sampling, 0.8) * (1 - 0.005 * point.Lossy) *
                       std::pow(point.MaxColors / 255.0, 0.3);
  return {bytes, 10 * std::log10(255.0 * 255.0 / squared)};
}

TEST(FitSearch, WithinAFewTenthsOfADecibelOfTheBestPointThatFits) {
  TFitSpace space;
  space.BaseWidth = 320;
  space.BaseHeight = 180;
  space.Samplings = {1, 2, 3, 4, 6};
  space.LossyLevels = {0, 20, 40, 60, 80, 100};
  space.FewerColors = {128, 64, 32, 16};
  const double whole = ModelGif({320, 180, 1, 0, 255}).Bytes;
  for (const double share : {1.5, 0.6, 1 / 3.0, 0.1, 0.03}) {
    SCOPED_TRACE(share);
    int asked = 0;
    TFitSearch search(space, [&](const TFitPoint& point) {
      ++asked;
      return ModelGif(point);
    });
    const auto chosen = search.Choose(whole * share);
    ASSERT_TRUE(chosen.has_value());
    EXPECT_LE(chosen->second.Bytes, whole * share);
    EXPECT_EQ(chosen->second.Psnr, ModelGif(chosen->first).Psnr);
    // Every point of the space at every tenth of a scale, for the best that fits.
    double best = 0;
    for (int width = 16 * 320 / 180; width <= 320; ++width)
      for (const int sampling : space.Samplings)
        for (const int lossy : space.LossyLevels) {
          const TFitMeasure m = ModelGif(search.AtScale(width / 320.0, sampling, lossy, 255));
          if (m.Bytes <= whole * share) best = std::max(best, m.Psnr);
        }
    EXPECT_GE(chosen->second.Psnr, best - 0.3);
    EXPECT_LE(asked, 40);
    EXPECT_EQ(search.Measured(), asked);
  }
  // Beyond the smallest point of the space: nothing.
  TFitSearch search(space, ModelGif);
  const auto smallest = search.Smallest();
  EXPECT_EQ(smallest.first.MaxColors, 16);
  EXPECT_EQ(smallest.first.Sampling, 6);
  EXPECT_EQ(smallest.first.Lossy, 100);
  EXPECT_EQ(std::min(smallest.first.Width, smallest.first.Height), 16);
  EXPECT_FALSE(search.Choose(smallest.second.Bytes * 0.9).has_value());
  EXPECT_TRUE(search.Choose(smallest.second.Bytes * 1.01).has_value());
}

TEST(FitSearch, AFixedSizeStaysWhateverTheTarget) {
  TFitSpace space;
  space.BaseWidth = 200;
  space.BaseHeight = 100;
  space.SizeFree = false;
  space.LossyLevels = {0, 50, 100};
  TFitSearch search(space, ModelGif);
  const double whole = ModelGif({200, 100, 1, 0, 255}).Bytes;
  for (const double share : {2.0, 0.8, 0.6}) {
    const auto chosen = search.Choose(whole * share);
    ASSERT_TRUE(chosen.has_value()) << share;
    EXPECT_EQ(chosen->first.Width, 200);
    EXPECT_EQ(chosen->first.Height, 100);
    EXPECT_LE(chosen->second.Bytes, whole * share);
  }
}

}  // namespace
}  // namespace clipvane
