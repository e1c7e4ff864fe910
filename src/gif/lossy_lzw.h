// Lossy LZW: image data whose strings may stand for pixels of nearly the same colour, so a
// string of the table runs on through pixels within a colour tolerance of the ones it was
// made from. The decoder needs nothing new: the codes are ordinary GIF LZW codes, and the
// encoder reports the indices they decode to. Invariant: every pixel decodes to its own index
// or to one whose colour lies within the tolerance; the transparent index stands only for
// itself, both ways.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/bitmap.h"
#include "gif/gif_color_map.h"
#include "gif/gif_writer.h"

namespace clipvane {

inline constexpr int kLossyLevelMaximum = 100;

// The colour distance (Euclidean, over red, green and blue in 0..255) by which a pixel may
// move at a lossy level of 0 (none) to 100. Levels outside are held to that range.
double LossyColorTolerance(int level);
// The squared colour error a moved pixel may add at a level, over what its own index has
// against the colour it stands for (see TLossyLZWEncoder::SetTarget).
int LossyErrorAllowance(int level);

class TLossyLZWEncoder : public TGIFEncoder {
 public:
  TLossyLZWEncoder();

  // Before each Compress: the colours of the indices the pixels use (an index beyond the
  // table moves nowhere), the transparent index (-1: none) and the lossy level. Level 0
  // writes the codes of lossless LZW, though not the same ones TLZWEncoder writes. Clears
  // the target.
  void SetColors(std::span<const TGIFColor> colors, int transparentIndex, int level);
  // Optional, before a Compress: the true colours the pixels stand for, pixel (x, y) of the
  // image being (left + x, top + y) of `picture` (24 bits, which must hold the image). A
  // pixel may then move, within the tolerance, to an index whose colour is at most the
  // level's allowance (squared) farther from its true colour than its own index is. Without
  // a target the allowance is taken from its own index's colour. Not owned; used by the next
  // Compress only.
  void SetTarget(const TBitmap* picture, int left, int top);

  // After Compress: the indices a decoder reads from the data, rows top to bottom as the
  // pixels were given (width x height).
  const std::vector<std::uint8_t>& Decoded() const { return decoded_; }

 protected:
  void CompressBody() override;

 private:
  // The string table: a node a code, its last pixel, its first child and next sibling, and
  // the child of each (code, pixel) for exact steps.
  struct TNode {
    std::int16_t Parent = -1;
    std::int16_t FirstChild = -1;
    std::int16_t NextSibling = -1;
    std::uint16_t Children = 0;
    std::uint8_t Pixel = 0;
  };
  // One step of the search: a node reached and how far and how well it matches.
  struct TStep {
    int Node;
    int Length;
    std::int64_t Cost;  // squared colour error added over the pixels' own indices
  };
  // A step on the search's path and where it stands in trying its node's children.
  struct TSearchFrame {
    enum : int { kExact, kSiblings, kNear, kDone };
    TStep Step;
    int Mode;    // what to try next: the exact child, then the siblings or the near colours
    int Cursor;  // the next sibling, or the next entry of the near list
  };

  void ResetTable();
  // The longest string of the table (from the root of pixels[at], which matches exactly)
  // that stands for pixels[at ..] within the tolerance; among strings of the same length the
  // one of least squared colour error. Returns its code; length receives its length.
  int LongestMatch(const std::uint8_t* pixels, std::size_t at, std::size_t count, int& length);
  void AddString(int prefix, std::uint8_t pixel);
  // Writes code at the current width and widens the codes as the decoder will.
  void Output(int code, int nextFree);

  // The code of string prefix + pixel, or -1: a hash table of (prefix << 20 | pixel << 12 |
  // code), small enough to stay in the cache (at most 4096 strings in 8192 slots).
  int Child(int prefix, std::uint8_t pixel) const;
  void StoreChild(int prefix, std::uint8_t pixel, int code);

  std::vector<TNode> nodes_;
  std::vector<std::uint32_t> children_;
  int nextFree_ = 0;
  // Whether index b may be written for index a (bit b of the four words of a), and for each
  // index the others it may be written as (nearList_[nearStart_[a] .. nearStart_[a + 1])).
  bool Close(std::uint8_t a, std::uint8_t b) const { return (close_[a * 4u + (b >> 6)] >> (b & 63)) & 1; }
  std::vector<std::uint64_t> close_;
  std::vector<std::uint8_t> nearList_;
  std::vector<std::uint32_t> nearStart_;
  std::vector<TGIFColor> colors_;
  int allowance_ = 0;
  const TBitmap* target_ = nullptr;
  int targetLeft_ = 0;
  int targetTop_ = 0;
  std::vector<std::uint8_t> walk_;  // the pixels in walking order
  // In walking order, with a target: the true colour and the squared error of the pixel's
  // own index against it.
  std::vector<TGIFColor> wanted_;
  std::vector<std::int32_t> ownError_;
  std::vector<std::uint8_t> decoded_;
  std::vector<TSearchFrame> frames_;
  int level_ = 0;
};

}  // namespace clipvane
