// Colour reduction of true-colour pictures to at most 256 colours for GIF frames: the
// reduction methods, the dither kinds, and ReduceBitmap, which applies one pair of them.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

// How the palette of a reduced picture is chosen. Stored as one byte in a GIF document;
// values above reduceCustom are possible there and reduce to an empty bitmap.
enum TColorReduction : std::uint8_t {
  reduceNone = 0,          // no reduction: a 24-bit copy of the source
  reduceSystem20 = 1,      // the 20 static system colours
  reduceHalftone = 2,      // the 256-colour halftone table
  reduceSystemGray = 3,    // 4 greys: 0, 128, 192, 255
  reduceMonochrome = 4,    // black and white
  reduceGray256 = 5,       // 256 greys
  reduceWebCube = 6,       // the 6x6x6 web colour cube (216 colours)
  reduceOctree = 7,        // octree palette of 2^quantizeBits colours
  reduceOctreeSystem = 8,  // octree palette of 236 colours framed by the 20 system colours
  reduceCustom = 9,        // the caller's palette
};

// How pixels are mapped to the palette. Values above ditherBurkes reduce to an empty bitmap.
enum TDitherMode : std::uint8_t {
  ditherNone = 0,  // nearest palette colour, no error diffusion
  ditherFloydSteinberg = 1,
  ditherStucki = 2,
  ditherSierra = 3,
  ditherJarvisJudiceNinke = 4,
  ditherStevensonArce = 5,
  ditherBurkes = 6,
};

// Reduces a picture to a palette. The result is a new bitmap of the source's size: for
// every method but reduceNone an 8-bit bitmap with a 256-entry colour table, the palette's
// entries first and black after them. reduceNone gives a 24-bit copy of the source.
// - source: must not be empty; any pixel format (other than 24 bits it is read through a
//   24-bit copy; the source itself is never changed).
// - customPalette: used by reduceCustom only (at most its first 256 entries).
// - quantizeBits: used by reduceOctree only, 0 to 8 (palette of 2^quantizeBits colours).
// - paletteCount: when given, receives the number of palette entries in the table (0 for
//   reduceNone and for an empty result).
// An unknown method or dither kind, or a palette without colours, gives an empty bitmap.
// Errors (GIFException; the source is left as it was): "Invalid image dimensions" when an
// 8-bit result is to be made from an empty source; a quantizeBits out of range.
TBitmap ReduceBitmap(const TBitmap& source, TColorReduction method, TDitherMode dither,
                     std::span<const TRGBQuad> customPalette = {}, int quantizeBits = 8, int* paletteCount = nullptr);

// The 216 web colours: entry 36 r + 6 g + b is (51 r, 51 g, 51 b) for r, g, b in 0..5.
std::vector<TRGBQuad> WebCubePalette();

}  // namespace clipvane
