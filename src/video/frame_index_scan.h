// Building a container's frame index: every packet of the video stream read once without
// decoding (the first picture alone is decoded, for its true size and colours), kept per
// file while the file stays as it is. Private to the video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
}

#include <functional>
#include <memory>
#include <string>

#include "video/frame_index.h"

namespace clipvane::video {

// Progress of a long scan: position of maximum, called now and then.
using TScanProgress = std::function<void(int position, int maximum)>;

// The index of the stream `streamIndex` of `format` (opened the container way, standing at
// the start of the file). A file that was indexed before and has not changed since (same
// size, same modification time) is not read again. The scan leaves `format` at the end of
// the file. Throws EClipvaneError naming the file: "Corrupt index in "PATH"" for a packet
// or index entry larger than the file, "PATH: the video has no pictures" when no picture
// can be found, "PATH: the pictures are too large" beyond what a bitmap can hold.
std::shared_ptr<const TFrameIndex> FrameIndexOf(const std::string& path, AVFormatContext* format, int streamIndex,
                                                const TScanProgress& progress = {});

// The index as FrameIndexOf last made it for the file, without reading anything; null when
// the file was not indexed or has changed since.
std::shared_ptr<const TFrameIndex> CachedFrameIndex(const std::string& path);

}  // namespace clipvane::video
