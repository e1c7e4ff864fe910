// PNG decoding: files written by libpng in every colour type, transparency flattened onto
// the background, interlacing, and damaged files refused cleanly.
#include <gtest/gtest.h>
#include <zlib.h>

#include "decoder_test_support.h"
#include "imageio/png_decoder.h"

namespace clipvane {
namespace {

using namespace testing_support;

constexpr TColor kBlue = RGB(0, 0, 255);

TPngPicture RgbPicture(bool interlaced = false) {
  // 9 x 9 so that every Adam7 pass has pixels; each pixel distinct.
  TPngPicture picture = PngPicture(9, 9, PNG_COLOR_TYPE_RGB, 8, interlaced);
  for (int y = 0; y < 9; ++y) {
    TBytes row;
    for (int x = 0; x < 9; ++x)
      row.insert(row.end(), {static_cast<std::uint8_t>(x * 28), static_cast<std::uint8_t>(y * 28),
                             static_cast<std::uint8_t>(x * y)});
    picture.rows.push_back(row);
  }
  return picture;
}

TEST(PngColourTypes, TrueColourPixelsAreExact) {
  const TBitmap bitmap = DecodePng(WritePng(RgbPicture()), kBlue);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  ASSERT_EQ(bitmap.Width(), 9);
  ASSERT_EQ(bitmap.Height(), 9);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(bitmap.GetPixel(x, y), RGB(x * 28, y * 28, x * y)) << x << "," << y;
}

TEST(PngColourTypes, InterlacedGivesTheSamePicture) {
  EXPECT_EQ(DecodePng(WritePng(RgbPicture(true)), kBlue), DecodePng(WritePng(RgbPicture(false)), kBlue));
}

TEST(PngColourTypes, PaletteKeepsIndicesAndBlendsTransparentEntries) {
  TPngPicture picture = PngPicture(3, 1, PNG_COLOR_TYPE_PALETTE, 4);
  picture.rows = {{0x01, 0x20}};  // indices 0, 1, 2
  picture.palette = {{255, 0, 0}, {0, 255, 0}, {255, 255, 255}};
  picture.paletteAlpha = {0, 128};  // entry 0 clear, entry 1 half, entry 2 opaque
  const TBitmap bitmap = DecodePng(WritePng(picture), kBlue);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(bitmap.GetIndex(0, 0), 0);
  EXPECT_EQ(bitmap.GetIndex(1, 0), 1);
  EXPECT_EQ(bitmap.GetIndex(2, 0), 2);
  EXPECT_EQ(bitmap.GetPixel(0, 0), kBlue);
  // 255 * 128 / 255 = 128 green; blue 255 * 127 / 255 = 127.
  EXPECT_EQ(bitmap.GetPixel(1, 0), RGB(0, 128, 127));
  EXPECT_EQ(bitmap.GetPixel(2, 0), RGB(255, 255, 255));
}

TEST(PngColourTypes, OneAndTwoBitPalettes) {
  TPngPicture one = PngPicture(10, 1, PNG_COLOR_TYPE_PALETTE, 1);
  one.rows = {{0b10100000, 0b01000000}};
  one.palette = {{10, 20, 30}, {200, 100, 50}};
  const TBitmap b1 = DecodePng(WritePng(one), kBlue);
  ASSERT_EQ(b1.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(b1.GetPixel(0, 0), RGB(200, 100, 50));
  EXPECT_EQ(b1.GetPixel(1, 0), RGB(10, 20, 30));
  EXPECT_EQ(b1.GetPixel(2, 0), RGB(200, 100, 50));
  EXPECT_EQ(b1.GetPixel(9, 0), RGB(200, 100, 50));

  TPngPicture two = PngPicture(5, 1, PNG_COLOR_TYPE_PALETTE, 2);
  two.rows = {{0b00011011, 0b10000000}};  // 0 1 2 3 2
  two.palette = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {3, 3, 3}};
  const TBitmap b2 = DecodePng(WritePng(two), kBlue);
  ASSERT_EQ(b2.PixelFormat(), TPixelFormat::pf4bit);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(b2.GetIndex(x, 0), x);
  EXPECT_EQ(b2.GetIndex(4, 0), 2);
}

TEST(PngColourTypes, GreyDepthsBecomeTheGreyTable) {
  TPngPicture bilevel = PngPicture(9, 1, PNG_COLOR_TYPE_GRAY, 1);
  bilevel.rows = {{0b01000000, 0b10000000}};
  const TBitmap b1 = DecodePng(WritePng(bilevel), kBlue);
  ASSERT_EQ(b1.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(b1.GetPixel(0, 0), clBlack);
  EXPECT_EQ(b1.GetPixel(1, 0), clWhite);
  EXPECT_EQ(b1.GetPixel(8, 0), clWhite);

  TPngPicture four = PngPicture(3, 1, PNG_COLOR_TYPE_GRAY, 4);
  four.rows = {{0x05, 0xF0}};  // 0, 5, 15: 15 steps widen to 17 each
  const TBitmap b4 = DecodePng(WritePng(four), kBlue);
  ASSERT_EQ(b4.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b4.GetPixel(0, 0), clBlack);
  EXPECT_EQ(b4.GetPixel(1, 0), RGB(85, 85, 85));
  EXPECT_EQ(b4.GetPixel(2, 0), clWhite);

  TPngPicture sixteen = PngPicture(2, 1, PNG_COLOR_TYPE_GRAY, 16);
  sixteen.rows = {{0x12, 0x12, 0xFF, 0xFF}};  // 0x1212 = 18 * 257
  const TBitmap b16 = DecodePng(WritePng(sixteen), kBlue);
  ASSERT_EQ(b16.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b16.GetPixel(0, 0), RGB(0x12, 0x12, 0x12));
  EXPECT_EQ(b16.GetPixel(1, 0), clWhite);
}

TEST(PngTransparency, AlphaChannelsAreFlattenedOntoTheBackground) {
  TPngPicture rgba = PngPicture(3, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8);
  rgba.rows = {{255, 0, 0, 0, 255, 0, 0, 128, 255, 0, 0, 255}};
  const TBitmap b = DecodePng(WritePng(rgba), kBlue);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.GetPixel(0, 0), kBlue);
  EXPECT_EQ(b.GetPixel(1, 0), RGB(128, 0, 127));
  EXPECT_EQ(b.GetPixel(2, 0), RGB(255, 0, 0));

  TPngPicture greyAlpha = PngPicture(2, 1, PNG_COLOR_TYPE_GRAY_ALPHA, 8);
  greyAlpha.rows = {{200, 0, 200, 255}};
  const TBitmap g = DecodePng(WritePng(greyAlpha), RGB(10, 20, 30));
  EXPECT_EQ(g.GetPixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(g.GetPixel(1, 0), RGB(200, 200, 200));

  // 16 bits a sample with alpha: scaled to 8 bits, then flattened.
  TPngPicture deep = PngPicture(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 16);
  deep.rows = {{0x80, 0x80, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0, 0, 0, 0, 0}};
  const TBitmap d = DecodePng(WritePng(deep), kBlue);
  EXPECT_EQ(d.GetPixel(0, 0), RGB(0x80, 0, 0xFF));
  EXPECT_EQ(d.GetPixel(1, 0), kBlue);
}

TEST(PngTransparency, TransparentColourTakesTheBackground) {
  TPngPicture picture = PngPicture(2, 1, PNG_COLOR_TYPE_RGB, 8);
  picture.rows = {{1, 2, 3, 4, 5, 6}};
  picture.transparentColour = true;
  picture.transparent.red = 4;
  picture.transparent.green = 5;
  picture.transparent.blue = 6;
  const TBitmap b = DecodePng(WritePng(picture), RGB(9, 9, 9));
  EXPECT_EQ(b.GetPixel(0, 0), RGB(1, 2, 3));
  EXPECT_EQ(b.GetPixel(1, 0), RGB(9, 9, 9));

  TPngPicture grey = PngPicture(2, 1, PNG_COLOR_TYPE_GRAY, 8);
  grey.rows = {{7, 8}};
  grey.transparentColour = true;
  grey.transparent.gray = 8;
  const TBitmap g = DecodePng(WritePng(grey), RGB(100, 0, 0));
  EXPECT_EQ(g.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(7, 7, 7));
  EXPECT_EQ(g.GetPixel(1, 0), RGB(100, 0, 0));
}

TEST(PngMalformed, AbsurdSizeIsRefusedWithItsOwnMessage) {
  try {
    DecodePng(WithPngSize(WritePng(RgbPicture()), 40000, 9), kBlue);
    FAIL() << "accepted a 40000 pixel wide picture";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "PNG image is too large: 40000 x 9 pixels");
  }
}

TEST(PngMalformed, DamagedChecksumAndSignatureAreRefused) {
  TBytes png = WritePng(RgbPicture());
  png[20] ^= 1;  // inside IHDR, checksum now wrong
  EXPECT_THROW(DecodePng(png, kBlue), EClipvaneError);
  TBytes notPng = WritePng(RgbPicture());
  notPng[1] = 'Q';
  try {
    DecodePng(notPng, kBlue);
    FAIL();
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "Invalid PNG file: no PNG signature");
  }
}

TEST(PngMalformed, EveryTruncationIsRefused) {
  TPngPicture picture = PngPicture(4, 3, PNG_COLOR_TYPE_PALETTE, 8);
  picture.palette = {{1, 2, 3}, {4, 5, 6}};
  picture.rows = {{0, 1, 0, 1}, {1, 1, 0, 0}, {0, 0, 1, 1}};
  ExpectEveryTruncationRejected(WritePng(picture), [](const TBytes& d) { return DecodePng(d, kBlue); });
  ExpectEveryTruncationRejected(WritePng(RgbPicture(true)), [](const TBytes& d) { return DecodePng(d, kBlue); });
}

// Recomputes every chunk checksum, so damage reaches the decompression and row code
// instead of stopping at the first checksum test.
TBytes WithRepairedChecksums(TBytes png) {
  std::size_t at = 8;
  while (at + 12 <= png.size()) {
    const std::size_t length = (std::size_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (length > png.size() - at - 12) break;
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, png.data() + at + 4, static_cast<uInt>(length + 4)));
    for (int i = 0; i < 4; ++i) png[at + 8 + length + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
    at += 12 + length;
  }
  return png;
}

TEST(PngMalformed, RandomDamageIsHandled) {
  const auto decode = [](const TBytes& d) { return DecodePng(d, kBlue); };
  ExpectMutationsHandled(WritePng(RgbPicture(true)), decode, 0x504E47);
  ExpectMutationsHandled(
      WritePng(RgbPicture(false)), [&](const TBytes& d) { return decode(WithRepairedChecksums(d)); }, 0x504E48);
}

}  // namespace
}  // namespace clipvane
