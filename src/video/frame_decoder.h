// TFrameDecoder: frame n of a container's video stream as a decoded picture, by its frame
// index. Reading forward decodes on and never seeks; a jump seeks to the key packet the frame
// decodes from (checking where the demuxer really landed, and going back further when it
// landed late) and decodes forward to the exact picture; the pictures decoded since the last
// key picture are kept, so reading backward decodes each group of pictures once. Pictures are
// known by their timestamps, so those the index does not number (edit-list leaders, pictures
// that cannot be decoded) are passed over. Private to the video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "video/frame_index.h"
#include "video/video_input.h"

namespace clipvane::video {

class TFrameDecoder {
 public:
  // Opens its own demuxer and decoder on the file (`threads` decoding threads, 0: one a
  // core). Throws EClipvaneError naming the file when it cannot.
  TFrameDecoder(const std::string& path, std::shared_ptr<const TFrameIndex> index, int threads);
  ~TFrameDecoder();
  TFrameDecoder(const TFrameDecoder&) = delete;
  TFrameDecoder& operator=(const TFrameDecoder&) = delete;

  const TFrameIndex& Index() const { return *index_; }

  // The picture of frame n: its own, or when the stream gives none for n the last one before
  // it (the first one after it when there is none before). Null for n outside the frames or
  // when the stream gives no picture at all. Valid until the next call. Throws
  // std::bad_alloc when memory runs out.
  const AVFrame* Picture(std::int64_t n);

  // Called before each seek with the frame number of the key picture it goes to (tests).
  std::function<void(std::int64_t keyFrame)> OnSeek;

 private:
  struct TKept {
    std::int64_t Frame;
    AVFrame* Picture;
    std::size_t Bytes;
  };

  void Release();
  void Restart();
  bool SeekToKey(std::int32_t key);
  bool ReadPacket();
  bool ReceivePicture(std::int64_t& frame);
  bool NextPicture(std::int64_t& frame);
  void TakeAsCurrent(std::int64_t frame);
  void TakeAsPending(std::int64_t frame);
  void Remember(const AVFrame* picture, std::int64_t frame);
  void Forget();
  const AVFrame* Recalled(std::int64_t n) const;
  void ResetDecoding();

  std::string path_;
  std::shared_ptr<const TFrameIndex> index_;
  int threads_;
  TInput input_;
  int streamIndex_ = -1;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool holding_ = false;  // packet_ holds the key packet a seek landed on, not yet sent
  AVFrame* picture_ = nullptr;
  AVFrame* current_ = nullptr;
  AVFrame* pending_ = nullptr;
  bool haveCurrent_ = false, havePending_ = false;
  std::int64_t currentFrame_ = -1, pendingFrame_ = -1;
  // The packet the demuxer gives next (index into the frame index's packets); -1: unknown.
  std::int64_t nextPacket_ = -1;
  // Pictures before this timestamp come from before the key packet decoding started at.
  std::int64_t floorPts_ = kNoTimestamp;
  // Pictures given since decoding started at the start of the file (counted numbering).
  std::int64_t counted_ = 0;
  bool demuxEnded_ = false;
  std::deque<TKept> kept_;
  std::size_t keptBytes_ = 0;
};

}  // namespace clipvane::video
