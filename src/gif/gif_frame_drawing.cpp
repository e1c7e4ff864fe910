// Drawing one frame: its pixel indices rendered to an 8-bit picture with its colour table and
// transparency mask, then stretched onto a surface's rectangle in place on the logical screen
// or tiled. Used by the painters and by the document's still drawing.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "core/conversions.h"
#include "core/palettes.h"
#include "core/pixel_rows.h"
#include "gif/gif_image.h"

namespace clipvane {

namespace {

// Draws picture stretched onto area of surface (nearest pixel, as TBitmap::StretchDraw),
// limited to clip and the surface. Pixels under a set bit of mask (same size as picture)
// leave the surface as it was.
void BlitPicture(TBitmap& surface, const TRect& area, const TRect& clip, const TBitmap& picture, const TBitmap* mask) {
  const int dw = area.Width(), dh = area.Height();
  const int sw = picture.Width(), sh = picture.Height();
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0) return;
  if (mask != nullptr && (mask->Width() != sw || mask->Height() != sh || mask->PixelFormat() != TPixelFormat::pf1bit))
    mask = nullptr;
  const int x0 = std::max({area.Left, clip.Left, 0});
  const int x1 = std::min({area.Right, clip.Right, surface.Width()});
  const int y0 = std::max({area.Top, clip.Top, 0});
  const int y1 = std::min({area.Bottom, clip.Bottom, surface.Height()});
  if (x0 >= x1 || y0 >= y1) return;

  const int count = x1 - x0;
  std::vector<int> sourceX(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i)
    sourceX[static_cast<std::size_t>(i)] = static_cast<int>((2LL * (x0 + i - area.Left) + 1) * sw / (2LL * dw));
  std::vector<std::uint8_t> sourceRow(static_cast<std::size_t>(sw) * 3);
  std::vector<std::uint8_t> row(static_cast<std::size_t>(count) * 3);
  TNearestColorCache cache(surface.Palette());
  int loaded = -1;
  for (int y = y0; y < y1; ++y) {
    const int sy = static_cast<int>((2LL * (y - area.Top) + 1) * sh / (2LL * dh));
    if (sy != loaded) {
      ReadRowBGR(picture, sy, 0, sw, sourceRow.data());
      loaded = sy;
    }
    const std::uint8_t* maskRow = mask != nullptr ? mask->ScanLine(sy) : nullptr;
    // Only a masked copy needs what is underneath.
    if (maskRow != nullptr) ReadRowBGR(surface, y, x0, count, row.data());
    for (int i = 0; i < count; ++i) {
      const int sx = sourceX[static_cast<std::size_t>(i)];
      if (maskRow != nullptr && ReadIndex(maskRow, sx, 1) != 0) continue;
      std::memcpy(&row[3 * static_cast<std::size_t>(i)], &sourceRow[3 * static_cast<std::size_t>(sx)], 3);
    }
    WriteRowBGR(surface, y, x0, count, row.data(), cache);
  }
}

}  // namespace

const TBitmap& TGIFSubImage::Render() {
  // The indices, decoded here once for the picture and the mask when only encoded.
  std::vector<std::uint8_t> scratch;
  const std::uint8_t* pixels = nullptr;
  bool pixelsRead = false;
  const auto indices = [&] {
    if (!pixelsRead) pixels = PixelsForReading(scratch);
    pixelsRead = true;
    return pixels;
  };
  const bool fromCode = pixels_.empty() && encoded_;
  const bool rendering = !bitmap_;
  if (!bitmap_) {
    auto progress = [this](TProgressStage stage, int percent) {
      if (image_ != nullptr) image_->Progress(this, stage, percent, sGIFRendering);
    };
    progress(psStarting, 0);
    const int width = Width(), height = Height();
    TBitmap rendered(width, height, TPixelFormat::pf8bit);
    std::vector<TRGBQuad> palette;
    for (const TGIFColor& color : ActiveColorMap().Entries())
      palette.push_back(TRGBQuad{color.Blue, color.Green, color.Red, 0});
    if (palette.empty()) palette.assign(StandardColors16().begin(), StandardColors16().end());
    rendered.SetPalette(std::move(palette));
    const std::uint8_t* source = indices();
    for (int y = 0; y < height && source != nullptr; ++y) {
      if (y % 32 == 0) progress(psRunning, GIFPercent(y, height));
      std::memcpy(rendered.ScanLine(y), source + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                  static_cast<std::size_t>(width));
    }
    bitmap_ = std::make_unique<TBitmap>(std::move(rendered));
    progress(psEnding, 100);
  }
  if (needMask_) {
    mask_.reset();
    needMask_ = false;
    int index = -1;
    if (transparent_) {
      if (controlExtension_ != nullptr && controlExtension_->Transparent()) {
        index = controlExtension_->TransparentColorIndex();
      } else {
        for (const auto& extension : extensions_)
          if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension.get());
              control != nullptr && control->Transparent()) {
            index = control->TransparentColorIndex();
            break;
          }
      }
    }
    const int width = Width(), height = Height();
    const std::uint8_t* maskIndices = index >= 0 ? indices() : nullptr;
    if (maskIndices != nullptr) {
      auto mask = std::make_unique<TBitmap>(width, height, TPixelFormat::pf1bit);
      bool any = false;
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* source = maskIndices + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
        std::uint8_t* row = mask->ScanLine(y);
        for (int x = 0; x < width; ++x)
          if (source[x] == index) {
            WriteIndex(row, x, 1, 1);
            any = true;
          }
      }
      if (any) mask_ = std::move(mask);
    }
  }
  if (rendering && fromCode && image_ != nullptr) image_->KeepRendered(this);
  return *bitmap_;
}

void TGIFSubImage::Draw(TBitmap& surface, const TRect& rect, bool tile, bool transparent) {
  if (Empty() || rect.Width() <= 0 || rect.Height() <= 0) return;
  const TBitmap& picture = Render();
  const TBitmap* mask = (transparent && Transparent()) ? mask_.get() : nullptr;
  // The frame always fits the logical screen (bounds rule); a frame of no document is its own screen.
  const int screenWidth = std::max(image_ != nullptr ? image_->Width() : 0, Left() + Width());
  const int screenHeight = std::max(image_ != nullptr ? image_->Height() : 0, Top() + Height());
  if (!tile) {
    const TRect area{rect.Left + MulDiv(Left(), rect.Width(), screenWidth),
                     rect.Top + MulDiv(Top(), rect.Height(), screenHeight),
                     rect.Left + MulDiv(Left() + Width(), rect.Width(), screenWidth),
                     rect.Top + MulDiv(Top() + Height(), rect.Height(), screenHeight)};
    BlitPicture(surface, area, rect, picture, mask);
    return;
  }
  for (int y = rect.Top + Top(); y < rect.Bottom; y += screenHeight)
    for (int x = rect.Left + Left(); x < rect.Right; x += screenWidth)
      BlitPicture(surface, TRect{x, y, x + Width(), y + Height()}, rect, picture, mask);
}

}  // namespace clipvane
