// Row conversion between the pixel formats and 24-bit blue-green-red.
#include "core/pixel_rows.h"

#include <cstring>

#include "core/palettes.h"

namespace clipvane {

std::vector<TRGBQuad> DefaultPalette(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit:
      return BlackWhitePalette();
    case TPixelFormat::pf4bit:
      return {StandardColors16().begin(), StandardColors16().end()};
    case TPixelFormat::pf8bit:
      return {HalftonePalette256().begin(), HalftonePalette256().end()};
    default:
      return {};
  }
}

TNearestColorCache::TNearestColorCache(const std::vector<TRGBQuad>& palette) : palette_(palette) {
  keys_.fill(0xFFFFFFFFu);
  values_.fill(0);
}

std::uint8_t TNearestColorCache::Find(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const std::uint32_t key = (std::uint32_t{red} << 16) | (std::uint32_t{green} << 8) | blue;
  const std::uint32_t slot = (key ^ (key >> 12) ^ (key >> 20)) & 4095u;
  if (keys_[slot] == key) return values_[slot];
  int best = 0;
  int bestDistance = 1 << 30;
  for (std::size_t i = 0; i < palette_.size(); ++i) {
    const int dr = palette_[i].Red - red, dg = palette_[i].Green - green, db = palette_[i].Blue - blue;
    const int distance = dr * dr + dg * dg + db * db;
    if (distance < bestDistance) {
      bestDistance = distance;
      best = static_cast<int>(i);
      if (distance == 0) break;
    }
  }
  keys_[slot] = key;
  values_[slot] = static_cast<std::uint8_t>(best);
  return values_[slot];
}

namespace {

// 5- and 6-bit channels widen by repeating their top bits, so full intensity stays 255.
inline std::uint8_t Widen5(unsigned v) { return static_cast<std::uint8_t>((v << 3) | (v >> 2)); }
inline std::uint8_t Widen6(unsigned v) { return static_cast<std::uint8_t>((v << 2) | (v >> 4)); }

}  // namespace

void ReadRowBGR(const TBitmap& bitmap, int y, int x, int count, std::uint8_t* bgr) {
  const std::uint8_t* row = bitmap.ScanLine(y);
  switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf24bit:
      std::memcpy(bgr, row + 3 * static_cast<std::size_t>(x), 3 * static_cast<std::size_t>(count));
      return;
    case TPixelFormat::pf32bit:
      for (int i = 0; i < count; ++i) std::memcpy(bgr + 3 * i, row + 4 * static_cast<std::size_t>(x + i), 3);
      return;
    case TPixelFormat::pf15bit:
      for (int i = 0; i < count; ++i) {
        const unsigned v = row[2 * (x + i)] | (row[2 * (x + i) + 1] << 8);
        bgr[3 * i] = Widen5(v & 0x1F);
        bgr[3 * i + 1] = Widen5((v >> 5) & 0x1F);
        bgr[3 * i + 2] = Widen5((v >> 10) & 0x1F);
      }
      return;
    case TPixelFormat::pf16bit:
      for (int i = 0; i < count; ++i) {
        const unsigned v = row[2 * (x + i)] | (row[2 * (x + i) + 1] << 8);
        bgr[3 * i] = Widen5(v & 0x1F);
        bgr[3 * i + 1] = Widen6((v >> 5) & 0x3F);
        bgr[3 * i + 2] = Widen5((v >> 11) & 0x1F);
      }
      return;
    default: {
      const int bits = BitsPerPixel(bitmap.PixelFormat());
      const auto& palette = bitmap.Palette();
      for (int i = 0; i < count; ++i) {
        const int index = ReadIndex(row, x + i, bits);
        if (static_cast<std::size_t>(index) < palette.size()) {
          bgr[3 * i] = palette[index].Blue;
          bgr[3 * i + 1] = palette[index].Green;
          bgr[3 * i + 2] = palette[index].Red;
        } else {
          bgr[3 * i] = bgr[3 * i + 1] = bgr[3 * i + 2] = 0;
        }
      }
      return;
    }
  }
}

void WriteRowBGR(TBitmap& bitmap, int y, int x, int count, const std::uint8_t* bgr, TNearestColorCache& cache) {
  std::uint8_t* row = bitmap.ScanLine(y);
  switch (bitmap.PixelFormat()) {
    case TPixelFormat::pf24bit:
      std::memcpy(row + 3 * static_cast<std::size_t>(x), bgr, 3 * static_cast<std::size_t>(count));
      return;
    case TPixelFormat::pf32bit:
      for (int i = 0; i < count; ++i) {
        std::uint8_t* p = row + 4 * static_cast<std::size_t>(x + i);
        std::memcpy(p, bgr + 3 * i, 3);
        p[3] = 0;
      }
      return;
    case TPixelFormat::pf15bit:
      for (int i = 0; i < count; ++i) {
        const unsigned v = (bgr[3 * i] >> 3) | ((bgr[3 * i + 1] >> 3) << 5) | ((bgr[3 * i + 2] >> 3) << 10);
        row[2 * (x + i)] = static_cast<std::uint8_t>(v);
        row[2 * (x + i) + 1] = static_cast<std::uint8_t>(v >> 8);
      }
      return;
    case TPixelFormat::pf16bit:
      for (int i = 0; i < count; ++i) {
        const unsigned v = (bgr[3 * i] >> 3) | ((bgr[3 * i + 1] >> 2) << 5) | ((bgr[3 * i + 2] >> 3) << 11);
        row[2 * (x + i)] = static_cast<std::uint8_t>(v);
        row[2 * (x + i) + 1] = static_cast<std::uint8_t>(v >> 8);
      }
      return;
    default: {
      const int bits = BitsPerPixel(bitmap.PixelFormat());
      for (int i = 0; i < count; ++i)
        WriteIndex(row, x + i, bits, cache.Find(bgr[3 * i + 2], bgr[3 * i + 1], bgr[3 * i]));
      return;
    }
  }
}

}  // namespace clipvane
