// ReduceBitmap: palette and lookup by reduction method, engine by dither kind, and the
// serpentine walk that writes the 8-bit result.
#include "gif/palette_reduction.h"

#include <algorithm>
#include <memory>

#include "core/palettes.h"
#include "gif/color_lookup.h"
#include "gif/dib_access.h"
#include "gif/dither_engine.h"
#include "gif/gif_exception.h"
#include "gif/octree_palette.h"

namespace clipvane {

std::vector<TRGBQuad> WebCubePalette() {
  std::vector<TRGBQuad> palette;
  palette.reserve(216);
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b) palette.push_back(TRGBQuad::FromColor(RGB(51 * r, 51 * g, 51 * b)));
  return palette;
}

namespace {

std::vector<TRGBQuad> GreyPalette(std::initializer_list<int> levels) {
  std::vector<TRGBQuad> palette;
  for (int level : levels) palette.push_back(TRGBQuad::FromColor(RGB(level, level, level)));
  return palette;
}

std::vector<TRGBQuad> Grey256Palette() {
  std::vector<TRGBQuad> palette(256);
  for (int i = 0; i < 256; ++i) palette[static_cast<std::size_t>(i)] = TRGBQuad::FromColor(RGB(i, i, i));
  return palette;
}

// Walks every row in the engine's direction, storing the index of each pixel, through the
// engine's virtual MapPixel: the kernel ditherers, which this program does not use.
void MapPixels(TDitherEngine& engine, const TDIBReader& reader, TDIBWriter& writer) {
  const int width = reader.Width();
  for (int row = 0; row < reader.Height(); ++row) {
    const std::uint8_t* source = reader.RowAddress(row);
    std::uint8_t* target = writer.MutableRowAddress(row);
    for (int x = engine.Column(); x >= 0 && x < width; x = engine.Column()) {
      const std::uint8_t* pixel = source + 3 * static_cast<std::ptrdiff_t>(x);
      target[x] = static_cast<std::uint8_t>(engine.MapPixel(pixel[2], pixel[1], pixel[0]));
    }
    engine.EndRow();
  }
}

// The same walk a row at a time with engine and lookup bound at compile time: this runs once
// per pixel of every GIF frame.
template <class Engine, class Lookup>
void MapRows(Engine& engine, Lookup& lookup, const TDIBReader& reader, TDIBWriter& writer) {
  for (int row = 0; row < reader.Height(); ++row) {
    engine.MapRow(lookup, reader.RowAddress(row), writer.MutableRowAddress(row));
    engine.Engine::EndRow();
  }
}

template <class Engine>
void MapRowsWithLookup(Engine& engine, TColorLookup& lookup, const TDIBReader& reader, TDIBWriter& writer) {
  if (auto* fast = dynamic_cast<TFastColorLookup*>(&lookup)) return MapRows(engine, *fast, reader, writer);
  if (auto* cube = dynamic_cast<TNetscapeColorLookup*>(&lookup)) return MapRows(engine, *cube, reader, writer);
  if (auto* grey = dynamic_cast<TGrayScaleLookup*>(&lookup)) return MapRows(engine, *grey, reader, writer);
  if (auto* mono = dynamic_cast<TMonochromeLookup*>(&lookup)) return MapRows(engine, *mono, reader, writer);
  MapPixels(engine, reader, writer);
}

}  // namespace

TBitmap ReduceBitmap(const TBitmap& source, TColorReduction method, TDitherMode dither,
                     std::span<const TRGBQuad> customPalette, int quantizeBits, int* paletteCount) {
  if (paletteCount != nullptr) *paletteCount = 0;
  TBitmap result;
  if (method == reduceNone) {
    result = source;
    result.SetPixelFormat(TPixelFormat::pf24bit);
    return result;
  }
  if (method > reduceCustom) return result;
  // 2^quantizeBits colours must fit a 256-entry colour table.
  if (method == reduceOctree && (quantizeBits < 0 || quantizeBits > 8)) throw GIFException("QuantizeBits out of range");

  const TDIBReader reader(source);
  std::vector<TRGBQuad> palette;
  std::unique_ptr<TColorLookup> lookup;
  switch (method) {
    case reduceSystem20:
      palette.assign(SystemPalette20().begin(), SystemPalette20().end());
      break;
    case reduceHalftone:
      palette.assign(HalftonePalette256().begin(), HalftonePalette256().end());
      break;
    case reduceSystemGray:
      palette = GreyPalette({0, 128, 192, 255});
      break;
    case reduceMonochrome:
      palette = GreyPalette({0, 255});
      lookup = std::make_unique<TMonochromeLookup>(2);
      break;
    case reduceGray256:
      palette = Grey256Palette();
      lookup = std::make_unique<TGrayScaleLookup>(256);
      break;
    case reduceWebCube:
      palette = WebCubePalette();
      lookup = std::make_unique<TNetscapeColorLookup>(216);
      break;
    case reduceOctree:
      palette = BuildOctreePalette(reader, 1 << quantizeBits, 8, false);
      break;
    case reduceOctreeSystem:
      palette = BuildOctreePalette(reader, 256, 8, true);
      break;
    default:  // reduceCustom: a palette longer than a colour table gives its first 256 entries
      palette.assign(customPalette.begin(), customPalette.begin() + std::min<std::size_t>(customPalette.size(), 256));
      break;
  }
  if (!lookup) lookup = std::make_unique<TFastColorLookup>(palette);
  if (lookup->ColorCount() == 0) return result;
  if (dither > ditherBurkes) return result;

  const int width = reader.Width();
  TDIBWriter writer(width, reader.Height(), 8, palette);
  switch (dither) {
    case ditherNone: {
      TDitherEngine engine(width, *lookup);
      MapRowsWithLookup(engine, *lookup, reader, writer);
      break;
    }
    case ditherFloydSteinberg: {
      TFloydSteinbergDitherer engine(width, *lookup);
      MapRowsWithLookup(engine, *lookup, reader, writer);
      break;
    }
    case ditherStucki:
      MapPixels(*std::make_unique<TStuckiDitherer>(width, *lookup), reader, writer);
      break;
    case ditherSierra:
      MapPixels(*std::make_unique<TSierraDitherer>(width, *lookup), reader, writer);
      break;
    case ditherJarvisJudiceNinke:
      MapPixels(*std::make_unique<TJaJuNiDitherer>(width, *lookup), reader, writer);
      break;
    case ditherStevensonArce:
      MapPixels(*std::make_unique<TSteveArcheDitherer>(width, *lookup), reader, writer);
      break;
    case ditherBurkes:
      MapPixels(*std::make_unique<TBurkesDitherer>(width, *lookup), reader, writer);
      break;
  }
  if (paletteCount != nullptr) *paletteCount = writer.ColorsImportant();
  writer.HandTo(result);
  return result;
}

}  // namespace clipvane
