// Helpers of the picture decoder tests: byte builders for hand-made files, a PNG writer on
// libpng, and the truncation and mutation checks every decoder must pass.
#pragma once

#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "core/error.h"
#include "imageio/picture_decoders.h"

namespace clipvane::testing_support {

using TBytes = std::vector<std::uint8_t>;

inline void PutLe16(TBytes& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
inline void PutLe32(TBytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
inline void Append(TBytes& out, const TBytes& more) { out.insert(out.end(), more.begin(), more.end()); }
inline TBytes FromText(const std::string& text) { return TBytes(text.begin(), text.end()); }

// What the PNG writer is told: rows already packed as the PNG stores them.
struct TPngPicture {
  int width = 0;
  int height = 0;
  int colourType = PNG_COLOR_TYPE_RGB;
  int depth = 8;
  std::vector<TBytes> rows;
  std::vector<png_color> palette;
  TBytes paletteAlpha;
  bool transparentColour = false;
  png_color_16 transparent{};
  bool interlaced = false;
};

inline TPngPicture PngPicture(int width, int height, int colourType, int depth, bool interlaced = false) {
  TPngPicture picture;
  picture.width = width;
  picture.height = height;
  picture.colourType = colourType;
  picture.depth = depth;
  picture.interlaced = interlaced;
  return picture;
}

inline void AppendPngData(png_structp png, png_bytep data, std::size_t length) {
  auto* out = static_cast<TBytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
inline void FlushPngData(png_structp) {}

// Written by libpng itself, so the decoder is checked against the reference encoder.
inline TBytes WritePng(const TPngPicture& picture) {
  TBytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    ADD_FAILURE() << "libpng could not write the test picture";
    return {};
  }
  png_set_write_fn(png, &out, AppendPngData, FlushPngData);
  png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width), static_cast<png_uint_32>(picture.height),
               picture.depth, picture.colourType, picture.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!picture.palette.empty())
    png_set_PLTE(png, info, const_cast<png_colorp>(picture.palette.data()), static_cast<int>(picture.palette.size()));
  if (!picture.paletteAlpha.empty())
    png_set_tRNS(png, info, const_cast<png_bytep>(picture.paletteAlpha.data()),
                 static_cast<int>(picture.paletteAlpha.size()), nullptr);
  if (picture.transparentColour) png_set_tRNS(png, info, nullptr, 0, const_cast<png_color_16p>(&picture.transparent));
  png_write_info(png, info);
  std::vector<png_bytep> rows;
  for (const TBytes& row : picture.rows) rows.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, rows.data());
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// Sets the IHDR width and height and repairs the chunk's checksum, so only the size is wrong.
inline TBytes WithPngSize(TBytes png, std::uint32_t width, std::uint32_t height) {
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = static_cast<std::uint8_t>(width >> (24 - 8 * i));
    png[20 + i] = static_cast<std::uint8_t>(height >> (24 - 8 * i));
  }
  const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, png.data() + 12, 17));
  for (int i = 0; i < 4; ++i) png[29 + i] = static_cast<std::uint8_t>(crc >> (24 - 8 * i));
  return png;
}

// Every strict prefix of a valid file must be refused with our error. Each prefix is a
// vector of its own, so the sanitizer sees any read past its end.
template <class Decode>
void ExpectEveryTruncationRejected(const TBytes& data, Decode decode) {
  for (std::size_t length = 0; length < data.size(); ++length) {
    const TBytes cut(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_THROW(decode(cut), EClipvaneError)
        << "accepted a file cut to " << length << " of " << data.size() << " bytes";
  }
}

// Seeded random damage. The undamaged data must decode; then every damaged copy is either
// refused with our error, carrying a message, or decodes to a picture within the limits whose
// pixel storage matches its size. Both must happen at least once, so that the damage reaches
// the decoder's checks and also gets past them. Any other exception, a crash or a sanitizer
// report fails the test.
template <class Decode>
void ExpectMutationsHandled(const TBytes& data, Decode decode, std::uint32_t seed, int count = 300) {
  try {
    decode(data);
  } catch (const std::exception& error) {
    ADD_FAILURE() << "the undamaged data does not decode: " << error.what();
    return;
  }
  std::mt19937 random(seed);
  int decoded = 0, refused = 0;
  for (int round = 0; round < count; ++round) {
    TBytes mutated = data;
    const int changes = 1 + static_cast<int>(random() % 4);
    for (int c = 0; c < changes; ++c) {
      const std::size_t at = random() % mutated.size();
      switch (random() % 4) {
        case 0:
          mutated[at] = static_cast<std::uint8_t>(random());
          break;
        case 1:
          mutated[at] ^= static_cast<std::uint8_t>(1u << (random() % 8));
          break;
        case 2:
          mutated[at] = 0xFF;
          break;
        default:
          mutated[at] = 0x00;
          break;
      }
    }
    if (random() % 8 == 0) mutated.resize(random() % mutated.size());
    try {
      const TBitmap bitmap = decode(mutated);
      ++decoded;
      const long long width = bitmap.Width(), height = bitmap.Height();
      EXPECT_TRUE(width >= 1 && height >= 1 && width <= MaxPictureSide && height <= MaxPictureSide &&
                  width * height <= MaxPicturePixels)
          << "round " << round << ": " << width << " x " << height;
      EXPECT_EQ(bitmap.Bits().size(),
                RowStride(bitmap.Width(), bitmap.PixelFormat()) * static_cast<std::size_t>(height))
          << "round " << round;
    } catch (const EClipvaneError& error) {
      ++refused;
      EXPECT_NE(std::string(error.what()), "") << "round " << round;
    } catch (const std::exception& error) {
      ADD_FAILURE() << "round " << round << " threw something other than our error: " << error.what();
    }
  }
  EXPECT_GT(refused, 0) << "no damaged copy was refused";
  EXPECT_GT(decoded, 0) << "no damaged copy decoded";
}

}  // namespace clipvane::testing_support
