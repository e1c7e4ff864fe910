// The GIF frame delay from the video's length, the status line and the page's controls
// around a run.
#include <gtest/gtest.h>

#include <exception>
#include <stdexcept>

#include "runs/gif/gif_conversion.h"

namespace clipvane {
namespace {

TEST(GifFrameDelay, TenSecondsOfTwoHundredFiftyFrames) {
  EXPECT_EQ(GifFrameDelay(10000, 2, 250, true), 8);   // a GIF frame stands for two 40 ms frames
  EXPECT_EQ(GifFrameDelay(10000, 2, 250, false), 4);  // plays twice as fast
  EXPECT_EQ(GifFrameDelay(10000, 1, 250, true), 4);
}

TEST(GifFrameDelay, PartialSecondsCount) {
  // 2.9 s over 72 frames is 40.3 ms a frame: 4, not the 3 that whole seconds would give.
  EXPECT_EQ(GifFrameDelay(2900, 1, 72, true), 4);
  EXPECT_EQ(GifFrameDelay(2900, 3, 72, true), 12);
  // 1.999 s of 50 frames: 3.998 -> 4 (whole seconds would make it 2).
  EXPECT_EQ(GifFrameDelay(1999, 1, 50, false), 4);
}

TEST(GifFrameDelay, HalvesRoundAwayFromZero) {
  EXPECT_EQ(GifFrameDelay(25, 1, 1, true), 3);    // 2.5
  EXPECT_EQ(GifFrameDelay(35, 1, 1, true), 4);    // 3.5
  EXPECT_EQ(GifFrameDelay(249, 1, 10, true), 2);  // 2.49
}

TEST(GifFrameDelay, WithoutKeepingTheSpeedTheRateDoesNotMatter) {
  for (int rate = 1; rate <= 10; ++rate) EXPECT_EQ(GifFrameDelay(12345, rate, 300, false), 4);
}

TEST(GifFrameDelay, StaysWithinWhatAGifCanHold) {
  EXPECT_EQ(GifFrameDelay(10000, 1, 0, true), 10);  // no frames to divide by
  EXPECT_EQ(GifFrameDelay(10000, 1, -5, true), 10);
  EXPECT_EQ(GifFrameDelay(1, 1, 1000, true), 1);  // never 0, which players replace
  EXPECT_EQ(GifFrameDelay(0, 1, 250, true), 1);
  // 24 days in one frame: beyond 16 bits the delay stays at its largest instead of wrapping.
  EXPECT_EQ(GifFrameDelay(2073600000, 10, 1, true), 65535);
  EXPECT_EQ(GifFrameDelay(655359, 1, 1, true), 65535);
  EXPECT_EQ(GifFrameDelay(655364, 1, 1, true), 65535);
}

TEST(GifStatusLine, SizeAndFrames) {
  EXPECT_EQ(GifStatusText(320, 240, 25), "Size: 320 x 240 pixels  Frames: 25");
  EXPECT_EQ(GifStatusText(0, 0, 0), "Size: 0 x 0 pixels  Frames: 0");
  EXPECT_EQ(ClearedGifStatusText(), " ");
}

TEST(GifPageControls, ARunLocksTheStartButtonsUntilClearGif) {
  const TGifControlChange start = GifRunStartControls();
  EXPECT_EQ(start.Abort, true);
  EXPECT_EQ(start.Convert, false);
  EXPECT_EQ(start.OpenAvi, false);
  EXPECT_EQ(start.Play, false);
  EXPECT_FALSE(start.ClearGif.has_value());  // stays as it was
  EXPECT_FALSE(start.StatusText.has_value());

  TGifConversionResult ended;
  ended.StatusText = GifStatusText(64, 48, 3);
  const TGifControlChange end = GifRunEndControls(ended, false);
  EXPECT_EQ(end.StatusText, "Size: 64 x 48 pixels  Frames: 3");
  EXPECT_EQ(end.ClearGif, true);
  EXPECT_EQ(end.Save, true);
  EXPECT_EQ(end.Abort, false);
  EXPECT_EQ(end.Play, true);
  EXPECT_EQ(end.Pause, false);
  EXPECT_EQ(end.Reset, false);
  EXPECT_EQ(end.Preview, true);
  // Neither "Convert" nor "Open AVI" comes back before "Clear GIF".
  EXPECT_FALSE(end.Convert.has_value());
  EXPECT_FALSE(end.OpenAvi.has_value());

  const TGifControlChange clear = ClearGifControls();
  EXPECT_EQ(clear.Convert, true);
  EXPECT_EQ(clear.OpenAvi, true);
  EXPECT_EQ(clear.ClearGif, false);
  EXPECT_EQ(clear.Save, false);
  EXPECT_EQ(clear.Preview, false);
  EXPECT_EQ(clear.StatusText, " ");
}

TEST(GifPageControls, AFailedRunShowsNoPreviewButStillOffersSave) {
  TGifConversionResult failed;
  failed.StatusText = GifStatusText(64, 48, 0);
  const TGifControlChange end = GifRunEndControls(failed, true);
  EXPECT_FALSE(end.Preview.has_value());
  EXPECT_EQ(end.Save, true);
  EXPECT_EQ(end.ClearGif, true);
}

TEST(GifPageControls, AbortSetsTheSharedFlag) {
  TVideoState state;
  AbortGifRun(state);
  EXPECT_TRUE(state.ConvertAbort);
}

}  // namespace
}  // namespace clipvane
