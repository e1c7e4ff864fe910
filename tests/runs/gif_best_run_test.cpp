// The GIF run with "Best quality": what a viewer shows after each frame is the frame it
// stands for, frames start on the video's own time line (whole GIF as long as the video),
// fast videos leave out frames a browser could not show, and both directions, sampling and
// "keep a play speed" work on that time line.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "gif/gif_stream.h"
#include "runs/gif/gif_conversion.h"
#include "runs/gif/gif_pipeline.h"
#include "support/avi_fixtures.h"
#include "support/gif_giflib_decode.h"

namespace clipvane {
namespace {

using giflib_check::ComposedFrames;
using giflib_check::DecodeGif;
using giflib_check::TGiflibGif;

// Frames 0 .. readable-1 show their number (fixtures::NumberFrame) in 24 bits. As with a
// real video, frame LastFrame (the one past the last) cannot be read.
class TNumberSource : public TFrameSource {
 public:
  explicit TNumberSource(int frames) : readable(frames) {}
  int readable;
  std::vector<int> read;

  void Open(const std::string&) override {}
  bool ReadFrame(int n) override {
    if (n >= readable) return false;
    read.push_back(n);
    bitmap_ = fixtures::NumberFrame(n, 64, 48);
    bitmap_.SetPixelFormat(TPixelFormat::pf24bit);
    return true;
  }
  const TBitmap& DecodeBitmap() const override { return bitmap_; }
  void Close() override {}

 private:
  TBitmap bitmap_;
};

// A video of `frames` frames lasting lengthMs, all frames ticked.
TVideoState Video(int frames, int lengthMs) {
  TVideoState state;
  state.FilePath = "/videos/clip.avi";
  state.FrameWidth = 64;
  state.FrameHeight = 48;
  state.DisplayRect = TRect{0, 0, 64, 48};
  state.LastFrame = frames;
  state.LengthMs = lengthMs;
  state.LengthSeconds = lengthMs / 1000;
  state.SamplingRate = 1;
  SelectAllFrames(state);
  SelectFullWindow(state);
  return state;
}

// The run as it goes when nothing fails; an error fails the test.
TGifConversionResult Converted(TVideoState& state, TFrameSource& source, const TGifOptions& options) {
  TGifConversionResult result;
  RunGifConversion(state, source, options, {}, result);
  return result;
}

TGiflibGif Decoded(const TGifConversionResult& result) {
  EXPECT_TRUE(result.Document != nullptr);
  if (!result.Document) return {};
  TGIFMemoryStream stream;
  result.Document->SaveToStream(stream);
  TGiflibGif gif = DecodeGif(stream.TakeBytes());
  EXPECT_TRUE(gif.Ok) << "giflib error " << gif.Error;
  return gif;
}

std::vector<int> ShownNumbers(const TGiflibGif& gif) {
  std::vector<int> numbers;
  for (const TBitmap& picture : ComposedFrames(gif)) numbers.push_back(fixtures::DecodeFrameNumber(picture));
  return numbers;
}

std::vector<int> Delays(const TGiflibGif& gif) {
  std::vector<int> delays;
  for (const auto& frame : gif.Frames) delays.push_back(frame.Delay);
  return delays;
}

int Total(const std::vector<int>& delays) { return std::accumulate(delays.begin(), delays.end(), 0); }

TGifOptions Best() {
  TGifOptions options;
  options.BestQuality = true;
  return options;
}

TEST(GifBestRun, ThirtyFramesASecondLastAsLongAsTheVideo) {
  TVideoState state = Video(150, 5000);
  TNumberSource source(150);
  const auto result = Converted(state, source, Best());
  const TGiflibGif gif = Decoded(result);
  ASSERT_EQ(gif.Frames.size(), 150u);
  const std::vector<int> delays = Delays(gif);
  EXPECT_EQ(std::vector<int>(delays.begin(), delays.begin() + 3), (std::vector<int>{3, 4, 3}));
  EXPECT_EQ(Total(delays), 500);  // 5.00 s, where one delay for all plays 4.50 s
  EXPECT_EQ(result.FrameDelay, 3);
  std::vector<int> expected(150);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(ShownNumbers(gif), expected);
  EXPECT_EQ(gif.LoopBlocks, 1);
  EXPECT_EQ(gif.LoopBlockFrame, 0);
  EXPECT_EQ(state.GifFrameCount, 150);
  EXPECT_EQ(result.StatusText, "Size: 64 x 48 pixels  Frames: 150");
  // Frame 0 is whole; the frames after it hold only what changed.
  EXPECT_EQ(gif.Frames[0].Width * gif.Frames[0].Height, 64 * 48);
  EXPECT_EQ(gif.Frames[0].TransparentIndex, -1);
}

TEST(GifBestRun, BackwardShowsTheFramesInReverseOnTheSameTimeLine) {
  TVideoState state = Video(9, 300);
  TNumberSource source(9);
  TGifOptions options = Best();
  options.Direction = TGifDirection::gdBackward;
  const TGiflibGif gif = Decoded(Converted(state, source, options));
  EXPECT_EQ(ShownNumbers(gif), (std::vector<int>{8, 7, 6, 5, 4, 3, 2, 1, 0}));
  EXPECT_EQ(Delays(gif), (std::vector<int>{3, 4, 3, 3, 4, 3, 3, 4, 3}));
}

TEST(GifBestRun, SamplingKeepsOrDropsThePlaySpeed) {
  // 25 frames a second, every other frame: with the speed kept each GIF frame stands for
  // two video frames (8 hundredths), without it for one (4), so it plays twice as fast.
  TVideoState state = Video(20, 800);
  SetSamplingRate(state, 2);
  TNumberSource kept(20);
  const TGiflibGif gif = Decoded(Converted(state, kept, Best()));
  EXPECT_EQ(ShownNumbers(gif), (std::vector<int>{0, 2, 4, 6, 8, 10, 12, 14, 16, 18}));
  EXPECT_EQ(Delays(gif), std::vector<int>(10, 8));
  TGifOptions fast = Best();
  fast.KeepPlaySpeed = false;
  TNumberSource faster(20);
  EXPECT_EQ(Delays(Decoded(Converted(state, faster, fast))), std::vector<int>(10, 4));
}

TEST(GifBestRun, SixtyFramesASecondLeaveOutFramesWithoutReadingThem) {
  TVideoState state = Video(60, 1000);
  TNumberSource source(60);
  const TGiflibGif gif = Decoded(Converted(state, source, Best()));
  EXPECT_EQ(gif.Frames.size(), 40u);
  EXPECT_EQ(source.read.size(), 40u);
  EXPECT_EQ(std::vector<int>(source.read.begin(), source.read.begin() + 5), (std::vector<int>{0, 1, 3, 4, 6}));
  EXPECT_EQ(ShownNumbers(gif), source.read);
  for (const int delay : Delays(gif)) EXPECT_GE(delay, 2);
  EXPECT_EQ(Total(Delays(gif)), 100);
}

TEST(GifBestRun, EachFrameKeepsItsOwnTimeWhenTheSourceGivesFrameTimes) {
  // A variable-rate video: frames at 0, 40, 80, 200, 240 ms, ending at 300 ms.
  TVideoState state = Video(5, 300);
  TGifOptions options = Best();
  options.FrameTimes.Starts = {0, 40, 80, 200, 240, 300};
  options.FrameTimes.Base = TTimeBase{1, 1000};
  TNumberSource source(5);
  const TGiflibGif gif = Decoded(Converted(state, source, options));
  EXPECT_EQ(Delays(gif), (std::vector<int>{4, 4, 12, 4, 6}));
  EXPECT_EQ(ShownNumbers(gif), (std::vector<int>{0, 1, 2, 3, 4}));
}

TEST(GifBestRun, AVideoThatStopsChangingStillShowsEveryFrameForItsTime) {
  TVideoState state = Video(6, 240);
  // Every frame shows frame 2's picture from frame 2 on.
  struct TStill : TNumberSource {
    TStill() : TNumberSource(6) {}
    bool ReadFrame(int n) override { return n < 6 && TNumberSource::ReadFrame(std::min(n, 2)); }
  } still;
  const TGiflibGif gif = Decoded(Converted(state, still, Best()));
  ASSERT_EQ(gif.Frames.size(), 6u);
  EXPECT_EQ(Delays(gif), std::vector<int>(6, 4));
  for (std::size_t i = 3; i < 6; ++i) EXPECT_EQ(gif.Frames[i].Width * gif.Frames[i].Height, 1) << i;
  EXPECT_EQ(ShownNumbers(gif), (std::vector<int>{0, 1, 2, 2, 2, 2}));
}

TEST(GifBestRun, TwoThreadsWriteTheBytesOfOne) {
  TVideoState one = Video(40, 1600), two = Video(40, 1600);
  auto make = [] { return std::make_unique<TNumberSource>(40); };
  const TGifFileResult a = ConvertToGifBytes(one, make, Best(), {}, false);
  const TGifFileResult b = ConvertToGifBytes(two, make, Best(), {}, true);
  EXPECT_EQ(a.FrameCount, 40);
  EXPECT_GT(a.Bytes.size(), 1000u);
  EXPECT_TRUE(a.Bytes == b.Bytes);
  EXPECT_EQ(ShownNumbers(DecodeGif(b.Bytes)).back(), 39);
}

}  // namespace
}  // namespace clipvane
