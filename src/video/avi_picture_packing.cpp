// Packing an AVI's decoded picture: the natural layouts, their colour tables, and the rows.
#include "video/avi_picture_packing.h"

#include <cstring>
#include <limits>

#include "core/error.h"

namespace clipvane::video {

namespace {

constexpr std::size_t kFileHeaderBytes = kBmpFileHeaderBytes;
constexpr std::size_t kInfoHeaderBytes = kBitmapInfoHeaderBytes;

void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// How a decoder's pixel format becomes a packed bitmap.
enum class TRowKind { rkCopy, rkCopy15, rkSwap24, rkSwap32, rkConvert };

struct TPackedLayout {
  int bits = 24;
  std::uint32_t compression = kPlainRgb;
  int colours = 0;
  TRowKind rows = TRowKind::rkConvert;
};

TPackedLayout LayoutFor(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_PAL8:
    case AV_PIX_FMT_GRAY8:
      return {8, kPlainRgb, 256, TRowKind::rkCopy};
    case AV_PIX_FMT_MONOWHITE:
    case AV_PIX_FMT_MONOBLACK:
      return {1, kPlainRgb, 2, TRowKind::rkCopy};
    case AV_PIX_FMT_RGB555LE:
      return {16, kPlainRgb, 0, TRowKind::rkCopy15};
    case AV_PIX_FMT_RGB565LE:
      return {16, kBitFields, 0, TRowKind::rkCopy};
    case AV_PIX_FMT_BGR24:
      return {24, kPlainRgb, 0, TRowKind::rkCopy};
    case AV_PIX_FMT_RGB24:
      return {24, kPlainRgb, 0, TRowKind::rkSwap24};
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_BGR0:
      return {32, kPlainRgb, 0, TRowKind::rkCopy};
    case AV_PIX_FMT_RGBA:
      return {32, kPlainRgb, 0, TRowKind::rkSwap32};
    default:
      return {24, kPlainRgb, 0, TRowKind::rkConvert};
  }
}

// Writes the picture's rows bottom-up from `bottomRow`, each padded with zeros to rowBytes.
void PackRows(const AVFrame* frame, std::uint8_t* bottomRow, std::size_t rowBytes, TPictureConverter& converter) {
  const int width = frame->width, height = frame->height;
  const auto pixelFormat = static_cast<AVPixelFormat>(frame->format);
  const TPackedLayout layout = LayoutFor(pixelFormat);
  const std::size_t used = (static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.bits) + 7) / 8;
  auto target = [&](int y) { return bottomRow + static_cast<std::size_t>(height - 1 - y) * rowBytes; };
  auto source = [&](int y) { return frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0]; };

  if (layout.rows == TRowKind::rkConvert) {
    // Bottom-up rows: start at the top picture row's place and step backwards.
    converter.ConvertRows(frame, target(0), -static_cast<std::ptrdiff_t>(rowBytes));
    if (rowBytes > used)
      for (int y = 0; y < height; ++y) std::memset(target(y) + used, 0, rowBytes - used);
    return;
  }

  for (int y = 0; y < height; ++y) {
    std::uint8_t* out = target(y);
    const std::uint8_t* in = source(y);
    switch (layout.rows) {
      case TRowKind::rkCopy:
        std::memcpy(out, in, used);
        break;
      case TRowKind::rkCopy15:
        // The top bit of a 5-5-5 pixel is unused: kept clear, as a bitmap has it.
        for (int x = 0; x < width; ++x) {
          out[2 * x] = in[2 * x];
          out[2 * x + 1] = in[2 * x + 1] & 0x7F;
        }
        break;
      case TRowKind::rkSwap24:
        for (int x = 0; x < width; ++x) {
          out[3 * x] = in[3 * x + 2];
          out[3 * x + 1] = in[3 * x + 1];
          out[3 * x + 2] = in[3 * x];
        }
        break;
      case TRowKind::rkSwap32:
        for (int x = 0; x < width; ++x) {
          out[4 * x] = in[4 * x + 2];
          out[4 * x + 1] = in[4 * x + 1];
          out[4 * x + 2] = in[4 * x];
          out[4 * x + 3] = in[4 * x + 3];
        }
        break;
      case TRowKind::rkConvert:
        break;
    }
    if (rowBytes > used) std::memset(out + used, 0, rowBytes - used);
  }
}

}  // namespace

std::span<std::uint8_t> PackPicture(const AVFrame* frame, TDecodeStream& stream, TPictureConverter& converter) {
  const int width = frame->width, height = frame->height;
  if (width <= 0 || height <= 0 || width > TBitmap::MaxSide || height > TBitmap::MaxSide)
    throw EClipvaneError("Invalid image dimensions");
  const auto pixelFormat = static_cast<AVPixelFormat>(frame->format);
  const TPackedLayout layout = LayoutFor(pixelFormat);
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.bits) + 31) / 32 * 4;
  const std::size_t tableBytes = layout.compression == kBitFields ? 12 : static_cast<std::size_t>(layout.colours) * 4;
  const std::size_t pixelOffset = kInfoHeaderBytes + tableBytes;
  const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(height);
  if (imageBytes > std::numeric_limits<std::uint32_t>::max() - pixelOffset - kFileHeaderBytes)
    throw EClipvaneError("Invalid image dimensions");

  const std::span<std::uint8_t> packed = stream.PrepareFrame(pixelOffset + imageBytes, pixelOffset);
  std::uint8_t* out = packed.data();
  PutInfoHeader(out, width, height, layout.bits, layout.compression, static_cast<std::uint32_t>(imageBytes),
                static_cast<std::uint32_t>(layout.colours));
  std::uint8_t* table = out + kInfoHeaderBytes;
  switch (pixelFormat) {
    case AV_PIX_FMT_PAL8:
      // The decoder's palette: 32-bit ARGB words, that is blue, green, red, alpha in memory.
      if (frame->data[1]) {
        std::memcpy(table, frame->data[1], 256 * 4);
        for (int i = 0; i < 256; ++i) table[4 * i + 3] = 0;
      } else {
        std::memset(table, 0, 256 * 4);
      }
      break;
    case AV_PIX_FMT_GRAY8:
      for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = level;
        table[4 * i + 3] = 0;
      }
      break;
    case AV_PIX_FMT_MONOWHITE:  // bit 0 is white
    case AV_PIX_FMT_MONOBLACK: {
      const std::uint8_t first = pixelFormat == AV_PIX_FMT_MONOWHITE ? 255 : 0;
      std::memset(table, first, 3);
      std::memset(table + 4, 255 - first, 3);
      table[3] = table[7] = 0;
      break;
    }
    case AV_PIX_FMT_RGB565LE:
      Put32(table, 0xF800);
      Put32(table + 4, 0x07E0);
      Put32(table + 8, 0x001F);
      break;
    default:
      break;
  }
  PackRows(frame, out + pixelOffset, rowBytes, converter);
  return packed;
}

}  // namespace clipvane::video
