// TAviFrameReader: frame N of an AVI file's first video stream, decompressed, as a working
// bitmap in the decoder's natural pixel format. Built on libavformat/libavcodec; each frame
// passes through a packed device-independent bitmap that is read back as a BMP image. It
// reads AVI files only; OpenFrameSource (frame_source.h) gives every other container to a
// TContainerFrameReader.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "core/bitmap.h"
#include "video/frame_source.h"
#include "video/packed_frame.h"

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

class TAviFrameReader : public TFrameSource {
 public:
  // The seam, when given, must outlive the reader.
  explicit TAviFrameReader(TAviReaderSeam* seam = nullptr);
  ~TAviFrameReader() override;
  TAviFrameReader(const TAviFrameReader&) = delete;
  TAviFrameReader& operator=(const TAviFrameReader&) = delete;

  // Opens the file's first video stream and its decoder, reading the file as an AVI whatever
  // its name. On failure everything acquired is released and EClipvaneError carries one of
  // the seven messages of TAviOpenStep, with the file and what is wrong with it.
  void Open(const std::string& path) override;

  // Decodes frame `frameNumber` (0 = first, in display order) into the decode bitmap. False,
  // with nothing changed, when the stream has no such frame. Reading forward decodes on from
  // where the last read stopped; a jump back or far ahead restarts at the nearest earlier
  // key frame. A drop frame gives the picture before it again. An error while reading
  // (a frame that cannot be made into a bitmap, no memory) closes the reader and throws.
  bool ReadFrame(int frameNumber) override;

  // The bitmap the last ReadFrame filled; the caller may change it between reads. Only
  // while the reader is open.
  TBitmap& DecodeBitmap();
  const TBitmap& DecodeBitmap() const override;

  // The stream format: 40-byte bitmap header and the stream's colour table (empty when closed).
  std::span<const std::uint8_t> StreamFormat() const;

  // Releases everything in the reverse order of acquisition. Does nothing when not open.
  void Close() override;
  bool IsOpen() const { return state_ != nullptr; }

 private:
  struct TState;
  std::unique_ptr<TState> state_;
  TAviReaderSeam* seam_;
};

}  // namespace clipvane
