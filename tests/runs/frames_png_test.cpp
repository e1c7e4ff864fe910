// Extracted frames saved as PNG and read back with libpng: every colour mode gives the pixels
// of the BMP of the same frame, palette modes as palette PNGs of their own depth and table,
// the others as RGB; 15- and 16-bit pixels keep their true values; frames of few colours are
// not filtered.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <filesystem>
#include <fstream>

#include "core/error.h"
#include "imageio/png_writer.h"
#include "runs/frames/frame_conversion.h"
#include "runs/frames/frame_saving.h"
#include "support/avi_fixtures.h"
#include "support/png_libpng_read.h"

namespace clipvane {
namespace {

using png_check::ReadPngFile;
using png_check::TLibpngPicture;

// A natural-looking picture: smooth shading, a saturated patch and fine texture, no edges
// that line up with the chroma or palette grids.
TBitmap NaturalPicture(int width, int height) {
  TBitmap picture(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const double u = (x + 0.5) / width, v = (y + 0.5) / height;
      const double texture = 18 * std::sin(x * 1.7 + y * 0.9) * std::cos(y * 2.3 - x * 0.4);
      const double patch = std::exp(-((u - 0.62) * (u - 0.62) + (v - 0.4) * (v - 0.4)) * 30);
      const auto channel = [](double value) { return static_cast<int>(std::clamp(value, 0.0, 255.0)); };
      picture.SetPixel(x, y,
                       RGB(channel(60 + 150 * u + texture + 90 * patch), channel(40 + 170 * v * (1 - u) + texture),
                           channel(200 - 120 * v + texture * 0.5 - 160 * patch)));
    }
  return picture;
}

struct TModeCase {
  TColorMode Mode;
  int Depth;  // of the PNG
  bool Palette;
  int RedBits, GreenBits, BlueBits;  // the frame's true precision; 8 when whole bytes
};

const TModeCase kModes[] = {
    {TColorMode::cm32bit, 8, false, 8, 8, 8}, {TColorMode::cm24bit, 8, false, 8, 8, 8},
    {TColorMode::cm16bit, 8, false, 5, 6, 5}, {TColorMode::cm15bit, 8, false, 5, 5, 5},
    {TColorMode::cm8bit, 8, true, 8, 8, 8},   {TColorMode::cm4bit, 4, true, 8, 8, 8},
    {TColorMode::cm1bit, 1, true, 8, 8, 8},
};

// The channels of a 15- or 16-bit pixel as the frame stores them.
void TrueFields(const TBitmap& frame, int x, int y, int fields[3]) {
  const std::uint8_t* row = frame.ScanLine(y);
  const unsigned value = row[2 * x] | (row[2 * x + 1] << 8);
  if (frame.PixelFormat() == TPixelFormat::pf16bit) {
    fields[0] = static_cast<int>(value >> 11), fields[1] = static_cast<int>((value >> 5) & 0x3F);
  } else {
    fields[0] = static_cast<int>(value >> 10) & 0x1F, fields[1] = static_cast<int>((value >> 5) & 0x1F);
  }
  fields[2] = static_cast<int>(value & 0x1F);
}

TEST(FrameSavingPng, EveryModeHoldsThePixelsOfItsBmp) {
  fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
  const TBitmap source = NaturalPicture(90, 41);
  for (const TModeCase& c : kModes) {
    // Odd widths leave part of the last byte of 1- and 4-bit rows unused.
    for (const int width : {1, 7, 9, 33, 90}) {
      SCOPED_TRACE(std::string(ColorModeText(c.Mode)) + " width " + std::to_string(width));
      const auto frame = ConvertFrame(source, width, 41, c.Mode);
      const std::string bmpPath = folder.File("f.bmp"), pngPath = folder.File("f.png");
      SaveFrameFile(*frame, bmpPath, {TSaveFormat::sfBMP, 50, "f"});
      SaveFrameFile(*frame, pngPath, {TSaveFormat::sfPNG, 50, "f"});
      TBitmap bmp;
      bmp.LoadFromFile(bmpPath);
      const TLibpngPicture png = ReadPngFile(pngPath);
      ASSERT_TRUE(png.Ok) << png.Error;
      ASSERT_EQ(png.Width, width);
      ASSERT_EQ(png.Height, 41);
      EXPECT_EQ(png.BitDepth, c.Depth);
      EXPECT_EQ(png.ColorType, c.Palette ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB);
      EXPECT_EQ(png.HasSignificantBits, c.RedBits != 8);
      if (png.HasSignificantBits) {
        EXPECT_EQ(png.SignificantRed, c.RedBits);
        EXPECT_EQ(png.SignificantGreen, c.GreenBits);
        EXPECT_EQ(png.SignificantBlue, c.BlueBits);
      }
      if (c.Palette) {
        ASSERT_GE(png.Table.size(), bmp.Palette().size());
        for (std::size_t i = 0; i < bmp.Palette().size(); ++i)
          EXPECT_EQ(png.Table[i], bmp.Palette()[i].ToColor()) << "entry " << i;
      }
      for (int y = 0; y < 41; ++y)
        for (int x = 0; x < width; ++x) {
          ASSERT_EQ(png.ColorAt(x, y), static_cast<long long>(bmp.GetPixel(x, y))) << x << "," << y;
          if (c.Palette) {
            ASSERT_EQ(png.Samples[static_cast<std::size_t>(y) * width + x], bmp.GetIndex(x, y));
          }
          if (c.RedBits != 8) {
            // The widened value still says exactly what the frame holds.
            int fields[3];
            TrueFields(*frame, x, y, fields);
            const std::uint8_t* rgb = &png.Samples[3 * (static_cast<std::size_t>(y) * width + x)];
            ASSERT_EQ(rgb[0] >> (8 - c.RedBits), fields[0]);
            ASSERT_EQ(rgb[1] >> (8 - c.GreenBits), fields[1]);
            ASSERT_EQ(rgb[2] >> (8 - c.BlueBits), fields[2]);
          }
        }
    }
  }
}

TEST(FrameSavingPng, IndicesBeyondTheTableReadBlackAsInTheBmp) {
  fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
  for (const auto format : {TPixelFormat::pf4bit, TPixelFormat::pf8bit}) {
    TBitmap frame(6, 2, format);
    frame.SetPalette({TRGBQuad::FromColor(RGB(10, 200, 30)), TRGBQuad::FromColor(RGB(250, 240, 5))});
    // Index 5 has no entry of its own.
    std::uint8_t* row = frame.ScanLine(1);
    if (format == TPixelFormat::pf4bit) row[1] = 0x51;  // pixels 2 and 3: 5 and 1
    else row[2] = 5, row[3] = 1;
    SaveFrameFile(frame, folder.File("f.png"), {TSaveFormat::sfPNG, 50, "f"});
    SaveFrameFile(frame, folder.File("f.bmp"), {TSaveFormat::sfBMP, 50, "f"});
    const TLibpngPicture png = ReadPngFile(folder.File("f.png"));
    ASSERT_TRUE(png.Ok) << png.Error;
    ASSERT_EQ(png.Table.size(), 6u);
    TBitmap bmp;
    bmp.LoadFromFile(folder.File("f.bmp"));
    EXPECT_EQ(png.ColorAt(2, 1), static_cast<long long>(clBlack));
    EXPECT_EQ(png.ColorAt(3, 1), static_cast<long long>(RGB(250, 240, 5)));
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 6; ++x) EXPECT_EQ(png.ColorAt(x, y), static_cast<long long>(bmp.GetPixel(x, y)));
  }
}

// The filter type that starts each row of the PNG's pixel data (0: none), read from the
// inflated IDAT chunks of a PNG of `rowBytes` bytes a row.
std::vector<int> RowFilters(const std::vector<std::uint8_t>& png, std::size_t rowBytes, int rows) {
  std::vector<std::uint8_t> compressed;
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t length = (std::size_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
    if (std::string(png.begin() + static_cast<std::ptrdiff_t>(at) + 4,
                    png.begin() + static_cast<std::ptrdiff_t>(at) + 8) == "IDAT")
      compressed.insert(compressed.end(), png.begin() + static_cast<std::ptrdiff_t>(at) + 8,
                        png.begin() + static_cast<std::ptrdiff_t>(at + 8 + length));
    at += 12 + length;
  }
  std::vector<std::uint8_t> raw((rowBytes + 1) * static_cast<std::size_t>(rows));
  uLongf size = raw.size();
  EXPECT_EQ(uncompress(raw.data(), &size, compressed.data(), compressed.size()), Z_OK);
  EXPECT_EQ(size, raw.size());
  std::vector<int> filters;
  for (int y = 0; y < rows; ++y) filters.push_back(raw[(rowBytes + 1) * static_cast<std::size_t>(y)]);
  return filters;
}

// A 24-bit picture that cycles through `colours` distinct colours.
TBitmap CyclingColours(int colours) {
  TBitmap picture(64, 40, TPixelFormat::pf24bit);
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 64; ++x) {
      const int i = (x * 3 + y * 5) % colours;
      picture.SetPixel(x, y, RGB(i % 256, (i * 7 + i / 256) % 256, (i * 13) % 256));
    }
  return picture;
}

TEST(FrameSavingPng, FramesOf256ColoursOrFewerAreLeftUnfiltered) {
  // A palette video in 24 bits: filters would only break up its repeated colours.
  const std::vector<int> unfiltered(40, 0);
  EXPECT_EQ(RowFilters(EncodePNG(CyclingColours(256)), 64 * 3, 40), unfiltered);
  EXPECT_EQ(RowFilters(EncodePNG(*ConvertFrame(CyclingColours(256), 64, 40, TColorMode::cm32bit)), 64 * 3, 40),
            unfiltered);
  EXPECT_EQ(RowFilters(EncodePNG(*ConvertFrame(NaturalPicture(64, 40), 64, 40, TColorMode::cm8bit)), 64, 40),
            unfiltered);
  // More colours: each row takes Sub or Up, whichever suits it.
  for (const TBitmap& many : {CyclingColours(257), NaturalPicture(64, 40)})
    for (const int filter : RowFilters(EncodePNG(many), 64 * 3, 40)) EXPECT_TRUE(filter == 1 || filter == 2) << filter;
}

TEST(FrameSavingPng, SamePictureSameBytesAndEmptyIsRefused) {
  const auto frame = ConvertFrame(NaturalPicture(40, 30), 40, 30, TColorMode::cm24bit);
  EXPECT_EQ(EncodePNG(*frame), EncodePNG(*ConvertFrame(NaturalPicture(40, 30), 40, 30, TColorMode::cm24bit)));
  EXPECT_THROW(EncodePNG(TBitmap(0, 5, TPixelFormat::pf24bit)), EClipvaneError);
  EXPECT_EQ(FrameFileName("frame", 42, 249, TSaveFormat::sfPNG), "frame0042.png");
}

}  // namespace
}  // namespace clipvane
