// The decoder table: extensions to decoders, the open dialog's filter, the size limits
// every decoder applies, and the BMP entry (which the working bitmap itself reads).
#include "imageio/picture_decoders.h"

#include <algorithm>
#include <cctype>
#include <limits>

#include "core/error.h"
#include "imageio/gif_decoder.h"
#include "imageio/ico_decoder.h"
#include "imageio/jpeg_decoder.h"
#include "imageio/pcx_decoder.h"
#include "imageio/png_decoder.h"
#include "imageio/pnm_decoder.h"
#include "imageio/tga_decoder.h"
#include "imageio/tiff_decoder.h"

namespace clipvane {

namespace {

using TDecoder = TBitmap (*)(std::span<const std::uint8_t>, TColor);

struct TPictureFormat {
  const char* title;
  std::vector<std::string> extensions;
  TDecoder decode;
};

std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

// The working bitmap reads BMP files itself (refusing plain pixel data that is cut off before it
// allocates); the size limits every decoder applies are checked here first.
TBitmap DecodeBmp(std::span<const std::uint8_t> data, TColor) {
  if (data.size() >= 30 && data[0] == 'B' && data[1] == 'M') {
    const std::uint32_t headerSize = Le32(&data[14]);
    long long width = 0, height = 0;
    int bits = 0;
    if (headerSize == 12) {
      width = data[18] | (data[19] << 8);
      height = static_cast<std::int16_t>(data[20] | (data[21] << 8));
      bits = data[24] | (data[25] << 8);
    } else if (data.size() >= 14 + 40) {
      width = static_cast<std::int32_t>(Le32(&data[18]));
      height = static_cast<std::int32_t>(Le32(&data[22]));
      bits = data[28] | (data[29] << 8);
    }
    if (bits != 0) CheckPictureDimensions("BMP", width, height < 0 ? -height : height);
  }
  TBitmap bitmap;
  bitmap.LoadFromBMP(data);
  if (!IsPaletteFormat(bitmap.PixelFormat())) bitmap.SetPixelFormat(TPixelFormat::pf24bit);
  return bitmap;
}

TBitmap DecodeJpegIgnoringBackground(std::span<const std::uint8_t> data, TColor) { return DecodeJpeg(data); }
TBitmap DecodePnmIgnoringBackground(std::span<const std::uint8_t> data, TColor) { return DecodePnm(data); }
TBitmap DecodePcxIgnoringBackground(std::span<const std::uint8_t> data, TColor) { return DecodePcx(data); }

const std::vector<TPictureFormat>& Formats() {
  static const std::vector<TPictureFormat> formats = {
      {"JPEG", {".jpg", ".jpeg", ".jpe"}, DecodeJpegIgnoringBackground},
      {"PNG", {".png"}, DecodePng},
      {"TIFF", {".tif", ".tiff", ".fax"}, DecodeTiff},
      {"PCX", {".pcx"}, DecodePcxIgnoringBackground},
      {"GIF", {".gif"}, DecodeGif},
      {"Bitmaps", {".bmp", ".dib", ".rle"}, DecodeBmp},
      {"Icons and cursors", {".ico", ".cur"}, DecodeIco},
      {"Targa", {".tga", ".targa", ".vda", ".icb", ".vst", ".win"}, DecodeTga},
      {"Portable pixmaps", {".pxm", ".ppm", ".pgm", ".pbm"}, DecodePnmIgnoringBackground},
  };
  return formats;
}

std::string_view BaseName(std::string_view path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string_view::npos ? path : path.substr(slash + 1);
}

// The extension of the file's name in lower case, with its dot; empty when there is none.
std::string LowerExtension(std::string_view path) {
  const std::string_view name = BaseName(path);
  const std::size_t dot = name.find_last_of('.');
  if (dot == std::string_view::npos) return {};
  std::string extension(name.substr(dot));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

const TPictureFormat* FormatOf(std::string_view fileName) {
  const std::string extension = LowerExtension(fileName);
  for (const TPictureFormat& format : Formats())
    if (std::find(format.extensions.begin(), format.extensions.end(), extension) != format.extensions.end())
      return &format;
  return nullptr;
}

const TPictureFormat& RequireFormat(std::string_view fileName) {
  const TPictureFormat* format = FormatOf(fileName);
  if (!format) throw EClipvaneError("Unsupported picture format: " + std::string(BaseName(fileName)));
  return *format;
}

}  // namespace

void CheckPictureDimensions(std::string_view format, long long width, long long height) {
  const std::string size = std::to_string(width) + " x " + std::to_string(height);
  if (width < 1 || height < 1) throw EClipvaneError(std::string(format) + " image has invalid dimensions: " + size);
  if (width > MaxPictureSide || height > MaxPictureSide || width * height > MaxPicturePixels)
    throw EClipvaneError(std::string(format) + " image is too large: " + size + " pixels");
}

void CheckDataCanFill(std::string_view format, std::uint64_t decodedBytes, std::uint64_t dataBytes,
                      std::uint64_t maxRatio) {
  // dataBytes * maxRatio without overflow: a file is far below 2^64 / maxRatio anyway.
  if (maxRatio != 0 && dataBytes < (decodedBytes + maxRatio - 1) / maxRatio)
    throw EClipvaneError("Invalid " + std::string(format) + " file: pixel data is cut off");
}

std::vector<TRGBQuad> GreyPalette256() {
  std::vector<TRGBQuad> palette(256);
  for (int i = 0; i < 256; ++i) {
    const auto level = static_cast<std::uint8_t>(i);
    palette[static_cast<std::size_t>(i)] = TRGBQuad{level, level, level, 0};
  }
  return palette;
}

bool IsSupportedPictureFile(std::string_view fileName) { return FormatOf(fileName) != nullptr; }

const std::vector<std::string>& SupportedPictureExtensions() {
  static const std::vector<std::string> extensions = [] {
    std::vector<std::string> all;
    for (const TPictureFormat& format : Formats())
      all.insert(all.end(), format.extensions.begin(), format.extensions.end());
    return all;
  }();
  return extensions;
}

std::string PictureFileFilter() {
  auto patterns = [](const std::vector<std::string>& extensions) {
    std::string text;
    for (const std::string& extension : extensions) text += (text.empty() ? "*" : " *") + extension;
    return text;
  };
  std::string filter = "All pictures (" + patterns(SupportedPictureExtensions()) + ")";
  for (const TPictureFormat& format : Formats())
    filter += std::string(";;") + format.title + " (" + patterns(format.extensions) + ")";
  return filter;
}

TBitmap DecodePicture(std::span<const std::uint8_t> data, std::string_view fileName, TColor background) {
  return RequireFormat(fileName).decode(data, background);
}

TBitmap LoadPictureFile(const std::string& path, TColor background) {
  const TPictureFormat& format = RequireFormat(path);  // before reading: an unknown kind needs no I/O
  const std::vector<std::uint8_t> data = ReadFileBytes(path);
  return format.decode(data, background);
}

}  // namespace clipvane
