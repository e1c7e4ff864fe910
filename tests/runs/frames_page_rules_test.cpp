// The frames page's rules that need no window: where an entry of the frames list puts its
// thumbnail and caption, the preview's zoom steps, the "Save to ..." switch, the memory
// estimate before a run and the files a save would replace.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "core/error.h"
#include "runs/frames/frame_list_layout.h"
#include "runs/frames/frame_save_plan.h"
#include "runs/frames/preview_zoom.h"
#include "runs/frames/result_memory.h"
#include "runs/frames/save_format_switch.h"

namespace clipvane {
namespace {

// An entry of the list as drawn at the top of a 275-pixel list.
constexpr TRect kEntry{0, 0, 271, kFrameEntryHeight};

TEST(FrameEntryThumbnail, WideFrameIsSeventyHighAndCentred) {
  const TFrameEntryLayout layout = ComputeFrameEntryLayout(kEntry, 160, 120, 16);
  EXPECT_TRUE(layout.Scaled);
  EXPECT_EQ(layout.Thumbnail.Width(), 93);
  EXPECT_EQ(layout.Thumbnail.Height(), 70);
  // Inner height 72: one pixel above and below inside the frame.
  EXPECT_EQ(layout.Thumbnail.Top, 1 + 1);
  EXPECT_EQ(layout.Thumbnail.Left, 1 + 2);
}

TEST(FrameEntryThumbnail, VeryWideFrameIsHundredFiftyWide) {
  const TFrameEntryLayout layout = ComputeFrameEntryLayout(kEntry, 320, 100, 16);
  EXPECT_EQ(layout.Thumbnail.Width(), 150);
  EXPECT_EQ(layout.Thumbnail.Height(), 46);
  EXPECT_EQ(layout.Thumbnail.Top, 1 + (72 - 46) / 2);
}

TEST(FrameEntryThumbnail, FrameThatFitsIsDrawnUnscaledOnePixelIn) {
  const TFrameEntryLayout layout = ComputeFrameEntryLayout(TRect{10, 74, 281, 148}, 150, 70, 16);
  EXPECT_FALSE(layout.Scaled);
  EXPECT_EQ(layout.Thumbnail, (TRect{12, 75 + 1, 12 + 150, 76 + 70}));
}

TEST(FrameEntryThumbnail, OnePixelTooWideIsScaledTwoPixelsIn) {
  const TFrameEntryLayout layout = ComputeFrameEntryLayout(TRect{10, 74, 281, 148}, 151, 70, 16);
  EXPECT_TRUE(layout.Scaled);
  EXPECT_EQ(layout.Thumbnail.Left, 11 + 2);
  EXPECT_EQ(layout.Thumbnail.Width(), 150);
  EXPECT_EQ(layout.Thumbnail.Height(), 69);
  EXPECT_EQ(layout.Thumbnail.Top, 75 + (72 - 69) / 2);
}

TEST(FrameEntryThumbnail, TallFrameKeepsItsRatio) {
  const TFrameEntryLayout layout = ComputeFrameEntryLayout(kEntry, 48, 640, 16);
  EXPECT_EQ(layout.Thumbnail.Height(), 70);
  EXPECT_EQ(layout.Thumbnail.Width(), 5);  // 48 / 640 x 70 = 5.25
}

TEST(FrameEntryThumbnail, EmptyPictureHasNoThumbnail) {
  const TFrameEntryLayout layout = ComputeFrameEntryLayout(kEntry, 0, 0, 16);
  EXPECT_EQ(layout.Thumbnail.Width(), 0);
  EXPECT_EQ(ComputeFrameEntryLayout(kEntry, 300, 0, 16).Thumbnail.Height(), 0);
}

TEST(FrameEntryCaption, TextAreaAndCaptionSitRightOfTheThumbnail) {
  const TFrameEntryLayout layout = ComputeFrameEntryLayout(TRect{0, 148, 271, 222}, 64, 48, 17);
  EXPECT_EQ(layout.TextArea, (TRect{155, 150, 155 + 271 - 157, 150 + 70}));
  EXPECT_EQ(layout.CaptionX, 1 + 160);
  EXPECT_EQ(layout.CaptionY, 149 + (72 - 17) / 2 + 1);
}

TEST(PreviewZoomSteps, DoublingReachesSixteenHundredInFourSteps) {
  int zoom = 100;
  std::vector<int> seen;
  while (CanPreviewZoomIn(zoom)) seen.push_back(zoom = PreviewZoomIn(zoom));
  EXPECT_EQ(seen, (std::vector<int>{200, 400, 800, 1600}));
  EXPECT_EQ(PreviewZoomIn(1600), 1600);
}

TEST(PreviewZoomSteps, HalvingStopsAtTwentyFive) {
  EXPECT_EQ(PreviewZoomOut(100), 50);
  EXPECT_EQ(PreviewZoomOut(50), 25);
  EXPECT_FALSE(CanPreviewZoomOut(25));
  EXPECT_EQ(PreviewZoomOut(25), 25);
  EXPECT_TRUE(CanPreviewZoomOut(50));
}

TEST(PreviewStepButtons, EndsOfTheListAndAnEmptiedList) {
  EXPECT_FALSE(CanPreviewPrevious(0, 5));
  EXPECT_TRUE(CanPreviewNext(0, 5));
  EXPECT_TRUE(CanPreviewPrevious(4, 5));
  EXPECT_FALSE(CanPreviewNext(4, 5));
  // The list was cleared while the window stayed open.
  EXPECT_FALSE(CanPreviewPrevious(3, 0));
  EXPECT_FALSE(CanPreviewNext(3, 0));
}

TEST(SaveFormatSwitch, OneBitTurnsChosenJpegIntoTiffWithoutQuality) {
  const TSaveGroupState jpeg = SecondFormatChosen(TSaveGroupState{});
  ASSERT_TRUE(jpeg.QualityEnabled);
  const TSaveGroupState tiff = ColorModeChanged(jpeg, "1 bit");
  EXPECT_TRUE(tiff.SecondChosen);
  EXPECT_TRUE(tiff.SecondIsTiff);
  EXPECT_FALSE(tiff.QualityEnabled);
}

TEST(SaveFormatSwitch, EightBitAfterOneBitGivesJpegBack) {
  const TSaveGroupState tiff = ColorModeChanged(SecondFormatChosen(TSaveGroupState{}), "1 bit");
  const TSaveGroupState jpeg = ColorModeChanged(tiff, "8 bit");
  EXPECT_FALSE(jpeg.SecondIsTiff);
  EXPECT_TRUE(jpeg.QualityEnabled);
  // Not chosen: the caption changes, the quality stays off.
  const TSaveGroupState bmp = ColorModeChanged(ColorModeChanged(TSaveGroupState{}, "1 bit"), "8 bit");
  EXPECT_FALSE(bmp.SecondIsTiff);
  EXPECT_FALSE(bmp.QualityEnabled);
}

TEST(SaveFormatSwitch, BmpKeepsQualityOffWhateverTheMode) {
  TSaveGroupState group = BmpChosen(SecondFormatChosen(TSaveGroupState{}));
  for (const char* mode : {"32 bit", "1 bit", "4 bit", "typed"}) {
    group = ColorModeChanged(group, mode);
    EXPECT_FALSE(group.QualityEnabled) << mode;
  }
}

TEST(SaveFormatSwitch, ChoosingTiffLeavesQualityOff) {
  const TSaveGroupState tiff = SecondFormatChosen(ColorModeChanged(TSaveGroupState{}, "1 bit"));
  EXPECT_TRUE(tiff.SecondChosen);
  EXPECT_FALSE(tiff.QualityEnabled);
}

TEST(ResultMemoryEstimate, PaddedRowsTimesHeightTimesFrames) {
  // 24 bits: 10 pixels take 30 bytes, padded to 32.
  EXPECT_EQ(EstimateResultBytes(3, 10, 5, TColorMode::cm24bit), 3u * 32u * 5u);
  EXPECT_EQ(EstimateResultBytes(1000, 1920, 1080, TColorMode::cm32bit), 1000ull * 1920 * 4 * 1080);
  EXPECT_EQ(EstimateResultBytes(2, 33, 2, TColorMode::cm1bit), 2u * 8u * 2u);
  EXPECT_EQ(EstimateResultBytes(5, 0, 100, TColorMode::cm24bit), 0u);
}

TEST(ResultMemoryEstimate, CountsOnlyTickedFramesInsideTheRange) {
  TVideoState state;
  state.LastFrame = 9;
  state.FrameSelected = std::vector<bool>(10, true);
  state.FrameSelected[4] = false;
  state.RangeFirst = 2;
  state.RangeLast = 6;
  EXPECT_EQ(FramesToExtract(state), 4);
  state.RangeLast = 1;  // to < from: nothing
  EXPECT_EQ(FramesToExtract(state), 0);
  state.RangeFirst = -5;
  state.RangeLast = 50;  // beyond the video: only frames that exist
  EXPECT_EQ(FramesToExtract(state), 9);
}

TEST(ResultMemoryAvailable, ReadsMemAvailableInKilobytes) {
  EXPECT_EQ(ParseMemAvailable("MemTotal:       16000 kB\nMemFree:  100 kB\nMemAvailable:    2048 kB\n"),
            std::optional<std::uint64_t>(2048u * 1024u));
  EXPECT_FALSE(ParseMemAvailable("MemTotal: 1 kB\n").has_value());
  EXPECT_FALSE(ParseMemAvailable("XMemAvailable: 5 kB\n").has_value());
  EXPECT_FALSE(ParseMemAvailable("MemAvailable: lots\n").has_value());
}

TEST(ResultMemoryAvailable, QuestionSaysBothAmounts) {
  const std::string text = MemoryQuestionText(1500ull * 1024 * 1024, 800ull * 1024 * 1024);
  EXPECT_NE(text.find("1500 MB"), std::string::npos) << text;
  EXPECT_NE(text.find("800 MB"), std::string::npos) << text;
}

TEST(FrameSavePlan, CountsTheFilesThatWouldBeReplaced) {
  const std::filesystem::path folder = std::filesystem::path(CLIPVANE_TEST_TMP) / "save_plan";
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  TBitmap bitmap(2, 2);
  const std::vector<TExtractedFrame> frames{{"Frame 3", 3, &bitmap}, {"Frame 4", 4, nullptr}, {"Frame 7", 7, &bitmap}};
  TSaveOptions options;
  options.Format = TSaveFormat::sfJPEG;
  const auto paths = FrameSavePaths(frames, 20, folder.string(), options);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_EQ(paths[0], (folder / "frame0003.jpg").string());
  EXPECT_EQ(CountExistingFiles(paths), 0);
  std::ofstream(folder / "frame0007.jpg") << "x";
  std::ofstream(folder / "frame0003.bmp") << "x";  // another format: not replaced
  EXPECT_EQ(CountExistingFiles(paths), 1);
  EXPECT_NE(ReplaceQuestionText(1, folder.string()).find("1 file "), std::string::npos);
  std::filesystem::remove_all(folder);
}

TEST(FrameSavePlan, BaseNameWithSlashIsRefusedBeforeAnythingIsWritten) {
  TBitmap bitmap(2, 2);
  TSaveOptions options;
  options.BaseName = "../escape";
  EXPECT_THROW(FrameSavePaths({{"Frame 1", 1, &bitmap}}, 5, "/tmp", options), EClipvaneError);
}

}  // namespace
}  // namespace clipvane
