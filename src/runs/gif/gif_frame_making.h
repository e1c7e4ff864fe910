// The GIF frames of a two-thread run, made on worker threads and appended by the run in the
// order it read them. A described frame is reduced by itself, so several are made at once; a
// "Best quality" frame depends on the one before, so only its colours are chosen off the run's
// thread, one picture ahead, while the run maps and appends the picture before.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "gif/best_quantizer.h"
#include "gif/gif_image.h"
#include "runs/gif/ordered_workers.h"

namespace clipvane {

// The picture as if drawn onto the decode bitmap resized to its size: in the decoded video's
// pixel format and colour table. A picture that needs converting is converted into `converted`
// (reused when it already has the size, format and table); else the picture itself comes back.
const TBitmap& InDecodeFormat(const TBitmap& picture, TPixelFormat decodeFormat,
                              const std::vector<TRGBQuad>& decodePalette, TBitmap& converted);

// One frame: the picture cut and stretched on the run's thread, then worked on by a worker
// that touches nothing but the job (and, for "Best quality", the chooser, which no other thread
// uses meanwhile).
struct TFrameJob {
  bool Keep = false;        // backward: a kept frame, made during the walk and appended after it
  std::size_t Kept = 0;     // which one
  std::uint16_t Delay = 0;  // "Best quality": hundredths of a second
  TBitmap Picture;
  TPixelFormat DecodeFormat = TPixelFormat::pf24bit;
  std::vector<TRGBQuad> DecodePalette;  // read only for palette formats
  TBitmap Converted;
  bool UsesConverted = false;
  // Described: the frame and the document it was made in (with the run's settings), which
  // must outlive it until the run's document takes it over (declared first, so it goes last).
  std::unique_ptr<TGIFImage> Owner;
  std::unique_ptr<TGIFSubImage> Frame;
  // "Best quality": the picture as 24 bits when it is not, and the colours chosen for it.
  TBitmap Pixels24;
  TFrameColors Colors;

  // The picture the frame was made from, as the document received it.
  const TBitmap& Appended() const { return UsesConverted ? Converted : Picture; }
  // It as 24 bits.
  const TBitmap& Pixels() const { return Appended().PixelFormat() == TPixelFormat::pf24bit ? Appended() : Pixels24; }
};

// The settings of the run's document that a job's document copies.
struct TFrameSettings {
  TColorReduction ReductionMethod = reduceWebCube;
  TDitherMode DitherKind = ditherNone;
  int QuantizeBits = 8;
  TGIFEncoding Encoding = encLZW;
};

// On a worker: the job's frame as AddFrame makes it from the picture in the decode format,
// its image data encoded (a frame whose indices the code size cannot hold keeps its pixels,
// and a save meets the problem as it always did). Errors are thrown.
void MakeFrame(TFrameJob& job, const TFrameSettings& settings);

// On the chooser's thread, the pictures in order: the colours of the job's picture in the
// decode format, as 24 bits.
void ChooseColors(TFrameJob& job, TBestPaletteChooser& chooser);

using TFrameMakers = TOrderedWorkers<TFrameJob>;

// Workers for a run: as many as there are cores, 2 to 4.
int FrameMakerCount();

}  // namespace clipvane
