// JPEG decoding: files written by libjpeg (colour, grey, progressive, Adobe CMYK) read back
// within the tolerance of lossy coding, and damaged streams refused without a word on stderr.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "decoder_test_support.h"
#include "imageio/jpeg_decoder.h"

namespace clipvane {
namespace {

using namespace testing_support;

enum class TJpegKind { colour, grey, progressive, cmyk };

// Four flat 8 x 8 quadrants: red, green, blue, white (grey: 0, 85, 170, 255). Chroma is not
// subsampled, so each quadrant decodes close to its colour.
constexpr int kQuadrants[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {255, 255, 255}};
constexpr int kGreys[4] = {0, 85, 170, 255};

int Quadrant(int x, int y) { return (y >= 8 ? 2 : 0) + (x >= 8 ? 1 : 0); }

TBytes WriteJpeg(TJpegKind kind) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = 16;
  info.image_height = 16;
  const int components = kind == TJpegKind::grey ? 1 : kind == TJpegKind::cmyk ? 4 : 3;
  info.input_components = components;
  info.in_color_space = kind == TJpegKind::grey ? JCS_GRAYSCALE : kind == TJpegKind::cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 95, TRUE);
  for (int c = 0; c < info.num_components; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  if (kind == TJpegKind::progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(16 * static_cast<std::size_t>(components));
  for (int y = 0; y < 16; ++y) {
    for (int x = 0; x < 16; ++x) {
      const int q = Quadrant(x, y);
      JSAMPLE* p = &row[static_cast<std::size_t>(x * components)];
      if (kind == TJpegKind::grey) {
        p[0] = static_cast<JSAMPLE>(kGreys[q]);
      } else if (kind == TJpegKind::cmyk) {
        // Adobe's inverted convention, which libjpeg marks in the file: stored = 255 - ink,
        // so red (no cyan ink, full magenta and yellow, no black) is 255, 0, 0, 255.
        p[0] = static_cast<JSAMPLE>(kQuadrants[q][0]);
        p[1] = static_cast<JSAMPLE>(kQuadrants[q][1]);
        p[2] = static_cast<JSAMPLE>(kQuadrants[q][2]);
        p[3] = 255;
      } else {
        for (int c = 0; c < 3; ++c) p[c] = static_cast<JSAMPLE>(kQuadrants[q][c]);
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  TBytes out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

void ExpectNear(TColor actual, int red, int green, int blue, int tolerance, int x, int y) {
  EXPECT_NEAR(GetRValue(actual), red, tolerance) << "red at " << x << "," << y;
  EXPECT_NEAR(GetGValue(actual), green, tolerance) << "green at " << x << "," << y;
  EXPECT_NEAR(GetBValue(actual), blue, tolerance) << "blue at " << x << "," << y;
}

TEST(JpegColourSpaces, ColourPictureDecodesToItsColours) {
  for (const TJpegKind kind : {TJpegKind::colour, TJpegKind::progressive, TJpegKind::cmyk}) {
    const TBitmap bitmap = DecodeJpeg(WriteJpeg(kind));
    ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
    ASSERT_EQ(bitmap.Width(), 16);
    ASSERT_EQ(bitmap.Height(), 16);
    for (int y = 1; y < 16; y += 3)
      for (int x = 1; x < 16; x += 3) {
        const int* c = kQuadrants[Quadrant(x, y)];
        ExpectNear(bitmap.GetPixel(x, y), c[0], c[1], c[2], 12, x, y);
      }
  }
}

TEST(JpegColourSpaces, GreyPictureKeepsOneChannel) {
  const TBitmap bitmap = DecodeJpeg(WriteJpeg(TJpegKind::grey));
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
  for (int y = 0; y < 16; y += 5)
    for (int x = 0; x < 16; x += 5) {
      const int g = kGreys[Quadrant(x, y)];
      ExpectNear(bitmap.GetPixel(x, y), g, g, g, 6, x, y);
    }
}

TEST(JpegMalformed, AbsurdSizeIsRefusedBeforeDecoding) {
  TBytes jpeg = WriteJpeg(TJpegKind::colour);
  // Frame header: FF C0, length, precision, height, width.
  std::size_t at = 2;
  while (at + 1 < jpeg.size() && !(jpeg[at] == 0xFF && jpeg[at + 1] == 0xC0)) ++at;
  ASSERT_LT(at + 9, jpeg.size());
  jpeg[at + 7] = 40000 >> 8;
  jpeg[at + 8] = 40000 & 0xFF;
  try {
    DecodeJpeg(jpeg);
    FAIL() << "accepted a 40000 pixel wide picture";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "JPEG image is too large: 40000 x 16 pixels");
  }
}

TEST(JpegMalformed, EveryTruncationIsRefusedQuietly) {
  ::testing::internal::CaptureStderr();
  ExpectEveryTruncationRejected(WriteJpeg(TJpegKind::colour), [](const TBytes& d) { return DecodeJpeg(d); });
  ExpectEveryTruncationRejected(WriteJpeg(TJpegKind::progressive), [](const TBytes& d) { return DecodeJpeg(d); });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(JpegMalformed, CutStreamNamesTheCause) {
  const TBytes jpeg = WriteJpeg(TJpegKind::colour);
  const TBytes cut(jpeg.begin(), jpeg.end() - 40);
  try {
    DecodeJpeg(cut);
    FAIL();
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "Invalid JPEG file: file is cut off");
  }
}

TEST(JpegMalformed, RandomDamageIsHandledQuietly) {
  ::testing::internal::CaptureStderr();
  ExpectMutationsHandled(
      WriteJpeg(TJpegKind::colour), [](const TBytes& d) { return DecodeJpeg(d); }, 0x4A504547);
  ExpectMutationsHandled(
      WriteJpeg(TJpegKind::progressive), [](const TBytes& d) { return DecodeJpeg(d); }, 0x4A504548);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace clipvane
