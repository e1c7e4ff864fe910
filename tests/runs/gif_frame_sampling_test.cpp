// Which frames the GIF run visits: sampling, the three range choices, "Update frames list"
// and the time range arithmetic.
#include <gtest/gtest.h>

#include <vector>

#include "runs/frames/extraction_run.h"
#include "runs/gif/frame_sampling.h"

namespace clipvane {
namespace {

TVideoState OpenedVideo(int lastFrame, int lengthMs) {
  TVideoState state;
  state.LastFrame = lastFrame;
  state.LengthMs = lengthMs;
  state.LengthSeconds = lengthMs / 1000;
  state.SamplingRate = 1;
  SelectAllFrames(state);
  return state;
}

TEST(GifSampling, EveryNthTickedFrameOfTheRange) {
  TVideoState state = OpenedVideo(9, 400);
  SetSamplingRate(state, 3);
  EXPECT_EQ(SampledFrames(state), (std::vector<int>{0, 3, 6, 9}));
  // An unticked frame is skipped, not replaced by its neighbour.
  state.FrameSelected[3] = false;
  EXPECT_EQ(SampledFrames(state), (std::vector<int>{0, 6, 9}));
}

TEST(GifSampling, StepsStartAtTheRangeStart) {
  TVideoState state = OpenedVideo(20, 800);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 5, 16);
  SetSamplingRate(state, 4);
  EXPECT_EQ(SampledFrames(state), (std::vector<int>{5, 9, 13}));
}

TEST(GifSampling, TheRateBoxEnablesKeepSpeedAwayFromOne) {
  TVideoState state = OpenedVideo(9, 400);
  EXPECT_TRUE(SetSamplingRate(state, 2));
  EXPECT_FALSE(SetSamplingRate(state, 1));
  EXPECT_EQ(state.SamplingRate, 1);
  // Values typed outside the box's limits come back into them.
  EXPECT_FALSE(SetSamplingRate(state, 0));
  EXPECT_EQ(state.SamplingRate, 1);
  SetSamplingRate(state, 11);
  EXPECT_EQ(state.SamplingRate, 10);
}

TEST(GifSampling, AStateWithoutARateStillEnds) {
  TVideoState state = OpenedVideo(4, 200);
  state.SamplingRate = 0;
  EXPECT_EQ(SampledFrames(state), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(GifSampling, RangeReachingPastTheTicksVisitsOnlyExistingFrames) {
  TVideoState state = OpenedVideo(4, 200);
  state.RangeFirst = -3;
  state.RangeLast = 2147483647;
  SetSamplingRate(state, 2);
  // -3, -1 have no tick; 1, 3 have; 5 and on do not exist. The walk must not wrap round.
  EXPECT_EQ(SampledFrames(state), (std::vector<int>{1, 3}));
}

TEST(GifRanges, TimeRangeGivesTheFramesOfThoseSeconds) {
  TVideoState state = OpenedVideo(250, 10000);
  UpdateFramesList(state, TRangeChoice::rcTimeRange, 2, 5);
  EXPECT_EQ(state.RangeFirst, 50);
  EXPECT_EQ(state.RangeLast, 125);
  EXPECT_EQ(SampledFrames(state).front(), 50);
  EXPECT_EQ(SampledFrames(state).back(), 125);
  EXPECT_FALSE(state.FrameSelected[49]);
  EXPECT_FALSE(state.FrameSelected[126]);
}

TEST(GifRanges, AOneFrameRangeReplacesTheTicksOfTheRangeBefore) {
  TVideoState state = OpenedVideo(250, 10000);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 100, 120);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 7, 7);
  EXPECT_EQ(SampledFrames(state), (std::vector<int>{7}));
  EXPECT_EQ(CountTickedFrames(state), 1);
  // From and to at 2 s of 10 s with 250 frames are both frame 50.
  UpdateFramesList(state, TRangeChoice::rcTimeRange, 2, 2);
  EXPECT_EQ(SampledFrames(state), (std::vector<int>{50}));
  EXPECT_EQ(CountTickedFrames(state), 1);
}

TEST(GifRanges, WholeTimeRangeLeavesOutThePartialLastSecond) {
  // 10.5 s, 262 frames: 10 s x 262 x 1000 / 10500 = 249.5 -> 249.
  TVideoState state = OpenedVideo(262, 10500);
  UpdateFramesList(state, TRangeChoice::rcTimeRange, 0, state.LengthSeconds);
  EXPECT_EQ(state.RangeLast, 249);
}

TEST(GifRanges, TimeRangeOfAVariableRateVideoFollowsItsFrameTimes) {
  // Ten frames over 3.5 s: quick ones in the first second, slow ones after.
  TVideoState state = OpenedVideo(10, 3500);
  state.FrameTimes.Starts = {0, 100, 200, 300, 400, 500, 1000, 1900, 2000, 3000, 3500};
  state.FrameTimes.Base = TTimeBase{1, 1000};
  UpdateFramesList(state, TRangeChoice::rcTimeRange, 1, 2);
  EXPECT_EQ(state.RangeFirst, 6);  // starts at 1000 ms
  EXPECT_EQ(state.RangeLast, 8);   // shows from 2000 ms on; an even rate would give 2 to 5
  UpdateFramesList(state, TRangeChoice::rcTimeRange, 0, 3);
  EXPECT_EQ(state.RangeFirst, 0);
  EXPECT_EQ(state.RangeLast, 9);
  // Past the last frame's end: the entry after it, as the box's whole length gives.
  UpdateFramesList(state, TRangeChoice::rcTimeRange, 0, 4);
  EXPECT_EQ(state.RangeLast, 10);
}

TEST(GifRanges, TimeProductsOfLongVideosDoNotOverflow) {
  // Three hours at 25 fps: 10000 s x 270000 x 1000 is far beyond 32 bits.
  EXPECT_EQ(SecondsToFrame(10000, 270000, 10800000), 250000);
  EXPECT_EQ(SecondsToFrame(10800, 270000, 10800000), 270000);
  EXPECT_EQ(SecondsToFrame(3, 100, 0), 0);  // no length: no frame beyond the first
}

TEST(GifRanges, ToBelowFromConvertsNothingAndKeepsTheTicks) {
  TVideoState state = OpenedVideo(20, 800);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 5, 8);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 12, 3);
  EXPECT_EQ(state.RangeFirst, 12);
  EXPECT_EQ(state.RangeLast, 3);
  EXPECT_TRUE(SampledFrames(state).empty());
  EXPECT_TRUE(state.FrameSelected[5] && state.FrameSelected[8] && !state.FrameSelected[4]);
}

TEST(GifRanges, AllFramesTicksEverythingAndResetsTheRange) {
  TVideoState state = OpenedVideo(20, 800);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 5, 8);
  UpdateFramesList(state, TRangeChoice::rcAllFrames, 1, 2);  // the button is off: nothing
  EXPECT_EQ(state.RangeFirst, 5);
  SelectAllFrames(state);
  EXPECT_EQ(state.RangeFirst, 0);
  EXPECT_EQ(state.RangeLast, 20);
  ASSERT_EQ(state.FrameSelected.size(), 21u);
  for (const bool ticked : state.FrameSelected) EXPECT_TRUE(ticked);
}

TEST(GifRanges, ResetBoxesSpanTheVideo) {
  const TRangeBoxes boxes = ResetRangeBoxes(OpenedVideo(250, 10900));
  EXPECT_EQ(boxes.FrameMaximum, 250);
  EXPECT_EQ(boxes.FrameFrom, 0);
  EXPECT_EQ(boxes.FrameTo, 250);
  EXPECT_EQ(boxes.TimeMaximum, 10);
  EXPECT_EQ(boxes.TimeFrom, 0);
  EXPECT_EQ(boxes.TimeTo, 10);
}

}  // namespace
}  // namespace clipvane
