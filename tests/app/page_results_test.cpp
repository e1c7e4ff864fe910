// Every page's run takes "Open AVI"; a page's clear gives back only what its own run took, so
// "Open AVI" stays off while another page still holds results. Opening a video leaves every
// page as a freshly opened video shows it, with no button left over from earlier results.
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <algorithm>
#include <functional>
#include <string>

#include "control_states.h"
#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

class PageResultsTest : public WindowTest {
 protected:
  TFramesPage& Frames() { return *Form().FramesPage; }
  TGifPage& Gif() { return *Form().GifPage; }
  TTransitionsPage& Transitions() { return *Form().TransitionsPage; }

  // Opens a video and returns every control of the main window as it then stands.
  std::vector<std::string> OpenFresh(const std::string& path) {
    OpenAvi(path);
    EXPECT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
    return ControlStates(Form());
  }

  struct TPageRun {
    const char* Name;
    std::function<void(PageResultsTest&)> Run;
    std::function<QPushButton*(PageResultsTest&)> Clear;
    std::function<QWidget*(PageResultsTest&)> Page;
  };
  static std::vector<TPageRun> PageRuns() {
    return {
        {"frames", [](PageResultsTest& t) { t.Frames().Button12->click(); },
         [](PageResultsTest& t) { return t.Frames().Button14; },
         [](PageResultsTest& t) -> QWidget* { return &t.Frames(); }},
        {"gif", [](PageResultsTest& t) { t.Gif().Button5->click(); },
         [](PageResultsTest& t) { return t.Gif().Button4; }, [](PageResultsTest& t) -> QWidget* { return &t.Gif(); }},
        {"transitions", [](PageResultsTest& t) { t.Transitions().ConvertButton->click(); },
         [](PageResultsTest& t) { return t.Transitions().ClearGifButton; },
         [](PageResultsTest& t) -> QWidget* { return &t.Transitions(); }},
    };
  }
};

// The walk a user reported: frames extracted, a transition made and cleared, another video.
TEST_F(PageResultsTest, ClearingATransitionLeavesTheExtractedFramesAndOpenAviAsTheyWere) {
  const std::vector<std::string> fresh = OpenFresh(Video("a.avi", 8));
  Form().Button10->click();  // "Pause"
  Frames().RadioButton7->click();
  Frames().SpinEdit7->setValue(3);
  Frames().Button12->click();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_EQ(State().ExtractedFrames.size(), 4u);
  EXPECT_FALSE(Form().Button3->isEnabled());
  const std::vector<std::string> holding = ControlStates(Frames());

  Transitions().ConvertButton->click();
  Transitions().ClearGifButton->click();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_FALSE(Form().Button3->isEnabled()) << "frames 0-3 are still listed";
  ExpectSameControls(holding, ControlStates(Frames()));
  EXPECT_EQ(State().ExtractedFrames.size(), 4u);

  Frames().Button14->click();  // "Clear results"
  EXPECT_TRUE(Form().Button3->isEnabled());
  // Another video of the same shape: every control as the first one left them.
  ExpectSameControls(fresh, OpenFresh(Video("b.avi", 8)));
}

// Every page against every other: B's run and clear give nothing of A's back.
TEST_F(PageResultsTest, EachClearGivesBackOnlyWhatItsOwnRunTook) {
  OpenFresh(Video("a.avi", 6));
  for (const TPageRun& holder : PageRuns())
    for (const TPageRun& other : PageRuns()) {
      if (holder.Name == other.Name) continue;
      SCOPED_TRACE(std::string(holder.Name) + " holds, " + other.Name + " clears");
      holder.Run(*this);
      ASSERT_TRUE(holder.Clear(*this)->isEnabled());
      EXPECT_FALSE(Form().Button3->isEnabled());
      other.Run(*this);
      ASSERT_TRUE(other.Clear(*this)->isEnabled());
      const std::vector<std::string> holding = ControlStates(*holder.Page(*this));
      other.Clear(*this)->click();
      EXPECT_FALSE(Form().Button3->isEnabled());
      ExpectSameControls(holding, ControlStates(*holder.Page(*this)));
      holder.Clear(*this)->click();
      EXPECT_TRUE(Form().Button3->isEnabled());
      ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
    }
}

// However a video comes to be opened (here the program's VIDEO argument's way, with results
// still held), every page starts afresh: no "Save" or "Clear" for results that are gone.
TEST_F(PageResultsTest, OpeningAVideoWithResultsHeldLeavesEveryPageAsAtItsStart) {
  const std::vector<std::string> fresh = OpenFresh(Video("a.avi", 6));
  // The frames page's run last: a GIF run would drop its bitmaps.
  const std::vector<TPageRun> runs = PageRuns();
  for (auto page = runs.rbegin(); page != runs.rend(); ++page) page->Run(*this);
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_EQ(State().ExtractedFrames.size(), 6u);
  Form().OpenVideo(QString::fromStdString(Video("b.avi", 6)));
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ExpectSameControls(fresh, ControlStates(Form()));
  // The bitmaps of the frames that no list shows any more are released.
  EXPECT_TRUE(State().FrameResults.empty() || std::all_of(State().FrameResults.begin(), State().FrameResults.end(),
                                                          [](const auto& bitmap) { return bitmap == nullptr; }));
}

}  // namespace
}  // namespace clipvane::testing
