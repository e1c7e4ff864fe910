// The decode cursor: decoding on, the picture standing for a frame, and the pictures kept for
// reading back.
#include "video/decode_cursor.h"

#include <algorithm>
#include <new>

namespace clipvane::video {

namespace {

// FFmpeg 6.1 moved the key-picture mark into the flags field and 7 dropped key_frame.
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

TDecodeCursor::TDecodeCursor(std::size_t keptBytes) : keptLimit_(keptBytes) {}

TDecodeCursor::~TDecodeCursor() {
  ReleaseDecoder();
  ReleaseBuffers();
}

void TDecodeCursor::UseInput(AVFormatContext* format, int streamIndex) {
  format_ = format;
  streamIndex_ = streamIndex;
}

bool TDecodeCursor::AllocateBuffers() {
  packet_ = av_packet_alloc();
  picture_ = av_frame_alloc();
  current_ = av_frame_alloc();
  pending_ = av_frame_alloc();
  if (packet_ && picture_ && current_ && pending_) return true;
  ReleaseBuffers();
  return false;
}

void TDecodeCursor::UseDecoder(AVCodecContext* codec) { codec_ = codec; }

void TDecodeCursor::ReleaseDecoder() {
  if (current_) av_frame_unref(current_);
  if (pending_) av_frame_unref(pending_);
  if (picture_) av_frame_unref(picture_);
  haveCurrent_ = havePending_ = false;
  Forget();
  avcodec_free_context(&codec_);
}

void TDecodeCursor::ReleaseBuffers() {
  av_frame_free(&pending_);
  av_frame_free(&current_);
  av_frame_free(&picture_);
  av_packet_free(&packet_);
  holding_ = false;
}

void TDecodeCursor::ResetDecoding() {
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

bool TDecodeCursor::ReadStreamPacket() {
  if (holding_) {
    holding_ = false;
    return true;
  }
  while (true) {
    const int read = av_read_frame(format_, packet_);
    if (read == AVERROR(ENOMEM)) DemuxerOutOfMemory();
    CheckMemory(read);
    if (read < 0) return false;
    if (packet_->stream_index == streamIndex_) return true;
    av_packet_unref(packet_);
  }
}

bool TDecodeCursor::ReceivePicture(std::int64_t& frame) {
  int failures = 0;
  while (true) {
    const int received = avcodec_receive_frame(codec_, picture_);
    if (received == 0) {
      if (const std::optional<std::int64_t> numbered = FrameOf(picture_)) {
        frame = *numbered;
        return true;
      }
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
    if (!ReadStreamPacket()) {
      // The end of the file, or data too broken to go on: what the decoder holds comes out.
      demuxEnded_ = true;
      avcodec_send_packet(codec_, nullptr);
      continue;
    }
    if (Feeds(packet_)) {
      const int sent = avcodec_send_packet(codec_, packet_);
      av_packet_unref(packet_);
      CheckMemory(sent);  // any other failure is a broken packet: skipped
    } else {
      av_packet_unref(packet_);
    }
  }
}

bool TDecodeCursor::NextPicture(std::int64_t& frame) {
  if (havePending_) {
    av_frame_unref(picture_);
    av_frame_move_ref(picture_, pending_);
    havePending_ = false;
    frame = pendingFrame_;
    return true;
  }
  return ReceivePicture(frame);
}

void TDecodeCursor::TakeAsCurrent(std::int64_t frame) {
  av_frame_unref(current_);
  av_frame_move_ref(current_, picture_);
  haveCurrent_ = true;
  currentFrame_ = frame;
  Remember(current_, frame);
}

void TDecodeCursor::TakeAsPending(std::int64_t frame) {
  av_frame_unref(pending_);
  av_frame_move_ref(pending_, picture_);
  havePending_ = true;
  pendingFrame_ = frame;
}

void TDecodeCursor::Remember(const AVFrame* picture, std::int64_t frame) {
  // A jump never decodes from before the newest key picture to reach what follows it, so
  // what came before it is not worth its memory; out of order: start afresh.
  if (IsKeyPicture(picture) || (!kept_.empty() && kept_.back().Frame >= frame)) Forget();
  AVFrame* copy = av_frame_clone(picture);  // a new reference to the same buffers, not a copy
  if (!copy) throw std::bad_alloc();
  std::size_t bytes = 0;
  for (const AVBufferRef* buffer : copy->buf)
    if (buffer) bytes += buffer->size;
  kept_.push_back({frame, copy, bytes});
  keptBytes_ += bytes;
  while (keptBytes_ > keptLimit_ && kept_.size() > 1) {
    keptBytes_ -= kept_.front().Bytes;
    av_frame_free(&kept_.front().Picture);
    kept_.pop_front();
  }
}

void TDecodeCursor::Forget() {
  for (TKept& kept : kept_) av_frame_free(&kept.Picture);
  kept_.clear();
  keptBytes_ = 0;
}

const AVFrame* TDecodeCursor::Recalled(std::int64_t n) const {
  if (kept_.empty() || n < kept_.front().Frame || n > kept_.back().Frame) return nullptr;
  // The last picture at or before n: n itself, or the one standing for a missing picture.
  const auto after = std::upper_bound(kept_.begin(), kept_.end(), n,
                                      [](std::int64_t value, const TKept& kept) { return value < kept.Frame; });
  return std::prev(after)->Picture;
}

const AVFrame* TDecodeCursor::Picture(std::int64_t n) {
  if (haveCurrent_ && currentFrame_ == n) return current_;
  // No picture of its own between the current one and the next: the current one stands for n.
  if (haveCurrent_ && currentFrame_ < n && havePending_ && pendingFrame_ > n) return current_;
  if (const AVFrame* kept = Recalled(n)) return kept;
  if (!MoveTowards(n)) return nullptr;

  while (true) {
    std::int64_t frame = 0;
    if (!NextPicture(frame)) {
      // Past the last picture: the frames the numbering still counts show it.
      if (haveCurrent_ && currentFrame_ < n && LastStandsFor(n)) return current_;
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
    switch (GoBackFurther(n)) {
      case TGoBack::gbWent:
        continue;
      case TGoBack::gbFailed:
        return nullptr;
      case TGoBack::gbCannot:
        TakeAsCurrent(frame);
        return current_;
    }
  }
}

}  // namespace clipvane::video
