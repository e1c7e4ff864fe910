// Writing GIF streams: the data sub-block writer, the LZW string hash table, and the two
// image data encoders (variable-width LZW, and run-length codes that need no string table).
// Invariant: nothing here needs gif_reader; a program that only writes never links it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "gif/gif_stream.h"
#include "gif/gif_types.h"

namespace clipvane {

// A write-only stream that cuts what it is given into data sub-blocks of 255 bytes on the
// target stream. Close() writes the last, partial block; the 0x00 terminator is the
// caller's. Reading or seeking raises "Invalid stream operation".
class TGIFWriter : public TGIFStream {
 public:
  explicit TGIFWriter(TGIFStream& target) : target_(target) {}

  std::size_t Read(void* buffer, std::size_t count) override;
  void Write(const void* data, std::size_t count) override;
  std::uint64_t Seek(std::int64_t offset, TSeekOrigin origin) override;

  void Put(std::uint8_t value) {
    waiting_ = true;
    buffer_[fill_++] = value;
    if (fill_ == 256) FlushBlock();
  }
  // Writes the partial block, if any (never a block of size 0).
  void Close();

 private:
  void FlushBlock();

  TGIFStream& target_;
  std::uint8_t buffer_[256] = {};  // [0] is the size byte
  int fill_ = 1;
  bool waiting_ = false;
};

// The described LZW string table: 8009 slots of (key << 12) | code, key = prefix * 256 +
// pixel. The encoder finds its strings in a faster table of its own (gif_writer.cpp) and keeps
// this one's rule of when a string finds no room; the tests hold it to this table.
class THashTable {
 public:
  static constexpr int Size = 8009;

  THashTable() { Clear(); }
  void Clear() { std::memset(slots_, 0xFF, sizeof slots_); }

  // The code of key, or -1. When absent, *emptySlot receives the slot an insert of the key
  // would take, or -1 when its whole probe sequence is taken.
  int Lookup(std::uint32_t key, int* emptySlot = nullptr) const {
    int slot = static_cast<int>((key ^ (key >> 4)) % Size);
    const std::uint32_t tagged = key << 12;
    // The probe sequence 2h mod 8009 cycles through at most half the table; after Size
    // steps every reachable slot has been seen, so a full sequence ends here.
    for (int probes = 0; probes < Size; ++probes) {
      const std::uint32_t value = slots_[slot];
      if ((value >> 12) == kEmptyKey) {
        if (emptySlot != nullptr) *emptySlot = slot;
        return -1;
      }
      if ((value & ~0xFFFu) == tagged) return static_cast<int>(value & 0xFFF);
      slot = NextSlot(slot);
    }
    if (emptySlot != nullptr) *emptySlot = -1;
    return -1;
  }
  // Stores key -> code; false (nothing stored) when the key's probe sequence is full.
  bool Insert(std::uint32_t key, int code) {
    int slot = -1;
    if (Lookup(key, &slot) >= 0) return true;
    if (slot < 0) return false;
    StoreAt(slot, key, code);
    return true;
  }
  void StoreAt(int slot, std::uint32_t key, int code) {
    slots_[slot] = (key << 12) | (static_cast<std::uint32_t>(code) & 0xFFF);
  }
  static int NextSlot(int slot) {
    if (slot == 0) return Size - 1;
    const int next = 2 * slot - Size;
    return next < 0 ? next + Size : next;
  }

 private:
  static constexpr std::uint32_t kEmptyKey = 0xFFFFF;
  std::uint32_t slots_[Size];
};

// Common part of the two encoders: code size byte, bit packing, sub-blocks, pixel walk.
class TGIFEncoder {
 public:
  TGIFEncoder() = default;
  TGIFEncoder(const TGIFEncoder&) = delete;
  TGIFEncoder& operator=(const TGIFEncoder&) = delete;
  virtual ~TGIFEncoder() = default;

  // Writes the image data of one frame to stream: the initial code size (bitsPerPixel, at
  // least 2), the codes in data sub-blocks, and the 0x00 terminator. pixels holds
  // width * height indices, rows top to bottom; interlaced frames are walked in the four
  // passes. A pixel not below colorLimit raises "Color not in color table".
  void Compress(TGIFStream& stream, int bitsPerPixel, int width, int height, bool interlaced,
                const std::uint8_t* pixels, int colorLimit);

  TGIFWarningEvent OnWarning;

 protected:
  virtual void CompressBody() = 0;

  // Packs code at the current width, least significant bit first.
  void OutputBits(int code) {
    bucket_ = bitsHeld_ > 0 ? ((static_cast<std::uint32_t>(code) << bitsHeld_) | (bucket_ & ((1u << bitsHeld_) - 1)))
                            : static_cast<std::uint32_t>(code);
    bitsHeld_ += codeWidth_;
    while (bitsHeld_ >= 8) {
      writer_->Put(static_cast<std::uint8_t>(bucket_));
      bucket_ >>= 8;
      bitsHeld_ -= 8;
    }
  }
  void CheckPixel(int pixel) const {
    if (pixel >= colorLimit_) throw GIFException(sGIFColorNotInTable);
  }
  void ResetWidth() {
    codeWidth_ = initialWidth_;
    highestCode_ = (1 << codeWidth_) - 1;
  }
  // Calls visit(rowStart, count) for the runs of pixels in walk order: the whole image at
  // once, or row by row in interlace order.
  template <class Visit>
  void WalkPixels(Visit&& visit) const;

  int colorLimit_ = 0;
  int bitsPerPixel_ = 0;
  int width_ = 0;
  int height_ = 0;
  bool interlaced_ = false;
  const std::uint8_t* pixels_ = nullptr;
  TGIFWriter* writer_ = nullptr;
  std::uint32_t bucket_ = 0;
  int bitsHeld_ = 0;
  bool clearPending_ = false;
  int codeWidth_ = 0;
  int initialWidth_ = 0;
  int highestCode_ = 0;
  int clearCode_ = 0;
  int endCode_ = 0;
  int firstFreeCode_ = 0;
};

class TLZWEncoder : public TGIFEncoder {
 protected:
  void CompressBody() override;
};

class TRLEEncoder : public TGIFEncoder {
 protected:
  void CompressBody() override;

 private:
  void Clear();
  void OutputPlain(int code);
  void FlushFromClear(int count);
  void FlushWithTable(int count);
  void Flush(int count);
  void ResetClearLimit();
  int TriangleCount(int count) const;

  int pixel_ = -1;  // the pixel of the current run
  int tableSize_ = 0;
  int tablePixel_ = -1;
  int codesSinceClear_ = 0;
  int nextBump_ = 0;
  int bumpStart_ = 0;
  int clearLimit_ = 0;
  int clearLimitStart_ = 0;
  int maxRunCodes_ = 0;
};

template <class Visit>
void TGIFEncoder::WalkPixels(Visit&& visit) const {
  const auto width = static_cast<std::size_t>(width_);
  if (!interlaced_) {
    visit(pixels_, width * static_cast<std::size_t>(height_));
    return;
  }
  ForEachInterlacedRow(height_, [&](int row) { visit(pixels_ + static_cast<std::size_t>(row) * width, width); });
}

}  // namespace clipvane
