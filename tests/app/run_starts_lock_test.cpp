// The three long runs ("Get frames", the GIF "Convert" and the transition "Convert") process
// window messages after every frame; while one works the other pages' start and clear buttons are
// disabled, and its end gives each back the state it had before.
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <optional>
#include <ostream>

#include "pages/frames/frames_page.h"
#include "pages/gif/gif_page.h"
#include "pages/transitions/transitions_page.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

class RunStartsLockTest : public WindowTest {
 protected:
  struct TStarts {
    bool GetFrames, GifConvert, TransitionConvert;
    friend bool operator==(const TStarts&, const TStarts&) = default;
    friend std::ostream& operator<<(std::ostream& out, const TStarts& s) {
      return out << "get frames " << s.GetFrames << " gif convert " << s.GifConvert << " transition convert "
                 << s.TransitionConvert;
    }
  };
  TStarts Starts() {
    return {Form().FramesPage->Button12->isEnabled(), Form().GifPage->Button5->isEnabled(),
            Form().TransitionsPage->ConvertButton->isEnabled()};
  }

  // Clicks `start` and returns the start buttons as first seen while `running` holds, from
  // inside the run's message processing.
  std::optional<TStarts> StartsDuringRun(QPushButton* start, const std::function<bool()>& running) {
    std::optional<TStarts> seen;
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] {
      if (!seen && running()) seen = Starts();
    });
    watch.start();
    start->click();
    watch.stop();
    return seen;
  }
  std::optional<TStarts> DuringGetFrames() {
    TFramesPage* page = Form().FramesPage;
    return StartsDuringRun(page->Button12, [page] { return page->Button13->isEnabled(); });
  }
  std::optional<TStarts> DuringGifConvert() {
    TGifPage* page = Form().GifPage;
    return StartsDuringRun(page->Button5, [page] { return page->Running(); });
  }
  std::optional<TStarts> DuringTransitionConvert() {
    TTransitionsPage* page = Form().TransitionsPage;
    return StartsDuringRun(page->ConvertButton, [page] { return page->Running(); });
  }
};

TEST_F(RunStartsLockTest, GetFramesHoldsTheGifAndTransitionStarts) {
  OpenAvi(Video("clip.avi", 10));
  ASSERT_EQ(Starts(), (TStarts{true, true, true}));
  const std::optional<TStarts> during = DuringGetFrames();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_TRUE(during.has_value());
  EXPECT_EQ(*during, (TStarts{false, false, false}));
  EXPECT_EQ(State().ExtractedFrames.size(), 10u);
  // "Get frames" itself waits for "Clear results"; the other two are back.
  EXPECT_EQ(Starts(), (TStarts{false, true, true}));
}

TEST_F(RunStartsLockTest, GifConversionHoldsGetFramesAndTheTransitionStart) {
  OpenAvi(Video("clip.avi", 10));
  ASSERT_EQ(Starts(), (TStarts{true, true, true}));
  const std::optional<TStarts> during = DuringGifConvert();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_TRUE(during.has_value());
  EXPECT_EQ(*during, (TStarts{false, false, false}));
  // The GIF page holds its result, so its "Convert" waits for "Clear GIF".
  EXPECT_EQ(Starts(), (TStarts{true, false, true}));
}

TEST_F(RunStartsLockTest, TransitionRunHoldsGetFramesAndTheGifStart) {
  OpenAvi(Video("clip.avi", 10));
  ASSERT_EQ(Starts(), (TStarts{true, true, true}));
  const std::optional<TStarts> during = DuringTransitionConvert();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_TRUE(during.has_value());
  EXPECT_EQ(*during, (TStarts{false, false, false}));
  // The transition page holds its clip, so its "Convert" waits for "Clear GIF".
  EXPECT_EQ(Starts(), (TStarts{true, true, false}));
}

TEST_F(RunStartsLockTest, AStartDisabledBeforeARunStaysDisabledAfterIt) {
  OpenAvi(Video("clip.avi", 6));
  // The GIF page holding a result keeps its "Convert" disabled.
  Form().GifPage->Button5->click();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_EQ(Starts(), (TStarts{true, false, true}));

  std::optional<TStarts> during = DuringGetFrames();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_TRUE(during.has_value());
  EXPECT_EQ(*during, (TStarts{false, false, false}));
  EXPECT_EQ(Starts(), (TStarts{false, false, true}));

  // Now both other pages hold results: only the transition start is enabled, and stays the
  // only one after its run.
  during = DuringTransitionConvert();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_TRUE(during.has_value());
  EXPECT_EQ(*during, (TStarts{false, false, false}));
  EXPECT_EQ(Starts(), (TStarts{false, false, false}));
  Form().TransitionsPage->ClearGifButton->click();
  EXPECT_EQ(Starts(), (TStarts{false, false, true}));
}

TEST_F(RunStartsLockTest, AnotherPagesClearIsHeldSoItCannotReopenItsStart) {
  OpenAvi(Video("clip.avi", 6));
  Form().GifPage->Button5->click();  // the GIF page now holds a result
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  QPushButton* gifClear = Form().GifPage->Button4;
  ASSERT_TRUE(gifClear->isEnabled());
  std::optional<bool> clearDuringRun;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!clearDuringRun && Form().FramesPage->Button13->isEnabled()) clearDuringRun = gifClear->isEnabled();
  });
  watch.start();
  Form().FramesPage->Button12->click();
  watch.stop();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_TRUE(clearDuringRun.has_value());
  EXPECT_FALSE(*clearDuringRun);
  EXPECT_TRUE(gifClear->isEnabled());
}

}  // namespace
}  // namespace clipvane::testing
