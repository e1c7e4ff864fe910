// What making an HDR picture SDR costs: one 1080p picture as a decoder gives it (4:2:0),
// converted to the 24-bit bitmap the program works on, SDR (8 and 10 bits, BT.709, as the
// scaler converts it) against HDR10 (PQ) and HLG (10 bits, BT.2020) made SDR. Time per frame
// on one thread; the HDR rows' ratio to the 10-bit SDR row is the cost of HDR.
#include <benchmark/benchmark.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstdint>
#include <memory>

#include "video/picture_converter.h"

namespace {

using namespace clipvane;

struct TFrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using TFrame = std::unique_ptr<AVFrame, TFrameFree>;

constexpr int kWidth = 1920, kHeight = 1080;

// Smooth shading with texture over the whole code range, chroma swinging both ways.
TFrame Picture(AVPixelFormat format, AVColorTransferCharacteristic transfer) {
  TFrame frame(av_frame_alloc());
  frame->format = format;
  frame->width = kWidth;
  frame->height = kHeight;
  frame->color_trc = transfer;
  const bool hdr = transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
  frame->colorspace = hdr ? AVCOL_SPC_BT2020_NCL : AVCOL_SPC_BT709;
  frame->color_primaries = hdr ? AVCOL_PRI_BT2020 : AVCOL_PRI_BT709;
  frame->color_range = AVCOL_RANGE_MPEG;
  if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
  const bool wide = av_pix_fmt_desc_get(format)->comp[0].depth > 8;
  const double unit = wide ? 4 : 1;
  for (int plane = 0; plane < 3; ++plane) {
    const int columns = plane ? kWidth / 2 : kWidth, rows = plane ? kHeight / 2 : kHeight;
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < columns; ++x) {
        const double u = static_cast<double>(x) / columns, v = static_cast<double>(y) / rows;
        const double value =
            plane == 0 ? 16 + 219 * (0.5 + 0.4 * std::sin(6 * u + 3 * v) * std::cos(40 * u * v))
                       : 128 + 100 * std::sin((plane == 1 ? 5 : 7) * u - 4 * v + 10 * std::sin(x * 0.3 + y * 0.2) / 40);
        const auto sample = static_cast<std::uint16_t>(std::lround(value * unit));
        std::uint8_t* row = frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane];
        if (wide) reinterpret_cast<std::uint16_t*>(row)[x] = sample;
        else row[x] = static_cast<std::uint8_t>(sample);
      }
  }
  return frame;
}

void Convert(benchmark::State& state, AVPixelFormat format, AVColorTransferCharacteristic transfer) {
  const TFrame picture = Picture(format, transfer);
  TPictureGeometry geometry;
  geometry.CodedWidth = geometry.DisplayWidth = kWidth;
  geometry.CodedHeight = geometry.DisplayHeight = kHeight;
  geometry.DefaultColorSpace = AVCOL_SPC_BT709;
  video::TPictureConverter converter(geometry);
  TBitmap bitmap;
  converter.Convert(picture.get(), bitmap);  // the scaler or the tables made before the clock runs
  for (auto _ : state) {
    converter.Convert(picture.get(), bitmap);
    benchmark::DoNotOptimize(bitmap.ScanLine(0));
  }
  state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(Convert, Sdr8BitBt709, AV_PIX_FMT_YUV420P, AVCOL_TRC_BT709)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, Sdr10BitBt709, AV_PIX_FMT_YUV420P10LE, AVCOL_TRC_BT709)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, Hdr10BitPq, AV_PIX_FMT_YUV420P10LE, AVCOL_TRC_SMPTE2084)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Convert, Hdr10BitHlg, AV_PIX_FMT_YUV420P10LE, AVCOL_TRC_ARIB_STD_B67)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
