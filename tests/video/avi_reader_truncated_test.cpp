// Files cut off anywhere: the reader either refuses them with one of its messages or gives
// the frames that are there, and never crashes, hangs or reads outside a buffer.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "core/error.h"
#include "support/avi_fixtures.h"
#include "video/avi_frame_reader.h"
#include "video/video_probe.h"

namespace clipvane {
namespace {

using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;

std::string CodecTestName(const ::testing::TestParamInfo<TFixtureCodec>& param) {
  return fixtures::CodecName(param.param);
}

const std::set<std::string> kMessages = {"Failed to open AVI file",          "Failed to open AVI stream",
                                         "Failed to get AVI stream info",    "Failed to get AVI stream format size",
                                         "Failed to get AVI stream format",  "Failed to start AVI stream",
                                         "Failed to start AVI decompression"};

class AviReaderTruncated : public ::testing::TestWithParam<TFixtureCodec> {
 protected:
  AviReaderTruncated() : folder_(CLIPVANE_TEST_TMP) {}
  fixtures::TTempFolder folder_;
};

TEST_P(AviReaderTruncated, EveryCutGivesFramesOrAMessage) {
  const std::string whole = folder_.File("whole.avi");
  TFixtureAvi avi;
  avi.Codec = GetParam();
  avi.FrameCount = 30;
  fixtures::WriteFixtureAvi(whole, avi);
  const std::uintmax_t size = fixtures::FileSize(whole);
  // Cuts inside the headers, inside the frames and inside the index.
  const std::uintmax_t cuts[] = {4, 12, 100, 300, 1000, size / 4, size / 2, size * 3 / 4, size - 100, size - 1};
  for (const std::uintmax_t cut : cuts) {
    if (cut >= size) continue;
    const std::string path = folder_.File("cut" + std::to_string(cut) + ".avi");
    std::filesystem::copy_file(whole, path);
    fixtures::TruncateFile(path, cut);
    TAviFrameReader reader;
    try {
      reader.Open(path);
    } catch (const EClipvaneError& error) {
      EXPECT_TRUE(kMessages.count(error.what())) << "cut at " << cut << ": " << error.what();
      EXPECT_FALSE(reader.IsOpen());
      continue;
    }
    // Forwards, backwards and jumping. Every frame before the last one there shows its own
    // number; the last may be cut inside its picture, so it only has to be readable. With
    // B-frames the cut may also take the B-frames shown before the last reference picture,
    // which then stands in their place: the last three frames only have to be readable.
    const int uncertain = GetParam() == TFixtureCodec::fcMpeg4BFrames ? 3 : 1;
    int last = -1;
    for (int n = 0; n < 32; ++n) {
      if (!reader.ReadFrame(n)) break;
      last = n;
    }
    auto check = [&](int n) {
      if (!reader.ReadFrame(n)) {
        EXPECT_GT(n, last) << "cut at " << cut << ": frame " << n << " was there before";
        return;
      }
      EXPECT_LE(n, last) << "cut at " << cut;
      if (n <= last - uncertain) {
        EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), n) << "cut at " << cut;
      }
    };
    for (int n = 0; n < 32; ++n) check(n);
    for (int n = 31; n >= 0; --n) check(n);
    for (const int n : {15, 3, 28, 0, 29, 14}) check(n);
    const int lastGood = last;
    // The probe counts the frames that are there.
    if (lastGood >= 0 && cut > size / 2 && cut < size - 100) {
      try {
        EXPECT_EQ(ProbeVideo(path).FrameCount, lastGood + 1) << "cut at " << cut;
      } catch (const EClipvaneError&) {
        ADD_FAILURE() << "the probe refused a file the reader reads, cut at " << cut;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Codecs, AviReaderTruncated,
                         ::testing::Values(TFixtureCodec::fcRawPal8, TFixtureCodec::fcMpeg4,
                                           TFixtureCodec::fcMpeg4BFrames, TFixtureCodec::fcMjpeg),
                         CodecTestName);

}  // namespace
}  // namespace clipvane
