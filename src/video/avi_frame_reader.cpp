// TAviFrameReader over libavformat/libavcodec: the open steps with their messages and the
// order of acquiring and releasing, and each frame from the AVI's decode cursor through its
// packed bitmap into the decode bitmap.
#include "video/avi_frame_reader.h"

#include <algorithm>
#include <cstring>

#include "core/error.h"
#include "video/avi_cursor.h"
#include "video/avi_input.h"
#include "video/avi_picture_packing.h"
#include "video/picture_converter.h"
#include "video/video_input.h"

namespace clipvane {

struct TAviFrameReader::TState {
  explicit TState(const std::string& file) : path(file), cursor(file) {}

  TAviReaderSeam* seam = nullptr;
  std::vector<TAviResource> held;  // in the order acquired

  std::string path;
  AVFormatContext* format = nullptr;
  int streamIndex = -1;
  AVStream* stream = nullptr;
  std::vector<std::uint8_t> formatBuffer;
  video::TAviCursor cursor;
  video::TPictureConverter converter;
  std::unique_ptr<TDecodeStream> decodeStream;
  std::unique_ptr<TBitmap> decodeBitmap;

  void Acquire(TAviResource resource) {
    held.push_back(resource);
    if (seam) seam->Acquired(resource);
  }
  void ReleaseAll();
  void ReleaseOne(TAviResource resource);
  // Fails the step: `problem` says in words what is wrong with the file.
  [[noreturn]] void Fail(const char* message, const std::string& problem) const {
    throw EClipvaneError(message, path, problem);
  }
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
      cursor.ReleaseDecoder();
      break;
    case TAviResource::arStreaming:
      cursor.ReleaseBuffers();
      break;
    case TAviResource::arFormatBuffer:
      std::vector<std::uint8_t>().swap(formatBuffer);
      break;
    case TAviResource::arStream:
      video::ReadOnlyStream(format, -1);
      cursor.UseInput(nullptr, -1);
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
  auto state = std::make_unique<TState>(path);
  TState& s = *state;
  s.seam = seam_;
  if (seam_) s.cursor.OnSeek = [seam = seam_](std::int64_t keyFrame) { seam->Seeking(keyFrame); };
  auto failing = [&](TAviOpenStep step) { return seam_ != nullptr && seam_->FailStep(step); };
  try {
    video::QuietFfmpegLog();
    s.Acquire(TAviResource::arLibrary);

    if (failing(TAviOpenStep::osOpenFile)) s.Fail("Failed to open AVI file", "the file cannot be opened");
    if (const int opened = avi::OpenAviInput(path, &s.format); opened < 0)
      s.Fail("Failed to open AVI file", video::FileProblem(path, opened));
    s.Acquire(TAviResource::arFile);

    s.streamIndex = video::FirstVideoStream(s.format);
    if (failing(TAviOpenStep::osOpenStream) || s.streamIndex < 0)
      s.Fail("Failed to open AVI stream", "the file has no video stream");
    s.stream = s.format->streams[s.streamIndex];
    // Only the video stream is read: the demuxer skips the others' chunks.
    video::ReadOnlyStream(s.format, s.streamIndex);
    s.cursor.UseInput(s.format, s.streamIndex);
    s.Acquire(TAviResource::arStream);
    // Counted before anything is read: the demuxer adds to the index as it reads a file
    // that had none, and a partial index must not pass for the file's.
    s.cursor.SetFrameLimit(avi::IndexedFrameCount(s.stream, avi::FileBytes(s.format)));

    if (failing(TAviOpenStep::osStreamInfo) || avformat_find_stream_info(s.format, nullptr) < 0 ||
        s.stream->time_base.num <= 0 || s.stream->time_base.den <= 0)
      s.Fail("Failed to get AVI stream info", "the video stream's timing cannot be read");

    // The stream format is the bitmap header of the stream and, for 8 bits or fewer, the
    // colour table the demuxer keeps at the end of the codec's extra data.
    const AVCodecParameters* parameters = s.stream->codecpar;
    const int bits = parameters->bits_per_coded_sample;
    if (failing(TAviOpenStep::osFormatSize) || bits < 0 || bits > 64)
      s.Fail("Failed to get AVI stream format size", "the video stream's format cannot be read");
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
    s.formatBuffer.assign(kBitmapInfoHeaderBytes + paletteBytes, 0);
    s.Acquire(TAviResource::arFormatBuffer);

    const int width = parameters->width, height = parameters->height;
    if (failing(TAviOpenStep::osFormat) || width <= 0 || height <= 0 || width > TBitmap::MaxSide ||
        height > TBitmap::MaxSide ||
        static_cast<std::size_t>(width) * 4 * static_cast<std::size_t>(height) > TBitmap::MaxPixelBytes)
      s.Fail("Failed to get AVI stream format", "the video stream gives no frame size a picture can have");
    PutInfoHeader(s.formatBuffer.data(), width, height, bits, parameters->codec_tag, 0,
                  static_cast<std::uint32_t>(paletteBytes / 4));
    for (std::size_t i = 0; i < paletteBytes; i += 4) {
      std::memcpy(&s.formatBuffer[kBitmapInfoHeaderBytes + i], palette + i, 3);
      s.formatBuffer[kBitmapInfoHeaderBytes + i + 3] = 0;
    }

    if (failing(TAviOpenStep::osBeginStreaming) || !s.cursor.AllocateBuffers())
      s.Fail("Failed to start AVI stream", "not enough memory to read the video stream");
    s.Acquire(TAviResource::arStreaming);

    if (failing(TAviOpenStep::osDecompression))
      s.Fail("Failed to start AVI decompression", "the video cannot be decoded");
    try {
      s.cursor.UseDecoder(video::OpenDecoder(s.stream, path, 0));  // one thread a core
    } catch (const EClipvaneError& error) {
      s.Fail("Failed to start AVI decompression", error.Problem());
    }
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
  if (!state_) return;
  state_->ReleaseAll();
  state_.reset();
}

TBitmap& TAviFrameReader::DecodeBitmap() {
  if (!state_) throw EClipvaneError("The AVI frame reader is not open");
  return *state_->decodeBitmap;
}

const TBitmap& TAviFrameReader::DecodeBitmap() const {
  if (!state_) throw EClipvaneError("The AVI frame reader is not open");
  return *state_->decodeBitmap;
}

std::span<const std::uint8_t> TAviFrameReader::StreamFormat() const {
  if (!state_) return {};
  return state_->formatBuffer;
}

bool TAviFrameReader::ReadFrame(int frameNumber) {
  if (!state_) throw EClipvaneError("The AVI frame reader is not open");
  TState& s = *state_;
  if (!s.cursor.Numbers(frameNumber)) return false;
  try {
    if (!s.cursor.Calibrated()) s.cursor.Calibrate();
    const AVFrame* frame = s.cursor.Picture(frameNumber);
    if (!frame) return false;
    const std::span<std::uint8_t> packed = video::PackPicture(frame, *s.decodeStream, s.converter);
    if (seam_) seam_->LoadingFrame(frameNumber);
    PackedFrameToBitmap(packed, s.formatBuffer, *s.decodeStream, *s.decodeBitmap);
    return true;
  } catch (...) {
    Close();
    throw;
  }
}

}  // namespace clipvane
