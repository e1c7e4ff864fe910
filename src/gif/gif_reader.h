// Reading GIF streams into a TGIFImage (TGIFImage::LoadFromStream and the item loads are
// defined in gif_reader.cpp) and the LZW decoder of image data. Any byte sequence ends in a
// GIFException or warnings, never in a read outside a buffer or an endless loop.
// Invariant: nothing here needs gif_writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace clipvane {

// Limits of what a load may allocate for pixels. A frame may always hold kFreeFramePixels;
// a larger one only as many as its compressed data could fill (an LZW code stands for at
// most 4096 pixels, and takes at least 3 bits). A document's frames together never hold
// more than kMaxDocumentPixels.
inline constexpr std::uint64_t kFreeFramePixels = std::uint64_t{1} << 20;
inline constexpr std::uint64_t kMaxPixelsPerDataByte = 16384;
inline constexpr std::uint64_t kMaxDocumentPixels = std::uint64_t{1} << 31;

class TLZWDecoder {
 public:
  enum TResult : std::uint8_t {
    drEndCode,   // the end code was read (or the pixels were all filled)
    drUnderrun,  // the data ran out of bits first
  };

  // Decodes the codes in data (the image data sub-blocks joined, without the code size byte)
  // into pixels[0 .. count), in stream order; pixels beyond what the codes give keep their
  // values. codeSize is 1 to 8. A code that names a table entry not yet defined raises
  // "Circular decoder table entry".
  static TResult Decode(int codeSize, const std::uint8_t* data, std::size_t size, std::uint8_t* pixels,
                        std::size_t count);
};

}  // namespace clipvane
