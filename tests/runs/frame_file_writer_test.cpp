// The frame files of the command line's extraction, written on worker threads: the same bytes
// as on one thread, every frame handed over written (also when the writer goes without
// Finish), and the first failure told with its file and nothing written after it.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/error.h"
#include "runs/frames/frame_conversion.h"
#include "runs/frames/frame_file_writer.h"
#include "support/avi_fixtures.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// "t3" and the like; appended piece by piece: GCC 12 warns falsely about string + here.
std::string Name(const char* prefix, int n, const char* suffix = "") {
  std::string name(prefix);
  name.append(std::to_string(n)).append(suffix);
  return name;
}

// Frame n: a picture no other frame has.
TBitmap Frame(int n) {
  TBitmap frame(37, 23, TPixelFormat::pf24bit);
  for (int y = 0; y < 23; ++y)
    for (int x = 0; x < 37; ++x)
      frame.SetPixel(x, y, RGB((x * 7 + n * 31) % 256, (y * 11 + n) % 256, (x * y + n) % 256));
  return frame;
}

TEST(FrameFileWriter, EveryFrameWrittenAsOneThreadWritesIt) {
  fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
  for (const TSaveFormat format : {TSaveFormat::sfPNG, TSaveFormat::sfJPEG, TSaveFormat::sfBMP}) {
    const TSaveOptions options{format, 80, "f"};
    {
      TFrameFileWriter writer(options, 3);
      for (int n = 0; n < 12; ++n) writer.Write(Frame(n), folder.File(Name("t", n)));
      writer.Finish();
    }
    for (int n = 0; n < 12; ++n) {
      SaveFrameFile(Frame(n), folder.File("one"), options);
      const auto threaded = FileBytes(folder.File(Name("t", n)));
      ASSERT_FALSE(threaded.empty()) << n;
      EXPECT_EQ(threaded, FileBytes(folder.File("one"))) << n;
    }
  }
}

TEST(FrameFileWriter, FramesHandedOverAreWrittenWhenTheWriterGoesWithoutFinish) {
  fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
  // Frames that take a while to compress: the last is still waiting when the writer goes.
  TBitmap noise(400, 300, TPixelFormat::pf24bit);
  std::uint32_t seed = 1;
  for (std::uint8_t& byte : noise.Bits())
    byte = static_cast<std::uint8_t>((seed = seed * 1664525u + 1013904223u) >> 24);
  {
    TFrameFileWriter writer({TSaveFormat::sfPNG, 50, "f"}, 1);
    for (int n = 0; n < 4; ++n) writer.Write(noise, folder.File(Name("", n, ".png")));
  }
  for (int n = 0; n < 4; ++n) EXPECT_TRUE(fs::exists(folder.File(Name("", n, ".png")))) << n;
}

TEST(FrameFileWriter, FirstFailureIsToldWithItsFileAndStopsTheWriting) {
  fixtures::TTempFolder folder{CLIPVANE_TEST_TMP};
  // A "folder" that is a regular file: nothing can be created in it.
  std::ofstream(folder.File("not-a-folder")) << "x";
  const std::string bad = folder.File("not-a-folder/f1.png");
  TFrameFileWriter writer({TSaveFormat::sfPNG, 50, "f"}, 1);
  writer.Write(Frame(0), folder.File("f0.png"));
  writer.Write(Frame(1), bad);
  try {
    writer.Finish();
    ADD_FAILURE() << "a file that cannot be made must fail the writing";
  } catch (const EClipvaneError& error) {
    EXPECT_NE(std::string(error.what()).find(bad), std::string::npos) << error.what();
  }
  // Later frames are refused with the same error and never written.
  EXPECT_THROW(writer.Write(Frame(2), folder.File("f2.png")), EClipvaneError);
  EXPECT_THROW(writer.Finish(), EClipvaneError);
  EXPECT_TRUE(fs::exists(folder.File("f0.png")));
  EXPECT_FALSE(fs::exists(folder.File("f2.png")));
}

}  // namespace
}  // namespace clipvane
