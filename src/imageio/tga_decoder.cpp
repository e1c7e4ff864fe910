// Targa decoding. The header has no signature, so every field is checked for consistency
// before the picture is allocated; pixels are read through one source that handles both
// plain and run-length data and never reads past the end.
#include "imageio/tga_decoder.h"

#include <string>
#include <vector>

#include "core/error.h"
#include "imageio/picture_decoders.h"

namespace clipvane {

namespace {

[[noreturn]] void Invalid(const std::string& why) { throw EClipvaneError("Invalid Targa file: " + why); }

int Le16(const std::uint8_t* p) { return p[0] | (p[1] << 8); }

// Five-bit channels widened by repeating their top bits, so 31 becomes 255.
std::uint8_t Widen5(int value) { return static_cast<std::uint8_t>((value << 3) | (value >> 2)); }

TRGBQuad FromSixteen(const std::uint8_t* p) {
  const int v = Le16(p);
  return TRGBQuad{Widen5(v & 31), Widen5((v >> 5) & 31), Widen5((v >> 10) & 31), 0};
}

// Pixels in file order: either straight bytes or run-length packets (a count byte, then one
// pixel repeated or count pixels as they are). Packets may run across rows.
class TTgaPixelSource {
 public:
  TTgaPixelSource(std::span<const std::uint8_t> data, int pixelBytes, bool runLength)
      : data_(data), pixelBytes_(static_cast<std::size_t>(pixelBytes)), runLength_(runLength) {}

  const std::uint8_t* Next() {
    if (!runLength_) return Take();
    if (left_ == 0) {
      if (position_ >= data_.size()) Invalid("pixel data is cut off");
      const std::uint8_t header = data_[position_++];
      left_ = (header & 0x7F) + 1;
      repeat_ = (header & 0x80) != 0;
      if (repeat_) pixel_ = Take();
    }
    --left_;
    return repeat_ ? pixel_ : Take();
  }

 private:
  const std::uint8_t* Take() {
    if (data_.size() - position_ < pixelBytes_) Invalid("pixel data is cut off");
    const std::uint8_t* p = data_.data() + position_;
    position_ += pixelBytes_;
    return p;
  }

  std::span<const std::uint8_t> data_;
  std::size_t pixelBytes_;
  bool runLength_;
  std::size_t position_ = 0;
  int left_ = 0;
  bool repeat_ = false;
  const std::uint8_t* pixel_ = nullptr;
};

}  // namespace

TBitmap DecodeTga(std::span<const std::uint8_t> data, TColor background) {
  if (data.size() < 18) Invalid("header is cut off");
  const int idLength = data[0];
  const int mapType = data[1];
  const int imageType = data[2];
  const int mapFirst = Le16(&data[3]);
  const int mapLength = Le16(&data[5]);
  const int mapEntryBits = data[7];
  const int width = Le16(&data[12]);
  const int height = Le16(&data[14]);
  const int depth = data[16];
  const int descriptor = data[17];

  const bool runLength = imageType >= 9;
  const int kind = imageType & 7;  // 1 colour-mapped, 2 true colour, 3 grey
  if (imageType != 1 && imageType != 2 && imageType != 3 && imageType != 9 && imageType != 10 && imageType != 11)
    Invalid("unsupported image type " + std::to_string(imageType));
  if (mapType > 1) Invalid("unknown colour map type");
  if (kind == 1) {
    if (mapType != 1 || mapLength == 0) Invalid("colour map missing");
    if (depth != 8) Invalid("unsupported index size of " + std::to_string(depth) + " bits");
  } else if (kind == 2) {
    if (depth != 15 && depth != 16 && depth != 24 && depth != 32)
      Invalid("unsupported pixel size of " + std::to_string(depth) + " bits");
  } else if (depth != 8 && depth != 16) {
    Invalid("unsupported grey pixel size of " + std::to_string(depth) + " bits");
  }
  if (mapType == 1 && mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24 && mapEntryBits != 32)
    Invalid("unsupported colour map entry size");
  CheckPictureDimensions("Targa", width, height);

  const std::size_t mapEntryBytes = mapType == 1 ? static_cast<std::size_t>((mapEntryBits + 7) / 8) : 0;
  const std::size_t mapOffset = 18 + static_cast<std::size_t>(idLength);
  const std::size_t pixelOffset = mapOffset + mapEntryBytes * static_cast<std::size_t>(mapLength);
  if (pixelOffset > data.size()) Invalid("colour map is cut off");
  const int pixelBytes = (depth + 7) / 8;
  const std::size_t pixels = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const std::size_t available = data.size() - pixelOffset;
  // Plain data has a fixed size; a run packet covers at most 128 pixels.
  const std::size_t needed = runLength ? (pixels + 127) / 128 * (1 + static_cast<std::size_t>(pixelBytes))
                                       : pixels * static_cast<std::size_t>(pixelBytes);
  if (available < needed) Invalid("pixel data is cut off");

  const int alphaBits = descriptor & 0x0F;
  const bool useAlpha = alphaBits == 8 && (depth == 32 || (kind == 3 && depth == 16));
  const TPixelFormat format = (kind == 1 || (kind == 3 && depth == 8)) ? TPixelFormat::pf8bit : TPixelFormat::pf24bit;
  TBitmap bitmap(width, height, format);
  if (kind == 1) {
    // Map entries land at their index; indices outside the map read black.
    std::vector<TRGBQuad> palette(256);
    for (int i = 0; i < mapLength && mapFirst + i < 256; ++i) {
      const std::uint8_t* p = &data[mapOffset + mapEntryBytes * static_cast<std::size_t>(i)];
      TRGBQuad entry = mapEntryBytes == 2 ? FromSixteen(p) : TRGBQuad{p[0], p[1], p[2], 0};
      if (mapEntryBytes == 4 && alphaBits == 8) {
        entry.Blue = BlendChannel(entry.Blue, GetBValue(background), p[3]);
        entry.Green = BlendChannel(entry.Green, GetGValue(background), p[3]);
        entry.Red = BlendChannel(entry.Red, GetRValue(background), p[3]);
      }
      palette[static_cast<std::size_t>(mapFirst + i)] = entry;
    }
    bitmap.SetPalette(std::move(palette));
  } else if (format == TPixelFormat::pf8bit) {
    bitmap.SetPalette(GreyPalette256());
  }

  const bool topDown = (descriptor & 0x20) != 0;
  const bool rightToLeft = (descriptor & 0x10) != 0;
  const int backgroundBlue = GetBValue(background), backgroundGreen = GetGValue(background),
            backgroundRed = GetRValue(background);
  TTgaPixelSource source(data.subspan(pixelOffset), pixelBytes, runLength);
  for (int row = 0; row < height; ++row) {
    std::uint8_t* out = bitmap.ScanLine(topDown ? row : height - 1 - row);
    for (int column = 0; column < width; ++column) {
      const int x = rightToLeft ? width - 1 - column : column;
      const std::uint8_t* p = source.Next();
      if (format == TPixelFormat::pf8bit) {
        out[x] = p[0];
        continue;
      }
      std::uint8_t* q = out + 3 * static_cast<std::size_t>(x);
      if (kind == 3) {  // grey with alpha
        const int alpha = useAlpha ? p[1] : 255;
        q[0] = BlendChannel(p[0], backgroundBlue, alpha);
        q[1] = BlendChannel(p[0], backgroundGreen, alpha);
        q[2] = BlendChannel(p[0], backgroundRed, alpha);
      } else if (pixelBytes == 2) {
        const TRGBQuad c = FromSixteen(p);
        q[0] = c.Blue;
        q[1] = c.Green;
        q[2] = c.Red;
      } else {
        const int alpha = useAlpha ? p[3] : 255;
        q[0] = BlendChannel(p[0], backgroundBlue, alpha);
        q[1] = BlendChannel(p[1], backgroundGreen, alpha);
        q[2] = BlendChannel(p[2], backgroundRed, alpha);
      }
    }
  }
  return bitmap;
}

}  // namespace clipvane
