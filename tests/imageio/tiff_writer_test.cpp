// The TIFF writer: what libtiff reads back from what we encode.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <cstring>

#include "core/error.h"
#include "core/palettes.h"
#include "imageio/tiff_writer.h"

namespace clipvane {
namespace {

// libtiff reading from a byte buffer.
struct TReadBuffer {
  const std::vector<std::uint8_t>* data;
  std::size_t position = 0;
};

tmsize_t Read(thandle_t h, void* buffer, tmsize_t size) {
  auto* in = static_cast<TReadBuffer*>(h);
  const std::size_t count = std::min<std::size_t>(static_cast<std::size_t>(size),
                                                  in->data->size() - std::min(in->position, in->data->size()));
  std::memcpy(buffer, in->data->data() + in->position, count);
  in->position += count;
  return static_cast<tmsize_t>(count);
}
tmsize_t NoWrite(thandle_t, void*, tmsize_t) { return -1; }
toff_t Seek(thandle_t h, toff_t offset, int whence) {
  auto* in = static_cast<TReadBuffer*>(h);
  in->position = (whence == SEEK_SET ? 0 : whence == SEEK_CUR ? in->position : in->data->size()) + offset;
  return in->position;
}
int Close(thandle_t) { return 0; }
toff_t Size(thandle_t h) { return static_cast<TReadBuffer*>(h)->data->size(); }
int Map(thandle_t, void**, toff_t*) { return 0; }
void Unmap(thandle_t, void*, toff_t) {}

struct TDecodedTiff {
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0, samples = 0, photometric = 0, compression = 0;
  std::vector<std::uint32_t> abgr;  // top row first
};

TDecodedTiff Decode(const std::vector<std::uint8_t>& bytes) {
  TReadBuffer in{&bytes};
  TIFF* tif = TIFFClientOpen("test", "rm", &in, Read, NoWrite, Seek, Close, Size, Map, Unmap);
  TDecodedTiff out;
  if (tif == nullptr) return out;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &out.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &out.height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &out.bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &out.samples);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &out.photometric);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &out.compression);
  out.abgr.resize(static_cast<std::size_t>(out.width) * out.height);
  if (TIFFReadRGBAImageOriented(tif, out.width, out.height, out.abgr.data(), ORIENTATION_TOPLEFT, 0) != 1)
    out.abgr.clear();
  TIFFClose(tif);
  return out;
}

TColor ColourAt(const TDecodedTiff& tiff, int x, int y) {
  const std::uint32_t p = tiff.abgr[static_cast<std::size_t>(y) * tiff.width + static_cast<std::size_t>(x)];
  return RGB(TIFFGetR(p), TIFFGetG(p), TIFFGetB(p));
}

// A checkerboard of 3 x 2 blocks with a stripe, over an odd width.
TBitmap Pattern(int width, int height, TPixelFormat format) {
  TBitmap picture(width, height, format);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      picture.SetPixel(x, y, ((x / 3 + y / 2) % 2 == 0 || x == width - 1) ? clWhite : clBlack);
  return picture;
}

void ExpectSamePixels(const TBitmap& picture, const TDecodedTiff& tiff) {
  ASSERT_EQ(tiff.abgr.size(), static_cast<std::size_t>(picture.Width()) * picture.Height());
  for (int y = 0; y < picture.Height(); ++y)
    for (int x = 0; x < picture.Width(); ++x) ASSERT_EQ(ColourAt(tiff, x, y), picture.GetPixel(x, y)) << x << "," << y;
}

TEST(TiffWriter, BlackAndWhiteFrameIsBilevel) {
  const TBitmap picture = Pattern(61, 13, TPixelFormat::pf1bit);
  const TDecodedTiff tiff = Decode(EncodeTIFF(picture));
  EXPECT_EQ(tiff.width, 61u);
  EXPECT_EQ(tiff.height, 13u);
  EXPECT_EQ(tiff.bits, 1);
  EXPECT_EQ(tiff.samples, 1);
  EXPECT_EQ(tiff.compression, COMPRESSION_CCITTFAX4);
  ExpectSamePixels(picture, tiff);
}

TEST(TiffWriter, WhiteFirstTableKeepsEveryColour) {
  TBitmap picture = Pattern(20, 5, TPixelFormat::pf1bit);
  // Same indices, reversed table: every pixel's colour flips and must come back flipped.
  picture.SetPalette({TRGBQuad::FromColor(clWhite), TRGBQuad::FromColor(clBlack)});
  const TDecodedTiff tiff = Decode(EncodeTIFF(picture));
  EXPECT_EQ(tiff.bits, 1);
  ExpectSamePixels(picture, tiff);
}

TEST(TiffWriter, TwoOtherColoursGoIntoAColourMap) {
  TBitmap picture = Pattern(9, 9, TPixelFormat::pf1bit);
  picture.SetPalette({TRGBQuad::FromColor(RGB(0, 0, 128)), TRGBQuad::FromColor(RGB(255, 255, 0))});
  const TDecodedTiff tiff = Decode(EncodeTIFF(picture));
  EXPECT_EQ(tiff.bits, 1);
  EXPECT_EQ(tiff.photometric, PHOTOMETRIC_PALETTE);
  ExpectSamePixels(picture, tiff);
}

TEST(TiffWriter, OtherFormatsAreStoredAsRgbWithoutLoss) {
  for (const auto format : {TPixelFormat::pf4bit, TPixelFormat::pf8bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                            TPixelFormat::pf32bit}) {
    TBitmap picture(17, 6, TPixelFormat::pf24bit);
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 17; ++x) picture.SetPixel(x, y, RGB(x * 15, y * 40, 255 - x * 15));
    picture.SetPixelFormat(format);
    const TDecodedTiff tiff = Decode(EncodeTIFF(picture));
    EXPECT_EQ(tiff.samples, 3);
    EXPECT_EQ(tiff.bits, 8);
    ExpectSamePixels(picture, tiff);
  }
}

TEST(TiffWriter, RefusesEmptyPictures) {
  EXPECT_THROW(EncodeTIFF(TBitmap()), EClipvaneError);
  EXPECT_THROW(EncodeTIFF(TBitmap(0, 3, TPixelFormat::pf1bit)), EClipvaneError);
}

}  // namespace
}  // namespace clipvane
