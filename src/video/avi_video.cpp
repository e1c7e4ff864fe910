// The AVI way of reading a video: its probe (header and index), its frame reader, and the
// player's frames with the media device's messages.
#include <limits>

extern "C" {
#include <libavutil/mathematics.h>
}

#include "core/bitmap.h"
#include "core/error.h"
#include "video/avi_frame_reader.h"
#include "video/avi_input.h"
#include "video/opened_video.h"
#include "video/video_input.h"

namespace clipvane::video {

namespace {

class TAviVideo : public TOpenedVideo {
 public:
  explicit TAviVideo(std::string path) : path_(std::move(path)) {}

  bool IsAvi() const override { return true; }
  TVideoInfo Probe(const TOpenProgress& progress) override;
  // An AVI's pictures keep the conversion the AVI reader has always made.
  std::unique_ptr<TFrameSource> Frames(TAviReaderSeam* seam, THdrMode) override {
    auto reader = std::make_unique<TAviFrameReader>(seam);
    reader->Open(path_);
    return reader;
  }
  std::unique_ptr<TFrameSource> PlayerFrames() override;

 private:
  // The media device's failure: FFmpeg's text for the code, with what is wrong in words.
  [[noreturn]] void Fail(int code, const std::string& problem) const {
    throw EClipvaneError(FfmpegText(code), path_, problem);
  }

  std::string path_;
  AVCodecID codec_ = AV_CODEC_ID_NONE;
  std::string codecName_;
};

// The header's values and the index (every packet when the file has no index, so the count is
// exact for a file cut short). The frame count is what the index or the packets prove, the
// frame size what the decoder makes of the first pictures; the header's claims of either only
// stand in when nothing better is known.
TVideoInfo TAviVideo::Probe(const TOpenProgress&) {
  AVFormatContext* raw = nullptr;
  const int opened = avi::OpenAviInput(path_, &raw);
  const TInput input(raw);
  if (opened < 0) Fail(opened, FileProblem(path_, opened));
  const int streamIndex = FirstVideoStream(input.get());
  if (streamIndex < 0) Fail(AVERROR_STREAM_NOT_FOUND, "the file has no video stream");
  AVStream* stream = input->streams[streamIndex];
  // Counted before anything is read: the demuxer adds to the index as it reads a file that
  // had none, and a partial index must not pass for the file's.
  std::int64_t frames = avi::IndexedFrameCount(stream, avi::FileBytes(input.get()));
  // The header's size is only a claim: the decoder's, from the first pictures, is what the
  // frames will have, and every picture the program makes is sized from it.
  if (const int found = avformat_find_stream_info(input.get(), nullptr); found < 0)
    Fail(found, "the video stream cannot be read");

  TVideoInfo info;
  const AVCodecParameters* parameters = stream->codecpar;
  const AVRational tick = stream->time_base;  // one tick is one frame in an AVI video stream
  if (parameters->width <= 0 || parameters->height <= 0 || parameters->width > TBitmap::MaxSide ||
      parameters->height > TBitmap::MaxSide)
    Fail(AVERROR_INVALIDDATA, "the header gives a frame size no picture can have");
  if (tick.num <= 0 || tick.den <= 0) Fail(AVERROR_INVALIDDATA, "the header gives no frame rate");
  info.FrameWidth = info.CodedWidth = parameters->width;
  info.FrameHeight = info.CodedHeight = parameters->height;
  info.Container = "avi";
  info.Codec = CodecName(parameters);
  codec_ = parameters->codec_id;
  codecName_ = info.Codec;

  if (frames < 0) frames = avi::CountFramesByReading(input.get(), streamIndex);
  // Frames are numbered 0 to the count, so the count itself must leave room in an int.
  if (frames < 0 || frames >= std::numeric_limits<int>::max())
    Fail(AVERROR_INVALIDDATA, "the frames cannot be counted");
  info.FrameCount = static_cast<int>(frames);

  info.FrameRateNumerator = tick.den;
  info.FrameRateDenominator = tick.num;
  info.FrameDurationMs = 1000.0 * tick.num / tick.den;
  const std::int64_t lengthMs =
      av_rescale_rnd(frames, std::int64_t{1000} * tick.num, tick.den, static_cast<AVRounding>(AV_ROUND_NEAR_INF));
  if (lengthMs > std::numeric_limits<int>::max()) Fail(AVERROR_INVALIDDATA, "the video is too long");
  info.LengthMs = static_cast<int>(lengthMs);
  return info;
}

std::unique_ptr<TFrameSource> TAviVideo::PlayerFrames() {
  if (!avcodec_find_decoder(codec_))
    Fail(AVERROR_DECODER_NOT_FOUND, "no decoder for the video codec \"" + codecName_ + "\"");
  try {
    return Frames(nullptr, THdrMode::hdrToSdr);
  } catch (const EClipvaneError& error) {
    Fail(AVERROR_INVALIDDATA, error.Problem().empty() ? InWords(error.what()) : error.Problem());
  }
}

}  // namespace

std::unique_ptr<TOpenedVideo> OpenAviVideo(const std::string& path) { return std::make_unique<TAviVideo>(path); }

}  // namespace clipvane::video
