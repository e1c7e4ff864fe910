// "Best quality" frames for a GIF document: each picture is reduced by TBestQuantizer,
// written as what changed by TInterFrameOptimizer, and appended with its graphic control
// extension (delay, disposal "do not dispose", transparency); the first frame also carries
// the looping extension, first in its list. A frame of another size than the one before
// starts afresh (written whole). With a lossy level the image data is lossy LZW, held by the
// frame as written, and the frames after build on what it decodes to.
#pragma once

#include <cstdint>
#include <memory>

#include "core/bitmap.h"
#include "gif/best_quantizer.h"
#include "gif/gif_image.h"
#include "gif/inter_frame_optimizer.h"
#include "gif/lossy_lzw.h"

namespace clipvane {

class TBestQualityEncoder {
 public:
  // lossyLevel: 0 (lossless) to 100, see TLossyLZWEncoder.
  explicit TBestQualityEncoder(TBestQuantizerSettings settings = {}, int lossyLevel = 0);

  // Appends the picture (any pixel format; not empty) to the document as its next frame,
  // shown for delay hundredths of a second. Returns the frame's index. The document's
  // logical screen grows to the first frame's size.
  int AddFrame(TGIFImage& document, const TBitmap& picture, std::uint16_t delay);

  // AddFrame in two steps, so that the colours of the next picture can be chosen on another
  // thread while this one is appended. First, on any one thread at a time and in the order of
  // the frames, Chooser().Choose(TwentyFourBits(picture), colors); then, on the document's
  // thread, AddChosen with the same picture, its 24 bits and those colours (used up).
  TBestPaletteChooser& Chooser() { return quantizer_.Chooser(); }
  int AddChosen(TGIFImage& document, const TBitmap& picture, const TBitmap& pixels, TFrameColors& colors,
                std::uint16_t delay);
  // The picture as 24 bits: itself, or its copy in `converted` (reused when of its size).
  static const TBitmap& TwentyFourBits(const TBitmap& picture, TBitmap& converted);

  const TBestQuantizer& Quantizer() const { return quantizer_; }
  // What the frames appended so far show, as 24 bits; none before the first.
  const TBitmap* Screen() const { return optimizer_.Screen(); }

 private:
  // The frame's image data as lossy LZW, judged against the 24-bit picture it was made from;
  // the pixels become those it decodes to.
  void WriteLossy(TGIFSubImage& frame, TOptimizedFrame& optimized, const TBitmap& picture);

  TBestQuantizer quantizer_;
  int lossyLevel_ = 0;
  std::unique_ptr<TLossyLZWEncoder> lossy_;
  TInterFrameOptimizer optimizer_;
  TQuantizedFrame quantized_;
  TFrameColors colors_;
  TBitmap converted_;  // a picture of another format, as 24 bits
};

}  // namespace clipvane
