// The packed-bitmap steps of an AVI frame: the stream's colours and the reading as a BMP.
#include "video/packed_frame.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

#include "core/error.h"

namespace clipvane {

namespace {

constexpr std::size_t kFileHeaderBytes = kBmpFileHeaderBytes;
constexpr std::size_t kInfoHeaderBytes = kBitmapInfoHeaderBytes;

std::uint16_t Get16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Get32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
void Put16(std::uint8_t* p, std::uint32_t v) {
  p[0] = static_cast<std::uint8_t>(v);
  p[1] = static_cast<std::uint8_t>(v >> 8);
}
void Put32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

[[noreturn]] void InvalidFrame(const char* why) {
  throw EClipvaneError(std::string("The AVI frame is not a valid bitmap: ") + why);
}

}  // namespace

void PutInfoHeader(std::uint8_t* p, int width, int height, int bits, std::uint32_t compression,
                   std::uint32_t imageBytes, std::uint32_t colorsUsed) {
  Put32(p, kInfoHeaderBytes);
  Put32(p + 4, static_cast<std::uint32_t>(width));
  Put32(p + 8, static_cast<std::uint32_t>(height));
  Put16(p + 12, 1);
  Put16(p + 14, static_cast<std::uint32_t>(bits));
  Put32(p + 16, compression);
  Put32(p + 20, imageBytes);
  Put32(p + 24, 0);
  Put32(p + 28, 0);
  Put32(p + 32, colorsUsed);
  Put32(p + 36, 0);
}

void TDecodeStream::Write(const void* data, std::size_t count) {
  const std::size_t end = start_ + size_ + count;
  if (storage_.size() < end) storage_.resize(end);
  std::memcpy(storage_.data() + start_ + size_, data, count);
  size_ += count;
}

std::span<std::uint8_t> TDecodeStream::PrepareFrame(std::size_t frameBytes, std::size_t alignedOffset) {
  constexpr std::size_t kAlignment = 64;
  // Some converters write a little past a row's last pixel; the slack keeps that in the buffer.
  constexpr std::size_t kSlack = 64;
  const std::size_t needed = kAlignment + kFileHeaderBytes + frameBytes + kSlack;
  if (storage_.size() < needed) storage_.resize(needed);
  const auto firstPixel = reinterpret_cast<std::uintptr_t>(storage_.data() + kFileHeaderBytes + alignedOffset);
  start_ = (kAlignment - firstPixel % kAlignment) % kAlignment;
  size_ = kFileHeaderBytes + frameBytes;
  return {storage_.data() + start_ + kFileHeaderBytes, frameBytes};
}

bool TDecodeStream::HoldsFrame(std::span<const std::uint8_t> frame) const {
  return size_ >= kFileHeaderBytes && frame.data() == storage_.data() + start_ + kFileHeaderBytes &&
         frame.size() == size_ - kFileHeaderBytes;
}

void CopyStreamPalette(std::span<std::uint8_t> packedFrame, std::span<const std::uint8_t> streamFormat) {
  if (streamFormat.size() < kInfoHeaderBytes || packedFrame.size() < kInfoHeaderBytes) return;
  const std::uint32_t streamColours = Get32(streamFormat.data() + 32);
  if (streamColours == 0) return;
  const int bits = Get16(packedFrame.data() + 14);
  if (bits != 1 && bits != 4 && bits != 8) return;  // no colour table in the frame
  const std::uint32_t headerBytes = Get32(packedFrame.data());
  if (headerBytes < kInfoHeaderBytes || headerBytes > packedFrame.size()) return;
  const std::uint32_t frameColours = Get32(packedFrame.data() + 32);
  std::size_t entries = frameColours != 0 ? frameColours : std::size_t{1} << bits;
  entries = std::min({entries, static_cast<std::size_t>(streamColours), (packedFrame.size() - headerBytes) / 4,
                      (streamFormat.size() - kInfoHeaderBytes) / 4});
  std::memcpy(packedFrame.data() + headerBytes, streamFormat.data() + kInfoHeaderBytes, entries * 4);
}

void LoadPackedFrame(std::span<const std::uint8_t> packedFrame, TDecodeStream& stream, TBitmap& bitmap) {
  if (packedFrame.size() < kInfoHeaderBytes) InvalidFrame("header cut off");
  const std::uint8_t* header = packedFrame.data();
  const std::uint32_t headerBytes = Get32(header);
  if (headerBytes < kInfoHeaderBytes || headerBytes > packedFrame.size()) InvalidFrame("bad header size");
  const std::int64_t width = static_cast<std::int32_t>(Get32(header + 4));
  const std::int64_t height = static_cast<std::int32_t>(Get32(header + 8));
  const int bits = Get16(header + 14);
  const std::uint32_t compression = Get32(header + 16);
  std::uint64_t imageBytes = Get32(header + 20);
  const std::uint32_t colorsUsed = Get32(header + 32);
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) InvalidFrame("bits per pixel");
  if (width <= 0 || width > TBitmap::MaxSide || height == 0 || height > TBitmap::MaxSide || -height > TBitmap::MaxSide)
    InvalidFrame("dimensions");

  std::uint64_t tableBytes = 0;
  if (bits <= 8) {
    const std::uint64_t entries = colorsUsed != 0 ? colorsUsed : std::uint64_t{1} << bits;
    if (entries > 256) InvalidFrame("colour table too large");
    tableBytes = entries * 4;
  } else if (compression == kBitFields) {
    tableBytes = 12;
  }
  if (imageBytes == 0) {
    const auto rowBytes = static_cast<std::uint64_t>((width * bits + 31) / 32 * 4);
    imageBytes = rowBytes * static_cast<std::uint64_t>(height < 0 ? -height : height);
  }
  const std::uint64_t frameBytes = headerBytes + tableBytes + imageBytes;
  if (frameBytes > packedFrame.size()) InvalidFrame("pixels cut off");
  if (kFileHeaderBytes + frameBytes > std::numeric_limits<std::uint32_t>::max()) InvalidFrame("too large");

  std::uint8_t fileHeader[kFileHeaderBytes] = {'B', 'M'};
  Put32(fileHeader + 2, 0);  // file size: not needed to read the picture
  Put16(fileHeader + 6, 0);
  Put16(fileHeader + 8, 0);
  Put32(fileHeader + 10, static_cast<std::uint32_t>(kFileHeaderBytes + headerBytes + tableBytes));
  if (stream.HoldsFrame(packedFrame)) {
    std::memcpy(stream.Begin(), fileHeader, kFileHeaderBytes);
  } else {
    stream.Clear();
    stream.Write(fileHeader, kFileHeaderBytes);
    stream.Write(packedFrame.data(), static_cast<std::size_t>(frameBytes));
  }
  bitmap.LoadFromBMP(stream.Data());
}

void PackedFrameToBitmap(std::span<std::uint8_t> packedFrame, std::span<const std::uint8_t> streamFormat,
                         TDecodeStream& stream, TBitmap& bitmap) {
  CopyStreamPalette(packedFrame, streamFormat);
  LoadPackedFrame(packedFrame, stream, bitmap);
}

}  // namespace clipvane
