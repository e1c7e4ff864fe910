// JPEG output through libjpeg: any working bitmap, its colours taken through 24 bits,
// encoded in memory and written to the file in one atomic step.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace clipvane {

// A baseline JPEG of the bitmap at quality 1 (smallest) to 100 (best).
// Throws EClipvaneError for a quality out of range, an empty or over-large picture.
std::vector<std::uint8_t> EncodeJPEG(const TBitmap& bitmap, int quality);

// Encodes, then writes to a temporary file beside path and renames it over path, so a
// failure leaves no partial file. Errors name the file.
void SaveToJPEG(const TBitmap& bitmap, const std::string& path, int quality);

}  // namespace clipvane
