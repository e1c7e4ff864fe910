// A container's numbering for the decode cursor: the frame index, seeks checked against it,
// and starting again from the top where timestamps do not tell the pictures apart.
#include "video/index_cursor.h"

#include <new>

#include "core/bitmap.h"

namespace clipvane::video {

namespace {

// Decoded pictures kept for reading back, in bytes.
constexpr std::size_t kKeptBytes = std::size_t{128} << 20;
// A key packet this many packets or fewer past the next one is not worth a seek: decoding on
// is about as cheap.
constexpr std::int64_t kForwardSeekSlack = 2;
// Seeks tried, each to the key packet before the last, before starting from the file's start.
constexpr int kSeekAttempts = 3;

}  // namespace

TIndexCursor::TIndexCursor(const std::string& path, std::shared_ptr<const TFrameIndex> index, int threads)
    : TDecodeCursor(kKeptBytes), path_(path), index_(std::move(index)), threads_(threads) {
  if (!AllocateBuffers()) throw std::bad_alloc();
  Restart();
}

// The decoder goes before the demuxer it was reading from.
TIndexCursor::~TIndexCursor() {
  ReleaseDecoder();
  ReleaseBuffers();
}

void TIndexCursor::Restart() {
  ResetDecoding();
  UseInput(nullptr, -1);
  input_.reset();
  input_ = OpenContainer(path_);
  const int stream = VideoStreamOf(input_.get(), path_);
  ReadOnlyStream(input_.get(), stream);
  UseInput(input_.get(), stream);
  if (!Decoder()) UseDecoder(OpenDecoder(input_->streams[stream], path_, threads_));
  nextPacket_ = 0;
  floorPts_ = kNoTimestamp;
  counted_ = 0;
}

void TIndexCursor::SeekToKey(std::int32_t key) {
  const auto& packets = index_->Packets;
  if (OnSeek) OnSeek(index_->FrameOfPts(packets[static_cast<std::size_t>(key)].Pts));
  AVStream* stream = Input()->streams[StreamIndex()];
  AVPacket* packet = Packet();
  std::int32_t target = key;
  for (int attempt = 0; attempt < kSeekAttempts && !index_->Counted; ++attempt) {
    const TIndexedPacket& aim = packets[static_cast<std::size_t>(target)];
    // The timestamp the demuxer's own index gives the packet (decoding or presentation
    // time, by container); without one, the earlier of the two.
    std::int64_t stamp = kNoTimestamp;
    const int entries = avformat_index_get_entries_count(stream);
    for (int i = 0; i < entries && aim.Position >= 0; ++i)
      if (const AVIndexEntry* entry = avformat_index_get_entry(stream, i); entry->pos == aim.Position) {
        stamp = entry->timestamp;
        break;
      }
    if (stamp == kNoTimestamp)
      stamp = aim.Dts != kNoTimestamp && (aim.Pts == kNoTimestamp || aim.Dts < aim.Pts) ? aim.Dts : aim.Pts;
    if (stamp == kNoTimestamp) break;

    ResetDecoding();
    if (avformat_seek_file(Input(), StreamIndex(), INT64_MIN, stamp, stamp, 0) < 0 &&
        av_seek_frame(Input(), StreamIndex(), stamp, AVSEEK_FLAG_BACKWARD) < 0)
      break;
    // Decoding can start at a key packet only; where the demuxer landed is checked against
    // the index, since some containers seek only roughly.
    std::int64_t landed = -1;
    while (true) {
      const int read = av_read_frame(Input(), packet);
      if (read == AVERROR(ENOMEM)) throw std::bad_alloc();
      if (read < 0) break;
      if (packet->stream_index == StreamIndex() && (packet->flags & AV_PKT_FLAG_KEY)) {
        landed = index_->PacketAt(packet->pos, packet->pts != AV_NOPTS_VALUE ? packet->pts : kNoTimestamp,
                                  packet->dts != AV_NOPTS_VALUE ? packet->dts : kNoTimestamp);
        break;
      }
      av_packet_unref(packet);
    }
    if (landed >= 0 && landed <= key) {
      HoldPacket();
      nextPacket_ = landed;
      floorPts_ = packets[static_cast<std::size_t>(landed)].Pts;
      return;
    }
    av_packet_unref(packet);
    // Landed past the key, or somewhere the index does not know: aim at the key before.
    do --target;
    while (target >= 0 && !packets[static_cast<std::size_t>(target)].Key);
    if (target < 0) break;
  }
  Restart();
}

std::optional<std::int64_t> TIndexCursor::FrameOf(const AVFrame* picture) {
  if (index_->Counted) {
    const std::int64_t frame = counted_++;
    if (frame < index_->FrameCount()) return frame;
    return std::nullopt;
  }
  const std::int64_t stamp = picture->best_effort_timestamp;
  const std::int64_t frame = index_->FrameOfPts(stamp == AV_NOPTS_VALUE ? kNoTimestamp : stamp);
  // Not a picture the index numbers (an edit list's leader, or one shown before the key
  // packet decoding started at, which refers to pictures never decoded): passed over.
  if (frame >= 0 && (floorPts_ == kNoTimestamp || stamp >= floorPts_)) return frame;
  return std::nullopt;
}

bool TIndexCursor::Feeds(const AVPacket*) {
  if (nextPacket_ >= 0) ++nextPacket_;
  return true;
}

bool TIndexCursor::MoveTowards(std::int64_t n) {
  wentBack_ = false;
  // Frames below the next picture cannot come out without starting again.
  if (index_->Counted) {
    if (n < (HasPending() ? PendingFrame() : counted_)) Restart();
    return true;
  }
  const std::int64_t next = HasPending() ? PendingFrame() : HasCurrent() ? CurrentFrame() + 1 : -1;
  const std::int32_t key = index_->StartKey[static_cast<std::size_t>(n)];
  if (nextPacket_ < 0 || n < next || key > nextPacket_ + kForwardSeekSlack) SeekToKey(key);
  return true;
}

TDecodeCursor::TGoBack TIndexCursor::GoBackFurther(std::int64_t n) {
  // Once from the key packet before the one the frame decodes from.
  if (wentBack_ || index_->Counted) return TGoBack::gbCannot;
  wentBack_ = true;
  std::int32_t earlier = index_->StartKey[static_cast<std::size_t>(n)] - 1;
  while (earlier >= 0 && !index_->Packets[static_cast<std::size_t>(earlier)].Key) --earlier;
  if (earlier < 0) return TGoBack::gbCannot;
  SeekToKey(earlier);
  return TGoBack::gbWent;
}

}  // namespace clipvane::video
