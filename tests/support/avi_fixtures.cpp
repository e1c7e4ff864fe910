// The fixture writer: pictures made here, encoded and muxed with libavcodec/libavformat.
#include "support/avi_fixtures.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "core/palettes.h"
#include "support/fixture_encoding.h"
#include "support/natural_picture.h"

namespace clipvane::fixtures {

namespace {

constexpr int kCellColumns = 8;
constexpr int kCellRows = 4;
constexpr int kNumberBits = 16;

struct TCodecSetup {
  const char* encoder;
  AVPixelFormat input;
  int maxBFrames;
  bool fixedQuality;
};

TCodecSetup SetupFor(TFixtureCodec codec) {
  switch (codec) {
    case TFixtureCodec::fcRawBgr24:
      return {"rawvideo", AV_PIX_FMT_BGR24, 0, false};
    case TFixtureCodec::fcRawPal8:
      return {"rawvideo", AV_PIX_FMT_PAL8, 0, false};
    case TFixtureCodec::fcRawRgb555:
      return {"rawvideo", AV_PIX_FMT_RGB555LE, 0, false};
    case TFixtureCodec::fcRawGray:
      return {"rawvideo", AV_PIX_FMT_GRAY8, 0, false};
    case TFixtureCodec::fcRawBgra:
      return {"rawvideo", AV_PIX_FMT_BGRA, 0, false};
    case TFixtureCodec::fcMsVideo1:
      return {"msvideo1", AV_PIX_FMT_RGB555LE, 0, false};
    case TFixtureCodec::fcCinepak:
      return {"cinepak", AV_PIX_FMT_RGB24, 0, false};
    case TFixtureCodec::fcMjpeg:
      return {"mjpeg", AV_PIX_FMT_YUVJ420P, 0, true};
    case TFixtureCodec::fcMpeg4:
      return {"mpeg4", AV_PIX_FMT_YUV420P, 0, true};
    case TFixtureCodec::fcMpeg4BFrames:
      return {"mpeg4", AV_PIX_FMT_YUV420P, 2, true};
  }
  Fail("unknown codec");
}

int GreyLevel(const TRGBQuad& c) { return (77 * c.Red + 150 * c.Green + 29 * c.Blue + 128) >> 8; }

}  // namespace

[[noreturn]] void Fail(const std::string& what, int code) {
  std::string text = "fixture writer: " + what;
  if (code < 0) {
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    text += std::string(": ") + buffer;
  }
  throw std::runtime_error(text);
}

void Check(int code, const std::string& what) {
  if (code < 0) Fail(what, code);
}

AVStream* AddPcmStream(AVFormatContext* format, int sampleRate) {
  AVStream* audio = avformat_new_stream(format, nullptr);
  if (!audio) Fail("no audio stream");
  audio->time_base = AVRational{1, sampleRate};
  AVCodecParameters* p = audio->codecpar;
  p->codec_type = AVMEDIA_TYPE_AUDIO;
  p->codec_id = AV_CODEC_ID_PCM_S16LE;
  p->sample_rate = sampleRate;
  av_channel_layout_default(&p->ch_layout, 1);
  p->bits_per_coded_sample = 16;
  p->block_align = 2;
  p->bit_rate = std::int64_t{sampleRate} * 16;
  return audio;
}

// Fills an encoder input frame from a picture (8-bit with NumberPalette, or 24-bit).
void FillFrame(const TBitmap& picture, AVFrame* frame, SwsContext*& sws) {
  const int width = picture.Width(), height = picture.Height();
  const auto format = static_cast<AVPixelFormat>(frame->format);
  TBitmap colours;
  const TBitmap* source = &picture;
  if (format != AV_PIX_FMT_PAL8 && picture.PixelFormat() != TPixelFormat::pf24bit) {
    colours = picture;
    colours.SetPixelFormat(TPixelFormat::pf24bit);
    source = &colours;
  }
  switch (format) {
    case AV_PIX_FMT_PAL8: {
      auto* palette = reinterpret_cast<std::uint32_t*>(frame->data[1]);
      const auto& table = picture.Palette();
      for (int i = 0; i < 256; ++i) {
        const TRGBQuad c = i < static_cast<int>(table.size()) ? table[static_cast<std::size_t>(i)] : TRGBQuad{};
        palette[i] = 0xFF000000u | (std::uint32_t{c.Red} << 16) | (std::uint32_t{c.Green} << 8) | c.Blue;
      }
      for (int y = 0; y < height; ++y)
        std::memcpy(frame->data[0] + y * frame->linesize[0], picture.ScanLine(y), static_cast<std::size_t>(width));
      return;
    }
    case AV_PIX_FMT_BGR24:
      for (int y = 0; y < height; ++y)
        std::memcpy(frame->data[0] + y * frame->linesize[0], source->ScanLine(y), static_cast<std::size_t>(width) * 3);
      return;
    case AV_PIX_FMT_RGB24:
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_RGB555LE:
    case AV_PIX_FMT_GRAY8:
      for (int y = 0; y < height; ++y) {
        const std::uint8_t* in = source->ScanLine(y);
        std::uint8_t* out = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < width; ++x) {
          const TRGBQuad c{in[3 * x], in[3 * x + 1], in[3 * x + 2], 0};
          if (format == AV_PIX_FMT_RGB24) {
            out[3 * x] = c.Red, out[3 * x + 1] = c.Green, out[3 * x + 2] = c.Blue;
          } else if (format == AV_PIX_FMT_BGRA) {
            out[4 * x] = c.Blue, out[4 * x + 1] = c.Green, out[4 * x + 2] = c.Red, out[4 * x + 3] = 0;
          } else if (format == AV_PIX_FMT_RGB555LE) {
            const unsigned v = ((c.Red >> 3u) << 10) | ((c.Green >> 3u) << 5) | (c.Blue >> 3u);
            out[2 * x] = static_cast<std::uint8_t>(v);
            out[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
          } else {
            out[x] = static_cast<std::uint8_t>(GreyLevel(c));
          }
        }
      }
      return;
    default: {
      // One file has one size and format: the converter is made once.
      if (!sws)
        sws = sws_getContext(width, height, AV_PIX_FMT_BGR24, width, height, format, SWS_BICUBIC, nullptr, nullptr,
                             nullptr);
      if (!sws) Fail("no colour conversion");
      const std::uint8_t* planes[1] = {source->ScanLine(0)};
      const int strides[1] = {static_cast<int>(source->Stride())};
      sws_scale(sws, planes, strides, 0, height, frame->data, frame->linesize);
      return;
    }
  }
}

namespace {

// Hue (0..360) with full saturation and the given value, as a colour.
TColor Hue(double degrees, double value) {
  degrees = std::fmod(std::fmod(degrees, 360.0) + 360.0, 360.0);
  const double c = value, x = c * (1 - std::fabs(std::fmod(degrees / 60.0, 2.0) - 1));
  double r = 0, g = 0, b = 0;
  switch (static_cast<int>(degrees / 60.0)) {
    case 0:
      r = c, g = x;
      break;
    case 1:
      r = x, g = c;
      break;
    case 2:
      g = c, b = x;
      break;
    case 3:
      g = x, b = c;
      break;
    case 4:
      r = x, b = c;
      break;
    default:
      r = c, b = x;
      break;
  }
  return RGB(static_cast<int>(r * 255 + 0.5), static_cast<int>(g * 255 + 0.5), static_cast<int>(b * 255 + 0.5));
}

// 3 x 5 digits, one row per entry, high bit = left column.
constexpr std::uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 1, 1}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7},
};

void DrawNumber(TBitmap& picture, int number, int left, int top, int scale) {
  const std::string text = std::to_string(number);
  const int width = static_cast<int>(text.size()) * 4 * scale + scale;
  picture.FillRect({left, top, left + width, top + 7 * scale}, RGB(20, 20, 30));
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto& glyph = kDigits[text[i] - '0'];
    for (int row = 0; row < 5; ++row)
      for (int column = 0; column < 3; ++column)
        if (glyph[row] & (4 >> column)) {
          const int x = left + scale + static_cast<int>(i) * 4 * scale + column * scale;
          const int y = top + scale + row * scale;
          picture.FillRect({x, y, x + scale, y + scale}, clWhite);
        }
  }
}

void FillCircle(TBitmap& picture, double cx, double cy, double radius, TColor color) {
  const int top = std::max(0, static_cast<int>(cy - radius)),
            bottom = std::min(picture.Height() - 1, static_cast<int>(cy + radius));
  for (int y = top; y <= bottom; ++y) {
    const double dy = y + 0.5 - cy;
    const double half = radius * radius - dy * dy;
    if (half <= 0) continue;
    const double dx = std::sqrt(half);
    picture.FillRect({static_cast<int>(cx - dx + 0.5), y, static_cast<int>(cx + dx + 0.5), y + 1}, color);
  }
}

std::vector<std::uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) Fail("cannot read " + path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::vector<std::uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
  if (!out) Fail("cannot write " + path);
}

// Offset of the first chunk named `tag` (our own files hold each header chunk once, before
// any frame data that could contain the same four bytes).
std::size_t FindChunk(const std::vector<std::uint8_t>& data, const char* tag) {
  const auto found = std::search(data.begin(), data.end(), tag, tag + 4);
  if (found == data.end()) Fail(std::string("no ") + tag + " chunk");
  return static_cast<std::size_t>(found - data.begin());
}

}  // namespace

const char* CodecName(TFixtureCodec codec) {
  switch (codec) {
    case TFixtureCodec::fcRawBgr24:
      return "RawBgr24";
    case TFixtureCodec::fcRawPal8:
      return "RawPal8";
    case TFixtureCodec::fcRawRgb555:
      return "RawRgb555";
    case TFixtureCodec::fcRawGray:
      return "RawGray";
    case TFixtureCodec::fcRawBgra:
      return "RawBgra";
    case TFixtureCodec::fcMsVideo1:
      return "MsVideo1";
    case TFixtureCodec::fcCinepak:
      return "Cinepak";
    case TFixtureCodec::fcMjpeg:
      return "Mjpeg";
    case TFixtureCodec::fcMpeg4:
      return "Mpeg4";
    case TFixtureCodec::fcMpeg4BFrames:
      return "Mpeg4BFrames";
  }
  return "?";
}

bool IsLossless(TFixtureCodec codec) {
  return codec == TFixtureCodec::fcRawBgr24 || codec == TFixtureCodec::fcRawPal8 ||
         codec == TFixtureCodec::fcRawRgb555 || codec == TFixtureCodec::fcRawGray || codec == TFixtureCodec::fcRawBgra;
}

const std::vector<TRGBQuad>& NumberPalette() {
  static const std::vector<TRGBQuad> table = [] {
    std::vector<TRGBQuad> result(256);
    for (int i = 0; i < 256; ++i) {
      const int base = i < 128 ? 10 : 160;  // dark: 10..99, light: 160..249
      result[static_cast<std::size_t>(i)] = TRGBQuad{static_cast<std::uint8_t>(base + (i * 71 + 40) % 90),
                                                     static_cast<std::uint8_t>(base + (i * 53 + 20) % 90),
                                                     static_cast<std::uint8_t>(base + (i * 37) % 90), 0};
    }
    return result;
  }();
  return table;
}

TBitmap NumberFrame(int number, int width, int height) {
  TBitmap picture(width, height, TPixelFormat::pf8bit);
  picture.SetPalette(NumberPalette());
  for (int y = 0; y < height; ++y) {
    std::uint8_t* row = picture.ScanLine(y);
    const int cellRow = y * kCellRows / height;
    for (int x = 0; x < width; ++x) {
      const int cell = cellRow * kCellColumns + x * kCellColumns / width;
      const bool bit = cell < kNumberBits ? ((number >> cell) & 1) != 0 : ((number >> (cell - kNumberBits)) & 1) == 0;
      row[x] = static_cast<std::uint8_t>(bit ? 128 + (cell * 5 + number) % 128 : (cell * 7 + number) % 128);
    }
  }
  return picture;
}

TBitmap PanFrame(int number, int width, int height) { return NaturalPicture(width, height, 1.5 * number); }

TBitmap SampleFrame(int number, int width, int height) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  const double t = number / 25.0;
  for (int y = 0; y < height; ++y) {
    const TColor top = Hue(200 + 20 * t, 0.35), bottom = Hue(260 + 20 * t, 0.15);
    const double f = static_cast<double>(y) / std::max(1, height - 1);
    const TColor c = RGB(static_cast<int>(GetRValue(top) * (1 - f) + GetRValue(bottom) * f),
                         static_cast<int>(GetGValue(top) * (1 - f) + GetGValue(bottom) * f),
                         static_cast<int>(GetBValue(top) * (1 - f) + GetBValue(bottom) * f));
    picture.FillRect({0, y, width, y + 1}, c);
  }
  const double radius = height / 7.0;
  for (int i = 0; i < 4; ++i) {
    const double phase = i * 1.7;
    const double cx = width / 2.0 + (width / 2.0 - radius) * std::sin(t * (0.9 + 0.23 * i) + phase);
    const double cy = height / 2.0 + (height / 2.0 - radius) * std::sin(t * (1.3 + 0.17 * i) + 2 * phase);
    FillCircle(picture, cx, cy, radius * (0.7 + 0.15 * i), Hue(i * 90 + 40 * t, 0.95));
  }
  const int side = height / 5;
  const int travel = width + side;
  const int left = static_cast<int>(std::lround(t * width / 4)) % travel - side;
  picture.FillRect({left, height - side - height / 12, left + side, height - height / 12}, Hue(50 + 60 * t, 1.0));
  DrawNumber(picture, number, width / 40, height / 30, std::max(1, height / 60));
  return picture;
}

TBitmap ExpectedFrame(TFixtureCodec codec, int number, int width, int height) {
  TBitmap picture = NumberFrame(number, width, height);
  switch (codec) {
    case TFixtureCodec::fcRawPal8:
      return picture;
    case TFixtureCodec::fcRawGray: {
      TBitmap grey(width, height, TPixelFormat::pf8bit);
      std::vector<TRGBQuad> table(256);
      for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        table[static_cast<std::size_t>(i)] = TRGBQuad{level, level, level, 0};
      }
      grey.SetPalette(table);
      for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
          grey.ScanLine(y)[x] = static_cast<std::uint8_t>(GreyLevel(picture.Palette()[picture.ScanLine(y)[x]]));
      return grey;
    }
    case TFixtureCodec::fcRawRgb555:
    case TFixtureCodec::fcMsVideo1:
      picture.SetPixelFormat(TPixelFormat::pf15bit);
      return picture;
    case TFixtureCodec::fcRawBgra:
      picture.SetPixelFormat(TPixelFormat::pf32bit);
      return picture;
    default:
      picture.SetPixelFormat(TPixelFormat::pf24bit);
      return picture;
  }
}

int DecodeFrameNumber(const TBitmap& frame) {
  const int width = frame.Width(), height = frame.Height();
  if (width < kCellColumns * 2 || height < kCellRows * 2) return -1;
  bool bits[kCellColumns * kCellRows] = {};
  for (int cell = 0; cell < kCellColumns * kCellRows; ++cell) {
    const int column = cell % kCellColumns, row = cell / kCellColumns;
    // The middle half of the cell, away from the edges that lossy coding smears.
    const int left = column * width / kCellColumns, right = (column + 1) * width / kCellColumns;
    const int top = row * height / kCellRows, bottom = (row + 1) * height / kCellRows;
    const int x0 = left + (right - left) / 4, x1 = right - (right - left) / 4;
    const int y0 = top + (bottom - top) / 4, y1 = bottom - (bottom - top) / 4;
    long sum = 0, count = 0;
    for (int y = y0; y < std::max(y1, y0 + 1); ++y)
      for (int x = x0; x < std::max(x1, x0 + 1); ++x) {
        const TColor c = frame.GetPixel(x, y);
        sum += 77 * GetRValue(c) + 150 * GetGValue(c) + 29 * GetBValue(c);
        ++count;
      }
    bits[cell] = sum / count / 256 >= 128;
  }
  int number = 0;
  for (int i = 0; i < kNumberBits; ++i) {
    if (bits[i] == bits[i + kNumberBits]) return -1;
    if (bits[i]) number |= 1 << i;
  }
  return number;
}

void WriteFixtureAvi(const std::string& path, const TFixtureAvi& avi) {
  // FFmpeg's own warnings would only clutter the test output; failures throw with its text.
  av_log_set_level(AV_LOG_QUIET);
  const TCodecSetup setup = SetupFor(avi.Codec);
  AVFormatContext* rawFormat = nullptr;
  Check(avformat_alloc_output_context2(&rawFormat, nullptr, "avi", path.c_str()), "no AVI muxer");
  std::unique_ptr<AVFormatContext, TFormatDeleter> format(rawFormat);

  const AVCodec* encoder = avcodec_find_encoder_by_name(setup.encoder);
  if (!encoder) Fail(std::string("no encoder ") + setup.encoder);
  std::unique_ptr<AVCodecContext, TCodecDeleter> codec(avcodec_alloc_context3(encoder));
  codec->width = avi.Width;
  codec->height = avi.Height;
  codec->pix_fmt = setup.input;
  codec->time_base = AVRational{avi.RateDenominator, avi.RateNumerator};
  codec->framerate = AVRational{avi.RateNumerator, avi.RateDenominator};
  codec->gop_size = avi.KeyFrameInterval;
  codec->keyint_min = avi.KeyFrameInterval;
  codec->max_b_frames = setup.maxBFrames;
  codec->thread_count = 1;
  if (setup.fixedQuality) {
    codec->flags |= AV_CODEC_FLAG_QSCALE;
    codec->global_quality = FF_QP2LAMBDA * 3;
  }
  if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  Check(avcodec_open2(codec.get(), encoder, nullptr), std::string("cannot open encoder ") + setup.encoder);

  AVStream* video = avformat_new_stream(format.get(), nullptr);
  if (!video) Fail("no stream");
  video->time_base = codec->time_base;
  Check(avcodec_parameters_from_context(video->codecpar, codec.get()), "stream parameters");

  AVStream* audio = nullptr;
  constexpr int kSampleRate = 8000;
  if (avi.WithAudio) audio = AddPcmStream(format.get(), kSampleRate);

  Check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + path);
  Check(avformat_write_header(format.get(), nullptr), "AVI header");

  std::unique_ptr<AVPacket, TPacketDeleter> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, TFrameDeleter> frame(av_frame_alloc());
  frame->format = setup.input;
  frame->width = avi.Width;
  frame->height = avi.Height;
  Check(av_frame_get_buffer(frame.get(), 0), "frame buffer");
  TSwsHolder sws;

  auto drain = [&](bool flushing) {
    while (true) {
      const int result = avcodec_receive_packet(codec.get(), packet.get());
      if (result == AVERROR(EAGAIN) || (flushing && result == AVERROR_EOF)) return;
      Check(result, "encoding");
      av_packet_rescale_ts(packet.get(), codec->time_base, video->time_base);
      packet->stream_index = video->index;
      Check(av_interleaved_write_frame(format.get(), packet.get()), "writing a video packet");
    }
  };
  int64_t audioSamples = 0;
  auto writeAudio = [&](int upToFrame) {
    if (!audio) return;
    const int64_t until =
        av_rescale(upToFrame, static_cast<int64_t>(kSampleRate) * avi.RateDenominator, avi.RateNumerator);
    if (until <= audioSamples) return;
    const int count = static_cast<int>(until - audioSamples);
    Check(av_new_packet(packet.get(), count * 2), "audio packet");
    for (int i = 0; i < count; ++i) {
      const auto sample = static_cast<std::int16_t>(8000 * std::sin((audioSamples + i) * 0.05));
      packet->data[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
      packet->data[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
    }
    packet->pts = packet->dts = audioSamples;
    packet->duration = count;
    packet->stream_index = audio->index;
    packet->flags |= AV_PKT_FLAG_KEY;
    audioSamples = until;
    Check(av_interleaved_write_frame(format.get(), packet.get()), "writing an audio packet");
  };

  for (int n = 0; n < avi.FrameCount; ++n) {
    writeAudio(n + 1);
    if (std::find(avi.DroppedFrames.begin(), avi.DroppedFrames.end(), n) != avi.DroppedFrames.end()) continue;
    Check(av_frame_make_writable(frame.get()), "frame buffer");
    const TBitmap picture = avi.Picture == TFixturePicture::fpNumbers ? NumberFrame(n, avi.Width, avi.Height)
                            : avi.Picture == TFixturePicture::fpPan   ? PanFrame(n, avi.Width, avi.Height)
                                                                      : SampleFrame(n, avi.Width, avi.Height);
    if (setup.input == AV_PIX_FMT_PAL8 && picture.PixelFormat() != TPixelFormat::pf8bit)
      Fail("the sample picture has no 8-bit form");
    FillFrame(picture, frame.get(), sws.context);
    frame->pts = n;
    Check(avcodec_send_frame(codec.get(), frame.get()), "encoding");
    drain(false);
  }
  Check(avcodec_send_frame(codec.get(), nullptr), "flushing the encoder");
  drain(true);
  Check(av_write_trailer(format.get()), "AVI trailer");
}

void WriteEmptyFile(const std::string& path) { WriteAll(path, {}); }

void WriteTextFile(const std::string& path, const std::string& text) {
  WriteAll(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

void WriteAudioOnlyAvi(const std::string& path) {
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* rawFormat = nullptr;
  Check(avformat_alloc_output_context2(&rawFormat, nullptr, "avi", path.c_str()), "no AVI muxer");
  std::unique_ptr<AVFormatContext, TFormatDeleter> format(rawFormat);
  constexpr int kRate = 8000;
  AVStream* audio = AddPcmStream(format.get(), kRate);
  Check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + path);
  Check(avformat_write_header(format.get(), nullptr), "AVI header");
  std::unique_ptr<AVPacket, TPacketDeleter> packet(av_packet_alloc());
  for (int second = 0; second < 2; ++second) {
    Check(av_new_packet(packet.get(), kRate * 2), "audio packet");
    for (int i = 0; i < kRate; ++i) {
      const auto sample = static_cast<std::int16_t>(6000 * std::sin(i * 0.07));
      packet->data[2 * i] = static_cast<std::uint8_t>(sample & 0xFF);
      packet->data[2 * i + 1] = static_cast<std::uint8_t>((sample >> 8) & 0xFF);
    }
    packet->pts = packet->dts = static_cast<int64_t>(second) * kRate;
    packet->duration = kRate;
    packet->stream_index = audio->index;
    Check(av_interleaved_write_frame(format.get(), packet.get()), "writing audio");
  }
  Check(av_write_trailer(format.get()), "AVI trailer");
}

void WriteAviWithUnknownCodec(const std::string& path) {
  TFixtureAvi avi;
  avi.Codec = TFixtureCodec::fcMpeg4;
  avi.FrameCount = 5;
  WriteFixtureAvi(path, avi);
  std::vector<std::uint8_t> data = ReadAll(path);
  // The handler in the stream header and the compression in the stream format.
  const std::size_t header = FindChunk(data, "strh");
  std::memcpy(&data[header + 8 + 4], "ZZZZ", 4);
  const std::size_t streamFormat = FindChunk(data, "strf");
  std::memcpy(&data[streamFormat + 8 + 16], "ZZZZ", 4);
  WriteAll(path, data);
}

void WriteAviWithFrameWidth(const std::string& path, std::int32_t width) {
  TFixtureAvi avi;
  avi.FrameCount = 5;
  WriteFixtureAvi(path, avi);
  std::vector<std::uint8_t> data = ReadAll(path);
  const std::size_t streamFormat = FindChunk(data, "strf");
  const auto value = static_cast<std::uint32_t>(width);
  for (int i = 0; i < 4; ++i)
    data[streamFormat + 8 + 4 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
  WriteAll(path, data);
}

void OverwriteAviHeader(const std::string& path, const TAviHeaderClaims& claims) {
  std::vector<std::uint8_t> data = ReadAll(path);
  auto put32 = [&data](std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  // Field offsets from the start of each chunk's data (8 bytes past its tag).
  const std::size_t mainHeader = FindChunk(data, "avih") + 8;
  const std::size_t streamHeader = FindChunk(data, "strh") + 8;
  const std::size_t streamFormat = FindChunk(data, "strf") + 8;
  if (claims.FrameCount) {
    put32(mainHeader + 16, *claims.FrameCount);
    put32(streamHeader + 32, *claims.FrameCount);
  }
  if (claims.RateAndScale) {
    const auto [rate, scale] = *claims.RateAndScale;
    put32(streamHeader + 20, scale);
    put32(streamHeader + 24, rate);
    put32(mainHeader, static_cast<std::uint32_t>(1000000.0 * scale / rate));
  }
  if (claims.FrameSize) {
    const auto [width, height] = *claims.FrameSize;
    put32(mainHeader + 32, static_cast<std::uint32_t>(width));
    put32(mainHeader + 36, static_cast<std::uint32_t>(height));
    put32(streamFormat + 4, static_cast<std::uint32_t>(width));
    put32(streamFormat + 8, static_cast<std::uint32_t>(height));
  }
  WriteAll(path, data);
}

void OverwriteIndexEntrySize(const std::string& path, int stream, int entry, std::uint32_t bytes) {
  std::vector<std::uint8_t> data = ReadAll(path);
  auto get32 = [&data](std::size_t at) {
    return data[at] | (data[at + 1] << 8) | (data[at + 2] << 16) | (std::uint32_t{data[at + 3]} << 24);
  };
  auto put32 = [&data](std::size_t at, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i) data[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
  };
  const char digits[2] = {static_cast<char>('0' + stream / 10), static_cast<char>('0' + stream % 10)};
  bool found = false;
  // The old index: 16-byte entries (chunk id, flags, offset, size) of every stream.
  const std::size_t oldIndex = FindChunk(data, "idx1");
  const std::size_t oldEnd = std::min<std::size_t>(data.size(), oldIndex + 8 + get32(oldIndex + 4));
  int seen = 0;
  for (std::size_t at = oldIndex + 8; at + 16 <= oldEnd; at += 16) {
    if (data[at] != digits[0] || data[at + 1] != digits[1] || seen++ != entry) continue;
    put32(at + 12, bytes);
    found = true;
  }
  // The OpenDML index of the stream, which the demuxer prefers when there is one: after a
  // 24-byte header, 8-byte entries (offset, size with the top bit set for non-key frames).
  const std::string tag = std::string("ix") + digits[0] + digits[1];
  const auto standard = std::search(data.begin(), data.end(), tag.begin(), tag.end());
  if (standard != data.end()) {
    const std::size_t chunk = static_cast<std::size_t>(standard - data.begin()) + 8;
    if (static_cast<std::uint32_t>(entry) < get32(chunk + 4)) {
      const std::size_t size = chunk + 24 + 8 * static_cast<std::size_t>(entry) + 4;
      put32(size, (get32(size) & 0x80000000u) | (bytes & 0x7FFFFFFFu));
      found = true;
    }
  }
  if (!found) Fail("the index has no entry " + std::to_string(entry) + " for stream " + std::to_string(stream));
  WriteAll(path, data);
}

void TruncateFile(const std::string& path, std::uintmax_t size) { std::filesystem::resize_file(path, size); }

std::uintmax_t FileSize(const std::string& path) { return std::filesystem::file_size(path); }

TTempFolder::TTempFolder(const std::string& base) {
  std::filesystem::create_directories(base);
  std::string pattern = base + "/test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a temporary folder under " + base);
  path_ = pattern;
}

TTempFolder::~TTempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

}  // namespace clipvane::fixtures
