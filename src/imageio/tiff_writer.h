// TIFF output through libtiff: a 1-bit picture with its two colours (the frames page offers
// TIFF for "1 bit" frames); any other picture is stored as 24-bit RGB so nothing is lost.
// Encoded in memory and written to the file in one atomic step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace clipvane {

// One-page TIFF. A 1-bit black/white picture is bilevel with CCITT Group 4 compression
// (white-is-zero when its table is white, black); a 1-bit picture of two other colours
// keeps them in a colour map (PackBits); other formats become 8-bit RGB (LZW).
// Throws EClipvaneError for an empty picture or when libtiff fails.
std::vector<std::uint8_t> EncodeTIFF(const TBitmap& bitmap);

// Encodes, then writes to a temporary file beside path and renames it over path, so a
// failure leaves no partial file. Errors name the file.
void SaveToTIFF(const TBitmap& bitmap, const std::string& path);

}  // namespace clipvane
