// Lossy LZW: giflib decodes the data to the indices the encoder reports, every pixel lands
// within the colour tolerance of its own (the transparent index only ever on itself), level 0
// loses nothing, and a dithered picture comes out smaller than lossless.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "gif/best_quantizer.h"
#include "gif/gif_image_data.h"
#include "gif/gif_stream.h"
#include "gif/lossy_lzw.h"
#include "gif_test_support.h"
#include "support/natural_picture.h"

namespace clipvane {
namespace {

using gif_test::DecodeWithGiflib;
using gif_test::TDecodedGif;

struct TIndexPicture {
  std::string Name;
  int Width = 0;
  int Height = 0;
  int Bits = 8;
  std::vector<TGIFColor> Colors;
  std::vector<std::uint8_t> Pixels;
  int Transparent = -1;
};

TIndexPicture Dithered(int width, int height) {
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  quantizer.Quantize(fixtures::NaturalPicture(width, height), nullptr, frame);
  return {"dithered", width, height, 8, frame.Palette, frame.Indices};
}

std::vector<TGIFColor> Ramp(int count) {
  std::vector<TGIFColor> colors;
  for (int i = 0; i < count; ++i)
    colors.push_back({static_cast<std::uint8_t>(i * 255 / std::max(count - 1, 1)),
                      static_cast<std::uint8_t>((i * 37) % 256), static_cast<std::uint8_t>(255 - i * 200 / count)});
  return colors;
}

// Colours close to each other (a ramp), picked at random: strings break everywhere.
TIndexPicture Noise(int width, int height, int bits, std::uint32_t seed) {
  const int count = 1 << bits;
  return {"noise" + std::to_string(bits),
          width,
          height,
          bits,
          Ramp(count),
          gif_test::NoiseIndices(static_cast<std::size_t>(width) * height, count, seed)};
}

// Every third pixel of a dithered picture is the transparent index.
TIndexPicture WithTransparency() {
  TIndexPicture picture = Dithered(90, 70);
  picture.Name = "transparent";
  picture.Transparent = static_cast<int>(picture.Colors.size());
  picture.Colors.push_back(picture.Colors.front());  // its colour is that of another entry
  for (std::size_t i = 0; i < picture.Pixels.size(); i += 3)
    picture.Pixels[i] = static_cast<std::uint8_t>(picture.Transparent);
  return picture;
}

TIndexPicture Flat() {
  return {"flat", 300, 200, 1, {{10, 20, 30}, {12, 21, 29}}, std::vector<std::uint8_t>(300 * 200, 1)};
}

std::vector<std::uint8_t> Encode(TLossyLZWEncoder& encoder, const TIndexPicture& picture, int level,
                                 bool interlaced = false) {
  encoder.SetColors(picture.Colors, picture.Transparent, level);
  TGIFMemoryStream stream;
  encoder.Compress(stream, picture.Bits, picture.Width, picture.Height, interlaced, picture.Pixels.data(),
                   static_cast<int>(picture.Colors.size()));
  return stream.TakeBytes();
}

// The image data in a GIF of one frame with a global table, for giflib.
std::vector<std::uint8_t> WrapInGif(const TIndexPicture& picture, const std::vector<std::uint8_t>& data) {
  const int bits = std::max(picture.Bits, 1);
  std::vector<std::uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a'};
  const auto u16 = [&gif](int value) {
    gif.push_back(static_cast<std::uint8_t>(value));
    gif.push_back(static_cast<std::uint8_t>(value >> 8));
  };
  u16(picture.Width);
  u16(picture.Height);
  gif.push_back(static_cast<std::uint8_t>(0x80 | (bits - 1)));
  gif.push_back(0);
  gif.push_back(0);
  for (int i = 0; i < (1 << bits); ++i) {
    const TGIFColor color = i < static_cast<int>(picture.Colors.size()) ? picture.Colors[i] : TGIFColor{};
    gif.insert(gif.end(), {color.Red, color.Green, color.Blue});
  }
  gif.push_back(0x2C);
  u16(0);
  u16(0);
  u16(picture.Width);
  u16(picture.Height);
  gif.push_back(0);
  gif.insert(gif.end(), data.begin(), data.end());
  gif.push_back(0x3B);
  return gif;
}

double Distance(const TGIFColor& a, const TGIFColor& b) {
  const double dr = a.Red - b.Red, dg = a.Green - b.Green, db = a.Blue - b.Blue;
  return std::sqrt(dr * dr + dg * dg + db * db);
}

TEST(LossyLzw, DecodesWithinTheToleranceOfEveryPixel) {
  const std::vector<TIndexPicture> pictures = {Dithered(160, 120), Noise(200, 160, 8, 7), Noise(150, 140, 2, 3),
                                               WithTransparency(), Flat()};
  TLossyLZWEncoder encoder;  // one encoder for every picture, as the best-quality encoder keeps one
  for (const TIndexPicture& picture : pictures)
    for (const int level : {0, 15, 40, 100}) {
      SCOPED_TRACE(picture.Name + " at level " + std::to_string(level));
      const std::vector<std::uint8_t> data = Encode(encoder, picture, level);
      const std::vector<std::uint8_t>& decoded = encoder.Decoded();
      ASSERT_EQ(decoded.size(), picture.Pixels.size());

      TDecodedGif gif;
      int error = 0;
      ASSERT_TRUE(DecodeWithGiflib(WrapInGif(picture, data), gif, error)) << "giflib error " << error;
      ASSERT_EQ(gif.Frames.size(), 1u);
      EXPECT_EQ(gif.Frames[0].Pixels, decoded);

      const double tolerance = LossyColorTolerance(level);
      int moved = 0;
      for (std::size_t i = 0; i < decoded.size(); ++i) {
        const int wanted = picture.Pixels[i], got = decoded[i];
        if (got == wanted) continue;
        ++moved;
        ASSERT_NE(wanted, picture.Transparent) << "a transparent pixel was written opaque at " << i;
        ASSERT_NE(got, picture.Transparent) << "an opaque pixel was written transparent at " << i;
        ASSERT_LT(got, static_cast<int>(picture.Colors.size()));
        ASSERT_LE(Distance(picture.Colors[got], picture.Colors[wanted]), tolerance + 1e-9) << "pixel " << i;
      }
      if (level == 0) {
        EXPECT_EQ(moved, 0);
      }
    }
}

TEST(LossyLzw, WithTheTrueColoursAMovedPixelIsAtMostTheAllowanceFurtherFromThem) {
  const TBitmap truth = fixtures::NaturalPicture(150, 100);
  TBestQuantizer quantizer;
  TQuantizedFrame frame;
  quantizer.Quantize(truth, nullptr, frame);
  // The image is the lower right part of the picture: the target's pixel (x + 30, y + 20).
  TIndexPicture picture{"part", 120, 80, 8, frame.Palette, {}};
  for (int y = 20; y < 100; ++y)
    for (int x = 30; x < 150; ++x) picture.Pixels.push_back(frame.Indices[static_cast<std::size_t>(y) * 150 + x]);
  TLossyLZWEncoder encoder;
  for (const int level : {30, 100}) {
    encoder.SetColors(picture.Colors, -1, level);
    encoder.SetTarget(&truth, 30, 20);
    TGIFMemoryStream stream;
    encoder.Compress(stream, 8, picture.Width, picture.Height, false, picture.Pixels.data(),
                     static_cast<int>(picture.Colors.size()));
    int moved = 0;
    for (int y = 0; y < picture.Height; ++y)
      for (int x = 0; x < picture.Width; ++x) {
        const std::size_t i = static_cast<std::size_t>(y) * picture.Width + x;
        const std::uint8_t* bgr = truth.ScanLine(y + 20) + 3 * (x + 30);
        const TGIFColor wanted{bgr[2], bgr[1], bgr[0]};
        const double own = Distance(picture.Colors[picture.Pixels[i]], wanted);
        const double got = Distance(picture.Colors[encoder.Decoded()[i]], wanted);
        if (encoder.Decoded()[i] == picture.Pixels[i]) continue;
        ++moved;
        ASSERT_LE(got * got, own * own + LossyErrorAllowance(level) + 1e-6) << "level " << level << " pixel " << i;
        ASSERT_LE(Distance(picture.Colors[encoder.Decoded()[i]], picture.Colors[picture.Pixels[i]]),
                  LossyColorTolerance(level) + 1e-9);
      }
    EXPECT_GT(moved, 0) << "level " << level;
  }
}

TEST(LossyLzw, OurDecoderReadsItInterlacedToo) {
  const TIndexPicture picture = Dithered(61, 37);
  TLossyLZWEncoder encoder;
  const std::vector<std::uint8_t> data = Encode(encoder, picture, 40, true);
  const auto image = TGIFEncodedImage::FromBytes(data, {8, true, encLZW}, picture.Width, picture.Height);
  std::vector<std::uint8_t> rows(picture.Pixels.size());
  image->Decode(rows.data());
  EXPECT_EQ(rows, encoder.Decoded());
  EXPECT_NE(rows, picture.Pixels);  // it did lose something
}

TEST(LossyLzw, ADitheredPictureComesOutSmallerThanLossless) {
  const TIndexPicture picture = Dithered(240, 180);
  TLossyLZWEncoder encoder;
  const std::size_t lossless = Encode(encoder, picture, 0).size();
  // The lossless encoder of the writer makes codes of the same strings: the lossy one at
  // level 0 is no larger.
  const auto reference =
      TGIFEncodedImage::Encode({8, false, encLZW}, picture.Width, picture.Height, picture.Pixels.data());
  EXPECT_LE(lossless, reference->Bytes().size() + 16);
  const std::size_t mild = Encode(encoder, picture, 60).size();
  const std::size_t strong = Encode(encoder, picture, 100).size();
  EXPECT_LT(mild, lossless * 9 / 10);
  EXPECT_LT(strong, mild);
}

TEST(LossyLzw, RefusesAnIndexBeyondTheTable) {
  TIndexPicture picture = Dithered(20, 10);
  picture.Colors.resize(4);
  TLossyLZWEncoder encoder;
  EXPECT_THROW(Encode(encoder, picture, 40), GIFException);
  // The encoder is whole again afterwards.
  const TIndexPicture good = Dithered(20, 10);
  Encode(encoder, good, 40);
  TDecodedGif gif;
  int error = 0;
  ASSERT_TRUE(DecodeWithGiflib(WrapInGif(good, Encode(encoder, good, 40)), gif, error));
  EXPECT_EQ(gif.Frames[0].Pixels, encoder.Decoded());
}

}  // namespace
}  // namespace clipvane
