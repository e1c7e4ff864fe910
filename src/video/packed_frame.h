// The packed device-independent bitmap every AVI frame passes through, and its reading as a
// BMP image: the 40-byte information header, the stream's colour table over the frame's, and
// the decode stream the frame is written into with a BMP file header before it. Plain code,
// no FFmpeg: the fuzzers and tests drive it with any bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/bitmap.h"

namespace clipvane {

inline constexpr std::size_t kBmpFileHeaderBytes = 14;
inline constexpr std::size_t kBitmapInfoHeaderBytes = 40;
// Compressions of the information header.
inline constexpr std::uint32_t kPlainRgb = 0;
inline constexpr std::uint32_t kBitFields = 3;

// Fills a 40-byte bitmap information header (little-endian).
void PutInfoHeader(std::uint8_t* header, int width, int height, int bits, std::uint32_t compression,
                   std::uint32_t imageBytes, std::uint32_t colorsUsed);

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

}  // namespace clipvane
