// What the AVI frame reader, its cursor and the AVI probe share about an AVI file opened with
// libavformat: opening it with the AVI demuxer, counting its frames, and telling a corrupt
// index. Private to the video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <string>

namespace clipvane::avi {

// Opens the local file with the AVI demuxer (whatever its name; a file that is not an AVI is
// refused). Returns 0 and the context, or FFmpeg's negative error code.
int OpenAviInput(const std::string& path, AVFormatContext** format);

// The file's size in bytes as the demuxer sees it, or -1 when it cannot tell.
std::int64_t FileBytes(AVFormatContext* format);

// The most frames a file of this size can hold: every frame, a drop frame too, takes at least
// an 8-byte chunk header or index entry. No limit (INT64_MAX) for an unknown size.
std::int64_t MaxFramesIn(std::int64_t fileBytes);

// Frames the stream's index proves, drop frames included: the span of its timestamps (one
// tick a frame; the index leaves drop frames out but counts them in the timestamps), never
// more than the file can hold. The header's frame count is only a claim and is not used.
// -1 when the demuxer has no index for the stream (a file cut off before its index).
std::int64_t IndexedFrameCount(const AVStream* stream, std::int64_t fileBytes);

// Counts the stream's frames by reading every packet (the gaps left by drop frames count),
// never more than the file can hold; leaves the demuxer at the end of the file.
std::int64_t CountFramesByReading(AVFormatContext* format, int streamIndex);

// True when an entry of any stream's index has a size that no file can back: negative or
// more than the whole file. The demuxer trips over such an entry as if memory had run out.
bool HasImpossibleIndexEntry(const AVFormatContext* format, std::int64_t fileBytes);

}  // namespace clipvane::avi
