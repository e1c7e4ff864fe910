// PNG files read back with libpng's own reading calls, without the program's decoder: the
// header, the colour table, the sBIT chunk and every pixel as it is stored (palette indices,
// or red, green, blue), for the tests of the frames the program writes as PNG.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/color.h"

namespace clipvane::png_check {

struct TLibpngPicture {
  bool Ok = false;
  std::string Error;
  int Width = 0;
  int Height = 0;
  int BitDepth = 0;
  int ColorType = -1;  // PNG_COLOR_TYPE_PALETTE, PNG_COLOR_TYPE_RGB, ...
  std::vector<TColor> Table;
  bool HasSignificantBits = false;
  int SignificantRed = 0, SignificantGreen = 0, SignificantBlue = 0;
  // Row by row: one palette index per pixel (palette pictures) or red, green, blue bytes.
  std::vector<std::uint8_t> Samples;

  // The colour of pixel (x, y): through the table for a palette picture (an index beyond it
  // is reported as -1, which no colour equals).
  long long ColorAt(int x, int y) const {
    const std::size_t at = static_cast<std::size_t>(y) * Width + x;
    if (ColorType == PNG_COLOR_TYPE_PALETTE) {
      const std::uint8_t index = Samples[at];
      return index < Table.size() ? static_cast<long long>(Table[index]) : -1;
    }
    return RGB(Samples[3 * at], Samples[3 * at + 1], Samples[3 * at + 2]);
  }
};

namespace detail {

inline void Failed(png_structp png, png_const_charp message) {
  *static_cast<std::string*>(png_get_error_ptr(png)) = message ? message : "error";
  png_longjmp(png, 1);
}
inline void Quiet(png_structp, png_const_charp) {}

// Only trivially destructible objects live between setjmp and the libpng calls.
inline bool ReadAll(png_structp png, png_infop info, std::FILE* file, TLibpngPicture* picture,
                    std::vector<png_bytep>* rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_init_io(png, file);
  png_read_info(png, info);
  picture->Width = static_cast<int>(png_get_image_width(png, info));
  picture->Height = static_cast<int>(png_get_image_height(png, info));
  picture->BitDepth = png_get_bit_depth(png, info);
  picture->ColorType = png_get_color_type(png, info);
  png_colorp table = nullptr;
  int entries = 0;
  if (png_get_PLTE(png, info, &table, &entries))
    for (int i = 0; i < entries; ++i) picture->Table.push_back(RGB(table[i].red, table[i].green, table[i].blue));
  png_color_8p bits = nullptr;
  if (png_get_sBIT(png, info, &bits) && bits) {
    picture->HasSignificantBits = true;
    picture->SignificantRed = bits->red;
    picture->SignificantGreen = bits->green;
    picture->SignificantBlue = bits->blue;
  }
  // Indices of 1 and 4 bits one to a byte; nothing else is transformed.
  if (picture->BitDepth < 8) png_set_packing(png);
  png_read_update_info(png, info);
  const std::size_t rowBytes = png_get_rowbytes(png, info);
  picture->Samples.assign(rowBytes * static_cast<std::size_t>(picture->Height), 0);
  rows->resize(static_cast<std::size_t>(picture->Height));
  for (int y = 0; y < picture->Height; ++y)
    (*rows)[static_cast<std::size_t>(y)] = picture->Samples.data() + rowBytes * static_cast<std::size_t>(y);
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  return true;
}

}  // namespace detail

inline TLibpngPicture ReadPngFile(const std::string& path) {
  TLibpngPicture picture;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    picture.Error = "cannot open " + path;
    return picture;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &picture.Error, detail::Failed, detail::Quiet);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  std::vector<png_bytep> rows;
  picture.Ok = png && info && detail::ReadAll(png, info, file, &picture, &rows);
  if (png) png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
  std::fclose(file);
  return picture;
}

}  // namespace clipvane::png_check
