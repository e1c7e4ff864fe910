// Reading the packets of a container's video stream into its frame index, and keeping the
// index of the last few files read.
#include "video/frame_index_scan.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/display.h>
#include <libavutil/mathematics.h>
#include <libavutil/pixdesc.h>
}

#include <sys/stat.h>

#include <climits>
#include <cmath>
#include <list>
#include <mutex>

#include "core/bitmap.h"
#include "core/error.h"
#include "video/avi_input.h"
#include "video/hdr_converter.h"
#include "video/picture_converter.h"
#include "video/video_input.h"

namespace clipvane::video {

namespace {

// Progress is reported every this many packets of the video stream.
constexpr std::size_t kProgressPackets = 2048;
// Packets fed to find the first picture before giving up on it.
constexpr int kFirstPicturePackets = 600;
// Indexes kept for files read before.
constexpr std::size_t kCachedIndexes = 4;

struct TFileStamp {
  dev_t Device = 0;
  ino_t Inode = 0;
  off_t Size = -1;
  std::int64_t ModifiedNs = 0;
  friend bool operator==(const TFileStamp&, const TFileStamp&) = default;
};

bool StampOf(const std::string& path, TFileStamp& stamp) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  stamp = {info.st_dev, info.st_ino, info.st_size,
           static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
  return true;
}

struct TCachedIndex {
  std::string Path;
  TFileStamp Stamp;
  std::shared_ptr<const TFrameIndex> Index;
};

std::mutex g_cacheMutex;
std::list<TCachedIndex>& Cache() {
  static std::list<TCachedIndex> cache;
  return cache;
}

std::shared_ptr<const TFrameIndex> Find(const std::string& path, const TFileStamp& stamp) {
  std::lock_guard lock(g_cacheMutex);
  auto& cache = Cache();
  for (auto entry = cache.begin(); entry != cache.end(); ++entry)
    if (entry->Path == path && entry->Stamp == stamp) {
      cache.splice(cache.begin(), cache, entry);  // most recent first
      return cache.front().Index;
    }
  return nullptr;
}

void Keep(const std::string& path, const TFileStamp& stamp, std::shared_ptr<const TFrameIndex> index) {
  std::lock_guard lock(g_cacheMutex);
  auto& cache = Cache();
  cache.remove_if([&](const TCachedIndex& entry) { return entry.Path == path; });
  cache.push_front({path, stamp, std::move(index)});
  while (cache.size() > kCachedIndexes) cache.pop_back();
}

// An index entry that no file can back: the demuxer would try to read (and allocate) it.
void RefuseImpossibleEntries(const AVFormatContext* format, std::int64_t fileBytes, const std::string& path) {
  if (avi::HasImpossibleIndexEntry(format, fileBytes))
    throw EClipvaneError("Corrupt index in \"" + path + "\"", path, "the file's index is corrupt");
}

// Decodes the stream's first picture for its true size, pixel shape and colours.
class TFirstPicture {
 public:
  TFirstPicture(const AVStream* stream, const std::string& path)
      : codec_(OpenDecoder(stream, path, 1)), frame_(av_frame_alloc()) {
    if (!frame_) {
      avcodec_free_context(&codec_);
      throw std::bad_alloc();
    }
  }
  ~TFirstPicture() {
    av_frame_free(&frame_);
    avcodec_free_context(&codec_);
  }
  TFirstPicture(const TFirstPicture&) = delete;
  TFirstPicture& operator=(const TFirstPicture&) = delete;

  bool Done() const { return done_; }
  const AVFrame* Picture() const { return found_ ? frame_ : nullptr; }

  // Decoding starts at the first key packet.
  void Feed(const AVPacket* packet) {
    if (done_) return;
    if (!started_ && !(packet->flags & AV_PKT_FLAG_KEY)) return;
    started_ = true;
    avcodec_send_packet(codec_, packet);  // a broken packet is skipped
    Receive();
    if (!done_ && ++fed_ >= kFirstPicturePackets) done_ = true;
  }
  void Finish() {
    if (done_ || !started_) return;
    avcodec_send_packet(codec_, nullptr);
    Receive();
    done_ = true;
  }

 private:
  void Receive() {
    if (avcodec_receive_frame(codec_, frame_) == 0) found_ = done_ = true;
  }

  AVCodecContext* codec_;
  AVFrame* frame_;
  bool started_ = false, done_ = false, found_ = false;
  int fed_ = 0;
};

bool Sensible(AVRational ratio) {
  return ratio.num > 0 && ratio.den > 0 && av_cmp_q(ratio, AVRational{1, 16}) >= 0 &&
         av_cmp_q(ratio, AVRational{16, 1}) <= 0;
}

// Degrees to turn the decoded picture clockwise, from the stream's display matrix.
int RotationOf(const AVStream* stream) {
  size_t size = 0;
  const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (!matrix || size < 9 * sizeof(std::int32_t)) return 0;
  const double counterclockwise = av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
  if (std::isnan(counterclockwise)) return 0;
  const long quarter = std::lround(-counterclockwise / 90.0);
  return static_cast<int>(((quarter % 4) + 4) % 4) * 90;
}

TPictureGeometry GeometryOf(const AVStream* stream, const AVFrame* first, const std::string& path) {
  const AVCodecParameters* parameters = stream->codecpar;
  TPictureGeometry geometry;
  geometry.CodedWidth = first ? first->width : parameters->width;
  geometry.CodedHeight = first ? first->height : parameters->height;
  if (geometry.CodedWidth <= 0 || geometry.CodedHeight <= 0) FailFile(path, "the video has no pictures");
  if (geometry.CodedWidth > TBitmap::MaxSide || geometry.CodedHeight > TBitmap::MaxSide)
    FailFile(path, "the pictures are too large");

  AVRational aspect{1, 1};
  if (first && Sensible(first->sample_aspect_ratio)) aspect = first->sample_aspect_ratio;
  else if (Sensible(stream->sample_aspect_ratio)) aspect = stream->sample_aspect_ratio;
  else if (Sensible(parameters->sample_aspect_ratio)) aspect = parameters->sample_aspect_ratio;
  // Square pixels: the width follows the pixel shape, the lines stay.
  const std::int64_t squareWidth =
      std::max<std::int64_t>(1, av_rescale_rnd(geometry.CodedWidth, aspect.num, aspect.den, AV_ROUND_NEAR_INF));
  if (squareWidth > TBitmap::MaxSide) FailFile(path, "the pictures are too large");
  geometry.Rotation = RotationOf(stream);
  const bool across = geometry.Rotation == 90 || geometry.Rotation == 270;
  geometry.DisplayWidth = static_cast<int>(across ? geometry.CodedHeight : squareWidth);
  geometry.DisplayHeight = static_cast<int>(across ? squareWidth : geometry.CodedHeight);
  if (RowStride(geometry.DisplayWidth, TPixelFormat::pf24bit) * static_cast<std::size_t>(geometry.DisplayHeight) >
      TBitmap::MaxPixelBytes)
    FailFile(path, "the pictures are too large");

  const int tagged = first && first->colorspace != AVCOL_SPC_UNSPECIFIED ? first->colorspace : parameters->color_space;
  geometry.DefaultColorSpace = tagged != AVCOL_SPC_UNSPECIFIED && tagged != AVCOL_SPC_RESERVED
                                   ? tagged
                                   : (geometry.CodedHeight < 720 ? AVCOL_SPC_BT470BG : AVCOL_SPC_BT709);
  return geometry;
}

// What the first picture says of its colours; what the stream says where there is none.
TPictureColour ColourOf(const AVStream* stream, const AVFrame* first) {
  const AVCodecParameters* parameters = stream->codecpar;
  const auto said = [first](int onPicture, int onStream) {
    return first && onPicture != 2 ? onPicture : onStream;  // 2: unspecified, in each of FFmpeg's lists
  };
  TPictureColour colour;
  colour.Matrix = said(first ? first->colorspace : 2, parameters->color_space);
  colour.Transfer = said(first ? first->color_trc : 2, parameters->color_trc);
  colour.Primaries = said(first ? first->color_primaries : 2, parameters->color_primaries);
  const int format = first ? first->format : parameters->format;
  const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
  colour.FullRange = (descriptor && (descriptor->flags & AV_PIX_FMT_FLAG_RGB)) ||
                     IsFullRange(format, first ? first->color_range : parameters->color_range);
  if (descriptor && descriptor->nb_components > 0) colour.BitDepth = descriptor->comp[0].depth;
  else if (parameters->bits_per_raw_sample > 0) colour.BitDepth = parameters->bits_per_raw_sample;
  return colour;
}

// One frame's duration in ticks of the stream, from its nominal rate; 0 when unknown.
std::int64_t NominalDuration(const AVStream* stream) {
  AVRational rate = stream->avg_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) rate = stream->r_frame_rate;
  if (rate.num <= 0 || rate.den <= 0) return 0;
  return std::max<std::int64_t>(0, av_rescale_q(1, av_inv_q(rate), stream->time_base));
}

// Where the container says its streams end, in ticks of the stream; kNoTimestamp when it
// does not.
std::int64_t ContainerEnd(const AVFormatContext* format, const AVStream* stream) {
  if (format->duration == AV_NOPTS_VALUE || format->duration <= 0) return kNoTimestamp;
  const std::int64_t start = format->start_time != AV_NOPTS_VALUE ? format->start_time : 0;
  return av_rescale_q(start + format->duration, AV_TIME_BASE_Q, stream->time_base);
}

std::shared_ptr<const TFrameIndex> Scan(const std::string& path, AVFormatContext* format, int streamIndex,
                                        const TScanProgress& progress) {
  AVStream* stream = format->streams[streamIndex];
  ReadOnlyStream(format, streamIndex);
  const std::int64_t fileBytes = avi::FileBytes(format);
  RefuseImpossibleEntries(format, fileBytes, path);
  if (stream->time_base.num <= 0 || stream->time_base.den <= 0) FailFile(path, "the video has no timestamps");

  auto index = std::make_shared<TFrameIndex>();
  index->TimeBase = {stream->time_base.num, stream->time_base.den};
  std::vector<bool> discarded;
  std::vector<std::int64_t> durations;
  TFirstPicture first(stream, path);
  // Every packet takes at least a byte of the file: a demuxer that gives more is going round.
  const std::uint64_t mostPackets =
      std::min<std::uint64_t>(fileBytes >= 0 ? static_cast<std::uint64_t>(fileBytes) + 16 : UINT64_MAX, INT32_MAX - 1);

  AVPacket* packet = av_packet_alloc();
  if (!packet) throw std::bad_alloc();
  struct TPacketFree {
    AVPacket*& packet;
    ~TPacketFree() { av_packet_free(&packet); }
  } freePacket{packet};
  if (progress) progress(0, 1000);
  while (index->Packets.size() < mostPackets) {
    const int read = av_read_frame(format, packet);
    if (read == AVERROR(ENOMEM)) {
      RefuseImpossibleEntries(format, fileBytes, path);
      throw std::bad_alloc();
    }
    if (read < 0) break;  // the end, or data too broken to go on: the packets so far count
    if (packet->stream_index == streamIndex) {
      TIndexedPacket entry;
      entry.Position = packet->pos;
      entry.Dts = packet->dts != AV_NOPTS_VALUE ? packet->dts : kNoTimestamp;
      entry.Pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : entry.Dts;
      entry.Key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
      index->Packets.push_back(entry);
      discarded.push_back((packet->flags & AV_PKT_FLAG_DISCARD) != 0);
      durations.push_back(packet->duration);
      first.Feed(packet);
      if (progress && index->Packets.size() % kProgressPackets == 0 && fileBytes > 0)
        progress(static_cast<int>(std::min<std::int64_t>(1000, avio_tell(format->pb) * 1000 / fileBytes)), 1000);
    }
    av_packet_unref(packet);
  }
  first.Finish();
  if (progress) progress(1000, 1000);

  index->Complete(discarded, durations, NominalDuration(stream), ContainerEnd(format, stream));
  if (index->FrameCount() == 0) FailFile(path, "the video has no pictures");
  index->Geometry = GeometryOf(stream, first.Picture(), path);
  index->Geometry.PeakNits = PeakNitsOf(stream, first.Picture());
  index->Colour = ColourOf(stream, first.Picture());
  return index;
}

}  // namespace

std::shared_ptr<const TFrameIndex> FrameIndexOf(const std::string& path, AVFormatContext* format, int streamIndex,
                                                const TScanProgress& progress) {
  TFileStamp stamp;
  const bool stamped = StampOf(path, stamp);
  if (stamped)
    if (auto known = Find(path, stamp)) return known;
  auto index = Scan(path, format, streamIndex, progress);
  if (stamped) Keep(path, stamp, index);
  return index;
}

std::shared_ptr<const TFrameIndex> CachedFrameIndex(const std::string& path) {
  TFileStamp stamp;
  return StampOf(path, stamp) ? Find(path, stamp) : nullptr;
}

}  // namespace clipvane::video
