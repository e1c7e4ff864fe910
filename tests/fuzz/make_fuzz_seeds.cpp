// Writes the seed corpora of the fuzz targets: small valid files of every layout each parser
// knows, so fuzzing starts from inside the formats rather than from random bytes. Run by
// scripts/make-fuzz-seeds; the output is kept in tests/fuzz/corpus/<target>/.
// Usage: make_fuzz_seeds FOLDER
#include <png.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "core/bitmap.h"
#include "gif/gif_extensions.h"
#include "gif/gif_image.h"
#include "gif/gif_stream.h"

namespace {

using namespace clipvane;
using TBytes = std::vector<std::uint8_t>;

std::filesystem::path g_folder;

void Save(const std::string& target, const std::string& name, const TBytes& bytes) {
  const std::filesystem::path folder = g_folder / target;
  std::filesystem::create_directories(folder);
  std::ofstream out(folder / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + (folder / name).string());
}

void Le16(TBytes& out, unsigned value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}
void Le32(TBytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}
void Append(TBytes& out, const TBytes& more) { out.insert(out.end(), more.begin(), more.end()); }
TBytes Text(const std::string& text) { return TBytes(text.begin(), text.end()); }

// A small picture with every pixel different, in the given format.
TBitmap Pattern(TPixelFormat format, int width = 7, int height = 5) {
  TBitmap bitmap(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) bitmap.SetPixel(x, y, RGB(x * 35, y * 60, (x * y * 23) & 0xFF));
  bitmap.SetPixelFormat(format);
  return bitmap;
}

// A BMP with an info header of `headerSize` bytes (40, 52, 56, 108 or 124), the given
// compression, colour table or masks, and pixel bytes as stored.
TBytes Bmp(std::uint32_t headerSize, int width, int height, int bits, std::uint32_t compression, const TBytes& table,
           const TBytes& pixels, std::uint32_t coloursUsed = 0) {
  TBytes info;
  Le32(info, headerSize);
  Le32(info, static_cast<std::uint32_t>(width));
  Le32(info, static_cast<std::uint32_t>(height));
  Le16(info, 1);
  Le16(info, static_cast<unsigned>(bits));
  Le32(info, compression);
  Le32(info, static_cast<std::uint32_t>(pixels.size()));
  Le32(info, 2835);
  Le32(info, 2835);
  Le32(info, coloursUsed);
  Le32(info, 0);
  info.resize(headerSize, 0);
  TBytes file = {'B', 'M'};
  Le32(file, static_cast<std::uint32_t>(14 + info.size() + table.size() + pixels.size()));
  Le32(file, 0);
  Le32(file, static_cast<std::uint32_t>(14 + info.size() + table.size()));
  Append(file, info);
  Append(file, table);
  Append(file, pixels);
  return file;
}

TBytes GreyTable(int entries) {
  TBytes table;
  for (int i = 0; i < entries; ++i) {
    const auto level = static_cast<std::uint8_t>(i * 255 / (entries - 1));
    table.insert(table.end(), {level, static_cast<std::uint8_t>(255 - level), level, 0});
  }
  return table;
}

void BmpSeeds() {
  const std::string target = "bmp_reader_fuzz";
  // What the writer makes, in every pixel format.
  const char* names[] = {"1bit", "4bit", "8bit", "15bit", "16bit", "24bit", "32bit"};
  const TPixelFormat formats[] = {TPixelFormat::pf1bit,  TPixelFormat::pf4bit,  TPixelFormat::pf8bit,
                                  TPixelFormat::pf15bit, TPixelFormat::pf16bit, TPixelFormat::pf24bit,
                                  TPixelFormat::pf32bit};
  for (int i = 0; i < 7; ++i)
    Save(target, std::string("written-") + names[i] + ".bmp", Pattern(formats[i]).SaveToBMP());

  // The 12-byte core header with a three-byte colour table.
  TBytes core = {'B', 'M'};
  Le32(core, 14 + 12 + 6 + 4);
  Le32(core, 0);
  Le32(core, 14 + 12 + 6);
  Le32(core, 12);
  Le16(core, 3);
  Le16(core, 1);
  Le16(core, 1);
  Le16(core, 1);
  Append(core, {0, 0, 0, 255, 255, 255});
  Append(core, {0xA0, 0, 0, 0});
  Save(target, "core-header.bmp", core);

  // Top-down rows under a version 4 header; bit fields under 40, 56 and version 5 headers.
  Save(target, "topdown-v4.bmp", Bmp(108, 2, -2, 24, 0, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}));
  TBytes masks565;
  Le32(masks565, 0xF800);
  Le32(masks565, 0x07E0);
  Le32(masks565, 0x001F);
  Save(target, "bitfields-565.bmp", Bmp(40, 2, 2, 16, 3, masks565, {0x1F, 0xF8, 0xE0, 0x07, 0xFF, 0xFF, 0, 0}));
  TBytes masksOdd;
  Le32(masksOdd, 0x0000FF00);
  Le32(masksOdd, 0x00FF0000);
  Le32(masksOdd, 0xFF000000);
  Le32(masksOdd, 0x000000FF);
  Save(target, "alpha-bitfields-32.bmp", Bmp(40, 2, 1, 32, 6, masksOdd, {1, 2, 3, 4, 5, 6, 7, 8}));
  TBytes v5 = Bmp(124, 2, 1, 32, 3, {}, {9, 8, 7, 6, 5, 4, 3, 2});
  for (int i = 0; i < 4; ++i) {  // the masks sit inside the version 5 header, from byte 40
    v5[14 + 40 + i] = static_cast<std::uint8_t>(0x00FF0000u >> (8 * i));
    v5[14 + 44 + i] = static_cast<std::uint8_t>(0x0000FF00u >> (8 * i));
    v5[14 + 48 + i] = static_cast<std::uint8_t>(0x000000FFu >> (8 * i));
  }
  Save(target, "bitfields-v5.bmp", v5);
  // Colours-used smaller than the depth allows, and an image size of 0 to be computed.
  Save(target, "colours-used.bmp", Bmp(40, 3, 2, 8, 0, GreyTable(3), {0, 1, 2, 0, 2, 1, 0, 0}, 3));

  // Run-length data: runs, absolute runs (padded), end of line, delta, end of picture.
  const TBytes rle8 = {3, 1, 0, 3, 2, 3, 4, 0, 0, 0, 0, 2, 1, 1, 2, 5, 0, 0, 1, 7, 0, 1};
  Save(target, "rle8.bmp", Bmp(40, 5, 3, 8, 1, GreyTable(8), rle8, 8));
  const TBytes rle4 = {4, 0x12, 0, 3, 0x34, 0x50, 0, 0, 0, 2, 1, 0, 2, 0x77, 0, 1};
  Save(target, "rle4.bmp", Bmp(40, 5, 2, 4, 2, GreyTable(16), rle4));
}

void PcxSeed(const std::string& name, int bits, int planes, int width, int height, bool runLength, const TBytes& lines,
             bool endTable) {
  TBytes pcx(128, 0);
  pcx[0] = 0x0A;
  pcx[1] = 5;
  pcx[2] = runLength ? 1 : 0;
  pcx[3] = static_cast<std::uint8_t>(bits);
  pcx[8] = static_cast<std::uint8_t>(width - 1);
  pcx[10] = static_cast<std::uint8_t>(height - 1);
  for (int i = 0; i < 48; ++i) pcx[16 + i] = static_cast<std::uint8_t>(i * 5);  // the 16-colour table
  pcx[65] = static_cast<std::uint8_t>(planes);
  const int lineBytes = ((width * bits + 15) / 16) * 2;
  pcx[66] = static_cast<std::uint8_t>(lineBytes);
  if (!runLength) {
    Append(pcx, lines);
  } else {
    // Each byte as a run of one, and every byte of 0xC0 or more behind a count.
    for (const std::uint8_t byte : lines) {
      if (byte >= 0xC0) pcx.push_back(0xC1);
      pcx.push_back(byte);
    }
  }
  if (endTable) {
    pcx.push_back(12);
    for (int i = 0; i < 768; ++i) pcx.push_back(static_cast<std::uint8_t>(i / 3));
  }
  Save("pcx_decoder_fuzz", name, pcx);
}

void PcxSeeds() {
  // Lines hold planes one after another, each lineBytes long (2 bytes for these widths).
  PcxSeed("1bit.pcx", 1, 1, 10, 2, true, {0xA5, 0xC0, 0x0F, 0xF0}, false);
  PcxSeed("4planes.pcx", 1, 4, 8, 1, true, {0xF0, 0, 0xCC, 0, 0xAA, 0, 0xFF, 0}, false);
  PcxSeed("2bit.pcx", 2, 1, 6, 2, false, {0x1B, 0xE4, 0xE4, 0x1B}, false);
  PcxSeed("4bit.pcx", 4, 1, 4, 2, true, {0x01, 0x23, 0xCD, 0xEF}, false);
  PcxSeed("8bit.pcx", 8, 1, 2, 2, true, {0x00, 0xFF, 0x80, 0x40}, true);
  PcxSeed("24bit.pcx", 8, 3, 2, 1, true, {255, 0, 0, 255, 0, 0}, false);
  PcxSeed("8bit-plain.pcx", 8, 1, 2, 1, false, {5, 250}, true);
}

TBytes TgaHeader(int idLength, int mapType, int imageType, int mapLength, int mapBits, int width, int height, int depth,
                 int descriptor) {
  TBytes tga = {static_cast<std::uint8_t>(idLength), static_cast<std::uint8_t>(mapType),
                static_cast<std::uint8_t>(imageType)};
  Le16(tga, 0);
  Le16(tga, static_cast<unsigned>(mapLength));
  tga.push_back(static_cast<std::uint8_t>(mapBits));
  Le16(tga, 0);
  Le16(tga, 0);
  Le16(tga, static_cast<unsigned>(width));
  Le16(tga, static_cast<unsigned>(height));
  tga.push_back(static_cast<std::uint8_t>(depth));
  tga.push_back(static_cast<std::uint8_t>(descriptor));
  for (int i = 0; i < idLength; ++i) tga.push_back('i');
  return tga;
}

void TgaSeeds() {
  const std::string target = "tga_decoder_fuzz";
  TBytes mapped = TgaHeader(3, 1, 1, 4, 24, 2, 2, 8, 0);
  Append(mapped, {0, 0, 255, 0, 255, 0, 255, 0, 0, 9, 9, 9});  // map: red, green, blue, grey
  Append(mapped, {0, 1, 2, 3});
  Save(target, "mapped.tga", mapped);
  TBytes mapped16 = TgaHeader(0, 1, 9, 2, 16, 3, 1, 8, 0x20);
  Append(mapped16, {0x1F, 0x00, 0xE0, 0x03});
  Append(mapped16, {0x81, 1, 0x00, 0});  // run of two of entry 1, then one raw entry 0
  Save(target, "mapped-runs.tga", mapped16);
  TBytes rgb24 = TgaHeader(0, 0, 2, 0, 0, 2, 1, 24, 0x10);
  Append(rgb24, {1, 2, 3, 4, 5, 6});
  Save(target, "rgb24-right-to-left.tga", rgb24);
  TBytes rgba = TgaHeader(0, 0, 10, 0, 0, 3, 2, 32, 0x28);
  Append(rgba, {0x82, 10, 20, 30, 128, 0x02, 1, 2, 3, 255, 4, 5, 6, 0, 7, 8, 9, 64});
  Save(target, "rgba-runs.tga", rgba);
  TBytes rgb16 = TgaHeader(0, 0, 2, 0, 0, 2, 1, 16, 0);
  Append(rgb16, {0x1F, 0x7C, 0xE0, 0x03});
  Save(target, "rgb15.tga", rgb16);
  TBytes grey = TgaHeader(0, 0, 3, 0, 0, 3, 1, 8, 0);
  Append(grey, {0, 128, 255});
  Save(target, "grey.tga", grey);
  TBytes greyAlpha = TgaHeader(0, 0, 11, 0, 0, 2, 2, 16, 0x08);
  Append(greyAlpha, {0x83, 200, 100});
  Save(target, "grey-alpha-runs.tga", greyAlpha);
}

void AppendPngBytes(png_structp png, png_bytep data, std::size_t length) {
  auto* out = static_cast<TBytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}
void FlushPng(png_structp) {}

// A 2 x 2 RGBA PNG written by libpng.
TBytes SmallPng() {
  TBytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    throw std::runtime_error("libpng could not write the seed");
  }
  png_set_write_fn(png, &out, AppendPngBytes, FlushPng);
  png_set_IHDR(png, info, 2, 2, 8, PNG_COLOR_TYPE_RGBA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::uint8_t rows[2][8] = {{255, 0, 0, 255, 0, 255, 0, 128}, {0, 0, 255, 0, 9, 9, 9, 255}};
  png_bytep pointers[2] = {rows[0], rows[1]};
  png_write_image(png, pointers);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

// A bitmap entry: 40-byte header (height doubled for the mask), table, colour rows, mask rows.
TBytes IconEntry(int bits, const TBytes& table, const TBytes& colours, const TBytes& mask, int width, int height) {
  TBytes entry;
  Le32(entry, 40);
  Le32(entry, static_cast<std::uint32_t>(width));
  Le32(entry, static_cast<std::uint32_t>(2 * height));
  Le16(entry, 1);
  Le16(entry, static_cast<unsigned>(bits));
  for (int i = 0; i < 6; ++i) Le32(entry, 0);
  Append(entry, table);
  Append(entry, colours);
  Append(entry, mask);
  return entry;
}

TBytes IconFile(int type, const std::vector<TBytes>& entries) {
  TBytes file;
  Le16(file, 0);
  Le16(file, static_cast<unsigned>(type));
  Le16(file, static_cast<unsigned>(entries.size()));
  std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
  for (std::size_t i = 0; i < entries.size(); ++i) {
    file.insert(file.end(), {static_cast<std::uint8_t>(2 + i), 2, 0, 0});
    Le16(file, 1);
    Le16(file, type == 1 ? 32 : 0);
    Le32(file, static_cast<std::uint32_t>(entries[i].size()));
    Le32(file, offset);
    offset += static_cast<std::uint32_t>(entries[i].size());
  }
  for (const TBytes& entry : entries) Append(file, entry);
  return file;
}

void IcoSeeds() {
  const std::string target = "ico_decoder_fuzz";
  // 2 x 2 in 32 bits with alpha, rows padded to 4 bytes; mask rows of 4 bytes each.
  const TBytes alpha =
      IconEntry(32, {}, {255, 0, 0, 255, 0, 255, 0, 128, 0, 0, 255, 0, 9, 9, 9, 255}, TBytes(8, 0), 2, 2);
  Save(target, "alpha32.ico", IconFile(1, {alpha}));
  const TBytes paletted = IconEntry(8, GreyTable(4), {0, 1, 0, 0, 2, 3, 0, 0}, {0x40, 0, 0, 0, 0x80, 0, 0, 0}, 2, 2);
  const TBytes bilevel = IconEntry(1, GreyTable(2), {0x80, 0, 0, 0, 0x40, 0, 0, 0}, {0, 0, 0, 0, 0xC0, 0, 0, 0}, 2, 2);
  Save(target, "two-entries.ico", IconFile(1, {paletted, bilevel}));
  Save(target, "cursor.cur",
       IconFile(2, {IconEntry(24, {}, {1, 2, 3, 4, 5, 6, 0, 0, 7, 8, 9, 10, 11, 12, 0, 0}, TBytes(8, 0), 2, 2)}));
  Save(target, "png-entry.ico", IconFile(1, {SmallPng()}));
}

void PnmSeeds() {
  const std::string target = "pnm_decoder_fuzz";
  Save(target, "plain.pbm", Text("P1\n# a comment\n4 2\n0 1 0 1\n1 1 0 0\n"));
  Save(target, "plain.pgm", Text("P2 3 1 15\n0 7 15\n"));
  Save(target, "plain.ppm", Text("P3\n2 1\n255\n255 0 0  0 0 255\n"));
  TBytes raw = Text("P4\n10 2\n");
  Append(raw, {0xFF, 0xC0, 0x0A, 0x80});
  Save(target, "raw.pbm", raw);
  TBytes grey16 = Text("P5 2 1 65535\n");
  Append(grey16, {0x12, 0x34, 0xFF, 0xFF});
  Save(target, "raw16.pgm", grey16);
  TBytes rgb = Text("P6\n#c\n2 2 255\n");
  for (int i = 0; i < 12; ++i) rgb.push_back(static_cast<std::uint8_t>(i * 20));
  Save(target, "raw.ppm", rgb);
}

// Packed frames as the frame reader builds them: the first two bytes give the length of the
// stream format that follows (0: none), the packed frame comes after it.
TBytes PackedInput(const TBytes& streamFormat, int width, int height, int bits, std::uint32_t compression,
                   const TBytes& table, const TBytes& pixels, std::uint32_t coloursUsed) {
  TBytes input;
  Le16(input, static_cast<unsigned>(streamFormat.size()));
  Append(input, streamFormat);
  const TBytes bmp = Bmp(40, width, height, bits, compression, table, pixels, coloursUsed);
  input.insert(input.end(), bmp.begin() + 14, bmp.end());
  return input;
}

void PackedFrameSeeds() {
  const std::string target = "packed_frame_fuzz";
  TBytes streamFormat = Bmp(40, 2, 2, 8, 0, GreyTable(4), {}, 4);
  streamFormat.erase(streamFormat.begin(), streamFormat.begin() + 14);
  Save(target, "pal8-stream-colours.bin",
       PackedInput(streamFormat, 3, 2, 8, 0, GreyTable(256), {0, 1, 2, 0, 3, 2, 1, 0}, 0));
  Save(target, "mono.bin", PackedInput({}, 9, 2, 1, 0, GreyTable(2), {0xAA, 0x80, 0, 0, 0x55, 0x00, 0, 0}, 2));
  Save(target, "rgb555.bin", PackedInput({}, 2, 1, 16, 0, {}, {0x1F, 0x00, 0xE0, 0x7F}, 0));
  TBytes masks;
  Le32(masks, 0xF800);
  Le32(masks, 0x07E0);
  Le32(masks, 0x001F);
  Save(target, "rgb565.bin", PackedInput({}, 2, 1, 16, 3, masks, {0x1F, 0xF8, 0xE0, 0x07}, 0));
  Save(target, "bgr24-topdown.bin", PackedInput({}, 1, -2, 24, 0, {}, {1, 2, 3, 0, 4, 5, 6, 0}, 0));
  Save(target, "bgra32.bin", PackedInput({}, 2, 1, 32, 0, {}, {1, 2, 3, 4, 5, 6, 7, 8}, 0));
  TBytes zeroSize = PackedInput({}, 2, 2, 24, 0, {}, TBytes(16, 7), 0);
  for (int i = 0; i < 4; ++i) zeroSize[2 + 20 + i] = 0;  // an image size of 0: computed
  Save(target, "zero-image-size.bin", zeroSize);
}

void GifSeeds() {
  const std::string target = "gif_reader_fuzz";
  // A 2 x 2 frame with a looping block, a graphic control block and a comment.
  Save(target, "loop-control-comment.gif",
       {'G', 'I', 'F',  '8',  '9',  'a',  2,    0,    2,    0,    0,    0, 0, 0x21, 0xFF, 0x0B, 'N', 'E',  'T',
        'S', 'C', 'A',  'P',  'E',  '2',  '.',  '0',  3,    1,    0,    0, 0, 0x21, 0xF9, 4,    1,   0x0A, 0,
        1,   0,   0x21, 0xFE, 2,    'h',  'i',  0,    0x2C, 0,    0,    0, 0, 2,    0,    2,    0,   0x81, 0,
        0,   0,   0xFF, 0xFF, 0xFF, 0x10, 0x20, 0x30, 0x40, 0x50, 0x60, 2, 3, 0x44, 0x34, 5,    0,   0x3B});
  // An interlaced 3 x 5 frame drawn with a global table.
  Save(target, "interlaced.gif",
       {'G', 'I',  'F',  '8', '7', 'a', 3, 0, 5, 0, 0x91, 0,    0, 0, 0,    0,    0xFF, 0,    0,    0,    0xFF, 0,   0,
        0,   0xFF, 0x2C, 0,   0,   0,   0, 3, 0, 5, 0,    0x40, 2, 6, 0x8C, 0x8F, 0xA9, 0x0B, 0xED, 0x5B, 0,    0x3B});
  // Two frames from our own writer, each with its own colours.
  TGIFImage document;
  for (const TColor colour : {RGB(200, 30, 30), RGB(30, 30, 200)}) {
    TBitmap frame = Pattern(TPixelFormat::pf24bit, 6, 4);
    frame.FillRect(TRect{0, 0, 2, 2}, colour);
    const int index = document.AddFrame(frame);
    auto control = std::make_unique<TGIFGraphicControlExtension>(document.Images()[index]);
    control->SetDelay(7);
    document.Images()[index]->Extensions().Add(std::move(control));
  }
  TGIFMemoryStream stream;
  document.SaveToStream(stream);
  Save(target, "written-two-frames.gif", stream.TakeBytes());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_fuzz_seeds FOLDER\n";
    return 2;
  }
  g_folder = argv[1];
  try {
    BmpSeeds();
    PcxSeeds();
    TgaSeeds();
    IcoSeeds();
    PnmSeeds();
    PackedFrameSeeds();
    GifSeeds();
  } catch (const std::exception& error) {
    std::cerr << "make_fuzz_seeds: " << error.what() << "\n";
    return 1;
  }
  return 0;
}
