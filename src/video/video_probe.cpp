// ProbeVideo over libavformat: header values, and the index (or every packet) for the count.
#include "video/video_probe.h"

#include "video/avi_input.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/mathematics.h>
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

}  // namespace

TVideoInfo ProbeVideo(const std::string& path) {
  RefuseFolder(path);
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
  info.FrameWidth = parameters->width;
  info.FrameHeight = parameters->height;

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
