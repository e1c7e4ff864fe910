// Memory streams and byte helpers of the GIF library.
#include "gif/gif_stream.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "core/atomic_file.h"
#include "core/error.h"
#include "gif/gif_types.h"

namespace clipvane {

namespace {

// The position a seek asks for; never below 0.
std::uint64_t SeekTarget(std::int64_t offset, TSeekOrigin origin, std::size_t position, std::size_t size) {
  std::int64_t base = 0;
  if (origin == soCurrent) base = static_cast<std::int64_t>(position);
  if (origin == soEnd) base = static_cast<std::int64_t>(size);
  if ((offset < 0 && base + offset < 0) || (offset > 0 && base > std::numeric_limits<std::int64_t>::max() - offset))
    throw EClipvaneError(sGIFInvalidStreamOperation);
  return static_cast<std::uint64_t>(base + offset);
}

}  // namespace

int GIFPercent(std::int64_t a, std::int64_t b) {
  if (b <= 0) return 0;
  // a * 100 fits: stream positions and pixel rows are far below 2^56.
  const std::int64_t product = a * 100;
  const std::int64_t magnitude = (product < 0 ? -product : product);
  const std::int64_t rounded = (2 * magnitude + b) / (2 * b);
  return static_cast<int>(product < 0 ? -rounded : rounded);
}

std::uint64_t TGIFStream::Size() {
  const std::uint64_t here = Position();
  const std::uint64_t size = Seek(0, soEnd);
  Seek(static_cast<std::int64_t>(here), soBeginning);
  return size;
}

int TGIFStream::ReadByte() {
  std::uint8_t value = 0;
  return Read(&value, 1) == 1 ? value : -1;
}

void TGIFStream::WriteWord(std::uint16_t value) {
  const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
  Write(bytes, 2);
}

void TGIFStream::WriteDWord(std::uint32_t value) {
  const std::uint8_t bytes[4] = {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
                                 static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
  Write(bytes, 4);
}

std::size_t TGIFMemoryStream::Read(void* buffer, std::size_t count) {
  if (position_ >= bytes_.size()) return 0;
  const std::size_t n = std::min(count, bytes_.size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

void TGIFMemoryStream::Write(const void* data, std::size_t count) {
  if (count == 0) return;
  if (position_ + count > bytes_.size()) bytes_.resize(position_ + count);
  std::memcpy(bytes_.data() + position_, data, count);
  position_ += count;
}

std::uint64_t TGIFMemoryStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::uint64_t target = SeekTarget(offset, origin, position_, bytes_.size());
  if (target > std::numeric_limits<std::size_t>::max() / 2) throw EClipvaneError(sGIFInvalidStreamOperation);
  position_ = static_cast<std::size_t>(target);
  return target;
}

std::vector<std::uint8_t> TGIFMemoryStream::TakeBytes() {
  position_ = 0;
  return std::move(bytes_);
}

std::size_t TGIFSpanStream::Read(void* buffer, std::size_t count) {
  if (position_ >= bytes_.size()) return 0;
  const std::size_t n = std::min(count, bytes_.size() - position_);
  std::memcpy(buffer, bytes_.data() + position_, n);
  position_ += n;
  return n;
}

void TGIFSpanStream::Write(const void*, std::size_t) { throw EClipvaneError(sGIFInvalidStreamOperation); }

std::uint64_t TGIFSpanStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  const std::uint64_t target = SeekTarget(offset, origin, position_, bytes_.size());
  // Past the end reads nothing; keep the position representable.
  position_ = static_cast<std::size_t>(std::min<std::uint64_t>(target, bytes_.size()));
  return position_;
}

namespace {
// Big enough that a frame's data goes out in a few writes.
constexpr std::size_t kFileBufferBytes = std::size_t{1} << 16;
}  // namespace

TGIFFileWriteStream::TGIFFileWriteStream(TTemporaryFile& file, std::function<bool()> cancelled)
    : file_(file), cancelled_(std::move(cancelled)) {
  buffer_.reserve(kFileBufferBytes);
}

std::size_t TGIFFileWriteStream::Read(void*, std::size_t) { throw EClipvaneError(sGIFInvalidStreamOperation); }

std::uint64_t TGIFFileWriteStream::Seek(std::int64_t offset, TSeekOrigin origin) {
  if (offset == 0 && origin != soBeginning) return written_;
  throw EClipvaneError(sGIFInvalidStreamOperation);
}

void TGIFFileWriteStream::Write(const void* data, std::size_t count) {
  if (cancelled_ && cancelled_()) throw EClipvaneError(sGIFSaveCancelled);
  const auto* bytes = static_cast<const std::uint8_t*>(data);
  written_ += count;
  if (buffer_.size() + count > kFileBufferBytes) Flush();
  if (count >= kFileBufferBytes) {
    file_.Write(std::span<const std::uint8_t>(bytes, count));
    return;
  }
  buffer_.insert(buffer_.end(), bytes, bytes + count);
}

void TGIFFileWriteStream::Flush() {
  if (buffer_.empty()) return;
  file_.Write(buffer_);
  buffer_.clear();
}

void WriteSubBlocks(TGIFStream& stream, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const std::size_t n = std::min<std::size_t>(size, 255);
    stream.WriteByte(static_cast<std::uint8_t>(n));
    stream.Write(data, n);
    data += n;
    size -= n;
  }
}

}  // namespace clipvane
