// BMP reading and writing for TBitmap, and whole-file helpers.
// Reading checks every size against the data before touching it: a malformed file throws.
#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <limits>

#include "core/atomic_file.h"
#include "core/bitmap.h"
#include "core/error.h"
#include "core/file_checks.h"
#include "core/pixel_rows.h"

namespace clipvane {

namespace {

constexpr std::uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;

std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
std::uint32_t Le32(const std::uint8_t* p) {
  return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}
void Put16(std::vector<std::uint8_t>& out, unsigned v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

[[noreturn]] void Invalid(const char* why) { throw EClipvaneError(std::string("Bitmap image is not valid: ") + why); }

// One channel described by a bit mask, widened to 8 bits.
struct TMaskChannel {
  std::uint32_t mask = 0;
  int shift = 0;
  std::uint32_t maximum = 0;

  explicit TMaskChannel(std::uint32_t m) : mask(m) {
    if (m == 0) return;
    shift = std::countr_zero(m);
    const std::uint32_t bits = m >> shift;
    if ((bits & (bits + 1)) != 0) Invalid("colour masks are not contiguous");
    maximum = bits;
  }
  std::uint8_t Extract(std::uint32_t pixel) const {
    if (maximum == 0) return 0;
    return static_cast<std::uint8_t>((((pixel & mask) >> shift) * 255u + maximum / 2) / maximum);
  }
};

struct TBmpHeader {
  std::uint32_t headerSize = 0;
  std::int64_t width = 0;
  std::int64_t height = 0;  // positive: bottom-up rows
  int bits = 0;
  std::uint32_t compression = kRgb;
  std::uint32_t imageSize = 0;
  std::uint32_t colorsUsed = 0;
  std::uint32_t masks[3] = {0, 0, 0};
  std::size_t paletteOffset = 0;
  std::size_t paletteEntrySize = 4;
};

TBmpHeader ReadHeader(std::span<const std::uint8_t> data) {
  TBmpHeader h;
  if (data.size() < 14 + 12) Invalid("file too short");
  if (data[0] != 'B' || data[1] != 'M') Invalid("no BM signature");
  h.headerSize = Le32(&data[14]);
  const std::uint8_t* info = &data[14];
  if (h.headerSize == 12) {
    h.width = Le16(info + 4);
    h.height = static_cast<std::int16_t>(Le16(info + 6));
    h.bits = Le16(info + 10);
    h.paletteEntrySize = 3;
  } else if (h.headerSize >= 40 && h.headerSize <= 124) {
    if (data.size() < 14 + std::size_t{h.headerSize}) Invalid("header cut off");
    h.width = static_cast<std::int32_t>(Le32(info + 4));
    h.height = static_cast<std::int32_t>(Le32(info + 8));
    h.bits = Le16(info + 14);
    h.compression = Le32(info + 16);
    h.imageSize = Le32(info + 20);
    h.colorsUsed = Le32(info + 32);
  } else {
    Invalid("unknown header size");
  }
  h.paletteOffset = 14 + std::size_t{h.headerSize};
  if (h.compression == kBitFields || h.compression == kAlphaBitFields) {
    if (h.bits != 16 && h.bits != 32) Invalid("bit fields need 16 or 32 bits per pixel");
    // Version 4 and 5 headers carry the masks; a 40-byte header is followed by them.
    const std::size_t at = h.headerSize >= 52 ? 14 + 40 : h.paletteOffset;
    if (data.size() < at + 12) Invalid("colour masks cut off");
    for (int i = 0; i < 3; ++i) h.masks[i] = Le32(&data[at + 4 * i]);
    if (h.headerSize < 52) h.paletteOffset += h.compression == kAlphaBitFields ? 16 : 12;
  } else if (h.compression == kRle8) {
    if (h.bits != 8) Invalid("RLE8 needs 8 bits per pixel");
  } else if (h.compression == kRle4) {
    if (h.bits != 4) Invalid("RLE4 needs 4 bits per pixel");
  } else if (h.compression != kRgb) {
    Invalid("unsupported compression");
  }
  if (h.bits != 1 && h.bits != 4 && h.bits != 8 && h.bits != 16 && h.bits != 24 && h.bits != 32)
    Invalid("unsupported bits per pixel");
  if (h.width <= 0 || h.height == 0 || h.width > TBitmap::MaxSide || h.height > TBitmap::MaxSide ||
      -h.height > TBitmap::MaxSide)
    Invalid("absurd dimensions");
  if ((h.compression == kRle4 || h.compression == kRle8) && h.height < 0) Invalid("top-down RLE");
  return h;
}

TPixelFormat FormatFor(const TBmpHeader& h) {
  switch (h.bits) {
    case 1:
      return TPixelFormat::pf1bit;
    case 4:
      return TPixelFormat::pf4bit;
    case 8:
      return TPixelFormat::pf8bit;
    case 16:
      if (h.compression == kRgb || (h.masks[0] == 0x7C00 && h.masks[1] == 0x03E0 && h.masks[2] == 0x001F))
        return TPixelFormat::pf15bit;
      if (h.masks[0] == 0xF800 && h.masks[1] == 0x07E0 && h.masks[2] == 0x001F) return TPixelFormat::pf16bit;
      return TPixelFormat::pf24bit;  // unusual masks: widened to 8 bits a channel
    case 24:
      return TPixelFormat::pf24bit;
    default:
      return TPixelFormat::pf32bit;
  }
}

// Run-length data into an index bitmap; runs past a row's end or the last row are clipped.
// The column never goes past the width: what lies beyond the row's end is not drawn until
// the next end of line, so millions of runs or deltas on one row cannot wrap it round.
void DecodeRle(std::span<const std::uint8_t> rle, bool fourBits, TBitmap& target) {
  const int width = target.Width(), height = target.Height();
  const int bits = fourBits ? 4 : 8;
  int x = 0, line = 0;  // 0 <= x <= width; line counts from the bottom row
  std::size_t i = 0;
  // Draws the first `count` pixels of a run that fit before the row's end; pixel(k) is the
  // index of the run's pixel k.
  auto draw = [&](int count, auto pixel) {
    const int drawn = std::min(count, width - x);
    std::uint8_t* row = target.ScanLine(height - 1 - line);
    for (int k = 0; k < drawn; ++k) WriteIndex(row, x + k, bits, pixel(k));
    x += drawn;
  };
  while (i + 1 < rle.size() && line < height) {
    const int count = rle[i], value = rle[i + 1];
    i += 2;
    if (count > 0) {
      draw(count, [&](int k) { return fourBits ? ((k & 1) ? (value & 0x0F) : (value >> 4)) : value; });
    } else if (value == 0) {
      x = 0;
      ++line;
    } else if (value == 1) {
      return;
    } else if (value == 2) {
      if (i + 1 >= rle.size()) Invalid("run-length data cut off");
      x = std::min(x + rle[i], width);
      line += rle[i + 1];  // at most 255 past the last row: the loop ends there
      i += 2;
    } else {
      const std::size_t bytes = fourBits ? (static_cast<std::size_t>(value) + 1) / 2 : static_cast<std::size_t>(value);
      if (i + bytes > rle.size()) Invalid("run-length data cut off");
      const std::uint8_t* run = rle.data() + i;
      draw(value, [&](int k) {
        const std::uint8_t b = run[fourBits ? k / 2 : k];
        return fourBits ? ((k & 1) ? (b & 0x0F) : (b >> 4)) : int{b};
      });
      i += (bytes + 1) & ~std::size_t{1};  // absolute runs are padded to 16 bits
    }
  }
  // Data that stops before the end marker with rows still to come is a cut file.
  if (line < height) Invalid("run-length data cut off");
}

}  // namespace

void TBitmap::LoadFromBMP(std::span<const std::uint8_t> data) {
  const TBmpHeader h = ReadHeader(data);
  const std::size_t pixelOffset = Le32(&data[10]);
  const int width = static_cast<int>(h.width);
  const int height = static_cast<int>(h.height < 0 ? -h.height : h.height);

  TBitmap result;
  const TPixelFormat format = FormatFor(h);
  if (IsPaletteFormat(format)) {
    const std::size_t limit = std::size_t{1} << h.bits;
    std::size_t entries = h.colorsUsed != 0 ? h.colorsUsed : limit;
    if (entries > limit) entries = limit;
    if (h.paletteOffset + entries * h.paletteEntrySize > data.size()) Invalid("colour table cut off");
    std::vector<TRGBQuad> palette(entries);
    for (std::size_t e = 0; e < entries; ++e) {
      const std::uint8_t* p = &data[h.paletteOffset + e * h.paletteEntrySize];
      palette[e] = TRGBQuad{p[0], p[1], p[2], 0};
    }
    result.palette_ = std::move(palette);
  }
  if (pixelOffset < h.paletteOffset || pixelOffset > data.size()) Invalid("bad pixel offset");
  const std::span<const std::uint8_t> pixels = data.subspan(pixelOffset);
  const bool rle = h.compression == kRle4 || h.compression == kRle8;
  const std::size_t stride = RowStride(width, h.bits == 16   ? TPixelFormat::pf16bit
                                              : h.bits == 32 ? TPixelFormat::pf32bit
                                                             : FormatFor(h));
  // An image size of 0 (allowed for plain RGB) is computed from the dimensions. Checked before
  // the picture is allocated, so a header's claim alone costs no memory.
  if (!rle && stride * static_cast<std::size_t>(height) > pixels.size()) Invalid("pixel data cut off");
  if (rle && static_cast<long long>(width) * height > MaxPicturePixels) Invalid("run-length picture too large");
  result.Allocate(width, height, format);

  if (rle) {
    const std::size_t size = h.imageSize != 0 && h.imageSize < pixels.size() ? h.imageSize : pixels.size();
    DecodeRle(pixels.first(size), h.compression == kRle4, result);
    *this = std::move(result);
    return;
  }
  const bool plainMasks = format != TPixelFormat::pf24bit || h.bits == 24;
  const bool plain32 = h.bits != 32 || h.compression == kRgb ||
                       (h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF);
  if (plainMasks && plain32) {
    const std::size_t copy = result.stride_;
    for (int y = 0; y < height; ++y) {
      const int sourceRow = h.height > 0 ? height - 1 - y : y;
      std::memcpy(result.ScanLine(y), pixels.data() + stride * static_cast<std::size_t>(sourceRow), copy);
    }
  } else {
    const TMaskChannel red(h.masks[0]), green(h.masks[1]), blue(h.masks[2]);
    for (int y = 0; y < height; ++y) {
      const int sourceRow = h.height > 0 ? height - 1 - y : y;
      const std::uint8_t* in = pixels.data() + stride * static_cast<std::size_t>(sourceRow);
      std::uint8_t* out = result.ScanLine(y);
      const int step = h.bits / 8, outStep = format == TPixelFormat::pf32bit ? 4 : 3;
      for (int x = 0; x < width; ++x) {
        const std::uint32_t v = step == 2 ? Le16(in + 2 * x) : Le32(in + 4 * x);
        out[outStep * x] = blue.Extract(v);
        out[outStep * x + 1] = green.Extract(v);
        out[outStep * x + 2] = red.Extract(v);
        if (outStep == 4) out[4 * x + 3] = 0;
      }
    }
  }
  *this = std::move(result);
}

std::vector<std::uint8_t> TBitmap::SaveToBMP() const {
  const bool palette = IsPaletteFormat(format_);
  const bool bitFields = format_ == TPixelFormat::pf16bit;
  const std::size_t tableBytes = palette ? palette_.size() * 4 : bitFields ? 12 : 0;
  const std::size_t imageBytes = stride_ * static_cast<std::size_t>(height_);
  const std::size_t offset = 14 + 40 + tableBytes;
  if (offset + imageBytes > std::numeric_limits<std::uint32_t>::max())
    throw EClipvaneError("Image too large for a BMP file");
  std::vector<std::uint8_t> out;
  out.reserve(offset + imageBytes);
  out.push_back('B');
  out.push_back('M');
  Put32(out, static_cast<std::uint32_t>(offset + imageBytes));
  Put32(out, 0);
  Put32(out, static_cast<std::uint32_t>(offset));
  Put32(out, 40);
  Put32(out, static_cast<std::uint32_t>(width_));
  Put32(out, static_cast<std::uint32_t>(height_));
  Put16(out, 1);
  Put16(out, static_cast<unsigned>(BitsPerPixel(format_)));
  Put32(out, bitFields ? kBitFields : kRgb);
  Put32(out, static_cast<std::uint32_t>(imageBytes));
  Put32(out, 3780);  // 96 dots per inch
  Put32(out, 3780);
  Put32(out, palette ? static_cast<std::uint32_t>(palette_.size()) : 0);
  Put32(out, 0);
  if (palette) {
    for (const auto& entry : palette_) {
      out.push_back(entry.Blue);
      out.push_back(entry.Green);
      out.push_back(entry.Red);
      out.push_back(0);
    }
  } else if (bitFields) {
    Put32(out, 0xF800);
    Put32(out, 0x07E0);
    Put32(out, 0x001F);
  }
  for (int y = height_ - 1; y >= 0; --y) out.insert(out.end(), ScanLine(y), ScanLine(y) + stride_);
  return out;
}

void TBitmap::LoadFromFile(const std::string& path) { LoadFromBMP(ReadFileBytes(path)); }

void TBitmap::SaveToFile(const std::string& path) const { WriteFileAtomically(path, SaveToBMP()); }

std::vector<std::uint8_t> ReadFileBytes(const std::string& path) {
  // A folder opens as a stream whose length reads as 2^63: refused before anything is sized.
  RefuseFolder(path);
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    const int error = errno;
    throw EClipvaneError("Cannot open file \"" + path + "\"", path,
                         error != 0 ? std::strerror(error) : "the file cannot be opened");
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  if (size < 0) throw EClipvaneError("Cannot read file \"" + path + "\"");
  in.seekg(0, std::ios::beg);
  std::vector<std::uint8_t> data(static_cast<std::size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char*>(data.data()), size))
    throw EClipvaneError("Cannot read file \"" + path + "\"");
  return data;
}

}  // namespace clipvane
