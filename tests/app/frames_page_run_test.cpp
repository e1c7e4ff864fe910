// The "frames extract" page driven like a user: the button states through a run, an abort
// and "Clear results"; the range rule on the frame check list; the frame size and colour
// mode reaching the frames; the memory question; a failing run; the "Save to ..." switch.
#include <QAbstractItemModel>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QListView>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTimer>
#include <algorithm>
#include <filesystem>

#include "control_states.h"
#include "pages/frames/frame_preview_window.h"
#include "pages/frames/frames_page.h"
#include "ui/progress_bar.h"
#include "window_fixture.h"

namespace clipvane::testing {
namespace {

class FramesPageTest : public WindowTest {
 protected:
  TFramesPage& Page() { return *Form().FramesPage; }

  struct TButtons {
    bool GetFrames, Abort, ClearResults, Save, Preview, OpenAvi;
    friend bool operator==(const TButtons&, const TButtons&) = default;
    friend std::ostream& operator<<(std::ostream& out, const TButtons& b) {
      return out << "get " << b.GetFrames << " abort " << b.Abort << " clear " << b.ClearResults << " save " << b.Save
                 << " preview " << b.Preview << " open " << b.OpenAvi;
    }
  };
  TButtons Buttons() {
    return {Page().Button12->isEnabled(), Page().Button13->isEnabled(), Page().Button14->isEnabled(),
            Page().Button15->isEnabled(), Page().Button16->isEnabled(), Form().Button3->isEnabled()};
  }
  std::vector<int> ListedFrames() {
    std::vector<int> numbers;
    for (const auto& entry : State().ExtractedFrames) numbers.push_back(entry.FrameNumber);
    return numbers;
  }
  std::vector<int> TickedFrames() {
    std::vector<int> ticked;
    const QAbstractItemModel* checks = Form().CheckListBox1->model();
    for (int row = 0; row < checks->rowCount(); ++row)
      if (checks->index(row, 0).data(Qt::CheckStateRole).toInt() == Qt::Checked) ticked.push_back(row);
    return ticked;
  }

  static constexpr TButtons kIdle{true, false, false, false, false, true};
  static constexpr TButtons kHolding{false, false, true, true, true, false};
};

TEST_F(FramesPageTest, RunFillsTheListAndEndsHoldingResults) {
  EXPECT_EQ(Buttons(), (TButtons{false, false, false, false, false, true}));  // no video
  OpenAvi(Video("clip.avi", 10));
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_EQ(Buttons(), kIdle);

  std::optional<TButtons> running;
  bool busyCursor = false;
  QWidget* focus = nullptr;
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (running) return;
    running = Buttons();
    busyCursor = QApplication::overrideCursor() && QApplication::overrideCursor()->shape() == Qt::BusyCursor;
    focus = Form().focusWidget();
  });
  watch.start();
  Page().Button12->click();
  watch.stop();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();

  ASSERT_TRUE(running.has_value());
  EXPECT_EQ(*running, (TButtons{false, true, false, false, false, false}));
  EXPECT_TRUE(busyCursor);
  EXPECT_EQ(focus, Page().Button13);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // LastFrame is 10, but frame 10 is the end of the video: the run ends quietly before it.
  EXPECT_EQ(ListedFrames(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
  EXPECT_EQ(Buttons(), kHolding);
  EXPECT_TRUE(Form().Button9->isEnabled());
  EXPECT_FALSE(Form().Button10->isEnabled());
  EXPECT_FALSE(Form().Button11->isEnabled());
  EXPECT_EQ(Form().ProgressBar1->Position(), 0);
  EXPECT_EQ(Form().ProgressBar1->Max(), 11);

  const QAbstractItemModel* list = Page().lbAVI->model();
  ASSERT_EQ(list->rowCount(), 10);
  EXPECT_EQ(list->index(7, 0).data().toString(), QStringLiteral("Frame 7"));
  const TBitmap& frame = *State().FrameResults[7];
  EXPECT_EQ(frame.Width(), 64);
  EXPECT_EQ(frame.PixelFormat(), TPixelFormat::pf24bit);
  EXPECT_EQ(fixtures::DecodeFrameNumber(frame), 7);
  EXPECT_EQ(Windows->Form5->StatusPanel1->text(), QStringLiteral("Size: 64x48 pixels  Color: 24 bit"));

  // A second run needs "Clear results" first.
  Page().Button12->click();
  EXPECT_EQ(ListedFrames().size(), 10u);
}

TEST_F(FramesPageTest, AbortKeepsTheFramesBeforeIt) {
  OpenAvi(Video("clip.avi", 12));
  QTimer watch;
  watch.setInterval(0);
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (State().ExtractedFrames.size() >= 3 && Page().Button13->isEnabled()) Page().Button13->click();
  });
  watch.start();
  Page().Button12->click();
  watch.stop();
  ASSERT_TRUE(ErrorTexts.empty()) << ErrorTexts.front();
  EXPECT_EQ(ListedFrames(), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(Page().lbAVI->model()->rowCount(), 3);
  EXPECT_EQ(Buttons(), kHolding);
  EXPECT_TRUE(State().ExtractAbort);
}

TEST_F(FramesPageTest, ClearResultsReturnsToIdle) {
  OpenAvi(Video("clip.avi", 5));
  Page().Button12->click();
  ASSERT_EQ(ListedFrames().size(), 5u);
  Page().Button14->click();
  EXPECT_TRUE(State().ExtractedFrames.empty());
  EXPECT_TRUE(State().FrameResults.empty());
  EXPECT_EQ(Page().lbAVI->model()->rowCount(), 0);
  EXPECT_EQ(Buttons(), kIdle);
  Page().Button12->click();
  EXPECT_EQ(ListedFrames().size(), 5u);
}

TEST_F(FramesPageTest, RangeBoxesTickOnlyTheirFrames) {
  OpenAvi(Video("clip.avi", 10));
  Page().RadioButton7->click();
  EXPECT_TRUE(Page().SpinEdit6->isEnabled());
  EXPECT_TRUE(Page().LabelRangeDots->isEnabled());
  EXPECT_EQ(Page().SpinEdit7->maximum(), 10);
  Page().SpinEdit6->setValue(3);
  Page().SpinEdit7->setValue(5);
  EXPECT_EQ(TickedFrames(), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(State().RangeFirst, 3);
  EXPECT_EQ(State().RangeLast, 5);

  // from > to: the range is empty and the ticks stay.
  Page().SpinEdit6->setValue(7);
  EXPECT_EQ(TickedFrames(), (std::vector<int>{3, 4, 5}));
  EXPECT_EQ(State().RangeFirst, 7);
  Page().Button12->click();
  EXPECT_TRUE(ListedFrames().empty());
  EXPECT_EQ(Buttons(), kHolding);
  Page().Button14->click();

  // A hand-unticked entry is left out of the run.
  Page().SpinEdit6->setValue(2);
  Form().CheckListBox1->model()->setData(Form().CheckListBox1->model()->index(4, 0), Qt::Unchecked, Qt::CheckStateRole);
  Page().Button12->click();
  EXPECT_EQ(ListedFrames(), (std::vector<int>{2, 3, 5}));
  EXPECT_EQ(Form().ProgressBar1->Max(), 3);

  // "All frames" ticks everything again and disables the boxes.
  Page().RadioButton6->click();
  EXPECT_EQ(TickedFrames().size(), 11u);
  EXPECT_FALSE(Page().SpinEdit6->isEnabled());
  EXPECT_EQ(State().RangeFirst, 0);
  EXPECT_EQ(State().RangeLast, 10);
}

TEST_F(FramesPageTest, SpecifiedSizeAndColourModeReachTheFrames) {
  OpenAvi(Video("clip.avi", 3, 64, 48));
  EXPECT_EQ(Page().SpinEdit10->value(), 64);
  Page().RadioButton11->click();
  EXPECT_TRUE(Page().SpinEdit11->isEnabled());
  Page().SpinEdit11->setValue(24);
  EXPECT_EQ(Page().SpinEdit10->value(), 32);
  Page().CheckBoxAspect->setChecked(false);
  Page().SpinEdit10->setValue(50);
  EXPECT_EQ(Page().SpinEdit11->value(), 24);
  Page().ComboBox1->setCurrentText(QStringLiteral("4 bit"));
  Page().Button12->click();
  ASSERT_EQ(ListedFrames().size(), 3u);
  const TBitmap& frame = *State().ExtractedFrames[0].Bitmap;
  EXPECT_EQ(frame.Width(), 50);
  EXPECT_EQ(frame.Height(), 24);
  EXPECT_EQ(frame.PixelFormat(), TPixelFormat::pf4bit);
  EXPECT_EQ(Windows->Form5->StatusPanel1->text(), QStringLiteral("Size: 50x24 pixels  Color: 4 bit"));

  // "Original" puts the video's size back.
  Page().RadioButton10->click();
  EXPECT_EQ(Page().SpinEdit10->value(), 64);
  EXPECT_EQ(Page().SpinEdit11->value(), 48);
  EXPECT_FALSE(Page().SpinEdit10->isEnabled());
}

TEST_F(FramesPageTest, MemoryQuestionCanStopTheRunBeforeItStarts) {
  OpenAvi(Video("clip.avi", 4));
  std::vector<QString> questions;
  bool answer = false;
  Page().AvailableMemory = [] { return std::optional<std::uint64_t>(1000); };
  Page().Confirm = [&](const QString& question) {
    questions.push_back(question);
    return answer;
  };
  Page().Button12->click();
  ASSERT_EQ(questions.size(), 1u);
  // 4 frames x 64 x 48 x 3 bytes.
  EXPECT_TRUE(questions[0].contains(QStringLiteral("1 MB"))) << questions[0].toStdString();
  EXPECT_EQ(Buttons(), kIdle);
  EXPECT_TRUE(State().ExtractedFrames.empty());

  answer = true;
  Page().Button12->click();
  EXPECT_EQ(ListedFrames().size(), 4u);

  // Enough memory: no question.
  Page().Button14->click();
  Page().AvailableMemory = [] { return std::optional<std::uint64_t>(1ull << 40); };
  Page().Button12->click();
  EXPECT_EQ(questions.size(), 2u);
}

TEST_F(FramesPageTest, VideoGoneBeforeTheRunShowsTheErrorAndLeavesTheWindowAsBefore) {
  const std::string path = Video("clip.avi", 4);
  OpenAvi(path);
  Page().RadioButton7->click();
  const std::vector<std::string> before = ControlStates(Form());
  std::filesystem::remove(path);
  Page().Button12->click();
  ASSERT_EQ(ErrorTexts.size(), 1u);
  EXPECT_EQ(ErrorTexts[0].back(), '.');
  // Nothing was extracted: no results to save, clear or preview, and another go is offered.
  EXPECT_EQ(Buttons(), kIdle);
  ExpectSameControls(before, ControlStates(Form()));
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(FramesPageTest, ClosingTheMainWindowDuringARunStopsIt) {
  OpenAvi(Video("clip.avi", 12));
  QTimer watch;
  watch.setInterval(0);
  bool closed = false;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (!closed && State().ExtractedFrames.size() >= 2) {
      closed = true;
      Form().close();
    }
  });
  watch.start();
  Page().Button12->click();
  watch.stop();
  EXPECT_TRUE(closed);
  EXPECT_TRUE(ErrorTexts.empty());
  EXPECT_TRUE(State().ExtractedFrames.empty());
  EXPECT_TRUE(std::all_of(State().FrameResults.begin(), State().FrameResults.end(),
                          [](const auto& slot) { return slot == nullptr; }));
}

TEST_F(FramesPageTest, SaveToSwitchFollowsTheColourMode) {
  TFramesPage& page = Page();
  page.RadioButton9->click();
  EXPECT_TRUE(page.QualityEdit->isEnabled());
  EXPECT_TRUE(page.LabelQuality->isEnabled());
  page.ComboBox1->setCurrentText(QStringLiteral("1 bit"));
  EXPECT_EQ(page.RadioButton9->text(), QStringLiteral("TIFF"));
  EXPECT_TRUE(page.RadioButton9->isChecked());
  EXPECT_FALSE(page.QualityEdit->isEnabled());
  page.ComboBox1->setCurrentText(QStringLiteral("8 bit"));
  EXPECT_EQ(page.RadioButton9->text(), QStringLiteral("JPEG"));
  EXPECT_TRUE(page.QualityEdit->isEnabled());

  page.RadioButton8->click();
  EXPECT_FALSE(page.QualityEdit->isEnabled());
  page.ComboBox1->setCurrentText(QStringLiteral("32 bit"));
  EXPECT_FALSE(page.QualityEdit->isEnabled());

  page.ComboBox1->setCurrentText(QStringLiteral("1 bit"));
  page.RadioButton9->click();
  EXPECT_EQ(page.RadioButton9->text(), QStringLiteral("TIFF"));
  EXPECT_FALSE(page.QualityEdit->isEnabled());
  EXPECT_FALSE(page.LabelQuality->isEnabled());
}

}  // namespace
}  // namespace clipvane::testing
