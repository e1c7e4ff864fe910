// TMediaPlayer on a stepped clock: opening and its errors, the "No MCI device open" checks,
// the modes, from/to, auto-rewind, pause and resume, refused seeks, and the pictures the
// display sink receives while the video plays.
#include "video/media_player.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

#include "core/error.h"
#include "support/avi_fixtures.h"
#include "video/frame_source.h"

namespace clipvane {
namespace {

using namespace std::chrono_literals;
using fixtures::TFixtureAvi;
using fixtures::TFixtureCodec;

std::string ErrorOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const EClipvaneError& error) {
    return error.what();
  }
  return "";
}

// Records what the player shows and lets a test wait for a frame to arrive.
class TRecordingSink : public TDisplaySink {
 public:
  struct TShown {
    int FrameNumber;
    int PictureNumber;  // the number the picture itself shows
    int Width;
    int Height;
  };

  void ShowFrame(std::shared_ptr<const TBitmap> picture, int frameNumber) override {
    std::lock_guard lock(mutex_);
    shown_.push_back({frameNumber, fixtures::DecodeFrameNumber(*picture), picture->Width(), picture->Height()});
    lastPicture_ = std::move(picture);
    changed_.notify_all();
  }

  // Waits until frame `number` is the one on show; the time limit only guards against a hang.
  bool WaitForFrame(int number) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, 20s, [&] { return !shown_.empty() && shown_.back().FrameNumber == number; });
  }
  std::vector<TShown> Shown() {
    std::lock_guard lock(mutex_);
    return shown_;
  }
  TShown Last() {
    std::lock_guard lock(mutex_);
    return shown_.back();
  }
  std::shared_ptr<const TBitmap> LastPicture() {
    std::lock_guard lock(mutex_);
    return lastPicture_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<TShown> shown_;
  std::shared_ptr<const TBitmap> lastPicture_;
};

class MediaPlayerTest : public ::testing::Test {
 protected:
  MediaPlayerTest() : folder_(CLIPVANE_TEST_TMP), clock_(std::make_shared<TSteppedPlayerClock>()), player_(clock_) {}

  // 20 numbered frames of 64 x 48 at 25 frames a second: 40 ms a frame, 800 ms in all.
  std::string Video(TFixtureCodec codec = TFixtureCodec::fcRawBgr24, int frames = 20, int width = 64, int height = 48) {
    TFixtureAvi avi;
    avi.Codec = codec;
    avi.FrameCount = frames;
    avi.Width = width;
    avi.Height = height;
    const std::string path = folder_.File("video" + std::to_string(counter_++) + ".avi");
    fixtures::WriteFixtureAvi(path, avi);
    return path;
  }
  void OpenVideo(const std::string& path) {
    player_.SetFileName(path);
    player_.Open();
  }
  void Step(std::chrono::milliseconds by) { clock_->Advance(by); }

  fixtures::TTempFolder folder_;
  int counter_ = 0;
  std::shared_ptr<TSteppedPlayerClock> clock_;
  TMediaPlayer player_;
};

using MediaPlayerOpen = MediaPlayerTest;

TEST_F(MediaPlayerOpen, ReportsSizeLengthAndAStoppedStart) {
  OpenVideo(Video());
  EXPECT_TRUE(player_.IsOpen());
  EXPECT_EQ(player_.DisplayRect(), (TRect{0, 0, 64, 48}));
  EXPECT_EQ(player_.TimeFormat(), TMPTimeFormats::tfMilliseconds);
  EXPECT_EQ(player_.Length(), 800);
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  EXPECT_EQ(player_.Length(), 20);
  EXPECT_EQ(player_.Position(), 0);
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
}

TEST_F(MediaPlayerOpen, OpeningAgainClosesTheDeviceThatIsOpen) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Play());
  Step(200ms);
  ASSERT_EQ(player_.Position(), 5);
  OpenVideo(Video(TFixtureCodec::fcRawBgr24, 30, 96, 64));
  EXPECT_EQ(player_.DisplayRect(), (TRect{0, 0, 96, 64}));
  EXPECT_EQ(player_.TimeFormat(), TMPTimeFormats::tfMilliseconds);
  EXPECT_EQ(player_.Position(), 0);
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
  EXPECT_EQ(player_.Length(), 1200);
}

TEST_F(MediaPlayerOpen, FailureGivesFfmpegsTextAndLeavesNoDeviceOpen) {
  OpenVideo(Video());
  const std::string missing = folder_.File("missing.avi");
  player_.SetFileName(missing);
  EXPECT_EQ(ErrorOf([&] { player_.Open(); }), "No such file or directory");
  EXPECT_FALSE(player_.IsOpen());
  EXPECT_EQ(player_.Mode(), TMPModes::mpNotReady);
  EXPECT_EQ(player_.FileName(), missing);

  const std::string text = folder_.File("text.avi");
  fixtures::WriteTextFile(text, "not a video at all, just some words\n");
  player_.SetFileName(text);
  EXPECT_EQ(ErrorOf([&] { player_.Open(); }), "Invalid data found when processing input");

  const std::string audio = folder_.File("audio.avi");
  fixtures::WriteAudioOnlyAvi(audio);
  player_.SetFileName(audio);
  EXPECT_EQ(ErrorOf([&] { player_.Open(); }), "Stream not found");

  const std::string unknown = folder_.File("unknown.avi");
  fixtures::WriteAviWithUnknownCodec(unknown);
  player_.SetFileName(unknown);
  EXPECT_EQ(ErrorOf([&] { player_.Open(); }), "Decoder not found");
  EXPECT_FALSE(player_.IsOpen());
}

using MediaPlayerWithoutDevice = MediaPlayerTest;

TEST_F(MediaPlayerWithoutDevice, CommandsThatNeedADeviceSaySoOthersDoNothing) {
  const std::string noDevice = "No MCI device open";
  EXPECT_EQ(ErrorOf([&] { player_.Play(); }), noDevice);
  EXPECT_EQ(ErrorOf([&] { player_.Pause(); }), noDevice);
  EXPECT_EQ(ErrorOf([&] { player_.Stop(); }), noDevice);
  EXPECT_EQ(ErrorOf([&] { player_.Seek(0); }), noDevice);
  EXPECT_EQ(ErrorOf([&] { player_.Length(); }), noDevice);
  EXPECT_EQ(player_.Position(), 0);
  EXPECT_EQ(player_.Mode(), TMPModes::mpNotReady);
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  EXPECT_EQ(player_.DisplayRect(), TRect{});
}

TEST_F(MediaPlayerWithoutDevice, AfterCloseTheChecksApplyAgain) {
  OpenVideo(Video());
  player_.Close();
  EXPECT_EQ(ErrorOf([&] { player_.Play(); }), "No MCI device open");
  player_.Close();  // closing a closed device is harmless
}

TEST(MediaPlayerModes, CarryThePlatformCodes) {
  EXPECT_EQ(MciModeCode(TMPModes::mpNotReady), 524);
  EXPECT_EQ(MciModeCode(TMPModes::mpStopped), 525);
  EXPECT_EQ(MciModeCode(TMPModes::mpPlaying), 526);
  EXPECT_EQ(MciModeCode(TMPModes::mpRecording), 527);
  EXPECT_EQ(MciModeCode(TMPModes::mpSeeking), 528);
  EXPECT_EQ(MciModeCode(TMPModes::mpPaused), 529);
  EXPECT_EQ(MciModeCode(TMPModes::mpOpen), 530);
}

using MediaPlayerPlayback = MediaPlayerTest;

TEST_F(MediaPlayerPlayback, PlaysOnItsClockToTheEndAndStops) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Play());
  EXPECT_EQ(player_.Mode(), TMPModes::mpPlaying);
  EXPECT_EQ(player_.Position(), 0);
  Step(100ms);
  EXPECT_EQ(player_.Position(), 2);  // 100 ms is inside frame 2 (80 to 120 ms)
  player_.SetTimeFormat(TMPTimeFormats::tfMilliseconds);
  EXPECT_EQ(player_.Position(), 100);
  Step(699ms);
  EXPECT_EQ(player_.Position(), 799);
  EXPECT_EQ(player_.Mode(), TMPModes::mpPlaying);
  Step(1ms);
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
  EXPECT_EQ(player_.Position(), 800);
  Step(500ms);
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  EXPECT_EQ(player_.Position(), 20);
}

TEST_F(MediaPlayerPlayback, FromAndToAreUsedOnceThenForgotten) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  player_.SetStartPos(5);
  player_.SetEndPos(8);
  ASSERT_TRUE(player_.Play());
  EXPECT_EQ(player_.Position(), 5);
  Step(40ms);
  EXPECT_EQ(player_.Position(), 6);
  Step(400ms);
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
  EXPECT_EQ(player_.Position(), 8);
  // The next play has neither: from where it stands to the end.
  ASSERT_TRUE(player_.Play());
  Step(80ms);
  EXPECT_EQ(player_.Position(), 10);
  Step(1000ms);
  EXPECT_EQ(player_.Position(), 20);
}

TEST_F(MediaPlayerPlayback, FromZeroToZeroShowsTheFirstFrameAndStops) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  player_.SetStartPos(0);
  player_.SetEndPos(0);
  ASSERT_TRUE(player_.Play());
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
  EXPECT_EQ(player_.Position(), 0);
}

TEST_F(MediaPlayerPlayback, AutoRewindStartsAgainFromTheFirstFrame) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Seek(20));
  ASSERT_TRUE(player_.Play());
  EXPECT_EQ(player_.Position(), 0);
  EXPECT_EQ(player_.Mode(), TMPModes::mpPlaying);
  Step(120ms);
  EXPECT_EQ(player_.Position(), 3);
}

TEST_F(MediaPlayerPlayback, NoRewindWhenAnEndIsGivenOrAutoRewindIsOff) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Seek(20));
  player_.SetEndPos(20);
  ASSERT_TRUE(player_.Play());
  EXPECT_EQ(player_.Position(), 20);
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
  player_.SetAutoRewind(false);
  ASSERT_TRUE(player_.Play());
  EXPECT_EQ(player_.Position(), 20);
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
}

TEST_F(MediaPlayerPlayback, PauseHoldsThePositionAndPauseAgainResumes) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Play());
  Step(120ms);
  player_.Pause();
  EXPECT_EQ(player_.Mode(), TMPModes::mpPaused);
  Step(400ms);
  EXPECT_EQ(player_.Position(), 3);
  player_.Pause();
  EXPECT_EQ(player_.Mode(), TMPModes::mpPlaying);
  Step(40ms);
  EXPECT_EQ(player_.Position(), 4);
}

TEST_F(MediaPlayerPlayback, PauseDoesNothingWhenStopped) {
  OpenVideo(Video());
  player_.Pause();
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
}

TEST_F(MediaPlayerPlayback, StopKeepsThePosition) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Play());
  Step(200ms);
  player_.Stop();
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
  Step(200ms);
  EXPECT_EQ(player_.Position(), 5);
}

TEST_F(MediaPlayerPlayback, RefusesAStartOutsideTheVideoOrAfterTheEnd) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  player_.SetStartPos(21);
  EXPECT_FALSE(player_.Play());
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
  player_.SetStartPos(9);
  player_.SetEndPos(4);
  EXPECT_FALSE(player_.Play());
  EXPECT_EQ(player_.Position(), 0);
  // The refused positions are forgotten too.
  EXPECT_TRUE(player_.Play());
}

using MediaPlayerSeek = MediaPlayerTest;

TEST_F(MediaPlayerSeek, GoesToTheFrameAndStops) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Play());
  Step(80ms);
  ASSERT_TRUE(player_.Seek(12));
  EXPECT_EQ(player_.Mode(), TMPModes::mpStopped);
  Step(200ms);
  EXPECT_EQ(player_.Position(), 12);
  player_.SetTimeFormat(TMPTimeFormats::tfMilliseconds);
  EXPECT_EQ(player_.Position(), 480);
}

TEST_F(MediaPlayerSeek, OutsideTheVideoIsRefusedAndNothingChanges) {
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Seek(3));
  EXPECT_FALSE(player_.Seek(-2));
  EXPECT_EQ(player_.Position(), 3);
  EXPECT_FALSE(player_.Seek(21));
  EXPECT_EQ(player_.Position(), 3);
  ASSERT_TRUE(player_.Play());
  EXPECT_FALSE(player_.Seek(25));
  EXPECT_EQ(player_.Mode(), TMPModes::mpPlaying);
  EXPECT_TRUE(player_.Seek(20));
  EXPECT_EQ(player_.Position(), 20);
}

TEST_F(MediaPlayerSeek, InMillisecondsUpToTheLength) {
  OpenVideo(Video());
  EXPECT_FALSE(player_.Seek(801));
  EXPECT_TRUE(player_.Seek(800));
  EXPECT_EQ(player_.Position(), 800);
  EXPECT_TRUE(player_.Seek(130));
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  EXPECT_EQ(player_.Position(), 3);
}

using MediaPlayerDisplay = MediaPlayerTest;

TEST_F(MediaPlayerDisplay, ShowsTheFirstFrameOnOpenAndEachFrameAtItsTime) {
  TRecordingSink sink;
  player_.SetDisplay(&sink);
  OpenVideo(Video());
  ASSERT_TRUE(sink.WaitForFrame(0));
  EXPECT_EQ(sink.Last().PictureNumber, 0);
  EXPECT_EQ(sink.Last().Width, 64);
  EXPECT_EQ(sink.Last().Height, 48);
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(player_.Play());
  for (int frame = 1; frame <= 4; ++frame) {
    Step(40ms);
    ASSERT_TRUE(sink.WaitForFrame(frame));
  }
  for (const auto& shown : sink.Shown()) EXPECT_EQ(shown.PictureNumber, shown.FrameNumber);
  // The end position keeps the last picture on the screen.
  Step(2000ms);
  ASSERT_TRUE(sink.WaitForFrame(19));
  EXPECT_EQ(sink.Last().PictureNumber, 19);
}

TEST_F(MediaPlayerDisplay, SeeksShowTheRightPictureAlsoBetweenKeyFrames) {
  TRecordingSink sink;
  player_.SetDisplay(&sink);
  OpenVideo(Video(TFixtureCodec::fcMpeg4, 40));
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  for (int target : {37, 5, 6, 23, 0, 39}) {
    ASSERT_TRUE(player_.Seek(target));
    ASSERT_TRUE(sink.WaitForFrame(target)) << target;
    EXPECT_EQ(sink.Last().FrameNumber, target);
    EXPECT_EQ(sink.Last().PictureNumber, target);
  }
}

TEST_F(MediaPlayerDisplay, PalettePicturesKeepTheirColoursAfterASeek) {
  TRecordingSink sink;
  player_.SetDisplay(&sink);
  OpenVideo(Video(TFixtureCodec::fcRawPal8));
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  for (int target : {12, 3, 17}) {
    ASSERT_TRUE(player_.Seek(target));
    ASSERT_TRUE(sink.WaitForFrame(target));
    EXPECT_EQ(sink.Last().PictureNumber, target);
  }
}

// The "Video" window shows what a run would read: the frame source's own frame, in 24 bits.
TEST_F(MediaPlayerDisplay, ShowsTheFramesTheRunsRead) {
  for (const TFixtureCodec codec : {TFixtureCodec::fcMpeg4, TFixtureCodec::fcRawPal8, TFixtureCodec::fcMsVideo1}) {
    TRecordingSink sink;
    player_.SetDisplay(&sink);
    const std::string path = Video(codec, 30);
    OpenVideo(path);
    player_.SetTimeFormat(TMPTimeFormats::tfFrames);
    const std::unique_ptr<TFrameSource> reader = OpenFrameSource(path);
    for (const int target : {17, 4, 29}) {
      ASSERT_TRUE(player_.Seek(target));
      ASSERT_TRUE(sink.WaitForFrame(target)) << target;
      ASSERT_TRUE(reader->ReadFrame(target));
      const TBitmap& frame = reader->DecodeBitmap();
      const std::shared_ptr<const TBitmap> shown = sink.LastPicture();
      ASSERT_EQ(shown->PixelFormat(), TPixelFormat::pf24bit);
      ASSERT_EQ(shown->Width(), frame.Width());
      ASSERT_EQ(shown->Height(), frame.Height());
      int differing = 0;
      for (int y = 0; y < frame.Height(); ++y)
        for (int x = 0; x < frame.Width(); ++x) differing += shown->GetPixel(x, y) != frame.GetPixel(x, y);
      EXPECT_EQ(differing, 0) << fixtures::CodecName(codec) << " frame " << target;
    }
    player_.SetDisplay(nullptr);
  }
}

TEST_F(MediaPlayerDisplay, ADetachedSinkIsNotCalledAgain) {
  TRecordingSink first;
  TRecordingSink second;
  player_.SetDisplay(&first);
  OpenVideo(Video());
  player_.SetTimeFormat(TMPTimeFormats::tfFrames);
  ASSERT_TRUE(first.WaitForFrame(0));
  player_.SetDisplay(nullptr);
  const std::size_t seen = first.Shown().size();
  ASSERT_TRUE(player_.Seek(9));
  player_.SetDisplay(&second);
  // The worker handles requests in order: once the second sink has frame 9, the first one
  // would have had it before.
  ASSERT_TRUE(second.WaitForFrame(9));
  EXPECT_EQ(first.Shown().size(), seen);
}

TEST_F(MediaPlayerDisplay, ADisplaySetBeforeOpeningIsAttachedByOpen) {
  TRecordingSink sink;
  player_.SetDisplay(&sink);
  EXPECT_EQ(player_.Display(), &sink);
  OpenVideo(Video(TFixtureCodec::fcMjpeg));
  ASSERT_TRUE(sink.WaitForFrame(0));
  EXPECT_EQ(sink.Last().PictureNumber, 0);
  player_.Close();
  EXPECT_EQ(player_.Display(), &sink);
}

}  // namespace
}  // namespace clipvane
