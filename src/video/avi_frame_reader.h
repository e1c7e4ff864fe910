// TAviFrameReader: frame N of an AVI file's first video stream, decompressed, as a working
// bitmap in the decoder's natural pixel format. Built on libavformat/libavcodec; each frame
// passes through a packed device-independent bitmap that is read back as a BMP image. Every
// other container FFmpeg reads (MP4, MOV, MKV, WebM, MPEG-TS, ...) goes to a
// TContainerFrameReader instead: frame N is the N-th picture in presentation order, 24 bits,
// upright and with square pixels.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "video/container_frame_reader.h"

namespace clipvane {

// The steps of Open that can fail, in the order Open takes them.
enum class TAviOpenStep {
  osOpenFile,        // "Failed to open AVI file"
  osOpenStream,      // "Failed to open AVI stream"
  osStreamInfo,      // "Failed to get AVI stream info"
  osFormatSize,      // "Failed to get AVI stream format size"
  osFormat,          // "Failed to get AVI stream format"
  osBeginStreaming,  // "Failed to start AVI stream"
  osDecompression,   // "Failed to start AVI decompression"
};

// What an open reader holds, in the order Open acquires it; released in the reverse order.
enum class TAviResource {
  arLibrary,       // the AVI library's use count (FFmpeg needs no set-up: a marker only)
  arFile,          // the demuxer on the file
  arStream,        // the choice of the first video stream (the other streams are skipped)
  arFormatBuffer,  // the stream format: 40-byte bitmap header and the stream's colour table
  arStreaming,     // packet and picture buffers for sequential reading
  arDecompressor,  // the decoder and the colour converter
  arDecodeStream,  // the byte stream every frame passes through
  arDecodeBitmap,  // the bitmap every frame is loaded into
};

// Test seam: lets a test fail any step of Open and watch what is acquired and released.
class TAviReaderSeam {
 public:
  virtual ~TAviReaderSeam() = default;
  // True makes the step fail as if the library had failed it.
  virtual bool FailStep(TAviOpenStep) { return false; }
  virtual void Acquired(TAviResource) {}
  virtual void Released(TAviResource) {}
  // Called by ReadFrame before a decoded frame is loaded into the decode bitmap; an error
  // thrown here travels out of ReadFrame like any error while reading.
  virtual void LoadingFrame(int) {}
  // Called when ReadFrame seeks, with the frame number of the key frame it seeks to.
  virtual void Seeking(std::int64_t) {}
};

// The decode stream: an in-memory byte stream reused for every frame. A frame is written
// into it as a BMP file (14-byte file header, then the packed bitmap) and the decode bitmap
// is loaded from it.
class TDecodeStream {
 public:
  void Clear() { size_ = 0; }
  void Write(const void* data, std::size_t count);
  std::span<const std::uint8_t> Data() const { return {storage_.data() + start_, size_}; }

  // Makes the stream hold a 14-byte file header still to be written followed by a packed
  // bitmap of `frameBytes` bytes, placed so that the frame's byte `alignedOffset` (its
  // first pixel row) lies on a 64-byte boundary. Returns the frame's bytes to be filled.
  std::span<std::uint8_t> PrepareFrame(std::size_t frameBytes, std::size_t alignedOffset);
  // True when `frame` is the frame area last handed out by PrepareFrame.
  bool HoldsFrame(std::span<const std::uint8_t> frame) const;
  // The stream's first bytes, where the file header goes.
  std::uint8_t* Begin() { return storage_.data() + start_; }

 private:
  std::vector<std::uint8_t> storage_;
  std::size_t start_ = 0;
  std::size_t size_ = 0;
};

// The stream's colour table over the frame's: when the stream format (40-byte header and
// colour table) has a colours-used value above 0 and the packed frame has 1, 4 or 8 bits
// per pixel, its first entries are replaced in place by the stream's, as many as the
// stream's colours-used value and no more than the frame's table (and each buffer) holds.
void CopyStreamPalette(std::span<std::uint8_t> packedFrame, std::span<const std::uint8_t> streamFormat);

// Loads a packed bitmap (40-byte header, colour table or bit-field masks, bottom-up rows of
// the header's image size, computed from the dimensions when 0) into `bitmap` by writing it
// as a BMP file into `stream` and reading that back. A frame that PrepareFrame placed in the
// stream is not copied again. Throws EClipvaneError for a frame that is cut off or invalid.
void LoadPackedFrame(std::span<const std::uint8_t> packedFrame, TDecodeStream& stream, TBitmap& bitmap);

// Both steps, as every frame takes them.
void PackedFrameToBitmap(std::span<std::uint8_t> packedFrame, std::span<const std::uint8_t> streamFormat,
                         TDecodeStream& stream, TBitmap& bitmap);

class TAviFrameReader {
 public:
  // The seam, when given, must outlive the reader.
  explicit TAviFrameReader(TAviReaderSeam* seam = nullptr);
  ~TAviFrameReader();
  TAviFrameReader(const TAviFrameReader&) = delete;
  TAviFrameReader& operator=(const TAviFrameReader&) = delete;

  // Opens the file's first video stream and its decoder. On failure everything acquired is
  // released and EClipvaneError carries one of the seven messages of TAviOpenStep for an
  // AVI (or a file named *.avi that no demuxer reads as a video), a message naming the file
  // for any other.
  void Open(const std::string& path);

  // Decodes frame `frameNumber` (0 = first, in display order) into the decode bitmap. False,
  // with nothing changed, when the stream has no such frame. Reading forward decodes on from
  // where the last read stopped; a jump back or far ahead restarts at the nearest earlier
  // key frame. A drop frame gives the picture before it again. An error while reading
  // (a frame that cannot be made into a bitmap, no memory) closes the reader and throws.
  bool ReadFrame(int frameNumber);

  // The bitmap the last ReadFrame filled; the caller may change it between reads. Only
  // while the reader is open.
  TBitmap& DecodeBitmap();
  const TBitmap& DecodeBitmap() const;

  // The stream format: 40-byte bitmap header and the stream's colour table (empty when closed
  // and for other containers).
  std::span<const std::uint8_t> StreamFormat() const;

  // Releases everything in the reverse order of acquisition. Does nothing when not open.
  void Close();
  bool IsOpen() const { return state_ != nullptr || container_ != nullptr; }

 private:
  struct TState;
  std::unique_ptr<TState> state_;
  std::unique_ptr<TContainerFrameReader> container_;
  TAviReaderSeam* seam_;
};

}  // namespace clipvane
