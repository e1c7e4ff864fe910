// A "Best quality" frame from a picture: quantise, optimise against the screen, append.
#include "gif/best_quality_encoder.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "gif/gif_extensions.h"
#include "gif/gif_image_data.h"
#include "gif/gif_stream.h"

namespace clipvane {

TBestQualityEncoder::TBestQualityEncoder(TBestQuantizerSettings settings, int lossyLevel)
    : quantizer_(settings), lossyLevel_(std::clamp(lossyLevel, 0, kLossyLevelMaximum)) {
  if (lossyLevel_ > 0) lossy_ = std::make_unique<TLossyLZWEncoder>();
}

void TBestQualityEncoder::WriteLossy(TGIFSubImage& frame, TOptimizedFrame& optimized, const TBitmap& picture) {
  const std::vector<TGIFColor>& colors = optimized.ColorTable.empty() ? optimizer_.GlobalTable() : optimized.ColorTable;
  const TGIFImageDataFormat format = frame.DataFormat();
  lossy_->SetColors(colors, optimized.TransparentIndex, lossyLevel_);
  lossy_->SetTarget(&picture, optimized.Bounds.Left, optimized.Bounds.Top);
  TGIFMemoryStream data;
  lossy_->Compress(data, format.BitsPerPixel, frame.Width(), frame.Height(), format.Interlaced, frame.Data(),
                   frame.ColorLimit());
  optimized.Pixels = lossy_->Decoded();
  std::copy(optimized.Pixels.begin(), optimized.Pixels.end(), frame.Data());
  optimizer_.Reshow(optimized, colors);
  frame.SetEncodedData(TGIFEncodedImage::FromBytes(data.TakeBytes(), format, frame.Width(), frame.Height()));
}

const TBitmap& TBestQualityEncoder::TwentyFourBits(const TBitmap& picture, TBitmap& converted) {
  if (picture.PixelFormat() == TPixelFormat::pf24bit) return picture;
  if (converted.PixelFormat() != TPixelFormat::pf24bit || converted.Width() != picture.Width() ||
      converted.Height() != picture.Height())
    converted = TBitmap(picture.Width(), picture.Height(), TPixelFormat::pf24bit);
  converted.Draw(0, 0, picture);
  return converted;
}

int TBestQualityEncoder::AddFrame(TGIFImage& document, const TBitmap& picture, std::uint16_t delay) {
  if (picture.Empty()) throw GIFException(sGIFInvalidImageDimensions);
  const TBitmap& pixels = TwentyFourBits(picture, converted_);
  Chooser().Choose(pixels, colors_);
  return AddChosen(document, picture, pixels, colors_, delay);
}

int TBestQualityEncoder::AddChosen(TGIFImage& document, const TBitmap& picture, const TBitmap& pixels,
                                   TFrameColors& colors, std::uint16_t delay) {
  if (picture.Empty()) throw GIFException(sGIFInvalidImageDimensions);
  const TBitmap* screen = optimizer_.Screen();
  const bool first = document.Empty() || !screen || screen->Width() != picture.Width() ||
                     screen->Height() != picture.Height();
  if (first) {
    // A table made now could serve only this run's frames if the document had none yet.
    // A palette picture's own table is where a palette video's next frames draw from too.
    std::vector<TGIFColor> seed;
    for (const TRGBQuad& entry : picture.Palette()) seed.push_back({entry.Red, entry.Green, entry.Blue});
    optimizer_.Reset(document.Empty() && document.GlobalColorMap().Count() == 0, seed);
    screen = nullptr;
  }
  quantizer_.Map(pixels, screen, colors, quantized_);
  TOptimizedFrame optimized = optimizer_.Optimize(quantized_);

  auto frame = std::make_unique<TGIFSubImage>(&document);
  TGIFSubImage& built = *frame;
  built.SetBounds(optimized.Bounds.Left, optimized.Bounds.Top, optimized.Bounds.Width(), optimized.Bounds.Height());
  if (optimized.First && !optimizer_.GlobalTable().empty())
    document.GlobalColorMap().ImportRGB(optimizer_.GlobalTable());
  if (!optimized.ColorTable.empty()) built.ColorMap().ImportRGB(optimized.ColorTable);
  std::copy(optimized.Pixels.begin(), optimized.Pixels.end(), built.Data());
  if (document.Empty()) {
    auto loop = std::make_unique<TGIFAppExtNSLoop>(&built);
    loop->LoopCount = 0;  // repeat forever
    built.Extensions().Add(std::move(loop));
  }
  auto control = std::make_unique<TGIFGraphicControlExtension>(&built);
  control->SetDelay(delay);
  control->SetDisposal(dmNoDisposal);
  if (optimized.TransparentIndex >= 0) {
    control->SetTransparentColorIndex(optimized.TransparentIndex);
    control->SetTransparent(true);
  }
  built.Extensions().Add(std::move(control));
  if (lossy_) WriteLossy(built, optimized, pixels);
  return document.AddFrame(std::move(frame));
}

}  // namespace clipvane
