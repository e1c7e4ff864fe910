// Painter threads: a stop ends a wait at once, stop-and-wait and stop-all leave no painter,
// a document going away stops its painters first, errors are captured and handed over, and
// hooks may clear or destroy the document without a deadlock.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gif_painter_test_fakes.h"

namespace clipvane {
namespace {

using painter_test::AddFrameAt;
using painter_test::AddFramesWithDelays;
using painter_test::AddLoopAt;
using painter_test::clRed;
using painter_test::TPlayer;
using painter_test::TSteppedClock;

// A threaded player whose clock does not move by itself: painters block in their waits.
struct THeldPlayer : TPlayer {
  THeldPlayer() : TPlayer(true, false) {
    AddFramesWithDelays(image, {10, 10, 10});
    AddLoopAt(image, 0, 0);
    image.OnPaint = [this](TGIFPainter*) { ++Paints; };
  }
  // Draws and runs the UI side until the painter waits after frame 0.
  void DrawAndHold() {
    Draw();
    dispatcher.DrainUntil([&] { return clock.Waiting() == 1; });
  }
  int Paints = 0;
};

TEST(GifPainterThreads, TimedWaitsEndWhenTheClockReachesThem) {
  THeldPlayer player;
  player.DrawAndHold();
  EXPECT_EQ(player.Paints, 1);
  player.clock.Advance(119);
  // Frame 1 cannot be painted before 120 ms: nothing is handed over meanwhile.
  EXPECT_FALSE(player.dispatcher.Drain());
  EXPECT_EQ(player.Paints, 1);
  player.clock.Advance(1);
  player.dispatcher.DrainUntil([&] { return player.Paints == 2; });
  EXPECT_EQ(player.clock.Waits().front(), 120);
  player.image.StopPainters();
}

TEST(GifPainterThreads, StopEndsAWaitAtOnce) {
  THeldPlayer player;
  player.DrawAndHold();
  const std::int64_t before = player.clock.Now();
  player.image.StopDraw();
  EXPECT_EQ(player.image.CompositeBitmap(), nullptr);
  player.RunToEnd();
  // The stop, not the clock, ended the wait; no frame was painted after it.
  EXPECT_EQ(player.clock.Now(), before);
  EXPECT_EQ(player.clock.Waiting(), 0);
  EXPECT_EQ(player.Paints, 1);
}

TEST(GifPainterThreads, StopAndWaitReturnsWithNoPainterLeft) {
  THeldPlayer player;
  player.DrawAndHold();
  player.image.StopPainters();
  EXPECT_EQ(player.image.PainterCount(), 0);
  EXPECT_EQ(player.image.CompositeBitmap(), nullptr);
  EXPECT_EQ(player.clock.Waiting(), 0);
  EXPECT_FALSE(player.dispatcher.Drain());
}

TEST(GifPainterThreads, DrawOnAnotherSurfaceReplacesThePainter) {
  THeldPlayer player;
  player.image.PaintOptions |= poPaintDirect;
  int starts = 0;
  player.image.OnStartPaint = [&](TGIFPainter*) { ++starts; };
  player.DrawAndHold();
  // The same surface and rectangle: the painter on display goes on.
  player.Draw();
  EXPECT_EQ(starts, 1);
  TBitmap other(6, 6, TPixelFormat::pf24bit);
  player.image.Draw(other, TRect{0, 0, 6, 6});
  player.dispatcher.DrainUntil([&] { return player.image.PainterCount() == 1 && player.clock.Waiting() == 1; });
  EXPECT_EQ(starts, 2);
  EXPECT_EQ(other.GetPixel(5, 5), player.image.Images()[0]->ColorMap().Color(0));
  player.image.StopPainters();
  EXPECT_EQ(player.image.PainterCount(), 0);
}

TEST(GifPainterThreads, StopAllEndsEveryPainter) {
  THeldPlayer player;
  player.DrawAndHold();
  TBitmap second(4, 4, TPixelFormat::pf24bit), third(4, 4, TPixelFormat::pf24bit);
  TGIFPainter* painter =
      TGIFImagePainters::Of(player.image).CreatePainter(player.image.PaintOptions, TRect{0, 0, 4, 4}, second);
  ASSERT_NE(painter, nullptr);
  painter->Start();
  painter = TGIFImagePainters::Of(player.image).CreatePainter(player.image.PaintOptions, TRect{0, 0, 4, 4}, third);
  ASSERT_NE(painter, nullptr);
  painter->Start();
  player.dispatcher.DrainUntil([&] { return player.clock.Waiting() == 3; });
  EXPECT_EQ(player.image.PainterCount(), 3);
  player.image.StopPainters();
  EXPECT_EQ(player.image.PainterCount(), 0);
  EXPECT_EQ(player.clock.Waiting(), 0);
}

TEST(GifPainterThreads, StopAllStartsAndEndsAPainterNeverStarted) {
  THeldPlayer player;
  TBitmap surface(4, 4, TPixelFormat::pf24bit);
  ASSERT_NE(TGIFImagePainters::Of(player.image).CreatePainter(player.image.PaintOptions, TRect{0, 0, 4, 4}, surface),
            nullptr);
  EXPECT_EQ(player.image.PainterCount(), 1);
  player.image.StopPainters();
  EXPECT_EQ(player.image.PainterCount(), 0);
  EXPECT_EQ(player.Paints, 0);
}

TEST(GifPainterThreads, DestroyingTheDocumentStopsItsPaintersFirst) {
  TUIDispatcher dispatcher;
  TSteppedClock clock(&dispatcher, false);
  int paints = 0;
  {
    auto image = std::make_unique<TGIFImage>();
    image->Dispatcher = &dispatcher;
    image->Clock = &clock;
    AddFramesWithDelays(*image, {10, 10});
    AddLoopAt(*image, 0, 0);
    image->OnPaint = [&](TGIFPainter*) { ++paints; };
    TBitmap surface(2, 2, TPixelFormat::pf24bit);
    image->Draw(surface, TRect{0, 0, 2, 2});
    dispatcher.DrainUntil([&] { return clock.Waiting() == 1; });
    image.reset();
  }
  EXPECT_EQ(clock.Waiting(), 0);
  EXPECT_EQ(paints, 1);
  // The clock moving on finds no painter to wake, and nothing is left to hand over.
  clock.Advance(10000);
  EXPECT_FALSE(dispatcher.Drain());
  EXPECT_EQ(paints, 1);
}

TEST(GifPainterThreads, AnErrorInPaintingIsHandedOverToTheUIThread) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {5, 5, 5});
  AddLoopAt(player.image, 0, 0);
  int paints = 0;
  player.image.OnPaint = [&](TGIFPainter* painter) {
    ++paints;
    if (painter->ActiveImage() == 1) throw GIFException("Painting failed");
  };
  player.Play();
  player.dispatcher.Drain();
  const std::vector<std::exception_ptr> errors = player.dispatcher.TakeErrors();
  ASSERT_EQ(errors.size(), 1u);
  try {
    std::rethrow_exception(errors[0]);
  } catch (const GIFException& error) {
    EXPECT_STREQ(error.what(), "Painting failed");
  } catch (...) {
    ADD_FAILURE() << "not a GIFException";
  }
  EXPECT_EQ(paints, 2);
  EXPECT_EQ(player.image.PainterCount(), 0);
}

TEST(GifPainterThreads, AnInlineErrorIsRaisedToTheCallerOfDraw) {
  TPlayer player(false);
  AddFramesWithDelays(player.image, {5, 5, 5});
  int paints = 0;
  player.image.OnAfterPaint = [&](TGIFPainter* painter) {
    ++paints;
    if (painter->ActiveImage() == 0) throw GIFException("Hook failed");
  };
  try {
    player.Draw();
    ADD_FAILURE() << "no error";
  } catch (const GIFException& error) {
    EXPECT_STREQ(error.what(), "Hook failed");
  }
  EXPECT_EQ(paints, 1);
  EXPECT_EQ(player.image.PainterCount(), 0);
  // The document draws again afterwards.
  player.image.OnAfterPaint = nullptr;
  player.image.StopDraw();
  int starts = 0;
  player.image.OnStartPaint = [&](TGIFPainter*) { ++starts; };
  player.Draw();
  EXPECT_EQ(starts, 1);
}

TEST(GifPainterThreads, AHookMayClearTheDocument) {
  TPlayer player(true);
  AddFramesWithDelays(player.image, {5, 5, 5});
  AddLoopAt(player.image, 0, 0);
  player.image.OnAfterPaint = [&](TGIFPainter* painter) {
    if (painter->ActiveImage() == 1) player.image.Clear();
  };
  player.Play();
  EXPECT_TRUE(player.image.Empty());
  EXPECT_EQ(player.image.PainterCount(), 0);
}

TEST(GifPainterThreads, AHookMayDestroyTheDocument) {
  TUIDispatcher dispatcher;
  TSteppedClock clock(&dispatcher);
  auto image = std::make_unique<TGIFImage>();
  image->Dispatcher = &dispatcher;
  image->Clock = &clock;
  AddFramesWithDelays(*image, {5, 5, 5});
  AddLoopAt(*image, 0, 0);
  int paints = 0;
  image->OnPaint = [&](TGIFPainter* painter) {
    ++paints;
    if (painter->ActiveImage() == 1) image.reset();
  };
  TBitmap surface(2, 2, TPixelFormat::pf24bit);
  image->Draw(surface, TRect{0, 0, 2, 2});
  dispatcher.DrainUntil([&] { return image == nullptr; });
  // The painter, cut loose from the document, ends by itself and hands nothing more over.
  EXPECT_FALSE(dispatcher.Drain());
  EXPECT_EQ(paints, 2);
}

}  // namespace
}  // namespace clipvane
