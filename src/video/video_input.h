// Opening any video file with libavformat: which way it is read (the AVI demuxer's way, with
// the AVI's own numbering and messages, or the container way for every other format FFmpeg
// detects), its video stream, its decoder, and the errors that name the file. Private to the
// video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <memory>
#include <string>

namespace clipvane::video {

struct TInputCloser {
  void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};
using TInput = std::unique_ptr<AVFormatContext, TInputCloser>;

// How a file is read.
enum class TVideoWay {
  vwAvi,        // the AVI demuxer, exactly as before any other container was read
  vwContainer,  // any other container libavformat detects
};

struct TChosenInput {
  TVideoWay Way = TVideoWay::vwAvi;
  TInput Input;  // open for vwContainer (the AVI way opens the file itself)
};

// Detects the container. A file detected as AVI takes the AVI way; so does a file named
// *.avi that no demuxer reads with a video stream in it, so that it fails with the AVI's own
// messages. Any other file takes the container way, or throws EClipvaneError naming the file:
// "PATH: not a video file this program can read", "PATH: the file has no video stream", or
// "PATH: " and the system's text ("No such file or directory"). Only local files are read.
TChosenInput ChooseInput(const std::string& path);

// Opens `path` the container way again (after ChooseInput said so), for a second reader.
TInput OpenContainer(const std::string& path);

// The video stream: the first that is video and not an attached picture (a cover). Throws
// "PATH: the file has no video stream".
int VideoStreamOf(const AVFormatContext* format, const std::string& path);

// The decoder of the stream's codec; throws "PATH: no decoder for the video codec "NAME"".
const AVCodec* DecoderOf(const AVStream* stream, const std::string& path);

// Opens a decoder for the stream with `threads` threads (0: one a core). Throws
// "PATH: the video cannot be decoded" when the decoder refuses the stream's parameters.
AVCodecContext* OpenDecoder(const AVStream* stream, const std::string& path, int threads);

// The container's name as users know it, for `clipvane-cli info`: the one of the demuxer's
// names the file's extension matches ("mp4", "mov", "webm"), else for MP4-style files the
// name the file's brand gives, "mkv" for other Matroska files, else the demuxer's first
// name ("mpegts", "flv").
std::string ContainerName(const AVFormatContext* format, const std::string& path);

// The codec's short name ("h264", "hevc", "vp9"), or its four-character code when FFmpeg
// does not know it.
std::string CodecName(const AVCodecParameters* parameters);

// "PATH: message" as an EClipvaneError.
[[noreturn]] void FailFile(const std::string& path, const std::string& message);
// FFmpeg's text for an error code, or "Unknown error code".
std::string FfmpegText(int code);

}  // namespace clipvane::video
