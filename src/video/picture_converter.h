// TPictureConverter: the one place where the colours of a decoded picture become the
// program's 24-bit ones, by the picture's colour matrix and range (the stream's default when
// the picture names none). Two outputs: a picture as a player shows it (square pixels, turned
// upright, alpha laid over black, HDR made SDR, at the display size fixed when the video was
// opened), and an AVI's picture in the decoder's own size, as the rows of its packed bitmap.
// Every picture the program shows or writes that is not already in a bitmap's own pixel
// format passes through Prepare. Private to the video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavutil/frame.h>
}

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "core/bitmap.h"
#include "video/frame_index.h"
#include "video/frame_source.h"
#include "video/hdr_converter.h"

struct SwsContext;

namespace clipvane::video {

// True when Y'CbCr samples of that pixel format and range tag span the whole range (JPEG's
// formats, or a full-range tag).
bool IsFullRange(int pixelFormat, int colorRange);

class TPictureConverter {
 public:
  // For pictures as a player shows them, turned and sized by `geometry`; HDR pictures made
  // SDR unless `hdr` keeps their raw values.
  explicit TPictureConverter(const TPictureGeometry& geometry, THdrMode hdr = THdrMode::hdrToSdr);
  // For an AVI's pictures, at their own size and as its frame reader has always made them.
  TPictureConverter();
  ~TPictureConverter();
  TPictureConverter(const TPictureConverter&) = delete;
  TPictureConverter& operator=(const TPictureConverter&) = delete;

  // Fills `bitmap` (made 24-bit at the display size) from the picture. Throws EClipvaneError
  // when the picture's format cannot be converted.
  void Convert(const AVFrame* picture, TBitmap& bitmap);
  // Writes the picture's rows as 24-bit blue-green-red pixels from `firstRow` on, `stride`
  // bytes apart (negative for bottom-up rows). Converters write up to 64 bytes past a row's
  // last pixel. Throws EClipvaneError when the format cannot be converted.
  void ConvertRows(const AVFrame* picture, std::uint8_t* firstRow, std::ptrdiff_t stride);

 private:
  // What the scaler is made for.
  struct TScaling {
    int SourceWidth = 0, SourceHeight = 0, SourceFormat = -1;
    int Width = 0, Height = 0, Format = -1, Flags = 0;
    int Coefficients = -1;  // the scaler's table for the matrix; -1: the picture is RGB
    int FullRange = 0;
    THdrColours Hdr;  // Transfer 0: the scaler converts; else the HDR converter
    friend bool operator==(const TScaling&, const TScaling&) = default;
  };

  TScaling ScalingFor(const AVFrame* picture) const;
  // Makes the scaler for the picture, unless the one made last fits it.
  void Prepare(const AVFrame* picture);

  bool shown_;
  TPictureGeometry geometry_;
  THdrMode hdrMode_ = THdrMode::hdrRaw;
  SwsContext* scaler_ = nullptr;
  std::unique_ptr<THdrConverter> hdr_;
  TScaling made_;
  bool alpha_ = false;
  // A shown picture scaled to square pixels, before turning: BGR (or BGRA with alpha) rows.
  std::vector<std::uint8_t> scaled_;
  int scaledStride_ = 0;
};

}  // namespace clipvane::video
