// The versions of the FFmpeg libraries (and of zimg, which makes HDR pictures SDR) this program
// runs on, for --version and bug reports.
#pragma once

#include <string>

namespace clipvane {

// "libavformat 59.27.100, libavcodec 59.37.100, libavutil 57.28.100, libswscale 6.7.100",
// read from the libraries loaded at run time.
std::string FfmpegVersions();
// "3.0.4", as the loaded zimg says.
std::string ZimgVersion();

}  // namespace clipvane
