// The media player's decoders: an AVI's (numbered by its index ticks) and any other
// container's (by its frame index, through the picture converter).
#include "video/player_pictures.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "video/avi_input.h"
#include "video/frame_decoder.h"
#include "video/frame_index_scan.h"
#include "video/picture_converter.h"
#include "video/video_input.h"

namespace clipvane::video {

namespace {

[[noreturn]] void FailWith(int code) { throw EClipvaneError(FfmpegText(code)); }

// An AVI's pictures as 24 bits, reading forward from where it stands and seeking to the
// nearest earlier key frame only when that is closer.
class TAviPictures : public TPlayerPictures {
 public:
  TAviPictures() = default;
  TAviPictures(const TAviPictures&) = delete;
  TAviPictures& operator=(const TAviPictures&) = delete;
  ~TAviPictures() override {
    sws_freeContext(scaler_);
    av_frame_free(&current_);
    av_frame_free(&ahead_);
    av_packet_free(&packet_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
  }

  void Open(const std::string& path, int width, int height) {
    width_ = width;
    height_ = height;
    if (const int opened = avi::OpenAviInput(path, &format_); opened < 0) FailWith(opened);
    streamIndex_ = avi::FirstVideoStream(format_);
    if (streamIndex_ < 0) FailWith(AVERROR_STREAM_NOT_FOUND);
    for (unsigned i = 0; i < format_->nb_streams; ++i)
      if (static_cast<int>(i) != streamIndex_) format_->streams[i]->discard = AVDISCARD_ALL;
    AVStream* stream = format_->streams[streamIndex_];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!decoder) FailWith(AVERROR_DECODER_NOT_FOUND);
    codec_ = avcodec_alloc_context3(decoder);
    packet_ = av_packet_alloc();
    current_ = av_frame_alloc();
    ahead_ = av_frame_alloc();
    if (!codec_ || !packet_ || !current_ || !ahead_) FailWith(AVERROR(ENOMEM));
    if (const int copied = avcodec_parameters_to_context(codec_, stream->codecpar); copied < 0) FailWith(copied);
    codec_->thread_count = 1;
    if (const int opened = avcodec_open2(codec_, decoder, nullptr); opened < 0) FailWith(opened);
    startTs_ = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;
  }

  std::shared_ptr<const TBitmap> Picture(int number) override {
    if (currentNumber_ == number && picture_) return picture_;
    if (currentNumber_ < 0 || number < currentNumber_ || KeyFrameAfterCurrent(number)) SeekBefore(number);
    while (!(aheadNumber_ > number)) {
      if (aheadNumber_ >= 0) {
        std::swap(current_, ahead_);
        currentNumber_ = aheadNumber_;
        aheadNumber_ = -1;
        picture_.reset();
      }
      if (!DecodeAhead()) break;
    }
    if (currentNumber_ < 0) return nullptr;
    if (!picture_) picture_ = Convert(current_);
    return picture_;
  }

 private:
  // True when a key frame lies between the current picture and `number`: seeking there is
  // shorter than decoding everything in between.
  bool KeyFrameAfterCurrent(int number) {
    AVStream* stream = format_->streams[streamIndex_];
    const int entry = av_index_search_timestamp(stream, startTs_ + number, AVSEEK_FLAG_BACKWARD);
    if (entry < 0) return false;
    const AVIndexEntry* key = avformat_index_get_entry(stream, entry);
    return key && key->timestamp - startTs_ > currentNumber_ + 1;
  }

  void SeekBefore(int number) {
    av_seek_frame(format_, streamIndex_, startTs_ + number, AVSEEK_FLAG_BACKWARD);
    avcodec_flush_buffers(codec_);
    currentNumber_ = -1;
    aheadNumber_ = -1;
    lastNumber_ = -1;
    draining_ = false;
    picture_.reset();
    attachPalette_ = !palette_.empty();
  }

  // Decodes the next picture into ahead_; false at the end of the stream.
  bool DecodeAhead() {
    for (;;) {
      const int received = avcodec_receive_frame(codec_, ahead_);
      if (received == 0) {
        const std::int64_t ts = ahead_->best_effort_timestamp;
        aheadNumber_ = ts != AV_NOPTS_VALUE ? static_cast<int>(std::max<std::int64_t>(0, ts - startTs_))
                                            : lastNumber_ + 1;
        // A picture may not go back in time; a broken timestamp takes the next number.
        if (aheadNumber_ <= lastNumber_) aheadNumber_ = lastNumber_ + 1;
        lastNumber_ = aheadNumber_;
        return true;
      }
      if (received != AVERROR(EAGAIN) || draining_) return false;
      if (av_read_frame(format_, packet_) < 0) {
        draining_ = true;
        avcodec_send_packet(codec_, nullptr);
        continue;
      }
      if (packet_->stream_index == streamIndex_ && packet_->size > 0) {
        KeepPalette();
        // A packet the decoder refuses is skipped: damaged data shows the last good picture.
        avcodec_send_packet(codec_, packet_);
      }
      av_packet_unref(packet_);
    }
  }

  // The stream's colour table comes with the first packet only; it is kept and given again
  // to the first packet after a seek, or palette pictures would come out black.
  void KeepPalette() {
    std::size_t size = 0;
    if (const std::uint8_t* data = av_packet_get_side_data(packet_, AV_PKT_DATA_PALETTE, &size)) {
      palette_.assign(data, data + size);
      attachPalette_ = false;
    } else if (attachPalette_) {
      if (std::uint8_t* copy = av_packet_new_side_data(packet_, AV_PKT_DATA_PALETTE, palette_.size()))
        std::memcpy(copy, palette_.data(), palette_.size());
      attachPalette_ = false;
    }
  }

  std::shared_ptr<const TBitmap> Convert(const AVFrame* frame) {
    if (frame->width <= 0 || frame->height <= 0) return nullptr;
    scaler_ = sws_getCachedContext(scaler_, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                   width_, height_, AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    if (!scaler_) return nullptr;
    auto picture = std::make_shared<TBitmap>(width_, height_, TPixelFormat::pf24bit);
    std::uint8_t* target[4] = {picture->ScanLine(0), nullptr, nullptr, nullptr};
    const int stride[4] = {static_cast<int>(picture->Stride()), 0, 0, 0};
    sws_scale(scaler_, frame->data, frame->linesize, 0, frame->height, target, stride);
    return picture;
  }

  int width_ = 0;
  int height_ = 0;
  AVFormatContext* format_ = nullptr;
  AVCodecContext* codec_ = nullptr;
  AVPacket* packet_ = nullptr;
  AVFrame* current_ = nullptr;  // the picture at currentNumber_
  AVFrame* ahead_ = nullptr;    // the next decoded picture, at aheadNumber_
  SwsContext* scaler_ = nullptr;
  int streamIndex_ = -1;
  std::int64_t startTs_ = 0;
  int currentNumber_ = -1;
  int aheadNumber_ = -1;
  int lastNumber_ = -1;
  bool draining_ = false;
  std::vector<std::uint8_t> palette_;
  bool attachPalette_ = false;
  std::shared_ptr<const TBitmap> picture_;  // current_ converted, made on demand
};

// Any other container's pictures, upright and with square pixels.
class TContainerPictures : public TPlayerPictures {
 public:
  TContainerPictures(const std::string& path, std::shared_ptr<const TFrameIndex> index)
      : decoder_(path, index, 0), converter_(index->Geometry) {}

  // Runs on the player's worker, where an error has nobody to go to: a picture that cannot
  // be made is not shown.
  std::shared_ptr<const TBitmap> Picture(int number) override {
    try {
      const AVFrame* frame = decoder_.Picture(number);
      if (!frame) return nullptr;
      auto picture = std::make_shared<TBitmap>();
      converter_.Convert(frame, *picture);
      return picture;
    } catch (const std::exception&) {
      return nullptr;
    }
  }

 private:
  TFrameDecoder decoder_;
  TPictureConverter converter_;
};

}  // namespace

std::unique_ptr<TPlayerPictures> OpenAviPictures(const std::string& path, int width, int height) {
  auto pictures = std::make_unique<TAviPictures>();
  pictures->Open(path, width, height);
  return pictures;
}

std::unique_ptr<TPlayerPictures> OpenContainerPictures(const std::string& path) {
  std::shared_ptr<const TFrameIndex> index = CachedFrameIndex(path);
  if (!index) {
    TInput input = OpenContainer(path);
    index = FrameIndexOf(path, input.get(), VideoStreamOf(input.get(), path));
  }
  return std::make_unique<TContainerPictures>(path, index);
}

}  // namespace clipvane::video
