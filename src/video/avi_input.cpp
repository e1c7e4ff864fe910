// Opening AVI files and counting their frames with libavformat.
#include "video/avi_input.h"

#include <algorithm>

#include "video/video_input.h"

namespace clipvane::avi {

int OpenAviInput(const std::string& path, AVFormatContext** format) {
  *format = nullptr;
  const AVInputFormat* demuxer = av_find_input_format("avi");
  if (!demuxer) return AVERROR_DEMUXER_NOT_FOUND;
  return video::OpenLocalInput(path, demuxer, format);
}

std::int64_t FileBytes(AVFormatContext* format) { return format->pb ? avio_size(format->pb) : -1; }

std::int64_t MaxFramesIn(std::int64_t fileBytes) { return fileBytes < 0 ? INT64_MAX : fileBytes / 8; }

std::int64_t IndexedFrameCount(const AVStream* stream, std::int64_t fileBytes) {
  const int entries = avformat_index_get_entries_count(stream);
  if (entries <= 0) return -1;
  std::int64_t first = INT64_MAX, last = INT64_MIN;
  for (int i = 0; i < entries; ++i) {
    const AVIndexEntry* entry = avformat_index_get_entry(const_cast<AVStream*>(stream), i);
    first = std::min(first, entry->timestamp);
    last = std::max(last, entry->timestamp);
  }
  // Timestamps come from the index's own entries, but a hostile one can still be far off.
  const std::int64_t span = last - first < INT64_MAX - 1 ? last - first + 1 : INT64_MAX;
  return std::min({std::max<std::int64_t>(span, entries), MaxFramesIn(fileBytes)});
}

std::int64_t CountFramesByReading(AVFormatContext* format, int streamIndex) {
  const std::int64_t fileBytes = FileBytes(format);
  AVPacket* packet = av_packet_alloc();
  if (!packet) return -1;
  video::ReadOnlyStream(format, streamIndex);
  std::int64_t firstDts = AV_NOPTS_VALUE, lastDts = AV_NOPTS_VALUE, packets = 0;
  while (av_read_frame(format, packet) >= 0) {
    if (packet->stream_index == streamIndex && packet->dts != AV_NOPTS_VALUE) {
      ++packets;
      if (firstDts == AV_NOPTS_VALUE || packet->dts < firstDts) firstDts = packet->dts;
      if (lastDts == AV_NOPTS_VALUE || packet->dts > lastDts) lastDts = packet->dts;
    } else if (packet->stream_index == streamIndex) {
      ++packets;
    }
    av_packet_unref(packet);
  }
  av_packet_free(&packet);
  // Timestamps count the drop frames between packets; without them, count the packets.
  const std::int64_t span = firstDts == AV_NOPTS_VALUE || lastDts - firstDts >= INT64_MAX - 1 ? packets
                                                                                              : lastDts - firstDts + 1;
  return std::min(std::max(packets, span), MaxFramesIn(fileBytes));
}

bool HasImpossibleIndexEntry(const AVFormatContext* format, std::int64_t fileBytes) {
  for (unsigned s = 0; s < format->nb_streams; ++s) {
    AVStream* stream = format->streams[s];
    const int entries = avformat_index_get_entries_count(stream);
    for (int i = 0; i < entries; ++i) {
      const int size = avformat_index_get_entry(stream, i)->size;
      if (size < 0 || (fileBytes >= 0 && size > fileBytes)) return true;
    }
  }
  return false;
}

}  // namespace clipvane::avi
