// PNG encoding through libpng into memory. libpng leaves an error by longjmp, so every libpng
// call that can fail runs in a small frame that owns the jump target and holds nothing with a
// destructor; the C++ side turns a failure into an exception.
#include "imageio/png_writer.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <new>

#include <png.h>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/pixel_rows.h"

namespace clipvane {

namespace {

// Chosen by measuring the frames of the benchmark videos (bench/extract_png_vs_ffmpeg.sh):
// zlib level 3 with each row's choice of the Sub and Up filters wrote RGB frames 0.7 to 1.0
// times the size of ffmpeg's (unfiltered, level 6) for less processor time. Adding Average
// and Paeth made the files no smaller (noisy frames larger) and took half as long again;
// level 4 saved 2 % for 15 % more time. Palette rows, and RGB frames of 256 colours or fewer
// (a palette video in 24 bits: 5.4 MB unfiltered against 8.8 MB filtered), compress best
// unfiltered: a filter turns their repeated colours into differences that repeat less.
constexpr int kCompressionLevel = 3;
constexpr int kRgbFilters = PNG_FILTER_SUB | PNG_FILTER_UP;
constexpr int kFewColours = 256;

struct TPngSink {
  std::vector<std::uint8_t>* output = nullptr;
  bool outOfMemory = false;
  char message[256] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* sink = static_cast<TPngSink*>(png_get_error_ptr(png));
  std::snprintf(sink->message, sizeof sink->message, "%s", message ? message : "unknown error");
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

void WritePngData(png_structp png, png_bytep data, std::size_t length) {
  auto* sink = static_cast<TPngSink*>(png_get_io_ptr(png));
  bool grown = true;
  try {
    sink->output->insert(sink->output->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    grown = false;
  }
  // The error jumps, so it is raised only once the exception is fully handled.
  if (!grown) {
    sink->outOfMemory = true;
    png_error(png, "out of memory");
  }
}

void FlushPngData(png_structp) {}

// What the header says: depth, colour type, the table of a palette picture and the true
// precision of widened channels; and the row filters to choose from.
struct TPngHeader {
  int width = 0;
  int height = 0;
  int depth = 8;
  int colorType = PNG_COLOR_TYPE_RGB;
  std::vector<png_color> palette;
  png_color_8 significantBits{};
  bool hasSignificantBits = false;
  int filters = PNG_FILTER_NONE;
};

// The guarded steps: only trivially destructible locals between setjmp and the libpng call.
bool TryWriteHeader(png_structp png, png_infop info, const TPngHeader* header) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, static_cast<png_uint_32>(header->width), static_cast<png_uint_32>(header->height),
               header->depth, header->colorType, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (header->colorType == PNG_COLOR_TYPE_PALETTE)
    png_set_PLTE(png, info, header->palette.data(), static_cast<int>(header->palette.size()));
  if (header->hasSignificantBits) {
    png_color_8 bits = header->significantBits;
    png_set_sBIT(png, info, &bits);
  }
  png_set_compression_level(png, kCompressionLevel);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, header->filters);
  png_write_info(png, info);
  // Rows are handed over blue, green, red, as the bitmap keeps them.
  if (header->colorType == PNG_COLOR_TYPE_RGB) png_set_bgr(png);
  return true;
}

bool TryWriteRow(png_structp png, png_const_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_row(png, row);
  return true;
}

bool TryWriteEnd(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_write_end(png, info);
  return true;
}

class TPngWriter {
 public:
  explicit TPngWriter(std::vector<std::uint8_t>& output) {
    sink_.output = &output;
    png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, &sink_, OnPngError, OnPngWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (!png_ || !info_) {
      Release();
      throw std::bad_alloc();
    }
    png_set_write_fn(png_, &sink_, WritePngData, FlushPngData);
  }
  ~TPngWriter() { Release(); }
  TPngWriter(const TPngWriter&) = delete;
  TPngWriter& operator=(const TPngWriter&) = delete;

  png_structp Png() const { return png_; }
  png_infop Info() const { return info_; }
  void Check(bool succeeded) const {
    if (succeeded) return;
    // Out of memory travels as such, so that callers can tell it from a broken picture.
    if (sink_.outOfMemory) throw std::bad_alloc();
    throw EClipvaneError(std::string("PNG encoding failed: ") + sink_.message);
  }

 private:
  void Release() {
    if (png_) png_destroy_write_struct(&png_, info_ ? &info_ : nullptr);
  }

  TPngSink sink_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// The largest palette index any pixel uses.
int LargestIndex(const TBitmap& bitmap, int bits) {
  int largest = 0;
  for (int y = 0; y < bitmap.Height() && largest < (1 << bits) - 1; ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    for (int x = 0; x < bitmap.Width(); ++x) largest = std::max(largest, ReadIndex(row, x, bits));
  }
  return largest;
}

// Whether the bitmap's pixels have at most kFewColours colours; stops at the first colour
// beyond, which a natural picture reaches within a few rows.
bool HasFewColours(const TBitmap& bitmap) {
  // Open addressing over twice the colours it may hold; a slot holds colour + 1, 0 is free.
  std::vector<std::uint32_t> slots(2 * (kFewColours + 1), 0);
  int colours = 0;
  std::vector<std::uint8_t> bgr(static_cast<std::size_t>(bitmap.Width()) * 3);
  for (int y = 0; y < bitmap.Height(); ++y) {
    ReadRowBGR(bitmap, y, 0, bitmap.Width(), bgr.data());
    for (std::size_t i = 0; i < bgr.size(); i += 3) {
      const std::uint32_t key =
          (std::uint32_t{bgr[i]} | (std::uint32_t{bgr[i + 1]} << 8) | (std::uint32_t{bgr[i + 2]} << 16)) + 1;
      std::size_t slot = (key * 2654435761u) % slots.size();
      while (slots[slot] != 0 && slots[slot] != key) slot = (slot + 1) % slots.size();
      if (slots[slot] == key) continue;
      if (++colours > kFewColours) return false;
      slots[slot] = key;
    }
  }
  return true;
}

TPngHeader HeaderOf(const TBitmap& bitmap) {
  TPngHeader header;
  header.width = bitmap.Width();
  header.height = bitmap.Height();
  const TPixelFormat format = bitmap.PixelFormat();
  if (IsPaletteFormat(format)) {
    const int bits = BitsPerPixel(format);
    header.depth = bits;
    header.colorType = PNG_COLOR_TYPE_PALETTE;
    // Every index used needs an entry; one the table lacks is black, as a BMP reader shows it.
    const std::size_t tableEntries = std::min(bitmap.Palette().size(), std::size_t{1} << bits);
    const std::size_t entries = std::max(tableEntries, static_cast<std::size_t>(LargestIndex(bitmap, bits)) + 1);
    header.palette.resize(entries, png_color{0, 0, 0});
    for (std::size_t i = 0; i < tableEntries; ++i) {
      const TRGBQuad& quad = bitmap.Palette()[i];
      header.palette[i] = png_color{quad.Red, quad.Green, quad.Blue};
    }
  } else {
    if (format == TPixelFormat::pf15bit || format == TPixelFormat::pf16bit) {
      header.hasSignificantBits = true;
      header.significantBits.red = 5;
      header.significantBits.green = format == TPixelFormat::pf16bit ? 6 : 5;
      header.significantBits.blue = 5;
    }
    header.filters = HasFewColours(bitmap) ? PNG_FILTER_NONE : kRgbFilters;
  }
  return header;
}

}  // namespace

std::vector<std::uint8_t> EncodePNG(const TBitmap& bitmap) {
  if (bitmap.Empty()) throw EClipvaneError("Cannot write an empty picture as PNG");
  const TPngHeader header = HeaderOf(bitmap);
  // Palette and 24-bit rows go to libpng as they are; 15-, 16- and 32-bit rows through a
  // blue-green-red row of their own.
  const bool direct = header.colorType == PNG_COLOR_TYPE_PALETTE || bitmap.PixelFormat() == TPixelFormat::pf24bit;
  std::vector<std::uint8_t> rowBuffer(direct ? 0 : static_cast<std::size_t>(bitmap.Width()) * 3);

  std::vector<std::uint8_t> output;
  // About what a frame of a video compresses to; the vector grows when it needs to.
  output.reserve(bitmap.Bits().size() / 2 + 1024);
  TPngWriter writer(output);
  writer.Check(TryWriteHeader(writer.Png(), writer.Info(), &header));
  for (int y = 0; y < bitmap.Height(); ++y) {
    const std::uint8_t* row = bitmap.ScanLine(y);
    if (!direct) {
      ReadRowBGR(bitmap, y, 0, bitmap.Width(), rowBuffer.data());
      row = rowBuffer.data();
    }
    writer.Check(TryWriteRow(writer.Png(), row));
  }
  writer.Check(TryWriteEnd(writer.Png(), writer.Info()));
  return output;
}

void SaveToPNG(const TBitmap& bitmap, const std::string& path) {
  std::vector<std::uint8_t> bytes;
  try {
    bytes = EncodePNG(bitmap);
  } catch (const EClipvaneError& error) {
    throw EClipvaneError("Cannot write file \"" + path + "\": " + error.what());
  }
  WriteFileAtomically(path, bytes);
}

}  // namespace clipvane
