// The GIF size rules of the "GIF window size" list and the coupling of the two size boxes.
#include <gtest/gtest.h>

#include "runs/gif/gif_size.h"

namespace clipvane {
namespace {

TGifSizeChoice Scale(int position) { return {TGifSizeRule::gsScale, position, 0, 0}; }

TEST(GifSizeRule, AsAviWindowSizeIsTheCaptureSize) {
  EXPECT_EQ(GifSize({}, 320, 240), (TFrameSize{320, 240}));
  EXPECT_EQ(GifSize({}, 100, 0), (TFrameSize{100, 0}));
}

TEST(GifSizeRule, ScaleTruncatesTheSinglePrecisionProduct) {
  EXPECT_EQ(GifSize(Scale(6), 320, 240), (TFrameSize{106, 79}));  // " 1:3"
  EXPECT_EQ(GifSize(Scale(3), 100, 50), (TFrameSize{200, 100}));  // " 2:1"
  EXPECT_EQ(GifSize(Scale(0), 7, 3), (TFrameSize{35, 15}));       // " 5:1"
  EXPECT_EQ(GifSize(Scale(5), 101, 33), (TFrameSize{50, 16}));    // " 1:2"
  // 0.333 as a float lies below a third, 0.2 above a fifth.
  EXPECT_EQ(GifSize(Scale(6), 3, 300), (TFrameSize{0, 99}));
  EXPECT_EQ(GifSize(Scale(8), 5, 10), (TFrameSize{1, 2}));
  EXPECT_EQ(GifSize(Scale(8), 1000000, 4), (TFrameSize{200000, 0}));
}

TEST(GifSizeRule, EveryScaleItemHasItsFactor) {
  const char* items[] = {" 5:1", " 4:1", " 3:1", " 2:1", " 1:1", " 1:2", " 1:3", " 1:4", " 1:5"};
  const int widths[] = {3000, 2400, 1800, 1200, 600, 300, 199, 150, 120};
  for (int position = 0; position < kScaleItemCount; ++position) {
    EXPECT_EQ(ScaleItemText(position), items[position]);
    EXPECT_EQ(ScalePositionFromText(items[position]), position);
    EXPECT_EQ(GifSize(Scale(position), 600, 600).Width, widths[position]) << items[position];
  }
  EXPECT_EQ(ScalePositionFromText("1:3"), -1);
}

TEST(GifSizeRule, TextsTypedIntoTheListsChangeNothing) {
  EXPECT_EQ(GifSizeRuleFromText(" Scale"), TGifSizeRule::gsScale);
  EXPECT_EQ(GifSizeRuleFromText(" Specified size"), TGifSizeRule::gsSpecifiedSize);
  EXPECT_EQ(GifSizeRuleFromText(" As AVI window size"), TGifSizeRule::gsAsAviWindowSize);
  EXPECT_EQ(GifSizeRuleFromText("Scale"), TGifSizeRule::gsAsAviWindowSize);
  EXPECT_EQ(GifSizeRuleFromText("big"), TGifSizeRule::gsAsAviWindowSize);
  EXPECT_EQ(GifSize(Scale(-1), 320, 240), (TFrameSize{320, 240}));
  EXPECT_EQ(GifSize(Scale(9), 320, 240), (TFrameSize{320, 240}));
}

TEST(GifSizeRule, SpecifiedSizeTakesTheBoxes) {
  EXPECT_EQ(GifSize({TGifSizeRule::gsSpecifiedSize, 4, 77, 55}, 320, 240), (TFrameSize{77, 55}));
}

TEST(GifSizeBoxes, SpecifiedSizeOfAPartKeepsTheVideoRatio) {
  // 320 x 240 video, 100 x 100 window part: width 100 (height 75), then height 100 (width 133).
  EXPECT_EQ(SpecifiedSizeBoxes({0, 0}, 100, 100, true, 320, 240), (TFrameSize{133, 100}));
  // Without the tick the boxes are simply the capture size.
  EXPECT_EQ(SpecifiedSizeBoxes({0, 0}, 100, 100, false, 320, 240), (TFrameSize{100, 100}));
}

TEST(GifSizeBoxes, ABoxSetToTheValueItHoldsDoesNotCouple) {
  // The width box already holds 100: only the height box changes, and couples the width.
  EXPECT_EQ(SpecifiedSizeBoxes({100, 30}, 100, 60, true, 320, 240), (TFrameSize{80, 60}));
  // Both already there: nothing moves.
  EXPECT_EQ(SpecifiedSizeBoxes({100, 60}, 100, 60, true, 320, 240), (TFrameSize{100, 60}));
}

TEST(GifSizeBoxes, CouplingRoundsHalvesToEven) {
  // 30 / 4 x 3 = 22.5 -> 22; 50 / 4 x 3 = 37.5 -> 38.
  EXPECT_EQ(CoupleGifSize({30, 0}, TSizeBox::sbWidth, true, 4, 3).Height, 22);
  EXPECT_EQ(CoupleGifSize({50, 0}, TSizeBox::sbWidth, true, 4, 3).Height, 38);
  EXPECT_EQ(CoupleGifSize({50, 7}, TSizeBox::sbWidth, false, 4, 3), (TFrameSize{50, 7}));
}

TEST(GifSizeBoxes, BoxesStayWithinTheirLimits) {
  const TFrameSize boxes = SpecifiedSizeBoxes({0, 0}, 20000, 15000, false, 320, 240);
  EXPECT_EQ(boxes, (TFrameSize{kGifSizeBoxMaximum, kGifSizeBoxMaximum}));
}

}  // namespace
}  // namespace clipvane
