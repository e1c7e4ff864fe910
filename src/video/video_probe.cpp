// ProbeVideo over libavformat: an AVI's header values and index (or every packet) for the
// count; any other container's frame index.
#include "video/video_probe.h"

#include "video/avi_input.h"
#include "video/frame_index_scan.h"
#include "video/video_input.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
}

#include <limits>

#include "core/bitmap.h"
#include "core/error.h"
#include "core/file_checks.h"

namespace clipvane {

namespace {

[[noreturn]] void FailWith(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0 || text[0] == '\0') throw EClipvaneError("Unknown error code");
  throw EClipvaneError(text);
}

struct TInputCloser {
  AVFormatContext* format = nullptr;
  TInputCloser() = default;
  TInputCloser(const TInputCloser&) = delete;
  TInputCloser& operator=(const TInputCloser&) = delete;
  ~TInputCloser() { avformat_close_input(&format); }
};

TVideoInfo ProbeContainer(const std::string& path, AVFormatContext* format, const TOpenProgress& progress) {
  const int streamIndex = video::VideoStreamOf(format, path);
  const AVStream* stream = format->streams[streamIndex];
  const auto index = video::FrameIndexOf(path, format, streamIndex, progress);
  const TPictureGeometry& geometry = index->Geometry;
  TVideoInfo info;
  info.IsAvi = false;
  info.Container = video::ContainerName(format, path);
  info.Codec = video::CodecName(stream->codecpar);
  info.FrameWidth = geometry.DisplayWidth;
  info.FrameHeight = geometry.DisplayHeight;
  info.CodedWidth = geometry.CodedWidth;
  info.CodedHeight = geometry.CodedHeight;
  info.Rotation = geometry.Rotation;
  // Frames are numbered 0 to the count, so the count itself must leave room in an int.
  if (index->FrameCount() >= std::numeric_limits<int>::max()) video::FailFile(path, "the video has too many frames");
  info.FrameCount = index->FrameCount();
  const std::int64_t lengthMs = index->LengthMs();
  if (lengthMs > std::numeric_limits<int>::max()) video::FailFile(path, "the video is too long");
  info.LengthMs = static_cast<int>(lengthMs);
  // The average rate: the frames over their presentation span.
  const std::int64_t span = std::max<std::int64_t>(1, index->SpanTicks());
  av_reduce(&info.FrameRateNumerator, &info.FrameRateDenominator,
            std::int64_t{info.FrameCount} * index->TimeBase.Denominator, span * index->TimeBase.Numerator,
            std::numeric_limits<int>::max());
  if (info.FrameRateNumerator <= 0 || info.FrameRateDenominator <= 0) {
    info.FrameRateNumerator = 25;
    info.FrameRateDenominator = 1;
  }
  info.FrameDurationMs = 1000.0 * info.FrameRateDenominator / info.FrameRateNumerator;
  info.FrameTimes = index->FrameTimes();
  return info;
}

}  // namespace

TVideoInfo ProbeVideo(const std::string& path, const TOpenProgress& progress) {
  RefuseFolder(path);
  if (video::TChosenInput chosen = video::ChooseInput(path); chosen.Way == video::TVideoWay::vwContainer)
    return ProbeContainer(path, chosen.Input.get(), progress);
  TInputCloser input;
  if (const int opened = avi::OpenAviInput(path, &input.format); opened < 0) FailWith(opened);
  const int streamIndex = avi::FirstVideoStream(input.format);
  if (streamIndex < 0) FailWith(AVERROR_STREAM_NOT_FOUND);
  AVStream* stream = input.format->streams[streamIndex];
  // Counted before anything is read: the demuxer adds to the index as it reads a file that
  // had none, and a partial index must not pass for the file's.
  std::int64_t frames = avi::IndexedFrameCount(stream, avi::FileBytes(input.format));
  // The header's size is only a claim: the decoder's, from the first pictures, is what the
  // frames will have, and every picture the program makes is sized from it.
  if (const int found = avformat_find_stream_info(input.format, nullptr); found < 0) FailWith(found);

  TVideoInfo info;
  const AVCodecParameters* parameters = stream->codecpar;
  const AVRational tick = stream->time_base;  // one tick is one frame in an AVI video stream
  if (parameters->width <= 0 || parameters->height <= 0 || parameters->width > TBitmap::MaxSide ||
      parameters->height > TBitmap::MaxSide || tick.num <= 0 || tick.den <= 0)
    FailWith(AVERROR_INVALIDDATA);
  info.FrameWidth = info.CodedWidth = parameters->width;
  info.FrameHeight = info.CodedHeight = parameters->height;
  info.Container = "avi";
  info.Codec = video::CodecName(parameters);

  if (frames < 0) frames = avi::CountFramesByReading(input.format, streamIndex);
  // Frames are numbered 0 to the count, so the count itself must leave room in an int.
  if (frames < 0 || frames >= std::numeric_limits<int>::max()) FailWith(AVERROR_INVALIDDATA);
  info.FrameCount = static_cast<int>(frames);

  info.FrameRateNumerator = tick.den;
  info.FrameRateDenominator = tick.num;
  info.FrameDurationMs = 1000.0 * tick.num / tick.den;
  const std::int64_t lengthMs =
      av_rescale_rnd(frames, std::int64_t{1000} * tick.num, tick.den, static_cast<AVRounding>(AV_ROUND_NEAR_INF));
  if (lengthMs > std::numeric_limits<int>::max()) FailWith(AVERROR_INVALIDDATA);
  info.LengthMs = static_cast<int>(lengthMs);
  return info;
}

}  // namespace clipvane
