// Version texts of the picture libraries; libpng and libtiff are asked at run time.
#include "imageio/image_library_versions.h"

#include <png.h>
#include <tiffio.h>

#include <cstdio>  // jpeglib.h uses FILE

extern "C" {
#include <jpeglib.h>
}

#define CLIPVANE_STRINGIZE_VALUE(x) #x
#define CLIPVANE_STRINGIZE(x) CLIPVANE_STRINGIZE_VALUE(x)

namespace clipvane {

std::string JpegLibraryVersion() {
  const std::string api = std::to_string(JPEG_LIB_VERSION / 10) + "." + std::to_string(JPEG_LIB_VERSION % 10);
#ifdef LIBJPEG_TURBO_VERSION
  return "libjpeg-turbo " CLIPVANE_STRINGIZE(LIBJPEG_TURBO_VERSION) " (libjpeg " + api + " interface)";
#else
  return "libjpeg " + api;
#endif
}

std::string PngLibraryVersion() { return png_get_libpng_ver(nullptr); }

std::string TiffLibraryVersion() {
  // TIFFGetVersion() reads "LIBTIFF, Version 4.5.0\nCopyright ...": keep the number.
  const std::string text = TIFFGetVersion();
  const std::string marker = "Version ";
  const std::size_t start = text.find(marker);
  if (start == std::string::npos) return text.substr(0, text.find('\n'));
  const std::size_t from = start + marker.size();
  return text.substr(from, text.find_first_of("\n ", from) - from);
}

}  // namespace clipvane
