// ProbeVideo: frame size, the exact number of frames and the length the media device reports.
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "support/avi_fixtures.h"
#include "video/avi_frame_reader.h"
#include "video/video_probe.h"

namespace clipvane {
namespace {

using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;

class VideoProbe : public ::testing::Test {
 protected:
  VideoProbe() : folder_(CLIPVANE_TEST_TMP) {}
  std::string Write(const TFixtureAvi& avi) {
    const std::string path = folder_.File("video" + std::to_string(counter_++) + ".avi");
    fixtures::WriteFixtureAvi(path, avi);
    return path;
  }
  std::string ProbeMessage(const std::string& path) {
    try {
      ProbeVideo(path);
    } catch (const EClipvaneError& error) {
      return error.what();
    }
    return "";
  }
  fixtures::TTempFolder folder_;
  int counter_ = 0;
};

TEST_F(VideoProbe, SizeCountAndLengthOfTenSeconds) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMpeg4;
  avi.Width = 320;
  avi.Height = 240;
  avi.FrameCount = 250;
  avi.Picture = fixtures::TFixturePicture::fpSample;
  const TVideoInfo info = ProbeVideo(Write(avi));
  EXPECT_EQ(info.FrameWidth, 320);
  EXPECT_EQ(info.FrameHeight, 240);
  EXPECT_EQ(info.FrameCount, 250);
  EXPECT_EQ(info.FrameRateNumerator, 25);
  EXPECT_EQ(info.FrameRateDenominator, 1);
  EXPECT_DOUBLE_EQ(info.FrameDurationMs, 40.0);
  EXPECT_EQ(info.LengthMs, 10000);
}

TEST_F(VideoProbe, LengthIsTheCountTimesTheFrameDuration) {
  TFixtureAvi avi;
  avi.FrameCount = 10;
  avi.RateNumerator = 30000;
  avi.RateDenominator = 1001;
  const TVideoInfo info = ProbeVideo(Write(avi));
  EXPECT_EQ(info.FrameCount, 10);
  EXPECT_EQ(info.FrameRateNumerator, 30000);
  EXPECT_EQ(info.FrameRateDenominator, 1001);
  EXPECT_NEAR(info.FrameDurationMs, 33.3667, 0.0001);
  EXPECT_EQ(info.LengthMs, 334);  // 333.67 ms to the nearest
  avi.FrameCount = 3;
  avi.RateNumerator = 8;
  avi.RateDenominator = 1;
  EXPECT_EQ(ProbeVideo(Write(avi)).LengthMs, 375);
}

TEST_F(VideoProbe, CountsEveryCodecsFramesExactly) {
  for (const TFixtureCodec codec : {TFixtureCodec::fcRawPal8, TFixtureCodec::fcMsVideo1, TFixtureCodec::fcCinepak,
                                    TFixtureCodec::fcMjpeg, TFixtureCodec::fcMpeg4BFrames}) {
    TFixtureAvi avi;
    avi.Codec = codec;
    avi.FrameCount = 17;
    const std::string path = Write(avi);
    EXPECT_EQ(ProbeVideo(path).FrameCount, 17) << fixtures::CodecName(codec);
    // The reader agrees: the last frame is there, the one after it is not.
    TAviFrameReader reader;
    reader.Open(path);
    EXPECT_TRUE(reader.ReadFrame(16)) << fixtures::CodecName(codec);
    EXPECT_FALSE(reader.ReadFrame(17)) << fixtures::CodecName(codec);
  }
}

TEST_F(VideoProbe, DropFramesCount) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMpeg4;
  avi.FrameCount = 20;
  avi.DroppedFrames = {3, 4, 11};
  EXPECT_EQ(ProbeVideo(Write(avi)).FrameCount, 20);
}

TEST_F(VideoProbe, AudioBesideTheVideoDoesNotCount) {
  TFixtureAvi avi;
  avi.FrameCount = 13;
  avi.WithAudio = true;
  const TVideoInfo info = ProbeVideo(Write(avi));
  EXPECT_EQ(info.FrameCount, 13);
  EXPECT_EQ(info.FrameWidth, 64);
}

TEST_F(VideoProbe, FileCutBeforeItsIndexCountsTheFramesThere) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcRawBgr24;
  avi.FrameCount = 20;
  const std::string path = Write(avi);
  // Half the file: about ten frames of 9 kB each are left, and no index.
  fixtures::TruncateFile(path, fixtures::FileSize(path) / 2);
  const int count = ProbeVideo(path).FrameCount;
  EXPECT_GE(count, 8);
  EXPECT_LE(count, 11);
  TAviFrameReader reader;
  reader.Open(path);
  EXPECT_TRUE(reader.ReadFrame(5));
  EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), 5);
  EXPECT_TRUE(reader.ReadFrame(count - 1));
  EXPECT_FALSE(reader.ReadFrame(count));
}

TEST_F(VideoProbe, BadFilesGiveFfmpegsText) {
  EXPECT_EQ(ProbeMessage(folder_.File("missing.avi")), "No such file or directory");
  const std::string audio = folder_.File("audio.avi");
  fixtures::WriteAudioOnlyAvi(audio);
  EXPECT_EQ(ProbeMessage(audio), "Stream not found");
  const std::string text = folder_.File("text.avi");
  fixtures::WriteTextFile(text, "not a video at all\n");
  EXPECT_EQ(ProbeMessage(text), "Invalid data found when processing input");
  const std::string empty = folder_.File("empty.avi");
  fixtures::WriteEmptyFile(empty);
  EXPECT_FALSE(ProbeMessage(empty).empty());
  const std::string wide = folder_.File("wide.avi");
  fixtures::WriteAviWithFrameWidth(wide, 70000);
  EXPECT_EQ(ProbeMessage(wide), "Invalid data found when processing input");
}

}  // namespace
}  // namespace clipvane
