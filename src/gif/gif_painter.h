// TGIFPainter: plays a GIF document's frames onto a drawing surface with their delays,
// disposal methods and loop count, on a worker thread or inside the draw call. Every touch of
// the document and every paint runs on the user-interface thread, handed over through a
// TUIDispatcher; the painter thread only keeps time. No Qt here: the windows implement the
// dispatcher's notification.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"
#include "gif/gif_image.h"

namespace clipvane {

// An auto-reset event: Set() lets one wait through and is consumed by it.
class TAutoResetEvent {
 public:
  void Set();
  // Consumes a pending signal; false when there is none.
  bool TryWait();
  // Waits for the signal (consumed; true) or until timeoutMs have passed (false); a negative
  // timeout waits without limit.
  bool WaitFor(int timeoutMs);
  // Waits for the signal (true) or until giveUp() holds (false). giveUp runs under the
  // event's lock; whoever changes what it reads calls Poke() afterwards.
  template <class Predicate>
  bool WaitUntil(Predicate giveUp) {
    std::unique_lock<std::mutex> lock(mutex_);
    condition_.wait(lock, [&] { return signalled_ || giveUp(); });
    if (!signalled_) return false;
    signalled_ = false;
    return true;
  }
  // Wakes waiters so that they test their give-up condition again.
  void Poke();

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  bool signalled_ = false;
};

// The millisecond clock an animation is timed with. Tests step a fake one.
class TPainterClock {
 public:
  virtual ~TPainterClock() = default;
  // Milliseconds of a steady clock (any origin).
  virtual std::int64_t Now() = 0;
  // Blocks the calling thread for about milliseconds (the slices of a non-threaded wait).
  virtual void Sleep(int milliseconds) = 0;
  // Blocks on the event: true when its signal ended the wait, false when timeoutMs passed
  // first. A negative timeout waits for the signal only.
  virtual bool Wait(TAutoResetEvent& event, int timeoutMs) = 0;
};

// std::chrono::steady_clock. Stateless, shared by every document without a clock of its own.
TPainterClock& SteadyPainterClock();

// The way painter threads reach the user-interface thread: a queue of work that only that
// thread runs. Painters post and wait; the UI thread runs the work when told (Notify), and
// itself whenever it waits for a painter. Must outlive every document that uses it.
class TUIDispatcher {
 public:
  virtual ~TUIDispatcher() = default;

  // Any thread: queues work for the UI thread, then calls Notify().
  void Post(std::function<void()> work);
  // UI thread: runs the queued work, including what is queued meanwhile; true when any ran.
  // The Qt side calls this from its queued call.
  bool Drain();
  // UI thread: runs queued work until done() holds, blocking while there is none. done() is
  // tested after every batch and after every WakeUp(); it must not be called with painter
  // locks held by the caller.
  void DrainUntil(const std::function<bool()>& done);
  // Any thread: something a DrainUntil may be waiting for has changed.
  void WakeUp();

  // UI thread, between the sleep slices of a non-threaded playback: handle pending messages.
  // False when the program is quitting (the painter then stops). By default runs the queue.
  virtual bool ProcessMessages();
  // UI thread: an error a painter thread caught. By default kept for TakeErrors().
  virtual void ReportError(std::exception_ptr error);
  // The errors ReportError kept, oldest first; the list is emptied.
  std::vector<std::exception_ptr> TakeErrors();

 protected:
  // Any thread, from Post with the queue locked: make the UI thread call Drain() soon (a
  // queued call), never run it here. By default nothing: the queue is then run only while
  // the UI thread waits for painters.
  virtual void Notify() {}

 private:
  std::mutex mutex_;
  std::condition_variable condition_;
  std::deque<std::function<void()>> queue_;
  std::uint64_t generation_ = 0;
  std::vector<std::exception_ptr> errors_;
};

// Timing rules. A delay unit (hundredth of a second) is played as 12 ms; a frame without a
// graphic control extension, or with delay 0, shows for 10 units; shorter delays than 3 units
// become 3; a non-threaded painter caps a delay at 1000 units.
inline constexpr int kGIFDelayUnitMs = 12;
inline constexpr int kGIFDefaultDelay = 10;
inline constexpr int kGIFMinimumDelay = 3;
inline constexpr int kGIFMaximumInlineDelay = 1000;
// The wait used when the wait cannot be computed, and a non-threaded painter's wait at a
// speed of 0 or below, in milliseconds.
inline constexpr int kGIFFallbackWaitMs = 12000;
// A non-threaded painter sleeps in slices of at most this many milliseconds.
inline constexpr int kGIFSleepSliceMs = 100;

// The units a frame is shown for (see the rules above).
int GIFFrameDelay(const TGIFSubImage& frame, bool threaded);
// The wait in milliseconds before a frame shown for delayUnits after an overrun of
// overrunMs: (delayUnits x 12 - overrunMs / 2) x 100 / speedPercent, the halving truncating
// toward zero, the scaling over a 64-bit product rounded to nearest (halves away from zero).
// False when speedPercent is not positive or the result does not fit an int.
bool GIFFrameWait(int delayUnits, std::int64_t overrunMs, int speedPercent, int& waitMs);
// The colour a painter restores with: the document's BackdropColor when set, else the global
// table's colour at the background index, else the window colour (white).
TColor GIFBackgroundColor(TGIFImage& image);

// One playing animation. Threaded painters free themselves when their thread ends, a
// non-threaded one at the end of Create. Hooks receive the painter on the UI thread and may
// read it, change the active frame (after paint), Stop() or Restart() it.
class TGIFPainter {
 public:
  TGIFPainter(const TGIFPainter&) = delete;
  TGIFPainter& operator=(const TGIFPainter&) = delete;
  ~TGIFPainter();

  // Makes a painter for image on the target surface's rectangle (UI thread) and enters it in
  // the document's painter list; *ownerReference, when given, points at it until it ends.
  // Threaded (poThreaded, and the document has a dispatcher): returned not yet running, to
  // be Start()ed. Otherwise the whole playback runs now and none is returned; an error the
  // playback caught is raised again here. None either for an empty document or rectangle.
  // The surface must outlive the painter.
  static TGIFPainter* Create(TGIFImage& image, std::uint16_t options, const TRect& rect, TBitmap& surface,
                             TGIFPainter** ownerReference = nullptr);
  // Lets a threaded painter run. Called once, on the UI thread.
  void Start();
  // Asks the painter to end soon: it paints nothing more. Any thread, while the painter is
  // known to be alive (from a hook, or holding the document's painter lock).
  void Stop();
  // Plays again from frame 0 (the start hook runs again).
  void Restart();

  TGIFImage* Image() const { return image_; }
  TBitmap* Surface() const { return surface_; }
  const TRect& Rect() const { return rect_; }
  std::uint16_t Options() const { return options_; }
  int Speed() const { return speed_; }
  bool Threaded() const { return threaded_; }
  bool Stopped() const { return stopped_.load(); }
  // The first frame has been painted.
  bool Started() const { return started_.load(); }
  // The frame being shown; -1 when not playing. The after-paint hook may set it.
  int ActiveImage() const { return activeFrame_; }
  void SetActiveImage(int index) { activeFrame_ = index; }
  // GIF89a disposal of the frame being painted and of the one before.
  int Disposal() const { return disposal_; }
  int PreviousDisposal() const { return previousDisposal_; }
  TColor BackgroundColor() const { return backgroundColor_; }
  // The error the playback caught, if any (a threaded painter hands it over as it ends).
  std::exception_ptr Error() const { return error_; }

 private:
  friend class TGIFImage;
  struct TShared;

  TGIFPainter(TGIFImage& image, std::uint16_t options, const TRect& rect, TBitmap& surface,
              TGIFPainter** ownerReference);

  // The run: playback, then Finish. Errors are caught and kept.
  void Run();
  void Playback();
  // Runs work on the UI thread and waits for it (inline when not threaded). False when the
  // painter was stopped before the work ran; an error the work raised is raised here.
  bool OnUI(const std::function<void()>& work);
  void CallHook(const TGIFPainterEvent& hook);
  // The wait before the active frame.
  void WaitForFrame();
  // Paint hook, extensions, paint, delay, after-paint hook (UI thread). True to leave the
  // frame loop.
  bool PaintStep();
  void PaintSimple(TGIFSubImage& frame);
  void PaintDisposalAware(TGIFSubImage& frame);
  void RestoreArea(const TGIFSubImage& frame);
  void RestoreRect(const TRect& area);
  // Leaves the document's list, hands over a caught error, frees the buffers.
  void Finish();
  // The document is going away while this painter cannot end yet (UI thread, painter lock held).
  void Detach();
  // A hand-over of this painter is running on the calling thread (UI thread only).
  bool HandingOverHere() const { return handOverDepth_ > 0; }

  TGIFImage* image_;
  TBitmap* surface_;
  TRect rect_;
  std::uint16_t options_;
  int speed_;
  bool threaded_;
  std::uint64_t id_;
  TUIDispatcher* dispatcher_;
  TPainterClock* clock_;
  TGIFPainter** ownerReference_;

  std::unique_ptr<TBitmap> backup_;
  std::unique_ptr<TBitmap> frameBuffer_;
  std::unique_ptr<TBitmap> background_;
  TColor backgroundColor_;
  std::unique_ptr<TAutoResetEvent> event_;
  std::shared_ptr<TShared> shared_;
  std::thread thread_;  // set and taken under the document's painter lock

  std::atomic<bool> stopped_{false};
  std::atomic<bool> restart_{false};
  std::atomic<bool> started_{false};
  int handOverDepth_ = 0;
  // Set by the document's destructor while this painter's hand-over runs beneath it.
  bool detached_ = false;

  // Playback state: the painter thread's, or a hand-over's while the thread waits for it.
  int activeFrame_ = -1;
  int disposal_ = 1;
  int previousDisposal_ = 1;
  int loopCount_ = 1;
  int loopPoint_ = 0;
  bool loopSeen_ = false;
  int delay_ = 0;
  std::int64_t reference_ = 0;
  std::int64_t previousWait_ = 0;
  int surfaceWidth_ = 0;
  int surfaceHeight_ = 0;

  TGIFPainterEvent onStartPaint_;
  TGIFPainterEvent onPaint_;
  TGIFPainterEvent onAfterPaint_;
  TGIFPainterEvent onLoop_;
  TGIFPainterEvent onEndPaint_;

  std::exception_ptr error_;
};

}  // namespace clipvane
