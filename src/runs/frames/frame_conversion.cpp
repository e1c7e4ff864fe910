// Colour modes, frame conversion and the aspect-ratio coupling of the frames page.
#include "runs/frames/frame_conversion.h"

#include <algorithm>
#include <array>

#include "core/conversions.h"
#include "core/palettes.h"

namespace clipvane {

namespace {

struct TModeInfo {
  TColorMode mode;
  std::string_view text;
  TPixelFormat format;
};

constexpr std::array<TModeInfo, 7> kModes{{
    {TColorMode::cm32bit, "32 bit", TPixelFormat::pf32bit},
    {TColorMode::cm24bit, "24 bit", TPixelFormat::pf24bit},
    {TColorMode::cm16bit, "16 bit", TPixelFormat::pf16bit},
    {TColorMode::cm15bit, "15 bit", TPixelFormat::pf15bit},
    {TColorMode::cm8bit, "8 bit", TPixelFormat::pf8bit},
    {TColorMode::cm4bit, "4 bit", TPixelFormat::pf4bit},
    {TColorMode::cm1bit, "1 bit", TPixelFormat::pf1bit},
}};

const TModeInfo& Info(TColorMode mode) {
  for (const auto& info : kModes)
    if (info.mode == mode) return info;
  return kModes[1];
}

constexpr int kBoxMaximum = 10000;

}  // namespace

TColorMode ColorModeFromText(std::string_view text) {
  for (const auto& info : kModes)
    if (info.text == text) return info.mode;
  return TColorMode::cm24bit;
}

std::string_view ColorModeText(TColorMode mode) { return Info(mode).text; }

TPixelFormat ColorModePixelFormat(TColorMode mode) { return Info(mode).format; }

std::vector<TRGBQuad> ColorModePalette(TColorMode mode) {
  switch (mode) {
    case TColorMode::cm1bit:
      return BlackWhitePalette();
    case TColorMode::cm4bit: {
      const auto& colors = StandardColors16();
      return {colors.begin(), colors.end()};
    }
    case TColorMode::cm8bit: {
      const auto& colors = HalftonePalette256();
      return {colors.begin(), colors.end()};
    }
    default:
      return {};
  }
}

std::unique_ptr<TBitmap> ConvertFrame(const TBitmap& source, int width, int height, TColorMode mode) {
  auto frame = std::make_unique<TBitmap>(width, height, ColorModePixelFormat(mode));
  if (IsPaletteFormat(frame->PixelFormat())) frame->SetPalette(ColorModePalette(mode));
  frame->StretchDraw(TRect{0, 0, frame->Width(), frame->Height()}, source,
                     TRect{0, 0, source.Width(), source.Height()});
  return frame;
}

TFrameSize CoupleFrameSize(TFrameSize boxes, TSizeBox changed, int frameWidth, int frameHeight) {
  if (frameWidth <= 0 || frameHeight <= 0) return boxes;
  // Each round sets one box; the pair settles within a few rounds, the bound only makes
  // sure that no pair of ratios can keep the boxes swapping for ever.
  for (int round = 0; round < 64; ++round) {
    if (changed == TSizeBox::sbWidth) {
      const double exact = static_cast<double>(boxes.Width) / frameWidth * frameHeight;
      const int height = std::clamp(nearest(exact), 0, kBoxMaximum);
      if (height == boxes.Height) break;
      boxes.Height = height;
      changed = TSizeBox::sbHeight;
    } else {
      const double exact = static_cast<double>(boxes.Height) / frameHeight * frameWidth;
      const int width = std::clamp(nearest(exact), 0, kBoxMaximum);
      if (width == boxes.Width) break;
      boxes.Width = width;
      changed = TSizeBox::sbWidth;
    }
  }
  return boxes;
}

}  // namespace clipvane
