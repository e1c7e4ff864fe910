// The container way of reading a video: its probe from the frame index and its frame reader.
#include <limits>

extern "C" {
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
#include <libavutil/rational.h>
}

#include "video/avi_frame_reader.h"
#include "video/container_frame_reader.h"
#include "video/frame_index_scan.h"
#include "video/opened_video.h"
#include "video/video_input.h"

namespace clipvane::video {

namespace {

class TContainerVideo : public TOpenedVideo {
 public:
  TContainerVideo(std::string path, AVFormatContext* opened) : path_(std::move(path)), input_(opened) {}

  bool IsAvi() const override { return false; }
  TVideoInfo Probe(const TOpenProgress& progress) override;
  std::unique_ptr<TFrameSource> Frames(TAviReaderSeam* seam, THdrMode hdr) override {
    TContainerFrameReader::THooks hooks;
    if (seam) {
      hooks.Seeking = [seam](std::int64_t keyFrame) { seam->Seeking(keyFrame); };
      hooks.LoadingFrame = [seam](int frameNumber) { seam->LoadingFrame(frameNumber); };
    }
    auto reader = std::make_unique<TContainerFrameReader>(std::move(hooks), hdr);
    reader->Open(path_, input_.release());
    return reader;
  }
  std::unique_ptr<TFrameSource> PlayerFrames() override { return Frames(nullptr, THdrMode::hdrToSdr); }

 private:
  std::string path_;
  TInput input_;  // the file as OpenVideo opened it, until a reader or the probe takes it
};

// FFmpeg's name of a colour tag, or "unspecified".
std::string TagName(const char* name, int value) {
  return value == 2 || !name ? "unspecified" : name;  // 2: unspecified in each of FFmpeg's lists
}

TVideoColour ColourOf(const TPictureColour& picture) {
  TVideoColour colour;
  colour.Matrix = TagName(av_color_space_name(static_cast<AVColorSpace>(picture.Matrix)), picture.Matrix);
  colour.Transfer =
      TagName(av_color_transfer_name(static_cast<AVColorTransferCharacteristic>(picture.Transfer)), picture.Transfer);
  colour.Primaries =
      TagName(av_color_primaries_name(static_cast<AVColorPrimaries>(picture.Primaries)), picture.Primaries);
  colour.FullRange = picture.FullRange;
  colour.BitDepth = picture.BitDepth;
  if (picture.Transfer == AVCOL_TRC_SMPTE2084) colour.Hdr = "PQ";
  if (picture.Transfer == AVCOL_TRC_ARIB_STD_B67) colour.Hdr = "HLG";
  return colour;
}

// The frame count is the pictures its packets hold, the size that of its first decoded
// picture (upright, square pixels).
TVideoInfo TContainerVideo::Probe(const TOpenProgress& progress) {
  if (!input_) input_ = OpenContainer(path_);
  const TInput input = std::move(input_);
  const int streamIndex = VideoStreamOf(input.get(), path_);
  const AVStream* stream = input->streams[streamIndex];
  const auto index = FrameIndexOf(path_, input.get(), streamIndex, progress);
  const TPictureGeometry& geometry = index->Geometry;
  TVideoInfo info;
  info.IsAvi = false;
  info.Container = ContainerName(input.get(), path_);
  info.Codec = CodecName(stream->codecpar);
  info.FrameWidth = geometry.DisplayWidth;
  info.FrameHeight = geometry.DisplayHeight;
  info.CodedWidth = geometry.CodedWidth;
  info.CodedHeight = geometry.CodedHeight;
  info.Rotation = geometry.Rotation;
  // Frames are numbered 0 to the count, so the count itself must leave room in an int.
  if (index->FrameCount() >= std::numeric_limits<int>::max()) FailFile(path_, "the video has too many frames");
  info.FrameCount = index->FrameCount();
  const std::int64_t lengthMs = index->LengthMs();
  if (lengthMs > std::numeric_limits<int>::max()) FailFile(path_, "the video is too long");
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
  info.Colour = ColourOf(index->Colour);
  return info;
}

}  // namespace

std::unique_ptr<TOpenedVideo> OpenContainerVideo(const std::string& path, AVFormatContext* opened) {
  return std::make_unique<TContainerVideo>(path, opened);
}

}  // namespace clipvane::video
