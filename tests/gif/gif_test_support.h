// Helpers of the GIF tests: documents made from index pictures, streams in memory, giflib as
// an independent decoder of what we write, and a reader of the raw LZW code stream.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "gif/gif_image.h"

namespace clipvane::gif_test {

// A picture as giflib decodes it.
struct TDecodedFrame {
  int Left = 0;
  int Top = 0;
  int Width = 0;
  int Height = 0;
  bool Interlaced = false;
  std::vector<std::uint8_t> Pixels;
  std::vector<TGIFColor> LocalColors;  // as many as the stream holds (2^b)
  int Delay = -1;                      // -1: no graphic control block
  int TransparentIndex = -1;
  int Disposal = 0;
};

struct TDecodedGif {
  int Width = 0;
  int Height = 0;
  std::vector<TGIFColor> GlobalColors;
  std::vector<TDecodedFrame> Frames;
  int LoopCount = -1;  // -1: no NETSCAPE2.0 block
};

// Decodes with DGifSlurp; false (and the giflib error code in error) on failure.
bool DecodeWithGiflib(const std::vector<std::uint8_t>& bytes, TDecodedGif& result, int& error);

// Saves the document to memory.
std::vector<std::uint8_t> SaveToBytes(TGIFImage& image);

// giflib decodes bytes to the document's frames: positions, sizes, indices, local tables,
// delays and loop count.
void ExpectGiflibAgrees(const TGIFImage& image, const std::vector<std::uint8_t>& bytes);

// An 8-bit bitmap with the given palette and pixel indices (row by row).
TBitmap IndexedBitmap(int width, int height, const std::vector<TRGBQuad>& palette,
                      const std::vector<std::uint8_t>& indices);
// A palette of count distinct colours.
std::vector<TRGBQuad> DistinctPalette(int count);
// Deterministic pseudo-random bytes below limit.
std::vector<std::uint8_t> NoiseIndices(std::size_t count, int limit, std::uint32_t seed);

// A document of frames built from index pictures the way the pages build theirs (one local
// table each, a graphic control block with the delay on every frame, the looping block on
// frame 0).
void AddIndexedFrame(TGIFImage& image, int width, int height, const std::vector<TRGBQuad>& palette,
                     const std::vector<std::uint8_t>& indices, int delay);
void AddLoop(TGIFImage& image, int loopCount);

// The codes of one image data block (starting at its code size byte), read with a GIF
// decoder's code widths. Stops after the end code.
std::vector<int> ReadCodes(const std::uint8_t* data, std::size_t size);
// The offset of the first image separator's image data (its code size byte) in a stream
// written by us; the stream must hold exactly one frame with a local table.
std::size_t ImageDataOffset(const std::vector<std::uint8_t>& bytes);

// A multi-frame test animation (frames of several sizes, local and global tables,
// interlacing, transparency, comments, an unknown application block), and its bytes.
void BuildSampleAnimation(TGIFImage& image);
std::vector<std::uint8_t> SampleAnimation(TGIFEncoding encoding = encLZW);

// A GIF written by giflib's encoder from a description of its frames (pixels in row order;
// interlaced frames are handed to giflib in pass order).
std::vector<std::uint8_t> EncodeWithGiflib(const TDecodedGif& gif);

// The document's frames as giflib would report them.
void ExpectSameAsGiflib(const TGIFImage& image, const TDecodedGif& decoded);

}  // namespace clipvane::gif_test
