// The transition clip as a GIF document: frames, their size and colours after reduction, the
// looping and graphic control extensions in order, the delay, abort, and refused settings.
#include <gtest/gtest.h>

#include "core/error.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "runs/transitions/transition_clip.h"
#include "transition_test_pictures.h"

namespace clipvane {
namespace {

using testing::Solid;

TEST(TransitionClipDocument, WhiteToBlackIsElevenLoopingFramesOfATenthSecond) {
  TVideoState state;
  state.SourceEmpty = state.DestinationEmpty = true;
  state.TransitionDurationMs = 1000;
  TTransitionSlot source{TBitmap(), clWhite}, destination{TBitmap(), clBlack};
  int shown = 0;
  const TTransitionClip clip = BuildTransitionClip(
      state, source, destination, 10, [] { return TTransitionEffect::CrossDissolve; }, TRunHooks{},
      [&](const TBitmap& frame) {
        EXPECT_EQ(frame.Width(), 100);
        ++shown;
      });
  ASSERT_TRUE(clip.Document);
  TGIFImage& document = *clip.Document;
  EXPECT_EQ(clip.FrameCount, 11);
  EXPECT_EQ(shown, 11);
  EXPECT_EQ(clip.Delay, 10);
  EXPECT_EQ(document.ReductionMethod, reduceOctreeSystem);
  EXPECT_EQ(document.DitherKind, ditherFloydSteinberg);
  ASSERT_EQ(document.Images().Count(), 11);
  EXPECT_EQ(document.Width(), 100);
  EXPECT_EQ(document.Height(), 100);
  // The clip holds its frames as a save writes them, not their pixels.
  for (const auto& frame : document.Images()) {
    EXPECT_NE(frame->EncodedData(), nullptr);
    EXPECT_FALSE(frame->PixelsHeld());
  }

  const int grey[] = {255, 230, 204, 178, 153, 128, 102, 76, 51, 26, 0};
  for (int k = 0; k < 11; ++k) {
    TGIFSubImage* frame = document.Images()[k];
    ASSERT_EQ(frame->Width(), 100);
    ASSERT_EQ(frame->Height(), 100);
    // A solid picture keeps its exact colour through the octree reduction.
    const int index = frame->Pixel(50, 50);
    EXPECT_EQ(frame->ColorMap().Color(index), RGB(grey[k], grey[k], grey[k])) << "frame " << k;
    EXPECT_EQ(frame->Pixel(0, 0), index);
    EXPECT_EQ(frame->Pixel(99, 99), index);

    const TGIFExtensionList& extensions = frame->Extensions();
    ASSERT_EQ(extensions.Count(), k == 0 ? 2 : 1) << "frame " << k;
    if (k == 0) {
      const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(extensions[0]);
      ASSERT_NE(loop, nullptr);
      EXPECT_EQ(loop->LoopCount, 0);
    }
    const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extensions[k == 0 ? 1 : 0]);
    ASSERT_NE(control, nullptr);
    EXPECT_EQ(control->Delay(), 10);
    EXPECT_FALSE(control->Transparent());
  }
  // The slots now show the pictures the clip was made from.
  EXPECT_EQ(source.Picture, Solid(100, 100, clWhite));
  EXPECT_EQ(destination.Picture, Solid(100, 100, clBlack));
}

TEST(TransitionClipDocument, PaddedPicturesGiveSquareFrames) {
  TVideoState state;
  state.TransitionDurationMs = 1000;
  TTransitionSlot source{Solid(300, 200, RGB(255, 0, 0)), RGB(0, 0, 255)};
  TTransitionSlot destination{Solid(200, 300, RGB(0, 255, 0)), RGB(255, 255, 0)};
  const TTransitionClip clip = BuildTransitionClip(
      state, source, destination, 3, [] { return TTransitionEffect::CrossDissolve; }, TRunHooks{});
  EXPECT_EQ(clip.Width, 300);
  EXPECT_EQ(clip.Height, 300);
  EXPECT_EQ(clip.Delay, 33);  // trunc(1000 / 30)
  ASSERT_EQ(clip.Document->Images().Count(), 4);
  TGIFSubImage* first = clip.Document->Images()[0];
  EXPECT_EQ(first->Width(), 300);
  EXPECT_EQ(first->Height(), 300);
  EXPECT_EQ(first->ColorMap().Color(first->Pixel(10, 10)), RGB(255, 0, 0));
  EXPECT_EQ(first->ColorMap().Color(first->Pixel(10, 250)), RGB(0, 0, 255));
  TGIFSubImage* last = clip.Document->Images()[3];
  EXPECT_EQ(last->ColorMap().Color(last->Pixel(10, 10)), RGB(0, 255, 0));
  EXPECT_EQ(last->ColorMap().Color(last->Pixel(250, 10)), RGB(255, 255, 0));
}

TEST(TransitionClipDocument, AbortDuringTheFirstFrameGivesADocumentWithoutFrames) {
  TVideoState state;
  state.SourceEmpty = state.DestinationEmpty = true;
  state.TransitionDurationMs = 1000;
  TTransitionSlot source, destination;
  TRunHooks hooks;
  hooks.processMessages = [&] { state.ConvertAbort = true; };
  const TTransitionClip clip = BuildTransitionClip(
      state, source, destination, 10, [] { return TTransitionEffect::FadeOutIn; }, hooks);
  ASSERT_TRUE(clip.Document);
  EXPECT_EQ(clip.Document->Images().Count(), 0);
  EXPECT_EQ(clip.FrameCount, 0);
  EXPECT_EQ(clip.Width, 100);
  EXPECT_EQ(clip.Height, 100);
}

TEST(TransitionClipDocument, UnusableSettingsLeaveTheSlotsAlone) {
  TVideoState state;
  state.SourceEmpty = state.DestinationEmpty = true;
  state.TransitionDurationMs = 1000;
  TTransitionSlot source{Solid(3, 3, clBlack), clWhite}, destination{Solid(4, 4, clBlack), clWhite};
  const auto effect = [] { return TTransitionEffect::CrossDissolve; };
  EXPECT_THROW(BuildTransitionClip(state, source, destination, 0, effect, TRunHooks{}), EClipvaneError);
  EXPECT_THROW(BuildTransitionClip(state, source, destination, 51, effect, TRunHooks{}), EClipvaneError);
  state.TransitionDurationMs = 0;
  EXPECT_THROW(BuildTransitionClip(state, source, destination, 10, effect, TRunHooks{}), EClipvaneError);
  EXPECT_EQ(source.Picture, Solid(3, 3, clBlack));
  EXPECT_EQ(destination.Picture, Solid(4, 4, clBlack));
}

}  // namespace
}  // namespace clipvane
