// Each run estimates the memory its working pictures need before it makes them, and refuses a
// picture beyond the budget with its size, leaving everything as it was: the transition clip,
// the GIF run and the frames run.
#include <gtest/gtest.h>

#include <string>

#include "core/error.h"
#include "gif/gif_image.h"
#include "runs/frames/extraction_run.h"
#include "runs/gif/gif_conversion.h"
#include "runs/transitions/transition_clip.h"
#include "support/bounded_run.h"

namespace clipvane {
namespace {

// Counts opens; any read is a failure, since the runs must stop before that.
class TUnreadSource : public TFrameSource {
 public:
  int opens = 0;
  void Open(const std::string&) override { ++opens; }
  bool ReadFrame(int) override {
    ADD_FAILURE() << "a frame was read";
    return false;
  }
  const TBitmap& DecodeBitmap() const override { return bitmap_; }
  void Close() override {}

 private:
  TBitmap bitmap_;
};

// Every frame is a small grey picture.
class TSmallFrameSource : public TFrameSource {
 public:
  void Open(const std::string&) override {}
  bool ReadFrame(int) override { return true; }
  const TBitmap& DecodeBitmap() const override { return bitmap_; }
  void Close() override {}

 private:
  TBitmap bitmap_{4, 3};
};

TVideoState OpenedVideo(int width, int height) {
  TVideoState state;
  state.FilePath = "/videos/huge.avi";
  state.FrameWidth = width;
  state.FrameHeight = height;
  state.DisplayRect = TRect{0, 0, width, height};
  state.LastFrame = 4;
  state.LengthMs = 200;
  state.SamplingRate = 1;
  TickAllFrames(state);
  state.RangeLast = 4;
  state.CaptureRect = state.DisplayRect;
  state.CaptureWidth = width;
  state.CaptureHeight = height;
  return state;
}

TEST(WorkingMemory, ATransitionTooLargeToProcessIsRefusedBeforeAnyPicture) {
  // 16384 x 16384 in one bit a pixel is 32 MB; its clip of 11 frames would need 9.9 GB.
  const fixtures::TBoundedRun run = fixtures::RunBounded(
      [] {
        TVideoState state;
        state.DestinationEmpty = true;
        state.TransitionDurationMs = 1000;
        TTransitionSlot source{TBitmap(16384, 16384, TPixelFormat::pf1bit), clWhite};
        TTransitionSlot destination{TBitmap(5, 5), clBlack};
        try {
          BuildTransitionClip(state, source, destination, 10, {}, {});
          return 1;
        } catch (const EClipvaneError& error) {
          if (std::string(error.what()) != "The picture is 16384 x 16384: it needs 9.9 GB of memory to process")
            return 2;
        }
        // The slots keep their pictures.
        return source.Picture.Width() == 16384 && destination.Picture.Width() == 5 ? 0 : 3;
      },
      std::uint64_t{600} << 20);
  EXPECT_EQ(run.ExitCode, 0) << "1: made the clip, 2: another message, 3: slots changed, 99: another error";
  EXPECT_LT(run.PeakResidentBytes, std::uint64_t{400} << 20);
}

TEST(WorkingMemory, AGifOfHugeFramesIsRefusedBeforeTheVideoIsOpened) {
  TVideoState state = OpenedVideo(60000, 60000);
  TUnreadSource source;
  TGifConversionResult result;
  try {
    RunGifConversion(state, source, {}, {}, result);
    ADD_FAILURE() << "the run went ahead";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "The picture is 60000 x 60000: it needs 86.4 GB of memory to process");
  }
  EXPECT_EQ(source.opens, 0);
  EXPECT_EQ(result.Document, nullptr);
}

TEST(WorkingMemory, FramesOfAHugeVideoAreRefusedBeforeTheVideoIsOpened) {
  TVideoState state = OpenedVideo(60000, 40000);
  TUnreadSource source;
  try {
    RunFrameExtraction(state, source, {TColorMode::cm24bit, [] { return TFrameSize{320, 240}; }}, {});
    ADD_FAILURE() << "the run went ahead";
  } catch (const EClipvaneError& error) {
    EXPECT_STREQ(error.what(), "The picture is 60000 x 40000: it needs 38.4 GB of memory to process");
  }
  EXPECT_EQ(source.opens, 0);
}

TEST(WorkingMemory, AHugeOutputSizeIsRefusedBeforeTheFrameIsConverted) {
  // A small video made into a huge picture: refused once the boxes are read for the frame.
  TVideoState state = OpenedVideo(320, 240);
  TSmallFrameSource source;
  int kept = 0;
  try {
    StreamFrameExtraction(state, source,
                          {TColorMode::cm24bit,
                           [] {
                             return TFrameSize{65535, 65535};
                           }},
                          {}, [&kept](int, const TBitmap&) { ++kept; });
    ADD_FAILURE() << "the run went ahead";
  } catch (const EClipvaneError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("The picture is 65535 x 65535: it needs ", 0), 0u) << error.what();
  }
  EXPECT_EQ(kept, 0);
}

}  // namespace
}  // namespace clipvane
