// Icons and cursors built by hand: bitmap entries with their AND mask, 32-bit alpha, PNG
// entries, the choice of the largest image, and directories that point outside the file.
#include <gtest/gtest.h>

#include "decoder_test_support.h"
#include "imageio/ico_decoder.h"

namespace clipvane {
namespace {

using namespace testing_support;

constexpr TColor kBackground = RGB(0, 0, 255);

// A bitmap entry: 40-byte header (height counting colour and mask rows), table, colour rows
// and mask rows, each row padded to 4 bytes and listed bottom row first.
TBytes BitmapEntry(int width, int height, int bits, const TBytes& table, const TBytes& colourRows,
                   const TBytes& maskRows) {
  TBytes e;
  PutLe32(e, 40);
  PutLe32(e, static_cast<std::uint32_t>(width));
  PutLe32(e, static_cast<std::uint32_t>(2 * height));
  PutLe16(e, 1);
  PutLe16(e, static_cast<unsigned>(bits));
  for (int i = 0; i < 6; ++i) PutLe32(e, 0);  // no compression, sizes, resolutions, colours used/important
  Append(e, table);
  Append(e, colourRows);
  Append(e, maskRows);
  return e;
}

struct TEntry {
  int width;
  int height;
  int bits;
  TBytes data;
};

TBytes IconFile(const std::vector<TEntry>& entries, int type = 1) {
  TBytes f;
  PutLe16(f, 0);
  PutLe16(f, static_cast<unsigned>(type));
  PutLe16(f, static_cast<unsigned>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (const TEntry& e : entries) {
    Append(f, {static_cast<std::uint8_t>(e.width), static_cast<std::uint8_t>(e.height), 0, 0});
    PutLe16(f, 1);
    PutLe16(f, static_cast<unsigned>(e.bits));
    PutLe32(f, static_cast<std::uint32_t>(e.data.size()));
    PutLe32(f, offset);
    offset += static_cast<std::uint32_t>(e.data.size());
  }
  for (const TEntry& e : entries) Append(f, e.data);
  return f;
}

// 2 x 2, four bits: top row red, green; bottom row white, black. The mask clears the top right.
TEntry FourBitEntry() {
  TBytes table = {0, 0, 0, 0, 0, 0, 255, 0, 0, 255, 0, 0, 255, 255, 255, 0};  // black, red, green, white
  table.resize(64);                                                           // all 16 entries
  const TBytes colours = {0x30, 0, 0, 0, 0x12, 0, 0, 0};                      // bottom: 3 0, top: 1 2
  const TBytes mask = {0x00, 0, 0, 0, 0x40, 0, 0, 0};
  return {2, 2, 4, BitmapEntry(2, 2, 4, table, colours, mask)};
}

std::string MessageOf(const TBytes& data) {
  try {
    DecodeIco(data, kBackground);
  } catch (const EClipvaneError& error) {
    return error.what();
  }
  return "no error";
}

TEST(IconEntries, MaskedPixelsTakeTheBackground) {
  const TBitmap b = DecodeIco(IconFile({FourBitEntry()}), kBackground);
  ASSERT_EQ(b.PixelFormat(), TPixelFormat::pf24bit);
  ASSERT_EQ(b.Width(), 2);
  ASSERT_EQ(b.Height(), 2);
  EXPECT_EQ(b.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(b.GetPixel(1, 0), kBackground);
  EXPECT_EQ(b.GetPixel(0, 1), clWhite);
  EXPECT_EQ(b.GetPixel(1, 1), clBlack);
}

TEST(IconEntries, ThirtyTwoBitAlphaWinsOverTheMask) {
  const TBytes colours = {0, 0, 255, 0, 0, 0, 255, 128, 0, 0, 255, 255, 0};  // one row: red at alpha 0, 128, 255
  TBytes padded = colours;
  padded.resize(12);
  const TBytes mask = {0xE0, 0, 0, 0};  // all masked: ignored because alpha is present
  const TBitmap b = DecodeIco(IconFile({{3, 1, 32, BitmapEntry(3, 1, 32, {}, padded, mask)}}), kBackground);
  EXPECT_EQ(b.GetPixel(0, 0), kBackground);
  EXPECT_EQ(b.GetPixel(1, 0), RGB(128, 0, 127));
  EXPECT_EQ(b.GetPixel(2, 0), RGB(255, 0, 0));

  // All alpha zero: an old icon that relies on its mask.
  const TBytes opaque = {0, 255, 0, 0, 0, 255, 0, 0};
  const TBytes half = {0x40, 0, 0, 0};
  const TBitmap o = DecodeIco(IconFile({{2, 1, 32, BitmapEntry(2, 1, 32, {}, opaque, half)}}), kBackground);
  EXPECT_EQ(o.GetPixel(0, 0), RGB(0, 255, 0));
  EXPECT_EQ(o.GetPixel(1, 0), kBackground);
}

TEST(IconEntries, LargestImageIsChosen) {
  const TBytes tiny = BitmapEntry(1, 1, 24, {}, {9, 9, 9, 0}, {0, 0, 0, 0});
  const TBytes wide = BitmapEntry(3, 1, 24, {}, {1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 0, 0}, {0, 0, 0, 0});
  const TBitmap b = DecodeIco(IconFile({{1, 1, 24, tiny}, {3, 1, 24, wide}, {1, 1, 24, tiny}}), kBackground);
  EXPECT_EQ(b.Width(), 3);
  EXPECT_EQ(b.GetPixel(2, 0), RGB(9, 8, 7));

  // Same size: the deeper entry wins.
  const TEntry shallow = FourBitEntry();
  const TBytes deep = BitmapEntry(2, 2, 24, {}, {1, 1, 1, 1, 1, 1, 0, 0, 2, 2, 2, 2, 2, 2, 0, 0}, TBytes(8, 0));
  const TBitmap d = DecodeIco(IconFile({shallow, {2, 2, 24, deep}}), kBackground);
  EXPECT_EQ(d.GetPixel(0, 0), RGB(2, 2, 2));
}

TEST(IconEntries, PngEntriesAndCursors) {
  TPngPicture picture = PngPicture(2, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8);
  picture.rows = {{10, 20, 30, 255, 10, 20, 30, 0}};
  const TBitmap p = DecodeIco(IconFile({{2, 1, 32, WritePng(picture)}}), kBackground);
  ASSERT_EQ(p.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(p.GetPixel(0, 0), RGB(10, 20, 30));
  EXPECT_EQ(p.GetPixel(1, 0), kBackground);

  const TBitmap c = DecodeIco(IconFile({FourBitEntry()}, 2), kBackground);
  EXPECT_EQ(c.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(c.GetPixel(1, 0), kBackground);
}

TEST(IconMalformed, InconsistentFilesAreRefused) {
  TBytes outside = IconFile({FourBitEntry()});
  outside[6 + 12] = 0xF0;  // entry offset far beyond the file
  EXPECT_EQ(MessageOf(outside), "Invalid icon file: image data is cut off");
  TBytes notIcon = IconFile({FourBitEntry()});
  notIcon[2] = 3;
  EXPECT_EQ(MessageOf(notIcon), "Invalid icon file: not an icon or cursor");
  EXPECT_EQ(MessageOf(IconFile({})), "Invalid icon file: no images");
  TEntry huge = FourBitEntry();
  huge.data[5] = 0x9C;  // width 0x9C02 = 39938
  EXPECT_EQ(MessageOf(IconFile({huge})), "Icon image is too large: 39938 x 2 pixels");
  TEntry packed = FourBitEntry();
  packed.data[16] = 2;
  EXPECT_EQ(MessageOf(IconFile({packed})), "Invalid icon file: compressed icon images are not supported");
  TEntry tall = FourBitEntry();
  tall.data[8] = 8;  // four rows claimed, two present
  EXPECT_EQ(MessageOf(IconFile({tall})), "Invalid icon file: image data is cut off");
}

TEST(IconMalformed, EveryTruncationIsRefused) {
  ExpectEveryTruncationRejected(IconFile({FourBitEntry()}), [](const TBytes& d) { return DecodeIco(d, kBackground); });
}

TEST(IconMalformed, RandomDamageIsHandled) {
  const TBytes deep = BitmapEntry(3, 2, 32, {}, TBytes(24, 0x80), TBytes(8, 0x20));
  ExpectMutationsHandled(
      IconFile({FourBitEntry(), {3, 2, 32, deep}}), [](const TBytes& d) { return DecodeIco(d, kBackground); },
      0x49434F);
}

}  // namespace
}  // namespace clipvane
