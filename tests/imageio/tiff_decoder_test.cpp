// TIFF decoding: files written by libtiff (strips and tiles, colour maps, fax, 16-bit grey,
// alpha) read back pixel for pixel, and damaged files refused without a word on stderr.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>

#include <tiffio.h>

#include "decoder_test_support.h"
#include "imageio/tiff_decoder.h"

namespace clipvane {
namespace {

using namespace testing_support;

struct TTiffPicture {
  int width = 0;
  int height = 0;
  int samples = 3;
  int bits = 8;
  int photometric = PHOTOMETRIC_RGB;
  int compression = COMPRESSION_LZW;
  int alpha = 0;  // EXTRASAMPLE_* of a fourth sample, 0 for none
  bool tiled = false;
  std::vector<std::uint16_t> red, green, blue;  // colour map
  std::vector<TBytes> rows;                     // packed as the file stores them
};

TTiffPicture TiffPicture(int width, int height, int samples, int bits, int photometric) {
  TTiffPicture picture;
  picture.width = width;
  picture.height = height;
  picture.samples = samples;
  picture.bits = bits;
  picture.photometric = photometric;
  return picture;
}

// Written by libtiff itself into a file, then read back as bytes.
TBytes WriteTiff(const TTiffPicture& picture) {
  std::filesystem::create_directories(CLIPVANE_TEST_TMP);
  // One file per process: ctest runs the tests of this file side by side.
  const std::string path = std::string(CLIPVANE_TEST_TMP) + "/decoder_test_" + std::to_string(getpid()) + ".tif";
  TIFF* tiff = TIFFOpen(path.c_str(), "w");
  if (!tiff) {
    ADD_FAILURE() << "cannot create " << path;
    return {};
  }
  TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(picture.width));
  TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(picture.height));
  TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(picture.samples));
  TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(picture.bits));
  TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, static_cast<std::uint16_t>(picture.photometric));
  TIFFSetField(tiff, TIFFTAG_COMPRESSION, static_cast<std::uint16_t>(picture.compression));
  TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  if (picture.alpha) {
    const std::uint16_t extra[1] = {static_cast<std::uint16_t>(picture.alpha)};
    TIFFSetField(tiff, TIFFTAG_EXTRASAMPLES, 1, extra);
  }
  if (!picture.red.empty())
    TIFFSetField(tiff, TIFFTAG_COLORMAP, picture.red.data(), picture.green.data(), picture.blue.data());
  if (picture.tiled) {
    TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16u);
    TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16u);
    const std::size_t pixelBytes = static_cast<std::size_t>(picture.samples * picture.bits / 8);
    for (int ty = 0; ty < picture.height; ty += 16)
      for (int tx = 0; tx < picture.width; tx += 16) {
        TBytes tile(16 * 16 * pixelBytes, 0);
        for (int y = ty; y < std::min(ty + 16, picture.height); ++y)
          for (int x = tx; x < std::min(tx + 16, picture.width); ++x)
            std::copy_n(&picture.rows[y][x * pixelBytes], pixelBytes, &tile[((y - ty) * 16 + (x - tx)) * pixelBytes]);
        TIFFWriteTile(tiff, tile.data(), static_cast<std::uint32_t>(tx), static_cast<std::uint32_t>(ty), 0, 0);
      }
  } else {
    TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 2u);
    for (int y = 0; y < picture.height; ++y) {
      TBytes row = picture.rows[y];
      TIFFWriteScanline(tiff, row.data(), static_cast<std::uint32_t>(y), 0);
    }
  }
  TIFFClose(tiff);
  return ReadFileBytes(path);
}

TTiffPicture RgbPicture(int width, int height) {
  TTiffPicture picture = TiffPicture(width, height, 3, 8, PHOTOMETRIC_RGB);
  for (int y = 0; y < height; ++y) {
    TBytes row;
    for (int x = 0; x < width; ++x) {
      row.push_back(static_cast<std::uint8_t>(x * 12));
      row.push_back(static_cast<std::uint8_t>(y * 13));
      row.push_back(static_cast<std::uint8_t>(x ^ y));
    }
    picture.rows.push_back(row);
  }
  return picture;
}

void ExpectRgbPattern(const TBitmap& bitmap, int width, int height) {
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  ASSERT_EQ(bitmap.Width(), width);
  ASSERT_EQ(bitmap.Height(), height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) ASSERT_EQ(bitmap.GetPixel(x, y), RGB(x * 12, y * 13, x ^ y)) << x << "," << y;
}

TEST(TiffLayouts, CompressedStripsDecodeExactly) {
  ExpectRgbPattern(DecodeTiff(WriteTiff(RgbPicture(5, 7)), clWhite), 5, 7);
}

TEST(TiffLayouts, TilesDecodeExactly) {
  TTiffPicture picture = RgbPicture(20, 18);
  picture.tiled = true;
  ExpectRgbPattern(DecodeTiff(WriteTiff(picture), clWhite), 20, 18);
}

TEST(TiffLayouts, ColourMapsKeepTheirIndices) {
  TTiffPicture four = TiffPicture(3, 2, 1, 4, PHOTOMETRIC_PALETTE);
  four.red.assign(16, 0);
  four.green.assign(16, 0);
  four.blue.assign(16, 0);
  four.red[1] = 0xFF00;
  four.green[2] = 0x8000;
  four.blue[15] = 0xFFFF;
  four.rows = {{0x12, 0xF0}, {0xF2, 0x10}};
  const TBitmap b4 = DecodeTiff(WriteTiff(four), clWhite);
  ASSERT_EQ(b4.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(b4.GetIndex(0, 0), 1);
  EXPECT_EQ(b4.GetIndex(1, 0), 2);
  EXPECT_EQ(b4.GetIndex(2, 0), 15);
  EXPECT_EQ(b4.GetIndex(0, 1), 15);
  EXPECT_EQ(b4.GetPixel(0, 0), RGB(0xFF, 0, 0));
  EXPECT_EQ(b4.GetPixel(1, 0), RGB(0, 0x80, 0));
  EXPECT_EQ(b4.GetPixel(2, 0), RGB(0, 0, 0xFF));

  TTiffPicture two = TiffPicture(5, 1, 1, 2, PHOTOMETRIC_PALETTE);
  two.red = {0, 0x1100, 0x2200, 0x3300};
  two.green = two.blue = two.red;
  two.rows = {{0b00011011, 0b10000000}};  // 0 1 2 3 2
  const TBitmap b2 = DecodeTiff(WriteTiff(two), clWhite);
  ASSERT_EQ(b2.PixelFormat(), TPixelFormat::pf4bit);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b2.GetIndex(x, 0), x);
  EXPECT_EQ(b2.GetIndex(4, 0), 2);
  EXPECT_EQ(b2.GetPixel(3, 0), RGB(0x33, 0x33, 0x33));
}

TEST(TiffLayouts, FaxPagesAreBlackAndWhite) {
  TTiffPicture fax = TiffPicture(20, 3, 1, 1, PHOTOMETRIC_MINISWHITE);
  fax.compression = COMPRESSION_CCITTFAX4;
  fax.rows = {{0x80, 0x00, 0x10}, {0xFF, 0xFF, 0xF0}, {0x00, 0x00, 0x00}};  // set bits are black
  const TBitmap bitmap = DecodePicture(WriteTiff(fax), "scan.FAX", clWhite);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), clBlack);
  EXPECT_EQ(bitmap.GetPixel(1, 0), clWhite);
  EXPECT_EQ(bitmap.GetPixel(19, 0), clBlack);
  for (int x = 0; x < 20; ++x) EXPECT_EQ(bitmap.GetPixel(x, 1), clBlack) << x;
  for (int x = 0; x < 20; ++x) EXPECT_EQ(bitmap.GetPixel(x, 2), clWhite) << x;

  TTiffPicture blackIsZero = TiffPicture(2, 1, 1, 1, PHOTOMETRIC_MINISBLACK);
  blackIsZero.rows = {{0x80}};
  const TBitmap b = DecodeTiff(WriteTiff(blackIsZero), clWhite);
  EXPECT_EQ(b.GetPixel(0, 0), clWhite);
  EXPECT_EQ(b.GetPixel(1, 0), clBlack);
}

TEST(TiffLayouts, SixteenBitGreyIsScaled) {
  TTiffPicture grey = TiffPicture(2, 1, 1, 16, PHOTOMETRIC_MINISBLACK);
  const std::uint16_t samples[2] = {18 * 257, 65535};
  TBytes row(4);
  std::memcpy(row.data(), samples, 4);  // libtiff takes native order
  grey.rows = {row};
  const TBitmap bitmap = DecodeTiff(WriteTiff(grey), clWhite);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(18, 18, 18));
  EXPECT_EQ(bitmap.GetPixel(1, 0), clWhite);
}

TEST(TiffTransparency, AlphaIsFlattenedOntoTheBackground) {
  TTiffPicture rgba = TiffPicture(3, 1, 4, 8, PHOTOMETRIC_RGB);
  rgba.alpha = EXTRASAMPLE_UNASSALPHA;
  rgba.rows = {{255, 0, 0, 0, 255, 0, 0, 128, 255, 0, 0, 255}};
  const TBitmap bitmap = DecodeTiff(WriteTiff(rgba), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(0, 0, 255));
  // Half red over blue: 128 and 127, give or take libtiff's premultiplying.
  EXPECT_NEAR(GetRValue(bitmap.GetPixel(1, 0)), 128, 1);
  EXPECT_EQ(GetGValue(bitmap.GetPixel(1, 0)), 0);
  EXPECT_NEAR(GetBValue(bitmap.GetPixel(1, 0)), 127, 1);
  EXPECT_EQ(bitmap.GetPixel(2, 0), RGB(255, 0, 0));
}

TEST(TiffMalformed, AbsurdSizeIsRefusedWithItsOwnMessage) {
  TTiffPicture wide = TiffPicture(40000, 1, 1, 8, PHOTOMETRIC_MINISBLACK);
  wide.rows = {TBytes(40000, 7)};
  try {
    DecodeTiff(WriteTiff(wide), clWhite);
    FAIL() << "accepted a 40000 pixel wide picture";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "TIFF image is too large: 40000 x 1 pixels");
  }
}

// Sets the inline value of a tag in the first directory of a little-endian file.
void PatchTag(TBytes& tiff, std::uint16_t tag, std::uint32_t value) {
  const std::uint32_t directory = tiff[4] | (tiff[5] << 8) | (tiff[6] << 16) | (std::uint32_t{tiff[7]} << 24);
  const int entries = tiff[directory] | (tiff[directory + 1] << 8);
  for (int i = 0; i < entries; ++i) {
    const std::size_t at = directory + 2 + 12 * static_cast<std::size_t>(i);
    if ((tiff[at] | (tiff[at + 1] << 8)) != tag) continue;
    for (int b = 0; b < 4; ++b) tiff[at + 8 + b] = static_cast<std::uint8_t>(value >> (8 * b));
    return;
  }
  ADD_FAILURE() << "no tag " << tag;
}

TEST(TiffMalformed, StripBeyondTheEndIsRefused) {
  TTiffPicture picture = RgbPicture(4, 2);  // one plain strip of 24 bytes
  picture.compression = COMPRESSION_NONE;
  const TBytes good = WriteTiff(picture);
  ASSERT_EQ(good[0], 'I');
  ExpectRgbPattern(DecodeTiff(good, clWhite), 4, 2);
  TBytes late = good;
  PatchTag(late, TIFFTAG_STRIPOFFSETS, static_cast<std::uint32_t>(good.size() - 10));
  EXPECT_THROW(DecodeTiff(late, clWhite), EClipvaneError);
  TBytes beyond = good;
  PatchTag(beyond, TIFFTAG_STRIPOFFSETS, 0xFFFFFF00u);
  EXPECT_THROW(DecodeTiff(beyond, clWhite), EClipvaneError);
}

TEST(TiffMalformed, EveryTruncationIsRefusedQuietly) {
  const TBytes rgb = WriteTiff(RgbPicture(4, 3));
  TTiffPicture fax = TiffPicture(16, 2, 1, 1, PHOTOMETRIC_MINISWHITE);
  fax.compression = COMPRESSION_CCITTFAX4;
  fax.rows = {{0xF0, 0x0F}, {0x3C, 0xC3}};
  const TBytes bilevel = WriteTiff(fax);
  ::testing::internal::CaptureStderr();
  ExpectEveryTruncationRejected(rgb, [](const TBytes& d) { return DecodeTiff(d, clWhite); });
  ExpectEveryTruncationRejected(bilevel, [](const TBytes& d) { return DecodeTiff(d, clWhite); });
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

TEST(TiffMalformed, RandomDamageIsHandledQuietly) {
  const TBytes rgb = WriteTiff(RgbPicture(6, 5));
  TTiffPicture mapped = TiffPicture(6, 4, 1, 8, PHOTOMETRIC_PALETTE);
  mapped.red.assign(256, 0x4000);
  mapped.green.assign(256, 0x8000);
  mapped.blue.assign(256, 0xC000);
  for (int y = 0; y < 4; ++y) mapped.rows.push_back({1, 2, 3, 4, 5, static_cast<std::uint8_t>(y)});
  const TBytes palette = WriteTiff(mapped);
  ::testing::internal::CaptureStderr();
  ExpectMutationsHandled(
      rgb, [](const TBytes& d) { return DecodeTiff(d, clWhite); }, 0x54494646);
  ExpectMutationsHandled(
      palette, [](const TBytes& d) { return DecodeTiff(d, clWhite); }, 0x54494647);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
}

}  // namespace
}  // namespace clipvane
