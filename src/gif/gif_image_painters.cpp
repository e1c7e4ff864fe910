// A document's animations: its list of painters (stopping, waiting for and detaching them),
// drawing it still or through a painter into its composite picture. Runs on the UI thread;
// the list's lock guards it against the painter threads.
#include "gif/gif_image_painters.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

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

void TGIFImage::Draw(TBitmap& surface, const TRect& rect) { TGIFImagePainters::Of(*this).Draw(surface, rect); }

TGIFImagePainters& TGIFImagePainters::Of(TGIFImage& image) {
  if (image.Playback() == nullptr) image.SetPlayback(std::make_unique<TGIFImagePainters>(image));
  // The document's playback is only ever made here.
  return static_cast<TGIFImagePainters&>(*image.Playback());
}

TGIFImagePainters::~TGIFImagePainters() { *alive_ = false; }

TGIFPainter* TGIFImagePainters::CreatePainter(std::uint16_t options, const TRect& rect, TBitmap& surface,
                                              TGIFPainter** ownerReference) {
  return TGIFPainter::Create(image_, list_, options, rect, surface, ownerReference);
}

int TGIFImagePainters::PainterCount() {
  std::lock_guard<std::mutex> lock(list_.Lock);
  return static_cast<int>(list_.Painters.size());
}

void TGIFImagePainters::StopOnScreen() {
  std::lock_guard<std::mutex> lock(list_.Lock);
  if (list_.OnScreen != nullptr) list_.OnScreen->Stop();
  list_.Composite.reset();
}

bool TGIFImagePainters::StopOnScreenAndWait() {
  const std::shared_ptr<bool> alive = alive_;
  for (;;) {
    TUIDispatcher* dispatcher = nullptr;
    TGIFPainter* unstarted = nullptr;
    std::uint64_t id = 0;
    {
      std::lock_guard<std::mutex> lock(list_.Lock);
      TGIFPainter* painter = list_.OnScreen;
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
      std::lock_guard<std::mutex> lock(list_.Lock);
      return list_.OnScreen == nullptr || list_.OnScreen->id_ != id;
    });
    if (!*alive) return false;
  }
  StopOnScreen();
  return true;
}

void TGIFImagePainters::StopAll() {
  for (;;) {
    TUIDispatcher* dispatcher = nullptr;
    std::vector<std::uint64_t> waitFor;
    std::vector<TGIFPainter*> unstarted;
    {
      std::lock_guard<std::mutex> lock(list_.Lock);
      if (list_.Painters.empty()) break;
      for (TGIFPainter* painter : list_.Painters) {
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
      std::lock_guard<std::mutex> lock(list_.Lock);
      for (const TGIFPainter* painter : list_.Painters)
        if (std::find(waitFor.begin(), waitFor.end(), painter->id_) != waitFor.end()) return false;
      return true;
    });
  }
  {
    std::lock_guard<std::mutex> lock(list_.Lock);
    list_.Composite.reset();
  }
  JoinEndedPainters();
}

void TGIFImagePainters::JoinEndedPainters() {
  std::vector<std::thread> threads;
  {
    std::lock_guard<std::mutex> lock(list_.Lock);
    threads.swap(list_.EndedThreads);
  }
  for (std::thread& thread : threads) thread.join();
}

void TGIFImagePainters::DocumentGone() {
  *alive_ = false;
  StopAll();
  {
    std::lock_guard<std::mutex> lock(list_.Lock);
    for (TGIFPainter* painter : list_.Painters) painter->Detach();
    list_.Painters.clear();
    list_.OnScreen = nullptr;
  }
  JoinEndedPainters();
}

void TGIFImagePainters::Draw(TBitmap& surface, const TRect& rect) {
  if (drawing_ || image_.Images().Count() == 0) return;
  const std::shared_ptr<bool> alive = alive_;
  TDrawingGuard guard(drawing_, alive);
  JoinEndedPainters();
  const bool tile = (image_.PaintOptions & poTile) != 0;
  const bool transparent = (image_.PaintOptions & poTransparent) != 0;
  if (image_.Images().Count() == 1 || (image_.PaintOptions & poAnimate) == 0) {
    image_.Images()[0]->Draw(surface, rect, tile, transparent);
    return;
  }
  DrawAnimated(surface, rect);
}

void TGIFImagePainters::DrawAnimated(TBitmap& surface, const TRect& rect) {
  const std::shared_ptr<bool> alive = alive_;
  const bool tile = (image_.PaintOptions & poTile) != 0;
  const bool direct = (image_.PaintOptions & poPaintDirect) != 0;
  if (!list_.Composite || direct) {
    {
      std::lock_guard<std::mutex> lock(list_.Lock);
      // Without a composite bitmap the painter on display paints into one that is gone.
      const bool painting = direct && list_.OnScreen != nullptr && list_.OnScreen->surface_ == &surface &&
                            list_.OnScreen->rect_ == rect;
      if (painting) return;
    }
    if (!StopOnScreenAndWait()) return;
    const int width = image_.Width(), height = image_.Height();
    if (width <= 0 || height <= 0 || rect.Width() <= 0 || rect.Height() <= 0) return;

    TBitmap* target = &surface;
    TRect targetRect = rect;
    if (!direct) {
      const TRect whole{0, 0, width, height};
      auto composite = std::make_unique<TBitmap>(width, height, TPixelFormat::pf24bit);
      composite->StretchDraw(whole, surface, rect);
      std::lock_guard<std::mutex> lock(list_.Lock);
      list_.Composite = std::move(composite);
      target = list_.Composite.get();
      targetRect = whole;
    }
    TGIFPainter* painter = CreatePainter(image_.PaintOptions, targetRect, *target, &list_.OnScreen);
    // A playback inside the call runs hooks, and a hook may destroy the document.
    if (!*alive) return;
    if (painter != nullptr) {
      // Read before Start: from then on the painter may end and free itself at any time.
      TUIDispatcher* dispatcher = painter->dispatcher_;
      const std::uint64_t id = painter->id_;
      painter->Start();
      if (direct) return;
      dispatcher->DrainUntil([&] {
        if (!*alive) return true;
        std::lock_guard<std::mutex> lock(list_.Lock);
        const TGIFPainter* onScreen = list_.OnScreen;
        return onScreen == nullptr || onScreen->id_ != id || onScreen->Stopped() || onScreen->Started();
      });
      if (!*alive) return;
    }
    if (direct) return;
  }

  if (!list_.Composite) return;
  const TBitmap& composite = *list_.Composite;
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

}  // namespace clipvane
