// The picture converter, the one place where decoded colours become the program's: pictures
// whose size or pixel format changes within a stream are each converted as a converter made
// for them alone converts them, in both of its outputs.
#include "video/picture_converter.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
}

#include <cstdint>
#include <memory>
#include <vector>

namespace clipvane {
namespace {

struct TFrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
using TFrame = std::unique_ptr<AVFrame, TFrameFree>;

// A picture whose every sample differs from its neighbours, in a format and size of its own.
TFrame Picture(AVPixelFormat format, int width, int height) {
  TFrame frame(av_frame_alloc());
  frame->format = format;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  for (int plane = 0; plane < 4 && frame->data[plane]; ++plane) {
    const int rows = plane == 0 || plane == 3 ? height : AV_CEIL_RSHIFT(height, descriptor->log2_chroma_h);
    for (int y = 0; y < rows; ++y)
      for (int x = 0; x < frame->linesize[plane]; ++x)
        frame->data[plane][y * frame->linesize[plane] + x] = static_cast<std::uint8_t>(17 * x + 29 * y + 71 * plane);
  }
  return frame;
}

// The rows of an AVI picture as a converter writes them, 64 bytes of slack after the last.
std::vector<std::uint8_t> Rows(video::TPictureConverter& converter, const AVFrame* picture) {
  const std::size_t stride = static_cast<std::size_t>(picture->width) * 3;
  std::vector<std::uint8_t> rows(stride * static_cast<std::size_t>(picture->height) + 64, 0);
  converter.ConvertRows(picture, rows.data(), static_cast<std::ptrdiff_t>(stride));
  rows.resize(rows.size() - 64);
  return rows;
}

TEST(PictureConverter, EachPictureOfAChangingStreamAsIfItCameAlone) {
  const TFrame pictures[] = {Picture(AV_PIX_FMT_YUV420P, 16, 8), Picture(AV_PIX_FMT_YUV420P, 32, 4),
                             Picture(AV_PIX_FMT_YUVJ420P, 32, 4), Picture(AV_PIX_FMT_YUV444P, 32, 4),
                             Picture(AV_PIX_FMT_YUV420P, 16, 8)};
  video::TPictureConverter avi;
  TPictureGeometry geometry;
  geometry.CodedWidth = geometry.DisplayWidth = 24;
  geometry.CodedHeight = geometry.DisplayHeight = 6;
  geometry.DefaultColorSpace = AVCOL_SPC_BT470BG;
  video::TPictureConverter shown(geometry);
  for (const TFrame& picture : pictures) {
    video::TPictureConverter aviAlone;
    EXPECT_EQ(Rows(avi, picture.get()), Rows(aviAlone, picture.get()))
        << av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture->format)) << " " << picture->width;
    video::TPictureConverter shownAlone(geometry);
    TBitmap bitmap, alone;
    shown.Convert(picture.get(), bitmap);
    shownAlone.Convert(picture.get(), alone);
    EXPECT_EQ(bitmap, alone) << av_get_pix_fmt_name(static_cast<AVPixelFormat>(picture->format)) << " "
                             << picture->width;
  }
}

}  // namespace
}  // namespace clipvane
