// Choosing the decoder by extension: case does not matter, an unknown extension is refused
// with a message naming the file, and the BMP entry applies the same limits as the others.
#include <gtest/gtest.h>

#include <filesystem>

#include "core/atomic_file.h"
#include "decoder_test_support.h"
#include "imageio/picture_decoders.h"

namespace clipvane {
namespace {

using namespace testing_support;

std::string MessageOf(const TBytes& data, std::string_view name) {
  try {
    DecodePicture(data, name, clWhite);
  } catch (const EClipvaneError& error) {
    return error.what();
  }
  return "no error";
}

TBytes TinyPixmap() {
  TBytes data = FromText("P6 1 1 255\n");
  Append(data, {10, 20, 30});
  return data;
}

TBytes TinyTarga() {
  TBytes data = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 24, 0};
  Append(data, {30, 20, 10});
  return data;
}

TEST(PictureFormatChoice, ExtensionsAreComparedWithoutRegardToCase) {
  for (const char* name : {"a.ppm", "A.PPM", "b.Pgm", "c.PBM", "d.pxm", "e.PxM"})
    EXPECT_EQ(DecodePicture(TinyPixmap(), name, clWhite).GetPixel(0, 0), RGB(10, 20, 30)) << name;
  for (const char* name : {"a.tga", "b.TARGA", "c.Vda", "d.ICB", "e.vst", "f.WIN"})
    EXPECT_EQ(DecodePicture(TinyTarga(), name, clWhite).GetPixel(0, 0), RGB(10, 20, 30)) << name;
  TPngPicture picture = PngPicture(1, 1, PNG_COLOR_TYPE_RGB, 8);
  picture.rows = {{1, 2, 3}};
  EXPECT_EQ(DecodePicture(WritePng(picture), "/some.dir/Photo.PNG", clWhite).GetPixel(0, 0), RGB(1, 2, 3));
}

TEST(PictureFormatChoice, TheExtensionDecidesNotTheContents) {
  // A pixmap named .jpg goes to the JPEG decoder, which refuses it in its own words.
  EXPECT_EQ(MessageOf(TinyPixmap(), "photo.JPG"), "Invalid JPEG file: no start of image marker");
  EXPECT_EQ(MessageOf(TinyPixmap(), "photo.jpe"), "Invalid JPEG file: no start of image marker");
  EXPECT_EQ(MessageOf(TinyPixmap(), "scan.Tiff"), "Invalid TIFF file: no TIFF byte order mark");
  EXPECT_EQ(MessageOf(TinyPixmap(), "paint.pcx"), "Invalid PCX file: header is cut off");
  EXPECT_EQ(MessageOf(TinyPixmap(), "icon.CUR"), "Invalid icon file: not an icon or cursor");
}

TEST(PictureFormatChoice, UnknownExtensionsAreRefusedByName) {
  EXPECT_EQ(MessageOf(TinyPixmap(), "drawing.wmf"), "Unsupported picture format: drawing.wmf");
  EXPECT_EQ(MessageOf(TinyPixmap(), "drawing.EMF"), "Unsupported picture format: drawing.EMF");
  EXPECT_EQ(MessageOf(TinyPixmap(), "/home/me/pictures.d/notes.txt"), "Unsupported picture format: notes.txt");
  EXPECT_EQ(MessageOf(TinyPixmap(), "/home/me/photo.jpg/README"), "Unsupported picture format: README");
  EXPECT_EQ(MessageOf(TinyPixmap(), "archive.ppm.gz"), "Unsupported picture format: archive.ppm.gz");
  // Refused before the file is read: it need not even exist.
  try {
    LoadPictureFile("/nonexistent/folder/clip.avi", clWhite);
    FAIL();
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "Unsupported picture format: clip.avi");
  }
}

TEST(PictureFormatChoice, FilesAreReadFromDisk) {
  std::filesystem::create_directories(CLIPVANE_TEST_TMP);
  const std::string path = std::string(CLIPVANE_TEST_TMP) + "/decoders_pixel.PPM";
  WriteFileAtomically(path, TinyPixmap());
  EXPECT_EQ(LoadPictureFile(path, clWhite).GetPixel(0, 0), RGB(10, 20, 30));
  EXPECT_THROW(LoadPictureFile(std::string(CLIPVANE_TEST_TMP) + "/missing.ppm", clWhite), EClipvaneError);
}

TEST(PictureFormatChoice, DialogFilterListsWhatCanBeRead) {
  const std::string filter = PictureFileFilter();
  EXPECT_EQ(filter.rfind("All pictures (*.jpg *.jpeg *.jpe *.png ", 0), 0u) << filter;
  for (const std::string& extension : SupportedPictureExtensions()) {
    EXPECT_NE(filter.find("*" + extension), std::string::npos) << extension;
    std::string upper = "NAME" + extension;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_TRUE(IsSupportedPictureFile(upper)) << upper;
  }
  EXPECT_EQ(filter.find("wmf"), std::string::npos);
  EXPECT_NE(filter.find(";;Targa (*.tga *.targa *.vda *.icb *.vst *.win)"), std::string::npos);
  EXPECT_FALSE(IsSupportedPictureFile("vector.emf"));
  EXPECT_FALSE(IsSupportedPictureFile("noextension"));
}

TEST(PictureSizeLimits, SidesAndPixelCountAreBounded) {
  EXPECT_NO_THROW(CheckPictureDimensions("X", 32768, 8192));  // exactly 2^28 pixels
  EXPECT_NO_THROW(CheckPictureDimensions("X", 1, 32768));
  EXPECT_THROW(CheckPictureDimensions("X", 32769, 1), EClipvaneError);
  EXPECT_THROW(CheckPictureDimensions("X", 32768, 8193), EClipvaneError);
  EXPECT_THROW(CheckPictureDimensions("X", 0, 1), EClipvaneError);
  EXPECT_THROW(CheckPictureDimensions("X", 5, -1), EClipvaneError);
}

TBitmap Pattern(TPixelFormat format) {
  TBitmap bitmap(5, 3, TPixelFormat::pf24bit);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) bitmap.SetPixel(x, y, RGB(x * 50, y * 100, 7));
  bitmap.SetPixelFormat(format);
  return bitmap;
}

TEST(BmpEntry, TrueColourComesAsTwentyFourBitsAndPalettesStay) {
  const TBitmap wide = DecodePicture(Pattern(TPixelFormat::pf32bit).SaveToBMP(), "frame.DIB", clWhite);
  EXPECT_EQ(wide.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(wide, Pattern(TPixelFormat::pf24bit));
  const TBitmap indexed = DecodePicture(Pattern(TPixelFormat::pf8bit).SaveToBMP(), "frame.bmp", clWhite);
  EXPECT_EQ(indexed, Pattern(TPixelFormat::pf8bit));
}

TEST(BmpEntry, AbsurdSizeAndCutDataAreRefusedBeforeLoading) {
  TBytes bmp = Pattern(TPixelFormat::pf24bit).SaveToBMP();
  TBytes wide = bmp;
  wide[18] = 0x40;
  wide[19] = 0x9C;  // width 40000
  EXPECT_EQ(MessageOf(wide, "x.bmp"), "BMP image is too large: 40000 x 3 pixels");
  TBytes tall = bmp;
  tall[22] = 0;
  tall[23] = 0x40;  // height 16384 with 5 columns: inside the limits, far beyond the data
  EXPECT_EQ(MessageOf(tall, "x.bmp"), "Bitmap image is not valid: pixel data cut off");
}

TEST(BmpEntry, RunLengthDataCutBeforeItsEndIsRefused) {
  // 4 x 2, eight bits, RLE8: the bottom row, end of line, the top row closed by the end marker.
  // (Once every row is complete the rest is not needed, so the cuts that matter leave rows out.)
  TBytes rle = {4, 1, 0, 0, 4, 2, 0, 1};
  TBytes bmp = {'B', 'M'};
  PutLe32(bmp, static_cast<std::uint32_t>(14 + 40 + 1024 + rle.size()));
  PutLe32(bmp, 0);
  PutLe32(bmp, 14 + 40 + 1024);
  PutLe32(bmp, 40);
  PutLe32(bmp, 4);
  PutLe32(bmp, 2);
  PutLe16(bmp, 1);
  PutLe16(bmp, 8);
  PutLe32(bmp, 1);  // RLE8
  PutLe32(bmp, static_cast<std::uint32_t>(rle.size()));
  for (int i = 0; i < 4; ++i) PutLe32(bmp, 0);
  bmp.resize(bmp.size() + 1024, 0x40);
  Append(bmp, rle);
  const TBitmap whole = DecodePicture(bmp, "run.RLE", clWhite);
  EXPECT_EQ(whole.GetIndex(0, 1), 1);
  EXPECT_EQ(whole.GetIndex(3, 0), 2);
  ExpectEveryTruncationRejected(bmp, [](const TBytes& d) { return DecodePicture(d, "run.rle", clWhite); });
}

TEST(BmpEntry, RandomDamageIsHandled) {
  ExpectMutationsHandled(
      Pattern(TPixelFormat::pf4bit).SaveToBMP(), [](const TBytes& d) { return DecodePicture(d, "x.bmp", clWhite); },
      0x424D50);
}

}  // namespace
}  // namespace clipvane
