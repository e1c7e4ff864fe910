// The table of container test videos.
#include "support/video_fixture_cases.h"

#include <stdexcept>

namespace clipvane::fixtures {

namespace {

TFixtureVideo H264(const std::string& muxer, int frames, int bFrames, int keyInterval) {
  TFixtureVideo video;
  video.Muxer = muxer;
  video.Encoder = "libx264";
  video.EncoderOptions = {{"preset", "veryfast"}, {"crf", "18"}};
  video.FrameCount = frames;
  video.BFrames = bFrames;
  video.KeyFrameInterval = keyInterval;
  return video;
}

}  // namespace

std::vector<TContainerCase> ContainerCases() {
  std::vector<TContainerCase> cases;
  {
    TFixtureVideo video = H264("mp4", 24, 3, 8);
    video.LeadingFrames = 2;  // cut by the edit list
    cases.push_back({"Mp4H264BFramesEditList", "clip.mp4", video, "mp4", "h264"});
  }
  {
    TFixtureVideo video = H264("matroska", 24, 3, 8);
    video.EncoderOptions["x264-params"] = "open-gop=1";
    cases.push_back({"MkvH264OpenGop", "open.mkv", video, "mkv", "h264"});
  }
  {
    TFixtureVideo video;
    video.Muxer = "matroska";
    video.Encoder = "libx265";
    video.PixelFormat = "yuv420p10le";
    video.EncoderOptions = {{"preset", "ultrafast"}, {"x265-params", "log-level=none:crf=16"}};
    video.FrameCount = 24;
    video.BFrames = 2;
    video.KeyFrameInterval = 8;
    cases.push_back({"MkvHevc10Bit", "hevc.mkv", video, "mkv", "hevc",
                     "matrix unspecified, transfer unspecified, primaries unspecified, limited range, 10 bits"});
  }
  {
    TFixtureVideo video;
    video.Muxer = "webm";
    video.Encoder = "libvpx-vp9";
    video.EncoderOptions = {
        {"cpu-used", "8"}, {"crf", "20"}, {"b", "0"}, {"lag-in-frames", "12"}, {"auto-alt-ref", "1"}};
    video.FrameCount = 24;
    video.KeyFrameInterval = 12;
    cases.push_back({"WebmVp9HiddenFrames", "clip.webm", video, "webm", "vp9"});
  }
  {
    TFixtureVideo video;
    video.Muxer = "mov";
    video.Encoder = "mjpeg";
    video.PixelFormat = "yuvj420p";
    video.FrameCount = 20;
    video.KeyFrameInterval = 1;  // every picture stands alone
    video.WithAudio = true;
    // JPEG's pictures are BT.601 of full range, as its decoder says.
    cases.push_back({"MovMjpegWithAudio", "clip.mov", video, "mov", "mjpeg",
                     "matrix bt470bg, transfer unspecified, primaries unspecified, full range, 8 bits"});
  }
  {
    TFixtureVideo video;
    video.Muxer = "mpegts";
    video.Encoder = "mpeg2video";
    video.FrameCount = 24;
    video.BFrames = 2;
    video.KeyFrameInterval = 8;
    cases.push_back({"TsMpeg2", "clip.ts", video, "mpegts", "mpeg2video"});
  }
  {
    TFixtureVideo video = H264("matroska", 16, 2, 6);
    // A phone's recording: the rate changes as the light does.
    video.StartsMs = {0, 33, 67, 100, 200, 300, 400, 433, 467, 500, 700, 733, 767, 800, 833, 1000, 1100};
    cases.push_back({"MkvVariableRate", "phone.mkv", video, "mkv", "h264"});
  }
  {
    TFixtureVideo video = H264("mp4", 20, 0, 10);
    video.Rotation = 90;
    cases.push_back({"Mp4Rotated90", "portrait.mp4", video, "mp4", "h264"});
  }
  {
    TFixtureVideo video = H264("mp4", 12, 0, 6);
    video.Rotation = 270;
    video.Width = 48;
    video.Height = 64;
    cases.push_back({"Mp4Rotated270", "turned.mp4", video, "mp4", "h264"});
  }
  {
    TFixtureVideo video = H264("matroska", 20, 2, 10);
    video.Width = 32;
    video.AspectNumerator = 2;  // shown 64 wide
    cases.push_back({"MkvAnamorphic", "wide.mkv", video, "mkv", "h264"});
  }
  return cases;
}

TContainerCase ContainerCase(const std::string& name) {
  for (TContainerCase& found : ContainerCases())
    if (found.Name == name) return found;
  throw std::runtime_error("no test video " + name);
}

}  // namespace clipvane::fixtures
