// The transition clip with "Best quality": every step the user asked for, each shown from its
// place on the exact time line (duration / steps a step), and what a viewer shows after each
// frame is the picture the effect drew.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "gif/gif_image.h"
#include "gif/gif_stream.h"
#include "runs/transitions/transition_clip.h"
#include "support/gif_giflib_decode.h"

namespace clipvane {
namespace {

struct TBestClip {
  std::vector<TBitmap> Drawn;  // the effect's pictures, as the run handed them on
  giflib_check::TGiflibGif Gif;
  TTransitionClip Clip;
};

TBestClip BuildBest(int steps, int durationMs, TTransitionEffect effect) {
  TVideoState state;
  state.SourceEmpty = state.DestinationEmpty = true;
  state.TransitionDurationMs = durationMs;
  TTransitionSlot source{TBitmap(), RGB(250, 250, 250)}, destination{TBitmap(), RGB(10, 40, 200)};
  TBestClip result;
  result.Clip = BuildTransitionClip(
      state, source, destination, steps, [effect] { return effect; }, TRunHooks{},
      [&](const TBitmap& frame) { result.Drawn.push_back(frame); }, true);
  EXPECT_TRUE(result.Clip.Document != nullptr);
  if (!result.Clip.Document) return result;
  TGIFMemoryStream stream;
  result.Clip.Document->SaveToStream(stream);
  result.Gif = giflib_check::DecodeGif(stream.TakeBytes());
  EXPECT_TRUE(result.Gif.Ok);
  return result;
}

std::vector<int> Delays(const giflib_check::TGiflibGif& gif) {
  std::vector<int> delays;
  for (const auto& frame : gif.Frames) delays.push_back(frame.Delay);
  return delays;
}

TEST(TransitionClipBest, StepsStartOnTheExactTimeLineAndShowWhatTheEffectDrew) {
  const TBestClip best = BuildBest(3, 1000, TTransitionEffect::LeftRight);
  ASSERT_EQ(best.Gif.Frames.size(), 4u);
  EXPECT_EQ(best.Clip.FrameCount, 4);
  // 333.3 ms a step: starts 0, 33, 67, 100 and the end at 133 hundredths.
  EXPECT_EQ(Delays(best.Gif), (std::vector<int>{33, 34, 33, 33}));
  EXPECT_EQ(best.Clip.Delay, 33);
  EXPECT_EQ(best.Gif.LoopBlockFrame, 0);
  const std::vector<TBitmap> shown = giflib_check::ComposedFrames(best.Gif);
  ASSERT_EQ(shown.size(), best.Drawn.size());
  for (std::size_t k = 0; k < shown.size(); ++k) EXPECT_TRUE(shown[k] == best.Drawn[k]) << "frame " << k;
}

TEST(TransitionClipBest, EveryStepStaysEvenWhenTheDurationIsTooShortForIt) {
  // 10 ms over 50 steps: no browser shows a frame for less than 2 hundredths, so each step
  // gets 2 rather than being left out.
  const TBestClip best = BuildBest(50, 10, TTransitionEffect::CrossDissolve);
  EXPECT_EQ(Delays(best.Gif), std::vector<int>(51, 2));
  EXPECT_EQ(BestTransitionTimeline(10, 50).TotalHundredths(), 102);
  // 1000 ms over 10 steps: a tenth of a second each, as without "Best quality".
  EXPECT_EQ(BestTransitionTimeline(1000, 10).TotalHundredths(), 110);
}

}  // namespace
}  // namespace clipvane
