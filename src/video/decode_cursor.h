// TDecodeCursor: the decoded picture of frame n of a video stream, for every reader of the
// video layer. Reading forward decodes on from where the last read stopped and never seeks; a
// jump goes back to a key picture and decodes forward; the pictures decoded since the last key
// picture are kept, so that reading backward decodes each group of pictures once. A frame with
// no picture of its own (a drop frame, a gap) shows the picture before it. How frames are
// numbered and where a jump goes belong to a numbering, written once as a subclass: an AVI's
// by its index ticks (TAviCursor), any other container's by its frame index (TIndexCursor).
// Private to the video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>

namespace clipvane::video {

class TDecodeCursor {
 public:
  virtual ~TDecodeCursor();
  TDecodeCursor(const TDecodeCursor&) = delete;
  TDecodeCursor& operator=(const TDecodeCursor&) = delete;

  // The picture of frame n: its own, or when the stream gives none for n the last one before
  // it (the first one after it when the numbering finds none before). Null when the stream
  // has no picture for n. Valid until the next call. Throws std::bad_alloc when memory runs
  // out, or what the numbering throws.
  const AVFrame* Picture(std::int64_t n);

  // Called before each seek with the frame number of the key picture it goes to (tests).
  std::function<void(std::int64_t keyFrame)> OnSeek;

  // What the cursor decodes with, taken in this order and given back in the reverse one:
  // the demuxer (not owned) and its stream, the packet and picture buffers (false when memory
  // runs out, with nothing held), and the decoder (owned from here on).
  void UseInput(AVFormatContext* format, int streamIndex);
  bool AllocateBuffers();
  void UseDecoder(AVCodecContext* codec);
  // Frees the decoder and every picture held (they refer to its buffers).
  void ReleaseDecoder();
  void ReleaseBuffers();

 protected:
  // `keptBytes`: how many bytes of decoded pictures are kept for reading back.
  explicit TDecodeCursor(std::size_t keptBytes);

  // The numbering.
  // The frame number of a picture the decoder just gave; nothing to pass over it.
  virtual std::optional<std::int64_t> FrameOf(const AVFrame* picture) = 0;
  // Sees each packet of the stream before the decoder does; false keeps it from the decoder.
  virtual bool Feeds(const AVPacket* /*packet*/) { return true; }
  // Before decoding towards frame n, which no picture held gives: goes back to where n decodes
  // from when reading on cannot reach it or costs more. False when n cannot be reached.
  virtual bool MoveTowards(std::int64_t n) = 0;
  // Nothing at or before n came out from where decoding started.
  enum class TGoBack { gbWent, gbCannot, gbFailed };
  // Goes back further (gbWent); gbCannot: the first picture after n stands for it; gbFailed:
  // n has no picture.
  virtual TGoBack GoBackFurther(std::int64_t n) = 0;
  // After the stream's last picture: whether that picture stands for frame n.
  virtual bool LastStandsFor(std::int64_t /*n*/) const { return true; }
  // The demuxer ran out of memory: a numbering that knows a better reason throws it.
  virtual void DemuxerOutOfMemory() const {}

  // For the numberings.
  // Drops every picture and packet held and flushes the decoder: decoding starts afresh from
  // wherever the demuxer stands.
  void ResetDecoding();
  // The packet just read into Packet() goes to the decoder before any other.
  void HoldPacket() { holding_ = true; }
  // The next picture from the decoder, feeding it packets as needed; false at the end.
  bool ReceivePicture(std::int64_t& frame);
  // Makes the picture ReceivePicture gave the current one, at `frame`.
  void TakeAsCurrent(std::int64_t frame);
  bool HasCurrent() const { return haveCurrent_; }
  std::int64_t CurrentFrame() const { return currentFrame_; }
  bool HasPending() const { return havePending_; }
  std::int64_t PendingFrame() const { return pendingFrame_; }
  AVFormatContext* Input() const { return format_; }
  int StreamIndex() const { return streamIndex_; }
  AVCodecContext* Decoder() const { return codec_; }
  AVPacket* Packet() const { return packet_; }
  // The picture ReceivePicture just gave.
  const AVFrame* Received() const { return picture_; }

 private:
  struct TKept {
    std::int64_t Frame;
    AVFrame* Picture;
    std::size_t Bytes;
  };

  // The next packet of the stream into packet_ (the held one first); false at the end.
  bool ReadStreamPacket();
  bool NextPicture(std::int64_t& frame);
  void TakeAsPending(std::int64_t frame);
  void Remember(const AVFrame* picture, std::int64_t frame);
  void Forget();
  const AVFrame* Recalled(std::int64_t n) const;

  std::size_t keptLimit_;
  AVFormatContext* format_ = nullptr;
  int streamIndex_ = -1;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool holding_ = false;
  AVFrame* picture_ = nullptr;  // where the decoder delivers
  AVFrame* current_ = nullptr;  // the last picture handed out, at currentFrame_
  AVFrame* pending_ = nullptr;  // a picture decoded past the last request, at pendingFrame_
  bool haveCurrent_ = false, havePending_ = false;
  std::int64_t currentFrame_ = -1, pendingFrame_ = -1;
  bool demuxEnded_ = false;
  // The pictures decoded since the last key picture, oldest first, up to the current one;
  // within their span every frame is among them or shows one of them.
  std::deque<TKept> kept_;
  std::size_t keptBytes_ = 0;
};

}  // namespace clipvane::video
