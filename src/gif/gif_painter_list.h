// The running animations of one GIF document: the lock-guarded list of its painters, the one
// on display, the threads of painters that have ended, and the composite picture the painter
// on display paints into. Plain data shared by the painters (gif_painter) and the document's
// drawing (gif_image_painters); every change to the painters or the one on display holds Lock.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "core/bitmap.h"

namespace clipvane {

class TGIFPainter;

struct TGIFPainterList {
  std::mutex Lock;
  std::vector<TGIFPainter*> Painters;
  // The painter that serves the document's draws; cleared by the painter as it ends.
  TGIFPainter* OnScreen = nullptr;
  // Threads of ended painters, joined by the UI thread.
  std::vector<std::thread> EndedThreads;
  std::uint64_t NextId = 0;
  // The whole animation's current picture: the target of the painter on display (UI thread).
  std::unique_ptr<TBitmap> Composite;
};

}  // namespace clipvane
