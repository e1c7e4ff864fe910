// The container fixture writer: pictures drawn as a player must show them, turned back and
// squeezed into the coded picture, encoded and muxed with libavcodec/libavformat.
#include "support/video_fixtures.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/display.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "support/fixture_encoding.h"

namespace clipvane::fixtures {

namespace {

bool Across(int rotation) { return rotation == 90 || rotation == 270; }

// The picture turned counterclockwise by `degrees` (undoing a player's clockwise turn).
TBitmap TurnedBack(const TBitmap& picture, int degrees) {
  if (degrees == 0) return picture;
  const int width = picture.Width(), height = picture.Height();
  const bool across = Across(degrees);
  TBitmap turned(across ? height : width, across ? width : height, TPixelFormat::pf24bit);
  for (int y = 0; y < turned.Height(); ++y)
    for (int x = 0; x < turned.Width(); ++x) {
      // The player maps coded (x, y) to shown (sx, sy) by turning clockwise.
      int sx = x, sy = y;
      if (degrees == 90) sx = turned.Height() - 1 - y, sy = x;
      if (degrees == 180) sx = width - 1 - x, sy = height - 1 - y;
      if (degrees == 270) sx = y, sy = turned.Width() - 1 - x;
      turned.SetPixel(x, y, picture.GetPixel(sx, sy));
    }
  return turned;
}

// Colour patches: 4 x 2 of well-known colours.
TBitmap ColourPatches(int width, int height) {
  static const TColor kColours[8] = {RGB(200, 30, 40),   RGB(40, 180, 60),  RGB(30, 50, 210),  RGB(235, 235, 235),
                                     RGB(128, 128, 128), RGB(220, 200, 40), RGB(40, 190, 200), RGB(190, 40, 180)};
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  for (int i = 0; i < 8; ++i) {
    const int column = i % 4, row = i / 4;
    picture.FillRect({column * width / 4, row * height / 2, (column + 1) * width / 4, (row + 1) * height / 2},
                     kColours[i]);
  }
  return picture;
}

// The picture of frame `number` at the shown size.
TBitmap DrawnFrame(TFixturePicture kind, int number, int width, int height) {
  switch (kind) {
    case TFixturePicture::fpNumbers: {
      TBitmap picture = NumberFrame(number, width, height);
      picture.SetPixelFormat(TPixelFormat::pf24bit);
      return picture;
    }
    case TFixturePicture::fpSample:
      return SampleFrame(number, width, height);
    case TFixturePicture::fpColours:
      return ColourPatches(width, height);
    case TFixturePicture::fpPan:
      return PanFrame(number, width, height);
  }
  Fail("unknown picture");
}

// The shown picture made into the coded one: turned back, then squeezed to the coded width.
TBitmap CodedFrame(const TFixtureVideo& video, const TBitmap& shown) {
  const TBitmap turned = TurnedBack(shown, video.Rotation);
  if (turned.Width() == video.Width && turned.Height() == video.Height) return turned;
  TBitmap coded(video.Width, video.Height, TPixelFormat::pf24bit);
  coded.StretchDraw({0, 0, video.Width, video.Height}, turned, {0, 0, turned.Width(), turned.Height()});
  return coded;
}

// Fills the encoder's frame from a 24-bit picture with the stream's colour matrix and range;
// formats with alpha get half opacity (128) in the right half of the picture.
void FillTagged(const TFixtureVideo& video, const TBitmap& picture, AVFrame* frame, SwsContext*& sws) {
  const auto format = static_cast<AVPixelFormat>(frame->format);
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(format);
  const bool alpha = descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_ALPHA);
  const int width = picture.Width(), height = picture.Height();
  if (!sws) {
    sws = sws_getContext(width, height, AV_PIX_FMT_BGRA, width, height, format,
                         SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INP, nullptr, nullptr, nullptr);
    if (!sws) Fail("no colour conversion");
    const int tagged = video.ColorSpace == AVCOL_SPC_UNSPECIFIED ? video.UntaggedMatrix : video.ColorSpace;
    const int space = tagged == AVCOL_SPC_BT709        ? SWS_CS_ITU709
                      : tagged == AVCOL_SPC_BT2020_NCL ? SWS_CS_BT2020
                                                       : SWS_CS_ITU601;
    if (descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB))
      sws_setColorspaceDetails(sws, sws_getCoefficients(SWS_CS_DEFAULT), 1, sws_getCoefficients(space),
                               video.FullRange ? 1 : 0, 0, 1 << 16, 1 << 16);
  }
  std::vector<std::uint8_t> bgra(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 4 + 64);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const std::uint8_t* in = picture.ScanLine(y) + 3 * x;
      std::uint8_t* out =
          &bgra[(static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + static_cast<std::size_t>(x)) * 4];
      out[0] = in[0], out[1] = in[1], out[2] = in[2];
      out[3] = alpha && x >= width / 2 ? 128 : 255;
    }
  const std::uint8_t* planes[1] = {bgra.data()};
  const int strides[1] = {width * 4};
  sws_scale(sws, planes, strides, 0, height, frame->data, frame->linesize);
}

}  // namespace

int TFixtureVideo::DisplayWidth() const {
  const int square = static_cast<int>(std::lround(static_cast<double>(Width) * AspectNumerator / AspectDenominator));
  return Across(Rotation) ? Height : square;
}

int TFixtureVideo::DisplayHeight() const {
  const int square = static_cast<int>(std::lround(static_cast<double>(Width) * AspectNumerator / AspectDenominator));
  return Across(Rotation) ? square : Height;
}

TBitmap ShownFrame(const TFixtureVideo& video, int number) {
  return DrawnFrame(video.Picture, number, video.DisplayWidth(), video.DisplayHeight());
}

void WriteFixtureVideo(const std::string& path, const TFixtureVideo& video) {
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* rawFormat = nullptr;
  Check(avformat_alloc_output_context2(&rawFormat, nullptr, video.Muxer.c_str(), path.c_str()),
        "no muxer " + video.Muxer);
  std::unique_ptr<AVFormatContext, TFormatDeleter> format(rawFormat);
  const AVCodec* encoder = avcodec_find_encoder_by_name(video.Encoder.c_str());
  if (!encoder) Fail("no encoder " + video.Encoder);
  std::unique_ptr<AVCodecContext, TCodecDeleter> codec(avcodec_alloc_context3(encoder));
  const bool variable = !video.StartsMs.empty();
  if (variable && static_cast<int>(video.StartsMs.size()) != video.FrameCount + 1)
    Fail("StartsMs needs a start for each frame and the end");
  codec->width = video.Width;
  codec->height = video.Height;
  codec->pix_fmt = av_get_pix_fmt(video.PixelFormat.c_str());
  if (codec->pix_fmt == AV_PIX_FMT_NONE) Fail("no pixel format " + video.PixelFormat);
  codec->time_base = variable ? AVRational{1, 1000} : AVRational{video.RateDenominator, video.RateNumerator};
  if (!variable) codec->framerate = AVRational{video.RateNumerator, video.RateDenominator};
  codec->gop_size = video.KeyFrameInterval;
  codec->keyint_min = video.KeyFrameInterval;
  codec->max_b_frames = video.BFrames;
  codec->sample_aspect_ratio = AVRational{video.AspectNumerator, video.AspectDenominator};
  codec->colorspace = static_cast<AVColorSpace>(video.ColorSpace);
  codec->color_range = video.FullRange ? AVCOL_RANGE_JPEG : AVCOL_RANGE_MPEG;
  codec->thread_count = 1;
  if (video.Encoder == "mjpeg" || video.Encoder == "mpeg2video" || video.Encoder == "mpeg4") {
    codec->flags |= AV_CODEC_FLAG_QSCALE;
    codec->global_quality = FF_QP2LAMBDA * 3;
  }
  if (format->oformat->flags & AVFMT_GLOBALHEADER) codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  AVDictionary* options = nullptr;
  for (const auto& [name, value] : video.EncoderOptions) av_dict_set(&options, name.c_str(), value.c_str(), 0);
  const int opened = avcodec_open2(codec.get(), encoder, &options);
  av_dict_free(&options);
  Check(opened, "cannot open encoder " + video.Encoder);

  AVStream* stream = avformat_new_stream(format.get(), nullptr);
  if (!stream) Fail("no stream");
  stream->time_base = codec->time_base;
  stream->sample_aspect_ratio = codec->sample_aspect_ratio;
  Check(avcodec_parameters_from_context(stream->codecpar, codec.get()), "stream parameters");
  if (video.Rotation != 0) {
    std::uint8_t* matrix = av_stream_new_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, 9 * sizeof(std::int32_t));
    if (!matrix) Fail("no display matrix");
    // Set with the clockwise angle, the matrix reads back as the counterclockwise one
    // (ffprobe shows -90 for a phone's portrait video, which players turn clockwise).
    av_display_rotation_set(reinterpret_cast<std::int32_t*>(matrix), video.Rotation);
  }
  AVStream* audio = nullptr;
  constexpr int kSampleRate = 8000;
  if (video.WithAudio) audio = AddPcmStream(format.get(), kSampleRate);
  Check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + path);
  Check(avformat_write_header(format.get(), nullptr), "header");

  std::unique_ptr<AVPacket, TPacketDeleter> packet(av_packet_alloc());
  std::unique_ptr<AVFrame, TFrameDeleter> frame(av_frame_alloc());
  frame->format = codec->pix_fmt;
  frame->width = video.Width;
  frame->height = video.Height;
  Check(av_frame_get_buffer(frame.get(), 0), "frame buffer");
  TSwsHolder sws;

  // A frame's start and duration in ticks of the encoder's time base.
  auto startOf = [&](int k) -> std::int64_t {
    if (!variable) return k;
    return k < 0 ? std::int64_t{k} * 40 : video.StartsMs[static_cast<std::size_t>(k)];
  };
  auto durationOf = [&](std::int64_t pts) -> std::int64_t {
    if (!variable) return 1;
    for (int k = 0; k < video.FrameCount; ++k)
      if (video.StartsMs[static_cast<std::size_t>(k)] == pts)
        return video.StartsMs[static_cast<std::size_t>(k) + 1] - video.StartsMs[static_cast<std::size_t>(k)];
    return 40;
  };
  std::int64_t audioSamples = 0;
  auto writeAudio = [&](std::int64_t untilMs) {
    if (!audio) return;
    const std::int64_t until = untilMs * kSampleRate / 1000;
    if (until <= audioSamples) return;
    const int count = static_cast<int>(until - audioSamples);
    Check(av_new_packet(packet.get(), count * 2), "audio packet");
    std::memset(packet->data, 0, static_cast<std::size_t>(count) * 2);
    packet->pts = packet->dts = audioSamples;
    packet->duration = count;
    packet->stream_index = audio->index;
    packet->flags |= AV_PKT_FLAG_KEY;
    audioSamples = until;
    Check(av_interleaved_write_frame(format.get(), packet.get()), "writing an audio packet");
  };
  auto drain = [&](bool flushing) {
    while (true) {
      const int result = avcodec_receive_packet(codec.get(), packet.get());
      if (result == AVERROR(EAGAIN) || (flushing && result == AVERROR_EOF)) return;
      Check(result, "encoding");
      packet->duration = durationOf(packet->pts);
      av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      Check(av_interleaved_write_frame(format.get(), packet.get()), "writing a video packet");
    }
  };

  for (int k = -video.LeadingFrames; k < video.FrameCount; ++k) {
    const std::int64_t startMs =
        av_rescale(startOf(k), std::int64_t{1000} * codec->time_base.num, codec->time_base.den);
    writeAudio(std::max<std::int64_t>(0, startMs + 40));
    Check(av_frame_make_writable(frame.get()), "frame buffer");
    const int number = k < 0 ? 1000 + k + video.LeadingFrames : k;
    const TBitmap shown = DrawnFrame(video.Picture, number, video.DisplayWidth(), video.DisplayHeight());
    FillTagged(video, CodedFrame(video, shown), frame.get(), sws.context);
    frame->pts = startOf(k);
    Check(avcodec_send_frame(codec.get(), frame.get()), "encoding");
    drain(false);
  }
  Check(avcodec_send_frame(codec.get(), nullptr), "flushing the encoder");
  drain(true);
  Check(av_write_trailer(format.get()), "trailer");
}

namespace {

// Creates the file, writes one second of silence on `audio` and closes the file.
void WriteSilentSecond(AVFormatContext* format, AVStream* audio, int rate, const std::string& path) {
  Check(avio_open(&format->pb, path.c_str(), AVIO_FLAG_WRITE), "cannot create " + path);
  Check(avformat_write_header(format, nullptr), "header");
  std::unique_ptr<AVPacket, TPacketDeleter> packet(av_packet_alloc());
  Check(av_new_packet(packet.get(), rate * 2), "audio packet");
  std::memset(packet->data, 0, static_cast<std::size_t>(rate) * 2);
  packet->pts = packet->dts = 0;
  packet->duration = rate;
  packet->stream_index = audio->index;
  Check(av_interleaved_write_frame(format, packet.get()), "writing audio");
  Check(av_write_trailer(format), "trailer");
}

}  // namespace

void WriteAudioOnlyFile(const std::string& path) {
  av_log_set_level(AV_LOG_QUIET);
  AVFormatContext* rawFormat = nullptr;
  Check(avformat_alloc_output_context2(&rawFormat, nullptr, "wav", path.c_str()), "no WAV muxer");
  std::unique_ptr<AVFormatContext, TFormatDeleter> format(rawFormat);
  constexpr int kRate = 8000;
  AVStream* audio = AddPcmStream(format.get(), kRate);
  WriteSilentSecond(format.get(), audio, kRate, path);
}

void WriteSongWithCover(const std::string& path) {
  av_log_set_level(AV_LOG_QUIET);
  // The cover: a PNG of 32 x 32.
  const AVCodec* png = avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!png) Fail("no PNG encoder");
  std::unique_ptr<AVCodecContext, TCodecDeleter> coder(avcodec_alloc_context3(png));
  coder->width = coder->height = 32;
  coder->pix_fmt = AV_PIX_FMT_RGB24;
  coder->time_base = AVRational{1, 25};
  Check(avcodec_open2(coder.get(), png, nullptr), "PNG encoder");
  std::unique_ptr<AVFrame, TFrameDeleter> frame(av_frame_alloc());
  frame->format = AV_PIX_FMT_RGB24;
  frame->width = frame->height = 32;
  Check(av_frame_get_buffer(frame.get(), 0), "cover buffer");
  for (int y = 0; y < 32; ++y) std::memset(frame->data[0] + y * frame->linesize[0], 40 + 6 * y, 96);
  std::unique_ptr<AVPacket, TPacketDeleter> cover(av_packet_alloc());
  Check(avcodec_send_frame(coder.get(), frame.get()), "encoding the cover");
  Check(avcodec_receive_packet(coder.get(), cover.get()), "encoding the cover");

  // Matroska keeps a cover as an attachment; its demuxer gives it as an attached picture.
  AVFormatContext* rawFormat = nullptr;
  Check(avformat_alloc_output_context2(&rawFormat, nullptr, "matroska", path.c_str()), "no Matroska muxer");
  std::unique_ptr<AVFormatContext, TFormatDeleter> format(rawFormat);
  constexpr int kRate = 8000;
  AVStream* audio = AddPcmStream(format.get(), kRate);
  AVStream* picture = avformat_new_stream(format.get(), nullptr);
  if (!picture) Fail("no stream");
  picture->codecpar->codec_type = AVMEDIA_TYPE_ATTACHMENT;
  picture->codecpar->codec_id = AV_CODEC_ID_PNG;
  picture->codecpar->extradata = static_cast<std::uint8_t*>(av_mallocz(cover->size + AV_INPUT_BUFFER_PADDING_SIZE));
  if (!picture->codecpar->extradata) Fail("no memory for the cover");
  std::memcpy(picture->codecpar->extradata, cover->data, static_cast<std::size_t>(cover->size));
  picture->codecpar->extradata_size = cover->size;
  av_dict_set(&picture->metadata, "filename", "cover.png", 0);
  av_dict_set(&picture->metadata, "mimetype", "image/png", 0);
  WriteSilentSecond(format.get(), audio, kRate, path);
}

}  // namespace clipvane::fixtures
