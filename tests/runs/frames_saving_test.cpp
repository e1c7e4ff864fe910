// Saving extracted frames: file names, the BMP layout of every colour mode, JPEG and TIFF
// read back by libjpeg and libtiff, and failures of every format that must leave no partial file.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>

// jpeglib.h needs FILE and size_t declared first.
#include <jpeglib.h>
#include <tiffio.h>

#include "core/error.h"
#include "core/palettes.h"
#include "runs/frames/frame_conversion.h"
#include "runs/frames/frame_saving.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;

class TScratchFolder {
 public:
  TScratchFolder() {
    fs::create_directories(CLIPVANE_TEST_TMP);
    std::string pattern = std::string(CLIPVANE_TEST_TMP) + "/frames-save-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TScratchFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t Le32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (std::uint32_t{b[at + 3]} << 24);
}
std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

TBitmap TestFrame(int width, int height) {
  TBitmap frame(width, height, TPixelFormat::pf24bit);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) frame.SetPixel(x, y, RGB(x * 9 % 256, y * 13 % 256, (x * y) % 256));
  return frame;
}

TEST(FrameFileNames, NumberIsZeroPaddedToAtLeastFourDigits) {
  EXPECT_EQ(FrameFileName("frame", 42, 249, TSaveFormat::sfBMP), "frame0042.bmp");
  EXPECT_EQ(FrameFileName("frame", 0, 10, TSaveFormat::sfJPEG), "frame0000.jpg");
  EXPECT_EQ(FrameFileName("shot_", 9999, 9999, TSaveFormat::sfTIFF), "shot_9999.tif");
  // Longer videos get longer numbers so that every name of the video has the same length.
  EXPECT_EQ(FrameFileName("frame", 42, 10000, TSaveFormat::sfBMP), "frame00042.bmp");
  EXPECT_EQ(FrameFileName("frame", 123456, 123456, TSaveFormat::sfBMP), "frame123456.bmp");
  EXPECT_EQ(FrameFileName("", 7, 5, TSaveFormat::sfBMP), "0007.bmp");
}

TEST(FrameFileNames, BaseNameCannotLeaveTheFolder) {
  EXPECT_THROW(FrameFileName("../frame", 1, 10, TSaveFormat::sfBMP), EClipvaneError);
  EXPECT_THROW(FrameFileName(std::string("fr\0me", 5), 1, 10, TSaveFormat::sfBMP), EClipvaneError);
  EXPECT_THROW(FrameFileName("frame", -1, 10, TSaveFormat::sfBMP), EClipvaneError);
}

struct TBmpLayout {
  TColorMode mode;
  unsigned bits, compression, coloursUsed;
};

TEST(FrameSavingBmp, HeaderFieldsOfEveryMode) {
  const TBmpLayout layouts[] = {{TColorMode::cm32bit, 32, 0, 0}, {TColorMode::cm24bit, 24, 0, 0},
                                {TColorMode::cm16bit, 16, 3, 0}, {TColorMode::cm15bit, 16, 0, 0},
                                {TColorMode::cm8bit, 8, 0, 256}, {TColorMode::cm4bit, 4, 0, 16},
                                {TColorMode::cm1bit, 1, 0, 2}};
  TScratchFolder folder;
  const TBitmap source = TestFrame(37, 11);  // odd width: every format needs row padding
  for (const auto& layout : layouts) {
    SCOPED_TRACE(std::string(ColorModeText(layout.mode)));
    const auto frame = ConvertFrame(source, 37, 11, layout.mode);
    const std::string path = folder.File("f.bmp");
    SaveFrameFile(*frame, path, {TSaveFormat::sfBMP, 50, "f"});
    const auto b = FileBytes(path);
    const std::size_t stride = (37 * layout.bits + 31) / 32 * 4;
    const std::size_t table = layout.coloursUsed * 4 + (layout.compression == 3 ? 12 : 0);
    ASSERT_EQ(b.size(), 14 + 40 + table + stride * 11);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(Le32(b, 2), b.size());
    EXPECT_EQ(Le32(b, 6), 0u);
    EXPECT_EQ(Le32(b, 10), 14 + 40 + table);
    EXPECT_EQ(Le32(b, 14), 40u);
    EXPECT_EQ(Le32(b, 18), 37u);
    EXPECT_EQ(Le32(b, 22), 11u);  // positive: bottom-up rows
    EXPECT_EQ(Le16(b, 26), 1u);
    EXPECT_EQ(Le16(b, 28), layout.bits);
    EXPECT_EQ(Le32(b, 30), layout.compression);
    EXPECT_EQ(Le32(b, 34), stride * 11);
    EXPECT_EQ(Le32(b, 46), layout.coloursUsed);
    if (layout.compression == 3) {
      EXPECT_EQ(Le32(b, 54), 0xF800u);
      EXPECT_EQ(Le32(b, 58), 0x07E0u);
      EXPECT_EQ(Le32(b, 62), 0x001Fu);
    }
    for (std::size_t i = 0; i < layout.coloursUsed; ++i) {
      const TRGBQuad entry = frame->Palette()[i];
      ASSERT_EQ(b[54 + 4 * i], entry.Blue);
      ASSERT_EQ(b[55 + 4 * i], entry.Green);
      ASSERT_EQ(b[56 + 4 * i], entry.Red);
      ASSERT_EQ(b[57 + 4 * i], 0);
    }
    // The bottom row of the picture comes first.
    const std::size_t pixels = 14 + 40 + table;
    const std::size_t used = (37 * layout.bits + 7) / 8;
    EXPECT_TRUE(std::equal(frame->ScanLine(10), frame->ScanLine(10) + used, b.begin() + static_cast<long>(pixels)));
    TBitmap back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Width(), 37);
    for (int y = 0; y < 11; y += 5)
      for (int x = 0; x < 37; x += 6) ASSERT_EQ(back.GetPixel(x, y), frame->GetPixel(x, y));
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"f.bmp"});  // no temporary left behind
}

// libjpeg's view of a file: size, components and pixels in red-green-blue order.
struct TDecodedJpeg {
  int width = 0, height = 0, components = 0;
  std::vector<std::uint8_t> rgb;
};

TDecodedJpeg DecodeJpegFile(const std::string& path) {
  const auto bytes = FileBytes(path);
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr errors{};
  cinfo.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.data(), bytes.size());
  TDecodedJpeg out;
  if (jpeg_read_header(&cinfo, TRUE) == JPEG_HEADER_OK) {
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.components = cinfo.output_components;
    out.rgb.resize(static_cast<std::size_t>(out.width) * out.height * 3);
    while (cinfo.output_scanline < cinfo.output_height) {
      JSAMPROW row = out.rgb.data() + static_cast<std::size_t>(cinfo.output_scanline) * out.width * 3;
      jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
  }
  jpeg_destroy_decompress(&cinfo);
  return out;
}

TEST(FrameSavingJpeg, EveryModeReadsBackWithLibjpeg) {
  TScratchFolder folder;
  TBitmap source(64, 32, TPixelFormat::pf24bit);
  source.FillRect(TRect{0, 0, 32, 32}, RGB(255, 0, 0));
  source.FillRect(TRect{32, 0, 64, 32}, clWhite);
  for (const auto mode : {TColorMode::cm32bit, TColorMode::cm24bit, TColorMode::cm16bit, TColorMode::cm15bit,
                          TColorMode::cm8bit, TColorMode::cm4bit, TColorMode::cm1bit}) {
    SCOPED_TRACE(std::string(ColorModeText(mode)));
    const auto frame = ConvertFrame(source, 64, 32, mode);
    const std::string path = folder.File("f.jpg");
    SaveFrameFile(*frame, path, {TSaveFormat::sfJPEG, 90, "f"});
    const TDecodedJpeg jpeg = DecodeJpegFile(path);
    ASSERT_EQ(jpeg.width, 64);
    ASSERT_EQ(jpeg.height, 32);
    EXPECT_EQ(jpeg.components, 3);
    // Inside each half, away from the edge, the frame's own colour within JPEG's error.
    for (const int x : {8, 56}) {
      const TColor expected = frame->GetPixel(x, 16);
      const std::uint8_t* p = &jpeg.rgb[(16 * 64 + static_cast<std::size_t>(x)) * 3];
      EXPECT_NEAR(p[0], GetRValue(expected), 12) << x;
      EXPECT_NEAR(p[1], GetGValue(expected), 12) << x;
      EXPECT_NEAR(p[2], GetBValue(expected), 12) << x;
    }
  }
}

TEST(FrameSavingTiff, OneBitFrameReadsBackWithLibtiff) {
  TScratchFolder folder;
  const auto frame = ConvertFrame(TestFrame(45, 9), 45, 9, TColorMode::cm1bit);
  const std::string path = folder.File("f.tif");
  SaveFrameFile(*frame, path, {TSaveFormat::sfTIFF, 50, "f"});
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  std::uint32_t width = 0, height = 0;
  std::uint16_t bits = 0, samples = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
  TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samples);
  EXPECT_EQ(width, 45u);
  EXPECT_EQ(height, 9u);
  EXPECT_EQ(bits, 1);
  EXPECT_EQ(samples, 1);
  std::vector<std::uint32_t> raster(45 * 9);
  ASSERT_EQ(TIFFReadRGBAImageOriented(tif, 45, 9, raster.data(), ORIENTATION_TOPLEFT, 0), 1);
  TIFFClose(tif);
  for (int y = 0; y < 9; ++y)
    for (int x = 0; x < 45; ++x) {
      const std::uint32_t p = raster[static_cast<std::size_t>(y) * 45 + x];
      ASSERT_EQ(RGB(TIFFGetR(p), TIFFGetG(p), TIFFGetB(p)), frame->GetPixel(x, y)) << x << "," << y;
    }
}

TEST(FrameSavingList, WritesEveryListedFrameUnderItsName) {
  TScratchFolder folder;
  std::vector<std::unique_ptr<TBitmap>> bitmaps;
  std::vector<TExtractedFrame> list;
  for (const int n : {3, 17, 250}) {
    bitmaps.push_back(ConvertFrame(TestFrame(10, 8), 10, 8 + n % 3, TColorMode::cm24bit));
    list.push_back({"Frame " + std::to_string(n), n, bitmaps.back().get()});
  }
  const auto written = SaveExtractedFrames(list, 250, folder.Path(), {TSaveFormat::sfBMP, 50, "clip"});
  EXPECT_EQ(written, (std::vector<std::string>{folder.File("clip0003.bmp"), folder.File("clip0017.bmp"),
                                               folder.File("clip0250.bmp")}));
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"clip0003.bmp", "clip0017.bmp", "clip0250.bmp"}));
  for (std::size_t i = 0; i < list.size(); ++i) {
    TBitmap back;
    back.LoadFromFile(written[i]);
    EXPECT_EQ(back, *bitmaps[i]);
  }
}

TEST(FrameSavingFailure, FolderThatCannotBeWrittenLeavesNothing) {
  TScratchFolder folder;
  // A "folder" that is a regular file: no file can be created in it, even for root.
  std::ofstream(folder.File("not-a-folder")) << "x";
  const auto frame = ConvertFrame(TestFrame(8, 8), 8, 8, TColorMode::cm24bit);
  for (const auto format : {TSaveFormat::sfBMP, TSaveFormat::sfJPEG, TSaveFormat::sfTIFF, TSaveFormat::sfPNG}) {
    const std::string path = folder.File("not-a-folder/frame0001") + std::string(SaveFormatExtension(format));
    try {
      SaveFrameFile(*frame, path, {format, 75, "frame"});
      ADD_FAILURE() << "writing into a file must fail";
    } catch (const EClipvaneError& error) {
      EXPECT_NE(std::string(error.what()).find(path), std::string::npos) << error.what();
    }
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"not-a-folder"});
}

// Lets writes of this process fail beyond `bytes`, as a full disk would, until it goes.
class TFileSizeLimit {
 public:
  explicit TFileSizeLimit(rlim_t bytes) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &saved_);
    rlimit limit = saved_;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~TFileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    std::signal(SIGXFSZ, SIG_DFL);
  }

 private:
  rlimit saved_{};
};

TEST(FrameSavingFailure, FullDiskLeavesNoPartialFileAndKeepsTheOldOne) {
  TScratchFolder folder;
  const std::string path = folder.File("frame0001.bmp");
  std::ofstream(path) << "the picture saved before";
  const auto frame = ConvertFrame(TestFrame(200, 100), 200, 100, TColorMode::cm24bit);
  for (const auto format : {TSaveFormat::sfBMP, TSaveFormat::sfJPEG, TSaveFormat::sfTIFF, TSaveFormat::sfPNG}) {
    const std::string target = folder.File("frame0001") + std::string(SaveFormatExtension(format));
    if (format != TSaveFormat::sfBMP) std::ofstream(target) << "the picture saved before";
    try {
      TFileSizeLimit full(100);
      SaveFrameFile(*frame, target, {format, 100, "frame"});
      ADD_FAILURE() << "a write beyond the disk's room must fail";
    } catch (const EClipvaneError& error) {
      EXPECT_NE(std::string(error.what()).find(target), std::string::npos) << error.what();
    }
    const auto kept = FileBytes(target);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the picture saved before");
  }
  EXPECT_EQ(folder.Names(),
            (std::vector<std::string>{"frame0001.bmp", "frame0001.jpg", "frame0001.png", "frame0001.tif"}));
}

TEST(FrameSavingFailure, ListStopsAtTheFirstFailureKeepingEarlierFiles) {
  TScratchFolder folder;
  const auto good = ConvertFrame(TestFrame(8, 8), 8, 8, TColorMode::cm24bit);
  const auto empty = ConvertFrame(TestFrame(8, 8), 0, 0, TColorMode::cm24bit);
  const std::vector<TExtractedFrame> list{
      {"Frame 1", 1, good.get()}, {"Frame 2", 2, empty.get()}, {"Frame 3", 3, good.get()}};
  try {
    SaveExtractedFrames(list, 3, folder.Path(), {TSaveFormat::sfJPEG, 75, "frame"});
    ADD_FAILURE() << "an empty frame cannot be a JPEG";
  } catch (const EClipvaneError& error) {
    EXPECT_NE(std::string(error.what()).find("frame0002.jpg"), std::string::npos) << error.what();
  }
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"frame0001.jpg"});
}

}  // namespace
}  // namespace clipvane
