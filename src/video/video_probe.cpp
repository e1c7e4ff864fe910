// ProbeVideo: the file opened the way it is read, and asked for its figures.
#include "video/video_probe.h"

#include "video/opened_video.h"

namespace clipvane {

TVideoInfo ProbeVideo(const std::string& path, const TOpenProgress& progress) {
  return video::OpenVideo(path)->Probe(progress);
}

}  // namespace clipvane
