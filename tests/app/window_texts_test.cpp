// Every text of every page and window shows whole at the program's font: no label, button,
// check box or group title narrower than its text, no two texts over each other.
// scripts/window-screenshots shows the same windows under Xvfb, also at 125 %.
#include <QApplication>
#include <QFont>

#include "text_fit.h"
#include "ui/video_window.h"
#include "window_fixture.h"
#include "window_tour.h"

namespace clipvane::testing {
namespace {

class WindowTexts : public WindowTest {
 protected:
  void SetUp() override {
    savedFont_ = QApplication::font();
    SetProgramFont();
    WindowTest::SetUp();
  }
  void TearDown() override {
    WindowTest::TearDown();
    QApplication::setFont(savedFont_);
  }

 private:
  QFont savedFont_;
};

TEST_F(WindowTexts, EveryPageAndWindowShowsItsTextsWhole) {
  Form().show();
  for (const std::string& fault : TextFaults(Form())) ADD_FAILURE() << "main-start: " << fault;
  OpenAvi(Video("clip.avi", 12, 320, 240));
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  ASSERT_TRUE(ProcessUntil([&] { return Windows->Form2->ShownFrame() >= 0; }));
  int stops = 0;
  TourWindows(*Windows, [&](const QString& name, QWidget& window) {
    ++stops;
    SettleWindows(0);
    for (const std::string& fault : TextFaults(window)) ADD_FAILURE() << name.toStdString() << ": " << fault;
  });
  EXPECT_EQ(stops, 14);
  EXPECT_TRUE(ErrorTexts.empty());
}

}  // namespace
}  // namespace clipvane::testing
