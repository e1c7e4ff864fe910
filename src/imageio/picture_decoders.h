// Picture files into working bitmaps: the decoder is chosen by the file's extension, compared
// without regard to case; also the extension list and the filter text of the open dialog.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"

namespace clipvane {

// What the caller gets from every decoder here:
// - true-colour pictures as pf24bit;
// - pictures the file stores with a colour table (palette PNG, GIF, PCX of 1 to 8 bits,
//   colour-mapped Targa, 8-bit BMP, ...) in pf1bit, pf4bit or pf8bit with that table, and
//   grey pictures in pf8bit with a 256-step grey table (pf1bit for black-and-white);
// - transparency flattened onto `background`: in a palette picture the table entries are
//   blended, elsewhere the pixels. Icons always come as pf24bit, their mask flattened.
// Failures throw EClipvaneError with a message for the user; nothing else changes.

// Decodes the picture file at `path` by its extension. An extension no decoder knows
// throws "Unsupported picture format: NAME", NAME the file's name.
TBitmap LoadPictureFile(const std::string& path, TColor background);

// The same for file contents already in memory; `fileName` gives the extension.
TBitmap DecodePicture(std::span<const std::uint8_t> data, std::string_view fileName, TColor background);

// True when the name's extension has a decoder.
bool IsSupportedPictureFile(std::string_view fileName);

// The extensions that can be read, lower case with the dot (".jpg", ...).
const std::vector<std::string>& SupportedPictureExtensions();

// Filter text of the open-picture dialog: "All pictures (*.jpg ...)" followed by one entry
// per format, entries separated by ";;".
std::string PictureFileFilter();

// Pictures beyond these limits are refused before anything is allocated.
inline constexpr long long MaxPictureSide = 32768;
inline constexpr long long MaxPicturePixels = TBitmap::MaxPicturePixels;

// Throws "<format> image has invalid dimensions: W x H" for a side below 1 and "<format>
// image is too large: W x H pixels" beyond the limits; every decoder calls it before it
// allocates anything the size of the picture.
void CheckPictureDimensions(std::string_view format, long long width, long long height);

// Throws "Invalid <format> file: pixel data is cut off" when `dataBytes` of stored data
// cannot give `decodedBytes` even at the format's best compression (`maxRatio` decoded bytes
// for each stored byte). Decoders call it before allocating the picture, so a header that
// merely claims a huge picture costs nothing.
void CheckDataCanFill(std::string_view format, std::uint64_t decodedBytes, std::uint64_t dataBytes,
                      std::uint64_t maxRatio);

// colour * alpha + background * (255 - alpha), over 255, rounded; alpha 255 keeps the colour.
constexpr std::uint8_t BlendChannel(int colour, int background, int alpha) {
  return static_cast<std::uint8_t>((colour * alpha + background * (255 - alpha) + 127) / 255);
}

// The 256 greys 0..255, for grey pictures in pf8bit.
std::vector<TRGBQuad> GreyPalette256();

}  // namespace clipvane
