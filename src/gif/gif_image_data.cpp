// Encoded image data of a frame: made by the stream writer's encoders, decoded by a plain
// LZW decoder of its own (the reader's, with its warnings, is not linked by writers).
#include "gif/gif_image_data.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "gif/gif_stream.h"
#include "gif/gif_writer.h"

namespace clipvane {

namespace {

constexpr int kTableSize = 4096;

// Codes least significant bit first across the data sub-blocks, up to the terminator.
class TCodeReader {
 public:
  TCodeReader(const std::uint8_t* data, const std::uint8_t* end) : data_(data), end_(end) {}

  // The next code of `width` bits; -1 when the sub-blocks end first.
  int Next(int width) {
    while (held_ < width) {
      if (left_ == 0) {
        if (data_ >= end_) return -1;
        left_ = *data_++;
        if (left_ == 0 || left_ > end_ - data_) return -1;
      }
      bucket_ |= static_cast<std::uint32_t>(*data_++) << held_;
      held_ += 8;
      --left_;
    }
    const int code = static_cast<int>(bucket_ & ((1u << width) - 1));
    bucket_ >>= width;
    held_ -= width;
    return code;
  }

 private:
  const std::uint8_t* data_;
  const std::uint8_t* end_;
  std::ptrdiff_t left_ = 0;  // bytes left in the current sub-block
  std::uint32_t bucket_ = 0;
  int held_ = 0;
};

[[noreturn]] void InvalidData() { throw GIFException(sGIFInvalidData); }

}  // namespace

std::shared_ptr<const TGIFEncodedImage> TGIFEncodedImage::Encode(const TGIFImageDataFormat& format, int width,
                                                                 int height, const std::uint8_t* pixels) {
  if (width <= 0 || height <= 0 || pixels == nullptr) throw GIFException(sGIFInvalidImageDimensions);
  const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  const int highest = *std::max_element(pixels, pixels + count);
  if (highest >= (1 << std::clamp(format.BitsPerPixel, 2, 8))) return nullptr;

  TGIFMemoryStream stream;
  std::unique_ptr<TGIFEncoder> encoder;
  if (format.Encoding == encRLE) encoder = std::make_unique<TRLEEncoder>();
  else encoder = std::make_unique<TLZWEncoder>();
  // Every index fits the code size, so no colour limit can stop the encoder here; the limit
  // of the save is checked against HighestIndex() then.
  encoder->Compress(stream, format.BitsPerPixel, width, height, format.Interlaced, pixels, 256);

  std::shared_ptr<TGIFEncodedImage> encoded(new TGIFEncodedImage());
  encoded->bytes_ = stream.TakeBytes();
  encoded->bytes_.shrink_to_fit();
  encoded->format_ = format;
  encoded->width_ = width;
  encoded->height_ = height;
  encoded->highestIndex_ = highest;
  return encoded;
}

std::shared_ptr<const TGIFEncodedImage> TGIFEncodedImage::FromBytes(std::vector<std::uint8_t> bytes,
                                                                    const TGIFImageDataFormat& format, int width,
                                                                    int height) {
  if (width <= 0 || height <= 0) throw GIFException(sGIFInvalidImageDimensions);
  // The code size byte, then sub-blocks up to a terminator that is the last byte.
  std::size_t at = 1;
  while (at < bytes.size() && bytes[at] != 0) at += std::size_t{1} + bytes[at];
  if (bytes.empty() || at + 1 != bytes.size()) InvalidData();
  std::shared_ptr<TGIFEncodedImage> encoded(new TGIFEncodedImage());
  encoded->bytes_ = std::move(bytes);
  encoded->format_ = format;
  encoded->width_ = width;
  encoded->height_ = height;
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  encoded->Decode(pixels.data());
  encoded->highestIndex_ = *std::max_element(pixels.begin(), pixels.end());
  return encoded;
}

void TGIFEncodedImage::Decode(std::uint8_t* pixels) const {
  const std::size_t count = static_cast<std::size_t>(width_) * static_cast<std::size_t>(height_);
  if (bytes_.empty() || count == 0) InvalidData();
  const int codeSize = bytes_[0];
  if (codeSize < 2 || codeSize > 8) InvalidData();

  std::vector<std::uint8_t> passes;
  std::uint8_t* target = pixels;
  if (format_.Interlaced) {
    passes.resize(count);
    target = passes.data();
  }

  // Each code's string: the code before it, its last and first pixel, and its length.
  std::array<std::uint16_t, kTableSize> prefix{};
  std::array<std::uint8_t, kTableSize> suffix{};
  std::array<std::uint8_t, kTableSize> first{};
  std::array<std::uint16_t, kTableSize> length{};
  const int clear = 1 << codeSize;
  const int end = clear + 1;
  for (int code = 0; code < clear; ++code) {
    suffix[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(code);
    first[static_cast<std::size_t>(code)] = static_cast<std::uint8_t>(code);
    length[static_cast<std::size_t>(code)] = 1;
  }

  TCodeReader reader(bytes_.data() + 1, bytes_.data() + bytes_.size());
  int width = codeSize + 1;
  int next = clear + 2;
  int previous = -1;
  std::size_t position = 0;
  const auto emit = [&](int code) {
    const std::size_t size = length[static_cast<std::size_t>(code)];
    if (size > count - position) InvalidData();
    for (std::size_t i = size; i-- > 0;) {
      target[position + i] = suffix[static_cast<std::size_t>(code)];
      code = prefix[static_cast<std::size_t>(code)];
    }
    position += size;
  };
  for (;;) {
    const int code = reader.Next(width);
    if (code < 0) InvalidData();
    if (code == clear) {
      width = codeSize + 1;
      next = clear + 2;
      previous = -1;
      continue;
    }
    if (code == end) break;
    if (previous < 0) {
      if (code > clear) InvalidData();
      emit(code);
      previous = code;
      continue;
    }
    if (code > next || (code == next && next >= kTableSize)) InvalidData();
    if (next < kTableSize) {
      const auto entry = static_cast<std::size_t>(next);
      const auto before = static_cast<std::size_t>(previous);
      prefix[entry] = static_cast<std::uint16_t>(previous);
      suffix[entry] = code < next ? first[static_cast<std::size_t>(code)] : first[before];
      first[entry] = first[before];
      length[entry] = static_cast<std::uint16_t>(length[before] + 1);
      ++next;
      if (next == (1 << width) && width < 12) ++width;
    }
    emit(code);
    previous = code;
  }
  if (position != count) InvalidData();

  if (format_.Interlaced) {
    const auto rowBytes = static_cast<std::size_t>(width_);
    std::size_t source = 0;
    ForEachInterlacedRow(height_, [&](int row) {
      std::memcpy(pixels + static_cast<std::size_t>(row) * rowBytes, passes.data() + source, rowBytes);
      source += rowBytes;
    });
  }
}

}  // namespace clipvane
