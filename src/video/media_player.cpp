// TMediaPlayer: the play state on the clock's time line, and the worker thread that decodes
// the frame due at each moment and hands it to the display sink.
#include "video/media_player.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>

#include "core/error.h"
#include "video/opened_video.h"
#include "video/player_pictures.h"
#include "video/video_input.h"

namespace clipvane {

struct TMediaPlayer::TDevice {
  TVideoInfo Info;
  // Microseconds from the first frame's start to each frame's, and to the end, for a video
  // whose frames do not come at one rate; empty otherwise.
  std::vector<std::int64_t> StartsUs;
  std::unique_ptr<video::TPlayerPictures> Decoder;
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
    if (!StartsUs.empty())
      return StartsUs[static_cast<std::size_t>(std::clamp<std::int64_t>(frame, 0, std::ssize(StartsUs) - 1))];
    // Rounded up, so that the frame of FrameTime(k) is k again.
    return av_rescale_rnd(frame, std::int64_t{1000000} * Info.FrameRateDenominator, Info.FrameRateNumerator,
                          AV_ROUND_UP);
  }
  std::int64_t FrameAt(std::int64_t time) const {
    if (!StartsUs.empty())
      return std::max<std::int64_t>(0, std::upper_bound(StartsUs.begin(), StartsUs.end(), time) - StartsUs.begin() - 1);
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
  const std::unique_ptr<video::TOpenedVideo> video = video::OpenVideo(fileName_);
  const TVideoInfo info = video->Probe(openProgress_);
  auto device = std::make_unique<TDevice>();
  device->Info = info;
  if (info.FrameRateNumerator <= 0 || info.FrameRateDenominator <= 0)
    throw EClipvaneError(video::FfmpegText(AVERROR_INVALIDDATA));
  const TVideoFrameTimes& times = info.FrameTimes;
  if (!times.Empty())
    for (const std::int64_t start : times.Starts)
      device->StartsUs.push_back(av_rescale(start, times.Base.Numerator * 1000000, times.Base.Denominator));
  device->Decoder = std::make_unique<video::TPlayerPictures>(
      video->PlayerFrames(), [path = fileName_] { return OpenFrameSource(path); }, info.FrameWidth, info.FrameHeight);
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

std::string TMediaPlayer::Hdr() const {
  std::lock_guard lock(mutex_);
  return device_ ? device_->Info.Colour.Hdr : std::string();
}

TVideoFrameTimes TMediaPlayer::FrameTimes() const {
  std::lock_guard lock(mutex_);
  if (!device_) return {};
  return device_->Info.FrameTimes;
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
      std::shared_ptr<const TBitmap> picture = d.Decoder->Picture(target);
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
      else wake_.wait(lock, woken);
    } else {
      wake_.wait(lock, woken);
    }
  }
}

}  // namespace clipvane
