// HDR pictures in every layout a decoder gives come out as the SDR picture they were made
// from: planar 4:2:0, 4:2:2 and 4:4:4 at 8, 10 and 12 bits, semi-planar P010, planar RGB,
// with opacity, with rows that do not start on a vector boundary, odd sizes and non-square
// pixels. SDR pictures keep today's conversion whatever the HDR setting.
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/hdr_fixtures.h"
#include "video/picture_converter.h"

namespace clipvane {
namespace {

using fixtures::THdrKind;

struct TFrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using TFrame = std::unique_ptr<AVFrame, TFrameFree>;

// A smooth SDR picture of saturated colours, as a function of where in the picture one is,
// with its brightest channel at 170.
TColor SmoothColour(double u, double v) {
  const auto channel = [](double value) { return static_cast<int>(std::lround(std::clamp(value, 2.0, 170.0))); };
  return RGB(channel(20 + 150 * u), channel(30 + 140 * v * (1 - u)), channel(165 - 120 * v + 30 * u * v));
}

TBitmap Truth(int width, int height, double opacity = 1) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const TColor colour = SmoothColour((x + 0.5) / width, (y + 0.5) / height);
      const auto scaled = [&](int shift) {
        return static_cast<int>(std::lround(((colour >> shift) & 0xFF) * opacity));
      };
      picture.SetPixel(x, y, RGB(scaled(0), scaled(8), scaled(16)));
    }
  return picture;
}

// The smooth picture coded the HDR way into a decoder's picture of that format: BT.2020
// Y'CbCr of limited range (chroma the mean of the pixels it stands for), or full-range
// R'G'B', at the format's depth; opacity at a half.
TFrame HdrPicture(AVPixelFormat format, int width, int height, THdrKind kind) {
  TFrame frame(av_frame_alloc());
  frame->format = format;
  frame->width = width;
  frame->height = height;
  frame->color_trc = kind == THdrKind::hkPq ? AVCOL_TRC_SMPTE2084 : AVCOL_TRC_ARIB_STD_B67;
  frame->color_primaries = AVCOL_PRI_BT2020;
  frame->colorspace = AVCOL_SPC_BT2020_NCL;
  frame->color_range = AVCOL_RANGE_MPEG;
  frame->chroma_location = AVCHROMA_LOC_CENTER;  // chroma is the mean of the pixels it stands for
  if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  // Samples are written into the planes' bits by OR, so the planes start at zero.
  for (int p = 0; p < 4 && frame->buf[p]; ++p) std::memset(frame->buf[p]->data, 0, frame->buf[p]->size);
  const bool rgb = descriptor->flags & AV_PIX_FMT_FLAG_RGB;
  std::vector<std::array<double, 3>> signal;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      signal.push_back(fixtures::HdrSignal(kind, SmoothColour((x + 0.5) / width, (y + 0.5) / height)));
  for (int c = 0; c < descriptor->nb_components; ++c) {
    const int depth = descriptor->comp[c].depth;
    const double unit = std::ldexp(1.0, depth - 8);  // one 8-bit step at this depth
    const bool chroma = !rgb && (c == 1 || c == 2);
    const int shiftX = chroma ? descriptor->log2_chroma_w : 0, shiftY = chroma ? descriptor->log2_chroma_h : 0;
    const int columns = AV_CEIL_RSHIFT(width, shiftX), rows = AV_CEIL_RSHIFT(height, shiftY);
    std::vector<std::uint16_t> line(static_cast<std::size_t>(columns));
    for (int row = 0; row < rows; ++row) {
      for (int column = 0; column < columns; ++column) {
        double sum = 0;
        int count = 0;
        for (int y = row << shiftY; y < std::min(height, (row + 1) << shiftY); ++y)
          for (int x = column << shiftX; x < std::min(width, (column + 1) << shiftX); ++x, ++count) {
            const auto& s = signal[static_cast<std::size_t>(y * width + x)];
            const double luma = 0.2627 * s[0] + 0.6780 * s[1] + 0.0593 * s[2];
            sum += c == 3 ? 0.5 * ((1 << depth) - 1)
                   : rgb  ? s[c == 0   ? 0
                              : c == 1 ? 1
                                       : 2] *
                               ((1 << depth) - 1)
                   : c == 0 ? (16 + 219 * luma) * unit
                   : c == 1 ? (128 + 224 * (s[2] - luma) / 1.8814) * unit
                            : (128 + 224 * (s[0] - luma) / 1.4746) * unit;
          }
        line[static_cast<std::size_t>(column)] = static_cast<std::uint16_t>(std::lround(sum / count));
      }
      av_write_image_line2(line.data(), frame->data, frame->linesize, descriptor, 0, row, c, columns, 2);
    }
  }
  return frame;
}

// The same picture in planes of its own whose rows start two bytes past a vector boundary.
struct TShifted {
  TFrame Frame;
  std::vector<std::uint8_t> Memory;
};
TShifted Misaligned(const AVFrame* picture) {
  TShifted shifted{TFrame(av_frame_alloc()), {}};
  av_frame_copy_props(shifted.Frame.get(), picture);
  shifted.Frame->format = picture->format;
  shifted.Frame->width = picture->width;
  shifted.Frame->height = picture->height;
  const auto format = static_cast<AVPixelFormat>(picture->format);
  int linesizes[4] = {};
  av_image_fill_linesizes(linesizes, format, picture->width);
  std::size_t offsets[4] = {};
  std::size_t total = 64;
  int heights[4] = {};
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  for (int p = 0; p < 4 && linesizes[p]; ++p) {
    heights[p] = p == 1 || p == 2 ? AV_CEIL_RSHIFT(picture->height, descriptor->log2_chroma_h) : picture->height;
    shifted.Frame->linesize[p] = linesizes[p] + 2;
    offsets[p] = total + 2;
    total += static_cast<std::size_t>(linesizes[p] + 2) * static_cast<std::size_t>(heights[p]) + 64;
  }
  shifted.Memory.assign(total, 0);
  std::uint8_t* base = shifted.Memory.data() + (64 - reinterpret_cast<std::uintptr_t>(shifted.Memory.data()) % 64);
  for (int p = 0; p < 4 && linesizes[p]; ++p) {
    shifted.Frame->data[p] = base + offsets[p];
    av_image_copy_plane(shifted.Frame->data[p], shifted.Frame->linesize[p], picture->data[p], picture->linesize[p],
                        linesizes[p], heights[p]);
  }
  return shifted;
}

TPictureGeometry Geometry(int codedWidth, int codedHeight, int displayWidth) {
  TPictureGeometry geometry;
  geometry.CodedWidth = codedWidth;
  geometry.CodedHeight = codedHeight;
  geometry.DisplayWidth = displayWidth;
  geometry.DisplayHeight = codedHeight;
  geometry.DefaultColorSpace = AVCOL_SPC_BT709;
  return geometry;
}

struct TLayoutCase {
  std::string Name;
  AVPixelFormat Format;
  THdrKind Kind;
  int Width = 64, Height = 48;
  int DisplayWidth = 0;  // 0: the width
  bool Shifted = false;
  double LeastPsnr = 45;
  bool Untagged = false;  // the picture names its transfer alone: BT.2020 is taken for the rest
};

void PrintTo(const TLayoutCase& entry, std::ostream* out) { *out << entry.Name; }

class HdrPictures : public ::testing::TestWithParam<TLayoutCase> {};

TEST_P(HdrPictures, EveryLayoutGivesTheSdrPicture) {
  const TLayoutCase& entry = GetParam();
  const TFrame picture = HdrPicture(entry.Format, entry.Width, entry.Height, entry.Kind);
  if (entry.Untagged) {
    picture->colorspace = AVCOL_SPC_UNSPECIFIED;
    picture->color_primaries = AVCOL_PRI_UNSPECIFIED;
  }
  const int displayWidth = entry.DisplayWidth ? entry.DisplayWidth : entry.Width;
  video::TPictureConverter converter(Geometry(entry.Width, entry.Height, displayWidth));
  TBitmap shown;
  if (entry.Shifted) {
    const TShifted shifted = Misaligned(picture.get());
    converter.Convert(shifted.Frame.get(), shown);
  } else {
    converter.Convert(picture.get(), shown);
  }
  const bool alpha = av_pix_fmt_desc_get(entry.Format)->flags & AV_PIX_FMT_FLAG_ALPHA;
  const TBitmap truth = Truth(displayWidth, entry.Height, alpha ? 128.0 / 255 : 1);
  EXPECT_GE(fixtures::Psnr(shown, truth), entry.LeastPsnr);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HdrPictures,
    ::testing::Values(
        TLayoutCase{"Pq420TenBit", AV_PIX_FMT_YUV420P10LE, THdrKind::hkPq},
        TLayoutCase{"Hlg420TenBitRowsOffBoundary", AV_PIX_FMT_YUV420P10LE, THdrKind::hkHlg, 64, 48, 0, true},
        TLayoutCase{"Pq420OddSize", AV_PIX_FMT_YUV420P10LE, THdrKind::hkPq, 37, 23},
        TLayoutCase{"PqP010", AV_PIX_FMT_P010LE, THdrKind::hkPq},
        TLayoutCase{"Hlg422TwelveBit", AV_PIX_FMT_YUV422P12LE, THdrKind::hkHlg},
        TLayoutCase{"PqPlanarRgb", AV_PIX_FMT_GBRP10LE, THdrKind::hkPq},
        TLayoutCase{"HlgWithOpacity", AV_PIX_FMT_YUVA444P10LE, THdrKind::hkHlg},
        TLayoutCase{"PqNonSquarePixels", AV_PIX_FMT_YUV420P10LE, THdrKind::hkPq, 48, 48, 72},
        TLayoutCase{"HlgNamingItsTransferAlone", AV_PIX_FMT_YUV420P10LE, THdrKind::hkHlg, 64, 48, 0, false, 45, true},
        // Eight bits of PQ are coarse: a step of the signal is a step of 1 to 3 % in light.
        TLayoutCase{"PqEightBit", AV_PIX_FMT_YUV420P, THdrKind::hkPq, 64, 48, 0, false, 36}),
    [](const ::testing::TestParamInfo<TLayoutCase>& param) { return param.param.Name; });

TEST(HdrPictures, SdrPicturesKeepTheirConversion) {
  for (const AVPixelFormat format : {AV_PIX_FMT_YUV420P10LE, AV_PIX_FMT_YUV420P}) {
    const TFrame picture = HdrPicture(format, 64, 48, THdrKind::hkPq);
    video::TPictureConverter toSdr(Geometry(64, 48, 64)), raw(Geometry(64, 48, 64), THdrMode::hdrRaw);
    TBitmap made, kept;
    toSdr.Convert(picture.get(), made);
    raw.Convert(picture.get(), kept);
    EXPECT_NE(made, kept) << "tagged PQ, the two differ";
    for (const int transfer : {AVCOL_TRC_BT709, AVCOL_TRC_UNSPECIFIED, AVCOL_TRC_BT2020_10, AVCOL_TRC_SMPTE428}) {
      picture->color_trc = static_cast<AVColorTransferCharacteristic>(transfer);
      toSdr.Convert(picture.get(), made);
      raw.Convert(picture.get(), kept);
      EXPECT_EQ(made, kept) << av_color_transfer_name(static_cast<AVColorTransferCharacteristic>(transfer));
    }
  }
}

}  // namespace
}  // namespace clipvane
