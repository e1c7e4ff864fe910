// The document's side of playback: its list of painters (stopping, waiting for and detaching
// them), drawing itself still or through a painter into its composite picture, and AssignTo.
// Runs on the UI thread; the painter lock guards the list against the painter threads.
#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "gif/gif_image.h"
#include "gif/gif_painter.h"

namespace clipvane {

namespace {

// Sets the drawing flag for the duration of a draw, unless the document is gone by then.
class TDrawingGuard {
 public:
  TDrawingGuard(bool& flag, std::shared_ptr<bool> alive) : flag_(flag), alive_(std::move(alive)) { flag_ = true; }
  ~TDrawingGuard() {
    if (*alive_) flag_ = false;
  }
  TDrawingGuard(const TDrawingGuard&) = delete;
  TDrawingGuard& operator=(const TDrawingGuard&) = delete;

 private:
  bool& flag_;
  std::shared_ptr<bool> alive_;
};

}  // namespace

int TGIFImage::PainterCount() {
  std::lock_guard<std::mutex> lock(painterLock_);
  return static_cast<int>(painters_.size());
}

void TGIFImage::StopDraw() {
  std::lock_guard<std::mutex> lock(painterLock_);
  if (onScreenPainter_ != nullptr) onScreenPainter_->Stop();
  composite_.reset();
}

bool TGIFImage::StopOnScreenPainterAndWait() {
  const std::shared_ptr<bool> alive = alive_;
  for (;;) {
    TUIDispatcher* dispatcher = nullptr;
    TGIFPainter* unstarted = nullptr;
    std::uint64_t id = 0;
    {
      std::lock_guard<std::mutex> lock(painterLock_);
      TGIFPainter* painter = onScreenPainter_;
      if (painter == nullptr) break;
      painter->Stop();
      // A painter inside our own call stack cannot end before we return.
      if (!painter->threaded_ || painter->HandingOverHere()) break;
      if (!painter->thread_.joinable()) unstarted = painter;
      dispatcher = painter->dispatcher_;
      id = painter->id_;
    }
    if (unstarted != nullptr) unstarted->Start();
    dispatcher->DrainUntil([&] {
      if (!*alive) return true;
      std::lock_guard<std::mutex> lock(painterLock_);
      return onScreenPainter_ == nullptr || onScreenPainter_->id_ != id;
    });
    if (!*alive) return false;
  }
  StopDraw();
  return true;
}

void TGIFImage::StopPainters() {
  for (;;) {
    TUIDispatcher* dispatcher = nullptr;
    std::vector<std::uint64_t> waitFor;
    std::vector<TGIFPainter*> unstarted;
    {
      std::lock_guard<std::mutex> lock(painterLock_);
      if (painters_.empty()) break;
      for (TGIFPainter* painter : painters_) {
        painter->Stop();
        if (!painter->threaded_ || painter->HandingOverHere()) continue;
        // One dispatcher a round: each painter wakes only its own.
        if (dispatcher == nullptr) dispatcher = painter->dispatcher_;
        if (painter->dispatcher_ != dispatcher) continue;
        waitFor.push_back(painter->id_);
        if (!painter->thread_.joinable()) unstarted.push_back(painter);
      }
    }
    if (waitFor.empty()) break;
    for (TGIFPainter* painter : unstarted) painter->Start();
    dispatcher->DrainUntil([&] {
      std::lock_guard<std::mutex> lock(painterLock_);
      for (const TGIFPainter* painter : painters_)
        if (std::find(waitFor.begin(), waitFor.end(), painter->id_) != waitFor.end()) return false;
      return true;
    });
  }
  {
    std::lock_guard<std::mutex> lock(painterLock_);
    composite_.reset();
  }
  JoinEndedPainters();
}

void TGIFImage::JoinEndedPainters() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(painterLock_);
    threads.swap(endedPainterThreads_);
  }
  for (std::thread& thread : threads) thread.join();
}

void TGIFImage::DetachPainters() {
  {
    std::lock_guard<std::mutex> lock(painterLock_);
    for (TGIFPainter* painter : painters_) painter->Detach();
    painters_.clear();
    onScreenPainter_ = nullptr;
  }
  JoinEndedPainters();
}

void TGIFImage::Draw(TBitmap& surface, const TRect& rect) {
  if (drawing_ || images_.Count() == 0) return;
  const std::shared_ptr<bool> alive = alive_;
  TDrawingGuard guard(drawing_, alive);
  JoinEndedPainters();
  const bool tile = (PaintOptions & poTile) != 0;
  const bool transparent = (PaintOptions & poTransparent) != 0;
  if (images_.Count() == 1 || (PaintOptions & poAnimate) == 0) {
    images_[0]->Draw(surface, rect, tile, transparent);
    return;
  }

  const bool direct = (PaintOptions & poPaintDirect) != 0;
  if (!composite_ || direct) {
    {
      std::lock_guard<std::mutex> lock(painterLock_);
      // Without a composite bitmap the painter on display paints into one that is gone.
      const bool painting = direct && onScreenPainter_ != nullptr && onScreenPainter_->surface_ == &surface &&
                            onScreenPainter_->rect_ == rect;
      if (painting) return;
    }
    if (!StopOnScreenPainterAndWait()) return;
    if (Width() <= 0 || Height() <= 0 || rect.Width() <= 0 || rect.Height() <= 0) return;

    TBitmap* target = &surface;
    TRect targetRect = rect;
    if (!direct) {
      const TRect whole{0, 0, Width(), Height()};
      auto composite = std::make_unique<TBitmap>(Width(), Height(), TPixelFormat::pf24bit);
      composite->StretchDraw(whole, surface, rect);
      std::lock_guard<std::mutex> lock(painterLock_);
      composite_ = std::move(composite);
      target = composite_.get();
      targetRect = whole;
    }
    TGIFPainter* painter = TGIFPainter::Create(*this, PaintOptions, targetRect, *target, &onScreenPainter_);
    if (painter != nullptr) {
      // Read before Start: from then on the painter may end and free itself at any time.
      TUIDispatcher* dispatcher = painter->dispatcher_;
      const std::uint64_t id = painter->id_;
      painter->Start();
      if (direct) return;
      dispatcher->DrainUntil([&] {
        if (!*alive) return true;
        std::lock_guard<std::mutex> lock(painterLock_);
        const TGIFPainter* onScreen = onScreenPainter_;
        return onScreen == nullptr || onScreen->id_ != id || onScreen->Stopped() || onScreen->Started();
      });
      if (!*alive) return;
    }
    if (direct) return;
  }

  if (!composite_) return;
  const TBitmap& composite = *composite_;
  const TRect whole{0, 0, composite.Width(), composite.Height()};
  if (!tile) {
    surface.StretchDraw(rect, composite, whole);
    return;
  }
  for (int y = rect.Top; y < rect.Bottom; y += composite.Height())
    for (int x = rect.Left; x < rect.Right; x += composite.Width())
      surface.CopyRect(
          x, y, composite,
          TRect{0, 0, std::min(composite.Width(), rect.Right - x), std::min(composite.Height(), rect.Bottom - y)});
}

void TGIFImage::AssignTo(TBitmap& bitmap) {
  if (images_.Count() == 0 || Width() <= 0 || Height() <= 0) {
    bitmap = TBitmap();
    return;
  }
  const TRect whole{0, 0, Width(), Height()};
  TBitmap picture(Width(), Height(), TPixelFormat::pf24bit);
  picture.FillRect(whole, GIFBackgroundColor(*this));
  images_[0]->Draw(picture, whole, (PaintOptions & poTile) != 0, (PaintOptions & poTransparent) != 0);
  bitmap = std::move(picture);
}

}  // namespace clipvane
