// THdrConverter: an HDR picture (PQ or HLG) made into SDR rows of blue-green-red pixels at a
// given size. zimg turns the picture's Y'CbCr (any matrix, range, chroma siting and bit
// depth) or R'G'B' into R'G'B' at the output size, a few rows at a time, and THdrColourMap
// makes each row SDR as it comes. Private to the video layer: includes FFmpeg.
#pragma once

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/frame.h>
}

#include <cstddef>
#include <cstdint>
#include <memory>

#include "video/hdr_colour_map.h"

struct SwsContext;
struct zimg_filter_graph;

namespace clipvane::video {

// True for the transfers an HDR picture has: SMPTE ST 2084 (PQ) and ARIB STD-B67 (HLG).
bool IsHdrTransfer(int transfer);

// How an HDR picture's colours are coded, in FFmpeg's numbers, with the defaults for what
// the picture does not say already applied.
struct THdrColours {
  int Transfer = 0;  // AVCOL_TRC_SMPTE2084 or AVCOL_TRC_ARIB_STD_B67; 0: not HDR
  int Matrix = 0;    // AVColorSpace
  int Primaries = 0;
  int ChromaLocation = 0;  // AVChromaLocation
  bool FullRange = false;
  int PeakNits = 0;  // the brightest light of a PQ video
  friend bool operator==(const THdrColours&, const THdrColours&) = default;
};

// The colours of `picture` when it is HDR (Transfer 0 otherwise). `peakNits`: the video's
// brightest light as PeakNitsOf found it, 0 when unknown (then 1000). One peak for the whole
// video, so that its pictures all go through the same tone curve.
THdrColours HdrColoursOf(const AVFrame* picture, bool fullRange, int peakNits);

// The brightest light of a PQ video in nits, as its content light level (MaxCLL) or else its
// mastering display says, on its first picture (may be null) or its stream; 0 when neither
// says.
int PeakNitsOf(const AVStream* stream, const AVFrame* first);

class THdrConverter {
 public:
  // For pictures of that size and pixel format, made `width` x `height`; a format with
  // opacity gives blue-green-red-alpha pixels. Throws EClipvaneError when the format cannot
  // be converted.
  THdrConverter(int sourceWidth, int sourceHeight, int sourceFormat, int width, int height, const THdrColours& colours);
  ~THdrConverter() = default;
  THdrConverter(const THdrConverter&) = delete;
  THdrConverter& operator=(const THdrConverter&) = delete;

  // Writes the picture's rows from `firstRow` on, `stride` bytes apart.
  void Convert(const AVFrame* picture, std::uint8_t* firstRow, std::ptrdiff_t stride);

 private:
  struct TFree {
    void operator()(void* memory) const;
    void operator()(zimg_filter_graph* graph) const;
    void operator()(SwsContext* scaler) const;
  };
  using TBuffer = std::unique_ptr<std::uint8_t, TFree>;
  static TBuffer Allocate(std::size_t bytes);
  static int PackRow(void* self, unsigned row, unsigned left, unsigned right);
  // Copies `rows` rows of `columns` samples of the picture's plane into a plane of our own
  // that zimg can read, repeating the last column and row up to the padded size.
  const std::uint8_t* CopyPlane(int plane, const std::uint8_t* data, int linesize, int columns, int rows,
                                int paddedColumns, int paddedRows);

  int sourceWidth_, sourceHeight_;
  int paddedWidth_ = 0, paddedHeight_ = 0;  // the size zimg reads: whole chroma samples
  bool alpha_ = false;
  THdrColourMap map_;
  std::unique_ptr<zimg_filter_graph, TFree> graph_;
  TBuffer scratch_;
  // zimg reads the picture's planes in place when they are aligned and of whole chroma
  // samples; else copies of them, or (for formats zimg cannot read) the picture converted to
  // 16-bit planes by `stager_`.
  std::unique_ptr<SwsContext, TFree> stager_;
  int planeOf_[4] = {0, 1, 2, 3};  // the picture's plane of R/Y, G/U, B/V, alpha
  int bytesPerSample_ = 1;
  int chromaShiftX_ = 0, chromaShiftY_ = 0;
  TBuffer staged_[4];
  std::ptrdiff_t stagedStride_[4] = {};
  // R', G', B' and alpha rows at the output size, in a ring zimg fills.
  TBuffer rows_[4];
  std::ptrdiff_t rowStride_ = 0;
  unsigned rowMask_ = 0;
  // Where PackRow writes, during Convert.
  std::uint8_t* out_ = nullptr;
  std::ptrdiff_t outStride_ = 0;
};

}  // namespace clipvane::video
