// Opening a video file with libavformat and its decoder with libavcodec, once for every
// reader of the video layer: the one input open (local files only), the video stream, the one
// decoder open, the names of container and codec, and the words for what is wrong with a file.
// Private to the video layer: includes FFmpeg.
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

// Keeps FFmpeg's own messages off the terminal: errors reach the user through our messages.
void QuietFfmpegLog();

// The one way the video layer opens a file: the local file of that name, whatever the name
// looks like. FFmpeg's "file" protocol alone is allowed, so "pipe:0.avi", "concat:a|b" or
// "http://host/x.avi" name files in a folder, never a protocol. `demuxer` null: detected.
// Returns 0 with `format` set, or FFmpeg's negative error code with `format` null.
int OpenLocalInput(const std::string& path, const AVInputFormat* demuxer, AVFormatContext** format);

// Opens `path` the container way: the demuxer detected among all FFmpeg has, and for a format
// without a header (MPEG program streams, FLV) its first packets read, which make its streams.
// Returns 0 or FFmpeg's negative error code, as OpenLocalInput.
int OpenDetectedInput(const std::string& path, AVFormatContext** format);
// The same; throws EClipvaneError naming the file (see FileProblem).
TInput OpenContainer(const std::string& path);

// Index of the first video stream (attached pictures, such as covers, do not count), or -1.
int FirstVideoStream(const AVFormatContext* format);
// The same; throws "PATH: the file has no video stream".
int VideoStreamOf(const AVFormatContext* format, const std::string& path);

// From here on the demuxer gives the packets of stream `streamIndex` only and skips the
// others' (-1: every stream's again).
void ReadOnlyStream(AVFormatContext* format, int streamIndex);

// The one decoder open, for the stream with `threads` threads (0: one a core); pictures above
// what a bitmap can hold are refused while decoding. Throws "PATH: no decoder for the video
// codec "NAME"" or "PATH: the video cannot be decoded".
AVCodecContext* OpenDecoder(const AVStream* stream, const std::string& path, int threads);

// The container's name as users know it, for `clipvane-cli info`: the one of the demuxer's
// names the file's extension matches ("mp4", "mov", "webm"), else for MP4-style files the
// name the file's brand gives, "mkv" for other Matroska files, else the demuxer's first
// name ("mpegts", "flv").
std::string ContainerName(const AVFormatContext* format, const std::string& path);

// The codec's short name ("h264", "hevc", "vp9"), or its four-character code when FFmpeg
// does not know it.
std::string CodecName(const AVCodecParameters* parameters);

// What is wrong with the file, in words, when opening it failed with FFmpeg's error code:
// "the file is empty", "not a video file this program can read", "the file has no video
// stream", or the system's text ("No such file or directory").
std::string FileProblem(const std::string& path, int code);

// "PATH: problem" as an EClipvaneError.
[[noreturn]] void FailFile(const std::string& path, const std::string& problem);
// FFmpeg's text for an error code, or "Unknown error code".
std::string FfmpegText(int code);
// The extension of the file's name in lower case, without the dot ("" for none).
std::string Extension(const std::string& path);

}  // namespace clipvane::video
