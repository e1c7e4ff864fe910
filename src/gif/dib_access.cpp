// Row access for colour reduction: the 24-bit reader and the 8/24-bit picture writer.
#include "gif/dib_access.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "gif/gif_exception.h"

namespace clipvane {

TDIBReader::TDIBReader(const TBitmap& bitmap) : bitmap_(&bitmap) {
  if (bitmap.PixelFormat() != TPixelFormat::pf24bit) {
    converted_.emplace(bitmap);
    converted_->SetPixelFormat(TPixelFormat::pf24bit);
    bitmap_ = &*converted_;
  }
  width_ = bitmap_->Width();
  height_ = bitmap_->Height();
}

TDIBWriter::TDIBWriter(int width, int height, int bitsPerPixel, std::span<const TRGBQuad> palette) {
  if (bitsPerPixel != 8 && bitsPerPixel != 24) throw GIFException("Unsupported PixelFormat");
  if (width <= 0 || height <= 0 || width > TBitmap::MaxSide || height > TBitmap::MaxSide)
    throw GIFException("Invalid image dimensions");
  const TPixelFormat format = bitsPerPixel == 8 ? TPixelFormat::pf8bit : TPixelFormat::pf24bit;
  // Both sides are at most 65535, so this product cannot overflow 64 bits.
  if (RowStride(width, format) * static_cast<std::size_t>(height) > TBitmap::MaxPixelBytes) throw EGIFOutOfMemory();
  try {
    picture_ = TBitmap(width, height, format);
  } catch (const std::bad_alloc&) {
    throw EGIFOutOfMemory();
  }
  if (bitsPerPixel == 8) {
    const std::size_t used = std::min<std::size_t>(palette.size(), 256);
    std::vector<TRGBQuad> table(256);
    for (std::size_t i = 0; i < used; ++i) table[i] = {palette[i].Blue, palette[i].Green, palette[i].Red, 0};
    picture_.SetPalette(std::move(table));
    colorsImportant_ = static_cast<int>(used);
  }
  width_ = width;
  height_ = height;
  hasPixels_ = true;
}

const std::uint8_t* TDIBWriter::CheckedRow(int row) const {
  if (!hasPixels_) throw GIFException("Image has no DIB");
  if (row < 0 || row >= height_) throw EInvalidGraphicOperation("Scan line index out of range");
  return picture_.ScanLine(row);
}

void TDIBWriter::HandTo(TBitmap& target) {
  if (!hasPixels_) throw GIFException("Image has no DIB");
  target = std::move(picture_);
  picture_ = TBitmap();
  hasPixels_ = false;
}

}  // namespace clipvane
