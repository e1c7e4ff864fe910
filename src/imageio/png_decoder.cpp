// PNG decoding through libpng. libpng leaves an error by longjmp, so every libpng call that
// can fail runs in a small frame that owns the jump target and holds nothing with a
// destructor; the C++ side turns a failure into an exception.
#include "imageio/png_decoder.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <png.h>

#include "core/error.h"
#include "imageio/picture_decoders.h"

namespace clipvane {

namespace {

struct TPngSource {
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  std::size_t position = 0;
  char message[256] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* source = static_cast<TPngSource*>(png_get_error_ptr(png));
  std::snprintf(source->message, sizeof source->message, "%s", message ? message : "unknown error");
  png_longjmp(png, 1);
}

// Warnings concern ancillary chunks the picture does not need; keep stderr quiet.
void OnPngWarning(png_structp, png_const_charp) {}

void ReadPngData(png_structp png, png_bytep out, std::size_t length) {
  auto* source = static_cast<TPngSource*>(png_get_io_ptr(png));
  if (length > source->size - source->position) png_error(png, "file is cut off");
  std::memcpy(out, source->data + source->position, length);
  source->position += length;
}

enum class TPngLayout { palette, bilevel, grey, rgba };

// The guarded steps: only trivially destructible locals between setjmp and the libpng call.
bool TryReadInfo(png_structp png, png_infop info) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  return true;
}

bool TrySetUp(png_structp png, png_infop info, TPngLayout layout, int* passes) {
  if (setjmp(png_jmpbuf(png))) return false;
  switch (layout) {
    case TPngLayout::palette:
      png_set_packing(png);
      break;
    case TPngLayout::bilevel:
      break;
    case TPngLayout::grey:
      png_set_expand_gray_1_2_4_to_8(png);
      png_set_scale_16(png);
      break;
    case TPngLayout::rgba:
      png_set_expand(png);  // low grey depths to 8 bits, a transparent colour to alpha
      png_set_scale_16(png);
      png_set_gray_to_rgb(png);
      png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
      break;
  }
  *passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  return true;
}

bool TryReadRow(png_structp png, png_bytep row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_row(png, row, nullptr);
  return true;
}

bool TryReadEnd(png_structp png) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_end(png, nullptr);
  return true;
}

class TPngReader {
 public:
  explicit TPngReader(std::span<const std::uint8_t> data) {
    source_.data = data.data();
    source_.size = data.size();
    png_ = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source_, OnPngError, OnPngWarning);
    if (png_) info_ = png_create_info_struct(png_);
    if (!png_ || !info_) {
      Release();
      throw EClipvaneError("Invalid PNG file: out of memory");
    }
    png_set_read_fn(png_, &source_, ReadPngData);
  }
  ~TPngReader() { Release(); }
  TPngReader(const TPngReader&) = delete;
  TPngReader& operator=(const TPngReader&) = delete;

  png_structp Png() const { return png_; }
  png_infop Info() const { return info_; }
  void Check(bool succeeded) const {
    if (!succeeded) throw EClipvaneError(std::string("Invalid PNG file: ") + source_.message);
  }

 private:
  void Release() {
    if (png_) png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
  }

  TPngSource source_;
  png_structp png_ = nullptr;
  png_infop info_ = nullptr;
};

// The colour table with transparent entries blended, padded with black to the full index
// range so that an index beyond the file's table reads as black, not as garbage.
std::vector<TRGBQuad> PaletteOf(png_structp png, png_infop info, TColor background, std::size_t entries) {
  png_colorp colours = nullptr;
  int count = 0;
  if (!png_get_PLTE(png, info, &colours, &count) || colours == nullptr)
    throw EClipvaneError("Invalid PNG file: colour table missing");
  png_bytep alpha = nullptr;
  int alphaCount = 0;
  png_color_16p unusedColour = nullptr;
  if (!png_get_tRNS(png, info, &alpha, &alphaCount, &unusedColour) || alpha == nullptr) alphaCount = 0;
  std::vector<TRGBQuad> palette(entries);
  for (std::size_t i = 0; i < entries && i < static_cast<std::size_t>(count); ++i) {
    const int a = i < static_cast<std::size_t>(alphaCount) ? alpha[i] : 255;
    palette[i].Red = BlendChannel(colours[i].red, GetRValue(background), a);
    palette[i].Green = BlendChannel(colours[i].green, GetGValue(background), a);
    palette[i].Blue = BlendChannel(colours[i].blue, GetBValue(background), a);
  }
  return palette;
}

}  // namespace

TBitmap DecodePng(std::span<const std::uint8_t> data, TColor background) {
  static constexpr std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (data.size() < 8 || std::memcmp(data.data(), kSignature, 8) != 0)
    throw EClipvaneError("Invalid PNG file: no PNG signature");
  TPngReader reader(data);
  png_structp png = reader.Png();
  png_infop info = reader.Info();
  reader.Check(TryReadInfo(png, info));

  const long long width = png_get_image_width(png, info);
  const long long height = png_get_image_height(png, info);
  CheckPictureDimensions("PNG", width, height);
  const int colourType = png_get_color_type(png, info);
  const int depth = png_get_bit_depth(png, info);
  // Deflate gives at most about 1032 bytes for one: a file too short for the rows it claims
  // is refused before they are allocated.
  constexpr std::uint64_t kDeflateMaxRatio = 1032;
  const std::uint64_t storedRowBytes =
      (static_cast<std::uint64_t>(width) * png_get_channels(png, info) * static_cast<std::uint64_t>(depth) + 7) / 8;
  CheckDataCanFill("PNG", storedRowBytes * static_cast<std::uint64_t>(height), data.size(), kDeflateMaxRatio);
  const bool transparentColour = png_get_valid(png, info, PNG_INFO_tRNS) != 0;

  TPngLayout layout = TPngLayout::rgba;
  TPixelFormat format = TPixelFormat::pf24bit;
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    layout = TPngLayout::palette;
    format = depth == 1 ? TPixelFormat::pf1bit : depth <= 4 ? TPixelFormat::pf4bit : TPixelFormat::pf8bit;
  } else if (colourType == PNG_COLOR_TYPE_GRAY && !transparentColour) {
    layout = depth == 1 ? TPngLayout::bilevel : TPngLayout::grey;
    format = depth == 1 ? TPixelFormat::pf1bit : TPixelFormat::pf8bit;
  }
  int passes = 1;
  reader.Check(TrySetUp(png, info, layout, &passes));

  const std::size_t rowBytes = png_get_rowbytes(png, info);
  const std::size_t expected = layout == TPngLayout::rgba      ? static_cast<std::size_t>(width) * 4
                               : layout == TPngLayout::bilevel ? (static_cast<std::size_t>(width) + 7) / 8
                                                               : static_cast<std::size_t>(width);
  if (rowBytes != expected) throw EClipvaneError("Invalid PNG file: unexpected row layout");

  TBitmap bitmap(static_cast<int>(width), static_cast<int>(height), format);
  if (layout == TPngLayout::palette) {
    bitmap.SetPalette(PaletteOf(png, info, background, std::size_t{1} << BitsPerPixel(format)));
  } else if (layout == TPngLayout::bilevel) {
    bitmap.SetPalette({TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}});
  } else if (layout == TPngLayout::grey) {
    bitmap.SetPalette(GreyPalette256());
  }

  auto storeRow = [&](int y, const std::uint8_t* in) {
    std::uint8_t* out = bitmap.ScanLine(y);
    const int w = static_cast<int>(width);
    switch (layout) {
      case TPngLayout::bilevel:
      case TPngLayout::grey:
        std::memcpy(out, in, rowBytes);
        break;
      case TPngLayout::palette:
        for (int x = 0; x < w; ++x) {
          const int index = in[x];
          if (format == TPixelFormat::pf8bit) {
            out[x] = static_cast<std::uint8_t>(index);
          } else if (format == TPixelFormat::pf4bit) {
            out[x >> 1] = static_cast<std::uint8_t>((x & 1) ? (out[x >> 1] | (index & 0x0F)) : ((index & 0x0F) << 4));
          } else if (index & 1) {
            out[x >> 3] = static_cast<std::uint8_t>(out[x >> 3] | (0x80 >> (x & 7)));
          }
        }
        break;
      case TPngLayout::rgba:
        for (int x = 0; x < w; ++x) {
          const std::uint8_t* p = in + 4 * static_cast<std::size_t>(x);
          out[3 * x] = BlendChannel(p[2], GetBValue(background), p[3]);
          out[3 * x + 1] = BlendChannel(p[1], GetGValue(background), p[3]);
          out[3 * x + 2] = BlendChannel(p[0], GetRValue(background), p[3]);
        }
        break;
    }
  };

  const int h = static_cast<int>(height);
  if (passes <= 1) {
    std::vector<std::uint8_t> row(rowBytes);
    for (int y = 0; y < h; ++y) {
      reader.Check(TryReadRow(png, row.data()));
      storeRow(y, row.data());
    }
  } else {
    // Interlaced rows are refined pass by pass, so the whole picture is kept until the end.
    std::vector<std::uint8_t> rows(rowBytes * static_cast<std::size_t>(h));
    for (int pass = 0; pass < passes; ++pass)
      for (int y = 0; y < h; ++y) reader.Check(TryReadRow(png, rows.data() + rowBytes * static_cast<std::size_t>(y)));
    for (int y = 0; y < h; ++y) storeRow(y, rows.data() + rowBytes * static_cast<std::size_t>(y));
  }
  reader.Check(TryReadEnd(png));
  return bitmap;
}

}  // namespace clipvane
