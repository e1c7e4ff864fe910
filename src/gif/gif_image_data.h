// A frame's image data held as the GIF stream holds it (the initial code size, the codes in
// data sub-blocks, the 0x00 terminator) together with how it was written, and its decoding
// back to colour indices. Frames keep this form so that memory follows the size of the GIF,
// not the frame count times the pixels; a save writes the bytes as they are.
// Invariant: needs gif_writer's encoders but never gif_reader.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gif/gif_types.h"

namespace clipvane {

// How image data is written: it gives the same bytes for the same pixels only with the same
// code size, interlacing and encoder.
struct TGIFImageDataFormat {
  int BitsPerPixel = 0;  // as the frame asks for it; the encoder raises it to at least 2
  bool Interlaced = false;
  TGIFEncoding Encoding = encLZW;
  friend bool operator==(const TGIFImageDataFormat&, const TGIFImageDataFormat&) = default;
};

// Immutable once made, so frames and their copies share one (across threads too).
class TGIFEncodedImage {
 public:
  // Encodes width x height colour indices (rows top to bottom, each exactly width bytes) the
  // way TGIFEncoder::Compress writes them. None when an index does not fit the code size
  // (such a frame keeps its pixels: saving it fails as it always did). Raises GIFException
  // "Invalid LZW code size" for a code size above 8 and "Invalid image dimensions" for an
  // empty image.
  static std::shared_ptr<const TGIFEncodedImage> Encode(const TGIFImageDataFormat& format, int width, int height,
                                                        const std::uint8_t* pixels);

  // Image data made elsewhere (as Bytes() holds it), checked first: GIFException "Invalid GIF
  // data" unless it is sub-blocks ended by their terminator holding exactly width x height
  // indices.
  static std::shared_ptr<const TGIFEncodedImage> FromBytes(std::vector<std::uint8_t> bytes,
                                                           const TGIFImageDataFormat& format, int width, int height);

  // Code size byte, sub-blocks and terminator, as written.
  const std::vector<std::uint8_t>& Bytes() const { return bytes_; }
  const TGIFImageDataFormat& Format() const { return format_; }
  int Width() const { return width_; }
  int Height() const { return height_; }
  // The highest colour index of the image: a save whose colour limit is above it writes
  // Bytes() unchanged (a lower limit must fail the way the encoder fails).
  int HighestIndex() const { return highestIndex_; }

  // The colour indices again, into pixels[0 .. width x height), rows top to bottom. Raises
  // GIFException "Invalid GIF data" when the bytes do not hold exactly the image (never for
  // bytes made by Encode).
  void Decode(std::uint8_t* pixels) const;

 private:
  TGIFEncodedImage() = default;

  std::vector<std::uint8_t> bytes_;
  TGIFImageDataFormat format_;
  int width_ = 0;
  int height_ = 0;
  int highestIndex_ = 0;
};

using TGIFEncodedImageRef = std::shared_ptr<const TGIFEncodedImage>;

}  // namespace clipvane
