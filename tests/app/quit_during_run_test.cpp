// Quitting while one of the three long runs works: the run stops at its next frame, every
// window goes and the program's event loop ends by itself, whether the user pressed "Exit" or
// closed the main window.
#include <QApplication>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <atomic>
#include <filesystem>
#include <functional>
#include <string>

#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"
#include "support/fake_frame_source.h"
#include "ui/gif_preview_window.h"
#include "ui/progress_bar.h"
#include "video/frame_source.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

// The program's reader, counting the frames it was asked for (the GIF run reads on a thread
// of its own).
std::unique_ptr<TFrameSource> CountingSource(std::atomic<int>& framesRead) {
  auto source = std::make_unique<fixtures::TFakeFrameSource>(MakeFrameSource());
  source->BeforeRead = [&framesRead](int) { ++framesRead; };
  return source;
}

enum class TQuitBy { qbExit, qbCloseMainWindow };

class QuitDuringRun : public WindowTest, public ::testing::WithParamInterface<TQuitBy> {
 protected:
  static constexpr int kFrames = 60;

  void SetUp() override {
    WindowTest::SetUp();
    OpenAvi(Video("clip.avi", kFrames));
    ASSERT_TRUE(ErrorTexts.empty());
    Form().FramesPage->MakeSource = [this] { return CountingSource(FramesRead); };
    Form().GifPage->MakeSource = [this] { return CountingSource(FramesRead); };
    Form().show();
  }

  // Runs the program's event loop: `start` presses a run's start button from inside it, and
  // once the progress bar has passed two frames the user quits. Returns whether the loop ended
  // by itself; a loop still running after 20 s is ended by force and counts as hanging.
  bool RunProgramAndQuitDuring(QPushButton* start) {
    bool hung = false;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (QuitProgress >= 0 || Form().ProgressBar1->Position() < 2) return;
      QuitProgress = Form().ProgressBar1->Position();
      if (GetParam() == TQuitBy::qbExit) Form().Button18->click();
      else Form().close();
    });
    QTimer::singleShot(0, start, [start, &watch] {
      watch.start();
      start->click();
    });
    QTimer::singleShot(20000, [&hung] {
      hung = true;
      QCoreApplication::exit(1);
    });
    const int code = QApplication::exec();
    return code == 0 && !hung;
  }

  void ExpectEveryWindowClosed() {
    for (QWidget* window : QApplication::topLevelWidgets())
      EXPECT_FALSE(window->isVisible()) << window->windowTitle().toStdString();
  }

  // The files of the test folder: the video only.
  void ExpectNothingWritten() {
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(Folder.Path())) ++files;
    EXPECT_EQ(files, 1);
  }

  std::atomic<int> FramesRead = 0;
  int QuitProgress = -1;
};

TEST_P(QuitDuringRun, GetFramesStopsAtTheNextFrameAndTheProgramEnds) {
  ASSERT_TRUE(RunProgramAndQuitDuring(Form().FramesPage->Button12));
  ASSERT_GE(QuitProgress, 2);
  EXPECT_LE(FramesRead, QuitProgress + 1);
  ExpectEveryWindowClosed();
  ExpectNothingWritten();
  EXPECT_TRUE(State().ExtractedFrames.empty());
}

TEST_P(QuitDuringRun, GifConvertStopsAtTheNextFrameAndTheProgramEnds) {
  ASSERT_TRUE(RunProgramAndQuitDuring(Form().GifPage->Button5));
  ASSERT_GE(QuitProgress, 2);
  // The next frame is decoded ahead of the run.
  EXPECT_LE(FramesRead, QuitProgress + 2);
  ExpectEveryWindowClosed();
  ExpectNothingWritten();
  // The preview's animation went with its window.
  EXPECT_EQ(Windows->Form3->PainterCount(), 0);
}

TEST_P(QuitDuringRun, TransitionConvertStopsAtTheNextStepAndTheProgramEnds) {
  Form().TransitionsPage->StepEdit->setValue(50);
  ASSERT_TRUE(RunProgramAndQuitDuring(Form().TransitionsPage->ConvertButton));
  ASSERT_GE(QuitProgress, 2);
  ExpectEveryWindowClosed();
  ExpectNothingWritten();
  const TGIFImage* clip = Windows->Form3->Document();
  ASSERT_NE(clip, nullptr);
  EXPECT_LE(clip->Images().Count(), QuitProgress + 2);
  EXPECT_EQ(Windows->Form3->PainterCount(), 0);
}

INSTANTIATE_TEST_SUITE_P(ByExitAndByClosing, QuitDuringRun,
                         ::testing::Values(TQuitBy::qbExit, TQuitBy::qbCloseMainWindow),
                         [](const ::testing::TestParamInfo<TQuitBy>& param) {
                           return param.param == TQuitBy::qbExit ? std::string("Exit") : std::string("CloseButton");
                         });

}  // namespace
}  // namespace clipvane::testing
