// The GIF run on real AVI files, and its two-thread form: reading ahead gives the frames and
// failures of plain reading, and the file bytes are those of the single-threaded run.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "core/error.h"
#include "runs/gif/gif_pipeline.h"
#include "support/avi_fixtures.h"
#include "support/fake_frame_source.h"
#include "support/gif_giflib_decode.h"
#include "support/opened_video_state.h"

namespace clipvane {
namespace {

using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;

// The state as "Open AVI" leaves it: LastFrame is the media device's frame count, one more
// than the stream delivers.
TVideoState Opened(const std::string& path, const TFixtureAvi& avi) {
  return fixtures::OpenedVideoState({.Path = path,
                                     .LastFrame = avi.FrameCount,
                                     .Width = avi.Width,
                                     .Height = avi.Height,
                                     .LengthMs = avi.FrameCount * 1000 * avi.RateDenominator / avi.RateNumerator});
}

// Frames 0 .. Readable-1 show their number at 48 x 32.
std::unique_ptr<fixtures::TFakeFrameSource> NumberSource() {
  auto source = std::make_unique<fixtures::TFakeFrameSource>();
  source->Width = 48;
  source->Height = 32;
  return source;
}

// The state of a video of 31 numbered frames (0 to LastFrame) of 48 x 32, 40 ms each, every
// frame ticked, the whole picture captured.
TVideoState NumberState() {
  TVideoState state;
  state.FrameWidth = 48;
  state.FrameHeight = 32;
  state.DisplayRect = TRect{0, 0, 48, 32};
  state.LastFrame = 30;
  state.LengthMs = 1200;
  SelectAllFrames(state);
  SelectFullWindow(state);
  return state;
}

class GifPipeline : public ::testing::Test {
 protected:
  // The bytes of both ways, each on a state made by `opened`; they must agree.
  std::vector<std::uint8_t> BothWays(const std::function<TVideoState()>& opened, const TGifOptions& options,
                                     const TFrameSourceFactory& makeSource = MakeFrameSource) {
    TVideoState single = opened(), dual = opened();
    const TGifFileResult one = ConvertToGifBytes(single, makeSource, options, {}, false);
    const TGifFileResult two = ConvertToGifBytes(dual, makeSource, options, {}, true);
    EXPECT_EQ(one.FrameCount, two.FrameCount);
    EXPECT_EQ(one.StatusText, two.StatusText);
    EXPECT_TRUE(one.Bytes == two.Bytes) << "sizes " << one.Bytes.size() << " and " << two.Bytes.size();
    return one.Bytes;
  }

  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
};

TEST_F(GifPipeline, TwoThreadsWriteTheBytesOfOne) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMpeg4;
  avi.FrameCount = 24;
  avi.Width = 96;
  avi.Height = 64;
  const std::string path = temp_.File("mpeg4.avi");
  fixtures::WriteFixtureAvi(path, avi);

  const auto whole = giflib_check::DecodeGif(BothWays([&] { return Opened(path, avi); }, {}));
  ASSERT_TRUE(whole.Ok);
  ASSERT_EQ(whole.Frames.size(), 24u);  // frame 24, counted but not in the stream, ends it
  for (int n = 0; n < 24; ++n)
    EXPECT_EQ(fixtures::DecodeFrameNumber(whole.Frames[static_cast<std::size_t>(n)].Picture), n);

  // Sampling, a region over the edge, scaled; backward; without keeping the speed.
  const auto part = [&] {
    TVideoState state = Opened(path, avi);
    SetSamplingRate(state, 3);
    state.CaptureRect = TRect{40, 20, 120, 80};
    state.CaptureWidth = 80;
    state.CaptureHeight = 60;
    return state;
  };
  TGifOptions options;
  options.Size = {TGifSizeRule::gsScale, ScalePositionFromText(" 1:2"), 0, 0};
  const auto sampled = giflib_check::DecodeGif(BothWays(part, options));
  ASSERT_EQ(sampled.Frames.size(), 8u);
  EXPECT_EQ(sampled.Width, 40);
  EXPECT_EQ(sampled.Frames[0].Delay, 12);  // 24 frames of 40 ms, three a GIF frame
  options.Direction = TGifDirection::gdBackward;
  options.KeepPlaySpeed = false;
  const auto backward = giflib_check::DecodeGif(BothWays(part, options));
  ASSERT_EQ(backward.Frames.size(), 8u);
  EXPECT_EQ(backward.Frames[0].Delay, 4);

  // "Best quality": the colours of each picture are chosen on a thread of their own while the
  // run maps the one before; backward, while it maps the frames read again.
  TGifOptions best;
  best.BestQuality = true;
  const auto bestWhole = giflib_check::DecodeGif(BothWays([&] { return Opened(path, avi); }, best));
  ASSERT_EQ(bestWhole.Frames.size(), 24u);
  best.Direction = TGifDirection::gdBackward;
  const auto bestBackward = giflib_check::DecodeGif(BothWays(part, best));
  ASSERT_EQ(bestBackward.Frames.size(), 8u);
}

TEST_F(GifPipeline, PaletteVideoAndTimeRange) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcRawPal8;
  avi.FrameCount = 50;
  const std::string path = temp_.File("pal8.avi");
  fixtures::WriteFixtureAvi(path, avi);
  const auto gif = giflib_check::DecodeGif(BothWays(
      [&] {
        TVideoState state = Opened(path, avi);
        UpdateFramesList(state, TRangeChoice::rcTimeRange, 1, 2);  // 2 s of 50 frames: 25 to 50
        return state;
      },
      {}));
  ASSERT_TRUE(gif.Ok);
  ASSERT_EQ(gif.Frames.size(), 25u);  // 25 .. 49; 50 is past the stream
  EXPECT_EQ(fixtures::DecodeFrameNumber(gif.Frames.front().Picture), 25);
  EXPECT_EQ(fixtures::DecodeFrameNumber(gif.Frames.back().Picture), 49);
  for (const auto& frame : gif.Frames) {
    EXPECT_EQ(frame.Delay, 4);
    EXPECT_EQ(frame.ColorCount, 256);  // the stream's own table
  }
}

TEST_F(GifPipeline, ErrorsArriveTheSameBothWays) {
  const auto opened = [] {
    TVideoState state;
    state.FrameWidth = 48;
    state.FrameHeight = 32;
    state.DisplayRect = TRect{0, 0, 48, 32};
    state.LastFrame = 20;
    state.LengthMs = 800;
    state.SamplingRate = 2;
    SelectAllFrames(state);
    SelectFullWindow(state);
    return state;
  };
  for (const bool twoThreads : {false, true}) {
    TVideoState copy = opened();
    const TFrameSourceFactory make = [] {
      auto made = NumberSource();
      made->ErrorAt = 8;
      return made;
    };
    try {
      ConvertToGifBytes(copy, make, {}, {}, twoThreads);
      ADD_FAILURE() << "no error";
    } catch (const EClipvaneError& error) {
      EXPECT_STREQ(error.what(), "Bitmap image is not valid");
    }
    EXPECT_EQ(copy.GifFrameCount, 4) << twoThreads;
  }
  // Memory that runs out: the window's run keeps the frames in its GIF and says so; the
  // bytes for a file are never made, so that is not claimed.
  for (const bool twoThreads : {false, true}) {
    TVideoState copy = opened();
    const TFrameSourceFactory make = [] {
      auto made = NumberSource();
      made->OutOfMemoryAt = 8;
      return made;
    };
    try {
      ConvertToGifBytes(copy, make, {}, {}, twoThreads);
      ADD_FAILURE() << "no error";
    } catch (const EClipvaneError& error) {
      EXPECT_STREQ(error.what(), "Not enough memory after 4 frames of the GIF; no GIF is made");
    }
    TVideoState window = opened();
    auto source = make();
    TGifConversionResult run;
    try {
      RunGifConversion(window, *source, {}, {}, run);
      ADD_FAILURE() << "no error";
    } catch (const EClipvaneError& error) {
      EXPECT_STREQ(error.what(), "Not enough memory: the GIF keeps the 4 frames made so far");
    }
    ASSERT_NE(run.Document, nullptr);
    EXPECT_EQ(run.Document->Images().Count(), 4);
  }
  // A source that runs out of frames: both ways stop there without an error.
  const TFrameSourceFactory short5 = [] {
    auto made = NumberSource();
    made->Readable = 5;
    return made;
  };
  const auto gif = giflib_check::DecodeGif(BothWays(opened, {}, short5));
  EXPECT_EQ(gif.Frames.size(), 3u);  // frames 0, 2 and 4
}

// Frames read but still being made when the walk ends (an abort, a failure to show a frame)
// end the run as if each had been made before the next was read: an abort keeps every frame
// read (also the "Best quality" frames read again after a backward walk); a frame the window
// fails to show is the last one.
TEST_F(GifPipeline, FramesStillBeingMadeEndTheRunAsOneByOne) {
  struct TCase {
    const char* name;
    TGifDirection direction;
    bool best;
    int abortAt;      // the call of processMessages after which the abort comes, or 0
    int failShowing;  // the frame index whose showing fails, or -1
    int frames;       // in the GIF
    int first;        // the video frame the GIF starts with
  };
  // 31 frames (0 to LastFrame); each is read after one call of processMessages.
  const TCase cases[] = {
      {"abort", TGifDirection::gdForward, false, 7, -1, 6, 0},
      {"abortBackward", TGifDirection::gdBackward, false, 5, -1, 4, 3},
      {"bestAbort", TGifDirection::gdForward, true, 7, -1, 6, 0},
      {"bestAbortReadingAgain", TGifDirection::gdBackward, true, 31 + 5, -1, 4, 30},
      {"showing", TGifDirection::gdForward, false, 0, 3, 4, 0},
      {"showingFirst", TGifDirection::gdForward, false, 0, 0, 1, 0},
      {"bestShowing", TGifDirection::gdForward, true, 0, 2, 3, 0},
  };
  for (const TCase& c : cases) {
    for (const bool twoThreads : {false, true}) {
      TVideoState state = NumberState();
      TGifOptions options;
      options.Direction = c.direction;
      options.BestQuality = c.best;
      options.FrameAdded = [&](const TGIFImage&, int index, const TBitmap&) {
        if (index == c.failShowing) throw EClipvaneError("cannot show");
      };
      int messages = 0;
      TRunHooks hooks;
      hooks.processMessages = [&] { ++messages; };
      hooks.aborted = [&] { return messages == c.abortAt; };
      TGifConversionResult result;
      std::string error;
      try {
        RunGifPipeline(state, NumberSource(), options, hooks, result, twoThreads);
      } catch (const EClipvaneError& thrown) {
        error = thrown.what();
      }
      SCOPED_TRACE(std::string(c.name) + (twoThreads ? " two threads" : " one thread"));
      EXPECT_EQ(error, c.failShowing >= 0 ? "cannot show" : "");
      EXPECT_EQ(result.Aborted, c.abortAt > 0);
      ASSERT_NE(result.Document, nullptr);
      ASSERT_EQ(result.Document->Images().Count(), c.frames);
      EXPECT_EQ(state.GifFrameCount, c.frames);
      EXPECT_EQ(result.StatusText, GifStatusText(48, 32, c.frames));
      TBitmap first;
      result.Document->Images()[0]->AssignTo(first);
      first.SetPixelFormat(TPixelFormat::pf24bit);
      EXPECT_EQ(fixtures::DecodeFrameNumber(first), c.first);
    }
  }
}

// A described backward walk on the workers reads each frame once: the frames still being made
// when the walk ends are kept as made, not read and made again.
TEST_F(GifPipeline, ABackwardWalkOnWorkersReadsEachFrameOnce) {
  TVideoState state = NumberState();
  TGifOptions options;
  options.Direction = TGifDirection::gdBackward;
  std::map<int, int> reads;
  auto source = NumberSource();
  source->BeforeRead = [&](int frameNumber) { ++reads[frameNumber]; };
  TGifConversionResult result;
  RunGifPipeline(state, std::move(source), options, {}, result, true);
  ASSERT_NE(result.Document, nullptr);
  ASSERT_EQ(result.Document->Images().Count(), 31);
  ASSERT_EQ(reads.size(), 31u);
  for (const auto& [frame, count] : reads) EXPECT_EQ(count, 1) << "frame " << frame;
}

TEST(ReadAheadSource, DeliversThePlannedFramesInOrder) {
  auto inner = NumberSource();
  fixtures::TFakeFrameSource& plain = *inner;
  TReadAheadFrameSource source(std::move(inner), {0, 2, 4, 6});
  source.Open("clip.avi");
  for (const int n : {0, 2, 4, 6}) {
    ASSERT_TRUE(source.ReadFrame(n));
    EXPECT_EQ(fixtures::DecodeFrameNumber(source.DecodeBitmap()), n);
  }
  source.Close();
  EXPECT_EQ(plain.Read, (std::vector<int>{0, 2, 4, 6}));
}

TEST(ReadAheadSource, AReadOffThePlanIsReadInPlace) {
  TReadAheadFrameSource source(NumberSource(), {0, 1, 2, 3});
  source.Open("clip.avi");
  ASSERT_TRUE(source.ReadFrame(0));
  ASSERT_TRUE(source.ReadFrame(7));
  EXPECT_EQ(fixtures::DecodeFrameNumber(source.DecodeBitmap()), 7);
  ASSERT_TRUE(source.ReadFrame(2));
  EXPECT_EQ(fixtures::DecodeFrameNumber(source.DecodeBitmap()), 2);
  source.Close();
}

TEST(ReadAheadSource, TheEndAndErrorsComeAtTheirOwnFrame) {
  auto inner = NumberSource();
  inner->Readable = 3;
  TReadAheadFrameSource ending(std::move(inner), {0, 1, 2, 3, 4});
  ending.Open("clip.avi");
  for (int n = 0; n < 3; ++n) ASSERT_TRUE(ending.ReadFrame(n));
  EXPECT_FALSE(ending.ReadFrame(3));
  EXPECT_EQ(fixtures::DecodeFrameNumber(ending.DecodeBitmap()), 2);  // the last frame stays
  ending.Close();

  auto failing = NumberSource();
  failing->ErrorAt = 2;
  TReadAheadFrameSource source(std::move(failing), {0, 1, 2, 3});
  source.Open("clip.avi");
  ASSERT_TRUE(source.ReadFrame(0));
  ASSERT_TRUE(source.ReadFrame(1));
  EXPECT_THROW(source.ReadFrame(2), EClipvaneError);
  source.Close();
}

TEST(ReadAheadSource, ClosingEarlyStopsReadingAhead) {
  auto inner = NumberSource();
  fixtures::TFakeFrameSource& plain = *inner;
  std::vector<int> plan(100);
  for (int n = 0; n < 100; ++n) plan[static_cast<std::size_t>(n)] = n;
  TReadAheadFrameSource source(std::move(inner), plan);
  source.Open("clip.avi");
  ASSERT_TRUE(source.ReadFrame(0));
  source.Close();  // an abort: nothing waits for the other 99
  EXPECT_LE(plain.Read.size(), 3u);
  EXPECT_FALSE(plain.IsOpen());
}

}  // namespace
}  // namespace clipvane
