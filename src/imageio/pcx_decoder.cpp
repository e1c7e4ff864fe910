// PCX decoding. Every scan line holds its planes one after another, each bytes-per-line
// long; the run-length stream is decoded as one stream, since writers let runs cross lines.
#include "imageio/pcx_decoder.h"

#include <algorithm>
#include <string>
#include <vector>

#include "core/error.h"
#include "core/palettes.h"
#include "imageio/picture_decoders.h"

namespace clipvane {

namespace {

[[noreturn]] void Invalid(const std::string& why) { throw EClipvaneError("Invalid PCX file: " + why); }

int Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

constexpr std::size_t kHeaderSize = 128;
constexpr std::size_t kTableSize = 769;  // marker 12 and 256 red-green-blue triples

class TPcxStream {
 public:
  TPcxStream(std::span<const std::uint8_t> data, bool runLength) : data_(data), runLength_(runLength) {}

  void ReadLine(std::vector<std::uint8_t>& line) {
    for (std::uint8_t& byte : line) {
      if (left_ == 0) Refill();
      --left_;
      byte = value_;
    }
  }

 private:
  void Refill() {
    // Empty runs carry nothing and are skipped; every turn consumes data, so this ends.
    while (left_ == 0) {
      if (position_ >= data_.size()) Invalid("pixel data is cut off");
      const std::uint8_t b = data_[position_++];
      if (runLength_ && (b & 0xC0) == 0xC0) {
        if (position_ >= data_.size()) Invalid("pixel data is cut off");
        left_ = b & 0x3F;
        value_ = data_[position_++];
      } else {
        left_ = 1;
        value_ = b;
      }
    }
  }

  std::span<const std::uint8_t> data_;
  bool runLength_;
  std::size_t position_ = 0;
  int left_ = 0;
  std::uint8_t value_ = 0;
};

}  // namespace

TBitmap DecodePcx(std::span<const std::uint8_t> data) {
  if (data.size() < kHeaderSize) Invalid("header is cut off");
  if (data[0] != 0x0A) Invalid("no PCX signature");
  const int version = data[1];
  const int encoding = data[2];
  const int bits = data[3];
  const long long width = static_cast<long long>(Le16(&data[8])) - Le16(&data[4]) + 1;
  const long long height = static_cast<long long>(Le16(&data[10])) - Le16(&data[6]) + 1;
  const int planes = data[65];
  const std::size_t lineBytes = static_cast<std::size_t>(Le16(&data[66]));
  if (encoding > 1) Invalid("unknown encoding");

  const bool planarBits = bits == 1 && planes >= 1 && planes <= 4;
  const bool packed = (bits == 2 || bits == 4 || bits == 8) && planes == 1;
  const bool trueColour = bits == 8 && (planes == 3 || planes == 4);
  if (!planarBits && !packed && !trueColour)
    Invalid("unsupported layout of " + std::to_string(bits) + " bits in " + std::to_string(planes) + " planes");
  CheckPictureDimensions("PCX", width, height);
  if (lineBytes == 0 || lineBytes * 8 < static_cast<std::size_t>(width) * static_cast<std::size_t>(bits))
    Invalid("bytes per line do not cover the width");

  const bool endTable = bits == 8 && planes == 1;
  std::size_t end = data.size();
  if (endTable) {
    if (data.size() < kHeaderSize + kTableSize || data[data.size() - kTableSize] != 12)
      Invalid("colour table is missing");
    end -= kTableSize;
  }
  const std::span<const std::uint8_t> pixels = data.subspan(kHeaderSize, end - kHeaderSize);
  // Enough data for the whole picture must be there before it is allocated; a run of two
  // bytes yields at most 63.
  const std::size_t decoded = lineBytes * static_cast<std::size_t>(planes) * static_cast<std::size_t>(height);
  const std::size_t needed = encoding == 1 ? (decoded + 62) / 63 * 2 : decoded;
  if (pixels.size() < needed) Invalid("pixel data is cut off");

  const int w = static_cast<int>(width), h = static_cast<int>(height);
  const TPixelFormat format = trueColour           ? TPixelFormat::pf24bit
                              : bits * planes == 1 ? TPixelFormat::pf1bit
                              : bits == 8          ? TPixelFormat::pf8bit
                                                   : TPixelFormat::pf4bit;
  TBitmap bitmap(w, h, format);
  if (format == TPixelFormat::pf1bit) {
    bitmap.SetPalette({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
  } else if (endTable) {
    std::vector<TRGBQuad> palette(256);
    const std::uint8_t* p = &data[data.size() - kTableSize + 1];
    for (std::size_t i = 0; i < 256; ++i) palette[i] = TRGBQuad{p[3 * i + 2], p[3 * i + 1], p[3 * i], 0};
    bitmap.SetPalette(std::move(palette));
  } else if (format == TPixelFormat::pf4bit) {
    // Version 3 files carry no table; they mean the standard 16 colours.
    std::vector<TRGBQuad> palette(16);
    for (std::size_t i = 0; i < 16; ++i)
      palette[i] = version == 3 ? StandardColors16()[i]
                                : TRGBQuad{data[16 + 3 * i + 2], data[16 + 3 * i + 1], data[16 + 3 * i], 0};
    bitmap.SetPalette(std::move(palette));
  }

  TPcxStream stream(pixels, encoding == 1);
  std::vector<std::uint8_t> line(lineBytes * static_cast<std::size_t>(planes));
  for (int y = 0; y < h; ++y) {
    stream.ReadLine(line);
    std::uint8_t* out = bitmap.ScanLine(y);
    if (trueColour) {
      for (int x = 0; x < w; ++x) {
        out[3 * x] = line[2 * lineBytes + static_cast<std::size_t>(x)];
        out[3 * x + 1] = line[lineBytes + static_cast<std::size_t>(x)];
        out[3 * x + 2] = line[static_cast<std::size_t>(x)];
      }
    } else if (format == TPixelFormat::pf1bit || format == TPixelFormat::pf8bit || (bits == 4 && planes == 1)) {
      // Same packing as our rows: most significant bits first.
      const std::size_t copy = std::min(bitmap.Stride(), lineBytes);
      std::copy(line.begin(), line.begin() + static_cast<std::ptrdiff_t>(copy), out);
    } else {
      for (int x = 0; x < w; ++x) {
        int index = 0;
        if (bits == 2) {
          index = (line[static_cast<std::size_t>(x >> 2)] >> (6 - 2 * (x & 3))) & 3;
        } else {
          for (int plane = 0; plane < planes; ++plane)
            index |= ((line[lineBytes * static_cast<std::size_t>(plane) + static_cast<std::size_t>(x >> 3)] >>
                       (7 - (x & 7))) &
                      1)
                     << plane;
        }
        out[x >> 1] = static_cast<std::uint8_t>((x & 1) ? (out[x >> 1] | index) : (index << 4));
      }
    }
  }
  return bitmap;
}

}  // namespace clipvane
