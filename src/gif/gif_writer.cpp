// The GIF stream writer: header, logical screen, colour tables, frames with their
// extensions and image data, trailer; and the LZW and run-length encoders behind the data.
#include "gif/gif_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "core/atomic_file.h"
#include "core/bitmap.h"
#include "core/error.h"
#include "gif/gif_image.h"

namespace clipvane {

namespace {

constexpr int kMaxCode = 4095;

// The table's entries as red-green-blue triples, then zero triples up to 2^bits entries.
void WriteColorTable(TGIFStream& stream, const TGIFColorMap& table, int bits) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(3) << bits, 0);
  std::size_t i = 0;
  for (const TGIFColor& color : table.Entries()) {
    if (i + 3 > bytes.size()) break;
    bytes[i++] = color.Red;
    bytes[i++] = color.Green;
    bytes[i++] = color.Blue;
  }
  stream.Write(bytes.data(), bytes.size());
}

}  // namespace

// Sub-block writer.

std::size_t TGIFWriter::Read(void*, std::size_t) { throw EClipvaneError(sGIFInvalidStreamOperation); }

std::uint64_t TGIFWriter::Seek(std::int64_t, TSeekOrigin) { throw EClipvaneError(sGIFInvalidStreamOperation); }

void TGIFWriter::Write(const void* data, std::size_t count) {
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  while (count > 0) {
    waiting_ = true;
    const std::size_t n = std::min(count, static_cast<std::size_t>(256 - fill_));
    std::memcpy(buffer_ + fill_, bytes, n);
    fill_ += static_cast<int>(n);
    bytes += n;
    count -= n;
    if (fill_ == 256) FlushBlock();
  }
}

void TGIFWriter::FlushBlock() {
  buffer_[0] = static_cast<std::uint8_t>(fill_ - 1);
  target_.Write(buffer_, static_cast<std::size_t>(fill_));
  fill_ = 1;
  waiting_ = false;
}

void TGIFWriter::Close() {
  if (waiting_ && fill_ > 1) FlushBlock();
  waiting_ = false;
}

// Encoders.

void TGIFEncoder::Compress(TGIFStream& stream, int bitsPerPixel, int width, int height, bool interlaced,
                           const std::uint8_t* pixels, int colorLimit) {
  // Pixels are bytes: a code size above 8 could only come from a corrupt table size.
  if (bitsPerPixel > 8) throw GIFException(sGIFInvalidCodeSize);
  const int bits = std::max(bitsPerPixel, 2);
  stream.WriteByte(static_cast<std::uint8_t>(bits));

  bitsPerPixel_ = bits;
  colorLimit_ = colorLimit;
  width_ = width;
  height_ = height;
  interlaced_ = interlaced;
  pixels_ = pixels;
  initialWidth_ = bits + 1;
  ResetWidth();
  clearCode_ = 1 << bits;
  endCode_ = clearCode_ + 1;
  firstFreeCode_ = clearCode_ + 2;
  bucket_ = 0;
  bitsHeld_ = 0;
  clearPending_ = false;

  TGIFWriter writer(stream);
  writer_ = &writer;
  struct TDetach {
    TGIFWriter*& writer;
    ~TDetach() { writer = nullptr; }
  } detach{writer_};

  if (pixels != nullptr && width > 0 && height > 0) CompressBody();
  OutputBits(endCode_);
  while (bitsHeld_ > 0) {
    writer.Put(static_cast<std::uint8_t>(bucket_));
    bucket_ >>= 8;
    bitsHeld_ -= 8;
  }
  bitsHeld_ = 0;
  writer.Close();
  stream.WriteByte(0);
}

namespace {

// The strings of the LZW body, key = prefix * 256 + pixel (at most 20 bits), each with its
// code: 8192 slots of key << 12 | code, searched from a multiplicative hash of the key onwards.
// It never holds more than 4089 strings, so a free slot is always found, mostly the first.
// All ones marks a free slot (no prefix reaches 4095).
class TStringTable {
 public:
  static constexpr int kSlotBits = 13;
  static constexpr std::uint32_t kMask = (1u << kSlotBits) - 1;
  static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
  static constexpr std::uint32_t kMultiplier = 0x9E3779B1u;

  void Clear() { std::memset(slots_, 0xFF, sizeof slots_); }
  // The code of the string prefix + pixel (key prefix * 256 + pixel), or -1; slot receives
  // where the search ended (where the string would go).
  int Find(std::uint32_t prefix, std::uint32_t pixel, std::uint32_t& slot) const {
    const std::uint32_t tagged = (prefix << 20) | (pixel << 12);
    // The hash of the key, (prefix * 256 + pixel) * kMultiplier, in two products: only the
    // prefix's waits for the string before.
    std::uint32_t at = (prefix * (kMultiplier << 8) + pixel * kMultiplier) >> (32 - kSlotBits);
    while (true) {
      const std::uint32_t value = slots_[at];
      if ((value & ~0xFFFu) == tagged) return static_cast<int>(value & 0xFFF);
      if (value == kFree) {
        slot = at;
        return -1;
      }
      at = (at + 1) & kMask;
    }
  }
  void Store(std::uint32_t slot, std::uint32_t key, int code) {
    slots_[slot] = (key << 12) | static_cast<std::uint32_t>(code);
  }

 private:
  std::uint32_t slots_[1u << kSlotBits];
};

// The described string table (THashTable) probes from slot (key ^ key >> 4) mod 8009 by
// doubling modulo 8009, which runs through one of two halves of 4004 slots (slot 0 leads into
// the half that holds 8008). When every slot of a half is taken, a new string whose probe
// starts there finds no room and the encoder clears instead of storing it. With codes of 7
// bits or more there are fewer strings than that, but small colour tables can fill a half:
// counting the strings of each half tells when, as that table would.
class THashTableHalves {
 public:
  void Clear() { startedAt_[0] = startedAt_[1] = startedAt_[2] = 0; }
  // Whether the table that stores the strings so far has no room for key.
  bool Full(std::uint32_t key) const {
    const int half = kHalfOf[HomeSlot(key)];
    if (half == 2) return startedAt_[2] == kHalfSize;
    // Slot 0 holds the first string that starts there; the others go on into half 1.
    const bool full = startedAt_[1] + std::max(startedAt_[0] - 1, 0) == kHalfSize;
    return half == 1 ? full : full && startedAt_[0] > 0;
  }
  void Store(std::uint32_t key) { ++startedAt_[kHalfOf[HomeSlot(key)]]; }

 private:
  static constexpr int kSize = THashTable::Size;
  static constexpr int kHalfSize = (kSize - 1) / 2;
  static int HomeSlot(std::uint32_t key) { return static_cast<int>((key ^ (key >> 4)) % kSize); }
  // 0 for slot 0, 1 for the slots doubling runs through from 1 (8008 among them), 2 for the rest.
  static constexpr std::array<std::uint8_t, kSize> kHalfOf = [] {
    std::array<std::uint8_t, kSize> half{};
    half.fill(2);
    half[0] = 0;
    for (int i = 0, slot = 1; i < kHalfSize; ++i, slot = slot * 2 % kSize) half[static_cast<std::size_t>(slot)] = 1;
    return half;
  }();

  int startedAt_[3] = {0, 0, 0};  // strings stored by the half their probe starts in
};

}  // namespace

void TLZWEncoder::CompressBody() {
  // One pixel waits for the one before it (its prefix), so the loop keeps the encoder's state
  // in locals, finds strings in a table of short searches, and packs codes 32 bits at a time
  // into a buffer that goes to the sub-block writer in large pieces.
  TGIFWriter& out = *writer_;
  std::uint64_t bucket = bucket_;
  int held = bitsHeld_;
  int width = codeWidth_;
  int highest = highestCode_;
  bool pending = clearPending_;
  int nextFree = firstFreeCode_;
  const int initialWidth = initialWidth_;
  const int clearCode = clearCode_;
  const int firstFree = firstFreeCode_;
  const int limit = colorLimit_;
  // Only small colour tables leave room for enough strings to fill a half of the described table.
  const bool halvesCanFill = kMaxCode - firstFree > THashTable::Size / 2;

  TStringTable table;
  THashTableHalves halves;
  // Packed bytes wait here for the writer. The helpers below take the hot state by value or
  // are inlined, so that it stays in registers.
  constexpr std::size_t kBatch = 4096;
  std::uint8_t bytes[kBatch + 8];
  std::size_t filled = 0;
  const auto emit = [&out, &bytes](std::size_t count) { out.Write(bytes, count); };
  // Appends the whole bytes of the bucket, lowest bits first; returns the new fill.
  const auto drain = [&bytes](std::uint64_t bits, int count, std::size_t at) {
    for (; count >= 8; count -= 8, bits >>= 8) bytes[at++] = static_cast<std::uint8_t>(bits);
    return at;
  };
  const auto output = [&](int code) __attribute__((always_inline)) {
    bucket |= static_cast<std::uint64_t>(code) << held;
    held += width;
    if (held >= 32) {
      filled = drain(bucket, 32, filled);
      bucket >>= 32;
      held -= 32;
      if (filled >= kBatch) {
        emit(filled);
        filled = 0;
      }
    }
    if (nextFree > highest || pending) {
      if (pending) {
        width = initialWidth;
        highest = (1 << width) - 1;
        pending = false;
      } else {
        ++width;
        highest = width >= 12 ? 4096 : (1 << width) - 1;
      }
    }
  };
  const auto clear = [&]() __attribute__((always_inline)) {
    pending = true;
    output(clearCode);
    table.Clear();
    halves.Clear();
    nextFree = firstFree;
  };
  // The described encoder has put every whole byte of its codes into the writer when a pixel
  // is refused; so does this one.
  const auto refuse = [&emit, &drain](std::uint64_t bits, int count, std::size_t at) {
    emit(drain(bits, count, at));
    throw GIFException(sGIFColorNotInTable);
  };

  // The walk's runs: the whole image, or its rows in interlace order.
  const auto rowLength = static_cast<std::size_t>(width_);
  std::vector<int> rows;
  if (interlaced_) ForEachInterlacedRow(height_, [&rows](int row) { rows.push_back(row); });
  const std::size_t runLength = interlaced_ ? rowLength : rowLength * static_cast<std::size_t>(height_);
  const std::size_t runs = interlaced_ ? rows.size() : 1;

  clear();
  if (pixels_[interlaced_ ? static_cast<std::size_t>(rows[0]) * rowLength : 0] >= limit) refuse(bucket, held, filled);
  int prefix = -1;
  for (std::size_t r = 0; r < runs; ++r) {
    const std::uint8_t* pixel = pixels_ + (interlaced_ ? static_cast<std::size_t>(rows[r]) * rowLength : 0);
    const std::uint8_t* const end = pixel + runLength;
    if (prefix < 0) prefix = *pixel++;
    for (; pixel != end; ++pixel) {
      const int value = *pixel;
      if (value >= limit) refuse(bucket, held, filled);
      std::uint32_t slot = 0;
      const int code = table.Find(static_cast<std::uint32_t>(prefix), static_cast<std::uint32_t>(value), slot);
      if (code >= 0) {
        prefix = code;
        continue;
      }
      const std::uint32_t key = (static_cast<std::uint32_t>(prefix) << 8) | static_cast<std::uint32_t>(value);
      output(prefix);
      prefix = value;
      // Codes stop at 4094: the string that would need 4095 starts a new table. A string the
      // described table would have no room for clears as well.
      if (nextFree < kMaxCode && !(halvesCanFill && halves.Full(key))) {
        table.Store(slot, key, nextFree);
        if (halvesCanFill) halves.Store(key);
        ++nextFree;
      } else {
        clear();
      }
    }
  }
  output(prefix);
  filled = drain(bucket, held, filled);
  emit(filled);
  bucket >>= held & ~7;
  held &= 7;

  bucket_ = static_cast<std::uint32_t>(bucket);
  bitsHeld_ = held;
  codeWidth_ = width;
  highestCode_ = highest;
  clearPending_ = pending;
}

void TRLEEncoder::CompressBody() {
  bumpStart_ = clearCode_ - 1;
  clearLimitStart_ = bitsPerPixel_ <= 3 ? 9 : clearCode_ - 2;
  maxRunCodes_ = kMaxCode - firstFreeCode_;
  Clear();
  pixel_ = -1;
  int run = 0;
  WalkPixels([&](const std::uint8_t* pixels, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const int pixel = pixels[i];
      CheckPixel(pixel);
      if (run > 0 && pixel != pixel_) {
        Flush(run);
        run = 0;
      }
      if (pixel == pixel_) {
        ++run;
      } else {
        pixel_ = pixel;
        run = 1;
      }
    }
  });
  if (run > 0) Flush(run);
}

void TRLEEncoder::Clear() {
  nextBump_ = bumpStart_;
  clearLimit_ = clearLimitStart_;
  codesSinceClear_ = 0;
  tableSize_ = 0;
  clearPending_ = true;
  OutputBits(clearCode_);
  ResetWidth();
}

void TRLEEncoder::OutputPlain(int code) {
  clearPending_ = false;
  OutputBits(code);
  ++codesSinceClear_;
  // The decoder widens its codes when its next free entry reaches a power of two.
  if (codesSinceClear_ >= nextBump_) {
    nextBump_ += 1 << codeWidth_;
    ++codeWidth_;
  }
  if (codesSinceClear_ >= clearLimit_) Clear();
}

int TRLEEncoder::TriangleCount(int count) const {
  // Codes needed for a run of count pixels from an empty table: runs of 1, 2, 3, ...
  const std::int64_t perRound = static_cast<std::int64_t>(maxRunCodes_) * (maxRunCodes_ + 1) / 2;
  int cost = 0;
  std::int64_t left = count;
  while (left >= perRound) {
    cost += maxRunCodes_;
    left -= perRound;
  }
  if (left > 0) {
    auto k = static_cast<std::int64_t>(std::sqrt(static_cast<double>(2 * left)));
    while (k > 0 && k * (k + 1) >= 2 * left) --k;
    while (k * (k + 1) < 2 * left) ++k;
    cost += static_cast<int>(k);
  }
  return cost;
}

void TRLEEncoder::ResetClearLimit() {
  clearLimit_ = clearLimitStart_;
  if (codesSinceClear_ >= clearLimit_) Clear();
}

void TRLEEncoder::FlushFromClear(int count) {
  clearLimit_ = maxRunCodes_;
  tablePixel_ = pixel_;
  int step = 1;
  while (count > 0) {
    if (step == 1) {
      tableSize_ = 1;
      OutputPlain(pixel_);
      --count;
    } else if (count >= step) {
      tableSize_ = step;
      OutputPlain(firstFreeCode_ + step - 2);
      count -= step;
    } else {
      ++tableSize_;
      OutputPlain(count == 1 ? pixel_ : firstFreeCode_ + count - 2);
      count = 0;
    }
    step = codesSinceClear_ == 0 ? 1 : step + 1;
  }
  ResetClearLimit();
}

void TRLEEncoder::FlushWithTable(int count) {
  int repeats = count / tableSize_;
  int left = count % tableSize_;
  int leftCost = left > 0 ? 1 : 0;
  if (codesSinceClear_ + repeats + leftCost > maxRunCodes_) {
    repeats = maxRunCodes_ - codesSinceClear_;
    left = count - repeats * tableSize_;
    leftCost = TriangleCount(left) + 1;
  }
  if (TriangleCount(count) + 1 < repeats + leftCost) {
    Clear();
    FlushFromClear(count);
    return;
  }
  clearLimit_ = maxRunCodes_;
  for (; repeats > 0; --repeats) OutputPlain(firstFreeCode_ + tableSize_ - 2);
  if (left > 0) {
    if (clearPending_) FlushFromClear(left);
    else if (left == 1) OutputPlain(pixel_);
    else OutputPlain(firstFreeCode_ + left - 2);
  }
  ResetClearLimit();
}

void TRLEEncoder::Flush(int count) {
  if (count == 1) {
    OutputPlain(pixel_);
  } else if (clearPending_) {
    FlushFromClear(count);
  } else if (tableSize_ > 1 && tablePixel_ == pixel_) {
    FlushWithTable(count);
  } else if (TriangleCount(count) + 1 < count) {
    Clear();
    FlushFromClear(count);
  } else {
    for (; count > 0; --count) OutputPlain(pixel_);
  }
}

// Document stream.

void TGIFHeader::SaveToStream(TGIFStream& stream) {
  const int version = image_ != nullptr ? image_->Version() : 1;
  if (version == 0) throw GIFException(sGIFUnsupportedVersion);
  Prepare();
  const char* signature = version >= 2 ? "GIF89a" : "GIF87a";
  stream.Write(signature, 6);
  const std::uint8_t screen[7] = {static_cast<std::uint8_t>(descriptor_.ScreenWidth),
                                  static_cast<std::uint8_t>(descriptor_.ScreenWidth >> 8),
                                  static_cast<std::uint8_t>(descriptor_.ScreenHeight),
                                  static_cast<std::uint8_t>(descriptor_.ScreenHeight >> 8),
                                  descriptor_.PackedFields,
                                  descriptor_.BackgroundColorIndex,
                                  descriptor_.AspectRatio};
  stream.Write(screen, sizeof screen);
  // A decoder reads 2^(size field + 1) entries; the size field covers the local tables as
  // well, so the global table is padded to that size rather than to its own.
  if ((descriptor_.PackedFields & 0x80) != 0) WriteColorTable(stream, colorMap_, (descriptor_.PackedFields & 7) + 1);
}

void TGIFSubImage::SaveToStream(TGIFStream& stream) {
  extensions_.SaveToStream(stream);
  if (Empty()) return;
  Prepare();
  const std::uint8_t bytes[10] = {bsImageSeparator,
                                  static_cast<std::uint8_t>(descriptor_.Left),
                                  static_cast<std::uint8_t>(descriptor_.Left >> 8),
                                  static_cast<std::uint8_t>(descriptor_.Top),
                                  static_cast<std::uint8_t>(descriptor_.Top >> 8),
                                  static_cast<std::uint8_t>(descriptor_.Width),
                                  static_cast<std::uint8_t>(descriptor_.Width >> 8),
                                  static_cast<std::uint8_t>(descriptor_.Height),
                                  static_cast<std::uint8_t>(descriptor_.Height >> 8),
                                  descriptor_.PackedFields};
  stream.Write(bytes, sizeof bytes);

  if (colorMap_.Count() > 0) WriteColorTable(stream, colorMap_, colorMap_.BitsPerPixel());
  const TGIFImageDataFormat format = DataFormat();
  const int colorLimit = ColorLimit();
  // Data encoded the way this save writes it goes out as it is; any other way (a changed
  // table, code size or encoder, or an index the limit refuses) is encoded afresh.
  if (encoded_ && encoded_->Format() == format && encoded_->Width() == Width() && encoded_->Height() == Height() &&
      encoded_->HighestIndex() < colorLimit) {
    stream.Write(encoded_->Bytes().data(), encoded_->Bytes().size());
    return;
  }

  std::unique_ptr<TGIFEncoder> encoder;
  if (format.Encoding == encRLE) encoder = std::make_unique<TRLEEncoder>();
  else encoder = std::make_unique<TLZWEncoder>();
  if (image_ != nullptr) encoder->OnWarning = image_->OnWarning;
  std::vector<std::uint8_t> scratch;
  encoder->Compress(stream, format.BitsPerPixel, Width(), Height(), format.Interlaced, PixelsForReading(scratch),
                    colorLimit);
}

void TGIFTrailer::SaveToStream(TGIFStream& stream) { stream.WriteByte(bsTrailer); }

void TGIFImage::SaveToStream(TGIFStream& stream) {
  Progress(this, psStarting, 0, sGIFSaving);
  try {
    if (Version() == 0) throw GIFException(sGIFUnsupportedVersion);
    header_.SaveToStream(stream);
    const int count = images_.Count();
    for (int i = 0; i < count; ++i) {
      images_[i]->SaveToStream(stream);
      Progress(this, psRunning, GIFPercent(i + 1, count), sGIFSaving);
    }
    TGIFTrailer trailer(this);
    trailer.SaveToStream(stream);
  } catch (...) {
    Progress(this, psEnding, 0, sGIFSaving);
    throw;
  }
  Progress(this, psEnding, 100, sGIFSaving);
}

void TGIFImage::SaveToFile(const std::string& path, const std::function<bool()>& cancelled) {
  // Refused before a file is made, as the stream is.
  if (Version() == 0) throw GIFException(sGIFUnsupportedVersion);
  // Written as it is made: a GIF of encoded frames never needs its whole length in memory.
  TTemporaryFile file(path);
  TGIFFileWriteStream stream(file, cancelled);
  SaveToStream(stream);
  stream.Flush();
  file.Commit(TFileFlush::ffToDisk);
}

}  // namespace clipvane
