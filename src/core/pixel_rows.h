// Row-level pixel conversion between any TBitmap format and 24-bit blue-green-red, and the
// nearest-colour search into a colour table. Shared by drawing, format changes and BMP I/O.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/bitmap.h"

namespace clipvane {

// The table a palette format gets when it has none: black/white, the 16 standard colours,
// or the 256-entry halftone table.
std::vector<TRGBQuad> DefaultPalette(TPixelFormat format);

inline int ReadIndex(const std::uint8_t* row, int x, int bits) {
  switch (bits) {
    case 1:
      return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
      return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default:
      return row[x];
  }
}

inline void WriteIndex(std::uint8_t* row, int x, int bits, int index) {
  switch (bits) {
    case 1: {
      const std::uint8_t mask = static_cast<std::uint8_t>(0x80 >> (x & 7));
      row[x >> 3] = static_cast<std::uint8_t>((index & 1) ? (row[x >> 3] | mask) : (row[x >> 3] & ~mask));
      break;
    }
    case 4:
      row[x >> 1] = (x & 1) ? static_cast<std::uint8_t>((row[x >> 1] & 0xF0) | (index & 0x0F))
                            : static_cast<std::uint8_t>((row[x >> 1] & 0x0F) | ((index & 0x0F) << 4));
      break;
    default:
      row[x] = static_cast<std::uint8_t>(index);
      break;
  }
}

// Nearest colour of a table by squared RGB distance (the first of equals wins), with a small
// direct-mapped cache: video frames repeat colours heavily.
class TNearestColorCache {
 public:
  explicit TNearestColorCache(const std::vector<TRGBQuad>& palette);
  std::uint8_t Find(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

 private:
  const std::vector<TRGBQuad>& palette_;
  std::array<std::uint32_t, 4096> keys_;
  std::array<std::uint8_t, 4096> values_;
};

// Pixels x .. x+count-1 of row y as blue, green, red bytes. Palette indices beyond the table read black.
void ReadRowBGR(const TBitmap& bitmap, int y, int x, int count, std::uint8_t* bgr);
// Stores count blue-green-red pixels at x of row y, converting into the bitmap's format.
void WriteRowBGR(TBitmap& bitmap, int y, int x, int count, const std::uint8_t* bgr, TNearestColorCache& cache);

}  // namespace clipvane
