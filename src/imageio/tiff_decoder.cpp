// TIFF decoding through libtiff, reading from memory. libtiff reports problems through
// handlers and return codes; the handlers of our handle record the first error (keeping
// stderr quiet), and every failing return code becomes an exception carrying it.
#include "imageio/tiff_decoder.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <tiffio.h>

#include "core/error.h"
#include "imageio/picture_decoders.h"

namespace clipvane {

namespace {

// Largest single allocation libtiff may make for us: a whole picture at the size limit with
// four 16-bit samples a pixel stays below it.
constexpr tmsize_t kTiffMaxAllocation = tmsize_t{1} << 31;

struct TTiffSource {
  std::span<const std::uint8_t> data;
  std::uint64_t position = 0;
  std::string firstError;
  int errors = 0;
};

tmsize_t TiffRead(thandle_t handle, void* buffer, tmsize_t size) {
  auto* source = static_cast<TTiffSource*>(handle);
  if (size <= 0 || source->position >= source->data.size()) return 0;
  const std::uint64_t available = source->data.size() - source->position;
  const std::uint64_t count = std::min<std::uint64_t>(available, static_cast<std::uint64_t>(size));
  std::memcpy(buffer, source->data.data() + source->position, static_cast<std::size_t>(count));
  source->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t TiffWrite(thandle_t, void*, tmsize_t) { return 0; }

toff_t TiffSeek(thandle_t handle, toff_t offset, int whence) {
  auto* source = static_cast<TTiffSource*>(handle);
  std::uint64_t base = 0;
  if (whence == SEEK_CUR) base = source->position;
  else if (whence == SEEK_END) base = source->data.size();
  if (offset > UINT64_MAX / 2 || base + offset < base) return static_cast<toff_t>(-1);
  source->position = base + offset;  // beyond the end is allowed; reads there return nothing
  return source->position;
}

int TiffClose(thandle_t) { return 0; }
toff_t TiffSize(thandle_t handle) { return static_cast<TTiffSource*>(handle)->data.size(); }
int TiffMap(thandle_t, void**, toff_t*) { return 0; }
void TiffUnmap(thandle_t, void*, toff_t) {}

int OnTiffError(TIFF*, void* user, const char* module, const char* format, va_list arguments) {
  auto* source = static_cast<TTiffSource*>(user);
  if (source->errors++ == 0) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, arguments);
    source->firstError = text;
    (void)module;
  }
  return 1;  // handled: libtiff must not also print it
}

int OnTiffWarning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

class TTiffReader {
 public:
  explicit TTiffReader(std::span<const std::uint8_t> data) {
    source_.data = data;
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) throw EClipvaneError("Invalid TIFF file: out of memory");
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kTiffMaxAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, OnTiffError, &source_);
    TIFFOpenOptionsSetWarningHandlerExtR(options, OnTiffWarning, &source_);
    // "m": no memory mapping, all reads go through TiffRead and its bounds.
    tiff_ = TIFFClientOpenExt("picture", "rm", &source_, TiffRead, TiffWrite, TiffSeek, TiffClose, TiffSize, TiffMap,
                              TiffUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!tiff_) Fail("not a readable TIFF file");
  }
  ~TTiffReader() {
    if (tiff_) TIFFClose(tiff_);
  }
  TTiffReader(const TTiffReader&) = delete;
  TTiffReader& operator=(const TTiffReader&) = delete;

  TIFF* Tiff() const { return tiff_; }
  // Throws with libtiff's first complaint, or `fallback` when it said nothing.
  [[noreturn]] void Fail(const std::string& fallback) const {
    throw EClipvaneError("Invalid TIFF file: " + (source_.firstError.empty() ? fallback : source_.firstError));
  }
  void Check(bool succeeded, const char* fallback) const {
    if (!succeeded || source_.errors > 0) Fail(fallback);
  }

 private:
  TTiffSource source_;
  TIFF* tiff_ = nullptr;
};

struct TRgbaImage {
  TIFFRGBAImage image{};
  bool begun = false;
  ~TRgbaImage() {
    if (begun) TIFFRGBAImageEnd(&image);
  }
};

std::vector<TRGBQuad> ColourMap(const TTiffReader& reader, int bits) {
  std::uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (!TIFFGetField(reader.Tiff(), TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
    reader.Fail("colour map missing");
  const std::size_t entries = std::size_t{1} << bits;
  // Some writers store 8-bit values in the 16-bit map; take them as they are.
  bool eightBit = true;
  for (std::size_t i = 0; i < entries; ++i)
    if (red[i] > 255 || green[i] > 255 || blue[i] > 255) eightBit = false;
  const int shift = eightBit ? 0 : 8;
  std::vector<TRGBQuad> palette(entries);
  for (std::size_t i = 0; i < entries; ++i)
    palette[i] = TRGBQuad{static_cast<std::uint8_t>(blue[i] >> shift), static_cast<std::uint8_t>(green[i] >> shift),
                          static_cast<std::uint8_t>(red[i] >> shift), 0};
  return palette;
}

// Colour-mapped or black-and-white strips, row by row into a palette bitmap.
TBitmap ReadIndexed(const TTiffReader& reader, int width, int height, int bits, std::uint16_t photometric) {
  TIFF* tiff = reader.Tiff();
  const std::size_t lineBytes = (static_cast<std::size_t>(width) * bits + 7) / 8;
  if (static_cast<std::uint64_t>(TIFFScanlineSize64(tiff)) != lineBytes) reader.Fail("inconsistent row size");
  const TPixelFormat format = bits == 1   ? TPixelFormat::pf1bit
                              : bits == 8 ? TPixelFormat::pf8bit
                                          : TPixelFormat::pf4bit;
  std::vector<TRGBQuad> palette;
  if (photometric == PHOTOMETRIC_PALETTE) palette = ColourMap(reader, bits);
  else if (photometric == PHOTOMETRIC_MINISWHITE) palette = {TRGBQuad{255, 255, 255, 0}, TRGBQuad{0, 0, 0, 0}};
  else palette = {TRGBQuad{0, 0, 0, 0}, TRGBQuad{255, 255, 255, 0}};
  if (bits == 2) palette.resize(16);  // two-bit indices are widened to four
  TBitmap bitmap(width, height, format);
  bitmap.SetPalette(std::move(palette));
  std::vector<std::uint8_t> line(lineBytes);
  for (int y = 0; y < height; ++y) {
    reader.Check(TIFFReadScanline(tiff, line.data(), static_cast<std::uint32_t>(y), 0) == 1, "cannot read a row");
    std::uint8_t* out = bitmap.ScanLine(y);
    if (bits != 2) {
      std::memcpy(out, line.data(), lineBytes);
      continue;
    }
    for (int x = 0; x < width; ++x) {
      const int index = (line[x >> 2] >> (6 - 2 * (x & 3))) & 3;
      out[x >> 1] = static_cast<std::uint8_t>((x & 1) ? (out[x >> 1] | index) : (index << 4));
    }
  }
  return bitmap;
}

// Every other layout through libtiff's RGBA reader, which knows grey, YCbCr, CMYK, Lab,
// 16-bit samples and alpha. It hands over alpha premultiplied, so the background is
// added in the proportion the picture leaves uncovered.
TBitmap ReadRgba(const TTiffReader& reader, int width, int height, TColor background) {
  TIFF* tiff = reader.Tiff();
  char message[1024] = {};
  if (!TIFFRGBAImageOK(tiff, message)) reader.Fail(std::string("unsupported layout: ") + message);
  TRgbaImage rgba;
  rgba.begun = TIFFRGBAImageBegin(&rgba.image, tiff, 1, message) != 0;
  if (!rgba.begun) reader.Fail(std::string("unsupported layout: ") + message);
  rgba.image.req_orientation = ORIENTATION_TOPLEFT;
  std::vector<std::uint32_t> raster(static_cast<std::size_t>(width) * static_cast<std::size_t>(height));
  reader.Check(TIFFRGBAImageGet(&rgba.image, raster.data(), static_cast<std::uint32_t>(width),
                                static_cast<std::uint32_t>(height)) != 0,
               "cannot decode the picture");
  const int backgroundChannels[3] = {GetBValue(background), GetGValue(background), GetRValue(background)};
  TBitmap bitmap(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y) {
    const std::uint32_t* in = raster.data() + static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    std::uint8_t* out = bitmap.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      const std::uint32_t pixel = in[x];
      const int alpha = static_cast<int>(TIFFGetA(pixel));
      const int channels[3] = {static_cast<int>(TIFFGetB(pixel)), static_cast<int>(TIFFGetG(pixel)),
                               static_cast<int>(TIFFGetR(pixel))};
      for (int c = 0; c < 3; ++c)
        out[3 * x + c] =
            static_cast<std::uint8_t>(std::min(255, channels[c] + (backgroundChannels[c] * (255 - alpha) + 127) / 255));
    }
  }
  return bitmap;
}

// Most decoded bytes one stored byte can give in each compression; schemes not listed get a
// bound no real picture comes near.
std::uint64_t MaxCompressionRatio(std::uint16_t compression) {
  switch (compression) {
    case COMPRESSION_NONE:
      return 1;
    case COMPRESSION_PACKBITS:
      return 64;  // a two-byte run gives 128 bytes
    case COMPRESSION_DEFLATE:
    case COMPRESSION_ADOBE_DEFLATE:
      return 1032;
    case COMPRESSION_LZW:
      return 4096;  // a 12-bit code stands for fewer than 4096 bytes
    default:
      return 65536;
  }
}

// The strips or tiles must be able to hold the picture before it is allocated: each counts
// with the bytes the file really has at its offset.
void CheckStoredData(const TTiffReader& reader, std::uint64_t fileBytes, std::uint32_t height) {
  TIFF* tiff = reader.Tiff();
  const bool tiled = TIFFIsTiled(tiff) != 0;
  const std::uint32_t striles = tiled ? TIFFNumberOfTiles(tiff) : TIFFNumberOfStrips(tiff);
  std::uint64_t stored = 0;
  for (std::uint32_t i = 0; i < striles; ++i) {
    int failed = 0;
    const std::uint64_t offset = TIFFGetStrileOffsetWithErr(tiff, i, &failed);
    const std::uint64_t count = TIFFGetStrileByteCountWithErr(tiff, i, &failed);
    if (failed) reader.Fail("strip table is damaged");
    if (offset < fileBytes) stored += std::min(count, fileBytes - offset);
  }
  std::uint16_t planar = PLANARCONFIG_CONTIG, samples = 1, compression = COMPRESSION_NONE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_COMPRESSION, &compression);
  // libtiff's sizes count subsampled colour as stored; one plane when planes are separate.
  std::uint64_t decoded = tiled ? static_cast<std::uint64_t>(TIFFTileSize64(tiff)) * striles
                                : static_cast<std::uint64_t>(TIFFVStripSize64(tiff, height));
  if (!tiled && planar == PLANARCONFIG_SEPARATE) decoded *= samples;
  CheckDataCanFill("TIFF", decoded, stored, MaxCompressionRatio(compression));
}

}  // namespace

TBitmap DecodeTiff(std::span<const std::uint8_t> data, TColor background) {
  if (data.size() < 8 || !((data[0] == 'I' && data[1] == 'I') || (data[0] == 'M' && data[1] == 'M')))
    throw EClipvaneError("Invalid TIFF file: no TIFF byte order mark");
  TTiffReader reader(data);
  TIFF* tiff = reader.Tiff();
  // libtiff forgives a directory whose last bytes are missing; a cut file is refused here.
  const std::uint64_t directory = TIFFCurrentDirOffset(tiff);
  const bool bigEndian = data[0] == 'M';
  const bool big = TIFFIsBigTIFF(tiff) != 0;
  const std::size_t countBytes = big ? 8 : 2, entryBytes = big ? 20 : 12, linkBytes = big ? 8 : 4;
  if (directory > data.size() || data.size() - directory < countBytes) reader.Fail("directory is cut off");
  std::uint64_t entries = 0;
  for (std::size_t i = 0; i < countBytes; ++i) {
    const std::uint8_t byte = data[directory + (bigEndian ? i : countBytes - 1 - i)];
    entries = (entries << 8) | byte;
  }
  if (entries > (data.size() - directory - countBytes) / entryBytes ||
      data.size() - directory - countBytes - entries * entryBytes < linkBytes)
    reader.Fail("directory is cut off");
  std::uint32_t width = 0, height = 0;
  if (!TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height))
    reader.Fail("picture size missing");
  CheckPictureDimensions("TIFF", width, height);

  std::uint16_t bits = 1, samples = 1, planar = PLANARCONFIG_CONTIG, photometric = PHOTOMETRIC_MINISWHITE;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(tiff, TIFFTAG_PLANARCONFIG, &planar);
  const bool hasPhotometric = TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric) != 0;
  CheckStoredData(reader, data.size(), height);
  const bool bilevel = (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK) && bits == 1;
  const bool mapped = photometric == PHOTOMETRIC_PALETTE && (bits == 1 || bits == 2 || bits == 4 || bits == 8);
  if (hasPhotometric && !TIFFIsTiled(tiff) && samples == 1 && planar == PLANARCONFIG_CONTIG && (bilevel || mapped))
    return ReadIndexed(reader, static_cast<int>(width), static_cast<int>(height), bits, photometric);
  return ReadRgba(reader, static_cast<int>(width), static_cast<int>(height), background);
}

}  // namespace clipvane
