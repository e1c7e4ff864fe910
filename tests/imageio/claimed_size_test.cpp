// Headers that claim a huge picture over a few hundred bytes of data: each decoder refuses
// them before allocating the picture, in a child process whose memory is limited to far less
// than the claim. Real pictures at their format's best compression still decode.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <jpeglib.h>

#include "decoder_test_support.h"
#include "imageio/jpeg_writer.h"
#include "support/bounded_run.h"

namespace clipvane {
namespace {

using namespace testing_support;

constexpr std::uint32_t kClaimedSide = 16384;  // 16384 x 16384 x 3 bytes is 805 MB
constexpr std::uint64_t kAddressLimit = std::uint64_t{300} << 20;
constexpr std::uint64_t kPeakLimit = std::uint64_t{200} << 20;

TBytes CutPng(bool interlaced) {
  TPngPicture picture = PngPicture(9, 9, PNG_COLOR_TYPE_RGB, 8, interlaced);
  for (int y = 0; y < 9; ++y) picture.rows.push_back(TBytes(27, static_cast<std::uint8_t>(y * 20)));
  return WithPngSize(WritePng(picture), kClaimedSide, kClaimedSide);
}

void PutBe16(TBytes& data, std::size_t at, unsigned value) {
  data[at] = static_cast<std::uint8_t>(value >> 8);
  data[at + 1] = static_cast<std::uint8_t>(value);
}

TBytes CutJpeg() {
  TBitmap picture(16, 16);
  picture.FillRect(TRect{0, 0, 16, 16}, RGB(10, 200, 30));
  TBytes jpeg = EncodeJPEG(picture, 75);
  for (std::size_t at = 2; at + 9 < jpeg.size(); ++at)
    if (jpeg[at] == 0xFF && jpeg[at + 1] == 0xC0) {  // baseline frame header: height, then width
      PutBe16(jpeg, at + 5, kClaimedSide);
      PutBe16(jpeg, at + 7, kClaimedSide);
      return jpeg;
    }
  ADD_FAILURE() << "no frame header in the JPEG";
  return jpeg;
}

// A little-endian TIFF with one strip holding `strip` as stored: 8-bit grey or RGB. The strip's
// byte count says `claimedBytes` when that is not 0.
TBytes HandMadeTiff(std::uint32_t width, std::uint32_t height, int samples, std::uint16_t compression,
                    const TBytes& strip, std::uint32_t claimedBytes = 0) {
  struct TEntry {
    std::uint16_t tag, type;
    std::uint32_t count, value;
  };
  const std::uint32_t bitsAt = 8, stripAt = 16;
  const std::vector<TEntry> entries = {
      {256, 4, 1, width},
      {257, 4, 1, height},
      {258, 3, static_cast<std::uint32_t>(samples), samples == 1 ? 8u : bitsAt},
      {259, 3, 1, compression},
      {262, 3, 1, samples == 1 ? 1u : 2u},  // black is zero, or RGB
      {273, 4, 1, stripAt},
      {277, 3, 1, static_cast<std::uint32_t>(samples)},
      {278, 4, 1, height},
      {279, 4, 1, claimedBytes != 0 ? claimedBytes : static_cast<std::uint32_t>(strip.size())},
  };
  TBytes tiff = {'I', 'I', 42, 0};
  const std::uint32_t directory = stripAt + static_cast<std::uint32_t>((strip.size() + 1) & ~std::size_t{1});
  PutLe32(tiff, directory);
  PutLe16(tiff, 8);  // bits of the three samples, at offset 8
  PutLe16(tiff, 8);
  PutLe16(tiff, 8);
  PutLe16(tiff, 0);
  Append(tiff, strip);
  tiff.resize(directory, 0);
  PutLe16(tiff, static_cast<unsigned>(entries.size()));
  for (const TEntry& entry : entries) {
    PutLe16(tiff, entry.tag);
    PutLe16(tiff, entry.type);
    PutLe32(tiff, entry.count);
    PutLe32(tiff, entry.type == 3 && entry.count == 1 ? entry.value & 0xFFFF : entry.value);
  }
  PutLe32(tiff, 0);
  return tiff;
}

TBytes Deflated(const TBytes& raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  TBytes packed(size);
  EXPECT_EQ(compress2(packed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9), Z_OK);
  packed.resize(size);
  return packed;
}

// One grey level everywhere, with Huffman tables fitted to the picture: the smallest JPEG
// libjpeg makes of it, sequential or progressive.
TBytes CompactGreyJpeg(int side, bool progressive) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(side);
  info.image_height = static_cast<JDIMENSION>(side);
  info.input_components = 1;
  info.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, 10, TRUE);
  info.optimize_coding = TRUE;
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  std::vector<JSAMPLE> row(static_cast<std::size_t>(side), 77);
  JSAMPROW rows[1] = {row.data()};
  while (info.next_scanline < info.image_height) jpeg_write_scanlines(&info, rows, 1);
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  TBytes jpeg(buffer, buffer + size);
  std::free(buffer);
  return jpeg;
}

struct TClaim {
  const char* name;  // the file name: its extension picks the decoder
  TBytes data;
};

TEST(ClaimedSize, HugeHeadersOverLittleDataAreRefusedWithoutTheirMemory) {
  const std::vector<TClaim> claims = {
      {"plain.png", CutPng(false)},
      {"interlaced.png", CutPng(true)},
      {"baseline.jpg", CutJpeg()},
      {"grey.tif", HandMadeTiff(kClaimedSide, kClaimedSide, 1, 1, TBytes(100, 7))},
      {"rgb.tif", HandMadeTiff(kClaimedSide, kClaimedSide, 3, 1, TBytes(100, 7))},
      {"deflated.tif", HandMadeTiff(kClaimedSide, kClaimedSide, 3, 8, Deflated(TBytes(100000, 7)))},
      {"claimed-count.tif", HandMadeTiff(kClaimedSide, kClaimedSide, 3, 1, TBytes(100, 7), 0xFFFFFF00u)},
  };
  for (const TClaim& claim : claims) {
    const fixtures::TBoundedRun run = fixtures::RunBounded(
        [&claim] {
          try {
            DecodePicture(claim.data, claim.name, clWhite);
            return 1;  // accepted
          } catch (const EClipvaneError& error) {
            return std::string(error.what()).find("pixel data is cut off") != std::string::npos ? 0 : 2;
          }
        },
        kAddressLimit);
    EXPECT_EQ(run.ExitCode, 0) << claim.name << " (1: accepted, 2: another message, 99: another error)";
    EXPECT_LT(run.PeakResidentBytes, kPeakLimit) << claim.name;
  }
}

TEST(ClaimedSize, RealPicturesAtTheirBestCompressionStillDecode) {
  // One colour everywhere: as small as each format makes a picture of this size.
  TPngPicture flat = PngPicture(2000, 2000, PNG_COLOR_TYPE_GRAY, 8);
  flat.rows.assign(2000, TBytes(2000, 77));
  const TBytes png = WritePng(flat);
  ASSERT_LT(png.size(), std::size_t{2000 * 2000 / 400});  // libpng packs it some 500 to 1
  const TBitmap fromPng = DecodePicture(png, "flat.png", clWhite);
  EXPECT_EQ(fromPng.GetPixel(1999, 1999), RGB(77, 77, 77));

  const TBytes tiff = HandMadeTiff(2000, 2000, 3, 8, Deflated(TBytes(std::size_t{2000} * 2000 * 3, 77)));
  const TBitmap fromTiff = DecodePicture(tiff, "flat.tif", clWhite);
  EXPECT_EQ(fromTiff.GetPixel(1999, 1999), RGB(77, 77, 77));

  for (const bool progressive : {false, true}) {
    const TBytes jpeg = CompactGreyJpeg(2048, progressive);
    // Two to three bits for each 8 x 8 block, well under a byte; the decoder's floor is one bit.
    ASSERT_LT(jpeg.size(), std::size_t{2048 * 2048 / 64 / 2}) << progressive;
    const TBitmap fromJpeg = DecodePicture(jpeg, "flat.jpg", clWhite);
    EXPECT_EQ(fromJpeg.Width(), 2048);
    EXPECT_NEAR(GetGValue(fromJpeg.GetPixel(2047, 2047)), 77, 2) << progressive;
  }
}

}  // namespace
}  // namespace clipvane
