// The transition clip without a GIF: slot preparation and padding, the duration and delay
// rules, and the run loop's frame sequence, extensions, progress, abort and effect changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/error.h"
#include "runs/transitions/transition_clip.h"
#include "transition_test_pictures.h"

namespace clipvane {
namespace {

using testing::Solid;

// Records what the run hands over, in order: "frame 0", "loop 0", "control 0 10", ...
class TRecordingSink : public TTransitionClipSink {
 public:
  int AddFrame(const TBitmap& frame) override {
    frames.push_back(frame);
    events.push_back("frame " + std::to_string(frames.size() - 1));
    return static_cast<int>(frames.size()) - 1;
  }
  void AddLoopExtension(int index) override { events.push_back("loop " + std::to_string(index)); }
  void AddControlExtension(int index, int delay) override {
    events.push_back("control " + std::to_string(index) + " " + std::to_string(delay));
  }
  std::vector<TBitmap> frames;
  std::vector<std::string> events;
};

bool IsSolid(const TBitmap& picture, const TRect& rect, TColor color) {
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x)
      if (picture.GetPixel(x, y) != color) return false;
  return true;
}

TVideoState EmptySlots(bool sourceEmpty, bool destinationEmpty) {
  TVideoState state;
  state.SourceEmpty = sourceEmpty;
  state.DestinationEmpty = destinationEmpty;
  state.TransitionDurationMs = 1000;
  return state;
}

TEST(TransitionDuration, TextIsAWholeNumberHeldToTenTo5000) {
  EXPECT_EQ(TransitionDurationFromText("4999"), 4999);
  EXPECT_EQ(TransitionDurationFromText("7"), 10);
  EXPECT_EQ(TransitionDurationFromText("99999"), 5000);
  EXPECT_EQ(TransitionDurationFromText("abc"), 1000);
  EXPECT_EQ(TransitionDurationFromText(""), 1000);
  EXPECT_EQ(TransitionDurationFromText("12.5"), 1000);
  EXPECT_EQ(TransitionDurationFromText("500ms"), 1000);
  EXPECT_EQ(TransitionDurationFromText("-"), 1000);
  EXPECT_EQ(TransitionDurationFromText("-300"), 10);
  EXPECT_EQ(TransitionDurationFromText("+250"), 250);
  EXPECT_EQ(TransitionDurationFromText("123456789012345678901234567890"), 5000);
}

TEST(TransitionDelay, SpreadsTheDurationOverTheStepsAtLeastOneHundredth) {
  EXPECT_EQ(TransitionFrameDelay(10, 50), 1);  // trunc(0.02) = 0
  EXPECT_EQ(TransitionFrameDelay(1000, 3), 33);
  EXPECT_EQ(TransitionFrameDelay(1000, 10), 10);
  EXPECT_EQ(TransitionFrameDelay(5000, 1), 500);
  EXPECT_EQ(TransitionFrameDelay(999, 1), 99);
  EXPECT_THROW(TransitionFrameDelay(1000, 0), EClipvaneError);
}

TEST(TransitionSlots, BothEmptyGiveHundredSquarePicturesOfTheirColours) {
  TVideoState state = EmptySlots(true, true);
  TTransitionSlot source{Solid(7, 3, clBlack), RGB(10, 20, 30)};
  TTransitionSlot destination{Solid(5, 9, clBlack), RGB(200, 100, 0)};
  const TTransitionFrames frames = PrepareTransitionFrames(state, source, destination);
  EXPECT_EQ(frames.Source, Solid(100, 100, RGB(10, 20, 30)));
  EXPECT_EQ(frames.Destination, Solid(100, 100, RGB(200, 100, 0)));
  EXPECT_EQ(frames.Middle, Solid(100, 100, RGB(10, 20, 30)));
  EXPECT_EQ(frames.Output.Width(), 100);
  EXPECT_EQ(frames.Output.Height(), 100);
  EXPECT_EQ(frames.Output.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(source.Picture, frames.Source);
  EXPECT_EQ(destination.Picture, frames.Destination);
  EXPECT_TRUE(state.SourceEmpty);
  EXPECT_TRUE(state.DestinationEmpty);
}

TEST(TransitionSlots, PicturesArePaddedToTheCommonSizeWithTheirSlotColour) {
  TVideoState state = EmptySlots(false, false);
  TTransitionSlot source{Solid(300, 200, RGB(255, 0, 0)), RGB(0, 0, 255)};
  TTransitionSlot destination{Solid(200, 300, RGB(0, 255, 0)), RGB(9, 9, 9)};
  const TTransitionFrames frames = PrepareTransitionFrames(state, source, destination);
  ASSERT_EQ(frames.Source.Width(), 300);
  ASSERT_EQ(frames.Source.Height(), 300);
  EXPECT_TRUE(IsSolid(frames.Source, TRect{0, 0, 300, 200}, RGB(255, 0, 0)));
  EXPECT_TRUE(IsSolid(frames.Source, TRect{0, 200, 300, 300}, RGB(0, 0, 255)));
  EXPECT_TRUE(IsSolid(frames.Destination, TRect{0, 0, 200, 300}, RGB(0, 255, 0)));
  EXPECT_TRUE(IsSolid(frames.Destination, TRect{200, 0, 300, 300}, RGB(9, 9, 9)));
  EXPECT_EQ(frames.Middle, Solid(300, 300, RGB(0, 0, 255)));
  // The views now show the padded pictures.
  EXPECT_EQ(source.Picture, frames.Source);
  EXPECT_EQ(destination.Picture, frames.Destination);
}

TEST(TransitionSlots, AnEmptySlotTakesTheOtherSlotsSize) {
  TVideoState state = EmptySlots(true, false);
  TTransitionSlot source{Solid(100, 100, clBlack), RGB(1, 2, 3)};
  TTransitionSlot destination{Solid(320, 240, RGB(50, 60, 70)), clWhite};
  const TTransitionFrames frames = PrepareTransitionFrames(state, source, destination);
  EXPECT_EQ(frames.Source, Solid(320, 240, RGB(1, 2, 3)));
  EXPECT_EQ(frames.Destination, Solid(320, 240, RGB(50, 60, 70)));

  state = EmptySlots(false, true);
  TTransitionSlot opened{Solid(40, 30, RGB(5, 5, 5)), clWhite};
  TTransitionSlot empty{Solid(400, 400, clBlack), RGB(7, 8, 9)};
  const TTransitionFrames other = PrepareTransitionFrames(state, opened, empty);
  EXPECT_EQ(other.Destination, Solid(40, 30, RGB(7, 8, 9)));
}

TEST(TransitionSlots, PalettePicturesAreDrawnAsTrueColour) {
  TVideoState state = EmptySlots(false, false);
  TBitmap grey(4, 4, TPixelFormat::pf8bit);
  std::vector<TRGBQuad> palette(256);
  for (int i = 0; i < 256; ++i)
    palette[static_cast<std::size_t>(i)] =
        TRGBQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(i), 0};
  grey.SetPalette(palette);
  grey.FillRect(TRect{0, 0, 4, 4}, RGB(77, 77, 77));
  TTransitionSlot source{grey, clWhite};
  TTransitionSlot destination{Solid(2, 2, clBlack), clWhite};
  const TTransitionFrames frames = PrepareTransitionFrames(state, source, destination);
  EXPECT_EQ(frames.Source.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(frames.Source, Solid(4, 4, RGB(77, 77, 77)));
  EXPECT_EQ(source.Picture.PixelFormat(), TPixelFormat::pf24bit);
}

TEST(TransitionSlots, UnusableSizesAreRefusedAndTheSlotsKeepTheirPictures) {
  TVideoState state = EmptySlots(false, false);
  TTransitionSlot source{Solid(20000, 1, clBlack), clWhite};
  TTransitionSlot destination{Solid(1, 20000, clBlack), clWhite};
  const TBitmap sourceBefore = source.Picture, destinationBefore = destination.Picture;
  EXPECT_THROW(PrepareTransitionFrames(state, source, destination), EClipvaneError);
  EXPECT_EQ(source.Picture, sourceBefore);
  EXPECT_EQ(destination.Picture, destinationBefore);

  state = EmptySlots(false, true);
  TTransitionSlot nothing{TBitmap(), clWhite};
  TTransitionSlot empty{Solid(3, 3, clBlack), clWhite};
  EXPECT_THROW(PrepareTransitionFrames(state, nothing, empty), EClipvaneError);
  EXPECT_EQ(empty.Picture, Solid(3, 3, clBlack));
}

class TransitionRun : public ::testing::Test {
 protected:
  // White source slot, black destination slot, both empty: 100 x 100.
  void SetUp() override {
    state = EmptySlots(true, true);
    source.Color = clWhite;
    destination.Color = clBlack;
    frames = PrepareTransitionFrames(state, source, destination);
  }
  TVideoState state;
  TTransitionSlot source, destination;
  TTransitionFrames frames;
  TRecordingSink sink;
};

TEST_F(TransitionRun, WhiteToBlackInTenStepsGivesElevenFramesWithDelayTen) {
  TTransitionRunSettings settings;
  settings.Steps = 10;
  settings.Delay = TransitionFrameDelay(state.TransitionDurationMs, 10);
  settings.Effect = [] { return TTransitionEffect::CrossDissolve; };
  EXPECT_EQ(RunTransitionClip(state, frames, settings, TRunHooks{}, sink), 11);
  ASSERT_EQ(sink.frames.size(), 11u);
  // nearest(255 (10 - k) / 10): the halves 229.5, 178.5, 127.5, 76.5, 25.5 go to even.
  const int expected[] = {255, 230, 204, 178, 153, 128, 102, 76, 51, 26, 0};
  for (int k = 0; k <= 10; ++k) {
    const int v = expected[k];
    EXPECT_EQ(sink.frames[static_cast<std::size_t>(k)], Solid(100, 100, RGB(v, v, v))) << "frame " << k;
  }
  ASSERT_GE(sink.events.size(), 5u);
  EXPECT_EQ(sink.events[0], "frame 0");
  EXPECT_EQ(sink.events[1], "loop 0");
  EXPECT_EQ(sink.events[2], "control 0 10");
  EXPECT_EQ(sink.events[3], "frame 1");
  EXPECT_EQ(sink.events[4], "control 1 10");
  EXPECT_EQ(std::count(sink.events.begin(), sink.events.end(), "loop 0"), 1);
  EXPECT_EQ(sink.events.back(), "control 10 10");
  EXPECT_EQ(sink.events.size(), 11u * 2 + 1);
}

TEST_F(TransitionRun, ProgressRunsToStepsPlusOneThenBackToZero) {
  std::vector<std::pair<int, int>> progress;
  TRunHooks hooks;
  hooks.progress = [&](int position, int maximum) { progress.emplace_back(position, maximum); };
  TTransitionRunSettings settings;
  settings.Steps = 2;
  RunTransitionClip(state, frames, settings, hooks, sink);
  const std::vector<std::pair<int, int>> expected = {{0, 3}, {1, 3}, {2, 3}, {3, 3}, {3, 3}, {0, 3}};
  EXPECT_EQ(progress, expected);
}

TEST_F(TransitionRun, AbortDropsTheFrameAtWhichItIsNoticed) {
  int rendered = 0;
  TRunHooks hooks;
  hooks.processMessages = [&] {
    if (++rendered == 4) state.ConvertAbort = true;  // while frame 3 is being made
  };
  std::vector<int> shown;
  TTransitionRunSettings settings;
  settings.Steps = 10;
  settings.FrameAdded = [&](const TBitmap&) { shown.push_back(static_cast<int>(sink.frames.size()) - 1); };
  EXPECT_EQ(RunTransitionClip(state, frames, settings, hooks, sink), 3);
  EXPECT_EQ(sink.frames.size(), 3u);
  EXPECT_EQ(rendered, 4);
  EXPECT_EQ(shown, (std::vector<int>{0, 1, 2}));
}

TEST_F(TransitionRun, AbortDuringTheFirstFrameAddsNothing) {
  TRunHooks hooks;
  hooks.aborted = [] { return true; };
  TTransitionRunSettings settings;
  EXPECT_EQ(RunTransitionClip(state, frames, settings, hooks, sink), 0);
  EXPECT_TRUE(sink.events.empty());
}

TEST_F(TransitionRun, AStaleAbortFromAnEarlierRunIsCleared) {
  state.ConvertAbort = true;
  TTransitionRunSettings settings;
  settings.Steps = 3;
  EXPECT_EQ(RunTransitionClip(state, frames, settings, TRunHooks{}, sink), 4);
  EXPECT_FALSE(state.ConvertAbort);
}

TEST_F(TransitionRun, AChangedEffectAppliesFromTheNextStep) {
  TTransitionEffect selected = TTransitionEffect::CrossDissolve;
  int step = 0;
  TRunHooks hooks;
  hooks.processMessages = [&] {
    if (step++ == 1) selected = TTransitionEffect::LeftRight;  // chosen while step 1 is shown
  };
  TTransitionRunSettings settings;
  settings.Steps = 4;
  settings.Effect = [&] { return selected; };
  RunTransitionClip(state, frames, settings, hooks, sink);
  ASSERT_EQ(sink.frames.size(), 5u);
  EXPECT_EQ(sink.frames[1], Solid(100, 100, RGB(191, 191, 191)));  // nearest(255 * 3 / 4)
  // Step 2 wipes trunc(100 * 2 / 4) = 50 columns of black over what step 1 left.
  EXPECT_TRUE(IsSolid(sink.frames[2], TRect{0, 0, 50, 100}, clBlack));
  EXPECT_TRUE(IsSolid(sink.frames[2], TRect{50, 0, 100, 100}, RGB(191, 191, 191)));
  EXPECT_EQ(sink.frames[4], Solid(100, 100, clBlack));
}

TEST_F(TransitionRun, UnusableSettingsAreRefusedBeforeAnyFrame) {
  TTransitionRunSettings settings;
  settings.Steps = 51;
  EXPECT_THROW(RunTransitionClip(state, frames, settings, TRunHooks{}, sink), EClipvaneError);
  settings.Steps = 0;
  EXPECT_THROW(RunTransitionClip(state, frames, settings, TRunHooks{}, sink), EClipvaneError);
  settings.Steps = 10;
  settings.Delay = 0;
  EXPECT_THROW(RunTransitionClip(state, frames, settings, TRunHooks{}, sink), EClipvaneError);
  EXPECT_TRUE(sink.events.empty());
}

}  // namespace
}  // namespace clipvane
