// The GIF stream writer: header, logical screen, colour tables, frames with their
// extensions and image data, trailer; and the LZW and run-length encoders behind the data.
#include "gif/gif_writer.h"

#include <algorithm>
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

void TLZWEncoder::CompressBody() {
  // The loop keeps the encoder state in locals; it runs once per pixel.
  TGIFWriter& out = *writer_;
  std::uint32_t bucket = bucket_;
  int held = bitsHeld_;
  int width = codeWidth_;
  int highest = highestCode_;
  bool pending = clearPending_;
  int nextFree = firstFreeCode_;
  const int initialWidth = initialWidth_;
  const int clearCode = clearCode_;
  const int firstFree = firstFreeCode_;
  const int limit = colorLimit_;

  auto output = [&](int code) {
    bucket |= static_cast<std::uint32_t>(code) << held;
    held += width;
    while (held >= 8) {
      out.Put(static_cast<std::uint8_t>(bucket));
      bucket >>= 8;
      held -= 8;
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
  auto clear = [&] {
    pending = true;
    output(clearCode);
    table_.Clear();
    nextFree = firstFree;
  };

  table_.Clear();
  clear();
  int prefix = -1;
  WalkPixels([&](const std::uint8_t* run, std::size_t count) {
    std::size_t i = 0;
    if (prefix < 0) {
      if (run[0] >= limit) throw GIFException(sGIFColorNotInTable);
      prefix = run[0];
      i = 1;
    }
    for (; i < count; ++i) {
      const int pixel = run[i];
      if (pixel >= limit) throw GIFException(sGIFColorNotInTable);
      const std::uint32_t key = (static_cast<std::uint32_t>(prefix) << 8) | static_cast<std::uint32_t>(pixel);
      int slot = -1;
      const int code = table_.Lookup(key, &slot);
      if (code >= 0) {
        prefix = code;
        continue;
      }
      output(prefix);
      prefix = pixel;
      // Codes stop at 4094: the string that would need 4095 starts a new table. A key
      // whose whole probe sequence is taken cannot be stored either, and clears as well.
      if (nextFree < kMaxCode && slot >= 0) {
        table_.StoreAt(slot, key, nextFree);
        ++nextFree;
      } else {
        clear();
      }
    }
  });
  output(prefix);

  bucket_ = bucket;
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
