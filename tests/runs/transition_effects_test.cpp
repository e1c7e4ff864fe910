// The transition effects, pixel for pixel: blends and their rounding, wipes, slides, moves,
// the random effects under a fixed seed, the centre effects, and effects that draw nothing.
// Expected pictures are worked out by hand from the effect formulas.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "runs/transitions/transition_effects.h"
#include "transition_test_pictures.h"

namespace clipvane {
namespace {

using testing::Labelled;
using testing::LabelledFrames;
using testing::Origins;
using testing::RunSteps;
using testing::Solid;
using Rows = std::vector<std::string>;
using E = TTransitionEffect;

// Blue, green and red bytes of a pixel, in that order.
std::vector<int> Bgr(const TBitmap& picture, int x, int y) {
  const TColor color = picture.GetPixel(x, y);
  return {GetBValue(color), GetGValue(color), GetRValue(color)};
}

TEST(TransitionEffectNames, FollowTheEffectOrder) {
  const auto& names = TransitionEffectNames();
  EXPECT_EQ(names[0], "CrossDissolve");
  EXPECT_EQ(names[10], "MoveLeftRight1");
  EXPECT_EQ(names[19], "RandomBoxes");
  EXPECT_EQ(names[23], "CenterZoom2");
  EXPECT_EQ(TransitionEffectFromName("centerzoom1"), E::CenterZoom1);
  EXPECT_EQ(TransitionEffectFromName("MoveDownUp2"), E::MoveDownUp2);
  EXPECT_EQ(static_cast<int>(TransitionEffectFromName("Dissolve")), -1);
  EXPECT_EQ(static_cast<int>(TransitionEffectFromName("")), -1);
}

TEST(TransitionRandom, IsTheMultiplier134775813GeneratorWithUpperHalfDraws) {
  TRandom32 random(0);
  // Drawing below 2^32 - 1 yields seed - 1, exposing the seed sequence 1, 134775814, ...
  EXPECT_EQ(random.Below(0xFFFFFFFFu), 0u);
  EXPECT_EQ(random.Seed(), 1u);
  EXPECT_EQ(random.Below(0xFFFFFFFFu), 134775813u);
  EXPECT_EQ(random.Below(0xFFFFFFFFu), 3698175006u);
  TRandom32 small(0);
  const std::vector<std::uint32_t> expected = {0, 0, 4, 1, 1, 3, 1, 0, 1, 2};
  for (std::uint32_t value : expected) EXPECT_EQ(small.Below(5), value);
  EXPECT_EQ(small.Below(1), 0u);
}

TEST(TransitionRandom, SeedIsTheTimeOfDayInMilliseconds) {
  EXPECT_LT(TimeOfDaySeed(), 86400u * 1000u);
  TransitionRandom().SetSeed(1234);
  EXPECT_EQ(TransitionRandom().Seed(), 1234u);
}

// ---- blends

TEST(CrossDissolve, HalvesGoToTheEvenValue) {
  TTransitionFrames frames;
  frames.Source = Solid(3, 2, RGB(0, 0, 0));
  frames.Destination = Solid(3, 2, RGB(1, 3, 1));
  frames.Middle = Solid(3, 2, clWhite);
  frames.Output = TBitmap(3, 2);
  std::int64_t placed = 0;
  RenderTransitionStep(E::CrossDissolve, 1, 2, frames, placed);
  // 0.5 goes to 0 and 1.5 to 2.
  EXPECT_EQ(Bgr(frames.Output, 2, 1), (std::vector<int>{0, 2, 0}));
  EXPECT_EQ(Bgr(frames.Output, 0, 0), (std::vector<int>{0, 2, 0}));
}

class CrossDissolveGolden : public ::testing::Test {
 protected:
  void SetUp() override {
    frames.Source = TBitmap(2, 2);
    frames.Source.SetPixel(0, 0, RGB(200, 101, 10));
    frames.Source.SetPixel(1, 0, RGB(0, 0, 0));
    frames.Source.SetPixel(0, 1, RGB(255, 255, 255));
    frames.Source.SetPixel(1, 1, RGB(5, 3, 1));
    frames.Destination = TBitmap(2, 2);
    frames.Destination.SetPixel(0, 0, RGB(255, 0, 30));
    frames.Destination.SetPixel(1, 0, RGB(255, 3, 1));
    frames.Destination.SetPixel(0, 1, RGB(0, 0, 0));
    frames.Destination.SetPixel(1, 1, RGB(5, 3, 1));
    frames.Middle = Solid(2, 2, RGB(255, 0, 100));
    frames.Output = TBitmap(2, 2);
  }
  TTransitionFrames frames;
};

TEST_F(CrossDissolveGolden, BlendsEachTermSeparately) {
  std::int64_t placed = 0;
  RenderTransitionStep(E::CrossDissolve, 1, 4, frames, placed);
  EXPECT_EQ(Bgr(frames.Output, 0, 0), (std::vector<int>{15, 76, 214}));
  EXPECT_EQ(Bgr(frames.Output, 1, 0), (std::vector<int>{0, 1, 64}));
  EXPECT_EQ(Bgr(frames.Output, 0, 1), (std::vector<int>{191, 191, 191}));
  EXPECT_EQ(Bgr(frames.Output, 1, 1), (std::vector<int>{1, 3, 5}));
  RenderTransitionStep(E::CrossDissolve, 2, 4, frames, placed);
  EXPECT_EQ(Bgr(frames.Output, 0, 0), (std::vector<int>{20, 50, 228}));
  EXPECT_EQ(Bgr(frames.Output, 1, 0), (std::vector<int>{0, 2, 128}));
  EXPECT_EQ(Bgr(frames.Output, 0, 1), (std::vector<int>{128, 128, 128}));
  EXPECT_EQ(Bgr(frames.Output, 1, 1), (std::vector<int>{1, 3, 5}));
  RenderTransitionStep(E::CrossDissolve, 3, 4, frames, placed);
  EXPECT_EQ(Bgr(frames.Output, 0, 0), (std::vector<int>{25, 25, 241}));
}

TEST_F(CrossDissolveGolden, EndsAreTheTwoPictures) {
  std::int64_t placed = 0;
  RenderTransitionStep(E::CrossDissolve, 0, 4, frames, placed);
  EXPECT_EQ(frames.Output, frames.Source);
  RenderTransitionStep(E::CrossDissolve, 4, 4, frames, placed);
  EXPECT_EQ(frames.Output, frames.Destination);
}

TEST_F(CrossDissolveGolden, FadeOutInPassesThroughTheMiddleColour) {
  // N = 5: h = 2, half = 2.5. Step 1 is 0.6 S + 0.4 M, step 3 is 0.8 M + 0.2 D, step 4 0.4 M + 0.6 D.
  frames.Middle = Solid(2, 2, RGB(255, 0, 100));
  std::int64_t placed = 0;
  RenderTransitionStep(E::FadeOutIn, 0, 5, frames, placed);
  EXPECT_EQ(frames.Output, frames.Source);
  RenderTransitionStep(E::FadeOutIn, 1, 5, frames, placed);
  EXPECT_EQ(Bgr(frames.Output, 0, 0), (std::vector<int>{46, 61, 222}));
  EXPECT_EQ(Bgr(frames.Output, 1, 0), (std::vector<int>{40, 0, 102}));
  EXPECT_EQ(Bgr(frames.Output, 0, 1), (std::vector<int>{193, 153, 255}));
  EXPECT_EQ(Bgr(frames.Output, 1, 1), (std::vector<int>{41, 2, 105}));
  RenderTransitionStep(E::FadeOutIn, 2, 5, frames, placed);
  EXPECT_EQ(frames.Output, frames.Middle);
  RenderTransitionStep(E::FadeOutIn, 3, 5, frames, placed);
  EXPECT_EQ(Bgr(frames.Output, 0, 0), (std::vector<int>{86, 0, 255}));
  EXPECT_EQ(Bgr(frames.Output, 1, 0), (std::vector<int>{80, 1, 255}));
  EXPECT_EQ(Bgr(frames.Output, 0, 1), (std::vector<int>{80, 0, 204}));
  EXPECT_EQ(Bgr(frames.Output, 1, 1), (std::vector<int>{80, 1, 205}));
  RenderTransitionStep(E::FadeOutIn, 4, 5, frames, placed);
  EXPECT_EQ(Bgr(frames.Output, 0, 0), (std::vector<int>{58, 0, 255}));
  EXPECT_EQ(Bgr(frames.Output, 1, 0), (std::vector<int>{41, 2, 255}));
  EXPECT_EQ(Bgr(frames.Output, 0, 1), (std::vector<int>{40, 0, 102}));
  EXPECT_EQ(Bgr(frames.Output, 1, 1), (std::vector<int>{41, 2, 105}));
  RenderTransitionStep(E::FadeOutIn, 5, 5, frames, placed);
  EXPECT_EQ(frames.Output, frames.Destination);
}

TEST_F(CrossDissolveGolden, FadeOutInWithOneStepNeverShowsTheSource) {
  std::int64_t placed = 0;
  RenderTransitionStep(E::FadeOutIn, 0, 1, frames, placed);
  EXPECT_EQ(frames.Output, frames.Middle);
  RenderTransitionStep(E::FadeOutIn, 1, 1, frames, placed);
  EXPECT_EQ(frames.Output, frames.Destination);
}

TEST_F(CrossDissolveGolden, FadeOutInWithTwoStepsIsSourceMiddleDestination) {
  std::int64_t placed = 0;
  RenderTransitionStep(E::FadeOutIn, 0, 2, frames, placed);
  EXPECT_EQ(frames.Output, frames.Source);
  RenderTransitionStep(E::FadeOutIn, 1, 2, frames, placed);
  EXPECT_EQ(frames.Output, frames.Middle);
  RenderTransitionStep(E::FadeOutIn, 2, 2, frames, placed);
  EXPECT_EQ(frames.Output, frames.Destination);
}

// ---- wipes: 5 x 3 labelled pictures, N = 4, steps run from 0 as the clip runs them

TEST(Wipes, LeftRightTruncatesTheRevealedWidth) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::LeftRight, 2, 4, frames);  // trunc(2.5) = 2 columns
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D0.0 D1.0 S2.0 S3.0 S4.0", "D0.1 D1.1 S2.1 S3.1 S4.1", "D0.2 D1.2 S2.2 S3.2 S4.2"}));
  std::int64_t placed = 0;
  RenderTransitionStep(E::LeftRight, 3, 4, frames, placed);  // trunc(3.75) = 3
  EXPECT_EQ(Origins(frames.Output)[1], "D0.1 D1.1 D2.1 S3.1 S4.1");
}

TEST(Wipes, RightLeftRoundsAndKeepsWhatEarlierStepsRevealed) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::RightLeft, 1, 4, frames);  // a = nearest(3.75) = 4, b = nearest(1.25) = 1
  EXPECT_EQ(Origins(frames.Output)[0], "S0.0 S1.0 S2.0 S3.0 D4.0");
  std::int64_t placed = 0;
  RenderTransitionStep(E::RightLeft, 2, 4, frames, placed);  // a = nearest(2.5) = 2, b = 2: columns 2 and 3
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.0 S1.0 D2.0 D3.0 D4.0", "S0.1 S1.1 D2.1 D3.1 D4.1", "S0.2 S1.2 D2.2 D3.2 D4.2"}));
  RenderTransitionStep(E::RightLeft, 3, 4, frames, placed);  // a = 1, b = nearest(3.75) = 4
  EXPECT_EQ(Origins(frames.Output)[2], "S0.2 D1.2 D2.2 D3.2 D4.2");
}

TEST(Wipes, TenColumnsInThreeStepsRevealThreeColumnsFromEitherSide) {
  TTransitionFrames frames;
  frames.Source = Solid(10, 1, clWhite);
  frames.Destination = Solid(10, 1, clBlack);
  frames.Middle = Solid(10, 1, clWhite);
  frames.Output = TBitmap(10, 1);
  auto revealed = [&] {
    std::string columns;
    for (int x = 0; x < 10; ++x) columns += frames.Output.GetPixel(x, 0) == clBlack ? 'D' : 'S';
    return columns;
  };
  RunSteps(E::LeftRight, 1, 3, frames);
  EXPECT_EQ(revealed(), "DDDSSSSSSS");
  RunSteps(E::RightLeft, 1, 3, frames);  // a = nearest(6.67) = 7, b = nearest(3.33) = 3
  EXPECT_EQ(revealed(), "SSSSSSSDDD");
}

TEST(Wipes, UpDownRoundsTheRevealedHeight) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::UpDown, 1, 4, frames);  // nearest(0.75) = 1 row
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D0.0 D1.0 D2.0 D3.0 D4.0", "S0.1 S1.1 S2.1 S3.1 S4.1", "S0.2 S1.2 S2.2 S3.2 S4.2"}));
  std::int64_t placed = 0;
  RenderTransitionStep(E::UpDown, 2, 4, frames, placed);  // nearest(1.5) = 2 rows
  EXPECT_EQ(Origins(frames.Output)[1], "D0.1 D1.1 D2.1 D3.1 D4.1");
  EXPECT_EQ(Origins(frames.Output)[2], "S0.2 S1.2 S2.2 S3.2 S4.2");
}

TEST(Wipes, DownUpRevealsFromTheBottom) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::DownUp, 2, 4, frames);  // a = nearest(1.5) = 2, b = 2: row 2 only
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.0 S1.0 S2.0 S3.0 S4.0", "S0.1 S1.1 S2.1 S3.1 S4.1", "D0.2 D1.2 D2.2 D3.2 D4.2"}));
  std::int64_t placed = 0;
  RenderTransitionStep(E::DownUp, 3, 4, frames, placed);  // a = nearest(0.75) = 1, b = nearest(2.25) = 2
  EXPECT_EQ(Origins(frames.Output)[0], "S0.0 S1.0 S2.0 S3.0 S4.0");
  EXPECT_EQ(Origins(frames.Output)[1], "D0.1 D1.1 D2.1 D3.1 D4.1");
}

// ---- slides from a corner: dx = trunc(0.5 * 5) = 2, dy = trunc(0.5 * 3) = 1 at step 2 of 4

TEST(Slides, FromUpLeft) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::FromUpLeft, 2, 4, frames);
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D2.1 D3.1 D4.1 S3.0 S4.0", "D2.2 D3.2 D4.2 S3.1 S4.1", "S0.2 S1.2 S2.2 S3.2 S4.2"}));
}

TEST(Slides, FromUpRight) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::FromUpRight, 2, 4, frames);
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.0 S1.0 D0.1 D1.1 D2.1", "S0.1 S1.1 D0.2 D1.2 D2.2", "S0.2 S1.2 S2.2 S3.2 S4.2"}));
}

TEST(Slides, FromBottomLeft) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::FromBottomLeft, 2, 4, frames);
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.0 S1.0 S2.0 S3.0 S4.0", "D2.0 D3.0 D4.0 S3.1 S4.1", "D2.1 D3.1 D4.1 S3.2 S4.2"}));
}

TEST(Slides, FromBottomRightLeavesUncoveredSourceBehind) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::FromBottomRight, 2, 4, frames);
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.0 S1.0 S2.0 S3.0 S4.0", "S0.1 S1.1 D0.0 D1.0 D2.0", "S0.2 S1.2 D0.1 D1.1 D2.1"}));
  std::int64_t placed = 0;
  RenderTransitionStep(E::FromBottomRight, 3, 4, frames, placed);  // dx = trunc(1.25) = 1, dy = 0
  EXPECT_EQ(Origins(frames.Output)[0], "S0.0 D0.0 D1.0 D2.0 D3.0");
  RenderTransitionStep(E::FromBottomRight, 4, 4, frames, placed);
  EXPECT_EQ(frames.Output, frames.Destination);
}

// ---- moves on pixel rows

TEST(HorizontalMoves, MoveLeftRight1PushesDestinationInFromTheLeft) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::MoveLeftRight1, 0, 4, frames);
  EXPECT_EQ(frames.Output, frames.Source);
  std::int64_t placed = 0;
  RenderTransitionStep(E::MoveLeftRight1, 2, 4, frames, placed);  // w = trunc(2.5) = 2
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D3.0 D4.0 S0.0 S1.0 S2.0", "D3.1 D4.1 S0.1 S1.1 S2.1", "D3.2 D4.2 S0.2 S1.2 S2.2"}));
  RenderTransitionStep(E::MoveLeftRight1, 4, 4, frames, placed);
  EXPECT_EQ(frames.Output, frames.Destination);
}

TEST(HorizontalMoves, MoveLeftRight2UncoversDestinationInPlace) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::MoveLeftRight2, 2, 4, frames);
  EXPECT_EQ(Origins(frames.Output)[1], "D0.1 D1.1 S0.1 S1.1 S2.1");
}

TEST(HorizontalMoves, MoveRightLeft1PushesSourceOutToTheLeft) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::MoveRightLeft1, 1, 4, frames);  // w = trunc(3.75) = 3
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S2.0 S3.0 S4.0 D0.0 D1.0", "S2.1 S3.1 S4.1 D0.1 D1.1", "S2.2 S3.2 S4.2 D0.2 D1.2"}));
}

TEST(HorizontalMoves, MoveRightLeft2RoundsToNearest) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::MoveRightLeft2, 1, 4, frames);  // w = nearest(3.75) = 4
  EXPECT_EQ(Origins(frames.Output)[0], "S0.0 S1.0 S2.0 S3.0 D0.0");
  std::int64_t placed = 0;
  RenderTransitionStep(E::MoveRightLeft2, 2, 4, frames, placed);  // w = nearest(2.5) = 2
  EXPECT_EQ(Origins(frames.Output)[2], "S0.2 S1.2 D0.2 D1.2 D2.2");
}

TEST(VerticalMoves, MoveUpDown1PushesDestinationInFromTheTop) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::MoveUpDown1, 2, 4, frames);  // h = trunc(1.5) = 1
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D0.2 D1.2 D2.2 D3.2 D4.2", "S0.0 S1.0 S2.0 S3.0 S4.0", "S0.1 S1.1 S2.1 S3.1 S4.1"}));
  std::int64_t placed = 0;
  RenderTransitionStep(E::MoveUpDown1, 3, 4, frames, placed);  // h = trunc(2.25) = 2
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D0.1 D1.1 D2.1 D3.1 D4.1", "D0.2 D1.2 D2.2 D3.2 D4.2", "S0.0 S1.0 S2.0 S3.0 S4.0"}));
}

TEST(VerticalMoves, MoveUpDown2UncoversDestinationInPlace) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::MoveUpDown2, 2, 4, frames);
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D0.0 D1.0 D2.0 D3.0 D4.0", "S0.0 S1.0 S2.0 S3.0 S4.0", "S0.1 S1.1 S2.1 S3.1 S4.1"}));
}

TEST(VerticalMoves, MoveDownUp1PushesSourceUp) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::MoveDownUp1, 1, 4, frames);  // h = trunc(2.25) = 2
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.1 S1.1 S2.1 S3.1 S4.1", "S0.2 S1.2 S2.2 S3.2 S4.2", "D0.0 D1.0 D2.0 D3.0 D4.0"}));
}

TEST(VerticalMoves, MoveDownUp2UncoversDestinationFromTheBottom) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::MoveDownUp2, 1, 4, frames);
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.1 S1.1 S2.1 S3.1 S4.1", "S0.2 S1.2 S2.2 S3.2 S4.2", "D0.2 D1.2 D2.2 D3.2 D4.2"}));
  std::int64_t placed = 0;
  RenderTransitionStep(E::MoveDownUp2, 2, 4, frames, placed);  // h = 1
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.2 S1.2 S2.2 S3.2 S4.2", "D0.1 D1.1 D2.1 D3.1 D4.1", "D0.2 D1.2 D2.2 D3.2 D4.2"}));
}

// ---- random effects

TEST(RandomEffects, RandomPointsPicksColumnsRowByRow) {
  auto frames = LabelledFrames(5, 2);
  TransitionRandom().SetSeed(0);  // draws below 5: 0 0 | 4 1 1 3 | 1 0 1 2
  std::int64_t placed = 0;
  RenderTransitionStep(E::RandomPoints, 0, 4, frames, placed);
  RenderTransitionStep(E::RandomPoints, 1, 4, frames, placed);  // nearest(1.25) = 1 point a row
  EXPECT_EQ(placed, 1);
  EXPECT_EQ(Origins(frames.Output), (Rows{"D0.0 S1.0 S2.0 S3.0 S4.0", "D0.1 S1.1 S2.1 S3.1 S4.1"}));
  RenderTransitionStep(E::RandomPoints, 2, 4, frames, placed);  // nearest(5) = 5: 4 more a row
  EXPECT_EQ(placed, 5);
  EXPECT_EQ(Origins(frames.Output), (Rows{"D0.0 D1.0 S2.0 D3.0 D4.0", "D0.1 D1.1 D2.1 S3.1 S4.1"}));
}

class RandomBoxesOnTenByTen : public ::testing::Test {
 protected:
  void SetUp() override {
    frames.Source = Solid(10, 10, clWhite);
    frames.Destination = Solid(10, 10, clBlack);
    frames.Middle = Solid(10, 10, clWhite);
    frames.Output = TBitmap(10, 10);
  }
  // One row of characters a picture row: D where the destination shows.
  Rows Revealed() const {
    Rows rows;
    for (int y = 0; y < 10; ++y) {
      std::string row;
      for (int x = 0; x < 10; ++x) row += frames.Output.GetPixel(x, y) == clBlack ? 'D' : '.';
      rows.push_back(row);
    }
    return rows;
  }
  TTransitionFrames frames;
};

TEST_F(RandomBoxesOnTenByTen, BoxesSnapToEightAndAreClippedAtTheEdges) {
  // One box a pass: step k adds nearest(k^2 / 4) - nearest((k - 1)^2 / 4) boxes: 0, 1, 1, 2.
  // Seed 9 draws x, y pairs (0, 0), (8, 8), (8, 0), (8, 0) after clearing the low three bits.
  TransitionRandom().SetSeed(9);
  std::int64_t placed = 0;
  RenderTransitionStep(E::RandomBoxes, 0, 4, frames, placed);
  RenderTransitionStep(E::RandomBoxes, 1, 4, frames, placed);
  EXPECT_EQ(placed, 0);
  EXPECT_EQ(frames.Output, frames.Source);
  RenderTransitionStep(E::RandomBoxes, 2, 4, frames, placed);
  RenderTransitionStep(E::RandomBoxes, 3, 4, frames, placed);
  EXPECT_EQ(placed, 2);
  EXPECT_EQ(Revealed(), (Rows{"DDDDDDDD..", "DDDDDDDD..", "DDDDDDDD..", "DDDDDDDD..", "DDDDDDDD..", "DDDDDDDD..",
                              "DDDDDDDD..", "DDDDDDDD..", "........DD", "........DD"}));
  RenderTransitionStep(E::RandomBoxes, 4, 4, frames, placed);
  EXPECT_EQ(placed, 4);
  EXPECT_EQ(Revealed(), (Rows{"DDDDDDDDDD", "DDDDDDDDDD", "DDDDDDDDDD", "DDDDDDDDDD", "DDDDDDDDDD", "DDDDDDDDDD",
                              "DDDDDDDDDD", "DDDDDDDDDD", "........DD", "........DD"}));
}

TEST_F(RandomBoxesOnTenByTen, StepZeroLeavesThePlacedCountAlone) {
  std::int64_t placed = 7;
  RenderTransitionStep(E::RandomBoxes, 0, 4, frames, placed);
  EXPECT_EQ(placed, 7);
  RenderTransitionStep(E::RandomPoints, 0, 4, frames, placed);
  EXPECT_EQ(placed, 7);
  EXPECT_EQ(frames.Output, frames.Source);
}

TEST_F(RandomBoxesOnTenByTen, PointsAndBoxesShareOneCount) {
  std::int64_t placed = 0;
  RenderTransitionStep(E::RandomPoints, 0, 4, frames, placed);
  RenderTransitionStep(E::RandomPoints, 2, 4, frames, placed);  // nearest(10 * 4 / 4) = 10
  EXPECT_EQ(placed, 10);
  const TBitmap before = frames.Output;
  // Switching to boxes: nearest(9 / 4) = 2 is below 10, so nothing is added.
  RenderTransitionStep(E::RandomBoxes, 3, 4, frames, placed);
  EXPECT_EQ(placed, 2);
  EXPECT_EQ(frames.Output, before);
}

// ---- centre effects on 5 x 3: cx = 2, cy = 1

TEST(CentreEffects, Center1GrowsDestinationFromTheCentre) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::Center1, 1, 4, frames);  // h = trunc(0.75) = 0: nothing drawn
  EXPECT_EQ(frames.Output, frames.Source);
  std::int64_t placed = 0;
  RenderTransitionStep(E::Center1, 3, 4, frames, placed);  // a = 1, b = 0, w = 3, h = 2
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.0 S1.0 S2.0 S3.0 S4.0", "S0.1 D1.1 D2.1 D3.1 S4.1", "S0.2 D1.2 D2.2 D3.2 S4.2"}));
}

TEST(CentreEffects, Center2ShrinksSourceToTheCentre) {
  auto frames = LabelledFrames(5, 3);
  std::int64_t placed = 0;
  RenderTransitionStep(E::Center2, 0, 4, frames, placed);  // odd width: a = 2, w = 5 covers it all
  EXPECT_EQ(frames.Output, frames.Source);
  RenderTransitionStep(E::Center2, 1, 4, frames, placed);  // f = 3
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D0.0 D1.0 D2.0 D3.0 D4.0", "D0.1 S1.1 S2.1 S3.1 D4.1", "D0.2 S1.2 S2.2 S3.2 D4.2"}));
  RenderTransitionStep(E::Center2, 4, 4, frames, placed);
  EXPECT_EQ(frames.Output, frames.Destination);
}

TEST(CentreEffects, CenterZoom1ScalesTheWholeDestination) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::CenterZoom1, 3, 4, frames);
  // D scaled to 3 x 2 at (1, 1); each pixel takes the source pixel its centre maps to.
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"S0.0 S1.0 S2.0 S3.0 S4.0", "S0.1 D0.0 D2.0 D4.0 S4.1", "S0.2 D0.2 D2.2 D4.2 S4.2"}));
  std::int64_t placed = 0;
  RenderTransitionStep(E::CenterZoom1, 4, 4, frames, placed);
  EXPECT_EQ(frames.Output, frames.Destination);
}

TEST(CentreEffects, CenterZoom2ScalesTheWholeSourceOverDestination) {
  auto frames = LabelledFrames(5, 3);
  RunSteps(E::CenterZoom2, 1, 4, frames);
  EXPECT_EQ(Origins(frames.Output),
            (Rows{"D0.0 D1.0 D2.0 D3.0 D4.0", "D0.1 S0.0 S2.0 S4.0 D4.1", "D0.2 S0.2 S2.2 S4.2 D4.2"}));
  std::int64_t placed = 0;
  RenderTransitionStep(E::CenterZoom2, 0, 4, frames, placed);
  EXPECT_EQ(frames.Output, frames.Source);
}

// ---- effects that draw nothing, and unfit pictures

TEST(UnknownEffect, LeavesTheOutputUntouchedAtEveryStep) {
  for (int value : {-1, 24, 1000}) {
    auto frames = LabelledFrames(5, 3);
    frames.Output = Solid(5, 3, RGB(1, 2, 3));
    const TBitmap before = frames.Output;
    std::int64_t placed = 3;
    for (int k = 0; k <= 4; ++k) RenderTransitionStep(static_cast<E>(value), k, 4, frames, placed);
    EXPECT_EQ(frames.Output, before) << value;
    EXPECT_EQ(placed, 3);
  }
}

TEST(UnfitPictures, AreRefusedBeforeAnythingIsDrawn) {
  auto frames = LabelledFrames(5, 3);
  std::int64_t placed = 0;
  EXPECT_THROW(RenderTransitionStep(E::CrossDissolve, 0, 0, frames, placed), EClipvaneError);
  EXPECT_THROW(RenderTransitionStep(E::CrossDissolve, 5, 4, frames, placed), EClipvaneError);
  EXPECT_THROW(RenderTransitionStep(E::CrossDissolve, -1, 4, frames, placed), EClipvaneError);
  frames.Destination = Labelled(4, 3, 80);
  const TBitmap before = frames.Output;
  EXPECT_THROW(RenderTransitionStep(E::LeftRight, 2, 4, frames, placed), EClipvaneError);
  EXPECT_EQ(frames.Output, before);
  frames = LabelledFrames(5, 3);
  frames.Middle.SetPixelFormat(TPixelFormat::pf32bit);
  EXPECT_THROW(RenderTransitionStep(E::FadeOutIn, 1, 4, frames, placed), EClipvaneError);
  frames = TTransitionFrames{};
  EXPECT_THROW(RenderTransitionStep(E::Center1, 0, 4, frames, placed), EClipvaneError);
}

}  // namespace
}  // namespace clipvane
