// Colour conversion, pixel shape and turning of decoded pictures: the scaler settings of both
// outputs and the turning of a shown picture.
#include "video/picture_converter.h"

extern "C" {
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <cstring>

#include "core/error.h"

namespace clipvane::video {

namespace {

// The scaler's coefficient table for a colour matrix; SWS_CS_DEFAULT is BT.601.
int Coefficients(int space) {
  switch (space) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_FCC:
      return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
      return SWS_CS_SMPTE240M;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    default:
      return SWS_CS_ITU601;
  }
}

bool FullRange(const AVFrame* picture) { return IsFullRange(picture->format, picture->color_range); }

}  // namespace

bool IsFullRange(int pixelFormat, int colorRange) {
  switch (pixelFormat) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
    case AV_PIX_FMT_YUVJ411P:
      return true;
    default:
      return colorRange == AVCOL_RANGE_JPEG;
  }
}

TPictureConverter::TPictureConverter(const TPictureGeometry& geometry, THdrMode hdr)
    : shown_(true), geometry_(geometry), hdrMode_(hdr) {}

TPictureConverter::TPictureConverter() : shown_(false) {}

TPictureConverter::~TPictureConverter() { sws_freeContext(scaler_); }

TPictureConverter::TScaling TPictureConverter::ScalingFor(const AVFrame* picture) const {
  TScaling scaling;
  scaling.SourceWidth = picture->width;
  scaling.SourceHeight = picture->height;
  scaling.SourceFormat = picture->format;
  scaling.FullRange = FullRange(picture) ? 1 : 0;
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture->format));
  const bool yuv = descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) && descriptor->nb_components >= 3;
  if (!shown_) {
    // As the AVI reader has always converted: the picture's matrix number as the scaler's.
    const int space = picture->colorspace;
    scaling.Width = picture->width;
    scaling.Height = picture->height;
    scaling.Format = AV_PIX_FMT_BGR24;
    scaling.Flags = SWS_BILINEAR;
    if (yuv) scaling.Coefficients = space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RGB ? SWS_CS_DEFAULT : space;
    return scaling;
  }
  if (!descriptor) throw EClipvaneError("The video's pixel format cannot be converted");
  const int space = picture->colorspace != AVCOL_SPC_UNSPECIFIED && picture->colorspace != AVCOL_SPC_RESERVED
                        ? picture->colorspace
                        : geometry_.DefaultColorSpace;
  const bool across = geometry_.Rotation == 90 || geometry_.Rotation == 270;
  scaling.Width = across ? geometry_.DisplayHeight : geometry_.DisplayWidth;
  scaling.Height = across ? geometry_.DisplayWidth : geometry_.DisplayHeight;
  scaling.Format = (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) ? AV_PIX_FMT_BGRA : AV_PIX_FMT_BGR24;
  // Full chroma interpolation and accurate rounding: colours as exact as the scaler makes them.
  scaling.Flags = SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;
  if (yuv) scaling.Coefficients = Coefficients(space);
  if (hdrMode_ == THdrMode::hdrToSdr) scaling.Hdr = HdrColoursOf(picture, scaling.FullRange != 0, geometry_.PeakNits);
  return scaling;
}

void TPictureConverter::Prepare(const AVFrame* picture) {
  const TScaling scaling = ScalingFor(picture);
  if ((scaler_ || hdr_) && scaling == made_) return;
  sws_freeContext(scaler_);
  scaler_ = nullptr;
  hdr_.reset();
  if (scaling.Hdr.Transfer != 0) {
    hdr_ = std::make_unique<THdrConverter>(scaling.SourceWidth, scaling.SourceHeight, scaling.SourceFormat,
                                           scaling.Width, scaling.Height, scaling.Hdr);
  } else {
    scaler_ = sws_getContext(scaling.SourceWidth, scaling.SourceHeight,
                             static_cast<AVPixelFormat>(scaling.SourceFormat), scaling.Width, scaling.Height,
                             static_cast<AVPixelFormat>(scaling.Format), scaling.Flags, nullptr, nullptr, nullptr);
    if (!scaler_)
      throw EClipvaneError(shown_ ? "The video's pixel format cannot be converted"
                                  : "The AVI frame's pixel format cannot be converted");
    if (scaling.Coefficients >= 0)
      sws_setColorspaceDetails(scaler_, sws_getCoefficients(scaling.Coefficients), scaling.FullRange,
                               sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  }
  made_ = scaling;
  if (!shown_) return;
  alpha_ = scaling.Format == AV_PIX_FMT_BGRA;
  // Rows a little longer than needed: some scalers write past a row's last pixel.
  scaledStride_ = (scaling.Width * (alpha_ ? 4 : 3) + 63) / 64 * 64 + 64;
  scaled_.assign(static_cast<std::size_t>(scaledStride_) * static_cast<std::size_t>(scaling.Height) + 64, 0);
}

void TPictureConverter::ConvertRows(const AVFrame* picture, std::uint8_t* firstRow, std::ptrdiff_t stride) {
  Prepare(picture);
  std::uint8_t* planes[4] = {firstRow, nullptr, nullptr, nullptr};
  const int strides[4] = {static_cast<int>(stride), 0, 0, 0};
  sws_scale(scaler_, picture->data, picture->linesize, 0, picture->height, planes, strides);
}

void TPictureConverter::Convert(const AVFrame* picture, TBitmap& bitmap) {
  if (picture->width <= 0 || picture->height <= 0) throw EClipvaneError("The video's picture has no pixels");
  Prepare(picture);
  const bool across = geometry_.Rotation == 90 || geometry_.Rotation == 270;
  const int scaledWidth = across ? geometry_.DisplayHeight : geometry_.DisplayWidth;
  const int scaledHeight = across ? geometry_.DisplayWidth : geometry_.DisplayHeight;
  if (hdr_) {
    hdr_->Convert(picture, scaled_.data(), scaledStride_);
  } else {
    std::uint8_t* planes[4] = {scaled_.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {scaledStride_, 0, 0, 0};
    sws_scale(scaler_, picture->data, picture->linesize, 0, picture->height, planes, strides);
  }

  if (bitmap.Width() != geometry_.DisplayWidth || bitmap.Height() != geometry_.DisplayHeight ||
      bitmap.PixelFormat() != TPixelFormat::pf24bit)
    bitmap = TBitmap(geometry_.DisplayWidth, geometry_.DisplayHeight, TPixelFormat::pf24bit);
  const int step = alpha_ ? 4 : 3;
  // Source pixel (x, y) of the scaled picture lands at display pixel (dx, dy).
  auto source = [&](int x, int y) {
    return scaled_.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(scaledStride_) +
           static_cast<std::size_t>(x) * static_cast<std::size_t>(step);
  };
  for (int dy = 0; dy < geometry_.DisplayHeight; ++dy) {
    std::uint8_t* out = bitmap.ScanLine(dy);
    if (geometry_.Rotation == 0 && !alpha_) {
      std::memcpy(out, source(0, dy), static_cast<std::size_t>(scaledWidth) * 3);
      continue;
    }
    for (int dx = 0; dx < geometry_.DisplayWidth; ++dx) {
      int x = dx, y = dy;
      switch (geometry_.Rotation) {
        case 90:
          x = dy, y = scaledHeight - 1 - dx;
          break;  // turned clockwise
        case 180:
          x = scaledWidth - 1 - dx, y = scaledHeight - 1 - dy;
          break;
        case 270:
          x = scaledWidth - 1 - dy, y = dx;
          break;
        default:
          break;
      }
      const std::uint8_t* in = source(x, y);
      std::uint8_t* pixel = out + 3 * dx;
      if (alpha_) {
        // Over black: each colour weighed by its opacity, rounded.
        const unsigned opacity = in[3];
        for (int c = 0; c < 3; ++c) pixel[c] = static_cast<std::uint8_t>((in[c] * opacity + 127) / 255);
      } else {
        pixel[0] = in[0], pixel[1] = in[1], pixel[2] = in[2];
      }
    }
  }
}

}  // namespace clipvane::video
