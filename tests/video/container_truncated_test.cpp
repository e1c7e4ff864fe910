// Container videos cut short, as an interrupted copy or download leaves them: an MP4 without
// its sample tables is refused with a message naming the file; a Matroska, WebM or MPEG-TS
// file cut anywhere gives the pictures before the cut, in their order, each frame the same
// picture in any access order. Nothing may crash, hang or read outside a buffer (the
// sanitizer build runs these).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "core/error.h"
#include "support/video_fixture_cases.h"
#include "video/frame_source.h"
#include "video/video_probe.h"

namespace clipvane {
namespace {

class TruncatedContainers : public ::testing::Test {
 protected:
  std::string Write(const std::string& name) {
    const fixtures::TContainerCase entry = fixtures::ContainerCase(name);
    const std::string path = folder_.File(entry.FileName);
    fixtures::WriteFixtureVideo(path, entry.Video);
    return path;
  }
  fixtures::TTempFolder folder_{CLIPVANE_TEST_TMP};
};

TEST_F(TruncatedContainers, AnMp4WithoutItsSampleTablesIsRefusedByName) {
  // The muxer writes the sample tables ("moov") last: any cut loses them.
  const std::string path = Write("Mp4H264BFramesEditList");
  const std::uintmax_t size = fixtures::FileSize(path);
  for (const std::uintmax_t cut : {size / 2, std::uintmax_t{40}, std::uintmax_t{0}}) {
    fixtures::TruncateFile(path, cut);
    try {
      ProbeVideo(path);
      ADD_FAILURE() << "opened at " << cut << " bytes";
    } catch (const EClipvaneError& error) {
      EXPECT_EQ(std::string(error.what()).rfind(path + ": ", 0), 0u) << error.what();
    }
  }
}

TEST_F(TruncatedContainers, StreamsCutAnywhereGiveTheFramesBeforeTheCut) {
  for (const char* name : {"MkvH264OpenGop", "WebmVp9HiddenFrames", "TsMpeg2"}) {
    const std::string path = Write(name);
    const std::string copy = path + ".cut";
    const std::uintmax_t size = fixtures::FileSize(path);
    int lastCount = 0;
    for (int tenth = 1; tenth <= 9; tenth += 2) {
      std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
      fixtures::TruncateFile(copy, size * static_cast<std::uintmax_t>(tenth) / 10);
      int count = 0;
      try {
        count = ProbeVideo(copy).FrameCount;
      } catch (const EClipvaneError& error) {
        // Too little left for a single picture (or the header): refused by name.
        EXPECT_EQ(std::string(error.what()).rfind(copy + ": ", 0), 0u) << error.what();
        continue;
      }
      EXPECT_GE(count, lastCount) << name << " cut at " << tenth << "0 %";
      EXPECT_LT(count, 24) << name;
      lastCount = count;
      const std::unique_ptr<TFrameSource> opened = OpenFrameSource(copy);
      TFrameSource& reader = *opened;
      // Forward, then backward: frame n is the same picture either way. The pictures keep
      // their order (the numbers they show rise, with gaps where a cut group lost pictures);
      // a picture whose data was cut shows no number.
      std::vector<int> shown;
      for (int n = 0; n < count; ++n) {
        ASSERT_TRUE(reader.ReadFrame(n)) << name << " frame " << n;
        shown.push_back(fixtures::DecodeFrameNumber(reader.DecodeBitmap()));
      }
      for (int n = count - 1; n >= 0; --n) {
        ASSERT_TRUE(reader.ReadFrame(n)) << name << " frame " << n;
        EXPECT_EQ(fixtures::DecodeFrameNumber(reader.DecodeBitmap()), shown[static_cast<std::size_t>(n)])
            << name << " frame " << n;
      }
      std::vector<int> readable;
      std::copy_if(shown.begin(), shown.end(), std::back_inserter(readable), [](int number) { return number >= 0; });
      // Strictly rising: no picture twice, none out of order.
      EXPECT_EQ(std::adjacent_find(readable.begin(), readable.end(), std::greater_equal<int>()), readable.end())
          << name;
      EXPECT_GE(readable.size() * 2, shown.size()) << name;
      EXPECT_FALSE(reader.ReadFrame(count));
    }
    EXPECT_GT(lastCount, 12) << name << ": a file cut at 90 % still holds most of its frames";
  }
}

}  // namespace
}  // namespace clipvane
