// The GIF run with its frames encoded as they are made, as the window and the CLI run it: the
// bytes, the pictures the preview draws and the saved file are those of the run as described
// (built here step by step, independently of the run), forward and backward, with and
// without "Best quality"; and the run's document holds the GIF's bytes, not its pixels.
#include <gtest/gtest.h>

#include <malloc.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "gif/best_quality_encoder.h"
#include "gif/gif_extensions.h"
#include "gif/gif_stream.h"
#include "runs/gif/gif_best_timing.h"
#include "runs/gif/gif_pipeline.h"
#include "support/avi_fixtures.h"
#include "support/bounded_run.h"

namespace clipvane {
namespace {

using TBytes = std::vector<std::uint8_t>;

// A natural-looking picture: smooth gradients that drift with the frame number, a soft
// highlight and a little noise, so the reduction dithers and every table is full.
TBitmap NaturalFrame(int n, int width, int height) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  std::uint32_t noise = 2654435761u * static_cast<std::uint32_t>(n + 1);
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      noise = noise * 1664525u + 1013904223u;
      const int jitter = static_cast<int>(noise >> 29) - 4;
      const int dx = x - width / 2 - n, dy = y - height / 3;
      const int glow = std::max(0, 90 - (dx * dx + dy * dy) / 40);
      row[3 * x + 0] = static_cast<std::uint8_t>(std::clamp(40 + 150 * y / height + jitter, 0, 255));
      row[3 * x + 1] = static_cast<std::uint8_t>(std::clamp(60 + (x * 3 + n * 5) % 140 + glow / 2 + jitter, 0, 255));
      row[3 * x + 2] = static_cast<std::uint8_t>(std::clamp(30 + 180 * x / width + glow + jitter, 0, 255));
    }
  }
  return picture;
}

// Frames 0 .. readable-1 as NaturalFrame, or in 8 bits with a table that changes from frame
// paletteChangeAt on (a palette video whose palette changes mid-stream), or each of one
// colour (flat: a GIF of a few bytes a frame).
class TNaturalSource : public TFrameSource {
 public:
  int width = 80, height = 60, readable = 12;
  bool palette = false;
  bool flat = false;
  int paletteChangeAt = 1 << 30;
  std::vector<int> read;

  void Open(const std::string&) override {}
  bool ReadFrame(int n) override {
    if (n >= readable) return false;
    read.push_back(n);
    if (flat) {
      bitmap_ = TBitmap(width, height, TPixelFormat::pf24bit);
      bitmap_.FillRect(TRect{0, 0, width, height}, RGB(n % 256, 90, 200));
      return true;
    }
    bitmap_ = NaturalFrame(n, width, height);
    if (palette) {
      TBitmap indexed(width, height, TPixelFormat::pf8bit);
      std::vector<TRGBQuad> table;
      for (int i = 0; i < 256; ++i)
        table.push_back(TRGBQuad{static_cast<std::uint8_t>(i), static_cast<std::uint8_t>((i * 7) % 256),
                                 static_cast<std::uint8_t>(n >= paletteChangeAt ? 255 - i : i), 0});
      indexed.SetPalette(table);
      indexed.Draw(0, 0, bitmap_);
      bitmap_ = std::move(indexed);
    }
    return true;
  }
  const TBitmap& DecodeBitmap() const override { return bitmap_; }
  void Close() override {}

 private:
  TBitmap bitmap_;
};

TVideoState Opened(const TNaturalSource& source, int sampling = 1) {
  TVideoState state;
  state.FilePath = "/videos/clip.mp4";
  state.FrameWidth = source.width;
  state.FrameHeight = source.height;
  state.DisplayRect = TRect{0, 0, source.width, source.height};
  state.LastFrame = source.readable;  // one past the last frame, as the media device counts
  state.LengthMs = source.readable * 40;
  state.LengthSeconds = state.LengthMs / 1000;
  SelectAllFrames(state);
  SelectFullWindow(state);
  SetSamplingRate(state, sampling);
  return state;
}

TBytes Bytes(TGIFImage& document) {
  TGIFMemoryStream stream;
  document.SaveToStream(stream);
  return stream.TakeBytes();
}

// The run as described, one step after the other: every sampled frame read and cut and
// stretched to the GIF size; forward appended at once in the format it was read in,
// backward kept and appended last first in the format of the last frame read. "Best
// quality" frames are made by the encoder on the time line of the frames shown.
TBytes DescribedRun(TVideoState state, TNaturalSource source, const TGifOptions& options) {
  const bool backward = options.Direction == TGifDirection::gdBackward;
  TGIFImage document;
  document.ReductionMethod = GifReductionMethod(options.Direction);
  document.DitherKind = ditherFloydSteinberg;
  const int step = SamplingStep(state);
  const std::uint16_t delay = GifFrameDelay(state.LengthMs, step, state.LastFrame, options.KeepPlaySpeed);
  const TFrameSize size = GifSize(options.Size, state.CaptureWidth, state.CaptureHeight);
  std::vector<int> plan = SampledFrames(state);
  const TGifTimeline forwardTimes = BestGifTimeline(state, plan, step, options.KeepPlaySpeed, {});
  TBestQualityEncoder best;
  TPixelFormat format = TPixelFormat::pf24bit;
  std::vector<TRGBQuad> palette;
  const auto append = [&](const TBitmap& picture, std::uint16_t frameDelay) {
    TBitmap received(picture.Width(), picture.Height(), format);
    if (IsPaletteFormat(format)) received.SetPalette(palette);
    received.Draw(0, 0, picture);
    if (options.BestQuality) {
      best.AddFrame(document, received, frameDelay);
      return;
    }
    const int index = document.AddFrame(received);
    TGIFSubImage* frame = document.Images()[index];
    if (index == 0) frame->Extensions().Add(std::make_unique<TGIFAppExtNSLoop>(frame));
    auto control = std::make_unique<TGIFGraphicControlExtension>(frame);
    control->SetDelay(frameDelay);
    frame->Extensions().Add(std::move(control));
  };
  std::vector<TBitmap> kept;
  std::vector<int> keptNumbers;
  for (std::size_t k = 0; k < plan.size(); ++k) {
    if (options.BestQuality && !backward && !forwardTimes[static_cast<int>(k)].Shown) continue;
    if (!source.ReadFrame(plan[k])) break;
    const TBitmap& decoded = source.DecodeBitmap();
    format = decoded.PixelFormat();
    if (IsPaletteFormat(format)) palette = decoded.Palette();
    TBitmap picture(size.Width, size.Height);
    CutAndStretch(decoded, state.CaptureRect, picture);
    if (!backward) {
      append(picture, options.BestQuality ? forwardTimes[static_cast<int>(k)].Delay : delay);
    } else {
      kept.push_back(std::move(picture));
      keptNumbers.push_back(plan[k]);
    }
  }
  const std::vector<int> reversed(keptNumbers.rbegin(), keptNumbers.rend());
  const TGifTimeline backwardTimes = BestGifTimeline(state, reversed, step, options.KeepPlaySpeed, {});
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (options.BestQuality && !backwardTimes[static_cast<int>(k)].Shown) continue;
    append(kept[kept.size() - 1 - k], options.BestQuality ? backwardTimes[static_cast<int>(k)].Delay : delay);
  }
  return Bytes(document);
}

// The pictures the preview draws of each frame (Render), as 24-bit bitmaps.
std::vector<TBitmap> Rendered(TGIFImage& document) {
  std::vector<TBitmap> pictures;
  for (int i = 0; i < document.Images().Count(); ++i) {
    TBitmap picture = document.Images()[i]->Render();
    picture.SetPixelFormat(TPixelFormat::pf24bit);
    pictures.push_back(std::move(picture));
  }
  return pictures;
}

bool SamePixels(const TBitmap& a, const TBitmap& b) {
  return a.Width() == b.Width() && a.Height() == b.Height() && std::ranges::equal(a.Bits(), b.Bits());
}

struct TRunCase {
  const char* name;
  TGifDirection direction;
  bool best;
  int sampling;
  bool palette;
  int paletteChangeAt;
};

class GifEncodedRun : public ::testing::TestWithParam<TRunCase> {};

TEST_P(GifEncodedRun, EveryWayWritesAndShowsTheDescribedGif) {
  const TRunCase& run = GetParam();
  TNaturalSource source;
  source.palette = run.palette;
  source.paletteChangeAt = run.paletteChangeAt;
  TGifOptions options;
  options.Direction = run.direction;
  options.BestQuality = run.best;
  const TBytes described = DescribedRun(Opened(source, run.sampling), source, options);

  // The plain run (frames keep their pixels) is the reference for the preview's pictures.
  TVideoState plainState = Opened(source, run.sampling);
  TNaturalSource plainSource = source;
  TGifConversionResult plain;
  RunGifConversion(plainState, plainSource, options, {}, plain);
  ASSERT_NE(plain.Document, nullptr);
  EXPECT_TRUE(Bytes(*plain.Document) == described);
  const std::vector<TBitmap> shown = Rendered(*plain.Document);

  for (const bool twoThreads : {false, true}) {
    TVideoState state = Opened(source, run.sampling);
    TGifConversionResult result;
    RunGifPipeline(state, std::make_unique<TNaturalSource>(source), options, {}, result, twoThreads);
    ASSERT_NE(result.Document, nullptr);
    TGIFImage& document = *result.Document;
    ASSERT_EQ(document.Images().Count(), plain.Document->Images().Count()) << twoThreads;
    ASSERT_GT(document.Images().Count(), 0);
    for (const auto& frame : document.Images()) {
      EXPECT_NE(frame->EncodedData(), nullptr);
      EXPECT_FALSE(frame->PixelsHeld());
    }
    EXPECT_EQ(result.StatusText, plain.StatusText);
    EXPECT_TRUE(Bytes(document) == described) << twoThreads;
    const std::vector<TBitmap> pictures = Rendered(document);
    for (std::size_t i = 0; i < pictures.size(); ++i) EXPECT_TRUE(SamePixels(pictures[i], shown[i])) << i;

    // Save writes a copy, which shares the encoded frames instead of decoding them.
    TGIFImage copy;
    copy.Assign(document);
    EXPECT_EQ(copy.Images()[0]->EncodedData(), document.Images()[0]->EncodedData());
    const fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
    const std::string path = folder.File("saved.gif");
    copy.SaveToFile(path);
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(TBytes(std::istreambuf_iterator<char>(file), {}) == described);
  }
}

INSTANTIATE_TEST_SUITE_P(
    DirectionsAndQuality, GifEncodedRun,
    ::testing::Values(TRunCase{"forward", TGifDirection::gdForward, false, 1, false, 1 << 30},
                      TRunCase{"backward", TGifDirection::gdBackward, false, 2, false, 1 << 30},
                      TRunCase{"best", TGifDirection::gdForward, true, 1, false, 1 << 30},
                      TRunCase{"bestBackward", TGifDirection::gdBackward, true, 1, false, 1 << 30},
                      TRunCase{"paletteBackward", TGifDirection::gdBackward, false, 1, true, 1 << 30},
                      // Frames read before the palette changed are made again in the last one.
                      TRunCase{"paletteChangesBackward", TGifDirection::gdBackward, false, 1, true, 7}),
    [](const ::testing::TestParamInfo<TRunCase>& param) { return std::string(param.param.name); });

// "Best quality" backward reads its frames again, last first: an abort then ends the GIF with
// the frames appended so far, and the window's messages are processed meanwhile.
TEST(GifEncodedRunAbort, AnAbortWhileBestBackwardFramesAreReadAgainKeepsThoseAppended) {
  TNaturalSource source;
  TVideoState state = Opened(source);
  TGifOptions options;
  options.Direction = TGifDirection::gdBackward;
  options.BestQuality = true;
  int appended = 0;
  options.FrameAdded = [&](const TGIFImage&, int, const TBitmap&) { ++appended; };
  int messages = 0;
  TRunHooks hooks;
  hooks.processMessages = [&] { ++messages; };
  hooks.aborted = [&] { return appended == 5; };
  TGifConversionResult result;
  RunGifConversion(state, source, options, hooks, result);
  EXPECT_TRUE(result.Aborted);
  ASSERT_NE(result.Document, nullptr);
  EXPECT_EQ(result.Document->Images().Count(), 5);
  EXPECT_EQ(state.GifFrameCount, 5);
  // Each frame of the walk (the one past the last included), and six read again.
  EXPECT_EQ(messages, source.readable + 1 + 6);
  // The frames read again are the last ones, last first.
  EXPECT_EQ(std::vector<int>(source.read.begin() + source.readable, source.read.end()),
            (std::vector<int>{11, 10, 9, 8, 7}));
}

// Memory follows the size of the GIF: a run of 160 frames of 640 x 480, in a child whose
// address space allows 120 MB more than it starts with, makes its GIF forward and backward,
// copies it for a save, draws every frame as the preview does and saves it. Holding each
// frame's pixels and picture (forward: 98 MB, and as much again for the copy) or each
// 24-bit picture (backward: 147 MB) needs more than that.
TEST(GifEncodedRunMemory, ALongRunPreviewAndSaveFitAFewFramesOfMemory) {
  // The sanitizer reserves terabytes of address space and holds freed memory for a while:
  // neither limit could tell anything there.
  if (fixtures::UnderAddressSanitizer()) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
  const fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
  const std::string path = folder.File("long.gif");
  for (const TGifDirection direction : {TGifDirection::gdForward, TGifDirection::gdBackward}) {
    const fixtures::TBoundedRun ended = fixtures::RunBounded(
        [&] {
          // Room for what the process holds now and 120 MB more.
          std::ifstream status("/proc/self/status");
          std::string line;
          std::uint64_t size = 0;
          while (std::getline(status, line))
            if (line.rfind("VmSize:", 0) == 0) size = std::stoull(line.substr(7)) * 1024;
          const std::uint64_t limit = size + (std::uint64_t{120} << 20);
          const rlimit bound{limit, limit};
          if (::setrlimit(RLIMIT_AS, &bound) != 0) return 3;
          // One heap for every thread: each thread's own would reserve 64 MB of the room.
          mallopt(M_ARENA_MAX, 1);
          auto source = std::make_unique<TNaturalSource>();
          source->width = 640;
          source->height = 480;
          source->readable = 160;
          source->flat = true;
          TVideoState state = Opened(*source);
          TGifOptions options;
          options.Direction = direction;
          TGifConversionResult result;
          RunGifPipeline(state, std::move(source), options, {}, result, true);
          if (!result.Document || result.Document->Images().Count() != 160) return 4;
          TGIFImage copy;
          copy.Assign(*result.Document);
          for (const auto& frame : result.Document->Images()) frame->Render();
          copy.SaveToFile(path);
          return 0;
        },
        0);
    EXPECT_EQ(ended.ExitCode, 0) << (direction == TGifDirection::gdForward ? "forward" : "backward");
    EXPECT_LT(ended.PeakResidentBytes, std::uint64_t{150} << 20);
  }
}

}  // namespace
}  // namespace clipvane
