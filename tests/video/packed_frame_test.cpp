// A packed device-independent bitmap becoming the decode bitmap: the stream's colour table
// laid over the frame's, the BMP file the decode stream holds, and bad frames refused.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "support/bounded_run.h"
#include "video/avi_frame_reader.h"

namespace clipvane {
namespace {

void Put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  b.at(at) = static_cast<std::uint8_t>(v);
  b.at(at + 1) = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (std::size_t i = 0; i < 4; ++i) b.at(at + i) = static_cast<std::uint8_t>(v >> (8 * i));
}
std::uint32_t Get32(std::span<const std::uint8_t> b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

// A packed bitmap: 40-byte header, `tableBytes` of colour table or masks, bottom-up rows.
std::vector<std::uint8_t> Packed(int width, int height, int bits, std::uint32_t compression, std::uint32_t colorsUsed,
                                 std::size_t tableBytes, std::uint32_t imageSize, std::size_t pixelBytes) {
  std::vector<std::uint8_t> b(40 + tableBytes + pixelBytes, 0);
  Put32(b, 0, 40);
  Put32(b, 4, static_cast<std::uint32_t>(width));
  Put32(b, 8, static_cast<std::uint32_t>(height));
  Put16(b, 12, 1);
  Put16(b, 14, static_cast<std::uint32_t>(bits));
  Put32(b, 16, compression);
  Put32(b, 20, imageSize);
  Put32(b, 32, colorsUsed);
  return b;
}

void SetEntry(std::vector<std::uint8_t>& b, std::size_t tableAt, std::size_t entry, TRGBQuad c) {
  b[tableAt + 4 * entry] = c.Blue;
  b[tableAt + 4 * entry + 1] = c.Green;
  b[tableAt + 4 * entry + 2] = c.Red;
  b[tableAt + 4 * entry + 3] = 0;
}

// A stream format: 40-byte header with `colours` used and that many entries.
std::vector<std::uint8_t> StreamFormat(const std::vector<TRGBQuad>& colours, std::uint32_t claimed) {
  std::vector<std::uint8_t> b = Packed(4, 2, 8, 0, claimed, colours.size() * 4, 0, 0);
  for (std::size_t i = 0; i < colours.size(); ++i) SetEntry(b, 40, i, colours[i]);
  return b;
}

constexpr TRGBQuad kGrey{128, 128, 128, 0};
constexpr TRGBQuad kRed{0, 0, 255, 0};
constexpr TRGBQuad kGreen{0, 255, 0, 0};
constexpr TRGBQuad kBlue{255, 0, 0, 0};

// A 4 x 2 frame of 8 bits, four grey table entries, pixels 0 1 2 3 in the bottom row and
// 3 2 1 0 in the top row.
std::vector<std::uint8_t> GreyEightBitFrame() {
  std::vector<std::uint8_t> b = Packed(4, 2, 8, 0, 4, 16, 8, 8);
  for (std::size_t i = 0; i < 4; ++i) SetEntry(b, 40, i, kGrey);
  const std::uint8_t rows[8] = {0, 1, 2, 3, 3, 2, 1, 0};
  std::memcpy(&b[56], rows, 8);
  return b;
}

TEST(StreamPaletteCopy, StreamColoursReplaceTheFramesFromTheFirstEntry) {
  std::vector<std::uint8_t> frame = GreyEightBitFrame();
  const std::vector<std::uint8_t> format = StreamFormat({kRed, kGreen}, 2);
  TDecodeStream stream;
  TBitmap bitmap;
  PackedFrameToBitmap(frame, format, stream, bitmap);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf8bit);
  EXPECT_EQ(bitmap.Palette(), (std::vector<TRGBQuad>{kRed, kGreen, kGrey, kGrey}));
  // Indices are untouched; the top row is the frame's last row.
  EXPECT_EQ(bitmap.GetIndex(0, 0), 3);
  EXPECT_EQ(bitmap.GetIndex(3, 0), 0);
  EXPECT_EQ(bitmap.GetIndex(0, 1), 0);
  EXPECT_EQ(bitmap.GetPixel(1, 1), kGreen.ToColor());
  EXPECT_EQ(bitmap.GetPixel(2, 1), kGrey.ToColor());
}

TEST(StreamPaletteCopy, NoMoreThanTheFramesTableHolds) {
  std::vector<std::uint8_t> frame = GreyEightBitFrame();
  const std::vector<std::uint8_t> format = StreamFormat({kRed, kGreen, kBlue, kRed, kGreen, kBlue}, 6);
  std::vector<std::uint8_t> pixelsBefore(frame.begin() + 56, frame.end());
  CopyStreamPalette(frame, format);
  EXPECT_EQ(std::vector<std::uint8_t>(frame.begin() + 56, frame.end()), pixelsBefore);  // pixels not overwritten
  TDecodeStream stream;
  TBitmap bitmap;
  LoadPackedFrame(frame, stream, bitmap);
  EXPECT_EQ(bitmap.Palette(), (std::vector<TRGBQuad>{kRed, kGreen, kBlue, kRed}));
}

TEST(StreamPaletteCopy, NoMoreThanTheStreamFormatHolds) {
  std::vector<std::uint8_t> frame = GreyEightBitFrame();
  // Claims 200 colours but carries one: only the one is copied.
  const std::vector<std::uint8_t> format = StreamFormat({kBlue}, 200);
  CopyStreamPalette(frame, format);
  TDecodeStream stream;
  TBitmap bitmap;
  LoadPackedFrame(frame, stream, bitmap);
  EXPECT_EQ(bitmap.Palette(), (std::vector<TRGBQuad>{kBlue, kGrey, kGrey, kGrey}));
}

TEST(StreamPaletteCopy, FrameWithoutColoursUsedHasTwoToTheBitsEntries) {
  // 1 bit, colours used 0: a table of two entries.
  std::vector<std::uint8_t> frame = Packed(8, 1, 1, 0, 0, 8, 4, 4);
  SetEntry(frame, 40, 0, kGrey);
  SetEntry(frame, 40, 1, kGrey);
  frame[48] = 0x0F;  // four pixels of entry 0, four of entry 1
  const std::vector<std::uint8_t> format = StreamFormat({kRed, kGreen, kBlue}, 3);
  TDecodeStream stream;
  TBitmap bitmap;
  PackedFrameToBitmap(frame, format, stream, bitmap);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf1bit);
  EXPECT_EQ(bitmap.Palette(), (std::vector<TRGBQuad>{kRed, kGreen}));
  EXPECT_EQ(bitmap.GetPixel(0, 0), kRed.ToColor());
  EXPECT_EQ(bitmap.GetPixel(7, 0), kGreen.ToColor());
}

TEST(StreamPaletteCopy, TrueColourFramesHaveNoTableToCopyInto) {
  // 2 x 1 at 24 bits: blue pixel, red pixel, 2 bytes of padding.
  std::vector<std::uint8_t> frame = Packed(2, 1, 24, 0, 0, 0, 8, 8);
  const std::uint8_t row[8] = {255, 0, 0, 0, 0, 255, 0, 0};
  std::memcpy(&frame[40], row, 8);
  const std::vector<std::uint8_t> before = frame;
  const std::vector<std::uint8_t> format = StreamFormat({kGreen, kGreen}, 2);
  TDecodeStream stream;
  TBitmap bitmap;
  PackedFrameToBitmap(frame, format, stream, bitmap);
  EXPECT_EQ(frame, before);
  ASSERT_EQ(bitmap.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), kBlue.ToColor());
  EXPECT_EQ(bitmap.GetPixel(1, 0), kRed.ToColor());
}

TEST(StreamPaletteCopy, StreamWithoutColoursLeavesTheFramesTable) {
  std::vector<std::uint8_t> frame = GreyEightBitFrame();
  const std::vector<std::uint8_t> before = frame;
  CopyStreamPalette(frame, StreamFormat({kRed}, 0));  // colours used 0
  EXPECT_EQ(frame, before);
  CopyStreamPalette(frame, {});  // no format buffer at all
  EXPECT_EQ(frame, before);
}

TEST(DecodeStream, HoldsTheFrameAsABmpFile) {
  std::vector<std::uint8_t> frame = GreyEightBitFrame();
  TDecodeStream stream;
  TBitmap bitmap;
  LoadPackedFrame(frame, stream, bitmap);
  const auto data = stream.Data();
  ASSERT_EQ(data.size(), 14 + frame.size());
  EXPECT_EQ(data[0], 'B');
  EXPECT_EQ(data[1], 'M');
  EXPECT_EQ(Get32(data, 2), 0u);              // file size left 0
  EXPECT_EQ(Get32(data, 6), 0u);              // reserved words
  EXPECT_EQ(Get32(data, 10), 14u + 40 + 16);  // pixels after the header and 4 table entries
  EXPECT_EQ(std::memcmp(data.data() + 14, frame.data(), frame.size()), 0);
  // Reused: a smaller frame afterwards leaves only its own bytes in the stream.
  std::vector<std::uint8_t> small = Packed(1, 1, 24, 0, 0, 0, 4, 4);
  LoadPackedFrame(small, stream, bitmap);
  EXPECT_EQ(stream.Data().size(), 14 + small.size());
  EXPECT_EQ(Get32(stream.Data(), 10), 54u);
}

TEST(DecodeStream, BitFieldFramesCountTheirMasks) {
  // 16 bits with 5-6-5 masks: one white pixel.
  std::vector<std::uint8_t> frame = Packed(1, 1, 16, 3, 0, 12, 4, 4);
  Put32(frame, 40, 0xF800);
  Put32(frame, 44, 0x07E0);
  Put32(frame, 48, 0x001F);
  Put16(frame, 52, 0xFFFF);
  TDecodeStream stream;
  TBitmap bitmap;
  LoadPackedFrame(frame, stream, bitmap);
  EXPECT_EQ(Get32(stream.Data(), 10), 14u + 40 + 12);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf16bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), clWhite);
  // Plain 16 bits are 5-5-5.
  std::vector<std::uint8_t> plain = Packed(1, 1, 16, 0, 0, 0, 4, 4);
  Put16(plain, 40, 0x7C00);  // pure red
  LoadPackedFrame(plain, stream, bitmap);
  EXPECT_EQ(bitmap.PixelFormat(), TPixelFormat::pf15bit);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(255, 0, 0));
}

TEST(DecodeStream, ImageSizeZeroIsComputedFromTheDimensions) {
  std::vector<std::uint8_t> frame = Packed(3, 2, 24, 0, 0, 0, 0, 24);  // rows of 12 bytes
  frame[40 + 12] = 200;  // second row in memory = top row, first pixel's blue
  TDecodeStream stream;
  TBitmap bitmap;
  LoadPackedFrame(frame, stream, bitmap);
  EXPECT_EQ(bitmap.Width(), 3);
  EXPECT_EQ(bitmap.GetPixel(0, 0), RGB(0, 0, 200));
  EXPECT_EQ(bitmap.GetPixel(0, 1), RGB(0, 0, 0));
}

TEST(DecodeStream, RefusesBrokenFramesAndKeepsTheBitmap) {
  TDecodeStream stream;
  TBitmap bitmap(2, 2, TPixelFormat::pf24bit);
  bitmap.SetPixel(1, 1, RGB(1, 2, 3));
  const TBitmap before = bitmap;
  const std::vector<std::vector<std::uint8_t>> broken = {
      {},                                      // nothing
      std::vector<std::uint8_t>(39, 0),        // header cut off
      Packed(4, 4, 24, 0, 0, 0, 64, 63),       // pixels cut off
      Packed(4, 4, 24, 0, 0, 0, 0, 10),        // computed size beyond the data
      Packed(4, 2, 8, 0, 4, 8, 8, 0),          // colour table cut off
      Packed(0, 4, 24, 0, 0, 0, 0, 0),         // no width
      Packed(70000, 1, 24, 0, 0, 0, 0, 0),     // absurd width
      Packed(4, 4, 7, 0, 0, 0, 16, 16),        // 7 bits per pixel
      Packed(4, 4, 8, 0, 1000, 4000, 16, 16),  // a colour table beyond 256 entries
  };
  for (std::size_t i = 0; i < broken.size(); ++i) {
    EXPECT_THROW(LoadPackedFrame(broken[i], stream, bitmap), EClipvaneError) << "case " << i;
    EXPECT_EQ(bitmap, before) << "case " << i;
  }
  std::vector<std::uint8_t> badHeaderSize = GreyEightBitFrame();
  Put32(badHeaderSize, 0, 1000);
  EXPECT_THROW(LoadPackedFrame(badHeaderSize, stream, bitmap), EClipvaneError);
  EXPECT_EQ(bitmap, before);
}

// A frame whose size field says 2 bytes, whose header claims 8210 x 63231 pixels (1 GB) and
// whose data holds 2: refused as cut off before the picture is allocated.
TEST(DecodeStream, ClaimedPictureOverLittleDataCostsNoMemory) {
  std::vector<std::uint8_t> frame = Packed(8210, 63231, 16, 3, 0, 12, 2, 2);
  Put32(frame, 40, 0xF800);
  Put32(frame, 44, 0x07E0);
  Put32(frame, 48, 0x001F);
  const fixtures::TBoundedRun run = fixtures::RunBounded(
      [&frame] {
        TDecodeStream stream;
        TBitmap bitmap;
        try {
          LoadPackedFrame(frame, stream, bitmap);
          return 1;
        } catch (const EClipvaneError& error) {
          return std::string(error.what()).find("cut off") != std::string::npos ? 0 : 2;
        }
      },
      std::uint64_t{300} << 20);
  EXPECT_EQ(run.ExitCode, 0) << "1: accepted, 2: another message, 99: another error";
  EXPECT_LT(run.PeakResidentBytes, std::uint64_t{200} << 20);
}

TEST(DecodeStream, PreparedFrameIsLoadedInPlaceWithAlignedPixels) {
  TDecodeStream stream;
  const std::vector<std::uint8_t> source = GreyEightBitFrame();
  for (int round = 0; round < 3; ++round) {
    const std::span<std::uint8_t> frame = stream.PrepareFrame(source.size(), 56);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(frame.data() + 56) % 64, 0u);
    std::memcpy(frame.data(), source.data(), source.size());
    EXPECT_TRUE(stream.HoldsFrame(frame));
    const std::vector<std::uint8_t> format = StreamFormat({kBlue}, 1);
    TBitmap bitmap;
    PackedFrameToBitmap(frame, format, stream, bitmap);
    EXPECT_EQ(stream.Data().size(), 14 + source.size());
    EXPECT_EQ(bitmap.Palette(), (std::vector<TRGBQuad>{kBlue, kGrey, kGrey, kGrey}));
    EXPECT_EQ(bitmap.GetIndex(1, 1), 1);
  }
  EXPECT_FALSE(stream.HoldsFrame(source));
}

}  // namespace
}  // namespace clipvane
