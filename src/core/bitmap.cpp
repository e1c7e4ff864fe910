// TBitmap: storage, pixel formats, colour conversion and drawing.
#include "core/bitmap.h"

#include <algorithm>
#include <cassert>
#include <cstring>

#include "core/error.h"
#include "core/palettes.h"
#include "core/pixel_rows.h"

namespace clipvane {

int BitsPerPixel(TPixelFormat format) {
  switch (format) {
    case TPixelFormat::pf1bit:
      return 1;
    case TPixelFormat::pf4bit:
      return 4;
    case TPixelFormat::pf8bit:
      return 8;
    case TPixelFormat::pf15bit:
    case TPixelFormat::pf16bit:
      return 16;
    case TPixelFormat::pf24bit:
      return 24;
    case TPixelFormat::pf32bit:
      return 32;
  }
  return 24;
}

bool IsPaletteFormat(TPixelFormat format) {
  return format == TPixelFormat::pf1bit || format == TPixelFormat::pf4bit || format == TPixelFormat::pf8bit;
}

std::size_t RowStride(int width, TPixelFormat format) {
  const std::size_t bits = static_cast<std::size_t>(width < 0 ? 0 : width) * BitsPerPixel(format);
  return (bits + 31) / 32 * 4;
}

TBitmap::TBitmap(int width, int height, TPixelFormat format) {
  if (IsPaletteFormat(format)) palette_ = DefaultPalette(format);
  Allocate(width, height, format);
}

void TBitmap::Allocate(int width, int height, TPixelFormat format) {
  if (width < 0 || height < 0 || width > MaxSide || height > MaxSide) throw EClipvaneError("Invalid image dimensions");
  if (width == 0 || height == 0) width = height = 0;
  const std::size_t stride = RowStride(width, format);
  if (stride * static_cast<std::size_t>(height) > MaxPixelBytes) throw EClipvaneError("Invalid image dimensions");
  pixels_.assign(stride * static_cast<std::size_t>(height), 0);
  width_ = width;
  height_ = height;
  format_ = format;
  stride_ = stride;
}

std::uint8_t* TBitmap::ScanLine(int y) {
  assert(y >= 0 && y < height_);
  return pixels_.data() + stride_ * static_cast<std::size_t>(y);
}

const std::uint8_t* TBitmap::ScanLine(int y) const {
  assert(y >= 0 && y < height_);
  return pixels_.data() + stride_ * static_cast<std::size_t>(y);
}

void TBitmap::SetSize(int width, int height) {
  if (width == width_ && height == height_) return;
  TBitmap resized;
  resized.palette_ = palette_;
  resized.Allocate(width, height, format_);
  const int keepHeight = std::min(height_, resized.height_);
  const std::size_t keepBytes = std::min(stride_, resized.stride_);
  for (int y = 0; y < keepHeight; ++y) std::memcpy(resized.ScanLine(y), ScanLine(y), keepBytes);
  // Bits of a partly kept byte beyond the new width are harmless: nothing reads them.
  *this = std::move(resized);
}

void TBitmap::SetPalette(std::vector<TRGBQuad> palette) {
  if (palette.size() > 256) palette.resize(256);
  palette_ = std::move(palette);
}

void TBitmap::SetPixelFormat(TPixelFormat format) {
  if (format == format_) return;
  TBitmap converted;
  if (IsPaletteFormat(format)) {
    const std::size_t limit = std::size_t{1} << BitsPerPixel(format);
    converted.palette_ = (IsPaletteFormat(format_) && !palette_.empty()) ? palette_ : DefaultPalette(format);
    if (converted.palette_.size() > limit) converted.palette_.resize(limit);
  }
  converted.Allocate(width_, height_, format);
  converted.Draw(0, 0, *this);
  *this = std::move(converted);
}

TColor TBitmap::GetPixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return clBlack;
  std::uint8_t bgr[3];
  ReadRowBGR(*this, y, x, 1, bgr);
  return RGB(bgr[2], bgr[1], bgr[0]);
}

void TBitmap::SetPixel(int x, int y, TColor color) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  const std::uint8_t bgr[3] = {static_cast<std::uint8_t>(GetBValue(color)), static_cast<std::uint8_t>(GetGValue(color)),
                               static_cast<std::uint8_t>(GetRValue(color))};
  TNearestColorCache cache(palette_);
  WriteRowBGR(*this, y, x, 1, bgr, cache);
}

int TBitmap::GetIndex(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_ || !IsPaletteFormat(format_)) return 0;
  return ReadIndex(ScanLine(y), x, BitsPerPixel(format_));
}

void TBitmap::FillRect(const TRect& rect, TColor color) {
  const int left = std::max(rect.Left, 0), right = std::min(rect.Right, width_);
  const int top = std::max(rect.Top, 0), bottom = std::min(rect.Bottom, height_);
  if (left >= right || top >= bottom) return;
  std::vector<std::uint8_t> row(static_cast<std::size_t>(right - left) * 3);
  for (int x = 0; x < right - left; ++x) {
    row[3 * x] = static_cast<std::uint8_t>(GetBValue(color));
    row[3 * x + 1] = static_cast<std::uint8_t>(GetGValue(color));
    row[3 * x + 2] = static_cast<std::uint8_t>(GetRValue(color));
  }
  TNearestColorCache cache(palette_);
  for (int y = top; y < bottom; ++y) WriteRowBGR(*this, y, left, right - left, row.data(), cache);
}

void TBitmap::Draw(int x, int y, const TBitmap& source) {
  CopyRect(x, y, source, TRect{0, 0, source.width_, source.height_});
}

void TBitmap::CopyRect(int x, int y, const TBitmap& source, const TRect& sourceRect) {
  // Clip the source rectangle to its bitmap, then the destination to ours.
  int sx = std::max(sourceRect.Left, 0), sy = std::max(sourceRect.Top, 0);
  x += sx - sourceRect.Left;
  y += sy - sourceRect.Top;
  int w = std::min(sourceRect.Right, source.width_) - sx;
  int h = std::min(sourceRect.Bottom, source.height_) - sy;
  if (x < 0) {
    sx -= x;
    w += x;
    x = 0;
  }
  if (y < 0) {
    sy -= y;
    h += y;
    y = 0;
  }
  w = std::min(w, width_ - x);
  h = std::min(h, height_ - y);
  if (w <= 0 || h <= 0) return;

  const bool samePixels = source.format_ == format_ && (!IsPaletteFormat(format_) || source.palette_ == palette_);
  const int bits = BitsPerPixel(format_);
  if (samePixels && bits >= 8) {
    const std::size_t bytesPerPixel = static_cast<std::size_t>(bits / 8);
    // Self-copy with overlapping rows needs the right row order; memmove handles overlap within a row.
    const bool upward = (&source == this) && sy < y;
    for (int i = 0; i < h; ++i) {
      const int row = upward ? h - 1 - i : i;
      std::memmove(ScanLine(y + row) + bytesPerPixel * x, source.ScanLine(sy + row) + bytesPerPixel * sx,
                   bytesPerPixel * w);
    }
    return;
  }
  const TBitmap* from = &source;
  TBitmap copy;
  if (&source == this) {
    copy = source;
    from = &copy;
  }
  std::vector<std::uint8_t> row(static_cast<std::size_t>(w) * 3);
  TNearestColorCache cache(palette_);
  for (int i = 0; i < h; ++i) {
    ReadRowBGR(*from, sy + i, sx, w, row.data());
    WriteRowBGR(*this, y + i, x, w, row.data(), cache);
  }
}

void TBitmap::StretchDraw(const TRect& destRect, const TBitmap& source, const TRect& sourceRect) {
  const int dw = destRect.Width(), dh = destRect.Height();
  const int sw = sourceRect.Width(), sh = sourceRect.Height();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || source.Empty() || Empty()) return;
  if (dw == sw && dh == sh) {
    CopyRect(destRect.Left, destRect.Top, source, sourceRect);
    return;
  }
  const TBitmap* from = &source;
  TBitmap copy;
  if (&source == this) {
    copy = source;
    from = &copy;
  }
  // Destination columns inside our bitmap, and the source column each one's centre maps to.
  const int x0 = std::max(destRect.Left, 0), x1 = std::min(destRect.Right, width_);
  const int y0 = std::max(destRect.Top, 0), y1 = std::min(destRect.Bottom, height_);
  if (x0 >= x1 || y0 >= y1) return;
  std::vector<int> sourceX(static_cast<std::size_t>(x1 - x0));
  for (int x = x0; x < x1; ++x) {
    const long long offset = (2LL * (x - destRect.Left) + 1) * sw / (2LL * dw);
    sourceX[x - x0] = sourceRect.Left + static_cast<int>(offset);
  }
  std::vector<std::uint8_t> sourceRow(static_cast<std::size_t>(from->width_) * 3);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(x1 - x0) * 3);
  TNearestColorCache cache(palette_);
  int loadedRow = -1;
  for (int y = y0; y < y1; ++y) {
    const int sy = sourceRect.Top + static_cast<int>((2LL * (y - destRect.Top) + 1) * sh / (2LL * dh));
    if (sy < 0 || sy >= from->height_) continue;
    if (sy != loadedRow) {
      ReadRowBGR(*from, sy, 0, from->width_, sourceRow.data());
      loadedRow = sy;
      for (int i = 0; i < x1 - x0; ++i) {
        const int sx = sourceX[i];
        std::uint8_t* out = &row[3 * static_cast<std::size_t>(i)];
        if (sx < 0 || sx >= from->width_) {
          out[0] = out[1] = out[2] = 0;
        } else {
          std::memcpy(out, &sourceRow[3 * static_cast<std::size_t>(sx)], 3);
        }
      }
    }
    WriteRowBGR(*this, y, x0, x1 - x0, row.data(), cache);
  }
}

}  // namespace clipvane
