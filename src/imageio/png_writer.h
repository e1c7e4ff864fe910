// PNG output through libpng: a palette picture (1, 4 or 8 bits a pixel) as a palette PNG of
// the same depth and colour table, every other picture as 8-bit RGB. Encoded in memory and
// written to the file in one atomic step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace clipvane {

// A PNG holding exactly the colours a BMP of the bitmap holds. Palette pictures keep their
// indices and table (padded with black up to the largest index used, which a BMP reader also
// shows black); 15- and 16-bit pixels are widened as the rest of the program widens them,
// with an sBIT chunk giving their true precision. No time or text chunks: the same picture
// always gives the same bytes. Throws EClipvaneError for an empty picture or when libpng fails.
std::vector<std::uint8_t> EncodePNG(const TBitmap& bitmap);

// Encodes, then writes to a temporary file beside path and renames it over path, so a
// failure leaves no partial file. Errors name the file.
void SaveToPNG(const TBitmap& bitmap, const std::string& path);

}  // namespace clipvane
