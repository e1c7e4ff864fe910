// Targa files built by hand: both origins, right-to-left rows, run-length packets across
// rows, colour maps, 15/16/24/32 bits and grey, alpha, and headers that do not add up.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "imageio/tga_decoder.h"

namespace clipvane {
namespace {

using namespace testing_support;

constexpr TColor kBackground = RGB(0, 0, 255);

TBytes TgaHeader(int type, int width, int height, int depth, int descriptor, int mapType = 0, int mapFirst = 0,
                 int mapLength = 0, int mapBits = 0, const std::string& id = "") {
  TBytes h = {static_cast<std::uint8_t>(id.size()), static_cast<std::uint8_t>(mapType),
              static_cast<std::uint8_t>(type)};
  PutLe16(h, static_cast<unsigned>(mapFirst));
  PutLe16(h, static_cast<unsigned>(mapLength));
  h.push_back(static_cast<std::uint8_t>(mapBits));
  PutLe16(h, 0);
  PutLe16(h, 0);
  PutLe16(h, static_cast<unsigned>(width));
  PutLe16(h, static_cast<unsigned>(height));
  h.push_back(static_cast<std::uint8_t>(depth));
  h.push_back(static_cast<std::uint8_t>(descriptor));
  h.insert(h.end(), id.begin(), id.end());
  return h;
}

// 2 x 2, blue-green-red bytes in file order: A B / C D.
const TBytes kFourPixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
constexpr TColor A = RGB(3, 2, 1), B = RGB(6, 5, 4), C = RGB(9, 8, 7), D = RGB(12, 11, 10);

TBitmap Decode(const TBytes& data, TColor background = kBackground) { return DecodeTga(data, background); }

std::string MessageOf(const TBytes& data) {
  try {
    Decode(data);
  } catch (const EClipvaneError& error) {
    return error.what();
  }
  return "no error";
}

TEST(TgaOrientation, BottomUpTopDownAndRightToLeft) {
  TBytes bottomUp = TgaHeader(2, 2, 2, 24, 0, 0, 0, 0, 0, "an id field");
  Append(bottomUp, kFourPixels);
  const TBitmap b = Decode(bottomUp);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(b.GetPixel(0, 1), A);  // the first file row is the bottom one
  EXPECT_EQ(b.GetPixel(1, 1), B);
  EXPECT_EQ(b.GetPixel(0, 0), C);
  EXPECT_EQ(b.GetPixel(1, 0), D);

  TBytes topDown = TgaHeader(2, 2, 2, 24, 0x20);
  Append(topDown, kFourPixels);
  const TBitmap t = Decode(topDown);
  EXPECT_EQ(t.GetPixel(0, 0), A);
  EXPECT_EQ(t.GetPixel(1, 1), D);

  TBytes mirrored = TgaHeader(2, 2, 2, 24, 0x30);
  Append(mirrored, kFourPixels);
  const TBitmap m = Decode(mirrored);
  EXPECT_EQ(m.GetPixel(1, 0), A);
  EXPECT_EQ(m.GetPixel(0, 0), B);
}

TEST(TgaRunLength, PacketsMayCrossRows) {
  // 3 x 2 top-down: a run of 4 red pixels covering row 0 and the start of row 1, then two raw pixels.
  TBytes data = TgaHeader(10, 3, 2, 24, 0x20);
  Append(data, {0x83, 0, 0, 255, 0x01, 1, 2, 3, 4, 5, 6});
  const TBitmap b = Decode(data);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(b.GetPixel(x, 0), RGB(255, 0, 0));
  EXPECT_EQ(b.GetPixel(0, 1), RGB(255, 0, 0));
  EXPECT_EQ(b.GetPixel(1, 1), RGB(3, 2, 1));
  EXPECT_EQ(b.GetPixel(2, 1), RGB(6, 5, 4));
}

TEST(TgaDepths, ColourMapKeepsIndicesAtTheirPlace) {
  // Map of two 24-bit entries starting at index 5; index 0 lies outside the map.
  TBytes data = TgaHeader(1, 3, 1, 8, 0x20, 1, 5, 2, 24);
  Append(data, {30, 20, 10, 60, 50, 40, 5, 6, 0});
  const TBitmap b = Decode(data);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(b.GetIndex(0, 0), 5);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(b.GetPixel(1, 0), RGB(40, 50, 60));
  EXPECT_EQ(b.GetPixel(2, 0), clBlack);

  // Run-length colour-mapped with a 32-bit map whose second entry is transparent.
  TBytes rle = TgaHeader(9, 2, 1, 8, 0x28, 1, 0, 2, 32);
  Append(rle, {0, 255, 0, 255, 0, 255, 0, 0, 0x81, 1});
  const TBitmap r = Decode(rle, RGB(7, 7, 7));
  EXPECT_EQ(r.GetPixel(0, 0), RGB(7, 7, 7));
  EXPECT_EQ(r.GetPixel(1, 0), RGB(7, 7, 7));
}

TEST(TgaDepths, SixteenBitsWidenFiveBitChannels) {
  TBytes data = TgaHeader(2, 3, 1, 16, 0x20);
  PutLe16(data, 0x7C00);          // red 31
  PutLe16(data, 0x03E0);          // green 31
  PutLe16(data, (16 << 10) | 1);  // red 16, blue 1
  const TBitmap b = Decode(data);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(b.GetPixel(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(b.GetPixel(2, 0), RGB(132, 0, 8));  // 10000 -> 10000100, 00001 -> 00001000
}

TEST(TgaDepths, AlphaIsFlattenedOnlyWhenAnnounced) {
  const TBytes pixels = {0, 0, 255, 0, 0, 0, 255, 128, 0, 0, 255, 255};  // red with alpha 0, 128, 255
  TBytes withAlpha = TgaHeader(2, 3, 1, 32, 0x28);
  Append(withAlpha, pixels);
  const TBitmap a = Decode(withAlpha);
  EXPECT_EQ(a.GetPixel(0, 0), kBackground);
  EXPECT_EQ(a.GetPixel(1, 0), RGB(128, 0, 127));
  EXPECT_EQ(a.GetPixel(2, 0), RGB(255, 0, 0));

  TBytes noAlpha = TgaHeader(2, 3, 1, 32, 0x20);
  Append(noAlpha, pixels);
  const TBitmap n = Decode(noAlpha);
  for (int x = 0; x < 3; ++x) EXPECT_EQ(n.GetPixel(x, 0), RGB(255, 0, 0));
}

TEST(TgaDepths, GreyPicturesPlainAndRunLength) {
  TBytes plain = TgaHeader(3, 2, 1, 8, 0x20);
  Append(plain, {0, 200});
  const TBitmap p = Decode(plain);
  ASSERT_EQ(p.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(p.GetPixel(1, 0), RGB(200, 200, 200));

  TBytes rle = TgaHeader(11, 4, 1, 8, 0x20);
  Append(rle, {0x83, 77});
  const TBitmap r = Decode(rle);
  for (int x = 0; x < 4; ++x) EXPECT_EQ(r.GetPixel(x, 0), RGB(77, 77, 77));

  TBytes greyAlpha = TgaHeader(3, 2, 1, 16, 0x28);
  Append(greyAlpha, {100, 255, 100, 0});
  const TBitmap g = Decode(greyAlpha);
  EXPECT_EQ(g.GetPixel(0, 0), RGB(100, 100, 100));
  EXPECT_EQ(g.GetPixel(1, 0), kBackground);
}

TEST(TgaMalformed, InconsistentHeadersAreRefused) {
  EXPECT_EQ(MessageOf(TgaHeader(4, 1, 1, 24, 0)), "Invalid Targa file: unsupported image type 4");
  EXPECT_EQ(MessageOf(TgaHeader(1, 1, 1, 8, 0)), "Invalid Targa file: colour map missing");
  EXPECT_EQ(MessageOf(TgaHeader(2, 1, 1, 12, 0)), "Invalid Targa file: unsupported pixel size of 12 bits");
  EXPECT_EQ(MessageOf(TgaHeader(1, 1, 1, 8, 0, 1, 0, 300, 24)), "Invalid Targa file: colour map is cut off");
  EXPECT_EQ(MessageOf(TgaHeader(2, 0, 5, 24, 0)), "Targa image has invalid dimensions: 0 x 5");
  EXPECT_EQ(MessageOf(TgaHeader(2, 65535, 2, 24, 0)), "Targa image is too large: 65535 x 2 pixels");
  // Within the limits but the data could not hold it, even run-length encoded.
  EXPECT_EQ(MessageOf(TgaHeader(10, 30000, 8000, 24, 0)), "Invalid Targa file: pixel data is cut off");
}

TEST(TgaMalformed, EveryTruncationIsRefused) {
  TBytes plain = TgaHeader(1, 2, 2, 8, 0, 1, 0, 2, 16, "id");
  Append(plain, {0x00, 0x7C, 0xE0, 0x03, 0, 1, 1, 0});
  ExpectEveryTruncationRejected(plain, [](const TBytes& d) { return Decode(d); });
  TBytes rle = TgaHeader(10, 3, 2, 32, 8);
  Append(rle, {0x82, 1, 2, 3, 4, 0x02, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16});
  ExpectEveryTruncationRejected(rle, [](const TBytes& d) { return Decode(d); });
}

TEST(TgaMalformed, RandomDamageIsHandled) {
  TBytes rle = TgaHeader(10, 4, 3, 24, 0x20);
  for (int i = 0; i < 6; ++i) Append(rle, {0x81, static_cast<std::uint8_t>(i), 2, 3, 0x00, 9, 9, 9});
  ExpectMutationsHandled(
      rle, [](const TBytes& d) { return Decode(d); }, 0x544741);
  TBytes mapped = TgaHeader(1, 4, 2, 8, 0, 1, 0, 4, 24);
  Append(mapped, {1, 1, 1, 2, 2, 2, 3, 3, 3, 4, 4, 4, 0, 1, 2, 3, 3, 2, 1, 0});
  ExpectMutationsHandled(
      mapped, [](const TBytes& d) { return Decode(d); }, 0x544742);
}

}  // namespace
}  // namespace clipvane
