// The GIF library's own threads beside the painters: frames encoded on a second thread as a
// document is built, and a document written to a file on a thread of its own, which can be
// cancelled at any write and then leaves no file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "gif/gif_image_encoder.h"
#include "gif/gif_image_saver.h"
#include "gif_test_support.h"

namespace clipvane {
namespace {

using namespace gif_test;

std::vector<std::uint8_t> FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

// What a folder holds: names only.
std::vector<std::string> Listing(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  return names;
}

// Twelve frames built the way the pages build them; frame 7 holds an index its two-colour
// table cannot hold, so it cannot be encoded and a save of it fails.
void BuildFrames(TGIFImage& image, TGIFFrameEncoder* encoder) {
  for (int n = 0; n < 12; ++n) {
    const int colors = n == 7 ? 2 : 64;
    std::vector<std::uint8_t> indices = NoiseIndices(48 * 32, colors, static_cast<std::uint32_t>(n));
    if (n == 7) indices[5] = 9;
    AddIndexedFrame(image, 48, 32, DistinctPalette(colors), indices, 4);
    if (encoder != nullptr) {
      encoder->Submit(*image.Images()[n]);
      encoder->Collect(false);
    }
  }
}

TEST(GifFrameEncoder, EveryFrameTakesItsDataOnEitherThread) {
  for (const bool secondThread : {false, true}) {
    TGIFImage twin, image;
    BuildFrames(twin, nullptr);
    {
      TGIFFrameEncoder encoder(secondThread);
      BuildFrames(image, &encoder);
      encoder.Collect(true);
    }
    for (int n = 0; n < 12; ++n) {
      const TGIFSubImage& frame = *image.Images()[n];
      EXPECT_EQ(frame.EncodedData() != nullptr, n != 7) << n;
      EXPECT_EQ(frame.PixelsHeld(), n == 7) << n;
      EXPECT_TRUE(std::equal(frame.Data(), frame.Data() + frame.DataSize(), twin.Images()[n]->Data())) << n;
    }
    // The frame that could not be encoded fails the save as it always did.
    EXPECT_THROW(SaveToBytes(image), GIFException);
    image.Images().Delete(7);
    twin.Images().Delete(7);
    EXPECT_TRUE(SaveToBytes(image) == SaveToBytes(twin)) << secondThread;
  }
}

TEST(GifFrameEncoder, AnEncoderGoneBeforeCollectingLeavesTheFramesTheirPixels) {
  TGIFImage image;
  {
    TGIFFrameEncoder encoder(true);
    for (int n = 0; n < 4; ++n) {
      AddIndexedFrame(image, 64, 64, DistinctPalette(128), NoiseIndices(64 * 64, 128, static_cast<std::uint32_t>(n)),
                      4);
      encoder.Submit(*image.Images()[n]);
    }
  }
  for (const auto& frame : image.Images()) {
    EXPECT_TRUE(frame->PixelsHeld());
    EXPECT_EQ(frame->EncodedData(), nullptr);
  }
}

class GifBackgroundSave : public ::testing::Test {
 protected:
  std::unique_ptr<TGIFImage> Sample() {
    auto image = std::make_unique<TGIFImage>();
    BuildSampleAnimation(*image);
    for (const auto& frame : image->Images()) frame->Encode();
    return image;
  }
  static bool WaitFinished(const TGIFBackgroundSave& save) {
    for (int i = 0; i < 2000 && !save.Finished(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return save.Finished();
  }

  const std::string folder_ = [] {
    const std::string path = std::string(CLIPVANE_TEST_TMP) + "/gif_background_save_" + std::to_string(::getpid());
    std::filesystem::remove_all(path);
    std::filesystem::create_directories(path);
    return path;
  }();
};

TEST_F(GifBackgroundSave, WritesTheDocumentsStream) {
  const std::string path = folder_ + "/out.gif";
  TGIFBackgroundSave save(Sample(), path);
  ASSERT_TRUE(WaitFinished(save));
  EXPECT_EQ(save.Error(), nullptr);
  EXPECT_EQ(save.Percent(), 100);
  EXPECT_TRUE(FileBytes(path) == SampleAnimation());
  EXPECT_EQ(Listing(folder_), std::vector<std::string>{"out.gif"});
}

// Held at a write until it is cancelled (or its owner goes): the file that was there stays
// as it was and nothing else is left in the folder.
TEST_F(GifBackgroundSave, CancelledAtAnyWriteLeavesTheTargetAsItWas) {
  const std::string path = folder_ + "/keep.gif";
  { std::ofstream("" + path) << "mine"; }
  for (const int holdAt : {1, 3}) {
    for (const bool byOwnerGoing : {false, true}) {
      std::atomic<int> writes = 0;
      std::atomic<bool> held = false;
      auto save = std::make_unique<TGIFBackgroundSave>(Sample(), path, [&](const TGIFBackgroundSave& running) {
        if (++writes != holdAt) return;
        held = true;
        while (!running.CancelRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
      });
      for (int i = 0; i < 2000 && !held; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
      ASSERT_TRUE(held);
      EXPECT_FALSE(save->Finished());
      if (byOwnerGoing) {
        save.reset();
      } else {
        save->Cancel();
        ASSERT_TRUE(WaitFinished(*save));
        ASSERT_NE(save->Error(), nullptr);
        try {
          std::rethrow_exception(save->Error());
        } catch (const EClipvaneError& error) {
          EXPECT_STREQ(error.what(), sGIFSaveCancelled);
        }
      }
      EXPECT_TRUE(FileBytes(path) == std::vector<std::uint8_t>({'m', 'i', 'n', 'e'}));
      EXPECT_EQ(Listing(folder_), std::vector<std::string>{"keep.gif"});
    }
  }
}

}  // namespace
}  // namespace clipvane
