// "Fit under N MB" and the size estimate over a slow pan of a natural-looking scene: the GIF
// written is never over the limit, keeps what the user fixed and the play time, an impossible
// limit converts nothing and says how small the GIF can get, and the estimate comes within
// 15 % of what the conversion writes.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "runs/gif/byte_size_text.h"
#include "runs/gif/gif_pipeline.h"
#include "runs/gif/gif_size_estimate.h"
#include "runs/gif/gif_size_fit.h"
#include "support/avi_fixtures.h"
#include "support/fake_frame_source.h"
#include "support/gif_giflib_decode.h"
#include "support/opened_video_state.h"

namespace clipvane {
namespace {

using giflib_check::DecodeGif;
using giflib_check::TGiflibGif;

constexpr int kWidth = 96, kHeight = 64;

// A video of `frames` frames, as a video file gives them (none past the last).
TFrameSourceFactory PanSources(int frames, int width = kWidth, int height = kHeight) {
  return fixtures::FakeSources([=](fixtures::TFakeFrameSource& source) {
    source.Readable = frames;
    source.Width = width;
    source.Height = height;
    source.Paint = [=](int n) { return fixtures::PanFrame(n, width, height); };
  });
}

TVideoState Pan(int frames, int width = kWidth, int height = kHeight) {
  fixtures::TOpenedVideo video;
  video.LastFrame = frames;
  video.Width = width;
  video.Height = height;
  return fixtures::OpenedVideoState(video);
}

TGifOptions Best() {
  TGifOptions options;
  options.BestQuality = true;
  return options;
}

std::uint64_t BestBytes(int frames) {
  TVideoState state = Pan(frames);
  return ConvertToGifBytes(state, PanSources(frames), Best(), {}, false).Bytes.size();
}

int TotalDelay(const TGiflibGif& gif) {
  return std::accumulate(gif.Frames.begin(), gif.Frames.end(), 0,
                         [](int sum, const auto& frame) { return sum + frame.Delay; });
}

struct TFitted {
  TGifFitChoice Choice;
  TGifFileResult File;
  int Conversions = 0;
  TVideoState State;
};

TFitted Fit(int frames, std::uint64_t limit, const TGifOptions& options = Best(), const TGifFitFixed& fixed = {},
            int sampling = 1) {
  TFitted fitted;
  fitted.State = Pan(frames);
  fitted.State.SamplingRate = sampling;
  const TFrameSourceFactory sources = PanSources(frames);
  const TRunHooks hooks;
  const TGifFitConverter convert = GifBytesConverter(sources, hooks, false, fitted.File);
  fitted.Choice = FitGifToSize(fitted.State, sources, options, fixed, limit, hooks,
                               [&](TVideoState& state, const TGifOptions& made) {
                                 ++fitted.Conversions;
                                 return convert(state, made);
                               });
  return fitted;
}

TEST(GifSizeFit, NeverOverTheLimitAndPlaysAsLongAsTheVideo) {
  constexpr int kFrames = 40;
  const std::uint64_t whole = BestBytes(kFrames);
  // Just above and just below the unlimited GIF, and well under it.
  for (const std::uint64_t limit : {whole + 1, whole, whole - 1, whole / 3, whole / 10, whole / 25}) {
    SCOPED_TRACE("limit " + std::to_string(limit) + " of " + std::to_string(whole));
    const TFitted fitted = Fit(kFrames, limit);
    ASSERT_GT(fitted.File.Bytes.size(), 0u);
    EXPECT_LE(fitted.File.Bytes.size(), limit);
    EXPECT_EQ(fitted.Choice.Bytes, fitted.File.Bytes.size());
    EXPECT_EQ(fitted.Choice.Conversions, fitted.Conversions);
    EXPECT_LE(fitted.Conversions, 5);
    const TGiflibGif gif = DecodeGif(fitted.File.Bytes);
    ASSERT_TRUE(gif.Ok) << gif.Error;
    EXPECT_EQ(gif.Width, fitted.Choice.Point.Width);
    EXPECT_EQ(gif.Height, fitted.Choice.Point.Height);
    // The aspect is kept to a pixel.
    EXPECT_NEAR(gif.Width * kHeight, gif.Height * kWidth, kWidth);
    // 40 frames of 40 ms, whatever the frame rate chosen.
    EXPECT_EQ(TotalDelay(gif), 160);
    EXPECT_EQ(fitted.State.SamplingRate, fitted.Choice.Point.Sampling);
  }
}

TEST(GifSizeFit, AGifOverTheLimitIsMadeAgainSmaller) {
  constexpr int kFrames = 24;
  const std::uint64_t limit = BestBytes(kFrames) / 3;
  TVideoState state = Pan(kFrames);
  const TFrameSourceFactory sources = PanSources(kFrames);
  TGifFileResult file;
  const TGifFitConverter convert = GifBytesConverter(sources, {}, false, file);
  std::vector<TFitPoint> made;
  // The first GIF is taken for larger than it is, as when the sample misjudged the video.
  const TGifFitChoice choice =
      FitGifToSize(state, sources, Best(), {}, limit, {}, [&](TVideoState& run, const TGifOptions& options) {
        made.push_back({options.Size.SpecifiedWidth, options.Size.SpecifiedHeight, run.SamplingRate, options.LossyLevel,
                        options.MaxColors});
        const std::uint64_t bytes = convert(run, options);
        return made.size() == 1 ? limit + 1 : bytes;
      });
  ASSERT_GE(made.size(), 2u);
  EXPECT_EQ(choice.Conversions, static_cast<int>(made.size()));
  EXPECT_EQ(choice.Point, made.back());
  EXPECT_FALSE(made[1] == made[0]);
  EXPECT_LE(file.Bytes.size(), limit);
}

TEST(GifSizeFit, ALimitTheWholeGifMeetsGivesNothingUp) {
  const std::uint64_t whole = BestBytes(24);
  const TFitted fitted = Fit(24, whole * 2);
  EXPECT_EQ(fitted.Choice.Point.Width, kWidth);
  EXPECT_EQ(fitted.Choice.Point.Height, kHeight);
  EXPECT_EQ(fitted.Choice.Point.Sampling, 1);
  EXPECT_EQ(fitted.Choice.Point.MaxColors, 255);
  EXPECT_LE(fitted.File.Bytes.size(), whole * 2);
}

TEST(GifSizeFit, KeepsWhatTheUserFixed) {
  constexpr int kFrames = 32;
  const std::uint64_t whole = BestBytes(kFrames);
  struct TCase {
    const char* Name;
    TGifFitFixed Fixed;
    int Sampling;
    int Lossy;
  };
  const TCase cases[] = {
      {"size", {.Size = true}, 1, 0},
      {"sampling", {.Sampling = true}, 2, 0},
      {"lossy", {.Lossy = true}, 1, 30},
      {"everything", {.Size = true, .Sampling = true, .Lossy = true}, 1, 80},
  };
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TGifOptions options = Best();
    options.LossyLevel = c.Lossy;
    if (c.Fixed.Size) {
      options.Size.Rule = TGifSizeRule::gsSpecifiedSize;
      options.Size.SpecifiedWidth = 72;
      options.Size.SpecifiedHeight = 48;
    }
    const TFitted fitted = Fit(kFrames, whole / 3, options, c.Fixed, c.Sampling);
    EXPECT_LE(fitted.File.Bytes.size(), whole / 3);
    if (c.Fixed.Size) {
      EXPECT_EQ(fitted.File.GifWidth, 72);
      EXPECT_EQ(fitted.File.GifHeight, 48);
    }
    if (c.Fixed.Sampling) {
      EXPECT_EQ(fitted.State.SamplingRate, c.Sampling);
    }
    if (c.Fixed.Lossy) {
      EXPECT_EQ(fitted.Choice.Point.Lossy, c.Lossy);
    }
  }
}

TEST(GifSizeFit, AnImpossibleLimitConvertsNothingAndSaysHowSmallItGets) {
  for (const std::uint64_t limit : {std::uint64_t{1}, std::uint64_t{300}}) {
    TVideoState state = Pan(24);
    int conversions = 0;
    try {
      FitGifToSize(state, PanSources(24), Best(), {}, limit, {}, [&](TVideoState&, const TGifOptions&) {
        ++conversions;
        return std::uint64_t{0};
      });
      ADD_FAILURE() << "fitted in " << limit << " bytes";
    } catch (const EGifCannotFit& error) {
      EXPECT_EQ(error.Limit(), limit);
      EXPECT_GT(error.Smallest(), limit);
      EXPECT_EQ(std::string(error.what()),
                "cannot fit in " + std::to_string(limit) + (limit == 1 ? " byte" : " bytes") +
                    ": the smallest GIF of these frames is about " + ByteSizeWords(error.Smallest()));
    }
    EXPECT_EQ(conversions, 0);
    // The estimate says the same without converting either.
    EXPECT_THROW(ChooseGifFit(Pan(24), PanSources(24), Best(), {}, limit, {}), EGifCannotFit);
  }
}

TEST(GifSizeFit, AnAbortStopsTheSearch) {
  TVideoState state = Pan(24);
  TRunHooks hooks;
  int asked = 0;
  hooks.aborted = [&] { return ++asked > 3; };
  EXPECT_THROW(FitGifToSize(state, PanSources(24), Best(), {}, BestBytes(24) / 3, hooks,
                            [](TVideoState&, const TGifOptions&) -> std::uint64_t {
                              ADD_FAILURE() << "converted after an abort";
                              return 0;
                            }),
               EClipvaneError);
}

TEST(GifSizeEstimate, WithinFifteenPerCentOfTheGifWritten) {
  struct TCase {
    const char* Name;
    bool Best;
    int Sampling;
    int Lossy;
  };
  const TCase cases[] = {
      {"described", false, 1, 0},
      {"described, every 3rd frame", false, 3, 0},
      {"best quality", true, 1, 0},
      {"best quality, every 2nd frame, lossy", true, 2, 40},
  };
  constexpr int kFrames = 200;
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TGifOptions options;
    options.BestQuality = c.Best;
    options.LossyLevel = c.Lossy;
    TVideoState state = Pan(kFrames);
    state.SamplingRate = c.Sampling;
    fixtures::TFakeFrameSource source;
    source.Readable = kFrames;
    source.Paint = [](int n) { return fixtures::PanFrame(n, kWidth, kHeight); };
    const TGifSizeEstimate estimate = EstimateGifSize(state, source, options, {});
    // A sample, not the whole run: at most a quarter of the frames read.
    EXPECT_LE(source.Read.size(), static_cast<std::size_t>(kFrames / c.Sampling / 4));
    EXPECT_FALSE(source.IsOpen());
    const TGifFileResult written = ConvertToGifBytes(state, PanSources(kFrames), options, {}, false);
    EXPECT_EQ(estimate.GifFrames, written.FrameCount);
    EXPECT_EQ(estimate.GifWidth, written.GifWidth);
    const double actual = static_cast<double>(written.Bytes.size());
    EXPECT_NEAR(static_cast<double>(estimate.Bytes), actual, 0.15 * actual);
    EXPECT_GT(estimate.Uncertainty, 0);
    EXPECT_LT(estimate.Uncertainty, 0.15);
  }
}

TEST(GifSizeEstimate, AShortVideoIsConvertedWhole) {
  TVideoState state = Pan(10);
  fixtures::TFakeFrameSource source;
  source.Readable = 10;
  source.Paint = [](int n) { return fixtures::PanFrame(n, kWidth, kHeight); };
  const TGifSizeEstimate estimate = EstimateGifSize(state, source, Best(), {});
  const TGifFileResult written = ConvertToGifBytes(state, PanSources(10), Best(), {}, false);
  EXPECT_EQ(estimate.Bytes, written.Bytes.size());
  EXPECT_EQ(estimate.Uncertainty, 0);
  EXPECT_EQ(estimate.SampledFrames, 10);
}

}  // namespace
}  // namespace clipvane
