// HDR pictures to SDR rows: the zimg graph from the picture's planes to R'G'B' at the output
// size, the picture's planes as zimg takes them, and the colour map on each row zimg gives.
#include "video/hdr_converter.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <zimg.h>

#include <bit>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/error.h"

namespace clipvane::video {

namespace {

// zimg reads and writes planes whose rows start on this many bytes (AVX2's 32; 64 leaves
// room for wider vectors).
constexpr std::size_t kAlign = 64;

std::size_t Aligned(std::size_t bytes) { return (bytes + kAlign - 1) / kAlign * kAlign; }

bool IsAligned(const void* pointer, std::ptrdiff_t stride) {
  return reinterpret_cast<std::uintptr_t>(pointer) % 32 == 0 && stride % 32 == 0;
}

[[noreturn]] void CannotConvert() { throw EClipvaneError("The video's pixel format cannot be converted"); }

// FFmpeg's numbers of matrices, transfers and primaries are ITU-T H.273's, as zimg's are;
// only the ones zimg knows are passed on.
bool ZimgKnowsMatrix(int matrix) {
  switch (matrix) {
    case AVCOL_SPC_BT709:
    case AVCOL_SPC_FCC:
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
    case AVCOL_SPC_SMPTE240M:
    case AVCOL_SPC_YCGCO:
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
    case AVCOL_SPC_CHROMA_DERIVED_NCL:
    case AVCOL_SPC_CHROMA_DERIVED_CL:
    case AVCOL_SPC_ICTCP:
      return true;
    default:
      return false;
  }
}

bool ZimgKnowsPrimaries(int primaries) {
  switch (primaries) {
    case AVCOL_PRI_BT709:
    case AVCOL_PRI_BT470M:
    case AVCOL_PRI_BT470BG:
    case AVCOL_PRI_SMPTE170M:
    case AVCOL_PRI_SMPTE240M:
    case AVCOL_PRI_FILM:
    case AVCOL_PRI_BT2020:
    case AVCOL_PRI_SMPTE428:
    case AVCOL_PRI_SMPTE431:
    case AVCOL_PRI_SMPTE432:
    case AVCOL_PRI_EBU3213:
      return true;
    default:
      return false;
  }
}

// zimg counts chroma locations from FFmpeg's second (left) on; left is MPEG-2's and HEVC's
// default.
zimg_chroma_location_e ZimgChroma(int location) {
  if (location <= AVCHROMA_LOC_UNSPECIFIED || location > AVCHROMA_LOC_BOTTOM) return ZIMG_CHROMA_LEFT;
  return static_cast<zimg_chroma_location_e>(location - 1);
}

// The planes zimg can read as they are: planar, this machine's byte order, one sample in
// each byte or 16-bit word from bit 0, three colours and perhaps an opacity.
bool ZimgReads(const AVPixFmtDescriptor* descriptor) {
  const auto unusual = AV_PIX_FMT_FLAG_PAL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_HWACCEL |
                       AV_PIX_FMT_FLAG_FLOAT | AV_PIX_FMT_FLAG_BAYER;
  if ((descriptor->flags & unusual) || !(descriptor->flags & AV_PIX_FMT_FLAG_PLANAR)) return false;
  if (((descriptor->flags & AV_PIX_FMT_FLAG_BE) != 0) != (std::endian::native == std::endian::big)) return false;
  if (descriptor->nb_components != 3 && descriptor->nb_components != 4) return false;
  const int depth = descriptor->comp[0].depth;
  if (depth < 8 || depth > 16) return false;
  for (int c = 0; c < descriptor->nb_components; ++c) {
    const AVComponentDescriptor& component = descriptor->comp[c];
    if (component.depth != depth || component.shift != 0 || component.offset != 0 ||
        component.step != (depth > 8 ? 2 : 1))
      return false;
  }
  return descriptor->log2_chroma_w <= 2 && descriptor->log2_chroma_h <= 2;
}

// `side` rounded up to a multiple of 2^shift.
int RoundedUp(int side, int shift) { return (side + (1 << shift) - 1) >> shift << shift; }

// The matrix from linear light in `primaries` to linear light in BT.709's, row by row, as
// zimg converts the three primaries themselves.
std::array<float, 9> ToBt709(int primaries) {
  constexpr unsigned kColumns = 16;  // a row of its own aligned width
  zimg_image_format from, to;
  zimg_image_format_default(&from, ZIMG_API_VERSION);
  zimg_image_format_default(&to, ZIMG_API_VERSION);
  for (zimg_image_format* format : {&from, &to}) {
    format->width = 3;
    format->height = 1;
    format->pixel_type = ZIMG_PIXEL_FLOAT;
    format->color_family = ZIMG_COLOR_RGB;
    format->matrix_coefficients = ZIMG_MATRIX_RGB;
    format->transfer_characteristics = ZIMG_TRANSFER_LINEAR;
  }
  from.color_primaries = static_cast<zimg_color_primaries_e>(primaries);
  to.color_primaries = ZIMG_PRIMARIES_BT709;
  zimg_filter_graph* graph = zimg_filter_graph_build(&from, &to, nullptr);
  if (!graph) CannotConvert();
  alignas(kAlign) float primariesIn[3][kColumns] = {};
  alignas(kAlign) float bt709Out[3][kColumns] = {};
  for (int c = 0; c < 3; ++c) primariesIn[c][c] = 1;  // column c: primary c alone
  zimg_image_buffer_const source{};
  zimg_image_buffer target{};
  source.version = target.version = ZIMG_API_VERSION;
  for (int c = 0; c < 3; ++c) {
    source.plane[c] = {primariesIn[c], sizeof primariesIn[c], ZIMG_BUFFER_MAX};
    target.plane[c] = {bt709Out[c], sizeof bt709Out[c], ZIMG_BUFFER_MAX};
  }
  std::size_t scratchBytes = 0;
  zimg_filter_graph_get_tmp_size(graph, &scratchBytes);
  void* scratch = std::aligned_alloc(kAlign, Aligned(std::max<std::size_t>(scratchBytes, 1)));
  const bool done = scratch && zimg_filter_graph_process(graph, &source, &target, scratch, nullptr, nullptr, nullptr,
                                                         nullptr) == ZIMG_ERROR_SUCCESS;
  std::free(scratch);
  zimg_filter_graph_free(graph);
  if (!done) CannotConvert();
  std::array<float, 9> matrix{};
  for (int row = 0; row < 3; ++row)
    for (int column = 0; column < 3; ++column)
      matrix[static_cast<std::size_t>(row * 3 + column)] = bt709Out[row][column];
  return matrix;
}

// A scaler from the picture's format to `staged` at the same size, reading chroma where the
// picture says it lies (left, as zimg takes it, when it does not say); null when it cannot.
SwsContext* Stager(int width, int height, int format, AVPixelFormat staged, int chromaLocation) {
  SwsContext* scaler = sws_alloc_context();
  if (!scaler) return nullptr;
  int x = 0, y = 128;  // in 256ths of a luma sample
  avcodec_enum_to_chroma_pos(
      &x, &y,
      chromaLocation > AVCHROMA_LOC_UNSPECIFIED ? static_cast<AVChromaLocation>(chromaLocation) : AVCHROMA_LOC_LEFT);
  const bool set =
      av_opt_set_int(scaler, "srcw", width, 0) >= 0 && av_opt_set_int(scaler, "srch", height, 0) >= 0 &&
      av_opt_set_int(scaler, "src_format", format, 0) >= 0 && av_opt_set_int(scaler, "dstw", width, 0) >= 0 &&
      av_opt_set_int(scaler, "dsth", height, 0) >= 0 && av_opt_set_int(scaler, "dst_format", staged, 0) >= 0 &&
      av_opt_set_int(scaler, "sws_flags", SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, 0) >= 0 &&
      av_opt_set_int(scaler, "src_h_chr_pos", x, 0) >= 0 && av_opt_set_int(scaler, "src_v_chr_pos", y, 0) >= 0;
  if (!set || sws_init_context(scaler, nullptr, nullptr) < 0) {
    sws_freeContext(scaler);
    return nullptr;
  }
  return scaler;
}

THdrTransfer TransferOf(const THdrColours& colours) {
  return colours.Transfer == AVCOL_TRC_ARIB_STD_B67 ? THdrTransfer::htHlg : THdrTransfer::htPq;
}

// What a PQ video without a word of its brightest light is taken to reach: the mastering
// displays most such videos are made on.
constexpr int kAssumedPeakNits = 1000;

int NitsOf(AVRational value) {
  if (value.num <= 0 || value.den <= 0) return 0;
  return static_cast<int>(std::min<std::int64_t>(100000, std::int64_t{value.num} / value.den));
}

}  // namespace

bool IsHdrTransfer(int transfer) { return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67; }

THdrColours HdrColoursOf(const AVFrame* picture, bool fullRange, int peakNits) {
  THdrColours colours;
  if (!IsHdrTransfer(picture->color_trc)) return colours;
  colours.Transfer = picture->color_trc;
  // HDR video comes in BT.2020 unless it says otherwise.
  colours.Matrix = ZimgKnowsMatrix(picture->colorspace) ? picture->colorspace : AVCOL_SPC_BT2020_NCL;
  colours.Primaries = ZimgKnowsPrimaries(picture->color_primaries) ? picture->color_primaries : AVCOL_PRI_BT2020;
  colours.ChromaLocation = picture->chroma_location;
  colours.FullRange = fullRange;
  colours.PeakNits = peakNits > 0 ? peakNits : kAssumedPeakNits;
  return colours;
}

int PeakNitsOf(const AVStream* stream, const AVFrame* first) {
  const AVContentLightMetadata* light = nullptr;
  const AVMasteringDisplayMetadata* mastering = nullptr;
  if (first) {
    if (const AVFrameSideData* data = av_frame_get_side_data(first, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL))
      light = reinterpret_cast<const AVContentLightMetadata*>(data->data);
    if (const AVFrameSideData* data = av_frame_get_side_data(first, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA))
      mastering = reinterpret_cast<const AVMasteringDisplayMetadata*>(data->data);
  }
  std::size_t size = 0;
  if (!light)
    if (const std::uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, &size);
        data && size >= sizeof(AVContentLightMetadata))
      light = reinterpret_cast<const AVContentLightMetadata*>(data);
  if (!mastering)
    if (const std::uint8_t* data = av_stream_get_side_data(stream, AV_PKT_DATA_MASTERING_DISPLAY_METADATA, &size);
        data && size >= sizeof(AVMasteringDisplayMetadata))
      mastering = reinterpret_cast<const AVMasteringDisplayMetadata*>(data);
  // The content's own brightest pixel says more than the display it was made on.
  if (light && light->MaxCLL > 0) return static_cast<int>(std::min(light->MaxCLL, 100000u));
  if (mastering && mastering->has_luminance) return NitsOf(mastering->max_luminance);
  return 0;
}

void THdrConverter::TFree::operator()(void* memory) const { std::free(memory); }
void THdrConverter::TFree::operator()(zimg_filter_graph* graph) const { zimg_filter_graph_free(graph); }
void THdrConverter::TFree::operator()(SwsContext* scaler) const { sws_freeContext(scaler); }

THdrConverter::TBuffer THdrConverter::Allocate(std::size_t bytes) {
  TBuffer buffer(static_cast<std::uint8_t*>(std::aligned_alloc(kAlign, Aligned(std::max<std::size_t>(bytes, 1)))));
  if (!buffer) throw std::bad_alloc();
  return buffer;
}

THdrConverter::THdrConverter(int sourceWidth, int sourceHeight, int sourceFormat, int width, int height,
                             const THdrColours& colours)
    : sourceWidth_(sourceWidth),
      sourceHeight_(sourceHeight),
      map_(TransferOf(colours), ToBt709(colours.Primaries), colours.PeakNits) {
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(sourceFormat));
  if (!descriptor || sourceWidth <= 0 || sourceHeight <= 0 || width <= 0 || height <= 0) CannotConvert();
  alpha_ = (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA) != 0;
  const bool rgb = (descriptor->flags & AV_PIX_FMT_FLAG_RGB) != 0;
  if (!ZimgReads(descriptor)) {
    // Packed, semi-planar or grey pictures: to 16-bit planes first, by the scaler, which keeps
    // the range and the colours' meaning.
    const AVPixelFormat staged = rgb ? (alpha_ ? AV_PIX_FMT_GBRAP16 : AV_PIX_FMT_GBRP16)
                                     : (alpha_ ? AV_PIX_FMT_YUVA444P16 : AV_PIX_FMT_YUV444P16);
    stager_.reset(Stager(sourceWidth, sourceHeight, sourceFormat, staged, colours.ChromaLocation));
    if (!stager_) CannotConvert();
    if (!rgb) {
      const int* table = sws_getCoefficients(SWS_CS_BT2020);
      const int range = colours.FullRange ? 1 : 0;
      sws_setColorspaceDetails(stager_.get(), table, range, table, range, 0, 1 << 16, 1 << 16);
    }
    descriptor = av_pix_fmt_desc_get(staged);
    for (int c = 0; c < descriptor->nb_components; ++c) {
      const int p = descriptor->comp[c].plane;
      stagedStride_[p] = static_cast<std::ptrdiff_t>(Aligned(static_cast<std::size_t>(sourceWidth) * 2));
      staged_[p] = Allocate(static_cast<std::size_t>(stagedStride_[p]) * static_cast<std::size_t>(sourceHeight));
    }
  }
  for (int c = 0; c < descriptor->nb_components; ++c) planeOf_[c] = descriptor->comp[c].plane;
  bytesPerSample_ = descriptor->comp[0].depth > 8 ? 2 : 1;
  chromaShiftX_ = descriptor->log2_chroma_w;
  chromaShiftY_ = descriptor->log2_chroma_h;
  // zimg takes whole chroma samples only: a picture of an odd size gets its last column and
  // row repeated, outside the region it converts.
  paddedWidth_ = RoundedUp(sourceWidth, chromaShiftX_);
  paddedHeight_ = RoundedUp(sourceHeight, chromaShiftY_);

  zimg_image_format from, to;
  zimg_image_format_default(&from, ZIMG_API_VERSION);
  zimg_image_format_default(&to, ZIMG_API_VERSION);
  from.width = static_cast<unsigned>(paddedWidth_);
  from.height = static_cast<unsigned>(paddedHeight_);
  from.active_region.left = from.active_region.top = 0;
  from.active_region.width = sourceWidth;
  from.active_region.height = sourceHeight;
  from.pixel_type = bytesPerSample_ == 2 ? ZIMG_PIXEL_WORD : ZIMG_PIXEL_BYTE;
  from.depth = static_cast<unsigned>(descriptor->comp[0].depth);
  from.subsample_w = static_cast<unsigned>(chromaShiftX_);
  from.subsample_h = static_cast<unsigned>(chromaShiftY_);
  from.color_family = rgb ? ZIMG_COLOR_RGB : ZIMG_COLOR_YUV;
  from.matrix_coefficients = rgb ? ZIMG_MATRIX_RGB : static_cast<zimg_matrix_coefficients_e>(colours.Matrix);
  from.pixel_range = colours.FullRange || rgb ? ZIMG_RANGE_FULL : ZIMG_RANGE_LIMITED;
  from.chroma_location = ZimgChroma(colours.ChromaLocation);
  to.width = static_cast<unsigned>(width);
  to.height = static_cast<unsigned>(height);
  to.pixel_type = ZIMG_PIXEL_FLOAT;
  to.color_family = ZIMG_COLOR_RGB;
  to.matrix_coefficients = ZIMG_MATRIX_RGB;
  // The same transfer and primaries on both sides: zimg leaves the light to the colour map.
  for (zimg_image_format* format : {&from, &to}) {
    format->transfer_characteristics = static_cast<zimg_transfer_characteristics_e>(colours.Transfer);
    format->color_primaries = static_cast<zimg_color_primaries_e>(colours.Primaries);
    format->alpha = alpha_ ? ZIMG_ALPHA_STRAIGHT : ZIMG_ALPHA_NONE;
  }
  zimg_graph_builder_params params;
  zimg_graph_builder_params_default(&params, ZIMG_API_VERSION);
  params.resample_filter = ZIMG_RESIZE_BICUBIC;
  params.resample_filter_uv = ZIMG_RESIZE_BICUBIC;
  graph_.reset(zimg_filter_graph_build(&from, &to, &params));
  std::size_t scratchBytes = 0;
  unsigned rows = 0;
  if (!graph_ || zimg_filter_graph_get_tmp_size(graph_.get(), &scratchBytes) != ZIMG_ERROR_SUCCESS ||
      zimg_filter_graph_get_output_buffering(graph_.get(), &rows) != ZIMG_ERROR_SUCCESS)
    CannotConvert();
  scratch_ = Allocate(scratchBytes);
  rowMask_ = zimg_select_buffer_mask(rows);
  const std::size_t ringRows = rowMask_ == ZIMG_BUFFER_MAX ? static_cast<std::size_t>(height) : rowMask_ + 1;
  rowStride_ = static_cast<std::ptrdiff_t>(Aligned(static_cast<std::size_t>(width) * sizeof(float)));
  for (int p = 0; p < (alpha_ ? 4 : 3); ++p) rows_[p] = Allocate(static_cast<std::size_t>(rowStride_) * ringRows);
}

int THdrConverter::PackRow(void* self, unsigned row, unsigned left, unsigned right) {
  auto* converter = static_cast<THdrConverter*>(self);
  const std::ptrdiff_t at = static_cast<std::ptrdiff_t>(row & converter->rowMask_) * converter->rowStride_;
  const auto plane = [&](int p) {
    return p < 3 || converter->alpha_ ? reinterpret_cast<const float*>(converter->rows_[p].get() + at) + left : nullptr;
  };
  std::uint8_t* out = converter->out_ + static_cast<std::ptrdiff_t>(row) * converter->outStride_ +
                      static_cast<std::ptrdiff_t>(left) * (converter->alpha_ ? 4 : 3);
  converter->map_.MapRow(plane(0), plane(1), plane(2), plane(3), static_cast<int>(right - left), out);
  return 0;
}

const std::uint8_t* THdrConverter::CopyPlane(int plane, const std::uint8_t* data, int linesize, int columns, int rows,
                                             int paddedColumns, int paddedRows) {
  const auto sample = static_cast<std::size_t>(bytesPerSample_);
  if (!staged_[plane]) {
    stagedStride_[plane] = static_cast<std::ptrdiff_t>(Aligned(static_cast<std::size_t>(paddedColumns) * sample));
    staged_[plane] = Allocate(static_cast<std::size_t>(stagedStride_[plane]) * static_cast<std::size_t>(paddedRows));
  }
  std::uint8_t* copy = staged_[plane].get();
  for (int y = 0; y < paddedRows; ++y) {
    std::uint8_t* row = copy + y * stagedStride_[plane];
    std::memcpy(row, data + std::min(y, rows - 1) * static_cast<std::ptrdiff_t>(linesize),
                static_cast<std::size_t>(columns) * sample);
    for (int x = columns; x < paddedColumns; ++x)
      std::memcpy(row + static_cast<std::size_t>(x) * sample, row + static_cast<std::size_t>(columns - 1) * sample,
                  sample);
  }
  return copy;
}

void THdrConverter::Convert(const AVFrame* picture, std::uint8_t* firstRow, std::ptrdiff_t stride) {
  zimg_image_buffer_const source{};
  source.version = ZIMG_API_VERSION;
  const int components = alpha_ ? 4 : 3;
  if (stager_) {
    std::uint8_t* planes[4] = {};
    int strides[4] = {};
    for (int p = 0; p < 4; ++p) {
      planes[p] = staged_[p].get();
      strides[p] = static_cast<int>(stagedStride_[p]);
    }
    sws_scale(stager_.get(), picture->data, picture->linesize, 0, sourceHeight_, planes, strides);
    for (int c = 0; c < components; ++c)
      source.plane[c] = {staged_[planeOf_[c]].get(), stagedStride_[planeOf_[c]], ZIMG_BUFFER_MAX};
  } else {
    for (int c = 0; c < components; ++c) {
      const int p = planeOf_[c];
      const bool chroma = c == 1 || c == 2;
      // A chroma plane holds whole samples for the padded size already.
      const int columns = chroma ? paddedWidth_ >> chromaShiftX_ : sourceWidth_;
      const int rows = chroma ? paddedHeight_ >> chromaShiftY_ : sourceHeight_;
      const int paddedColumns = chroma ? columns : paddedWidth_;
      const int paddedRows = chroma ? rows : paddedHeight_;
      if (IsAligned(picture->data[p], picture->linesize[p]) && columns == paddedColumns && rows == paddedRows) {
        source.plane[c] = {picture->data[p], picture->linesize[p], ZIMG_BUFFER_MAX};
        continue;
      }
      source.plane[c] = {CopyPlane(p, picture->data[p], picture->linesize[p], columns, rows, paddedColumns, paddedRows),
                         stagedStride_[p], ZIMG_BUFFER_MAX};
    }
  }
  zimg_image_buffer target{};
  target.version = ZIMG_API_VERSION;
  for (int c = 0; c < components; ++c) target.plane[c] = {rows_[c].get(), rowStride_, rowMask_};
  out_ = firstRow;
  outStride_ = stride;
  if (zimg_filter_graph_process(graph_.get(), &source, &target, scratch_.get(), nullptr, nullptr, &PackRow, this) !=
      ZIMG_ERROR_SUCCESS)
    CannotConvert();
}

}  // namespace clipvane::video
