// clipvane-cli transition end to end: the GIF it writes is read back with giflib; bad command
// lines and unreadable pictures fail without leaving or replacing an output file.
#include <gif_lib.h>
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/bitmap.h"

namespace clipvane {
namespace {

namespace fs = std::filesystem;

struct TCliResult {
  int status = -1;
  std::string out;
  std::string err;
};

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TransitionCli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::path(CLIPVANE_TEST_TMP) /
          ("transition_cli_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }

  TCliResult Run(const std::string& arguments) {
    const std::string command = std::string("'") + CLIPVANE_CLI_PATH + "' transition " + arguments + " >'" +
                                (dir / "stdout").string() + "' 2>'" + (dir / "stderr").string() + "'";
    const int raw = std::system(command.c_str());
    TCliResult result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadText(dir / "stdout");
    result.err = ReadText(dir / "stderr");
    return result;
  }
  std::string Path(const std::string& name) const { return (dir / name).string(); }
  // The path in single quotes, for the shell.
  std::string Quoted(const std::string& name) const {
    std::string quoted(1, '\'');
    quoted += Path(name);
    quoted += '\'';
    return quoted;
  }

  fs::path dir;
};

struct TGifCloser {
  void operator()(GifFileType* gif) const {
    int error = 0;
    DGifCloseFile(gif, &error);
  }
};
using TGifFile = std::unique_ptr<GifFileType, TGifCloser>;

TGifFile ReadGif(const std::string& path) {
  int error = 0;
  TGifFile gif(DGifOpenFileName(path.c_str(), &error));
  if (!gif) return nullptr;
  if (DGifSlurp(gif.get()) != GIF_OK) return nullptr;
  return gif;
}

// Colour of pixel (x, y) of image i: red, green, blue packed as 0xRRGGBB.
int PixelColor(const GifFileType* gif, int i, int x, int y) {
  const SavedImage& image = gif->SavedImages[i];
  const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
  const int index = image.RasterBits[y * image.ImageDesc.Width + x];
  const GifColorType& c = map->Colors[index];
  return (c.Red << 16) | (c.Green << 8) | c.Blue;
}

int Delay(const GifFileType* gif, int i) {
  GraphicsControlBlock control;
  if (DGifSavedExtensionToGCB(const_cast<GifFileType*>(gif), i, &control) != GIF_OK) return -1;
  return control.DelayTime;
}

TEST_F(TransitionCli, EmptyWhiteAndBlackSlotsGiveTheElevenFrameClip) {
  const TCliResult result =
      Run("empty empty '" + Path("out.gif") + "' --source-color '#FFFFFF' --dest-color '#000000'");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "Size: 100 x 100 pixels  Frames: 11\n");
  const TGifFile gif = ReadGif(Path("out.gif"));
  ASSERT_TRUE(gif);
  EXPECT_EQ(gif->SWidth, 100);
  EXPECT_EQ(gif->SHeight, 100);
  ASSERT_EQ(gif->ImageCount, 11);
  const int grey[] = {255, 230, 204, 178, 153, 128, 102, 76, 51, 26, 0};
  for (int i = 0; i < 11; ++i) {
    EXPECT_EQ(gif->SavedImages[i].ImageDesc.Width, 100);
    EXPECT_EQ(gif->SavedImages[i].ImageDesc.Height, 100);
    const int expected = grey[i] * 0x010101;
    EXPECT_EQ(PixelColor(gif.get(), i, 0, 0), expected) << "frame " << i;
    EXPECT_EQ(PixelColor(gif.get(), i, 99, 99), expected) << "frame " << i;
    EXPECT_EQ(Delay(gif.get(), i), 10) << "frame " << i;
  }
  // Frame 0: the NETSCAPE2.0 block with loop count 0 comes before the graphic control block.
  const SavedImage& first = gif->SavedImages[0];
  int loopAt = -1, controlAt = -1;
  for (int j = 0; j < first.ExtensionBlockCount; ++j) {
    const ExtensionBlock& block = first.ExtensionBlocks[j];
    if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
        std::string(reinterpret_cast<const char*>(block.Bytes), 11) == "NETSCAPE2.0") {
      loopAt = j;
      ASSERT_LT(j + 1, first.ExtensionBlockCount);
      const ExtensionBlock& data = first.ExtensionBlocks[j + 1];
      ASSERT_GE(data.ByteCount, 3);
      EXPECT_EQ(data.Bytes[0], 1);
      EXPECT_EQ(data.Bytes[1] | (data.Bytes[2] << 8), 0);
    }
    if (block.Function == GRAPHICS_EXT_FUNC_CODE && controlAt < 0) controlAt = j;
  }
  EXPECT_GE(loopAt, 0);
  EXPECT_GT(controlAt, loopAt);
  for (int i = 1; i < 11; ++i)
    for (int j = 0; j < gif->SavedImages[i].ExtensionBlockCount; ++j)
      EXPECT_NE(gif->SavedImages[i].ExtensionBlocks[j].Function, APPLICATION_EXT_FUNC_CODE);
}

TEST_F(TransitionCli, BestQualityKeepsEveryStepOnTheExactTimeLine) {
  // Three steps over a second: 333 ms each, so the frames start at 0, 33, 67 and 100
  // hundredths; every grey of the dissolve is shown exactly (one colour a frame).
  const TCliResult result =
      Run("empty empty '" + Path("best.gif") + "' --steps 3 --source-color '#FFFFFF' --dest-color '#000000' --best");
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "Size: 100 x 100 pixels  Frames: 4\n");
  const TGifFile gif = ReadGif(Path("best.gif"));
  ASSERT_TRUE(gif);
  ASSERT_EQ(gif->ImageCount, 4);
  const int delays[] = {33, 34, 33, 33};
  for (int i = 0; i < 4; ++i) EXPECT_EQ(Delay(gif.get(), i), delays[i]) << "frame " << i;
  EXPECT_EQ(PixelColor(gif.get(), 0, 50, 50), 0xFFFFFF);
  EXPECT_EQ(PixelColor(gif.get(), 3, 0, 0), 0x000000);
}

TEST_F(TransitionCli, PicturesArePaddedAndTheEffectIsChosenByNameOrIndex) {
  TBitmap wide(30, 20), tall(20, 30);
  wide.FillRect(TRect{0, 0, 30, 20}, RGB(255, 0, 0));
  tall.FillRect(TRect{0, 0, 20, 30}, RGB(0, 0, 255));
  wide.SaveToFile(Path("wide.bmp"));
  tall.SaveToFile(Path("tall.bmp"));
  for (const std::string effect : {"LeftRight", "leftright", "2"}) {
    const TCliResult result =
        Run(Quoted("wide.bmp") + " " + Quoted("tall.bmp") + " " + Quoted("wipe.gif") + " --effect " + effect +
            " --steps 2 --duration 500 --source-color 00FF00 " + "--dest-color '#FFFF00'");
    ASSERT_EQ(result.status, 0) << effect << ": " << result.err;
    EXPECT_EQ(result.err, "Size: 30 x 30 pixels  Frames: 3\n");
    const TGifFile gif = ReadGif(Path("wipe.gif"));
    ASSERT_TRUE(gif);
    ASSERT_EQ(gif->ImageCount, 3);
    EXPECT_EQ(Delay(gif.get(), 0), 25);  // trunc(500 / 20)
    // Step 0: the source padded with green below; step 1: 15 columns of the destination.
    EXPECT_EQ(PixelColor(gif.get(), 0, 5, 5), 0xFF0000);
    EXPECT_EQ(PixelColor(gif.get(), 0, 5, 25), 0x00FF00);
    EXPECT_EQ(PixelColor(gif.get(), 1, 14, 5), 0x0000FF);
    EXPECT_EQ(PixelColor(gif.get(), 1, 15, 5), 0xFF0000);
    EXPECT_EQ(PixelColor(gif.get(), 2, 25, 5), 0xFFFF00);  // destination padded with yellow
  }
}

TEST_F(TransitionCli, BadCommandLinesAreUsageErrorsAndWriteNothing) {
  const std::string out = Quoted("out.gif");
  const std::vector<std::string> commandLines = {"empty empty",
                                                 "empty empty " + out + " --steps 0",
                                                 "empty empty " + out + " --steps 51",
                                                 "empty empty " + out + " --duration 9",
                                                 "empty empty " + out + " --duration 5001",
                                                 "empty empty " + out + " --effect Swirl",
                                                 "empty empty " + out + " --effect 24",
                                                 "empty empty " + out + " --source-color red",
                                                 "empty empty " + out + " --dest-color '#12345'",
                                                 "empty empty " + out + " --steps",
                                                 "empty empty " + out + " --speed 3",
                                                 "empty empty " + out + " extra"};
  for (const std::string& arguments : commandLines) {
    const TCliResult result = Run(arguments);
    EXPECT_EQ(result.status, 2) << arguments;
    EXPECT_NE(result.err.find("usage:"), std::string::npos) << arguments;
    EXPECT_FALSE(fs::exists(dir / "out.gif")) << arguments;
  }
}

TEST_F(TransitionCli, AnUnreadablePictureFailsAndKeepsTheOldOutput) {
  {
    std::ofstream(Path("out.gif")) << "old";
    std::ofstream(Path("broken.bmp")) << "BM not really";
  }
  for (const std::string& source : std::vector<std::string>{Path("missing.bmp"), Path("broken.bmp")}) {
    const TCliResult result = Run("'" + source + "' empty '" + Path("out.gif") + "'");
    EXPECT_EQ(result.status, 1) << source;
    EXPECT_EQ(result.err.rfind("clipvane-cli: ", 0), 0u) << result.err;
    EXPECT_EQ(ReadText(dir / "out.gif"), "old");
  }
  std::vector<std::string> leftovers;
  for (const auto& entry : fs::directory_iterator(dir)) leftovers.push_back(entry.path().filename().string());
  std::sort(leftovers.begin(), leftovers.end());
  EXPECT_EQ(leftovers, (std::vector<std::string>{"broken.bmp", "out.gif", "stderr", "stdout"}));
}

}  // namespace
}  // namespace clipvane
