// Icon and cursor decoding. The directory only picks the entry; the entry's own header
// (bitmap) or stream (PNG) decides the size, and every part is checked to lie inside the
// entry's bytes, which in turn must lie inside the file.
#include "imageio/ico_decoder.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/error.h"
#include "imageio/picture_decoders.h"
#include "imageio/png_decoder.h"

namespace clipvane {

namespace {

[[noreturn]] void Invalid(const std::string& why) { throw EClipvaneError("Invalid icon file: " + why); }

std::uint32_t Le16(const std::uint8_t* p) { return static_cast<std::uint32_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// A bitmap entry: info header, colour table, colour rows (XOR), mask rows (AND), bottom-up.
TBitmap DecodeBitmapEntry(std::span<const std::uint8_t> entry, TColor background) {
  if (entry.size() < 40) Invalid("image header is cut off");
  const std::uint32_t headerSize = Le32(&entry[0]);
  if (headerSize < 40 || headerSize > entry.size()) Invalid("unknown image header size");
  const long long width = static_cast<std::int32_t>(Le32(&entry[4]));
  const long long doubleHeight = static_cast<std::int32_t>(Le32(&entry[8]));
  const std::uint32_t bits = Le16(&entry[14]);
  const std::uint32_t compression = Le32(&entry[16]);
  const std::uint32_t coloursUsed = Le32(&entry[32]);
  if (compression != 0) Invalid("compressed icon images are not supported");
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
    Invalid("unsupported colour depth of " + std::to_string(bits) + " bits");
  // The height counts the colour rows and the mask rows together.
  CheckPictureDimensions("Icon", width, doubleHeight / 2);

  const std::size_t w = static_cast<std::size_t>(width), h = static_cast<std::size_t>(doubleHeight / 2);
  std::size_t tableEntries = 0;
  if (bits <= 8) {
    const std::size_t limit = std::size_t{1} << bits;
    tableEntries = coloursUsed != 0 && coloursUsed < limit ? coloursUsed : limit;
  }
  const std::size_t colourStride = (w * bits + 31) / 32 * 4;
  const std::size_t maskStride = (w + 31) / 32 * 4;
  const std::size_t tableOffset = headerSize;
  const std::size_t colourOffset = tableOffset + 4 * tableEntries;
  const std::size_t maskOffset = colourOffset + colourStride * h;
  if (maskOffset + maskStride * h > entry.size()) Invalid("image data is cut off");

  const int widthInt = static_cast<int>(w), heightInt = static_cast<int>(h);
  // 32-bit entries carry alpha; old ones leave it all zero and rely on the mask instead.
  bool useAlpha = false;
  if (bits == 32) {
    for (std::size_t y = 0; y < h && !useAlpha; ++y)
      for (std::size_t x = 0; x < w; ++x)
        if (entry[colourOffset + colourStride * y + 4 * x + 3] != 0) {
          useAlpha = true;
          break;
        }
  }
  const int backgroundBlue = GetBValue(background), backgroundGreen = GetGValue(background),
            backgroundRed = GetRValue(background);
  TBitmap bitmap(widthInt, heightInt, TPixelFormat::pf24bit);
  for (int y = 0; y < heightInt; ++y) {
    const std::size_t fileRow = static_cast<std::size_t>(heightInt - 1 - y);
    const std::uint8_t* colours = &entry[colourOffset + colourStride * fileRow];
    const std::uint8_t* mask = &entry[maskOffset + maskStride * fileRow];
    std::uint8_t* out = bitmap.ScanLine(y);
    for (int x = 0; x < widthInt; ++x) {
      int blue = 0, green = 0, red = 0, alpha = 255;
      if (bits <= 8) {
        int index = 0;
        if (bits == 1) index = (colours[x >> 3] >> (7 - (x & 7))) & 1;
        else if (bits == 4) index = (x & 1) ? (colours[x >> 1] & 0x0F) : (colours[x >> 1] >> 4);
        else index = colours[x];
        if (static_cast<std::size_t>(index) < tableEntries) {
          const std::uint8_t* q = &entry[tableOffset + 4 * static_cast<std::size_t>(index)];
          blue = q[0];
          green = q[1];
          red = q[2];
        }
      } else if (bits == 16) {
        const std::uint32_t v = Le16(colours + 2 * x);
        blue = static_cast<int>(((v & 31) << 3) | ((v & 31) >> 2));
        green = static_cast<int>((((v >> 5) & 31) << 3) | (((v >> 5) & 31) >> 2));
        red = static_cast<int>((((v >> 10) & 31) << 3) | (((v >> 10) & 31) >> 2));
      } else {
        const std::uint8_t* q = colours + (bits / 8) * static_cast<std::size_t>(x);
        blue = q[0];
        green = q[1];
        red = q[2];
        if (useAlpha) alpha = q[3];
      }
      if (!useAlpha && ((mask[x >> 3] >> (7 - (x & 7))) & 1)) alpha = 0;
      out[3 * x] = BlendChannel(blue, backgroundBlue, alpha);
      out[3 * x + 1] = BlendChannel(green, backgroundGreen, alpha);
      out[3 * x + 2] = BlendChannel(red, backgroundRed, alpha);
    }
  }
  return bitmap;
}

}  // namespace

TBitmap DecodeIco(std::span<const std::uint8_t> data, TColor background) {
  if (data.size() < 6) Invalid("header is cut off");
  const std::uint32_t type = Le16(&data[2]);
  if (Le16(&data[0]) != 0 || (type != 1 && type != 2)) Invalid("not an icon or cursor");
  const std::size_t count = Le16(&data[4]);
  if (count == 0) Invalid("no images");
  if (data.size() < 6 + 16 * count) Invalid("directory is cut off");

  std::size_t best = 0;
  long long bestArea = -1;
  std::uint32_t bestBits = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t* e = &data[6 + 16 * i];
    const long long area = static_cast<long long>(e[0] == 0 ? 256 : e[0]) * (e[1] == 0 ? 256 : e[1]);
    const std::uint32_t bits = type == 1 ? Le16(e + 6) : 0;  // cursors keep the hot spot there
    if (area > bestArea || (area == bestArea && bits > bestBits)) {
      best = i;
      bestArea = area;
      bestBits = bits;
    }
  }
  const std::uint8_t* e = &data[6 + 16 * best];
  const std::uint64_t size = Le32(e + 8), offset = Le32(e + 12);
  if (size == 0 || offset > data.size() || size > data.size() - offset) Invalid("image data is cut off");
  const std::span<const std::uint8_t> entry =
      data.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(size));

  static constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (entry.size() >= 8 && std::memcmp(entry.data(), kPngSignature, 8) == 0) {
    TBitmap bitmap = DecodePng(entry, background);
    bitmap.SetPixelFormat(TPixelFormat::pf24bit);
    return bitmap;
  }
  return DecodeBitmapEntry(entry, background);
}

}  // namespace clipvane
