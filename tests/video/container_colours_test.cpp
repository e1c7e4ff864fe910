// Colours of container videos as a player shows them: each stream's matrix (BT.601, BT.709,
// BT.2020 as tagged; untagged by its height), full and limited range, 4:2:0 to 4:4:4 at 8,
// 10 and 12 bits, and alpha laid over black. The pictures are patches of known colours
// coded losslessly (FFV1), so only the conversion to RGB can move them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "support/video_fixtures.h"
#include "video/frame_source.h"

extern "C" {
#include <libavutil/pixfmt.h>
}

namespace clipvane {
namespace {

struct TColourCase {
  std::string Name;
  std::string PixelFormat;
  int ColorSpace = AVCOL_SPC_UNSPECIFIED;
  bool FullRange = false;
  int UntaggedMatrix = AVCOL_SPC_BT470BG;
  int Height = 48;
};

void PrintTo(const TColourCase& entry, std::ostream* out) { *out << entry.Name; }

class ContainerColours : public ::testing::TestWithParam<TColourCase> {};

TEST_P(ContainerColours, PatchesKeepTheirColours) {
  const TColourCase& entry = GetParam();
  fixtures::TFixtureVideo video;
  video.Muxer = "matroska";
  video.Encoder = "ffv1";
  video.PixelFormat = entry.PixelFormat;
  video.ColorSpace = entry.ColorSpace;
  video.FullRange = entry.FullRange;
  video.UntaggedMatrix = entry.UntaggedMatrix;
  video.Height = entry.Height;
  video.FrameCount = 2;
  video.Picture = fixtures::TFixturePicture::fpColours;
  fixtures::TTempFolder folder(CLIPVANE_TEST_TMP);
  const std::string path = folder.File("colours.mkv");
  fixtures::WriteFixtureVideo(path, video);

  const std::unique_ptr<TFrameSource> reader = OpenFrameSource(path);
  ASSERT_TRUE(reader->ReadFrame(1));
  const TBitmap& shown = reader->DecodeBitmap();
  const TBitmap expected = fixtures::ShownFrame(video, 1);
  ASSERT_EQ(shown.Width(), expected.Width());
  ASSERT_EQ(shown.Height(), expected.Height());
  const bool alpha = entry.PixelFormat.find("yuva") == 0;
  // The middle of each of the 4 x 2 patches; with alpha the right half is half opaque.
  for (int row = 0; row < 2; ++row)
    for (int column = 0; column < 4; ++column) {
      const int x = column * expected.Width() / 4 + expected.Width() / 8;
      const int y = row * expected.Height() / 2 + expected.Height() / 4;
      const TColor want = expected.GetPixel(x, y);
      const TColor got = shown.GetPixel(x, y);
      const double opacity = alpha && x >= expected.Width() / 2 ? 128.0 / 255.0 : 1.0;
      for (const int shift : {0, 8, 16}) {
        const int wanted = static_cast<int>(((want >> shift) & 0xFF) * opacity + 0.5);
        EXPECT_NEAR(static_cast<int>((got >> shift) & 0xFF), wanted, 3)
            << "patch " << column << "," << row << " channel at bit " << shift;
      }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryKind, ContainerColours,
                         ::testing::Values(TColourCase{"Bt601Limited420", "yuv420p", AVCOL_SPC_BT470BG},
                                           TColourCase{"Bt709Limited444", "yuv444p", AVCOL_SPC_BT709},
                                           TColourCase{"Bt601Full422", "yuv422p", AVCOL_SPC_BT470BG, true},
                                           TColourCase{"Bt2020TenBit", "yuv420p10le", AVCOL_SPC_BT2020_NCL},
                                           TColourCase{"Bt709TwelveBit444", "yuv444p12le", AVCOL_SPC_BT709},
                                           TColourCase{"UntaggedSmallIs601", "yuv420p", AVCOL_SPC_UNSPECIFIED, false,
                                                       AVCOL_SPC_BT470BG},
                                           TColourCase{"Untagged720LinesIs709", "yuv420p", AVCOL_SPC_UNSPECIFIED, false,
                                                       AVCOL_SPC_BT709, 720},
                                           TColourCase{"AlphaOverBlack", "yuva420p", AVCOL_SPC_BT470BG}),
                         [](const ::testing::TestParamInfo<TColourCase>& param) { return param.param.Name; });

}  // namespace
}  // namespace clipvane
