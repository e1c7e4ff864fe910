// The extraction run over TVideoState: which frames are read, what is kept, how the run ends,
// progress and abort, with the fake frame source and the failures the tests choose.
#include <gtest/gtest.h>

#include <new>
#include <optional>
#include <vector>

#include "core/error.h"
#include "runs/frames/extraction_run.h"
#include "support/fake_frame_source.h"
#include "support/opened_video_state.h"

namespace clipvane {
namespace {

// Frames 0 .. Readable-1 exist; frame n is a 8 x 6 picture of colour (n, 100, 200).
fixtures::TFakeFrameSource ColourSource() {
  fixtures::TFakeFrameSource source;
  source.Paint = [](int n) {
    TBitmap bitmap(8, 6, TPixelFormat::pf24bit);
    bitmap.FillRect(TRect{0, 0, 8, 6}, RGB(n, 100, 200));
    return bitmap;
  };
  return source;
}

TVideoState OpenedVideo(int lastFrame) {
  return fixtures::OpenedVideoState({.LastFrame = lastFrame, .Width = 8, .Height = 6});
}

struct TProgressLog {
  std::vector<std::pair<int, int>> calls;
  TRunHooks Hooks() {
    TRunHooks hooks;
    hooks.progress = [this](int position, int maximum) { calls.emplace_back(position, maximum); };
    return hooks;
  }
};

std::vector<int> ListedNumbers(const TVideoState& state) {
  std::vector<int> numbers;
  for (const auto& entry : state.ExtractedFrames) numbers.push_back(entry.FrameNumber);
  return numbers;
}

TEST(ExtractionRun, KeepsEachFrameInItsSlotAndListsIt) {
  TVideoState state = OpenedVideo(5);
  auto source = ColourSource();
  const auto result = RunFrameExtraction(state, source, {TColorMode::cm8bit, {}}, {});
  EXPECT_EQ(source.OpenedPath, "/videos/clip.avi");
  ASSERT_EQ(state.FrameResults.size(), 6u);
  ASSERT_EQ(state.ExtractedFrames.size(), 6u);
  for (int n = 0; n <= 5; ++n) {
    const auto& entry = state.ExtractedFrames[static_cast<std::size_t>(n)];
    EXPECT_EQ(entry.Caption, "Frame " + std::to_string(n));
    EXPECT_EQ(entry.FrameNumber, n);
    EXPECT_EQ(entry.Bitmap, state.FrameResults[static_cast<std::size_t>(n)].get());
    ASSERT_NE(entry.Bitmap, nullptr);
    EXPECT_EQ(entry.Bitmap->PixelFormat(), TPixelFormat::pf8bit);
    EXPECT_EQ(entry.Bitmap->Width(), 8);
  }
  EXPECT_EQ(result.FramesExtracted, 6);
  EXPECT_FALSE(result.Aborted);
  EXPECT_EQ(source.Closes, 1);
}

TEST(ExtractionRun, LastFrameThatCannotBeReadEndsQuietly) {
  // The media device counts one frame more than the stream delivers.
  TVideoState state = OpenedVideo(5);
  auto source = ColourSource();
  source.Readable = 5;
  TProgressLog progress;
  const auto result = RunFrameExtraction(state, source, {}, progress.Hooks());
  EXPECT_TRUE(result.OutOfFrames);
  EXPECT_EQ(ListedNumbers(state), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(state.FrameResults[5], nullptr);
  EXPECT_EQ(source.Closes, 1);
  ASSERT_GE(progress.calls.size(), 2u);
  EXPECT_EQ(progress.calls[progress.calls.size() - 2], (std::pair{6, 6}));
  EXPECT_EQ(progress.calls.back(), (std::pair{0, 6}));
}

TEST(ExtractionRun, ConvertsEachFrameAtTheSizeAskedBeforeIt) {
  // The window's boxes may change while the run processes messages.
  TVideoState state = OpenedVideo(2);
  auto source = ColourSource();
  int asked = 0;
  TExtractionOptions options{TColorMode::cm24bit, [&asked] {
                               ++asked;
                               return asked == 1 ? TFrameSize{16, 12} : TFrameSize{4, 3};
                             }};
  RunFrameExtraction(state, source, options, {});
  ASSERT_EQ(state.ExtractedFrames.size(), 3u);
  EXPECT_EQ(state.ExtractedFrames[0].Bitmap->Width(), 16);
  EXPECT_EQ(state.ExtractedFrames[1].Bitmap->Width(), 4);
  EXPECT_EQ(state.ExtractedFrames[2].Bitmap->Height(), 3);
  EXPECT_EQ(state.ExtractedFrames[2].Bitmap->GetPixel(1, 1), RGB(2, 100, 200));
}

TEST(FrameSelection, ToBelowFromProcessesNothing) {
  TVideoState state = OpenedVideo(9);
  ApplyFrameRange(state, 6, 2);
  EXPECT_EQ(state.RangeFirst, 6);
  EXPECT_EQ(state.RangeLast, 2);
  EXPECT_EQ(CountTickedFrames(state), 10);  // the ticks stay as they were
  auto source = ColourSource();
  TProgressLog progress;
  const auto result = RunFrameExtraction(state, source, {}, progress.Hooks());
  EXPECT_TRUE(source.Read.empty());
  EXPECT_TRUE(state.ExtractedFrames.empty());
  EXPECT_EQ(result.FramesExtracted, 0);
  EXPECT_EQ(progress.calls.back(), (std::pair{0, 10}));
  EXPECT_EQ(source.Closes, 1);
}

TEST(FrameSelection, RangeRuleTicksExactlyTheRange) {
  TVideoState state = OpenedVideo(9);
  ApplyFrameRange(state, 3, 5);
  EXPECT_EQ(CountTickedFrames(state), 3);
  for (int n = 0; n <= 9; ++n) EXPECT_EQ(state.FrameSelected[static_cast<std::size_t>(n)], n >= 3 && n <= 5) << n;
  auto source = ColourSource();
  RunFrameExtraction(state, source, {}, {});
  EXPECT_EQ(source.Read, (std::vector<int>{3, 4, 5}));
}

TEST(FrameSelection, AOneFrameRangeReplacesTheTicksOfTheRangeBefore) {
  TVideoState state = OpenedVideo(9);
  ApplyFrameRange(state, 5, 8);
  ApplyFrameRange(state, 3, 3);
  for (int n = 0; n <= 9; ++n) EXPECT_EQ(state.FrameSelected[static_cast<std::size_t>(n)], n == 3) << n;
  auto source = ColourSource();
  TProgressLog progress;
  RunFrameExtraction(state, source, {}, progress.Hooks());
  EXPECT_EQ(source.Read, (std::vector<int>{3}));
  EXPECT_EQ(ListedNumbers(state), (std::vector<int>{3}));
  EXPECT_EQ(progress.calls.back(), (std::pair{0, 1}));
}

TEST(FrameSelection, UntickedFramesAreSkippedAndNotCounted) {
  TVideoState state = OpenedVideo(5);
  state.FrameSelected[1] = false;
  state.FrameSelected[4] = false;
  auto source = ColourSource();
  TProgressLog progress;
  RunFrameExtraction(state, source, {}, progress.Hooks());
  EXPECT_EQ(source.Read, (std::vector<int>{0, 2, 3, 5}));
  EXPECT_EQ(ListedNumbers(state), (std::vector<int>{0, 2, 3, 5}));
  // One step per ticked frame: 1, 2, 3, 4 of 4, then the end.
  const std::vector<std::pair<int, int>> expected{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {4, 4}, {0, 4}};
  EXPECT_EQ(progress.calls, expected);
}

TEST(FrameSelection, TicksOutsideTheRangeCountButAreNotRead) {
  TVideoState state = OpenedVideo(9);
  state.RangeFirst = 2;
  state.RangeLast = 3;
  auto source = ColourSource();
  TProgressLog progress;
  RunFrameExtraction(state, source, {}, progress.Hooks());
  EXPECT_EQ(source.Read, (std::vector<int>{2, 3}));
  const std::vector<std::pair<int, int>> expected{{0, 10}, {1, 10}, {2, 10}, {10, 10}, {0, 10}};
  EXPECT_EQ(progress.calls, expected);
}

TEST(FrameSelection, RangeBeyondTheVideoReadsOnlyFramesThatExist) {
  TVideoState state = OpenedVideo(3);
  state.RangeFirst = -5;
  state.RangeLast = 50;
  auto source = ColourSource();
  RunFrameExtraction(state, source, {}, {});
  EXPECT_EQ(source.Read, (std::vector<int>{0, 1, 2, 3}));
}

TEST(ExtractionAbort, StopsBeforeReadingAndKeepsEarlierFrames) {
  TVideoState state = OpenedVideo(9);
  auto source = ColourSource();
  int messages = 0;
  TRunHooks hooks;
  // The user presses "Abort" while the third frame's messages are processed.
  hooks.processMessages = [&] {
    if (++messages == 3) state.ExtractAbort = true;
  };
  const auto result = RunFrameExtraction(state, source, {}, hooks);
  EXPECT_TRUE(result.Aborted);
  EXPECT_EQ(source.Read, (std::vector<int>{0, 1}));
  EXPECT_EQ(ListedNumbers(state), (std::vector<int>{0, 1}));
  EXPECT_EQ(source.Closes, 1);
}

TEST(ExtractionAbort, AbortHookStopsTheRunToo) {
  TVideoState state = OpenedVideo(9);
  auto source = ColourSource();
  TRunHooks hooks;
  hooks.aborted = [&source] { return source.Read.size() == 4; };
  RunFrameExtraction(state, source, {}, hooks);
  EXPECT_EQ(ListedNumbers(state), (std::vector<int>{0, 1, 2, 3}));
}

TEST(ExtractionAbort, AFlagLeftFromBeforeIsCleared) {
  TVideoState state = OpenedVideo(2);
  state.ExtractAbort = true;
  auto source = ColourSource();
  const auto result = RunFrameExtraction(state, source, {}, {});
  EXPECT_FALSE(result.Aborted);
  EXPECT_EQ(state.ExtractedFrames.size(), 3u);
}

TEST(ExtractionFailure, ReaderErrorEndsTheRunKeepingEarlierFrames) {
  TVideoState state = OpenedVideo(9);
  auto source = ColourSource();
  source.ErrorAt = 4;
  TProgressLog progress;
  try {
    RunFrameExtraction(state, source, {}, progress.Hooks());
    FAIL() << "the reader's error must travel out";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "Bitmap image is not valid");
  }
  EXPECT_EQ(ListedNumbers(state), (std::vector<int>{0, 1, 2, 3}));
  EXPECT_NE(state.FrameResults[3], nullptr);
  EXPECT_EQ(source.Closes, 1);
  // The progress bar keeps its position.
  EXPECT_EQ(progress.calls.back(), (std::pair{5, 10}));
}

TEST(ExtractionFailure, OpenErrorReadsNothing) {
  TVideoState state = OpenedVideo(4);
  auto source = ColourSource();
  source.OpenError = "Failed to open AVI file";
  EXPECT_THROW(RunFrameExtraction(state, source, {}, {}), EClipvaneError);
  EXPECT_TRUE(source.Read.empty());
  EXPECT_TRUE(state.ExtractedFrames.empty());
  EXPECT_EQ(state.FrameResults.size(), 5u);
  EXPECT_EQ(source.Closes, 0);
}

TEST(ExtractionFailure, RunningOutOfMemoryKeepsTheFramesSoFar) {
  TVideoState state = OpenedVideo(9);
  auto source = ColourSource();
  source.OutOfMemoryAt = 6;
  try {
    RunFrameExtraction(state, source, {}, {});
    FAIL() << "running out of memory must end the run with a message";
  } catch (const EClipvaneError& error) {
    EXPECT_NE(std::string(error.what()).find("Not enough memory"), std::string::npos) << error.what();
    EXPECT_NE(std::string(error.what()).find("frame 6"), std::string::npos) << error.what();
  }
  EXPECT_EQ(ListedNumbers(state), (std::vector<int>{0, 1, 2, 3, 4, 5}));
  for (const auto& entry : state.ExtractedFrames)
    EXPECT_EQ(entry.Bitmap->GetPixel(0, 0), RGB(entry.FrameNumber, 100, 200));
  EXPECT_EQ(source.Closes, 1);
}

TEST(ExtractionFailure, AbsurdTargetSizeIsAnErrorNotACrash) {
  TVideoState state = OpenedVideo(2);
  auto source = ColourSource();
  TExtractionOptions options{TColorMode::cm24bit, [] { return TFrameSize{-1, 5}; }};
  EXPECT_THROW(RunFrameExtraction(state, source, options, {}), EClipvaneError);
  EXPECT_EQ(source.Closes, 1);
}

TEST(ExtractionResults, NewRunAndClearReleaseTheOldFrames) {
  TVideoState state = OpenedVideo(3);
  auto source = ColourSource();
  RunFrameExtraction(state, source, {}, {});
  ASSERT_EQ(state.ExtractedFrames.size(), 4u);
  ApplyFrameRange(state, 1, 1);
  RunFrameExtraction(state, source, {}, {});
  EXPECT_EQ(ListedNumbers(state), (std::vector<int>{1}));
  EXPECT_EQ(state.FrameResults[0], nullptr);  // re-created empty, not left over
  EXPECT_EQ(state.FrameResults.size(), 4u);
  ClearExtractionResults(state);
  EXPECT_TRUE(state.ExtractedFrames.empty());
  EXPECT_TRUE(state.FrameResults.empty());
}

TEST(StreamingExtraction, HandsOnEachFrameAndKeepsNone) {
  TVideoState state = OpenedVideo(4);
  auto source = ColourSource();
  source.Readable = 4;
  std::vector<int> sunk;
  const auto result =
      StreamFrameExtraction(state, source, {TColorMode::cm1bit, {}}, {}, [&](int n, const TBitmap& frame) {
        EXPECT_EQ(frame.PixelFormat(), TPixelFormat::pf1bit);
        sunk.push_back(n);
      });
  EXPECT_EQ(sunk, (std::vector<int>{0, 1, 2, 3}));
  EXPECT_TRUE(result.OutOfFrames);
  EXPECT_TRUE(state.ExtractedFrames.empty());
  EXPECT_TRUE(state.FrameResults.empty());
}

TEST(StreamingExtraction, SinkFailureClosesTheSource) {
  TVideoState state = OpenedVideo(4);
  auto source = ColourSource();
  EXPECT_THROW(StreamFrameExtraction(state, source, {}, {},
                                     [](int n, const TBitmap&) {
                                       if (n == 2) throw EClipvaneError("Cannot write file");
                                     }),
               EClipvaneError);
  EXPECT_EQ(source.Read, (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(source.Closes, 1);
}

TEST(ExtractionStatus, NamesSizeAndMode) {
  EXPECT_EQ(ExtractionStatusText(320, 240, TColorMode::cm24bit), "Size: 320x240 pixels  Color: 24 bit");
  EXPECT_EQ(ExtractionStatusText(0, 0, ColorModeFromText("odd")), "Size: 0x0 pixels  Color: 24 bit");
}

}  // namespace
}  // namespace clipvane
