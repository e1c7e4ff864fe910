// Helpers of the painter tests: a stepped clock that records every wait and sleep instead of
// passing real time, and small documents of solid-colour frames at chosen places.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "gif/gif_image_painters.h"
#include "gif/gif_painter.h"
#include "gif_test_support.h"

namespace clipvane::painter_test {

// Time moves only when a painter sleeps or waits, or when the test advances it. With
// autoAdvance a timed wait returns at once with the clock moved to its end; without it (and
// always for a wait without limit) the painter thread blocks until the test advances the
// clock past the end or the event is signalled.
class TSteppedClock final : public TPainterClock {
 public:
  explicit TSteppedClock(TUIDispatcher* dispatcher = nullptr, bool autoAdvance = true)
      : dispatcher_(dispatcher), autoAdvance_(autoAdvance) {}

  std::int64_t Now() override { return now_.load(); }

  void Sleep(int milliseconds) override {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sleeps_.push_back(milliseconds);
    }
    now_ += milliseconds;
  }

  bool Wait(TAutoResetEvent& event, int timeoutMs) override {
    const std::int64_t end = now_.load() + timeoutMs;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      waits_.push_back(timeoutMs);
      waitingOn_.push_back(&event);
    }
    if (dispatcher_ != nullptr) dispatcher_->WakeUp();
    bool signalled;
    if (autoAdvance_ && timeoutMs >= 0) {
      signalled = event.TryWait();
      if (!signalled) MoveTo(end);
    } else {
      signalled = event.WaitUntil([&] { return timeoutMs >= 0 && now_.load() >= end; });
    }
    {
      std::lock_guard<std::mutex> lock(mutex_);
      waitingOn_.erase(std::find(waitingOn_.begin(), waitingOn_.end(), &event));
    }
    if (dispatcher_ != nullptr) dispatcher_->WakeUp();
    return signalled;
  }

  // Moves time on and wakes the painters whose waits have ended.
  void Advance(std::int64_t milliseconds) {
    now_ += milliseconds;
    std::lock_guard<std::mutex> lock(mutex_);
    for (TAutoResetEvent* event : waitingOn_) event->Poke();
  }

  // The timeouts painters asked to wait for, in order (-1: without limit).
  std::vector<int> Waits() {
    std::lock_guard<std::mutex> lock(mutex_);
    return waits_;
  }
  // The sleep slices of non-threaded playback, in order.
  std::vector<int> Sleeps() {
    std::lock_guard<std::mutex> lock(mutex_);
    return sleeps_;
  }
  // Painter threads blocked in Wait right now.
  int Waiting() {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<int>(waitingOn_.size());
  }

 private:
  void MoveTo(std::int64_t time) {
    std::int64_t current = now_.load();
    while (current < time && !now_.compare_exchange_weak(current, time)) {
    }
  }

  TUIDispatcher* dispatcher_;
  bool autoAdvance_;
  std::atomic<std::int64_t> now_{1000};
  std::mutex mutex_;
  std::vector<int> waits_;
  std::vector<int> sleeps_;
  std::vector<TAutoResetEvent*> waitingOn_;
};

constexpr TColor clRed = RGB(255, 0, 0);
constexpr TColor clGreen = RGB(0, 255, 0);
constexpr TColor clBlue = RGB(0, 0, 255);
constexpr TColor clGrey = RGB(128, 128, 128);
constexpr TColor clYellow = RGB(255, 255, 0);

// Appends a width x height frame at (left, top) whose pixels are indices into colours, with a
// graphic control block of the delay (hundredths) and disposal. indices empty: all index 0.
inline TGIFSubImage& AddFrameAt(TGIFImage& image, int left, int top, int width, int height,
                                const std::vector<TColor>& colours, int delay, int disposal,
                                std::vector<std::uint8_t> indices = {}) {
  std::vector<TRGBQuad> palette;
  for (TColor colour : colours) palette.push_back(TRGBQuad::FromColor(colour));
  if (indices.empty()) indices.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
  const int index = image.AddFrame(gif_test::IndexedBitmap(width, height, palette, indices));
  TGIFSubImage& frame = *image.Images()[index];
  frame.SetBounds(left, top, width, height);
  auto control = std::make_unique<TGIFGraphicControlExtension>(&frame);
  control->SetDelay(static_cast<std::uint16_t>(delay));
  control->SetDisposal(disposal);
  frame.Extensions().Add(std::move(control));
  return frame;
}

// Appends an empty frame.
inline void AddEmptyFrame(TGIFImage& image) { image.AddFrame(std::make_unique<TGIFSubImage>(&image)); }

// Frames with the given delays, 2 x 2 each, each its own colour (index order of frames).
inline void AddFramesWithDelays(TGIFImage& image, const std::vector<int>& delays) {
  for (std::size_t i = 0; i < delays.size(); ++i)
    AddFrameAt(image, 0, 0, 2, 2, {RGB(static_cast<int>(10 * i), 20, 30)}, delays[i], dmNone);
}

// A loop block on a frame.
inline void AddLoopAt(TGIFImage& image, int frame, int loopCount) {
  auto loop = std::make_unique<TGIFAppExtNSLoop>(image.Images()[frame]);
  loop->LoopCount = static_cast<std::uint16_t>(loopCount);
  image.Images()[frame]->Extensions().Add(std::move(loop));
}

// A document played on a stepped clock, threaded through a dispatcher the test thread drains,
// or inline inside Draw. Members go in reverse: the document before clock and dispatcher.
struct TPlayer {
  explicit TPlayer(bool threaded, bool autoAdvance = true) : clock(&dispatcher, autoAdvance) {
    image.Clock = &clock;
    if (threaded) image.Dispatcher = &dispatcher;
    else image.PaintOptions = static_cast<std::uint16_t>(image.PaintOptions & ~poThreaded);
  }

  // Draws the document over the whole surface (sized to the logical screen when empty).
  void Draw() {
    if (surface.Empty()) surface = TBitmap(image.Width(), image.Height(), TPixelFormat::pf24bit);
    image.Draw(surface, TRect{0, 0, surface.Width(), surface.Height()});
  }
  // Runs the UI side until every painter of the document has ended.
  void RunToEnd() {
    dispatcher.DrainUntil([&] { return image.PainterCount() == 0; });
  }
  // Draws and plays to the end.
  void Play() {
    Draw();
    RunToEnd();
  }

  TUIDispatcher dispatcher;
  TSteppedClock clock;
  TBitmap surface;
  TGIFImage image;
};

}  // namespace clipvane::painter_test
