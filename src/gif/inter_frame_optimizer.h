// Inter-frame optimisation of "Best quality" GIFs: every frame after the first is written
// as the smallest rectangle that holds what changed, the pixels kept from the screen as a
// transparent index, with disposal "do not dispose" so each frame builds on the last. The
// optimiser holds the screen (the picture that the frames written so far leave shown) and
// the global colour table, which the first frame's colours fill and later frames use when
// they need no other colours and a local table would save no index bits.
#pragma once

#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "core/bitmap.h"
#include "gif/best_quantizer.h"
#include "gif/gif_color_map.h"

namespace clipvane {

// What a frame writes: its rectangle on the logical screen, its colour table (empty: the
// global one), one index a pixel of the rectangle, and its transparent index (-1: none).
struct TOptimizedFrame {
  TRect Bounds;
  std::vector<TGIFColor> ColorTable;
  std::vector<std::uint8_t> Pixels;
  int TransparentIndex = -1;
  bool First = false;  // written whole; the global table (if any) was made from it
};

class TInterFrameOptimizer {
 public:
  // The screen before the next frame (24-bit, the frames' size); none before a first frame
  // or after Reset.
  const TBitmap* Screen() const { return screen_.Empty() ? nullptr : &screen_; }
  // The next frame starts afresh: it is written whole and opaque and, with globalTable, a
  // new global table is made from its colours (else it keeps a local table). The colours of
  // `seed` (a palette the frames are known to draw from) go first into that table when they
  // and the first frame's colours fit it together with an entry for transparency.
  void Reset(bool globalTable = true, std::span<const TGIFColor> seed = {});
  // The global colour table: 256 entries (the first frame's colours, then the entry kept
  // for transparency, then black), or none.
  const std::vector<TGIFColor>& GlobalTable() const { return global_; }

  // The frame to write for a quantised frame, and the screen updated to show it. A first
  // frame is written whole with the global table. A later frame that changes nothing is a
  // single transparent pixel at the top left, so it still holds its place and its delay.
  // A local table holds only the entries the rectangle uses, the transparent one last.
  TOptimizedFrame Optimize(const TQuantizedFrame& frame);
  // The frame Optimize made was written with other pixels (lossy image data): the screen
  // shows those instead. `colors` is the table the frame is written with.
  void Reshow(const TOptimizedFrame& frame, std::span<const TGIFColor> colors);

 private:
  void MakeGlobalTable(const TQuantizedFrame& frame);
  // Pixels of the rectangle through the index map; kept pixels get `transparent`.
  void WritePixels(const TQuantizedFrame& frame, const TRect& bounds, const std::vector<std::int16_t>& map,
                   int transparent, TOptimizedFrame& result);

  TBitmap screen_;
  bool globalAllowed_ = true;
  std::vector<TGIFColor> seed_;
  std::vector<TGIFColor> global_;
  int globalTransparent_ = -1;                                   // the global entry kept for transparency, -1: none
  std::unordered_map<std::uint32_t, std::uint8_t> globalIndex_;  // colour -> first global entry
  std::vector<std::int16_t> local_;                              // frame index -> local table entry
  std::vector<std::int16_t> toGlobal_;                           // frame index -> global table entry
};

}  // namespace clipvane
