// Exact GIF time: frame starts rounded on the true time line, totals that match the video,
// the shortest delay browsers honour, and per-frame times from a source's timestamps.
#include "gif/gif_timeline.h"

#include <gtest/gtest.h>

#include <vector>

namespace clipvane {
namespace {

std::vector<int> DelaysOf(const TGifTimeline& timeline) {
  std::vector<int> delays;
  for (int k = 0; k < timeline.Count(); ++k) delays.push_back(timeline[k].Shown ? timeline[k].Delay : 0);
  return delays;
}

// A frame rate num/den as one tick = den / num seconds.
TGifTimeline AtRate(int frames, std::int64_t num, std::int64_t den,
                    TShortFrameRule rule = TShortFrameRule::sfLeaveOut) {
  return TGifTimeline::ConstantRate(frames, 1, TTimeBase{den, num}, rule);
}

// Each shown frame starts at its exact time rounded to hundredths (halves up): the sum of
// the delays before frame k is round(k x 100 den / num).
void ExpectStartsOnTheTimeLine(const TGifTimeline& timeline, std::int64_t num, std::int64_t den) {
  std::int64_t start = 0;
  for (int k = 0; k < timeline.Count(); ++k) {
    if (!timeline[k].Shown) continue;
    EXPECT_EQ(start, (2 * k * 100 * den + num) / (2 * num)) << "frame " << k;
    start += timeline[k].Delay;
  }
}

std::vector<int> FirstDelays(const TGifTimeline& timeline, std::size_t count) {
  const std::vector<int> delays = DelaysOf(timeline);
  return std::vector<int>(delays.begin(), delays.begin() + static_cast<std::ptrdiff_t>(count));
}

TEST(GifTimeline, TwentyFiveFramesASecondAreFourHundredthsEach) {
  const TGifTimeline timeline = AtRate(250, 25, 1);
  EXPECT_EQ(DelaysOf(timeline), std::vector<int>(250, 4));
  EXPECT_EQ(timeline.TotalHundredths(), 1000);
}

TEST(GifTimeline, ThirtyFramesASecondAlternateThreesAndFours) {
  const TGifTimeline timeline = AtRate(150, 30, 1);
  // Starts 0, 3.33, 6.67, 10 rounded: 0, 3, 7, 10.
  EXPECT_EQ(FirstDelays(timeline, 6), (std::vector<int>{3, 4, 3, 3, 4, 3}));
  EXPECT_EQ(timeline.TotalHundredths(), 500);  // 5.00 s, not 4.50 s
  ExpectStartsOnTheTimeLine(timeline, 30, 1);
}

TEST(GifTimeline, NtscRateKeepsItsLengthOverTenMinutes) {
  // 29.97 = 30000 / 1001: 17982 frames last exactly 600 s (60000 hundredths).
  const TGifTimeline timeline = AtRate(17982, 30000, 1001);
  EXPECT_EQ(timeline.TotalHundredths(), 60000);
  ExpectStartsOnTheTimeLine(timeline, 30000, 1001);
  for (int k = 0; k < timeline.Count(); ++k) {
    EXPECT_TRUE(timeline[k].Shown);
    EXPECT_TRUE(timeline[k].Delay == 3 || timeline[k].Delay == 4) << k;
  }
}

TEST(GifTimeline, FiftyFramesASecondAreTwoHundredthsEach) {
  const TGifTimeline timeline = AtRate(100, 50, 1);
  EXPECT_EQ(DelaysOf(timeline), std::vector<int>(100, 2));
  EXPECT_EQ(timeline.TotalHundredths(), 200);
}

TEST(GifTimeline, SixtyFramesASecondLeaveOutFramesRatherThanPlayOneHundredth) {
  const TGifTimeline timeline = AtRate(60, 60, 1);
  // Starts 0, 1.67, 3.33, 5, 6.67, 8.33, 10 rounded: 0, 2, 3, 5, 7, 8, 10. The frame at 3
  // comes 1 after the one at 2 and is left out; so is the one at 8.
  EXPECT_EQ(FirstDelays(timeline, 7), (std::vector<int>{2, 3, 0, 2, 3, 0, 2}));
  int shown = 0;
  for (int k = 0; k < timeline.Count(); ++k) {
    if (!timeline[k].Shown) continue;
    ++shown;
    EXPECT_GE(timeline[k].Delay, TGifTimeline::kShortestDelay);
  }
  EXPECT_EQ(shown, 40);
  EXPECT_EQ(timeline.TotalHundredths(), 100);
  ExpectStartsOnTheTimeLine(timeline, 60, 1);
}

TEST(GifTimeline, SixtyFramesASecondLengthenedWhenEveryFrameMustStay) {
  const TGifTimeline timeline = AtRate(60, 60, 1, TShortFrameRule::sfLengthen);
  for (int k = 0; k < timeline.Count(); ++k) {
    EXPECT_TRUE(timeline[k].Shown);
    EXPECT_EQ(timeline[k].Delay, 2);
  }
  EXPECT_EQ(timeline.TotalHundredths(), 120);
  // A rate that needs no lengthening is the same under both rules.
  EXPECT_EQ(DelaysOf(AtRate(150, 30, 1, TShortFrameRule::sfLengthen)), DelaysOf(AtRate(150, 30, 1)));
}

TEST(GifTimeline, TheLastFrameNeverEndsUpShorterThanTheShortestDelay) {
  // 3 frames of 0.9 hundredths: starts 0, 1 (left out), 2; the end at 2.7 rounds to 3,
  // leaving the last frame 1: the frame before keeps showing until the end instead.
  const TGifTimeline timeline = TGifTimeline::ConstantRate(3, 9, TTimeBase{1, 1000}, TShortFrameRule::sfLeaveOut);
  EXPECT_EQ(DelaysOf(timeline), (std::vector<int>{3, 0, 0}));
  // A single short frame still gets the shortest delay.
  EXPECT_EQ(DelaysOf(TGifTimeline::ConstantRate(1, 5, TTimeBase{1, 1000}, TShortFrameRule::sfLeaveOut)),
            std::vector<int>{2});
}

TEST(GifTimeline, MillisecondDurationsOfAVideoLength) {
  // The GIF page's case: a 5000 ms video of 150 frames, every frame sampled: 100/3 ms each,
  // given in ticks of 1/(1000 x 150) s; sampling 2 gives frames of two durations.
  const TGifTimeline every =
      TGifTimeline::ConstantRate(150, 5000, TTimeBase{1, 1000 * 150}, TShortFrameRule::sfLeaveOut);
  EXPECT_EQ(every.TotalHundredths(), 500);
  const TGifTimeline second =
      TGifTimeline::ConstantRate(75, 2 * 5000, TTimeBase{1, 1000 * 150}, TShortFrameRule::sfLeaveOut);
  EXPECT_EQ(second.TotalHundredths(), 500);
  EXPECT_EQ(FirstDelays(second, 3), (std::vector<int>{7, 6, 7}));
}

TEST(GifTimeline, TimestampsGiveEachFrameItsOwnDuration) {
  // A variable-rate source in a 90 kHz time base: 40 ms, 40 ms, 120 ms, 20 ms, 1 ms, 79 ms.
  const std::vector<std::int64_t> starts{9000, 12600, 16200, 27000, 28800, 28890};
  const TGifTimeline timeline =
      TGifTimeline::FromStartTimes(starts, 36000, TTimeBase{1, 90000}, TShortFrameRule::sfLeaveOut);
  // Starts relative to the first: 0, 4, 8, 20, 22, 22.1 (left out: 0.1 after the one
  // before), the end at 30.
  EXPECT_EQ(DelaysOf(timeline), (std::vector<int>{4, 4, 12, 2, 8, 0}));
  EXPECT_EQ(timeline.TotalHundredths(), 30);
  EXPECT_EQ(timeline.StartHundredths(3), 20);
}

TEST(GifTimeline, BackwardsTimestampsAndHugeValuesStayInRange) {
  // A timestamp that goes back counts as no time; a delay past 16 bits is cut.
  const std::vector<std::int64_t> starts{1000, 500, 2000};
  const TGifTimeline timeline =
      TGifTimeline::FromStartTimes(starts, 1000 + 700000000, TTimeBase{1, 1000}, TShortFrameRule::sfLengthen);
  EXPECT_EQ(timeline.Count(), 3);
  EXPECT_EQ(timeline[0].Delay, 2);
  EXPECT_EQ(timeline[2].Delay, 65535);
  // Hours of a 90 kHz clock do not overflow the rounding.
  const TGifTimeline longOne = TGifTimeline::ConstantRate(2, std::int64_t{90000} * 3600 * 24 * 365, TTimeBase{1, 90000},
                                                          TShortFrameRule::sfLeaveOut);
  EXPECT_EQ(longOne.StartHundredths(1), std::int64_t{100} * 3600 * 24 * 365);
  EXPECT_EQ(TGifTimeline(std::vector<std::int64_t>{}, TTimeBase{}, TShortFrameRule::sfLeaveOut).Count(), 0);
}

}  // namespace
}  // namespace clipvane
