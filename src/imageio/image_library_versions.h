// The versions of the picture libraries (libjpeg, libpng, libtiff), for --version.
#pragma once

#include <string>

namespace clipvane {

// "libjpeg-turbo 2.1.5 (libjpeg 6.2 interface)": libjpeg has no run-time query, so this is
// the version compiled against.
std::string JpegLibraryVersion();
// "1.6.39", from the loaded library.
std::string PngLibraryVersion();
// "4.5.0", from the loaded library.
std::string TiffLibraryVersion();

}  // namespace clipvane
