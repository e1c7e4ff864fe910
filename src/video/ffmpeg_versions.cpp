// FFmpeg's libraries answer their own version numbers, so this reports what is loaded,
// not what the program was compiled against.
#include "video/ffmpeg_versions.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libswscale/swscale.h>
}

#include <zimg.h>

namespace clipvane {

namespace {

std::string Dotted(unsigned version) {
  return std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF) + "." +
         std::to_string(version & 0xFF);
}

}  // namespace

std::string FfmpegVersions() {
  return "libavformat " + Dotted(avformat_version()) + ", libavcodec " + Dotted(avcodec_version()) + ", libavutil " +
         Dotted(avutil_version()) + ", libswscale " + Dotted(swscale_version());
}

std::string ZimgVersion() {
  unsigned major = 0, minor = 0, micro = 0;
  zimg_get_version_info(&major, &minor, &micro);
  return std::to_string(major) + "." + std::to_string(minor) + "." + std::to_string(micro);
}

}  // namespace clipvane
