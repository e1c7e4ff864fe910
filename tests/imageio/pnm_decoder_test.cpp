// Portable pixmaps built by hand: the six kinds, comments, maximum values up to 65535,
// and headers or rasters that do not add up.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "imageio/pnm_decoder.h"

namespace clipvane {
namespace {

using namespace testing_support;

std::string MessageOf(const TBytes& data) {
  try {
    DecodePnm(data);
  } catch (const EClipvaneError& error) {
    return error.what();
  }
  return "no error";
}

TEST(PnmKinds, PlainBitmapWithCommentsAndRunTogetherDigits) {
  const TBitmap bitmap = DecodePnm(FromText("P1\n# a comment\n3 # width\n2\n100\n0 1 1"));
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf1bit);
  ASSERT_EQ(bitmap.Width(), 3);
  ASSERT_EQ(bitmap.Height(), 2);
  EXPECT_EQ(bitmap.GetPixel(0, 0), clBlack);  // 1 is black
  EXPECT_EQ(bitmap.GetPixel(1, 0), clWhite);
  EXPECT_EQ(bitmap.GetPixel(0, 1), clWhite);
  EXPECT_EQ(bitmap.GetPixel(2, 1), clBlack);
}

TEST(PnmKinds, RawBitmapRowsArePaddedToBytes) {
  TBytes data = FromText("P4\n10 2\n");
  Append(data, {0b10000000, 0b01000000, 0b00000000, 0b11000000});
  const TBitmap bitmap = DecodePnm(data);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), clBlack);
  EXPECT_EQ(bitmap.GetPixel(1, 0), clWhite);
  EXPECT_EQ(bitmap.GetPixel(9, 0), clBlack);
  EXPECT_EQ(bitmap.GetPixel(8, 1), clBlack);
  EXPECT_EQ(bitmap.GetPixel(0, 1), clWhite);
}

TEST(PnmKinds, GreyMapsAreScaledToTheMaximum) {
  const TBitmap plain = DecodePnm(FromText("P2 3 1 15 0 5 15"));
  ASSERT_EQ(plain.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(plain.GetPixel(0, 0), clBlack);
  EXPECT_EQ(plain.GetPixel(1, 0), RGB(85, 85, 85));
  EXPECT_EQ(plain.GetPixel(2, 0), clWhite);

  // Two bytes a sample, most significant first: 0x8080 of 65535 is 128.
  TBytes raw = FromText("P5 3 1 65535\n");
  Append(raw, {0x80, 0x80, 0xFF, 0xFF, 0x00, 0x01});
  const TBitmap wide = DecodePnm(raw);
  EXPECT_EQ(wide.GetPixel(0, 0), RGB(128, 128, 128));
  EXPECT_EQ(wide.GetPixel(1, 0), clWhite);
  EXPECT_EQ(wide.GetPixel(2, 0), clBlack);
}

TEST(PnmKinds, SamplesAreScaledToTheNearestLevel) {
  // 3 and 7 of 10 are 76.5 and 178.5 of 255: 77 and 179.
  TBytes raw = FromText("P5 2 1 10\n");
  Append(raw, {3, 7});
  for (const TBytes& data : {FromText("P2 2 1 10 3 7"), raw}) {
    const TBitmap bitmap = DecodePnm(data);
    EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(77, 77, 77)) << data[1];
    EXPECT_EQ(bitmap.GetPixel(1, 0), RGB(179, 179, 179)) << data[1];
  }
  // Of 65535, 128 is 0.498 of a level and 129 is 0.502: 0 and 1.
  TBytes wide = FromText("P5 2 1 65535\n");
  Append(wide, {0, 128, 0, 129});
  for (const TBytes& data : {FromText("P2 2 1 65535 128 129"), wide}) {
    const TBitmap bitmap = DecodePnm(data);
    EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(0, 0, 0)) << data[1];
    EXPECT_EQ(bitmap.GetPixel(1, 0), RGB(1, 1, 1)) << data[1];
  }
}

TEST(PnmKinds, PixmapsKeepTheirColours) {
  const TBitmap plain = DecodePnm(FromText("P3\n2 1\n255\n255 0 0   1 2 3\n"));
  ASSERT_EQ(plain.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(plain.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(plain.GetPixel(1, 0), RGB(1, 2, 3));

  TBytes raw = FromText("P6\n1 2\n255\n");
  Append(raw, {10, 20, 30, 40, 50, 60});
  const TBitmap bytes = DecodePnm(raw);
  EXPECT_EQ(bytes.GetPixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(bytes.GetPixel(0, 1), RGB(40, 50, 60));
}

TEST(PnmMalformed, InconsistentHeadersAreRefused) {
  EXPECT_EQ(MessageOf(FromText("P2 1 1 0 0")), "Invalid PNM file: maximum value 0 is not 1 to 65535");
  EXPECT_EQ(MessageOf(FromText("P2 1 1 70000 0")), "Invalid PNM file: maximum value 70000 is not 1 to 65535");
  EXPECT_EQ(MessageOf(FromText("P2 2 1 10 3 11")), "Invalid PNM file: sample exceeds the maximum value");
  EXPECT_EQ(MessageOf(FromText("P1 2 1 0 2")), "Invalid PNM file: pixel is neither 0 nor 1");
  EXPECT_EQ(MessageOf(FromText("P6 x 1 255\n")), "Invalid PNM file: width is not a number");
  EXPECT_EQ(MessageOf(FromText("P7 1 1 255\n")), "Invalid PNM file: no P1 to P6 signature");
  EXPECT_EQ(MessageOf(FromText("P6 0 1 255\n")), "PNM image has invalid dimensions: 0 x 1");
}

TEST(PnmMalformed, AbsurdSizesAreRefusedBeforeTheRaster) {
  EXPECT_EQ(MessageOf(FromText("P6 40000 1 255\n")), "PNM image is too large: 40000 x 1 pixels");
  EXPECT_EQ(MessageOf(FromText("P5 16384 16385 255\n")), "PNM image is too large: 16384 x 16385 pixels");
  EXPECT_EQ(MessageOf(FromText("P5 99999999999999999999 1 255\n")), "Invalid PNM file: width is out of range");
  // Within the limits but far more pixels than the file holds: refused, not allocated.
  EXPECT_EQ(MessageOf(FromText("P3 16384 16384 255\n1 2 3")), "Invalid PNM file: pixel data is cut off");
}

TEST(PnmMalformed, EveryTruncationIsRefused) {
  TBytes pixmap = FromText("P6\n# made by hand\n3 2\n65535\n");
  for (int i = 0; i < 36; ++i) pixmap.push_back(static_cast<std::uint8_t>(i * 7));
  ExpectEveryTruncationRejected(pixmap, [](const TBytes& d) { return DecodePnm(d); });
  TBytes bitmap = FromText("P4 9 2\n");
  Append(bitmap, {1, 2, 3, 4});
  ExpectEveryTruncationRejected(bitmap, [](const TBytes& d) { return DecodePnm(d); });
}

TEST(PnmMalformed, RandomDamageIsHandled) {
  TBytes raw = FromText("P6\n4 3\n255\n");
  for (int i = 0; i < 36; ++i) raw.push_back(static_cast<std::uint8_t>(i * 5));
  ExpectMutationsHandled(
      raw, [](const TBytes& d) { return DecodePnm(d); }, 0x504E4D);
  ExpectMutationsHandled(
      FromText("P3 # colours\n2 2 1000\n1 2 3 4 5 6 7 8 9 999 0 1000\n"), [](const TBytes& d) { return DecodePnm(d); },
      0x504E4E);
}

}  // namespace
}  // namespace clipvane
