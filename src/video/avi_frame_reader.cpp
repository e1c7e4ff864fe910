// TAviFrameReader over libavformat/libavcodec. Frame numbers are display positions: frame n
// is the picture whose timestamp lies n frame durations after the first picture's, and a
// number whose packet is a drop frame (no picture of its own) gives the picture before it.
// Reading forward never seeks; a jump back or far ahead seeks to the nearest earlier key
// frame, and to the one before that when the decoder can show nothing at or before n from
// there (B-frames displayed before their key frame).
#include "video/avi_frame_reader.h"

#include "video/avi_input.h"
#include "video/video_input.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstring>
#include <deque>
#include <limits>
#include <new>

#include "core/error.h"

namespace clipvane {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::size_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kPlainRgb = 0;
constexpr std::uint32_t kBitFields = 3;
// A key frame this many frames or fewer past the next packet is not worth a seek: decoding
// on is about as cheap and keeps the decoder's threads busy.
constexpr std::int64_t kForwardSeekSlack = 2;
// Decoded pictures kept for reading back without decoding again: a run reading backwards
// then decodes each group of pictures once instead of once a frame. The pictures since the
// last key frame are kept, up to this many bytes.
constexpr std::size_t kRecentPictureBytes = std::size_t{64} << 20;

// FFmpeg 6.1 moved the key-frame mark into the flags field and 7 dropped key_frame.
bool IsKeyFrame(const AVFrame* frame) {
#ifdef AV_FRAME_FLAG_KEY
  return (frame->flags & AV_FRAME_FLAG_KEY) != 0;
#else
  return frame->key_frame != 0;
#endif
}

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Fills a 40-byte bitmap information header.
void PutInfoHeader(std::uint8_t* p, int width, int height, int bits, std::uint32_t compression,
                   std::uint32_t imageBytes, std::uint32_t colorsUsed) {
  Put32(p, kInfoHeaderBytes);
  Put32(p + 4, static_cast<std::uint32_t>(width));
  Put32(p + 8, static_cast<std::uint32_t>(height));
  Put16(p + 12, 1);
  Put16(p + 14, static_cast<std::uint32_t>(bits));
  Put32(p + 16, compression);
  Put32(p + 20, imageBytes);
  Put32(p + 24, 0);
  Put32(p + 28, 0);
  Put32(p + 32, colorsUsed);
  Put32(p + 36, 0);
}

[[noreturn]] void InvalidFrame(const char* why) {
  throw EClipvaneError(std::string("The AVI frame is not a valid bitmap: ") + why);
}

void CheckAllocation(int code) {
  if (code == AVERROR(ENOMEM)) throw std::bad_alloc();
}

// How a decoder's pixel format becomes a packed bitmap.
enum class TRowKind { rkCopy, rkCopy15, rkSwap24, rkSwap32, rkConvert };

struct TPackedLayout {
  int bits = 24;
  std::uint32_t compression = kPlainRgb;
  int colours = 0;
  TRowKind rows = TRowKind::rkConvert;
};

TPackedLayout LayoutFor(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_PAL8:
    case AV_PIX_FMT_GRAY8:
      return {8, kPlainRgb, 256, TRowKind::rkCopy};
    case AV_PIX_FMT_MONOWHITE:
    case AV_PIX_FMT_MONOBLACK:
      return {1, kPlainRgb, 2, TRowKind::rkCopy};
    case AV_PIX_FMT_RGB555LE:
      return {16, kPlainRgb, 0, TRowKind::rkCopy15};
    case AV_PIX_FMT_RGB565LE:
      return {16, kBitFields, 0, TRowKind::rkCopy};
    case AV_PIX_FMT_BGR24:
      return {24, kPlainRgb, 0, TRowKind::rkCopy};
    case AV_PIX_FMT_RGB24:
      return {24, kPlainRgb, 0, TRowKind::rkSwap24};
    case AV_PIX_FMT_BGRA:
    case AV_PIX_FMT_BGR0:
      return {32, kPlainRgb, 0, TRowKind::rkCopy};
    case AV_PIX_FMT_RGBA:
      return {32, kPlainRgb, 0, TRowKind::rkSwap32};
    default:
      return {24, kPlainRgb, 0, TRowKind::rkConvert};
  }
}

bool IsFullRangeYuv(AVPixelFormat format) {
  return format == AV_PIX_FMT_YUVJ420P || format == AV_PIX_FMT_YUVJ422P || format == AV_PIX_FMT_YUVJ444P ||
         format == AV_PIX_FMT_YUVJ440P || format == AV_PIX_FMT_YUVJ411P;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The decode stream and the packed-bitmap steps.

void TDecodeStream::Write(const void* data, std::size_t count) {
  const std::size_t end = start_ + size_ + count;
  if (storage_.size() < end) storage_.resize(end);
  std::memcpy(storage_.data() + start_ + size_, data, count);
  size_ += count;
}

std::span<std::uint8_t> TDecodeStream::PrepareFrame(std::size_t frameBytes, std::size_t alignedOffset) {
  constexpr std::size_t kAlignment = 64;
  // Some converters write a little past a row's last pixel; the slack keeps that in the buffer.
  constexpr std::size_t kSlack = 64;
  const std::size_t needed = kAlignment + kFileHeaderBytes + frameBytes + kSlack;
  if (storage_.size() < needed) storage_.resize(needed);
  const auto firstPixel = reinterpret_cast<std::uintptr_t>(storage_.data() + kFileHeaderBytes + alignedOffset);
  start_ = (kAlignment - firstPixel % kAlignment) % kAlignment;
  size_ = kFileHeaderBytes + frameBytes;
  return {storage_.data() + start_ + kFileHeaderBytes, frameBytes};
}

bool TDecodeStream::HoldsFrame(std::span<const std::uint8_t> frame) const {
  return size_ >= kFileHeaderBytes && frame.data() == storage_.data() + start_ + kFileHeaderBytes &&
         frame.size() == size_ - kFileHeaderBytes;
}

void CopyStreamPalette(std::span<std::uint8_t> packedFrame, std::span<const std::uint8_t> streamFormat) {
  if (streamFormat.size() < kInfoHeaderBytes || packedFrame.size() < kInfoHeaderBytes) return;
  const std::uint32_t streamColours = Get32(streamFormat.data() + 32);
  if (streamColours == 0) return;
  const int bits = Get16(packedFrame.data() + 14);
  if (bits != 1 && bits != 4 && bits != 8) return;  // no colour table in the frame
  const std::uint32_t headerBytes = Get32(packedFrame.data());
  if (headerBytes < kInfoHeaderBytes || headerBytes > packedFrame.size()) return;
  const std::uint32_t frameColours = Get32(packedFrame.data() + 32);
  std::size_t entries = frameColours != 0 ? frameColours : std::size_t{1} << bits;
  entries = std::min({entries, static_cast<std::size_t>(streamColours), (packedFrame.size() - headerBytes) / 4,
                      (streamFormat.size() - kInfoHeaderBytes) / 4});
  std::memcpy(packedFrame.data() + headerBytes, streamFormat.data() + kInfoHeaderBytes, entries * 4);
}

void LoadPackedFrame(std::span<const std::uint8_t> packedFrame, TDecodeStream& stream, TBitmap& bitmap) {
  if (packedFrame.size() < kInfoHeaderBytes) InvalidFrame("header cut off");
  const std::uint8_t* header = packedFrame.data();
  const std::uint32_t headerBytes = Get32(header);
  if (headerBytes < kInfoHeaderBytes || headerBytes > packedFrame.size()) InvalidFrame("bad header size");
  const std::int64_t width = static_cast<std::int32_t>(Get32(header + 4));
  const std::int64_t height = static_cast<std::int32_t>(Get32(header + 8));
  const int bits = Get16(header + 14);
  const std::uint32_t compression = Get32(header + 16);
  std::uint64_t imageBytes = Get32(header + 20);
  const std::uint32_t colorsUsed = Get32(header + 32);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) InvalidFrame("bits per pixel");
  if (width <= 0 || width > TBitmap::MaxSide || height == 0 || height > TBitmap::MaxSide || -height > TBitmap::MaxSide)
    InvalidFrame("dimensions");

  std::uint64_t tableBytes = 0;
  if (bits <= 8) {
    const std::uint64_t entries = colorsUsed != 0 ? colorsUsed : std::uint64_t{1} << bits;
    if (entries > 256) InvalidFrame("colour table too large");
    tableBytes = entries * 4;
  } else if (compression == kBitFields) {
    tableBytes = 12;
  }
  if (imageBytes == 0) {
    const auto rowBytes = static_cast<std::uint64_t>((width * bits + 31) / 32 * 4);
    imageBytes = rowBytes * static_cast<std::uint64_t>(height < 0 ? -height : height);
  }
  const std::uint64_t frameBytes = headerBytes + tableBytes + imageBytes;
  if (frameBytes > packedFrame.size()) InvalidFrame("pixels cut off");
  if (kFileHeaderBytes + frameBytes > std::numeric_limits<std::uint32_t>::max()) InvalidFrame("too large");

  std::uint8_t fileHeader[kFileHeaderBytes] = {'B', 'M'};
  Put32(fileHeader + 2, 0);  // file size: not needed to read the picture
  Put16(fileHeader + 6, 0);
  Put16(fileHeader + 8, 0);
  Put32(fileHeader + 10, static_cast<std::uint32_t>(kFileHeaderBytes + headerBytes + tableBytes));
  if (stream.HoldsFrame(packedFrame)) {
    std::memcpy(stream.Begin(), fileHeader, kFileHeaderBytes);
  } else {
    stream.Clear();
    stream.Write(fileHeader, kFileHeaderBytes);
    stream.Write(packedFrame.data(), static_cast<std::size_t>(frameBytes));
  }
  bitmap.LoadFromBMP(stream.Data());
}

void PackedFrameToBitmap(std::span<std::uint8_t> packedFrame, std::span<const std::uint8_t> streamFormat,
                         TDecodeStream& stream, TBitmap& bitmap) {
  CopyStreamPalette(packedFrame, streamFormat);
  LoadPackedFrame(packedFrame, stream, bitmap);
}

// ---------------------------------------------------------------------------------------
// The reader.

struct TAviFrameReader::TState {
  TAviReaderSeam* seam = nullptr;
  std::vector<TAviResource> held;  // in the order acquired

  std::string path;
  AVFormatContext* format = nullptr;
  int streamIndex = -1;
  AVStream* stream = nullptr;
  std::vector<std::uint8_t> formatBuffer;
  AVPacket* packet = nullptr;
  AVFrame* picture = nullptr;  // where the decoder delivers
  AVFrame* current = nullptr;  // the last picture handed out, at currentIndex
  AVFrame* pending = nullptr;  // a picture decoded past the last request, at pendingIndex
  AVCodecContext* codec = nullptr;
  SwsContext* converter = nullptr;
  int converterWidth = 0, converterHeight = 0, converterFormat = -1, converterSpace = -1, converterRange = -1;
  std::unique_ptr<TDecodeStream> decodeStream;
  std::unique_ptr<TBitmap> decodeBitmap;

  // Frames known from the index (drop frames included), or -1 when the file has no index.
  std::int64_t frameLimit = -1;
  // Set by the first decoded picture: the first packet's decoding timestamp and the first
  // picture's presentation timestamp, which is frame 0.
  bool calibrated = false;
  bool sawFirstPacket = false;
  std::int64_t startDts = 0;
  std::int64_t firstPictureTs = 0;

  bool haveCurrent = false, havePending = false;
  std::int64_t currentIndex = 0, pendingIndex = 0;
  std::int64_t lastPictureIndex = -1;  // the last picture the decoder gave
  std::int64_t floorIndex = 0;         // no frame below this can come out without a seek
  std::int64_t lastPacketDts = AV_NOPTS_VALUE;
  std::int64_t lastSeekDts = AV_NOPTS_VALUE;  // the key frame of the last seek
  bool demuxEnded = false;

  // The pictures decoded since the last seek, oldest first, up to the current one; within
  // their span every frame number is among them or a drop frame after one of them.
  struct TRecentPicture {
    std::int64_t index;
    AVFrame* frame;
    std::size_t bytes;
  };
  std::deque<TRecentPicture> recent;
  std::size_t recentBytes = 0;

  void Acquire(TAviResource resource) {
    held.push_back(resource);
    if (seam) seam->Acquired(resource);
  }
  void ReleaseAll();
  void ReleaseOne(TAviResource resource);

  std::int64_t IndexOf(const AVFrame* frame) const;
  bool ReceivePicture(std::int64_t& index);
  bool NextPicture(std::int64_t& index);
  void TakeAsCurrent(std::int64_t index);
  void TakeAsPending(std::int64_t index);
  void Remember(const AVFrame* frame, std::int64_t index);
  void ForgetRecent();
  const AVFrame* Recalled(std::int64_t n) const;
  void Calibrate();
  void ThrowIfIndexCorrupt() const;
  std::int64_t KeyDtsAtOrBefore(std::int64_t dts) const;
  bool SeekTo(std::int64_t keyDts);
  const AVFrame* Locate(std::int64_t n);
  std::span<std::uint8_t> BuildPackedFrame(const AVFrame* frame);
  void ConvertRows(const AVFrame* frame, std::uint8_t* bottomRow, std::size_t rowBytes);
};

void TAviFrameReader::TState::ReleaseOne(TAviResource resource) {
  switch (resource) {
    case TAviResource::arDecodeBitmap:
      decodeBitmap.reset();
      break;
    case TAviResource::arDecodeStream:
      decodeStream.reset();
      break;
    case TAviResource::arDecompressor:
      // The pictures held refer to the decoder's buffers: they go with it.
      if (current) av_frame_unref(current);
      if (pending) av_frame_unref(pending);
      if (picture) av_frame_unref(picture);
      haveCurrent = havePending = false;
      ForgetRecent();
      sws_freeContext(converter);
      converter = nullptr;
      avcodec_free_context(&codec);
      break;
    case TAviResource::arStreaming:
      av_frame_free(&pending);
      av_frame_free(&current);
      av_frame_free(&picture);
      av_packet_free(&packet);
      break;
    case TAviResource::arFormatBuffer:
      std::vector<std::uint8_t>().swap(formatBuffer);
      break;
    case TAviResource::arStream:
      for (unsigned i = 0; i < format->nb_streams; ++i) format->streams[i]->discard = AVDISCARD_DEFAULT;
      stream = nullptr;
      streamIndex = -1;
      break;
    case TAviResource::arFile:
      avformat_close_input(&format);
      break;
    case TAviResource::arLibrary:
      break;
  }
}

void TAviFrameReader::TState::ReleaseAll() {
  while (!held.empty()) {
    const TAviResource resource = held.back();
    held.pop_back();
    ReleaseOne(resource);
    if (seam) seam->Released(resource);
  }
}

TAviFrameReader::TAviFrameReader(TAviReaderSeam* seam) : seam_(seam) {}

TAviFrameReader::~TAviFrameReader() { Close(); }

void TAviFrameReader::Open(const std::string& path) {
  Close();
  if (video::TChosenInput chosen = video::ChooseInput(path); chosen.Way == video::TVideoWay::vwContainer) {
    TContainerFrameReader::THooks hooks;
    if (seam_) {
      hooks.Seeking = [seam = seam_](std::int64_t keyFrame) { seam->Seeking(keyFrame); };
      hooks.LoadingFrame = [seam = seam_](int frameNumber) { seam->LoadingFrame(frameNumber); };
    }
    auto container = std::make_unique<TContainerFrameReader>(std::move(hooks));
    container->Open(path, chosen.Input.release());
    container_ = std::move(container);
    return;
  }
  auto state = std::make_unique<TState>();
  TState& s = *state;
  s.seam = seam_;
  s.path = path;
  auto failing = [&](TAviOpenStep step) { return seam_ != nullptr && seam_->FailStep(step); };
  try {
    avi::QuietFfmpegLog();
    s.Acquire(TAviResource::arLibrary);

    if (failing(TAviOpenStep::osOpenFile) || avi::OpenAviInput(path, &s.format) < 0)
      throw EClipvaneError("Failed to open AVI file");
    s.Acquire(TAviResource::arFile);

    s.streamIndex = avi::FirstVideoStream(s.format);
    if (failing(TAviOpenStep::osOpenStream) || s.streamIndex < 0) throw EClipvaneError("Failed to open AVI stream");
    s.stream = s.format->streams[s.streamIndex];
    // Only the video stream is read: the demuxer skips the others' chunks.
    for (unsigned i = 0; i < s.format->nb_streams; ++i)
      if (static_cast<int>(i) != s.streamIndex) s.format->streams[i]->discard = AVDISCARD_ALL;
    s.Acquire(TAviResource::arStream);
    // Counted before anything is read: the demuxer adds to the index as it reads a file
    // that had none, and a partial index must not pass for the file's.
    s.frameLimit = avi::IndexedFrameCount(s.stream, avi::FileBytes(s.format));

    if (failing(TAviOpenStep::osStreamInfo) || avformat_find_stream_info(s.format, nullptr) < 0 ||
        s.stream->time_base.num <= 0 || s.stream->time_base.den <= 0)
      throw EClipvaneError("Failed to get AVI stream info");

    // The stream format is the bitmap header of the stream and, for 8 bits or fewer, the
    // colour table the demuxer keeps at the end of the codec's extra data.
    const AVCodecParameters* parameters = s.stream->codecpar;
    const int bits = parameters->bits_per_coded_sample;
    if (failing(TAviOpenStep::osFormatSize) || bits < 0 || bits > 64)
      throw EClipvaneError("Failed to get AVI stream format size");
    const std::uint8_t* palette = nullptr;
    std::size_t paletteBytes = 0;
    if (bits > 0 && bits <= 8 && parameters->extradata_size > 0) {
      const auto extraBytes = static_cast<std::size_t>(parameters->extradata_size);
      paletteBytes = std::min(std::size_t{4} << bits, extraBytes);
      palette = parameters->extradata + extraBytes - paletteBytes;
      // Raw bottom-up streams carry a "BottomUp" marker after the colours.
      if (extraBytes >= 9 && std::memcmp(parameters->extradata + extraBytes - 9, "BottomUp", 9) == 0) {
        const std::size_t colourBytes = extraBytes - 9;
        paletteBytes = std::min(paletteBytes, colourBytes);
        palette = parameters->extradata + colourBytes - paletteBytes;
      }
      paletteBytes -= paletteBytes % 4;
    }
    const std::size_t formatBytes = kInfoHeaderBytes + paletteBytes;
    s.formatBuffer.assign(formatBytes, 0);
    s.Acquire(TAviResource::arFormatBuffer);

    const int width = parameters->width, height = parameters->height;
    if (failing(TAviOpenStep::osFormat) || width <= 0 || height <= 0 || width > TBitmap::MaxSide ||
        height > TBitmap::MaxSide ||
        static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height) > TBitmap::MaxPixelBytes)
      throw EClipvaneError("Failed to get AVI stream format");
    PutInfoHeader(s.formatBuffer.data(), width, height, bits, parameters->codec_tag, 0,
                  static_cast<std::uint32_t>(paletteBytes / 4));
    for (std::size_t i = 0; i < paletteBytes; i += 4) {
      std::memcpy(&s.formatBuffer[kInfoHeaderBytes + i], palette + i, 3);
      s.formatBuffer[kInfoHeaderBytes + i + 3] = 0;
    }

    if (failing(TAviOpenStep::osBeginStreaming)) throw EClipvaneError("Failed to start AVI stream");
    s.packet = av_packet_alloc();
    s.picture = av_frame_alloc();
    s.current = av_frame_alloc();
    s.pending = av_frame_alloc();
    if (!s.packet || !s.picture || !s.current || !s.pending) {
      av_frame_free(&s.pending);
      av_frame_free(&s.current);
      av_frame_free(&s.picture);
      av_packet_free(&s.packet);
      throw EClipvaneError("Failed to start AVI stream");
    }
    s.Acquire(TAviResource::arStreaming);

    if (failing(TAviOpenStep::osDecompression)) throw EClipvaneError("Failed to start AVI decompression");
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    AVCodecContext* codec = decoder ? avcodec_alloc_context3(decoder) : nullptr;
    if (codec) {
      codec->thread_count = 0;  // one thread a core
      codec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
      codec->pkt_timebase = s.stream->time_base;
    }
    if (!codec || avcodec_parameters_to_context(codec, parameters) < 0 || avcodec_open2(codec, decoder, nullptr) < 0) {
      avcodec_free_context(&codec);
      throw EClipvaneError("Failed to start AVI decompression");
    }
    s.codec = codec;
    s.Acquire(TAviResource::arDecompressor);

    s.decodeStream = std::make_unique<TDecodeStream>();
    s.Acquire(TAviResource::arDecodeStream);
    s.decodeBitmap = std::make_unique<TBitmap>();
    s.Acquire(TAviResource::arDecodeBitmap);
  } catch (...) {
    s.ReleaseAll();
    throw;
  }
  state_ = std::move(state);
}

void TAviFrameReader::Close() {
  container_.reset();
  if (!state_) return;
  state_->ReleaseAll();
  state_.reset();
}

TBitmap& TAviFrameReader::DecodeBitmap() {
  if (container_) return container_->DecodeBitmap();
  if (!state_) throw EClipvaneError("The AVI frame reader is not open");
  return *state_->decodeBitmap;
}

const TBitmap& TAviFrameReader::DecodeBitmap() const {
  if (container_) return container_->DecodeBitmap();
  if (!state_) throw EClipvaneError("The AVI frame reader is not open");
  return *state_->decodeBitmap;
}

std::span<const std::uint8_t> TAviFrameReader::StreamFormat() const {
  if (!state_) return {};
  return state_->formatBuffer;
}

bool TAviFrameReader::ReadFrame(int frameNumber) {
  if (container_) {
    try {
      return container_->ReadFrame(frameNumber);
    } catch (...) {
      Close();
      throw;
    }
  }
  if (!state_) throw EClipvaneError("The AVI frame reader is not open");
  TState& s = *state_;
  if (frameNumber < 0 || (s.frameLimit >= 0 && frameNumber >= s.frameLimit)) return false;
  try {
    if (!s.calibrated) s.Calibrate();
    const AVFrame* frame = s.Locate(frameNumber);
    if (!frame) return false;
    const std::span<std::uint8_t> packed = s.BuildPackedFrame(frame);
    if (seam_) seam_->LoadingFrame(frameNumber);
    PackedFrameToBitmap(packed, s.formatBuffer, *s.decodeStream, *s.decodeBitmap);
    return true;
  } catch (...) {
    Close();
    throw;
  }
}

// ---------------------------------------------------------------------------------------
// Finding frame n.

std::int64_t TAviFrameReader::TState::IndexOf(const AVFrame* frame) const {
  if (!calibrated) return 0;
  const std::int64_t ts = frame->best_effort_timestamp;
  // The last pictures of a stream with B-frames come out of the drained decoder unstamped.
  if (ts == AV_NOPTS_VALUE) return lastPictureIndex + 1;
  return ts - firstPictureTs;
}

// The next picture from the decoder, feeding it packets as needed; false at the end.
bool TAviFrameReader::TState::ReceivePicture(std::int64_t& index) {
  int failures = 0;
  while (true) {
    const int received = avcodec_receive_frame(codec, picture);
    if (received == 0) {
      index = IndexOf(picture);
      lastPictureIndex = index;
      return true;
    }
    if (received == AVERROR_EOF) return false;
    CheckAllocation(received);
    if (received != AVERROR(EAGAIN) && ++failures > 1000) return false;  // a decoder that only fails
    if (demuxEnded) {
      if (received == AVERROR(EAGAIN)) return false;
      continue;
    }
    const int read = av_read_frame(format, packet);
    if (read == AVERROR(ENOMEM)) ThrowIfIndexCorrupt();
    CheckAllocation(read);
    if (read < 0) {
      // The end of the file, or data too broken to go on: what the decoder holds comes out.
      demuxEnded = true;
      avcodec_send_packet(codec, nullptr);
      continue;
    }
    if (packet->stream_index != streamIndex) {
      av_packet_unref(packet);
      continue;
    }
    if (!sawFirstPacket) {
      sawFirstPacket = true;
      startDts = packet->dts != AV_NOPTS_VALUE ? packet->dts : 0;
    }
    lastPacketDts = packet->dts != AV_NOPTS_VALUE     ? packet->dts
                    : lastPacketDts != AV_NOPTS_VALUE ? lastPacketDts + 1
                                                      : startDts;
    if (packet->size == 0) {  // a drop frame: nothing to decode
      av_packet_unref(packet);
      continue;
    }
    const int sent = avcodec_send_packet(codec, packet);
    av_packet_unref(packet);
    CheckAllocation(sent);  // any other failure is a broken packet: skipped
  }
}

// The demuxer reports an index entry of an impossible size as a failed allocation; say what
// it really is.
void TAviFrameReader::TState::ThrowIfIndexCorrupt() const {
  if (avi::HasImpossibleIndexEntry(format, avi::FileBytes(format)))
    throw EClipvaneError("Corrupt index in \"" + path + "\"");
}

bool TAviFrameReader::TState::NextPicture(std::int64_t& index) {
  if (havePending) {
    av_frame_unref(picture);
    av_frame_move_ref(picture, pending);
    havePending = false;
    index = pendingIndex;
    return true;
  }
  return ReceivePicture(index);
}

void TAviFrameReader::TState::TakeAsCurrent(std::int64_t index) {
  av_frame_unref(current);
  av_frame_move_ref(current, picture);
  haveCurrent = true;
  currentIndex = index;
  floorIndex = index;
  Remember(current, index);
}

void TAviFrameReader::TState::Remember(const AVFrame* frame, std::int64_t index) {
  // A seek never goes back past a key frame to reach what follows it, so the pictures
  // before the newest key frame are not worth their memory; out of order: start afresh.
  if (IsKeyFrame(frame) || (!recent.empty() && recent.back().index >= index)) ForgetRecent();
  AVFrame* kept = av_frame_clone(frame);  // a new reference to the same buffers, not a copy
  if (!kept) throw std::bad_alloc();
  std::size_t bytes = 0;
  for (const AVBufferRef* buffer : kept->buf)
    if (buffer) bytes += buffer->size;
  recent.push_back({index, kept, bytes});
  recentBytes += bytes;
  while (recentBytes > kRecentPictureBytes && recent.size() > 1) {
    recentBytes -= recent.front().bytes;
    av_frame_free(&recent.front().frame);
    recent.pop_front();
  }
}

void TAviFrameReader::TState::ForgetRecent() {
  for (TRecentPicture& kept : recent) av_frame_free(&kept.frame);
  recent.clear();
  recentBytes = 0;
}

const AVFrame* TAviFrameReader::TState::Recalled(std::int64_t n) const {
  if (recent.empty() || n < recent.front().index || n > recent.back().index) return nullptr;
  // The last picture at or before n: n itself, or the picture a drop frame repeats.
  const auto after =
      std::upper_bound(recent.begin(), recent.end(), n,
                       [](std::int64_t value, const TRecentPicture& kept) { return value < kept.index; });
  return std::prev(after)->frame;
}

void TAviFrameReader::TState::TakeAsPending(std::int64_t index) {
  av_frame_unref(pending);
  av_frame_move_ref(pending, picture);
  havePending = true;
  pendingIndex = index;
}

void TAviFrameReader::TState::Calibrate() {
  // Right after opening, the demuxer stands at the first packet: the first picture that
  // comes out is frame 0, whatever timestamp the decoder's delay gives it.
  std::int64_t ignored = 0;
  const bool gotPicture = ReceivePicture(ignored);
  calibrated = true;
  lastSeekDts = startDts;
  if (!gotPicture) {
    firstPictureTs = startDts;
    floorIndex = 0;
    return;
  }
  firstPictureTs = picture->best_effort_timestamp != AV_NOPTS_VALUE ? picture->best_effort_timestamp : startDts;
  lastPictureIndex = 0;
  TakeAsCurrent(0);
}

std::int64_t TAviFrameReader::TState::KeyDtsAtOrBefore(std::int64_t dts) const {
  if (dts <= startDts) return startDts;
  const int entry = av_index_search_timestamp(stream, dts, AVSEEK_FLAG_BACKWARD);
  if (entry < 0) return startDts;
  const AVIndexEntry* found = avformat_index_get_entry(stream, entry);
  return found && found->timestamp > startDts ? found->timestamp : startDts;
}

bool TAviFrameReader::TState::SeekTo(std::int64_t keyDts) {
  if (seam) seam->Seeking(keyDts - startDts);
  if (av_seek_frame(format, streamIndex, keyDts, AVSEEK_FLAG_BACKWARD) < 0 &&
      avformat_seek_file(format, streamIndex, INT64_MIN, keyDts, keyDts, 0) < 0)
    return false;
  avcodec_flush_buffers(codec);
  ForgetRecent();
  av_frame_unref(current);
  av_frame_unref(pending);
  haveCurrent = havePending = false;
  demuxEnded = false;
  lastSeekDts = keyDts;
  lastPacketDts = keyDts - 1;
  lastPictureIndex = keyDts - startDts - 1;
  floorIndex = keyDts - startDts;
  return true;
}

const AVFrame* TAviFrameReader::TState::Locate(std::int64_t n) {
  if (haveCurrent && currentIndex == n) return current;
  // A drop frame: the next picture lies beyond n, so the one before stands for it.
  if (haveCurrent && currentIndex < n && havePending && pendingIndex > n) return current;
  if (const AVFrame* kept = Recalled(n)) return kept;

  bool seek = n < floorIndex;
  if (!seek && frameLimit >= 0) {
    const std::int64_t key = KeyDtsAtOrBefore(startDts + n);
    const std::int64_t nextDts = lastPacketDts == AV_NOPTS_VALUE ? startDts : lastPacketDts + 1;
    seek = key > nextDts + kForwardSeekSlack;
  }
  if (seek && !SeekTo(KeyDtsAtOrBefore(startDts + n))) return nullptr;

  while (true) {
    std::int64_t index = 0;
    if (!NextPicture(index)) {
      // Past the last picture: frames the index or the packets still cover are drop
      // frames, and the last picture stands for them.
      const bool covered = frameLimit >= 0 || (lastPacketDts != AV_NOPTS_VALUE && n <= lastPacketDts - startDts);
      if (haveCurrent && currentIndex < n && covered) return current;
      return nullptr;
    }
    if (index <= n) {
      TakeAsCurrent(index);
      if (index == n) return current;
      continue;
    }
    if (haveCurrent) {
      TakeAsPending(index);
      return current;
    }
    // Nothing at or before n comes out from this key frame (B-frames shown before it):
    // decode from the key frame before it instead.
    if (lastSeekDts != AV_NOPTS_VALUE && lastSeekDts > startDts) {
      if (!SeekTo(KeyDtsAtOrBefore(lastSeekDts - 1))) return nullptr;
      continue;
    }
    // Frame n has no picture of its own before the first one: the first stands for it.
    TakeAsCurrent(index);
    return current;
  }
}

// ---------------------------------------------------------------------------------------
// A decoded picture as a packed bitmap, written straight into the decode stream.

std::span<std::uint8_t> TAviFrameReader::TState::BuildPackedFrame(const AVFrame* frame) {
  const int width = frame->width, height = frame->height;
  if (width <= 0 || height <= 0 || width > TBitmap::MaxSide || height > TBitmap::MaxSide)
    throw EClipvaneError("Invalid image dimensions");
  const auto pixelFormat = static_cast<AVPixelFormat>(frame->format);
  const TPackedLayout layout = LayoutFor(pixelFormat);
  const std::size_t rowBytes = (static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.bits) + 31) / 32 * 4;
  const std::size_t tableBytes = layout.compression == kBitFields ? 12 : static_cast<std::size_t>(layout.colours) * 4;
  const std::size_t pixelOffset = kInfoHeaderBytes + tableBytes;
  const std::size_t imageBytes = rowBytes * static_cast<std::size_t>(height);
  if (imageBytes > std::numeric_limits<std::uint32_t>::max() - pixelOffset - kFileHeaderBytes)
    throw EClipvaneError("Invalid image dimensions");

  const std::span<std::uint8_t> packed = decodeStream->PrepareFrame(pixelOffset + imageBytes, pixelOffset);
  std::uint8_t* out = packed.data();
  PutInfoHeader(out, width, height, layout.bits, layout.compression, static_cast<std::uint32_t>(imageBytes),
                static_cast<std::uint32_t>(layout.colours));
  std::uint8_t* table = out + kInfoHeaderBytes;
  switch (pixelFormat) {
    case AV_PIX_FMT_PAL8:
      // The decoder's palette: 32-bit ARGB words, that is blue, green, red, alpha in memory.
      if (frame->data[1]) {
        std::memcpy(table, frame->data[1], 256 * 4);
        for (int i = 0; i < 256; ++i) table[4 * i + 3] = 0;
      } else {
        std::memset(table, 0, 256 * 4);
      }
      break;
    case AV_PIX_FMT_GRAY8:
      for (int i = 0; i < 256; ++i) {
        const auto level = static_cast<std::uint8_t>(i);
        table[4 * i] = table[4 * i + 1] = table[4 * i + 2] = level;
        table[4 * i + 3] = 0;
      }
      break;
    case AV_PIX_FMT_MONOWHITE:  // bit 0 is white
    case AV_PIX_FMT_MONOBLACK: {
      const std::uint8_t first = pixelFormat == AV_PIX_FMT_MONOWHITE ? 255 : 0;
      std::memset(table, first, 3);
      std::memset(table + 4, 255 - first, 3);
      table[3] = table[7] = 0;
      break;
    }
    case AV_PIX_FMT_RGB565LE:
      Put32(table, 0xF800);
      Put32(table + 4, 0x07E0);
      Put32(table + 8, 0x001F);
      break;
    default:
      break;
  }
  ConvertRows(frame, out + pixelOffset, rowBytes);
  return packed;
}

// Writes the picture's rows bottom-up from `bottomRow`, each padded with zeros to rowBytes.
void TAviFrameReader::TState::ConvertRows(const AVFrame* frame, std::uint8_t* bottomRow, std::size_t rowBytes) {
  const int width = frame->width, height = frame->height;
  const auto pixelFormat = static_cast<AVPixelFormat>(frame->format);
  const TPackedLayout layout = LayoutFor(pixelFormat);
  const std::size_t used = (static_cast<std::size_t>(width) * static_cast<std::size_t>(layout.bits) + 7) / 8;
  auto target = [&](int y) { return bottomRow + static_cast<std::size_t>(height - 1 - y) * rowBytes; };
  auto source = [&](int y) { return frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0]; };

  if (layout.rows == TRowKind::rkConvert) {
    const int space = frame->colorspace;
    const int range = frame->color_range == AVCOL_RANGE_JPEG || IsFullRangeYuv(pixelFormat) ? 1 : 0;
    if (!converter || converterWidth != width || converterHeight != height || converterFormat != pixelFormat ||
        converterSpace != space || converterRange != range) {
      sws_freeContext(converter);
      converter = sws_getContext(width, height, pixelFormat, width, height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr,
                                 nullptr, nullptr);
      if (!converter) throw EClipvaneError("The AVI frame's pixel format cannot be converted");
      converterWidth = width, converterHeight = height, converterFormat = pixelFormat;
      converterSpace = space, converterRange = range;
      const AVPixFmtDescriptor* descriptor = av_pix_fmt_desc_get(pixelFormat);
      if (descriptor && !(descriptor->flags & AV_PIX_FMT_FLAG_RGB) && descriptor->nb_components >= 3) {
        const int coefficients = space == AVCOL_SPC_UNSPECIFIED || space == AVCOL_SPC_RGB ? SWS_CS_DEFAULT : space;
        sws_setColorspaceDetails(converter, sws_getCoefficients(coefficients), range,
                                 sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
      }
    }
    // Bottom-up rows: start at the top picture row's place and step backwards.
    std::uint8_t* planes[4] = {target(0), nullptr, nullptr, nullptr};
    const int strides[4] = {-static_cast<int>(rowBytes), 0, 0, 0};
    sws_scale(converter, frame->data, frame->linesize, 0, height, planes, strides);
    if (rowBytes > used)
      for (int y = 0; y < height; ++y) std::memset(target(y) + used, 0, rowBytes - used);
    return;
  }

  for (int y = 0; y < height; ++y) {
    std::uint8_t* out = target(y);
    const std::uint8_t* in = source(y);
    switch (layout.rows) {
      case TRowKind::rkCopy:
        std::memcpy(out, in, used);
        break;
      case TRowKind::rkCopy15:
        // The top bit of a 5-5-5 pixel is unused: kept clear, as a bitmap has it.
        for (int x = 0; x < width; ++x) {
          out[2 * x] = in[2 * x];
          out[2 * x + 1] = in[2 * x + 1] & 0x7F;
        }
        break;
      case TRowKind::rkSwap24:
        for (int x = 0; x < width; ++x) {
          out[3 * x] = in[3 * x + 2];
          out[3 * x + 1] = in[3 * x + 1];
          out[3 * x + 2] = in[3 * x];
        }
        break;
      case TRowKind::rkSwap32:
        for (int x = 0; x < width; ++x) {
          out[4 * x] = in[4 * x + 2];
          out[4 * x + 1] = in[4 * x + 1];
          out[4 * x + 2] = in[4 * x];
          out[4 * x + 3] = in[4 * x + 3];
        }
        break;
      case TRowKind::rkConvert:
        break;
    }
    if (rowBytes > used) std::memset(out + used, 0, rowBytes - used);
  }
}

}  // namespace clipvane
