// A walk over the GIF block structure: header, screen, colour tables skipped by their sizes,
// extensions and image data skipped sub-block by sub-block.
#include "gif/gif_frame_delays.h"

namespace clipvane {

namespace {

class TBlockWalk {
 public:
  explicit TBlockWalk(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool Skip(std::size_t count) {
    if (bytes_.size() - position_ < count) return false;
    position_ += count;
    return true;
  }
  int Byte() { return position_ < bytes_.size() ? bytes_[position_++] : -1; }
  // Skips a chain of data sub-blocks up to and including its terminator.
  bool SkipSubBlocks() {
    int size = Byte();
    for (; size > 0; size = Byte())
      if (!Skip(static_cast<std::size_t>(size))) return false;
    return size == 0;
  }
  std::size_t Position() const { return position_; }
  std::uint8_t At(std::size_t index) const { return bytes_[index]; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

std::size_t ColorTableSize(int packed) { return (packed & 0x80) != 0 ? 3u << ((packed & 0x07) + 1) : 0; }

}  // namespace

std::vector<int> GifFrameDelays(std::span<const std::uint8_t> bytes) {
  std::vector<int> delays;
  TBlockWalk walk(bytes);
  if (!walk.Skip(10)) return delays;  // signature, width, height
  const int screenPacked = walk.Byte();
  if (screenPacked < 0 || !walk.Skip(2) || !walk.Skip(ColorTableSize(screenPacked))) return delays;
  int pendingDelay = 0;
  while (true) {
    const int introducer = walk.Byte();
    if (introducer == 0x21) {
      const int label = walk.Byte();
      if (label == 0xF9) {
        // Graphic control: one 4-byte sub-block holding flags, the delay and the transparent index.
        const std::size_t start = walk.Position();
        if (walk.Byte() != 4 || !walk.Skip(4)) return delays;
        pendingDelay = walk.At(start + 2) | (walk.At(start + 3) << 8);
      }
      if (label < 0 || !walk.SkipSubBlocks()) return delays;
    } else if (introducer == 0x2C) {
      if (!walk.Skip(8)) return delays;
      const int packed = walk.Byte();
      if (packed < 0 || !walk.Skip(ColorTableSize(packed)) || !walk.Skip(1)) return delays;
      delays.push_back(pendingDelay);
      pendingDelay = 0;
      if (!walk.SkipSubBlocks()) return delays;
    } else {
      return delays;  // the trailer, or the end
    }
  }
}

}  // namespace clipvane
