// BMP files: round trips of every pixel format, the header variants we read, and malformed
// files that must fail cleanly without reading outside the data.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>

#include "core/bitmap.h"
#include "core/error.h"
#include "support/avi_fixtures.h"
#include "support/bounded_run.h"

namespace clipvane {
namespace {

std::uint32_t Le32(const std::vector<std::uint8_t>& d, std::size_t at) {
  return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (std::uint32_t{d[at + 3]} << 24);
}
void SetLe32(std::vector<std::uint8_t>& d, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) d[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

TBitmap Pattern(TPixelFormat format, int width = 13, int height = 7) {
  TBitmap bitmap(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, RGB(x * 19, y * 37, (x * y * 11) & 0xFF));
  bitmap.SetPixelFormat(format);
  return bitmap;
}

// A hand-built BMP: header of the given size, pixel bytes appended as given.
std::vector<std::uint8_t> BuildBmp(std::uint32_t headerSize, int width, int height, int bits, std::uint32_t compression,
                                   const std::vector<std::uint8_t>& table, const std::vector<std::uint8_t>& pixels) {
  std::vector<std::uint8_t> d(14 + headerSize, 0);
  d[0] = 'B';
  d[1] = 'M';
  SetLe32(d, 10, static_cast<std::uint32_t>(14 + headerSize + table.size()));
  SetLe32(d, 14, headerSize);
  SetLe32(d, 18, static_cast<std::uint32_t>(width));
  SetLe32(d, 22, static_cast<std::uint32_t>(height));
  d[26] = 1;
  d[28] = static_cast<std::uint8_t>(bits);
  SetLe32(d, 30, compression);
  d.insert(d.end(), table.begin(), table.end());
  d.insert(d.end(), pixels.begin(), pixels.end());
  SetLe32(d, 2, static_cast<std::uint32_t>(d.size()));
  return d;
}

TEST(BmpRoundTrip, EveryPixelFormatComesBackUnchanged) {
  for (const auto format : {TPixelFormat::pf1bit, TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf15bit,
                            TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit}) {
    const TBitmap original = Pattern(format);
    TBitmap loaded;
    loaded.LoadFromBMP(original.SaveToBMP());
    EXPECT_EQ(loaded.PixelFormat(), format) << BitsPerPixel(format);
    EXPECT_EQ(loaded.Palette(), original.Palette());
    EXPECT_TRUE(loaded == original) << BitsPerPixel(format);
  }
}

TEST(BmpRoundTrip, HeadersSayWhatWasWritten) {
  const auto b16 = Pattern(TPixelFormat::pf16bit).SaveToBMP();
  EXPECT_EQ(Le32(b16, 30), 3u);  // bit fields
  EXPECT_EQ(Le32(b16, 54), 0xF800u);
  EXPECT_EQ(Le32(b16, 58), 0x07E0u);
  EXPECT_EQ(Le32(b16, 62), 0x001Fu);
  const auto b15 = Pattern(TPixelFormat::pf15bit).SaveToBMP();
  EXPECT_EQ(Le32(b15, 30), 0u);
  const auto b4 = Pattern(TPixelFormat::pf4bit).SaveToBMP();
  EXPECT_EQ(Le32(b4, 46), 16u);  // colours used
  EXPECT_EQ(Le32(b4, 10), 14u + 40u + 64u);
}

TEST(BmpRoundTrip, FileSaveIsReadBack) {
  const fixtures::TTempFolder dir(CLIPVANE_TEST_TMP);
  const std::string path = dir.File("frame.bmp");
  const TBitmap original = Pattern(TPixelFormat::pf8bit);
  original.SaveToFile(path);
  TBitmap loaded;
  loaded.LoadFromFile(path);
  EXPECT_TRUE(loaded == original);
  EXPECT_THROW(original.SaveToFile(dir.File("missing-folder/x.bmp")), EClipvaneError);
  EXPECT_THROW(loaded.LoadFromFile(dir.File("nothing.bmp")), EClipvaneError);
}

TEST(BmpRead, TopDownRowsAndVersion5Header) {
  // 2 x 2, 24 bits, top-down (negative height), 124-byte header.
  const std::vector<std::uint8_t> pixels = {0,   0, 255, 0,   255, 0,   0, 0,  // top row: red, green
                                            255, 0, 0,   255, 255, 255, 0, 0};
  auto data = BuildBmp(124, 2, -2, 24, 0, {}, pixels);
  TBitmap bitmap;
  bitmap.LoadFromBMP(data);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(255, 0, 0));
  EXPECT_EQ(bitmap.GetPixel(1, 0), RGB(0, 255, 0));
  EXPECT_EQ(bitmap.GetPixel(0, 1), RGB(0, 0, 255));
  EXPECT_EQ(bitmap.GetPixel(1, 1), clWhite);
}

TEST(BmpRead, CoreHeaderWithThreeByteTable) {
  std::vector<std::uint8_t> data(14 + 12, 0);
  data[0] = 'B';
  data[1] = 'M';
  SetLe32(data, 10, 14 + 12 + 6);
  SetLe32(data, 14, 12);
  data[18] = 1;  // width 1 (16-bit)
  data[20] = 1;  // height 1
  data[22] = 1;  // planes
  data[24] = 1;  // bits
  const std::uint8_t table[] = {0, 0, 0, 10, 20, 30};
  data.insert(data.end(), table, table + 6);
  const std::uint8_t row[] = {0x80, 0, 0, 0};
  data.insert(data.end(), row, row + 4);
  TBitmap bitmap;
  bitmap.LoadFromBMP(data);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(30, 20, 10));
}

TEST(BmpRead, ColoursUsedSizesTheTableAndZeroImageSizeIsComputed) {
  const std::vector<std::uint8_t> table = {1, 2, 3, 0, 4, 5, 6, 0, 7, 8, 9, 0};
  auto data = BuildBmp(40, 3, 1, 8, 0, table, {2, 1, 0, 0});
  SetLe32(data, 46, 3);  // colours used; image size stays 0
  TBitmap bitmap;
  bitmap.LoadFromBMP(data);
  ASSERT_EQ(bitmap.Palette().size(), 3u);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(9, 8, 7));
  EXPECT_EQ(bitmap.GetPixel(2, 0), RGB(3, 2, 1));
}

TEST(BmpRead, IndicesBeyondTheTableReadBlack) {
  auto data = BuildBmp(40, 1, 1, 8, 0, {9, 9, 9, 0}, {200, 0, 0, 0});
  SetLe32(data, 46, 1);
  TBitmap bitmap;
  bitmap.LoadFromBMP(data);
  EXPECT_EQ(bitmap.GetIndex(0, 0), 200);
  EXPECT_EQ(bitmap.GetPixel(0, 0), clBlack);
}

TEST(BmpRead, UnusualBitFieldMasksAreWidened) {
  // 16-bit 4-4-4 masks (red 0x0F00, green 0x00F0, blue 0x000F): one pixel 0x0F80.
  const std::vector<std::uint8_t> masks = {0x00, 0x0F, 0, 0, 0xF0, 0, 0, 0, 0x0F, 0, 0, 0};
  auto data = BuildBmp(40, 1, 1, 16, 3, masks, {0x80, 0x0F, 0, 0});
  TBitmap bitmap;
  bitmap.LoadFromBMP(data);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(255, 136, 0));
}

TEST(BmpRead, RunLengthEncodedEightAndFourBits) {
  std::vector<std::uint8_t> table;
  for (int i = 0; i < 16; ++i) table.insert(table.end(), {static_cast<std::uint8_t>(i * 16), 0, 0, 0});
  // RLE8, 4 x 2: the bottom row as runs, the top row as an absolute run.
  const std::vector<std::uint8_t> rle8 = {3, 1, 1, 2, 0, 0,        // bottom: 1 1 1 2
                                          0, 3, 5, 6, 7, 0, 0, 0,  // top: absolute 5 6 7 (padded), eol
                                          0, 1};
  auto data8 = BuildBmp(40, 4, 2, 8, 1, table, rle8);
  SetLe32(data8, 46, 16);
  TBitmap b8;
  b8.LoadFromBMP(data8);
  EXPECT_EQ(b8.GetIndex(0, 1), 1);
  EXPECT_EQ(b8.GetIndex(3, 1), 2);
  EXPECT_EQ(b8.GetIndex(0, 0), 5);
  EXPECT_EQ(b8.GetIndex(2, 0), 7);
  // RLE4, 5 x 1: run of 5 alternating 3 and 4.
  const std::vector<std::uint8_t> rle4 = {5, 0x34, 0, 1};
  auto data4 = BuildBmp(40, 5, 1, 4, 2, table, rle4);
  TBitmap b4;
  b4.LoadFromBMP(data4);
  EXPECT_EQ(b4.GetIndex(0, 0), 3);
  EXPECT_EQ(b4.GetIndex(1, 0), 4);
  EXPECT_EQ(b4.GetIndex(4, 0), 3);
}

TEST(BmpRead, RunLengthAbsoluteRunsArePaddedAndDeltasMoveByTheirOffset) {
  std::vector<std::uint8_t> table;
  for (int i = 0; i < 16; ++i) table.insert(table.end(), {static_cast<std::uint8_t>(i * 16), 0, 0, 0});
  // RLE8, 4 x 2. Bottom row: absolute 5 6 7 and its pad byte, then a run of one 9.
  // Top row: two 1s, a delta one column right, one 4.
  const std::vector<std::uint8_t> rle = {0, 3, 5, 6, 7, 0, 1, 9, 0, 0,  //
                                         2, 1, 0, 2, 1, 0, 1, 4, 0, 1};
  auto data = BuildBmp(40, 4, 2, 8, 1, table, rle);
  SetLe32(data, 46, 16);  // colours used
  TBitmap bitmap;
  bitmap.LoadFromBMP(data);
  const std::vector<int> bottom = {bitmap.GetIndex(0, 1), bitmap.GetIndex(1, 1), bitmap.GetIndex(2, 1),
                                   bitmap.GetIndex(3, 1)};
  const std::vector<int> top = {bitmap.GetIndex(0, 0), bitmap.GetIndex(1, 0), bitmap.GetIndex(2, 0),
                                bitmap.GetIndex(3, 0)};
  EXPECT_EQ(bottom, (std::vector<int>{5, 6, 7, 9}));
  EXPECT_EQ(top, (std::vector<int>{1, 1, 0, 4}));
}

TEST(BmpRead, RunsPastTheImageAreClipped) {
  std::vector<std::uint8_t> table(1024, 0);
  const std::vector<std::uint8_t> rle = {255, 9, 0, 2, 200, 200,
                                         255, 9, 0, 3, 1,   2};  // runs, delta far away, cut absolute
  auto data = BuildBmp(40, 2, 2, 8, 1, table, rle);
  TBitmap bitmap;
  EXPECT_NO_THROW(bitmap.LoadFromBMP(data));
  EXPECT_EQ(bitmap.GetIndex(1, 1), 9);
}

// More pixels on one row than an int can count: 8,421,505 full runs (or deltas) of 255
// columns pass 2^31. The column must stay clipped, so the next row still lands in place.
TEST(BmpRead, RunsAndDeltasFarPastTheRowEndCannotWrapTheColumn) {
  constexpr std::size_t kFarPastInt = (std::size_t{1} << 31) / 255 + 1;
  for (const int bits : {8, 4}) {
    const std::vector<std::uint8_t> table(std::size_t{4} << bits, 0);
    for (const bool deltas : {false, true}) {
      // Bottom row: three pixels of 7, then far past the end; top row: three of 5.
      const std::vector<std::uint8_t> step = deltas ? std::vector<std::uint8_t>{0, 2, 255, 0}
                                                    : std::vector<std::uint8_t>{255, 9};
      std::vector<std::uint8_t> rle;
      rle.reserve(8 + step.size() * kFarPastInt);
      rle.push_back(3);
      rle.push_back(bits == 8 ? 7 : 0x77);
      for (std::size_t k = 0; k < kFarPastInt; ++k)
        for (const std::uint8_t byte : step) rle.push_back(byte);
      for (const std::uint8_t byte : {0, 0, 3, bits == 8 ? 5 : 0x55, 0, 1}) rle.push_back(byte);
      TBitmap bitmap;
      ASSERT_NO_THROW(bitmap.LoadFromBMP(BuildBmp(40, 3, 2, bits, bits == 8 ? 1 : 2, table, rle)))
          << bits << (deltas ? " deltas" : " runs");
      for (int x = 0; x < 3; ++x) {
        EXPECT_EQ(bitmap.GetIndex(x, 1), 7) << bits << (deltas ? " deltas" : " runs") << " x " << x;
        EXPECT_EQ(bitmap.GetIndex(x, 0), 5) << bits << (deltas ? " deltas" : " runs") << " x " << x;
      }
    }
  }
}

// Deltas that add up to 2^32 - 1 columns would bring a wrapping column round to just before
// the row's start; a pixel drawn there would land in the neighbouring row.
TEST(BmpRead, DeltasThatWouldWrapTheColumnToBeforeTheRowDrawNothing) {
  constexpr std::size_t kDeltasToMinusOne = 0xFFFFFFFFu / 255;  // 255 x this = 2^32 - 1
  for (const int bits : {8, 4}) {
    const std::vector<std::uint8_t> table(std::size_t{4} << bits, 0);
    const int width = 32 / bits;  // rows of exactly 4 bytes, no padding between them
    // Bottom row empty; middle row: the deltas, then one pixel of 9; top row empty.
    std::vector<std::uint8_t> rle = {0, 0};
    rle.reserve(12 + 4 * kDeltasToMinusOne);
    for (std::size_t k = 0; k < kDeltasToMinusOne; ++k)
      for (const std::uint8_t byte : {0, 2, 255, 0}) rle.push_back(byte);
    for (const std::uint8_t byte : {1, bits == 8 ? 9 : 0x99, 0, 0, 0, 0, 0, 1}) rle.push_back(byte);
    TBitmap bitmap;
    ASSERT_NO_THROW(bitmap.LoadFromBMP(BuildBmp(40, width, 3, bits, bits == 8 ? 1 : 2, table, rle))) << bits;
    int drawn = 0;
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < width; ++x) drawn += bitmap.GetIndex(x, y) != 0;
    EXPECT_EQ(drawn, 0) << bits << " bits";
  }
}

TEST(BmpMalformed, EveryTruncationFailsCleanly) {
  const auto data = Pattern(TPixelFormat::pf8bit, 5, 3).SaveToBMP();
  for (std::size_t size = 0; size < data.size(); ++size) {
    std::vector<std::uint8_t> cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(size));
    TBitmap bitmap(1, 1);
    EXPECT_THROW(bitmap.LoadFromBMP(cut), EClipvaneError) << size;
    EXPECT_EQ(bitmap.Width(), 1);  // unchanged by the failure
  }
}

TEST(BmpMalformed, AbsurdHeadersAreRefused) {
  const auto good = Pattern(TPixelFormat::pf24bit, 4, 4).SaveToBMP();
  auto mutate = [&](std::size_t at, std::uint32_t value) {
    auto d = good;
    SetLe32(d, at, value);
    return d;
  };
  TBitmap bitmap;
  EXPECT_THROW(bitmap.LoadFromBMP(mutate(18, 0x7FFFFFFF)), EClipvaneError);  // width
  EXPECT_THROW(bitmap.LoadFromBMP(mutate(18, 0)), EClipvaneError);
  EXPECT_THROW(bitmap.LoadFromBMP(mutate(22, 0x80000000)), EClipvaneError);  // height INT_MIN
  EXPECT_THROW(bitmap.LoadFromBMP(mutate(22, 0)), EClipvaneError);
  EXPECT_THROW(bitmap.LoadFromBMP(mutate(10, 0xFFFFFFF0)), EClipvaneError);  // pixel offset
  EXPECT_THROW(bitmap.LoadFromBMP(mutate(10, 20)), EClipvaneError);          // offset inside the header
  EXPECT_THROW(bitmap.LoadFromBMP(mutate(14, 1000)), EClipvaneError);        // header size
  EXPECT_THROW(bitmap.LoadFromBMP(mutate(30, 9)), EClipvaneError);           // compression
  auto bits = good;
  bits[28] = 7;
  EXPECT_THROW(bitmap.LoadFromBMP(bits), EClipvaneError);
  auto signature = good;
  signature[0] = 'X';
  EXPECT_THROW(bitmap.LoadFromBMP(signature), EClipvaneError);
}

// Two bytes of run-length data (the end code) can describe any picture; beyond 2^28 pixels
// (65535 x 4097 here, 268 MB at 8 bits) it is refused before it is allocated.
TEST(BmpMalformed, RunLengthPicturesBeyondThePixelLimitCostNoMemory) {
  const std::vector<std::uint8_t> table(256 * 4, 0), end = {0, 1};
  for (const auto& [bits, compression] : {std::pair{8, 1u}, std::pair{4, 2u}}) {
    const auto huge = BuildBmp(40, 65535, 4097, bits, compression, table, end);
    const fixtures::TBoundedRun run = fixtures::RunBounded(
        [&huge] {
          TBitmap bitmap;
          try {
            bitmap.LoadFromBMP(huge);
            return 1;
          } catch (const EClipvaneError& error) {
            return std::string(error.what()).find("too large") != std::string::npos ? 0 : 2;
          }
        },
        std::uint64_t{300} << 20);
    EXPECT_EQ(run.ExitCode, 0) << bits << " bits (1: accepted, 2: another message, 99: another error)";
    EXPECT_LT(run.PeakResidentBytes, std::uint64_t{200} << 20) << bits << " bits";
  }
  // Within the limit, the end code leaves the picture blank.
  TBitmap blank;
  blank.LoadFromBMP(BuildBmp(40, 3000, 2000, 8, 1, table, end));
  EXPECT_EQ(blank.Width(), 3000);
  EXPECT_EQ(blank.GetIndex(2999, 1999), 0);
}

TEST(BmpMalformed, RandomMutationsNeverCrash) {
  std::mt19937 random(1234);
  const auto good = Pattern(TPixelFormat::pf4bit, 9, 5).SaveToBMP();
  int loaded = 0;
  for (int round = 0; round < 3000; ++round) {
    auto d = good;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) d[random() % d.size()] = static_cast<std::uint8_t>(random());
    if (random() % 3 == 0) d.resize(random() % d.size());
    TBitmap bitmap;
    try {
      bitmap.LoadFromBMP(d);
      ++loaded;
      EXPECT_LE(static_cast<std::size_t>(bitmap.Width()) * bitmap.Height(), 65535u * 65535u);
    } catch (const EClipvaneError&) {
    }
  }
  EXPECT_GT(loaded, 0);
}

}  // namespace
}  // namespace clipvane
