// The one choice between the AVI way and the container way, made from the file's first bytes,
// what FFmpeg detects in it and, for a file that is no video, its name.
#include "video/opened_video.h"

#include <fstream>
#include <vector>

#include "core/file_checks.h"
#include "video/video_input.h"

namespace clipvane::video {

namespace {

// Demuxers that read files nobody would call a video: ANSI text art takes any *.txt.
bool IsVideoContainer(const AVInputFormat* demuxer) { return std::string(demuxer->name) != "tty"; }

// True when the file's first bytes are an AVI's. Decided before any demuxer reads the
// file, so that an AVI is opened once, the AVI way.
bool LooksLikeAvi(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) return false;
  std::vector<unsigned char> head(4096 + AVPROBE_PADDING_SIZE, 0);
  file.read(reinterpret_cast<char*>(head.data()), 4096);
  AVProbeData probe{};
  probe.filename = path.c_str();
  probe.buf = head.data();
  probe.buf_size = static_cast<int>(file.gcount());
  const AVInputFormat* found = av_probe_input_format(&probe, 1);
  return found && std::string(found->name) == "avi";
}

}  // namespace

std::unique_ptr<TOpenedVideo> OpenVideo(const std::string& path) {
  RefuseFolder(path);
  const bool aviName = Extension(path) == "avi";
  QuietFfmpegLog();
  if (LooksLikeAvi(path)) return OpenAviVideo(path);
  AVFormatContext* raw = nullptr;
  const int opened = OpenDetectedInput(path, &raw);
  TInput input(raw);
  if (opened < 0) {
    if (aviName) return OpenAviVideo(path);
    FailFile(path, FileProblem(path, opened));
  }
  if (std::string(input->iformat->name) == "avi") return OpenAviVideo(path);
  const bool video = FirstVideoStream(input.get()) >= 0;
  if (aviName && (!video || !IsVideoContainer(input->iformat))) return OpenAviVideo(path);
  if (!IsVideoContainer(input->iformat)) FailFile(path, "not a video file this program can read");
  if (!video) FailFile(path, "the file has no video stream");
  return OpenContainerVideo(path, input.release());
}

}  // namespace clipvane::video
