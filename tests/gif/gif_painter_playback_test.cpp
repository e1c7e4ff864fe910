// What a painter plays: frame order, passes and loop count, the loop point, empty frames,
// hooks, stills, and how the document's draw reuses, stops and restarts its painter.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "gif_painter_test_fakes.h"

namespace clipvane {
namespace {

using painter_test::AddEmptyFrame;
using painter_test::AddFrameAt;
using painter_test::AddFramesWithDelays;
using painter_test::AddLoopAt;
using painter_test::clBlue;
using painter_test::clGreen;
using painter_test::clGrey;
using painter_test::clRed;
using painter_test::TPlayer;

// Records the hooks' calls.
struct THookLog {
  std::vector<int> Painted;
  int Starts = 0;
  int Loops = 0;
  int Ends = 0;
  std::vector<std::thread::id> Threads;

  void Attach(TGIFImage& image) {
    image.OnStartPaint = [this](TGIFPainter*) {
      ++Starts;
      Threads.push_back(std::this_thread::get_id());
    };
    image.OnPaint = [this](TGIFPainter* painter) {
      Painted.push_back(painter->ActiveImage());
      Threads.push_back(std::this_thread::get_id());
    };
    image.OnLoop = [this](TGIFPainter*) { ++Loops; };
    image.OnEndPaint = [this](TGIFPainter* painter) {
      ++Ends;
      EXPECT_EQ(painter->ActiveImage(), -1);
      Threads.push_back(std::this_thread::get_id());
    };
  }
};

TEST(GifPainterPlayback, FramesPlayInOrderWithEveryHookOnTheUIThread) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {5, 5, 5, 5});
  THookLog log;
  log.Attach(player.image);
  player.Play();
  EXPECT_EQ(log.Painted, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(log.Starts, 1);
  EXPECT_EQ(log.Loops, 0);
  EXPECT_EQ(log.Ends, 1);
  ASSERT_FALSE(log.Threads.empty());
  for (const std::thread::id& id : log.Threads) EXPECT_EQ(id, std::this_thread::get_id());
}

TEST(GifPainterPlayback, LoopCountGivesThatManyPasses) {
  for (int count : {1, 2, 3}) {
    TPlayer player(true);
    AddFramesWithDelays(player.image, {5, 5, 5});
    AddLoopAt(player.image, 0, count);
    THookLog log;
    log.Attach(player.image);
    player.Play();
    std::vector<int> expected;
    for (int pass = 0; pass < count; ++pass) expected.insert(expected.end(), {0, 1, 2});
    EXPECT_EQ(log.Painted, expected) << count;
    EXPECT_EQ(log.Loops, count - 1) << count;
    EXPECT_EQ(log.Ends, 1);
  }
}

TEST(GifPainterPlayback, ThreadedLoopCountZeroPlaysUntilStopped) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {5, 5, 5});
  AddLoopAt(player.image, 0, 0);
  THookLog log;
  log.Attach(player.image);
  player.Draw();
  player.dispatcher.DrainUntil([&] { return log.Painted.size() >= 10; });
  EXPECT_EQ(player.image.PainterCount(), 1);
  player.image.StopPainters();
  EXPECT_EQ(player.image.PainterCount(), 0);
  EXPECT_GE(log.Painted.size(), 10u);
  for (std::size_t i = 0; i < log.Painted.size(); ++i) EXPECT_EQ(log.Painted[i], static_cast<int>(i % 3));
  // Stopped painters hand nothing more over, not even the end hook.
  EXPECT_EQ(log.Ends, 0);
}

TEST(GifPainterPlayback, RepeatForeverIgnoresTheLoopCount) {
  TPlayer player(true);
  player.image.PaintOptions |= poRepeatForever;
  AddFramesWithDelays(player.image, {5, 5});
  AddLoopAt(player.image, 0, 2);
  THookLog log;
  log.Attach(player.image);
  player.Draw();
  player.dispatcher.DrainUntil([&] { return log.Painted.size() >= 7; });
  player.image.StopPainters();
  EXPECT_GE(log.Loops, 3);
}

TEST(GifPainterPlayback, WithoutRepeatOnePassIsPlayed) {
  TPlayer player(true);
  player.image.PaintOptions = static_cast<std::uint16_t>(player.image.PaintOptions & ~poRepeat);
  AddFramesWithDelays(player.image, {5, 5});
  AddLoopAt(player.image, 0, 3);
  THookLog log;
  log.Attach(player.image);
  player.Play();
  EXPECT_EQ(log.Painted, (std::vector<int>{0, 1}));
}

TEST(GifPainterPlayback, InlineLoopCountZeroPlaysOnceInsideDraw) {
  TPlayer player(false);
  AddFramesWithDelays(player.image, {5, 5, 5});
  AddLoopAt(player.image, 0, 0);
  THookLog log;
  log.Attach(player.image);
  player.Draw();
  EXPECT_EQ(log.Painted, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(log.Ends, 1);
  EXPECT_EQ(player.image.PainterCount(), 0);
}

TEST(GifPainterPlayback, LaterPassesStartAtTheFrameHoldingTheLoop) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {5, 5, 5, 5});
  AddLoopAt(player.image, 1, 2);
  THookLog log;
  log.Attach(player.image);
  player.Play();
  EXPECT_EQ(log.Painted, (std::vector<int>{0, 1, 2, 3, 1, 2, 3}));
}

TEST(GifPainterPlayback, AnEmptyFrameEndsThePass) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {5, 5});
  AddEmptyFrame(player.image);
  AddFramesWithDelays(player.image, {5});
  AddLoopAt(player.image, 0, 2);
  THookLog log;
  log.Attach(player.image);
  player.Play();
  EXPECT_EQ(log.Painted, (std::vector<int>{0, 1, 0, 1}));
}

TEST(GifPainterPlayback, NothingToShowEndsAnEndlessPlayback) {
  // Frame 0 is empty: each pass would show nothing and start again at once.
  TPlayer player(true);
  player.image.PaintOptions |= poRepeatForever;
  AddEmptyFrame(player.image);
  AddFramesWithDelays(player.image, {5});
  THookLog log;
  log.Attach(player.image);
  player.Play();
  EXPECT_TRUE(log.Painted.empty());
  EXPECT_EQ(log.Ends, 1);
}

TEST(GifPainterPlayback, AfterPaintHookChoosesTheNextFrame) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {5, 5, 5, 5});
  THookLog log;
  log.Attach(player.image);
  player.image.OnAfterPaint = [](TGIFPainter* painter) {
    if (painter->ActiveImage() == 0) painter->SetActiveImage(3);
  };
  player.Play();
  EXPECT_EQ(log.Painted, (std::vector<int>{0, 3}));
}

TEST(GifPainterPlayback, RestartPlaysAgainFromFrameZero) {
  TPlayer player(false);
  AddFramesWithDelays(player.image, {5, 5, 5});
  THookLog log;
  log.Attach(player.image);
  bool restarted = false;
  player.image.OnAfterPaint = [&](TGIFPainter* painter) {
    if (painter->ActiveImage() == 1 && !restarted) {
      restarted = true;
      painter->Restart();
    }
  };
  player.Draw();
  EXPECT_EQ(log.Painted, (std::vector<int>{0, 1, 0, 1, 2}));
  EXPECT_EQ(log.Starts, 2);
  EXPECT_EQ(log.Ends, 1);
}

TEST(GifDocumentDraw, OneFrameIsDrawnStill) {
  TPlayer player(true);
  AddFrameAt(player.image, 0, 0, 2, 2, {clRed}, 5, dmNone);
  AddLoopAt(player.image, 0, 0);
  THookLog log;
  log.Attach(player.image);
  player.surface = TBitmap(4, 4, TPixelFormat::pf24bit);
  player.Draw();
  EXPECT_EQ(player.image.PainterCount(), 0);
  EXPECT_EQ(player.image.CompositeBitmap(), nullptr);
  EXPECT_TRUE(log.Painted.empty());
  // Stretched over the whole rectangle.
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(player.surface.GetPixel(x, y), clRed);
}

TEST(GifDocumentDraw, AnimationOffDrawsFrameZeroStill) {
  TPlayer player(true);
  player.image.PaintOptions = static_cast<std::uint16_t>(player.image.PaintOptions & ~poAnimate);
  AddFrameAt(player.image, 0, 0, 4, 4, {clRed}, 5, dmNone);
  AddFrameAt(player.image, 1, 1, 2, 2, {clGreen}, 5, dmNone);
  THookLog log;
  log.Attach(player.image);
  player.Draw();
  EXPECT_EQ(player.image.PainterCount(), 0);
  EXPECT_TRUE(log.Painted.empty());
  EXPECT_EQ(player.surface.GetPixel(1, 1), clRed);
}

TEST(GifDocumentDraw, ReturnsWithTheFirstFramePaintedAndCopiesTheCompositeLater) {
  // The clock is held: frame 1 cannot come before the test looks.
  TPlayer player(true, false);
  AddFrameAt(player.image, 0, 0, 2, 2, {clRed}, 5, dmNone);
  AddFrameAt(player.image, 0, 0, 2, 2, {clBlue}, 5, dmNone);
  AddLoopAt(player.image, 0, 0);
  THookLog log;
  log.Attach(player.image);
  player.Draw();
  ASSERT_NE(player.image.CompositeBitmap(), nullptr);
  EXPECT_EQ(player.surface.GetPixel(0, 0), clRed);
  EXPECT_EQ(player.image.PainterCount(), 1);

  // A repaint somewhere else is a copy of the composite, stretched: no new painter.
  TBitmap other(4, 2, TPixelFormat::pf24bit);
  player.image.Draw(other, TRect{0, 0, 4, 2});
  EXPECT_EQ(log.Starts, 1);
  EXPECT_EQ(player.image.PainterCount(), 1);
  EXPECT_EQ(other.GetPixel(3, 1), player.image.CompositeBitmap()->GetPixel(1, 1));
}

TEST(GifDocumentDraw, TileRepeatsTheCompositeFromTheCorner) {
  TPlayer player(false);
  player.image.PaintOptions |= poTile;
  AddFrameAt(player.image, 0, 0, 2, 2, {clRed, clBlue}, 5, dmNone, {0, 1, 1, 0});
  AddFrameAt(player.image, 0, 0, 2, 2, {clRed, clBlue}, 5, dmNone, {0, 1, 1, 0});
  player.surface = TBitmap(5, 3, TPixelFormat::pf24bit);
  player.surface.FillRect(TRect{0, 0, 5, 3}, clGrey);
  player.image.Draw(player.surface, TRect{0, 0, 5, 3});
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(player.surface.GetPixel(x, y), ((x + y) % 2 == 0) ? clRed : clBlue) << x << "," << y;
}

TEST(GifDocumentDraw, AddingAFrameStopsThePainterAndTheNextDrawStartsOver) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {5, 5, 5});
  AddLoopAt(player.image, 0, 0);
  THookLog log;
  log.Attach(player.image);
  player.Draw();
  player.dispatcher.DrainUntil([&] { return log.Painted.size() >= 2; });

  AddFramesWithDelays(player.image, {5});
  EXPECT_EQ(player.image.CompositeBitmap(), nullptr);
  const std::size_t paintedBefore = log.Painted.size();
  player.RunToEnd();
  EXPECT_EQ(log.Painted.size(), paintedBefore);

  player.Draw();
  EXPECT_EQ(log.Painted[paintedBefore], 0);
  EXPECT_EQ(log.Starts, 2);
  player.image.StopPainters();
}

TEST(GifDocumentDraw, AssignToGivesFrameZeroOverTheBackground) {
  TGIFImage image;
  image.BackdropColor = clGrey;
  AddFrameAt(image, 1, 0, 2, 3, {clRed}, 5, dmNone);
  AddFrameAt(image, 0, 0, 1, 1, {clBlue}, 5, dmNone);
  TBitmap bitmap;
  image.AssignTo(bitmap);
  ASSERT_EQ(bitmap.Width(), 3);
  ASSERT_EQ(bitmap.Height(), 3);
  for (int y = 0; y < 3; ++y) {
    EXPECT_EQ(bitmap.GetPixel(0, y), clGrey) << y;
    EXPECT_EQ(bitmap.GetPixel(1, y), clRed) << y;
    EXPECT_EQ(bitmap.GetPixel(2, y), clRed) << y;
  }
  EXPECT_EQ(image.PainterCount(), 0);

  TGIFImage empty;
  empty.AssignTo(bitmap);
  EXPECT_TRUE(bitmap.Empty());
}

}  // namespace
}  // namespace clipvane
