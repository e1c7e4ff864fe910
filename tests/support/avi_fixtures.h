// Test videos made on the spot with FFmpeg's own encoders, and the bad inputs the reader must
// refuse. Every frame of a numbered fixture shows its own number as big blocks of bits, so a
// test can tell which frame it got even after lossy coding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/bitmap.h"

namespace clipvane::fixtures {

// The encoders a fixture can be written with (all of them exist in Debian 12's FFmpeg 5.1).
enum class TFixtureCodec {
  fcRawBgr24,      // uncompressed 24 bits: decodes to exactly what was written
  fcRawPal8,       // uncompressed 8 bits with the stream's colour table
  fcRawRgb555,     // uncompressed 16 bits, 5 bits a channel
  fcRawGray,       // uncompressed 8-bit grey ("Y800")
  fcRawBgra,       // uncompressed 32 bits
  fcMsVideo1,      // Microsoft Video-1 (16-bit 5-5-5 output)
  fcCinepak,       // Cinepak (24-bit output)
  fcMjpeg,         // Motion JPEG (full-range YUV output)
  fcMpeg4,         // MPEG-4 part 2, no B-frames
  fcMpeg4BFrames,  // MPEG-4 part 2 with two B-frames between references
};

const char* CodecName(TFixtureCodec codec);
// True when decoding gives back exactly the pixels of ExpectedFrame.
bool IsLossless(TFixtureCodec codec);

enum class TFixturePicture {
  fpNumbers,  // NumberFrame: blocks encoding the frame number
  fpSample,   // SampleFrame: moving colourful shapes and the frame number in digits
  fpColours,  // 4 x 2 patches of fixed colours (container fixtures only)
  fpPan,      // PanFrame: a natural-looking scene panned slowly to the left
};

struct TFixtureAvi {
  TFixtureCodec Codec = TFixtureCodec::fcRawBgr24;
  int Width = 64;
  int Height = 48;
  int FrameCount = 20;
  // Frames per second = RateNumerator / RateDenominator.
  int RateNumerator = 25;
  int RateDenominator = 1;
  // A key frame every this many frames (the compressing encoders).
  int KeyFrameInterval = 10;
  // Frame numbers written as zero-size "drop" chunks instead of pictures.
  std::vector<int> DroppedFrames;
  TFixturePicture Picture = TFixturePicture::fpNumbers;
  // Adds an interleaved 8 kHz mono PCM audio stream after the video stream.
  bool WithAudio = false;
};

// Writes the AVI; throws std::runtime_error when FFmpeg refuses.
void WriteFixtureAvi(const std::string& path, const TFixtureAvi& avi);

// The colour table of the numbered frames: indices below 128 are dark colours, the others
// light ones, none of them black.
const std::vector<TRGBQuad>& NumberPalette();
// Frame `number` of a numbered fixture as an 8-bit bitmap with NumberPalette: a grid of
// 8 x 4 cells, the first 16 holding the bits of the number (light = 1), the other 16 their
// complement, each cell in a colour of its own. Sizes down to 32 x 16 work.
TBitmap NumberFrame(int number, int width, int height);
// Frame `number` of the sample picture (24 bits).
TBitmap SampleFrame(int number, int width, int height);
// Frame `number` of a slow pan over a natural-looking scene (NaturalPicture moved 1.5 pixels
// a frame, 24 bits): what a GIF's size depends on as in a real video.
TBitmap PanFrame(int number, int width, int height);
// What a lossless codec must decode frame `number` of a numbered fixture to, in the reader's
// natural format for it (8 bits with the fixture's table, 15, 24 or 32 bits, or 8-bit grey).
TBitmap ExpectedFrame(TFixtureCodec codec, int number, int width, int height);

// The number a numbered frame shows, or -1 when the picture carries no consistent number.
int DecodeFrameNumber(const TBitmap& frame);

// Bad inputs.
void WriteEmptyFile(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);
// An AVI whose only stream is 8 kHz PCM audio.
void WriteAudioOnlyAvi(const std::string& path);
// A numbered MPEG-4 AVI whose codec's four-character code is replaced by one no decoder knows.
void WriteAviWithUnknownCodec(const std::string& path);
// A numbered raw AVI whose stream format claims a frame width of `width` pixels.
void WriteAviWithFrameWidth(const std::string& path, std::int32_t width);
// Claims written over a fixture's own header values, as a hostile or broken writer would
// leave them; the frames and the index stay as they were.
struct TAviHeaderClaims {
  // The main header's total frames and the video stream's length.
  std::optional<std::uint32_t> FrameCount;
  // Frames per second as rate / scale in the video stream header (the main header's
  // microseconds a frame follows).
  std::optional<std::pair<std::uint32_t, std::uint32_t>> RateAndScale;
  // Width and height in the main header and in the video stream's format.
  std::optional<std::pair<std::int32_t, std::int32_t>> FrameSize;
};
void OverwriteAviHeader(const std::string& path, const TAviHeaderClaims& claims);
// Makes index entry `entry` of stream `stream` (0 the video, 1 the audio; entries counted
// from 0 within the stream) claim `bytes` bytes, in the idx1 index and in the OpenDML index.
void OverwriteIndexEntrySize(const std::string& path, int stream, int entry, std::uint32_t bytes);
// Cuts a file to `size` bytes.
void TruncateFile(const std::string& path, std::uintmax_t size);
std::uintmax_t FileSize(const std::string& path);

// A folder of its own under `base` (created if missing), removed with all it holds when the
// object goes; each test process gets a different one.
class TTempFolder {
 public:
  explicit TTempFolder(const std::string& base);
  ~TTempFolder();
  TTempFolder(const TTempFolder&) = delete;
  TTempFolder& operator=(const TTempFolder&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace clipvane::fixtures
