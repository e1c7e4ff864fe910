// What the frame reader and the probe share about an AVI file opened with libavformat:
// opening it with the AVI demuxer, finding its first video stream, and counting its frames.
// Private to the video layer: the only header here that includes FFmpeg.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <string>

namespace clipvane::avi {

// Keeps FFmpeg's own messages off the terminal: errors reach the user through our messages.
void QuietFfmpegLog();

// Opens the file with the AVI demuxer (whatever its name; a file that is not an AVI is
// refused). Returns 0 and the context, or FFmpeg's negative error code.
int OpenAviInput(const std::string& path, AVFormatContext** format);

// Index of the first video stream (attached pictures do not count), or -1.
int FirstVideoStream(const AVFormatContext* format);

// Frames covered by the stream's index, drop frames included: the larger of the header's
// frame count and the span of the index timestamps (one tick per frame). -1 when the
// demuxer has no index for the stream (a file cut off before its index, for example).
std::int64_t IndexedFrameCount(const AVStream* stream);

// Counts the stream's frames by reading every packet (the gaps left by drop frames count);
// leaves the demuxer at the end of the file.
std::int64_t CountFramesByReading(AVFormatContext* format, int streamIndex);

}  // namespace clipvane::avi
