// The GIF conversion run over TVideoState with a frame source whose frames and failures the
// tests choose; every GIF is written and read back with giflib.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/error.h"
#include "gif/gif_stream.h"
#include "runs/gif/gif_conversion.h"
#include "support/avi_fixtures.h"
#include "support/gif_giflib_decode.h"

namespace clipvane {
namespace {

using giflib_check::DecodeGif;
using giflib_check::TGiflibGif;

// Frames 0 .. readable-1 exist; frame n shows its number (fixtures::NumberFrame) in 24 bits,
// or in 8 bits with the fixture's colour table, or is drawn by `paint`.
class TFakeSource : public TFrameSource {
 public:
  int width = 64, height = 48;
  int readable = 1000;
  bool palette = false;
  std::optional<int> errorAt;
  std::optional<int> outOfMemoryAt;
  bool failOpen = false;
  std::function<TBitmap(int)> paint;
  std::function<void(int)> onRead;
  std::vector<int> read;
  int opens = 0, closes = 0;

  void Open(const std::string&) override {
    if (failOpen) throw EClipvaneError("Failed to open AVI file");
    ++opens;
  }
  bool ReadFrame(int n) override {
    EXPECT_EQ(opens - closes, 1) << "read while not open";
    if (errorAt == n) throw EClipvaneError("Bitmap image is not valid");
    if (outOfMemoryAt == n) throw std::bad_alloc();
    if (n >= readable) return false;
    read.push_back(n);
    if (paint) {
      bitmap_ = paint(n);
    } else {
      bitmap_ = fixtures::NumberFrame(n, width, height);
      if (!palette) bitmap_.SetPixelFormat(TPixelFormat::pf24bit);
    }
    if (onRead) onRead(n);
    return true;
  }
  const TBitmap& DecodeBitmap() const override { return bitmap_; }
  void Close() override { ++closes; }

 private:
  TBitmap bitmap_;
};

TVideoState OpenedVideo(int lastFrame, int width = 64, int height = 48) {
  TVideoState state;
  state.FilePath = "/videos/clip.avi";
  state.FrameWidth = width;
  state.FrameHeight = height;
  state.DisplayRect = TRect{0, 0, width, height};
  state.LastFrame = lastFrame;
  state.LengthMs = lastFrame * 40;
  state.LengthSeconds = state.LengthMs / 1000;
  state.SamplingRate = 1;
  SelectAllFrames(state);
  SelectFullWindow(state);
  return state;
}

std::vector<std::uint8_t> Bytes(TGIFImage& document) {
  TGIFMemoryStream stream;
  document.SaveToStream(stream);
  return stream.TakeBytes();
}

TGiflibGif Decoded(const TGifConversionResult& result) {
  EXPECT_TRUE(result.Document != nullptr);
  if (!result.Document) return {};
  TGiflibGif gif = DecodeGif(Bytes(*result.Document));
  EXPECT_TRUE(gif.Ok) << "giflib error " << gif.Error;
  return gif;
}

// The run as it goes when nothing fails; an error fails the test.
TGifConversionResult Converted(TVideoState& state, TFrameSource& source, const TGifOptions& options = {},
                               const TRunHooks& hooks = {}) {
  TGifConversionResult result;
  RunGifConversion(state, source, options, hooks, result);
  return result;
}

// The message of the error that ends the run; result keeps what the run made before it.
std::string FailedRun(TVideoState& state, TFrameSource& source, const TGifOptions& options, const TRunHooks& hooks,
                      TGifConversionResult& result) {
  try {
    RunGifConversion(state, source, options, hooks, result);
  } catch (const EClipvaneError& error) {
    return error.what();
  }
  ADD_FAILURE() << "the run ended without an error";
  return {};
}

std::vector<int> ShownNumbers(const TGiflibGif& gif) {
  std::vector<int> numbers;
  for (const auto& frame : gif.Frames) numbers.push_back(fixtures::DecodeFrameNumber(frame.Picture));
  return numbers;
}

// Every pixel of a decoded frame inside `rect` has `color`.
void ExpectArea(const TBitmap& picture, const TRect& rect, TColor color, const char* what) {
  int wrong = 0;
  for (int y = rect.Top; y < rect.Bottom; ++y)
    for (int x = rect.Left; x < rect.Right; ++x) wrong += picture.GetPixel(x, y) != color;
  EXPECT_EQ(wrong, 0) << what;
}

TEST(GifRunWalk, VisitsEveryThirdTickedFrame) {
  TVideoState state = OpenedVideo(9);
  SetSamplingRate(state, 3);
  TFakeSource source;
  auto result = Converted(state, source, {}, {});
  EXPECT_EQ(source.read, (std::vector<int>{0, 3, 6, 9}));
  EXPECT_EQ(ShownNumbers(Decoded(result)), (std::vector<int>{0, 3, 6, 9}));

  state.FrameSelected[3] = false;
  TFakeSource again;
  result = Converted(state, again, {}, {});
  EXPECT_EQ(again.read, (std::vector<int>{0, 6, 9}));
  EXPECT_EQ(ShownNumbers(Decoded(result)), (std::vector<int>{0, 6, 9}));
  EXPECT_EQ(state.GifFrameCount, 3);
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 3");
}

TEST(GifRunWalk, AOneFrameRangeConvertsJustThatFrame) {
  TVideoState state = OpenedVideo(9);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 5, 8);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 3, 3);
  TFakeSource source;
  const auto result = Converted(state, source);
  EXPECT_EQ(source.read, (std::vector<int>{3}));
  EXPECT_EQ(ShownNumbers(Decoded(result)), (std::vector<int>{3}));
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 1");
}

TEST(GifRunWalk, BackwardReadsForwardAndAppendsInReverse) {
  TVideoState state = OpenedVideo(9);
  TFakeSource source;
  TGifOptions options;
  options.Direction = TGifDirection::gdBackward;
  const auto result = Converted(state, source, options, {});
  EXPECT_EQ(source.read, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(result.Document->ReductionMethod, reduceWebCube);
  EXPECT_EQ(result.Document->DitherKind, ditherFloydSteinberg);
  const TGiflibGif gif = Decoded(result);
  EXPECT_EQ(ShownNumbers(gif), (std::vector<int>{9, 8, 7, 6, 5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(gif.LoopBlocks, 1);
  EXPECT_EQ(gif.LoopBlockFrame, 0);
  EXPECT_EQ(gif.LoopCount, 0);
  for (const auto& frame : gif.Frames) EXPECT_EQ(frame.Delay, result.FrameDelay);
  // The kept pictures are gone; the frames page's slots are there, empty.
  EXPECT_EQ(state.FrameResults.size(), 10u);
  for (const auto& slot : state.FrameResults) EXPECT_EQ(slot, nullptr);
}

TEST(GifRunWalk, ForwardHasOneLoopBlockAndOneDelayForAll) {
  TVideoState state = OpenedVideo(250);
  state.LengthMs = 10000;
  SetSamplingRate(state, 2);
  UpdateFramesList(state, TRangeChoice::rcFramesRange, 0, 20);
  TFakeSource source;
  const auto result = Converted(state, source, {}, {});
  EXPECT_EQ(result.Document->ReductionMethod, reduceOctreeSystem);
  EXPECT_EQ(result.Document->DitherKind, ditherFloydSteinberg);
  const TGiflibGif gif = Decoded(result);
  EXPECT_EQ(gif.Width, 64);
  EXPECT_EQ(gif.Height, 48);
  ASSERT_EQ(gif.Frames.size(), 11u);
  EXPECT_EQ(gif.LoopBlocks, 1);
  EXPECT_EQ(gif.LoopBlockFrame, 0);
  EXPECT_EQ(gif.LoopCount, 0);
  for (const auto& frame : gif.Frames) {
    EXPECT_EQ(frame.Delay, 8);  // 10 s over 250 frames, two video frames a GIF frame
    EXPECT_EQ(frame.Width, 64);
    EXPECT_EQ(frame.Height, 48);
  }
}

TEST(GifRunWalk, WithoutKeepingTheSpeedTheDelayIgnoresTheSampling) {
  std::vector<int> delays;
  for (const int rate : {1, 3, 7}) {
    TVideoState state = OpenedVideo(250);
    state.LengthMs = 10000;
    SetSamplingRate(state, rate);
    UpdateFramesList(state, TRangeChoice::rcFramesRange, 0, 14);
    TFakeSource source;
    TGifOptions options;
    options.KeepPlaySpeed = false;
    const auto result = Converted(state, source, options, {});
    for (const auto& frame : Decoded(result).Frames) delays.push_back(frame.Delay);
  }
  ASSERT_FALSE(delays.empty());
  for (const int delay : delays) EXPECT_EQ(delay, 4);
}

TEST(GifRunWalk, PartAtTwoToOneShowsOnlyThatPart) {
  // The 100 x 50 part (30, 40)-(130, 90) is blue with a white top-left quarter; all around it
  // the frame is red.
  TVideoState state = OpenedVideo(3, 160, 120);
  state.CaptureRect = TRect{30, 40, 130, 90};
  state.CaptureWidth = 100;
  state.CaptureHeight = 50;
  TFakeSource source;
  source.paint = [](int) {
    TBitmap frame(160, 120);
    frame.FillRect(TRect{0, 0, 160, 120}, RGB(255, 0, 0));
    frame.FillRect(TRect{30, 40, 130, 90}, RGB(0, 0, 255));
    frame.FillRect(TRect{30, 40, 80, 65}, RGB(255, 255, 255));
    return frame;
  };
  TGifOptions options;
  options.Size = {TGifSizeRule::gsScale, ScalePositionFromText(" 2:1"), 0, 0};
  const auto result = Converted(state, source, options, {});
  EXPECT_EQ(result.StatusText, "Size: 200 x 100 pixels  Frames: 4");
  const TGiflibGif gif = Decoded(result);
  ASSERT_EQ(gif.Frames.size(), 4u);
  EXPECT_EQ(gif.Width, 200);
  EXPECT_EQ(gif.Height, 100);
  for (const auto& frame : gif.Frames) {
    ExpectArea(frame.Picture, TRect{0, 0, 100, 50}, RGB(255, 255, 255), "white quarter");
    ExpectArea(frame.Picture, TRect{100, 0, 200, 100}, RGB(0, 0, 255), "blue right half");
    ExpectArea(frame.Picture, TRect{0, 50, 100, 100}, RGB(0, 0, 255), "blue bottom left");
  }
}

TEST(GifRunWalk, RegionOutsideTheFrameShowsBlack) {
  // A drag that left the window: the region hangs over the right and bottom edges, at 1:1 and
  // stretched; one region lies wholly outside.
  struct TCase {
    TRect rect;
    int scale;
    TRect inside;  // where the frame shows, in GIF pixels
  };
  const TCase cases[] = {
      {TRect{32, 24, 96, 72}, 4, TRect{0, 0, 32, 24}},
      {TRect{32, 24, 96, 72}, 3, TRect{0, 0, 64, 48}},
      {TRect{-16, -12, 48, 36}, 4, TRect{16, 12, 64, 48}},
      {TRect{200, 200, 264, 248}, 4, TRect{0, 0, 0, 0}},
  };
  for (const auto& test : cases) {
    TVideoState state = OpenedVideo(2);
    state.CaptureRect = test.rect;
    state.CaptureWidth = test.rect.Width();
    state.CaptureHeight = test.rect.Height();
    TFakeSource source;
    source.paint = [](int n) {
      TBitmap frame(64, 48);
      frame.FillRect(TRect{0, 0, 64, 48}, n % 2 ? RGB(255, 255, 255) : RGB(0, 255, 0));
      return frame;
    };
    TGifOptions options;
    options.Size = {TGifSizeRule::gsScale, test.scale, 0, 0};
    const auto result = Converted(state, source, options, {});
    const TGiflibGif gif = Decoded(result);
    ASSERT_EQ(gif.Frames.size(), 3u);
    for (std::size_t i = 0; i < gif.Frames.size(); ++i) {
      const TBitmap& picture = gif.Frames[i].Picture;
      const TColor shown = i % 2 ? RGB(255, 255, 255) : RGB(0, 255, 0);
      int black = 0, frameColor = 0;
      for (int y = 0; y < picture.Height(); ++y)
        for (int x = 0; x < picture.Width(); ++x) {
          const bool in = x >= test.inside.Left && x < test.inside.Right && y >= test.inside.Top &&
                          y < test.inside.Bottom;
          const TColor color = picture.GetPixel(x, y);
          (in ? frameColor : black) += color == (in ? shown : clBlack);
        }
      const int insideArea = test.inside.Width() * test.inside.Height();
      EXPECT_EQ(frameColor, insideArea) << "frame " << i << " of region " << test.rect.Left;
      EXPECT_EQ(black, picture.Width() * picture.Height() - insideArea) << "frame " << i;
    }
  }
}

TEST(GifRunWalk, PaletteVideosKeepTheirOwnColours) {
  TVideoState state = OpenedVideo(4);
  TFakeSource source;
  source.palette = true;
  const auto result = Converted(state, source, {}, {});
  ASSERT_EQ(result.Document->Images().Count(), 5);
  for (int i = 0; i < 5; ++i) {
    TGIFSubImage& frame = *result.Document->Images()[i];
    ASSERT_EQ(frame.ColorMap().Count(), 256);
    for (int c = 0; c < 256; c += 37) {
      const TRGBQuad expected = fixtures::NumberPalette()[static_cast<std::size_t>(c)];
      EXPECT_EQ(frame.ColorMap().Color(c), RGB(expected.Red, expected.Green, expected.Blue));
    }
    // Not reduced, not dithered: every pixel has exactly the picture's colour (the table
    // repeats some colours, so the index may be an earlier one of the same colour).
    const TBitmap picture = fixtures::NumberFrame(i, 64, 48);
    for (int y = 0; y < 48; y += 5)
      for (int x = 0; x < 64; x += 3)
        ASSERT_EQ(frame.ColorMap().Color(frame.Pixel(x, y)), picture.GetPixel(x, y)) << x << "," << y;
  }
}

TEST(GifRunEnd, AbortKeepsTheFramesSoFarAndLeavesTheNextUnread) {
  TVideoState state = OpenedVideo(9);
  TFakeSource source;
  TRunHooks hooks;
  hooks.processMessages = [&] {
    if (source.read.size() == 3) state.ConvertAbort = true;  // "Abort" pressed meanwhile
  };
  const auto result = Converted(state, source, {}, hooks);
  EXPECT_TRUE(result.Aborted);
  EXPECT_EQ(source.read, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(state.GifFrameCount, 3);
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 3");
  EXPECT_EQ(ShownNumbers(Decoded(result)), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(source.closes, 1);
}

TEST(GifRunEnd, AbortHookWorksBackwardToo) {
  TVideoState state = OpenedVideo(9);
  state.ConvertAbort = true;  // left from an earlier run: cleared at the start
  TFakeSource source;
  TRunHooks hooks;
  hooks.aborted = [&] { return source.read.size() == 4; };
  TGifOptions options;
  options.Direction = TGifDirection::gdBackward;
  const auto result = Converted(state, source, options, hooks);
  EXPECT_TRUE(result.Aborted);
  EXPECT_EQ(ShownNumbers(Decoded(result)), (std::vector<int>{3, 2, 1, 0}));
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 4");
}

TEST(GifRunWalk, ARangeReachingFarPastTheVideoEndsWithIt) {
  TVideoState state = OpenedVideo(5);
  state.RangeFirst = -4;
  state.RangeLast = 2147483647;
  SetSamplingRate(state, 2);
  TFakeSource source;
  const auto result = Converted(state, source, {}, {});
  EXPECT_EQ(source.read, (std::vector<int>{0, 2, 4}));
  EXPECT_EQ(state.GifFrameCount, 3);
}

TEST(GifRunEnd, AnUnreadableFrameEndsTheWalkQuietly) {
  TVideoState state = OpenedVideo(9);
  TFakeSource source;
  source.readable = 5;  // the device counts more frames than the stream delivers
  TGifOptions options;
  options.Direction = TGifDirection::gdBackward;
  const auto result = Converted(state, source, options, {});
  EXPECT_TRUE(result.OutOfFrames);
  EXPECT_EQ(ShownNumbers(Decoded(result)), (std::vector<int>{4, 3, 2, 1, 0}));
}

TEST(GifRunEnd, AnErrorEndsTheRunWithTheFramesSoFar) {
  TVideoState state = OpenedVideo(9);
  TFakeSource source;
  source.errorAt = 4;
  std::vector<std::pair<int, int>> progress;
  TRunHooks hooks;
  hooks.progress = [&](int position, int maximum) { progress.emplace_back(position, maximum); };
  TGifConversionResult result;
  EXPECT_EQ(FailedRun(state, source, {}, hooks, result), "Bitmap image is not valid");
  EXPECT_EQ(state.GifFrameCount, 4);
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 4");
  EXPECT_EQ(ShownNumbers(Decoded(result)), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_EQ(source.closes, 1);
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.back(), (std::pair<int, int>{0, 10}));
}

TEST(GifRunEnd, AnErrorEndsABackwardRunWithTheFramesSoFarInReverse) {
  TVideoState state = OpenedVideo(9);
  TFakeSource source;
  source.errorAt = 4;
  TGifOptions options;
  options.Direction = TGifDirection::gdBackward;
  int handedOut = 0;
  options.FrameAdded = [&](const TGIFImage&, int, const TBitmap&) { ++handedOut; };
  TGifConversionResult result;
  EXPECT_EQ(FailedRun(state, source, options, {}, result), "Bitmap image is not valid");
  EXPECT_EQ(state.GifFrameCount, 4);
  EXPECT_EQ(handedOut, 4);
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 4");
  const TGiflibGif gif = Decoded(result);
  EXPECT_EQ(ShownNumbers(gif), (std::vector<int>{3, 2, 1, 0}));
  EXPECT_EQ(gif.LoopBlocks, 1);
  EXPECT_EQ(source.closes, 1);
}

TEST(GifRunEnd, RunningOutOfMemoryIsTheProgramsErrorAndKeepsTheFramesSoFar) {
  for (const TGifDirection direction : {TGifDirection::gdForward, TGifDirection::gdBackward}) {
    TVideoState state = OpenedVideo(9);
    TFakeSource source;
    source.outOfMemoryAt = 3;
    TGifOptions options;
    options.Direction = direction;
    TGifConversionResult result;
    EXPECT_EQ(FailedRun(state, source, options, {}, result),
              "Not enough memory: the GIF keeps the 3 frames made so far");
    EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 3");
    EXPECT_EQ(Decoded(result).Frames.size(), 3u);
    EXPECT_EQ(source.closes, 1);
  }
}

TEST(GifRunEnd, AVideoThatWillNotOpenGivesNoDocument) {
  TVideoState state = OpenedVideo(9);
  state.GifFrameCount = 7;  // from the run before
  TFakeSource source;
  source.failOpen = true;
  TGifConversionResult result;
  result.Document = std::make_unique<TGIFImage>();  // from the run before
  EXPECT_EQ(FailedRun(state, source, {}, {}, result), "Failed to open AVI file");
  EXPECT_EQ(result.Document, nullptr);
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 0");
  EXPECT_EQ(source.closes, 0);
}

TEST(GifRunEnd, NoFrameGatheredGivesAnEmptyDocument) {
  TVideoState state = OpenedVideo(9);
  TFakeSource source;
  source.readable = 0;
  const auto result = Converted(state, source, {}, {});
  ASSERT_NE(result.Document, nullptr);
  EXPECT_TRUE(result.Document->Empty());
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 0");
}

TEST(GifRunHooks, ProgressAdvancesByTheSamplingRate) {
  TVideoState state = OpenedVideo(9);
  SetSamplingRate(state, 4);
  std::vector<std::pair<int, int>> progress;
  TRunHooks hooks;
  hooks.progress = [&](int position, int maximum) { progress.emplace_back(position, maximum); };
  TFakeSource source;
  Converted(state, source, {}, hooks);
  // Ten ticked frames; frames 0, 4 and 8 move the bar by 4 each, the last one only to the end.
  EXPECT_EQ(progress, (std::vector<std::pair<int, int>>{{0, 10}, {4, 10}, {8, 10}, {10, 10}, {10, 10}, {0, 10}}));
}

TEST(GifRunHooks, EachAppendedFrameIsHandedOut) {
  TVideoState state = OpenedVideo(5);
  std::vector<int> indices;
  TGifOptions options;
  options.Direction = TGifDirection::gdBackward;
  options.FrameAdded = [&](const TGIFImage& document, int index, const TBitmap& picture) {
    EXPECT_EQ(document.Images().Count(), index + 1);
    EXPECT_EQ(picture.Width(), 64);
    EXPECT_EQ(fixtures::DecodeFrameNumber(picture), 5 - index);
    indices.push_back(index);
  };
  TFakeSource source;
  Converted(state, source, options, {});
  EXPECT_EQ(indices, (std::vector<int>{0, 1, 2, 3, 4, 5}));
}

TEST(GifRunHooks, ConvertingEmptiesTheFramesPageResults) {
  TVideoState state = OpenedVideo(3);
  state.ResetResults();
  state.FrameResults[1] = std::make_unique<TBitmap>(4, 4);
  state.ExtractedFrames.push_back(TExtractedFrame{"Frame 1", 1, state.FrameResults[1].get()});
  TFakeSource source;
  Converted(state, source, {}, {});
  EXPECT_TRUE(state.ExtractedFrames.empty());
  ASSERT_EQ(state.FrameResults.size(), 4u);
  for (const auto& slot : state.FrameResults) EXPECT_EQ(slot, nullptr);
}

}  // namespace
}  // namespace clipvane
