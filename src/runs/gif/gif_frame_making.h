// The described GIF frames of a two-thread run, made on worker threads: each frame is reduced
// by itself, so several can be made at once; the run appends them in the order it read them.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "gif/gif_image.h"
#include "runs/gif/ordered_workers.h"

namespace clipvane {

// The picture as if drawn onto the decode bitmap resized to its size: in the decoded video's
// pixel format and colour table. A picture that needs converting is converted into `converted`
// (reused when it already has the size, format and table); else the picture itself comes back.
const TBitmap& InDecodeFormat(const TBitmap& picture, TPixelFormat decodeFormat,
                              const std::vector<TRGBQuad>& decodePalette, TBitmap& converted);

// One frame: the picture cut and stretched on the run's thread, then reduced and encoded by a
// worker in a document of the job's own with the run's settings (so the worker touches nothing
// the run's thread does).
struct TFrameJob {
  std::size_t Kept = 0;  // backward: the kept frame it is made for
  TBitmap Picture;
  TPixelFormat DecodeFormat = TPixelFormat::pf24bit;
  std::vector<TRGBQuad> DecodePalette;  // read only for palette formats
  TBitmap Converted;
  bool UsesConverted = false;
  // The frame and the document it was made in, which must outlive it until the run's
  // document takes it over (declared first, so it goes last).
  std::unique_ptr<TGIFImage> Owner;
  std::unique_ptr<TGIFSubImage> Frame;

  // The picture the frame was made from, as the document received it.
  const TBitmap& Appended() const { return UsesConverted ? Converted : Picture; }
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

using TFrameMakers = TOrderedWorkers<TFrameJob>;

// Workers for a run: as many as there are cores, 2 to 4.
int FrameMakerCount();

}  // namespace clipvane
