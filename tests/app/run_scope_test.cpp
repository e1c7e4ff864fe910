// Every page's long run sits in one bracket: an error thrown from inside the run still gives
// back the busy cursor, the page's own end-of-run controls and the other pages' start and clear
// buttons, shows the error once, and the page can run again.
#include <QApplication>
#include <QPushButton>
#include <QToolButton>
#include <memory>
#include <ostream>
#include <string>

#include "core/error.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"
#include "support/fake_frame_source.h"
#include "ui/gif_preview_window.h"
#include "ui/image_view.h"
#include "video/frame_source.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

// The program's reader, failing on frame `failAt` as a decoder does on a damaged frame.
std::unique_ptr<TFrameSource> FailingSource(int failAt) {
  auto source = std::make_unique<fixtures::TFakeFrameSource>(MakeFrameSource());
  source->ErrorAt = failAt;
  source->ErrorText = "Frame " + std::to_string(failAt) + " is damaged";
  return source;
}

class RunScopeTest : public WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    OpenAvi(Video("clip.avi", 6));
    ASSERT_TRUE(ErrorTexts.empty());
  }

  TFramesPage& Frames() { return *Form().FramesPage; }
  TGifPage& Gif() { return *Form().GifPage; }
  TTransitionsPage& Transitions() { return *Form().TransitionsPage; }
  int PreviewFrames() { return Windows->Form3->Document() ? Windows->Form3->Document()->Images().Count() : -1; }

  // The start and clear buttons of the three pages.
  struct TStarts {
    bool GetFrames, ClearResults, GifConvert, GifClear, TransitionConvert, TransitionClear;
    friend bool operator==(const TStarts&, const TStarts&) = default;
    friend std::ostream& operator<<(std::ostream& out, const TStarts& s) {
      return out << "get " << s.GetFrames << " clear results " << s.ClearResults << " gif convert " << s.GifConvert
                 << " gif clear " << s.GifClear << " transition convert " << s.TransitionConvert << " transition clear "
                 << s.TransitionClear;
    }
  };
  TStarts Starts() {
    return {Frames().Button12->isEnabled(),
            Frames().Button14->isEnabled(),
            Gif().Button5->isEnabled(),
            Gif().Button4->isEnabled(),
            Transitions().ConvertButton->isEnabled(),
            Transitions().ClearGifButton->isEnabled()};
  }

  void ExpectOneErrorAndTheCursorBack(const std::string& text) {
    ASSERT_EQ(ErrorTexts.size(), 1u);
    EXPECT_EQ(ErrorTexts[0], text);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  }
};

TEST_F(RunScopeTest, GetFramesFailingMidRunLeavesThePageUsable) {
  const TStarts before = Starts();
  Frames().MakeSource = [] { return FailingSource(3); };
  Frames().Button12->click();
  ExpectOneErrorAndTheCursorBack("Frame 3 is damaged.");
  EXPECT_EQ(State().ExtractedFrames.size(), 3u);  // the frames before the failure stay
  // The page holds its results until "Clear results"; the other pages are as they were.
  TStarts holding = before;
  holding.GetFrames = false;
  holding.ClearResults = true;
  EXPECT_EQ(Starts(), holding);
  EXPECT_FALSE(Frames().Button13->isEnabled());  // "Abort"
  EXPECT_TRUE(Form().Button9->isEnabled());      // "Play"

  Frames().Button14->click();
  EXPECT_EQ(Starts(), before);
  Frames().MakeSource = [] { return MakeFrameSource(); };
  Frames().Button12->click();
  EXPECT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(State().ExtractedFrames.size(), 6u);
}

TEST_F(RunScopeTest, GifConvertFailingMidRunKeepsItsFramesAndLeavesThePageUsable) {
  const TStarts before = Starts();
  Gif().MakeSource = [] { return FailingSource(3); };
  Gif().Button5->click();
  ExpectOneErrorAndTheCursorBack("Frame 3 is damaged.");
  EXPECT_FALSE(Gif().Running());
  EXPECT_EQ(PreviewFrames(), 3);  // "Save" writes the frames made before the failure
  EXPECT_TRUE(Gif().Button6->isEnabled());
  EXPECT_FALSE(Gif().Button7->isEnabled());  // "Abort"
  EXPECT_FALSE(Windows->Form3->isVisible());
  TStarts holding = before;
  holding.GifConvert = false;
  holding.GifClear = true;
  EXPECT_EQ(Starts(), holding);

  Gif().Button4->click();
  EXPECT_EQ(Starts(), before);
  Gif().MakeSource = [] { return MakeFrameSource(); };
  Gif().Button5->click();
  EXPECT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(PreviewFrames(), 6);
  EXPECT_TRUE(Windows->Form3->isVisible());
}

TEST_F(RunScopeTest, TransitionConvertFailingInsideTheRunLeavesThePageUsable) {
  const TStarts before = Starts();
  // A wide and a tall picture: their common size is more than a clip may have, which the run
  // finds once it has begun.
  Transitions().SourceView->Bitmap() = TBitmap(20000, 1, TPixelFormat::pf24bit);
  Transitions().DestinationView->Bitmap() = TBitmap(1, 20000, TPixelFormat::pf24bit);
  State().SourceEmpty = false;
  State().DestinationEmpty = false;
  Transitions().ConvertButton->click();
  ExpectOneErrorAndTheCursorBack("The transition pictures are too large: 20000 x 20000 pixels.");
  EXPECT_FALSE(Transitions().Running());
  EXPECT_EQ(Starts(), before);
  EXPECT_FALSE(Transitions().AbortButton->isEnabled());
  EXPECT_TRUE(Transitions().OpenSourceButton->isEnabled());

  Transitions().EmptySourceButton->click();
  Transitions().EmptyDestinationButton->click();
  Transitions().ConvertButton->click();
  EXPECT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(PreviewFrames(), 11);  // 10 steps
}

}  // namespace
}  // namespace clipvane::testing
