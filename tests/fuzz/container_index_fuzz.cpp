// libFuzzer target: any bytes as a video file through the open (container detection, the
// frame index made from the packets) and reads of the first, a middle and the last frame and
// of the first again (a jump back). Only EClipvaneError and std::bad_alloc may come out;
// sanitizers catch everything else.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <string>

#include "core/error.h"
#include "video/frame_source.h"
#include "video/video_probe.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace clipvane;
  // A file of its own for every input: the index kept for a file must never be another's.
  static unsigned long count = 0;
  const std::string path = "/tmp/container-index-fuzz-" + std::to_string(getpid()) + "-" + std::to_string(count++);
  if (FILE* file = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, file);
    std::fclose(file);
  } else {
    return 0;
  }
  try {
    const TVideoInfo info = ProbeVideo(path);
    if (!info.IsAvi && info.FrameCount > 0) {
      const std::unique_ptr<TFrameSource> reader = OpenFrameSource(path);
      for (const int n : {0, info.FrameCount / 2, info.FrameCount - 1, 0}) reader->ReadFrame(n);
    }
  } catch (const EClipvaneError&) {
  } catch (const std::bad_alloc&) {
  }
  std::remove(path.c_str());
  return 0;
}
