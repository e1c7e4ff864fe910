// Row access to device-independent pictures for colour reduction: a reader over an existing
// bitmap seen as 24 bits per pixel, and a writer that builds a new 8- or 24-bit picture.
#pragma once

#include <cstdint>
#include <new>
#include <optional>
#include <span>
#include <string>

#include "core/bitmap.h"
#include "core/error.h"

namespace clipvane {

// The platform's invalid-graphic-operation error (a row outside the picture).
class EInvalidGraphicOperation : public EClipvaneError {
 public:
  using EClipvaneError::EClipvaneError;
};

// Pixel memory for a picture could not be had. An out-of-memory error that carries its text.
class EGIFOutOfMemory : public std::bad_alloc {
 public:
  const char* what() const noexcept override { return "Failed to allocate memory for GIF DIB"; }
};

class TDIB {
 public:
  virtual ~TDIB() = default;
  // Address of pixel row r, row 0 at the top.
  virtual const std::uint8_t* RowAddress(int row) const = 0;
  int Width() const { return width_; }
  int Height() const { return height_; }

 protected:
  int width_ = 0;
  int height_ = 0;
};

// Reads the rows of an existing bitmap as 24-bit blue, green, red pixels. A bitmap of another
// depth is read through a converted copy, so the caller's bitmap never changes.
class TDIBReader final : public TDIB {
 public:
  explicit TDIBReader(const TBitmap& bitmap);
  const std::uint8_t* RowAddress(int row) const override { return bitmap_->ScanLine(row); }

 private:
  std::optional<TBitmap> converted_;
  const TBitmap* bitmap_;
};

// Builds a new picture of 8 or 24 bits per pixel and hands it over to a target bitmap. An
// 8-bit picture carries a 256-entry colour table: the palette's entries, then black; the
// palette's entry count is kept as the number of important colours.
class TDIBWriter final : public TDIB {
 public:
  // Errors: GIFException "Unsupported PixelFormat" for another depth, "Invalid image
  // dimensions" for a side of 0 (or beyond what a bitmap can hold); EGIFOutOfMemory when the
  // pixel memory cannot be had. Palettes longer than 256 entries give their first 256.
  TDIBWriter(int width, int height, int bitsPerPixel, std::span<const TRGBQuad> palette = {});

  // Errors: EInvalidGraphicOperation "Scan line index out of range"; GIFException "Image has
  // no DIB" once the picture has been handed over.
  const std::uint8_t* RowAddress(int row) const override { return CheckedRow(row); }
  std::uint8_t* MutableRowAddress(int row) { return const_cast<std::uint8_t*>(CheckedRow(row)); }

  int ColorsImportant() const { return colorsImportant_; }

  // Moves the finished picture into the target; the writer has no pixels afterwards.
  void HandTo(TBitmap& target);

 private:
  const std::uint8_t* CheckedRow(int row) const;

  TBitmap picture_;
  bool hasPixels_ = false;
  int colorsImportant_ = 0;
};

}  // namespace clipvane
