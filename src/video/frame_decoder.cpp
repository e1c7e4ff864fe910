// Finding frame n of a container's video: seeking by the frame index, landing checks,
// decoding forward, and the pictures kept for reading back.
#include "video/frame_decoder.h"

#include <algorithm>
#include <new>

#include "core/bitmap.h"

namespace clipvane::video {

namespace {

// A key packet this many packets or fewer past the next one is not worth a seek: decoding on
// is about as cheap.
constexpr std::int64_t kForwardSeekSlack = 2;
// Decoded pictures kept for reading back without decoding again, in bytes.
constexpr std::size_t kKeptBytes = std::size_t{128} << 20;
// Seeks tried, each to the key packet before the last, before starting from the file's start.
constexpr int kSeekAttempts = 3;

bool IsKeyPicture(const AVFrame* picture) {
#ifdef AV_FRAME_FLAG_KEY
  return (picture->flags & AV_FRAME_FLAG_KEY) != 0;
#else
  return picture->key_frame != 0;
#endif
}

void CheckMemory(int code) {
  if (code == AVERROR(ENOMEM)) throw std::bad_alloc();
}

}  // namespace

TFrameDecoder::TFrameDecoder(const std::string& path, std::shared_ptr<const TFrameIndex> index, int threads)
    : path_(path), index_(std::move(index)), threads_(threads) {
  packet_ = av_packet_alloc();
  picture_ = av_frame_alloc();
  current_ = av_frame_alloc();
  pending_ = av_frame_alloc();
  try {
    if (!packet_ || !picture_ || !current_ || !pending_) throw std::bad_alloc();
    Restart();
  } catch (...) {
    Release();
    throw;
  }
}

TFrameDecoder::~TFrameDecoder() { Release(); }

void TFrameDecoder::Release() {
  Forget();
  av_frame_free(&pending_);
  av_frame_free(&current_);
  av_frame_free(&picture_);
  av_packet_free(&packet_);
  avcodec_free_context(&codec_);
  input_.reset();
}

void TFrameDecoder::ResetDecoding() {
  if (codec_) avcodec_flush_buffers(codec_);
  av_frame_unref(picture_);
  av_frame_unref(current_);
  av_frame_unref(pending_);
  av_packet_unref(packet_);
  haveCurrent_ = havePending_ = holding_ = false;
  currentFrame_ = pendingFrame_ = -1;
  demuxEnded_ = false;
  Forget();
}

// The demuxer at the start of the file, which every format can give: opened afresh.
void TFrameDecoder::Restart() {
  ResetDecoding();
  input_.reset();
  input_ = OpenContainer(path_);
  streamIndex_ = VideoStreamOf(input_.get(), path_);
  for (unsigned i = 0; i < input_->nb_streams; ++i)
    input_->streams[i]->discard = static_cast<int>(i) == streamIndex_ ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  if (!codec_) {
    codec_ = OpenDecoder(input_->streams[streamIndex_], path_, threads_);
    codec_->max_pixels = TBitmap::MaxPixelBytes / 4;
  }
  nextPacket_ = 0;
  floorPts_ = kNoTimestamp;
  counted_ = 0;
}

bool TFrameDecoder::SeekToKey(std::int32_t key) {
  const auto& packets = index_->Packets;
  if (OnSeek) OnSeek(index_->FrameOfPts(packets[static_cast<std::size_t>(key)].Pts));
  AVStream* stream = input_->streams[streamIndex_];
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
    if (avformat_seek_file(input_.get(), streamIndex_, INT64_MIN, stamp, stamp, 0) < 0 &&
        av_seek_frame(input_.get(), streamIndex_, stamp, AVSEEK_FLAG_BACKWARD) < 0)
      break;
    // Decoding can start at a key packet only; where the demuxer landed is checked against
    // the index, since some containers seek only roughly.
    std::int64_t landed = -1;
    while (true) {
      const int read = av_read_frame(input_.get(), packet_);
      CheckMemory(read);
      if (read < 0) break;
      if (packet_->stream_index == streamIndex_ && (packet_->flags & AV_PKT_FLAG_KEY)) {
        landed = index_->PacketAt(packet_->pos, packet_->pts != AV_NOPTS_VALUE ? packet_->pts : kNoTimestamp,
                                  packet_->dts != AV_NOPTS_VALUE ? packet_->dts : kNoTimestamp);
        break;
      }
      av_packet_unref(packet_);
    }
    if (landed >= 0 && landed <= key) {
      holding_ = true;
      nextPacket_ = landed;
      floorPts_ = packets[static_cast<std::size_t>(landed)].Pts;
      return true;
    }
    av_packet_unref(packet_);
    // Landed past the key, or somewhere the index does not know: aim at the key before.
    do --target;
    while (target >= 0 && !packets[static_cast<std::size_t>(target)].Key);
    if (target < 0) break;
  }
  Restart();
  return true;
}

bool TFrameDecoder::ReadPacket() {
  if (holding_) {
    holding_ = false;
  } else {
    while (true) {
      const int read = av_read_frame(input_.get(), packet_);
      CheckMemory(read);
      if (read < 0) return false;
      if (packet_->stream_index == streamIndex_) break;
      av_packet_unref(packet_);
    }
  }
  CheckMemory(avcodec_send_packet(codec_, packet_));  // any other failure: a broken packet, skipped
  av_packet_unref(packet_);
  if (nextPacket_ >= 0) ++nextPacket_;
  return true;
}

bool TFrameDecoder::ReceivePicture(std::int64_t& frame) {
  int failures = 0;
  while (true) {
    const int received = avcodec_receive_frame(codec_, picture_);
    if (received == 0) {
      if (index_->Counted) {
        frame = counted_++;
        if (frame < index_->FrameCount()) return true;
        av_frame_unref(picture_);
        continue;
      }
      const std::int64_t stamp = picture_->best_effort_timestamp;
      frame = index_->FrameOfPts(stamp == AV_NOPTS_VALUE ? kNoTimestamp : stamp);
      // Not a picture the index numbers (an edit list's leader, or one shown before the key
      // packet decoding started at, which refers to pictures never decoded): passed over.
      if (frame >= 0 && (floorPts_ == kNoTimestamp || stamp >= floorPts_)) return true;
      av_frame_unref(picture_);
      continue;
    }
    if (received == AVERROR_EOF) return false;
    CheckMemory(received);
    if (received != AVERROR(EAGAIN) && ++failures > 1000) return false;  // a decoder that only fails
    if (demuxEnded_) {
      if (received == AVERROR(EAGAIN)) return false;
      continue;
    }
    if (!ReadPacket()) {
      // The end of the file, or data too broken to go on: what the decoder holds comes out.
      demuxEnded_ = true;
      avcodec_send_packet(codec_, nullptr);
    }
  }
}

bool TFrameDecoder::NextPicture(std::int64_t& frame) {
  if (havePending_) {
    av_frame_unref(picture_);
    av_frame_move_ref(picture_, pending_);
    havePending_ = false;
    frame = pendingFrame_;
    return true;
  }
  return ReceivePicture(frame);
}

void TFrameDecoder::TakeAsCurrent(std::int64_t frame) {
  av_frame_unref(current_);
  av_frame_move_ref(current_, picture_);
  haveCurrent_ = true;
  currentFrame_ = frame;
  Remember(current_, frame);
}

void TFrameDecoder::TakeAsPending(std::int64_t frame) {
  av_frame_unref(pending_);
  av_frame_move_ref(pending_, picture_);
  havePending_ = true;
  pendingFrame_ = frame;
}

void TFrameDecoder::Remember(const AVFrame* picture, std::int64_t frame) {
  // A jump never decodes from before the newest key picture to reach what follows it, so
  // what came before it is not worth its memory; out of order: start afresh.
  if (IsKeyPicture(picture) || (!kept_.empty() && kept_.back().Frame >= frame)) Forget();
  AVFrame* copy = av_frame_clone(picture);  // a new reference to the same buffers
  if (!copy) throw std::bad_alloc();
  std::size_t bytes = 0;
  for (const AVBufferRef* buffer : copy->buf)
    if (buffer) bytes += buffer->size;
  kept_.push_back({frame, copy, bytes});
  keptBytes_ += bytes;
  while (keptBytes_ > kKeptBytes && kept_.size() > 1) {
    keptBytes_ -= kept_.front().Bytes;
    av_frame_free(&kept_.front().Picture);
    kept_.pop_front();
  }
}

void TFrameDecoder::Forget() {
  for (TKept& kept : kept_) av_frame_free(&kept.Picture);
  kept_.clear();
  keptBytes_ = 0;
}

const AVFrame* TFrameDecoder::Recalled(std::int64_t n) const {
  if (kept_.empty() || n < kept_.front().Frame || n > kept_.back().Frame) return nullptr;
  // The last picture at or before n: n itself, or the one standing for a missing picture.
  const auto after = std::upper_bound(kept_.begin(), kept_.end(), n,
                                      [](std::int64_t value, const TKept& kept) { return value < kept.Frame; });
  return std::prev(after)->Picture;
}

const AVFrame* TFrameDecoder::Picture(std::int64_t n) {
  if (n < 0 || n >= index_->FrameCount()) return nullptr;
  if (haveCurrent_ && currentFrame_ == n) return current_;
  if (haveCurrent_ && currentFrame_ < n && havePending_ && pendingFrame_ > n) return current_;
  if (const AVFrame* kept = Recalled(n)) return kept;

  // Frames below the next picture cannot come out without starting again.
  const std::int64_t next = havePending_ ? pendingFrame_ : haveCurrent_ ? currentFrame_ + 1 : -1;
  if (index_->Counted) {
    if (n < (havePending_ ? pendingFrame_ : counted_)) Restart();
  } else {
    const std::int32_t key = index_->StartKey[static_cast<std::size_t>(n)];
    if (nextPacket_ < 0 || n < next || key > nextPacket_ + kForwardSeekSlack) SeekToKey(key);
  }

  bool retried = false;
  while (true) {
    std::int64_t frame = 0;
    if (!NextPicture(frame)) {
      // Past the last picture: frames the index still numbers show the last one.
      if (haveCurrent_ && currentFrame_ < n) return current_;
      return nullptr;
    }
    if (frame <= n) {
      TakeAsCurrent(frame);
      if (frame == n) return current_;
      continue;
    }
    if (haveCurrent_) {
      TakeAsPending(frame);
      return current_;
    }
    // Nothing at or before n came out from that key packet: once from the key before it.
    if (!retried && !index_->Counted) {
      retried = true;
      std::int32_t earlier = index_->StartKey[static_cast<std::size_t>(n)] - 1;
      while (earlier >= 0 && !index_->Packets[static_cast<std::size_t>(earlier)].Key) --earlier;
      if (earlier >= 0) {
        SeekToKey(earlier);
        continue;
      }
    }
    TakeAsCurrent(frame);
    return current_;
  }
}

}  // namespace clipvane::video
