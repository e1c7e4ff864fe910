// TBitmap: the working bitmap. A device-independent raster with top-down rows, each
// padded to a multiple of 4 bytes, in one of seven pixel formats, with a colour table of
// up to 256 entries for the palette formats. A value type: copying copies the pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/color.h"

namespace clipvane {

enum class TPixelFormat : std::uint8_t {
  pf1bit,
  pf4bit,
  pf8bit,
  pf15bit,  // 16 bits a pixel: blue bits 0-4, green 5-9, red 10-14
  pf16bit,  // 16 bits a pixel, bit fields red 0xF800, green 0x07E0, blue 0x001F
  pf24bit,  // blue, green, red bytes
  pf32bit,  // blue, green, red bytes and one unused byte
};

// Bits a pixel occupies in a row (15-bit pixels occupy 16).
int BitsPerPixel(TPixelFormat format);
bool IsPaletteFormat(TPixelFormat format);
// Bytes of one row: ((width * bits + 31) div 32) * 4.
std::size_t RowStride(int width, TPixelFormat format);

class TBitmap {
 public:
  // Larger sides than this are refused: no format we read or write goes beyond 16 bits.
  static constexpr int MaxSide = 65535;
  // Pixel storage beyond this is refused before any allocation is tried.
  static constexpr std::size_t MaxPixelBytes = std::size_t{1} << 31;
  // The most pixels a read picture may have. A run-length BMP can describe any size in a few
  // bytes (its end code leaves the rest blank), so its header alone must not decide the memory.
  static constexpr long long MaxPicturePixels = 1LL << 28;

  TBitmap() = default;
  TBitmap(int width, int height, TPixelFormat format = TPixelFormat::pf24bit);

  int Width() const { return width_; }
  int Height() const { return height_; }
  bool Empty() const { return width_ == 0 || height_ == 0; }
  TPixelFormat PixelFormat() const { return format_; }
  std::size_t Stride() const { return stride_; }

  // Row y (0 = top); Stride() bytes. No bounds check beyond a debug assertion.
  std::uint8_t* ScanLine(int y);
  const std::uint8_t* ScanLine(int y) const;
  std::span<std::uint8_t> Bits() { return pixels_; }
  std::span<const std::uint8_t> Bits() const { return pixels_; }

  // New size; the pixels that lie in both the old and the new size are kept, the rest is
  // black (index 0). Throws EClipvaneError("Invalid image dimensions") for a negative or
  // too large size; a side of 0 gives an empty bitmap that keeps its format.
  void SetSize(int width, int height);
  void SetWidth(int width) { SetSize(width, height_); }
  void SetHeight(int height) { SetSize(width_, height); }

  // Changes the pixel format, converting every pixel: into 1/4/8 bits by the nearest colour
  // of the colour table (an empty table is first given the black/white, the 16 standard
  // or the halftone table), into 15/16 bits keeping the top 5 (6 for green) bits.
  void SetPixelFormat(TPixelFormat format);

  // The colour table (palette formats only; at most 256 entries, at most 2^bits are used).
  // Setting it does not change pixel indices.
  const std::vector<TRGBQuad>& Palette() const { return palette_; }
  void SetPalette(std::vector<TRGBQuad> palette);

  // Pixel access through colours; out-of-range coordinates read black and write nothing.
  TColor GetPixel(int x, int y) const;
  void SetPixel(int x, int y, TColor color);
  // Raw palette index of a palette-format pixel (0 otherwise).
  int GetIndex(int x, int y) const;

  // Fills a rectangle (clipped to the bitmap) with a colour; in palette formats with the
  // nearest table colour.
  void FillRect(const TRect& rect, TColor color);

  // Block copy: the source rectangle (clipped) is copied to (x, y), converting colours
  // into this bitmap's format.
  void Draw(int x, int y, const TBitmap& source);
  void CopyRect(int x, int y, const TBitmap& source, const TRect& sourceRect);

  // Stretching copy of sourceRect onto destRect without smoothing: each destination pixel
  // takes the source pixel its centre maps to (pixels dropped when shrinking are dropped,
  // enlarging repeats them). Colours are converted into this bitmap's format as in Draw.
  // Parts of either rectangle outside its bitmap are clipped.
  void StretchDraw(const TRect& destRect, const TBitmap& source, const TRect& sourceRect);

  // BMP files. Reading takes the 40-byte header and the V4/V5 (108/124) and 12-byte core
  // headers; 1/4/8 bits with colours-used, 16/32 bits plain or with bit fields, 24 bits,
  // bottom-up and top-down rows, RLE4 and RLE8; an image size of 0 is computed from the
  // dimensions. Malformed data throws EClipvaneError and leaves the bitmap as it was.
  void LoadFromBMP(std::span<const std::uint8_t> data);
  void LoadFromFile(const std::string& path);
  // Writes file header + 40-byte info header, bottom-up rows; 16-bit with bit fields,
  // palette formats with their colours-used.
  std::vector<std::uint8_t> SaveToBMP() const;
  // Written to a temporary file and renamed over the target.
  void SaveToFile(const std::string& path) const;

  friend bool operator==(const TBitmap& a, const TBitmap& b) = default;

 private:
  void Allocate(int width, int height, TPixelFormat format);

  int width_ = 0;
  int height_ = 0;
  TPixelFormat format_ = TPixelFormat::pf24bit;
  std::size_t stride_ = 0;
  std::vector<std::uint8_t> pixels_;
  std::vector<TRGBQuad> palette_;
};

// Reads a whole file; throws EClipvaneError naming the file when it cannot.
std::vector<std::uint8_t> ReadFileBytes(const std::string& path);

}  // namespace clipvane
