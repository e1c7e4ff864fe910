// PCX files built by hand: one-bit planes, 4 and 8 bits with their tables, 24-bit planes,
// runs across lines, and headers that do not add up.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "imageio/pcx_decoder.h"

namespace clipvane {
namespace {

using namespace testing_support;

TBytes PcxHeader(int bits, int width, int height, int planes, int lineBytes, int encoding = 1, int version = 5) {
  TBytes h(128, 0);
  h[0] = 0x0A;
  h[1] = static_cast<std::uint8_t>(version);
  h[2] = static_cast<std::uint8_t>(encoding);
  h[3] = static_cast<std::uint8_t>(bits);
  h[4] = 2;  // left 2, top 1: only the differences matter
  h[6] = 1;
  h[8] = static_cast<std::uint8_t>(width + 1);
  h[9] = static_cast<std::uint8_t>((width + 1) >> 8);
  h[10] = static_cast<std::uint8_t>(height);
  h[11] = static_cast<std::uint8_t>(height >> 8);
  for (int i = 0; i < 16; ++i) {  // header table: entry i = (i, 2i, 3i)
    h[16 + 3 * i] = static_cast<std::uint8_t>(i);
    h[17 + 3 * i] = static_cast<std::uint8_t>(2 * i);
    h[18 + 3 * i] = static_cast<std::uint8_t>(3 * i);
  }
  h[65] = static_cast<std::uint8_t>(planes);
  h[66] = static_cast<std::uint8_t>(lineBytes);
  h[67] = static_cast<std::uint8_t>(lineBytes >> 8);
  return h;
}

// Run-length encoding of the whole stream, so runs cross line ends as real writers let them.
TBytes Encode(const TBytes& raw) {
  TBytes out;
  for (std::size_t i = 0; i < raw.size();) {
    std::size_t run = 1;
    while (i + run < raw.size() && raw[i + run] == raw[i] && run < 63) ++run;
    if (run > 1 || raw[i] >= 0xC0) {
      out.push_back(static_cast<std::uint8_t>(0xC0 | run));
    }
    out.push_back(raw[i]);
    i += run;
  }
  return out;
}

TBytes EndTable() {
  TBytes t = {12};
  for (int i = 0; i < 256; ++i) Append(t, {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(255 - i), 7});
  return t;
}

std::string MessageOf(const TBytes& data) {
  try {
    DecodePcx(data);
  } catch (const EClipvaneError& error) {
    return error.what();
  }
  return "no error";
}

TBytes EightBitFile() {
  TBytes data = PcxHeader(8, 3, 2, 1, 4);
  Append(data, Encode({9, 9, 9, 9, 9, 200, 201, 0}));  // the run of 9 crosses into the second line
  Append(data, EndTable());
  return data;
}

TEST(PcxLayouts, EightBitsUseTheTableAtTheEnd) {
  const TBitmap b = DecodePcx(EightBitFile());
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.GetIndex(2, 0), 9);
  EXPECT_EQ(b.GetIndex(0, 1), 9);
  EXPECT_EQ(b.GetIndex(1, 1), 200);
  EXPECT_EQ(b.GetPixel(2, 1), RGB(201, 54, 7));
}

TEST(PcxLayouts, TwentyFourBitsFromThreePlanes) {
  TBytes data = PcxHeader(8, 2, 1, 3, 2);
  Append(data, Encode({255, 1, 0, 2, 0, 3}));  // red plane, green plane, blue plane
  const TBitmap b = DecodePcx(data);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(b.GetPixel(1, 0), RGB(1, 2, 3));
}

TEST(PcxLayouts, OneBitPlanesCombineIntoIndices) {
  // 4 planes of 2 bytes, 9 pixels: pixel 0 has planes 0 and 2 set (index 5), pixel 8 plane 3 (index 8).
  TBytes data = PcxHeader(1, 9, 1, 4, 2);
  Append(data, Encode({0x80, 0x00, 0x00, 0x00, 0x80, 0x00, 0x00, 0x80}));
  const TBitmap b = DecodePcx(data);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(b.GetIndex(0, 0), 5);
  EXPECT_EQ(b.GetIndex(1, 0), 0);
  EXPECT_EQ(b.GetIndex(8, 0), 8);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(5, 10, 15));

  TBytes mono = PcxHeader(1, 10, 1, 1, 2, 0);  // plain, not run-length
  Append(mono, {0x80, 0x40});
  const TBitmap m = DecodePcx(mono);
  ASSERT_EQ(m.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(m.GetPixel(0, 0), clWhite);
  EXPECT_EQ(m.GetPixel(1, 0), clBlack);
  EXPECT_EQ(m.GetPixel(9, 0), clWhite);
}

TEST(PcxLayouts, FourBitsInOnePlaneUseTheHeaderTable) {
  TBytes data = PcxHeader(4, 3, 1, 1, 2);
  Append(data, Encode({0x1F, 0x20}));
  const TBitmap b = DecodePcx(data);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(b.GetIndex(0, 0), 1);
  EXPECT_EQ(b.GetIndex(1, 0), 15);
  EXPECT_EQ(b.GetIndex(2, 0), 2);
  EXPECT_EQ(b.GetPixel(1, 0), RGB(15, 30, 45));
}

TEST(PcxMalformed, InconsistentHeadersAreRefused) {
  EXPECT_EQ(MessageOf(PcxHeader(8, 3, 2, 1, 4)), "Invalid PCX file: colour table is missing");
  EXPECT_EQ(MessageOf(PcxHeader(8, 10, 1, 3, 9)), "Invalid PCX file: bytes per line do not cover the width");
  EXPECT_EQ(MessageOf(PcxHeader(16, 1, 1, 1, 2)), "Invalid PCX file: unsupported layout of 16 bits in 1 planes");
  EXPECT_EQ(MessageOf(PcxHeader(8, 40000, 1, 3, 40000)), "PCX image is too large: 40000 x 1 pixels");
  EXPECT_EQ(MessageOf(PcxHeader(8, 16000, 16000, 3, 16000)), "Invalid PCX file: pixel data is cut off");
  TBytes noSignature = EightBitFile();
  noSignature[0] = 0x0B;
  EXPECT_EQ(MessageOf(noSignature), "Invalid PCX file: no PCX signature");
}

TEST(PcxMalformed, EveryTruncationIsRefused) {
  TBytes planes = PcxHeader(8, 3, 2, 3, 4);
  Append(planes, Encode({1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 250, 4, 5, 6, 7, 8, 8, 8, 8, 9, 9, 9, 9}));
  ExpectEveryTruncationRejected(planes, [](const TBytes& d) { return DecodePcx(d); });
  ExpectEveryTruncationRejected(EightBitFile(), [](const TBytes& d) { return DecodePcx(d); });
}

TEST(PcxMalformed, RandomDamageIsHandled) {
  TBytes planes = PcxHeader(1, 12, 4, 4, 2);
  TBytes raw;
  for (int i = 0; i < 32; ++i) raw.push_back(static_cast<std::uint8_t>(i % 3 == 0 ? 0xFF : i));
  Append(planes, Encode(raw));
  ExpectMutationsHandled(
      planes, [](const TBytes& d) { return DecodePcx(d); }, 0x504358);
  ExpectMutationsHandled(
      EightBitFile(), [](const TBytes& d) { return DecodePcx(d); }, 0x504359);
}

}  // namespace
}  // namespace clipvane
