// The JPEG writer: what libjpeg reads back from what we encode, and the inputs it refuses.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>

#include "core/error.h"
#include "imageio/jpeg_writer.h"

namespace clipvane {
namespace {

struct TDecoded {
  int width = 0, height = 0, components = 0;
  std::vector<std::uint8_t> rgb;
};

TDecoded Decode(const std::vector<std::uint8_t>& bytes) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
  TDecoded out;
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  out.width = static_cast<int>(cinfo.output_width);
  out.height = static_cast<int>(cinfo.output_height);
  out.components = cinfo.output_components;
  out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * out.width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return out;
}

TBitmap Gradient(int width, int height, TPixelFormat format) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) picture.SetPixel(x, y, RGB(x * 255 / (width - 1), y * 255 / (height - 1), 96));
  picture.SetPixelFormat(format);
  return picture;
}

TEST(JpegWriter, ColoursSurviveAtHighQuality) {
  // Red and blue must not be swapped: our rows are blue-green-red.
  const TBitmap picture = Gradient(83, 41, TPixelFormat::pf24bit);
  const TDecoded decoded = Decode(EncodeJPEG(picture, 95));
  ASSERT_EQ(decoded.width, 83);
  ASSERT_EQ(decoded.height, 41);
  ASSERT_EQ(decoded.components, 3);
  double error = 0;
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < 83; ++x) {
      const TColor c = picture.GetPixel(x, y);
      const std::uint8_t* p = &decoded.rgb[(static_cast<std::size_t>(y) * 83 + x) * 3];
      error += std::abs(p[0] - GetRValue(c)) + std::abs(p[1] - GetGValue(c)) + std::abs(p[2] - GetBValue(c));
    }
  EXPECT_LT(error / (83 * 41 * 3), 3.0);
}

TEST(JpegWriter, EveryPixelFormatIsEncodedThroughTwentyFourBits) {
  for (const auto format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                            TPixelFormat::pf16bit, TPixelFormat::pf32bit}) {
    const TBitmap picture = Gradient(30, 20, format);
    const TDecoded decoded = Decode(EncodeJPEG(picture, 100));
    ASSERT_EQ(decoded.width, 30);
    ASSERT_EQ(decoded.components, 3);
    // A corner pixel of the picture in its own format, within JPEG's error.
    const TColor c = picture.GetPixel(29, 19);
    const std::uint8_t* p = &decoded.rgb[(19 * 30 + 29) * 3];
    EXPECT_NEAR(p[0], GetRValue(c), 40) << BitsPerPixel(format);
    EXPECT_NEAR(p[2], GetBValue(c), 40) << BitsPerPixel(format);
  }
}

TEST(JpegWriter, LowerQualityGivesSmallerFiles) {
  const TBitmap picture = Gradient(200, 120, TPixelFormat::pf24bit);
  EXPECT_LT(EncodeJPEG(picture, 1).size(), EncodeJPEG(picture, 50).size());
  EXPECT_LT(EncodeJPEG(picture, 50).size(), EncodeJPEG(picture, 100).size());
}

TEST(JpegWriter, GrowsItsBufferForLargeNoisyPictures) {
  // Noise at quality 100 compresses badly: the output outgrows the first buffer guess.
  TBitmap noise(300, 200, TPixelFormat::pf24bit);
  std::uint32_t seed = 12345;
  for (auto& byte : noise.Bits()) {
    seed = seed * 1103515245 + 12345;
    byte = static_cast<std::uint8_t>(seed >> 16);
  }
  const auto bytes = EncodeJPEG(noise, 100);
  EXPECT_GT(bytes.size(), 300u * 200 * 3 / 8);
  const TDecoded decoded = Decode(bytes);
  EXPECT_EQ(decoded.width, 300);
  EXPECT_EQ(decoded.height, 200);
}

TEST(JpegWriter, RefusesQualityOutOfRangeAndEmptyPictures) {
  const TBitmap picture = Gradient(8, 8, TPixelFormat::pf24bit);
  EXPECT_THROW(EncodeJPEG(picture, 0), EClipvaneError);
  EXPECT_THROW(EncodeJPEG(picture, 101), EClipvaneError);
  EXPECT_THROW(EncodeJPEG(TBitmap(), 75), EClipvaneError);
  EXPECT_THROW(EncodeJPEG(TBitmap(0, 5), 75), EClipvaneError);
}

}  // namespace
}  // namespace clipvane
