// The HDR test videos: the published formulas from SDR light to PQ and HLG signals, the
// BT.2020 Y'CbCr samples, and the writer.
#include "support/hdr_fixtures.h"

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
}

#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include "support/fixture_encoding.h"

namespace clipvane::fixtures {

namespace {

constexpr double kWhiteNits = 203;

// BT.2087: linear BT.709 to linear BT.2020.
constexpr double kBt709ToBt2020[3][3] = {
    {0.6274039, 0.3292830, 0.0433131}, {0.0690973, 0.9195404, 0.0113623}, {0.0163914, 0.0880133, 0.8955953}};
constexpr double kLumaRed = 0.2627, kLumaGreen = 0.6780, kLumaBlue = 0.0593;  // BT.2020

// SMPTE ST 2084's inverse EOTF.
double PqOfNits(double nits) {
  constexpr double m1 = 2610.0 / 16384, m2 = 2523.0 / 4096 * 128;
  constexpr double c1 = 3424.0 / 4096, c2 = 2413.0 / 4096 * 32, c3 = 2392.0 / 4096 * 32;
  const double y = std::pow(std::clamp(nits / 10000, 0.0, 1.0), m1);
  return std::pow((c1 + c2 * y) / (1 + c3 * y), m2);
}

// BT.2100's HLG OETF of scene light from 0 to 1.
double HlgOfScene(double light) {
  constexpr double a = 0.17883277, b = 1 - 4 * a;
  const double c = 0.5 - a * std::log(4 * a);
  light = std::clamp(light, 0.0, 1.0);
  return light <= 1.0 / 12 ? std::sqrt(3 * light) : a * std::log(12 * light - b) + c;
}

int Channel(TColor colour, int shift) { return static_cast<int>((colour >> shift) & 0xFF); }

struct TYcc {
  double Y, Cb, Cr;
};

TYcc YccOf(const std::array<double, 3>& signal) {
  const double y = kLumaRed * signal[0] + kLumaGreen * signal[1] + kLumaBlue * signal[2];
  return {y, (signal[2] - y) / 1.8814, (signal[0] - y) / 1.4746};
}

std::uint16_t Luma10(double y) { return static_cast<std::uint16_t>(std::clamp(std::lround(64 + 876 * y), 4L, 1019L)); }
std::uint16_t Chroma10(double c) {
  return static_cast<std::uint16_t>(std::clamp(std::lround(512 + 896 * c), 4L, 1019L));
}

// The picture's 10-bit planes: Y at full size, Cb and Cr at full size or halved each way (each
// chroma sample sited on the even column, between two rows: [1 2 1] across, the two rows'
// mean down).
struct TPlanes {
  int Width = 0, Height = 0, ChromaWidth = 0, ChromaHeight = 0;
  std::vector<std::uint16_t> Y, Cb, Cr;
};

TPlanes PlanesOf(const TBitmap& picture, THdrKind kind, bool halved) {
  const int width = picture.Width(), height = picture.Height();
  std::vector<TYcc> full(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      full[static_cast<std::size_t>(y * width + x)] = YccOf(HdrSignal(kind, picture.GetPixel(x, y)));
  const auto at = [&](int x, int y) -> const TYcc& {
    return full[static_cast<std::size_t>(std::clamp(y, 0, height - 1) * width + std::clamp(x, 0, width - 1))];
  };
  TPlanes planes;
  planes.Width = width;
  planes.Height = height;
  planes.ChromaWidth = halved ? (width + 1) / 2 : width;
  planes.ChromaHeight = halved ? (height + 1) / 2 : height;
  for (const TYcc& sample : full) planes.Y.push_back(Luma10(sample.Y));
  for (int y = 0; y < planes.ChromaHeight; ++y)
    for (int x = 0; x < planes.ChromaWidth; ++x) {
      double cb = 0, cr = 0;
      if (!halved) {
        cb = at(x, y).Cb, cr = at(x, y).Cr;
      } else {
        for (const int row : {2 * y, 2 * y + 1})
          for (const auto& [dx, weight] : {std::pair{-1, 0.25}, std::pair{0, 0.5}, std::pair{1, 0.25}}) {
            cb += weight / 2 * at(2 * x + dx, row).Cb;
            cr += weight / 2 * at(2 * x + dx, row).Cr;
          }
      }
      planes.Cb.push_back(Chroma10(cb));
      planes.Cr.push_back(Chroma10(cr));
    }
  return planes;
}

void CopyPlane(const std::vector<std::uint16_t>& samples, int width, int height, std::uint8_t* data, int stride) {
  for (int y = 0; y < height; ++y)
    std::copy_n(samples.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width),
                static_cast<std::size_t>(width), reinterpret_cast<std::uint16_t*>(data + y * stride));
}

}  // namespace

TBitmap HdrTestPicture(int width, int height, int peak) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  const double scale = peak / 255.0;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double u = (x + 0.5) / width, v = (y + 0.5) / height;
      // A sky-like shading, three soft saturated regions and a fine texture.
      double rgb[3] = {70 + 120 * u, 90 + 80 * v, 230 - 110 * v};
      const double texture = 14 * std::sin(x * 1.3 + y * 0.7) * std::cos(y * 1.9 - x * 0.5);
      const auto blend = [&](double weight, double r, double g, double b) {
        rgb[0] += weight * (r - rgb[0]), rgb[1] += weight * (g - rgb[1]), rgb[2] += weight * (b - rgb[2]);
      };
      blend(std::exp(-((u - 0.3) * (u - 0.3) + (v - 0.35) * (v - 0.35)) * 30), 240, 25, 30);
      blend(std::exp(-((u - 0.75) * (u - 0.75) + (v - 0.3) * (v - 0.3)) * 40), 25, 50, 245);
      blend(1 / (1 + std::exp(-(v - 0.75) * 25)), 45, 225, 55);
      for (int c = 0; c < 3; ++c) rgb[c] = std::clamp((rgb[c] + texture * (0.6 + 0.2 * c)) * scale, 2.0, 255.0 * scale);
      picture.SetPixel(x, y,
                       RGB(static_cast<int>(std::lround(rgb[0])), static_cast<int>(std::lround(rgb[1])),
                           static_cast<int>(std::lround(rgb[2]))));
    }
  return picture;
}

std::array<double, 3> HdrSignalOfNits(THdrKind kind, const std::array<double, 3>& nits) {
  if (kind == THdrKind::hkPq) return {PqOfNits(nits[0]), PqOfNits(nits[1]), PqOfNits(nits[2])};
  // HLG: the display's light back to scene light by the inverse of the OOTF of a 1000-nit
  // display (system gamma 1.2), then the OETF.
  constexpr double kPeak = 1000, kGamma = 1.2;
  const double displayLuminance = kLumaRed * nits[0] + kLumaGreen * nits[1] + kLumaBlue * nits[2];
  if (displayLuminance <= 0) return {0, 0, 0};
  const double sceneLuminance = std::pow(displayLuminance / kPeak, 1 / kGamma);
  const double divisor = kPeak * std::pow(sceneLuminance, kGamma - 1);
  return {HlgOfScene(nits[0] / divisor), HlgOfScene(nits[1] / divisor), HlgOfScene(nits[2] / divisor)};
}

std::array<double, 3> HdrSignal(THdrKind kind, TColor sdr) {
  double light709[3];
  for (int c = 0; c < 3; ++c) light709[c] = std::pow(Channel(sdr, 8 * c) / 255.0, 2.4);
  std::array<double, 3> nits{};
  for (int row = 0; row < 3; ++row)
    for (int c = 0; c < 3; ++c)
      nits[static_cast<std::size_t>(row)] += kWhiteNits * kBt709ToBt2020[row][c] * light709[c];
  return HdrSignalOfNits(kind, nits);
}

void WriteHdrVideo(const std::string& path, const TBitmap& picture, const THdrVideo& video) {
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* rawFormat = nullptr;
  Check(avformat_alloc_output_context2(&rawFormat, nullptr, video.Muxer.c_str(), path.c_str()),
        "no muxer " + video.Muxer);
  std::unique_ptr<AVFormatContext, TFormatDeleter> format(rawFormat);
  const AVCodec* encoder = avcodec_find_encoder_by_name(video.Encoder.c_str());
  if (!encoder) Fail("no encoder " + video.Encoder);
  std::unique_ptr<AVCodecContext, TCodecDeleter> codec(avcodec_alloc_context3(encoder));
  codec->width = picture.Width();
  codec->height = picture.Height();
  codec->pix_fmt = av_get_pix_fmt(video.PixelFormat.c_str());
  if (codec->pix_fmt != AV_PIX_FMT_YUV444P10LE && codec->pix_fmt != AV_PIX_FMT_YUV420P10LE)
    Fail("HDR videos are written as yuv444p10le or yuv420p10le");
  const bool halved = codec->pix_fmt == AV_PIX_FMT_YUV420P10LE;
  codec->time_base = AVRational{1, 25};
  codec->framerate = AVRational{25, 1};
  codec->gop_size = 10;
  codec->max_b_frames = 0;
  codec->colorspace = AVCOL_SPC_BT2020_NCL;
  codec->color_primaries = AVCOL_PRI_BT2020;
  codec->color_trc = video.Kind == THdrKind::hkPq ? AVCOL_TRC_SMPTE2084 : AVCOL_TRC_ARIB_STD_B67;
  codec->color_range = AVCOL_RANGE_MPEG;
  codec->chroma_sample_location = halved ? AVCHROMA_LOC_LEFT : AVCHROMA_LOC_UNSPECIFIED;
  codec->thread_count = 1;
  if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  for (const auto& [name, value] : video.EncoderOptions) av_dict_set(&options, name.c_str(), value.c_str(), 0);
  const int opened = avcodec_open2(codec.get(), encoder, &options);
  av_dict_free(&options);
  Check(opened, "cannot open encoder " + video.Encoder);

  AVStream* stream = avformat_new_stream(format.get(), nullptr);
  if (!stream) Fail("no stream");
  stream->time_base = codec->time_base;
  Check(avcodec_parameters_from_context(stream->codecpar, codec.get()), "stream parameters");
  if (video.MaxContentLight > 0) {
    std::size_t size = 0;
    AVContentLightMetadata* light = av_content_light_metadata_alloc(&size);
    if (!light) Fail("no content light metadata");
    light->MaxCLL = static_cast<unsigned>(video.MaxContentLight);
    light->MaxFALL = static_cast<unsigned>(video.MaxContentLight / 2);
    Check(
        av_stream_add_side_data(stream, AV_PKT_DATA_CONTENT_LIGHT_LEVEL, reinterpret_cast<std::uint8_t*>(light), size),
        "content light level");
  }
  Check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + path);
  Check(avformat_write_header(format.get(), nullptr), "header");

  const TPlanes planes = PlanesOf(picture, video.Kind, halved);
  std::unique_ptr<AVPacket, TPacketDeleter> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, TFrameDeleter> frame(av_frame_alloc());
  frame->format = codec->pix_fmt;
  frame->width = codec->width;
  frame->height = codec->height;
  Check(av_frame_get_buffer(frame.get(), 0), "frame buffer");
  auto drain = [&](bool flushing) {
    while (true) {
      const int result = avcodec_receive_packet(codec.get(), packet.get());
      if (result == AVERROR(EAGAIN) || (flushing && result == AVERROR_EOF)) return;
      Check(result, "encoding");
      packet->duration = 1;  // MP4 leaves out a last frame of no duration
      av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      Check(av_interleaved_write_frame(format.get(), packet.get()), "writing a video packet");
    }
  };
  for (int k = 0; k < video.FrameCount; ++k) {
    Check(av_frame_make_writable(frame.get()), "frame buffer");
    CopyPlane(planes.Y, planes.Width, planes.Height, frame->data[0], frame->linesize[0]);
    CopyPlane(planes.Cb, planes.ChromaWidth, planes.ChromaHeight, frame->data[1], frame->linesize[1]);
    CopyPlane(planes.Cr, planes.ChromaWidth, planes.ChromaHeight, frame->data[2], frame->linesize[2]);
    frame->pts = k;
    Check(avcodec_send_frame(codec.get(), frame.get()), "encoding");
    drain(false);
  }
  Check(avcodec_send_frame(codec.get(), nullptr), "flushing the encoder");
  drain(true);
  Check(av_write_trailer(format.get()), "trailer");
}

double Psnr(const TBitmap& picture, const TBitmap& truth) {
  if (picture.Width() != truth.Width() || picture.Height() != truth.Height()) Fail("pictures of different sizes");
  double squares = 0;
  for (int y = 0; y < truth.Height(); ++y)
    for (int x = 0; x < truth.Width(); ++x) {
      const TColor a = picture.GetPixel(x, y), b = truth.GetPixel(x, y);
      for (const int shift : {0, 8, 16}) {
        const double difference = Channel(a, shift) - Channel(b, shift);
        squares += difference * difference;
      }
    }
  const double mean = squares / (3.0 * truth.Width() * truth.Height());
  return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

}  // namespace clipvane::fixtures
