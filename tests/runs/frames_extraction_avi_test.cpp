// The extraction run on real AVI files through the frame reader: the right frames, in every
// colour mode, and a clean end when the stream is shorter than the media device counts.
#include <gtest/gtest.h>

#include "core/error.h"
#include "runs/frames/extraction_run.h"
#include "support/avi_fixtures.h"
#include "support/opened_video_state.h"

namespace clipvane {
namespace {

using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;

// The state as "Open AVI" leaves it: LastFrame is the media device's frame count.
TVideoState Opened(const std::string& path, const TFixtureAvi& avi) {
  return fixtures::OpenedVideoState(
      {.Path = path, .LastFrame = avi.FrameCount, .Width = avi.Width, .Height = avi.Height});
}

class AviExtraction : public ::testing::Test {
 protected:
  fixtures::TTempFolder temp_{CLIPVANE_TEST_TMP};
};

TEST_F(AviExtraction, EveryFrameInOrderEndingQuietlyAtTheUncountedLastFrame) {
  TFixtureAvi avi;
  avi.FrameCount = 15;
  const std::string path = temp_.File("raw.avi");
  fixtures::WriteFixtureAvi(path, avi);
  TVideoState state = Opened(path, avi);
  const auto source = MakeFrameSource();
  const auto result = RunFrameExtraction(state, *source, {}, {});
  EXPECT_TRUE(result.OutOfFrames);
  ASSERT_EQ(state.ExtractedFrames.size(), 15u);
  for (int n = 0; n < 15; ++n) {
    const auto& entry = state.ExtractedFrames[static_cast<std::size_t>(n)];
    EXPECT_EQ(entry.FrameNumber, n);
    EXPECT_EQ(fixtures::DecodeFrameNumber(*entry.Bitmap), n);
  }
}

TEST_F(AviExtraction, EveryModeOfA320x240Video) {
  TFixtureAvi avi;
  avi.Width = 320;
  avi.Height = 240;
  avi.FrameCount = 3;
  const std::string path = temp_.File("big.avi");
  fixtures::WriteFixtureAvi(path, avi);
  const std::pair<const char*, TPixelFormat> modes[] = {
      {"32 bit", TPixelFormat::pf32bit}, {"24 bit", TPixelFormat::pf24bit}, {"16 bit", TPixelFormat::pf16bit},
      {"15 bit", TPixelFormat::pf15bit}, {"8 bit", TPixelFormat::pf8bit},   {"4 bit", TPixelFormat::pf4bit},
      {"1 bit", TPixelFormat::pf1bit}};
  for (const auto& [text, format] : modes) {
    TVideoState state = Opened(path, avi);
    ApplyFrameRange(state, 1, 2);
    const auto source = MakeFrameSource();
    RunFrameExtraction(state, *source, {ColorModeFromText(text), {}}, {});
    ASSERT_EQ(state.ExtractedFrames.size(), 2u) << text;
    for (const auto& entry : state.ExtractedFrames) {
      EXPECT_EQ(entry.Bitmap->Width(), 320) << text;
      EXPECT_EQ(entry.Bitmap->Height(), 240) << text;
      EXPECT_EQ(entry.Bitmap->PixelFormat(), format) << text;
    }
    // The direct-colour modes keep the picture well enough to read its number.
    if (format == TPixelFormat::pf24bit || format == TPixelFormat::pf32bit || format == TPixelFormat::pf16bit) {
      EXPECT_EQ(fixtures::DecodeFrameNumber(*state.ExtractedFrames[1].Bitmap), 2) << text;
    }
  }
}

TEST_F(AviExtraction, SkipsUntickedFramesOfACompressedVideo) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMpeg4BFrames;
  avi.FrameCount = 30;
  avi.KeyFrameInterval = 8;
  const std::string path = temp_.File("mpeg4.avi");
  fixtures::WriteFixtureAvi(path, avi);
  TVideoState state = Opened(path, avi);
  ApplyFrameRange(state, 3, 20);
  for (const int n : {5, 6, 7, 8, 9, 10, 11, 12, 13}) state.FrameSelected[static_cast<std::size_t>(n)] = false;
  const auto source = MakeFrameSource();
  RunFrameExtraction(state, *source, {TColorMode::cm24bit, [] { return TFrameSize{32, 24}; }}, {});
  std::vector<int> numbers, shown;
  for (const auto& entry : state.ExtractedFrames) {
    numbers.push_back(entry.FrameNumber);
    EXPECT_EQ(entry.Bitmap->Width(), 32);
  }
  EXPECT_EQ(numbers, (std::vector<int>{3, 4, 14, 15, 16, 17, 18, 19, 20}));
  // The pictures themselves, read at full size in a second run.
  TVideoState full = Opened(path, avi);
  ApplyFrameRange(full, 14, 15);
  RunFrameExtraction(full, *source, {}, {});
  ASSERT_EQ(full.ExtractedFrames.size(), 2u);
  EXPECT_EQ(fixtures::DecodeFrameNumber(*full.ExtractedFrames[0].Bitmap), 14);
  EXPECT_EQ(fixtures::DecodeFrameNumber(*full.ExtractedFrames[1].Bitmap), 15);
}

TEST_F(AviExtraction, ReaderMessageWhenTheFileIsNoVideo) {
  fixtures::WriteTextFile(temp_.File("text.avi"), "plain text");
  TFixtureAvi avi;
  TVideoState state = Opened(temp_.File("text.avi"), avi);
  const auto source = MakeFrameSource();
  try {
    RunFrameExtraction(state, *source, {}, {});
    FAIL() << "a text file is no video";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "Failed to open AVI file");
  }
  EXPECT_TRUE(state.ExtractedFrames.empty());
}

}  // namespace
}  // namespace clipvane
