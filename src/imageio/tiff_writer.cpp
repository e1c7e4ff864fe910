// TIFF encoding through libtiff into a memory buffer; libtiff's messages are caught per file
// (not through its global handlers) and become the error text.
#include "imageio/tiff_writer.h"

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "core/atomic_file.h"
#include "core/error.h"
#include "core/pixel_rows.h"

namespace clipvane {

namespace {

// The file libtiff writes into: a growing byte buffer with a position.
struct TMemoryFile {
  std::vector<std::uint8_t> data;
  std::size_t position = 0;
  bool outOfMemory = false;
  std::string error;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<TMemoryFile*>(handle);
  if (size < 0 || file->position >= file->data.size()) return 0;
  const std::size_t count = std::min(static_cast<std::size_t>(size), file->data.size() - file->position);
  std::memcpy(buffer, file->data.data() + file->position, count);
  file->position += count;
  return static_cast<tmsize_t>(count);
}

tmsize_t WriteProc(thandle_t handle, void* buffer, tmsize_t size) {
  auto* file = static_cast<TMemoryFile*>(handle);
  if (size < 0) return -1;
  const std::size_t count = static_cast<std::size_t>(size);
  // Exceptions must not cross libtiff's C frames: a failed allocation is reported as a
  // failed write and rethrown once libtiff has returned.
  try {
    if (file->position + count > file->data.size()) file->data.resize(file->position + count);
  } catch (const std::bad_alloc&) {
    file->outOfMemory = true;
    return -1;
  }
  if (count > 0) std::memcpy(file->data.data() + file->position, buffer, count);
  file->position += count;
  return size;
}

toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* file = static_cast<TMemoryFile*>(handle);
  std::size_t base = 0;
  if (whence == SEEK_CUR) base = file->position;
  if (whence == SEEK_END) base = file->data.size();
  file->position = base + static_cast<std::size_t>(offset);
  return static_cast<toff_t>(file->position);
}

int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<toff_t>(static_cast<TMemoryFile*>(handle)->data.size()); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}

int ErrorHandler(TIFF*, void* userData, const char* module, const char* format, va_list args) {
  auto* file = static_cast<TMemoryFile*>(userData);
  if (file->error.empty()) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    file->error = (module != nullptr && *module != '\0') ? std::string(module) + ": " + text : text;
  }
  return 1;
}

int WarningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

[[noreturn]] void Fail(const TMemoryFile& file) {
  if (file.outOfMemory) throw std::bad_alloc();
  throw EClipvaneError("TIFF encoding failed" + (file.error.empty() ? std::string() : ": " + file.error));
}

}  // namespace

std::vector<std::uint8_t> EncodeTIFF(const TBitmap& bitmap) {
  if (bitmap.Empty()) throw EClipvaneError("Cannot write an empty picture as TIFF");

  TMemoryFile file;
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> options(TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
  if (!options) throw std::bad_alloc();
  TIFFOpenOptionsSetErrorHandlerExtR(options.get(), ErrorHandler, &file);
  TIFFOpenOptionsSetWarningHandlerExtR(options.get(), WarningHandler, &file);
  // "m": no memory mapping, our buffer is not a file.
  std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFClientOpenExt("memory", "wm", &file, ReadProc, WriteProc, SeekProc,
                                                                CloseProc, SizeProc, MapProc, UnmapProc, options.get()),
                                              TIFFClose);
  if (!tiff) Fail(file);
  TIFF* tif = tiff.get();

  const int width = bitmap.Width(), height = bitmap.Height();
  const bool bilevel = bitmap.PixelFormat() == TPixelFormat::pf1bit;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(width));
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(height));
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
  TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_NONE);

  std::size_t rowBytes = 0;
  // Each 1-bit row is copied so that bits past the width can be cleared; indices are
  // flipped when a white-is-zero table is stored as such.
  bool invert = false;
  if (bilevel) {
    const auto& palette = bitmap.Palette();
    const TRGBQuad black{}, white{255, 255, 255, 0};
    const TRGBQuad first = palette.size() > 0 ? palette[0] : black;
    const TRGBQuad second = palette.size() > 1 ? palette[1] : black;
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
    if ((first == black && second == white) || (first == white && second == black)) {
      // Group 4 readers expect white-is-zero; store it so and flip the indices of a
      // black-is-zero picture, which keeps every pixel's colour.
      invert = first == black;
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
      TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    } else {
      std::uint16_t red[2], green[2], blue[2];
      for (int i = 0; i < 2; ++i) {
        const TRGBQuad entry = i == 0 ? first : second;
        red[i] = static_cast<std::uint16_t>(entry.Red * 257);
        green[i] = static_cast<std::uint16_t>(entry.Green * 257);
        blue[i] = static_cast<std::uint16_t>(entry.Blue * 257);
      }
      TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
      TIFFSetField(tif, TIFFTAG_COLORMAP, red, green, blue);
      TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
    }
    rowBytes = (static_cast<std::size_t>(width) + 7) / 8;
  } else {
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    rowBytes = static_cast<std::size_t>(width) * 3;
  }
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(tif, 0));

  std::vector<std::uint8_t> row(rowBytes);
  const unsigned tailBits = static_cast<unsigned>(width) % 8;
  const auto tailMask = static_cast<std::uint8_t>(tailBits == 0 ? 0xFF : (0xFF << (8 - tailBits)) & 0xFF);
  for (int y = 0; y < height; ++y) {
    if (bilevel) {
      std::memcpy(row.data(), bitmap.ScanLine(y), rowBytes);
      if (invert)
        for (auto& byte : row) byte = static_cast<std::uint8_t>(~byte);
      row.back() &= tailMask;
    } else {
      ReadRowBGR(bitmap, y, 0, width, row.data());
      for (std::size_t x = 0; x < rowBytes; x += 3) std::swap(row[x], row[x + 2]);
    }
    if (TIFFWriteScanline(tif, row.data(), static_cast<std::uint32_t>(y), 0) != 1) Fail(file);
  }
  if (TIFFWriteDirectory(tif) != 1) Fail(file);
  tiff.reset();  // flushes
  if (!file.error.empty() || file.outOfMemory) Fail(file);
  return std::move(file.data);
}

void SaveToTIFF(const TBitmap& bitmap, const std::string& path) { WriteFileAtomically(path, EncodeTIFF(bitmap)); }

}  // namespace clipvane
