// HDR videos (PQ and HLG) come back as the SDR picture they were made from: the truth is the
// SDR picture itself, made HDR in the test by the published formulas, coded losslessly (FFV1
// 4:4:4) and lossily (HEVC 4:2:0, as phones record). The raw conversion of the same files,
// which earlier versions made, must fall short of the same bar. The picture stays below the
// tone curve's knee, so the check holds the conversion, not a taste in curves.
#include <gtest/gtest.h>

#include <string>

#include "support/avi_fixtures.h"
#include "support/hdr_fixtures.h"
#include "video/frame_source.h"

namespace clipvane {
namespace {

struct THdrCase {
  std::string Name;
  fixtures::THdrKind Kind;
  std::string FileName;
  std::string Muxer, Encoder, PixelFormat;
  double LeastPsnr;
};

void PrintTo(const THdrCase& entry, std::ostream* out) { *out << entry.Name; }

class HdrToSdr : public ::testing::TestWithParam<THdrCase> {};

TEST_P(HdrToSdr, FramesComeBackAsTheirSdrPicture) {
  const THdrCase& entry = GetParam();
  const TBitmap truth = fixtures::HdrTestPicture(160, 96);
  fixtures::THdrVideo video;
  video.Kind = entry.Kind;
  video.Muxer = entry.Muxer;
  video.Encoder = entry.Encoder;
  video.PixelFormat = entry.PixelFormat;
  if (entry.Encoder == "libx265")
    video.EncoderOptions = {{"preset", "ultrafast"}, {"crf", "14"}, {"x265-params", "log-level=none"}};
  fixtures::TTempFolder folder(CLIPVANE_TEST_TMP);
  const std::string path = folder.File(entry.FileName);
  fixtures::WriteHdrVideo(path, truth, video);

  const std::unique_ptr<TFrameSource> reader = OpenFrameSource(path);
  ASSERT_TRUE(reader->ReadFrame(1));
  const double sdr = fixtures::Psnr(reader->DecodeBitmap(), truth);
  EXPECT_GE(sdr, entry.LeastPsnr);

  const std::unique_ptr<TFrameSource> raw = OpenFrameSource(path, nullptr, THdrMode::hdrRaw);
  ASSERT_TRUE(raw->ReadFrame(1));
  const double rawPsnr = fixtures::Psnr(raw->DecodeBitmap(), truth);
  EXPECT_LT(rawPsnr, entry.LeastPsnr);
  RecordProperty("psnr_sdr", std::to_string(sdr));
  RecordProperty("psnr_raw", std::to_string(rawPsnr));
}

INSTANTIATE_TEST_SUITE_P(
    PqAndHlg, HdrToSdr,
    ::testing::Values(THdrCase{"PqLossless", fixtures::THdrKind::hkPq, "pq.mkv", "matroska", "ffv1", "yuv444p10le", 48},
                      THdrCase{"HlgLossless", fixtures::THdrKind::hkHlg, "hlg.mkv", "matroska", "ffv1", "yuv444p10le",
                               48},
                      THdrCase{"PqHevc", fixtures::THdrKind::hkPq, "pq.mp4", "mp4", "libx265", "yuv420p10le", 35},
                      THdrCase{"HlgHevc", fixtures::THdrKind::hkHlg, "hlg.mp4", "mp4", "libx265", "yuv420p10le", 35}),
    [](const ::testing::TestParamInfo<THdrCase>& param) { return param.param.Name; });

}  // namespace
}  // namespace clipvane

namespace clipvane {
namespace {

// The brightest light a PQ video says it holds (its MaxCLL) sets where its highlights roll
// off: SDR white stays white in a video that goes no brighter, and gives way more in one that
// reaches 4000 nits than in one that says nothing (taken as 1000 nits).
TEST(HdrToSdrPeak, ThePeakAVideoSaysSetsItsRollOff) {
  TBitmap white(32, 16, TPixelFormat::pf24bit);
  white.FillRect({0, 0, 32, 16}, RGB(255, 255, 255));
  fixtures::TTempFolder folder(CLIPVANE_TEST_TMP);
  const auto whiteAt = [&](int maxContentLight) {
    const std::string path = folder.File("white" + std::to_string(maxContentLight) + ".mkv");
    fixtures::THdrVideo video;
    video.MaxContentLight = maxContentLight;
    video.FrameCount = 1;
    fixtures::WriteHdrVideo(path, white, video);
    const std::unique_ptr<TFrameSource> reader = OpenFrameSource(path);
    EXPECT_TRUE(reader->ReadFrame(0));
    const TColor pixel = reader->DecodeBitmap().GetPixel(16, 8);
    EXPECT_EQ(pixel & 0xFF, (pixel >> 8) & 0xFF) << "grey stays grey";
    return static_cast<int>(pixel & 0xFF);
  };
  const int noBrighter = whiteAt(203), unsaid = whiteAt(0), brighter = whiteAt(4000);
  EXPECT_GE(noBrighter, 254);
  EXPECT_LT(unsaid, 250);
  EXPECT_GT(unsaid, 200);
  EXPECT_LT(brighter, unsaid - 5);
}

}  // namespace
}  // namespace clipvane
