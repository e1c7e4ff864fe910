// TGIFPainter: one animation's playback with its loop, timing and disposal. The document is
// only ever touched on the UI thread; a painter thread keeps time and waits for the work it
// hands over.
#include "gif/gif_painter.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

#include "core/conversions.h"

namespace clipvane {

namespace {

bool Intersects(const TRect& a, const TRect& b) {
  return std::max(a.Left, b.Left) < std::min(a.Right, b.Right) && std::max(a.Top, b.Top) < std::min(a.Bottom, b.Bottom);
}

}  // namespace

// What a painter thread and the UI thread share about hand-overs. Queued work holds it, so a
// hand-over that is run after its painter ended finds it still there.
struct TGIFPainter::TShared {
  std::mutex mutex;
  std::condition_variable condition;
};

namespace {

enum class THandOverState : std::uint8_t { hoQueued, hoRunning, hoDone, hoCancelled };

struct THandOver {
  THandOverState State = THandOverState::hoQueued;
  const std::function<void()>* Work = nullptr;  // on the waiting painter thread's stack
  std::exception_ptr Error;
};

}  // namespace

TGIFPainter::TGIFPainter(TGIFImage& image, TGIFPainterList& list, std::uint16_t options, const TRect& rect,
                         TBitmap& surface, TGIFPainter** ownerReference)
    : image_(&image),
      list_(&list),
      surface_(&surface),
      rect_(rect),
      options_(options),
      speed_(image.PlaybackSpeed),
      threaded_(false),
      id_(0),
      dispatcher_(image.Dispatcher),
      clock_(image.Clock != nullptr ? image.Clock : &SteadyPainterClock()),
      ownerReference_(ownerReference),
      backgroundColor_(GIFBackgroundColor(image)),
      shared_(std::make_shared<TShared>()) {
  const int frames = image.Images().Count();
  if (frames == 1) options_ = static_cast<std::uint16_t>(options_ & ~(poThreaded | poAnimate));
  // A thread could never reach the UI thread without a dispatcher: play inside the draw call.
  if (dispatcher_ == nullptr) options_ = static_cast<std::uint16_t>(options_ & ~poThreaded);
  threaded_ = (options_ & poThreaded) != 0;
  if (threaded_ && (options_ & poAnimate) != 0 && frames > 1 && speed_ >= 0)
    event_ = std::make_unique<TAutoResetEvent>();

  // Every control block counts, not only each frame's first: playback uses the last one.
  bool restoresBackground = (options_ & poClearOnRepeat) != 0;
  bool restoresPrevious = false;
  for (const auto& frame : image.Images())
    for (const auto& extension : frame->Extensions())
      if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension.get())) {
        restoresBackground = restoresBackground || control->Disposal() == dmBackground;
        restoresPrevious = restoresPrevious || control->Disposal() == dmPrevious;
      }
  const TRect whole{0, 0, rect.Width(), rect.Height()};
  auto copyOfTarget = [&] {
    auto copy = std::make_unique<TBitmap>(rect.Width(), rect.Height(), TPixelFormat::pf24bit);
    copy->CopyRect(0, 0, surface, rect);
    return copy;
  };
  if (restoresBackground && (options_ & poTransparent) != 0) background_ = copyOfTarget();
  if (restoresBackground || restoresPrevious) {
    backup_ = copyOfTarget();
    frameBuffer_ = std::make_unique<TBitmap>(rect.Width(), rect.Height(), TPixelFormat::pf24bit);
    frameBuffer_->FillRect(whole, backgroundColor_);
  }

  onStartPaint_ = image.OnStartPaint;
  onPaint_ = image.OnPaint;
  onAfterPaint_ = image.OnAfterPaint;
  onLoop_ = image.OnLoop;
  onEndPaint_ = image.OnEndPaint;
}

TGIFPainter::~TGIFPainter() = default;

TGIFPainter* TGIFPainter::Create(TGIFImage& image, TGIFPainterList& list, std::uint16_t options, const TRect& rect,
                                 TBitmap& surface, TGIFPainter** ownerReference) {
  if (image.Images().Count() == 0 || rect.Width() <= 0 || rect.Height() <= 0) return nullptr;
  std::unique_ptr<TGIFPainter> painter(new TGIFPainter(image, list, options, rect, surface, ownerReference));
  {
    std::lock_guard<std::mutex> lock(list.Lock);
    painter->id_ = ++list.NextId;
    list.Painters.push_back(painter.get());
    if (ownerReference != nullptr) *ownerReference = painter.get();
  }
  if (painter->threaded_) return painter.release();
  painter->Run();
  const std::exception_ptr error = painter->error_;
  painter.reset();
  if (error) std::rethrow_exception(error);
  return nullptr;
}

void TGIFPainter::Start() {
  if (!threaded_ || image_ == nullptr || list_ == nullptr) return;
  std::unique_lock<std::mutex> lock(list_->Lock);
  if (thread_.joinable()) return;
  try {
    // The thread owns the painter: it is freed when the run ends.
    thread_ = std::thread([this] {
      std::unique_ptr<TGIFPainter> self(this);
      self->Run();
    });
    // Named, so that a debugger, top -H and the tests can tell a painter from other threads.
    pthread_setname_np(thread_.native_handle(), "gif-painter");
  } catch (...) {
    // No thread: end here, as a run that stopped at once would.
    lock.unlock();
    Stop();
    Finish();
    delete this;
    throw;
  }
}

void TGIFPainter::Stop() {
  {
    std::lock_guard<std::mutex> lock(shared_->mutex);
    stopped_ = true;
    shared_->condition.notify_all();
  }
  if (event_) event_->Set();
}

void TGIFPainter::Restart() {
  restart_ = true;
  if (event_) event_->Set();
}

bool TGIFPainter::OnUI(const std::function<void()>& work) {
  if (!threaded_) {
    work();
    return true;
  }
  // Every hand-over first tests the stop: a stopped painter hands nothing over.
  if (stopped_) return false;
  auto handOver = std::make_shared<THandOver>();
  handOver->Work = &work;
  std::shared_ptr<TShared> shared = shared_;
  // The painter is alive while its hand-over is queued or running: this thread waits for it,
  // and cancels it under the shared lock before going on.
  dispatcher_->Post([shared, handOver, self = this] {
    {
      std::lock_guard<std::mutex> lock(shared->mutex);
      if (handOver->State != THandOverState::hoQueued) return;
      if (self->stopped_) {
        handOver->State = THandOverState::hoCancelled;
        shared->condition.notify_all();
        return;
      }
      handOver->State = THandOverState::hoRunning;
    }
    ++self->handOverDepth_;
    try {
      (*handOver->Work)();
    } catch (...) {
      handOver->Error = std::current_exception();
    }
    --self->handOverDepth_;
    std::lock_guard<std::mutex> lock(shared->mutex);
    handOver->State = THandOverState::hoDone;
    shared->condition.notify_all();
  });
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->condition.wait(lock, [&] {
    return handOver->State == THandOverState::hoDone || handOver->State == THandOverState::hoCancelled ||
           (handOver->State == THandOverState::hoQueued && stopped_);
  });
  // A stop does not wait for the UI thread to come round to work it will skip anyway.
  if (handOver->State == THandOverState::hoQueued) handOver->State = THandOverState::hoCancelled;
  if (handOver->State == THandOverState::hoCancelled) return false;
  lock.unlock();
  if (handOver->Error) std::rethrow_exception(handOver->Error);
  return true;
}

void TGIFPainter::CallHook(const TGIFPainterEvent& hook) {
  if (hook) hook(this);
}

void TGIFPainter::Run() {
  try {
    Playback();
  } catch (...) {
    error_ = std::current_exception();
    Stop();
  }
  Finish();
}

void TGIFPainter::Playback() {
  if ((options_ & poCheckCanvas) != 0)
    OnUI([&] {
      surfaceWidth_ = surface_->Width();
      surfaceHeight_ = surface_->Height();
    });
  restart_ = true;
  while (restart_ && !stopped_) {
    activeFrame_ = 0;
    // A signal left from a restart must not cut the first wait of the new round short.
    if (event_) event_->TryWait();
    OnUI([&] { CallHook(onStartPaint_); });
    started_ = false;
    restart_ = false;
    loopCount_ = 1;
    loopPoint_ = 0;
    loopSeen_ = false;
    delay_ = threaded_ ? 0 : 1;
    previousDisposal_ = 1;
    reference_ = clock_->Now();
    previousWait_ = 0;

    while ((loopCount_ != 0 || (options_ & poRepeatForever) != 0) && !stopped_ && !restart_) {
      activeFrame_ = loopPoint_;
      if (started_) OnUI([&] { CallHook(onLoop_); });
      bool painted = false;
      while (!stopped_ && !restart_) {
        bool more = false;
        OnUI([&] {
          if (image_ == nullptr) return;
          TGIFImageList& frames = image_->Images();
          if (activeFrame_ < 0 || activeFrame_ >= frames.Count() || frames[activeFrame_]->Empty()) return;
          more = true;
          // Rendered before the clock is read, so rendering time counts into the wait.
          frames[activeFrame_]->Render();
        });
        if (!more) break;
        WaitForFrame();
        if (stopped_) break;
        bool leave = true;
        if (!OnUI([&] { leave = PaintStep(); })) break;
        painted = true;
        if (leave) break;
      }
      // A pass that shows nothing would otherwise repeat at once, for ever with
      // poRepeatForever or a threaded endless loop.
      if (!painted) break;
      if (loopCount_ > 0) --loopCount_;
      if ((options_ & poAnimate) == 0 || (options_ & poRepeat) == 0) break;
    }
  }
  activeFrame_ = -1;
  OnUI([&] { CallHook(onEndPaint_); });
}

void TGIFPainter::WaitForFrame() {
  if (delay_ <= 0) {
    std::this_thread::yield();
    return;
  }
  const std::int64_t now = clock_->Now();
  std::int64_t wait;
  if (speed_ > 0) {
    int computed = 0;
    if (GIFFrameWait(delay_, now - reference_ - previousWait_, speed_, computed)) {
      wait = computed;
      previousWait_ = computed;
    } else {
      wait = kGIFFallbackWaitMs;
      previousWait_ = 0;
    }
  } else {
    wait = threaded_ ? -1 : kGIFFallbackWaitMs;
  }
  reference_ = now;

  if (threaded_) {
    // Without an event (negative speed) there is no wait at all.
    if (event_ && (wait > 0 || speed_ == 0)) {
      if (clock_->Wait(*event_, static_cast<int>(wait))) {
        previousWait_ = 0;
        reference_ = clock_->Now();
      }
    }
    return;
  }
  wait = std::max<std::int64_t>(wait, 1);
  while (wait > 0 && !stopped_ && !restart_) {
    const int slice = static_cast<int>(std::min<std::int64_t>(wait, kGIFSleepSliceMs));
    const std::int64_t before = clock_->Now();
    clock_->Sleep(slice);
    wait -= clock_->Now() - before;
    if (dispatcher_ != nullptr && !dispatcher_->ProcessMessages()) Stop();
  }
}

bool TGIFPainter::PaintStep() {
  if (image_ == nullptr) return true;
  CallHook(onPaint_);
  if (stopped_ || image_ == nullptr) return true;
  // The hook may have changed the frames.
  if (activeFrame_ < 0 || activeFrame_ >= image_->Images().Count()) return true;
  TGIFSubImage& frame = *image_->Images()[activeFrame_];

  disposal_ = 1;
  for (const auto& extension : frame.Extensions()) {
    if (const auto* loop = dynamic_cast<const TGIFAppExtNSLoop*>(extension.get())) {
      if (!loopSeen_) {
        loopSeen_ = true;
        loopCount_ = loop->LoopCount;
        if (threaded_ && (loopCount_ == 0 || (options_ & poRepeatForever) != 0)) loopCount_ = -1;
        loopPoint_ = activeFrame_;
      }
    } else if (const auto* control = dynamic_cast<const TGIFGraphicControlExtension*>(extension.get())) {
      disposal_ = control->Disposal();
    }
  }
  if (backup_) PaintDisposalAware(frame);
  else PaintSimple(frame);
  previousDisposal_ = disposal_;
  if (stopped_ || image_ == nullptr) return true;

  // Whoever was told of the change may have changed the frames.
  if (activeFrame_ < 0 || activeFrame_ >= image_->Images().Count()) return true;
  delay_ = GIFPlaybackDelay(*image_->Images()[activeFrame_], threaded_);
  const int remembered = activeFrame_;
  CallHook(onAfterPaint_);
  if (stopped_ || image_ == nullptr) return true;
  if (activeFrame_ == remembered) ++activeFrame_;
  return (options_ & poAnimate) == 0;
}

void TGIFPainter::PaintSimple(TGIFSubImage& frame) {
  frame.Draw(*surface_, rect_, (options_ & poTile) != 0, (options_ & poTransparent) != 0);
  started_ = true;
  if (image_ != nullptr) image_->Changed();
}

void TGIFPainter::PaintDisposalAware(TGIFSubImage& frame) {
  if ((options_ & poCheckCanvas) != 0 && (surface_->Width() != surfaceWidth_ || surface_->Height() != surfaceHeight_)) {
    // The surface is not the one the painter started on any more.
    Stop();
    return;
  }
  const bool restoreFirst = (options_ & poClearOnRepeat) != 0 && activeFrame_ == 0;
  const TRect whole{0, 0, rect_.Width(), rect_.Height()};
  TBitmap* drawOn = nullptr;
  TRect drawRect = whole;
  bool copyToTarget = false;
  bool restoreAfter = false;
  switch (disposal_) {
    case dmNone:
    case dmNoDisposal:
      drawOn = backup_.get();
      copyToTarget = true;
      break;
    case dmBackground:
      drawOn = backup_.get();
      copyToTarget = true;
      restoreAfter = true;
      break;
    case dmPrevious:
      if (previousDisposal_ == dmNone || previousDisposal_ == dmNoDisposal) {
        // Never into the backup, so the next frame starts from what was there before.
        drawOn = surface_;
        drawRect = rect_;
      } else if (previousDisposal_ == dmBackground || previousDisposal_ == dmPrevious) {
        frameBuffer_->Draw(0, 0, *backup_);
        drawOn = frameBuffer_.get();
        copyToTarget = true;
      }
      break;
    default:
      break;
  }
  if (restoreFirst) RestoreArea(frame);
  if (drawOn != nullptr) {
    frame.Draw(*drawOn, drawRect, (options_ & poTile) != 0, (options_ & poTransparent) != 0);
    if (copyToTarget) surface_->CopyRect(rect_.Left, rect_.Top, *drawOn, whole);
    if (restoreAfter) RestoreArea(frame);
  }
  started_ = true;
  if (image_ != nullptr) image_->Changed();
}

void TGIFPainter::RestoreArea(const TGIFSubImage& frame) {
  if (image_ == nullptr) return;
  const int width = rect_.Width(), height = rect_.Height();
  const int screenWidth = std::max(image_->Width(), frame.Left() + frame.Width());
  const int screenHeight = std::max(image_->Height(), frame.Top() + frame.Height());
  if (screenWidth <= 0 || screenHeight <= 0) return;
  const bool transparent = (options_ & poTransparent) != 0;
  const bool tiledFill = (options_ & poTile) != 0 &&
                         (transparent || (frame.Width() != screenWidth && frame.Height() != screenHeight));
  if (tiledFill) {
    for (int y = frame.Top(); y < height; y += screenHeight)
      for (int x = frame.Left(); x < width; x += screenWidth)
        RestoreRect(TRect{x, y, x + frame.Width(), y + frame.Height()});
    return;
  }
  RestoreRect(TRect{MulDiv(frame.Left(), width, screenWidth), MulDiv(frame.Top(), height, screenHeight),
                    MulDiv(frame.Left() + frame.Width(), width, screenWidth),
                    MulDiv(frame.Top() + frame.Height(), height, screenHeight)});
}

void TGIFPainter::RestoreRect(const TRect& area) {
  if (!Intersects(area, TRect{0, 0, backup_->Width(), backup_->Height()})) return;
  if ((options_ & poTransparent) != 0 && background_) {
    backup_->CopyRect(area.Left, area.Top, *background_, area);
  } else {
    backup_->FillRect(area, backgroundColor_);
  }
}

void TGIFPainter::Finish() {
  if (detached_) {
    // Its document is gone, and with it the promise that the dispatcher and clock live on.
    backup_.reset();
    frameBuffer_.reset();
    background_.reset();
    event_.reset();
    return;
  }
  if (threaded_ && error_) {
    // Never lost: the report runs on the UI thread even though the painter is stopped. The
    // error moves with it, so that only the UI thread holds it from here on.
    TUIDispatcher* dispatcher = dispatcher_;
    dispatcher->Post([dispatcher, error = std::exchange(error_, nullptr)] { dispatcher->ReportError(error); });
  }
  if (TGIFPainterList* list = list_) {
    std::lock_guard<std::mutex> lock(list->Lock);
    if (ownerReference_ != nullptr && *ownerReference_ == this) *ownerReference_ = nullptr;
    std::erase(list->Painters, this);
    if (thread_.joinable()) list->EndedThreads.push_back(std::move(thread_));
    image_ = nullptr;
    list_ = nullptr;
  }
  // Out of the list nobody can reach the painter any more: Stop() no longer touches the event.
  backup_.reset();
  frameBuffer_.reset();
  background_.reset();
  event_.reset();
  if (dispatcher_ != nullptr) dispatcher_->WakeUp();
}

void TGIFPainter::Detach() {
  detached_ = true;
  image_ = nullptr;
  list_ = nullptr;
  ownerReference_ = nullptr;
  if (thread_.joinable()) thread_.detach();
}

}  // namespace clipvane
