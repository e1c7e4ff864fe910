// GIF frames made, or their colours chosen, off the run's thread.
#include "runs/gif/gif_frame_making.h"

#include <algorithm>
#include <thread>

#include "gif/best_quality_encoder.h"

namespace clipvane {

const TBitmap& InDecodeFormat(const TBitmap& picture, TPixelFormat decodeFormat,
                              const std::vector<TRGBQuad>& decodePalette, TBitmap& converted) {
  if (decodeFormat == picture.PixelFormat() && (!IsPaletteFormat(decodeFormat) || decodePalette == picture.Palette()))
    return picture;
  if (converted.PixelFormat() != decodeFormat || converted.Width() != picture.Width() ||
      converted.Height() != picture.Height())
    converted = TBitmap(picture.Width(), picture.Height(), decodeFormat);
  if (IsPaletteFormat(decodeFormat) && converted.Palette() != decodePalette) converted.SetPalette(decodePalette);
  converted.Draw(0, 0, picture);
  return converted;
}

void MakeFrame(TFrameJob& job, const TFrameSettings& settings) {
  const TBitmap& picture = InDecodeFormat(job.Picture, job.DecodeFormat, job.DecodePalette, job.Converted);
  job.UsesConverted = &picture == &job.Converted;
  job.Owner = std::make_unique<TGIFImage>();
  job.Owner->ReductionMethod = settings.ReductionMethod;
  job.Owner->DitherKind = settings.DitherKind;
  job.Owner->QuantizeBits = settings.QuantizeBits;
  job.Owner->Encoding = settings.Encoding;
  job.Frame = std::make_unique<TGIFSubImage>(job.Owner.get());
  job.Frame->Assign(picture);
  job.Frame->Encode();
}

void ChooseColors(TFrameJob& job, TBestPaletteChooser& chooser) {
  const TBitmap& picture = InDecodeFormat(job.Picture, job.DecodeFormat, job.DecodePalette, job.Converted);
  job.UsesConverted = &picture == &job.Converted;
  chooser.Choose(TBestQualityEncoder::TwentyFourBits(picture, job.Pixels24), job.Colors);
}

// The decoder keeps a thread of its own busy as well; more than 4 would only hold more frames.
int FrameMakerCount() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 2u, 4u)); }

}  // namespace clipvane
