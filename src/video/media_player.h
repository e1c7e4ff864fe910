// TMediaPlayer: our media device. It opens a video file (an AVI, or any container FFmpeg
// reads) on a decoder of its own, reports the frame size, length and position in milliseconds
// or frames, and plays, pauses, stops and seeks on its own clock, showing each frame at its
// time (a variable-rate video's own frame times) through a display sink. Decoding runs on a
// worker thread; every operation is called from one controlling thread.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "core/bitmap.h"
#include "core/color.h"
#include "core/video_frame_times.h"
#include "video/player_clock.h"

namespace clipvane {

// The device's modes, in the order of the platform's mode codes 524 to 530.
enum class TMPModes { mpNotReady, mpStopped, mpPlaying, mpRecording, mpSeeking, mpPaused, mpOpen };
constexpr int MciModeCode(TMPModes mode) { return 524 + static_cast<int>(mode); }

// Time formats: every position, length and seek value is in the current one.
enum class TMPTimeFormats { tfMilliseconds = 0, tfFrames = 3 };

// Where the device draws. ShowFrame is called on the player's worker thread with a 24-bit
// picture of the frame size; it must return quickly and must not call the player (a window
// hands the picture over to its own thread).
class TDisplaySink {
 public:
  virtual ~TDisplaySink() = default;
  virtual void ShowFrame(std::shared_ptr<const TBitmap> picture, int frameNumber) = 0;
};

class TMediaPlayer {
 public:
  static constexpr const char* kNoDeviceOpen = "No MCI device open";

  // Plays on the steady clock unless a clock is given.
  explicit TMediaPlayer(std::shared_ptr<TPlayerClock> clock = nullptr);
  ~TMediaPlayer();
  TMediaPlayer(const TMediaPlayer&) = delete;
  TMediaPlayer& operator=(const TMediaPlayer&) = delete;

  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& path) { fileName_ = path; }

  // Opens FileName, closing a device that is open first; afterwards the device is stopped at
  // position 0, in milliseconds, and draws into the display sink if one is set. Throws
  // EClipvaneError: for an AVI FFmpeg's text for the failure, or "Unknown error code"; for
  // any other file a message naming it. A long open reports its progress to the callable
  // given by SetOpenProgress, on the calling thread.
  void Open();
  void SetOpenProgress(std::function<void(int position, int maximum)> progress) { openProgress_ = std::move(progress); }
  // Closes the device (nothing when none is open).
  void Close();
  bool IsOpen() const;

  // Left, top, width and height of the picture: (0, 0, frame width, frame height), so Right
  // and Bottom hold the width and height. Empty unless a device with video is open.
  TRect DisplayRect() const;
  // Where each frame starts, for a video whose frames do not come at one rate; empty
  // otherwise and when no device is open.
  TVideoFrameTimes FrameTimes() const;
  // "PQ" or "HLG" for an HDR video, whose pictures are shown made SDR; empty for any other
  // and when no device is open.
  std::string Hdr() const;

  // The sink the device draws into; kept for the next Open when no device is open. After
  // SetDisplay returns, the old sink is not called any more.
  void SetDisplay(TDisplaySink* sink);
  TDisplaySink* Display() const;

  // No check that a device is open: a closed device ignores it.
  void SetTimeFormat(TMPTimeFormats format);
  TMPTimeFormats TimeFormat() const;

  // In the current time format; throws "No MCI device open" when none is.
  int Length() const;
  // In the current time format; 0 when no device is open.
  int Position() const;
  // mpNotReady when no device is open.
  TMPModes Mode() const;

  // Start and end position of the next Play, in the current time format; both are forgotten
  // after that play.
  void SetStartPos(int position);
  void SetEndPos(int position);
  bool AutoRewind() const { return autoRewind_; }
  void SetAutoRewind(bool on) { autoRewind_ = on; }

  // Plays from the start position (else the current one) to the end position (else the end)
  // and returns at once. With auto-rewind, a play without start and end at the very end first
  // goes back to the start. A start or end outside the video, or a start after the end, is
  // refused: false, nothing changes.
  bool Play();
  // Pauses a playing device and resumes a paused one; any other mode: nothing.
  void Pause();
  void Stop();
  // Seeks to a position in the current time format and leaves the device stopped there. A
  // target outside 0 to Length is refused without a message: false, position and mode stay.
  bool Seek(int position);

 private:
  struct TDevice;

  void RequireOpen() const;
  // Ends a play that has reached its end position; called with the lock held.
  void UpdateLocked(std::int64_t now) const;
  std::int64_t TimeLocked(std::int64_t now) const;
  std::int64_t TimeOfPositionLocked(int position) const;
  int PositionOfTimeLocked(std::int64_t time) const;
  bool ValidPositionLocked(int position) const;
  void WakeLocked();
  void WorkerLoop();

  std::shared_ptr<TPlayerClock> clock_;
  int clockListener_ = 0;
  std::string fileName_;
  std::function<void(int position, int maximum)> openProgress_;
  bool autoRewind_ = true;
  int startPos_ = 0;
  int endPos_ = 0;
  bool startSet_ = false;
  bool endSet_ = false;

  // Shared with the worker.
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::unique_ptr<TDevice> device_;
  std::thread worker_;

  std::mutex sinkMutex_;  // held while the worker calls the sink
  TDisplaySink* sink_ = nullptr;
};

}  // namespace clipvane
