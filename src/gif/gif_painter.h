// TGIFPainter: plays a GIF document's frames onto a drawing surface with their delays,
// disposal methods and loop count, on a worker thread or inside the draw call. Every touch of
// the document and every paint runs on the user-interface thread, handed over through a
// TUIDispatcher (ui_handover.h); the painter thread only keeps time (painter_timing.h). No Qt
// here: the windows implement the dispatcher's notification. A painter uses the document and
// enters itself in the document's painter list; the document does not know it
// (gif_image_painters makes and stops painters).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/bitmap.h"
#include "core/color.h"
#include "gif/gif_image.h"
#include "gif/gif_painter_list.h"
#include "gif/painter_timing.h"
#include "gif/ui_handover.h"

namespace clipvane {

// One playing animation. Threaded painters free themselves when their thread ends, a
// non-threaded one at the end of Create. Hooks receive the painter on the UI thread and may
// read it, change the active frame (after paint), Stop() or Restart() it.
class TGIFPainter {
 public:
  TGIFPainter(const TGIFPainter&) = delete;
  TGIFPainter& operator=(const TGIFPainter&) = delete;
  ~TGIFPainter();

  // Makes a painter for image on the target surface's rectangle (UI thread) and enters it in
  // `list`, the document's painter list (TGIFImagePainters holds it; it must outlive the
  // painter or the painter must be detached first); *ownerReference, when given, points at it
  // until it ends.
  // Threaded (poThreaded, and the document has a dispatcher): returned not yet running, to
  // be Start()ed. Otherwise the whole playback runs now and none is returned; an error the
  // playback caught is raised again here. None either for an empty document or rectangle.
  // The surface must outlive the painter.
  static TGIFPainter* Create(TGIFImage& image, TGIFPainterList& list, std::uint16_t options, const TRect& rect,
                             TBitmap& surface, TGIFPainter** ownerReference = nullptr);
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
  friend class TGIFImagePainters;
  struct TShared;

  TGIFPainter(TGIFImage& image, TGIFPainterList& list, std::uint16_t options, const TRect& rect, TBitmap& surface,
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
  // The document is going away while this painter cannot end yet (UI thread, list lock held).
  void Detach();
  // A hand-over of this painter is running on the calling thread (UI thread only).
  bool HandingOverHere() const { return handOverDepth_ > 0; }

  TGIFImage* image_;
  TGIFPainterList* list_;  // none once the painter has left it or was detached
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
  std::thread thread_;  // set and taken under the list's lock

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
