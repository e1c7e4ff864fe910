// How long a painter shows each frame: 12 ms units, the minimum and default delays, the cap
// of inline playback, half the overrun taken off, the speed, and the fallback wait.
#include <gtest/gtest.h>

#include <vector>

#include "gif_painter_test_fakes.h"

namespace clipvane {
namespace {

using painter_test::AddFramesWithDelays;
using painter_test::AddLoopAt;
using painter_test::TPlayer;

TEST(GifFrameWait, UnitsOf12MsScaledBySpeed) {
  int wait = 0;
  ASSERT_TRUE(GIFFrameWait(10, 0, 100, wait));
  EXPECT_EQ(wait, 120);
  ASSERT_TRUE(GIFFrameWait(3, 0, 200, wait));
  EXPECT_EQ(wait, 18);
  ASSERT_TRUE(GIFFrameWait(3, 0, 7, wait));
  EXPECT_EQ(wait, 514);  // 3600 / 7 = 514.28
}

TEST(GifFrameWait, HalvesRoundAwayFromZero) {
  int wait = 0;
  ASSERT_TRUE(GIFFrameWait(3, 0, 2400, wait));  // 1.5
  EXPECT_EQ(wait, 2);
  ASSERT_TRUE(GIFFrameWait(0, 6, 200, wait));  // -3 x 100 / 200 = -1.5
  EXPECT_EQ(wait, -2);
}

TEST(GifFrameWait, HalfTheOverrunTruncatesTowardZero) {
  int wait = 0;
  ASSERT_TRUE(GIFFrameWait(3, 41, 100, wait));
  EXPECT_EQ(wait, 16);  // 36 - 20
  ASSERT_TRUE(GIFFrameWait(3, -41, 100, wait));
  EXPECT_EQ(wait, 56);  // 36 + 20
}

TEST(GifFrameWait, FailsWhenNoWaitCanBeGiven) {
  int wait = 77;
  EXPECT_FALSE(GIFFrameWait(3, 0, 0, wait));
  EXPECT_FALSE(GIFFrameWait(3, 0, -5, wait));
  // Fifty days asleep: the wait would not fit an int.
  EXPECT_FALSE(GIFFrameWait(3, 5'000'000'000LL, 100, wait));
  EXPECT_FALSE(GIFFrameWait(3, INT64_MAX, 1, wait));
  EXPECT_EQ(wait, 77);
}

TEST(GifPlaybackDelay, DefaultMinimumAndInlineCap) {
  TGIFImage image;
  AddFramesWithDelays(image, {0, 1, 2, 10, 2000});
  image.AddFrame(gif_test::IndexedBitmap(1, 1, {TRGBQuad{}}, {0}));  // no control block
  const std::vector<int> threaded = {10, 3, 3, 10, 2000, 10};
  const std::vector<int> inlined = {10, 3, 3, 10, 1000, 10};
  for (int i = 0; i < image.Images().Count(); ++i) {
    EXPECT_EQ(GIFPlaybackDelay(*image.Images()[i], true), threaded[static_cast<std::size_t>(i)]) << i;
    EXPECT_EQ(GIFPlaybackDelay(*image.Images()[i], false), inlined[static_cast<std::size_t>(i)]) << i;
  }
}

TEST(GifPainterTiming, ThreadedWaitsFollowTheDelays) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {0, 1, 2, 10});
  AddLoopAt(player.image, 0, 2);
  player.Play();
  // The first frame shows at once; each later wait is the previous frame's delay; the second
  // pass starts after frame 3's 10 units.
  EXPECT_EQ(player.clock.Waits(), (std::vector<int>{120, 36, 36, 120, 120, 36, 36}));
  EXPECT_TRUE(player.clock.Sleeps().empty());
}

TEST(GifPainterTiming, InlinePlaybackSleepsInSlicesOfAtMost100Ms) {
  TPlayer player(false);
  AddFramesWithDelays(player.image, {0, 1, 2, 10});
  AddLoopAt(player.image, 0, 0);
  player.Draw();
  // Inline playback starts with a one-unit wait, and a loop count of 0 plays once.
  EXPECT_EQ(player.clock.Sleeps(), (std::vector<int>{12, 100, 20, 36, 36}));
  EXPECT_TRUE(player.clock.Waits().empty());
  EXPECT_EQ(player.image.PainterCount(), 0);
}

TEST(GifPainterTiming, SpeedScalesEveryWait) {
  TPlayer fast(true);
  fast.image.PlaybackSpeed = 200;
  AddFramesWithDelays(fast.image, {0, 1, 2, 10});
  fast.Play();
  EXPECT_EQ(fast.clock.Waits(), (std::vector<int>{60, 18, 18}));

  TPlayer slow(true);
  slow.image.PlaybackSpeed = 50;
  AddFramesWithDelays(slow.image, {0, 1, 2, 10});
  slow.Play();
  EXPECT_EQ(slow.clock.Waits(), (std::vector<int>{240, 72, 72}));
}

TEST(GifPainterTiming, HalfTheOverrunIsTakenOffTheNextWait) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {0, 3, 3, 3});
  // Painting frame 1 takes 41 ms.
  player.image.OnPaint = [&](TGIFPainter* painter) {
    if (painter->ActiveImage() == 1) player.clock.Advance(41);
  };
  player.Play();
  EXPECT_EQ(player.clock.Waits(), (std::vector<int>{120, 16, 36}));
}

TEST(GifPainterTiming, InlineOverrunIsMeasuredToo) {
  TPlayer player(false);
  AddFramesWithDelays(player.image, {0, 3, 3});
  player.image.OnPaint = [&](TGIFPainter* painter) {
    if (painter->ActiveImage() == 1) player.clock.Advance(40);
  };
  player.Draw();
  EXPECT_EQ(player.clock.Sleeps(), (std::vector<int>{12, 100, 20, 16}));
}

TEST(GifPainterTiming, LongDelaysAreCappedOnlyInline) {
  TPlayer threaded(true);
  AddFramesWithDelays(threaded.image, {2000, 5});
  threaded.Play();
  EXPECT_EQ(threaded.clock.Waits(), (std::vector<int>{24000}));

  TPlayer inlined(false);
  AddFramesWithDelays(inlined.image, {2000, 5});
  inlined.Draw();
  const std::vector<int> sleeps = inlined.clock.Sleeps();
  ASSERT_EQ(sleeps.size(), 121u);
  EXPECT_EQ(sleeps.front(), 12);
  for (std::size_t i = 1; i < sleeps.size(); ++i) EXPECT_EQ(sleeps[i], 100) << i;
}

TEST(GifPainterTiming, AFailedWaitFallsBackTo12Seconds) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {0, 3, 3});
  // Fifty days pass while frame 1 is painted (a suspended machine).
  player.image.OnPaint = [&](TGIFPainter* painter) {
    if (painter->ActiveImage() == 1) player.clock.Advance(5'000'000'000LL);
  };
  player.Play();
  EXPECT_EQ(player.clock.Waits(), (std::vector<int>{120, 12000}));
}

TEST(GifPainterTiming, ThreadedSpeedZeroShowsTheFirstFrameUntilStopped) {
  TPlayer player(true);
  player.image.PlaybackSpeed = 0;
  AddFramesWithDelays(player.image, {5, 5, 5});
  std::vector<int> painted;
  player.image.OnPaint = [&](TGIFPainter* painter) { painted.push_back(painter->ActiveImage()); };
  player.Draw();
  player.dispatcher.DrainUntil([&] { return player.clock.Waiting() == 1; });
  EXPECT_EQ(player.clock.Waits(), (std::vector<int>{-1}));
  player.image.StopPainters();
  EXPECT_EQ(player.image.PainterCount(), 0);
  EXPECT_EQ(painted, (std::vector<int>{0}));
}

TEST(GifPainterTiming, ThreadedNegativeSpeedNeverWaits) {
  TPlayer player(true);
  player.image.PlaybackSpeed = -1;
  AddFramesWithDelays(player.image, {5, 5, 5});
  int paints = 0;
  player.image.OnPaint = [&](TGIFPainter*) { ++paints; };
  player.Play();
  EXPECT_EQ(paints, 3);
  EXPECT_TRUE(player.clock.Waits().empty());
}

TEST(GifPainterTiming, InlineSpeedZeroOrBelowWaits12Seconds) {
  for (int speed : {0, -3}) {
    TPlayer player(false);
    player.image.PlaybackSpeed = speed;
    AddFramesWithDelays(player.image, {5, 5});
    player.Draw();
    int total = 0;
    for (int slice : player.clock.Sleeps()) total += slice;
    EXPECT_EQ(total, 2 * 12000) << speed;
  }
}

}  // namespace
}  // namespace clipvane
