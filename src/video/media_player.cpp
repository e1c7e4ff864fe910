// TMediaPlayer: the play state on the clock's time line, and the worker thread that decodes
// the frame due at each moment and hands it to the display sink.
#include "video/media_player.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/error.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/error.h"
#include "video/avi_input.h"
#include "video/video_probe.h"

namespace clipvane {

namespace {

[[noreturn]] void FailWith(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0 || text[0] == '\0') throw EClipvaneError("Unknown error code");
  throw EClipvaneError(text);
}

// The player's own decoder: the picture of any frame number as 24 bits, reading forward
// from where it stands and seeking to the nearest earlier key frame only when that is closer.
class TPlayerDecoder {
 public:
  TPlayerDecoder() = default;
  TPlayerDecoder(const TPlayerDecoder&) = delete;
  TPlayerDecoder& operator=(const TPlayerDecoder&) = delete;
  ~TPlayerDecoder() {
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

  // The picture showing at frame `number` (the last picture at or before it), or null when
  // the stream has none there.
  std::shared_ptr<const TBitmap> Picture(int number) {
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

}  // namespace

struct TMediaPlayer::TDevice {
  TVideoInfo Info;
  TPlayerDecoder Decoder;
  TMPTimeFormats Format = TMPTimeFormats::tfMilliseconds;
  TMPModes Mode = TMPModes::mpStopped;
  // Positions are kept as microseconds of video time; frame k starts at FrameTime(k).
  std::int64_t Time = 0;  // the position unless playing
  std::int64_t EndTime = 0;
  // While playing: the video time PlayFrom was at clock time PlayClockStart; the play ends at PlayTo.
  std::int64_t PlayClockStart = 0;
  std::int64_t PlayFrom = 0;
  std::int64_t PlayTo = 0;
  // Worker signals.
  bool Quit = false;
  std::uint64_t Wakes = 0;
  bool ShowAgain = true;

  std::int64_t FrameTime(std::int64_t frame) const {
    // Rounded up, so that the frame of FrameTime(k) is k again.
    return av_rescale_rnd(frame, std::int64_t{1000000} * Info.FrameRateDenominator, Info.FrameRateNumerator,
                          AV_ROUND_UP);
  }
  std::int64_t FrameAt(std::int64_t time) const {
    return av_rescale_rnd(time, Info.FrameRateNumerator, std::int64_t{1000000} * Info.FrameRateDenominator,
                          AV_ROUND_DOWN);
  }
};

TMediaPlayer::TMediaPlayer(std::shared_ptr<TPlayerClock> clock)
    : clock_(clock ? std::move(clock) : std::make_shared<TSteadyPlayerClock>()) {
  clockListener_ = clock_->AddListener([this] {
    std::lock_guard lock(mutex_);
    WakeLocked();
  });
}

TMediaPlayer::~TMediaPlayer() {
  Close();
  clock_->RemoveListener(clockListener_);
}

void TMediaPlayer::Open() {
  Close();
  const TVideoInfo info = ProbeVideo(fileName_);
  auto device = std::make_unique<TDevice>();
  device->Info = info;
  if (info.FrameRateNumerator <= 0 || info.FrameRateDenominator <= 0) FailWith(AVERROR_INVALIDDATA);
  device->Decoder.Open(fileName_, info.FrameWidth, info.FrameHeight);
  device->EndTime = device->FrameTime(info.FrameCount);
  {
    std::lock_guard lock(mutex_);
    device_ = std::move(device);
  }
  worker_ = std::thread([this] { WorkerLoop(); });
}

void TMediaPlayer::Close() {
  {
    std::lock_guard lock(mutex_);
    if (!device_) return;
    device_->Quit = true;
    WakeLocked();
  }
  if (worker_.joinable()) worker_.join();
  std::unique_ptr<TDevice> closed;
  std::lock_guard lock(mutex_);
  closed = std::move(device_);
}

bool TMediaPlayer::IsOpen() const {
  std::lock_guard lock(mutex_);
  return device_ != nullptr;
}

void TMediaPlayer::RequireOpen() const {
  if (!IsOpen()) throw EClipvaneError(kNoDeviceOpen);
}

TRect TMediaPlayer::DisplayRect() const {
  std::lock_guard lock(mutex_);
  if (!device_) return {};
  return TRect{0, 0, device_->Info.FrameWidth, device_->Info.FrameHeight};
}

void TMediaPlayer::SetDisplay(TDisplaySink* sink) {
  {
    std::lock_guard sinkLock(sinkMutex_);
    sink_ = sink;
  }
  std::lock_guard lock(mutex_);
  if (device_) {
    device_->ShowAgain = true;
    WakeLocked();
  }
}

TDisplaySink* TMediaPlayer::Display() const { return sink_; }

void TMediaPlayer::SetTimeFormat(TMPTimeFormats format) {
  std::lock_guard lock(mutex_);
  if (device_) device_->Format = format;
}

TMPTimeFormats TMediaPlayer::TimeFormat() const {
  std::lock_guard lock(mutex_);
  return device_ ? device_->Format : TMPTimeFormats::tfMilliseconds;
}

int TMediaPlayer::Length() const {
  RequireOpen();
  std::lock_guard lock(mutex_);
  return device_->Format == TMPTimeFormats::tfFrames ? device_->Info.FrameCount : device_->Info.LengthMs;
}

int TMediaPlayer::Position() const {
  std::lock_guard lock(mutex_);
  if (!device_) return 0;
  const std::int64_t now = clock_->NowMicroseconds();
  UpdateLocked(now);
  return PositionOfTimeLocked(TimeLocked(now));
}

TMPModes TMediaPlayer::Mode() const {
  std::lock_guard lock(mutex_);
  if (!device_) return TMPModes::mpNotReady;
  UpdateLocked(clock_->NowMicroseconds());
  return device_->Mode;
}

void TMediaPlayer::SetStartPos(int position) {
  startPos_ = position;
  startSet_ = true;
}

void TMediaPlayer::SetEndPos(int position) {
  endPos_ = position;
  endSet_ = true;
}

bool TMediaPlayer::Play() {
  RequireOpen();
  const bool useStart = startSet_;
  const bool useEnd = endSet_;
  startSet_ = endSet_ = false;
  std::lock_guard lock(mutex_);
  TDevice& d = *device_;
  const std::int64_t now = clock_->NowMicroseconds();
  UpdateLocked(now);
  std::int64_t from = TimeLocked(now);
  if (!useStart && !useEnd && autoRewind_ && from == d.EndTime) {
    d.Mode = TMPModes::mpStopped;
    d.Time = from = 0;
  }
  if ((useStart && !ValidPositionLocked(startPos_)) || (useEnd && !ValidPositionLocked(endPos_))) return false;
  if (useStart) from = TimeOfPositionLocked(startPos_);
  const std::int64_t to = useEnd ? TimeOfPositionLocked(endPos_) : d.EndTime;
  if (from > to) return false;
  d.Mode = TMPModes::mpPlaying;
  d.Time = d.PlayFrom = from;
  d.PlayTo = to;
  d.PlayClockStart = now;
  WakeLocked();
  return true;
}

void TMediaPlayer::Pause() {
  RequireOpen();
  std::lock_guard lock(mutex_);
  TDevice& d = *device_;
  const std::int64_t now = clock_->NowMicroseconds();
  UpdateLocked(now);
  if (d.Mode == TMPModes::mpPlaying) {
    d.Time = TimeLocked(now);
    d.Mode = TMPModes::mpPaused;
  } else if (d.Mode == TMPModes::mpPaused) {
    d.Mode = TMPModes::mpPlaying;
    d.PlayFrom = d.Time;
    d.PlayClockStart = now;
  }
  WakeLocked();
}

void TMediaPlayer::Stop() {
  RequireOpen();
  std::lock_guard lock(mutex_);
  const std::int64_t now = clock_->NowMicroseconds();
  UpdateLocked(now);
  device_->Time = TimeLocked(now);
  device_->Mode = TMPModes::mpStopped;
  WakeLocked();
}

bool TMediaPlayer::Seek(int position) {
  RequireOpen();
  std::lock_guard lock(mutex_);
  UpdateLocked(clock_->NowMicroseconds());
  if (!ValidPositionLocked(position)) return false;
  device_->Time = TimeOfPositionLocked(position);
  device_->Mode = TMPModes::mpStopped;
  WakeLocked();
  return true;
}

void TMediaPlayer::UpdateLocked(std::int64_t now) const {
  TDevice& d = *device_;
  if (d.Mode == TMPModes::mpPlaying && now - d.PlayClockStart >= d.PlayTo - d.PlayFrom) {
    d.Time = d.PlayTo;
    d.Mode = TMPModes::mpStopped;
  }
}

std::int64_t TMediaPlayer::TimeLocked(std::int64_t now) const {
  const TDevice& d = *device_;
  if (d.Mode != TMPModes::mpPlaying) return d.Time;
  return std::min(d.PlayTo, d.PlayFrom + std::max<std::int64_t>(0, now - d.PlayClockStart));
}

std::int64_t TMediaPlayer::TimeOfPositionLocked(int position) const {
  const TDevice& d = *device_;
  if (d.Format == TMPTimeFormats::tfFrames) return d.FrameTime(position);
  return position >= d.Info.LengthMs ? d.EndTime : std::min(d.EndTime, std::int64_t{position} * 1000);
}

int TMediaPlayer::PositionOfTimeLocked(std::int64_t time) const {
  const TDevice& d = *device_;
  if (d.Format == TMPTimeFormats::tfFrames)
    return static_cast<int>(std::min<std::int64_t>(d.FrameAt(time), d.Info.FrameCount));
  if (time >= d.EndTime) return d.Info.LengthMs;
  return static_cast<int>(std::min<std::int64_t>(av_rescale_rnd(time, 1, 1000, AV_ROUND_NEAR_INF), d.Info.LengthMs));
}

bool TMediaPlayer::ValidPositionLocked(int position) const {
  const TDevice& d = *device_;
  const int length = d.Format == TMPTimeFormats::tfFrames ? d.Info.FrameCount : d.Info.LengthMs;
  return position >= 0 && position <= length;
}

void TMediaPlayer::WakeLocked() {
  if (device_) ++device_->Wakes;
  wake_.notify_all();
}

void TMediaPlayer::WorkerLoop() {
  std::unique_lock lock(mutex_);
  TDevice& d = *device_;  // stays until Close has joined this thread
  int shown = -1;
  while (!d.Quit) {
    const std::int64_t now = clock_->NowMicroseconds();
    UpdateLocked(now);
    const std::int64_t time = TimeLocked(now);
    // The end position shows the last picture.
    const int target = d.Info.FrameCount > 0
                           ? static_cast<int>(std::clamp<std::int64_t>(d.FrameAt(time), 0, d.Info.FrameCount - 1))
                           : -1;
    if (target >= 0 && (target != shown || d.ShowAgain)) {
      d.ShowAgain = false;
      lock.unlock();
      std::shared_ptr<const TBitmap> picture = d.Decoder.Picture(target);
      {
        std::lock_guard sinkLock(sinkMutex_);
        if (sink_ && picture) sink_->ShowFrame(picture, target);
      }
      lock.lock();
      shown = target;
      continue;
    }
    const std::uint64_t seen = d.Wakes;
    const auto woken = [&] { return d.Quit || d.Wakes != seen; };
    if (d.Mode == TMPModes::mpPlaying) {
      // Wake at the start of the next frame, or at the end of the play.
      const std::int64_t next = std::min(d.FrameTime(d.FrameAt(time) + 1), d.PlayTo);
      if (const auto delay = clock_->RealWait(d.PlayClockStart + (next - d.PlayFrom)))
        wake_.wait_for(lock, *delay, woken);
      else
        wake_.wait(lock, woken);
    } else {
      wake_.wait(lock, woken);
    }
  }
}

}  // namespace clipvane
